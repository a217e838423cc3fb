// The fuzz targets' scratch folder for carried images: one of the process's
// own, locked and removed at its end like a session's; and whether a check
// left anything in it.
#pragma once

#include <dirent.h>

#include <cstdlib>
#include <string>

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

}  // namespace quorvex
