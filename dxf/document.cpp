// The structure of a DXF file: a first pass over the drawing for what the
// tables and the header must say before the first entity, then the
// sections in order. The layout follows what current readers expect of a
// file of version R2007: every object with its handle, its owner and its
// subclass markers, the tables and the objects they all look for.
#include <algorithm>
#include <cmath>
#include <numbers>

#include "dxf/document.h"
#include "jww/images.h"
#include "jww/kinds.h"
#include "jww/layers.h"
#include "jww/shapes.h"
#include "render/image.h"
#include "text/utf8.h"

namespace quorvex {
namespace {

// The handles of the objects every file has.
enum : uint64_t {
  kLayerTable = 1,
  kLineTypeTable,
  kAppIdTable,
  kDimStyleTable,
  kStyleTable,
  kUcsTable,
  kViewTable,
  kViewportTable,
  kBlockRecordTable,
  kRootDictionary,
  kGroupDictionary,
  kLayoutDictionary,
  kPlotStyleDictionary,
  kPlotStyleNormal,
  kModelLayout,
  kPaperLayout,
  kModelRecord,
  kModelBegin,
  kModelEnd,
  kPaperRecord,
  kPaperBegin,
  kPaperEnd,
  kActiveViewport,
  kByBlock,
  kByLayer,
  kContinuous,
  kAcadAppId,
  kStandardDimStyle,
  kImageDictionary,
  kImageVariables,
  kFirstFreeHandle,
};

// The name of the layer that holds the temporary points, which is off:
// the CAD program shows them while drawing and never prints them.
constexpr char kTemporaryLayer[] = "仮点";

// Handles an entity of the drawing may take: a text may become an IMAGE
// with its reactor; a dimension with a value takes its DIMENSION, and its
// block holds at most its line, two auxiliary lines, its text and four
// points.
constexpr uint64_t kHandlesPerEntity = 2;
constexpr uint64_t kHandlesPerDimension = 1 + 8;

char HexDigit(int v) { return "0123456789ABCDEF"[v & 15]; }

// The pattern of a dash pattern for a DXF line type: signed lengths
// (drawn > 0, gap < 0) that begin where the picture's stroke begins, `offset`
// into the dashes.
std::vector<double> PatternElements(const std::vector<double>& dashes, double offset) {
  std::vector<double> runs;
  for (size_t i = 0; i < dashes.size(); ++i) runs.push_back(i % 2 == 0 ? dashes[i] : -dashes[i]);
  if (offset <= 0) return runs;
  std::vector<double> out;
  double at = 0;
  for (size_t i = 0; i < runs.size(); ++i) {
    const double len = std::abs(runs[i]);
    if (out.empty() && at + len > offset) {
      // The run the stroke begins in: its rest first, its beginning last.
      const double rest = at + len - offset, first = len - rest;
      out.push_back(std::copysign(rest, runs[i]));
      for (size_t k = i + 1; k < runs.size(); ++k) out.push_back(runs[k]);
      for (size_t k = 0; k < i; ++k) out.push_back(runs[k]);
      if (first > 0) out.push_back(std::copysign(first, runs[i]));
      return out;
    }
    at += len;
  }
  return runs;
}

// The items in use of a store's order list.
size_t ItemsOf(const TEntJwwStore& s, int32_t entityCount) {
  return std::min(s.EntityOrder.size(), static_cast<size_t>(std::max(entityCount, 0)));
}

}  // namespace

std::vector<int32_t> PlacedImageEntries(const TJwwData& d, const std::vector<JwwString>& entries) {
  std::vector<bool> placed(entries.size(), false);
  auto mark = [&](const TEntJwwStore& s, size_t items) {
    for (size_t i = 0; i < items; ++i) {
      const TEntJwwListItem item = s.EntityOrder[i];
      if (item.Kind != kText || item.Index < 0 || static_cast<size_t>(item.Index) >= s.Texts.size()) continue;
      JwwString name;
      if (!ImageNameOfText(s.Texts[static_cast<size_t>(item.Index)].Text, name)) continue;
      for (size_t e = 0; e < entries.size(); ++e) {
        if (ImageEntryBelongsTo(entries[e], name)) {
          placed[e] = true;
          break;
        }
      }
    }
  };
  mark(d, ItemsOf(d, d.Header.EntityCount));
  for (const TEntJwwBlockDef& def : d.Definitions())
    if (def.Used) mark(def, ItemsOf(def, def.EntityCount));
  std::vector<int32_t> out;
  for (size_t e = 0; e < placed.size(); ++e)
    if (placed[e]) out.push_back(static_cast<int32_t>(e));
  return out;
}

TDxfLosses WriteDxf(const TJwwData& d, const TDxfOptions& options, TArchiveWriter& out) {
  TDxfWriter writer(d, options, out);
  return writer.Run();
}

TDxfWriter::TDxfWriter(const TJwwData& d, const TDxfOptions& o, TArchiveWriter& w)
    : d_(d),
      o_(o),
      out_(w),
      styles_(d, o.Attributes, TColorSet::kPrinter, 0, pens_),
      index_(d.Definitions()) {}

TDxfLosses TDxfWriter::Run() {
  Survey();
  WriteHeader();
  WriteClasses();
  WriteTables();
  WriteBlocks();
  WriteEntities();
  WriteObjects();
  out_.Raw("  0\nEOF\n");
  losses_.Undecoded = undecoded_ + out_.Undecoded();
  return losses_;
}

// ---- the first pass ----

void TDxfWriter::Survey() {
  nextHandle_ = kFirstFreeHandle;
  groupScale_.assign(16, 1.0);
  for (size_t g = 0; g < 16 && g < d_.LayerGroups.size(); ++g) {
    const double s = d_.LayerGroups[g].Scale;
    if (!o_.Paper && std::isfinite(s) && s > 0) groupScale_[g] = s;
  }

  layers_.push_back({"0", false, NewHandle()});
  layerNames_.Reserve("0");
  layerNames_.Reserve(kTemporaryLayer);
  layerOfKey_.assign(256, -1);
  textStyles_.push_back({"Standard", "", 0});
  styleNames_.Reserve("Standard");
  for (const char* name : {"ByBlock", "ByLayer", "Continuous"}) lineTypeNames_.Reserve(name);

  // The definitions in use, each a block.
  const std::span<const TEntJwwBlockDef> defs = d_.Definitions();
  blockNames_.SizeFor(defs.size());
  blockName_.assign(defs.size(), std::string());
  for (size_t i = 0; i < defs.size(); ++i) {
    if (!defs[i].Used) continue;
    bool changed = false;
    blockName_[i] = blockNames_.Take(Decoded(defs[i].Name), "block", changed);
    losses_.Names += changed;
  }

  blockNames_ = TTableNames();  // given back: a drawing may have a million definitions
  // What the entities use: layers, line types, fonts, dimension blocks.
  SurveyStore(d_, ItemsOf(d_, d_.Header.EntityCount), true);
  modelDimensions_ = static_cast<int32_t>(dimensionBlocks_);
  for (size_t i = 0; i < defs.size(); ++i)
    if (!blockName_[i].empty()) SurveyStore(defs[i], ItemsOf(defs[i], defs[i].EntityCount), false);

  // The writing layer is the current one.
  int group = d_.Header.WriteLayerGroup;
  if (group < 0 || group > 15) group = 0;
  int layer = static_cast<size_t>(group) < d_.LayerGroups.size() ? d_.LayerGroups[group].WriteLayer : 0;
  if (layer < 0 || layer > 15) layer = 0;
  AddLayer(group * 16 + layer);
  ChooseDimensionLook(group);
  // The layers in the order of their groups and numbers.
  std::vector<TLayer> ordered = {layers_[0]};
  for (int key = 0; key < 256; ++key) {
    if (layerOfKey_[key] < 0) continue;
    const int was = layerOfKey_[key];
    layerOfKey_[key] = static_cast<int>(ordered.size());
    ordered.push_back(std::move(layers_[static_cast<size_t>(was)]));
  }
  currentLayer_ = layerOfKey_[group * 16 + layer];
  if (temporaryLayer_ >= 0) {
    temporaryLayer_ = static_cast<int>(ordered.size());
    ordered.push_back({kTemporaryLayer, true, 0});
  }
  layers_ = std::move(ordered);
  for (size_t i = 1; i < layers_.size(); ++i) layers_[i].Handle = NewHandle();

  for (TLineType& t : lineTypes_) t.Handle = NewHandle();
  for (TTextStyle& s : textStyles_) s.Handle = NewHandle();
  firstDefinitionHandle_ = nextHandle_;
  nextHandle_ += 3 * static_cast<uint64_t>(defs.size());
  firstDimensionHandle_ = nextHandle_;
  nextHandle_ += 3 * static_cast<uint64_t>(dimensionBlocks_);
  for (const TDxfImage& image : o_.Images) {
    std::string name = image.File.substr(image.File.rfind('/') + 1);
    name = name.substr(0, name.rfind('.'));
    imageDefs_.push_back({name, NewHandle(), {}});
  }
  handleSeed_ = nextHandle_ + entityHandles_;
  Extents();
}

std::string TDxfWriter::Decoded(const JwwString& s) {
  std::string out;
  if (!ToUtf8(s, out)) ++undecoded_;
  return out;
}

void TDxfWriter::AddLayer(int key) {
  if (layerOfKey_[key] >= 0) return;
  const int group = key / 16, layer = key % 16;
  std::string name = {HexDigit(group), '-', HexDigit(layer)};
  if (static_cast<size_t>(group) < d_.LayerGroups.size() && !IsBlank(d_.LayerGroups[group].Name))
    name += " [" + Decoded(d_.LayerGroups[group].Name) + "]";
  if (static_cast<size_t>(key) < d_.Layers.size() && !IsBlank(d_.Layers[key].Name))
    name += " " + Decoded(d_.Layers[key].Name);
  bool changed = false;
  TLayer l;
  l.Name = layerNames_.Take(name, "", changed);
  losses_.Names += changed;
  l.Off = IsHiddenLayer(d_, static_cast<uint16_t>(group), static_cast<uint16_t>(layer));
  layerOfKey_[key] = static_cast<int>(layers_.size());
  layers_.push_back(std::move(l));
}

int TDxfWriter::LineTypeOf(const TPen& pen, int style) {
  if (pen.Dashes.empty()) return -1;
  const auto key = std::make_pair(pen.Dashes, pen.DashOffset);
  const auto it = lineTypeOfPattern_.find(key);
  if (it != lineTypeOfPattern_.end()) return it->second;
  TLineType t;
  bool changed = false;
  t.Name = lineTypeNames_.Take("JWW-" + std::to_string(style), "JWW", changed);
  t.Description = "線種 " + std::to_string(style);
  t.Elements = PatternElements(pen.Dashes, pen.DashOffset);
  const int index = static_cast<int>(lineTypes_.size());
  lineTypes_.push_back(std::move(t));
  lineTypeOfPattern_.emplace(key, index);
  return index;
}

int TDxfWriter::TextStyleOf(const JwwString& font) {
  if (font == lastFont_) return lastTextStyle_;
  lastFont_ = font;
  if (IsBlank(font)) return lastTextStyle_ = 0;
  const std::string name = Decoded(font);
  const auto it = textStyleOfFont_.find(name);
  if (it != textStyleOfFont_.end()) return lastTextStyle_ = it->second;
  bool changed = false;
  TTextStyle s;
  s.Name = styleNames_.Take(name, "Standard", changed);
  s.Font = name;
  losses_.Names += changed;
  const int index = static_cast<int>(textStyles_.size());
  textStyles_.push_back(std::move(s));
  textStyleOfFont_.emplace(name, index);
  return lastTextStyle_ = index;
}

void TDxfWriter::CountDimensionLook(const TEntJwwDimension& dim) {
  const double height = dim.ValueText.SizeY * kCapitalHeight;
  if (!std::isfinite(height) || height <= 0) return;
  const std::pair<double, double> look{groupScale_[dim.LayerGroup > 15 ? 0 : dim.LayerGroup], height};
  const auto it = dimensionLooks_.find(look);
  if (it != dimensionLooks_.end()) {
    ++it->second;
  } else if (dimensionLooks_.size() < kDimensionLooks) {
    dimensionLooks_.emplace(look, 1);
  }
}

// The most common look of the drawing's dimensions (the smaller scale and
// height among equals); without dimensions, the writing group's scale, so
// that dimensions added in another program have the drawing's scale.
void TDxfWriter::ChooseDimensionLook(int writingGroup) {
  dimensionScale_ = groupScale_[static_cast<size_t>(writingGroup)];
  int64_t most = 0;
  for (const auto& [look, count] : dimensionLooks_) {
    if (count <= most) continue;
    most = count;
    dimensionScale_ = look.first;
    dimensionText_ = look.second;
  }
  dimensionLooks_.clear();
}

void TDxfWriter::SurveyStore(const TEntJwwStore& s, size_t items, bool model) {
  const bool parts = d_.Header.Version >= kVersionExtended;
  auto stroke = [&](const TEntJwwCommon& c) {
    const int32_t pen = styles_.StrokePen(c, false);
    if (static_cast<size_t>(pen) >= lineTypeOfPen_.size()) lineTypeOfPen_.resize(static_cast<size_t>(pen) + 1, -2);
    if (lineTypeOfPen_[static_cast<size_t>(pen)] == -2)
      lineTypeOfPen_[static_cast<size_t>(pen)] = LineTypeOf(pens_[static_cast<size_t>(pen)], c.PenStyle);
  };
  auto temporary = [&] { temporaryLayer_ = 0; };
  for (size_t i = 0; i < items; ++i) {
    const TEntJwwListItem item = s.EntityOrder[i];
    WithListedRecord(s, item, [&](const auto& r) {
      entityHandles_ += kHandlesPerEntity;
      using R = std::remove_cvref_t<decltype(r)>;
      bool onOwnLayer = model;
      if constexpr (std::is_same_v<R, TEntJwwLine> || std::is_same_v<R, TEntJwwArc>) {
        stroke(r);
      } else if constexpr (std::is_same_v<R, TEntJwwPoint>) {
        if (r.Temporary != 0) temporary(), onOwnLayer = false;
      } else if constexpr (std::is_same_v<R, TEntJwwText>) {
        if (!StartsWithImageMark(r.Text)) TextStyleOf(r.FontName);
      } else if constexpr (std::is_same_v<R, TEntJwwBlockRef>) {
        const int32_t def = index_.Find(r.BlockNumber);
        if (def < 0 || blockName_[static_cast<size_t>(def)].empty()) onOwnLayer = false;  // not written
      } else if constexpr (std::is_same_v<R, TEntJwwDimension>) {
        ++dimensionBlocks_;
        entityHandles_ += kHandlesPerDimension;
        if (model) CountDimensionLook(r);
        stroke(r.DimLine);
        if (!r.ValueText.Text.Empty()) TextStyleOf(r.ValueText.FontName);
        if (parts && r.PartsFlag != 0) {
          stroke(r.AuxLine1), stroke(r.AuxLine2);
          temporary();
        }
      }
      if (onOwnLayer) AddLayer((r.LayerGroup > 15 ? 0 : r.LayerGroup) * 16 + (r.Layer > 15 ? 0 : r.Layer));
    });
  }
}

// The extents of model space: of every entity's points at its scale, and
// of every definition placed, through the block tree. A text whose base
// line has no length is a note the CAD program keeps out of the way
// (settings stored as texts): it does not count.
void TDxfWriter::Extents() {
  auto addStore = [&](const TEntJwwStore& s, size_t items, const TAffine& m, bool model) {
    for (size_t i = 0; i < items; ++i) {
      const TEntJwwListItem item = s.EntityOrder[i];
      WithListedRecord(s, item, [&](const auto& r) {
        using R = std::remove_cvref_t<decltype(r)>;
        TAffine place = m;
        if (model) {
          const double scale = groupScale_[r.LayerGroup > 15 ? 0 : r.LayerGroup];
          place = TAffine::Placement(0, 0, scale, scale, 0);
        }
        auto add = [&](double x, double y) { extents_.Add(place.Apply({x, y})); };
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
  // in the drawing's list it hangs from.
  for (size_t node = 0; node < d_.BlockTree.size(); ++node) {
    const int32_t def = d_.BlockTree[node].DefIndex;
    if (def < 0 || static_cast<size_t>(def) >= blockName_.size() || blockName_[static_cast<size_t>(def)].empty()) continue;
    size_t top = node;
    while (d_.BlockTree[top].Parent >= 0) top = static_cast<size_t>(d_.BlockTree[top].Parent);
    const uint16_t group = d_.BlockTreeInsertion(top).LayerGroup;
    const double scale = groupScale_[group > 15 ? 0 : group];
    const TBlockPlacement p = d_.BlockTreePlacement(node);
    TAffine m;
    m.M11 = p.M11 * scale, m.M12 = p.M12 * scale, m.M21 = p.M21 * scale, m.M22 = p.M22 * scale;
    m.X = p.X * scale, m.Y = p.Y * scale;
    const TEntJwwBlockDef& bd = d_.BlockDefs[static_cast<size_t>(def)];
    addStore(bd, ItemsOf(bd, bd.EntityCount), m, false);
  }
  if (extents_.Empty()) extents_.Add({0, 0}), extents_.Add({100, 100});
}

// ---- the sections ----

void TDxfWriter::WriteHeader() {
  out_.Raw("  0\nSECTION\n  2\nHEADER\n"
           "  9\n$ACADVER\n  1\nAC1021\n"
           "  9\n$ACADMAINTVER\n 70\n105\n"
           "  9\n$DWGCODEPAGE\n  3\nANSI_932\n"
           "  9\n$INSBASE\n 10\n0\n 20\n0\n 30\n0\n");
  out_.Str(9, "$EXTMIN");
  out_.Point(10, extents_.MinX, extents_.MinY);
  out_.Str(9, "$EXTMAX");
  out_.Point(10, extents_.MaxX, extents_.MaxY);
  out_.Str(9, "$LIMMIN");
  out_.Point2(10, extents_.MinX, extents_.MinY);
  out_.Str(9, "$LIMMAX");
  out_.Point2(10, extents_.MaxX, extents_.MaxY);
  out_.Raw("  9\n$LTSCALE\n 40\n1\n"
           "  9\n$TEXTSTYLE\n  7\nStandard\n");
  out_.Str(9, "$CLAYER");
  out_.Str(8, layers_[static_cast<size_t>(currentLayer_)].Name);
  out_.Raw("  9\n$CELTYPE\n  6\nByLayer\n"
           "  9\n$CECOLOR\n 62\n256\n"
           "  9\n$CELTSCALE\n 40\n1\n"
           "  9\n$DIMSTYLE\n  2\nStandard\n");
  out_.Str(9, "$DIMSCALE");
  out_.Real(40, dimensionScale_);
  out_.Str(9, "$DIMTXT");
  out_.Real(40, dimensionText_);
  out_.Raw("  9\n$DIMASZ\n 40\n0\n"
           "  9\n$DIMEXO\n 40\n0\n"
           "  9\n$DIMEXE\n 40\n0\n"
           "  9\n$LUNITS\n 70\n2\n"
           "  9\n$LUPREC\n 70\n4\n"
           "  9\n$AUNITS\n 70\n0\n"
           "  9\n$PDMODE\n 70\n0\n"
           "  9\n$PDSIZE\n 40\n0\n");
  out_.Str(9, "$HANDSEED");
  out_.Handle(5, handleSeed_);
  out_.Raw("  9\n$CELWEIGHT\n370\n-1\n"
           "  9\n$LWDISPLAY\n290\n1\n"
           "  9\n$INSUNITS\n 70\n4\n"
           "  9\n$MEASUREMENT\n 70\n1\n"
           "  9\n$PSLTSCALE\n 70\n1\n"
           "  9\n$TILEMODE\n 70\n1\n"
           "  0\nENDSEC\n");
}

void TDxfWriter::WriteClasses() {
  struct TClass {
    const char* Name;
    const char* CppName;
    const char* App;
    int Flags;
    bool Entity;
  };
  static constexpr TClass kAlways[] = {
      {"ACDBDICTIONARYWDFLT", "AcDbDictionaryWithDefault", "ObjectDBX Classes", 0, false},
      {"ACDBPLACEHOLDER", "AcDbPlaceHolder", "ObjectDBX Classes", 0, false},
      {"LAYOUT", "AcDbLayout", "ObjectDBX Classes", 0, false},
  };
  static constexpr TClass kImages[] = {
      {"IMAGE", "AcDbRasterImage", "ISM", 2175, true},
      {"IMAGEDEF", "AcDbRasterImageDef", "ISM", 0, false},
      {"IMAGEDEF_REACTOR", "AcDbRasterImageDefReactor", "ISM", 1, false},
      {"RASTERVARIABLES", "AcDbRasterVariables", "ISM", 0, false},
  };
  out_.Raw("  0\nSECTION\n  2\nCLASSES\n");
  auto write = [&](const TClass& c) {
    out_.Str(0, "CLASS");
    out_.Str(1, c.Name);
    out_.Str(2, c.CppName);
    out_.Str(3, c.App);
    out_.Int(90, c.Flags);
    out_.Int(91, 0);
    out_.Int(280, 0);
    out_.Int(281, c.Entity ? 1 : 0);
  };
  for (const TClass& c : kAlways) write(c);
  if (!o_.Images.empty())
    for (const TClass& c : kImages) write(c);
  out_.Raw("  0\nENDSEC\n");
}

void TDxfWriter::TableHead(const char* name, uint64_t handle, size_t entries) {
  out_.Str(0, "TABLE");
  out_.Str(2, name);
  out_.Handle(5, handle);
  out_.Raw("330\n0\n100\nAcDbSymbolTable\n");
  out_.Int(70, static_cast<int64_t>(entries));
}

void TDxfWriter::WriteTables() {
  out_.Raw("  0\nSECTION\n  2\nTABLES\n");
  auto record = [&](const char* kind, uint64_t handle, uint64_t table, const char* subclass) {
    out_.Str(0, kind);
    out_.Handle(5, handle);
    out_.Handle(330, table);
    out_.Raw("100\nAcDbSymbolTableRecord\n");
    out_.Str(100, subclass);
  };

  // The view the file opens with: the whole drawing.
  TableHead("VPORT", kViewportTable, 1);
  record("VPORT", kActiveViewport, kViewportTable, "AcDbViewportTableRecord");
  const double width = std::max(extents_.Width(), 1e-9), height = std::max(extents_.Height(), 1e-9);
  out_.Raw("  2\n*Active\n 70\n0\n 10\n0\n 20\n0\n 11\n1\n 21\n1\n");
  out_.Point2(12, (extents_.MinX + extents_.MaxX) / 2, (extents_.MinY + extents_.MaxY) / 2);
  out_.Raw(" 13\n0\n 23\n0\n 14\n1\n 24\n1\n 15\n1\n 25\n1\n 16\n0\n 26\n0\n 36\n1\n 17\n0\n 27\n0\n 37\n0\n");
  out_.Real(40, height * 1.1);
  out_.Real(41, std::clamp(width / height, 0.1, 10.0));
  out_.Raw(" 42\n50\n 43\n0\n 44\n0\n 50\n0\n 51\n0\n 71\n0\n 72\n1000\n 73\n1\n 74\n3\n 75\n0\n 76\n0\n"
           " 77\n0\n 78\n0\n281\n0\n 65\n0\n  0\nENDTAB\n");

  // Line types: the three every file has and the drawing's dashed ones,
  // their dashes in millimetres of the sheet.
  TableHead("LTYPE", kLineTypeTable, 3 + lineTypes_.size());
  const std::pair<const char*, uint64_t> fixed[] = {{"ByBlock", kByBlock}, {"ByLayer", kByLayer}, {"Continuous", kContinuous}};
  for (const auto& [name, handle] : fixed) {
    record("LTYPE", handle, kLineTypeTable, "AcDbLinetypeTableRecord");
    out_.Str(2, name);
    out_.Raw(" 70\n0\n  3\n\n 72\n65\n 73\n0\n 40\n0\n");
  }
  for (const TLineType& t : lineTypes_) {
    record("LTYPE", t.Handle, kLineTypeTable, "AcDbLinetypeTableRecord");
    out_.Str(2, t.Name);
    out_.Int(70, 0);
    out_.Str(3, t.Description);
    out_.Int(72, 65);
    out_.Int(73, static_cast<int64_t>(t.Elements.size()));
    double total = 0;
    for (double e : t.Elements) total += std::abs(e);
    out_.Real(40, total);
    for (double e : t.Elements) {
      out_.Real(49, e);
      out_.Int(74, 0);
    }
  }
  out_.Raw("  0\nENDTAB\n");

  // Layers: "0", the drawing's layers that hold anything (and the writing
  // layer), and the temporary points' layer. A hidden one is off and
  // frozen as well: off is what DXF says of a layer that is neither shown
  // nor printed, but some readers (LibreCAD) hide only frozen layers, and
  // frozen hides an insertion's whole block, as the drawing does. The
  // writing layer, the current one, which a program may not have frozen,
  // is never hidden: the states count only when the writing group's and
  // each group's writing layer's are not 0 (jww/layers.h).
  TableHead("LAYER", kLayerTable, layers_.size());
  for (const TLayer& l : layers_) {
    record("LAYER", l.Handle, kLayerTable, "AcDbLayerTableRecord");
    out_.Str(2, l.Name);
    out_.Int(70, l.Off ? 1 : 0);
    out_.Int(62, l.Off ? -7 : 7);
    out_.Raw("  6\nContinuous\n370\n-3\n");
    out_.Handle(390, kPlotStyleNormal);
  }
  out_.Raw("  0\nENDTAB\n");

  // Text styles: "Standard" and one for each font the texts name.
  TableHead("STYLE", kStyleTable, textStyles_.size());
  for (const TTextStyle& s : textStyles_) {
    record("STYLE", s.Handle, kStyleTable, "AcDbTextStyleTableRecord");
    out_.Str(2, s.Name);
    out_.Raw(" 70\n0\n 40\n0\n 41\n1\n 50\n0\n 71\n0\n 42\n2.5\n");
    if (s.Font.empty()) {
      out_.Raw("  3\ntxt\n  4\n\n");
    } else {
      // The font by its name, for readers that look fonts up by name, and
      // as the family of a TrueType font.
      out_.Str(3, s.Font);
      out_.Raw("  4\n\n1001\nACAD\n");
      out_.Str(1000, s.Font);
      out_.Int(1071, 34);
    }
  }
  out_.Raw("  0\nENDTAB\n");

  TableHead("VIEW", kViewTable, 0);
  out_.Raw("  0\nENDTAB\n");
  TableHead("UCS", kUcsTable, 0);
  out_.Raw("  0\nENDTAB\n");
  TableHead("APPID", kAppIdTable, 1);
  record("APPID", kAcadAppId, kAppIdTable, "AcDbRegAppTableRecord");
  out_.Raw("  2\nACAD\n 70\n0\n  0\nENDTAB\n");

  TableHead("DIMSTYLE", kDimStyleTable, 1);
  out_.Raw("100\nAcDbDimStyleTable\n  0\nDIMSTYLE\n");
  out_.Handle(105, kStandardDimStyle);
  out_.Handle(330, kDimStyleTable);
  out_.Raw("100\nAcDbSymbolTableRecord\n100\nAcDbDimStyleTableRecord\n  2\nStandard\n 70\n0\n");
  out_.Real(40, dimensionScale_);
  out_.Raw(" 41\n0\n 42\n0\n 43\n3.75\n 44\n0\n 73\n0\n 74\n0\n 77\n1\n 78\n8\n");
  out_.Real(140, dimensionText_);
  out_.Raw("141\n2.5\n147\n0.625\n171\n3\n172\n1\n271\n2\n272\n2\n274\n3\n278\n44\n283\n0\n284\n8\n");
  out_.Handle(340, textStyles_[0].Handle);
  out_.Raw("  0\nENDTAB\n");

  // Block records: model space, paper space, the definitions in use and
  // the dimensions' blocks.
  size_t definitions = 0;
  for (const std::string& name : blockName_) definitions += !name.empty();
  TableHead("BLOCK_RECORD", kBlockRecordTable, 2 + definitions + static_cast<size_t>(dimensionBlocks_));
  auto blockRecord = [&](uint64_t handle, const std::string& name, uint64_t layout) {
    record("BLOCK_RECORD", handle, kBlockRecordTable, "AcDbBlockTableRecord");
    out_.Str(2, name);
    out_.Handle(340, layout);
    out_.Raw(" 70\n0\n280\n1\n281\n0\n");
  };
  blockRecord(kModelRecord, "*Model_Space", kModelLayout);
  blockRecord(kPaperRecord, "*Paper_Space", kPaperLayout);
  for (size_t def = 0; def < blockName_.size(); ++def) {
    if (blockName_[def].empty()) continue;
    const TBlock b = DefinitionBlock(def);
    blockRecord(b.Record, b.Name, 0);
  }
  for (int32_t n = 1; n <= dimensionBlocks_; ++n) {
    const TBlock b = DimensionBlock(n);
    blockRecord(b.Record, b.Name, 0);
  }
  out_.Raw("  0\nENDTAB\n  0\nENDSEC\n");
}

void TDxfWriter::BlockBegin(const TBlock& b, const std::string& name) {
  out_.Str(0, "BLOCK");
  out_.Handle(5, b.Begin);
  out_.Handle(330, b.Record);
  out_.Raw("100\nAcDbEntity\n  8\n0\n100\nAcDbBlockBegin\n");
  out_.Str(2, name);
  out_.Int(70, b.Def < 0 && name[0] == '*' && name != "*Model_Space" && name != "*Paper_Space" ? 1 : 0);
  out_.Point(10, 0, 0);
  out_.Str(3, name);
  out_.Raw("  1\n\n");
}

TDxfWriter::TBlock TDxfWriter::DefinitionBlock(size_t def) const {
  const uint64_t first = firstDefinitionHandle_ + 3 * static_cast<uint64_t>(def);
  return {static_cast<int32_t>(def), blockName_[def], first, first + 1, first + 2};
}

TDxfWriter::TBlock TDxfWriter::DimensionBlock(int32_t number) const {
  const uint64_t first = firstDimensionHandle_ + 3 * static_cast<uint64_t>(number - 1);
  return {-1, "*D" + std::to_string(number), first, first + 1, first + 2};
}

void TDxfWriter::BlockEnd(const TBlock& b) {
  out_.Str(0, "ENDBLK");
  out_.Handle(5, b.End);
  out_.Handle(330, b.Record);
  out_.Raw("100\nAcDbEntity\n  8\n0\n100\nAcDbBlockEnd\n");
}

void TDxfWriter::WriteBlocks() {
  out_.Raw("  0\nSECTION\n  2\nBLOCKS\n");
  const TBlock model{0, "", kModelRecord, kModelBegin, kModelEnd};
  const TBlock paper{0, "", kPaperRecord, kPaperBegin, kPaperEnd};
  BlockBegin(model, "*Model_Space");
  BlockEnd(model);
  BlockBegin(paper, "*Paper_Space");
  BlockEnd(paper);
  // The definitions in their own units. Their dimensions' blocks are
  // numbered after those of the drawing's own list, definition by
  // definition.
  int32_t dimension = modelDimensions_ + 1;
  for (size_t def = 0; def < blockName_.size(); ++def) {
    if (blockName_[def].empty()) continue;
    const TBlock b = DefinitionBlock(def);
    const TEntJwwBlockDef& store = d_.BlockDefs[def];
    BlockBegin(b, b.Name);
    TSpace space;
    space.Owner = b.Record;
    WriteStore(store, ItemsOf(store, store.EntityCount), space, dimension);
    BlockEnd(b);
  }
  // The dimensions' blocks: those of the drawing's own dimensions where
  // the dimensions stand (at their scale), then those of the definitions.
  TSpace model_space;
  model_space.GroupScales = true;
  dimension = 1;
  WriteDimensionBlocks(d_, ItemsOf(d_, d_.Header.EntityCount), model_space, dimension);
  for (size_t def = 0; def < blockName_.size(); ++def) {
    if (blockName_[def].empty()) continue;
    const TEntJwwBlockDef& store = d_.BlockDefs[def];
    WriteDimensionBlocks(store, ItemsOf(store, store.EntityCount), TSpace(), dimension);
  }
  out_.Raw("  0\nENDSEC\n");
}

void TDxfWriter::WriteEntities() {
  out_.Raw("  0\nSECTION\n  2\nENTITIES\n");
  TSpace space;
  space.Owner = kModelRecord;
  space.Model = true;
  space.GroupScales = true;
  int32_t dimension = 1;
  WriteStore(d_, ItemsOf(d_, d_.Header.EntityCount), space, dimension);
  out_.Raw("  0\nENDSEC\n");
}

void TDxfWriter::WriteObjects() {
  out_.Raw("  0\nSECTION\n  2\nOBJECTS\n");
  auto dictionary = [&](uint64_t handle, uint64_t owner) {
    out_.Str(0, "DICTIONARY");
    out_.Handle(5, handle);
    out_.Handle(330, owner);
    out_.Raw("100\nAcDbDictionary\n281\n1\n");
  };
  auto entry = [&](std::string_view name, uint64_t handle) {
    out_.Str(3, name);
    out_.Handle(350, handle);
  };
  const bool images = !o_.Images.empty();
  dictionary(kRootDictionary, 0);
  entry("ACAD_GROUP", kGroupDictionary);
  if (images) entry("ACAD_IMAGE_DICT", kImageDictionary);
  if (images) entry("ACAD_IMAGE_VARS", kImageVariables);
  entry("ACAD_LAYOUT", kLayoutDictionary);
  entry("ACAD_PLOTSTYLENAME", kPlotStyleDictionary);
  dictionary(kGroupDictionary, kRootDictionary);
  dictionary(kLayoutDictionary, kRootDictionary);
  entry("Layout1", kPaperLayout);
  entry("Model", kModelLayout);

  out_.Str(0, "ACDBDICTIONARYWDFLT");
  out_.Handle(5, kPlotStyleDictionary);
  out_.Handle(330, kRootDictionary);
  out_.Raw("100\nAcDbDictionary\n281\n1\n");
  entry("Normal", kPlotStyleNormal);
  out_.Raw("100\nAcDbDictionaryWithDefault\n");
  out_.Handle(340, kPlotStyleNormal);
  out_.Str(0, "ACDBPLACEHOLDER");
  out_.Handle(5, kPlotStyleNormal);
  out_.Handle(330, kPlotStyleDictionary);

  // The two layouts, the sheet's size that of the drawing's extents.
  auto layout = [&](uint64_t handle, const char* name, int tab, uint64_t record, int flags) {
    out_.Str(0, "LAYOUT");
    out_.Handle(5, handle);
    out_.Handle(330, kLayoutDictionary);
    out_.Raw("100\nAcDbPlotSettings\n  1\n\n  2\nnone_device\n  4\n\n  6\n\n"
             " 40\n0\n 41\n0\n 42\n0\n 43\n0\n 44\n420\n 45\n297\n 46\n0\n 47\n0\n 48\n0\n 49\n0\n"
             "140\n0\n141\n0\n142\n1\n143\n1\n");
    out_.Int(70, flags);
    out_.Raw(" 72\n1\n 73\n0\n 74\n5\n  7\n\n 75\n16\n 76\n0\n 77\n2\n 78\n300\n147\n1\n148\n0\n149\n0\n"
             "100\nAcDbLayout\n");
    out_.Str(1, name);
    out_.Int(70, 1);
    out_.Int(71, tab);
    out_.Raw(" 10\n0\n 20\n0\n 11\n420\n 21\n297\n 12\n0\n 22\n0\n 32\n0\n");
    out_.Point(14, extents_.MinX, extents_.MinY);
    out_.Point(15, extents_.MaxX, extents_.MaxY);
    out_.Raw("146\n0\n 13\n0\n 23\n0\n 33\n0\n 16\n1\n 26\n0\n 36\n0\n 17\n0\n 27\n1\n 37\n0\n 76\n0\n");
    out_.Handle(330, record);
  };
  layout(kModelLayout, "Model", 0, kModelRecord, 1024);
  layout(kPaperLayout, "Layout1", 1, kPaperRecord, 0);

  if (images) {
    dictionary(kImageDictionary, kRootDictionary);
    for (const TImageDef& def : imageDefs_) entry(def.Name, def.Handle);
    out_.Str(0, "RASTERVARIABLES");
    out_.Handle(5, kImageVariables);
    out_.Handle(330, kRootDictionary);
    out_.Raw("100\nAcDbRasterVariables\n 90\n0\n 70\n0\n 71\n1\n 72\n4\n");
    for (size_t i = 0; i < imageDefs_.size(); ++i) {
      const TImageDef& def = imageDefs_[i];
      const TDxfImage& image = o_.Images[i];
      out_.Str(0, "IMAGEDEF");
      out_.Handle(5, def.Handle);
      out_.Raw("102\n{ACAD_REACTORS\n");
      out_.Handle(330, kImageDictionary);
      for (const auto& shown : def.Reactors) out_.Handle(330, shown.second);
      out_.Raw("102\n}\n");
      out_.Handle(330, kImageDictionary);
      out_.Raw("100\nAcDbRasterImageDef\n 90\n0\n");
      out_.Str(1, image.File);
      out_.Point2(10, image.Width, image.Height);
      // The default size of a pixel, one unit, and no resolution units:
      // the IMAGE entities give the size.
      out_.Raw(" 11\n1\n 21\n1\n280\n1\n281\n0\n");
    }
    // Each IMAGE's reactor, owned by the IMAGE.
    for (const TImageDef& def : imageDefs_) {
      for (const auto& [image, reactor] : def.Reactors) {
        out_.Str(0, "IMAGEDEF_REACTOR");
        out_.Handle(5, reactor);
        out_.Handle(330, image);
        out_.Raw("100\nAcDbRasterImageDefReactor\n 90\n2\n");
        out_.Handle(330, image);
      }
    }
  }
  out_.Raw("  0\nENDSEC\n");
}

}  // namespace quorvex
