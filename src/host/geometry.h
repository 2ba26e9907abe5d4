// The host's 3-vector and angle constant.
#pragma once

#include <numbers>

struct CV3 {
  double x = 0.0;
  double y = 0.0;
  double z = 0.0;
};

namespace ML {
inline constexpr double d2r = std::numbers::pi / 180.0;
}
