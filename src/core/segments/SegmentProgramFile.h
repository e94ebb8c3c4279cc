#pragma once
// Segment program files: the program text one segment per line, every line ended by CR LF.
// Written as UTF-8 without a byte-order mark; read as UTF-8 or UTF-16 (either byte order)
// when a byte-order mark says so, otherwise as UTF-8 when the bytes are valid UTF-8 and as
// Windows-1252 (the usual 8-bit code page of such files) when they are not. A UTF-8 mark
// followed by bytes that are no UTF-8 counts for nothing: they are read as Windows-1252.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "text/LocalDateTime.h"

namespace tessaro {

// Larger files are no segment program (16,000 segments take about 400 kB) and are refused
// before they are read.
inline constexpr std::size_t kMaxSegmentProgramFileBytes = 1024 * 1024;

inline constexpr const char* kSegmentProgramFileFilter = "Text files (*.txt)|*.TXT";

// The file's content for a program: its text trimmed, each line ended by CR LF. An empty
// program gives an empty file.
std::string SegmentProgramFileBytes(std::string_view program);

// The file's bytes as UTF-8 text; none when they are not text (a NUL character).
std::optional<std::string> DecodeSegmentProgramFile(std::string_view bytes);

// The name offered when saving: "2026-02-04 14-46 COM3 MFC-A.txt". Path separators and other
// characters a file name cannot hold become "_" ("/dev/pts/3" gives "_dev_pts_3").
std::string DefaultSegmentProgramFileName(const TLocalDateTime& now, std::string_view port,
                                          std::string_view deviceTypeName);

// The chosen name with ".txt" appended unless it already ends so (in any letter case).
std::string WithTxtExtension(std::string_view fileName);

}  // namespace tessaro
