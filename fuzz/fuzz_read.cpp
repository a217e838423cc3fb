// libFuzzer target: any bytes go through read, explode and write. A bad
// drawing must only ever make the read fail; a drawing that reads must
// write, and read back.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "explode/explode.h"
#include "jww/archive.h"
#include "jww/jwwunit.h"

using namespace quorvex;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TJwwData d;
  if (!d.ReadBytes(data, size, nullptr)) return 0;
  ExplodeDimensions(d);
  TArchiveWriter w;
  if (!d.WriteTo(w, d.Header.Version, TWriterFallbacks{}, nullptr)) return 0;  // e.g. a string too long for its form
  TJwwData again;
  if (!again.ReadBytes(w.Data().data(), w.Data().size(), nullptr)) std::abort();  // we wrote what we cannot read
  return 0;
}
