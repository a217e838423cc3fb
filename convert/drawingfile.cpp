#include "convert/drawingfile.h"

#include <cerrno>
#include <new>

#include "jww/archive.h"
#include "os/outputfile.h"
#include "os/readahead.h"

namespace quorvex {
namespace {

// The blocks of a source, counted for a watch, and none after it is told
// to stop.
class TWatchedSource : public TByteSource {
 public:
  TWatchedSource(TByteSource& source, TReadWatch& watch) : source_(source), watch_(watch) {}
  TBlock Next() override {
    if (watch_.Stop.load(std::memory_order_relaxed)) {
      TBlock stopped;
      stopped.Offset = end_;
      stopped.Error = ECANCELED;
      return stopped;
    }
    TBlock b = source_.Next();
    end_ = b.Offset + b.Size;
    watch_.Bytes.store(end_, std::memory_order_relaxed);
    return b;
  }
  void Release(uint8_t* data) override { source_.Release(data); }

 private:
  TByteSource& source_;
  TReadWatch& watch_;
  uint64_t end_ = 0;
};

}  // namespace

bool ReadDrawingFile(const std::string& path, TJwwData& d, TImageStore* images, TReadError* error,
                     TReadWatch* watch) {
  TReadError local;
  TReadError& e = error ? *error : local;
  e = TReadError();
  TReadAhead blocks;
  if (const int err = blocks.Open(path); err != 0) {
    d.Clear();
    // The system's own memory ran out: the file may be sound.
    e.Problem = err == ENOMEM ? TReadProblem::kOutOfMemory : TReadProblem::kCannotOpen;
    e.Part = TReadPart::kFile;
    e.ErrorNumber = err;
    return false;
  }
  if (!blocks.Start()) {
    d.Clear();
    e.Problem = TReadProblem::kOutOfMemory;
    e.Part = TReadPart::kFile;
    return false;
  }
  if (!watch) return d.ReadFrom(blocks, blocks.Size(), images, &e);
  watch->Size.store(blocks.Size(), std::memory_order_relaxed);
  TWatchedSource watched(blocks, *watch);
  return d.ReadFrom(watched, blocks.Size(), images, &e);
}

int WriteDrawingFile(const TJwwData& d, const std::string& path, int32_t version, const TWriterFallbacks& fallbacks,
                     TImageStore* images, bool* placed) {
  if (placed) *placed = false;
  TOutputFile out;  // removed again unless committed, however the writing ends
  if (const int err = out.Open(path)) return err;
  TArchiveWriter w(out);  // fills the file's own blocks
  bool written = false;
  try {
    written = d.WriteTo(w, version, fallbacks, images);
  } catch (const std::bad_alloc&) {
    w.Fail(ENOMEM);
  }
  if (!written || !w.Flush()) return w.Error();
  const int err = out.Commit();
  if (placed) *placed = out.Placed();
  return err;
}

}  // namespace quorvex
