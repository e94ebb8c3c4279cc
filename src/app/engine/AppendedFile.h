#pragma once
// A file that grows by whole rows as they are made, for a recording that may run for a week
// and may be killed at any moment: each row goes to the system in one write as soon as it
// exists (nothing waits in a buffer), so a kill loses at most the row being written, and no
// byte is ever written twice. The file is opened when the first row comes; a file that is
// new or empty gets the header row first. A row that failed part-way is cut off again, so
// the next row starts on a clean line.

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace tessaro {

class TAppendedFile {
public:
    TAppendedFile() = default;
    TAppendedFile(std::filesystem::path path, std::string header);
    ~TAppendedFile();
    TAppendedFile(const TAppendedFile&) = delete;
    TAppendedFile& operator=(const TAppendedFile&) = delete;
    TAppendedFile(TAppendedFile&& other) noexcept;
    TAppendedFile& operator=(TAppendedFile&& other) noexcept;

    // Appends one row (with its line end); false, with the system's reason in `error`, when
    // the file cannot be opened or the row was not written whole. The next row tries again.
    bool Append(std::string_view row, std::string& error);

    const std::filesystem::path& Path() const { return path_; }
    // Bytes handed to the system since this object was made (the header included).
    std::uint64_t BytesWritten() const { return bytesWritten_; }
    // The file's size as this object knows it: 0 before the first row.
    std::uint64_t Size() const { return size_; }

private:
    bool Open(std::string& error);
    bool Write(std::string_view bytes, std::string& error);
    void Close();

    std::filesystem::path path_;
    std::string header_;
    int fd_ = -1;
    std::uint64_t size_ = 0;
    std::uint64_t bytesWritten_ = 0;
};

}  // namespace tessaro
