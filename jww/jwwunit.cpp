#include "jww/jwwunit.h"

#include <algorithm>
#include <cmath>

#include "jww/kinds.h"

namespace quorvex {

int64_t TEntJwwStore::TotalCount() const {
  int64_t total = 0;
  ForEachKind([&](auto k) { total += CountOf<decltype(k)>(*this); });
  return total;
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
  // Given back, not only emptied: a window keeps its drawing between
  // conversions.
  BlockDefs = TRecords<TEntJwwBlockDef>();
  BlockDefCount = 0;
  BlockTree = TRecords<TEntJwwBlockTree>();
  BlockTreeCount = 0;
  UsedBlockDefCount = 0;
  ImageEntriesRead = 0;
  EntityListOffset = 0;
}

void TJwwData::Reset() { Clear(); }

std::span<const TEntJwwBlockDef> TJwwData::Definitions() const {
  return std::span(BlockDefs).first(std::min(BlockDefs.size(), static_cast<size_t>(std::max(BlockDefCount, 0))));
}

std::span<TEntJwwBlockDef> TJwwData::Definitions() {
  return std::span(BlockDefs).first(std::min(BlockDefs.size(), static_cast<size_t>(std::max(BlockDefCount, 0))));
}

TBlockIndex::TBlockIndex(std::span<const TEntJwwBlockDef> defs) {
  sorted_.reserve(defs.size());
  for (size_t i = 0; i < defs.size(); ++i) sorted_.push_back({defs[i].Number, static_cast<int32_t>(i)});
  std::sort(sorted_.begin(), sorted_.end(),
            [](const Entry& a, const Entry& b) { return a.Number != b.Number ? a.Number < b.Number : a.Index < b.Index; });
  // Keep the first definition of each number.
  sorted_.erase(std::unique(sorted_.begin(), sorted_.end(), [](const Entry& a, const Entry& b) { return a.Number == b.Number; }),
                sorted_.end());
  if (sorted_.empty()) return;
  // Numbers spread over no more than twice as many values as there are
  // definitions go into a table looked up directly.
  first_ = sorted_.front().Number;
  const int64_t span = int64_t(sorted_.back().Number) - first_ + 1;
  if (span <= 2 * int64_t(sorted_.size())) {
    dense_.assign(static_cast<size_t>(span), -1);
    for (const Entry& e : sorted_) dense_[static_cast<size_t>(e.Number - first_)] = e.Index;
    sorted_.clear();
  }
  sorted_.shrink_to_fit();
}

int32_t TBlockIndex::Find(int32_t number) const {
  if (!dense_.empty()) {
    const int64_t at = int64_t(number) - first_;
    return at >= 0 && at < int64_t(dense_.size()) ? dense_[static_cast<size_t>(at)] : -1;
  }
  const auto it = std::lower_bound(sorted_.begin(), sorted_.end(), number,
                                   [](const Entry& e, int32_t n) { return e.Number < n; });
  return it != sorted_.end() && it->Number == number ? it->Index : -1;
}

namespace {

TBlockPlacement PlacementOf(const TEntJwwBlockRef& r) {
  const double c = std::cos(r.Angle), s = std::sin(r.Angle);
  return {r.RefX, r.RefY, r.ScaleX * c, -r.ScaleY * s, r.ScaleX * s, r.ScaleY * c};
}

// The placement of an insertion at (x, y) with its own matrix L inside a
// parent placement P: the point goes through P, the matrices multiply as P·L.
TBlockPlacement Nested(const TBlockPlacement& p, const TEntJwwBlockRef& r) {
  const TBlockPlacement l = PlacementOf(r);
  return {p.X + p.M11 * r.RefX + p.M12 * r.RefY,
          p.Y + p.M21 * r.RefX + p.M22 * r.RefY,
          p.M11 * l.M11 + p.M12 * l.M21,
          p.M11 * l.M12 + p.M12 * l.M22,
          p.M21 * l.M11 + p.M22 * l.M21,
          p.M21 * l.M12 + p.M22 * l.M22};
}

// What one walk over the definitions reachable from the drawing's
// insertions finds: the number of nodes the block tree will have (capped
// just above kMaxBlockTreeNodes, so a runaway fan-out is refused before any
// node is built), or a definition that places itself, directly or through
// others. Walks each reachable definition once.
struct TTreeMeasure {
  int64_t Size = 0;
  bool PlacesItself = false;
  // The definition that places itself; or, for a tree over the limit, the
  // first definition whose own subtree is over it, else the one placed by
  // the drawing's insertion at which the count passes it (-1: an insertion
  // that names no definition).
  int32_t Culprit = -1;
  int32_t CulpritNumber = 0;  // the block number of that insertion
};

TTreeMeasure MeasureBlockTree(const TJwwData& d, const TBlockIndex& index) {
  enum : uint8_t { kUnseen, kOnPath, kDone };
  TTreeMeasure m;
  const std::span<const TEntJwwBlockDef> defs = d.Definitions();
  TRecords<uint8_t> state(defs.size(), kUnseen);
  // Nodes below one insertion of each finished definition.
  TRecords<int64_t> below(defs.size(), 0);
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
      const TEntJwwBlockDef& def = defs[f.def];
      if (f.next >= def.BlockRefCount) {
        int64_t n = 0;
        for (int32_t b = 0; b < def.BlockRefCount; ++b)
          n = std::min(kCap, n + nodesOf(def.BlockRefs[b].BlockNumber));
        below[f.def] = n;
        if (n >= kCap && m.Culprit < 0) m.Culprit = f.def;
        state[f.def] = kDone;
        stack.pop_back();
        continue;
      }
      const int32_t child = index.Find(def.BlockRefs[f.next++].BlockNumber);
      if (child < 0 || state[child] == kDone) continue;
      if (state[child] == kOnPath) {
        m.PlacesItself = true;
        m.Culprit = child;
        m.CulpritNumber = defs[child].Number;
        return m;
      }
      state[child] = kOnPath;
      stack.push_back({child, 0});
    }
  }
  for (int32_t j = 0; j < d.BlockRefCount; ++j) {
    m.Size = std::min(kCap, m.Size + nodesOf(d.BlockRefs[j].BlockNumber));
    if (m.Size >= kCap && m.Culprit < 0) {
      m.Culprit = index.Find(d.BlockRefs[j].BlockNumber);
      m.CulpritNumber = d.BlockRefs[j].BlockNumber;
    }
    if (m.Size >= kCap) break;
  }
  if (m.Culprit >= 0) m.CulpritNumber = defs[m.Culprit].Number;
  return m;
}

}  // namespace

bool TJwwData::PostRead(TReadError* error) {
  BlockTree.clear();
  BlockTree.shrink_to_fit();
  BlockTreeCount = 0;
  UsedBlockDefCount = 0;
  const std::span<TEntJwwBlockDef> defs = Definitions();
  for (TEntJwwBlockDef& def : defs) {
    def.Used = false;
    def.NewNumber = -1;
  }
  if (BlockRefCount <= 0) return true;

  const TBlockIndex index(defs);
  const TTreeMeasure measure = MeasureBlockTree(*this, index);
  if (measure.PlacesItself || measure.Size > kMaxBlockTreeNodes) {
    if (error) {
      *error = TReadError();
      error->Problem = measure.PlacesItself ? TReadProblem::kPlacesItself : TReadProblem::kTreeTooLarge;
      error->Part = TReadPart::kBlockTree;
      error->Value = measure.CulpritNumber;
      error->Offset = measure.Culprit >= 0 ? defs[measure.Culprit].FileOffset : EntityListOffset;
    }
    return false;
  }

  BlockTree.reserve(static_cast<size_t>(measure.Size));
  auto add = [&](int32_t depth, int32_t parent, int32_t ref, int32_t number) {
    const int32_t def = index.Find(number);
    if (def >= 0) defs[def].Used = true;
    BlockTree.push_back({depth, parent, ref, def});
  };
  for (int32_t j = 0; j < BlockRefCount; ++j) add(0, -1, j, BlockRefs[j].BlockNumber);
  // Breadth first: nodes appended during the walk are walked too. The walk
  // ends, with measure.Size nodes, because no reachable definition places itself.
  for (size_t k = 0; k < BlockTree.size(); ++k) {
    const TEntJwwBlockTree node = BlockTree[k];
    if (node.DefIndex < 0) continue;
    const TEntJwwBlockDef& def = defs[node.DefIndex];
    for (int32_t b = 0; b < def.BlockRefCount; ++b)
      add(node.Depth + 1, static_cast<int32_t>(k), b, def.BlockRefs[b].BlockNumber);
  }
  BlockTreeCount = static_cast<int32_t>(BlockTree.size());

  for (TEntJwwBlockDef& def : defs)
    if (def.Used) def.NewNumber = UsedBlockDefCount++;
  return true;
}

const TEntJwwBlockRef& TJwwData::BlockTreeInsertion(size_t node) const {
  const TEntJwwBlockTree& n = BlockTree.at(node);
  const TEntJwwStore& holder = n.Parent < 0 ? static_cast<const TEntJwwStore&>(*this)
                                            : BlockDefs.at(BlockTree.at(n.Parent).DefIndex);
  return holder.BlockRefs.at(n.Ref);
}

const TEntJwwCommon& TJwwData::BlockTreeCommon(size_t node) const {
  const TEntJwwBlockTree& n = BlockTree.at(node);
  if (n.Parent < 0) return BlockRefs.at(n.Ref);
  return BlockDefs.at(BlockTree.at(n.Parent).DefIndex);
}

const JwwString& TJwwData::BlockTreeName(size_t node) const {
  static const JwwString kNone;
  const TEntJwwBlockTree& n = BlockTree.at(node);
  return n.DefIndex >= 0 ? BlockDefs.at(n.DefIndex).Name : kNone;
}

TBlockPlacement TJwwData::BlockTreePlacement(size_t node) const {
  // From the node up to its top-level insertion, then down again,
  // accumulating exactly as the tree was built.
  std::vector<size_t> path;
  for (size_t k = node; BlockTree.at(k).Parent >= 0; k = static_cast<size_t>(BlockTree[k].Parent)) path.push_back(k);
  const size_t top = path.empty() ? node : static_cast<size_t>(BlockTree[path.back()].Parent);
  TBlockPlacement p = PlacementOf(BlockTreeInsertion(top));
  for (size_t i = path.size(); i-- > 0;) p = Nested(p, BlockTreeInsertion(path[i]));
  return p;
}

}  // namespace quorvex
