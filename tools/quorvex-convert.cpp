// quorvex-convert: the command-line converter.
//
//   quorvex-convert INPUT.jww OUTPUT.jww
//   quorvex-convert -d OUTDIR INPUT.jww...
//   quorvex-convert --info FILE.jww
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "app/convert.h"
#include "explode/explode.h"

using namespace quorvex;

namespace {

enum ExitCode {
  kExitOk = 0,
  kExitReadFailed = 1,
  kExitUsage = 2,
  kExitBadInput = 3,
  kExitBadOutput = 4,
  kExitWriteFailed = 5,
  kExitSomeFailed = 6,
};

const char kUsage[] =
    "Usage: quorvex-convert INPUT.jww OUTPUT.jww\n"
    "       quorvex-convert -d OUTDIR INPUT.jww...\n"
    "       quorvex-convert --info FILE.jww\n"
    "\n"
    "Explodes every dimension whose value text is empty or blank into the\n"
    "lines and points it is drawn with, and writes the whole drawing to\n"
    "OUTPUT in the input's format version. With -d, each INPUT is written to\n"
    "OUTDIR under its own file name; failures are reported and the rest go on.\n"
    "--info reads a drawing and prints its counts as one JSON object.\n"
    "\n"
    "Options:\n"
    "  -d OUTDIR   convert many drawings into OUTDIR\n"
    "  --info      print the counts of a drawing\n"
    "  --help      show this help\n"
    "  --version   show the version\n"
    "\n"
    "Exit status:\n"
    "  0  success\n"
    "  1  the input could not be read as a drawing\n"
    "  2  wrong usage\n"
    "  3  bad input name (missing, not .jww, or no such file)\n"
    "  4  bad output name (missing, not .jww, or the input file itself)\n"
    "  5  the output could not be written\n"
    "  6  with -d: at least one drawing failed\n";

std::string BaseName(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

int ConvertOne(TConversionSession& session, const std::string& in, const std::string& out) {
  const TConvertResult r = session.ConvertDrawing(in, out);
  switch (r.Code) {
    case crDone:
      std::printf("%s -> %s: %lld dimensions exploded, %lld lines and %lld points added\n", in.c_str(), out.c_str(),
                  static_cast<long long>(r.Exploded.DimensionsExploded),
                  static_cast<long long>(r.Exploded.LinesAdded), static_cast<long long>(r.Exploded.PointsAdded));
      return kExitOk;
    case crBadInput:
      std::fprintf(stderr, "quorvex-convert: %s: not an existing .jww file\n", in.c_str());
      return kExitBadInput;
    case crBadOutput:
      std::fprintf(stderr, "quorvex-convert: %s: output must be a .jww file other than the input\n", out.c_str());
      return kExitBadOutput;
    case crReadFailed:
      std::fprintf(stderr, "quorvex-convert: %s: %s\n", in.c_str(), r.ReadError.Describe().c_str());
      return kExitReadFailed;
    case crWriteFailed:
      if (r.ReadError.IsWriteSide()) {  // a scratch file of the input's images
        std::fprintf(stderr, "quorvex-convert: %s: %s\n", in.c_str(), r.ReadError.Describe().c_str());
        return kExitWriteFailed;
      }
      std::fprintf(stderr, "quorvex-convert: %s: cannot be written: %s\n", out.c_str(), std::strerror(r.ErrorNumber));
      return kExitWriteFailed;
  }
  return kExitUsage;
}

int PrintInfo(const std::string& path) {
  TJwwData d;
  TReadError error;
  if (!d.Read(path, nullptr, &error)) {
    std::fprintf(stderr, "quorvex-convert: %s: %s\n", path.c_str(), error.Describe().c_str());
    return kExitReadFailed;
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

int Usage() {
  std::fputs(kUsage, stderr);
  return kExitUsage;
}

}  // namespace

static int Run(const std::vector<std::string>& args) {
  if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
    std::fputs(kUsage, stdout);
    return kExitOk;
  }
  if (args.size() == 1 && args[0] == "--version") {
    std::printf("quorvex-convert %s\n", QUORVEX_VERSION);
    return kExitOk;
  }
  if (args.size() == 2 && args[0] == "--info") return PrintInfo(args[1]);

  if (args.size() >= 3 && args[0] == "-d") {
    std::string dir = args[1];
    if (dir.empty()) return Usage();  // no folder: the outputs would land in "/"
    if (dir.back() != '/') dir += '/';
    TConversionSession session;
    session.StartUp(TScratchPlace::Private);
    int failed = 0;
    for (size_t i = 2; i < args.size(); ++i)
      if (ConvertOne(session, args[i], dir + BaseName(args[i])) != kExitOk) ++failed;
    session.CleanUp();
    return failed ? kExitSomeFailed : kExitOk;
  }
  if (args.size() == 2 && args[0].rfind("-", 0) != 0 && args[1].rfind("-", 0) != 0) {
    TConversionSession session;
    session.StartUp(TScratchPlace::Private);
    const int code = ConvertOne(session, args[0], args[1]);
    session.CleanUp();
    return code;
  }
  return Usage();
}

int main(int argc, char** argv) {
  try {
    return Run(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const std::exception& e) {
    // The core reports its own failures; this is out of memory or worse.
    std::fprintf(stderr, "quorvex-convert: %s\n", e.what());
    return kExitReadFailed;
  }
}
