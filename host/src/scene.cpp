// Text scenes: a JSON document that names channels by type, sets their properties by stem, feeds
// their data hooks, links them by link name and names the roots, the camera and the frame settings.
//
// Loading runs in three steps so that a bad scene never leaves half a scene behind:
//   1. the whole document is checked without creating anything: structure, types, property names
//      and values (converted and range-checked against the type's property table), ids, roots;
//   2. the channels are created into a fresh group (shared ones fetched from the engine) and the
//      links are checked against the declarations of the created channels (link names, expected
//      child types, one child or many, cycles);
//   3. the properties are set (and read back), the data hooks run, the links are connected.
// Any error in steps 1 and 2, or a refused data hook in step 3, drops the group, so the owned
// channels are deleted and nothing is connected to a shared channel.

#include "corvane/host/scene.h"

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <map>
#include <set>
#include <sstream>

#include <nlohmann/json.hpp>

#include "corvane/channel_group.h"
#include "corvane/guid.h"
#include "corvane/host/engine.h"
#include "corvane/property.h"
#include "corvane/zel_channel.h"

namespace corvane::host {
namespace {

// Objects keep the document's order: properties are set in the order written (a guarded setter
// may depend on another property set before it), and data reaches its hook as written.
using json = nlohmann::ordered_json;

// A scene deeper than this is refused before anything walks it recursively.
constexpr int kMaxJsonDepth = 64;
// Scene files larger than this are refused before they are read.
constexpr std::uintmax_t kMaxSceneFileBytes = 64u << 20;
// Frame counts a scene may ask for.
constexpr int64_t kMaxFrames = 1000000;

// The scene's failure: one message, thrown inside this file only and turned into *error.
struct SceneError {
  std::string text;
};

std::string Quote(const std::string& s) { return "\"" + s + "\""; }

// A short rendering of a JSON value for messages (cut so a huge value does not flood them).
std::string Show(const json& v) {
  std::string s = v.dump();
  if (s.size() > 60) s = s.substr(0, 57) + "...";
  return s;
}

const char* JsonKind(const json& v) {
  switch (v.type()) {
    case json::value_t::null: return "null";
    case json::value_t::boolean: return "a boolean";
    case json::value_t::number_integer:
    case json::value_t::number_unsigned: return "an integer";
    case json::value_t::number_float: return "a number";
    case json::value_t::string: return "a string";
    case json::value_t::array: return "an array";
    case json::value_t::object: return "an object";
    default: return "a value";
  }
}

// Depth of nesting, stopping once the limit is passed (so the walk itself stays bounded).
bool DepthWithin(const json& v, int limit) {
  if (limit < 0) return false;
  if (v.is_array() || v.is_object()) {
    for (const json& e : v)
      if (!DepthWithin(e, limit - 1)) return false;
  }
  return true;
}

std::string FormatFloat(double f) {
  std::ostringstream os;
  os.precision(9);
  os << f;
  return os.str();
}

std::string ShowValue(const PropertyInfo& info, const PropertyValue& p) {
  switch (p.type) {
    case PropertyType::Bool: return p.b ? "true" : "false";
    case PropertyType::Int: return std::to_string(p.i);
    case PropertyType::UInt32: return std::to_string(p.u);
    case PropertyType::Float: return FormatFloat(p.f);
    case PropertyType::Vector3:
      return "[" + FormatFloat(p.v.x) + ", " + FormatFloat(p.v.y) + ", " + FormatFloat(p.v.z) + "]";
    case PropertyType::Matrix: {
      std::string s = "[";
      for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) s += (r || c ? ", " : "") + FormatFloat(p.m.m[r][c]);
      return s + "]";
    }
    case PropertyType::Enum:
      if (p.i >= 0 && static_cast<std::size_t>(p.i) < info.enumNames.size())
        return info.enumNames[static_cast<std::size_t>(p.i)];
      return std::to_string(p.i);
  }
  return "?";
}


// The property table of a type: its own, or when its plug-in publishes none, that of the nearest
// base type that does (the class derives from that type's class, so the accessors apply).
const PropertyTable* TableFor(const Engine& engine, const PluginInfo* plugin) {
  for (std::size_t steps = 0; plugin && steps <= engine.GetPlugins().size(); ++steps) {
    if (const PropertyTable* t = engine.GetPropertyTable(plugin->type.typeId)) return t;
    if (plugin->type.baseTypeId == plugin->type.typeId) break;
    plugin = engine.FindPlugin(plugin->type.baseTypeId);
  }
  return nullptr;
}

// Reads the scene, remembering where it is so every message can say so.
class SceneReader {
 public:
  SceneReader(Engine& engine, std::string name) : engine_(engine), name_(std::move(name)) {}

  bool Load(const std::string& text, LoadedScene* scene, std::string* error);

 private:
  // One channel entry of the document, as checked in step 1.
  struct PendingProperty {
    const PropertyInfo* info;
    PropertyValue value;
  };
  struct PendingLink {
    std::string linkName;
    std::vector<std::string> children;  // ids
    bool many;                          // written as an array
  };
  struct PendingChannel {
    std::string id;
    const PluginInfo* plugin = nullptr;
    bool shared = false;
    std::string sharedName;
    std::vector<PendingProperty> properties;
    const json* data = nullptr;
    std::vector<PendingLink> links;
    Zel_Channel* channel = nullptr;  // set in step 2
  };

  [[noreturn]] void Fail(const std::string& what) const { throw SceneError{name_ + ": " + what}; }
  [[noreturn]] void FailChannel(const PendingChannel& c, const std::string& what) const {
    Fail("channel " + Quote(c.id) + ": " + what);
  }

  void ReadTop(const json& doc, LoadedScene* scene);
  void ReadChannel(const json& entry, std::size_t index);
  void ReadProperties(const json& props, PendingChannel& c);
  PropertyValue ConvertValue(const json& v, const PropertyInfo& info, const PendingChannel& c);
  float ReadFloat(const json& v, const std::string& where, const PendingChannel* c) const;
  D3DXVECTOR3 ReadVector(const json& v, const std::string& where, const PendingChannel* c) const;
  D3DXMATRIX ReadMatrix(const json& v, const std::string& where, const PendingChannel& c) const;
  void ReadLinks(const json& links, PendingChannel& c);
  void ReadCamera(const json& cam, SceneCamera* camera);
  void CreateChannels(Zel_ChannelGroup& group);
  void CheckLinks();
  void CheckCycles();
  void Apply(PendingChannel& c);

  Engine& engine_;
  std::string name_;
  std::vector<PendingChannel> channels_;
  std::map<std::string, std::size_t> byId_;
  std::vector<std::string> roots_;
};

bool SceneReader::Load(const std::string& text, LoadedScene* scene, std::string* error) {
  try {
    json doc;
    try {
      doc = json::parse(text);
    } catch (const json::parse_error& e) {
      // The library's message carries the line and column.
      std::string what = e.what();
      auto pos = what.find("parse error");
      Fail("not valid JSON: " + (pos == std::string::npos ? what : what.substr(pos)));
    }
    if (!DepthWithin(doc, kMaxJsonDepth))
      Fail("nested deeper than " + std::to_string(kMaxJsonDepth) + " levels");

    LoadedScene result;
    ReadTop(doc, &result);

    auto group = std::make_unique<Zel_ChannelGroup>(&engine_);
    CreateChannels(*group);
    CheckLinks();
    CheckCycles();

    // Owned channels first: a data hook that refuses its data then fails the scene before any
    // shared channel (which outlives the scene) has been touched.
    for (PendingChannel& c : channels_)
      if (!c.shared) Apply(c);
    for (PendingChannel& c : channels_)
      if (c.shared) Apply(c);

    for (PendingChannel& c : channels_) {
      for (const PendingLink& l : c.links) {
        int link = c.channel->FindLink(l.linkName.c_str());
        for (const std::string& child : l.children)
          c.channel->ConnectChild(link, channels_[byId_.at(child)].channel);
      }
    }
    for (const std::string& r : roots_) group->AddRoot(channels_[byId_.at(r)].channel);

    result.group = std::move(group);
    *scene = std::move(result);
    return true;
  } catch (const SceneError& e) {
    if (error) *error = e.text;
    return false;
  } catch (const std::exception& e) {
    if (error) *error = name_ + ": " + e.what();
    return false;
  }
}

void SceneReader::ReadTop(const json& doc, LoadedScene* scene) {
  if (!doc.is_object()) Fail(std::string("the scene must be a JSON object, not ") + JsonKind(doc));
  for (auto it = doc.begin(); it != doc.end(); ++it) {
    const std::string& key = it.key();
    if (key != "channels" && key != "roots" && key != "camera" && key != "frameStep" &&
        key != "frames")
      Fail("unknown member " + Quote(key) +
           " (a scene has channels, roots, camera, frameStep, frames)");
  }

  if (doc.contains("frameStep")) {
    float step = ReadFloat(doc["frameStep"], "frameStep", nullptr);
    if (!(step > 0.0f)) Fail("frameStep must be greater than 0, not " + Show(doc["frameStep"]));
    scene->settings.frameStep = step;
  }
  if (doc.contains("frames")) {
    const json& f = doc["frames"];
    if (!f.is_number_integer()) Fail(std::string("frames must be an integer, not ") + JsonKind(f));
    bool negative = f.is_number_unsigned() ? false : f.get<int64_t>() < 0;
    if (negative || (f.is_number_unsigned() ? f.get<uint64_t>() > uint64_t(kMaxFrames)
                                            : f.get<int64_t>() > kMaxFrames))
      Fail("frames must be between 0 and " + std::to_string(kMaxFrames) + ", not " + Show(f));
    scene->settings.frameCount = static_cast<int>(f.get<int64_t>());
  }
  if (doc.contains("camera")) ReadCamera(doc["camera"], &scene->camera);

  if (!doc.contains("channels")) Fail("no \"channels\" array");
  const json& chans = doc["channels"];
  if (!chans.is_array()) Fail(std::string("\"channels\" must be an array, not ") + JsonKind(chans));
  for (std::size_t i = 0; i < chans.size(); ++i) ReadChannel(chans[i], i);
  // Link targets are checked once every id is known, so a link may name a later channel.
  for (const PendingChannel& c : channels_)
    for (const PendingLink& l : c.links)
      for (const std::string& child : l.children)
        if (!byId_.count(child))
          FailChannel(c, "link " + Quote(l.linkName) + " names unknown channel id " + Quote(child));

  if (doc.contains("roots")) {
    const json& roots = doc["roots"];
    if (!roots.is_array()) Fail(std::string("\"roots\" must be an array of channel ids, not ") + JsonKind(roots));
    std::set<std::string> seen;
    for (const json& r : roots) {
      if (!r.is_string()) Fail("\"roots\" must hold channel ids (strings), not " + Show(r));
      const std::string id = r.get<std::string>();
      if (!byId_.count(id)) Fail("\"roots\" names unknown channel id " + Quote(id));
      if (!seen.insert(id).second) Fail("\"roots\" names channel id " + Quote(id) + " twice");
      roots_.push_back(id);
    }
  }
}

void SceneReader::ReadCamera(const json& cam, SceneCamera* camera) {
  if (!cam.is_object()) Fail(std::string("\"camera\" must be an object, not ") + JsonKind(cam));
  for (auto it = cam.begin(); it != cam.end(); ++it) {
    const std::string& key = it.key();
    if (key == "position") camera->position = ReadVector(*it, "camera position", nullptr);
    else if (key == "target") camera->target = ReadVector(*it, "camera target", nullptr);
    else if (key == "fov") {
      float fov = ReadFloat(*it, "camera fov", nullptr);
      if (!(fov > 0.0f && fov < 3.14159265f))
        Fail("camera fov must be between 0 and pi radians, not " + Show(*it));
      camera->fov = fov;
    } else {
      Fail("unknown camera member " + Quote(key) + " (a camera has position, target, fov)");
    }
  }
  const D3DXVECTOR3 d{camera->target.x - camera->position.x, camera->target.y - camera->position.y,
                      camera->target.z - camera->position.z};
  if (d.x == 0 && d.y == 0 && d.z == 0) Fail("camera position and target are the same point");
  camera->present = true;
}

void SceneReader::ReadChannel(const json& entry, std::size_t index) {
  const std::string where = "channel #" + std::to_string(index);
  if (!entry.is_object()) Fail(where + " must be an object, not " + JsonKind(entry));
  if (!entry.contains("id") || !entry["id"].is_string() || entry["id"].get<std::string>().empty())
    Fail(where + " has no \"id\" (a non-empty string)");
  PendingChannel c;
  c.id = entry["id"].get<std::string>();
  if (byId_.count(c.id)) Fail("channel id " + Quote(c.id) + " is used twice");

  for (auto it = entry.begin(); it != entry.end(); ++it) {
    const std::string& key = it.key();
    if (key != "id" && key != "type" && key != "shared" && key != "properties" && key != "data" &&
        key != "links")
      FailChannel(c, "unknown member " + Quote(key) +
                         " (a channel has id, type, shared, properties, data, links)");
  }

  if (!entry.contains("type") || !entry["type"].is_string()) FailChannel(c, "no \"type\" (a type name or identifier)");
  const std::string type = entry["type"].get<std::string>();
  c.plugin = engine_.FindPluginByName(type);
  GUID id;
  if (!c.plugin && ParseGuid(type.c_str(), &id)) c.plugin = engine_.FindPlugin(id);
  if (!c.plugin) FailChannel(c, "unknown type " + Quote(type) + " (no loaded plug-in provides it)");

  if (entry.contains("shared")) {
    const json& s = entry["shared"];
    if (!s.is_string()) FailChannel(c, std::string("\"shared\" must be an instance name (a string), not ") + JsonKind(s));
    c.shared = true;
    c.sharedName = s.get<std::string>();
    for (const PendingChannel& other : channels_)
      if (other.shared && other.plugin == c.plugin && other.sharedName == c.sharedName)
        FailChannel(c, "is the same shared channel as channel " + Quote(other.id));
  }
  if (entry.contains("properties")) ReadProperties(entry["properties"], c);
  if (entry.contains("data")) {
    const PropertyTable* table = TableFor(engine_, c.plugin);
    bool hook = false;
    for (const PropertyTable* t = table; t && !hook; t = t->base) hook = static_cast<bool>(t->applyData);
    if (!hook) FailChannel(c, "type " + Quote(c.plugin->type.typeName) + " takes no \"data\"");
    c.data = &entry["data"];
  }
  if (entry.contains("links")) ReadLinks(entry["links"], c);

  byId_[c.id] = channels_.size();
  channels_.push_back(std::move(c));
}

void SceneReader::ReadProperties(const json& props, PendingChannel& c) {
  if (!props.is_object()) FailChannel(c, std::string("\"properties\" must be an object, not ") + JsonKind(props));
  const PropertyTable* table = TableFor(engine_, c.plugin);
  for (auto it = props.begin(); it != props.end(); ++it) {
    const std::string& stem = it.key();
    const PropertyInfo* info = table ? table->Find(stem) : nullptr;
    if (!info)
      FailChannel(c, "unknown property " + Quote(stem) + " of channel " + Quote(c.id) + " (type " +
                         Quote(c.plugin->type.typeName) + (table ? ")" : ", which publishes no properties)"));
    c.properties.push_back({info, ConvertValue(*it, *info, c)});
  }
}

float SceneReader::ReadFloat(const json& v, const std::string& where, const PendingChannel* c) const {
  auto fail = [&](const std::string& what) {
    if (c) FailChannel(*c, what);
    Fail(what);
  };
  if (!v.is_number()) fail("value of wrong type for " + where + ": expected a number, got " + Show(v));
  double d = v.get<double>();
  if (!std::isfinite(d) || std::fabs(d) > std::numeric_limits<float>::max())
    fail("value out of range for " + where + ": " + Show(v) + " does not fit a float");
  return static_cast<float>(d);
}

D3DXVECTOR3 SceneReader::ReadVector(const json& v, const std::string& where, const PendingChannel* c) const {
  if (!v.is_array() || v.size() != 3) {
    std::string what = "value of wrong type for " + where + ": expected [x, y, z], got " + Show(v);
    if (c) FailChannel(*c, what);
    Fail(what);
  }
  return D3DXVECTOR3{ReadFloat(v[0], where, c), ReadFloat(v[1], where, c), ReadFloat(v[2], where, c)};
}

D3DXMATRIX SceneReader::ReadMatrix(const json& v, const std::string& where, const PendingChannel& c) const {
  D3DXMATRIX m;
  if (v.is_array()) {
    if (v.size() != 16)
      FailChannel(c, "value of wrong type for " + where + ": a matrix needs 16 numbers, got " +
                         std::to_string(v.size()));
    for (int i = 0; i < 16; ++i) m.m[i / 4][i % 4] = ReadFloat(v[static_cast<std::size_t>(i)], where, &c);
    return m;
  }
  if (!v.is_object())
    FailChannel(c, "value of wrong type for " + where +
                       ": expected 16 numbers or {\"translation\", \"rotation\", \"scale\"}, got " + Show(v));
  D3DXVECTOR3 t{0, 0, 0}, r{0, 0, 0}, s{1, 1, 1};
  for (auto it = v.begin(); it != v.end(); ++it) {
    if (it.key() == "translation") t = ReadVector(*it, where + " translation", &c);
    else if (it.key() == "rotation") r = ReadVector(*it, where + " rotation", &c);
    else if (it.key() == "scale") s = ReadVector(*it, where + " scale", &c);
    else FailChannel(c, "unknown matrix member " + Quote(it.key()) + " in " + where +
                            " (a matrix has translation, rotation, scale)");
  }
  // Row vectors: scale first, then rotate (yaw about y, pitch about x, roll about z), then move.
  D3DXMATRIX ms, mr, mt, tmp;
  D3DXMatrixScaling(&ms, s.x, s.y, s.z);
  D3DXMatrixRotationYawPitchRoll(&mr, r.x, r.y, r.z);
  D3DXMatrixTranslation(&mt, t.x, t.y, t.z);
  D3DXMatrixMultiply(&tmp, &ms, &mr);
  D3DXMatrixMultiply(&m, &tmp, &mt);
  return m;
}

PropertyValue SceneReader::ConvertValue(const json& v, const PropertyInfo& info, const PendingChannel& c) {
  const std::string where = "property " + Quote(info.stem);
  auto wrong = [&](const std::string& expected) {
    FailChannel(c, "value of wrong type for " + where + ": expected " + expected + ", got " + Show(v));
  };
  auto range = [&](const std::string& allowed) {
    FailChannel(c, "value out of range for " + where + ": " + Show(v) + " (" + allowed + ")");
  };
  switch (info.type) {
    case PropertyType::Bool:
      if (!v.is_boolean()) wrong("true or false");
      return PropertyValue::Bool(v.get<bool>());
    case PropertyType::Int: {
      if (!v.is_number_integer()) wrong("an integer");
      if (v.is_number_unsigned() ? v.get<uint64_t>() > uint64_t(INT32_MAX)
                                 : (v.get<int64_t>() < INT32_MIN || v.get<int64_t>() > INT32_MAX))
        range("an int holds -2147483648 to 2147483647");
      return PropertyValue::Int(static_cast<int32_t>(v.get<int64_t>()));
    }
    case PropertyType::UInt32: {
      // Colours read best in hex, so "0xAARRGGBB" strings are taken too.
      if (v.is_string()) {
        const std::string s = v.get<std::string>();
        if (s.size() < 3 || s.size() > 10 || s[0] != '0' || (s[1] != 'x' && s[1] != 'X'))
          wrong("an unsigned integer or \"0x...\" hex text");
        uint32_t u = 0;
        for (std::size_t i = 2; i < s.size(); ++i) {
          int h = HexDigit(s[i]);
          if (h < 0) wrong("an unsigned integer or \"0x...\" hex text");
          u = (u << 4) | static_cast<uint32_t>(h);
        }
        return PropertyValue::UInt32(u);
      }
      if (!v.is_number_integer()) wrong("an unsigned integer");
      if (!v.is_number_unsigned() && v.get<int64_t>() < 0) range("a uint32 holds 0 to 4294967295");
      if (v.get<uint64_t>() > UINT32_MAX) range("a uint32 holds 0 to 4294967295");
      return PropertyValue::UInt32(static_cast<uint32_t>(v.get<uint64_t>()));
    }
    case PropertyType::Float:
      return PropertyValue::Float(ReadFloat(v, where, &c));
    case PropertyType::Vector3:
      return PropertyValue::Vector3(ReadVector(v, where, &c));
    case PropertyType::Matrix:
      return PropertyValue::Matrix(ReadMatrix(v, where, c));
    case PropertyType::Enum: {
      std::string names;
      for (std::size_t i = 0; i < info.enumNames.size(); ++i)
        names += (i ? ", " : "") + info.enumNames[i];
      if (v.is_string()) {
        const std::string s = v.get<std::string>();
        for (std::size_t i = 0; i < info.enumNames.size(); ++i)
          if (info.enumNames[i] == s) return PropertyValue::Enum(static_cast<int32_t>(i));
        FailChannel(c, "unknown value " + Quote(s) + " for " + where + " (one of: " + names + ")");
      }
      if (!v.is_number_integer()) wrong("a name (one of: " + names + ") or its number");
      if (v.is_number_unsigned() ? v.get<uint64_t>() >= info.enumNames.size()
                                 : (v.get<int64_t>() < 0 ||
                                    v.get<int64_t>() >= static_cast<int64_t>(info.enumNames.size())))
        range("0 to " + std::to_string(info.enumNames.empty() ? 0 : info.enumNames.size() - 1) +
              ": " + names);
      return PropertyValue::Enum(static_cast<int32_t>(v.get<int64_t>()));
    }
  }
  FailChannel(c, where + " has a type this loader does not know");
}

void SceneReader::ReadLinks(const json& links, PendingChannel& c) {
  if (!links.is_object()) FailChannel(c, std::string("\"links\" must be an object, not ") + JsonKind(links));
  for (auto it = links.begin(); it != links.end(); ++it) {
    PendingLink l;
    l.linkName = it.key();
    if (it->is_string()) {
      l.many = false;
      l.children.push_back(it->get<std::string>());
    } else if (it->is_array()) {
      l.many = true;
      for (const json& child : *it) {
        if (!child.is_string())
          FailChannel(c, "link " + Quote(l.linkName) + " must name channel ids (strings), not " + Show(child));
        l.children.push_back(child.get<std::string>());
      }
    } else {
      FailChannel(c, "link " + Quote(l.linkName) + " must name a channel id or an array of ids, not " + Show(*it));
    }
    c.links.push_back(std::move(l));
  }
}

void SceneReader::CreateChannels(Zel_ChannelGroup& group) {
  for (PendingChannel& c : channels_) {
    const GUID& type = c.plugin->type.typeId;
    if (c.shared) {
      c.channel = engine_.GetSharedChannel(type, c.sharedName.empty() ? nullptr : c.sharedName.c_str());
      if (!c.channel) FailChannel(c, "the engine could not provide shared channel of type " + Quote(c.plugin->type.typeName));
      for (const PendingChannel& other : channels_)
        if (&other != &c && other.channel == c.channel)
          FailChannel(c, "is the same shared channel as channel " + Quote(other.id));
      group.AddChannel(c.channel, false);
    } else {
      c.channel = group.CreateChannel(type);
      if (!c.channel) FailChannel(c, "the plug-in of type " + Quote(c.plugin->type.typeName) + " created no channel");
      c.channel->SetInstanceName(c.id.c_str());
    }
  }
}

void SceneReader::CheckLinks() {
  for (const PendingChannel& c : channels_) {
    std::set<int> used;
    for (const PendingLink& l : c.links) {
      int link = c.channel->FindLink(l.linkName.c_str());
      if (link < 0) {
        std::string names;
        for (int i = 0; i < c.channel->GetLinkCount(); ++i) {
          const ChildCreation* d = c.channel->GetLinkDeclaration(i);
          if (d) names += std::string(names.empty() ? "" : ", ") + Quote(d->linkName);
        }
        FailChannel(c, "unknown link name " + Quote(l.linkName) + " (type " + Quote(c.plugin->type.typeName) +
                           (names.empty() ? " declares no links)" : " declares " + names + ")"));
      }
      if (!used.insert(link).second) FailChannel(c, "link " + Quote(l.linkName) + " is given twice");
      const ChildCreation* decl = c.channel->GetLinkDeclaration(link);
      const bool many = decl->linkPosition < 0;
      if (!many && (l.many || l.children.size() != 1))
        FailChannel(c, "link " + Quote(l.linkName) + " takes one child (a channel id), not an array");
      for (const std::string& childId : l.children) {
        const PendingChannel& child = channels_[byId_.at(childId)];
        if (!engine_.IsTypeCompatible(child.plugin->type.typeId, decl->childType.typeId))
          FailChannel(c, "incompatible child type: link " + Quote(l.linkName) + " expects " +
                             Quote(decl->childType.typeName) + ", channel " + Quote(childId) + " is " +
                             Quote(child.plugin->type.typeName));
      }
    }
  }
}

void SceneReader::CheckCycles() {
  // A channel evaluates its children; a cycle would recurse without end. Iterative depth-first
  // search with colours, so a long chain does not deepen the stack.
  const std::size_t n = channels_.size();
  std::vector<std::vector<std::size_t>> edges(n);
  for (std::size_t i = 0; i < n; ++i)
    for (const PendingLink& l : channels_[i].links)
      for (const std::string& child : l.children) edges[i].push_back(byId_.at(child));
  std::vector<int> colour(n, 0);  // 0 unseen, 1 on the path, 2 done
  for (std::size_t start = 0; start < n; ++start) {
    if (colour[start]) continue;
    std::vector<std::pair<std::size_t, std::size_t>> stack{{start, 0}};
    colour[start] = 1;
    while (!stack.empty()) {
      auto& [node, next] = stack.back();
      if (next < edges[node].size()) {
        std::size_t to = edges[node][next++];
        if (colour[to] == 1)
          FailChannel(channels_[node], "link to channel " + Quote(channels_[to].id) +
                                           " closes a cycle (a channel cannot be its own descendant)");
        if (colour[to] == 0) {
          colour[to] = 1;
          stack.push_back({to, 0});
        }
      } else {
        colour[node] = 2;
        stack.pop_back();
      }
    }
  }
}

void SceneReader::Apply(PendingChannel& c) {
  for (const PendingProperty& p : c.properties) {
    if (!p.info->set || !p.info->set(*c.channel, p.value))
      FailChannel(c, "property " + Quote(p.info->stem) + " refused value " + ShowValue(*p.info, p.value));
    if (p.info->get) {
      PropertyValue back = p.info->get(*c.channel);
      if (!SameValue(back, p.value))
        engine_.GetLogger().Write(-1, name_ + ": channel " + Quote(c.id) + ": property " + Quote(p.info->stem) +
                                          " did not take value " + ShowValue(*p.info, p.value) + " (it reads " +
                                          ShowValue(*p.info, back) + ")");
    }
  }
  if (c.data) {
    const PropertyTable* t = TableFor(engine_, c.plugin);
    while (t && !t->applyData) t = t->base;
    std::string why;
    if (!t || !t->applyData(*c.channel, c.data->dump(), &why))
      FailChannel(c, "bad \"data\": " + (why.empty() ? std::string("refused by the channel") : why));
  }
}

}  // namespace

bool LoadSceneText(Engine& engine, const std::string& text, const std::string& name, LoadedScene* scene,
                   std::string* error) {
  if (!scene) {
    if (error) *error = name + ": no scene to load into";
    return false;
  }
  SceneReader reader(engine, name);
  return reader.Load(text, scene, error);
}

bool LoadSceneFile(Engine& engine, const std::string& path, LoadedScene* scene, std::string* error) {
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) {
    if (error) *error = path + ": is a folder, not a scene file";
    return false;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    if (error) *error = path + ": cannot open (" + std::strerror(errno) + ")";
    return false;
  }
  in.seekg(0, std::ios::end);
  std::streamoff size = in.tellg();
  in.seekg(0, std::ios::beg);
  if (size < 0) {
    if (error) *error = path + ": cannot read (not a regular file?)";
    return false;
  }
  if (static_cast<std::uintmax_t>(size) > kMaxSceneFileBytes) {
    if (error) *error = path + ": too large for a scene (" + std::to_string(size) + " bytes)";
    return false;
  }
  std::string text(static_cast<std::size_t>(size), '\0');
  if (size > 0 && !in.read(text.data(), size)) {
    if (error) *error = path + ": cannot read";
    return false;
  }
  return LoadSceneText(engine, text, path, scene, error);
}

}  // namespace corvane::host
