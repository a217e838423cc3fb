#include "convert/exitcodes.h"

#include "text/messages.h"

namespace quorvex {
namespace {

constexpr TExitStatus kStatuses[] = {
    {"0", TrLater("success")},
    {"1", TrLater("the input could not be read as a drawing")},
    {"2", TrLater("wrong usage")},
    {"3", TrLater("bad input name (missing, not .jww, a folder, or no such file)")},
    {"4", TrLater("bad output name (missing, not .jww, .dxf or .pdf (.svg for a\n"
                  "picture), or the input file itself); with -d, no such folder")},
    {"5", TrLater("the output could not be written, or a picture or a PDF could not\n"
                  "be made whole (the message says why); or it took its name but its\n"
                  "folder could not be synced, as the message then says")},
    {"6", TrLater("with -d: at least one drawing failed, or was refused because its\n"
                  "output is the input itself or was already written from another\n"
                  "input in this run")},
    {"7", TrLater("out of memory: the drawing did not fit in the memory this run may\n"
                  "use (the input may be sound)")},
    {"128+N", TrLater("ended by signal N (130 SIGINT, 143 SIGTERM, 129 SIGHUP, 141\n"
                      "SIGPIPE, 131 SIGQUIT); what the run had made so far is removed,\n"
                      "files it replaces are untouched")},
};

}  // namespace

std::span<const TExitStatus> ExitStatuses() { return kStatuses; }

std::string ExitStatusHelp() {
  std::string help = Tr("Exit status:");
  help += '\n';
  for (const TExitStatus& s : kStatuses) {
    help += "  ";
    help += s.Status;
    help += "  ";
    for (const char* p = Tr(s.Meaning); *p; ++p) {
      help += *p;
      if (*p == '\n') help += "     ";
    }
    help += '\n';
  }
  return help;
}

}  // namespace quorvex
