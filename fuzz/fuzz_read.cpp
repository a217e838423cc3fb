// libFuzzer target: any bytes go through read, explode, preview picture and
// write. A bad drawing must only ever make the read fail; a drawing that
// reads must give a picture no bigger than a small multiple of its bytes,
// and must write, and read back.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "explode/explode.h"
#include "jww/archive.h"
#include "jww/jwwunit.h"
#include "render/svg.h"

using namespace quorvex;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TJwwData d;
  if (!d.ReadBytes(data, size, nullptr)) return 0;
  const TExplodeStart start = ExplodeStart(d);
  ExplodeDimensions(d);
  TRenderOptions options;
  options.Exploded = &start;
  const std::string svg = SceneToSvg(BuildScene(d, options));
  if (svg.size() > 64 * size + (64u << 10)) std::abort();  // the picture grows faster than the drawing
  TArchiveWriter w;
  if (!d.WriteTo(w, d.Header.Version, TWriterFallbacks{}, nullptr)) return 0;  // e.g. a string too long for its form
  TJwwData again;
  if (!again.ReadBytes(w.Data().data(), w.Data().size(), nullptr)) std::abort();  // we wrote what we cannot read
  return 0;
}
