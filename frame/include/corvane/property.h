// Property tables: the named, typed accessor pairs of a channel class, so that text scenes can
// configure a channel and tools can print its values by name.
//
// A plug-in publishes its table by exporting
//   extern "C" const corvane::PropertyTable* GetPropertyTable();
// A table may name a base table (the properties of the class it derives from). Data that is not a
// property (keys, items, nodes) goes through the table's data hook, which takes a JSON text.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "corvane/d3dx_math.h"

class Zel_Channel;

namespace corvane {

enum class PropertyType { Bool, Int, UInt32, Float, Vector3, Matrix, Enum };

const char* PropertyTypeName(PropertyType t);

struct PropertyValue;
// True when both values have the same type and the member of that type is equal.
bool SameValue(const PropertyValue& a, const PropertyValue& b);

// A property value of any of the types above; only the member of its type is meaningful.
struct PropertyValue {
  PropertyType type = PropertyType::Int;
  bool b = false;
  int32_t i = 0;  // Int and Enum
  uint32_t u = 0;
  float f = 0.0f;
  D3DXVECTOR3 v = {0, 0, 0};
  D3DXMATRIX m = {};

  static PropertyValue Bool(bool x) { PropertyValue p; p.type = PropertyType::Bool; p.b = x; return p; }
  static PropertyValue Int(int32_t x) { PropertyValue p; p.type = PropertyType::Int; p.i = x; return p; }
  static PropertyValue UInt32(uint32_t x) { PropertyValue p; p.type = PropertyType::UInt32; p.u = x; return p; }
  static PropertyValue Float(float x) { PropertyValue p; p.type = PropertyType::Float; p.f = x; return p; }
  static PropertyValue Vector3(const D3DXVECTOR3& x) { PropertyValue p; p.type = PropertyType::Vector3; p.v = x; return p; }
  static PropertyValue Matrix(const D3DXMATRIX& x) { PropertyValue p; p.type = PropertyType::Matrix; p.m = x; return p; }
  static PropertyValue Enum(int32_t x) { PropertyValue p; p.type = PropertyType::Enum; p.i = x; return p; }
};

struct PropertyInfo {
  std::string stem;                    // accessor stem, e.g. "BirthPeriod"
  PropertyType type;
  std::vector<std::string> enumNames;  // Enum only: names of the values 0, 1, 2, ...
  std::function<PropertyValue(Zel_Channel&)> get;
  // Returns false when the value was refused (wrong type); a setter that ignores values out of
  // its range still returns true, and the scene loader reads the value back to tell the user.
  std::function<bool(Zel_Channel&, const PropertyValue&)> set;
};

struct PropertyTable {
  const PropertyTable* base = nullptr;  // the base class's table, or null
  std::vector<PropertyInfo> properties;
  // Applies a JSON value (the scene's "data" member for this channel). Returns false and fills
  // *error when the data is malformed. Null when the type has no data.
  std::function<bool(Zel_Channel&, const std::string& json, std::string* error)> applyData;

  // Finds a property by stem here or in the base tables, or null.
  const PropertyInfo* Find(const std::string& stem) const {
    for (const PropertyTable* t = this; t; t = t->base)
      for (const PropertyInfo& p : t->properties)
        if (p.stem == stem) return &p;
    return nullptr;
  }
};

// Builds a table entry from a getter and a setter lambda on the concrete class C. T is the value's
// C++ type: bool, int32_t, uint32_t (DWORD), float, D3DXVECTOR3, D3DXMATRIX, or an enum type with
// enumNames given.
template <class C, class T, class G, class S>
PropertyInfo MakeProperty(const char* stem, G getter, S setter, std::vector<std::string> enumNames = {}) {
  PropertyInfo info;
  info.stem = stem;
  if constexpr (std::is_same_v<T, bool>) info.type = PropertyType::Bool;
  else if constexpr (std::is_enum_v<T>) info.type = PropertyType::Enum;
  else if constexpr (std::is_same_v<T, float>) info.type = PropertyType::Float;
  else if constexpr (std::is_same_v<T, D3DXVECTOR3>) info.type = PropertyType::Vector3;
  else if constexpr (std::is_same_v<T, D3DXMATRIX>) info.type = PropertyType::Matrix;
  else if constexpr (std::is_unsigned_v<T>) info.type = PropertyType::UInt32;
  else info.type = PropertyType::Int;
  info.enumNames = std::move(enumNames);
  info.get = [getter](Zel_Channel& ch) {
    T value = getter(static_cast<C&>(ch));
    PropertyValue p;
    if constexpr (std::is_same_v<T, bool>) p = PropertyValue::Bool(value);
    else if constexpr (std::is_enum_v<T>) p = PropertyValue::Enum(static_cast<int32_t>(value));
    else if constexpr (std::is_same_v<T, float>) p = PropertyValue::Float(value);
    else if constexpr (std::is_same_v<T, D3DXVECTOR3>) p = PropertyValue::Vector3(value);
    else if constexpr (std::is_same_v<T, D3DXMATRIX>) p = PropertyValue::Matrix(value);
    else if constexpr (std::is_unsigned_v<T>) p = PropertyValue::UInt32(static_cast<uint32_t>(value));
    else p = PropertyValue::Int(static_cast<int32_t>(value));
    return p;
  };
  PropertyType type = info.type;
  info.set = [setter, type](Zel_Channel& ch, const PropertyValue& p) {
    if (p.type != type) return false;
    C& c = static_cast<C&>(ch);
    if constexpr (std::is_same_v<T, bool>) setter(c, p.b);
    else if constexpr (std::is_enum_v<T>) setter(c, static_cast<T>(p.i));
    else if constexpr (std::is_same_v<T, float>) setter(c, p.f);
    else if constexpr (std::is_same_v<T, D3DXVECTOR3>) setter(c, p.v);
    else if constexpr (std::is_same_v<T, D3DXMATRIX>) setter(c, p.m);
    else if constexpr (std::is_unsigned_v<T>) setter(c, static_cast<T>(p.u));
    else setter(c, static_cast<T>(p.i));
    return true;
  };
  return info;
}

}  // namespace corvane

// The export a plug-in adds to publish its table.
#define CORVANE_PROPERTY_TABLE_EXPORT extern "C" __attribute__((visibility("default")))
