#include "render/primitives.h"

#include <algorithm>
#include <mutex>
#include <numbers>

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
  // Most placements are not turned: the cosine and sine of +0 are 1 and +0.
  const bool plain = angle == 0 && !std::signbit(angle);
  const double c = plain ? 1.0 : std::cos(angle), s = plain ? 0.0 : std::sin(angle);
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

namespace {

// A point of the arc at angle t, its tilt's cosine c and sine s given.
TPt ArcPointTilted(const TPrimitive& a, double t, double c, double s) {
  const double x = a.RadiusX * std::cos(t), y = a.RadiusY * std::sin(t);
  return {a.P[0].X + c * x - s * y, a.P[0].Y + s * x + c * y};
}

constexpr double kWholeTurn = 2 * std::numbers::pi;
constexpr int kMostTurnSteps = 256;

// The cosines (X) and sines (Y) of the angles at which a whole turn from
// 0 is cut into n steps, the angles computed as ArcPoints computes them
// (start + sweep * i / n), so that a point made from them is the same to
// the last bit; and the steps of the least and the greatest cosine and
// sine (the first of equal ones). Made once for each n: every whole circle
// and ellipse of a drawing has the same angles, which then cost no cosine
// or sine each.
struct TTurn {
  std::vector<TPt> Steps;
  int LeastX = 0, MostX = 0, LeastY = 0, MostY = 0;
};

const TTurn& TurnSteps(int n) {
  static std::once_flag made[kMostTurnSteps + 1];
  static TTurn turns[kMostTurnSteps + 1];
  std::call_once(made[n], [n] {
    TTurn& turn = turns[n];
    const double start = 0, sweep = kWholeTurn;
    for (int i = 0; i <= n; ++i) {
      const double t = start + sweep * i / n;
      turn.Steps.push_back({std::cos(t), std::sin(t)});
      const TPt& u = turn.Steps.back();
      if (u.X < turn.Steps[static_cast<size_t>(turn.LeastX)].X) turn.LeastX = i;
      if (u.X > turn.Steps[static_cast<size_t>(turn.MostX)].X) turn.MostX = i;
      if (u.Y < turn.Steps[static_cast<size_t>(turn.LeastY)].Y) turn.LeastY = i;
      if (u.Y > turn.Steps[static_cast<size_t>(turn.MostY)].Y) turn.MostY = i;
    }
  });
  return turns[n];
}

// Whether ForArcPoints takes the arc's points from TurnSteps(segments).
bool WholeTurn(const TPrimitive& a, int segments) {
  return a.Start == 0 && a.Sweep == kWholeTurn && segments <= kMostTurnSteps;
}

// The point of a whole ellipse at a step of its turn; c and s are the
// cosine and sine of its tilt.
TPt TurnPoint(const TPrimitive& a, const TPt& u, double c, double s) {
  const double x = a.RadiusX * u.X, y = a.RadiusY * u.Y;
  return {a.P[0].X + c * x - s * y, a.P[0].Y + s * x + c * y};
}

// Calls f with each point of ArcPoints(a, segments), in order.
template <class F>
void ForArcPoints(const TPrimitive& a, int segments, F&& f) {
  segments = std::max(segments, 1);
  const double c = std::cos(a.Tilt), s = std::sin(a.Tilt);
  if (WholeTurn(a, segments)) {
    for (const TPt& u : TurnSteps(segments).Steps) f(TurnPoint(a, u, c, s));
    return;
  }
  for (int i = 0; i <= segments; ++i) f(ArcPointTilted(a, a.Start + a.Sweep * i / segments, c, s));
}

}  // namespace

TPt ArcPoint(const TPrimitive& a, double t) { return ArcPointTilted(a, t, std::cos(a.Tilt), std::sin(a.Tilt)); }

std::vector<TPt> ArcPoints(const TPrimitive& a, int segments) {
  std::vector<TPt> out;
  out.reserve(static_cast<size_t>(std::max(segments, 1)) + 1);
  ForArcPoints(a, segments, [&](TPt p) { out.push_back(p); });
  return out;
}

TBox ArcPointsBox(const TPrimitive& a, int segments) {
  TBox box;
  // An untilted whole ellipse (most circles): a point's x only grows with
  // its step's cosine and its y with its sine, as rounding keeps the order
  // of products by a radius not below 0 and of sums, so that the box is
  // that of the four points of the least and greatest cosine and sine. An
  // edge of 0 is left to the whole walk, whose first point of that edge
  // tells the sign of the zero.
  const int steps = std::max(segments, 1);
  if (a.Tilt == 0 && a.RadiusX >= 0 && a.RadiusY >= 0 && WholeTurn(a, steps)) {
    const TTurn& turn = TurnSteps(steps);
    const double c = 1, s = a.Tilt;  // the cosine and sine of a tilt of +0 or -0
    bool finite = true;
    for (int i : {turn.LeastX, turn.MostX, turn.LeastY, turn.MostY}) {
      const TPt p = TurnPoint(a, turn.Steps[static_cast<size_t>(i)], c, s);
      finite = finite && Finite(p.X, p.Y);
      box.Add(p);
    }
    if (finite && box.MinX != 0 && box.MaxX != 0 && box.MinY != 0 && box.MaxY != 0) return box;
    box = TBox();
  }
  ForArcPoints(a, segments, [&](TPt p) { box.Add(p); });
  return box;
}

}  // namespace quorvex
