// libFuzzer target of the Qt painting, offscreen: the thumbnail's painting
// and the PDF of any bytes that read as a drawing; see fuzz_paint.h.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzz/fuzz_paint.h"
#include "fuzz/fuzz_scratch.h"
#include "paint/qt_failures.h"

using namespace quorvex;

// The font library keeps what it found of the system's fonts for the
// process's life, where the leak check does not see it (not ours).
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // Qt on its offscreen platform, as the converter's PDF module starts it.
  ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  TPdfStart start;
  QuorvexStartPdf(start);
  if (!start.Problem.empty()) {
    std::fprintf(stderr, "quorvex-fuzz-paint: %s\n", start.Problem.c_str());
    std::abort();
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool threads = PrepareQtPainting();
  TScratchImages kept(FuzzScratchFolder());
  // With Qt's image drawing and without it, by turns.
  const std::string problem = CheckPainting(data, size, kept, threads && (size / 2) % 2);
  if (!problem.empty()) {
    std::fprintf(stderr, "quorvex-fuzz-paint: %s\n", problem.c_str());
    std::abort();
  }
  return 0;
}
