#include "text/jwwstring.h"

#include "text/sjis.h"

namespace quorvex {
namespace {

template <class Filter>
JwwString Apply(const JwwString& s, Filter filter) {
  return s.IsWide() ? JwwString::Wide(filter(s.Units())) : JwwString::Narrow(filter(s.Bytes()));
}

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (c >> 12)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (c >> 18)));
    out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

}  // namespace

const std::string& JwwString::EmptyBytes() {
  static const std::string kEmpty;
  return kEmpty;
}

const std::u16string& JwwString::EmptyUnits() {
  static const std::u16string kEmpty;
  return kEmpty;
}

JwwString JwwString::SameForm(std::string_view ascii) const {
  if (!IsWide()) return Narrow(std::string(ascii));
  return Wide(std::u16string(ascii.begin(), ascii.end()));
}

void JwwString::Truncate(size_t n) {
  std::visit([n](auto& s) { if (s.size() > n) s.resize(n); }, v_);
}

bool JwwString::ToFileName(std::string& out) const {
  out.clear();
  if (!IsWide()) {
    out = Bytes();
    return true;
  }
  const std::u16string& units = Units();
  for (size_t i = 0; i < units.size(); ++i) {
    const char16_t u = units[i];
    if (u >= 0xD800 && u <= 0xDBFF) {
      if (i + 1 >= units.size() || units[i + 1] < 0xDC00 || units[i + 1] > 0xDFFF) return false;
      AppendUtf8(out, 0x10000 + ((char32_t(u) - 0xD800) << 10) + (char32_t(units[i + 1]) - 0xDC00));
      ++i;
    } else if (u >= 0xDC00 && u <= 0xDFFF) {
      return false;
    } else {
      AppendUtf8(out, u);
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
