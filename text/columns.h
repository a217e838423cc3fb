// Text laid out for a terminal: the columns a text takes, and a text
// broken into lines of at most so many columns, in English between words
// and in Japanese also between characters.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace quorvex {

// The columns a UTF-8 text takes on a terminal: two for each wide
// character (the East Asian scripts' and the full-width forms), one for
// every other.
size_t Columns(std::string_view utf8);

// The text's words in lines of at most `width` columns, each ending in
// '\n' (a word longer than a line has a line of its own). Lines break at
// spaces, which go, and between two characters of which one is wide, but
// never before a closing mark (、。）」 and the like) nor after an
// opening one.
std::string Wrapped(std::string_view utf8, size_t width);

}  // namespace quorvex
