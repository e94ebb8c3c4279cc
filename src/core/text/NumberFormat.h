#pragma once
// Numbers as the operator reads them. Every formatter takes the decimal separator as an
// argument: the window passes the locale's, files and instrument commands pass '.'.

#include <string>
#include <string_view>

namespace tessaro {

// The general form: shortest exact text with at most 15 significant digits, no trailing
// zeros ("12.5", "100", "0.25"); scientific ("1E-5", "1.5E20") below 1e-4 and from 1e15.
std::string FormatGeneral(double value, char decimalSeparator = '.');

// A number pattern: '0' a required digit, '#' an optional digit, '.' the decimal separator,
// ' ' a literal blank grouping the digits ("### ##0.### ### ###"). Rounds half away from
// zero on the 15-digit decimal value. A grouping blank is written only between two written
// digits, so "# ### ###" gives "12" for 12 and "1 234 567" for 1234567; integer digits
// beyond the pattern keep the pattern's grouping.
std::string FormatPattern(double value, std::string_view pattern, char decimalSeparator = '.');

}  // namespace tessaro
