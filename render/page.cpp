#include "render/page.h"

#include <cstdio>

#include "render/layout.h"
#include "text/messages.h"

namespace quorvex {
namespace {

struct TSheetRow {
  int32_t Number;
  TSheet Sheet;
};
constexpr TSheetRow kSheets[] = {
    {0, {"A0", 1189, 841}},   {1, {"A1", 841, 594}},    {2, {"A2", 594, 420}},
    {3, {"A3", 420, 297}},    {4, {"A4", 297, 210}},    {8, {"2A", 1682, 1189}},
    {9, {"3A", 2378, 1682}},  {10, {"4A", 3364, 2378}}, {11, {"5A", 4756, 3364}},
};

// A length in millimetres as a line says it: whole, or to a tenth.
std::string Millimetres(double v) {
  char text[64];
  std::snprintf(text, sizeof text, v == static_cast<double>(static_cast<long long>(v)) ? "%.0f" : "%.1f", v);
  return text;
}

}  // namespace

std::optional<TSheet> SheetOf(int32_t number) {
  for (const TSheetRow& row : kSheets) {
    if (row.Number == number) return row.Sheet;
  }
  return std::nullopt;
}

TPage PageOf(int32_t sheet, const TScene& scene) {
  TPage page;
  page.Sheet = sheet;
  if (const std::optional<TSheet> known = SheetOf(sheet)) {
    page.OfSheet = true;
    page.Name = known->Name;
    page.Width = known->Width, page.Height = known->Height;
    return page;
  }
  const TBox box = ShownBox(scene);
  const double margin = PictureMargin(box);
  page.Width = box.Width() + 2 * margin, page.Height = box.Height() + 2 * margin;
  page.CentreX = box.MinX / 2 + box.MaxX / 2, page.CentreY = box.MinY / 2 + box.MaxY / 2;
  return page;
}

std::string TPage::Describe() const {
  const std::string size = Millimetres(Width) + " x " + Millimetres(Height) + " mm";
  if (OfSheet) return Format(Tr("on its %s sheet, %s"), Name, size.c_str());
  return Format(Tr("sheet %d is of no known size: on a page of %s fitted to its ink"), static_cast<int>(Sheet),
                size.c_str());
}

}  // namespace quorvex
