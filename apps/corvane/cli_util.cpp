#include "cli_util.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "corvane/host/engine.h"

namespace corvane::cli {

bool IsHelpArg(const char* arg) { return std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0; }

int LoadPlugins(corvane::host::Engine& engine) {
  int n = engine.LoadDefaultPlugins();
  if (n == 0) {
    const char* path = std::getenv("CORVANE_PLUGIN_PATH");
    std::fprintf(stderr,
                 "corvane: no plug-ins found in %s%s\n"
                 "  (set CORVANE_PLUGIN_PATH to the folder holding the <GUID>.so plug-in files)\n",
                 path ? "CORVANE_PLUGIN_PATH=" : "the plugins folder beside bin/",
                 path ? path : "");
  }
  return n;
}

bool ReadWholeFile(const std::string& path, std::size_t maxBytes, std::vector<unsigned char>* bytes,
                   std::string* error) {
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) {
    *error = path + ": is a folder, not a file";
    return false;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    *error = path + ": cannot open (" + std::strerror(errno) + ")";
    return false;
  }
  in.seekg(0, std::ios::end);
  std::streamoff size = in.tellg();
  in.seekg(0, std::ios::beg);
  if (size < 0) {
    *error = path + ": cannot read (not a regular file?)";
    return false;
  }
  if (static_cast<std::uintmax_t>(size) > maxBytes) {
    *error = path + ": too large (" + std::to_string(size) + " bytes)";
    return false;
  }
  bytes->resize(static_cast<std::size_t>(size));
  if (size > 0 && !in.read(reinterpret_cast<char*>(bytes->data()), size)) {
    *error = path + ": cannot read";
    return false;
  }
  return true;
}

const PropertyTable* PropertyTableFor(const corvane::host::Engine& engine, const GUID& type) {
  const corvane::host::PluginInfo* plugin = engine.FindPlugin(type);
  for (std::size_t steps = 0; plugin && steps <= engine.GetPlugins().size(); ++steps) {
    if (const PropertyTable* t = engine.GetPropertyTable(plugin->type.typeId)) return t;
    if (plugin->type.baseTypeId == plugin->type.typeId) break;
    plugin = engine.FindPlugin(plugin->type.baseTypeId);
  }
  return nullptr;
}

namespace {
std::string Num(float f) {
  std::ostringstream os;
  os.precision(7);
  os << f;
  return os.str();
}
}  // namespace

std::string FormatValue(const PropertyInfo& info, const PropertyValue& p) {
  switch (p.type) {
    case PropertyType::Bool: return p.b ? "true" : "false";
    case PropertyType::Int: return std::to_string(p.i);
    case PropertyType::UInt32: {
      char hex[16];
      std::snprintf(hex, sizeof hex, "0x%08X", p.u);
      return std::to_string(p.u) + " (" + hex + ")";
    }
    case PropertyType::Float: return Num(p.f);
    case PropertyType::Vector3: return "[" + Num(p.v.x) + ", " + Num(p.v.y) + ", " + Num(p.v.z) + "]";
    case PropertyType::Matrix: {
      std::string s = "[";
      for (int r = 0; r < 4; ++r) {
        if (r) s += " | ";
        for (int c = 0; c < 4; ++c) s += (c ? " " : "") + Num(p.m.m[r][c]);
      }
      return s + "]";
    }
    case PropertyType::Enum:
      if (p.i >= 0 && static_cast<std::size_t>(p.i) < info.enumNames.size())
        return info.enumNames[static_cast<std::size_t>(p.i)] + " (" + std::to_string(p.i) + ")";
      return std::to_string(p.i) + " (no name)";
  }
  return "?";
}

}  // namespace corvane::cli
