// The kinds of file a conversion writes, one row each: the output's
// extension chooses the row, a batch's option asks for it, and its writer
// writes the drawing the session has read. The command line, the batch and
// the help follow this table; the manual page and the bash completion are
// held to the help by packaging/tests/in-step.sh. A new kind of output is a
// new row and its writer.
#pragma once

#include <span>
#include <string>

namespace quorvex {

class TConversionSession;
struct TConvertOptions;
struct TConvertResult;

struct TOutputKind {
  const char* Extension;  // lower case, with its dot: ".dxf"
  // The option that asks a batch (-d) for this kind ("--dxf"), and the
  // help's words for it after "with -d: "; null for the drawing, a batch's
  // own kind, whose outputs keep their inputs' names.
  const char* BatchOption;
  const char* BatchHelp;
  // An option of this kind alone ("--paper"), the switch of the options it
  // turns on, and its line in the help; null when the kind has none.
  const char* Option;
  bool TConvertOptions::*Switch;
  const char* OptionHelp;
  // What the help says this output is, after its extension: lines of at
  // most 62 columns, each ending in '\n'. These texts are translated where
  // they are shown (text/messages.h: marked with TrLater).
  const char* Description;
  // The dimensions without a value are exploded before it is written, and
  // the run's line gives the explode's counts.
  bool Explodes;
  // Writes the drawing the session holds to `path`, whole or not at all:
  // 0, or the system error number. What the run's line says of it besides
  // the counts goes to result.Note; result.OutputPlaced and Undecodable as
  // TConvertResult says.
  int (*Write)(TConversionSession& session, const std::string& path, const TConvertOptions& options,
               TConvertResult& result);
  // Readies the writer on the program's main thread before its
  // conversions start (loads what it needs); null when it needs nothing.
  void (*Prepare)();
};

// Every kind, the drawing first.
std::span<const TOutputKind> OutputKinds();

// The drawing (.jww): the window's only output, and a batch's default.
const TOutputKind& DrawingOutput();

// The kind a path's extension names (in any case); null for none.
const TOutputKind* OutputKindOf(const std::string& path);

// The kind whose batch option, or whose own option, this word is; null for
// none.
const TOutputKind* KindOfBatchOption(const std::string& word);
const TOutputKind* KindOfOption(const std::string& word);

// The output names a conversion takes, for a message in the user's
// language: ".jww", ".jww or .dxf", ".jww, .dxf or .pdf".
std::string OutputExtensionsText();

}  // namespace quorvex
