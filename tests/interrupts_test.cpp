// The removal on interrupt, in a process of its own: whatever is listed,
// however much of it, goes whole, also when two signals come at once.
#include <signal.h>
#include <stdio.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <initializer_list>
#include <memory>
#include <thread>
#include <vector>

#include "os/fileops.h"
#include "os/interrupts.h"
#include "os/outputfile.h"
#include "os/scratch.h"
#include "faulty_fileops.h"
#include "testutil.h"

namespace qtest {
namespace {

// Runs `setUp` in a child process with the removal on interrupt installed;
// once it is done the child waits for signals, and `signals` are sent to it
// at once. The child's exit status, or -1 when it did not get ready or was
// ended by a signal instead of exiting.
template <class TSetUp>
int InterruptChild(TSetUp setUp, std::initializer_list<int> signals) {
  int ready[2];
  if (::pipe(ready) != 0) return -1;
  const pid_t pid = ::fork();
  if (pid < 0) return -1;
  if (pid == 0) {
    ::close(ready[0]);
    InstallInterruptCleanup();
    setUp();
    if (::write(ready[1], "r", 1) != 1) ::_exit(91);
    for (;;) ::pause();
  }
  ::close(ready[1]);
  char c = 0;
  const bool readied = ::read(ready[0], &c, 1) == 1;
  ::close(ready[0]);
  if (readied)
    for (const int sig : signals) ::kill(pid, sig);
  else
    ::kill(pid, SIGKILL);
  int status = 0;
  if (::waitpid(pid, &status, 0) != pid || !readied || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

TEST(Interrupts, TwoSignalsAtOnceRemoveEveryFolderWhole) {
  // A child makes 100 scratch folders (more than a batch of -j 64 has at
  // work), the first with 1000 files in it, and waits on two threads that
  // both take signals; then SIGTERM and SIGINT come at once, so that one
  // thread's handler is still emptying the first folder when the other's
  // begins.
  TempFolder base;
  const int status = InterruptChild([&base] {
    static std::vector<std::unique_ptr<TScratchFolder>> folders;  // kept until the process ends
    for (int i = 0; i < 100; ++i) {
      folders.push_back(std::make_unique<TScratchFolder>());
      if (folders.back()->Create(base.Path()) != 0) ::_exit(90);
    }
    for (int i = 0; i < 1000; ++i) WriteFile(folders[0]->Path() + std::to_string(i), {1});
    std::thread other([] {
      for (;;) ::pause();
    });
    other.detach();
  }, {SIGTERM, SIGINT});
  EXPECT_TRUE(status == 128 + SIGTERM || status == 128 + SIGINT) << status;
  EXPECT_EQ(Tree(base.Path()), std::set<std::string>{});
}

// The system's calls, except that the handler's move of a scratch folder
// aside first lets another thread go and waits (a second at most) until
// that thread says it has made its file.
std::atomic<bool> gMakeNow{false};
std::atomic<bool> gMade{false};

class TStallOnMoveAside final : public TPassingFileOps {
 public:
  int RenameAt(int od, const char* op, int nd, const char* np, unsigned f) override {
    if (f == RENAME_NOREPLACE && !gMakeNow.exchange(true)) {
      struct timespec start{}, now{};
      ::clock_gettime(CLOCK_MONOTONIC, &start);
      while (!gMade.load()) {
        ::clock_gettime(CLOCK_MONOTONIC, &now);
        if (now.tv_sec - start.tv_sec >= 1) break;
      }
    }
    return Real().RenameAt(od, op, nd, np, f);
  }
};

TEST(Interrupts, NothingMadeWhileTheHandlerRemovesIsLeftBehind) {
  // The handler goes through the table entry by entry. Here the first
  // entry is free when it passes, and while it removes the folder of the
  // second another thread takes the first for a hidden temporary output:
  // that output must not outlive the process.
  TempFolder base, outputs;
  const int status = InterruptChild([&base, &outputs] {
    SetUnnamedOutputFiles(false);
    static TScratchFolder first, second;
    if (first.Create(base.Path()) != 0 || second.Create(base.Path()) != 0) ::_exit(90);
    first.Remove();
    static TStallOnMoveAside stall;
    SetFileOps(&stall);
    std::thread maker([&outputs] {
      TInterruptsHeld held;
      while (!gMakeNow.load()) ::usleep(1000);
      TOutputFile out;
      if (out.Open(outputs.File("x.jww")) == 0) gMade.store(true);
      for (;;) ::pause();
    });
    maker.detach();
  }, {SIGTERM});
  EXPECT_EQ(status, 128 + SIGTERM);
  EXPECT_EQ(Tree(base.Path()), std::set<std::string>{});
  EXPECT_EQ(Tree(outputs.Path()), std::set<std::string>{});
}

}  // namespace
}  // namespace qtest
