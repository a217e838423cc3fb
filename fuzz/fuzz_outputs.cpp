// libFuzzer target: any bytes that read as a drawing (images into a
// scratch folder of this process) are drawn as the stored and the preview
// SVG and written as DXF at real size and as the sheet, in memory; see
// fuzz_outputs.h.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzz/fuzz_outputs.h"
#include "fuzz/fuzz_scratch.h"

using namespace quorvex;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TScratchImages kept(FuzzScratchFolder());
  const std::string problem = CheckOutputs(data, size, kept);
  if (!problem.empty()) {
    std::fprintf(stderr, "quorvex-fuzz-outputs: %s\n", problem.c_str());
    std::abort();
  }
  return 0;
}
