#include "engine/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace tessaro {

namespace {

std::string SystemReason(int code) { return std::strerror(code); }

}  // namespace

int CreateTemporaryBeside(const std::filesystem::path& target, std::string& name, std::string& error) {
    std::string pattern = target.string() + ".tmp-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    const int fd = ::mkstemp(buffer.data());
    if (fd < 0) {
        error = SystemReason(errno);
        return -1;
    }
    name.assign(buffer.data());
    return fd;
}

bool WriteAllBytes(int fd, std::string_view bytes, std::string& error) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) continue;
            error = SystemReason(errno);
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

bool WriteFileAtomically(const std::filesystem::path& target, const std::function<bool(const TByteWriter&)>& produce,
                         std::string& error) {
    std::string temporary;
    const int fd = CreateTemporaryBeside(target, temporary, error);
    if (fd < 0) return false;
    // mkstemp makes the file readable by its owner only; a log file is an ordinary file.
    ::fchmod(fd, 0644);

    bool ok = produce([&](std::string_view bytes) { return WriteAllBytes(fd, bytes, error); });
    if (ok && ::fsync(fd) != 0) {
        error = SystemReason(errno);
        ok = false;
    }
    if (::close(fd) != 0 && ok) {
        error = SystemReason(errno);
        ok = false;
    }
    if (ok && ::rename(temporary.c_str(), target.c_str()) != 0) {
        error = SystemReason(errno);
        ok = false;
    }
    if (!ok) ::unlink(temporary.c_str());
    return ok;
}

}  // namespace tessaro
