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

bool SameValue(const PropertyValue& a, const PropertyValue& b) {
  if (a.type != b.type) return false;
  switch (a.type) {
    case PropertyType::Bool: return a.b == b.b;
    case PropertyType::Int:
    case PropertyType::Enum: return a.i == b.i;
    case PropertyType::UInt32: return a.u == b.u;
    case PropertyType::Float: return a.f == b.f;
    case PropertyType::Vector3: return a.v == b.v;
    case PropertyType::Matrix: return a.m == b.m;
  }
  return false;
}

}  // namespace corvane
