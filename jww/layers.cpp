#include "jww/layers.h"

namespace quorvex {
namespace {

// Whether the layer states of a group mean anything: its write layer's
// state is not 0.
bool LayerStatesMeanSomething(const TJwwData& d, size_t group) {
  if (group >= d.LayerGroups.size()) return false;
  const int32_t write = d.LayerGroups[group].WriteLayer;
  const size_t layer = group * 16 + static_cast<size_t>(write);
  return write >= 0 && write < 16 && layer < d.Layers.size() && d.Layers[layer].State != 0;
}

}  // namespace

bool IsHiddenGroup(const TJwwData& d, uint16_t layerGroup) {
  const size_t group = layerGroup;
  const int32_t writeGroup = d.Header.WriteLayerGroup;
  const bool groupStates = writeGroup >= 0 && static_cast<size_t>(writeGroup) < d.LayerGroups.size() &&
                           d.LayerGroups[static_cast<size_t>(writeGroup)].State != 0;
  return groupStates && group < d.LayerGroups.size() && d.LayerGroups[group].State == 0;
}

bool IsHiddenLayerOfGroup(const TJwwData& d, uint16_t layerGroup, uint16_t layer) {
  const size_t group = layerGroup, index = static_cast<size_t>(layerGroup) * 16 + layer;
  return layer < 16 && index < d.Layers.size() && LayerStatesMeanSomething(d, group) && d.Layers[index].State == 0;
}

bool IsHiddenLayer(const TJwwData& d, uint16_t layerGroup, uint16_t layer) {
  return IsHiddenGroup(d, layerGroup) || IsHiddenLayerOfGroup(d, layerGroup, layer);
}

}  // namespace quorvex
