// libFuzzer target: any bytes go through read (images into a scratch
// folder of this process), explode, a preview picture, write and read
// again; see fuzz_check.h. A bad drawing must only ever make the read fail
// with a reason; a drawing that reads must give a picture no bigger than a
// small multiple of its bytes, and must write, and read back.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzz/fuzz_check.h"
#include "fuzz/fuzz_scratch.h"

using namespace quorvex;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TScratchImages kept(FuzzScratchFolder());
  const std::string problem = CheckOneInput(data, size, kept);
  if (!problem.empty()) {
    std::fprintf(stderr, "quorvex-fuzz-read: %s\n", problem.c_str());
    std::abort();
  }
  return 0;
}
