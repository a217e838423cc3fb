#include "render/primitives.h"

#include <algorithm>

namespace quorvex {

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

}  // namespace quorvex
