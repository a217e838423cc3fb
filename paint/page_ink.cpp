#include "paint/page_ink.h"

#include <utility>

namespace quorvex {

namespace {

bool HasCurves(const QPainterPath& path) {
  for (int i = 0; i < path.elementCount(); ++i)
    if (path.elementAt(i).isCurveTo()) return true;
  return false;
}

}  // namespace

QPainterPath& TPageInk::StrokesOf(int32_t pen, const QPen* q, QRgb rgb, bool curved) {
  rgb_ = rgb;
  if (lastStrokes_ < strokes_.size() && strokes_[lastStrokes_].Pen == pen && strokes_[lastStrokes_].Curved == curved)
    return strokes_[lastStrokes_].Path;
  for (size_t i = 0; i < strokes_.size(); ++i) {
    if (strokes_[i].Pen == pen && strokes_[i].Curved == curved) {
      lastStrokes_ = i;
      return strokes_[i].Path;
    }
  }
  lastStrokes_ = strokes_.size();
  strokes_.push_back({pen, curved, q, QPainterPath()});
  return strokes_.back().Path;
}

void TPageInk::Line(int32_t pen, const QPen* q, QRgb rgb, const QPointF& a, const QPointF& b) {
  if (last_.Is(1, pen, a.x(), a.y(), b.x(), b.y())) return;
  last_ = {1, pen, {a.x(), a.y(), b.x(), b.y()}};
  QPainterPath& path = StrokesOf(pen, q, rgb, false);
  path.moveTo(a);
  path.lineTo(b);
  elements_ += 2;
}

void TPageInk::Outline(int32_t pen, const QPen* q, QRgb rgb, const QPainterPath& outline) {
  last_ = {};
  StrokesOf(pen, q, rgb, HasCurves(outline)).addPath(outline);
  elements_ += static_cast<size_t>(outline.elementCount());
}

void TPageInk::Dot(int32_t pen, QRgb rgb, const QColor& ink, const QPointF& c, double r) {
  if (last_.Is(2, pen, c.x(), c.y(), r, 0)) return;
  last_ = {2, pen, {c.x(), c.y(), r, 0}};
  rgb_ = rgb;
  dotInk_ = ink;
  if (dots_.empty() || dots_.back().Radius != r) {
    size_t i = 0;
    while (i < dots_.size() && dots_[i].Radius != r) ++i;
    if (i == dots_.size()) dots_.push_back({r, QPainterPath()});
    if (i + 1 != dots_.size()) std::swap(dots_[i], dots_.back());
  }
  // A line of no length would be left out of the path (QPainterPath drops
  // a line to the point it is at): this one is a hundredth of a device
  // unit long, far below anything that shows, and its round ends make the
  // disc.
  dots_.back().Path.moveTo(c);
  dots_.back().Path.lineTo(c.x() + kDotLength, c.y());
  elements_ += 2;
}

void TPageInk::Flush() {
  for (TStrokes& s : strokes_) {
    p_.setPen(*s.Q);
    p_.setBrush(Qt::NoBrush);
    p_.drawPath(s.Path);
  }
  strokes_.clear();
  lastStrokes_ = 0;
  for (const TDots& d : dots_) {
    QPen pen(dotInk_, 2 * d.Radius, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    pen.setCosmetic(true);
    p_.setPen(pen);
    p_.setBrush(Qt::NoBrush);
    p_.drawPath(d.Path);
  }
  dots_.clear();
  elements_ = 0;
}

}  // namespace quorvex
