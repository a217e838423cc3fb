// A drawing's strings as UTF-8, for showing them outside the drawing.
//
// Narrow strings are decoded as code page 932 (Shift-JIS with its vendor
// extensions, so that for example 0x8160 is the full-width tilde a wide
// string of the same text holds) by the C library's converter; wide strings
// are UTF-16. Bytes or units that have no character become U+FFFD, so the
// result is always valid UTF-8. Where the converter cannot be loaded, every
// character beyond ASCII becomes U+FFFD: the decoding says so, so that a
// picture never shows such a loss as the drawing's text.
#pragma once

#include <string>
#include <string_view>

#include "text/jwwstring.h"

namespace quorvex {

std::string ToUtf8(const JwwString& s);
// The same; false when characters of a narrow string were lost because the
// converter could not be loaded (they are U+FFFD in out).
bool ToUtf8(const JwwString& s, std::string& out);

// UTF-16 code units to UTF-8; an unpaired surrogate becomes U+FFFD.
std::string Utf16ToUtf8(std::u16string_view units);
// Appends UTF-16 code units as UTF-8 to out. An unpaired surrogate becomes
// U+FFFD, or with `strict` ends the conversion with false (what was done so
// far stays in out).
bool AppendUtf16AsUtf8(std::u16string_view units, std::string& out, bool strict);

// The code point of the UTF-8 character at s[i] (i < s.size()), stepping i
// past it; a character cut short by the end of s is its first byte alone.
// For strings this program made UTF-8 (it does not check continuation
// bytes).
char32_t NextUtf8(std::string_view s, size_t& i);
// Appends the code point c as UTF-8.
void AppendUtf8(std::string& out, char32_t c);

// Code page 932 bytes to UTF-8; a byte sequence with no character becomes
// U+FFFD and decoding goes on behind it.
std::string Cp932ToUtf8(const std::string& bytes);

// 0 when this thread can decode code page 932, else the error number with
// which the C library refused to load its converter (EINVAL: it is not
// installed; ENOMEM: no memory for it).
int Cp932ConverterError();

}  // namespace quorvex
