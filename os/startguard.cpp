#include "os/startguard.h"

#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <new>

namespace quorvex {
namespace {

const char* gProgram = "";
int gStatus = EXIT_FAILURE;
std::atomic<bool> gArmed{false};
std::terminate_handler gTerminate = nullptr;  // the one before the guard's

// Writes the program's name and the text to the error output, with no
// memory of its own.
void Say(const char* text) {
  for (const char* s : {gProgram, text}) {
    size_t left = std::strlen(s);
    while (left > 0) {
      const ssize_t n = ::write(STDERR_FILENO, s, left);
      if (n <= 0) return;
      s += n;
      left -= static_cast<size_t>(n);
    }
  }
}

[[noreturn]] void OnTerminate() {
  if (gArmed.load()) {
    try {
      if (const std::exception_ptr e = std::current_exception()) std::rethrow_exception(e);
    } catch (const std::bad_alloc&) {
      Say(": out of memory while its libraries were starting\n");
      ::_exit(gStatus);
    } catch (...) {
    }
  }
  if (gTerminate) gTerminate();
  std::abort();
}

void OnExit() {
  if (!gArmed.load()) return;  // main has begun: its status stands
  Say(": out of memory: a library it is linked with ended it while starting (its message is above)\n");
  ::_exit(gStatus);
}

}  // namespace

void ArmStartGuard(const char* program, int outOfMemoryStatus) {
  gProgram = program;
  gStatus = outOfMemoryStatus;
  gArmed.store(true);
  gTerminate = std::set_terminate(OnTerminate);
  std::atexit(OnExit);
}

void EndBeforeEarlierCleanUp() {
  ::on_exit([](int status, void*) { ::_exit(status); }, nullptr);
}

void StartGuardDone() {
  if (!gArmed.exchange(false)) return;
  std::set_terminate(gTerminate);
}

}  // namespace quorvex
