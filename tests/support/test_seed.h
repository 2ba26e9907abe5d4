// The one seed of the randomised tests: fixed, so a failure repeats;
// NYX_TEST_SEED tries another. A failing test prints the seed it ran with.
#pragma once

#include <cstdint>

// The seed (NYX_TEST_SEED, or the fixed default).
std::uint64_t TestSeed();
