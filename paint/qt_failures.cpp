#include "paint/qt_failures.h"

#include <QSemaphore>
#include <QString>
#include <QThreadPool>
#include <QtGlobal>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "convert/exitcodes.h"
#include "os/interrupts.h"
#include "os/quietthread.h"
#include "text/messages.h"

namespace quorvex {
namespace {

// The stack of the pool's worker: Qt's parts of a drawing take a few pages.
constexpr size_t kWorkerStack = 512u << 10;

QtMessageHandler gPrevious = nullptr;
const char* gProgram = "quorvex-thumbnail";
const char* gMade = "picture";
bool gPassOn = true;  // Qt's other messages are printed
std::atomic<bool> gMemoryShort{false};   // a message of Qt's said memory was short
std::atomic<bool> gStartingWorker{false};  // PrepareQtPainting is starting the pool's worker
std::atomic<bool> gWorkerRefused{false};
std::atomic<bool> gPoolBroken{false};

// Whether a message of Qt's (or of a library it passes on) tells of memory
// that ran out: its own "out of memory", a plugin it could not map, or the
// system's text for ENOMEM. Looked at without taking memory.
bool SaysMemoryShort(const QString& m) {
  return m.contains(QLatin1String("out of memory"), Qt::CaseInsensitive) ||
         m.contains(QLatin1String("failed to map"), Qt::CaseInsensitive) ||
         m.contains(QLatin1String(std::strerror(ENOMEM)), Qt::CaseInsensitive);
}

// Ends the run with `status` and a line: the thumbnailer's reason and the
// first line of Qt's message (when memory allows making it printable).
[[noreturn]] void End(int status, const char* reason, const QString& message) {
  std::fprintf(stderr, "%s: %s", gProgram, reason);
  try {
    const QByteArray text = message.section(QLatin1Char('\n'), 0, 0).toLocal8Bit();
    std::fprintf(stderr, ": %s", text.constData());
  } catch (...) {
  }
  std::fputc('\n', stderr);
  std::fflush(stderr);
  std::_Exit(status);
}

void OnQtMessage(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  if (message.startsWith(QLatin1String("QThread::start: Thread creation error"))) {
    if (gStartingWorker.load()) {
      gWorkerRefused.store(true);  // met: the painting goes on without threads
      return;
    }
    // Qt lost the work it gave that thread and would wait for it for ever.
    End(kExitOutOfMemory, Tr("out of memory: Qt cannot start a thread it needs"), message);
  }
  if (type == QtFatalMsg) {
    if (gMemoryShort.load() || SaysMemoryShort(message)) End(kExitOutOfMemory, Tr("out of memory: Qt cannot start"), message);
    char reason[256];
    std::snprintf(reason, sizeof reason, Tr("Qt cannot start, so no %s can be made"), Tr(gMade));
    End(kExitWriteFailed, reason, message);
  }
  if (SaysMemoryShort(message)) gMemoryShort.store(true);
  if (gPassOn) gPrevious(type, context, message);
}

}  // namespace

void CatchQtFailures(const char* program, const char* made, bool passOn) {
  gProgram = program;
  gMade = made;
  gPassOn = passOn;
  gPrevious = qInstallMessageHandler(OnQtMessage);
}

bool PrepareQtPainting() {
  // A thread of the program's own first: when none can be had the pool is
  // left untouched (a worker it could not start would stay counted). The
  // worker's work takes little stack, and it holds its stack for the whole
  // run: a small one leaves the address space to the rest.
  if (!CanStartThread(kWorkerStack)) return false;
  QThreadPool* pool = QThreadPool::globalInstance();
  pool->setStackSize(kWorkerStack);
  pool->setExpiryTimeout(-1);  // the worker is kept: none is started again
  pool->setMaxThreadCount(1);  // later work waits for the one worker
  QSemaphore ran;
  gStartingWorker.store(true);
  {
    TInterruptsHeld held;  // the worker keeps interrupts away for its whole life
    pool->start([&ran] { ran.release(); });
  }
  gStartingWorker.store(false);
  if (gWorkerRefused.load()) {
    // The pool counts a worker that never started, and would queue work
    // behind it for ever: it may try to start another instead (and a
    // refusal then ends the run), and it is not waited for at the end.
    pool->setMaxThreadCount(2);
    gPoolBroken.store(true);
    return false;
  }
  ran.acquire();
  return true;
}

bool QtPoolBroken() { return gPoolBroken.load(); }

}  // namespace quorvex
