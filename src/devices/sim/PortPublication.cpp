#include "sim/PortPublication.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <stdexcept>
#include <thread>

#include "serial/PortNames.h"

namespace tessaro::sim {

namespace {

std::string LockPath(const std::string& dir, const std::string& name) {
    return dir + "/" + name + std::string(kPublishedLockSuffix);
}

// A port list looking at the name holds a shared lock for a moment; try a few times.
bool LockExclusively(int fd) {
    for (int attempt = 0; attempt < 5; ++attempt) {
        if (flock(fd, LOCK_EX | LOCK_NB) == 0) return true;
        if (errno != EWOULDBLOCK) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

}  // namespace

void PortPublication::PrepareDirectory(const std::string& dir) {
    if (mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST)
        throw std::runtime_error("cannot create " + dir + ": " + std::strerror(errno));
    if (!IsTrustedDirectory(dir)) throw std::runtime_error(dir + " is not a directory of this user closed to others");
}

bool PortPublication::IsClaimed(const std::string& dir, const std::string& name) {
    return IsLivePublishedPort(dir, name);
}

PortPublication::PortPublication(std::string dir, std::string name) : dir_(std::move(dir)), name_(std::move(name)) {
    if (name_.empty() || name_.find('/') != std::string::npos || name_.front() == '.')
        throw std::runtime_error("unusable port name: " + name_);
    PrepareDirectory(dir_);
    const std::string lockPath = LockPath(dir_, name_);
    lockFd_ = open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (lockFd_ < 0) throw std::runtime_error("cannot open " + lockPath + ": " + std::strerror(errno));
    if (!LockExclusively(lockFd_)) {
        close(lockFd_);
        lockFd_ = -1;
        throw std::runtime_error("port name " + name_ + " is taken by a running simulator");
    }
}

PortPublication::~PortPublication() {
    Withdraw();
    unlink(LockPath(dir_, name_).c_str());
    close(lockFd_);
}

void PortPublication::PointTo(const std::string& devicePath) {
    const std::string temporary = dir_ + "/." + name_ + ".new";
    unlink(temporary.c_str());
    if (symlink(devicePath.c_str(), temporary.c_str()) != 0 || rename(temporary.c_str(), LinkPath().c_str()) != 0) {
        const std::string reason = std::strerror(errno);
        unlink(temporary.c_str());
        throw std::runtime_error("cannot publish " + LinkPath() + ": " + reason);
    }
}

void PortPublication::Withdraw() { unlink(LinkPath().c_str()); }

}  // namespace tessaro::sim
