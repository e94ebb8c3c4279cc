#include "serial/PortNames.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>

namespace tessaro {

namespace {

std::vector<std::string> DirectoryEntries(const std::string& dir) {
    std::vector<std::string> names;
    DIR* handle = opendir(dir.c_str());
    if (!handle) return names;
    while (const dirent* entry = readdir(handle)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") names.push_back(name);
    }
    closedir(handle);
    return names;
}

bool Exists(const std::string& path) {
    struct stat info {};
    return lstat(path.c_str(), &info) == 0;
}

bool IsCharacterDevice(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISCHR(info.st_mode);
}

std::string FirstLine(const std::string& path) {
    std::ifstream file(path);
    std::string line;
    std::getline(file, line);
    return line;
}

bool EndsWith(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}
}  // namespace

std::string SimPortDirectory() {
    const char* runtimeDir = std::getenv("XDG_RUNTIME_DIR");
    if (runtimeDir && runtimeDir[0] == '/' && IsTrustedDirectory(runtimeDir))
        return std::string(runtimeDir) + "/tessaro-sim";
    return "/tmp/tessaro-sim-" + std::to_string(geteuid());
}

bool IsTrustedDirectory(const std::string& dir) {
    struct stat info {};
    return lstat(dir.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == geteuid() &&
           (info.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

bool IsLivePublishedPort(const std::string& dir, const std::string& name) {
    const std::string lockPath = dir + "/" + name + std::string(kPublishedLockSuffix);
    const int fd = open(lockPath.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) return false;
    // The simulator holds an exclusive lock; a shared one is granted only when it is gone.
    const bool held = flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    close(fd);
    return held;
}

std::string PortDevicePath(const std::string& portName) { return PortDevicePath(portName, SimPortDirectory()); }

bool HasParentStep(std::string_view portName) {
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = portName.find('/', start);
        if (portName.substr(start, end == std::string_view::npos ? end : end - start) == "..") return true;
        if (end == std::string_view::npos) return false;
        start = end + 1;
    }
}

std::string PortDevicePath(const std::string& portName, const std::string& simDir) {
    if (portName.empty() || HasParentStep(portName)) return {};
    if (portName.front() == '/') return portName;
    if (portName.find('/') == std::string::npos && !simDir.empty() && IsTrustedDirectory(simDir) &&
        IsLivePublishedPort(simDir, portName))
        return simDir + "/" + portName;
    return "/dev/" + portName;
}

std::vector<std::string> ListSystemSerialPorts(const std::string& ttyClassDir, const std::string& devDir) {
    std::vector<std::string> ports;
    for (const std::string& name : DirectoryEntries(ttyClassDir)) {
        const std::string entry = ttyClassDir + "/" + name;
        if (!Exists(entry + "/device")) continue;  // virtual consoles, ptmx, ...
        // Legacy 8250 ports are listed whether or not a UART is there; type 0 means none.
        if (Exists(entry + "/type") && FirstLine(entry + "/type") == "0") continue;
        // Probing the kernel console would write instrument commands onto it.
        if (FirstLine(entry + "/console") == "Y") continue;
        if (!IsCharacterDevice(devDir + "/" + name)) continue;
        ports.push_back(name);
    }
    return ports;
}

std::vector<std::string> ListPublishedPorts(const std::string& simDir) {
    std::vector<std::string> ports;
    if (!IsTrustedDirectory(simDir)) return ports;
    for (const std::string& name : DirectoryEntries(simDir)) {
        if (name.front() == '.' || EndsWith(name, kPublishedLockSuffix)) continue;
        if (IsLivePublishedPort(simDir, name) && IsCharacterDevice(simDir + "/" + name)) ports.push_back(name);
    }
    return ports;
}

}  // namespace tessaro
