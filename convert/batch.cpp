#include "convert/batch.h"

#include <algorithm>
#include <exception>
#include <map>
#include <new>
#include <thread>

#include "os/fdio.h"
#include "os/interrupts.h"
#include "text/messages.h"

namespace quorvex {
namespace {

// What a job may read or replace, as keys that two jobs share when they
// might touch one file: the output's name with its letters lower-cased (a
// file system that ignores case makes one file of such names), and the
// files that stand now at the output and at the input (any other spelling
// of the same file).
std::vector<std::string> Claims(const std::string& input, const std::string& output) {
  const auto file = [](const TFileId& id) { return Format("file %ju:%ju", uintmax_t(id.Dev), uintmax_t(id.Ino)); };
  std::vector<std::string> keys = {"name " + LowerCasePath(output)};
  if (const auto id = FileAt(output, false)) keys.push_back(file(*id));
  if (const auto id = FileAt(input, true)) keys.push_back(file(*id));
  return keys;
}

}  // namespace

std::string BaseName(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::optional<size_t> TWrittenOutputs::Find(const std::string& output) const {
  const std::optional<TFileId> id = FileAt(output, false);
  if (!id) return std::nullopt;
  std::lock_guard<std::mutex> lock(mutex_);
  for (const TWritten& w : written_)
    if (w.File == *id) return w.Job;
  return std::nullopt;
}

void TWrittenOutputs::Add(const std::string& output, size_t job) {
  const std::optional<TFileId> id = FileAt(output, false);
  if (!id) return;
  std::lock_guard<std::mutex> lock(mutex_);
  if (written_.size() < written_.capacity()) written_.push_back({*id, job});
}

// Two jobs that may touch one file run one after the other, in input order,
// whatever the timing: the later one starts only when the earlier one is
// done, and then finds the earlier one's output among those written, just
// as when the jobs run one at a time.
TBatch::TBatch(const std::string& dir, const std::vector<std::string>& inputs, const TOutputKind& kind)
    : written_(inputs.size()), state_(inputs.size(), kWaiting) {
  jobs_.reserve(inputs.size());
  for (const std::string& in : inputs) {
    std::string name = BaseName(in);
    if (&kind != &DrawingOutput()) name = name.substr(0, name.rfind('.')) + kind.Extension;
    jobs_.push_back({in, dir + name, {}, {}});
  }
  std::map<std::string, size_t> last;  // the latest job holding each key
  for (size_t i = 0; i < jobs_.size(); ++i) {
    for (const std::string& key : Claims(jobs_[i].Input, jobs_[i].Output)) {
      const auto [at, added] = last.try_emplace(key, i);
      // An output that is the input file itself holds one file twice: the
      // job must not wait for itself (RunJob refuses it).
      if (added || at->second == i) continue;
      jobs_[i].After.push_back(at->second);
      at->second = i;
    }
  }
}

std::optional<size_t> TBatch::Take() {
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

void TBatch::RunJob(TConversionSession& session, size_t i) {
  const TJob& job = jobs_[i];
  TOutcome outcome;
  try {
    if (SameFile(job.Input, job.Output)) {
      outcome = {kExitBadOutput, {},
                 Format("quorvex-convert: %s: %s\n", job.Input.c_str(),
                        Format(Tr("not converted: its output %s is the input file itself"), job.Output.c_str())
                            .c_str())};
    } else if (const std::optional<size_t> earlier = written_.Find(job.Output)) {
      outcome = {kExitBadOutput, {},
                 Format("quorvex-convert: %s: %s\n", job.Input.c_str(),
                        Format(Tr("not converted: its output %s was written from %s in this run"),
                               job.Output.c_str(), jobs_[*earlier].Input.c_str())
                            .c_str())};
    } else {
      outcome = convert_(session, job.Input, job.Output);
      if (outcome.Exit == kExitOk) written_.Add(job.Output, i);
    }
  } catch (const std::exception& e) {
    // Out of memory, most likely: this drawing fails, the others go on.
    session.ResetConversion();
    outcome = {dynamic_cast<const std::bad_alloc*>(&e) ? kExitOutOfMemory : kExitReadFailed, {}, {}};
    try {
      outcome.Err = Format("quorvex-convert: %s: %s\n", job.Input.c_str(), Format(Tr("not converted: %s"), e.what()).c_str());
    } catch (const std::exception&) {
    }
  }
  std::lock_guard<std::mutex> lock(mutex_);
  jobs_[i].Outcome = std::move(outcome);
  state_[i] = kDone;
  changed_.notify_all();
}

void TBatch::PrintDone(bool wait) {
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
    print_(outcome);
    lock.lock();
  }
}

void TBatch::Work(bool print) {
  TConversionSession session;
  try {
    session.StartUp();
  } catch (const std::exception&) {
    // Out of memory: each conversion tries again to start the session.
  }
  while (const std::optional<size_t> i = Take()) {
    RunJob(session, *i);
    if (print) PrintDone(false);
  }
}

int TBatch::Run(size_t workers, const TPrint& print, const TConvert& convert) {
  print_ = print;
  convert_ = convert;
  std::vector<std::thread> threads;
  const size_t wanted = std::min(workers, jobs_.size());
  if (wanted > 1) {
    // The threads keep the interrupting signals away, so that the handler
    // runs on this thread, which only waits and prints.
    TInterruptsHeld held;
    for (size_t n = 0; n < wanted; ++n) {
      try {
        threads.emplace_back(&TBatch::Work, this, false);
      } catch (const std::exception&) {
        break;  // no more threads: those started do the work
      }
    }
  }
  if (threads.empty()) {
    Work(true);
  } else {
    PrintDone(true);
    for (std::thread& t : threads) t.join();
  }
  return failed_ ? kExitSomeFailed : kExitOk;
}

}  // namespace quorvex
