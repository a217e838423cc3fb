#include "paint/scene_index.h"

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

namespace quorvex {
namespace {

// The finest grid has 2^kFinest cells a side.
constexpr int kFinest = 12;
constexpr uint8_t kNoLevel = 0xFF;

// The level of an item `ratio` times smaller than the root:
// floor(log2(ratio)) as std::log2 gives it, held to the levels. The
// exponent of the ratio tells it but for a ratio just below a power of
// two, which log2 may round up to it: there log2 itself decides.
int LevelOf(double ratio) {
  if (!(ratio >= 1)) return 0;
  if (!(ratio < static_cast<double>(uint64_t(1) << (kFinest + 1)))) return kFinest;
  int e = 0;
  const double m = std::frexp(ratio, &e);  // ratio = m * 2^e, m in [0.5, 1)
  if (m > 1 - 1e-12) return std::clamp(static_cast<int>(std::floor(std::log2(ratio))), 0, kFinest);
  return std::clamp(e - 1, 0, kFinest);
}

// Sorts cell << 32 | item values by their cells of `bits` bits, keeping
// the order of those of one cell, 12 bits a pass.
void SortByCell(std::vector<uint64_t>& list, std::vector<uint64_t>& spare, int bits) {
  constexpr int kPass = 12;
  spare.resize(list.size());
  std::vector<uint32_t> count(size_t(1) << kPass);
  for (int shift = 0; shift < bits; shift += kPass) {
    std::fill(count.begin(), count.end(), 0);
    const int from = 32 + shift;
    const uint64_t mask = (uint64_t(1) << std::min(kPass, bits - shift)) - 1;
    for (const uint64_t v : list) ++count[(v >> from) & mask];
    uint32_t at = 0;
    for (uint32_t& c : count) {
      const uint32_t n = c;
      c = at;
      at += n;
    }
    for (const uint64_t v : list) spare[count[(v >> from) & mask]++] = v;
    list.swap(spare);
  }
}

using TFiled = std::vector<std::pair<uint64_t, uint32_t>>;

// Sorts the items filed at a level by cell, those of one cell in the order
// they came in (that of the items): as sorting the pairs, with two passes
// of a counting sort over a list of hundreds of thousands of them rather
// than a comparison sort's twenty. Cells are below 2^bits.
void SortByCell(TFiled& list, int bits) {
  constexpr int kDigit = 12;
  if (list.size() < (size_t(1) << kDigit) || bits > 2 * kDigit) {
    std::sort(list.begin(), list.end());
    return;
  }
  TFiled other(list.size());
  std::vector<size_t> count(size_t(1) << kDigit);
  for (int shift = 0; shift < bits; shift += kDigit) {
    std::fill(count.begin(), count.end(), 0);
    for (const auto& e : list) ++count[(e.first >> shift) & (count.size() - 1)];
    size_t at = 0;
    for (size_t& c : count) at += std::exchange(c, at);
    for (const auto& e : list) other[count[(e.first >> shift) & (count.size() - 1)]++] = e;
    list.swap(other);
  }
}

}  // namespace

TSceneIndex::TSceneIndex(const TScene& scene)
    : items_(scene.ItemBoxes.size()), boxes_(scene.ItemBoxes), layers_(scene.ItemLayers) {
  for (const TBox& b : boxes_)
    if (!b.Empty() && Finite(b.MinX, b.MinY, b.MaxX, b.MaxY)) root_.Add({b.MinX, b.MinY}), root_.Add({b.MaxX, b.MaxY});
  if (root_.Empty()) return;
  const double side = std::max({root_.Width(), root_.Height(), 1e-9});
  levels_.resize(kFinest + 1);
  for (int l = 0; l <= kFinest; ++l) levels_[l].Cell = side / static_cast<double>(uint64_t(1) << l);
  // Each item goes to the finest level whose cells are at least as large
  // as it, into the cell of its centre: first each item's level and cell,
  // then the items of each level sorted by cell.
  std::vector<uint8_t> levelOf(items_, kNoLevel);
  std::vector<uint32_t> cellOf(items_);
  std::vector<uint32_t> counts(levels_.size(), 0);
  for (uint32_t i = 0; i < items_; ++i) {
    const TBox& b = boxes_[i];
    if (b.Empty() || !Finite(b.MinX, b.MinY, b.MaxX, b.MaxY)) continue;
    const double size = std::max(b.Width(), b.Height());
    const int l = size <= 0 ? kFinest : LevelOf(side / size);
    const uint64_t cells = uint64_t(1) << l;
    auto cell = [&](double v, double origin) {
      const double c = std::floor((v - origin) / levels_[l].Cell);
      return static_cast<uint64_t>(std::clamp(c, 0.0, static_cast<double>(cells - 1)));
    };
    const uint64_t column = cell((b.MinX + b.MaxX) / 2, root_.MinX);
    const uint64_t row = cell((b.MinY + b.MaxY) / 2, root_.MinY);
    levelOf[i] = static_cast<uint8_t>(l);
    cellOf[i] = static_cast<uint32_t>(row * cells + column);  // below 2^(2 * kFinest)
    ++counts[static_cast<size_t>(l)];
  }
  // Each level's items as cell << 32 | item, in the order of the items,
  // then sorted by cell keeping that order within a cell (a radix sort of
  // the few bits the level's cells need).
  std::vector<size_t> begins(levels_.size() + 1, 0);
  for (size_t l = 0; l < levels_.size(); ++l) begins[l + 1] = begins[l] + counts[l];
  std::vector<uint64_t> filed(begins.back()), spare;
  {
    std::vector<size_t> at(begins.begin(), begins.end() - 1);
    for (uint32_t i = 0; i < items_; ++i)
      if (levelOf[i] != kNoLevel) filed[at[levelOf[i]]++] = static_cast<uint64_t>(cellOf[i]) << 32 | i;
  }
  levelOf = {}, cellOf = {};
  std::vector<uint64_t> list;
  for (size_t l = 0; l < levels_.size(); ++l) {
    list.assign(filed.begin() + static_cast<std::ptrdiff_t>(begins[l]),
                filed.begin() + static_cast<std::ptrdiff_t>(begins[l + 1]));
    SortByCell(list, spare, static_cast<int>(2 * l));
    TLevel& level = levels_[l];
    level.Items.reserve(list.size());
    for (size_t k = 0; k < list.size(); ++k) {
      const uint64_t key = list[k] >> 32;
      if (k == 0 || key != list[k - 1] >> 32) {
        level.Keys.push_back(key);
        level.Starts.push_back(static_cast<uint32_t>(k));
      }
      level.Items.push_back(static_cast<uint32_t>(list[k]));
    }
    level.Starts.push_back(static_cast<uint32_t>(list.size()));
  }
}

void TSceneIndex::Collect(const TLevel& level, uint32_t side, const TBox& view, bool oneEach,
                          const TLayerShow* shown, std::vector<uint64_t>& bits, size_t& set) const {
  if (level.Keys.empty()) return;
  // An item sticks out of its cell by at most half its size, which is at
  // most the cell's: the view is widened by a cell.
  auto range = [&](double lo, double hi, double origin, int64_t& first, int64_t& last) {
    first = static_cast<int64_t>(std::floor((lo - level.Cell - origin) / level.Cell));
    last = static_cast<int64_t>(std::floor((hi + level.Cell - origin) / level.Cell));
    first = std::max<int64_t>(first, 0);
    last = std::min<int64_t>(last, static_cast<int64_t>(side) - 1);
  };
  int64_t c0, c1, r0, r1;
  range(view.MinX, view.MaxX, root_.MinX, c0, c1);
  range(view.MinY, view.MaxY, root_.MinY, r0, r1);
  if (c0 > c1 || r0 > r1) return;
  for (int64_t row = r0; row <= r1; ++row) {
    const uint64_t from = static_cast<uint64_t>(row) * side + static_cast<uint64_t>(c0);
    const uint64_t to = static_cast<uint64_t>(row) * side + static_cast<uint64_t>(c1);
    auto k = std::lower_bound(level.Keys.begin(), level.Keys.end(), from);
    for (; k != level.Keys.end() && *k <= to; ++k) {
      const size_t cell = static_cast<size_t>(k - level.Keys.begin());
      for (uint32_t n = level.Starts[cell]; n < level.Starts[cell + 1]; ++n) {
        const uint32_t item = level.Items[n];
        if (!Shown(item, shown)) continue;
        const TBox& b = boxes_[item];
        if (!oneEach && (b.MaxX < view.MinX || b.MinX > view.MaxX || b.MaxY < view.MinY || b.MinY > view.MaxY))
          continue;
        uint64_t& word = bits[item / 64];
        const uint64_t bit = uint64_t(1) << (item % 64);
        if (!(word & bit)) word |= bit, ++set;
        if (oneEach) break;
      }
    }
  }
}

size_t TSceneIndex::Query(const TBox& view, double pixel, const TLayerShow* shown, std::vector<uint64_t>& bits) const {
  bits.assign((items_ + 63) / 64, 0);
  size_t set = 0;
  if (view.Empty()) return 0;
  for (size_t l = 0; l < levels_.size(); ++l)
    Collect(levels_[l], static_cast<uint32_t>(uint64_t(1) << l), view, levels_[l].Cell < pixel / 2, shown, bits, set);
  return set;
}

}  // namespace quorvex
