// A batch: many drawings converted into one folder, several at a time,
// each with a session (and scratch folder) of its own thread, their lines
// printed in input order and the outputs, lines and exit status those of
// one conversion after the other.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "convert/outcome.h"
#include "convert/outputs.h"
#include "os/fdio.h"

namespace quorvex {

// The file-name part of a path (all of it when it has no '/').
std::string BaseName(const std::string& path);

// The outputs a batch has written, by file (device and inode, as found
// right after the write), so that no other spelling of one of them is
// written over either. Jobs running at once add to it and look in it.
class TWrittenOutputs {
 public:
  // Room for this many: adding never allocates, so never fails.
  explicit TWrittenOutputs(size_t jobs) { written_.reserve(jobs); }
  // The job whose output now stands at this path; none when none.
  std::optional<size_t> Find(const std::string& output) const;
  void Add(const std::string& output, size_t job);

 private:
  struct TWritten {
    TFileId File;
    size_t Job;
  };
  mutable std::mutex mutex_;
  std::vector<TWritten> written_;
};

class TBatch {
 public:
  // Converts one input to its output with the thread's session.
  using TConvert = std::function<TOutcome(TConversionSession&, const std::string& in, const std::string& out)>;
  // Prints the outcome of one input (called in input order, one at a time).
  using TPrint = std::function<void(const TOutcome&)>;

  // Each input goes to `dir` (ending in '/') + its file name: as it stands
  // for a drawing, with the kind's extension in place of its own for any
  // other kind of output (".dxf").
  TBatch(const std::string& dir, const std::vector<std::string>& inputs, const TOutputKind& kind = DrawingOutput());

  // Converts every input, `workers` at a time (one after the other when 1),
  // and hands each outcome to print as soon as it and all before it are
  // done. Failures are reported and the rest go on. 0, or kExitSomeFailed.
  [[nodiscard]] int Run(size_t workers, const TPrint& print = Print,
                        const TConvert& convert = [](TConversionSession& session, const std::string& in,
                                                     const std::string& out) { return ConvertOne(session, in, out); });

  size_t Size() const { return jobs_.size(); }

 private:
  // One input: where it goes, which earlier jobs it must wait for, and what
  // came of it.
  struct TJob {
    std::string Input;
    std::string Output;
    std::vector<size_t> After;
    TOutcome Outcome;
  };
  enum : char { kWaiting, kRunning, kDone };

  // Takes the first job, in input order, that may start now; waits while
  // jobs are left but none of them may start. None when all are taken.
  std::optional<size_t> Take();
  // Converts the input of a job taken, unless this run has already written
  // its output from another input, and records what came of it.
  void RunJob(TConversionSession& session, size_t i);
  // Prints the outcome of each job that is done and follows only jobs
  // already printed; with wait, goes on until every job is printed.
  void PrintDone(bool wait);
  // Converts jobs with a session of its own until none is left; with
  // print, prints what is done after each one.
  void Work(bool print);

  std::vector<TJob> jobs_;
  TWrittenOutputs written_;
  TConvert convert_;
  TPrint print_;
  std::mutex mutex_;
  std::condition_variable changed_;  // a job done
  std::vector<char> state_;
  size_t firstWaiting_ = 0;
  size_t printed_ = 0;
  int failed_ = 0;
};

}  // namespace quorvex
