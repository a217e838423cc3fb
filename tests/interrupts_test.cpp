// The removal on interrupt, in a process of its own: whatever is listed,
// however much of it, goes whole, also when two signals come at once.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <memory>
#include <thread>
#include <vector>

#include "os/interrupts.h"
#include "os/scratch.h"
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

}  // namespace
}  // namespace qtest
