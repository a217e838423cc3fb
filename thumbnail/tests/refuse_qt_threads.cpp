// Preloaded into a program under test: every thread that Qt's own code
// asks for is refused (EAGAIN, as when the process may start no more),
// while the program's own threads start as usual.
#include <dlfcn.h>
#include <pthread.h>

#include <cerrno>
#include <cstring>

extern "C" int pthread_create(pthread_t* thread, const pthread_attr_t* attr, void* (*run)(void*), void* arg) {
  using TCreate = int (*)(pthread_t*, const pthread_attr_t*, void* (*)(void*), void*);
  static const TCreate real = reinterpret_cast<TCreate>(dlsym(RTLD_NEXT, "pthread_create"));
  Dl_info caller{};
  if (dladdr(__builtin_return_address(0), &caller) != 0 && caller.dli_fname &&
      std::strstr(caller.dli_fname, "libQt6") != nullptr)
    return EAGAIN;
  return real ? real(thread, attr, run, arg) : EAGAIN;
}
