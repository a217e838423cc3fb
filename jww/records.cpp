#include "jww/records.h"

namespace quorvex {
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
