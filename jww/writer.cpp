// Writing a whole drawing: header, the drawing's entity list, the block
// definitions in use, and from version 700 the image section. Classes and
// objects are numbered afresh for the file written.
#include <cerrno>

#include "jww/header.h"
#include "jww/images.h"
#include "jww/jwwunit.h"
#include "jww/kinds.h"

namespace quorvex {
namespace {

class TListWriter {
 public:
  TListWriter(TArchiveWriter& w, int32_t version, int32_t drawingVersion, const TWriterFallbacks& fb,
              const TBlockNumberMap& blocks)
      : w_(w),
        io_(w, version, fb, &blocks),
        schema_(static_cast<uint16_t>(version & 0xFFFF)),
        splitDimensions_(version < kVersionExtended && drawingVersion >= kVersionExtended) {}

  void WriteDrawingList(const TJwwData& d) {
    WriteCount(AnnouncedCount(d, d.Header.EntityCount));
    numbering_.Reset();
    WriteItems(d, d.Header.EntityCount);
  }

  void WriteBlockDefs(const TJwwData& d) {
    WriteCount(d.UsedBlockDefCount < 0 ? 0 : d.UsedBlockDefCount);
    for (const TEntJwwBlockDef& def : d.Definitions()) {
      if (!w_.Ok()) break;
      if (!def.Used) continue;
      WriteClassTag(w_, numbering_, kBlockDefClass, schema_);
      BlockDefFixedPart(io_, def);
      io_.Str(def.Name);
      // The definition's first EntityCount items; an order list that is
      // shorter stands for items of no kind after its end, which write nothing.
      const int32_t count = std::max(def.EntityCount, 0);
      WriteCount(AnnouncedCount(def, count));
      ++numbering_.NextObject;  // the definition takes its number before its objects
      WriteItems(def, count);
    }
  }

 private:
  // Below version 420 a dimension of a newer drawing that carries its parts
  // is written as the dimension and six more objects.
  bool IsSplit(const TEntJwwStore& s, const TEntJwwListItem& item) const {
    return splitDimensions_ && item.Kind == kDimension && item.Index >= 0 &&
           item.Index < static_cast<int32_t>(s.Dims.size()) && s.Dims[item.Index].PartsFlag != 0;
  }

  int64_t AnnouncedCount(const TEntJwwStore& s, int32_t entityCount) const {
    int64_t total = s.TotalCount();
    const size_t n = std::min(s.EntityOrder.size(), static_cast<size_t>(std::max(entityCount, 0)));
    for (size_t i = 0; i < n; ++i)
      if (IsSplit(s, s.EntityOrder[i])) total += 6;
    return total;
  }

  void WriteCount(int64_t count) {
    if (count < 0 || count > UINT32_MAX) {
      w_.Fail(EOVERFLOW);
      return;
    }
    WriteObjectCount(w_, static_cast<uint32_t>(count));
  }

  template <class K>
  void WriteObject(K kind, const typename K::Record& record) {
    WriteClassTag(w_, numbering_, kind.Code, schema_);
    kind.Body(io_, record, 0.0);
    ++numbering_.NextObject;
  }

  void WriteItems(const TEntJwwStore& s, int32_t entityCount) {
    const size_t n = std::min(s.EntityOrder.size(), static_cast<size_t>(std::max(entityCount, 0)));
    for (size_t i = 0; i < n && w_.Ok(); ++i) {
      const TEntJwwListItem item = s.EntityOrder[i];
      // An item of no kind (a removed entity) writes nothing.
      WithKind(item.Kind, [&](auto k) {
        const auto& array = RecordsOf<decltype(k)>(s);
        if (item.Index < 0 || static_cast<size_t>(item.Index) >= array.size()) {
          w_.Fail(EINVAL);  // an order list that names no record: never write a file that lies
          return;
        }
        WriteObject(k, array[static_cast<size_t>(item.Index)]);
      });
      if (IsSplit(s, item)) WriteDimensionParts(s.Dims[item.Index]);
    }
  }

  void WriteDimensionParts(const TEntJwwDimension& dim) {
    WriteObject(TLineKind(), dim.AuxLine1);
    WriteObject(TLineKind(), dim.AuxLine2);
    WriteObject(TPointKind(), dim.Point1);
    WriteObject(TPointKind(), dim.Point2);
    for (const TEntJwwPoint* p : {&dim.AuxPoint1, &dim.AuxPoint2}) {
      TEntJwwPoint aux = *p;
      aux.Temporary = 1;  // auxiliary points stand alone now: mark them temporary
      WriteObject(TPointKind(), aux);
    }
  }

  TArchiveWriter& w_;
  TRecordWriter io_;
  TArchiveNumbering numbering_;
  uint16_t schema_;
  bool splitDimensions_;
};

}  // namespace

bool TJwwData::WriteTo(TArchiveWriter& w, int32_t version, const TWriterFallbacks& fallbacks,
                       TImageStore* images) const {
  WriteHeader(w, *this, version);
  const TBlockNumberMap blocks(*this);
  TListWriter lists(w, version, Header.Version, fallbacks, blocks);
  lists.WriteDrawingList(*this);
  lists.WriteBlockDefs(*this);
  if (version >= kVersionImages && w.Ok()) {
    if (images) {
      images->WriteSection(w, *this);
    } else {
      w.I32(0);
    }
  }
  return w.Ok();
}

}  // namespace quorvex
