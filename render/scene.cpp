#include "render/scene.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "jww/kinds.h"
#include "jww/shapes.h"
#include "render/style.h"
#include "text/utf8.h"

namespace quorvex {
namespace {

constexpr double kTwoPi = 2 * std::numbers::pi;
constexpr double kDegree = std::numbers::pi / 180;

// Collects the primitives of one figure: begun before its primitives are
// added, done after.
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
  bool Empty() const { return g_.Prims.size() == f_.First; }
  TGroup& g_;
  TFigure f_;
};

class TSceneBuilder {
 public:
  TSceneBuilder(const TJwwData& d, const TRenderOptions& o, TScene& s)
      : d_(d),
        o_(o),
        s_(s),
        index_(d.Definitions()),
        styles_(d, o.Attributes, o.HighlightRgb, s.Pens),
        images_(o.Images, o.ImageBudget, s.Images) {
    defCount_ = static_cast<int32_t>(d_.Definitions().size());
  }

  void Run() {
    s_.Groups.emplace_back();
    const TAppendStart none;
    BuildGroup(0, d_, d_.Header.EntityCount, o_.Exploded ? o_.Exploded->Drawing : none);
    WalkPlacements();
    s_.Extents = s_.Groups[0].Box.Empty() ? s_.Groups[0].HiddenBox : s_.Groups[0].Box;
  }

 private:
  // ---- primitives ----

  void AddLine(TGroup& g, TBox& box, const TEntJwwLine& l, bool exploded) {
    if (!Finite(l.StartX, l.StartY, l.EndX, l.EndY)) return;
    TPrimitive p;
    p.Kind = TPrimKind::kLine;
    p.Marks = exploded ? kMarkExploded : 0;
    p.Pen = styles_.StrokePen(l, exploded);
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
    p.Pen = styles_.StrokePen(a, false);
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
    p.Pen = styles_.FillPen(exploded ? styles_.HighlightRgb() : styles_.ColorOf(pt.PenColor));
    p.P[0] = {pt.X, pt.Y};
    p.Radius = styles_.DotRadius(pt.PenColor, exploded, temporary);
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
    p.Pen = styles_.FillPen(styles_.ColorOf(t.PenColor));
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
    p.Pen = styles_.StrokePen(t, false);
    p.Frame = frame;
    p.Ref = images_.ImageFor(t.Text);
    TBox unit;
    unit.Add({0, 0});
    unit.Add({1, 1});
    box.Add(unit, frame);
    g.Prims.push_back(p);
    return true;
  }

  // ---- figures, one per entity kind ----

  void Figure(TGroup& g, TBox& box, const TEntJwwLine& l, int32_t i, const TAppendStart& start) {
    TFigureScope f(g, TFigureKind::kLine);
    const bool exploded = i >= start.Line;
    AddLine(g, box, l, exploded);
    if (f.Done(exploded ? kMarkExploded : 0) && exploded) ++s_.ExplodedLines;
  }

  void Figure(TGroup& g, TBox& box, const TEntJwwArc& a, int32_t, const TAppendStart&) {
    TFigureScope f(g, TFigureKind::kArc);
    AddArc(g, box, a);
    f.Done();
  }

  void Figure(TGroup& g, TBox& box, const TEntJwwPoint& pt, int32_t i, const TAppendStart& start) {
    TFigureScope f(g, TFigureKind::kPoint);
    const bool exploded = i >= start.Point;
    const bool temporary = pt.Temporary != 0;
    AddDot(g, box, pt, exploded, temporary);
    const auto marks = static_cast<uint8_t>((exploded ? kMarkExploded : 0) | (temporary ? kMarkTemporary : 0));
    if (f.Done(marks) && exploded) ++s_.ExplodedPoints;
  }

  void Figure(TGroup& g, TBox& box, const TEntJwwText& t, int32_t, const TAppendStart&) {
    TFigureScope f(g, TFigureKind::kText);
    AddText(g, box, t);
    f.Done(0, !f.Empty() && g.Prims.back().Kind == TPrimKind::kImage);
  }

  void Figure(TGroup& g, TBox& box, const TEntJwwDimension& dim, int32_t, const TAppendStart&) {
    TFigureScope f(g, TFigureKind::kDim);
    AddLine(g, box, dim.DimLine, false);
    if (!dim.ValueText.Text.Empty()) AddText(g, box, dim.ValueText);
    if (d_.Header.Version >= kVersionExtended && dim.PartsFlag != 0) {
      for (const TEntJwwLine* l : {&dim.AuxLine1, &dim.AuxLine2})
        if (AuxLineHasLength(*l)) AddLine(g, box, *l, false);
      AddDot(g, box, dim.Point1, false, dim.Point1.Temporary != 0);
      AddDot(g, box, dim.Point2, false, dim.Point2.Temporary != 0);
      AddDot(g, box, dim.AuxPoint1, false, true);
      AddDot(g, box, dim.AuxPoint2, false, true);
    }
    f.Done();
  }

  void Figure(TGroup& g, TBox& box, const TEntJwwSolid& so, int32_t, const TAppendStart&) {
    if (!Finite(so.X1, so.Y1, so.X2, so.Y2, so.X3, so.Y3, so.X4, so.Y4)) return;
    TFigureScope f(g, TFigureKind::kSolid);
    TPrimitive p;
    p.Kind = TPrimKind::kPolygon;
    p.Pen = styles_.FillPen(so.PenColor == 10 ? RgbOfStored(so.Color) : styles_.ColorOf(so.PenColor));
    p.P[0] = {so.X1, so.Y1}, p.P[1] = {so.X2, so.Y2}, p.P[2] = {so.X3, so.Y3}, p.P[3] = {so.X4, so.Y4};
    for (const TPt& q : p.P) box.Add(q);
    g.Prims.push_back(p);
    f.Done();
  }

  // A placement keeps the index of its definition in Ref until the walk
  // links it to the definition's group.
  void Figure(TGroup& g, TBox&, const TEntJwwBlockRef& r, int32_t, const TAppendStart&) {
    const int32_t def = index_.Find(r.BlockNumber);
    const TAffine frame = TAffine::Placement(r.RefX, r.RefY, r.ScaleX, r.ScaleY, r.Angle);
    if (def < 0 || def >= defCount_ || !frame.Finite()) return;
    TFigureScope f(g, TFigureKind::kBlock);
    TPrimitive p;
    p.Kind = TPrimKind::kPlace;
    p.Ref = def;
    p.Frame = frame;
    g.Prims.push_back(p);
    f.Done();
  }

  // Builds the figures of one container into group `gi`.
  void BuildGroup(size_t gi, const TEntJwwStore& s, int32_t entityCount, const TAppendStart& start) {
    TBox shownBox, hiddenBox;
    const size_t items = std::min(s.EntityOrder.size(), static_cast<size_t>(std::max(entityCount, 0)));
    for (size_t k = 0; k < items; ++k) {
      TGroup& g = s_.Groups[gi];
      const TEntJwwListItem item = s.EntityOrder[k];
      const size_t firstFigure = g.Figures.size();
      bool hidden = false;
      // An item whose code names no kind (0: a removed dimension) stands
      // for nothing. Indexes are checked against the arrays, as the writer
      // does: after an explode DimCount counts the live dimensions, not the
      // records.
      WithKind(item.Kind, [&](auto kind) {
        const auto& records = RecordsOf<decltype(kind)>(s);
        if (item.Index < 0 || static_cast<size_t>(item.Index) >= records.size()) return;
        const auto& record = records[static_cast<size_t>(item.Index)];
        // The drawing's own entities on a hidden layer or layer group are
        // kept but not shown (inside a block the insertion's layer counts).
        hidden = gi == 0 && HiddenLayer(record);
        Figure(g, hidden ? hiddenBox : shownBox, record, item.Index, start);
      });
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
  TStyles styles_;
  TImageCache images_;
};

}  // namespace

TExplodeStart ExplodeStart(const TJwwData& d) {
  TExplodeStart s;
  s.Drawing = {d.LineCount, d.PointCount};
  for (const TEntJwwBlockDef& def : d.Definitions()) s.Defs.push_back({def.LineCount, def.PointCount});
  return s;
}

TScene BuildScene(const TJwwData& d, const TRenderOptions& options) {
  TScene scene;
  TSceneBuilder(d, options, scene).Run();
  return scene;
}

}  // namespace quorvex
