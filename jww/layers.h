// What the drawing's layer and layer group states mean: which entities are
// hidden. Pictures leave them out; the DXF writer turns their layers off.
#pragma once

#include <cstdint>

#include "jww/jwwunit.h"

namespace quorvex {

// True when an entity of the drawing's own list on this layer of this
// layer group is hidden: its group's state or its layer's state is 0.
//
// The CAD program never saves a drawing whose write layer group (or a
// group whose write layer) is hidden; drawings made by other programs
// often leave every state 0, and there the states mean nothing and
// everything is shown. So a group's state counts only when the write
// group's state is not 0, and a layer's state only when the write layer of
// its group has a state that is not 0.
bool IsHiddenLayer(const TJwwData& d, uint16_t layerGroup, uint16_t layer);

// The two halves of it, for a viewer that shows groups and layers with
// boxes of their own: the group's state hides all of the group, and the
// layer's state hides the layer (each as far as the states mean anything).
bool IsHiddenGroup(const TJwwData& d, uint16_t layerGroup);
bool IsHiddenLayerOfGroup(const TJwwData& d, uint16_t layerGroup, uint16_t layer);

}  // namespace quorvex
