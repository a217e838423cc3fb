#include "render/scene.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <functional>
#include <numbers>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <unordered_set>
#include <utility>

#include "jww/kinds.h"
#include "jww/layers.h"
#include "jww/shapes.h"
#include "render/style.h"
#include "render/textlayout.h"
#include "text/utf8.h"

namespace quorvex {
namespace {

constexpr double kTwoPi = 2 * std::numbers::pi;
constexpr double kDegree = std::numbers::pi / 180;
// A drawing of at least this many items of its own is measured in two
// halves at once (with TRenderOptions::TwoThreads).
constexpr size_t kItemsForTwoThreads = 1 << 14;

}  // namespace

class TSceneBuilder {
 public:
  TSceneBuilder(const TJwwData& d, const TRenderOptions& o)
      : d_(d),
        o_(o),
        index_(d.Definitions()),
        styles_(d, o.Attributes, o.Colors, o.HighlightRgb, s_.Pens),
        images_(o.Images, o.ImageBudget, s_.Images) {
    defCount_ = static_cast<int32_t>(d_.Definitions().size());
    s_.Background = styles_.Background();
  }

  const TScene& Scene() const { return s_; }
  int64_t Undecoded() const { return undecoded_; }

  // The first pass: every figure of the drawing and of each definition it
  // reaches is built once to find the pens, images and extents, and the
  // definitions are numbered as groups in the order the walk reaches them
  // (depth first from the drawing). A placement of a definition that is
  // still open on the walk would place it inside itself: it is left out.
  // Boxes are finished bottom-up.
  void Measure() {
    enum : uint8_t { kUnseen, kOpen, kDone };
    std::vector<uint8_t> state(static_cast<size_t>(defCount_), kUnseen);
    groupOf_.assign(static_cast<size_t>(defCount_), -1);
    struct TOpen {
      size_t Group;
      std::vector<TPlace> Places;
      size_t Next = 0;
    };
    std::vector<TOpen> stack;
    TFigure figure;
    // Builds every figure of a group for its boxes and keeps its placements.
    auto open = [&](size_t gi) {
      const TContainer c = ContainerOf(gi);
      const bool boxes = gi == 0 && o_.ItemBoxes;
      if (boxes) {
        s_.ItemBoxes.assign(c.Items, TBox());
        s_.ItemLayers.assign(c.Items, 255);
        s_.ItemRgb.assign(c.Items, kNoItemRgb);
        s_.ItemLinePen.assign(c.Items, -1);
      }
      TMeasured m;
      if (boxes && o_.TwoThreads && c.Items >= kItemsForTwoThreads) MeasureInHalves(c, figure, m);
      else MeasureItems(gi, c, 0, c.Items, boxes ? &s_ : nullptr, figure, m);
      s_.Groups[gi].Box = m.Shown;  // own primitives; placements are added when the group is done
      s_.Groups[gi].HiddenBox = m.Hidden;
      stack.push_back({gi, std::move(m.Places)});
    };
    measuring_ = true;
    s_.Groups.emplace_back();
    open(0);
    while (!stack.empty()) {
      TOpen& f = stack.back();
      if (f.Next < f.Places.size()) {
        TPlace& p = f.Places[f.Next++];
        const size_t def = static_cast<size_t>(p.Def);
        if (state[def] == kOpen) {
          dropped_.insert(DropKey(f.Group, p.Item));
          p.Def = -1;
        } else if (state[def] == kUnseen) {
          const size_t gi = s_.Groups.size();
          groupOf_[def] = static_cast<int32_t>(gi);
          state[def] = kOpen;
          s_.Groups.emplace_back();
          s_.Groups[gi].DefIndex = static_cast<int32_t>(def);
          Decode(d_.BlockDefs[def].Name, s_.Groups[gi].Name);
          open(gi);  // f is not used after this
        }
        continue;
      }
      TGroup& g = s_.Groups[f.Group];
      const TContainer c = ContainerOf(f.Group);
      for (const TPlace& p : f.Places) {
        if (p.Def < 0) continue;
        const TEntJwwBlockRef& r = c.Store->BlockRefs[static_cast<size_t>(c.Store->EntityOrder[p.Item].Index)];
        const TAffine frame = TAffine::Placement(r.RefX, r.RefY, r.ScaleX, r.ScaleY, r.Angle);
        (f.Group == 0 && HiddenLayer(r) ? g.HiddenBox : g.Box).Add(s_.Groups[groupOf_[p.Def]].Box, frame);
        if (f.Group == 0 && o_.ItemBoxes) s_.ItemBoxes[p.Item].Add(s_.Groups[groupOf_[p.Def]].Box, frame);
      }
      if (g.DefIndex >= 0) state[static_cast<size_t>(g.DefIndex)] = kDone;
      stack.pop_back();
    }
    measuring_ = false;
    s_.ImagesNotShown = images_.Unshown();
    s_.Extents = s_.Groups[0].Box.Empty() ? s_.Groups[0].HiddenBox : s_.Groups[0].Box;
  }

  // The second pass, a figure at a time: the next figure of a group from
  // its item `item` on, with its placements linked to their groups.
  bool Next(size_t group, size_t& item, TFigure& out) {
    if (group >= s_.Groups.size()) return false;
    const TContainer c = ContainerOf(group);
    while (item < c.Items) {
      const size_t k = item++;
      if (!Build(group, c, k, out, nullptr, nullptr)) continue;
      for (TPrimitive& p : out.Prims)
        if (p.Kind == TPrimKind::kPlace)
          p.Ref = !dropped_.empty() && dropped_.count(DropKey(group, k)) ? -1 : groupOf_[static_cast<size_t>(p.Ref)];
      return true;
    }
    return false;
  }

  // The figure of item k of the drawing's own list alone.
  bool DrawingItem(size_t k, TFigure& out) {
    if (s_.Groups.empty()) return false;
    const TContainer c = ContainerOf(0);
    if (k >= c.Items || !Build(0, c, k, out, nullptr, nullptr)) return false;
    for (TPrimitive& p : out.Prims)
      if (p.Kind == TPrimKind::kPlace)
        p.Ref = !dropped_.empty() && dropped_.count(DropKey(0, k)) ? -1 : groupOf_[static_cast<size_t>(p.Ref)];
    return true;
  }

 private:
  // The entities of a group: the drawing's or a definition's store, the
  // number of its order list's items in use, and where the explode began
  // to append in it.
  struct TContainer {
    const TEntJwwStore* Store;
    size_t Items;
    TAppendStart Start;
    const TAppendStart* Before;  // drawn as before the explode that began here; null: as it is
  };

  TContainer ContainerOf(size_t group) const {
    const TAppendStart none;
    if (group == 0) {
      const size_t items = std::min(d_.EntityOrder.size(), static_cast<size_t>(std::max(d_.Header.EntityCount, 0)));
      return {&d_, items, o_.Exploded ? o_.Exploded->Drawing : none,
              o_.Unexploded ? &o_.Unexploded->Drawing : nullptr};
    }
    const size_t def = static_cast<size_t>(s_.Groups[group].DefIndex);
    const TEntJwwBlockDef& bd = d_.BlockDefs[def];
    const size_t items = std::min(bd.EntityOrder.size(), static_cast<size_t>(std::max(bd.EntityCount, 0)));
    const bool unexploded = o_.Unexploded && def < o_.Unexploded->Defs.size();
    return {&bd, items, o_.Exploded && def < o_.Exploded->Defs.size() ? o_.Exploded->Defs[def] : none,
            unexploded ? &o_.Unexploded->Defs[def] : nullptr};
  }

  // A placement in a group: its item and the definition it places (-1:
  // left out). Its frame and layer are looked up again when the group is
  // done, so that a drawing of many insertions costs little more here.
  struct TPlace {
    uint32_t Item;
    int32_t Def;
  };
  // What the figures of a run of a group's items grow and place.
  struct TMeasured {
    TBox Shown, Hidden;  // the extents of their primitives, on shown and on hidden layers
    std::vector<TPlace> Places;
  };

  // Builds the figures of items [from, to) of a group for what they grow
  // and place, into `m`; and for the drawing's own items, when `items` is
  // given, each one's box, layer, colour and line pen into its lists.
  void MeasureItems(size_t gi, const TContainer& c, size_t from, size_t to, TScene* items, TFigure& figure,
                    TMeasured& m) {
    for (size_t k = from; k < to; ++k) {
      item_ = items ? &items->ItemBoxes[k] : nullptr;
      const bool drawn = Build(gi, c, k, figure, &m.Shown, &m.Hidden);
      item_ = nullptr;
      if (!drawn) continue;
      if (items && figure.LayerGroup < 16 && figure.Layer < 16)
        items->ItemLayers[k] = static_cast<uint8_t>(figure.LayerGroup * 16 + figure.Layer);
      if (items) items->ItemRgb[k] = ColourOfItem(figure);
      if (items && figure.Prims.size() == 1 && figure.Prims[0].Kind == TPrimKind::kLine &&
          !(figure.Prims[0].Marks & kMarkTemporary))
        items->ItemLinePen[k] = figure.Prims[0].Pen;
      for (const TPrimitive& p : figure.Prims)
        if (p.Kind == TPrimKind::kPlace) m.Places.push_back({static_cast<uint32_t>(k), p.Ref});
    }
  }

  // MeasureItems over all of the drawing's own items, the second half on
  // another thread by a builder of its own, whose findings are then joined
  // as if this one had gone on: its pens, new ones in the order it met
  // them, take the numbers this builder gives them; the images its texts
  // name are looked up here in their order; its extents and placements
  // follow this half's. The scene is the one a single pass makes.
  void MeasureInHalves(const TContainer& c, TFigure& figure, TMeasured& m) {
    const size_t half = c.Items / 2;
    TSceneBuilder other(d_, o_);
    other.measuring_ = true;
    std::vector<const JwwString*> imageTexts;
    other.imageTexts_ = &imageTexts;
    TMeasured second;
    TFigure otherFigure;
    std::exception_ptr failed;  // the other thread's (out of memory), thrown here
    auto measureSecond = [&] {
      try {
        other.MeasureItems(0, c, half, c.Items, &s_, otherFigure, second);
      } catch (...) {
        failed = std::current_exception();
      }
    };
    std::thread thread;
    try {
      thread = std::thread(measureSecond);
    } catch (const std::system_error&) {
      measureSecond();  // no thread to be had: this one does it
    }
    try {
      MeasureItems(0, c, 0, half, &s_, figure, m);
    } catch (...) {
      if (thread.joinable()) thread.join();
      throw;
    }
    if (thread.joinable()) thread.join();
    if (failed) std::rethrow_exception(failed);
    std::vector<int32_t> pens(other.s_.Pens.size());
    for (size_t i = 0; i < pens.size(); ++i) pens[i] = styles_.PenOf(other.s_.Pens[i]);
    for (size_t k = half; k < c.Items; ++k)
      if (s_.ItemLinePen[k] >= 0) s_.ItemLinePen[k] = pens[static_cast<size_t>(s_.ItemLinePen[k])];
    for (const JwwString* text : imageTexts) images_.ImageFor(*text);
    // A box's least and greatest corners are the first points of the
    // second half to reach its edges: adding them is adding its points.
    for (auto [box, more] : {std::pair(&m.Shown, &second.Shown), std::pair(&m.Hidden, &second.Hidden)}) {
      if (more->Empty()) continue;
      box->Add({more->MinX, more->MinY});
      box->Add({more->MaxX, more->MaxY});
    }
    m.Places.insert(m.Places.end(), second.Places.begin(), second.Places.end());
    undecoded_ += other.undecoded_;
    s_.ExplodedLines += other.s_.ExplodedLines;
    s_.ExplodedPoints += other.s_.ExplodedPoints;
  }

  // The one colour a figure is drawn in, when it is one of plain
  // strokes and fills; for one of several colours or with faint points
  // too, its first colour not faint marked kSeveralRgb; kNoItemRgb for
  // placements, images and figures of faint points only.
  uint32_t ColourOfItem(const TFigure& f) const {
    uint32_t rgb = kNoItemRgb;
    bool several = false;
    for (const TPrimitive& p : f.Prims) {
      if (p.Kind == TPrimKind::kPlace || p.Kind == TPrimKind::kImage) return kNoItemRgb;
      if (p.Marks & kMarkTemporary) {
        several = true;
        continue;
      }
      const uint32_t c = s_.Pens[static_cast<size_t>(p.Pen)].Rgb;
      if (rgb == kNoItemRgb) rgb = c;
      else if (c != rgb) several = true;
    }
    return rgb != kNoItemRgb && several ? rgb | kSeveralRgb : rgb;
  }

  static uint64_t DropKey(size_t group, size_t item) { return (static_cast<uint64_t>(group) << 32) | item; }

  // Builds the figure of item k of a group into `out`; false when it has
  // no primitives. The extents grow in *shown or *hidden when given.
  bool Build(size_t group, const TContainer& c, size_t k, TFigure& out, TBox* shown, TBox* hidden) {
    out.Prims.clear();
    out.Texts.clear();
    out.Marks = 0;
    out.IsImage = false;
    out.LayerGroup = out.Layer = 0;
    TEntJwwListItem item = c.Store->EntityOrder[k];
    if (c.Before) {
      // The reader makes no item of kind 0: each is a dimension the
      // explode removed. What it appended was not there before.
      if (item.Kind == kNone) item.Kind = kDimension;
      else if ((item.Kind == kLine && item.Index >= c.Before->Line) ||
               (item.Kind == kPoint && item.Index >= c.Before->Point))
        return false;
    }
    bool onHiddenLayer = false;
    // An item whose code names no kind (0: a removed dimension) stands for
    // nothing. Indexes are checked against the arrays, as the writer does:
    // after an explode DimCount counts the live dimensions, not the records.
    WithListedRecord(*c.Store, item, [&](const auto& record) {
      // The drawing's own entities on a hidden layer or layer group are
      // kept but not shown (inside a block the insertion's layer counts).
      onHiddenLayer = group == 0 && HiddenLayer(record);
      out.LayerGroup = record.LayerGroup;
      out.Layer = record.Layer;
      box_ = onHiddenLayer ? hidden : shown;
      Figure(out, record, item.Index, c.Start);
    });
    if (out.Prims.empty()) return false;
    if (onHiddenLayer) {
      out.Marks |= kMarkHidden;
      for (TPrimitive& p : out.Prims) p.Marks |= kMarkHidden;
    }
    return true;
  }

  // A drawing's string as UTF-8, counting those whose characters the
  // missing Shift-JIS converter turned into replacements. A drawing
  // repeats its short texts ("100") and its font names: a narrow one is
  // converted once while it stays in a table of the latest.
  void Decode(const JwwString& s, std::string& out) {
    const std::string_view bytes = s.Bytes();
    if (s.IsWide() || bytes.empty() || bytes.size() > kMostDecodedBytes) {
      if (!ToUtf8(s, out)) ++undecoded_;
      return;
    }
    if (decoded_.empty()) decoded_.resize(kDecodedSlots);
    TDecoded& slot = decoded_[std::hash<std::string_view>{}(bytes) % decoded_.size()];
    if (!slot.Made || slot.Bytes != bytes) {
      slot.Made = true;
      slot.Bytes.assign(bytes);
      slot.Decoded = ToUtf8(s, slot.Utf8);
    }
    out = slot.Utf8;
    if (!slot.Decoded) ++undecoded_;
  }
  struct TDecoded {
    bool Made = false;
    bool Decoded = false;  // ToUtf8's answer
    std::string Bytes, Utf8;
  };
  static constexpr size_t kMostDecodedBytes = 64;
  static constexpr size_t kDecodedSlots = 1024;

  void Grow(TPt p) {
    if (box_) box_->Add(p);
    if (item_) item_->Add(p);
  }
  void Grow(const TBox& box, const TAffine& m) {
    if (box_) box_->Add(box, m);
    if (item_) item_->Add(box, m);
  }
  void GrowByArc(const TPrimitive& arc) {
    if (!box_ && !item_) return;
    const TBox box = ArcPointsBox(arc, 64);
    if (box.Empty()) return;
    Grow({box.MinX, box.MinY});
    Grow({box.MaxX, box.MaxY});
  }

  // ---- primitives ----

  // The ellipse of an arc or a sector: the radius along the tilt and the
  // flatness across it, angles in radians. A sweep all round (or `full`)
  // makes a whole ellipse.
  static void SetEllipse(TPrimitive& p, double cx, double cy, double radius, double flatness, double tilt,
                         double start, double sweep, bool full) {
    p.P[0] = {cx, cy};
    p.RadiusX = std::abs(radius);
    p.RadiusY = std::abs(radius * flatness);
    p.Tilt = std::fmod(tilt, kTwoPi);
    p.Full = full || std::abs(sweep) >= kTwoPi - 1e-9;
    p.Start = p.Full ? 0 : std::fmod(start, kTwoPi);
    p.Sweep = p.Full ? kTwoPi : sweep;
  }

  void AddLine(TFigure& out, const TEntJwwLine& l, bool exploded) {
    if (!Finite(l.StartX, l.StartY, l.EndX, l.EndY)) return;
    TPrimitive& p = out.Prims.emplace_back();  // made in place: most primitives are lines and dots
    p.Kind = TPrimKind::kLine;
    p.Marks = exploded ? kMarkExploded : 0;
    p.Pen = styles_.StrokePen(l, exploded);
    p.P[0] = {l.StartX, l.StartY};
    p.P[1] = {l.EndX, l.EndY};
    Grow(p.P[0]);
    Grow(p.P[1]);
  }

  void AddArc(TFigure& out, const TEntJwwArc& a) {
    if (!Finite(a.CenterX, a.CenterY, a.Radius, a.StartAngle, a.ArcAngle, a.TiltAngle, a.Flatness)) return;
    if (!Finite(a.Radius * a.Flatness)) return;
    TPrimitive& p = out.Prims.emplace_back();
    p.Kind = TPrimKind::kArc;
    p.Pen = styles_.StrokePen(a, false);
    SetEllipse(p, a.CenterX, a.CenterY, a.Radius, a.Flatness, a.TiltAngle, a.StartAngle, a.ArcAngle,
               a.FullCircle != 0);
    GrowByArc(p);
  }

  void AddDot(TFigure& out, const TEntJwwPoint& pt, bool exploded, bool temporary) {
    if (!Finite(pt.X, pt.Y)) return;
    TPrimitive& p = out.Prims.emplace_back();
    p.Kind = TPrimKind::kDot;
    p.Marks = static_cast<uint8_t>((exploded ? kMarkExploded : 0) | (temporary ? kMarkTemporary : 0));
    p.Pen = styles_.FillPen(exploded ? styles_.HighlightRgb() : styles_.ColorOf(pt.PenColor));
    p.P[0] = {pt.X, pt.Y};
    p.Radius = styles_.DotRadius(pt.PenColor, exploded, temporary);
    Grow(p.P[0]);
    // Its item's box holds the whole dot, for a painter that draws small
    // items as one pixel.
    if (item_ && Finite(p.Radius)) {
      item_->Add({pt.X - p.Radius, pt.Y - p.Radius});
      item_->Add({pt.X + p.Radius, pt.Y + p.Radius});
    }
  }

  // A text: its run, or for an image text the image. The first pass needs
  // no characters.
  void AddText(TFigure& out, const TEntJwwText& t) {
    if (!Finite(t.StartX, t.StartY, t.EndX, t.EndY, t.SizeX, t.SizeY, t.Spacing, t.Angle)) return;
    const double angle = std::fmod(t.Angle, 360.0) * kDegree;
    TAffine frame = TAffine::Placement(t.StartX, t.StartY, 1, 1, angle);
    if (StartsWithImageMark(t.Text)) return AddImage(out, t, frame);
    if (t.SizeY <= 0) return;
    TPrimitive& p = out.Prims.emplace_back();
    p.Kind = TPrimKind::kText;
    p.Pen = styles_.FillPen(styles_.ColorOf(t.PenColor));
    p.Frame = frame;
    if (!measuring_) {
      TTextRun run;
      Decode(t.Text, run.Text);
      Decode(t.FontName, run.Font);
      run.Height = t.SizeY;
      run.CharWidth = t.SizeX > 0 ? t.SizeX : t.SizeY;
      run.Spacing = t.Spacing;
      run.Fitted = FittedShare(std::hypot(t.EndX - t.StartX, t.EndY - t.StartY),
                               LaidOutWidth(run.Text, run.CharWidth, run.Spacing));
      p.Ref = static_cast<int32_t>(out.Texts.size());
      out.Texts.push_back(std::move(run));
    }
    // A text whose base line has no length is a note the CAD program keeps
    // out of the way (settings stored as texts): drawn, but it does not
    // widen the picture.
    const double length = std::hypot(t.EndX - t.StartX, t.EndY - t.StartY);
    if (length > 0 && Finite(length)) {
      TBox local;
      local.Add({0, 0});
      local.Add({length, t.SizeY});
      Grow(local, frame);
    } else if (item_) {
      // Its item's box all the same, as long as its characters would
      // reach (a narrow byte is half a full-width character, a wide unit
      // taken as a whole one), for a painter that draws only the items in
      // view.
      const double halves = static_cast<double>(t.Text.Length()) * (t.Text.IsWide() ? 2 : 1);
      TBox local;
      local.Add({0, 0});
      local.Add({halves * (t.SizeX > 0 ? t.SizeX : t.SizeY) / 2, t.SizeY});
      item_->Add(local, frame);
    }
  }

  void AddImage(TFigure& out, const TEntJwwText& t, TAffine frame) {
    const std::vector<double> v = ImageTextNumbers(t.Text);
    if (v.size() < 2 || !Finite(v[0], v[1]) || v[0] <= 0 || v[1] <= 0) return;
    frame = frame.After(TAffine::Placement(0, 0, v[0], v[1], 0));
    if (!frame.Finite()) return;
    TPrimitive p;
    p.Kind = TPrimKind::kImage;
    p.Pen = styles_.StrokePen(t, false);
    p.Frame = frame;
    // A builder measuring for another leaves the images to it, in order.
    if (imageTexts_) imageTexts_->push_back(&t.Text);
    else p.Ref = images_.ImageFor(t.Text);
    TBox unit;
    unit.Add({0, 0});
    unit.Add({1, 1});
    Grow(unit, frame);
    out.Prims.push_back(p);
  }

  // A round solid: a filled ellipse or sector; a shape code that means
  // anything else is drawn as the outline of the same ellipse or arc. Its
  // numbers are no corners: only the shape widens the picture.
  void AddRoundSolid(TFigure& out, const TEntJwwSolid& so, uint32_t rgb) {
    const TRoundSolid r = RoundSolidOf(so);
    if (!Finite(r.Radius * r.Flatness)) return;
    TPrimitive& p = out.Prims.emplace_back();
    const bool filled = r.Shape == kFilledRoundShape;
    p.Kind = filled ? TPrimKind::kSector : TPrimKind::kArc;
    p.Pen = filled ? styles_.FillPen(rgb) : styles_.OutlinePen(so, rgb);
    SetEllipse(p, r.CenterX, r.CenterY, r.Radius, r.Flatness, r.Tilt, r.Start, r.Sweep, false);
    GrowByArc(p);
    if (filled && !p.Full) Grow(p.P[0]);
  }

  // ---- figures, one per entity kind ----

  void Figure(TFigure& out, const TEntJwwLine& l, int32_t i, const TAppendStart& start) {
    out.Kind = TFigureKind::kLine;
    const bool exploded = i >= start.Line;
    AddLine(out, l, exploded);
    if (exploded) {
      out.Marks = kMarkExploded;
      if (measuring_ && !out.Prims.empty()) ++s_.ExplodedLines;
    }
  }

  void Figure(TFigure& out, const TEntJwwArc& a, int32_t, const TAppendStart&) {
    out.Kind = TFigureKind::kArc;
    AddArc(out, a);
  }

  void Figure(TFigure& out, const TEntJwwPoint& pt, int32_t i, const TAppendStart& start) {
    out.Kind = TFigureKind::kPoint;
    const bool exploded = i >= start.Point;
    const bool temporary = pt.Temporary != 0;
    AddDot(out, pt, exploded, temporary);
    out.Marks = static_cast<uint8_t>((exploded ? kMarkExploded : 0) | (temporary ? kMarkTemporary : 0));
    if (exploded && measuring_ && !out.Prims.empty()) ++s_.ExplodedPoints;
  }

  void Figure(TFigure& out, const TEntJwwText& t, int32_t, const TAppendStart&) {
    out.Kind = TFigureKind::kText;
    AddText(out, t);
    out.IsImage = !out.Prims.empty() && out.Prims.back().Kind == TPrimKind::kImage;
  }

  void Figure(TFigure& out, const TEntJwwDimension& dim, int32_t, const TAppendStart&) {
    out.Kind = TFigureKind::kDim;
    AddLine(out, dim.DimLine, false);
    if (!dim.ValueText.Text.Empty()) AddText(out, dim.ValueText);
    if (d_.Header.Version >= kVersionExtended && dim.PartsFlag != 0) {
      for (const TEntJwwLine* l : {&dim.AuxLine1, &dim.AuxLine2})
        if (AuxLineHasLength(*l)) AddLine(out, *l, false);
      AddDot(out, dim.Point1, false, dim.Point1.Temporary != 0);
      AddDot(out, dim.Point2, false, dim.Point2.Temporary != 0);
      AddDot(out, dim.AuxPoint1, false, true);
      AddDot(out, dim.AuxPoint2, false, true);
    }
  }

  void Figure(TFigure& out, const TEntJwwSolid& so, int32_t, const TAppendStart&) {
    out.Kind = TFigureKind::kSolid;
    if (!Finite(so.X1, so.Y1, so.X2, so.Y2, so.X3, so.Y3, so.X4, so.Y4)) return;
    const uint32_t rgb = so.PenColor == 10 ? RgbOfStored(so.Color) : styles_.ColorOf(so.PenColor);
    if (IsRoundSolid(so)) return AddRoundSolid(out, so, rgb);
    TPrimitive& p = out.Prims.emplace_back();
    p.Kind = TPrimKind::kPolygon;
    p.Pen = styles_.FillPen(rgb);
    p.P[0] = {so.X1, so.Y1}, p.P[1] = {so.X2, so.Y2}, p.P[2] = {so.X3, so.Y3}, p.P[3] = {so.X4, so.Y4};
    for (const TPt& q : p.P) Grow(q);
  }

  // A placement keeps the index of its definition in Ref until the walk
  // links it to the definition's group.
  void Figure(TFigure& out, const TEntJwwBlockRef& r, int32_t, const TAppendStart&) {
    out.Kind = TFigureKind::kBlock;
    const int32_t def = index_.Find(r.BlockNumber);
    const TAffine frame = TAffine::Placement(r.RefX, r.RefY, r.ScaleX, r.ScaleY, r.Angle);
    if (def < 0 || def >= defCount_ || !frame.Finite()) return;
    TPrimitive& p = out.Prims.emplace_back();
    p.Kind = TPrimKind::kPlace;
    p.Ref = def;
    p.Frame = frame;
  }

  // The drawing's own entities on a hidden layer or group are kept but
  // not shown.
  bool HiddenLayer(const TEntJwwCommon& c) const { return IsHiddenLayer(d_, c.LayerGroup, c.Layer); }

  const TJwwData& d_;
  const TRenderOptions o_;
  TScene s_;
  TBlockIndex index_;
  int32_t defCount_ = 0;
  TStyles styles_;
  TImageCache images_;
  bool measuring_ = false;
  int64_t undecoded_ = 0;
  std::vector<TDecoded> decoded_;  // Decode's latest narrow strings, by a hash of their bytes
  TBox* box_ = nullptr;           // where the figure being built grows the extents; null: nowhere
  TBox* item_ = nullptr;          // the box of the item being measured, when kept; null: none
  std::vector<int32_t> groupOf_;  // the group of each definition the drawing reaches, by index; -1 others
  std::unordered_set<uint64_t> dropped_;  // the placements left out: DropKey(group, item)
  std::vector<const JwwString*>* imageTexts_ = nullptr;  // MeasureInHalves' image texts of its second half
};

TSceneWalk::TSceneWalk(const TJwwData& d, const TRenderOptions& options)
    : builder_(std::make_unique<TSceneBuilder>(d, options)) {
  builder_->Measure();
}

TSceneWalk::~TSceneWalk() = default;

const TScene& TSceneWalk::Scene() const { return builder_->Scene(); }

int64_t TSceneWalk::UndecodedStrings() const { return builder_->Undecoded(); }

TSceneWalk::TCursor TSceneWalk::Figures(size_t group) { return TCursor(builder_.get(), group); }

bool TSceneWalk::DrawingFigure(size_t item, TFigure& out) { return builder_->DrawingItem(item, out); }

bool TSceneWalk::TCursor::Next(TFigure& out) { return builder_->Next(group_, item_, out); }

}  // namespace quorvex
