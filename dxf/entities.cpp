// The drawing's entities as DXF entities, one kind at a time: lines as
// LINE; arcs as CIRCLE, ARC or (flattened) ELLIPSE; points as POINT;
// texts as TEXT (or IMAGE, for a text that places an image); solids as
// SOLID, round ones as a filled HATCH; insertions as INSERT; dimensions as
// DIMENSION with a block of their own that holds what the drawing draws.
// What is written of each and how many handles it takes (handles.h) comes
// first: the first pass counts it.
#include <algorithm>
#include <cmath>
#include <numbers>

#include "dxf/colors.h"
#include "dxf/document.h"
#include "dxf/handles.h"
#include "jww/images.h"
#include "jww/kinds.h"
#include "jww/shapes.h"
#include "render/image.h"
#include "render/layout.h"
#include "render/textlayout.h"
#include "text/utf8.h"

namespace quorvex {
namespace {

constexpr double kPi = std::numbers::pi;
constexpr double kTwoPi = 2 * kPi;
constexpr double kDegrees = 180 / kPi;
// An angle in radians brought into [0, 2 pi).
double Turn(double a) {
  a = std::fmod(a, kTwoPi);
  return a < 0 ? a + kTwoPi : a;
}

// An angle in degrees brought into [0, 360).
double TurnDegrees(double a) {
  a = std::fmod(a, 360.0);
  return a < 0 ? a + 360 : a;
}

// The ellipse of an arc or a round solid, as DXF wants it: a major axis (a
// vector from the centre), the ratio of the minor axis to it (at most 1),
// and the start and end as parameters along it, counter-clockwise. The
// drawing's radius lies along the tilt, its flatness is the radius across
// over it, and its start is a parameter of the same kind, before
// flattening; a negative sweep runs clockwise.
struct TEllipse {
  double AxisX = 0, AxisY = 0, Ratio = 1, Start = 0, End = kTwoPi;
  bool Full = true;
};

TEllipse EllipseOf(double radius, double flatness, double tilt, double start, double sweep, bool full) {
  TEllipse e;
  const double r = std::abs(radius), f = std::abs(flatness);
  double offset = 0;
  if (f <= 1) {
    e.AxisX = r * std::cos(tilt), e.AxisY = r * std::sin(tilt), e.Ratio = f;
  } else {
    // The radius across is the longer: the major axis turns a quarter
    // round, and the parameters with it.
    e.AxisX = -r * f * std::sin(tilt), e.AxisY = r * f * std::cos(tilt), e.Ratio = 1 / f;
    offset = -kPi / 2;
  }
  e.Full = full || std::abs(sweep) >= kTwoPi - 1e-9;
  if (!e.Full) {
    double from = start + offset, to = from + sweep;
    if (sweep < 0) std::swap(from, to);
    e.Start = Turn(from);
    e.End = Turn(to);
  }
  return e;
}

// A point of an ellipse at parameter t, relative to its centre.
void EllipsePoint(const TEllipse& e, double t, double& x, double& y) {
  const double minorX = -e.AxisY * e.Ratio, minorY = e.AxisX * e.Ratio;
  x = e.AxisX * std::cos(t) + minorX * std::sin(t);
  y = e.AxisY * std::cos(t) + minorY * std::sin(t);
}

// The angle (in degrees, from the major axis) of the ellipse's point at
// parameter t: what a hatch's ellipse edge takes for its ends.
double EdgeAngle(const TEllipse& e, double t) {
  return TurnDegrees(std::atan2(e.Ratio * std::sin(t), std::cos(t)) * kDegrees);
}

}  // namespace

// ---- what is written ----

namespace {

bool FiniteDimension(const TEntJwwDimension& dim) {
  const TEntJwwLine& l = dim.DimLine;
  const TEntJwwText& t = dim.ValueText;
  return Finite(l.StartX, l.StartY, l.EndX, l.EndY) && Finite(t.StartX, t.StartY, t.EndX, t.EndY, t.SizeY, t.Angle);
}

constexpr TDxfWritten kOne{1, nullptr};
constexpr TDxfWritten kNotFinite{0, &TDxfLosses::NotFinite};

}  // namespace

TDxfWritten WrittenAs(const TEntJwwLine& l) { return Finite(l.StartX, l.StartY, l.EndX, l.EndY) ? kOne : kNotFinite; }

TDxfWritten WrittenAs(const TEntJwwArc& a) {
  return Finite(a.CenterX, a.CenterY, a.Radius, a.StartAngle, a.ArcAngle, a.TiltAngle, a.Flatness) &&
                 Finite(a.Radius * a.Flatness)
             ? kOne
             : kNotFinite;
}

TDxfWritten WrittenAs(const TEntJwwPoint& p) { return Finite(p.X, p.Y) ? kOne : kNotFinite; }

TDxfWritten WrittenAs(const TEntJwwText& t, const TDxfOptions& o) {
  if (!Finite(t.StartX, t.StartY, t.EndX, t.EndY, t.SizeX, t.SizeY, t.Spacing, t.Angle)) return kNotFinite;
  if (StartsWithImageMark(t.Text)) return CarriedImage(t, o) >= 0 ? TDxfWritten{2, nullptr} : TDxfWritten{0, &TDxfLosses::Images};
  return t.SizeY > 0 ? kOne : TDxfWritten{0, &TDxfLosses::NoHeight};
}

TDxfWritten WrittenAs(const TEntJwwSolid& so) {
  if (!Finite(so.X1, so.Y1, so.X2, so.Y2, so.X3, so.Y3, so.X4, so.Y4)) return kNotFinite;
  if (IsRoundSolid(so)) {
    const TRoundSolid r = RoundSolidOf(so);
    if (!Finite(r.Radius * r.Flatness)) return kNotFinite;
  }
  return kOne;
}

TDxfWritten WrittenAs(const TEntJwwBlockRef& r, bool defined) {
  if (!defined) return {0, &TDxfLosses::Insertions};
  return Finite(r.RefX, r.RefY, r.ScaleX, r.ScaleY, r.Angle) ? kOne : kNotFinite;
}

TDxfWritten WrittenAs(const TEntJwwDimension& dim) { return FiniteDimension(dim) ? kOne : kNotFinite; }

uint64_t DimensionBlockHandles(const TEntJwwDimension& dim, bool parts, const TDxfOptions& o) {
  if (!FiniteDimension(dim)) return 0;
  uint64_t n = WrittenAs(dim.DimLine).Handles;
  if (!dim.ValueText.Text.Empty()) n += WrittenAs(dim.ValueText, o).Handles;
  if (parts) {
    for (const TEntJwwLine* l : {&dim.AuxLine1, &dim.AuxLine2})
      if (AuxLineHasLength(*l)) n += WrittenAs(*l).Handles;
    for (const TEntJwwPoint* p : {&dim.Point1, &dim.Point2, &dim.AuxPoint1, &dim.AuxPoint2}) n += WrittenAs(*p).Handles;
  }
  return n;
}

int32_t CarriedImage(const TEntJwwText& t, const TDxfOptions& o) {
  JwwString name;
  int32_t entry = -1;
  if (ImageNameOfText(t.Text, name)) {
    for (size_t e = 0; e < o.ImageEntries.size() && entry < 0; ++e)
      if (ImageEntryBelongsTo(o.ImageEntries[e], name)) entry = static_cast<int32_t>(e);
  }
  if (entry < 0) return -1;
  for (size_t i = 0; i < o.Images.size(); ++i) {
    const TDxfImage& image = o.Images[i];
    if (image.Entry != entry) continue;
    const std::vector<double> size = ImageTextNumbers(t.Text);
    if (size.size() < 2 || !Finite(size[0], size[1]) || size[0] <= 0 || size[1] <= 0 || image.Width == 0 ||
        image.Height == 0)
      return -1;
    return static_cast<int32_t>(i);
  }
  return -1;
}

// ---- the writer ----

TDxfEntities::TDxfEntities(const TJwwData& d, const TDxfOptions& o, TDxfPlan& plan, TStyles& styles,
                           std::vector<TPen>& pens, TDxfOut& out)
    : d_(d),
      o_(o),
      plan_(plan),
      styles_(styles),
      pens_(pens),
      out_(out),
      index_(d.Definitions()),
      nextHandle_(plan.FirstEntityHandle),
      reactors_(o.Images.size()) {}

bool TDxfEntities::Written(const TDxfWritten& w) {
  if (w.Handles == 0 && w.Loss) ++(losses_.*w.Loss);
  return w.Handles != 0;
}

TDxfEntities::TLook TDxfEntities::StrokeLook(const TEntJwwCommon& c) {
  const int32_t pen = styles_.StrokePen(c, false);
  const TPen& p = pens_[static_cast<size_t>(pen)];
  if (p.Width != lastWidth_) lastWidth_ = p.Width, lastLineweight_ = NearestLineweight(p.Width);
  return TLook{p.Rgb, lastLineweight_, plan_.LineTypeOfPen(pen)};
}

uint64_t TDxfEntities::Begin(std::string_view kind, const TSpace& sp, const TEntJwwCommon& c, const TLook& look,
                             const std::string* layerName) {
  const uint64_t handle = NewHandle();
  out_.Str(0, kind);
  out_.Handle(5, handle);
  if (sp.Owner != lastOwner_ || ownerGroup_.Size == 0) lastOwner_ = sp.Owner, ownerGroup_ = HandleGroup(330, sp.Owner);
  out_.Group(ownerGroup_);
  // Layer, line type, colours, width and line type scale: the same for
  // most entities in a row, gathered once for each look.
  const std::string& layer = layerName ? *layerName : LayerOf(c, sp);
  // Dashes are millimetres of the sheet, and the file's line type scale
  // is that of most dashed strokes: each other one gives its own over it.
  const double scale = look.LineType >= 0 ? ScaleOf(c, sp) / plan_.LineTypeScale : 1;
  const TLookKey key{&layer, look.Rgb, look.Lineweight, look.LineType, scale};
  if (!(key == lastLookKey_)) {
    lastLookKey_ = key;
    const auto it = lookGroups_.find(key);
    if (it != lookGroups_.end()) {
      lastLookGroups_ = &it->second;
    } else {
      std::string g = Gathered([&](TDxfOut& o) {
        o.Str(100, "AcDbEntity");
        o.Str(8, layer);
        if (look.LineType >= 0) o.Str(6, plan_.LineTypes[static_cast<size_t>(look.LineType)].Name);
        if (look.Rgb != kNoColor) o.Int(62, NearestAci(look.Rgb));
        if (look.Lineweight >= 0) o.Int(370, look.Lineweight);
        if (scale != 1) o.Real(48, scale);
        if (look.Rgb != kNoColor) o.Int(420, look.Rgb);
      });
      lastLookGroups_ = &lookGroups_.emplace(key, std::move(g)).first->second;
    }
  }
  out_.Raw(*lastLookGroups_);
  return handle;
}

void TDxfEntities::Store(const TEntJwwStore& s, size_t items, const TSpace& space, int32_t& dimension) {
  for (size_t i = 0; i < items && out_.Writer().Ok(); ++i) {
    const TEntJwwListItem item = s.EntityOrder[i];
    WithListedRecord(s, item, [&](const auto& r) {
      using R = std::remove_cvref_t<decltype(r)>;
      if constexpr (std::is_same_v<R, TEntJwwDimension>) {
        Dimension(r, space, dimension++);
      } else if constexpr (std::is_same_v<R, TEntJwwPoint>) {
        Entity(r, space, r.Temporary != 0);
      } else {
        Entity(r, space);
      }
    });
  }
}

void TDxfEntities::Entity(const TEntJwwLine& l, const TSpace& sp) {
  if (!Written(WrittenAs(l))) return;
  const double s = ScaleOf(l, sp);
  Begin("LINE", sp, l, StrokeLook(l));
  out_.Group(Fixed(100, "AcDbLine"));
  out_.Point(10, l.StartX * s, l.StartY * s);
  out_.Point(11, l.EndX * s, l.EndY * s);
}

void TDxfEntities::Entity(const TEntJwwArc& a, const TSpace& sp) {
  if (!Written(WrittenAs(a))) return;
  Ellipse(a, sp, StrokeLook(a), a.CenterX, a.CenterY, a.Radius, a.Flatness, a.TiltAngle, a.StartAngle, a.ArcAngle,
          a.FullCircle != 0);
}

// A circle or a circular arc (flatness 1, where a tilt only turns the
// start) as CIRCLE or ARC; a flattened one as ELLIPSE.
void TDxfEntities::Ellipse(const TEntJwwCommon& c, const TSpace& sp, const TLook& look, double cx, double cy,
                           double radius, double flatness, double tilt, double start, double sweep, bool full) {
  const double s = ScaleOf(c, sp);
  const bool whole = full || std::abs(sweep) >= kTwoPi - 1e-9;
  // A circle, or one of no size (no ellipse has an axis of no length).
  if (std::abs(flatness) == 1 || radius == 0) {
    Begin(whole ? "CIRCLE" : "ARC", sp, c, look);
    out_.Group(Fixed(100, "AcDbCircle"));
    out_.Point(10, cx * s, cy * s);
    out_.Real(40, std::abs(radius) * s);
    if (!whole) {
      double from = start + tilt, to = from + sweep;
      if (sweep < 0) std::swap(from, to);
      out_.Group(Fixed(100, "AcDbArc"));
      out_.Real(50, TurnDegrees(from * kDegrees));
      out_.Real(51, TurnDegrees(to * kDegrees));
    }
    return;
  }
  TEllipse e = EllipseOf(radius, flatness, tilt, start, sweep, full);
  // DXF knows no ellipse flatter than a millionth (a flatness of 0 draws
  // a line back and forth).
  e.Ratio = std::max(e.Ratio, 1e-6);
  Begin("ELLIPSE", sp, c, look);
  out_.Group(Fixed(100, "AcDbEllipse"));
  out_.Point(10, cx * s, cy * s);
  out_.Point(11, e.AxisX * s, e.AxisY * s);
  out_.Point2(210, 0, 0);
  out_.Real(230, 1);
  out_.Real(40, e.Ratio);
  out_.Real(41, e.Start);
  out_.Real(42, e.Full ? kTwoPi : e.End);
}

void TDxfEntities::Entity(const TEntJwwPoint& p, const TSpace& sp, bool temporary) {
  if (!Written(WrittenAs(p))) return;
  if (p.PenStyle == 100 && p.Code != 0) ++losses_.PointMarks;
  const double s = ScaleOf(p, sp);
  Begin("POINT", sp, p, FillLook(styles_.ColorOf(p.PenColor)), temporary ? &TemporaryLayer() : nullptr);
  out_.Group(Fixed(100, "AcDbPoint"));
  out_.Point(10, p.X * s, p.Y * s);
}

// A text at the width the drawing gives it (render/textlayout.h): aligned
// to fit from its start along its direction, which a reader fills with its
// own font's glyphs, so that the text takes the room the drawing's text
// takes whatever its spacing and the reader's font. A text of blanks
// alone stands at its start, left aligned. The drawing's texts stand on the
// bottom of their characters' box; the DXF's base line, where capitals
// stand, is above it by the box's descent.
void TDxfEntities::Entity(const TEntJwwText& t, const TSpace& sp) {
  if (!Written(WrittenAs(t, o_))) return;
  const double s = ScaleOf(t, sp);
  if (StartsWithImageMark(t.Text)) return Image(t, sp, s);
  text_.clear();
  ToUtf8(t.Text, text_);
  const double charWidth = t.SizeX > 0 ? t.SizeX : t.SizeY;
  const double laidOut = LaidOutWidth(text_, charWidth, t.Spacing);
  const double width = laidOut * FittedShare(std::hypot(t.EndX - t.StartX, t.EndY - t.StartY), laidOut);
  const bool fit = width > 0 && std::isfinite(width) && !IsBlankText(text_);
  const int style = plan_.TextStyles.Of(t.FontName, losses_, undecoded_);
  const bool settings = sp.Model && plan_.SettingsLayer >= 0 && IsSettingsText(t);
  Begin("TEXT", sp, t, FillLook(styles_.ColorOf(t.PenColor)),
        settings ? &plan_.Layers[static_cast<size_t>(plan_.SettingsLayer)].Name : nullptr);
  const double angle = TurnDegrees(t.Angle);
  const double c = angle == 0 ? 1 : std::cos(angle / kDegrees), sn = angle == 0 ? 0 : std::sin(angle / kDegrees);
  const double lift = kDescent * t.SizeY;
  const double x = t.StartX - sn * lift, y = t.StartY + c * lift;
  out_.Group(Fixed(100, "AcDbText"));
  out_.Point(10, x * s, y * s);
  out_.Real(40, t.SizeY * kCapitalHeight * s);
  out_.Text(1, t.Text);
  if (angle != 0) out_.Real(50, angle);
  if (charWidth != t.SizeY) out_.Real(41, charWidth / t.SizeY);
  out_.Str(7, plan_.TextStyles.All()[static_cast<size_t>(style)].Font.StyleName);
  if (fit) {
    out_.Int(72, 5);
    out_.Point(11, (x + c * width) * s, (y + sn * width) * s);
  }
  out_.Group(Fixed(100, "AcDbText"));
}

// A text that places an image: IMAGE, its lower left corner at the text's
// start, as wide and high as the text's numbers say, turned with the text.
void TDxfEntities::Image(const TEntJwwText& t, const TSpace& sp, double s) {
  const size_t image = static_cast<size_t>(CarriedImage(t, o_));
  const std::vector<double> size = ImageTextNumbers(t.Text);
  const TDxfImage& file = o_.Images[image];
  const double angle = TurnDegrees(t.Angle) / kDegrees;
  const double c = std::cos(angle), sn = std::sin(angle);
  const double across = size[0] * s / file.Width, up = size[1] * s / file.Height;
  const uint64_t handle = Begin("IMAGE", sp, t, TLook());
  const uint64_t reactor = NewHandle();
  reactors_[image].push_back({handle, reactor});
  out_.Group(Fixed(100, "AcDbRasterImage"));
  out_.Int(90, 0);
  out_.Point(10, t.StartX * s, t.StartY * s);
  out_.Point(11, c * across, sn * across);
  out_.Point(12, -sn * up, c * up);
  out_.Point2(13, file.Width, file.Height);
  out_.Handle(340, plan_.ImageDefinitions[image]);
  out_.Int(70, 3);
  out_.Int(280, 0);
  out_.Int(281, 50);
  out_.Int(282, 50);
  out_.Int(283, 0);
  out_.Handle(360, reactor);
  // The clipping boundary: the whole image, a rectangle by its corners.
  out_.Int(71, 1);
  out_.Int(91, 2);
  out_.Point2(14, -0.5, -0.5);
  out_.Point2(14, file.Width - 0.5, file.Height - 0.5);
}

void TDxfEntities::Entity(const TEntJwwSolid& so, const TSpace& sp) {
  if (!Written(WrittenAs(so))) return;
  const uint32_t rgb = so.PenColor == 10 ? RgbOfStored(so.Color) : styles_.ColorOf(so.PenColor);
  if (IsRoundSolid(so)) {
    const TRoundSolid r = RoundSolidOf(so);
    if (r.Shape == kFilledRoundShape) return Hatch(so, sp, rgb);
    // A shape this program does not know: its outline, as pictures draw it.
    ++losses_.RoundShapes;
    const int32_t pen = styles_.OutlinePen(so, rgb);
    const TLook look{rgb, NearestLineweight(pens_[static_cast<size_t>(pen)].Width), -1};
    return Ellipse(so, sp, look, r.CenterX, r.CenterY, r.Radius, r.Flatness, r.Tilt, r.Start, r.Sweep, false);
  }
  // DXF draws a solid's corners crossed (1, 2, 4, 3): the drawing's
  // outline order has its last two swapped.
  const double s = ScaleOf(so, sp);
  Begin("SOLID", sp, so, FillLook(rgb));
  out_.Group(Fixed(100, "AcDbTrace"));
  out_.Point(10, so.X1 * s, so.Y1 * s);
  out_.Point(11, so.X2 * s, so.Y2 * s);
  out_.Point(12, so.X4 * s, so.Y4 * s);
  out_.Point(13, so.X3 * s, so.Y3 * s);
}

// A filled disc, ellipse or sector: a HATCH with a solid fill whose one
// boundary is the circle or ellipse, or the arc and the two radii to its
// ends, and the centre for its seed point.
void TDxfEntities::Hatch(const TEntJwwSolid& so, const TSpace& sp, uint32_t rgb) {
  const TRoundSolid r = RoundSolidOf(so);
  const double s = ScaleOf(so, sp);
  TEllipse e = EllipseOf(r.Radius, r.Flatness, r.Tilt, r.Start, r.Sweep, false);
  e.Ratio = std::max(e.Ratio, 1e-6);
  const double cx = r.CenterX * s, cy = r.CenterY * s;
  Begin("HATCH", sp, so, FillLook(rgb));
  out_.Group(Fixed(100, "AcDbHatch"));
  out_.Point(10, 0, 0);
  out_.Point2(210, 0, 0);
  out_.Real(230, 1);
  out_.Group(Fixed(2, "SOLID"));
  out_.Int(70, 1);  // solid fill
  out_.Int(71, 0);  // not associative
  out_.Int(91, 1);  // one boundary path
  out_.Int(92, 1);  // external
  out_.Int(93, e.Full ? 1 : 3);
  double startX = 0, startY = 0, endX = 0, endY = 0;
  if (!e.Full) {
    EllipsePoint(e, e.Start, startX, startY);
    EllipsePoint(e, e.End, endX, endY);
    // From the centre out to the arc's start.
    out_.Int(72, 1);
    out_.Point2(10, cx, cy);
    out_.Point2(11, cx + startX * s, cy + startY * s);
  }
  out_.Int(72, 3);
  out_.Point2(10, cx, cy);
  out_.Point2(11, e.AxisX * s, e.AxisY * s);
  out_.Real(40, e.Ratio);
  out_.Real(50, e.Full ? 0 : EdgeAngle(e, e.Start));
  double end = e.Full ? 360 : EdgeAngle(e, e.End);
  if (!e.Full && end <= EdgeAngle(e, e.Start)) end += 360;
  out_.Real(51, end);
  out_.Int(73, 1);  // counter-clockwise
  if (!e.Full) {
    // From the arc's end back to the centre.
    out_.Int(72, 1);
    out_.Point2(10, cx + endX * s, cy + endY * s);
    out_.Point2(11, cx, cy);
  }
  out_.Int(97, 0);  // no source objects
  out_.Int(75, 0);  // the odd parity style
  out_.Int(76, 1);  // predefined pattern
  out_.Int(98, 1);  // one seed point
  out_.Point2(10, cx, cy);
}

void TDxfEntities::Entity(const TEntJwwBlockRef& r, const TSpace& sp) {
  const int32_t def = index_.Find(r.BlockNumber);
  const bool defined = def >= 0 && static_cast<size_t>(def) < plan_.Definitions() &&
                       !plan_.DefinitionBlock(static_cast<size_t>(def)).Name.empty();
  if (!Written(WrittenAs(r, defined))) return;
  // The definition keeps its units: the insertion carries the scale, in z
  // as large as in x.
  const double s = ScaleOf(r, sp);
  Begin("INSERT", sp, r, TLook());
  out_.Group(Fixed(100, "AcDbBlockReference"));
  out_.Str(2, plan_.DefinitionBlock(static_cast<size_t>(def)).Name);
  out_.Point(10, r.RefX * s, r.RefY * s);
  out_.Real(41, r.ScaleX * s);
  out_.Real(42, r.ScaleY * s);
  out_.Real(43, std::abs(r.ScaleX * s));
  out_.Real(50, TurnDegrees(r.Angle * kDegrees));
}

namespace {

// What a dimension measures, from where its lines are: the direction of
// its dimension line, the two points measured (the far ends of the
// auxiliary lines it carries, else the ends of the dimension line), and
// the point on the dimension line across from the second.
struct TMeasure {
  double Ux = 1, Uy = 0;
  double X1 = 0, Y1 = 0, X2 = 0, Y2 = 0;
  double LineX = 0, LineY = 0;
};

TMeasure MeasureOf(const TEntJwwDimension& dim, bool parts) {
  TMeasure m;
  const TEntJwwLine& l = dim.DimLine;
  const double length = std::hypot(l.EndX - l.StartX, l.EndY - l.StartY);
  if (length > 0 && std::isfinite(length)) m.Ux = (l.EndX - l.StartX) / length, m.Uy = (l.EndY - l.StartY) / length;
  // How far a point lies off the dimension line.
  auto off = [&](double x, double y) { return std::abs((x - l.StartX) * m.Uy - (y - l.StartY) * m.Ux); };
  auto farEnd = [&](const TEntJwwLine& a, double& x, double& y) {
    const bool start = off(a.StartX, a.StartY) >= off(a.EndX, a.EndY);
    x = start ? a.StartX : a.EndX;
    y = start ? a.StartY : a.EndY;
  };
  m.X1 = l.StartX, m.Y1 = l.StartY, m.X2 = l.EndX, m.Y2 = l.EndY;
  if (parts && AuxLineHasLength(dim.AuxLine1)) farEnd(dim.AuxLine1, m.X1, m.Y1);
  if (parts && AuxLineHasLength(dim.AuxLine2)) farEnd(dim.AuxLine2, m.X2, m.Y2);
  const double along = (m.X2 - l.StartX) * m.Ux + (m.Y2 - l.StartY) * m.Uy;
  m.LineX = l.StartX + along * m.Ux, m.LineY = l.StartY + along * m.Uy;
  return m;
}

// The value text as a dimension's text: DIMENSION texts are formatted
// text, where a backslash and braces mean something of their own. False
// when characters were lost (no Shift-JIS converter).
bool AppendOverride(const JwwString& text, std::string& out) {
  std::string plain;
  const bool decoded = AppendCaretText(text, plain);
  for (char c : plain) {
    if (c == '\\' || c == '{' || c == '}') out += '\\';
    out += c;
  }
  if (out.empty()) out.assign(1, ' ');  // an empty text would show the measurement
  return decoded;
}

}  // namespace

void TDxfEntities::Dimension(const TEntJwwDimension& dim, const TSpace& sp, int32_t number) {
  if (!Written(WrittenAs(dim))) return;
  const bool parts = d_.Header.Version >= kVersionExtended && dim.PartsFlag != 0;
  const TMeasure m = MeasureOf(dim, parts);
  const double s = ScaleOf(dim, sp);
  const TEntJwwText& t = dim.ValueText;
  // The middle of the value text's box.
  const double angle = TurnDegrees(t.Angle) / kDegrees;
  const double c = angle == 0 ? 1 : std::cos(angle), sn = angle == 0 ? 0 : std::sin(angle);
  const double length = std::hypot(t.EndX - t.StartX, t.EndY - t.StartY);
  const double midX = t.StartX + c * length / 2 - sn * t.SizeY / 2;
  const double midY = t.StartY + sn * length / 2 + c * t.SizeY / 2;
  Begin("DIMENSION", sp, dim, FillLook(styles_.ColorOf(dim.PenColor)));
  out_.Group(Fixed(100, "AcDbDimension"));
  out_.Int(280, 0);
  out_.Str(2, plan_.DimensionBlock(number).Name);
  out_.Point(10, m.LineX * s, m.LineY * s);
  out_.Point(11, midX * s, midY * s);
  // A rotated dimension whose block is its own (32), its text where the
  // drawing puts it (128), the text's middle there (71).
  out_.Int(70, 160);
  out_.Int(71, 5);
  out_.Real(42, std::abs((m.X2 - m.X1) * m.Ux + (m.Y2 - m.Y1) * m.Uy) * s);
  text_.clear();
  if (!AppendOverride(t.Text, text_)) ++undecoded_;
  out_.Str(1, text_);
  out_.Group(Fixed(3, "Standard"));
  out_.Group(Fixed(100, "AcDbAlignedDimension"));
  out_.Point(13, m.X1 * s, m.Y1 * s);
  out_.Point(14, m.X2 * s, m.Y2 * s);
  out_.Real(50, TurnDegrees(std::atan2(m.Uy, m.Ux) * kDegrees));
  out_.Group(Fixed(100, "AcDbRotatedDimension"));
}

void TDxfEntities::BlockBegin(const TDxfBlock& b, bool anonymous) {
  out_.Group(Fixed(0, "BLOCK"));
  out_.Handle(5, b.Begin);
  out_.Handle(330, b.Record);
  out_.Group(Fixed(100, "AcDbEntity"));
  out_.Group(Fixed(8, "0"));
  out_.Group(Fixed(100, "AcDbBlockBegin"));
  out_.Str(2, b.Name);
  out_.Int(70, anonymous ? 1 : 0);
  out_.Point(10, 0, 0);
  out_.Str(3, b.Name);
  out_.Group(Fixed(1, ""));
}

void TDxfEntities::BlockEnd(const TDxfBlock& b) {
  out_.Group(Fixed(0, "ENDBLK"));
  out_.Handle(5, b.End);
  out_.Handle(330, b.Record);
  out_.Group(Fixed(100, "AcDbEntity"));
  out_.Group(Fixed(8, "0"));
  out_.Group(Fixed(100, "AcDbBlockEnd"));
}

void TDxfEntities::DimensionBlocks(const TEntJwwStore& s, size_t items, const TSpace& space, int32_t& dimension) {
  for (size_t i = 0; i < items && out_.Writer().Ok(); ++i) {
    const TEntJwwListItem item = s.EntityOrder[i];
    if (item.Kind != kDimension || item.Index < 0 || static_cast<size_t>(item.Index) >= s.Dims.size()) continue;
    const TEntJwwDimension& dim = s.Dims[static_cast<size_t>(item.Index)];
    const TDxfBlock b = plan_.DimensionBlock(dimension++);
    BlockBegin(b, true);
    if (WrittenAs(dim).Handles != 0) {
      // What the drawing draws of the dimension, where the dimension
      // stands: at its scale, on the dimension's layer (layer "0" of the
      // block), the auxiliary points with the temporary ones.
      TSpace inside;
      inside.Owner = b.Record;
      inside.Scale = ScaleOf(dim, space);
      Entity(dim.DimLine, inside);
      if (!dim.ValueText.Text.Empty()) Entity(dim.ValueText, inside);
      if (d_.Header.Version >= kVersionExtended && dim.PartsFlag != 0) {
        for (const TEntJwwLine* l : {&dim.AuxLine1, &dim.AuxLine2})
          if (AuxLineHasLength(*l)) Entity(*l, inside);
        Entity(dim.Point1, inside, dim.Point1.Temporary != 0);
        Entity(dim.Point2, inside, dim.Point2.Temporary != 0);
        Entity(dim.AuxPoint1, inside, true);
        Entity(dim.AuxPoint2, inside, true);
      }
    }
    BlockEnd(b);
  }
}

}  // namespace quorvex
