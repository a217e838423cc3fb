#include "convert/exitcodes.h"

namespace quorvex {
namespace {

constexpr TExitStatus kStatuses[] = {
    {"0", "success"},
    {"1", "the input could not be read as a drawing"},
    {"2", "wrong usage"},
    {"3", "bad input name (missing, not .jww, or no such file)"},
    {"4", "bad output name (missing, not .jww, .dxf or .pdf (.svg for a\npicture), or the input file itself)"},
    {"5", "the output could not be written, or a picture or a PDF could not\n"
          "be made whole (the message says why); or it took its name but its\n"
          "folder could not be synced, as the message then says"},
    {"6", "with -d: at least one drawing failed, or was refused because its\n"
          "output is the input itself or was already written from another\n"
          "input in this run"},
    {"7", "out of memory: the drawing did not fit in the memory this run may\n"
          "use (the input may be sound)"},
    {"128+N", "ended by signal N (130 SIGINT, 143 SIGTERM, 129 SIGHUP, 141\n"
              "SIGPIPE, 131 SIGQUIT); what the run had made so far is removed,\n"
              "files it replaces are untouched"},
};

}  // namespace

std::span<const TExitStatus> ExitStatuses() { return kStatuses; }

std::string ExitStatusHelp() {
  std::string help = "Exit status:\n";
  for (const TExitStatus& s : kStatuses) {
    help += "  ";
    help += s.Status;
    help += "  ";
    for (const char* p = s.Meaning; *p; ++p) {
      help += *p;
      if (*p == '\n') help += "     ";
    }
    help += '\n';
  }
  return help;
}

}  // namespace quorvex
