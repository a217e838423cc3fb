#include "dxf/out.h"

#include <charconv>
#include <cmath>
#include <cstring>

#include "text/utf8.h"

namespace quorvex {

char* TDxfOut::Code(int code, char* at) {
  if (code >= 0 && code < 100) {
    *at++ = ' ';
    if (code < 10) *at++ = ' ';
  }
  at = std::to_chars(at, at + 8, code).ptr;
  *at++ = '\n';
  return at;
}

void TDxfOut::Str(int code, std::string_view value) {
  char line[16];
  char* end = Code(code, line);
  w_.Bytes(line, static_cast<size_t>(end - line));
  w_.Bytes(value.data(), value.size());
  w_.Bytes("\n", 1);
}

void TDxfOut::Int(int code, int64_t value) {
  char line[48];
  char* end = Code(code, line);
  end = std::to_chars(end, end + 24, value).ptr;
  *end++ = '\n';
  w_.Bytes(line, static_cast<size_t>(end - line));
}

void TDxfOut::Real(int code, double value) {
  char line[48];
  char* end = Code(code, line);
  if (value == 0 || !std::isfinite(value)) value = 0;  // no "-0"
  end = std::to_chars(end, end + 32, value).ptr;
  *end++ = '\n';
  w_.Bytes(line, static_cast<size_t>(end - line));
}

void TDxfOut::Handle(int code, uint64_t handle) {
  char line[48];
  char* end = Code(code, line);
  end = std::to_chars(end, end + 20, handle, 16).ptr;
  for (char* p = end - 1; p >= line && *p != '\n'; --p)
    if (*p >= 'a' && *p <= 'f') *p = static_cast<char>(*p - 'a' + 'A');
  *end++ = '\n';
  w_.Bytes(line, static_cast<size_t>(end - line));
}

void TDxfOut::Point(int code, double x, double y) {
  Real(code, x);
  Real(code + 10, y);
  char line[16];
  char* end = Code(code + 20, line);
  *end++ = '0';
  *end++ = '\n';
  w_.Bytes(line, static_cast<size_t>(end - line));
}

void TDxfOut::Point2(int code, double x, double y) {
  Real(code, x);
  Real(code + 10, y);
}

void AppendCaretText(const JwwString& text, std::string& out) {
  const size_t start = out.size();
  // Most texts are ASCII already: copied as they are.
  bool ascii = true;
  for (size_t i = 0; i < text.Length() && ascii; ++i) ascii = text.Unit(i) < 0x80;
  if (ascii) {
    for (size_t i = 0; i < text.Length(); ++i) out.push_back(static_cast<char>(text.Unit(i)));
  } else {
    out += ToUtf8(text);
  }
  // Caret notation: '^' followed by the character 64 places on ("^ " for
  // '^' itself), for '^' and every control character.
  size_t special = 0;
  for (size_t i = start; i < out.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(out[i]);
    special += c < 0x20 || c == '^';
  }
  if (special == 0) return;
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
}

void TDxfOut::Text(int code, const JwwString& text) {
  text_.clear();
  AppendCaretText(text, text_);
  Str(code, text_);
}

}  // namespace quorvex
