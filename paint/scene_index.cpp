#include "paint/scene_index.h"

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

namespace quorvex {
namespace {

// The finest grid has 2^kFinest cells a side.
constexpr int kFinest = 12;

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
  // as it, into the cell of its centre.
  std::vector<TFiled> filed(levels_.size());
  for (uint32_t i = 0; i < items_; ++i) {
    const TBox& b = boxes_[i];
    if (b.Empty() || !Finite(b.MinX, b.MinY, b.MaxX, b.MaxY)) continue;
    const double size = std::max(b.Width(), b.Height());
    // The largest l with side / 2^l >= size (ilogb: the power of two of
    // the ratio, exact, and no more than INT_MAX for a ratio beyond range).
    const int l = size <= 0 ? kFinest : std::clamp(std::ilogb(side / size), 0, kFinest);
    const uint64_t cells = uint64_t(1) << l;
    auto cellOf = [&](double v, double origin) {
      const double c = std::floor((v - origin) / levels_[l].Cell);
      return static_cast<uint64_t>(std::clamp(c, 0.0, static_cast<double>(cells - 1)));
    };
    const uint64_t column = cellOf((b.MinX + b.MaxX) / 2, root_.MinX);
    const uint64_t row = cellOf((b.MinY + b.MaxY) / 2, root_.MinY);
    filed[l].push_back({row * cells + column, i});
  }
  for (size_t l = 0; l < levels_.size(); ++l) {
    auto& list = filed[l];
    SortByCell(list, 2 * static_cast<int>(l));
    TLevel& level = levels_[l];
    level.Items.reserve(list.size());
    for (size_t k = 0; k < list.size(); ++k) {
      if (k == 0 || list[k].first != list[k - 1].first) {
        level.Keys.push_back(list[k].first);
        level.Starts.push_back(static_cast<uint32_t>(k));
      }
      level.Items.push_back(list[k].second);
    }
    level.Starts.push_back(static_cast<uint32_t>(list.size()));
    list = {};
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
