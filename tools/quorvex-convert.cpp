// quorvex-convert: the command-line converter.
//
//   quorvex-convert [KIND-OPTION] INPUT.jww OUTPUT.EXT  (.jww, .dxf, .pdf: convert/outputs.h)
//   quorvex-convert -d OUTDIR [--dxf [--paper] | --pdf [--mono]] [-j N] INPUT.jww...
//   quorvex-convert --info FILE.jww
//   quorvex-convert --svg|--preview [--print] DRAWING.jww PICTURE.svg
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "convert/batch.h"
#include "convert/drawingfile.h"
#include "convert/exitcodes.h"
#include "convert/outcome.h"
#include "convert/outputs.h"
#include "convert/session.h"
#include "explode/explode.h"
#include "os/interrupts.h"
#include "os/outputfile.h"
#include "os/processors.h"

using namespace quorvex;

namespace {

// The words of a text in lines of at most 74 characters, each ending in
// '\n'.
std::string Wrapped(const std::string& words) {
  std::string text, line;
  for (size_t at = 0; at < words.size();) {
    const size_t end = std::min(words.find(' ', at), words.size());
    const std::string word = words.substr(at, end - at);
    if (!line.empty() && line.size() + 1 + word.size() > 74) {
      text += line + "\n";
      line.clear();
    }
    line += (line.empty() ? "" : " ") + word;
    at = end + 1;
  }
  return line.empty() ? text : text + line + "\n";
}

// How to call, what it does and the options: the lines of the outputs'
// kinds from their table (convert/outputs.h).
std::string Usage() {
  std::string text;
  for (const TOutputKind& k : OutputKinds())
    text += Format("%s quorvex-convert %sINPUT.jww OUTPUT%s\n", text.empty() ? "Usage:" : "      ",
                   k.Option ? Format("[%s] ", k.Option).c_str() : "", k.Extension);
  std::string batch;
  for (const TOutputKind& k : OutputKinds()) {
    if (!k.BatchOption) continue;
    batch += (batch.empty() ? "" : " | ") + std::string(k.BatchOption);
    if (k.Option) batch += Format(" [%s]", k.Option);
  }
  text += "       quorvex-convert -d OUTDIR [" + batch + "] [-j N] INPUT.jww...\n";
  text +=
      "       quorvex-convert --info FILE.jww\n"
      "       quorvex-convert --svg [--print] DRAWING.jww PICTURE.svg\n"
      "       quorvex-convert --preview [--print] DRAWING.jww PICTURE.svg\n"
      "\n"
      "Explodes every dimension whose value text is empty or blank into the\n"
      "lines and points it is drawn with, and writes the whole drawing to\n"
      "OUTPUT as its extension chooses:\n";
  for (const TOutputKind& k : OutputKinds()) {
    const std::string lines = k.Description;
    for (size_t at = 0; at < lines.size();) {
      const size_t end = lines.find('\n', at);
      text += Format("  %-6s %s\n", at == 0 ? k.Extension : "", lines.substr(at, end - at).c_str());
      at = end + 1;
    }
  }
  std::string named;
  for (const TOutputKind& k : OutputKinds())
    if (k.BatchOption) named += Format("%swith %s, as NAME%s", named.empty() ? "" : "; ", k.BatchOption, k.Extension);
  text += Wrapped("With -d, each INPUT is written to OUTDIR under its own file name (" + named +
                  "); failures are reported and the rest go on.");
  text +=
      "Each input's line is printed in input order, as soon as it and all inputs\n"
      "before it are done; -j changes how fast, never what is written or printed.\n"
      "--info reads a drawing and prints its counts as one JSON object.\n"
      "--svg draws a drawing as stored; --preview draws it as the conversion\n"
      "would write it, with the lines and points the explode makes highlighted\n"
      "(class \"exploded\") and their counts in a caption. Only the picture is\n"
      "written. Pictures show the drawing's screen colours on its background;\n"
      "--print shows its printer colours on white paper.\n"
      "\n"
      "Options:\n"
      "  -d OUTDIR   convert many drawings into OUTDIR\n";
  for (const TOutputKind& k : OutputKinds()) {
    if (k.BatchOption) text += Format("  %-11s with -d: %s\n", k.BatchOption, k.BatchHelp);
    if (k.Option) text += Format("  %-11s %s\n", k.Option, k.OptionHelp);
  }
  text +=
      "  -j N        with -d: convert N drawings at a time (default: one for each\n"
      "              processor this program may use)\n"
      "  --info      print the counts of a drawing\n"
      "  --svg       draw a drawing into an SVG picture\n"
      "  --preview   draw it as converted, the explode's work highlighted\n"
      "  --print     with --svg or --preview: in the printer colours, on white\n"
      "  --help      show this help\n"
      "  --version   show the version\n"
      "\n";
  return text;
}

// The number given to -j: decimal digits only, at least 1.
std::optional<size_t> ParseWorkers(const std::string& s) {
  if (s.empty() || s.size() > 9 || !std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; }))
    return std::nullopt;
  const size_t n = std::stoul(s);
  return n >= 1 ? std::optional<size_t>(n) : std::nullopt;
}

int PrintInfo(const std::string& path) {
  TJwwData d;
  TReadError error;
  if (!ReadDrawingFile(path, d, nullptr, &error)) {
    std::fprintf(stderr, "quorvex-convert: %s: %s\n", path.c_str(), error.Describe().c_str());
    return error.Problem == TReadProblem::kOutOfMemory ? kExitOutOfMemory : kExitReadFailed;
  }
  int64_t withoutValue = 0;
  for (int32_t i = 0; i < d.DimCount; ++i) withoutValue += IsDimensionWithoutValue(d.Dims[i]) ? 1 : 0;
  std::printf(
      "{\"version\": %d, \"entities\": %d, \"lines\": %d, \"arcs\": %d, \"points\": %d, \"texts\": %d, "
      "\"dimensions\": %d, \"dimensionsWithoutValue\": %lld, \"solids\": %d, \"blockInsertions\": %d, "
      "\"blockDefinitions\": %d, \"usedBlockDefinitions\": %d, \"blockTreeNodes\": %d, \"images\": %d}\n",
      d.Header.Version, d.Header.EntityCount, d.LineCount, d.ArcCount, d.PointCount, d.TextCount, d.DimCount,
      static_cast<long long>(withoutValue), d.SolidCount, d.BlockRefCount, d.BlockDefCount, d.UsedBlockDefCount,
      d.BlockTreeCount, d.ImageEntriesRead);
  return kExitOk;
}

// The help: how to call, what it does, the options and the exit statuses.
std::string Help() { return Usage() + ExitStatusHelp(); }

int WrongUsage() {
  std::fputs(Help().c_str(), stderr);
  return kExitUsage;
}

// Whether a word is one of a batch's options (or the start of -jN).
bool IsBatchOption(const std::string& word) {
  return word == "-d" || word.rfind("-j", 0) == 0 || KindOfBatchOption(word) || KindOfOption(word);
}

}  // namespace

static int Run(const std::vector<std::string>& args) {
  if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
    std::fputs(Help().c_str(), stdout);
    return kExitOk;
  }
  if (args.size() == 1 && args[0] == "--version") {
    std::printf("quorvex-convert %s\n", QUORVEX_VERSION);
    return kExitOk;
  }
  if (args.size() == 2 && args[0] == "--info") return PrintInfo(args[1]);
  if ((args.size() == 3 || (args.size() == 4 && args[1] == "--print")) &&
      (args[0] == "--svg" || args[0] == "--preview")) {
    const bool print = args.size() == 4;
    const TOutcome o = DrawOne(args[0] == "--preview", args[args.size() - 2], args.back(),
                               print ? TColorSet::kPrinter : TColorSet::kScreen);
    Print(o);
    return o.Exit;
  }

  if (!args.empty() && (args[0] == "-d" || args[0].rfind("-j", 0) == 0 || KindOfBatchOption(args[0]) ||
                        (KindOfOption(args[0]) && args.size() != 3))) {
    // -d OUTDIR, -j N (or -jN), a kind's batch option and that kind's own
    // option, in any order, then the inputs.
    std::optional<std::string> dir;
    std::optional<size_t> workers;
    const TOutputKind* kind = nullptr;
    TConvertOptions options{true};
    std::vector<const TOutputKind*> owners;  // the kinds whose own options were given
    size_t i = 0;
    while (i < args.size()) {
      const TOutputKind* owner = KindOfOption(args[i]);
      if (args[i] == "-d" && !dir && i + 1 < args.size()) {
        dir = args[i + 1];
        i += 2;
      } else if (args[i].rfind("-j", 0) == 0 && !workers) {
        const bool apart = args[i] == "-j";
        if (apart && i + 1 == args.size()) return WrongUsage();
        workers = ParseWorkers(apart ? args[i + 1] : args[i].substr(2));
        if (!workers) return WrongUsage();
        i += apart ? 2 : 1;
      } else if (KindOfBatchOption(args[i]) && !kind) {
        kind = KindOfBatchOption(args[i]);
        ++i;
      } else if (owner && !(options.*(owner->Switch))) {
        options.*(owner->Switch) = true;
        owners.push_back(owner);
        ++i;
      } else {
        break;
      }
    }
    if (!kind) kind = &DrawingOutput();
    // No folder (or an empty one, where the outputs would land in "/"), an
    // option given twice, an option of another kind than the batch's, or
    // no input.
    if (!dir || dir->empty() || i == args.size() || IsBatchOption(args[i]) ||
        std::any_of(owners.begin(), owners.end(), [&](const TOutputKind* o) { return o != kind; }))
      return WrongUsage();
    if (dir->back() != '/') *dir += '/';
    // What the writer needs is loaded here, on the main thread, before the
    // batch's threads start.
    if (kind->Prepare) kind->Prepare();
    TBatch batch(*dir, std::vector<std::string>(args.begin() + i, args.end()), *kind);
    return batch.Run(workers.value_or(Processors()), Print,
                     [&](TConversionSession& session, const std::string& in, const std::string& out) {
                       return ConvertOne(session, in, out, options);
                     });
  }
  // INPUT OUTPUT, with the option of the output's kind first.
  const TOutputKind* owner = args.size() == 3 ? KindOfOption(args[0]) : nullptr;
  const size_t first = owner ? 1 : 0;
  if (args.size() == first + 2 && args[first].rfind("-", 0) != 0 && args[first + 1].rfind("-", 0) != 0) {
    // The option of another kind (--paper for a drawing: the sheet of a
    // drawing is the drawing) is wrong usage.
    const TOutputKind* kind = OutputKindOf(args[first + 1]);
    if (owner && kind && kind != owner) return WrongUsage();
    TConvertOptions options{true};
    if (owner) options.*(owner->Switch) = true;
    TConversionSession session;
    session.StartUp();
    const TOutcome o = ConvertOne(session, args[first], args[first + 1], options);
    Print(o);
    session.CleanUp();
    return o.Exit;
  }
  return WrongUsage();
}

int main(int argc, char** argv) {
  InstallInterruptCleanup();
  // For the tests: write through a named hidden file, as on file systems
  // that have no unnamed files.
  if (std::getenv("QUORVEX_TEST_NAMED_TEMP")) SetUnnamedOutputFiles(false);
  try {
    return Run(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const std::bad_alloc&) {
    std::fputs("quorvex-convert: out of memory\n", stderr);
    return kExitOutOfMemory;
  } catch (const std::exception& e) {
    // The core reports its own failures; nothing else is expected here.
    std::fprintf(stderr, "quorvex-convert: %s\n", e.what());
    return kExitReadFailed;
  }
}
