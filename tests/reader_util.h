// Helpers for the reading tests: files built byte by byte, so the reader is
// checked against layouts written down here and not only against our own
// writer.
#pragma once

#include <algorithm>
#include <bit>

#include "testutil.h"

namespace qtest {
namespace rtest {

// Little-endian bytes appended one field at a time.
class ByteBuilder {
 public:
  ByteBuilder& U8(uint8_t v) { return b_.push_back(v), *this; }
  ByteBuilder& U16(uint16_t v) { return U8(v & 0xFF).U8(v >> 8); }
  ByteBuilder& U32(uint32_t v) { return U16(v & 0xFFFF).U16(v >> 16); }
  ByteBuilder& I32(int32_t v) { return U32(static_cast<uint32_t>(v)); }
  ByteBuilder& F64(double v) { return U32(std::bit_cast<uint64_t>(v)).U32(std::bit_cast<uint64_t>(v) >> 32); }
  ByteBuilder& Raw(std::string_view s) { return b_.insert(b_.end(), s.begin(), s.end()), *this; }
  ByteBuilder& Append(const std::vector<uint8_t>& v) { return b_.insert(b_.end(), v.begin(), v.end()), *this; }
  // Archive string lengths: one byte below 255, else 0xFF + 16 bits.
  ByteBuilder& Len(size_t n) { return n < 255 ? U8(uint8_t(n)) : U8(0xFF).U16(uint16_t(n)); }
  ByteBuilder& Str(std::string_view s) { return Len(s.size()).Raw(s); }
  // A wide string: 0xFF 0xFFFE, the length, then UTF-16LE units.
  ByteBuilder& WideStr(std::u16string_view s) { return U8(0xFF).U16(0xFFFE).Len(s.size()).Units(s); }
  ByteBuilder& Units(std::u16string_view s) { return std::ranges::for_each(s, [&](char16_t u) { U16(u); }), *this; }
  ByteBuilder& Count(uint32_t n) { return n < 0xFFFF ? U16(static_cast<uint16_t>(n)) : U16(0xFFFF).U32(n); }
  // A class named for the first time in the file: tag, schema, name.
  ByteBuilder& NewClass(std::string_view name) { return U16(0xFFFF).U16(600).U16(uint16_t(name.size())).Raw(name); }
  ByteBuilder& ClassRef(uint16_t number) { return U16(static_cast<uint16_t>(0x8000 | number)); }
  // The common part: 15 bytes, or 13 without PenWidth before version 351.
  ByteBuilder& Common(int32_t version, const TEntJwwCommon& c) {
    U32(c.Group).U8(c.PenStyle).U16(c.PenColor);
    return (version >= 351 ? U16(c.PenWidth) : *this).U16(c.Layer).U16(c.LayerGroup).U16(c.Flags);
  }
  ByteBuilder& Line(int32_t v, const TEntJwwCommon& c, double x1, double y1, double x2, double y2) {
    return Common(v, c).F64(x1).F64(y1).F64(x2).F64(y2);
  }
  // A point body; Code, Angle and Scale follow only with PenStyle 100.
  ByteBuilder& Point(int32_t v, const TEntJwwCommon& c, double x, double y, uint32_t k = 0, double a = 0,
                     double s = 0) {
    Common(v, c).F64(x).F64(y).U32(0);
    return c.PenStyle == 100 ? U32(k).F64(a).F64(s) : *this;
  }
  ByteBuilder& Text(int32_t v, const TEntJwwCommon& c, std::string_view font, std::string_view text) {
    return Common(v, c).F64(1).F64(2).F64(3).F64(4).U32(1).F64(2.5).F64(2.5).F64(0).F64(0).Str(font).Str(text);
  }
  // The fixed part of a block definition: common part, number, a zero, time.
  ByteBuilder& Def(int32_t v, const TEntJwwCommon& c, int32_t n, uint32_t t) {
    return Common(v, c).I32(n).U32(0).U32(t);
  }
  const std::vector<uint8_t>& Bytes() const { return b_; }

 private:
  std::vector<uint8_t> b_;
};

// A common part with every field distinct, so a field read from the wrong
// place shows.
inline TEntJwwCommon Attrs(uint8_t style = 1, uint16_t color = 2) {
  return {0x01020304, style, color, 9, 4, 5, 0x0606};
}

// The bytes of an empty drawing of this version before its entity list.
inline std::vector<uint8_t> HeaderBytes(int32_t version) {
  TJwwData d = NewDrawing(version);
  std::vector<uint8_t> bytes = Serialize(d, version);
  bytes.resize(bytes.size() - (version >= 700 ? 8 : 4));  // the two counts and the image count
  return bytes;
}

// A file whose drawing list is `objects` (announced as `count`), followed by
// one empty block definition number 4321 "END" and, from 700, an empty image
// section. A reader that takes too many or too few bytes misses that tail.
inline std::vector<uint8_t> HandFile(int32_t version, uint32_t count, const ByteBuilder& objects) {
  ByteBuilder b;
  b.Append(HeaderBytes(version)).Count(count).Append(objects.Bytes());
  b.Count(1).NewClass("CDataList").Def(version, Attrs(), 4321, 7).Str("END").Count(0);
  if (version >= 700) b.I32(0);
  return b.Bytes();
}

// builder::SerializeAllDefs, the write expected to succeed.
inline std::vector<uint8_t> SerializeAllDefs(TJwwData& d, int32_t version) {
  std::vector<uint8_t> bytes = builder::SerializeAllDefs(d, version);
  EXPECT_FALSE(bytes.empty());
  return bytes;
}

}  // namespace rtest
using namespace rtest;
}  // namespace qtest
