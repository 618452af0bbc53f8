// Number templates of the console lines (the plain forms are in
// ground/numbers.h).
//
// A template: text is copied as it stands; a field is an optional "+",
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

// The pattern with each field replaced by the next value as described above;
// fields beyond the values show 0.
std::string formatTemplate(std::string_view pattern, std::initializer_list<double> values);

} // namespace velkor
