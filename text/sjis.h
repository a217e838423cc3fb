// Shift-JIS aware string filters and fixed-field helpers.
//
// Narrow strings are std::string holding Shift-JIS bytes; lengths and
// positions count bytes. Every filter walks its string by characters: a lead
// byte and the byte after it form one character, so a trail byte is never
// looked at on its own. Each filter has a twin for wide strings (UTF-16 code
// units, one character per unit) that treats blanks, control characters and
// "^m" the same way.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace quorvex {

// True for the first byte of a double-byte character: 0x80..0x9F, 0xE0..0xFD.
constexpr bool IsLeadByte(uint8_t b) { return (b >= 0x80 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFD); }

// Drops half-width and full-width blanks and control characters.
std::string RemoveBlanks(std::string_view s);
std::u16string RemoveBlanks(std::u16string_view s);

// Drops "^m" pairs and control characters; a non-empty string that becomes
// empty is returned as one blank, the empty string stays empty.
std::string StripCaretM(std::string_view s);
std::u16string StripCaretM(std::u16string_view s);

// Drops control characters and a dangling final lead byte (for wide strings,
// a high surrogate in the last position).
std::string CleanArchiveText(std::string_view s);
std::u16string CleanArchiveText(std::u16string_view s);

// Copies min(|count|, s.size()) bytes of s to dest; nothing else of dest is
// touched.
void CopyToBuffer(uint8_t* dest, const std::string& s, int count);

// Sets count bytes of dest to value; a count of 0 or less does nothing.
void FillBuffer(uint8_t* dest, uint8_t value, int count);

}  // namespace quorvex
