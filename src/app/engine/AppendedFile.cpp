#include "engine/AppendedFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "engine/AtomicFile.h"

namespace tessaro {

TAppendedFile::TAppendedFile(std::filesystem::path path, std::string header)
    : path_(std::move(path)), header_(std::move(header)) {}

TAppendedFile::~TAppendedFile() { Close(); }

TAppendedFile::TAppendedFile(TAppendedFile&& other) noexcept
    : path_(std::move(other.path_)),
      header_(std::move(other.header_)),
      fd_(std::exchange(other.fd_, -1)),
      size_(other.size_),
      bytesWritten_(other.bytesWritten_) {}

TAppendedFile& TAppendedFile::operator=(TAppendedFile&& other) noexcept {
    if (this == &other) return *this;
    Close();
    path_ = std::move(other.path_);
    header_ = std::move(other.header_);
    fd_ = std::exchange(other.fd_, -1);
    size_ = other.size_;
    bytesWritten_ = other.bytesWritten_;
    return *this;
}

void TAppendedFile::Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

bool TAppendedFile::Open(std::string& error) {
    // The folder may have gone since start-up; a failure to create it shows in the open.
    std::error_code ignored;
    std::filesystem::create_directories(path_.parent_path(), ignored);
    fd_ = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd_ < 0) {
        error = std::strerror(errno);
        return false;
    }
    struct stat status {};
    if (::fstat(fd_, &status) != 0) {
        error = std::strerror(errno);
        Close();
        return false;
    }
    size_ = static_cast<std::uint64_t>(status.st_size);
    return true;
}

bool TAppendedFile::Write(std::string_view bytes, std::string& error) {
    if (WriteAllBytes(fd_, bytes, error)) {
        size_ += bytes.size();
        bytesWritten_ += bytes.size();
        return true;
    }
    // A row cut short (a full disk) would glue the next row onto its remains.
    if (::ftruncate(fd_, static_cast<off_t>(size_)) != 0) Close();
    return false;
}

bool TAppendedFile::Append(std::string_view row, std::string& error) {
    if (fd_ < 0 && !Open(error)) return false;
    if (size_ == 0 && !header_.empty() && !Write(header_, error)) return false;
    return Write(row, error);
}

}  // namespace tessaro
