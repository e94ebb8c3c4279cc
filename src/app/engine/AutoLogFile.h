#pragma once
// The periodic ("auto") log file of a data table that only grows. Each save leaves one file,
// named for the save's minute, holding every line of the table so far, and removes the one
// the previous save left; the bytes written per save are those of the lines added since the
// save before last, not the whole table again.
//
// Two files take turns. The visible one, under its minute's name, is never written again
// once it has its name. The other one, the spare, lies under a temporary name
// ("<name>.tmp-XXXXXX") and holds the table as of the save before; a save appends to it the
// lines it lacks and renames it to the new minute's name, and the file that was visible gets
// a temporary name and becomes the spare. So a kill at any moment leaves each visible log
// file whole (all lines of the table up to a save, each with its line end) and at most two
// temporary files beside them. The files are not flushed to the disk (no wait on the
// window thread): after a power cut the newest minutes may be missing, as the system had
// not yet written them.
//
// No Qt; POSIX file calls. Not thread-safe: the window thread only.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/PackedRecords.h"

namespace tessaro {

class TAutoLogFile {
public:
    TAutoLogFile() = default;
    // The visible file stays; the spare is removed.
    ~TAutoLogFile();
    TAutoLogFile(const TAutoLogFile&) = delete;
    TAutoLogFile& operator=(const TAutoLogFile&) = delete;

    // Makes `target` hold `lines` (each ended by CR LF) and removes the file of the previous
    // save when its name differs. `lines` must begin with every line of the previous save
    // (a new table starts after Restart). False, with the system's reason in `error`, when
    // `target` was not written; the previous file then stays. A previous file that could not
    // be removed is named with the reason in `removalProblem` (the save itself succeeded).
    bool Save(const std::filesystem::path& target, const TPackedRecords& lines, std::string& error,
              std::string& removalProblem);
    // A new table begins: the last file stays as it is and no later save removes it.
    void Restart();

    // Bytes handed to the system since this object was made.
    std::uint64_t BytesWritten() const { return bytesWritten_; }

private:
    struct TCopy {
        int Fd = -1;
        std::filesystem::path Path;
        std::size_t Lines = 0;  // lines of the table the file holds
    };

    bool PrepareSpare(const std::filesystem::path& target, std::string& error);
    bool AppendMissingLines(const TPackedRecords& lines, std::string& error);
    // Gives the visible file a second, temporary name, so that it outlives the loss of its
    // own; false when it has none any more (removed or moved by someone else).
    bool LinkVisibleUnderTemporaryName(std::filesystem::path& temporary);
    static void Close(TCopy& copy);
    static void Remove(TCopy& copy);

    TCopy visible_;
    TCopy spare_;
    std::uint64_t bytesWritten_ = 0;
};

}  // namespace tessaro
