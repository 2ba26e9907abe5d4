// Safe conversions for values read from the wire.
#pragma once

#include <cmath>
#include <limits>

// Truncates toward zero into an int, saturating at the int range; NaN gives 0.
// (Garbage on a line must never make a conversion undefined.)
inline int SaturatingInt(double value) {
  if (std::isnan(value)) return 0;
  if (value >= static_cast<double>(std::numeric_limits<int>::max())) return std::numeric_limits<int>::max();
  if (value <= static_cast<double>(std::numeric_limits<int>::min())) return std::numeric_limits<int>::min();
  return static_cast<int>(value);
}
