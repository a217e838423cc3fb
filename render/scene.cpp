#include "render/scene.h"

#include <zlib.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <map>
#include <memory>
#include <numbers>
#include <tuple>

#include "explode/explode.h"
#include "jww/kinds.h"
#include "jww/images.h"
#include "text/utf8.h"

namespace quorvex {
namespace {

constexpr double kTwoPi = 2 * std::numbers::pi;
constexpr double kDegree = std::numbers::pi / 180;

bool Finite(double v) { return std::isfinite(v); }
template <class... T>
bool Finite(double v, T... rest) {
  return std::isfinite(v) && Finite(rest...);
}

// 0x00BBGGRR (red in the low byte, as the drawing and the attribute tables
// store colours) to 0xRRGGBB.
uint32_t RgbOfStored(uint32_t c) { return ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF); }

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
// One image may not decompress beyond this.
constexpr uint64_t kMaxImageBytes = 32u << 20;

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

// The numbers after the first comma of an image text: "name,width,height,...".
std::vector<double> ImageTextNumbers(const JwwString& text) {
  std::vector<double> out;
  std::string field;
  bool afterName = false;
  auto flush = [&] {
    // from_chars: the same "." whatever the process's locale says.
    size_t start = 0;
    while (start < field.size() && (field[start] == ' ' || field[start] == '+')) ++start;
    double v = std::nan("");
    const auto r = std::from_chars(field.data() + start, field.data() + field.size(), v);
    out.push_back(r.ec == std::errc() && Finite(v) ? v : std::nan(""));
    field.clear();
  };
  for (size_t i = 0; i < text.Length() && out.size() < 4; ++i) {
    const char16_t u = text.Unit(i);
    if (u == u',') {
      if (afterName) flush();
      afterName = true;
    } else if (afterName && u < 0x80) {
      field.push_back(static_cast<char>(u));
    }
  }
  if (afterName && !field.empty()) flush();
  return out;
}

bool StartsWithImageMark(const JwwString& text) {
  static constexpr char16_t kMark[] = u"^@BM";
  if (text.Length() < 4) return false;
  for (size_t i = 0; i < 4; ++i)
    if (text.Unit(i) != kMark[i]) return false;
  return true;
}

class TSceneBuilder {
 public:
  TSceneBuilder(const TJwwData& d, const TRenderOptions& o, TScene& s)
      : d_(d), o_(o), s_(s), index_(d.Definitions()) {
    if (!o_.Attributes) {
      ownAttributes_ = std::make_unique<TgraAttribute>();
      attrib_ = ownAttributes_.get();
    } else {
      attrib_ = o_.Attributes;
    }
    defCount_ = static_cast<int32_t>(d_.Definitions().size());
    if (o_.Images) imageOfEntry_.assign(o_.Images->size(), -2);
    imageBudget_ = o_.ImageBudget;
    for (int style = 0; style < 256; ++style) dashes_[style] = MakeDashes(style);
  }

  void Run() {
    s_.Groups.emplace_back();
    const TAppendStart none;
    BuildGroup(0, d_, d_.Header.EntityCount, o_.Exploded ? o_.Exploded->Drawing : none);
    WalkPlacements();
    s_.Extents = s_.Groups[0].Box.Empty() ? s_.Groups[0].HiddenBox : s_.Groups[0].Box;
  }

 private:
  // ---- pens ----

  uint32_t ColorOf(uint16_t penColor) const {
    const int c = penColor;
    if (c >= 1 && c <= 9 && c - 1 < attrib_->ColorCount) return RgbOfStored(attrib_->ColorTable[c - 1].Color);
    if (c >= 101 && c <= 356 && static_cast<size_t>(c - 100) < d_.ColorsEx.size())
      return RgbOfStored(d_.ColorsEx[c - 100].ScreenColor);
    return RgbOfStored(attrib_->DefaultPenColor);
  }

  double WidthOf(const TEntJwwCommon& c) const {
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

  double DotRadiusOf(uint16_t penColor) const {
    double r = kDefaultDotRadius;
    if (penColor >= 1 && penColor <= 9 && penColor < d_.PenSettings.size()) {
      r = d_.PenSettings[penColor].PointRadius;
    } else if (penColor >= 101 && penColor <= 356 && static_cast<size_t>(penColor - 100) < d_.ColorsEx.size()) {
      r = d_.ColorsEx[penColor - 100].PointRadius;
    }
    return Finite(r) && r >= 0.05 && r <= 2 ? r : kDefaultDotRadius;
  }

  // The dash pattern of a line type number, from the drawing's own tables.
  TPen MakeDashes(int style) const {
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

  int32_t PenIndex(const TPen& pen) {
    const auto key = std::make_tuple(pen.Rgb, pen.Width, pen.Dashes, pen.DashOffset);
    const auto it = pens_.find(key);
    if (it != pens_.end()) return it->second;
    const int32_t index = static_cast<int32_t>(s_.Pens.size());
    s_.Pens.push_back(pen);
    pens_.emplace(key, index);
    return index;
  }

  // Stroke pen of a line or arc.
  int32_t StrokePen(const TEntJwwCommon& c, bool exploded) {
    const auto key = std::make_tuple(c.PenStyle, c.PenColor, c.PenWidth, exploded);
    const auto it = strokes_.find(key);
    if (it != strokes_.end()) return it->second;
    TPen pen = dashes_[c.PenStyle];
    pen.Rgb = exploded ? o_.HighlightRgb : ColorOf(c.PenColor);
    pen.Width = WidthOf(c);
    if (exploded) pen.Width = std::max(pen.Width, kHighlightMinWidth);
    const int32_t index = PenIndex(pen);
    strokes_.emplace(key, index);
    return index;
  }

  // Fill pen: only the colour counts.
  int32_t FillPen(uint32_t rgb) {
    TPen pen;
    pen.Rgb = rgb;
    pen.Width = 0;
    return PenIndex(pen);
  }

  // ---- figures ----

  struct TFigureScope {
    TFigureScope(TGroup& g, TFigureKind kind) : g_(g) {
      f_.Kind = kind;
      f_.First = static_cast<uint32_t>(g.Prims.size());
    }
    // Adds the figure when it has primitives; false when it has none.
    bool Done(uint8_t marks = 0, bool isImage = false) {
      f_.Count = static_cast<uint32_t>(g_.Prims.size()) - f_.First;
      if (f_.Count == 0) return false;
      f_.Marks = marks;
      f_.IsImage = isImage;
      g_.Figures.push_back(f_);
      return true;
    }
    TGroup& g_;
    TFigure f_;
  };

  void AddLine(TGroup& g, TBox& box, const TEntJwwLine& l, bool exploded) {
    if (!Finite(l.StartX, l.StartY, l.EndX, l.EndY)) return;
    TPrimitive p;
    p.Kind = TPrimKind::kLine;
    p.Marks = exploded ? kMarkExploded : 0;
    p.Pen = StrokePen(l, exploded);
    p.P[0] = {l.StartX, l.StartY};
    p.P[1] = {l.EndX, l.EndY};
    box.Add(p.P[0]);
    box.Add(p.P[1]);
    g.Prims.push_back(p);
  }

  void AddArc(TGroup& g, TBox& box, const TEntJwwArc& a) {
    if (!Finite(a.CenterX, a.CenterY, a.Radius, a.StartAngle, a.ArcAngle, a.TiltAngle, a.Flatness)) return;
    TPrimitive p;
    p.Kind = TPrimKind::kArc;
    p.Pen = StrokePen(a, false);
    p.P[0] = {a.CenterX, a.CenterY};
    p.RadiusX = std::abs(a.Radius);
    p.RadiusY = std::abs(a.Radius * a.Flatness);
    p.Tilt = std::fmod(a.TiltAngle, kTwoPi);
    p.Full = a.FullCircle != 0 || std::abs(a.ArcAngle) >= kTwoPi - 1e-9;
    p.Start = p.Full ? 0 : std::fmod(a.StartAngle, kTwoPi);
    p.Sweep = p.Full ? kTwoPi : a.ArcAngle;
    if (!Finite(p.RadiusY)) return;
    for (const TPt& q : ArcPoints(p, 64)) box.Add(q);
    g.Prims.push_back(p);
  }

  void AddDot(TGroup& g, TBox& box, const TEntJwwPoint& pt, bool exploded, bool temporary) {
    if (!Finite(pt.X, pt.Y)) return;
    TPrimitive p;
    p.Kind = TPrimKind::kDot;
    p.Marks = static_cast<uint8_t>((exploded ? kMarkExploded : 0) | (temporary ? kMarkTemporary : 0));
    p.Pen = FillPen(exploded ? o_.HighlightRgb : ColorOf(pt.PenColor));
    p.P[0] = {pt.X, pt.Y};
    const double radius = DotRadiusOf(pt.PenColor);
    p.Radius = (exploded ? std::max(radius, kHighlightMinRadius) : radius) * (temporary ? kTemporaryDotScale : 1.0);
    box.Add(p.P[0]);
    g.Prims.push_back(p);
  }

  // A text: its run, or for an image text the image.
  bool AddText(TGroup& g, TBox& box, const TEntJwwText& t) {
    if (!Finite(t.StartX, t.StartY, t.EndX, t.EndY, t.SizeX, t.SizeY, t.Spacing, t.Angle)) return false;
    const double angle = std::fmod(t.Angle, 360.0) * kDegree;
    TAffine frame = TAffine::Placement(t.StartX, t.StartY, 1, 1, angle);
    if (StartsWithImageMark(t.Text)) return AddImage(g, box, t, frame);
    if (t.SizeY <= 0) return false;
    TTextRun run;
    run.Text = ToUtf8(t.Text);
    run.Font = ToUtf8(t.FontName);
    run.Height = t.SizeY;
    run.CharWidth = t.SizeX > 0 ? t.SizeX : t.SizeY;
    run.Spacing = t.Spacing;
    TPrimitive p;
    p.Kind = TPrimKind::kText;
    p.Pen = FillPen(ColorOf(t.PenColor));
    p.Ref = static_cast<int32_t>(s_.Texts.size());
    p.Frame = frame;
    s_.Texts.push_back(std::move(run));
    // A text whose base line has no length is a note the CAD program keeps
    // out of the way (settings stored as texts): drawn, but it does not
    // widen the picture.
    const double length = std::hypot(t.EndX - t.StartX, t.EndY - t.StartY);
    if (length > 0 && Finite(length)) {
      TBox local;
      local.Add({0, 0});
      local.Add({length, t.SizeY});
      box.Add(local, frame);
    }
    g.Prims.push_back(p);
    return true;
  }

  bool AddImage(TGroup& g, TBox& box, const TEntJwwText& t, TAffine frame) {
    const std::vector<double> v = ImageTextNumbers(t.Text);
    if (v.size() < 2 || !Finite(v[0], v[1]) || v[0] <= 0 || v[1] <= 0) return false;
    frame = frame.After(TAffine::Placement(0, 0, v[0], v[1], 0));
    if (!frame.Finite()) return false;
    TPrimitive p;
    p.Kind = TPrimKind::kImage;
    p.Pen = StrokePen(t, false);
    p.Frame = frame;
    p.Ref = ImageFor(t.Text);
    TBox unit;
    unit.Add({0, 0});
    unit.Add({1, 1});
    box.Add(unit, frame);
    g.Prims.push_back(p);
    return true;
  }

  // The scene image for an image text, decoded once per entry; -1 when the
  // drawing does not carry it or it cannot be shown.
  int32_t ImageFor(const JwwString& text) {
    JwwString name;
    if (!o_.Images || !ImageNameOfText(text, name)) return -1;
    const std::vector<TStoredImage>& images = *o_.Images;
    for (size_t i = 0; i < images.size(); ++i) {
      if (!ImageEntryBelongsTo(images[i].FileName, name)) continue;
      if (imageOfEntry_[i] == -2) {
        imageOfEntry_[i] = -1;
        TSceneImage image;
        if (DecodeStoredImage(images[i].Data, std::min(kMaxImageBytes, imageBudget_), image)) {
          imageBudget_ -= image.Bytes.size();
          imageOfEntry_[i] = static_cast<int32_t>(s_.Images.size());
          s_.Images.push_back(std::move(image));
        }
      }
      return imageOfEntry_[i];
    }
    return -1;
  }

  void AddDimension(TGroup& g, TBox& box, const TEntJwwDimension& dim) {
    AddLine(g, box, dim.DimLine, false);
    if (!dim.ValueText.Text.Empty()) AddText(g, box, dim.ValueText);
    if (d_.Header.Version < kVersionExtended || dim.PartsFlag == 0) return;
    for (const TEntJwwLine* l : {&dim.AuxLine1, &dim.AuxLine2})
      if (AuxLineHasLength(*l)) AddLine(g, box, *l, false);
    AddDot(g, box, dim.Point1, false, dim.Point1.Temporary != 0);
    AddDot(g, box, dim.Point2, false, dim.Point2.Temporary != 0);
    AddDot(g, box, dim.AuxPoint1, false, true);
    AddDot(g, box, dim.AuxPoint2, false, true);
  }

  // Builds the figures of one container into group `gi`. Placements keep
  // the index of their definition in Ref until the walk links them.
  void BuildGroup(size_t gi, const TEntJwwStore& s, int32_t entityCount, const TAppendStart& start) {
    TBox shownBox;
    const size_t items = std::min(s.EntityOrder.size(), static_cast<size_t>(std::max(entityCount, 0)));
    // Indexes are checked against the arrays, as the writer does: after an
    // explode DimCount counts the live dimensions, not the records.
    auto valid = [](int32_t index, size_t size) { return index >= 0 && static_cast<size_t>(index) < size; };
    TBox hiddenBox;
    for (size_t k = 0; k < items; ++k) {
      TGroup& g = s_.Groups[gi];
      const TEntJwwListItem item = s.EntityOrder[k];
      const int32_t i = item.Index;
      // The drawing's own entities on a hidden layer or layer group are
      // kept but not shown (inside a block the insertion's layer counts).
      const size_t firstFigure = g.Figures.size();
      const bool hidden = gi == 0 && OnHiddenLayer(s, item);
      TBox& box = hidden ? hiddenBox : shownBox;
      switch (item.Kind) {
        case kLine:
          if (valid(i, s.Lines.size())) {
            TFigureScope f(g, TFigureKind::kLine);
            const bool exploded = i >= start.Line;
            AddLine(g, box, s.Lines[i], exploded);
            if (f.Done(exploded ? kMarkExploded : 0) && exploded) ++s_.ExplodedLines;
          }
          break;
        case kArc:
          if (valid(i, s.Arcs.size())) {
            TFigureScope f(g, TFigureKind::kArc);
            AddArc(g, box, s.Arcs[i]);
            f.Done();
          }
          break;
        case kPoint:
          if (valid(i, s.Points.size())) {
            TFigureScope f(g, TFigureKind::kPoint);
            const bool exploded = i >= start.Point;
            const bool temporary = s.Points[i].Temporary != 0;
            AddDot(g, box, s.Points[i], exploded, temporary);
            const auto marks = static_cast<uint8_t>((exploded ? kMarkExploded : 0) | (temporary ? kMarkTemporary : 0));
            if (f.Done(marks) && exploded) ++s_.ExplodedPoints;
          }
          break;
        case kText:
          if (valid(i, s.Texts.size())) {
            TFigureScope f(g, TFigureKind::kText);
            AddText(g, box, s.Texts[i]);
            f.Done(0, g.Prims.size() > f.f_.First && g.Prims.back().Kind == TPrimKind::kImage);
          }
          break;
        case kDimension:
          if (valid(i, s.Dims.size())) {
            TFigureScope f(g, TFigureKind::kDim);
            AddDimension(g, box, s.Dims[i]);
            f.Done();
          }
          break;
        case kSolid:
          if (valid(i, s.Solids.size())) {
            const TEntJwwSolid& so = s.Solids[i];
            if (!Finite(so.X1, so.Y1, so.X2, so.Y2, so.X3, so.Y3, so.X4, so.Y4)) break;
            TFigureScope f(g, TFigureKind::kSolid);
            TPrimitive p;
            p.Kind = TPrimKind::kPolygon;
            p.Pen = FillPen(so.PenColor == 10 ? RgbOfStored(so.Color) : ColorOf(so.PenColor));
            p.P[0] = {so.X1, so.Y1}, p.P[1] = {so.X2, so.Y2}, p.P[2] = {so.X3, so.Y3}, p.P[3] = {so.X4, so.Y4};
            for (const TPt& q : p.P) box.Add(q);
            g.Prims.push_back(p);
            f.Done();
          }
          break;
        case kBlockRef:
          if (valid(i, s.BlockRefs.size())) {
            const TEntJwwBlockRef& r = s.BlockRefs[i];
            const int32_t def = index_.Find(r.BlockNumber);
            const TAffine frame = TAffine::Placement(r.RefX, r.RefY, r.ScaleX, r.ScaleY, r.Angle);
            if (def < 0 || def >= defCount_ || !frame.Finite()) break;
            TFigureScope f(g, TFigureKind::kBlock);
            TPrimitive p;
            p.Kind = TPrimKind::kPlace;
            p.Ref = def;
            p.Frame = frame;
            g.Prims.push_back(p);
            f.Done();
          }
          break;
        default:
          break;
      }
      if (hidden && g.Figures.size() > firstFigure) {
        TFigure& f = g.Figures.back();
        f.Marks |= kMarkHidden;
        for (uint32_t p = 0; p < f.Count; ++p) g.Prims[f.First + p].Marks |= kMarkHidden;
      }
    }
    s_.Groups[gi].Box = shownBox;  // own primitives; placements are added by the walk
    s_.Groups[gi].HiddenBox = hiddenBox;
  }

  // State 0 hides a layer group or a layer. The CAD program never saves a
  // drawing whose write layer group (or a group whose write layer) is
  // hidden; drawings made by other programs often leave every state 0, and
  // there the states mean nothing and everything is shown.
  bool StatesMeanSomething(size_t group) const {
    if (group >= d_.LayerGroups.size()) return false;
    const int32_t write = d_.LayerGroups[group].WriteLayer;
    const size_t layer = group * 16 + static_cast<size_t>(write);
    return write >= 0 && write < 16 && layer < d_.Layers.size() && d_.Layers[layer].State != 0;
  }

  bool HiddenLayer(const TEntJwwCommon& c) const {
    const size_t group = c.LayerGroup, layer = static_cast<size_t>(c.LayerGroup) * 16 + c.Layer;
    const int32_t writeGroup = d_.Header.WriteLayerGroup;
    const bool groupStates = writeGroup >= 0 && static_cast<size_t>(writeGroup) < d_.LayerGroups.size() &&
                             d_.LayerGroups[static_cast<size_t>(writeGroup)].State != 0;
    if (groupStates && group < d_.LayerGroups.size() && d_.LayerGroups[group].State == 0) return true;
    return c.Layer < 16 && layer < d_.Layers.size() && StatesMeanSomething(group) && d_.Layers[layer].State == 0;
  }

  bool OnHiddenLayer(const TEntJwwStore& s, const TEntJwwListItem& item) const {
    const size_t i = static_cast<size_t>(item.Index);
    if (item.Index < 0) return false;
    bool hidden = false;
    WithKind(item.Kind, [&](auto k) {
      const auto& records = RecordsOf<decltype(k)>(s);
      hidden = i < records.size() && HiddenLayer(records[i]);
    });
    return hidden;
  }

  // Walks the definitions depth first from the drawing, building each
  // reached one once and linking placements to groups. A placement of a
  // definition that is still open on the walk would place it inside
  // itself: it is dropped. Boxes are finished bottom-up.
  void WalkPlacements() {
    enum : uint8_t { kUnseen, kOpen, kDone };
    std::vector<uint8_t> state(static_cast<size_t>(defCount_), kUnseen);
    std::vector<int32_t> groupOf(static_cast<size_t>(defCount_), -1);
    struct Frame {
      size_t group;
      size_t next;  // next primitive to look at
    };
    std::vector<Frame> stack{{0, 0}};
    while (!stack.empty()) {
      Frame& f = stack.back();
      TGroup* g = &s_.Groups[f.group];
      while (f.next < g->Prims.size() && g->Prims[f.next].Kind != TPrimKind::kPlace) ++f.next;
      if (f.next == g->Prims.size()) {
        for (const TPrimitive& p : g->Prims)
          if (p.Kind == TPrimKind::kPlace && p.Ref >= 0)
            (p.Marks & kMarkHidden ? g->HiddenBox : g->Box).Add(s_.Groups[p.Ref].Box, p.Frame);
        if (g->DefIndex >= 0) state[static_cast<size_t>(g->DefIndex)] = kDone;
        stack.pop_back();
        continue;
      }
      TPrimitive& p = g->Prims[f.next++];
      const size_t def = static_cast<size_t>(p.Ref);
      if (state[def] == kOpen) {
        p.Ref = -1;
      } else if (state[def] == kDone) {
        p.Ref = groupOf[def];
      } else {
        const size_t gi = s_.Groups.size();
        p.Ref = static_cast<int32_t>(gi);
        groupOf[def] = static_cast<int32_t>(gi);
        state[def] = kOpen;
        const TEntJwwBlockDef& bd = d_.BlockDefs[def];
        s_.Groups.emplace_back();
        s_.Groups[gi].DefIndex = static_cast<int32_t>(def);
        s_.Groups[gi].Name = ToUtf8(bd.Name);
        const TAppendStart none;
        const TAppendStart& start =
            o_.Exploded && def < o_.Exploded->Defs.size() ? o_.Exploded->Defs[def] : none;
        BuildGroup(gi, bd, bd.EntityCount, start);
        stack.push_back({gi, 0});  // f and g are not used after this
      }
    }
  }

  const TJwwData& d_;
  const TRenderOptions& o_;
  TScene& s_;
  TBlockIndex index_;
  int32_t defCount_ = 0;
  std::unique_ptr<TgraAttribute> ownAttributes_;
  const TgraAttribute* attrib_ = nullptr;
  TPen dashes_[256];
  std::map<std::tuple<uint32_t, double, std::vector<double>, double>, int32_t> pens_;
  std::map<std::tuple<uint8_t, uint16_t, uint16_t, bool>, int32_t> strokes_;
  std::vector<int32_t> imageOfEntry_;  // -2 not decoded yet, -1 none, else scene image
  uint64_t imageBudget_ = 0;
};

bool Inflate(const std::vector<uint8_t>& in, uint64_t limit, std::vector<uint8_t>& out) {
  z_stream z{};
  if (inflateInit2(&z, 15 + 32) != Z_OK) return false;  // gzip or zlib header
  out.clear();
  z.next_in = const_cast<Bytef*>(in.data());
  z.avail_in = static_cast<uInt>(std::min<size_t>(in.size(), UINT32_MAX));
  uint8_t chunk[16384];
  int r = Z_OK;
  while (r == Z_OK) {
    z.next_out = chunk;
    z.avail_out = sizeof chunk;
    r = inflate(&z, Z_NO_FLUSH);
    if (r != Z_OK && r != Z_STREAM_END) break;
    const size_t n = sizeof chunk - z.avail_out;
    if (out.size() + n > limit) {
      r = Z_MEM_ERROR;  // larger than allowed: refused, however well it compresses
      break;
    }
    out.insert(out.end(), chunk, chunk + n);
    if (r == Z_OK && n == 0 && z.avail_in == 0) r = Z_BUF_ERROR;  // cut short
  }
  inflateEnd(&z);
  return r == Z_STREAM_END;
}

}  // namespace

TAffine TAffine::After(const TAffine& in) const {
  TAffine m;
  m.M11 = M11 * in.M11 + M12 * in.M21;
  m.M12 = M11 * in.M12 + M12 * in.M22;
  m.M21 = M21 * in.M11 + M22 * in.M21;
  m.M22 = M21 * in.M12 + M22 * in.M22;
  m.X = X + M11 * in.X + M12 * in.Y;
  m.Y = Y + M21 * in.X + M22 * in.Y;
  return m;
}

TAffine TAffine::Placement(double x, double y, double scaleX, double scaleY, double angle) {
  const double c = std::cos(angle), s = std::sin(angle);
  TAffine m;
  m.M11 = scaleX * c, m.M12 = -scaleY * s, m.M21 = scaleX * s, m.M22 = scaleY * c;
  m.X = x, m.Y = y;
  return m;
}

bool TAffine::Finite() const { return quorvex::Finite(M11, M12, M21, M22, X, Y); }

void TBox::Add(TPt p) {
  if (!Finite(p.X, p.Y)) return;
  MinX = std::min(MinX, p.X), MaxX = std::max(MaxX, p.X);
  MinY = std::min(MinY, p.Y), MaxY = std::max(MaxY, p.Y);
}

void TBox::Add(const TBox& box, const TAffine& m) {
  if (box.Empty()) return;
  for (TPt c : {TPt{box.MinX, box.MinY}, TPt{box.MaxX, box.MinY}, TPt{box.MinX, box.MaxY}, TPt{box.MaxX, box.MaxY}})
    Add(m.Apply(c));
}

const char* FigureClass(TFigureKind kind) {
  switch (kind) {
    case TFigureKind::kLine: return "line";
    case TFigureKind::kArc: return "arc";
    case TFigureKind::kPoint: return "point";
    case TFigureKind::kText: return "text";
    case TFigureKind::kSolid: return "solid";
    case TFigureKind::kDim: return "dim";
    case TFigureKind::kBlock: return "block";
  }
  return "line";
}

TExplodeStart ExplodeStart(const TJwwData& d) {
  TExplodeStart s;
  s.Drawing = {d.LineCount, d.PointCount};
  for (const TEntJwwBlockDef& def : d.Definitions()) s.Defs.push_back({def.LineCount, def.PointCount});
  return s;
}

TPt ArcPoint(const TPrimitive& a, double t) {
  const double x = a.RadiusX * std::cos(t), y = a.RadiusY * std::sin(t);
  const double c = std::cos(a.Tilt), s = std::sin(a.Tilt);
  return {a.P[0].X + c * x - s * y, a.P[0].Y + s * x + c * y};
}

std::vector<TPt> ArcPoints(const TPrimitive& a, int segments) {
  segments = std::max(segments, 1);
  std::vector<TPt> out;
  out.reserve(static_cast<size_t>(segments) + 1);
  for (int i = 0; i <= segments; ++i) out.push_back(ArcPoint(a, a.Start + a.Sweep * i / segments));
  return out;
}

bool DecodeStoredImage(const std::vector<uint8_t>& data, uint64_t limit, TSceneImage& out) {
  out = TSceneImage();
  if (data.size() >= 2 && data[0] == 0x1F && data[1] == 0x8B) {
    if (!Inflate(data, limit, out.Bytes)) return false;
  } else {
    if (data.size() > limit) return false;
    out.Bytes = data;
  }
  const std::vector<uint8_t>& b = out.Bytes;
  static constexpr uint8_t kPng[] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  if (b.size() >= 8 && std::equal(kPng, kPng + 8, b.begin())) {
    out.Mime = "image/png";
  } else if (b.size() >= 3 && b[0] == 0xFF && b[1] == 0xD8 && b[2] == 0xFF) {
    out.Mime = "image/jpeg";
  } else if (b.size() >= 14 && b[0] == 'B' && b[1] == 'M') {
    out.Mime = "image/bmp";
  } else {
    out.Bytes.clear();
    return false;
  }
  return true;
}

TScene BuildScene(const TJwwData& d, const TRenderOptions& options) {
  TScene scene;
  TSceneBuilder(d, options, scene).Run();
  return scene;
}

}  // namespace quorvex
