// quorvex-convert: the command-line converter.
//
//   quorvex-convert INPUT.jww OUTPUT.jww
//   quorvex-convert -d OUTDIR INPUT.jww...
//   quorvex-convert --info FILE.jww
//   quorvex-convert --svg|--preview DRAWING.jww PICTURE.svg
#include <sys/stat.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "app/convert.h"
#include "explode/explode.h"
#include "jww/tempfiles.h"
#include "tools/picture-command.h"

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
    "       quorvex-convert --svg DRAWING.jww PICTURE.svg\n"
    "       quorvex-convert --preview DRAWING.jww PICTURE.svg\n"
    "\n"
    "Explodes every dimension whose value text is empty or blank into the\n"
    "lines and points it is drawn with, and writes the whole drawing to\n"
    "OUTPUT in the input's format version. With -d, each INPUT is written to\n"
    "OUTDIR under its own file name; failures are reported and the rest go on.\n"
    "--info reads a drawing and prints its counts as one JSON object.\n"
    "--svg draws a drawing as stored; --preview draws it as the conversion\n"
    "would write it, with the lines and points the explode makes highlighted\n"
    "(class \"exploded\") and their counts in a caption. Only the picture is\n"
    "written.\n"
    "\n"
    "Options:\n"
    "  -d OUTDIR   convert many drawings into OUTDIR\n"
    "  --info      print the counts of a drawing\n"
    "  --svg       draw a drawing into an SVG picture\n"
    "  --preview   draw it as converted, the explode's work highlighted\n"
    "  --help      show this help\n"
    "  --version   show the version\n"
    "\n"
    "Exit status:\n"
    "  0  success\n"
    "  1  the input could not be read as a drawing\n"
    "  2  wrong usage\n"
    "  3  bad input name (missing, not .jww, or no such file)\n"
    "  4  bad output name (missing, not .jww (.svg for a picture), or the\n"
    "     input file itself)\n"
    "  5  the output could not be written\n"
    "  6  with -d: at least one drawing failed, or was refused because its\n"
    "     output had already been written from another input in this run\n"
    "  128+N  ended by signal N (130 SIGINT, 143 SIGTERM, 129 SIGHUP); what\n"
    "     the run had made so far is removed, files it replaces are untouched\n";

std::string BaseName(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// What converting one drawing printed, and its exit status: kept, so that a
// batch prints each input's lines in input order.
struct TOutcome {
  int Exit = kExitOk;
  std::string Out;  // for the standard output
  std::string Err;  // for the error output
};

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* format, ...) {
  va_list args;
  va_start(args, format);
  char* text = nullptr;
  const int n = ::vasprintf(&text, format, args);
  va_end(args);
  std::string out = n >= 0 ? std::string(text, static_cast<size_t>(n)) : std::string();
  std::free(text);
  return out;
}

// Prints an outcome whole, so that nothing of it waits in a buffer when a
// signal ends the process.
void Print(const TOutcome& o) {
  std::fputs(o.Out.c_str(), stdout);
  std::fflush(stdout);
  std::fputs(o.Err.c_str(), stderr);
}

TOutcome ConvertOne(TConversionSession& session, const std::string& in, const std::string& out) {
  const TConvertResult r = session.ConvertDrawing(in, out);
  switch (r.Code) {
    case crDone:
      return {kExitOk,
              Format("%s -> %s: %lld dimensions exploded, %lld lines and %lld points added\n", in.c_str(),
                     out.c_str(), static_cast<long long>(r.Exploded.DimensionsExploded),
                     static_cast<long long>(r.Exploded.LinesAdded), static_cast<long long>(r.Exploded.PointsAdded)),
              {}};
    case crBadInput:
      return {kExitBadInput, {}, Format("quorvex-convert: %s: not an existing .jww file\n", in.c_str())};
    case crBadOutput:
      return {kExitBadOutput, {},
              Format("quorvex-convert: %s: output must be a .jww file other than the input\n", out.c_str())};
    case crReadFailed:
      return {kExitReadFailed, {}, Format("quorvex-convert: %s: %s\n", in.c_str(), r.ReadError.Describe().c_str())};
    case crWriteFailed:
      if (r.ReadError.IsWriteSide())  // a scratch file of the input's images
        return {kExitWriteFailed, {}, Format("quorvex-convert: %s: %s\n", in.c_str(), r.ReadError.Describe().c_str())};
      return {kExitWriteFailed, {},
              Format("quorvex-convert: %s: cannot be written: %s\n", out.c_str(), std::strerror(r.ErrorNumber))};
  }
  return {kExitUsage, {}, {}};
}

// The outputs a batch has written, by file (device and inode, as found
// right after the write), so that no other spelling of one of them is
// written over either.
class TWrittenOutputs {
 public:
  // The input whose output now stands at this path; nullptr when none.
  const std::string* Find(const std::string& output) const {
    struct stat st {};
    if (::lstat(output.c_str(), &st) != 0) return nullptr;
    for (const auto& w : written_)
      if (w.Dev == st.st_dev && w.Ino == st.st_ino) return &w.Input;
    return nullptr;
  }
  void Add(const std::string& output, const std::string& input) {
    struct stat st {};
    if (::lstat(output.c_str(), &st) == 0) written_.push_back({st.st_dev, st.st_ino, input});
  }

 private:
  struct TWritten {
    dev_t Dev;
    ino_t Ino;
    std::string Input;
  };
  std::vector<TWritten> written_;
};

// One input of a batch: where it goes and what came of it.
struct TJob {
  std::string Input;
  std::string Output;  // OUTDIR + the input's file name
  TOutcome Outcome;
};

// Converts a job's input, unless this run has already written its output
// from another input.
void RunJob(TConversionSession& session, TWrittenOutputs& written, TJob& job) {
  if (const std::string* earlier = written.Find(job.Output)) {
    job.Outcome = {kExitBadOutput, {},
                   Format("quorvex-convert: %s: not converted: its output %s was written from %s in this run\n",
                          job.Input.c_str(), job.Output.c_str(), earlier->c_str())};
    return;
  }
  job.Outcome = ConvertOne(session, job.Input, job.Output);
  if (job.Outcome.Exit == kExitOk) written.Add(job.Output, job.Input);
}

// Converts each input to dir + its file name. The jobs run in input order
// and each one's outcome is printed when it is done, so the lines come in
// input order; failures are reported and the rest go on.
int RunBatch(const std::string& dir, const std::vector<std::string>& inputs) {
  std::vector<TJob> jobs;
  for (const std::string& in : inputs) jobs.push_back({in, dir + BaseName(in), {}});
  TConversionSession session;
  session.StartUp();
  TWrittenOutputs written;
  int failed = 0;
  for (TJob& job : jobs) {
    RunJob(session, written, job);
    Print(job.Outcome);
    if (job.Outcome.Exit != kExitOk) ++failed;
  }
  session.CleanUp();
  return failed ? kExitSomeFailed : kExitOk;
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
  if (args.size() == 3 && (args[0] == "--svg" || args[0] == "--preview"))
    return PictureCommand(args[0] == "--preview", args[1], args[2]);

  if (args.size() >= 3 && args[0] == "-d") {
    std::string dir = args[1];
    if (dir.empty()) return Usage();  // no folder: the outputs would land in "/"
    if (dir.back() != '/') dir += '/';
    return RunBatch(dir, std::vector<std::string>(args.begin() + 2, args.end()));
  }
  if (args.size() == 2 && args[0].rfind("-", 0) != 0 && args[1].rfind("-", 0) != 0) {
    TConversionSession session;
    session.StartUp();
    const TOutcome o = ConvertOne(session, args[0], args[1]);
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
  } catch (const std::exception& e) {
    // The core reports its own failures; this is out of memory or worse.
    std::fprintf(stderr, "quorvex-convert: %s\n", e.what());
    return kExitReadFailed;
  }
}
