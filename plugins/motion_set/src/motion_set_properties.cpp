// The motion set's property table and its data hook (frames and keys from a text scene).
//
// Data (JSON):
//   { "frames": [
//       { "index": 0, "name": "Root", "dummy": false, "noMovement": false, "multiply": -1,
//         "invertRotation": false,
//         "keys": [ { "frame": 0, "matrix": [16 numbers, row by row] },
//                   { "time": 192, "translation": [x, y, z], "rotation": [x, y, z, w],
//                     "scale": [x, y, z] },
//                   { "frame": 2, "yawPitchRoll": [yaw, pitch, roll] } ] },
//       null ] }
// A frame's index defaults to its place in the array; null leaves that place empty. A key's time
// is "time" in ticks (1/4800 s) or "frame" in frames of 1/25 s; its matrix is "matrix" or is built
// as scale * rotation * translation from "scale", "rotation" (a quaternion) or "yawPitchRoll"
// (radians) and "translation", each optional. Keys are kept in the order given.
// The whole text is checked before anything is changed: malformed data changes nothing.
#include <cmath>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "corvane/motion_set.h"
#include "corvane/property.h"

namespace {

using nlohmann::json;
using Set = Vyn_DX8_MatrixInterpolateSet;

// Bounds that keep scene data from asking for absurd amounts of memory.
constexpr int kMaxFrameIndex = 65535;

struct FrameData {
  int index = 0;
  std::string name;
  bool dummy = false;
  bool noMovement = false;
  bool invertRotation = false;
  int multiply = -1;
  std::vector<SMatrixKey> keys;
};

bool Fail(std::string* error, const std::string& what) {
  if (error) *error = what;
  return false;
}

bool ReadNumbers(const json& j, std::size_t n, float* out, const std::string& where, std::string* error) {
  if (!j.is_array() || j.size() != n)
    return Fail(error, where + ": expected " + std::to_string(n) + " numbers");
  for (std::size_t i = 0; i < n; ++i) {
    if (!j[i].is_number()) return Fail(error, where + ": expected " + std::to_string(n) + " numbers");
    const double v = j[i].get<double>();
    if (!std::isfinite(v) || std::fabs(v) > 3.0e38)
      return Fail(error, where + ": value out of range");
    out[i] = static_cast<float>(v);
  }
  return true;
}

bool ReadKey(const json& k, SMatrixKey* key, const std::string& where, std::string* error) {
  if (!k.is_object()) return Fail(error, where + ": a key is an object");
  // Time: ticks, or frames of 1/25 s.
  long double ticks = 0;
  if (k.contains("time")) {
    if (!k["time"].is_number_integer()) return Fail(error, where + ": \"time\" is a whole number of ticks");
    ticks = static_cast<long double>(k["time"].get<int64_t>());
  } else if (k.contains("frame")) {
    if (!k["frame"].is_number()) return Fail(error, where + ": \"frame\" is a number");
    const double f = k["frame"].get<double>();
    if (!std::isfinite(f) || std::fabs(f) > 1.0e8) return Fail(error, where + ": \"frame\" out of range");
    ticks = std::llround(corvane::FrameToTicks(static_cast<float>(f)));
  } else {
    return Fail(error, where + ": a key needs \"time\" or \"frame\"");
  }
  if (ticks < -2147483648.0L || ticks > 4294967295.0L) return Fail(error, where + ": key time out of range");
  // Negative times are stored as the unsigned value they are (times just below 0 become 0).
  key->dwTime = static_cast<uint32_t>(static_cast<int64_t>(ticks));

  if (k.contains("matrix")) {
    float m[16];
    if (!ReadNumbers(k["matrix"], 16, m, where + " \"matrix\"", error)) return false;
    for (int i = 0; i < 16; ++i) key->matrix.m[i / 4][i % 4] = m[i];
    return true;
  }
  float s[3] = {1, 1, 1}, t[3] = {0, 0, 0}, q[4] = {0, 0, 0, 1};
  if (k.contains("scale") && !ReadNumbers(k["scale"], 3, s, where + " \"scale\"", error)) return false;
  if (k.contains("translation") && !ReadNumbers(k["translation"], 3, t, where + " \"translation\"", error))
    return false;
  D3DXQUATERNION rot(0, 0, 0, 1);
  if (k.contains("rotation")) {
    if (!ReadNumbers(k["rotation"], 4, q, where + " \"rotation\"", error)) return false;
    rot = D3DXQUATERNION(q[0], q[1], q[2], q[3]);
    if (D3DXQuaternionDot(&rot, &rot) == 0.0f) return Fail(error, where + ": \"rotation\" is the zero quaternion");
    D3DXQuaternionNormalize(&rot, &rot);
  } else if (k.contains("yawPitchRoll")) {
    float a[3];
    if (!ReadNumbers(k["yawPitchRoll"], 3, a, where + " \"yawPitchRoll\"", error)) return false;
    D3DXQuaternionRotationYawPitchRoll(&rot, a[0], a[1], a[2]);
  }
  D3DXMATRIX ms, mr, mt;
  D3DXMatrixScaling(&ms, s[0], s[1], s[2]);
  D3DXMatrixRotationQuaternion(&mr, &rot);
  D3DXMatrixTranslation(&mt, t[0], t[1], t[2]);
  D3DXMatrixMultiply(&mr, &mr, &mt);
  D3DXMatrixMultiply(&key->matrix, &ms, &mr);
  return true;
}

bool ReadBool(const json& f, const char* name, bool* out, const std::string& where, std::string* error) {
  if (!f.contains(name)) return true;
  if (!f[name].is_boolean()) return Fail(error, where + ": \"" + name + "\" is true or false");
  *out = f[name].get<bool>();
  return true;
}

bool ParseFrames(const json& doc, std::vector<FrameData>* frames, std::string* error) {
  if (!doc.is_object()) return Fail(error, "motion set data is an object");
  if (!doc.contains("frames")) return true;
  const json& list = doc["frames"];
  if (!list.is_array()) return Fail(error, "\"frames\" is an array");
  for (std::size_t p = 0; p < list.size(); ++p) {
    const json& f = list[p];
    const std::string where = "frames[" + std::to_string(p) + "]";
    if (f.is_null()) continue;
    if (!f.is_object()) return Fail(error, where + ": a frame is an object or null");
    FrameData d;
    d.index = static_cast<int>(p);
    if (f.contains("index")) {
      if (!f["index"].is_number_integer()) return Fail(error, where + ": \"index\" is a whole number");
      const int64_t i = f["index"].get<int64_t>();
      if (i < 0 || i > kMaxFrameIndex) return Fail(error, where + ": \"index\" out of range");
      d.index = static_cast<int>(i);
    } else if (p > static_cast<std::size_t>(kMaxFrameIndex)) {
      return Fail(error, where + ": too many frames");
    }
    if (f.contains("name")) {
      if (!f["name"].is_string()) return Fail(error, where + ": \"name\" is a text");
      d.name = f["name"].get<std::string>();
    }
    if (!ReadBool(f, "dummy", &d.dummy, where, error) || !ReadBool(f, "noMovement", &d.noMovement, where, error) ||
        !ReadBool(f, "invertRotation", &d.invertRotation, where, error))
      return false;
    if (f.contains("multiply")) {
      if (!f["multiply"].is_number_integer()) return Fail(error, where + ": \"multiply\" is a whole number");
      const int64_t n = f["multiply"].get<int64_t>();
      if (n < -1 || n > kMaxFrameIndex) return Fail(error, where + ": \"multiply\" out of range");
      d.multiply = static_cast<int>(n);
    }
    if (f.contains("keys")) {
      const json& keys = f["keys"];
      if (!keys.is_array()) return Fail(error, where + ": \"keys\" is an array");
      d.keys.resize(keys.size());
      for (std::size_t k = 0; k < keys.size(); ++k)
        if (!ReadKey(keys[k], &d.keys[k], where + ".keys[" + std::to_string(k) + "]", error)) return false;
    }
    frames->push_back(std::move(d));
  }
  return true;
}

bool ApplyMotionSetData(Zel_Channel& channel, const std::string& text, std::string* error) {
  auto* set = dynamic_cast<Set*>(&channel);
  if (set == nullptr) return Fail(error, "not a motion set");
  std::vector<FrameData> frames;
  try {
    const json doc = json::parse(text, nullptr, /*allow_exceptions=*/false);
    if (doc.is_discarded()) return Fail(error, "motion set data is not valid JSON");
    if (!ParseFrames(doc, &frames, error)) return false;
  } catch (const std::exception& e) {
    return Fail(error, std::string("motion set data: ") + e.what());
  }
  for (const FrameData& d : frames) {
    set->CreateMotionFrame(d.index, d.name.c_str());
    set->SetDummyMatrix(d.index, d.dummy);
    set->SetMatrixNoMovement(d.index, d.noMovement);
    set->SetMatrixMultNr(d.index, d.multiply);
    set->SetFrameKeys(d.index, d.keys.data(), d.keys.size(), d.invertRotation);
  }
  return true;
}

}  // namespace

namespace corvane {

const PropertyTable* MotionSetPropertyTable() {
  static const PropertyTable table = [] {
    PropertyTable t;
    t.properties = {
        MakeProperty<Set, float>("TimeScale", [](Set& s) { return s.GetTimeScale(); },
                                 [](Set& s, float v) { s.SetTimeScale(v); }),
        MakeProperty<Set, float>("TimeShift", [](Set& s) { return s.GetTimeShift(); },
                                 [](Set& s, float v) { s.SetTimeShift(v); }),
        MakeProperty<Set, float>("StartFrame", [](Set& s) { return s.GetStartFrame(); },
                                 [](Set& s, float v) { s.SetStartFrame(v); }),
        MakeProperty<Set, float>("EndFrame", [](Set& s) { return s.GetEndFrame(); },
                                 [](Set& s, float v) { s.SetEndFrame(v); }),
        MakeProperty<Set, bool>("Looping", [](Set& s) { return s.GetLooping(); },
                                [](Set& s, bool v) { s.SetLooping(v); }),
        MakeProperty<Set, bool>("UseLinearCalculation", [](Set& s) { return s.GetUseLinearCalculation(); },
                                [](Set& s, bool v) { s.SetUseLinearCalculation(v); }),
    };
    t.applyData = ApplyMotionSetData;
    return t;
  }();
  return &table;
}

}  // namespace corvane

CORVANE_PROPERTY_TABLE_EXPORT const corvane::PropertyTable* GetPropertyTable() {
  return corvane::MotionSetPropertyTable();
}
