// Threads of the program's own that take no signal: an interrupt goes to a
// thread that can clean up after it, never to a reader, writer or syncer
// in the middle of its work.
#pragma once

#include <pthread.h>
#include <signal.h>

#include <system_error>
#include <thread>
#include <utility>

namespace quorvex {

// Starts `run` on a new thread into `t`, with every signal blocked there.
// False, with `t` left unstarted, when the system has no thread to give:
// the caller then does the work itself.
template <class F>
bool StartQuietThread(std::thread& t, F&& run) {
  sigset_t all, old;
  sigfillset(&all);
  pthread_sigmask(SIG_BLOCK, &all, &old);  // the new thread starts with this mask
  bool started = true;
  try {
    t = std::thread(std::forward<F>(run));
  } catch (const std::system_error&) {
    started = false;
  }
  pthread_sigmask(SIG_SETMASK, &old, nullptr);
  return started;
}

}  // namespace quorvex
