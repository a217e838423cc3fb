#include "jww/records.h"

namespace quorvex {
namespace {

bool InRange(int v, int lo, int hi) { return v >= lo && v <= hi; }

// Line types 31..45 of the extended set, as the nearest older line type.
constexpr uint8_t kOldLineType[] = {1, 4, 3, 6, 8, 8, 2, 5, 7, 6, 6, 8, 8, 17, 17};
// Colours 101..116 of the extended set, as the nearest older colour.
constexpr uint16_t kOldColor[] = {2, 8, 3, 6, 4, 5, 1, 2, 5, 8, 4, 3, 6, 5, 2, 2};

void MapToOldVersion(TEntJwwCommon& c, int context, const TWriterFallbacks& fb) {
  if (context == kLine || context == kArc) {
    if (InRange(c.PenStyle, 31, 45)) {
      c.PenStyle = kOldLineType[c.PenStyle - 31];
    } else if (InRange(c.PenStyle, 46, 62)) {
      c.PenStyle = fb.LineType;
    }
  }
  if (InRange(context, kLine, kSolid)) {
    if (InRange(c.PenColor, 101, 116)) {
      c.PenColor = kOldColor[c.PenColor - 101];
    } else if (InRange(c.PenColor, 117, 356)) {
      c.PenColor = fb.Color;
    }
  }
}

void CheckValues(TEntJwwCommon& c, int context, const TWriterFallbacks& fb) {
  const int style = c.PenStyle;
  if (context == kLine || context == kArc) {
    if (!(InRange(style, 1, 9) || InRange(style, 11, 19) || InRange(style, 31, 62))) c.PenStyle = fb.LineType;
  } else if (context == kPoint) {
    if (style != 1 && style != 100) c.PenStyle = 1;
  } else if (context == kText) {
    if (!InRange(style, 1, 9)) c.PenStyle = 1;
  }
  const int color = c.PenColor;
  if (InRange(context, kLine, kDimension)) {
    if (!(InRange(color, 1, 9) || InRange(color, 101, 356))) c.PenColor = fb.Color;
  } else if (context == kSolid) {
    if (!(InRange(color, 1, 10) || InRange(color, 101, 356))) c.PenColor = fb.Color;
  }
  if (c.Layer > 15) c.Layer = 0;
  if (c.LayerGroup > 15) c.LayerGroup = 0;
  if (c.PenWidth > 30000) c.PenWidth = 0;
}

}  // namespace

TEntJwwCommon MapCommonPart(const TEntJwwCommon& r, int context, int32_t version, const TWriterFallbacks& fb) {
  TEntJwwCommon c = r;
  if (version < kVersionExtended) MapToOldVersion(c, context, fb);
  CheckValues(c, context, fb);
  return c;
}

void WriteCommonPart(TArchiveWriter& w, const TEntJwwCommon& r, int context, int32_t version,
                     const TWriterFallbacks& fb) {
  const TEntJwwCommon c = MapCommonPart(r, context, version, fb);
  w.U32(c.Group);
  w.U8(c.PenStyle);
  w.U16(c.PenColor);
  if (version >= kVersionPenWidth) w.U16(c.PenWidth);
  w.U16(c.Layer);
  w.U16(c.LayerGroup);
  w.U16(c.Flags);
}

void FillOldDimensionParts(TEntJwwDimension& d) {
  const TEntJwwCommon& own = d;
  d.PartsFlag = 0;
  for (TEntJwwLine* line : {&d.AuxLine1, &d.AuxLine2}) {
    *line = TEntJwwLine();
    static_cast<TEntJwwCommon&>(*line) = own;
  }
  for (TEntJwwPoint* point : {&d.Point1, &d.Point2, &d.AuxPoint1, &d.AuxPoint2}) {
    *point = TEntJwwPoint();
    static_cast<TEntJwwCommon&>(*point) = own;
    point->PenStyle = 0;
  }
}

int32_t TBlockNumberMap::MapBlockNumber(int32_t n) const {
  const int32_t i = index_.Find(n);
  if (i < 0) return d_.UsedBlockDefCount;
  const TEntJwwBlockDef& def = d_.Definitions()[static_cast<size_t>(i)];
  return def.Used ? def.NewNumber : n;
}

}  // namespace quorvex
