// Reading a whole drawing: header, the drawing's entity list, the block
// definitions with their nested lists, the image section, then the block
// tree.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <new>
#include <vector>

#include "jww/header.h"
#include "jww/images.h"
#include "jww/jwwunit.h"
#include "jww/kinds.h"

namespace quorvex {
namespace {

// The fewest bytes an object can take on file: its 2-byte tag and the
// shortest body (a point of an old file). A count announcing more objects
// than the remaining bytes could hold is refused before anything is sized
// by it.
constexpr size_t kMinEntityBytes = 2 + 33;
// A block definition: tag, old fixed part, empty name, nested count.
constexpr size_t kMinBlockDefBytes = 2 + 25 + 1 + 2;

// Reads a list's object count; a count that the remaining bytes could not
// hold fails the cursor at the count (kImpossibleCount).
uint32_t ReadCheckedCount(ByteCursor& c, size_t minBytes) {
  const size_t at = c.Offset();
  const uint32_t count = ReadObjectCount(c);
  if (c.Ok() && count > c.Remaining() / minBytes) c.FailAt(at, TReadProblem::kImpossibleCount, count);
  return c.Ok() ? count : 0;
}

// Makes room for record `count` (the next one). The storage grows by half
// when it is full, so appending stays amortised constant, but never beyond
// `most` records (all that the rest of the file could still hold): the
// memory of an array stays in proportion to the bytes its records take on
// file, however short they are, and no spare records are built.
template <class Array>
void MakeRoom(Array& a, int32_t count, size_t most) {
  const size_t want = static_cast<size_t>(count) + 1;
  if (want > a.capacity()) a.reserve(std::min(std::max(want, a.capacity() + a.capacity() / 2), std::max(want, most)));
  if (a.size() < want) a.resize(want);
}

class TListReader {
 public:
  TListReader(ByteCursor& c, int32_t version) : c_(c), io_(c, version) {}

  // Reads `count` objects into the store, whose EntityOrder is already
  // sized; then cuts its arrays to their counts.
  bool ReadList(TEntJwwStore& s, uint32_t count, bool inBlockDef) {
    const double pointScale = inBlockDef ? 0.0 : 1.0;
    for (uint32_t i = 0; i < count; ++i) {
      const int kind = ReadEntityClassTag(c_, numbering_);
      if (kind == 0) return false;
      int32_t index = 0;
      WithKind(kind, [&](auto k) {
        auto& array = RecordsOf<decltype(k)>(s);
        int32_t& n = CountOf<decltype(k)>(s);
        const size_t more = std::min<size_t>(count - i - 1, c_.Remaining() / (2 + k.MinBodyBytes));
        MakeRoom(array, n, static_cast<size_t>(n) + 1 + more);
        k.Body(io_, array[static_cast<size_t>(n)], pointScale);
        index = n++;
      });
      if (!c_.Ok()) return false;
      s.EntityOrder[i] = {kind, index};
      ++numbering_.NextObject;
    }
    s.CutToCounts();
    return true;
  }

  bool ReadDrawingList(TJwwData& d) {
    d.EntityListOffset = c_.Offset();
    const uint32_t count = ReadCheckedCount(c_, kMinEntityBytes);
    if (!c_.Ok()) return false;
    d.Header.EntityCount = static_cast<int32_t>(count);
    d.EntityOrder.assign(count, TEntJwwListItem());
    return ReadList(d, count, false);
  }

  bool ReadBlockDefs(TJwwData& d) {
    d.BlockDefCount = d.Header.BlockDefListCount = 0;
    const uint32_t count = ReadCheckedCount(c_, kMinBlockDefBytes);
    if (!c_.Ok()) return false;
    d.BlockDefs.resize(count);
    d.BlockDefCount = d.Header.BlockDefListCount = static_cast<int32_t>(count);
    for (uint32_t k = 1; k <= count; ++k) {
      TEntJwwBlockDef& def = d.BlockDefs[k - 1];
      def.FileOffset = c_.Offset();
      ReadBlockDefClassTag(c_, numbering_);
      BlockDefFixedPart(io_, def);
      if (def.Time & 0x80000000u) {
        c_.Skip(8);
        def.Time = k;
      }
      io_.Name(def.Name);
      const uint32_t nested = ReadCheckedCount(c_, kMinEntityBytes);
      if (!c_.Ok()) return false;
      def.EntityCount = static_cast<int32_t>(nested);
      def.EntityOrder.assign(nested, TEntJwwListItem());
      ++numbering_.NextObject;  // the definition takes its number before its objects
      if (!ReadList(def, nested, true)) return false;
    }
    return true;
  }

 private:
  ByteCursor& c_;
  TRecordReader io_;
  TArchiveNumbering numbering_;
};

// Loads the whole file. Returns 0, or the system's error number; `loaded`
// says how many bytes came in before a failure.
int ReadWholeFile(const std::string& path, std::vector<uint8_t>& out, size_t& loaded) {
  loaded = 0;
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno;
  struct stat st{};
  int err = 0;
  if (::fstat(fd, &st) != 0) {
    err = errno;
  } else if (!S_ISREG(st.st_mode)) {
    err = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
  } else {
    out.resize(static_cast<size_t>(st.st_size));
    while (err == 0 && loaded < out.size()) {
      const ssize_t r = ::read(fd, out.data() + loaded, out.size() - loaded);
      if (r < 0 && errno == EINTR) continue;
      if (r < 0) err = errno;
      else if (r == 0) err = EIO;  // the file shrank while being read
      else loaded += static_cast<size_t>(r);
    }
  }
  ::close(fd);
  return err;
}

}  // namespace

bool TJwwData::ReadBytes(const uint8_t* data, size_t size, TImageStore* images, TReadError* error) {
  Clear();
  if (error) *error = TReadError();
  ByteCursor c(data, size);
  bool treeOk = true;
  TReadError treeError;
  try {
    c.SetPart(TReadPart::kHeader);
    if (ReadHeader(c, *this)) {
      TListReader lists(c, Header.Version);
      c.SetPart(TReadPart::kEntityList);
      if (lists.ReadDrawingList(*this)) {
        c.SetPart(TReadPart::kBlockDefList);
        if (lists.ReadBlockDefs(*this) && Header.Version >= kVersionImages) {
          c.SetPart(TReadPart::kImageSection);
          TImageStore skipped;
          TImageStore& store = images ? *images : skipped;
          store.ReadSection(c, images != nullptr);
          ImageEntriesRead = store.BoundImageCount();
        }
      }
    }
    // A version below the oldest is refused before anything else is done;
    // after any other failure the tree is still built from what was read.
    if (c.Error().Problem != TReadProblem::kOldVersion) {
      c.SetPart(TReadPart::kBlockTree);
      treeOk = PostRead(&treeError);
    }
  } catch (const std::bad_alloc&) {
    // A drawing too large for this machine's memory: a failed read (an
    // earlier failure of the cursor stays the reason).
    c.FailAt(c.Offset(), TReadProblem::kOutOfMemory);
  }
  if (c.Ok() && treeOk) return true;
  if (error) {
    *error = c.Ok() ? treeError : c.Error();
    const TReadProblem p = error->Problem;
    error->UnknownSignature = Header.Signature != kSignature && p != TReadProblem::kOutOfMemory &&
                              p != TReadProblem::kScratchWrite;
  }
  return false;
}

bool TJwwData::Read(const std::string& path, TImageStore* images, TReadError* error) {
  TReadError local;
  TReadError& e = error ? *error : local;
  e = TReadError();
  try {
    std::vector<uint8_t> bytes;
    size_t loaded = 0;
    if (const int err = ReadWholeFile(path, bytes, loaded); err != 0) {
      Clear();
      e.Problem = TReadProblem::kCannotOpen;
      e.Part = TReadPart::kFile;
      e.Offset = loaded;
      e.ErrorNumber = err;
      return false;
    }
    return ReadBytes(bytes.data(), bytes.size(), images, &e);
  } catch (const std::bad_alloc&) {
    // The file's bytes themselves do not fit in memory.
    Clear();
    e = TReadError();
    e.Problem = TReadProblem::kOutOfMemory;
    e.Part = TReadPart::kFile;
    return false;
  }
}

}  // namespace quorvex
