#include "paint/scene_index.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <thread>
#include <utility>
#include <vector>

#include "os/processors.h"
#include "os/quietthread.h"

namespace quorvex {
namespace {

// The finest grid has 2^kFinest cells a side.
constexpr int kFinest = 12;

// A drawing of at least this many items is filed in two halves at once, on
// this thread and another, when it may have one.
constexpr uint32_t kItemsForTwoThreads = 1 << 14;

// An item filed at a level: its cell above its number (a cell is below
// 2^(2 kFinest), an item below 2^32), so that sorting them by value sorts
// them by cell and, within a cell, by item.
using TFiled = std::vector<uint64_t>;
constexpr int kItemBits = 32;

// Sorts the items filed at a level by cell, those of one cell in the order
// they came in (that of the items): as sorting the values, with two passes
// of a counting sort over a list of hundreds of thousands of them rather
// than a comparison sort's twenty. Cells are below 2^bits; `other` is room
// for the passes, kept from one list to the next.
void SortByCell(TFiled& list, int bits, TFiled& other) {
  constexpr int kDigit = 12;
  if (list.size() < (size_t(1) << kDigit) || bits > 2 * kDigit) {
    std::sort(list.begin(), list.end());
    return;
  }
  other.resize(list.size());
  std::vector<size_t> count(size_t(1) << kDigit);
  for (int shift = kItemBits; shift < kItemBits + bits; shift += kDigit) {
    std::fill(count.begin(), count.end(), 0);
    for (const uint64_t e : list) ++count[(e >> shift) & (count.size() - 1)];
    size_t at = 0;
    for (size_t& c : count) at += std::exchange(c, at);
    for (const uint64_t e : list) other[count[(e >> shift) & (count.size() - 1)]++] = e;
    list.swap(other);
  }
}

// Files the items [from, to) of `boxes` into `filed`, a list for each
// level sorted by cell. Each item goes to the finest level whose cells are
// at least as large as it, into the cell of its centre.
void FileItems(const std::vector<TBox>& boxes, uint32_t from, uint32_t to, const TBox& root, double side,
               const std::vector<double>& cellSides, std::vector<TFiled>& filed) {
  filed.assign(cellSides.size(), {});
  for (uint32_t i = from; i < to; ++i) {
    const TBox& b = boxes[i];
    if (b.Empty() || !Finite(b.MinX, b.MinY, b.MaxX, b.MaxY)) continue;
    const double size = std::max(b.Width(), b.Height());
    // The largest l with side / 2^l >= size (ilogb: the power of two of
    // the ratio, exact, and no more than INT_MAX for a ratio beyond range).
    const int l = size <= 0 ? kFinest : std::clamp(std::ilogb(side / size), 0, kFinest);
    const uint64_t cells = uint64_t(1) << l;
    auto cellOf = [&](double v, double origin) {
      const double c = std::floor((v - origin) / cellSides[static_cast<size_t>(l)]);
      return static_cast<uint64_t>(std::clamp(c, 0.0, static_cast<double>(cells - 1)));
    };
    const uint64_t column = cellOf((b.MinX + b.MaxX) / 2, root.MinX);
    const uint64_t row = cellOf((b.MinY + b.MaxY) / 2, root.MinY);
    filed[static_cast<size_t>(l)].push_back((row * cells + column) << kItemBits | i);
  }
  TFiled other;
  for (size_t l = 0; l < filed.size(); ++l) SortByCell(filed[l], 2 * static_cast<int>(l), other);
}

}  // namespace

TSceneIndex::TSceneIndex(const TScene& scene, bool twoThreads)
    : items_(scene.ItemBoxes.size()), boxes_(scene.ItemBoxes), layers_(scene.ItemLayers) {
  for (const TBox& b : boxes_)
    if (!b.Empty() && Finite(b.MinX, b.MinY, b.MaxX, b.MaxY)) root_.Add({b.MinX, b.MinY}), root_.Add({b.MaxX, b.MaxY});
  if (root_.Empty()) return;
  const double side = std::max({root_.Width(), root_.Height(), 1e-9});
  levels_.resize(kFinest + 1);
  std::vector<double> cellSides(levels_.size());
  for (int l = 0; l <= kFinest; ++l)
    levels_[l].Cell = cellSides[l] = side / static_cast<double>(uint64_t(1) << l);
  // The items in two halves, the second on a thread of its own when there
  // is one: each half's lists are sorted by cell, and as every item of the
  // first half comes before those of the second, merging a level's two
  // lists gives the one a single pass would have made.
  const uint32_t items = static_cast<uint32_t>(items_);
  const uint32_t half = twoThreads && items >= kItemsForTwoThreads && Processors() > 1 ? items / 2 : items;
  std::vector<TFiled> first, second;
  std::exception_ptr failed;  // the other thread's (out of memory), thrown here
  auto fileSecond = [&] {
    try {
      FileItems(boxes_, half, items, root_, side, cellSides, second);
    } catch (...) {
      failed = std::current_exception();
    }
  };
  std::thread other;
  if (half < items && !StartQuietThread(other, fileSecond)) fileSecond();
  try {
    FileItems(boxes_, 0, half, root_, side, cellSides, first);
  } catch (...) {
    if (other.joinable()) other.join();
    throw;
  }
  if (other.joinable()) other.join();
  if (failed) std::rethrow_exception(failed);
  second.resize(first.size());
  constexpr uint64_t kItemMask = (uint64_t(1) << kItemBits) - 1;
  for (size_t l = 0; l < levels_.size(); ++l) {
    TFiled& a = first[l];
    TFiled& b = second[l];
    TLevel& level = levels_[l];
    level.Items.reserve(a.size() + b.size());
    size_t i = 0, j = 0;
    uint64_t last = 0;
    while (i < a.size() || j < b.size()) {
      const uint64_t e = j == b.size() || (i < a.size() && a[i] < b[j]) ? a[i++] : b[j++];
      const uint64_t cell = e >> kItemBits;
      if (level.Items.empty() || cell != last) {
        level.Keys.push_back(cell);
        level.Starts.push_back(static_cast<uint32_t>(level.Items.size()));
        last = cell;
      }
      level.Items.push_back(static_cast<uint32_t>(e & kItemMask));
    }
    level.Starts.push_back(static_cast<uint32_t>(level.Items.size()));
    a = {}, b = {};
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
