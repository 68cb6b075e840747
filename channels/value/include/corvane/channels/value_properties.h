// The value channel's property table, for the tables of classes deriving from Vyn_FloatChannel
// (set it as their table's `base`). Properties: "Float", "DefaultFloat" (float) and
// "DefaultFloatSetting" (bool).
#pragma once

#include "corvane/property.h"

namespace corvane {
__attribute__((visibility("default"))) const PropertyTable* ValueChannelPropertyTable();
}
