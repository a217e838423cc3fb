// A page's strokes and points gathered before they reach the PDF writer:
// consecutive ones of one colour go out as one path for each pen (its
// strokes) and one for the colour (its points), so that the page holds the
// pen's state once for a run of them instead of once for each. Opaque ink
// of one colour looks the same whatever order it is laid in, so gathering
// them changes nothing that shows: what is painted in another colour first
// has the gathered ink painted (Flush), and so does an image.
#pragma once

#include <QColor>
#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <QPointF>

#include <cstdint>
#include <vector>

namespace quorvex {

class TPageInk {
 public:
  explicit TPageInk(QPainter& painter) : p_(painter) {}

  bool Empty() const { return elements_ == 0; }
  // Whether ink of another colour than `rgb` is waiting (to be painted
  // before anything of that colour). The colours are the pens' own, also
  // on a page in one colour, so that its ink is gathered as the coloured
  // page's is and shows the same.
  bool Other(QRgb rgb) const { return elements_ > 0 && rgb != rgb_; }

  // Adds a line, or a path's outline, to the strokes of pen `pen` (`q` as
  // the painter is to stroke it, kept alive by the caller until painted),
  // in `rgb`, which no other colour waits before (Other). A line that is
  // the primitive just before it again is left out.
  void Line(int32_t pen, const QPen* q, QRgb rgb, const QPointF& a, const QPointF& b);
  void Outline(int32_t pen, const QPen* q, QRgb rgb, const QPainterPath& path);
  // Adds a disc of radius r about c of pen `pen` in colour `rgb`, filled
  // in `ink`; one that is the primitive just before it again is left out.
  void Dot(int32_t pen, QRgb rgb, const QColor& ink, const QPointF& c, double r);
  // Anything else painted: the next line or disc repeats no primitive.
  void Break() { last_ = {}; }

  // Paints what waits, strokes first (pen by pen, in the order they came)
  // then points, under the painter's transform, which is to be the device's;
  // the painter's pen and brush are left changed.
  void Flush();
  // Whether the waiting ink has grown to what is painted at once.
  bool Full() const { return elements_ >= kMaxElements; }

 private:
  // About 10,000 lines or 2,000 points: a path a reader draws at once, and
  // a few hundred kilobytes held here.
  static constexpr size_t kMaxElements = 20000;
  // The length of a point's line, in device units (the writer's 1,200 to
  // the inch): long enough to stay a line in the path and in the file's
  // nine digits, too short to show.
  static constexpr double kDotLength = 0.01;

  struct TStrokes {
    int32_t Pen = -1;
    // Straight strokes and curved ones of one pen go in paths of their own:
    // readers snap a thin stroke to the pixel grid only in a path without
    // curves, so a line sharing a path with an arc would show as two grey
    // pixels instead of one black one.
    bool Curved = false;
    const QPen* Q = nullptr;
    QPainterPath Path;
  };
  // The primitive just before, to leave out one that repeats it.
  struct TLast {
    int Kind = 0;  // 0 none, 1 line, 2 dot
    int32_t Pen = -1;
    double V[4] = {0, 0, 0, 0};
    bool Is(int kind, int32_t pen, double a, double b, double c, double d) const {
      return Kind == kind && Pen == pen && V[0] == a && V[1] == b && V[2] == c && V[3] == d;
    }
  };
  QPainterPath& StrokesOf(int32_t pen, const QPen* q, QRgb rgb, bool curved);

  QPainter& p_;
  QRgb rgb_ = 0;                   // the colour of all that waits
  std::vector<TStrokes> strokes_;  // by pen, in the order they came
  size_t lastStrokes_ = 0;         // the one added to last
  // The points by radius, each a line too short to show (kDotLength) with
  // round ends as wide as the point: a fifth of the bytes of a disc's
  // curves.
  struct TDots {
    double Radius = 0;
    QPainterPath Path;
  };
  std::vector<TDots> dots_;
  QColor dotInk_;                  // what they are filled in
  size_t elements_ = 0;            // of all the waiting paths
  TLast last_;
};

}  // namespace quorvex
