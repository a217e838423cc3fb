#include "text/jwwstring.h"

#include <bit>

#include "text/sjis.h"
#include "text/utf8.h"

namespace quorvex {
namespace {

template <class Filter>
JwwString Apply(const JwwString& s, Filter filter) {
  return s.IsWide() ? JwwString::Wide(filter(s.Units())) : JwwString::Narrow(filter(s.Bytes()));
}

}  // namespace

void JwwString::Assign(const void* units, size_t n, bool wide) {
  const size_t bytes = wide ? 2 * n : n;
  if (n <= (wide ? kInlineUnits : kInlineBytes)) {
    if (bytes > 0) std::memcpy(store_, units, bytes);
    SetTag(static_cast<uint8_t>((wide ? kWide : 0) | n));
    return;
  }
  void* block = ::operator new(bytes);
  std::memcpy(block, units, bytes);
  const uint32_t length = static_cast<uint32_t>(n);
  std::memcpy(store_, &block, sizeof block);
  std::memcpy(store_ + 4, &length, sizeof length);
  SetTag(static_cast<uint8_t>((wide ? kWide : 0) | kHeap));
}

JwwString JwwString::WideFromBytes(const uint8_t* pairs, size_t n) {
  if constexpr (std::endian::native == std::endian::little) {
    JwwString s;
    s.Assign(pairs, n, true);  // the pairs are the units as they lie in memory
    return s;
  } else {
    std::u16string units(n, u'\0');
    for (size_t i = 0; i < n; ++i) units[i] = static_cast<char16_t>(pairs[2 * i] | (pairs[2 * i + 1] << 8));
    return Wide(units);
  }
}

void JwwString::FreeBlock() noexcept { ::operator delete(const_cast<void*>(Data())); }

JwwString JwwString::SameForm(std::string_view ascii) const {
  if (!IsWide()) return Narrow(ascii);
  return Wide(std::u16string(ascii.begin(), ascii.end()));
}

bool JwwString::ToFileName(std::string& out) const {
  out.clear();
  if (!IsWide()) {
    out = std::string(Bytes());
    return true;
  }
  return AppendUtf16AsUtf8(Units(), out, true);
}

bool MayHoldCaretM(const JwwString& s) {
  if (s.IsWide()) {
    for (char16_t u : s.Units())
      if (u < 0x20 || u == u'^') return true;
    return false;
  }
  for (char c : s.Bytes())
    if (static_cast<uint8_t>(c) < 0x20 || c == '^') return true;
  return false;
}

bool IsBlank(const JwwString& s) {
  if (s.IsWide()) {
    for (char16_t u : s.Units())
      if (u != u' ' && u != u'\u3000' && u >= 0x20) return false;
    return true;
  }
  // By characters, as RemoveBlanks walks: a lead byte and the byte after it
  // are one character, and only the full-width blank among them is blank.
  const std::string_view b = s.Bytes();
  for (size_t i = 0; i < b.size(); ++i) {
    const uint8_t c = static_cast<uint8_t>(b[i]);
    if (IsLeadByte(c) && i + 1 < b.size()) {
      if (!(c == 0x81 && static_cast<uint8_t>(b[i + 1]) == 0x40)) return false;
      ++i;
    } else if (c != ' ' && c >= 0x20) {
      return false;
    }
  }
  return true;
}

JwwString RemoveBlanks(const JwwString& s) {
  return Apply(s, [](const auto& v) { return RemoveBlanks(v); });
}
JwwString StripCaretM(const JwwString& s) {
  return Apply(s, [](const auto& v) { return StripCaretM(v); });
}
JwwString CleanArchiveText(const JwwString& s) {
  return Apply(s, [](const auto& v) { return CleanArchiveText(v); });
}

}  // namespace quorvex
