#include "engine/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

namespace tessaro {

namespace {

constexpr std::string_view kTemporaryMark = ".tmp-";
// mkstemp replaces these with letters and digits.
constexpr std::string_view kTemporaryPattern = "XXXXXX";

bool IsAsciiLetterOrDigit(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); }

std::string SystemReason(int code) { return std::strerror(code); }

}  // namespace

int CreateTemporaryBeside(const std::filesystem::path& target, std::string& name, std::string& error) {
    std::string pattern = target.string() + std::string(kTemporaryMark) + std::string(kTemporaryPattern);
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

std::optional<std::string_view> AtomicWriteTarget(std::string_view fileName) {
    const std::size_t tail = kTemporaryMark.size() + kTemporaryPattern.size();
    if (fileName.size() <= tail) return std::nullopt;
    const std::string_view target = fileName.substr(0, fileName.size() - tail);
    const std::string_view mark = fileName.substr(target.size(), kTemporaryMark.size());
    const std::string_view random = fileName.substr(fileName.size() - kTemporaryPattern.size());
    if (mark != kTemporaryMark || !std::all_of(random.begin(), random.end(), IsAsciiLetterOrDigit)) return std::nullopt;
    return target;
}

std::vector<std::string> RemoveStaleTemporaries(const std::filesystem::path& folder,
                                                const std::function<bool(std::string_view targetName)>& ours) {
    std::vector<std::string> removed;
    std::error_code failed;
    for (std::filesystem::directory_iterator entry(folder, failed), end; !failed && entry != end;
         entry.increment(failed)) {
        const std::string name = entry->path().filename().string();
        const std::optional<std::string_view> target = AtomicWriteTarget(name);
        if (!target || !ours(*target) || !entry->is_regular_file(failed)) continue;
        std::error_code notRemoved;
        if (std::filesystem::remove(entry->path(), notRemoved)) removed.push_back(name);
    }
    return removed;
}

bool WriteFileAtomically(const std::filesystem::path& target, const std::function<bool(const TByteWriter&)>& produce,
                         std::string& error, TWriteDurability durability) {
    std::string temporary;
    const int fd = CreateTemporaryBeside(target, temporary, error);
    if (fd < 0) return false;
    // mkstemp makes the file readable by its owner only; a log file is an ordinary file.
    ::fchmod(fd, 0644);

    bool ok = produce([&](std::string_view bytes) { return WriteAllBytes(fd, bytes, error); });
    if (ok && durability == TWriteDurability::Disk && ::fsync(fd) != 0) {
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
