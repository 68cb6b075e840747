// The matrix channel's property table, for the tables of classes deriving from Vyn_MatrixChannel
// (set it as their table's `base`). Property: "Matrix" (matrix).
#pragma once

#include "corvane/property.h"

namespace corvane {
__attribute__((visibility("default"))) const PropertyTable* MatrixChannelPropertyTable();
}
