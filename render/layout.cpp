#include "render/layout.h"

#include <algorithm>

namespace quorvex {

const char kJapaneseGothicFamilies[] = "IPAGothic, 'IPAexGothic', 'Noto Sans CJK JP', 'TakaoGothic', sans-serif";

TBox ShownBox(const TScene& scene) {
  TBox box = scene.Extents;
  if (box.Empty()) {
    box.Add({0, 0});
    box.Add({100, 100});
  }
  constexpr double kFar = 1e300;
  box.MinX = std::clamp(box.MinX, -kFar, kFar), box.MaxX = std::clamp(box.MaxX, -kFar, kFar);
  box.MinY = std::clamp(box.MinY, -kFar, kFar), box.MaxY = std::clamp(box.MaxY, -kFar, kFar);
  return box;
}

double PictureMargin(const TBox& shown) { return std::max(std::max(shown.Width(), shown.Height()) * 0.04, 1.0); }

}  // namespace quorvex
