#include "render/number.h"

#include <charconv>
#include <cmath>
#include <cstdint>

namespace quorvex {
namespace {

// 10^0 .. 10^15, each exact.
constexpr double kPowers[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                              1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};

char* Slow(double v, char* out) {
  return std::to_chars(out, out + 32, v, std::chars_format::general, 10).ptr;
}

}  // namespace

// Most coordinates lie between 1e-4 and 1e10: their ten digits are the
// nearest integer to v scaled by an exact power of ten, worked out in
// double arithmetic whose error (below 2e-6 for such a product) can only
// matter when the scaled value lies next to a half; those, and all other
// values, take the exact general conversion.
char* FormatNumber(double v, char* out) {
  const double a = std::abs(v);
  if (!(a >= 1e-4 && a < 1e10)) return Slow(v, out);
  if (a == std::floor(a)) {
    // A whole number of at most ten digits is written as it is.
    return std::to_chars(out, out + 32, static_cast<int64_t>(v)).ptr;
  }
  // e: the decimal exponent of a, so that m = a * 10^(9 - e) lies in
  // [1e9, 1e10); 9 - e is 0 .. 13, so the power is exact.
  int e = 9;
  while (e > -4 && a * kPowers[9 - e] < 1e9) --e;
  const double m = a * kPowers[9 - e];
  if (!(m >= 1e9 && m < 1e10)) return Slow(v, out);
  const double whole = std::floor(m);
  const double fraction = m - whole;
  if (std::abs(fraction - 0.5) < 4e-6) return Slow(v, out);  // next to a half: let the exact way round
  uint64_t digits = static_cast<uint64_t>(whole) + (fraction > 0.5 ? 1 : 0);
  if (digits == 10000000000ull) {  // rounded up to the next power of ten
    digits = 1000000000ull;
    ++e;
    if (e >= 10) return Slow(v, out);
  }
  char d[10];
  for (int i = 9; i >= 0; --i, digits /= 10) d[i] = static_cast<char>('0' + digits % 10);
  int n = 10;
  while (n > 1 && d[n - 1] == '0') --n;
  char* p = out;
  if (v < 0) *p++ = '-';
  if (e >= 0) {
    // e + 1 digits before the mark.
    for (int i = 0; i <= e; ++i) *p++ = i < n ? d[i] : '0';
    if (n > e + 1) {
      *p++ = '.';
      for (int i = e + 1; i < n; ++i) *p++ = d[i];
    }
  } else {
    *p++ = '0';
    *p++ = '.';
    for (int i = -1; i > e; --i) *p++ = '0';
    for (int i = 0; i < n; ++i) *p++ = d[i];
  }
  return p;
}

}  // namespace quorvex
