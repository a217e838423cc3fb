// libFuzzer target: any bytes go through read (images into a scratch
// folder of this process), explode, write and read again; see
// fuzz_check.h. A bad drawing must only ever make the read fail with a
// reason; a drawing that reads must write, and read back.
#include <stdlib.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "fuzz/fuzz_check.h"

using namespace quorvex;

namespace {

// A scratch folder of this process under the system's temporary
// directory, removed when the process ends.
const std::string* gScratch = nullptr;

void RemoveScratch() {
  std::error_code ignored;
  std::filesystem::remove_all(*gScratch, ignored);
}

const std::string& ScratchFolder() {
  if (!gScratch) {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/quorvex-fuzz-XXXXXX";
    if (!::mkdtemp(pattern.data())) std::abort();
    gScratch = new std::string(pattern + "/");
    std::atexit(RemoveScratch);
  }
  return *gScratch;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TImageStore store;
  store.TempDir = ScratchFolder();
  const std::string problem = CheckOneInput(data, size, store);
  if (!problem.empty()) {
    std::fprintf(stderr, "quorvex-fuzz-read: %s\n", problem.c_str());
    std::abort();
  }
  return 0;
}
