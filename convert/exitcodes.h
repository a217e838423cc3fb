// The exit statuses of the command-line programs and what each one means:
// one table, from which the converter's help is printed and with which the
// README's table is kept in step.
#pragma once

#include <span>
#include <string>

namespace quorvex {

enum TExitCode : int {
  kExitOk = 0,
  kExitReadFailed = 1,   // the input cannot be read as a drawing
  kExitUsage = 2,        // wrong usage
  kExitBadInput = 3,     // bad input name
  kExitBadOutput = 4,    // bad output name
  kExitWriteFailed = 5,  // the output cannot be written
  kExitSomeFailed = 6,   // with -d: at least one drawing failed
  kExitOutOfMemory = 7,  // the memory ran out (the input may be sound)
};

// A row of the table: the status (a number, or "128+N") and its meaning,
// as the help prints it (lines after the first are indented).
struct TExitStatus {
  const char* Status;
  const char* Meaning;
};

// Every exit status, in order.
std::span<const TExitStatus> ExitStatuses();

// The "Exit status:" section of the converter's help.
std::string ExitStatusHelp();

}  // namespace quorvex
