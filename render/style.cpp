#include "render/style.h"

#include <algorithm>

namespace quorvex {
namespace {

// A pen's line width when nothing better is known.
constexpr double kDefaultWidth = 0.18;
// One bit of a dot pattern at the drawing's default printer pitch (10) is
// 0.36 mm long, the unit of the attribute tables' short dash patterns.
constexpr double kMillimetresPerPitch = 0.036;
constexpr double kDefaultDotRadius = 0.2;
// Temporary points are drawn this much smaller than ordinary ones.
constexpr double kTemporaryDotScale = 0.75;
// Exploded lines and points are drawn at least this wide and large, so
// they stand out.
constexpr double kHighlightMinWidth = 0.35;
constexpr double kHighlightMinRadius = 0.8;

// Dashes from signed segment lengths (positive drawn, negative gap): runs
// of one sign are merged, and the pattern is turned to begin with a drawn
// run, with the offset that keeps the stroke starting where it did.
void DashesFromSegments(const std::vector<double>& segments, TPen& pen) {
  pen.Dashes.clear();
  pen.DashOffset = 0;
  std::vector<double> runs;  // signed, merged
  for (double s : segments) {
    if (!Finite(s) || s == 0) continue;
    if (!runs.empty() && (runs.back() > 0) == (s > 0)) {
      runs.back() += s;
    } else {
      runs.push_back(s);
    }
  }
  double offset = 0;  // where a stroke starts, from the beginning of runs[0]
  if (runs.size() > 1 && (runs.front() > 0) == (runs.back() > 0)) {
    // The last run goes on into the first: one run, entered part way.
    offset = std::abs(runs.back());
    runs.front() += runs.back();
    runs.pop_back();
  }
  if (runs.size() < 2) return;  // nothing but drawn (or gap): a solid line
  double period = 0;
  for (double r : runs) period += std::abs(r);
  if (runs.front() < 0) {
    // Begin with the drawn run after the gap; the gap moves to the end.
    offset += period - std::abs(runs.front());
    std::rotate(runs.begin(), runs.begin() + 1, runs.end());
  }
  for (double r : runs) pen.Dashes.push_back(std::abs(r));
  pen.DashOffset = std::fmod(offset, period);
}

// Dashes from a 32-bit dot pattern whose first `unitDots` bits, high bit
// first, repeat along the line; each bit is `bit` long.
void DashesFromBits(uint32_t pattern, int32_t unitDots, double bit, TPen& pen) {
  const int n = unitDots >= 1 && unitDots <= 32 ? unitDots : 32;
  std::vector<double> segments;
  for (int i = 0; i < n; ++i) segments.push_back(((pattern >> (31 - i)) & 1) ? bit : -bit);
  DashesFromSegments(segments, pen);
}

double BitLength(int32_t printerPitch) {
  return printerPitch >= 1 && printerPitch <= 1000 ? printerPitch * kMillimetresPerPitch
                                                    : 10 * kMillimetresPerPitch;
}

}  // namespace

uint32_t RgbOfStored(uint32_t c) { return ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF); }

TStyles::TStyles(const TJwwData& d, const TgraAttribute* attributes, TColorSet colors, uint32_t highlightRgb,
                 std::vector<TPen>& pens)
    : d_(d), colors_(colors), highlightRgb_(highlightRgb), pens_(pens) {
  if (!attributes) {
    ownAttributes_ = std::make_unique<TgraAttribute>();
    attrib_ = ownAttributes_.get();
  } else {
    attrib_ = attributes;
  }
  for (int style = 0; style < 256; ++style) dashes_[style] = MakeDashes(style);

  // A drawing that stores no colours (every one of 0 to 9 zero, as
  // programs that write drawings often leave them) is drawn with the
  // palette.
  for (size_t c = 0; c < 10 && c < d_.PenSettings.size(); ++c) {
    const TEntJwwPenSetting& p = d_.PenSettings[c];
    ownColors_ = ownColors_ || (colors_ == TColorSet::kScreen ? p.ScreenColor : p.PrinterColor) != 0;
  }
  if (colors_ == TColorSet::kPrinter) {
    background_ = 0xFFFFFF;
  } else if (ownColors_) {
    background_ = RgbOfStored(d_.PenSettings[0].ScreenColor);
  } else {
    background_ = RgbOfStored(attrib_->BackColor);
  }
  if (ownColors_) {
    // Black on a light background, white on a dark one.
    const uint32_t r = background_ >> 16, g = (background_ >> 8) & 0xFF, b = background_ & 0xFF;
    foreground_ = 299 * r + 587 * g + 114 * b >= 128 * 1000 ? 0x000000 : 0xFFFFFF;
  } else {
    foreground_ = RgbOfStored(attrib_->DefaultPenColor);
  }
}

uint32_t TStyles::ColorOf(uint16_t penColor) const {
  const int c = penColor;
  const bool screen = colors_ == TColorSet::kScreen;
  if (c >= 1 && c <= 9) {
    if (ownColors_ && static_cast<size_t>(c) < d_.PenSettings.size()) {
      const TEntJwwPenSetting& p = d_.PenSettings[static_cast<size_t>(c)];
      return RgbOfStored(screen ? p.ScreenColor : p.PrinterColor);
    }
    if (!ownColors_ && c - 1 < attrib_->ColorCount) return RgbOfStored(attrib_->ColorTable[c - 1].Color);
  }
  if (c >= 101 && c <= 356 && static_cast<size_t>(c - 100) < d_.ColorsEx.size()) {
    const TEntJwwColorExNo& e = d_.ColorsEx[static_cast<size_t>(c - 100)];
    return RgbOfStored(screen ? e.ScreenColor : e.PrinterColor);
  }
  return foreground_;
}

double TStyles::WidthOf(const TEntJwwCommon& c) const {
  double w = kDefaultWidth;
  if (c.PenWidth > 0) {
    w = c.PenWidth / 100.0;  // hundredths of a millimetre
  } else if (c.PenColor >= 1 && c.PenColor <= 9 && c.PenColor - 1 < attrib_->ColorCount) {
    w = attrib_->ColorTable[c.PenColor - 1].Size1;
  } else if (c.PenColor >= 101 && c.PenColor <= 356 && static_cast<size_t>(c.PenColor - 100) < d_.ColorsEx.size()) {
    const int32_t pw = d_.ColorsEx[c.PenColor - 100].PrinterWidth;
    if (pw > 0 && pw <= 2000) w = pw / 100.0;
  }
  return Finite(w) ? std::clamp(w, 0.01, 20.0) : kDefaultWidth;
}

double TStyles::DotRadius(uint16_t penColor, bool exploded, bool temporary) const {
  double r = kDefaultDotRadius;
  if (penColor >= 1 && penColor <= 9 && penColor < d_.PenSettings.size()) {
    r = d_.PenSettings[penColor].PointRadius;
  } else if (penColor >= 101 && penColor <= 356 && static_cast<size_t>(penColor - 100) < d_.ColorsEx.size()) {
    r = d_.ColorsEx[penColor - 100].PointRadius;
  }
  const double radius = Finite(r) && r >= 0.05 && r <= 2 ? r : kDefaultDotRadius;
  return (exploded ? std::max(radius, kHighlightMinRadius) : radius) * (temporary ? kTemporaryDotScale : 1.0);
}

TPen TStyles::MakeDashes(int style) const {
  TPen pen;
  if (style >= 2 && style <= 9) {
    const size_t i = static_cast<size_t>(style - 2);
    if (i < d_.LineTypes.size() && d_.LineTypes[i].Pattern != 0) {
      const TEntJwwLineTypeSetting& t = d_.LineTypes[i];
      DashesFromBits(t.Pattern, t.UnitDots, BitLength(t.PrinterPitch), pen);
    } else if (style - 1 < attrib_->LineTypeCount) {
      // No table in the drawing: the attribute tables' pattern for it.
      const TjwvLineType& t = attrib_->LineTypeTable[style - 1];
      const int n = std::clamp(t.SegmentCount, 0, kMaxLineSegments);
      DashesFromSegments(std::vector<double>(t.Segments.begin(), t.Segments.begin() + n), pen);
    }
  } else if (style >= 16 && style <= 19) {
    const size_t i = static_cast<size_t>(style - 16);
    if (i < d_.DoubleLineTypes.size() && d_.DoubleLineTypes[i].Pattern != 0) {
      const TEntJwwLineTypeSetting& t = d_.DoubleLineTypes[i];
      DashesFromBits(t.Pattern, t.UnitDots, BitLength(t.PrinterPitch), pen);
    }
  } else if (style >= 31 && style <= 62) {
    const size_t i = static_cast<size_t>(style - 30);
    if (i < d_.LineTypesEx.size()) {
      const TEntJwwLineTypeExNo& t = d_.LineTypesEx[i];
      const int n = t.SegmentCount;
      bool pitches = n >= 2 && n <= 10 && n % 2 == 0;
      for (int k = 0; pitches && k < n; ++k) pitches = Finite(t.SegmentPitch[k]) && t.SegmentPitch[k] > 0;
      if (pitches) {
        std::vector<double> segments;
        for (int k = 0; k < n; ++k) segments.push_back(k % 2 == 0 ? t.SegmentPitch[k] : -t.SegmentPitch[k]);
        DashesFromSegments(segments, pen);
      } else if (t.Pattern != 0) {
        DashesFromBits(t.Pattern, t.UnitDots, BitLength(t.PrinterPitch), pen);
      }
    }
  }
  // Line type 1, the random lines 11..15 and anything else: solid.
  return pen;
}

int32_t TStyles::PenIndex(const TPen& pen) {
  const auto key = std::make_tuple(pen.Rgb, pen.Width, pen.Dashes, pen.DashOffset);
  const auto it = penIndex_.find(key);
  if (it != penIndex_.end()) return it->second;
  const int32_t index = static_cast<int32_t>(pens_.size());
  pens_.push_back(pen);
  penIndex_.emplace(key, index);
  return index;
}

int32_t TStyles::StrokePen(const TEntJwwCommon& c, bool exploded) {
  const uint64_t key = static_cast<uint64_t>(c.PenStyle) | static_cast<uint64_t>(c.PenColor) << 8 |
                       static_cast<uint64_t>(c.PenWidth) << 24 | static_cast<uint64_t>(exploded) << 40;
  if (key == lastStroke_) return lastStrokeIndex_;  // most entities share their neighbour's pen
  const auto it = strokes_.find(key);
  if (it != strokes_.end()) {
    lastStroke_ = key, lastStrokeIndex_ = it->second;
    return it->second;
  }
  TPen pen = dashes_[c.PenStyle];
  pen.Rgb = exploded ? highlightRgb_ : ColorOf(c.PenColor);
  pen.Width = WidthOf(c);
  if (exploded) pen.Width = std::max(pen.Width, kHighlightMinWidth);
  const int32_t index = PenIndex(pen);
  strokes_.emplace(key, index);
  lastStroke_ = key, lastStrokeIndex_ = index;
  return index;
}

int32_t TStyles::OutlinePen(const TEntJwwCommon& c, uint32_t rgb) {
  TPen pen;
  pen.Rgb = rgb;
  pen.Width = WidthOf(c);
  return PenIndex(pen);
}

int32_t TStyles::FillPen(uint32_t rgb) {
  const auto it = fills_.find(rgb);
  if (it != fills_.end()) return it->second;
  TPen pen;
  pen.Rgb = rgb;
  pen.Width = 0;
  const int32_t index = PenIndex(pen);
  fills_.emplace(rgb, index);
  return index;
}

}  // namespace quorvex
