// The DXF writer's inside: the file written in three jobs, as the file is
// laid out. The first pass plans the tables and the handles (plan.h); the
// sections follow in order (sections.cpp: header, classes, tables, the
// blocks section's frame and the objects), with every entity written by
// the entity writer (entities.cpp), in model space and in the blocks.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "dxf/dxf.h"
#include "dxf/handles.h"
#include "dxf/out.h"
#include "dxf/plan.h"
#include "render/primitives.h"
#include "render/style.h"

namespace quorvex {

// The entities of the drawing as DXF entities, given their handles in the
// order the plan counted them.
class TDxfEntities {
 public:
  TDxfEntities(const TJwwData& d, const TDxfOptions& o, TDxfPlan& plan, TStyles& styles, std::vector<TPen>& pens,
               TDxfOut& out);

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

  // Writes the first `items` entities of a store's order list; value
  // dimensions take the numbers of their blocks from `dimension` on.
  void Store(const TEntJwwStore& s, size_t items, const TSpace& space, int32_t& dimension);
  // Writes the blocks of a store's dimensions, numbered from `dimension` on.
  void DimensionBlocks(const TEntJwwStore& s, size_t items, const TSpace& space, int32_t& dimension);
  void BlockBegin(const TDxfBlock& b, bool anonymous);
  void BlockEnd(const TDxfBlock& b);

  // The IMAGE entities that show each image of the options, each with its
  // reactor object.
  const std::vector<std::vector<std::pair<uint64_t, uint64_t>>>& ImageReactors() const { return reactors_; }
  // The next handle to give (the plan's $HANDSEED once all are written).
  uint64_t NextHandle() const { return nextHandle_; }
  TDxfLosses& Losses() { return losses_; }
  int64_t Undecoded() const { return undecoded_; }

 private:
  // How an entity looks: its colour, and for a stroke its lineweight and
  // line type (-1: none given).
  static constexpr uint32_t kNoColor = UINT32_MAX;  // the layer's colour
  struct TLook {
    uint32_t Rgb = kNoColor;
    int Lineweight = -1;
    int LineType = -1;  // index into the plan's line types
  };

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
  // Counts an entity left out as its loss; true when it is written.
  bool Written(const TDxfWritten& w);
  // The entity's first groups: kind, handle, owner, layer, look.
  uint64_t Begin(std::string_view kind, const TSpace& sp, const TEntJwwCommon& c, const TLook& look,
                 const std::string* layer = nullptr);
  double ScaleOf(const TEntJwwCommon& c, const TSpace& sp) const {
    return sp.GroupScales ? plan_.GroupScale(c.LayerGroup) : sp.Scale;
  }
  TLook StrokeLook(const TEntJwwCommon& c);
  TLook FillLook(uint32_t rgb) const { return TLook{rgb, -1, -1}; }
  const std::string& LayerOf(const TEntJwwCommon& c, const TSpace& sp) const {
    return sp.Model ? plan_.LayerOf(c) : plan_.Layers[0].Name;
  }
  const std::string& TemporaryLayer() const { return plan_.Layers[static_cast<size_t>(plan_.TemporaryLayer)].Name; }
  uint64_t NewHandle() { return nextHandle_++; }

  const TJwwData& d_;
  const TDxfOptions& o_;
  TDxfPlan& plan_;
  TStyles& styles_;
  std::vector<TPen>& pens_;
  TDxfOut& out_;
  TBlockIndex index_;
  TDxfLosses losses_;
  int64_t undecoded_ = 0;  // texts whose characters were lost
  uint64_t nextHandle_ = 0;
  std::vector<std::vector<std::pair<uint64_t, uint64_t>>> reactors_;
  std::string text_;  // scratch for strings

  // The groups of an entity's look (Begin), gathered once for each look:
  // most entities in a row share theirs.
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
  // The owner's group: entities come in runs of one owner.
  uint64_t lastOwner_ = 0;
  TDxfGroupBytes ownerGroup_;
  // The lineweight of the last stroke's width: strokes come in runs of one.
  double lastWidth_ = -1;
  int lastLineweight_ = 0;
};

// The sections, in order (sections.cpp). The blocks and entities
// sections write their entities through `entities`; the objects name the
// reactors of the images it wrote.
void WriteHeader(TDxfOut& out, const TDxfPlan& plan);
void WriteClasses(TDxfOut& out, bool images);
void WriteTables(TDxfOut& out, const TDxfPlan& plan);
void WriteBlocks(TDxfOut& out, const TJwwData& d, const TDxfPlan& plan, TDxfEntities& entities);
void WriteEntities(TDxfOut& out, const TJwwData& d, TDxfEntities& entities);
void WriteObjects(TDxfOut& out, const TDxfPlan& plan, const TDxfOptions& o, const TDxfEntities& entities);

}  // namespace quorvex
