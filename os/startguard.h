// A program's start before main. The libraries it is linked with start
// first, and some of them end the process when memory runs out while they
// do: a std::bad_alloc that nothing catches (an abort), or exit(1) after a
// message of their own. Armed before any of them starts (from the
// program's .preinit_array, which the dynamic loader runs first), the
// guard ends such a process with the program's out-of-memory status and a
// line saying so; once main has begun it steps aside.
#pragma once

namespace quorvex {

// Arms the guard for the program of this name with this status.
void ArmStartGuard(const char* program, int outOfMemoryStatus);

// Main has begun: from here on the program reports its own failures.
// (Armed again around a library loaded later, the guard covers its start
// too.)
void StartGuardDone();

// The process, once it exits, ends with its exit status right after the
// handlers of its end registered after this call, without those
// registered before it (a library's clean-up that would wait for ever for
// a thread that never started).
void EndBeforeEarlierCleanUp();

}  // namespace quorvex

// Arms the guard before any library starts: once, at namespace scope in
// the program's own source (a library's .preinit_array is not run).
#define QUORVEX_START_GUARD(program, outOfMemoryStatus)                                              \
  static void QuorvexArmStartGuard(int, char**, char**) { ::quorvex::ArmStartGuard(program, outOfMemoryStatus); } \
  __attribute__((section(".preinit_array"), used)) static void (*const kQuorvexStartGuard)(int, char**, char**) = \
      QuorvexArmStartGuard
