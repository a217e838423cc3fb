#include "render/sheet.h"

namespace quorvex {

std::optional<TSheet> SheetOf(int32_t sheetSize) {
  switch (sheetSize) {
    case 0: return TSheet{"A0", 1189, 841};
    case 1: return TSheet{"A1", 841, 594};
    case 2: return TSheet{"A2", 594, 420};
    case 3: return TSheet{"A3", 420, 297};
    case 4: return TSheet{"A4", 297, 210};
    case 8: return TSheet{"2A", 1682, 1189};
    case 9: return TSheet{"3A", 2378, 1682};
    case 10: return TSheet{"4A", 3364, 2378};
    case 11: return TSheet{"5A", 4756, 3364};
    default: return std::nullopt;
  }
}

}  // namespace quorvex
