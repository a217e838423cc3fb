// Libraries of the program's own that a run loads only when it needs them
// (the PDF writer, and the Qt it brings with it), found by their place
// beside the program's file.
#pragma once

#include <string>

namespace quorvex {

// The folder of the running program's file, with its trailing '/'; empty
// when the system does not say.
std::string ProgramFolder();

// A symbol of the library at `path`, loaded the first time it is asked for
// and kept for the rest of the run; null when it cannot be loaded or has
// no such symbol, with the loader's reason in `error`. A load that fails
// is tried three times before it is given up.
void* ModuleSymbol(const std::string& path, const char* symbol, std::string& error);

}  // namespace quorvex
