// The sheets a drawing is drawn on: the header's SheetSize names one, all
// landscape, the drawing's paper millimetres centred on it.
#pragma once

#include <cstdint>
#include <optional>

namespace quorvex {

struct TSheet {
  const char* Name;  // "A3", "2A", ...
  double Width, Height;  // millimetres, landscape
};

// The sheet a SheetSize names; nothing for a number that names no sheet
// known here.
std::optional<TSheet> SheetOf(int32_t sheetSize);

}  // namespace quorvex
