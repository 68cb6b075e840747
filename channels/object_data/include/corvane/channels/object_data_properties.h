// The object data channel's property table, for the tables of classes deriving from
// Vyn_DX8_ObjectDataChannel (set it as their table's `base`). Properties: "Primitive" (enum None,
// Box, Sphere, Grid), "Size", "Segments", "Color", "Alpha", "Emissive", "AlphaBlend", "Bilinear",
// "Spin", "WorldMatrix". Data: {"mesh": "file.obj", "texture": "file.png"} (ApplyObjectData).
#pragma once

#include <string>

#include "corvane/property.h"

class Vyn_DX8_ObjectDataChannel;

namespace corvane {
__attribute__((visibility("default"))) const PropertyTable* ObjectDataPropertyTable();
// Applies {"mesh": ..., "texture": ...}; false with *error for anything else.
__attribute__((visibility("default"))) bool ApplyObjectData(Vyn_DX8_ObjectDataChannel& channel,
                                                            const std::string& json, std::string* error);
}  // namespace corvane
