// The drawing's entities as DXF entities, one kind at a time: lines as
// LINE; arcs as CIRCLE, ARC or (flattened) ELLIPSE; points as POINT;
// texts as TEXT (or IMAGE, for a text that places an image); solids as
// SOLID, round ones as a filled HATCH; insertions as INSERT; dimensions as
// DIMENSION with a block of their own that holds what the drawing draws.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <numbers>

#include "dxf/colors.h"
#include "dxf/document.h"
#include "jww/images.h"
#include "jww/kinds.h"
#include "jww/shapes.h"
#include "render/image.h"

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

double TDxfWriter::ScaleOf(const TEntJwwCommon& c, const TSpace& sp) const {
  return sp.GroupScales ? groupScale_[c.LayerGroup > 15 ? 0 : c.LayerGroup] : sp.Scale;
}

const std::string& TDxfWriter::LayerOf(const TEntJwwCommon& c, const TSpace& sp, bool temporary) const {
  if (temporary) return layers_[static_cast<size_t>(temporaryLayer_)].Name;
  if (!sp.Model) return layers_[0].Name;
  return layers_[static_cast<size_t>(layerOfKey_[(c.LayerGroup > 15 ? 0 : c.LayerGroup) * 16 + (c.Layer > 15 ? 0 : c.Layer)])].Name;
}

TDxfWriter::TLook TDxfWriter::StrokeLook(const TEntJwwCommon& c) {
  const int32_t pen = styles_.StrokePen(c, false);
  const TPen& p = pens_[static_cast<size_t>(pen)];
  if (static_cast<size_t>(pen) >= lineTypeOfPen_.size()) lineTypeOfPen_.resize(static_cast<size_t>(pen) + 1, -2);
  int& lineType = lineTypeOfPen_[static_cast<size_t>(pen)];
  // A pen the first pass did not meet has no line type in the table:
  // drawn solid (the first pass meets every stroke, so this does not happen).
  if (lineType == -2) lineType = -1;
  if (p.Width != lastWidth_) lastWidth_ = p.Width, lastLineweight_ = NearestLineweight(p.Width);
  return TLook{p.Rgb, lastLineweight_, lineType};
}

uint64_t TDxfWriter::Begin(std::string_view kind, const TSpace& sp, const TEntJwwCommon& c, const TLook& look,
                           bool temporaryLayer) {
  const uint64_t handle = NewHandle();
  out_.Str(0, kind);
  out_.Handle(5, handle);
  if (sp.Owner != lastOwner_ || ownerGroup_.empty()) {
    lastOwner_ = sp.Owner;
    char hex[20];
    const char* end = std::to_chars(hex, hex + sizeof hex, sp.Owner, 16).ptr;
    ownerGroup_ = "330\n";
    for (const char* p = hex; p != end; ++p) ownerGroup_ += static_cast<char>(*p >= 'a' ? *p - 'a' + 'A' : *p);
    ownerGroup_ += '\n';
  }
  out_.Raw(ownerGroup_);
  // Layer, line type, colours, width and line type scale: the same for
  // most entities in a row, written out once for each look.
  const std::string& layer = LayerOf(c, sp, temporaryLayer);
  // Dashes are millimetres of the sheet: at real size they scale with the
  // entity.
  const double scale = look.LineType >= 0 ? ScaleOf(c, sp) : 1;
  const TLookKey key{&layer, look.Rgb, look.Lineweight, look.LineType, scale};
  if (!(key == lastLookKey_)) {
    lastLookKey_ = key;
    const auto it = lookGroups_.find(key);
    if (it != lookGroups_.end()) {
      lastLookGroups_ = &it->second;
    } else {
      std::string g = "100\nAcDbEntity\n  8\n" + layer + "\n";
      if (look.LineType >= 0) g += "  6\n" + lineTypes_[static_cast<size_t>(look.LineType)].Name + "\n";
      if (look.Rgb != kNoColor) g += " 62\n" + std::to_string(NearestAci(look.Rgb)) + "\n";
      if (look.Lineweight >= 0) g += "370\n" + std::to_string(look.Lineweight) + "\n";
      if (scale != 1) {
        char number[32];
        g += " 48\n";
        g.append(number, std::to_chars(number, number + sizeof number, scale).ptr);
        g += "\n";
      }
      if (look.Rgb != kNoColor) g += "420\n" + std::to_string(look.Rgb) + "\n";
      lastLookGroups_ = &lookGroups_.emplace(key, std::move(g)).first->second;
    }
  }
  out_.Raw(*lastLookGroups_);
  return handle;
}

void TDxfWriter::WriteStore(const TEntJwwStore& s, size_t items, const TSpace& space, int32_t& dimension) {
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

void TDxfWriter::Entity(const TEntJwwLine& l, const TSpace& sp) {
  if (!Finite(l.StartX, l.StartY, l.EndX, l.EndY)) {
    ++losses_.NotFinite;
    return;
  }
  const double s = ScaleOf(l, sp);
  Begin("LINE", sp, l, StrokeLook(l));
  out_.Raw("100\nAcDbLine\n");
  out_.Point(10, l.StartX * s, l.StartY * s);
  out_.Point(11, l.EndX * s, l.EndY * s);
}

void TDxfWriter::Entity(const TEntJwwArc& a, const TSpace& sp) {
  if (!Finite(a.CenterX, a.CenterY, a.Radius, a.StartAngle, a.ArcAngle, a.TiltAngle, a.Flatness) ||
      !Finite(a.Radius * a.Flatness)) {
    ++losses_.NotFinite;
    return;
  }
  Ellipse(a, sp, StrokeLook(a), a.CenterX, a.CenterY, a.Radius, a.Flatness, a.TiltAngle, a.StartAngle, a.ArcAngle,
          a.FullCircle != 0);
}

// A circle or a circular arc (flatness 1, where a tilt only turns the
// start) as CIRCLE or ARC; a flattened one as ELLIPSE.
void TDxfWriter::Ellipse(const TEntJwwCommon& c, const TSpace& sp, const TLook& look, double cx, double cy,
                         double radius, double flatness, double tilt, double start, double sweep, bool full) {
  const double s = ScaleOf(c, sp);
  const bool whole = full || std::abs(sweep) >= kTwoPi - 1e-9;
  // A circle, or one of no size (no ellipse has an axis of no length).
  if (std::abs(flatness) == 1 || radius == 0) {
    Begin(whole ? "CIRCLE" : "ARC", sp, c, look);
    out_.Raw("100\nAcDbCircle\n");
    out_.Point(10, cx * s, cy * s);
    out_.Real(40, std::abs(radius) * s);
    if (!whole) {
      double from = start + tilt, to = from + sweep;
      if (sweep < 0) std::swap(from, to);
      out_.Raw("100\nAcDbArc\n");
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
  out_.Raw("100\nAcDbEllipse\n");
  out_.Point(10, cx * s, cy * s);
  out_.Point(11, e.AxisX * s, e.AxisY * s);
  out_.Raw("210\n0\n220\n0\n230\n1\n");
  out_.Real(40, e.Ratio);
  out_.Real(41, e.Start);
  out_.Real(42, e.Full ? kTwoPi : e.End);
}

void TDxfWriter::Entity(const TEntJwwPoint& p, const TSpace& sp, bool temporary) {
  if (!Finite(p.X, p.Y)) {
    ++losses_.NotFinite;
    return;
  }
  if (p.PenStyle == 100 && p.Code != 0) ++losses_.PointMarks;
  const double s = ScaleOf(p, sp);
  Begin("POINT", sp, p, FillLook(styles_.ColorOf(p.PenColor)), temporary);
  out_.Raw("100\nAcDbPoint\n");
  out_.Point(10, p.X * s, p.Y * s);
}

void TDxfWriter::Entity(const TEntJwwText& t, const TSpace& sp) {
  if (!Finite(t.StartX, t.StartY, t.EndX, t.EndY, t.SizeX, t.SizeY, t.Spacing, t.Angle)) {
    ++losses_.NotFinite;
    return;
  }
  const double s = ScaleOf(t, sp);
  if (StartsWithImageMark(t.Text)) return Image(t, sp, s);
  if (t.SizeY <= 0) {
    ++losses_.NoHeight;
    return;
  }
  if (t.Spacing != 0) ++losses_.TextSpacing;
  const int style = TextStyleOf(t.FontName);
  Begin("TEXT", sp, t, FillLook(styles_.ColorOf(t.PenColor)));
  // The drawing's texts stand on the bottom of their characters' box: the
  // bottom alignment, at the start of the base line.
  out_.Raw("100\nAcDbText\n");
  out_.Point(10, t.StartX * s, t.StartY * s);
  out_.Real(40, t.SizeY * kCapitalHeight * s);
  out_.Text(1, t.Text);
  const double angle = TurnDegrees(t.Angle);
  if (angle != 0) out_.Real(50, angle);
  const double width = t.SizeX > 0 ? t.SizeX / t.SizeY : 1;
  if (width != 1) out_.Real(41, width);
  out_.Str(7, textStyles_[static_cast<size_t>(style)].Name);
  out_.Point(11, t.StartX * s, t.StartY * s);
  out_.Raw("100\nAcDbText\n 73\n1\n");
}

// A text that places an image: IMAGE, its lower left corner at the text's
// start, as wide and high as the text's numbers say, turned with the text.
void TDxfWriter::Image(const TEntJwwText& t, const TSpace& sp, double s) {
  JwwString name;
  int32_t entry = -1;
  if (ImageNameOfText(t.Text, name)) {
    for (size_t e = 0; e < o_.ImageEntries.size() && entry < 0; ++e)
      if (ImageEntryBelongsTo(o_.ImageEntries[e], name)) entry = static_cast<int32_t>(e);
  }
  size_t image = o_.Images.size();
  for (size_t i = 0; i < o_.Images.size() && entry >= 0; ++i)
    if (o_.Images[i].Entry == entry) image = i;
  const std::vector<double> size = ImageTextNumbers(t.Text);
  if (image == o_.Images.size() || size.size() < 2 || !Finite(size[0], size[1]) || size[0] <= 0 || size[1] <= 0 ||
      o_.Images[image].Width == 0 || o_.Images[image].Height == 0) {
    ++losses_.Images;
    return;
  }
  const TDxfImage& file = o_.Images[image];
  const double angle = TurnDegrees(t.Angle) / kDegrees;
  const double c = std::cos(angle), sn = std::sin(angle);
  const double across = size[0] * s / file.Width, up = size[1] * s / file.Height;
  const uint64_t handle = Begin("IMAGE", sp, t, TLook());
  const uint64_t reactor = NewHandle();
  imageDefs_[image].Reactors.push_back({handle, reactor});
  out_.Raw("100\nAcDbRasterImage\n 90\n0\n");
  out_.Point(10, t.StartX * s, t.StartY * s);
  out_.Point(11, c * across, sn * across);
  out_.Point(12, -sn * up, c * up);
  out_.Point2(13, file.Width, file.Height);
  out_.Handle(340, imageDefs_[image].Handle);
  out_.Raw(" 70\n3\n280\n0\n281\n50\n282\n50\n283\n0\n");
  out_.Handle(360, reactor);
  out_.Raw(" 71\n1\n 91\n2\n 14\n-0.5\n 24\n-0.5\n");
  out_.Point2(14, file.Width - 0.5, file.Height - 0.5);
}

void TDxfWriter::Entity(const TEntJwwSolid& so, const TSpace& sp) {
  if (!Finite(so.X1, so.Y1, so.X2, so.Y2, so.X3, so.Y3, so.X4, so.Y4)) {
    ++losses_.NotFinite;
    return;
  }
  const uint32_t rgb = so.PenColor == 10 ? RgbOfStored(so.Color) : styles_.ColorOf(so.PenColor);
  if (IsRoundSolid(so)) {
    const TRoundSolid r = RoundSolidOf(so);
    if (!Finite(r.Radius * r.Flatness)) {
      ++losses_.NotFinite;
      return;
    }
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
  out_.Raw("100\nAcDbTrace\n");
  out_.Point(10, so.X1 * s, so.Y1 * s);
  out_.Point(11, so.X2 * s, so.Y2 * s);
  out_.Point(12, so.X4 * s, so.Y4 * s);
  out_.Point(13, so.X3 * s, so.Y3 * s);
}

// A filled disc, ellipse or sector: a HATCH with a solid fill whose one
// boundary is the circle or ellipse, or the arc and the two radii to its
// ends.
void TDxfWriter::Hatch(const TEntJwwSolid& so, const TSpace& sp, uint32_t rgb) {
  const TRoundSolid r = RoundSolidOf(so);
  const double s = ScaleOf(so, sp);
  TEllipse e = EllipseOf(r.Radius, r.Flatness, r.Tilt, r.Start, r.Sweep, false);
  e.Ratio = std::max(e.Ratio, 1e-6);
  const double cx = r.CenterX * s, cy = r.CenterY * s;
  Begin("HATCH", sp, so, FillLook(rgb));
  out_.Raw("100\nAcDbHatch\n 10\n0\n 20\n0\n 30\n0\n210\n0\n220\n0\n230\n1\n  2\nSOLID\n 70\n1\n 71\n0\n 91\n1\n 92\n1\n");
  out_.Int(93, e.Full ? 1 : 3);
  double startX = 0, startY = 0, endX = 0, endY = 0;
  if (!e.Full) {
    EllipsePoint(e, e.Start, startX, startY);
    EllipsePoint(e, e.End, endX, endY);
    // From the centre out to the arc's start.
    out_.Raw(" 72\n1\n");
    out_.Point2(10, cx, cy);
    out_.Point2(11, cx + startX * s, cy + startY * s);
  }
  out_.Raw(" 72\n3\n");
  out_.Point2(10, cx, cy);
  out_.Point2(11, e.AxisX * s, e.AxisY * s);
  out_.Real(40, e.Ratio);
  out_.Real(50, e.Full ? 0 : EdgeAngle(e, e.Start));
  double end = e.Full ? 360 : EdgeAngle(e, e.End);
  if (!e.Full && end <= EdgeAngle(e, e.Start)) end += 360;
  out_.Real(51, end);
  out_.Raw(" 73\n1\n");
  if (!e.Full) {
    // From the arc's end back to the centre.
    out_.Raw(" 72\n1\n");
    out_.Point2(10, cx + endX * s, cy + endY * s);
    out_.Point2(11, cx, cy);
  }
  out_.Raw(" 97\n0\n 75\n0\n 76\n1\n 98\n0\n");
}

void TDxfWriter::Entity(const TEntJwwBlockRef& r, const TSpace& sp) {
  const int32_t def = index_.Find(r.BlockNumber);
  if (def < 0 || static_cast<size_t>(def) >= blockName_.size() || blockName_[static_cast<size_t>(def)].empty()) {
    ++losses_.Insertions;
    return;
  }
  if (!Finite(r.RefX, r.RefY, r.ScaleX, r.ScaleY, r.Angle)) {
    ++losses_.NotFinite;
    return;
  }
  // The definition keeps its units: the insertion carries the scale.
  const double s = ScaleOf(r, sp);
  Begin("INSERT", sp, r, TLook());
  out_.Raw("100\nAcDbBlockReference\n");
  out_.Str(2, blockName_[static_cast<size_t>(def)]);
  out_.Point(10, r.RefX * s, r.RefY * s);
  out_.Real(41, r.ScaleX * s);
  out_.Real(42, r.ScaleY * s);
  out_.Real(43, s);
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

bool FiniteDimension(const TEntJwwDimension& dim) {
  const TEntJwwLine& l = dim.DimLine;
  const TEntJwwText& t = dim.ValueText;
  return Finite(l.StartX, l.StartY, l.EndX, l.EndY) && Finite(t.StartX, t.StartY, t.EndX, t.EndY, t.SizeY, t.Angle);
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

void TDxfWriter::Dimension(const TEntJwwDimension& dim, const TSpace& sp, int32_t number) {
  if (!FiniteDimension(dim)) {
    ++losses_.NotFinite;
    return;
  }
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
  out_.Raw("100\nAcDbDimension\n280\n0\n");
  out_.Str(2, DimensionBlock(number).Name);
  out_.Point(10, m.LineX * s, m.LineY * s);
  out_.Point(11, midX * s, midY * s);
  // A rotated dimension whose block is its own, its text where the drawing
  // puts it.
  out_.Raw(" 70\n160\n 71\n5\n");
  out_.Real(42, std::abs((m.X2 - m.X1) * m.Ux + (m.Y2 - m.Y1) * m.Uy) * s);
  text_.clear();
  if (!AppendOverride(t.Text, text_)) ++undecoded_;
  out_.Str(1, text_);
  out_.Raw("  3\nStandard\n100\nAcDbAlignedDimension\n");
  out_.Point(13, m.X1 * s, m.Y1 * s);
  out_.Point(14, m.X2 * s, m.Y2 * s);
  out_.Real(50, TurnDegrees(std::atan2(m.Uy, m.Ux) * kDegrees));
  out_.Raw("100\nAcDbRotatedDimension\n");
}

void TDxfWriter::WriteDimensionBlocks(const TEntJwwStore& s, size_t items, const TSpace& space, int32_t& dimension) {
  for (size_t i = 0; i < items && out_.Writer().Ok(); ++i) {
    const TEntJwwListItem item = s.EntityOrder[i];
    if (item.Kind != kDimension || item.Index < 0 || static_cast<size_t>(item.Index) >= s.Dims.size()) continue;
    const TEntJwwDimension& dim = s.Dims[static_cast<size_t>(item.Index)];
    const TBlock b = DimensionBlock(dimension++);
    BlockBegin(b, b.Name);
    if (FiniteDimension(dim)) {
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
