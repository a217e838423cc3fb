// Numbers as pictures write them: ten significant digits, trailing zeros
// dropped, "." as the decimal mark whatever the locale, exponent form only
// for very large or very small values (the text of printf's "%.10g").
#pragma once

#include <cstddef>

namespace quorvex {

// Writes v at `out` (room for at least 32 characters) and returns the end.
char* FormatNumber(double v, char* out);

}  // namespace quorvex
