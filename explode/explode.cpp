#include "explode/explode.h"

#include <vector>

#include "jww/shapes.h"
#include "text/jwwstring.h"

namespace quorvex {
namespace {

// Explodes one container (the drawing or a block definition) whose order
// list holds entityCount items.
class TContainerExplode {
 public:
  TContainerExplode(TEntJwwStore& s, int32_t& entityCount, TExplodeSummary& sum)
      : s_(s), entityCount_(entityCount), sum_(sum) {}

  void Run() {
    // Appends go after the records in use; spare records beyond the counts
    // are dropped first.
    s_.EntityOrder.resize(static_cast<size_t>(std::max(entityCount_, 0)));
    s_.Lines.resize(static_cast<size_t>(std::max(s_.LineCount, 0)));
    s_.Points.resize(static_cast<size_t>(std::max(s_.PointCount, 0)));

    // Only the dimensions the order list holds are exploded: one that an
    // earlier explode removed stays in Dims, but no longer listed, and must
    // not give its lines again. Each listed one is looked at once, in the
    // order of Dims, and what is found kept for the passes after; the first
    // counts what the explode adds, so that the arrays take room for it once.
    enum : uint8_t { kUnlisted, kListed, kValued, kWithoutValue };
    std::vector<uint8_t> state(s_.Dims.size(), kUnlisted);
    for (const TEntJwwListItem& item : s_.EntityOrder)
      if (item.Kind == kDimension && item.Index >= 0 && item.Index < static_cast<int32_t>(s_.Dims.size()))
        state[static_cast<size_t>(item.Index)] = kListed;
    size_t lines = 0, points = 0;
    for (size_t i = 0; i < s_.Dims.size(); ++i) {
      if (state[i] != kListed) continue;
      const TEntJwwDimension& dim = s_.Dims[i];
      const bool withoutValue = IsDimensionWithoutValue(dim);
      state[i] = withoutValue ? kWithoutValue : kValued;
      if (!withoutValue) continue;
      ++lines;
      if (dim.PartsFlag == 0) continue;
      lines += (AuxLineHasLength(dim.AuxLine1) ? 1 : 0) + (AuxLineHasLength(dim.AuxLine2) ? 1 : 0);
      points += 4;
    }
    s_.Lines.reserve(s_.Lines.size() + lines);
    s_.Points.reserve(s_.Points.size() + points);
    s_.EntityOrder.reserve(s_.EntityOrder.size() + lines + points);
    for (size_t i = 0; i < s_.Dims.size(); ++i) {
      if (state[i] != kWithoutValue) continue;
      const TEntJwwDimension& dim = s_.Dims[i];
      layer_ = dim.Layer;
      layerGroup_ = dim.LayerGroup;
      EmitLine(dim.DimLine);
      if (dim.PartsFlag == 0) continue;
      if (AuxLineHasLength(dim.AuxLine1)) EmitLine(dim.AuxLine1);
      if (AuxLineHasLength(dim.AuxLine2)) EmitLine(dim.AuxLine2);
      EmitPoint(dim.Point1, false);
      EmitPoint(dim.Point2, false);
      EmitPoint(dim.AuxPoint1, true);
      EmitPoint(dim.AuxPoint2, true);
    }

    s_.LineCount = static_cast<int32_t>(s_.Lines.size());
    s_.PointCount = static_cast<int32_t>(s_.Points.size());
    s_.Texts.resize(static_cast<size_t>(std::max(s_.TextCount, 0)));
    entityCount_ = static_cast<int32_t>(s_.EntityOrder.size());

    for (TEntJwwListItem& item : s_.EntityOrder) {
      if (item.Kind != kDimension || item.Index < 0 || item.Index >= static_cast<int32_t>(s_.Dims.size())) continue;
      if (state[static_cast<size_t>(item.Index)] != kWithoutValue) continue;
      item.Kind = kNone;
      --s_.DimCount;
      ++sum_.DimensionsExploded;
    }
  }

 private:
  void EmitLine(const TEntJwwLine& from) {
    TEntJwwLine line = from;
    line.Layer = layer_;
    line.LayerGroup = layerGroup_;
    line.Flags |= kExplodedLineFlag;
    s_.Lines.push_back(line);
    s_.EntityOrder.push_back({kLine, static_cast<int32_t>(s_.Lines.size() - 1)});
    ++sum_.LinesAdded;
  }

  void EmitPoint(const TEntJwwPoint& from, bool temporary) {
    TEntJwwPoint point = from;
    point.Layer = layer_;
    point.LayerGroup = layerGroup_;
    point.Flags |= kExplodedPointFlag;
    if (temporary) point.Temporary = 1;
    s_.Points.push_back(point);
    s_.EntityOrder.push_back({kPoint, static_cast<int32_t>(s_.Points.size() - 1)});
    ++sum_.PointsAdded;
  }

  TEntJwwStore& s_;
  int32_t& entityCount_;
  TExplodeSummary& sum_;
  uint16_t layer_ = 0, layerGroup_ = 0;
};

}  // namespace

bool IsDimensionWithoutValue(const TEntJwwDimension& d) { return IsBlank(d.ValueText.Text); }

TAppendStarts ExplodeStart(const TJwwData& d) {
  TAppendStarts s;
  s.Drawing = {d.LineCount, d.PointCount};
  for (const TEntJwwBlockDef& def : d.Definitions()) s.Defs.push_back({def.LineCount, def.PointCount});
  return s;
}

TExplodeSummary ExplodeDimensions(TJwwData& d) {
  TExplodeSummary sum;
  TContainerExplode(d, d.Header.EntityCount, sum).Run();
  for (TEntJwwBlockDef& def : d.Definitions()) TContainerExplode(def, def.EntityCount, sum).Run();
  return sum;
}

}  // namespace quorvex
