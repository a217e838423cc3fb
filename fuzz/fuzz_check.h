// The check that every input of the fuzz target, and every file of the
// fuzz corpus replayed by the test suite, must pass: any bytes read with a
// scratch folder for their images either fail with a reason that names a
// byte, or read into a drawing that is exploded, drawn as a preview no
// bigger than a small multiple of the bytes, written (images included) and
// read back; the scratch folder is empty again afterwards.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "bytes/writer.h"
#include "convert/scratchimages.h"
#include "explode/explode.h"
#include "fuzz/fuzz_scratch.h"
#include "jww/images.h"
#include "jww/jwwunit.h"
#include "render/svg.h"

namespace quorvex {

// Empty when the input passes, else what went wrong. The images pass
// through the keeper's folder.
inline std::string CheckOneInput(const uint8_t* data, size_t size, TScratchImages& kept) {
  TImageStore store;
  store.Keeper = &kept;
  std::string problem;
  TJwwData d;
  TReadError error;
  if (!d.ReadBytes(data, size, &store, &error)) {
    const std::string why = error.Describe();
    // A scratch file that cannot be written (a full disk, say) fails the
    // read too, with its reason.
    if (!error.Failed() || why.find(" byte ") == std::string::npos) problem = "a failed read without a reason: " + why;
  } else {
    const TAppendStarts start = ExplodeStart(d);
    ExplodeDimensions(d);
    TRenderOptions options;
    options.Exploded = &start;
    if (DrawingToSvg(d, options).size() > 64 * size + (64u << 10))
      problem = "the picture grows faster than the drawing";
    TArchiveWriter w;
    // A write may refuse a drawing (a string too long for its form); one
    // that it writes must read back.
    if (d.WriteTo(w, d.Header.Version, TWriterFallbacks{}, &store)) {
      store.DropImages();
      TJwwData again;
      if (!again.ReadBytes(w.Data().data(), w.Data().size(), &store, &error))
        problem = "what was written cannot be read: " + error.Describe();
    }
  }
  store.DropImages();
  if (const std::string left = LeftInFolder(kept.Folder); !left.empty() && problem.empty())
    problem = "a scratch file is left: " + left;
  return problem;
}

}  // namespace quorvex
