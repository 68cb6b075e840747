#include "corvane/property.h"

namespace corvane {

const char* PropertyTypeName(PropertyType t) {
  switch (t) {
    case PropertyType::Bool: return "bool";
    case PropertyType::Int: return "int";
    case PropertyType::UInt32: return "uint32";
    case PropertyType::Float: return "float";
    case PropertyType::Vector3: return "vector";
    case PropertyType::Matrix: return "matrix";
    case PropertyType::Enum: return "enumeration";
  }
  return "?";
}

}  // namespace corvane
