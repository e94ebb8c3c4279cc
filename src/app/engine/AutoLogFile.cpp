#include "engine/AutoLogFile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "engine/AtomicFile.h"

namespace tessaro {

namespace {

constexpr const char* kLineEnd = "\r\n";
// Lines are gathered into blocks of about this size before they are written.
constexpr std::size_t kWriteBlock = 1 << 20;

}  // namespace

TAutoLogFile::~TAutoLogFile() { Restart(); }

void TAutoLogFile::Restart() {
    Close(visible_);
    Remove(spare_);
}

void TAutoLogFile::Close(TCopy& copy) {
    if (copy.Fd >= 0) ::close(copy.Fd);
    copy = TCopy();
}

void TAutoLogFile::Remove(TCopy& copy) {
    if (copy.Fd >= 0) ::unlink(copy.Path.c_str());
    Close(copy);
}

bool TAutoLogFile::Save(const std::filesystem::path& target, const TPackedRecords& lines, std::string& error,
                        std::string& removalProblem) {
    removalProblem.clear();
    // A spare that holds more than the table is of another table.
    if (spare_.Lines > lines.Size()) Remove(spare_);
    if (!PrepareSpare(target, error)) return false;
    if (!AppendMissingLines(lines, error)) {
        Remove(spare_);
        return false;
    }

    std::filesystem::path hidden;
    const bool visibleKept = visible_.Fd >= 0 && LinkVisibleUnderTemporaryName(hidden);
    if (::rename(spare_.Path.c_str(), target.c_str()) != 0) {
        error = std::strerror(errno);
        if (visibleKept) ::unlink(hidden.c_str());
        // Its folder may have gone: the next save starts a spare afresh.
        Remove(spare_);
        return false;
    }
    if (visible_.Fd >= 0 && visible_.Path != target && ::unlink(visible_.Path.c_str()) != 0 && errno != ENOENT)
        removalProblem =
            "Removing the previous log file failed: " + visible_.Path.string() + ": " + std::strerror(errno);

    TCopy previous = std::exchange(visible_, std::exchange(spare_, TCopy()));
    visible_.Path = target;
    if (visibleKept) {
        previous.Path = hidden;
        spare_ = std::exchange(previous, TCopy());
    } else {
        Close(previous);
    }
    return true;
}

bool TAutoLogFile::PrepareSpare(const std::filesystem::path& target, std::string& error) {
    if (spare_.Fd >= 0) return true;
    std::string name;
    const int fd = CreateTemporaryBeside(target, name, error);
    if (fd < 0) return false;
    // mkstemp makes the file readable by its owner only; a log file is an ordinary file.
    ::fchmod(fd, 0644);
    spare_ = {fd, name, 0};
    return true;
}

bool TAutoLogFile::AppendMissingLines(const TPackedRecords& lines, std::string& error) {
    std::string block;
    const auto writeBlock = [&] {
        if (!WriteAllBytes(spare_.Fd, block, error)) return false;
        bytesWritten_ += block.size();
        block.clear();
        return true;
    };
    const bool written = lines.ForEachFrom(spare_.Lines, [&](std::string_view line) {
        block += line;
        block += kLineEnd;
        return block.size() < kWriteBlock || writeBlock();
    });
    if (!written || (!block.empty() && !writeBlock())) return false;
    spare_.Lines = lines.Size();
    return true;
}

bool TAutoLogFile::LinkVisibleUnderTemporaryName(std::filesystem::path& temporary) {
    // The temporary name is taken by creating a file of that name, which the link needs free.
    std::string name;
    std::string ignored;
    const int fd = CreateTemporaryBeside(visible_.Path, name, ignored);
    if (fd < 0) return false;
    ::close(fd);
    ::unlink(name.c_str());
    if (::link(visible_.Path.c_str(), name.c_str()) != 0) return false;
    temporary = name;
    return true;
}

}  // namespace tessaro
