// A double as printf's "%.Nf" writes it (C locale, rounding to nearest with
// ties to even on the exact binary value), at a fraction of printf's cost.
#pragma once

#include <cstddef>

// Writes at most 400 characters from out and returns the end; no NUL.
// precision is 0 to 9.
char* FormatFixed(char* out, double value, int precision);
