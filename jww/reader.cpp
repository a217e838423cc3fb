// Reading a whole drawing: header, the drawing's entity list, the block
// definitions with their nested lists, the image section, then the block
// tree.
#include <algorithm>
#include <array>
#include <cerrno>
#include <memory>
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

// The number of records of each kind (index: kind code) in a list.
using TKindCounts = std::array<size_t, 8>;

class TListReader {
 public:
  TListReader(ByteCursor& c, int32_t version) : c_(c), io_(c, version) {}

  // Reads `count` objects into the store; its arrays and order list are
  // empty.
  bool ReadList(TEntJwwStore& s, uint32_t count, bool inBlockDef) {
    TKindCounts records{};
    size_t counted = 0;
    if (!CountAhead(count, records, counted)) records = Estimate(count, records, counted);
    Reserve(s, count, records);
    const double pointScale = inBlockDef ? 0.0 : 1.0;
    for (uint32_t i = 0; i < count; ++i) {
      const int kind = ReadEntityClassTag(c_, numbering_);
      if (kind == 0) return false;
      int32_t index = 0;
      WithKind(kind, [&](auto k) {
        k.Body(io_, RecordsOf<decltype(k)>(s).emplace_back(), pointScale);
        index = CountOf<decltype(k)>(s)++;
      });
      if (!c_.Ok()) return false;
      s.EntityOrder[i] = {kind, index};
      ++numbering_.NextObject;
    }
    return true;
  }

  bool ReadDrawingList(TJwwData& d) {
    d.EntityListOffset = c_.Offset();
    const uint32_t count = ReadCheckedCount(c_, kMinEntityBytes);
    if (!c_.Ok()) return false;
    d.Header.EntityCount = static_cast<int32_t>(count);
    return ReadList(d, count, false);
  }

  bool ReadBlockDefs(TJwwData& d) {
    d.BlockDefCount = d.Header.BlockDefListCount = 0;
    const uint32_t count = ReadCheckedCount(c_, kMinBlockDefBytes);
    if (!c_.Ok()) return false;
    d.BlockDefs.reserve(count);
    {
      // The definitions' arrays share one pool, which goes with the last of them.
      const std::unique_ptr<TRecordPool, void (*)(TRecordPool*)> pool(TRecordPool::Create(),
                                                                      [](TRecordPool* p) { p->Unref(); });
      for (uint32_t k = 0; k < count; ++k) d.BlockDefs.emplace_back(pool.get());
    }
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
      io_.Str(def.Name);
      const uint32_t nested = ReadCheckedCount(c_, kMinEntityBytes);
      if (!c_.Ok()) return false;
      def.EntityCount = static_cast<int32_t>(nested);
      ++numbering_.NextObject;  // the definition takes its number before its objects
      if (!ReadList(def, nested, true)) return false;
    }
    return true;
  }

 private:
  // Counts the records of each kind among the next `count` objects, by
  // stepping over them in the bytes that are in memory already: all of
  // them, or those before the first that cannot be read (where the reading
  // proper will stop too). False when the objects run on past the bytes in
  // memory; `counted` says how many were counted then.
  bool CountAhead(uint32_t count, TKindCounts& counts, size_t& counted) const {
    bool atEnd = false;
    ByteCursor c = c_.InMemory(atEnd);
    TArchiveNumbering numbering = numbering_;
    TRecordSkipper skip(c, io_.Version());
    TOneRecordOfEach scratch;
    counts = TKindCounts{};
    for (counted = 0; counted < count; ++counted) {
      const int kind = ReadEntityClassTag(c, numbering);
      if (kind != 0) WithKind(kind, [&](auto k) { k.Body(skip, std::get<typename decltype(k)::Record>(scratch), 0.0); });
      if (!c.Ok()) return atEnd;
      ++counts[kind];
      ++numbering.NextObject;
    }
    return true;
  }

  // For a list too long to count ahead: as many records of each kind as the
  // share of that kind among those counted would give the whole list, and
  // no more than the rest of the file could hold. An array that needs more
  // grows (without copying, recordpool.h); the worst case is never
  // reserved, since room costs address space even where it is not used.
  TKindCounts Estimate(uint32_t count, const TKindCounts& seen, size_t counted) const {
    TKindCounts guess{};
    if (counted == 0) return guess;
    ForEachKind([&](auto k) {
      const uint64_t share = (static_cast<uint64_t>(seen[k.Code]) * count + counted - 1) / counted;
      guess[k.Code] = static_cast<size_t>(std::min<uint64_t>(share, c_.Remaining() / (2 + k.MinBodyBytes)));
    });
    return guess;
  }

  // Sizes each array of the store for `records` of each kind, and the
  // order list for `count` items. The lines, points and items that the
  // dimension explode adds get their room when it runs.
  static void Reserve(TEntJwwStore& s, uint32_t count, const TKindCounts& records) {
    ForEachKind([&](auto k) {
      using K = decltype(k);
      RecordsOf<K>(s).reserve(records[K::Code]);
    });
    s.EntityOrder.reserve(count);
    s.EntityOrder.assign(count, TEntJwwListItem());
  }

  ByteCursor& c_;
  TRecordReader io_;
  TArchiveNumbering numbering_;
};

}  // namespace

bool TJwwData::ReadBytes(const uint8_t* data, size_t size, TImageStore* images, TReadError* error) {
  ByteCursor c(data, size);
  return ReadFrom(c, images, error);
}

bool TJwwData::ReadFrom(ByteCursor& c, TImageStore* images, TReadError* error) {
  Clear();
  if (error) *error = TReadError();
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
                              p != TReadProblem::kScratchWrite && p != TReadProblem::kCannotOpen;
  }
  return false;
}

bool TJwwData::ReadFrom(TByteSource& source, uint64_t size, TImageStore* images, TReadError* error) {
  ByteCursor c(source, static_cast<size_t>(size));
  return ReadFrom(c, images, error);
}

}  // namespace quorvex
