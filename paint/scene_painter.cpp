#include "paint/scene_painter.h"

#include <QFont>
#include <QFontMetricsF>
#include <QImage>
#include <QPainterPath>
#include <QPen>
#include <QGlyphRun>
#include <QPolygonF>
#include <QTextLayout>
#include <QTransform>

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>
#include <map>
#include <memory>
#include <new>
#include <numbers>
#include <string>
#include <unordered_map>
#include <vector>

#include "paint/page_glyphs.h"
#include "paint/page_ink.h"
#include "paint/scene_index.h"
#include "render/layout.h"
#include "render/textlayout.h"

namespace quorvex {
namespace {

// Glyphs are laid out at this pixel size and scaled to the text's height;
// on a page at a larger one, so that Qt's letter spacing, which it rounds
// to 1/64 pixel, stays within 0.1% of the drawing's.
constexpr double kFontPixels = 100;
constexpr double kPageFontPixels = 4000;
// A page's text is moved under another text's transform by at most this
// many of its glyphs' pixels, well within Qt's fixed point for glyph
// positions (26 bits of whole pixels).
constexpr double kMaxPageTextMove = 1e6;
// In a view, an item of one colour smaller than this many pixels is drawn
// as one pixel.
constexpr double kDotPixels = 2;
// A view's picture with more items than this in view draws each pen one
// pixel wide: the real drawings have no view of half as many.
constexpr size_t kCrowdItems = 40000;
// One with more than this joins the pieces of its arcs' lines with bevels,
// which Qt strokes about a third faster than round joins, and which differ
// from them by w (1 - cos(a / 2)) / 2 at a joint of width w turning by a
// (a tenth of a pixel for a 10-pixel pen turning by a quarter radian): the
// real drawings have no view of more than 3,817 items.
constexpr size_t kBusyItems = 5000;
// In a view, a point's radius stays within this many pixels.
constexpr double kMaxViewDotPixels = 4;
// Dashes shorter than this, in pixels per period, are drawn solid.
constexpr double kMinDashPeriod = 4;

QTransform ToQt(const TAffine& m) { return QTransform(m.M11, m.M21, m.M12, m.M22, m.X, m.Y); }
QPointF ToQt(TPt p) { return QPointF(p.X, p.Y); }
QColor ColorOf(uint32_t rgb) { return QColor((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF); }

// The families of a CSS font-family list, without their quotes.
QStringList FamiliesOf(const char* cssList) {
  QStringList families;
  for (QString name : QString::fromUtf8(cssList).split(',')) {
    name = name.trimmed();
    if (name.size() >= 2 && name.startsWith('\'') && name.endsWith('\'')) name = name.mid(1, name.size() - 2);
    families << name;
  }
  return families;
}

// How many pixels one drawing unit becomes under the transform.
double PixelsPerUnit(const QTransform& t) { return std::sqrt(std::abs(t.determinant())); }

// A quarter turn or less of an arc of the unit circle as a cubic curve:
// its two control points, from angle a to angle b (radians, either way).
void UnitArcControls(double a, double b, TPt& c1, TPt& c2) {
  const double k = 4.0 / 3.0 * std::tan((b - a) / 4);
  c1 = {std::cos(a) - k * std::sin(a), std::sin(a) + k * std::cos(a)};
  c2 = {std::cos(b) + k * std::sin(b), std::sin(b) - k * std::cos(b)};
}

class TScenePainter {
 public:
  // A picture's painter; with a page style, a print's (PaintPage).
  TScenePainter(QPainter& p, const TScene& s, int64_t budget, bool threads, const TPageStyle* page = nullptr)
      : p_(p), s_(s), budget_(budget), threads_(threads), page_(page) {
    images_.resize(s.Images.size());
    loaded_.assign(s.Images.size(), false);
    if (page_) {
      spacingScale_ = SpacingScale(p.device());
      ink_ = std::make_unique<TPageInk>(p);
    }
  }

  // What the painting could not show (a page's).
  TPageShown Shown() const {
    TPageShown shown = shown_;
    shown.Placed = std::min(placed_, budget_);
    shown.Cut = cut_;
    return shown;
  }

  struct Frame {
    TSceneWalk::TCursor cursor;
    QTransform t;
  };

  // Paints the drawing's figures as the walk hands them over, each
  // placement's definition where it is placed, depth first.
  int64_t Paint(TSceneWalk& walk, const QTransform& world, const QRectF& target) {
    Begin(world, target);
    std::vector<Frame> stack{{walk.Figures(0), world}};
    Drain(walk, stack, 0);
    FlushInk();
    return std::min(placed_, budget_);
  }

  // Every pen of a view one pixel wide (PaintView's crowd of items).
  void Crowd() { crowd_ = true; }
  // Arcs' lines joined with bevels (PaintView's busy view).
  void Busy() { busy_ = true; }

  // Paints the drawing's own items whose bits are set, in order, each with
  // what it places; on the shown layers when given, else as stored. False
  // when told to stop before the end.
  bool PaintItems(TSceneWalk& walk, const QTransform& world, const QRectF& target, const std::vector<uint64_t>* bits,
                  const TLayerShow* shown, const std::atomic<bool>* stop) {
    Begin(world, target);
    layers_ = shown;
    std::vector<Frame> stack;
    TFigure fig;
    const size_t items = walk.Scene().ItemBoxes.size();
    clipLines_ = true;
    QImage* device = dynamic_cast<QImage*>(p_.device());
    if (device && device->format() == QImage::Format_RGB32) picture_ = device;
    const bool dots = picture_ && s_.ItemRgb.size() == items;
    const bool lines = layers_ && s_.ItemLinePen.size() == items;
    auto one = [&](size_t item) {
      if (dots && Dot(item, world, *device)) return;
      if (lines && SameLineItem(item, world)) return;
      if (!walk.DrawingFigure(item, fig)) return;
      Figure(walk, fig, 0, world, stack);
      Drain(walk, stack, 1);
    };
    size_t done = 0;
    auto stopped = [&] { return stop && (++done & 255) == 0 && stop->load(std::memory_order_relaxed); };
    if (!bits) {
      for (size_t item = 0; item < items; ++item) {
        if (stopped()) return false;
        one(item);
      }
      return true;
    }
    for (size_t w = 0; w < bits->size(); ++w) {
      for (uint64_t word = (*bits)[w]; word; word &= word - 1) {
        if (stopped()) return false;
        one(w * 64 + static_cast<size_t>(std::countr_zero(word)));
      }
    }
    return true;
  }

 private:
  void Begin(const QTransform& world, const QRectF& target) {
    target_ = target;
    worldScale_ = PixelsPerUnit(world);
    columns_ = std::max(0, static_cast<int>(std::ceil(target.right())));
    rows_ = std::max(0, static_cast<int>(std::ceil(target.bottom())));
    // A page leaves nothing out for the pixels it falls on.
    if (!page_) covered_.assign(static_cast<size_t>(columns_) * static_cast<size_t>(rows_), false);
  }

  // An item of one colour (in a crowd of items, of several) whose box is
  // smaller than kDotPixels is drawn as the one pixel at its centre, when
  // no other item took that pixel (straight into the picture, without
  // building its figure): at small zooms a drawing of millions of such
  // items costs no more than a look at each. False for any other item.
  bool Dot(size_t item, const QTransform& world, QImage& device) {
    uint32_t rgb = s_.ItemRgb[item];
    const TBox& b = s_.ItemBoxes[item];
    if (rgb == kNoItemRgb) return Covered(b, world);
    // One of several colours is its first colour in a crowd, where a
    // pixel or two hardly tells them apart: its figure is not made.
    if (rgb & kSeveralRgb) {
      if (!crowd_) return Covered(b, world);
      rgb &= ~kSeveralRgb;
    }
    const double side = std::max(b.Width(), b.Height()) * worldScale_;
    if (!(side < kDotPixels)) return false;
    const QPointF c = world.map(QPointF((b.MinX + b.MaxX) / 2, (b.MinY + b.MaxY) / 2));
    if (!(c.x() >= 0 && c.y() >= 0 && c.x() < columns_ && c.y() < rows_)) return true;
    const int x = static_cast<int>(c.x()), y = static_cast<int>(c.y());
    if (x >= device.width() || y >= device.height()) return true;
    const size_t pixel = static_cast<size_t>(y) * static_cast<size_t>(columns_) + static_cast<size_t>(x);
    if (covered_[pixel]) return true;
    covered_[pixel] = true;
    reinterpret_cast<QRgb*>(device.scanLine(y))[x] = 0xFF000000u | rgb;
    return true;
  }

  // Whether an item that is one solid line, thinner than a pixel across
  // its box in the view, would draw what one before it drew: its box then
  // tells the line to within a pixel, so that the figure need not be made
  // to know. A fan of lines that cross the view together (hundreds of
  // thousands of them) costs a look at each box, not a figure each. The
  // first of them is drawn from its figure.
  bool SameLineItem(size_t item, const QTransform& world) {
    const int32_t pen = s_.ItemLinePen[item];
    if (pen < 0 || !s_.Pens[static_cast<size_t>(pen)].Dashes.empty()) return false;
    const TBox& b = s_.ItemBoxes[item];
    const QRectF r = world.mapRect(QRectF(b.MinX, b.MinY, b.Width(), b.Height()));
    QPointF a, e;
    if (r.height() < 1) a = QPointF(r.left(), r.center().y()), e = QPointF(r.right(), r.center().y());
    else if (r.width() < 1) a = QPointF(r.center().x(), r.top()), e = QPointF(r.center().x(), r.bottom());
    else return false;
    if (!ClipToTarget(a, e)) return false;  // left to the figure, which tells
    return SameAsEarlier(a, e, pen, recentItems_);
  }

  // Whether an item of several colours (or one that places a block) lies
  // within one pixel that an earlier one took: each of its primitives
  // would then be left out as smaller than a pixel on a pixel taken
  // (Tiny), so its figure need not be made.
  bool Covered(const TBox& b, const QTransform& world) const {
    if (b.Empty()) return false;
    const QRectF r = world.mapRect(QRectF(b.MinX, b.MinY, b.Width(), b.Height()));
    if (!(r.left() >= 0 && r.top() >= 0 && r.right() < columns_ && r.bottom() < rows_)) return false;
    const int x = static_cast<int>(r.left()), y = static_cast<int>(r.top());
    if (static_cast<int>(r.right()) != x || static_cast<int>(r.bottom()) != y) return false;
    return covered_[static_cast<size_t>(y) * static_cast<size_t>(columns_) + static_cast<size_t>(x)];
  }

  // Paints the figures of the frames on the stack until it is empty; the
  // frame at the bottom is `depth0` deep.
  void Drain(TSceneWalk& walk, std::vector<Frame>& stack, size_t depth0) {
    while (!stack.empty()) {
      const size_t depth = stack.size() - 1 + depth0;
      if (figures_.size() <= depth) figures_.resize(depth + 1);
      TFigure& fig = figures_[depth];
      if (depth > 0 && placed_ >= budget_) {  // no more of the definitions' primitives
        if (stack.back().cursor.Next(fig)) cut_ = true;
        stack.pop_back();
        continue;
      }
      if (!stack.back().cursor.Next(fig)) {
        stack.pop_back();
        continue;
      }
      const QTransform t = stack.back().t;  // copied: pushing may move the stack
      Figure(walk, fig, depth, t, stack);
    }
  }

  // Paints one figure `depth` deep under t; the definitions it places go
  // onto the stack.
  void Figure(TSceneWalk& walk, const TFigure& fig, size_t depth, const QTransform& t, std::vector<Frame>& stack) {
    if ((depth == 0 && layers_) ? !ShownLayer(fig) : (fig.Marks & kMarkHidden) != 0) return;
    if (page_ && (fig.Marks & kMarkTemporary)) return;  // shown on screen, never printed
    for (const TPrimitive& prim : fig.Prims) {
      if (depth > 0 && placed_++ >= budget_) {
        cut_ = true;
        break;
      }
      if (prim.Kind != TPrimKind::kPlace) {
        if (page_ && (prim.Marks & kMarkTemporary)) continue;
        if (page_ || !Tiny(prim, t)) Primitive(fig, prim, t);
        continue;
      }
      if (prim.Ref < 0) continue;
      const QTransform inner = ToQt(prim.Frame) * t;
      if (!Visible(s_.Groups[static_cast<size_t>(prim.Ref)].Box, inner)) continue;
      if (placed_ < budget_) {
        stack.push_back({walk.Figures(static_cast<size_t>(prim.Ref)), inner});
      } else {
        cut_ = true;
      }
    }
  }

  // Whether the viewer shows the layer of one of the drawing's own figures.
  bool ShownLayer(const TFigure& fig) const {
    if (fig.LayerGroup >= 16 || fig.Layer >= 16) return true;
    return (*layers_)[static_cast<size_t>(fig.LayerGroup) * 16 + fig.Layer];
  }

  // Whether a group's box, placed by t, reaches the target and is larger
  // than a fraction of a pixel. A box may be a line with no height or no
  // width (a block of one horizontal line), which QRectF does not count as
  // meeting anything.
  bool Visible(const TBox& box, const QTransform& t) const {
    if (box.Empty()) return false;
    const QRectF r = t.mapRect(QRectF(box.MinX, box.MinY, box.Width(), box.Height()));
    const QRectF area = target_.adjusted(-1, -1, 1, 1);
    const bool meets =
        r.left() <= area.right() && r.right() >= area.left() && r.top() <= area.bottom() && r.bottom() >= area.top();
    return meets && (r.width() >= 0.5 || r.height() >= 0.5);
  }

  // Whether a primitive is smaller than a pixel. The first one to fall on a
  // pixel fills it in its colour; later ones there are left out, so that a
  // drawing's thousands of tiny details cost no more than the pixels they
  // fall on. Texts and images are judged elsewhere.
  bool Tiny(const TPrimitive& prim, const QTransform& t) {
    QRectF r;
    switch (prim.Kind) {
      case TPrimKind::kLine:
        r = QRectF(t.map(ToQt(prim.P[0])), t.map(ToQt(prim.P[1]))).normalized();
        break;
      case TPrimKind::kPolygon: {
        QPolygonF corners;
        for (const TPt& q : prim.P) corners << ToQt(q);
        r = t.map(corners).boundingRect();
        break;
      }
      case TPrimKind::kDot:
      case TPrimKind::kArc:
      case TPrimKind::kSector: {
        const double radius = (prim.Kind == TPrimKind::kDot ? prim.Radius : std::max(prim.RadiusX, prim.RadiusY)) *
                              PixelsPerUnit(t);
        const QPointF c = t.map(ToQt(prim.P[0]));
        r = QRectF(c.x() - radius, c.y() - radius, 2 * radius, 2 * radius);
        break;
      }
      case TPrimKind::kText:
      case TPrimKind::kImage:
      case TPrimKind::kPlace:
        return false;
    }
    if (!(r.width() < 1 && r.height() < 1)) return false;
    const QPointF c = r.center();
    if (!(c.x() >= 0 && c.y() >= 0 && c.x() < columns_ && c.y() < rows_)) return true;  // off the picture
    const int x = static_cast<int>(c.x()), y = static_cast<int>(c.y());
    const size_t pixel = static_cast<size_t>(y) * static_cast<size_t>(columns_) + static_cast<size_t>(x);
    if (covered_[pixel]) return true;
    covered_[pixel] = true;
    const uint32_t rgb = s_.Pens[static_cast<size_t>(prim.Pen)].Rgb;
    // A view's picture takes an opaque pixel straight, as Qt would fill it.
    if (picture_ && !(prim.Marks & kMarkTemporary) && x < picture_->width() && y < picture_->height()) {
      reinterpret_cast<QRgb*>(picture_->scanLine(y))[x] = 0xFF000000u | rgb;
      return true;
    }
    DeviceSpace();
    Opacity(prim.Marks & kMarkTemporary ? kTemporaryOpacity : 1.0);
    p_.fillRect(QRect(x, y, 1, 1), ColorOf(rgb));
    return true;
  }

  // Pens are as wide as printed whatever the scale of the block they sit
  // in: widths and dashes follow the drawing's scale, not the placement's.
  // Each pen is made once.
  void StrokeWith(int32_t index) {
    if (stroke_ == index) return;
    stroke_ = index;
    fill_ = -1;
    p_.setPen(PenOf(index));
    p_.setBrush(Qt::NoBrush);
  }

  const QPen& PenOf(int32_t index) {
    const size_t i = static_cast<size_t>(index);
    if (qpens_.size() <= i) qpens_.resize(i + 1);
    if (!qpens_[i]) {
      const TPen& pen = s_.Pens[i];
      const double scale = worldScale_;
      // A page's strokes are as wide as the pen, no thinner than a
      // hairline, with round ends on every dash, as the SVG's.
      // A view draws the thinnest pens one pixel wide, which Qt draws
      // several times faster than a wider line of less than two pixels.
      const double width = page_                                   ? std::max(pen.Width, page_->Hairline) * scale
                           : clipLines_ && (crowd_ || pen.Width * scale < 1.6) ? 1.0
                                                                   : std::max(0.8, pen.Width * scale);
      QPen q(Ink(pen.Rgb), width);
      q.setCosmetic(true);
      q.setCapStyle(Qt::RoundCap);
      q.setJoinStyle(busy_ ? Qt::BevelJoin : Qt::RoundJoin);
      double period = 0;
      for (double d : pen.Dashes) period += d;
      if (!pen.Dashes.empty() && (page_ ? period > 0 : period * scale >= kMinDashPeriod)) {
        QList<qreal> dashes;
        for (double d : pen.Dashes) dashes.append(std::max(d * scale / width, 0.01));
        if (dashes.size() % 2) dashes.append(dashes.back());
        q.setDashPattern(dashes);
        q.setDashOffset(pen.DashOffset * scale / width);
        if (!page_) q.setCapStyle(Qt::FlatCap);
      }
      qpens_[i] = std::make_unique<QPen>(q);
    }
    return *qpens_[i];
  }

  void FillWith(int32_t index) {
    if (fill_ == index) return;
    fill_ = index;
    stroke_ = -1;
    p_.setPen(Qt::NoPen);
    p_.setBrush(Ink(s_.Pens[static_cast<size_t>(index)].Rgb));
  }

  // The colour a pen's ink is painted in: black on a page in one colour.
  QColor Ink(uint32_t rgb) const { return page_ && page_->Mono ? QColor(Qt::black) : ColorOf(rgb); }

  // Primitives are mapped to the device here; only texts and images are
  // drawn through a transform of the painter's.
  void DeviceSpace() {
    if (!transformed_) return;
    p_.resetTransform();
    transformed_ = false;
  }

  void Opacity(double opacity) {
    if (opacity == opacity_) return;
    opacity_ = opacity;
    p_.setOpacity(opacity);
  }

  // Whether a line in this pen already joined these two pixels: drawing it
  // again would change next to nothing. A table of fixed size remembers
  // the latest lines, so memory stays the same for any drawing.
  bool SameAsEarlier(const QPointF& a, const QPointF& b, int32_t pen) { return SameAsEarlier(a, b, pen, recentLines_); }
  bool SameAsEarlier(const QPointF& a, const QPointF& b, int32_t pen, std::vector<uint64_t>& recent) {
    auto cell = [](double v) { return static_cast<uint64_t>(static_cast<int64_t>(std::floor(v)) & 0xFFFF); };
    const uint64_t key = (cell(a.x()) | cell(a.y()) << 16 | cell(b.x()) << 32 | cell(b.y()) << 48) ^
                         (static_cast<uint64_t>(pen) * 0x9E3779B97F4A7C15ull);
    uint64_t& slot = recent[(key ^ (key >> 29) ^ (key >> 47)) % recent.size()];
    if (slot == key + 1) return true;
    slot = key + 1;
    return false;
  }

  // An arc (or a sector's arc) in device space as curves, a quarter turn
  // or less each, for a page.
  static QPainterPath ArcCurves(const TPrimitive& arc, const QTransform& t, bool fromCentre) {
    const double c = std::cos(arc.Tilt), s = std::sin(arc.Tilt);
    // The unit circle onto the ellipse, then onto the device.
    const QTransform unit = QTransform(c * arc.RadiusX, s * arc.RadiusX, -s * arc.RadiusY, c * arc.RadiusY,
                                       arc.P[0].X, arc.P[0].Y) * t;
    const int pieces = std::clamp(static_cast<int>(std::ceil(std::abs(arc.Sweep) / (std::numbers::pi / 2))), 1, 4);
    QPainterPath path;
    const QPointF start = unit.map(QPointF(std::cos(arc.Start), std::sin(arc.Start)));
    if (fromCentre) {
      path.moveTo(t.map(ToQt(arc.P[0])));
      path.lineTo(start);
    } else {
      path.moveTo(start);
    }
    for (int i = 0; i < pieces; ++i) {
      const double a = arc.Start + arc.Sweep * i / pieces, b = arc.Start + arc.Sweep * (i + 1) / pieces;
      TPt c1, c2;
      UnitArcControls(a, b, c1, c2);
      path.cubicTo(unit.map(ToQt(c1)), unit.map(ToQt(c2)), unit.map(QPointF(std::cos(b), std::sin(b))));
    }
    if (fromCentre || arc.Full) path.closeSubpath();
    return path;
  }

  // Cuts the line a-b to the target and a pixel around it (Liang and
  // Barsky's way); false when no part of it is there.
  bool ClipToTarget(QPointF& a, QPointF& b) const {
    const QRectF r = target_.adjusted(-2, -2, 2, 2);
    const double dx = b.x() - a.x(), dy = b.y() - a.y();
    double t0 = 0, t1 = 1;
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {a.x() - r.left(), r.right() - a.x(), a.y() - r.top(), r.bottom() - a.y()};
    for (int i = 0; i < 4; ++i) {
      if (p[i] == 0) {
        if (q[i] < 0) return false;
        continue;
      }
      const double t = q[i] / p[i];
      if (p[i] < 0) t0 = std::max(t0, t);
      else t1 = std::min(t1, t);
      if (t0 > t1) return false;
    }
    const QPointF from = a;
    if (t1 < 1) b = QPointF(from.x() + t1 * dx, from.y() + t1 * dy);
    if (t0 > 0) a = QPointF(from.x() + t0 * dx, from.y() + t0 * dy);
    return true;
  }

  // An arc as a polyline in device space, fine enough for its size.
  static QPolygonF ArcLine(const TPrimitive& arc, const QTransform& t) {
    const double pixels = std::max(arc.RadiusX, arc.RadiusY) * PixelsPerUnit(t);
    const int segments = static_cast<int>(std::clamp(pixels * std::abs(arc.Sweep) / 4, 8.0, 256.0));
    QPolygonF line;
    line.reserve(segments + 1);
    for (const TPt& q : ArcPoints(arc, segments)) line << t.map(ToQt(q));
    return line;
  }

  const QImage* ImageOf(int32_t ref) {
    if (ref < 0 || static_cast<size_t>(ref) >= images_.size()) return nullptr;
    if (!loaded_[ref]) {
      loaded_[ref] = true;
      const TSceneImage& im = s_.Images[ref];
      images_[ref].loadFromData(im.Bytes.data(), static_cast<int>(std::min<size_t>(im.Bytes.size(), INT32_MAX)));
      if (images_[ref].isNull()) ++shown_.UnreadImages;
    }
    return images_[ref].isNull() ? nullptr : &images_[ref];
  }

  void Primitive(const TFigure& fig, const TPrimitive& prim, const QTransform& t) {
    Opacity(prim.Marks & kMarkTemporary ? kTemporaryOpacity : 1.0);
    if (ink_ && PageInk(prim, t)) return;
    switch (prim.Kind) {
      case TPrimKind::kLine: {
        QPointF a = t.map(ToQt(prim.P[0])), b = t.map(ToQt(prim.P[1]));
        // A view of a part cuts solid lines to it first, so that lines of
        // which only a piece is in view are told apart by that piece.
        if (clipLines_ && s_.Pens[static_cast<size_t>(prim.Pen)].Dashes.empty() && !ClipToTarget(a, b)) break;
        if (!page_ && SameAsEarlier(a, b, prim.Pen)) break;
        DeviceSpace();
        StrokeWith(prim.Pen);
        p_.drawLine(a, b);
        break;
      }
      case TPrimKind::kArc:
        DeviceSpace();
        StrokeWith(prim.Pen);
        if (page_) {
          p_.drawPath(ArcCurves(prim, t, false));
          break;
        }
        p_.drawPolyline(ArcLine(prim, t));
        break;
      case TPrimKind::kSector: {
        DeviceSpace();
        FillWith(prim.Pen);
        if (page_) {
          p_.drawPath(ArcCurves(prim, t, !prim.Full));
          break;
        }
        QPolygonF shape = ArcLine(prim, t);
        if (!prim.Full) shape.prepend(t.map(ToQt(prim.P[0])));
        p_.drawPolygon(shape);
        break;
      }
      case TPrimKind::kPolygon: {
        DeviceSpace();
        FillWith(prim.Pen);
        QPolygonF poly;
        for (const TPt& q : prim.P) poly << t.map(ToQt(q));
        p_.drawPolygon(poly);
        break;
      }
      case TPrimKind::kDot: {
        double r = page_ ? prim.Radius * PixelsPerUnit(t) : std::max(prim.Radius * PixelsPerUnit(t), 0.8);
        // A point is a mark: a view zoomed in far keeps it a mark.
        if (clipLines_) r = std::min(r, kMaxViewDotPixels);
        const QPointF c = t.map(ToQt(prim.P[0]));
        if (picture_ && Disc(c, r, s_.Pens[static_cast<size_t>(prim.Pen)].Rgb)) break;
        DeviceSpace();
        FillWith(prim.Pen);
        p_.drawEllipse(c, r, r);
        break;
      }
      case TPrimKind::kText: {
        const TTextRun& run = fig.Texts[static_cast<size_t>(prim.Ref)];
        if (!page_ && PixelsPerUnit(t) * run.Height < 1.5) break;  // too small to show anything
        // As the SVG draws it (render/svg.cpp): a full-width glyph one
        // character width wide (times the share the text is fitted into),
        // each run of characters of one width where the drawing lays it
        // out, followed by its own spacing.
        const double glyph = run.CharWidth / run.Height;
        const double pixels = page_ ? kPageFontPixels : kFontPixels;
        const QTransform glyphs =
            QTransform::fromScale(glyph * run.Fitted * run.Height / pixels, -run.Height / pixels) * ToQt(prim.Frame) * t;
        QFont font;
        QStringList families;
        if (!run.Font.empty()) families << QString::fromStdString(run.Font);
        families << gothic_;
        font.setFamilies(families);
        font.setPixelSize(static_cast<int>(pixels));
        const QString text = QString::fromStdString(run.Text);
        if (page_) CheckGlyphs(run, font, text);
        QPointF from(0, 0);  // the text's origin under the painter's transform
        if (page_) {
          from = PageTextFrame(glyphs);
        } else {
          p_.setTransform(glyphs);
          transformed_ = true;
        }
        p_.setPen(Ink(s_.Pens[static_cast<size_t>(prim.Pen)].Rgb));
        stroke_ = fill_ = -1;
        if (run.Spacing == 0) {
          Letters(run.Font, font, 0, from + QPointF(0, -kDescent * pixels), text);
          break;
        }
        const double spacing = run.Spacing / glyph * pixels / run.Height;  // after a full-width one
        double x = 0;
        for (const TTextPiece& piece : TextPieces(run.Text)) {
          const double share = piece.Half ? 0.5 : 1;
          const double letterSpacing = spacing * share / spacingScale_;
          font.setLetterSpacing(QFont::AbsoluteSpacing, letterSpacing);
          Letters(run.Font, font, letterSpacing, from + QPointF(x, -kDescent * pixels),
                  QString::fromUtf8(run.Text.data() + piece.Begin, static_cast<qsizetype>(piece.End - piece.Begin)));
          x += static_cast<double>(piece.Characters) * (pixels + spacing) * share;
        }
        break;
      }
      case TPrimKind::kImage: {
        const QImage* image = ImageOf(prim.Ref);
        if (image) {
          // The image's top row belongs at the top of the unit square (y 1).
          const QTransform unit = QTransform(1, 0, 0, -1, 0, 1) * ToQt(prim.Frame) * t;
          if (page_) {
            // Kept as it is on a page, but for a JPEG image, which stays
            // one there.
            p_.setRenderHint(QPainter::LosslessImageRendering, s_.Images[static_cast<size_t>(prim.Ref)].Mime != "image/jpeg");
            p_.setTransform(unit);
            transformed_ = true;
            p_.drawImage(QRectF(0, 0, 1, 1), *image);
          } else if (threads_) {
            p_.setTransform(unit);
            transformed_ = true;
            p_.drawImage(QRectF(0, 0, 1, 1), *image);
          } else {
            DeviceSpace();
            DrawImageHere(*image, unit);
          }
        } else {
          DeviceSpace();
          StrokeWith(prim.Pen);
          QPolygonF frame;
          for (TPt q : {TPt{0, 0}, TPt{1, 0}, TPt{1, 1}, TPt{0, 1}, TPt{0, 0}, TPt{1, 1}})
            frame << t.map(ToQt(prim.Frame.Apply(q)));
          p_.drawPolyline(frame);
          p_.drawLine(t.map(ToQt(prim.Frame.Apply({1, 0}))), t.map(ToQt(prim.Frame.Apply({0, 1}))));
        }
        break;
      }
      case TPrimKind::kPlace:
        break;
    }
  }

  // A page's lines, arcs and points go to its waiting ink (TPageInk),
  // true then; anything else of another colour first has the ink that
  // waits painted, an image all of it.
  bool PageInk(const TPrimitive& prim, const QTransform& t) {
    const QRgb rgb = prim.Kind == TPrimKind::kImage || prim.Kind == TPrimKind::kPlace
                         ? 0
                         : s_.Pens[static_cast<size_t>(prim.Pen)].Rgb;
    if (prim.Kind == TPrimKind::kImage || ink_->Other(rgb)) FlushInk();
    switch (prim.Kind) {
      case TPrimKind::kDot:
        ink_->Dot(prim.Pen, rgb, Ink(rgb), t.map(ToQt(prim.P[0])), prim.Radius * PixelsPerUnit(t));
        break;
      case TPrimKind::kLine:
        ink_->Line(prim.Pen, &PenOf(prim.Pen), rgb, t.map(ToQt(prim.P[0])), t.map(ToQt(prim.P[1])));
        break;
      case TPrimKind::kArc:
        ink_->Outline(prim.Pen, &PenOf(prim.Pen), rgb, ArcCurves(prim, t, false));
        break;
      default:
        ink_->Break();
        return false;
    }
    if (ink_->Full()) FlushInk();
    return true;
  }

  // Sets a page's text's transform, unless the painter holds one that
  // differs from it by a move only (texts of one size and slant): the
  // text is then drawn moved under that one, which spares the PDF writer a
  // new transform and pen for each text. Returns where the text's origin
  // lies under the painter's transform.
  QPointF PageTextFrame(const QTransform& glyphs) {
    if (transformed_) {
      const QTransform& held = p_.transform();
      if (held == glyphs) return {};
      if (held.type() <= QTransform::TxShear && glyphs.type() <= QTransform::TxShear && held.m11() == glyphs.m11() &&
          held.m12() == glyphs.m12() && held.m21() == glyphs.m21() && held.m22() == glyphs.m22()) {
        bool invertible = false;
        const QPointF from = held.inverted(&invertible).map(QPointF(glyphs.dx(), glyphs.dy()));
        if (invertible && std::abs(from.x()) < kMaxPageTextMove && std::abs(from.y()) < kMaxPageTextMove) return from;
      }
    }
    p_.setTransform(glyphs);
    transformed_ = true;
    return {};
  }

  // Paints a page's waiting ink, in device space.
  void FlushInk() {
    if (!ink_ || ink_->Empty()) return;
    DeviceSpace();
    ink_->Flush();
    stroke_ = fill_ = -1;
  }

  // Draws a text's characters with its base line through `at` under the
  // painter's transform. A page lays them out each time (its texts are
  // drawn once); a view keeps each text's glyphs as laid out, by its font
  // name, letter spacing and characters, so that a drawing's thousands of
  // equal texts ("100") are shaped once a picture, not once each, and
  // draws those glyphs where the layout put them, as drawText does.
  void Letters(const std::string& fontName, const QFont& font, double letterSpacing, const QPointF& at,
               const QString& text) {
    if (page_) {
      if (pageGlyphs_.Draw(p_, font, fontName, at, text)) return;
      p_.setFont(font);
      p_.drawText(at, text);
      return;
    }
    TLaidOut& laid = laidOut_[TLaidOutKey{fontName, letterSpacing, text}];
    if (!laid.Made) {
      laid.Made = true;
      QTextLayout layout(text, font);
      layout.setCacheEnabled(false);
      layout.beginLayout();
      QTextLine line = layout.createLine();
      if (line.isValid()) {
        line.setLineWidth(std::numeric_limits<int>::max() / 4);
        line.setPosition(QPointF(0, 0));
        laid.Ascent = line.ascent();
      }
      layout.endLayout();
      laid.Runs = layout.glyphRuns();
      if (laidOut_.size() > kMaxLaidOut) {  // a drawing of endless different texts: start again
        TLaidOut keep = std::move(laid);
        laidOut_.clear();
        TLaidOut& again = laidOut_[TLaidOutKey{fontName, letterSpacing, text}];
        again = std::move(keep);
        return DrawLaidOut(again, at);
      }
    }
    DrawLaidOut(laid, at);
  }

  struct TLaidOut {
    bool Made = false;
    double Ascent = 0;
    QList<QGlyphRun> Runs;
  };
  struct TLaidOutKey {
    std::string Font;
    double Spacing;
    QString Text;
    bool operator<(const TLaidOutKey& o) const {
      if (Font != o.Font) return Font < o.Font;
      if (Spacing != o.Spacing) return Spacing < o.Spacing;
      return Text < o.Text;
    }
  };
  static constexpr size_t kMaxLaidOut = 20000;

  void DrawLaidOut(const TLaidOut& laid, const QPointF& at) {
    for (const QGlyphRun& run : laid.Runs) p_.drawGlyphRun(QPointF(at.x(), at.y() - laid.Ascent), run);
  }

  // A point of a view's picture: a disc of radius r (pixels, at most
  // kMaxViewDotPixels) about c, antialiased as Qt fills one, blended
  // straight into the picture's pixels. Qt's own filling of an ellipse
  // turns it into curves, their polygon and its spans, which costs a
  // thousand times more than the few pixels a mark covers. The coverage
  // of each pixel comes from a table made once for each radius (to 1/16
  // pixel) and place of the centre within its pixel (to 1/4 pixel).
  // False when it is not drawn so (too large).
  bool Disc(const QPointF& c, double r, uint32_t rgb) {
    if (!(r > 0 && r <= kMaxViewDotPixels) || !std::isfinite(c.x()) || !std::isfinite(c.y())) return false;
    const int reach = static_cast<int>(std::ceil(kMaxViewDotPixels)) + 1;
    if (c.x() < -reach || c.y() < -reach || c.x() > columns_ + reach || c.y() > rows_ + reach) return true;
    const int steps = static_cast<int>(std::lround(r * 16));
    const double fx = std::floor(c.x()), fy = std::floor(c.y());
    const int qx = std::min(3, static_cast<int>((c.x() - fx) * 4)), qy = std::min(3, static_cast<int>((c.y() - fy) * 4));
    // The same disc in the same colour on the same spot as one of the
    // latest drawn would only blend its edge once more: left out.
    const int opacity = static_cast<int>(std::lround((opacity_ < 0 ? 1 : opacity_) * 256));
    const uint64_t key = (static_cast<uint64_t>(static_cast<int64_t>(fx) & 0xFFFF) |
                          static_cast<uint64_t>(static_cast<int64_t>(fy) & 0xFFFF) << 16 |
                          static_cast<uint64_t>(qx * 4 + qy) << 32 | static_cast<uint64_t>(steps & 0x7F) << 36 |
                          static_cast<uint64_t>(opacity & 0x1FF) << 43) ^
                         (static_cast<uint64_t>(rgb) * 0x9E3779B97F4A7C15ull);
    uint64_t& slot = recentDiscs_[(key ^ (key >> 29) ^ (key >> 47)) % recentDiscs_.size()];
    if (slot == key + 1) return true;
    slot = key + 1;
    const TDiscMask& mask = DiscMask(steps, qx, qy);
    const int x0 = static_cast<int>(fx) - mask.Reach, y0 = static_cast<int>(fy) - mask.Reach;
    const uint32_t red = (rgb >> 16) & 0xFF, green = (rgb >> 8) & 0xFF, blue = rgb & 0xFF;
    const int width = std::min(columns_, picture_->width()), height = std::min(rows_, picture_->height());
    const int i0 = std::max(0, -x0), i1 = std::min(mask.Side, width - x0);
    for (int j = 0; j < mask.Side; ++j) {
      const int y = y0 + j;
      if (y < 0 || y >= height) continue;
      QRgb* out = reinterpret_cast<QRgb*>(picture_->scanLine(y));
      const uint8_t* covers = mask.Alpha.data() + static_cast<size_t>(j * mask.Side);
      for (int i = i0; i < i1; ++i) {
        const int x = x0 + i;
        const uint8_t cover = covers[i];
        if (cover == 0) continue;
        // Coverage times opacity, out of 255.
        const uint32_t a = static_cast<uint32_t>((cover * opacity + 128) >> 8), keep = 255 - a;
        if (a == 255) {  // the blend below gives the colour itself
          out[x] = 0xFF000000u | (rgb & 0xFFFFFFu);
          continue;
        }
        const QRgb under = out[x];
        auto mix = [&](uint32_t src, uint32_t dst) { return (src * a + dst * keep + 127) / 255; };
        out[x] = 0xFF000000u | mix(red, (under >> 16) & 0xFF) << 16 | mix(green, (under >> 8) & 0xFF) << 8 |
                 mix(blue, under & 0xFF);
      }
    }
    return true;
  }

  struct TDiscMask {
    int Reach = 0;               // pixels from the centre's pixel to the table's edge
    int Side = 0;                // 2 * Reach + 1
    std::vector<uint8_t> Alpha;  // coverage by row, 0 to 255
  };

  // The coverage table of a disc of radius steps / 16 whose centre lies
  // (qx + 1/2, qy + 1/2) quarters into its pixel: 8 x 8 samples a pixel.
  const TDiscMask& DiscMask(int steps, int qx, int qy) {
    const size_t key = (static_cast<size_t>(steps) * 4 + static_cast<size_t>(qx)) * 4 + static_cast<size_t>(qy);
    if (discs_.size() <= key) discs_.resize(key + 1);
    TDiscMask& mask = discs_[key];
    if (mask.Side) return mask;
    const double r = steps / 16.0, cx = (qx + 0.5) / 4, cy = (qy + 0.5) / 4;
    mask.Reach = static_cast<int>(std::ceil(r)) + 1;
    mask.Side = 2 * mask.Reach + 1;
    mask.Alpha.assign(static_cast<size_t>(mask.Side * mask.Side), 0);
    constexpr int kSamples = 8;
    for (int j = 0; j < mask.Side; ++j) {
      for (int i = 0; i < mask.Side; ++i) {
        int inside = 0;
        for (int sj = 0; sj < kSamples; ++sj) {
          for (int si = 0; si < kSamples; ++si) {
            const double dx = i - mask.Reach + (si + 0.5) / kSamples - cx;
            const double dy = j - mask.Reach + (sj + 0.5) / kSamples - cy;
            inside += dx * dx + dy * dy <= r * r;
          }
        }
        mask.Alpha[static_cast<size_t>(j * mask.Side + i)] =
            static_cast<uint8_t>((inside * 255 + kSamples * kSamples / 2) / (kSamples * kSamples));
      }
    }
    return mask;
  }

  // Draws an image onto the unit square under `unit` (device
  // coordinates) without Qt's image drawing, which hands the work of a
  // large image to threads: each pixel the square covers takes the mean of
  // up to 4 x 4 samples of the image (as many as the image has pixels
  // there), each sample interpolated between the four nearest pixels; the
  // part of them that falls on the image is its coverage. The result is
  // blended straight into the picture's pixels.
  void DrawImageHere(const QImage& image, const QTransform& unit) {
    QImage* device = dynamic_cast<QImage*>(p_.device());
    const int w = image.width(), h = image.height();
    bool invertible = false;
    const QTransform toImage = (QTransform::fromScale(1.0 / w, 1.0 / h) * unit).inverted(&invertible);
    if (!device || !invertible || w <= 0 || h <= 0) return;
    const QImage::Format format = device->format();
    if (format != QImage::Format_RGB32 && format != QImage::Format_ARGB32_Premultiplied) return;
    const QRect area = unit.mapRect(QRectF(0, 0, 1, 1)).toAlignedRect() & QRect(0, 0, columns_, rows_) &
                       device->rect();
    if (area.isEmpty()) return;
    const double footprint = std::sqrt(std::abs(toImage.determinant()));  // image pixels per target pixel
    const int k = std::clamp(static_cast<int>(std::ceil(footprint)), 1, 4);
    const double opacity = p_.opacity();
    // A pixel of the image, premultiplied, its coordinates held inside it.
    auto pixel = [&](int x, int y) -> QRgb {
      x = std::clamp(x, 0, w - 1), y = std::clamp(y, 0, h - 1);
      switch (image.format()) {
        case QImage::Format_RGB32: return reinterpret_cast<const QRgb*>(image.constScanLine(y))[x] | 0xFF000000u;
        case QImage::Format_ARGB32: return qPremultiply(reinterpret_cast<const QRgb*>(image.constScanLine(y))[x]);
        case QImage::Format_ARGB32_Premultiplied: return reinterpret_cast<const QRgb*>(image.constScanLine(y))[x];
        default: return qPremultiply(image.pixel(x, y));
      }
    };
    for (int row = area.top(); row <= area.bottom(); ++row) {
      QRgb* out = reinterpret_cast<QRgb*>(device->scanLine(row));
      for (int col = area.left(); col <= area.right(); ++col) {
        double sum[4] = {0, 0, 0, 0};  // alpha, red, green, blue
        for (int i = 0; i < k; ++i) {
          for (int j = 0; j < k; ++j) {
            const QPointF at = toImage.map(QPointF(col + (j + 0.5) / k, row + (i + 0.5) / k));
            if (!(at.x() >= 0 && at.y() >= 0 && at.x() < w && at.y() < h)) continue;
            const double fx = at.x() - 0.5, fy = at.y() - 0.5;
            const int x0 = static_cast<int>(std::floor(fx)), y0 = static_cast<int>(std::floor(fy));
            const double tx = fx - x0, ty = fy - y0;
            const QRgb c[4] = {pixel(x0, y0), pixel(x0 + 1, y0), pixel(x0, y0 + 1), pixel(x0 + 1, y0 + 1)};
            const double weight[4] = {(1 - tx) * (1 - ty), tx * (1 - ty), (1 - tx) * ty, tx * ty};
            for (int n = 0; n < 4; ++n) {
              sum[0] += weight[n] * qAlpha(c[n]), sum[1] += weight[n] * qRed(c[n]);
              sum[2] += weight[n] * qGreen(c[n]), sum[3] += weight[n] * qBlue(c[n]);
            }
          }
        }
        const double scale = opacity / (k * k);
        const double keep = 1 - sum[0] * scale / 255;  // of what lies under it
        const QRgb under = out[col];
        auto mix = [&](double src, int dst) { return static_cast<int>(std::lround(std::clamp(src * scale + dst * keep, 0.0, 255.0))); };
        const int alpha = format == QImage::Format_RGB32 ? 255 : mix(sum[0], qAlpha(under));
        out[col] = qRgba(mix(sum[1], qRed(under)), mix(sum[2], qGreen(under)), mix(sum[3], qBlue(under)), alpha);
      }
    }
  }

  // How much wider Qt lays out a letter spacing on this device than it is
  // asked for: on a device of another resolution than the screen's (a
  // PDF's), Qt scales it by the two resolutions' ratio, which the glyphs'
  // own size (in the device's pixels) does not follow. Measured, so that
  // the spacing is as wide as the drawing says whatever Qt does.
  static double SpacingScale(const QPaintDevice* device) {
    if (!device) return 1;
    QFont font;
    font.setPixelSize(static_cast<int>(kFontPixels));
    const double plain = QFontMetricsF(font, device).horizontalAdvance(QStringLiteral("AA"));
    font.setLetterSpacing(QFont::AbsoluteSpacing, 10);
    const double spaced = QFontMetricsF(font, device).horizontalAdvance(QStringLiteral("AA"));
    const double scale = (spaced - plain) / 20;
    return std::isfinite(scale) && scale > 0.01 ? scale : 1;
  }

  // A page's check of a text's characters: each one some font shows
  // (Qt's fallbacks included), else the text is counted, with the first
  // character none shows. Each character is looked up once for each font
  // name of the drawing's.
  void CheckGlyphs(const TTextRun& run, const QFont& font, const QString& text) {
    std::unordered_map<char32_t, bool>& shows = shows_[run.Font];
    std::unique_ptr<QFontMetricsF>& metrics = metrics_[run.Font];
    char32_t lacking = 0;
    bool lacks = false;
    for (const char32_t c : text.toStdU32String()) {
      const auto [at, added] = shows.try_emplace(c, true);
      if (added) {
        if (!metrics) metrics = std::make_unique<QFontMetricsF>(font);
        at->second = metrics->inFontUcs4(c);
      }
      if (!at->second && !lacks) lacks = true, lacking = c;
    }
    if (lacks && shown_.TextsWithoutGlyphs++ == 0) shown_.MissingCharacter = lacking;
  }

  QPainter& p_;
  const TScene& s_;
  int64_t budget_;
  bool threads_;  // Qt's image drawing may hand work to its threads
  const TPageStyle* page_;  // a page's painter: every primitive as a print shows it
  double spacingScale_ = 1;  // Qt's letter spacing over the one asked for (a page's)
  TPageShown shown_;
  std::map<std::string, std::unordered_map<char32_t, bool>> shows_;  // by the drawing's font name
  std::map<std::string, std::unique_ptr<QFontMetricsF>> metrics_;
  int64_t placed_ = 0;  // primitives of placed definitions looked at
  bool cut_ = false;    // primitives of placed definitions left unpainted for the budget
  QRectF target_;
  double worldScale_ = 1;  // pixels per drawing unit outside every placement
  int columns_ = 0, rows_ = 0;
  std::vector<bool> covered_;  // pixels a primitive smaller than a pixel fell on
  std::vector<std::unique_ptr<QPen>> qpens_;  // by pen index, made when first used
  int32_t stroke_ = -1, fill_ = -1;          // the pen or fill the painter holds; -1 neither
  bool transformed_ = true;                  // the painter's transform is not the identity
  double opacity_ = -1;
  std::vector<uint64_t> recentLines_ = std::vector<uint64_t>(1 << 16);
  std::vector<uint64_t> recentItems_ = std::vector<uint64_t>(1 << 16);  // SameLineItem's lines
  std::vector<uint64_t> recentDiscs_ = std::vector<uint64_t>(1 << 14);  // Disc's latest discs
  std::vector<QImage> images_;
  std::vector<bool> loaded_;
  std::vector<TFigure> figures_;  // one for each depth, reused
  const TLayerShow* layers_ = nullptr;  // the layers shown over the stored states; null: as stored
  bool clipLines_ = false;              // solid lines are cut to the target before they are drawn
  bool crowd_ = false;                  // so many items in view that every pen is drawn one pixel wide
  bool busy_ = false;                   // so many that arcs' lines are joined with bevels
  QImage* picture_ = nullptr;           // a view's picture whose pixels are written here (RGB32), else null
  std::vector<TDiscMask> discs_;        // DiscMask's tables, by radius and place
  std::map<TLaidOutKey, TLaidOut> laidOut_;  // a view's texts as laid out (Letters)
  TPageGlyphs pageGlyphs_;                   // a page's texts as glyph runs (Letters)
  std::unique_ptr<TPageInk> ink_;            // a page's strokes and points waiting to be painted together
  const QStringList gothic_ = FamiliesOf(kJapaneseGothicFamilies);
};

}  // namespace

TBox PictureBox(const TScene& scene) {
  TBox box = ShownBox(scene);
  const double margin = PictureMargin(box);
  box.MinX -= margin, box.MinY -= margin, box.MaxX += margin, box.MaxY += margin;
  return box;
}

TPageShown PaintPage(QPainter& painter, TSceneWalk& walk, const QTransform& paper, const TPageStyle& style,
                     int64_t maxPrimitives) {
  const TScene& scene = walk.Scene();
  if (scene.Groups.empty()) return {};
  const QPaintDevice* device = painter.device();
  const QRectF page = device ? QRectF(0, 0, device->width(), device->height()) : QRectF();
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  TScenePainter p(painter, scene, maxPrimitives, false, &style);
  p.Paint(walk, paper, page);
  painter.restore();
  return p.Shown();
}

int64_t PaintDrawing(QPainter& painter, TSceneWalk& walk, const QRectF& target, int64_t maxPrimitives,
                     bool threads) {
  const TScene& scene = walk.Scene();
  if (scene.Groups.empty()) return 0;
  const TBox box = PictureBox(scene);
  const double scale = std::min(target.width() / box.Width(), target.height() / box.Height());
  if (!std::isfinite(scale) || scale <= 0) return 0;
  const double cx = (box.MinX + box.MaxX) / 2, cy = (box.MinY + box.MaxY) / 2;
  const QTransform world(scale, 0, 0, -scale, target.center().x() - scale * cx, target.center().y() + scale * cy);
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  const int64_t painted = TScenePainter(painter, scene, maxPrimitives, threads).Paint(walk, world, target);
  painter.restore();
  return painted;
}

bool PaintView(QPainter& painter, TSceneWalk& walk, const TViewPaint& view) {
  const TScene& scene = walk.Scene();
  if (scene.Groups.empty()) return true;
  bool invertible = false;
  const QTransform back = view.World.inverted(&invertible);
  if (!invertible) return true;
  std::vector<uint64_t> bits;
  size_t inView = 0;
  if (view.Index) {
    const QRectF seen = back.mapRect(view.Target);
    TBox box;
    box.Add({seen.left(), seen.top()});
    box.Add({seen.right(), seen.bottom()});
    inView = view.Index->Query(box, 1 / PixelsPerUnit(view.World), view.Shown, bits);
  }
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  painter.setClipRect(view.Target);
  TScenePainter p(painter, scene, view.MaxPrimitives, view.Threads);
  // A picture of a crowd of items draws every pen one pixel wide, the
  // width Qt strokes without making an outline of each line first.
  if (inView > kCrowdItems && dynamic_cast<QImage*>(painter.device())) p.Crowd();
  if (inView > kBusyItems && dynamic_cast<QImage*>(painter.device())) p.Busy();
  const bool done = p.PaintItems(walk, view.World, view.Target, view.Index ? &bits : nullptr, view.Shown, view.Stop);
  painter.restore();
  return done;
}

}  // namespace quorvex
