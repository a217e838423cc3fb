// The programs' messages in the user's language. Each message is written
// in English where it is made, and looked up among the translations of the
// language the program took from the environment (os/language.h); in the
// C locale, or where a message has no translation, the English stands, as
// it is. The translations are po/*.po, built into message catalogs.
#pragma once

#include <cstdint>
#include <string>

namespace quorvex {

// A message in the user's language. A printf format stays one: its
// translation takes the same arguments in the same order.
const char* Tr(const char* english) __attribute__((format_arg(1)));

// The message for a count: in English `one` for 1 and `many` for any other
// count; a translation has the forms of its own language.
const char* TrCount(const char* one, const char* many, int64_t count) __attribute__((format_arg(1)))
__attribute__((format_arg(2)));

// printf into a string: a message made with Tr's format.
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Marks a message that is kept (in a table) and translated where it is
// shown, with Tr.
constexpr const char* TrLater(const char* english) { return english; }

}  // namespace quorvex
