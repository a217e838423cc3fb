// quorvex-convert: the command-line converter.
//
//   quorvex-convert [KIND-OPTION] INPUT.jww OUTPUT.EXT  (.jww, .dxf, .pdf: convert/outputs.h)
//   quorvex-convert -d OUTDIR [--dxf [--paper] | --pdf [--mono]] [-j N] INPUT.jww...
//   quorvex-convert --info FILE.jww
//   quorvex-convert --svg|--preview [--print] DRAWING.jww PICTURE.svg
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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
#include "os/fdio.h"
#include "os/interrupts.h"
#include "os/language.h"
#include "os/outputfile.h"
#include "os/processors.h"
#include "text/columns.h"
#include "text/messages.h"

using namespace quorvex;

namespace {

constexpr size_t kHelpWidth = 74;  // the columns of the help's wrapped lines

// An option's line of the help: its name, then its help, whose further
// lines are indented as far.
std::string OptionLine(const std::string& option, const std::string& help) {
  std::string text = Format("  %-11s ", option.c_str());
  for (const char c : help) text += c == '\n' ? std::string("\n") + std::string(14, ' ') : std::string(1, c);
  return text + "\n";
}

// How to call, what it does and the options: the lines of the outputs'
// kinds from their table (convert/outputs.h).
std::string Usage() {
  const std::string usage = Tr("Usage:");
  const std::string indent(Columns(usage), ' ');
  std::string text;
  for (const TOutputKind& k : OutputKinds())
    text += Format("%s quorvex-convert %sINPUT.jww OUTPUT%s\n", text.empty() ? usage.c_str() : indent.c_str(),
                   k.Option ? Format("[%s] ", k.Option).c_str() : "", k.Extension);
  std::string batch;
  for (const TOutputKind& k : OutputKinds()) {
    if (!k.BatchOption) continue;
    batch += (batch.empty() ? "" : " | ") + std::string(k.BatchOption);
    if (k.Option) batch += Format(" [%s]", k.Option);
  }
  text += indent + " quorvex-convert -d OUTDIR [" + batch + "] [-j N] INPUT.jww...\n";
  text += indent + " quorvex-convert --info FILE.jww\n";
  text += indent + " quorvex-convert --svg [--print] DRAWING.jww PICTURE.svg\n";
  text += indent + " quorvex-convert --preview [--print] DRAWING.jww PICTURE.svg\n";
  text += "\n";
  text += Tr("Explodes every dimension whose value text is empty or blank into the\n"
             "lines and points it is drawn with, and writes the whole drawing to\n"
             "OUTPUT as its extension chooses:\n");
  for (const TOutputKind& k : OutputKinds()) {
    const std::string lines = Tr(k.Description);
    for (size_t at = 0; at < lines.size();) {
      const size_t end = lines.find('\n', at);
      text += Format("  %-6s %s\n", at == 0 ? k.Extension : "", lines.substr(at, end - at).c_str());
      at = end + 1;
    }
  }
  std::string named;
  for (const TOutputKind& k : OutputKinds())
    if (k.BatchOption)
      // TRANSLATORS: "; " joins the parts of a list, here and in a run's line.
      named += (named.empty() ? "" : Tr("; ")) + Format(Tr("with %s, as NAME%s"), k.BatchOption, k.Extension);
  text += Wrapped(Format(Tr("With -d, each INPUT is written to OUTDIR under its own file name (%s); failures are "
                            "reported and the rest go on."),
                         named.c_str()),
                  kHelpWidth);
  text += Tr("Each input's line is printed in input order, as soon as it and all inputs\n"
             "before it are done; -j changes how fast, never what is written or printed.\n"
             "--info reads a drawing and prints its counts as one JSON object.\n"
             "--svg draws a drawing as stored; --preview draws it as the conversion\n"
             "would write it, with the lines and points the explode makes highlighted\n"
             "(class \"exploded\") and their counts in a caption. Only the picture is\n"
             "written. Pictures show the drawing's screen colours on its background;\n"
             "--print shows its printer colours on white paper.\n");
  text += "\n";
  text += Tr("Options:");
  text += "\n";
  text += OptionLine("-d OUTDIR", Tr("convert many drawings into OUTDIR"));
  for (const TOutputKind& k : OutputKinds()) {
    if (k.BatchOption) text += OptionLine(k.BatchOption, Format(Tr("with -d: %s"), Tr(k.BatchHelp)));
    if (k.Option) text += OptionLine(k.Option, Tr(k.OptionHelp));
  }
  text += OptionLine("-j N", Tr("with -d: convert N drawings at a time (default: one for each\n"
                                "processor this program may use)"));
  text += OptionLine("--info", Tr("print the counts of a drawing"));
  text += OptionLine("--svg", Tr("draw a drawing into an SVG picture"));
  text += OptionLine("--preview", Tr("draw it as converted, the explode's work highlighted"));
  text += OptionLine("--print", Tr("with --svg or --preview: in the printer colours, on white"));
  text += OptionLine("--help", Tr("show this help"));
  text += OptionLine("--version", Tr("show the version"));
  text += "\n";
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

// Wrong usage: one line that names the fault, and where to learn more, as
// other command-line programs say it.
int WrongUsage(const std::string& fault) {
  std::fprintf(stderr, "quorvex-convert: %s\n", fault.c_str());
  std::fprintf(stderr, Tr("Try '%s --help' for more information.\n"), "quorvex-convert");
  return kExitUsage;
}

// Whether a word is one of the options that go first and alone (but for
// the names they take), and whether it is any of the options.
bool IsFirstOption(const std::string& word) {
  return word == "--help" || word == "-h" || word == "--version" || word == "--info" || word == "--svg" ||
         word == "--preview";
}
bool IsOption(const std::string& word) {
  return word == "-d" || word.rfind("-j", 0) == 0 || KindOfBatchOption(word) || KindOfOption(word) ||
         word == "--print" || IsFirstOption(word);
}

// The fault of a word that begins with '-' where a name is expected.
std::string OptionFault(const std::string& word) {
  if (word == "-") return Tr("'-': drawings are read from files, not from the standard input");
  if (IsOption(word)) return Format(Tr("'%s' goes before the names of the drawings"), word.c_str());
  return Format(Tr("unknown option '%s'"), word.c_str());
}

// Why these words, from `first` on, are not a drawing and its output.
std::string NotOneConversion(const std::vector<std::string>& args, size_t first) {
  for (size_t i = first; i < args.size(); ++i)
    if (args[i].rfind("-", 0) == 0) return OptionFault(args[i]);
  if (args.size() <= first) return Tr("no drawing named");
  if (args.size() == first + 1) return Format(Tr("no output named after '%s'"), args[first].c_str());
  return Format(Tr("one name too many: '%s' (a drawing and its output; -d OUTDIR converts many)"),
                args[first + 2].c_str());
}

// What an option given twice says.
std::string Twice(const std::string& option) { return Format(Tr("'%s' is given twice"), option.c_str()); }

// The output folder of a batch: 0 when there is one, else the status of a
// bad output name, its fault said.
int CheckOutputFolder(const std::string& dir) {
  const int err = FolderAt(dir);
  if (err == 0) return kExitOk;
  const std::string why = err == ENOENT    ? Tr("no such folder")
                          : err == ENOTDIR ? Tr("not a folder")
                                           : Format(Tr("cannot be used as the folder of the outputs: %s"),
                                                    std::strerror(err));
  std::fprintf(stderr, "quorvex-convert: %s: %s\n", dir.c_str(), why.c_str());
  return kExitBadOutput;
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
  if (!args.empty() && IsFirstOption(args[0])) {
    if (args[0] == "--info") return WrongUsage(Tr("'--info' takes one drawing"));
    if (args[0] == "--svg" || args[0] == "--preview")
      return WrongUsage(Format(Tr("'%s' takes a drawing and its picture: %s [--print] DRAWING.jww PICTURE.svg"),
                               args[0].c_str(), args[0].c_str()));
    return WrongUsage(Format(Tr("'%s' takes nothing more"), args[0].c_str()));
  }
  if (!args.empty() && args[0] == "--print") return WrongUsage(Tr("'--print' goes right after --svg or --preview"));

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
      const std::string& word = args[i];
      const TOutputKind* owner = KindOfOption(word);
      const TOutputKind* asked = KindOfBatchOption(word);
      if (word == "-d") {
        if (dir) return WrongUsage(Twice(word));
        if (i + 1 == args.size()) return WrongUsage(Tr("'-d' needs a folder after it"));
        dir = args[i + 1];
        i += 2;
      } else if (word.rfind("-j", 0) == 0) {
        if (workers) return WrongUsage(Twice("-j"));
        const bool apart = word == "-j";
        if (apart && i + 1 == args.size()) return WrongUsage(Tr("'-j' needs a number after it"));
        const std::string number = apart ? args[i + 1] : word.substr(2);
        workers = ParseWorkers(number);
        if (!workers)
          return WrongUsage(Format(Tr("'-j' takes the number of drawings at a time, 1 or more, not '%s'"),
                                   number.c_str()));
        i += apart ? 2 : 1;
      } else if (asked) {
        if (kind == asked) return WrongUsage(Twice(word));
        if (kind)
          return WrongUsage(Format(Tr("'%s' and '%s': a batch writes one kind of output"), kind->BatchOption,
                                   word.c_str()));
        kind = asked;
        ++i;
      } else if (owner) {
        if (options.*(owner->Switch)) return WrongUsage(Twice(word));
        options.*(owner->Switch) = true;
        owners.push_back(owner);
        ++i;
      } else {
        break;
      }
    }
    if (!dir) {
      if (kind)
        return WrongUsage(Format(Tr("'%s' goes with -d OUTDIR (for one drawing, name its output OUTPUT%s)"),
                                 kind->BatchOption, kind->Extension));
      if (workers) return WrongUsage(Tr("'-j' goes with -d OUTDIR"));
      return WrongUsage(NotOneConversion(args, i));  // a kind's own option, then no drawing and its output
    }
    // No folder (or an empty one, where the outputs would land in "/"), an
    // option of another kind than the batch's, or no input.
    if (dir->empty()) return WrongUsage(Tr("'-d' names no folder: its name is empty"));
    if (!kind) kind = &DrawingOutput();
    for (const TOutputKind* o : owners)
      if (o != kind) return WrongUsage(Format(Tr("'%s' goes with %s"), o->Option, o->BatchOption));
    if (i == args.size()) return WrongUsage(Format(Tr("no drawing named to convert into '%s'"), dir->c_str()));
    if (args[i].size() > 1 && args[i][0] == '-' && LowerExtension(args[i]) != ".jww")
      return WrongUsage(OptionFault(args[i]));
    // A folder that is not there fails every drawing alike: said once.
    if (const int status = CheckOutputFolder(*dir)) return status;
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
    if (owner && kind && kind != owner)
      return WrongUsage(Format(Tr("'%s' is for a %s output, not '%s'"), args[0].c_str(), owner->Extension,
                               args[first + 1].c_str()));
    TConvertOptions options{true};
    if (owner) options.*(owner->Switch) = true;
    TConversionSession session;
    session.StartUp();
    const TOutcome o = ConvertOne(session, args[first], args[first + 1], options);
    Print(o);
    session.CleanUp();
    return o.Exit;
  }
  return WrongUsage(NotOneConversion(args, first));
}

int main(int argc, char** argv) {
  UseUsersLanguage();
  InstallInterruptCleanup();
  // For the tests: write through a named hidden file, as on file systems
  // that have no unnamed files.
  if (std::getenv("QUORVEX_TEST_NAMED_TEMP")) SetUnnamedOutputFiles(false);
  try {
    return Run(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr, "quorvex-convert: %s\n", Tr("out of memory"));
    return kExitOutOfMemory;
  } catch (const std::exception& e) {
    // The core reports its own failures; nothing else is expected here.
    std::fprintf(stderr, "quorvex-convert: %s\n", e.what());
    return kExitReadFailed;
  }
}
