// The language of the programs' messages, taken from the environment.
#pragma once

namespace quorvex {

// Takes the language of messages and the character set from the
// environment, as the C library reads them (LC_ALL, LC_MESSAGES, LC_CTYPE,
// LANG; LANGUAGE for a list of languages), and finds the translations of
// the messages (text/messages.h) beside the program, in the share/locale
// folder it was installed with. Every other part of the locale stays C: a
// number is written with a '.' and without separators in every file and
// line, whatever the user's country. A program calls it first thing, and
// again after a library has taken the whole locale from the environment
// (Qt does as it starts).
void UseUsersLanguage();

}  // namespace quorvex
