// The seed of the randomised tests: fixed, so a failure repeats; NYX_TEST_SEED
// tries another.
#pragma once

#include <cstdlib>

inline unsigned TestSeed() {
  const char* text = std::getenv("NYX_TEST_SEED");
  return text ? static_cast<unsigned>(std::strtoul(text, nullptr, 10)) : 20261205u;
}
