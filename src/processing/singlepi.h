// The signal processing works its angles in single precision, with pi itself
// held in single precision; the rounded value is part of the results.
#pragma once

#include <cmath>

namespace velkor {

inline constexpr float kPiSingle = static_cast<float>(M_PI);

} // namespace velkor
