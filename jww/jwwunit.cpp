#include "jww/jwwunit.h"

#include <algorithm>
#include <cmath>
#include <optional>

namespace quorvex {

void TEntJwwStore::CutToCounts() {
  auto cut = [](auto& array, int32_t count) {
    array.resize(static_cast<size_t>(count < 0 ? 0 : count));
    array.shrink_to_fit();
  };
  cut(Lines, LineCount);
  cut(Arcs, ArcCount);
  cut(Points, PointCount);
  cut(Texts, TextCount);
  cut(Dims, DimCount);
  cut(Solids, SolidCount);
  cut(BlockRefs, BlockRefCount);
}

void TEntJwwStore::ClearStore() { *this = TEntJwwStore(); }

void TJwwData::Clear() {
  ClearStore();
  Header = TEntJwwHeader();
  Header.PrinterScale = 1.0;
  Header.GridDisplayMin = Header.GridSpacingX = Header.GridSpacingY = 1.0;
  Header.ViewScale = Header.RangeScale = 1.0;
  Header.MarkScale.fill(1.0);
  Header.MarkLayerGroup.fill(-1);
  LayerGroups.clear();
  Layers.clear();
  PenSettings.clear();
  LineTypes.clear();
  RandomLines.clear();
  DoubleLineTypes.clear();
  ColorsEx.clear();
  LineTypesEx.clear();
  TextStyles.clear();
  BlockDefs.clear();
  BlockDefCount = 0;
  BlockTree.clear();
  BlockTreeCount = 0;
  UsedBlockDefCount = 0;
  ImageEntriesRead = 0;
}

void TJwwData::Reset() {
  for (TEntJwwBlockDef& def : BlockDefs) def.ClearStore();
  Clear();
}

TBlockIndex::TBlockIndex(const std::vector<TEntJwwBlockDef>& defs, int32_t count) {
  const size_t n = std::min(defs.size(), static_cast<size_t>(count < 0 ? 0 : count));
  first_.reserve(n);
  for (size_t i = 0; i < n; ++i) first_.emplace(defs[i].Number, static_cast<int32_t>(i));  // keeps the first
}

int32_t TBlockIndex::Find(int32_t number) const {
  const auto it = first_.find(number);
  return it == first_.end() ? -1 : it->second;
}

namespace {

struct TMatrix {
  double M11, M12, M21, M22;
};

TMatrix PlacementOf(const TEntJwwBlockRef& r) {
  const double c = std::cos(r.Angle), s = std::sin(r.Angle);
  return {r.ScaleX * c, -r.ScaleY * s, r.ScaleX * s, r.ScaleY * c};
}

// The number of nodes the block tree will have (capped just above
// kMaxBlockTreeNodes, so a runaway fan-out is refused before any node is
// built), or nothing when a definition reachable from the drawing's
// insertions places itself, directly or through others. Walks each
// reachable definition once.
std::optional<int64_t> BlockTreeSize(const TJwwData& d, const TBlockIndex& index) {
  enum : uint8_t { kUnseen, kOnPath, kDone };
  std::vector<uint8_t> state(static_cast<size_t>(d.BlockDefCount), kUnseen);
  // Nodes below one insertion of each finished definition.
  std::vector<int64_t> below(static_cast<size_t>(d.BlockDefCount), 0);
  constexpr int64_t kCap = int64_t(kMaxBlockTreeNodes) + 1;
  auto nodesOf = [&](int32_t number) {
    const int32_t def = index.Find(number);
    return std::min(kCap, 1 + (def >= 0 ? below[def] : 0));
  };
  struct Frame {
    int32_t def;
    int32_t next;  // next nested insertion to follow
  };
  std::vector<Frame> stack;
  for (int32_t j = 0; j < d.BlockRefCount; ++j) {
    const int32_t root = index.Find(d.BlockRefs[j].BlockNumber);
    if (root < 0 || state[root] != kUnseen) continue;
    state[root] = kOnPath;
    stack.push_back({root, 0});
    while (!stack.empty()) {
      Frame& f = stack.back();
      const TEntJwwBlockDef& def = d.BlockDefs[f.def];
      if (f.next >= def.BlockRefCount) {
        int64_t n = 0;
        for (int32_t b = 0; b < def.BlockRefCount; ++b)
          n = std::min(kCap, n + nodesOf(def.BlockRefs[b].BlockNumber));
        below[f.def] = n;
        state[f.def] = kDone;
        stack.pop_back();
        continue;
      }
      const int32_t child = index.Find(def.BlockRefs[f.next++].BlockNumber);
      if (child < 0 || state[child] == kDone) continue;
      if (state[child] == kOnPath) return std::nullopt;
      state[child] = kOnPath;
      stack.push_back({child, 0});
    }
  }
  int64_t size = 0;
  for (int32_t j = 0; j < d.BlockRefCount; ++j) size = std::min(kCap, size + nodesOf(d.BlockRefs[j].BlockNumber));
  return size;
}

}  // namespace

bool TJwwData::PostRead() {
  BlockTree.clear();
  BlockTreeCount = 0;
  UsedBlockDefCount = 0;
  if (BlockDefCount > static_cast<int32_t>(BlockDefs.size())) BlockDefCount = static_cast<int32_t>(BlockDefs.size());
  for (TEntJwwBlockDef& def : BlockDefs) {
    def.Used = false;
    def.NewNumber = -1;
  }
  if (BlockRefCount <= 0) return true;

  const TBlockIndex index(BlockDefs, BlockDefCount);
  const std::optional<int64_t> treeSize = BlockTreeSize(*this, index);
  if (!treeSize || *treeSize > kMaxBlockTreeNodes) return false;

  auto link = [&](TEntJwwBlockTree& node) {
    node.DefIndex = index.Find(node.BlockNumber);
    if (node.DefIndex >= 0) {
      TEntJwwBlockDef& def = BlockDefs[node.DefIndex];
      node.Name = def.Name;
      def.Used = true;
    }
  };

  BlockTree.reserve(static_cast<size_t>(*treeSize));
  for (int32_t j = 0; j < BlockRefCount; ++j) {
    const TEntJwwBlockRef& r = BlockRefs[j];
    TEntJwwBlockTree node;
    node.Common = r;
    node.Depth = 0;
    node.Parent = -1;
    node.BlockNumber = r.BlockNumber;
    node.X = r.RefX;
    node.Y = r.RefY;
    const TMatrix m = PlacementOf(r);
    node.M11 = m.M11, node.M12 = m.M12, node.M21 = m.M21, node.M22 = m.M22;
    link(node);
    BlockTree.push_back(std::move(node));
  }

  // Breadth first: nodes appended during the walk are walked too. The walk
  // ends, with *treeSize nodes, because no reachable definition places itself.
  for (size_t k = 0; k < BlockTree.size(); ++k) {
    if (BlockTree[k].DefIndex < 0) continue;
    const TEntJwwBlockDef& def = BlockDefs[BlockTree[k].DefIndex];
    if (def.BlockRefCount <= 0) continue;
    for (int32_t b = 0; b < def.BlockRefCount; ++b) {
      const TEntJwwBlockTree& parent = BlockTree[k];
      const TEntJwwBlockRef& r = def.BlockRefs[b];
      TEntJwwBlockTree node;
      node.Common = def;
      node.Depth = parent.Depth + 1;
      node.Parent = static_cast<int32_t>(k);
      node.BlockNumber = r.BlockNumber;
      node.X = parent.X + parent.M11 * r.RefX + parent.M12 * r.RefY;
      node.Y = parent.Y + parent.M21 * r.RefX + parent.M22 * r.RefY;
      const TMatrix l = PlacementOf(r);
      node.M11 = parent.M11 * l.M11 + parent.M12 * l.M21;
      node.M12 = parent.M11 * l.M12 + parent.M12 * l.M22;
      node.M21 = parent.M21 * l.M11 + parent.M22 * l.M21;
      node.M22 = parent.M21 * l.M12 + parent.M22 * l.M22;
      link(node);
      BlockTree.push_back(std::move(node));
    }
  }
  BlockTreeCount = static_cast<int32_t>(BlockTree.size());

  for (TEntJwwBlockDef& def : BlockDefs)
    if (def.Used) def.NewNumber = UsedBlockDefCount++;
  return true;
}

}  // namespace quorvex
