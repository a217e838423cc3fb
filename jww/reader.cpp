// Reading a whole drawing: header, the drawing's entity list, the block
// definitions with their nested lists, the image section, then the block
// tree.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <exception>
#include <vector>

#include "jww/header.h"
#include "jww/images.h"
#include "jww/jwwunit.h"
#include "jww/records.h"

namespace quorvex {
namespace {

// The fewest bytes an object can take on file: its 2-byte tag and the
// shortest body (a point of an old file). A count announcing more objects
// than the remaining bytes could hold is refused before anything is sized
// by it.
constexpr size_t kMinEntityBytes = 2 + 33;
// A block definition: tag, old fixed part, empty name, nested count.
constexpr size_t kMinBlockDefBytes = 2 + 25 + 1 + 2;

bool CountFits(const ByteCursor& c, uint64_t count, size_t minBytes) {
  return c.Ok() && count <= c.Remaining() / minBytes;
}

// Arrays grow in steps: when the count is a multiple of the step, room for
// the next step of records is made (the vector itself grows geometrically,
// so appending stays amortised constant).
template <class Array>
void MakeRoom(Array& a, int32_t count, int32_t step) {
  if (count % step == 0) a.resize(static_cast<size_t>(count / step + 1) * static_cast<size_t>(step));
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
      const int32_t step = inBlockDef && (kind == kText || kind == kDimension) ? 500 : 1000;
      const int32_t index = WithKindArray(s, kind, [&](auto& array, int32_t& n) {
        MakeRoom(array, n, step);
        Body(io_, array[static_cast<size_t>(n)], pointScale);
        return n++;
      });
      if (!c_.Ok()) return false;
      s.EntityOrder[i] = {kind, index};
      ++numbering_.NextObject;
    }
    s.CutToCounts();
    return true;
  }

  bool ReadDrawingList(TJwwData& d) {
    const uint32_t count = ReadObjectCount(c_);
    if (!CountFits(c_, count, kMinEntityBytes)) return Fail();
    d.Header.EntityCount = static_cast<int32_t>(count);
    d.EntityOrder.assign(count, TEntJwwListItem());
    return ReadList(d, count, false);
  }

  bool ReadBlockDefs(TJwwData& d) {
    d.BlockDefCount = d.Header.BlockDefListCount = 0;
    const uint32_t count = ReadObjectCount(c_);
    if (!CountFits(c_, count, kMinBlockDefBytes)) return Fail();
    d.BlockDefs.resize(count);
    d.BlockDefCount = d.Header.BlockDefListCount = static_cast<int32_t>(count);
    for (uint32_t k = 1; k <= count; ++k) {
      TEntJwwBlockDef& def = d.BlockDefs[k - 1];
      ReadBlockDefClassTag(c_, numbering_);
      BlockDefFixedPart(io_, def);
      if (def.Time & 0x80000000u) {
        c_.Skip(8);
        def.Time = k;
      }
      io_.Name(def.Name);
      const uint32_t nested = ReadObjectCount(c_);
      if (!CountFits(c_, nested, kMinEntityBytes)) return Fail();
      def.EntityCount = static_cast<int32_t>(nested);
      def.EntityOrder.assign(nested, TEntJwwListItem());
      ++numbering_.NextObject;  // the definition takes its number before its objects
      if (!ReadList(def, nested, true)) return false;
    }
    return true;
  }

 private:
  bool Fail() {
    c_.Fail();
    return false;
  }

  ByteCursor& c_;
  TRecordReader io_;
  TArchiveNumbering numbering_;
};

bool ReadWholeFile(const std::string& path, std::vector<uint8_t>& out) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st{};
  bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  if (ok) {
    out.resize(static_cast<size_t>(st.st_size));
    size_t done = 0;
    while (ok && done < out.size()) {
      const ssize_t r = ::read(fd, out.data() + done, out.size() - done);
      if (r < 0 && errno == EINTR) continue;
      if (r <= 0) ok = false;  // an error, or the file shrank while being read
      else done += static_cast<size_t>(r);
    }
  }
  ::close(fd);
  return ok;
}

}  // namespace

bool TJwwData::ReadBytes(const uint8_t* data, size_t size, TImageStore* images, TReadError* /*error*/) {
  Clear();
  ByteCursor c(data, size);
  if (!ReadHeader(c, *this)) {
    if (c.Ok()) return false;  // a version below the oldest: nothing more is done
  } else {
    TListReader lists(c, Header.Version);
    if (lists.ReadDrawingList(*this) && lists.ReadBlockDefs(*this) && Header.Version >= kVersionImages) {
      TImageStore skipped;
      TImageStore& store = images ? *images : skipped;
      if (!store.ReadSection(c, images != nullptr)) c.Fail();
      ImageEntriesRead = store.BoundImageCount();
    }
  }
  const bool readOk = c.Ok();
  const bool treeOk = PostRead();
  return readOk && treeOk;
}

bool TJwwData::Read(const std::string& path, TImageStore* images, TReadError* error) {
  try {
    std::vector<uint8_t> bytes;
    if (!ReadWholeFile(path, bytes)) {
      Clear();
      return false;
    }
    return ReadBytes(bytes.data(), bytes.size(), images, error);
  } catch (const std::exception&) {
    // Out of memory on a drawing too large for this machine: a failed read.
    return false;
  }
}

}  // namespace quorvex
