// The removal on interrupt, in a process of its own: whatever is listed,
// however much of it, goes whole, also when two signals come at once.
#include <signal.h>
#include <stdio.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "os/fileops.h"
#include "os/interrupts.h"
#include "os/outputfile.h"
#include "os/scratch.h"
#include "faulty_fileops.h"
#include "reader_util.h"

namespace qtest {
namespace {

TEST(Interrupts, TwoSignalsAtOnceRemoveEveryFolderWhole) {
  // A child makes 100 scratch folders (more than a batch of -j 64 has at
  // work), the first with 1000 files in it, and waits on two threads that
  // both take signals; then SIGTERM and SIGINT come at once, so that one
  // thread's handler is still emptying the first folder when the other's
  // begins.
  TempFolder base;
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    ::close(ready[0]);
    InstallInterruptCleanup();
    std::vector<std::unique_ptr<TScratchFolder>> folders;
    for (int i = 0; i < 100; ++i) {
      folders.push_back(std::make_unique<TScratchFolder>());
      if (folders.back()->Create(base.Path()) != 0) ::_exit(90);
    }
    for (int i = 0; i < 1000; ++i) WriteFile(folders[0]->Path() + std::to_string(i), {1});
    std::thread other([] {
      for (;;) ::pause();
    });
    other.detach();
    if (::write(ready[1], "r", 1) != 1) ::_exit(91);
    for (;;) ::pause();
  }
  ::close(ready[1]);
  char c = 0;
  ASSERT_EQ(::read(ready[0], &c, 1), 1) << "the child could not make its folders";
  ::close(ready[0]);
  ::kill(pid, SIGTERM);
  ::kill(pid, SIGINT);
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
  EXPECT_TRUE(WEXITSTATUS(status) == 128 + SIGTERM || WEXITSTATUS(status) == 128 + SIGINT) << WEXITSTATUS(status);
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
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    ::close(ready[0]);
    InstallInterruptCleanup();
    SetUnnamedOutputFiles(false);
    TScratchFolder first, second;
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
    if (::write(ready[1], "r", 1) != 1) ::_exit(91);
    for (;;) ::pause();
  }
  ::close(ready[1]);
  char c = 0;
  ASSERT_EQ(::read(ready[0], &c, 1), 1) << "the child could not make its folders";
  ::close(ready[0]);
  ::kill(pid, SIGTERM);
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
  EXPECT_EQ(WEXITSTATUS(status), 128 + SIGTERM);
  EXPECT_EQ(Tree(base.Path()), std::set<std::string>{});
  EXPECT_EQ(Tree(outputs.Path()), std::set<std::string>{});
}

}  // namespace
}  // namespace qtest
