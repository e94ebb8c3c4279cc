#pragma once
// Writing a file so that a crash, a kill or a full disk never leaves a torn file behind: the
// bytes go to a temporary file beside the target, which is flushed to the disk and then
// renamed over the target. A failure names the system's reason ("No space left on
// device"), never a generic one.

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tessaro {

// Writes every byte of `bytes` to the open descriptor `fd`; false with the system's reason
// in `error` when a write fails.
bool WriteAllBytes(int fd, std::string_view bytes, std::string& error);

// Creates and opens a new temporary file in the target's folder (a rename only replaces
// atomically within one file system), named "<target>.tmp-XXXXXX"; its name goes to `name`.
// -1, with the system's reason in `error`, when it cannot be made.
int CreateTemporaryBeside(const std::filesystem::path& target, std::string& name, std::string& error);

// Hands `produce` a function that appends bytes to the file; `produce` returns false when it
// stopped because that function failed. The target is replaced only when everything was
// written and flushed.
// `Disk` waits until the bytes are on the disk, so even a power cut leaves the new file or
// the old one; `System` only hands them to the system, which is enough against a crash or a
// kill of the program and costs no wait for the disk (a file rewritten every few seconds).
using TByteWriter = std::function<bool(std::string_view bytes)>;
enum class TWriteDurability : unsigned char { Disk, System };
bool WriteFileAtomically(const std::filesystem::path& target, const std::function<bool(const TByteWriter&)>& produce,
                         std::string& error, TWriteDurability durability = TWriteDurability::Disk);

// The temporary of a write is named after its target: "<target name>.tmp-" and six letters
// or digits. A writer that is killed leaves it behind; its target's name when `fileName` is
// such a temporary.
std::optional<std::string_view> AtomicWriteTarget(std::string_view fileName);

// Removes the temporaries left in `folder` by killed writers whose target's name `ours`
// accepts; nothing else in the folder is touched. The names of the files removed.
std::vector<std::string> RemoveStaleTemporaries(const std::filesystem::path& folder,
                                                const std::function<bool(std::string_view targetName)>& ours);

}  // namespace tessaro
