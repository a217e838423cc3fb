// The DXF writer's inside: one object per file written, shared by the
// structure of the file (document.cpp: the first pass over the drawing,
// the header, the tables, the blocks section and the objects) and the
// entities (entities.cpp).
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "dxf/dxf.h"
#include "dxf/names.h"
#include "dxf/out.h"
#include "render/primitives.h"
#include "render/style.h"

namespace quorvex {

class TDxfWriter {
 public:
  TDxfWriter(const TJwwData& d, const TDxfOptions& o, TArchiveWriter& w);
  TDxfLosses Run();

 private:
  // Where the entities being written go: the block record that owns them,
  // whether they take the layers of their own common parts (model space)
  // or layer "0" (a block, whose insertion's layer they show on), and
  // their scale: the group's scale of each entity (model space at real
  // size), or one scale for all.
  struct TSpace {
    uint64_t Owner = 0;
    bool Model = false;
    bool GroupScales = false;
    double Scale = 1;
  };

  // How an entity looks: its colour, and for a stroke its lineweight and
  // line type (-1: none given).
  static constexpr uint32_t kNoColor = UINT32_MAX;  // the layer's colour
  struct TLook {
    uint32_t Rgb = kNoColor;
    int Lineweight = -1;
    int LineType = -1;  // index into lineTypes_
  };

  struct TLayer {
    std::string Name;
    bool Off = false;
    uint64_t Handle = 0;
  };
  struct TLineType {
    std::string Name;
    std::string Description;
    std::vector<double> Elements;  // drawn > 0, gap < 0, in millimetres
    uint64_t Handle = 0;
  };
  struct TTextStyle {
    std::string Name;
    std::string Font;  // the drawing's font name, UTF-8
    uint64_t Handle = 0;
  };
  struct TBlock {
    int32_t Def = -1;  // index in the drawing's definitions; -1 for a dimension's block
    std::string Name;
    uint64_t Record = 0, Begin = 0, End = 0;
  };
  struct TImageDef {
    std::string Name;
    uint64_t Handle = 0;
    // The IMAGE entities that show it, each with its reactor object.
    std::vector<std::pair<uint64_t, uint64_t>> Reactors;
  };

  // ---- the first pass (document.cpp) ----
  void Survey();
  void SurveyStore(const TEntJwwStore& s, size_t items, bool model);
  void AddLayer(int key);
  void CountDimensionLook(const TEntJwwDimension& dim);
  void ChooseDimensionLook(int writingGroup);
  int LineTypeOf(const TPen& pen, int style);
  int TextStyleOf(const JwwString& font);
  void Extents();

  // ---- the sections (document.cpp) ----
  void WriteHeader();
  void WriteClasses();
  void WriteTables();
  void WriteBlocks();
  void WriteEntities();
  void WriteObjects();
  void TableHead(const char* name, uint64_t handle, size_t entries);
  void BlockBegin(const TBlock& b, const std::string& name);
  void BlockEnd(const TBlock& b);
  // The block of the dimension of this number (from 1), and that of a
  // definition in use.
  TBlock DimensionBlock(int32_t number) const;
  TBlock DefinitionBlock(size_t def) const;

  // ---- entities (entities.cpp) ----
  // Writes the first `items` entities of a store's order list; value
  // dimensions take the numbers of their blocks from `dimension` on.
  void WriteStore(const TEntJwwStore& s, size_t items, const TSpace& space, int32_t& dimension);
  // Writes the geometry blocks of a store's dimensions with a value.
  void WriteDimensionBlocks(const TEntJwwStore& s, size_t items, const TSpace& space, int32_t& dimension);
  void Entity(const TEntJwwLine& l, const TSpace& sp);
  void Entity(const TEntJwwArc& a, const TSpace& sp);
  void Entity(const TEntJwwPoint& p, const TSpace& sp, bool temporary);
  void Entity(const TEntJwwText& t, const TSpace& sp);
  void Entity(const TEntJwwSolid& s, const TSpace& sp);
  void Entity(const TEntJwwBlockRef& r, const TSpace& sp);
  void Dimension(const TEntJwwDimension& dim, const TSpace& sp, int32_t number);
  void Image(const TEntJwwText& t, const TSpace& sp, double scale);
  void Ellipse(const TEntJwwCommon& c, const TSpace& sp, const TLook& look, double cx, double cy, double radius,
               double flatness, double tilt, double start, double sweep, bool full);
  void Hatch(const TEntJwwSolid& so, const TSpace& sp, uint32_t rgb);
  // The entity's first groups: kind, handle, owner, layer, look.
  uint64_t Begin(std::string_view kind, const TSpace& sp, const TEntJwwCommon& c, const TLook& look,
                 bool temporaryLayer = false);
  double ScaleOf(const TEntJwwCommon& c, const TSpace& sp) const;
  TLook StrokeLook(const TEntJwwCommon& c);
  TLook FillLook(uint32_t rgb) const { return TLook{rgb, -1, -1}; }
  const std::string& LayerOf(const TEntJwwCommon& c, const TSpace& sp, bool temporary) const;
  uint64_t NewHandle() { return nextHandle_++; }
  // A drawing's string as UTF-8, counting those whose characters were lost.
  std::string Decoded(const JwwString& s);

  const TJwwData& d_;
  const TDxfOptions& o_;
  TDxfOut out_;
  TDxfLosses losses_;
  std::vector<TPen> pens_;
  TStyles styles_;
  TBlockIndex index_;

  // Tables.
  std::vector<TLayer> layers_;       // [0] "0"; then in the order of their keys
  std::vector<int> layerOfKey_;      // 256 keys (group * 16 + layer) -> layers_, -1 none
  int temporaryLayer_ = -1;          // the layer of temporary points, -1 none
  int currentLayer_ = 0;
  TTableNames layerNames_, lineTypeNames_, styleNames_, blockNames_;
  std::vector<TLineType> lineTypes_;
  std::map<std::pair<std::vector<double>, double>, int> lineTypeOfPattern_;
  std::vector<int> lineTypeOfPen_;   // by pen index: -2 not looked up yet, -1 solid
  std::vector<TTextStyle> textStyles_;  // [0] "Standard"
  std::map<std::string, int> textStyleOfFont_;
  JwwString lastFont_;
  int lastTextStyle_ = 0;
  // The name of each definition's block, by index; empty for a definition
  // not in use (not written). Its handles are three in a row from
  // firstDefinitionHandle_ + 3 * index on.
  std::vector<std::string> blockName_;
  uint64_t firstDefinitionHandle_ = 0;
  int32_t modelDimensions_ = 0;  // the dimension blocks of the drawing's own list
  // The dimensions' blocks, "*D1" on, each with three handles in a row
  // from the first one's on (there can be as many as entities).
  int64_t dimensionBlocks_ = 0;
  uint64_t firstDimensionHandle_ = 0;
  std::vector<TImageDef> imageDefs_;  // by index into o_.Images
  std::vector<double> groupScale_;    // 16
  // How a reader that draws dimensions from their style (rather than from
  // their blocks) draws them: at the scale and with the text height on the
  // sheet that most of the drawing's dimensions have (counted for at most
  // kDimensionLooks different looks), without arrowheads, and with
  // extension lines from the measured points to the dimension line, as
  // the drawing draws them.
  static constexpr size_t kDimensionLooks = 64;
  // A DXF text's height is that of its capital letters; the drawing's is
  // that of its character box. In the Japanese gothic fonts drawings are
  // written in, capitals stand three quarters of the box high.
  static constexpr double kCapitalHeight = 0.75;
  std::map<std::pair<double, double>, int64_t> dimensionLooks_;  // (scale, text height) -> dimensions
  double dimensionScale_ = 1, dimensionText_ = 2.5;

  // Handles.
  uint64_t nextHandle_ = 1;
  uint64_t handleSeed_ = 0;          // above every handle the file uses
  uint64_t entityHandles_ = 0;       // at most this many handles go to entities

  TBox extents_;
  std::string text_;  // scratch for strings
  int64_t undecoded_ = 0;  // names whose characters were lost
  // The groups of an entity's look (Begin), by layer, colour, width, line
  // type and line type scale.
  struct TLookKey {
    const std::string* Layer = nullptr;
    uint32_t Rgb = 0;
    int Lineweight = 0, LineType = 0;
    double Scale = 0;
    auto operator<=>(const TLookKey&) const = default;
  };
  std::map<TLookKey, std::string> lookGroups_;
  TLookKey lastLookKey_;
  const std::string* lastLookGroups_ = nullptr;
  uint64_t lastOwner_ = 0;  // the owner's group, as written last
  std::string ownerGroup_;
  double lastWidth_ = -1;
  int lastLineweight_ = 0;
};

}  // namespace quorvex
