// Where the drawing's own items lie, for a painter that draws only what is
// in view: each item's box (TScene::ItemBoxes) is filed in a grid of cells
// as large as the item, finer grids for smaller items, so that a view finds
// its items without looking at the others; and a cell that is smaller than
// half a pixel stands for all its items, which then fall on one pixel.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "render/primitives.h"

namespace quorvex {

// Which of the 16 x 16 layers are shown, by LayerGroup * 16 + Layer.
using TLayerShow = std::array<bool, 256>;

class TSceneIndex {
 public:
  // Files the drawing's items by the scene's item boxes (an empty box: an
  // item that draws nothing) with their layers (TScene::ItemLayers; 255:
  // on no layer of the 16 x 16, always shown). The scene must outlive the
  // index. A drawing of many items is filed by two threads at once unless
  // `twoThreads` is false; the index is the same either way.
  explicit TSceneIndex(const TScene& scene, bool twoThreads = true);

  size_t Items() const { return items_; }

  // Sets the bit of each item (bits[i / 64] bit i % 64; `bits` is sized
  // here) whose box meets `view`, among those on a shown layer (all when
  // `shown` is null). Of the items filed in a cell smaller than half of
  // `pixel` (drawing units a pixel covers) only the first shown one is
  // set: the others fall on the same pixel. Returns the number of bits set.
  size_t Query(const TBox& view, double pixel, const TLayerShow* shown, std::vector<uint64_t>& bits) const;

 private:
  struct TLevel {
    double Cell = 0;               // its cells' side, drawing units
    std::vector<uint64_t> Keys;    // the cells that hold items, row * side + column, ascending
    std::vector<uint32_t> Starts;  // where each cell's items begin in Items (one more than Keys)
    std::vector<uint32_t> Items;   // items by cell, ascending within a cell
  };

  void Collect(const TLevel& level, uint32_t side, const TBox& view, bool oneEach, const TLayerShow* shown,
               std::vector<uint64_t>& bits, size_t& set) const;
  bool Shown(uint32_t item, const TLayerShow* shown) const {
    const uint8_t layer = item < layers_.size() ? layers_[item] : 255;
    return !shown || layer == 255 || (*shown)[layer];
  }

  size_t items_ = 0;
  TBox root_;  // the square the grids cover
  std::vector<TLevel> levels_;  // level L has 2^L cells a side
  const std::vector<TBox>& boxes_;
  const std::vector<uint8_t>& layers_;
};

}  // namespace quorvex
