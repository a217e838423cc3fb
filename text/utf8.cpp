#include "text/utf8.h"

#include <iconv.h>

#include <cerrno>

#include "text/sjis.h"

namespace quorvex {
namespace {


constexpr char32_t kReplacement = 0xFFFD;

// One converter per thread, opened on first use and reset before each
// string (iconv descriptors carry shift state and are not thread-safe).
class TCp932Converter {
 public:
  // Loading the converter reads the C library's module files: a read or an
  // open that failed once (an interrupt, a moment without a descriptor) is
  // tried again before the drawing's texts count as undecodable.
  TCp932Converter() {
    for (int tries = 0; tries < kOpenTries && !Opened(); ++tries) cd_ = iconv_open("UTF-8", "CP932");
    if (!Opened()) error_ = errno != 0 ? errno : EINVAL;
  }
  ~TCp932Converter() {
    if (Opened()) iconv_close(cd_);
  }
  TCp932Converter(const TCp932Converter&) = delete;
  TCp932Converter& operator=(const TCp932Converter&) = delete;

  // 0, or why the converter cannot be had.
  int Error() const { return error_; }
  bool Ok() const { return error_ == 0; }

  std::string Convert(const std::string& bytes) {
    std::string out;
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    char* in = const_cast<char*>(bytes.data());
    size_t inLeft = bytes.size();
    char buf[1024];
    while (inLeft > 0) {
      char* o = buf;
      size_t oLeft = sizeof buf;
      const size_t r = iconv(cd_, &in, &inLeft, &o, &oLeft);
      out.append(buf, static_cast<size_t>(o - buf));
      if (r != static_cast<size_t>(-1)) continue;
      if (errno == E2BIG) continue;
      // No character here: one replacement for the character's bytes (a
      // lead byte takes its trail byte with it), then go on.
      AppendUtf8(out, kReplacement);
      const size_t skip = IsLeadByte(static_cast<uint8_t>(*in)) && inLeft >= 2 ? 2 : 1;
      in += skip;
      inLeft -= skip;
      iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    }
    return out;
  }

 private:
  bool Opened() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

  static constexpr int kOpenTries = 3;
  iconv_t cd_ = reinterpret_cast<iconv_t>(-1);
  int error_ = 0;
};

TCp932Converter& Converter() {
  thread_local TCp932Converter converter;
  return converter;
}

bool IsAscii(std::string_view bytes) {
  for (char c : bytes)
    if (static_cast<uint8_t>(c) >= 0x80) return false;
  return true;
}

// Without a working converter: ASCII as it is, every other character one
// replacement.
std::string AsciiOnly(const std::string& bytes) {
  std::string out;
  for (size_t i = 0; i < bytes.size(); ++i) {
    const uint8_t c = static_cast<uint8_t>(bytes[i]);
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
    } else {
      AppendUtf8(out, kReplacement);
      if (IsLeadByte(c)) ++i;
    }
  }
  return out;
}

}  // namespace

bool AppendUtf16AsUtf8(std::u16string_view units, std::string& out, bool strict) {
  for (size_t i = 0; i < units.size(); ++i) {
    const char16_t u = units[i];
    if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
      AppendUtf8(out, 0x10000 + ((static_cast<char32_t>(u) - 0xD800) << 10) + (units[i + 1] - 0xDC00));
      ++i;
    } else if (u >= 0xD800 && u <= 0xDFFF) {
      if (strict) return false;
      AppendUtf8(out, kReplacement);
    } else {
      AppendUtf8(out, u);
    }
  }
  return true;
}

std::string Utf16ToUtf8(std::u16string_view units) {
  std::string out;
  out.reserve(units.size());
  AppendUtf16AsUtf8(units, out, false);
  return out;
}

std::string Cp932ToUtf8(const std::string& bytes) {
  TCp932Converter& converter = Converter();
  return converter.Ok() ? converter.Convert(bytes) : AsciiOnly(bytes);
}

int Cp932ConverterError() { return Converter().Error(); }

std::string ToUtf8(const JwwString& s) {
  return s.IsWide() ? Utf16ToUtf8(s.Units()) : Cp932ToUtf8(std::string(s.Bytes()));
}

bool ToUtf8(const JwwString& s, std::string& out) {
  out = ToUtf8(s);
  // ASCII needs no converter.
  return s.IsWide() || IsAscii(s.Bytes()) || Cp932ConverterError() == 0;
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

char32_t NextUtf8(std::string_view s, size_t& i) {
  const unsigned char c = static_cast<unsigned char>(s[i]);
  const size_t n = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
  if (i + n > s.size()) {
    ++i;
    return c;
  }
  char32_t cp = n == 1 ? c : n == 2 ? (c & 0x1F) : n == 3 ? (c & 0x0F) : (c & 0x07);
  for (size_t k = 1; k < n; ++k) cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
  i += n;
  return cp;
}

}  // namespace quorvex
