#pragma once
// Device colours: 32-bit alpha-red-green-blue values, named by the web colour names (the
// CSS named colours, also known from SVG), whatever the case of the letters.

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace tessaro {

using TRtColor = std::uint32_t;  // 0xAARRGGBB

struct TNamedColor {
    std::string_view Name;  // lower case
    TRtColor Color;         // opaque
};

// The full table in alphabetical order, grey and gray spellings both.
std::span<const TNamedColor> NamedColors();

// "Purple", "purple" and "PURPLE" give 0xFF800080; anything else nothing.
std::optional<TRtColor> ColorFromName(std::string_view name);

// A colour name, else a decimal number from 0 to 4294967295 written without sign or blanks.
// Nothing when the text is neither.
std::optional<TRtColor> StringToRtColor(std::string_view text);

}  // namespace tessaro
