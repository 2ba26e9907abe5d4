#include "host/fixed_text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>

namespace {

std::string Printf(double value, int precision) {
  char text[512];
  std::snprintf(text, sizeof text, "%.*f", precision, value);
  return text;
}

std::string Fixed(double value, int precision) {
  char text[512];
  return std::string(text, FormatFixed(text, value, precision));
}

// Ties, values that round up into a new digit, signed zero, values far below
// the last digit, beyond 2^53, not finite, and random ones: all as printf.
TEST(FixedText, WritesWhatPrintfWrites) {
  const double cases[] = {0.0, -0.0, 0.5, 1.5, 2.5, -0.5, 0.125, 0.05, 5e-7, -5e-7, 1e-7, 9.9999995,
                          999999.9999995, 1e15, 9007199254740991.0, 9007199254740992.0, 1e300, 5e-324,
                          INFINITY, -INFINITY, NAN, 1481015341.132047};
  for (double value : cases) {
    for (int precision = 0; precision <= 9; ++precision) {
      EXPECT_EQ(Fixed(value, precision), Printf(value, precision)) << value << " %." << precision << "f";
    }
  }
  std::mt19937_64 random(20261206);
  for (int i = 0; i < 200000; ++i) {
    double value;
    if (i % 2) {
      const std::uint64_t bits = random();
      std::memcpy(&value, &bits, sizeof value);
    } else {
      value = std::ldexp(static_cast<double>(random() >> 11), -static_cast<int>(random() % 80));
    }
    const int precision = static_cast<int>(random() % 10);
    ASSERT_EQ(Fixed(value, precision), Printf(value, precision)) << std::hexfloat << value << " %." << precision << "f";
  }
}

}  // namespace
