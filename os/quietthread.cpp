#include "os/quietthread.h"

#include <pthread.h>
#include <signal.h>

#include <system_error>
#include <utility>

namespace quorvex {

bool StartQuietThread(std::thread& t, std::function<void()> run) {
  sigset_t all, old;
  sigfillset(&all);
  pthread_sigmask(SIG_BLOCK, &all, &old);  // the new thread starts with this mask
  bool started = true;
  try {
    t = std::thread(std::move(run));
  } catch (const std::system_error&) {
    started = false;
  }
  pthread_sigmask(SIG_SETMASK, &old, nullptr);
  return started;
}

}  // namespace quorvex
