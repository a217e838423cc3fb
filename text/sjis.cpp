#include "text/sjis.h"

#include <cstdlib>
#include <cstring>

namespace quorvex {
namespace {

constexpr char16_t kWideBlank = u'\u3000';

bool IsControl(char16_t c) { return c < 0x20; }

// Calls visit(pos, len) for each character of a Shift-JIS string; len is 2
// for a lead byte followed by another byte, else 1.
template <class Visit>
void WalkSjis(std::string_view s, Visit visit) {
  size_t i = 0;
  while (i < s.size()) {
    const bool lead = IsLeadByte(static_cast<uint8_t>(s[i]));
    const size_t len = (lead && i + 1 < s.size()) ? 2 : 1;
    visit(i, len, lead);
    i += len;
  }
}

bool IsNarrowControl(std::string_view s, size_t i) { return static_cast<uint8_t>(s[i]) < 0x20; }

}  // namespace

std::string RemoveBlanks(std::string_view s) {
  std::string out;
  WalkSjis(s, [&](size_t i, size_t len, bool) {
    if (len == 2) {
      if (!(static_cast<uint8_t>(s[i]) == 0x81 && static_cast<uint8_t>(s[i + 1]) == 0x40)) out.append(s, i, 2);
    } else if (s[i] != ' ' && !IsNarrowControl(s, i)) {
      out.push_back(s[i]);
    }
  });
  return out;
}

std::u16string RemoveBlanks(std::u16string_view s) {
  std::u16string out;
  for (char16_t c : s)
    if (c != u' ' && c != kWideBlank && !IsControl(c)) out.push_back(c);
  return out;
}

std::string StripCaretM(std::string_view s) {
  if (s.empty()) return std::string();
  std::string out;
  size_t i = 0;
  while (i < s.size()) {
    const bool lead = IsLeadByte(static_cast<uint8_t>(s[i]));
    if (lead && i + 1 < s.size()) {
      out.append(s, i, 2);
      i += 2;
    } else if (s[i] == '^' && i + 1 < s.size() && s[i + 1] == 'm') {
      i += 2;
    } else {
      if (!IsNarrowControl(s, i)) out.push_back(s[i]);
      i += 1;
    }
  }
  if (out.empty()) out.push_back(' ');
  return out;
}

std::u16string StripCaretM(std::u16string_view s) {
  if (s.empty()) return std::u16string();
  std::u16string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == u'^' && i + 1 < s.size() && s[i + 1] == u'm') {
      ++i;
    } else if (!IsControl(s[i])) {
      out.push_back(s[i]);
    }
  }
  if (out.empty()) out.push_back(u' ');
  return out;
}

std::string CleanArchiveText(std::string_view s) {
  std::string out;
  WalkSjis(s, [&](size_t i, size_t len, bool lead) {
    if (len == 2) {
      out.append(s, i, 2);
    } else if (!lead && !IsNarrowControl(s, i)) {
      out.push_back(s[i]);
    }
    // A lead byte with nothing after it is dropped.
  });
  return out;
}

std::u16string CleanArchiveText(std::u16string_view s) {
  std::u16string out;
  for (size_t i = 0; i < s.size(); ++i) {
    const char16_t c = s[i];
    const bool lastHighSurrogate = i + 1 == s.size() && c >= 0xD800 && c <= 0xDBFF;
    if (!IsControl(c) && !lastHighSurrogate) out.push_back(c);
  }
  return out;
}

void CopyToBuffer(uint8_t* dest, const std::string& s, int count) {
  size_t n = static_cast<size_t>(std::abs(static_cast<long long>(count)));
  if (n > s.size()) n = s.size();
  if (n > 0) std::memcpy(dest, s.data(), n);
}

void FillBuffer(uint8_t* dest, uint8_t value, int count) {
  if (count > 0) std::memset(dest, value, static_cast<size_t>(count));
}

}  // namespace quorvex
