// The DXF writer's first pass: everything the header and the tables must
// say before the first entity is written, from one walk over the entities
// of the drawing and of the definitions in use. The table entries and their
// names (layers, line types, text styles, blocks), the dimension style, the
// line type scale, the extents of what is visible, and every handle the
// file gives: the objects every file has, the table entries, the blocks,
// the image definitions and then the entities, as many as the entity
// writer will give (dxf/handles.h), so that $HANDSEED is the next one.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "dxf/dxf.h"
#include "dxf/fonts.h"
#include "dxf/names.h"
#include "render/primitives.h"
#include "render/style.h"

namespace quorvex {

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

struct TDxfLayer {
  std::string Name;
  bool Off = false;  // off and frozen
  uint64_t Handle = 0;
};

struct TDxfLineType {
  std::string Name;
  std::string Description;
  std::vector<double> Elements;  // drawn > 0, gap < 0, in millimetres of the sheet
  uint64_t Handle = 0;
};

struct TDxfTextStyle {
  TDxfFont Font;  // an empty family for "Standard"
  uint64_t Handle = 0;
};

// A block's three handles: its BLOCK_RECORD, BLOCK and ENDBLK.
struct TDxfBlock {
  std::string Name;
  uint64_t Record = 0, Begin = 0, End = 0;
};

// The text styles: "Standard" for texts without a font, and one for each
// font the texts name, made as the first pass meets them and found again
// by the entity writer.
class TDxfTextStyles {
 public:
  TDxfTextStyles();
  // The style of a text of this font: found, or made with a name of its own.
  int Of(const JwwString& font, TDxfLosses& losses, int64_t& undecoded);
  const std::vector<TDxfTextStyle>& All() const { return styles_; }
  std::vector<TDxfTextStyle>& All() { return styles_; }

 private:
  std::vector<TDxfTextStyle> styles_;  // [0] "Standard"
  std::map<std::string, int> byFamily_;
  TTableNames names_;
  // The font of the text before and its style: texts come in runs of one font.
  JwwString lastFont_;
  int lastStyle_ = 0;
};

class TDxfPlan {
 public:
  // Plans the file of this drawing: the pens of its strokes go through
  // `styles` (into its pen list `pens`), which the entity writer shares.
  TDxfPlan(const TJwwData& d, const TDxfOptions& o, TStyles& styles, const std::vector<TPen>& pens);

  // The scale of a layer group's entities (1 on the sheet).
  double GroupScale(uint16_t group) const { return groupScale_[group > 15 ? 0 : group]; }

  // Layers: [0] "0"; then the drawing's, in the order of their groups and
  // numbers; the temporary points' and the settings texts' (off), when
  // there are such.
  std::vector<TDxfLayer> Layers;
  int CurrentLayer = 0;
  int TemporaryLayer = -1;
  int SettingsLayer = -1;
  const std::string& LayerOf(const TEntJwwCommon& c) const {
    return Layers[static_cast<size_t>(layerOfKey_[(c.LayerGroup > 15 ? 0 : c.LayerGroup) * 16 + (c.Layer > 15 ? 0 : c.Layer)])]
        .Name;
  }

  // Line types: the dashed ones the strokes use (the three every file has
  // are written besides), by pen; and the scale of all of them ($LTSCALE):
  // at real size the scale most dashed strokes have, each other stroke
  // giving its own scale over it.
  std::vector<TDxfLineType> LineTypes;
  double LineTypeScale = 1;
  // The line type of a pen, -1 solid (or a pen the first pass did not meet).
  int LineTypeOfPen(int32_t pen) const {
    return static_cast<size_t>(pen) < lineTypeOfPen_.size() ? lineTypeOfPen_[static_cast<size_t>(pen)] : -1;
  }

  TDxfTextStyles TextStyles;

  // The block of each definition in use, by index (an empty name for one
  // not in use, which is not written), and of the dimension of this
  // number (from 1): the drawing's own dimensions first, then those of the
  // definitions in their order.
  const TDxfBlock& DefinitionBlock(size_t def) const { return definitions_[def]; }
  size_t Definitions() const { return definitions_.size(); }
  size_t DefinitionsInUse() const { return definitionsInUse_; }
  TDxfBlock DimensionBlock(int32_t number) const;
  int64_t DimensionBlocks = 0;
  int32_t ModelDimensions = 0;

  // The image definitions, by index into the options' images.
  std::vector<uint64_t> ImageDefinitions;

  // How a reader that draws dimensions from their style draws them: the
  // scale and the text height on the sheet that most of the drawing's
  // dimensions have (the smaller scale and height among equals).
  double DimensionScale = 1, DimensionText = 2.5;

  // The extents of model space: of what is visible.
  TBox Extents;

  uint64_t FirstEntityHandle = 0;
  uint64_t HandleSeed = 0;  // the next handle after the last one given

  TDxfLosses Losses;      // names changed
  int64_t Undecoded = 0;  // names whose characters were lost

 private:
  void Survey(const TEntJwwStore& s, size_t items, bool model);
  void AddLayer(int key);
  void CountDimensionLook(const TEntJwwDimension& dim);
  void ChooseDimensionLook(int writingGroup);
  void ChooseLineTypes(const std::vector<TPen>& pens);
  void FindExtents();
  std::string Decoded(const JwwString& s);

  const TJwwData& d_;
  const TDxfOptions& o_;
  TStyles& styles_;
  const std::vector<TPen>& pens_;
  TBlockIndex index_;
  std::vector<double> groupScale_;  // 16
  std::vector<int> layerOfKey_;     // 256 keys (group * 16 + layer) -> Layers, -1 none
  TTableNames layerNames_;
  // The line type of each pen (-2: not met), the pens met in order with
  // the line type number of their first stroke, and the dashed strokes of
  // model space by their scale.
  std::vector<int> lineTypeOfPen_;
  std::vector<std::pair<int32_t, int>> dashedPens_;
  std::map<double, int64_t> dashedByScale_;
  std::vector<TDxfBlock> definitions_;
  size_t definitionsInUse_ = 0;
  uint64_t firstDimensionHandle_ = 0;
  uint64_t entityHandles_ = 0;
  // Dimension looks (scale, text height) by their counts, for at most
  // kDimensionLooks different looks.
  static constexpr size_t kDimensionLooks = 64;
  std::map<std::pair<double, double>, int64_t> dimensionLooks_;
};

// The items in use of a store's order list.
size_t ItemsOf(const TEntJwwStore& s, int32_t entityCount);

// The name of the layer that holds the temporary points, which is off: the
// CAD program shows them while drawing and never prints them.
inline constexpr char kTemporaryLayer[] = "仮点";
// The name of the layer of the texts the CAD program keeps its settings in
// (IsSettingsText), which is off.
inline constexpr char kSettingsLayer[] = "設定";

// A DXF text's height is that of its capital letters; the drawing's is
// that of its character box. In the Japanese gothic fonts drawings are
// written in, capitals stand three quarters of the box high.
inline constexpr double kCapitalHeight = 0.75;

// A text the CAD program keeps a setting of its own in ("Printer_
// Orientation = 0" and the like): drawn with its auxiliary pen (line type
// 9, which it never prints) and with no base line, which it gives every
// text it lays out.
bool IsSettingsText(const TEntJwwText& t);

}  // namespace quorvex
