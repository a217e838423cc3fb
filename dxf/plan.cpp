#include "dxf/plan.h"

#include <algorithm>
#include <cmath>

#include "dxf/handles.h"
#include "dxf/linetypes.h"
#include "jww/kinds.h"
#include "jww/layers.h"
#include "jww/shapes.h"
#include "render/image.h"
#include "text/utf8.h"

namespace quorvex {
namespace {

char HexDigit(int v) { return "0123456789ABCDEF"[v & 15]; }

}  // namespace

size_t ItemsOf(const TEntJwwStore& s, int32_t entityCount) {
  return std::min(s.EntityOrder.size(), static_cast<size_t>(std::max(entityCount, 0)));
}

bool IsSettingsText(const TEntJwwText& t) {
  return t.PenStyle == 9 && t.StartX == t.EndX && t.StartY == t.EndY && !StartsWithImageMark(t.Text);
}

// ---- text styles ----

TDxfTextStyles::TDxfTextStyles() {
  styles_.push_back({});
  styles_[0].Font.StyleName = "Standard";
  names_.Reserve("Standard");
}

int TDxfTextStyles::Of(const JwwString& font, TDxfLosses& losses, int64_t& undecoded) {
  if (font == lastFont_) return lastStyle_;
  lastFont_ = font;
  if (IsBlank(font)) return lastStyle_ = 0;
  std::string family;
  if (!ToUtf8(font, family)) ++undecoded;
  const auto it = byFamily_.find(family);
  if (it != byFamily_.end()) return lastStyle_ = it->second;
  TDxfTextStyle s;
  s.Font = DxfFontOf(family);
  bool changed = false;
  s.Font.StyleName = names_.Take(s.Font.StyleName, "Standard", changed);
  losses.Names += changed;
  const int index = static_cast<int>(styles_.size());
  styles_.push_back(std::move(s));
  byFamily_.emplace(std::move(family), index);
  return lastStyle_ = index;
}

// ---- the plan ----

TDxfPlan::TDxfPlan(const TJwwData& d, const TDxfOptions& o, TStyles& styles, const std::vector<TPen>& pens)
    : d_(d), o_(o), styles_(styles), pens_(pens), index_(d.Definitions()) {
  groupScale_.assign(16, 1.0);
  for (size_t g = 0; g < 16 && g < d_.LayerGroups.size(); ++g) {
    const double s = d_.LayerGroups[g].Scale;
    if (!o_.Paper && std::isfinite(s) && s > 0) groupScale_[g] = s;
  }
  Layers.push_back({"0", false, 0});
  layerNames_.Reserve("0");
  layerNames_.Reserve(kTemporaryLayer);
  layerNames_.Reserve(kSettingsLayer);
  layerOfKey_.assign(256, -1);

  // The definitions in use, each a block (their names first: a drawing may
  // have a million definitions, whose names are given back at once).
  const std::span<const TEntJwwBlockDef> defs = d_.Definitions();
  definitions_.assign(defs.size(), TDxfBlock());
  {
    TTableNames blockNames;
    blockNames.SizeFor(defs.size());
    for (size_t i = 0; i < defs.size(); ++i) {
      if (!defs[i].Used) continue;
      bool changed = false;
      definitions_[i].Name = blockNames.Take(Decoded(defs[i].Name), "block", changed);
      Losses.Names += changed;
      ++definitionsInUse_;
    }
  }

  // What the entities use: layers, line types, fonts, dimension blocks,
  // handles.
  Survey(d_, ItemsOf(d_, d_.Header.EntityCount), true);
  ModelDimensions = static_cast<int32_t>(DimensionBlocks);
  for (size_t i = 0; i < defs.size(); ++i)
    if (!definitions_[i].Name.empty()) Survey(defs[i], ItemsOf(defs[i], defs[i].EntityCount), false);

  // The writing layer is the current one.
  int group = d_.Header.WriteLayerGroup;
  if (group < 0 || group > 15) group = 0;
  int layer = static_cast<size_t>(group) < d_.LayerGroups.size() ? d_.LayerGroups[group].WriteLayer : 0;
  if (layer < 0 || layer > 15) layer = 0;
  AddLayer(group * 16 + layer);
  ChooseDimensionLook(group);
  ChooseLineTypes(pens);

  // The layers in the order of their groups and numbers.
  std::vector<TDxfLayer> ordered = {Layers[0]};
  for (int key = 0; key < 256; ++key) {
    if (layerOfKey_[key] < 0) continue;
    const int was = layerOfKey_[key];
    layerOfKey_[key] = static_cast<int>(ordered.size());
    ordered.push_back(std::move(Layers[static_cast<size_t>(was)]));
  }
  CurrentLayer = layerOfKey_[group * 16 + layer];
  if (TemporaryLayer >= 0) {
    TemporaryLayer = static_cast<int>(ordered.size());
    ordered.push_back({kTemporaryLayer, true, 0});
  }
  if (SettingsLayer >= 0) {
    SettingsLayer = static_cast<int>(ordered.size());
    ordered.push_back({kSettingsLayer, true, 0});
  }
  Layers = std::move(ordered);

  // The handles, in the order the objects are written.
  uint64_t next = kFirstFreeHandle;
  for (TDxfLayer& l : Layers) l.Handle = next++;
  for (TDxfLineType& t : LineTypes) t.Handle = next++;
  for (TDxfTextStyle& s : TextStyles.All()) s.Handle = next++;
  for (TDxfBlock& b : definitions_) {
    if (b.Name.empty()) continue;
    b.Record = next++, b.Begin = next++, b.End = next++;
  }
  firstDimensionHandle_ = next;
  next += 3 * static_cast<uint64_t>(DimensionBlocks);
  for (size_t i = 0; i < o_.Images.size(); ++i) ImageDefinitions.push_back(next++);
  FirstEntityHandle = next;
  HandleSeed = next + entityHandles_;
  FindExtents();
}

std::string TDxfPlan::Decoded(const JwwString& s) {
  std::string out;
  if (!ToUtf8(s, out)) ++Undecoded;
  return out;
}

TDxfBlock TDxfPlan::DimensionBlock(int32_t number) const {
  const uint64_t first = firstDimensionHandle_ + 3 * static_cast<uint64_t>(number - 1);
  return {"*D" + std::to_string(number), first, first + 1, first + 2};
}

void TDxfPlan::AddLayer(int key) {
  if (layerOfKey_[key] >= 0) return;
  const int group = key / 16, layer = key % 16;
  std::string name = {HexDigit(group), '-', HexDigit(layer)};
  if (static_cast<size_t>(group) < d_.LayerGroups.size() && !IsBlank(d_.LayerGroups[group].Name))
    name += " [" + Decoded(d_.LayerGroups[group].Name) + "]";
  if (static_cast<size_t>(key) < d_.Layers.size() && !IsBlank(d_.Layers[key].Name))
    name += " " + Decoded(d_.Layers[key].Name);
  bool changed = false;
  TDxfLayer l;
  l.Name = layerNames_.Take(name, "", changed);
  Losses.Names += changed;
  l.Off = IsHiddenLayer(d_, static_cast<uint16_t>(group), static_cast<uint16_t>(layer));
  layerOfKey_[key] = static_cast<int>(Layers.size());
  Layers.push_back(std::move(l));
}

void TDxfPlan::CountDimensionLook(const TEntJwwDimension& dim) {
  const double height = dim.ValueText.SizeY * kCapitalHeight;
  if (!std::isfinite(height) || height <= 0) return;
  const std::pair<double, double> look{GroupScale(dim.LayerGroup), height};
  const auto it = dimensionLooks_.find(look);
  if (it != dimensionLooks_.end()) {
    ++it->second;
  } else if (dimensionLooks_.size() < kDimensionLooks) {
    dimensionLooks_.emplace(look, 1);
  }
}

// The most common look of the drawing's dimensions (the smaller scale and
// height among equals: the looks are in that order); without dimensions,
// the writing group's scale, so that dimensions added in another program
// have the drawing's scale.
void TDxfPlan::ChooseDimensionLook(int writingGroup) {
  DimensionScale = groupScale_[static_cast<size_t>(writingGroup)];
  int64_t most = 0;
  for (const auto& [look, count] : dimensionLooks_) {
    if (count <= most) continue;
    most = count;
    DimensionScale = look.first;
    DimensionText = look.second;
  }
  dimensionLooks_.clear();
}

// One line type for each dash pattern the strokes use, named as the
// readers that know line types by name know it; the scale of most dashed
// strokes is the file's.
void TDxfPlan::ChooseLineTypes(const std::vector<TPen>& pens) {
  std::map<std::vector<double>, int> byElements;
  std::vector<std::vector<double>> patterns;
  for (const auto& [pen, style] : dashedPens_) {
    std::vector<double> e = LineTypeElements(pens[static_cast<size_t>(pen)].Dashes);
    int& lineType = lineTypeOfPen_[static_cast<size_t>(pen)];
    if (e.empty()) {
      lineType = -1;
      continue;
    }
    const auto [it, added] = byElements.emplace(e, static_cast<int>(LineTypes.size()));
    lineType = it->second;
    if (!added) continue;
    TDxfLineType t;
    t.Description = "線種 " + std::to_string(style);
    t.Elements = e;
    patterns.push_back(std::move(e));
    LineTypes.push_back(std::move(t));
  }
  TTableNames names;
  for (const char* name : {"ByBlock", "ByLayer", "Continuous"}) names.Reserve(name);
  const std::vector<std::string> wanted = LineTypeNames(patterns);
  for (size_t i = 0; i < LineTypes.size(); ++i) {
    bool changed = false;
    LineTypes[i].Name = names.Take(wanted[i], "DASHED", changed);
  }
  int64_t most = 0;
  for (const auto& [scale, strokes] : dashedByScale_)
    if (strokes > most) most = strokes, LineTypeScale = scale;
}

void TDxfPlan::Survey(const TEntJwwStore& s, size_t items, bool model) {
  const bool parts = d_.Header.Version >= kVersionExtended;
  auto stroke = [&](const TEntJwwCommon& c, double scale) {
    const int32_t pen = styles_.StrokePen(c, false);
    if (static_cast<size_t>(pen) >= lineTypeOfPen_.size()) lineTypeOfPen_.resize(static_cast<size_t>(pen) + 1, -2);
    int& lineType = lineTypeOfPen_[static_cast<size_t>(pen)];
    if (lineType == -2) {
      lineType = -1;
      dashedPens_.push_back({pen, c.PenStyle});
    }
    if (model && !pens_[static_cast<size_t>(pen)].Dashes.empty()) ++dashedByScale_[scale];
  };
  for (size_t i = 0; i < items; ++i) {
    const TEntJwwListItem item = s.EntityOrder[i];
    WithListedRecord(s, item, [&](const auto& r) {
      using R = std::remove_cvref_t<decltype(r)>;
      const double scale = model ? GroupScale(r.LayerGroup) : 1;
      bool onOwnLayer = model;
      TDxfWritten written;
      if constexpr (std::is_same_v<R, TEntJwwBlockRef>) {
        const int32_t def = index_.Find(r.BlockNumber);
        written = WrittenAs(r, def >= 0 && !definitions_[static_cast<size_t>(def)].Name.empty());
      } else if constexpr (std::is_same_v<R, TEntJwwText>) {
        written = WrittenAs(r, o_);
      } else {
        written = WrittenAs(r);
      }
      entityHandles_ += written.Handles;
      if constexpr (std::is_same_v<R, TEntJwwLine> || std::is_same_v<R, TEntJwwArc>) {
        if (written.Handles) stroke(r, scale);
      } else if constexpr (std::is_same_v<R, TEntJwwPoint>) {
        if (r.Temporary != 0) TemporaryLayer = 0, onOwnLayer = false;
      } else if constexpr (std::is_same_v<R, TEntJwwText>) {
        if (written.Handles == 1) TextStyles.Of(r.FontName, Losses, Undecoded);
        if (model && written.Handles == 1 && IsSettingsText(r)) SettingsLayer = 0, onOwnLayer = false;
      } else if constexpr (std::is_same_v<R, TEntJwwBlockRef>) {
        onOwnLayer = onOwnLayer && written.Handles != 0;
      } else if constexpr (std::is_same_v<R, TEntJwwDimension>) {
        ++DimensionBlocks;
        const bool withParts = parts && r.PartsFlag != 0;
        entityHandles_ += DimensionBlockHandles(r, withParts, o_);
        if (model) CountDimensionLook(r);
        stroke(r.DimLine, scale);
        if (!r.ValueText.Text.Empty() && WrittenAs(r.ValueText, o_).Handles == 1)
          TextStyles.Of(r.ValueText.FontName, Losses, Undecoded);
        if (withParts) {
          stroke(r.AuxLine1, scale), stroke(r.AuxLine2, scale);
          TemporaryLayer = 0;
        }
      }
      if (onOwnLayer) AddLayer((r.LayerGroup > 15 ? 0 : r.LayerGroup) * 16 + (r.Layer > 15 ? 0 : r.Layer));
    });
  }
}

// The extents of model space: of what a reader shows, every visible
// entity's points at its scale and every definition placed by a visible
// insertion, through the block tree. Left out: entities on hidden layers
// (off), temporary points and settings texts (on layers of their own,
// off), and texts with no base line, which the CAD program keeps out of
// the way. With nothing visible, the extents of all.
void TDxfPlan::FindExtents() {
  TBox all;
  auto addStore = [&](const TEntJwwStore& s, size_t items, const TAffine& m, bool model) {
    for (size_t i = 0; i < items; ++i) {
      const TEntJwwListItem item = s.EntityOrder[i];
      WithListedRecord(s, item, [&](const auto& r) {
        using R = std::remove_cvref_t<decltype(r)>;
        TAffine place = m;
        if (model) place = TAffine::Placement(0, 0, GroupScale(r.LayerGroup), GroupScale(r.LayerGroup), 0);
        bool shown = !model || !IsHiddenLayer(d_, r.LayerGroup, r.Layer);
        if constexpr (std::is_same_v<R, TEntJwwPoint>) shown = shown && r.Temporary == 0;
        auto add = [&](double x, double y) {
          const TPt p = place.Apply({x, y});
          if (!std::isfinite(p.X) || !std::isfinite(p.Y)) return;
          all.Add(p);
          if (shown) Extents.Add(p);
        };
        if constexpr (std::is_same_v<R, TEntJwwLine>) {
          add(r.StartX, r.StartY), add(r.EndX, r.EndY);
        } else if constexpr (std::is_same_v<R, TEntJwwArc>) {
          const double reach = std::max(std::abs(r.Radius), std::abs(r.Radius * r.Flatness));
          add(r.CenterX - reach, r.CenterY - reach), add(r.CenterX + reach, r.CenterY + reach);
        } else if constexpr (std::is_same_v<R, TEntJwwPoint>) {
          add(r.X, r.Y);
        } else if constexpr (std::is_same_v<R, TEntJwwText>) {
          if (r.StartX != r.EndX || r.StartY != r.EndY) add(r.StartX, r.StartY), add(r.EndX, r.EndY);
        } else if constexpr (std::is_same_v<R, TEntJwwDimension>) {
          add(r.DimLine.StartX, r.DimLine.StartY), add(r.DimLine.EndX, r.DimLine.EndY);
        } else if constexpr (std::is_same_v<R, TEntJwwSolid>) {
          if (IsRoundSolid(r)) {
            const TRoundSolid round = RoundSolidOf(r);
            const double reach = std::max(std::abs(round.Radius), std::abs(round.Radius * round.Flatness));
            add(round.CenterX - reach, round.CenterY - reach), add(round.CenterX + reach, round.CenterY + reach);
          } else {
            add(r.X1, r.Y1), add(r.X2, r.Y2), add(r.X3, r.Y3), add(r.X4, r.Y4);
          }
        }
      });
    }
  };
  addStore(d_, ItemsOf(d_, d_.Header.EntityCount), TAffine(), true);
  // Each placement of a definition, nested ones included: its own entities
  // where the tree puts them, at the scale of the group of the insertion
  // in the drawing's list it hangs from, shown as that insertion is.
  TBox shownExtents = Extents;
  for (size_t node = 0; node < d_.BlockTree.size(); ++node) {
    const int32_t def = d_.BlockTree[node].DefIndex;
    if (def < 0 || static_cast<size_t>(def) >= definitions_.size() || definitions_[static_cast<size_t>(def)].Name.empty())
      continue;
    size_t top = node;
    while (d_.BlockTree[top].Parent >= 0) top = static_cast<size_t>(d_.BlockTree[top].Parent);
    const TEntJwwBlockRef& insertion = d_.BlockTreeInsertion(top);
    const double scale = GroupScale(insertion.LayerGroup);
    const TBlockPlacement p = d_.BlockTreePlacement(node);
    TAffine m;
    m.M11 = p.M11 * scale, m.M12 = p.M12 * scale, m.M21 = p.M21 * scale, m.M22 = p.M22 * scale;
    m.X = p.X * scale, m.Y = p.Y * scale;
    const TEntJwwBlockDef& bd = d_.BlockDefs[static_cast<size_t>(def)];
    const bool shown = !IsHiddenLayer(d_, insertion.LayerGroup, insertion.Layer);
    Extents = TBox();
    addStore(bd, ItemsOf(bd, bd.EntityCount), m, false);
    if (shown && !Extents.Empty()) shownExtents.Add({Extents.MinX, Extents.MinY}), shownExtents.Add({Extents.MaxX, Extents.MaxY});
  }
  Extents = shownExtents;
  if (Extents.Empty()) Extents = all;
  if (Extents.Empty()) Extents.Add({0, 0}), Extents.Add({100, 100});
}

}  // namespace quorvex
