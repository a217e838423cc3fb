// A drawing's file: the drawing read from the file at a path, and written to
// one. The format code (jww/) reads a source of bytes and writes into a
// sink; the files behind them are opened here.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "jww/images.h"
#include "jww/jwwunit.h"
#include "jww/readerror.h"

namespace quorvex {

// A reading followed from another thread: the file's size and how many of
// its bytes the reader has been handed so far, and the other thread's
// request to stop, which ends the reading as a failure to read on
// (kCannotOpen with ECANCELED) at the next block.
struct TReadWatch {
  std::atomic<uint64_t> Size{0};
  std::atomic<uint64_t> Bytes{0};
  std::atomic<bool> Stop{false};
};

// Reads a whole drawing from its file, read ahead by a thread of its own.
// Carried images go to the image store (nullptr: the image section's data
// are skipped). False on any failure; *error (when given) then says why
// (kCannotOpen with the system's error number for a file that cannot be
// opened). A watch, when given, follows the reading.
[[nodiscard]] bool ReadDrawingFile(const std::string& path, TJwwData& d, TImageStore* images,
                                   TReadError* error = nullptr, TReadWatch* watch = nullptr);

// Writes the drawing as a file of this version (images from the store, or
// none when nullptr) into a temporary file in the path's folder that takes
// the path only once complete and synced (TOutputFile). 0, or the system
// error number: nothing is then left at the path and a file that stood
// there is untouched, unless *placed (when given) is set: the complete
// drawing took the path all the same (TOutputFile::Placed).
[[nodiscard]] int WriteDrawingFile(const TJwwData& d, const std::string& path, int32_t version,
                                   const TWriterFallbacks& fallbacks, TImageStore* images, bool* placed = nullptr);

}  // namespace quorvex
