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

bool CanStartThread(size_t stackBytes) {
  pthread_attr_t attr;
  if (pthread_attr_init(&attr) != 0) return false;
  bool started = false;
  if (pthread_attr_setstacksize(&attr, stackBytes) == 0) {
    sigset_t all, old;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, &old);
    pthread_t thread;
    started = pthread_create(&thread, &attr, [](void*) -> void* { return nullptr; }, nullptr) == 0;
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    if (started) pthread_join(thread, nullptr);
  }
  pthread_attr_destroy(&attr);
  return started;
}

}  // namespace quorvex
