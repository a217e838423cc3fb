#include "jww/archive.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "jww/kinds.h"

namespace quorvex {
namespace {

constexpr std::string_view kBlockDefClassName = "CDataList";
constexpr size_t kFlushThreshold = 1 << 16;

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

JwwString ReadArchiveString(ByteCursor& c) {
  const size_t start = c.Offset();
  uint32_t len = c.U8();
  bool wide = false;
  if (len == 0xFF) {
    len = c.U16();
    if (len == kWideStringMarker) {
      wide = true;
      len = c.U8();
      if (len == 0xFF) len = c.U16();
    }
  }
  // A string that runs past the end is cut short at its first byte.
  if (c.Ok() && (wide ? size_t(len) * 2 : size_t(len)) > c.Remaining()) c.FailAt(start, TReadProblem::kCutShort);
  if (!wide) {
    const uint8_t* p = c.Take(len);
    return p ? JwwString::Narrow(std::string(reinterpret_cast<const char*>(p), len)) : JwwString();
  }
  const uint8_t* p = c.Take(size_t(len) * 2);
  if (!p) return JwwString::Wide({});
  std::u16string units(len, u'\0');
  for (uint32_t i = 0; i < len; ++i) units[i] = static_cast<char16_t>(p[2 * i] | (p[2 * i + 1] << 8));
  return JwwString::Wide(std::move(units));
}

JwwString ReadCleanString(ByteCursor& c) { return CleanArchiveText(ReadArchiveString(c)); }

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

void TArchiveWriter::Put(uint64_t v, size_t n) {
  uint8_t b[8];
  for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(v >> (8 * i));
  Bytes(b, n);
}

void TArchiveWriter::F64(double v) {
  uint64_t bits;
  std::memcpy(&bits, &v, sizeof bits);
  Put(bits, 8);
}

void TArchiveWriter::Bytes(const void* p, size_t n) {
  if (err_ != 0 || n == 0) return;
  const auto* b = static_cast<const uint8_t*>(p);
  buf_.insert(buf_.end(), b, b + n);
  if (fd_ >= 0 && buf_.size() >= kFlushThreshold) Flush();
}

void TArchiveWriter::Zeros(size_t n) {
  if (err_ != 0) return;
  buf_.resize(buf_.size() + n, 0);
  if (fd_ >= 0 && buf_.size() >= kFlushThreshold) Flush();
}

bool TArchiveWriter::Flush() {
  if (err_ != 0) return false;
  if (fd_ < 0) return true;
  size_t done = 0;
  while (done < buf_.size()) {
    const ssize_t r = ::write(fd_, buf_.data() + done, buf_.size() - done);
    if (r < 0) {
      if (errno == EINTR) continue;
      Fail(errno);
      return false;
    }
    if (r == 0) {
      Fail(EIO);
      return false;
    }
    done += static_cast<size_t>(r);
  }
  flushed_ += buf_.size();
  buf_.clear();
  return true;
}

void TArchiveWriter::Fail(int err) {
  if (err_ == 0) err_ = err != 0 ? err : EIO;
}

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
