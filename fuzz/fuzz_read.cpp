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
#include "os/scratch.h"

using namespace quorvex;

namespace {

// The scratch folder of this process, locked and removed like a session's.
const std::string& ScratchFolder() {
  static TScratchFolder* folder = [] {
    auto* f = new TScratchFolder;
    for (const std::string& base : ScratchBases())
      if (f->Create(base) == 0) break;
    if (!f->Exists()) std::abort();
    std::atexit([] { delete folder; });
    return f;
  }();
  return folder->Path();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TScratchImages kept(ScratchFolder());
  const std::string problem = CheckOneInput(data, size, kept);
  if (!problem.empty()) {
    std::fprintf(stderr, "quorvex-fuzz-read: %s\n", problem.c_str());
    std::abort();
  }
  return 0;
}
