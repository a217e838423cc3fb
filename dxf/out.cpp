#include "dxf/out.h"

#include <charconv>
#include <cmath>
#include <cstring>

#include "text/utf8.h"

namespace quorvex {

namespace {

// The line of a group code: right-aligned in three columns.
[[gnu::always_inline]] inline char* PutCode(int code, char* at) {
  if (code >= 0 && code < 1000) {
    at[0] = code < 100 ? ' ' : static_cast<char>('0' + code / 100);
    at[1] = code < 10 ? ' ' : static_cast<char>('0' + code / 10 % 10);
    at[2] = static_cast<char>('0' + code % 10);
    at[3] = '\n';
    return at + 4;
  }
  at = std::to_chars(at, at + 12, code).ptr;
  *at++ = '\n';
  return at;
}

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
  // (unless the exponent form is shorter), the quicker way.
  char* at = PutCode(code, start);
  if (value > -1e15 && value < 1e15 && value == std::trunc(value)) {
    const int64_t whole = static_cast<int64_t>(value);
    int64_t rest = whole < 0 ? -whole : whole;
    int digits = 1, zeros = 0;
    for (int64_t v = rest; v >= 10; v /= 10) ++digits;
    while (rest != 0 && rest % 10 == 0) rest /= 10, ++zeros;
    const int significant = digits - zeros;
    const int exponent = (significant > 1 ? significant + 1 : significant) + (digits - 1 >= 100 ? 5 : 4);
    at = exponent < digits ? std::to_chars(at, start + 48, value).ptr : std::to_chars(at, start + 48, whole).ptr;
  } else {
    at = std::to_chars(at, start + 48, value).ptr;
  }
  *at++ = '\n';
  End(start, at);
}

void TDxfOut::Handle(int code, uint64_t handle) {
  char* const start = reinterpret_cast<char*>(w_.Room(40));
  if (!start) return;
  char* at = PutCode(code, start);
  char digits[16];
  int n = 0;
  do {
    digits[n++] = "0123456789ABCDEF"[handle & 15];
    handle >>= 4;
  } while (handle != 0);
  while (n > 0) *at++ = digits[--n];
  *at++ = '\n';
  End(start, at);
}

void TDxfOut::Point(int code, double x, double y) {
  Real(code, x);
  Real(code + 10, y);
  char* const start = reinterpret_cast<char*>(w_.Room(8));
  if (!start) return;
  char* at = PutCode(code + 20, start);
  *at++ = '0';
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
