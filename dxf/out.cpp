#include "dxf/out.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

#include "text/utf8.h"

namespace quorvex {

namespace {

// The line of a group code, always inlined here.
[[gnu::always_inline]] inline char* PutCode(int code, char* at) { return PutGroupCode(code, at); }

}  // namespace

void TDxfOut::Str(int code, std::string_view value) {
  if (value.size() > 4096) {  // a long one goes through the writer's copy
    char* const start = reinterpret_cast<char*>(w_.Room(16));
    if (!start) return;
    End(start, PutCode(code, start));
    w_.Bytes(value.data(), value.size());
    w_.Bytes("\n", 1);
    return;
  }
  char* const start = reinterpret_cast<char*>(w_.Room(16 + value.size()));
  if (!start) return;
  char* at = PutCode(code, start);
  std::memcpy(at, value.data(), value.size());
  at += value.size();
  *at++ = '\n';
  End(start, at);
}

void TDxfOut::Int(int code, int64_t value) {
  char* const start = reinterpret_cast<char*>(w_.Room(48));
  if (!start) return;
  char* at = std::to_chars(PutCode(code, start), start + 48, value).ptr;
  *at++ = '\n';
  End(start, at);
}

void TDxfOut::Real(int code, double value) {
  char* const start = reinterpret_cast<char*>(w_.Room(48));
  if (!start) return;
  if (value == 0 || !std::isfinite(value)) value = 0;  // no "-0"
  // A whole number is written as the shortest form has it, its digits
  // (unless the exponent form is shorter), the quicker way, and with ".0"
  // after the digits: a real always shows it is one, so that no value line
  // of a real reads "0", which a reader stepping line by line over what it
  // does not know takes for the start of the next entity.
  char* at = PutCode(code, start);
  if (value > -1e15 && value < 1e15 && value == std::trunc(value)) {
    const int64_t whole = static_cast<int64_t>(value);
    int64_t rest = whole < 0 ? -whole : whole;
    int digits = 1, zeros = 0;
    for (int64_t v = rest; v >= 10; v /= 10) ++digits;
    while (rest != 0 && rest % 10 == 0) rest /= 10, ++zeros;
    const int significant = digits - zeros;
    const int exponent = (significant > 1 ? significant + 1 : significant) + (digits - 1 >= 100 ? 5 : 4);
    if (exponent < digits) {
      at = std::to_chars(at, start + 48, value).ptr;
    } else {
      at = std::to_chars(at, start + 48, whole).ptr;
      *at++ = '.', *at++ = '0';
    }
  } else {
    char* const digits = at;
    at = std::to_chars(at, start + 48, value).ptr;
    // A whole number of 16 digits and more may come without either.
    if (std::find_if(digits, at, [](char c) { return c == '.' || c == 'e'; }) == at) *at++ = '.', *at++ = '0';
  }
  *at++ = '\n';
  End(start, at);
}

namespace {

// A handle's group into `at`: its code, the handle in upper-case
// hexadecimal, a line feed. At most 4 + 16 + 1 bytes (codes below 1000).
char* PutHandle(int code, uint64_t handle, char* at) {
  at = PutCode(code, at);
  char digits[16];
  int n = 0;
  do {
    digits[n++] = "0123456789ABCDEF"[handle & 15];
    handle >>= 4;
  } while (handle != 0);
  while (n > 0) *at++ = digits[--n];
  *at++ = '\n';
  return at;
}

}  // namespace

TDxfGroupBytes HandleGroup(int code, uint64_t handle) {
  TDxfGroupBytes g;
  g.Size = static_cast<size_t>(PutHandle(code, handle, g.Bytes) - g.Bytes);
  return g;
}

void TDxfOut::Handle(int code, uint64_t handle) {
  char* const start = reinterpret_cast<char*>(w_.Room(40));
  if (!start) return;
  End(start, PutHandle(code, handle, start));
}

void TDxfOut::Point(int code, double x, double y) {
  Real(code, x);
  Real(code + 10, y);
  char* const start = reinterpret_cast<char*>(w_.Room(12));
  if (!start) return;
  char* at = PutCode(code + 20, start);
  *at++ = '0', *at++ = '.', *at++ = '0';
  *at++ = '\n';
  End(start, at);
}

void TDxfOut::Point2(int code, double x, double y) {
  Real(code, x);
  Real(code + 10, y);
}

bool AppendCaretText(const JwwString& text, std::string& out) {
  const size_t start = out.size();
  bool decoded = true;
  // Most texts are ASCII already: copied as they are.
  bool ascii = true;
  for (size_t i = 0; i < text.Length() && ascii; ++i) ascii = text.Unit(i) < 0x80;
  if (ascii) {
    for (size_t i = 0; i < text.Length(); ++i) out.push_back(static_cast<char>(text.Unit(i)));
  } else {
    std::string utf8;
    decoded = ToUtf8(text, utf8);
    out += utf8;
  }
  // Caret notation: '^' followed by the character 64 places on ("^ " for
  // '^' itself), for '^' and every control character.
  size_t special = 0;
  for (size_t i = start; i < out.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(out[i]);
    special += c < 0x20 || c == '^';
  }
  if (special == 0) return decoded;
  std::string plain = out.substr(start);
  out.resize(start);
  for (const char ch : plain) {
    const unsigned char c = static_cast<unsigned char>(ch);
    if (c == '^') {
      out += "^ ";
    } else if (c < 0x20) {
      out += '^';
      out += static_cast<char>(c + 64);
    } else {
      out += ch;
    }
  }
  return decoded;
}

void TDxfOut::Text(int code, const JwwString& text) {
  text_.clear();
  if (!AppendCaretText(text, text_)) ++undecoded_;
  Str(code, text_);
}

}  // namespace quorvex
