// Small helpers for tests that build or examine raw bytes.
#pragma once

#include <algorithm>
#include <initializer_list>
#include <string_view>

#include "testutil.h"

namespace qtest {

using Bytes = std::vector<uint8_t>;

inline Bytes B(std::initializer_list<int> v) { return Bytes(v.begin(), v.end()); }
inline Bytes B(std::string_view s) { return Bytes(s.begin(), s.end()); }
inline Bytes Cat(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}
inline Bytes Le32(uint32_t v) { return B({int(v & 0xFF), int(v >> 8 & 0xFF), int(v >> 16 & 0xFF), int(v >> 24)}); }
// The first n bytes of v.
inline Bytes Head(const Bytes& v, size_t n) { return Bytes(v.begin(), v.begin() + std::min(n, v.size())); }
// Position of the first occurrence of needle in hay, or npos.
inline size_t Find(const Bytes& hay, const Bytes& needle) {
  const auto it = std::search(hay.begin(), hay.end(), needle.begin(), needle.end());
  return it == hay.end() ? std::string::npos : static_cast<size_t>(it - hay.begin());
}
// The bytes a writer step produces in memory.
template <class F>
Bytes Written(F step) {
  quorvex::TArchiveWriter w;
  step(w);
  EXPECT_TRUE(w.Ok());
  return w.Data();
}

}  // namespace qtest
