#include "text/NumberFormat.h"

#include <array>
#include <charconv>
#include <cmath>
#include <string>

namespace tessaro {

namespace {

constexpr int kSignificantDigits = 15;

std::string NonFiniteText(double value) {
    if (std::isnan(value)) return "NAN";
    return value < 0 ? "-INF" : "INF";
}

// The value's 15 significant decimal digits and the power of ten of the first digit.
struct DecimalDigits {
    std::string digits;  // exactly kSignificantDigits characters
    int exponent = 0;
};

DecimalDigits ToDecimalDigits(double magnitude) {
    std::array<char, 64> buffer{};
    auto [end, ec] = std::to_chars(buffer.data(), buffer.data() + buffer.size(), magnitude,
                                   std::chars_format::scientific, kSignificantDigits - 1);
    (void)ec;  // 64 characters always suffice for 15 digits and an exponent
    std::string_view text(buffer.data(), static_cast<size_t>(end - buffer.data()));
    DecimalDigits result;
    const size_t e = text.find('e');
    for (char c : text.substr(0, e))
        if (c != '.') result.digits += c;
    std::from_chars(text.data() + e + 1 + (text[e + 1] == '+' ? 1 : 0), text.data() + text.size(), result.exponent);
    return result;
}

// Keeps the digits down to the place 10^-decimals, rounding half away from zero.
void RoundToDecimals(DecimalDigits& d, int decimals) {
    const int keep = d.exponent + decimals + 1;
    if (keep >= static_cast<int>(d.digits.size())) return;
    if (keep < 0) {
        d.digits.assign(1, '0');
        d.exponent = -decimals;
        return;
    }
    const bool roundUp = d.digits[static_cast<size_t>(keep)] >= '5';
    d.digits.resize(static_cast<size_t>(keep));
    if (!roundUp) return;
    int i = keep - 1;
    for (; i >= 0 && d.digits[static_cast<size_t>(i)] == '9'; --i) d.digits[static_cast<size_t>(i)] = '0';
    if (i >= 0) {
        ++d.digits[static_cast<size_t>(i)];
    } else {
        d.digits = '1' + d.digits;
        ++d.exponent;
    }
}

// The digit at place 10^place, '0' outside the kept digits.
char DigitAt(const DecimalDigits& d, int place) {
    const int index = d.exponent - place;
    if (index < 0 || index >= static_cast<int>(d.digits.size())) return '0';
    return d.digits[static_cast<size_t>(index)];
}

struct PatternShape {
    int minIntegerDigits = 0;
    int integerGroup = 0;  // 0: no grouping blanks in the integer part
    int minDecimals = 0;
    int maxDecimals = 0;
    std::string fractionLayout;  // the placeholders and blanks after the decimal point
};

PatternShape ParsePattern(std::string_view pattern) {
    PatternShape shape;
    const size_t point = pattern.find('.');
    const std::string_view integerPart = pattern.substr(0, point);
    int sinceBlank = 0;
    for (char c : integerPart) {
        if (c == '0' || c == '#') {
            ++sinceBlank;
            if (c == '0') ++shape.minIntegerDigits;
        } else if (c == ' ') {
            shape.integerGroup = 1;
            sinceBlank = 0;
        }
    }
    if (shape.integerGroup) shape.integerGroup = sinceBlank > 0 ? sinceBlank : 3;
    if (point == std::string_view::npos) return shape;
    for (char c : pattern.substr(point + 1)) {
        if (c == '0' || c == '#') {
            ++shape.maxDecimals;
            if (c == '0') shape.minDecimals = shape.maxDecimals;
            shape.fractionLayout += c;
        } else if (c == ' ') {
            shape.fractionLayout += c;
        }
    }
    return shape;
}

std::string GroupIntegerDigits(const std::string& digits, int group) {
    if (group <= 0) return digits;
    std::string grouped;
    const int n = static_cast<int>(digits.size());
    for (int i = 0; i < n; ++i) {
        if (i > 0 && (n - i) % group == 0) grouped += ' ';
        grouped += digits[static_cast<size_t>(i)];
    }
    return grouped;
}

// Places the written decimals into the pattern's layout; a blank only between digits.
std::string LayOutDecimals(const std::string& decimals, const std::string& layout) {
    std::string text;
    size_t written = 0;
    for (char c : layout) {
        if (written == decimals.size()) break;
        if (c == ' ') {
            if (written > 0) text += ' ';
        } else {
            text += decimals[written++];
        }
    }
    return text;
}

}  // namespace

std::string FormatGeneral(double value, char decimalSeparator) {
    if (!std::isfinite(value)) return NonFiniteText(value);
    if (value == 0) return "0";
    std::array<char, 64> buffer{};
    const auto [end, ec] = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                         std::chars_format::general, kSignificantDigits);
    (void)ec;
    std::string_view raw(buffer.data(), static_cast<size_t>(end - buffer.data()));
    const size_t e = raw.find('e');
    std::string text(raw.substr(0, e));
    if (decimalSeparator != '.')
        if (const size_t point = text.find('.'); point != std::string::npos) text[point] = decimalSeparator;
    if (e != std::string_view::npos) {
        // "1e-05" becomes "1E-5", "1.5e+20" becomes "1.5E20"
        int exponent = 0;
        std::from_chars(raw.data() + e + 1 + (raw[e + 1] == '+' ? 1 : 0), raw.data() + raw.size(), exponent);
        text += 'E';
        text += std::to_string(exponent);
    }
    return text;
}

std::string FormatPattern(double value, std::string_view pattern, char decimalSeparator) {
    if (!std::isfinite(value)) return NonFiniteText(value);
    const PatternShape shape = ParsePattern(pattern);

    DecimalDigits d = ToDecimalDigits(std::fabs(value));
    if (value == 0) d = {"0", 0};
    RoundToDecimals(d, shape.maxDecimals);

    std::string integerDigits;
    for (int place = d.exponent; place >= 0; --place) {
        const char digit = DigitAt(d, place);
        if (!integerDigits.empty() || digit != '0') integerDigits += digit;
    }
    if (static_cast<int>(integerDigits.size()) < shape.minIntegerDigits)
        integerDigits.insert(0, static_cast<size_t>(shape.minIntegerDigits) - integerDigits.size(), '0');

    std::string decimals;
    for (int place = -1; place >= -shape.maxDecimals; --place) decimals += DigitAt(d, place);
    while (static_cast<int>(decimals.size()) > shape.minDecimals && decimals.back() == '0') decimals.pop_back();

    const bool isZero = integerDigits.find_first_not_of('0') == std::string::npos &&
                        decimals.find_first_not_of('0') == std::string::npos;
    std::string text = (value < 0 && !isZero) ? "-" : "";
    text += GroupIntegerDigits(integerDigits, shape.integerGroup);
    if (!decimals.empty()) {
        text += decimalSeparator;
        text += LayOutDecimals(decimals, shape.fractionLayout);
    }
    return text;
}

}  // namespace tessaro
