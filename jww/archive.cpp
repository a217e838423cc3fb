#include "jww/archive.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "jww/kinds.h"
#include "text/sjis.h"

namespace quorvex {
namespace {

constexpr std::string_view kBlockDefClassName = "CDataList";

}  // namespace

std::string_view ClassName(int kind) {
  if (kind == kBlockDefClass) return kBlockDefClassName;
  std::string_view name;
  WithKind(kind, [&](auto k) { name = k.ClassName; });
  return name;
}

int KindOfClassName(std::string_view name) {
  int kind = 0;
  ForEachKind([&](auto k) {
    if (k.ClassName == name) kind = k.Code;
  });
  return kind;
}

namespace {

// Reads the length prefix of an archive string: its length in units and its
// form. False, with the cursor failed at the string's first byte, when the
// prefix or the units run past the end.
bool ReadStringPrefix(ByteCursor& c, uint32_t& len, bool& wide) {
  const size_t start = c.Offset();
  len = c.U8();
  wide = false;
  if (len == 0xFF) {
    len = c.U16();
    if (len == kWideStringMarker) {
      wide = true;
      len = c.U8();
      if (len == 0xFF) len = c.U16();
    }
  }
  if (c.Ok() && (wide ? size_t(len) * 2 : size_t(len)) > c.Remaining()) c.FailAt(start, TReadProblem::kCutShort);
  return c.Ok();
}

// True when CleanArchiveText would change these narrow bytes: a control
// character, or a lead byte with nothing after it.
bool NarrowNeedsCleaning(const uint8_t* p, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    if (IsLeadByte(p[i])) {
      if (++i == n) return true;
    } else if (p[i] < 0x20) {
      return true;
    }
  }
  return false;
}

char16_t UnitAt(const uint8_t* p, size_t i) { return static_cast<char16_t>(p[2 * i] | (p[2 * i + 1] << 8)); }

// The same for wide units: a control character, or a high surrogate last.
bool WideNeedsCleaning(const uint8_t* p, size_t n) {
  for (size_t i = 0; i < n; ++i)
    if (UnitAt(p, i) < 0x20) return true;
  return n > 0 && UnitAt(p, n - 1) >= 0xD800 && UnitAt(p, n - 1) <= 0xDBFF;
}

JwwString MakeString(const uint8_t* p, size_t n, bool wide) {
  return wide ? JwwString::WideFromBytes(p, n) : JwwString::Narrow(std::string_view(reinterpret_cast<const char*>(p), n));
}

}  // namespace

JwwString ReadArchiveString(ByteCursor& c) {
  uint32_t len = 0;
  bool wide = false;
  const uint8_t* p = ReadStringPrefix(c, len, wide) ? c.Take(wide ? size_t(len) * 2 : len) : nullptr;
  if (!p) return wide ? JwwString::Wide({}) : JwwString();
  return MakeString(p, len, wide);
}

JwwString ReadCleanString(ByteCursor& c) {
  uint32_t len = 0;
  bool wide = false;
  const uint8_t* p = ReadStringPrefix(c, len, wide) ? c.Take(wide ? size_t(len) * 2 : len) : nullptr;
  if (!p) return wide ? JwwString::Wide({}) : JwwString();
  // Most strings hold nothing to clean: they are built once, as they stand.
  if (!(wide ? WideNeedsCleaning(p, len) : NarrowNeedsCleaning(p, len))) return MakeString(p, len, wide);
  return CleanArchiveText(MakeString(p, len, wide));
}

void SkipArchiveString(ByteCursor& c) {
  uint32_t len = 0;
  bool wide = false;
  if (ReadStringPrefix(c, len, wide)) c.Skip(wide ? size_t(len) * 2 : len);
}

uint32_t ReadObjectCount(ByteCursor& c) {
  const uint32_t n = c.U16();
  return n == 0xFFFF ? c.U32() : n;
}

int ReadEntityClassTag(ByteCursor& c, TArchiveNumbering& n) {
  const size_t at = c.Offset();
  const uint16_t tag = c.U16();
  if (!c.Ok()) return 0;
  if (tag == 0xFFFF) {
    c.U16();  // schema number, not used
    const uint16_t len = c.U16();
    if (c.Ok() && len > kMaxClassNameLength) {
      c.FailAt(at, TReadProblem::kClassNameTooLong, len);
      return 0;
    }
    const uint8_t* name = c.Take(len);
    if (!name) return 0;
    const std::string_view text(reinterpret_cast<const char*>(name), len);
    const int kind = KindOfClassName(text);
    const uint32_t number = n.NextObject++;
    if (kind == 0) {
      c.FailAt(at, TReadProblem::kUnknownClass, 0, std::string(text));
      return 0;
    }
    n.ClassOf[kind] = number;
    return kind;
  }
  uint32_t index = 0;
  if (tag == 0x7FFF) {
    index = c.U32() & 0x7FFFFFFFu;
    if (!c.Ok()) return 0;
  } else if (tag & 0x8000) {
    index = tag - 0x8000u;
  }
  if (index != 0) {
    int kind = 0;
    ForEachKind([&](auto k) {
      if (kind == 0 && n.ClassOf[k.Code] == index) kind = k.Code;
    });
    if (kind != 0) return kind;
  }
  c.FailAt(at, TReadProblem::kBadClassTag, tag);
  return 0;
}

void ReadBlockDefClassTag(ByteCursor& c, TArchiveNumbering& n) {
  const size_t at = c.Offset();
  const uint16_t tag = c.U16();
  if (tag == 0xFFFF) {
    c.U16();
    const uint16_t len = c.U16();
    if (c.Ok() && len > kMaxClassNameLength) {
      c.FailAt(at, TReadProblem::kClassNameTooLong, len);
      return;
    }
    c.Skip(len);
    n.ClassOf[kBlockDefClass] = n.NextObject++;
  } else if (tag == 0x7FFF) {
    c.U32();
  }
}

// ---- writing ----

void WriteArchiveString(TArchiveWriter& w, const JwwString& s) {
  const size_t len = s.Length();
  if (!s.IsWide()) {
    if (len < 255) {
      w.U8(static_cast<uint8_t>(len));
    } else if (len == kWideStringMarker || len > 0xFFFF) {
      w.Fail(EINVAL);
      return;
    } else {
      w.U8(0xFF);
      w.U16(static_cast<uint16_t>(len));
    }
    w.Bytes(s.Bytes().data(), len);
    return;
  }
  if (len > 0xFFFF) {
    w.Fail(EINVAL);
    return;
  }
  w.U8(0xFF);
  w.U16(kWideStringMarker);
  if (len < 255) {
    w.U8(static_cast<uint8_t>(len));
  } else {
    w.U8(0xFF);
    w.U16(static_cast<uint16_t>(len));
  }
  for (char16_t u : s.Units()) w.U16(u);
}

void WriteObjectCount(TArchiveWriter& w, uint32_t count) {
  if (count < 0xFFFF) {
    w.U16(static_cast<uint16_t>(count));
  } else {
    w.U16(0xFFFF);
    w.U32(count);
  }
}

void WriteClassReference(TArchiveWriter& w, uint32_t index) {
  if (index < 0x7FFF) {
    w.U16(static_cast<uint16_t>(0x8000 + index));
  } else {
    w.U16(0x7FFF);
    w.U32(index | 0x80000000u);
  }
}

void WriteNewClass(TArchiveWriter& w, uint16_t schema, std::string_view name) {
  w.U16(0xFFFF);
  w.U16(schema);
  w.U16(static_cast<uint16_t>(name.size()));
  w.Bytes(name.data(), name.size());
}

void WriteClassTag(TArchiveWriter& w, TArchiveNumbering& n, int kind, uint16_t schema) {
  if (n.ClassOf[kind] == 0) {
    WriteNewClass(w, schema, ClassName(kind));
    n.ClassOf[kind] = n.NextObject++;
  } else {
    WriteClassReference(w, n.ClassOf[kind]);
  }
}

}  // namespace quorvex
