// quorvex-convert: the command-line converter.
//
//   quorvex-convert INPUT.jww OUTPUT.jww
//   quorvex-convert [--paper] INPUT.jww OUTPUT.dxf
//   quorvex-convert -d OUTDIR [--dxf [--paper]] [-j N] INPUT.jww...
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
#include "convert/session.h"
#include "explode/explode.h"
#include "os/interrupts.h"
#include "os/outputfile.h"
#include "os/processors.h"

using namespace quorvex;

namespace {

const char kUsage[] =
    "Usage: quorvex-convert INPUT.jww OUTPUT.jww\n"
    "       quorvex-convert [--paper] INPUT.jww OUTPUT.dxf\n"
    "       quorvex-convert -d OUTDIR [--dxf [--paper]] [-j N] INPUT.jww...\n"
    "       quorvex-convert --info FILE.jww\n"
    "       quorvex-convert --svg [--print] DRAWING.jww PICTURE.svg\n"
    "       quorvex-convert --preview [--print] DRAWING.jww PICTURE.svg\n"
    "\n"
    "Explodes every dimension whose value text is empty or blank into the\n"
    "lines and points it is drawn with, and writes the whole drawing to\n"
    "OUTPUT in the input's format version. An OUTPUT named .dxf is written as\n"
    "a DXF file (R2007, UTF-8) at real size, the images the drawing carries in\n"
    "the folder OUTPUT-images beside it; --paper writes the sheet as printed.\n"
    "With -d, each INPUT is written to OUTDIR under its own file name (with\n"
    "--dxf, as NAME.dxf); failures are reported and the rest go on.\n"
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
    "  -d OUTDIR   convert many drawings into OUTDIR\n"
    "  --dxf       with -d: write each drawing as DXF\n"
    "  --paper     with a DXF output: the sheet as printed, not at real size\n"
    "  -j N        with -d: convert N drawings at a time (default: one for each\n"
    "              processor this program may use)\n"
    "  --info      print the counts of a drawing\n"
    "  --svg       draw a drawing into an SVG picture\n"
    "  --preview   draw it as converted, the explode's work highlighted\n"
    "  --print     with --svg or --preview: in the printer colours, on white\n"
    "  --help      show this help\n"
    "  --version   show the version\n"
    "\n";

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
std::string Help() { return kUsage + ExitStatusHelp(); }

int Usage() {
  std::fputs(Help().c_str(), stderr);
  return kExitUsage;
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

  if (!args.empty() && (args[0] == "-d" || args[0].rfind("-j", 0) == 0 || args[0] == "--dxf" ||
                        (args[0] == "--paper" && args.size() != 3))) {
    // -d OUTDIR, -j N (or -jN), --dxf and --paper, in any order, then the
    // inputs.
    std::optional<std::string> dir;
    std::optional<size_t> workers;
    bool dxf = false, paper = false;
    size_t i = 0;
    while (i < args.size()) {
      if (args[i] == "-d" && !dir && i + 1 < args.size()) {
        dir = args[i + 1];
        i += 2;
      } else if (args[i].rfind("-j", 0) == 0 && !workers) {
        const bool apart = args[i] == "-j";
        if (apart && i + 1 == args.size()) return Usage();
        workers = ParseWorkers(apart ? args[i + 1] : args[i].substr(2));
        if (!workers) return Usage();
        i += apart ? 2 : 1;
      } else if (args[i] == "--dxf" && !dxf) {
        dxf = true;
        ++i;
      } else if (args[i] == "--paper" && !paper) {
        paper = true;
        ++i;
      } else {
        break;
      }
    }
    // No folder (or an empty one, where the outputs would land in "/"), an
    // option given twice, --paper without --dxf, or no input.
    if (!dir || dir->empty() || i == args.size() || (paper && !dxf) || args[i] == "-d" ||
        args[i].rfind("-j", 0) == 0 || args[i] == "--dxf" || args[i] == "--paper")
      return Usage();
    if (dir->back() != '/') *dir += '/';
    TBatch batch(*dir, std::vector<std::string>(args.begin() + i, args.end()), dxf ? ".dxf" : "");
    const TConvertOptions options{true, paper};
    return batch.Run(workers.value_or(Processors()), Print,
                     [&](TConversionSession& session, const std::string& in, const std::string& out) {
                       return ConvertOne(session, in, out, options);
                     });
  }
  // INPUT OUTPUT, with --paper first for a DXF.
  const bool paper = args.size() == 3 && args[0] == "--paper";
  const size_t first = paper ? 1 : 0;
  if (args.size() == first + 2 && args[first].rfind("-", 0) != 0 && args[first + 1].rfind("-", 0) != 0) {
    if (paper && LowerExtension(args[first + 1]) == ".jww") return Usage();  // the sheet of a drawing is the drawing
    TConversionSession session;
    session.StartUp();
    const TOutcome o = ConvertOne(session, args[first], args[first + 1], TConvertOptions{true, paper});
    Print(o);
    session.CleanUp();
    return o.Exit;
  }
  return Usage();
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
