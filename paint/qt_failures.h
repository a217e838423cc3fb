// How the thumbnailer meets Qt's own failures, which Qt reports only on its
// message output before it aborts or waits for ever: a fatal one (no
// platform plugin can be loaded or mapped, Qt's own memory) ends the
// thumbnailer with a status of its table and a line saying why; and Qt's
// painting is set up so that it never waits for a thread that could not be
// started.
#pragma once

#include "text/messages.h"

namespace quorvex {

// Takes over Qt's messages for the rest of the run; call before the
// QGuiApplication is made. A fatal message ends the run with status 7
// when memory was short (Qt said so, or could not map a plugin), else 5,
// and a line that begins with the program's name and says what cannot be
// made. Qt's other messages are printed as before, or with passOn false
// not at all (the program says itself what went wrong).
// TRANSLATORS: what cannot be made when Qt cannot start ("PDF" too).
void CatchQtFailures(const char* program = "quorvex-thumbnail", const char* made = TrLater("picture"),
                     bool passOn = true);

// Qt hands parts of large image drawings (and conversions) to its global
// thread pool, starting the pool's worker when it first needs one, and
// waits for those parts without end when the worker cannot be started.
// This starts the pool's one worker now and keeps it for the whole run
// (Qt then never starts another), with interrupts held away from it. True
// when it is running; false when no thread can be started: images must
// then be drawn without Qt's image drawing (PaintDrawing's `threads`).
// Should Qt still fail to start a thread after this, the run ends with
// status 7 instead of waiting.
bool PrepareQtPainting();

// Whether the run must end without Qt's clean-up: a worker that Qt counts
// as started never started, and Qt would wait for it at the end.
bool QtPoolBroken();

}  // namespace quorvex
