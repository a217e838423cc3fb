#include "thumbnail/scene_painter.h"

#include <QFont>
#include <QImage>
#include <QPainterPath>
#include <QPen>
#include <QPolygonF>
#include <QTransform>

#include <algorithm>
#include <cmath>
#include <vector>

#include "render/layout.h"

namespace quorvex {
namespace {

// Glyphs are laid out at this pixel size and scaled to the text's height.
constexpr double kFontPixels = 100;
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

class TScenePainter {
 public:
  TScenePainter(QPainter& p, const TScene& s, int64_t budget) : p_(p), s_(s), budget_(budget) {
    images_.resize(s.Images.size());
    loaded_.assign(s.Images.size(), false);
  }

  int64_t Paint(const QTransform& world, const QRectF& target) {
    target_ = target;
    struct Frame {
      size_t group;
      size_t figure;
      QTransform t;
    };
    std::vector<Frame> stack{{0, 0, world}};
    while (!stack.empty() && painted_ < budget_) {
      Frame& f = stack.back();
      const TGroup& g = s_.Groups[f.group];
      if (f.figure >= g.Figures.size()) {
        stack.pop_back();
        continue;
      }
      const TFigure& fig = g.Figures[f.figure++];
      if (fig.Marks & kMarkHidden) continue;
      const QTransform t = f.t;  // copied: pushing may move the stack
      for (uint32_t i = 0; i < fig.Count && painted_ < budget_; ++i) {
        const TPrimitive& prim = g.Prims[fig.First + i];
        ++painted_;
        if (prim.Kind != TPrimKind::kPlace) {
          Primitive(prim, t);
          continue;
        }
        if (prim.Ref < 0) continue;
        const QTransform inner = ToQt(prim.Frame) * t;
        if (Visible(s_.Groups[static_cast<size_t>(prim.Ref)].Box, inner))
          stack.push_back({static_cast<size_t>(prim.Ref), 0, inner});
      }
    }
    return painted_;
  }

 private:
  // Whether a group's box, placed by t, reaches the target and is larger
  // than a fraction of a pixel.
  bool Visible(const TBox& box, const QTransform& t) const {
    if (box.Empty()) return false;
    const QRectF r = t.mapRect(QRectF(box.MinX, box.MinY, box.Width(), box.Height()));
    return r.intersects(target_.adjusted(-1, -1, 1, 1)) && (r.width() >= 0.5 || r.height() >= 0.5);
  }

  void StrokeWith(const TPen& pen, const QTransform& t) {
    const double scale = PixelsPerUnit(t);
    const double width = std::max(0.8, pen.Width * scale);
    QPen q(ColorOf(pen.Rgb), width);
    q.setCosmetic(true);
    q.setCapStyle(Qt::RoundCap);
    double period = 0;
    for (double d : pen.Dashes) period += d;
    if (!pen.Dashes.empty() && period * scale >= kMinDashPeriod) {
      QList<qreal> dashes;
      for (double d : pen.Dashes) dashes.append(std::max(d * scale / width, 0.01));
      if (dashes.size() % 2) dashes.append(dashes.back());
      q.setDashPattern(dashes);
      q.setDashOffset(pen.DashOffset * scale / width);
      q.setCapStyle(Qt::FlatCap);
    }
    p_.setPen(q);
    p_.setBrush(Qt::NoBrush);
  }

  const QImage* ImageOf(int32_t ref) {
    if (ref < 0 || static_cast<size_t>(ref) >= images_.size()) return nullptr;
    if (!loaded_[ref]) {
      loaded_[ref] = true;
      const TSceneImage& im = s_.Images[ref];
      images_[ref].loadFromData(im.Bytes.data(), static_cast<int>(std::min<size_t>(im.Bytes.size(), INT32_MAX)));
    }
    return images_[ref].isNull() ? nullptr : &images_[ref];
  }

  void Primitive(const TPrimitive& prim, const QTransform& t) {
    const TPen& pen = s_.Pens[static_cast<size_t>(prim.Pen)];
    p_.setTransform(t);
    p_.setOpacity(prim.Marks & kMarkTemporary ? kTemporaryOpacity : 1.0);
    switch (prim.Kind) {
      case TPrimKind::kLine:
        StrokeWith(pen, t);
        p_.drawLine(ToQt(prim.P[0]), ToQt(prim.P[1]));
        break;
      case TPrimKind::kArc: {
        StrokeWith(pen, t);
        const double pixels = std::max(prim.RadiusX, prim.RadiusY) * PixelsPerUnit(t);
        const int segments = static_cast<int>(std::clamp(pixels * std::abs(prim.Sweep) / 4, 8.0, 256.0));
        QPolygonF line;
        for (const TPt& q : ArcPoints(prim, segments)) line << ToQt(q);
        p_.drawPolyline(line);
        break;
      }
      case TPrimKind::kPolygon: {
        p_.setPen(Qt::NoPen);
        p_.setBrush(ColorOf(pen.Rgb));
        QPolygonF poly;
        for (const TPt& q : prim.P) poly << ToQt(q);
        p_.drawPolygon(poly);
        break;
      }
      case TPrimKind::kDot: {
        p_.setPen(Qt::NoPen);
        p_.setBrush(ColorOf(pen.Rgb));
        const double r = std::max(prim.Radius, 0.8 / std::max(PixelsPerUnit(t), 1e-12));
        p_.drawEllipse(ToQt(prim.P[0]), r, r);
        break;
      }
      case TPrimKind::kText: {
        const TTextRun& run = s_.Texts[static_cast<size_t>(prim.Ref)];
        const double stretch = run.CharWidth / run.Height;
        const QTransform glyphs = QTransform::fromScale(stretch * run.Height / kFontPixels, -run.Height / kFontPixels) *
                                  ToQt(prim.Frame) * t;
        if (PixelsPerUnit(t) * run.Height < 1.5) break;  // too small to show anything
        QFont font;
        QStringList families;
        if (!run.Font.empty()) families << QString::fromStdString(run.Font);
        families << gothic_;
        font.setFamilies(families);
        font.setPixelSize(static_cast<int>(kFontPixels));
        if (run.Spacing != 0)
          font.setLetterSpacing(QFont::AbsoluteSpacing, run.Spacing / stretch * kFontPixels / run.Height);
        p_.setTransform(glyphs);
        p_.setFont(font);
        p_.setPen(ColorOf(pen.Rgb));
        p_.drawText(QPointF(0, -kDescent * kFontPixels), QString::fromStdString(run.Text));
        break;
      }
      case TPrimKind::kImage: {
        const QImage* image = ImageOf(prim.Ref);
        if (image) {
          // The image's top row belongs at the top of the unit square (y 1).
          p_.setTransform(QTransform(1, 0, 0, -1, 0, 1) * ToQt(prim.Frame) * t);
          p_.drawImage(QRectF(0, 0, 1, 1), *image);
        } else {
          StrokeWith(pen, t);
          QPolygonF frame;
          for (TPt q : {TPt{0, 0}, TPt{1, 0}, TPt{1, 1}, TPt{0, 1}, TPt{0, 0}, TPt{1, 1}})
            frame << ToQt(prim.Frame.Apply(q));
          p_.drawPolyline(frame);
          p_.drawLine(ToQt(prim.Frame.Apply({1, 0})), ToQt(prim.Frame.Apply({0, 1})));
        }
        break;
      }
      case TPrimKind::kPlace:
        break;
    }
  }

  QPainter& p_;
  const TScene& s_;
  int64_t budget_;
  int64_t painted_ = 0;
  QRectF target_;
  std::vector<QImage> images_;
  std::vector<bool> loaded_;
  const QStringList gothic_ = FamiliesOf(kJapaneseGothicFamilies);
};

}  // namespace

TBox PictureBox(const TScene& scene) {
  TBox box = ShownBox(scene);
  const double margin = PictureMargin(box);
  box.MinX -= margin, box.MinY -= margin, box.MaxX += margin, box.MaxY += margin;
  return box;
}

int64_t PaintScene(QPainter& painter, const TScene& scene, const QRectF& target, int64_t maxPrimitives) {
  if (scene.Groups.empty()) return 0;
  const TBox box = PictureBox(scene);
  const double scale = std::min(target.width() / box.Width(), target.height() / box.Height());
  if (!std::isfinite(scale) || scale <= 0) return 0;
  const double cx = (box.MinX + box.MaxX) / 2, cy = (box.MinY + box.MaxY) / 2;
  const QTransform world(scale, 0, 0, -scale, target.center().x() - scale * cx, target.center().y() + scale * cy);
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  const int64_t painted = TScenePainter(painter, scene, maxPrimitives).Paint(world, target);
  painter.restore();
  return painted;
}

}  // namespace quorvex
