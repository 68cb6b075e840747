// The render context's property table: "CameraPosition", "CameraTarget" (vector), "CameraFov",
// "NearPlane", "FarPlane" (float), "ClearColor" (uint32, 0xAARRGGBB).
#pragma once

#include "corvane/property.h"

namespace corvane {
__attribute__((visibility("default"))) const PropertyTable* RenderContextPropertyTable();
}
