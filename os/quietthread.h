// Threads of the program's own that take no signal: an interrupt goes to a
// thread that can clean up after it, never to a reader, writer or syncer
// in the middle of its work.
#pragma once

#include <cstddef>
#include <functional>
#include <thread>

namespace quorvex {

// Starts `run` on a new thread into `t`, with every signal blocked there.
// False, with `t` left unstarted, when the system has no thread to give:
// the caller then does the work itself.
bool StartQuietThread(std::thread& t, std::function<void()> run);

// Whether a thread with a stack of `stackBytes` can be started now: one is
// started with every signal blocked, does nothing and is joined.
bool CanStartThread(size_t stackBytes);

}  // namespace quorvex
