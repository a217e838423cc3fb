// The fuzz targets' scratch folder for carried images: one of the process's
// own, locked and removed at its end like a session's; and whether a check
// left anything in it.
#pragma once

#include <dirent.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "convert/picture.h"
#include "convert/scratchimages.h"
#include "jww/images.h"
#include "jww/jwwunit.h"
#include "os/scratch.h"

namespace quorvex {

// The folder, made on first use (the process ends when none can be made).
inline const std::string& FuzzScratchFolder() {
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

// The name of a file left in `folder`, or empty when none is.
inline std::string LeftInFolder(const std::string& folder) {
  std::string left;
  if (DIR* dir = ::opendir(folder.c_str())) {
    while (const dirent* e = ::readdir(dir)) {
      const std::string name = e->d_name;
      if (name != "." && name != ".." && left.empty()) left = name;
    }
    ::closedir(dir);
  }
  return left;
}

// Reads the bytes with their images through the keeper's folder and, when
// they read as a drawing, hands it with its images read back to
// `check(d, store, images, problem)`; `problem` already says so when an
// image cannot be read back. Then drops the images: empty when the check
// passed and no scratch file is left, else what went wrong.
template <class Check>
std::string CheckReadDrawing(const uint8_t* data, size_t size, TScratchImages& kept, Check check) {
  TImageStore store;
  store.Keeper = &kept;
  std::string problem;
  TJwwData d;
  if (d.ReadBytes(data, size, &store, nullptr)) {
    std::vector<TStoredImage> images;
    if (KeptImages(store, images) != 0) problem = "an image cannot be read back from its scratch file";
    check(d, store, images, problem);
  }
  store.DropImages();
  if (const std::string left = LeftInFolder(kept.Folder); !left.empty() && problem.empty())
    problem = "a scratch file is left: " + left;
  return problem;
}

}  // namespace quorvex
