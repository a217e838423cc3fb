// quorvex-convert: the command-line converter.
//
//   quorvex-convert INPUT.jww OUTPUT.jww
//   quorvex-convert -d OUTDIR [-j N] INPUT.jww...
//   quorvex-convert --info FILE.jww
//   quorvex-convert --svg|--preview DRAWING.jww PICTURE.svg
#include <sched.h>
#include <sys/stat.h>

#include <algorithm>
#include <condition_variable>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <system_error>
#include <thread>
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
    "       quorvex-convert -d OUTDIR [-j N] INPUT.jww...\n"
    "       quorvex-convert --info FILE.jww\n"
    "       quorvex-convert --svg DRAWING.jww PICTURE.svg\n"
    "       quorvex-convert --preview DRAWING.jww PICTURE.svg\n"
    "\n"
    "Explodes every dimension whose value text is empty or blank into the\n"
    "lines and points it is drawn with, and writes the whole drawing to\n"
    "OUTPUT in the input's format version. With -d, each INPUT is written to\n"
    "OUTDIR under its own file name; failures are reported and the rest go on.\n"
    "Each input's line is printed in input order, as soon as it and all inputs\n"
    "before it are done; -j changes how fast, never what is written or printed.\n"
    "--info reads a drawing and prints its counts as one JSON object.\n"
    "--svg draws a drawing as stored; --preview draws it as the conversion\n"
    "would write it, with the lines and points the explode makes highlighted\n"
    "(class \"exploded\") and their counts in a caption. Only the picture is\n"
    "written.\n"
    "\n"
    "Options:\n"
    "  -d OUTDIR   convert many drawings into OUTDIR\n"
    "  -j N        with -d: convert N drawings at a time (default: one for each\n"
    "              processor this program may use)\n"
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
// written over either. Jobs running at once add to it and look in it.
class TWrittenOutputs {
 public:
  // Room for this many: adding never allocates, so never fails.
  explicit TWrittenOutputs(size_t jobs) { written_.reserve(jobs); }
  // The job whose output now stands at this path; none when none.
  std::optional<size_t> Find(const std::string& output) const {
    struct stat st {};
    if (::lstat(output.c_str(), &st) != 0) return std::nullopt;
    std::lock_guard<std::mutex> lock(mutex_);
    for (const TWritten& w : written_)
      if (w.Dev == st.st_dev && w.Ino == st.st_ino) return w.Job;
    return std::nullopt;
  }
  void Add(const std::string& output, size_t job) {
    struct stat st {};
    if (::lstat(output.c_str(), &st) != 0) return;
    std::lock_guard<std::mutex> lock(mutex_);
    if (written_.size() < written_.capacity()) written_.push_back({st.st_dev, st.st_ino, job});
  }

 private:
  struct TWritten {
    dev_t Dev;
    ino_t Ino;
    size_t Job;
  };
  mutable std::mutex mutex_;
  std::vector<TWritten> written_;
};

// One input of a batch: where it goes, which earlier jobs it must wait for,
// and what came of it.
struct TJob {
  std::string Input;
  std::string Output;         // OUTDIR + the input's file name
  std::vector<size_t> After;  // earlier jobs that may touch the same files
  TOutcome Outcome;
};

// What a job may read or replace, as keys that two jobs share when they
// might touch one file: the output's name with its letters lower-cased (a
// file system that ignores case makes one file of such names), and the
// files that stand now at the output and at the input (any other spelling
// of the same file).
std::vector<std::string> Claims(const TJob& job) {
  const auto file = [](const struct stat& st) {
    return Format("file %ju:%ju", uintmax_t(st.st_dev), uintmax_t(st.st_ino));
  };
  std::vector<std::string> keys = {"name " + LowerCasePath(job.Output)};
  struct stat st {};
  if (::lstat(job.Output.c_str(), &st) == 0) keys.push_back(file(st));
  if (::stat(job.Input.c_str(), &st) == 0) keys.push_back(file(st));
  return keys;
}

// The jobs of a batch, handed out to the threads that convert them and
// printed in input order as they are done.
//
// Two jobs that may touch one file run one after the other, in input order,
// whatever the timing: the later one starts only when the earlier one is
// done, and then finds the earlier one's output among those written, just
// as when the jobs run one at a time.
class TBatch {
 public:
  explicit TBatch(std::vector<TJob> jobs)
      : jobs_(std::move(jobs)), written_(jobs_.size()), state_(jobs_.size(), kWaiting) {
    std::map<std::string, size_t> last;  // the latest job holding each key
    for (size_t i = 0; i < jobs_.size(); ++i) {
      for (const std::string& key : Claims(jobs_[i])) {
        const auto [at, added] = last.try_emplace(key, i);
        if (added) continue;
        jobs_[i].After.push_back(at->second);
        at->second = i;
      }
    }
  }

  // Takes the first job, in input order, that may start now; waits while
  // jobs are left but none of them may start. None when all are taken.
  std::optional<size_t> Take() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      while (firstWaiting_ < jobs_.size() && state_[firstWaiting_] != kWaiting) ++firstWaiting_;
      if (firstWaiting_ == jobs_.size()) return std::nullopt;
      for (size_t i = firstWaiting_; i < jobs_.size(); ++i) {
        if (state_[i] != kWaiting) continue;
        const std::vector<size_t>& after = jobs_[i].After;
        if (std::all_of(after.begin(), after.end(), [&](size_t k) { return state_[k] == kDone; })) {
          state_[i] = kRunning;
          return i;
        }
      }
      changed_.wait(lock);
    }
  }

  // Converts the input of a job taken, unless this run has already written
  // its output from another input, and records what came of it.
  void Run(TConversionSession& session, size_t i) {
    const TJob& job = jobs_[i];
    TOutcome outcome;
    try {
      if (const std::optional<size_t> earlier = written_.Find(job.Output)) {
        outcome = {kExitBadOutput, {},
                   Format("quorvex-convert: %s: not converted: its output %s was written from %s in this run\n",
                          job.Input.c_str(), job.Output.c_str(), jobs_[*earlier].Input.c_str())};
      } else {
        outcome = ConvertOne(session, job.Input, job.Output);
        if (outcome.Exit == kExitOk) written_.Add(job.Output, i);
      }
    } catch (const std::exception& e) {
      // Out of memory, most likely: this drawing fails, the others go on.
      session.ResetConversion();
      outcome = {kExitReadFailed, {}, {}};
      try {
        outcome.Err = Format("quorvex-convert: %s: not converted: %s\n", job.Input.c_str(), e.what());
      } catch (const std::exception&) {
      }
    }
    std::lock_guard<std::mutex> lock(mutex_);
    jobs_[i].Outcome = std::move(outcome);
    state_[i] = kDone;
    changed_.notify_all();
  }

  // Prints the outcome of each job that is done and follows only jobs
  // already printed; with wait, goes on until every job is printed.
  void PrintDone(bool wait) {
    std::unique_lock<std::mutex> lock(mutex_);
    while (printed_ < jobs_.size()) {
      if (state_[printed_] != kDone) {
        if (!wait) return;
        changed_.wait(lock);
        continue;
      }
      const TOutcome outcome = std::move(jobs_[printed_].Outcome);
      ++printed_;
      if (outcome.Exit != kExitOk) ++failed_;
      lock.unlock();
      Print(outcome);
      lock.lock();
    }
  }

  size_t Size() const { return jobs_.size(); }
  int Failed() const { return failed_; }

 private:
  enum : char { kWaiting, kRunning, kDone };

  std::vector<TJob> jobs_;
  TWrittenOutputs written_;
  std::mutex mutex_;
  std::condition_variable changed_;  // a job done
  std::vector<char> state_;
  size_t firstWaiting_ = 0;
  size_t printed_ = 0;
  int failed_ = 0;
};

// Converts jobs of the batch with its own session (its own scratch folder)
// until none is left; with print, prints what is done after each one.
void Work(TBatch& batch, bool print) {
  TConversionSession session;
  try {
    session.StartUp();
  } catch (const std::exception&) {
    // Out of memory: each conversion tries again to start the session.
  }
  while (const std::optional<size_t> i = batch.Take()) {
    batch.Run(session, *i);
    if (print) batch.PrintDone(false);
  }
}

// Converts each input to dir + its file name, `workers` at a time. Each
// input's lines are printed as soon as it and every input before it are
// done, so they come in input order; failures are reported and the rest go
// on.
int RunBatch(const std::string& dir, const std::vector<std::string>& inputs, size_t workers) {
  std::vector<TJob> jobs;
  for (const std::string& in : inputs) jobs.push_back({in, dir + BaseName(in), {}, {}});
  TBatch batch(std::move(jobs));
  std::vector<std::thread> threads;
  if (std::min(workers, batch.Size()) > 1) {
    // The threads keep the interrupting signals away, so that the handler
    // runs on this thread, which only waits and prints.
    TInterruptsHeld held;
    for (size_t n = 0; n < std::min(workers, batch.Size()); ++n) {
      try {
        threads.emplace_back(Work, std::ref(batch), false);
      } catch (const std::exception&) {
        break;  // no more threads: those started do the work
      }
    }
  }
  if (threads.empty()) {
    Work(batch, true);
  } else {
    batch.PrintDone(true);
    for (std::thread& t : threads) t.join();
  }
  return batch.Failed() ? kExitSomeFailed : kExitOk;
}

// The number of processors this process may run on.
size_t Processors() {
  cpu_set_t set;
  if (::sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0) return CPU_COUNT(&set);
  return std::max(1u, std::thread::hardware_concurrency());
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

  if (!args.empty() && (args[0] == "-d" || args[0].rfind("-j", 0) == 0)) {
    // -d OUTDIR and -j N (or -jN), in either order, then the inputs.
    std::optional<std::string> dir;
    std::optional<size_t> workers;
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
      } else {
        break;
      }
    }
    // No folder (or an empty one, where the outputs would land in "/"), an
    // option given twice, or no input.
    if (!dir || dir->empty() || i == args.size() || args[i] == "-d" || args[i].rfind("-j", 0) == 0) return Usage();
    if (dir->back() != '/') *dir += '/';
    return RunBatch(*dir, std::vector<std::string>(args.begin() + i, args.end()), workers.value_or(Processors()));
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
