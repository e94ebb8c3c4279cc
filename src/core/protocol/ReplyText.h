#pragma once
// The text side of a serial exchange, shared by both instrument languages: reply bytes
// become program text through the Windows-1252 code page (the instruments speak ASCII; the
// upper half follows the code page the instruments' own software uses), replies are
// trimmed of blanks and control characters, and numbers in replies are read with '.' as separator.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "text/TextScan.h"  // replies are trimmed with TrimBlanksAndControls

namespace tessaro {

// One read of a reply takes at most this many bytes; the rest is lost.
inline constexpr std::size_t kMaxReplyBytes = 80;

// Both instruments end a reply with CR (the pump sends LF after it). A reply is the line
// before the first CR: bytes after it belong to no reply, and bytes without one are a line
// cut short, no reply at all.
inline constexpr char kReplyEnd = '\r';
std::optional<std::string_view> ReplyLine(std::string_view bytes);

// Bytes to UTF-8 text, one character per byte; 0x00..0x7F stay as they are.
std::string AnsiBytesToText(std::string_view bytes);
// UTF-8 text to bytes; a character the code page lacks, or a broken sequence, becomes '?'.
std::string TextToAnsiBytes(std::string_view text);

// Bytes as a log can show them: printable ASCII as it is, every other byte as <hex>
// ("A<00>B<0D>").
std::string PrintableBytes(std::string_view bytes);
// The decimal value of every byte, each followed by one blank: "65 13 ".
std::string ByteOrdinals(std::string_view bytes);
// A duration as "ss:zzz": seconds (at least two digits, not wrapped at a minute) and
// milliseconds.
std::string FormatSecondsMillis(std::int64_t milliseconds);

// A decimal number with '.' as separator and an optional leading '+' or '-'; the whole
// text must be the number and it must be finite. Never throws.
std::optional<double> ParseDotNumber(std::string_view text);
// A decimal integer with an optional sign; the whole text must be the number.
std::optional<std::int64_t> ParseDecimalInteger(std::string_view text);

}  // namespace tessaro
