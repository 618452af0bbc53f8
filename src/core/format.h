// The receiver's number printing, used by every display.
//
// Without a template: an integer prints as " 12 " or "-12 " (sign position,
// digits, one blank); a single as " 1.5" or "-1.5" with "%.7g"; a double the
// same with "%.16g".
//
// With a template: text is copied as it stands; a field is an optional "+",
// a run of "#", optionally "." and a run of "#", optionally "^^^^" right after.
// A plain field shows the value rounded to its decimals, right-aligned in the
// field's width; without "+" a minus sign takes one of the digit positions,
// with "+" the sign is always shown. A "0" stands before the point when
// |value| < 1 and there is room. A value too wide for its field is printed in
// full behind a "%". An exponent field "+#.#^^^^" prints sign, one digit,
// the decimals, "E", the exponent's sign and two digits. A value that rounds
// to zero prints without a minus sign.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

namespace velkor {

std::string formatInteger(long long value);
std::string formatSingle(float value);
std::string formatDouble(double value);
std::string formatTemplate(std::string_view pattern, std::initializer_list<double> values);

} // namespace velkor
