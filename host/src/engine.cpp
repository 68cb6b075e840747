// Engine: plug-in loading, the type registry, private and shared instances, the clock, the sinks.
#include "corvane/host/engine.h"

#include <dirent.h>
#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "corvane/guid.h"
#include "corvane/zel_channel.h"
#include "corvane/zel_list.h"

EngineInterface* globalEngine = nullptr;

namespace corvane::host {

namespace {

// A message sink that writes to the logger under its number.
class LoggerMessageSink : public DebugMessageSink {
 public:
  LoggerMessageSink(Logger* logger, int sink) : logger_(logger), sink_(sink) {}
  void ShowDebugMessage(const char* text) override { logger_->Write(sink_, text ? text : ""); }
  void ShowDebugMessage(const char* text, const char* appended) override {
    std::string s = text ? text : "";
    s += appended ? appended : "";
    logger_->Write(sink_, s);
  }
  void ShowDebugMessage(int value) override { logger_->Write(sink_, std::to_string(value)); }

 private:
  Logger* logger_;
  int sink_;
};

// The debug sink: the text, a space, then the number.
class LoggerDebugSink : public DebugSink {
 public:
  explicit LoggerDebugSink(Logger* logger) : logger_(logger) {}
  void ShowDebug(const char* text, int value) override {
    std::string s = text ? text : "";
    if (!s.empty() && s.back() != ' ') s += ' ';
    s += std::to_string(value);
    logger_->Write(0, s);
  }

 private:
  Logger* logger_;
};

std::string TypeLabel(const ChannelType& t) {
  char name[sizeof t.typeName + 1];
  std::memcpy(name, t.typeName, sizeof t.typeName);
  name[sizeof t.typeName] = '\0';
  return std::string(name) + " (" + GuidToString(t.typeId) + ")";
}

// True for "<canonical upper-case GUID>.so".
bool IsPluginFileName(const std::string& file) {
  if (file.size() != kGuidTextLength + 3 || file.compare(kGuidTextLength, 3, ".so") != 0) return false;
  const std::string stem = file.substr(0, kGuidTextLength);
  GUID g{};
  return ParseGuid(stem.c_str(), &g) && GuidToString(g) == stem;
}

}  // namespace

Engine::Engine() {
  for (int i = 0; i < 4; ++i) sinks_[i] = std::make_unique<LoggerMessageSink>(&logger_, i + 1);
  debug_ = std::make_unique<LoggerDebugSink>(&logger_);
  messageSink1 = sinks_[0].get();
  messageSink2 = sinks_[1].get();
  messageSink3 = sinks_[2].get();
  messageSink4 = sinks_[3].get();
  debugSink = debug_.get();
  if (globalEngine && globalEngine != this)
    logger_.Write(-1, "a second engine replaces the live one as the global engine");
  globalEngine = this;
}

Engine::~Engine() {
  // Shared channels go first, newest first (a later one may hold an earlier one); their code lives
  // in the plug-ins, which are closed only afterwards.
  for (const SharedEntry& e : shared_) e.channel->DisconnectAll();
  while (!shared_.empty()) {
    Zel_Channel* ch = shared_.back().channel;
    shared_.pop_back();
    delete ch;
  }
  for (auto it = plugins_.rbegin(); it != plugins_.rend(); ++it)
    if (it->handle) dlclose(it->handle);
  plugins_.clear();
  messageSink1 = messageSink2 = messageSink3 = messageSink4 = nullptr;
  debugSink = nullptr;
  if (globalEngine == this) globalEngine = nullptr;
}

bool Engine::LoadPlugin(const std::string& path) {
  dlerror();
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    const char* why = dlerror();
    logger_.Write(-1, "cannot load plug-in " + path + ": " + (why ? why : "unknown error"));
    return false;
  }
  PluginInfo info;
  info.path = path;
  info.handle = handle;
  info.getType = reinterpret_cast<ChannelType* (*)()>(dlsym(handle, "GetType"));
  info.initDll = reinterpret_cast<Zel_Channel* (*)()>(dlsym(handle, "InitDLL"));
  if (!info.getType || !info.initDll) {
    logger_.Write(-1, "plug-in " + path + " does not export " + (info.getType ? "InitDLL" : "GetType"));
    dlclose(handle);
    return false;
  }
  const ChannelType* type = info.getType();
  if (!type) {
    logger_.Write(-1, "plug-in " + path + " reports no channel type");
    dlclose(handle);
    return false;
  }
  info.type = *type;
  info.type.typeName[sizeof info.type.typeName - 1] = '\0';
  if (const PluginInfo* other = FindPlugin(info.type.typeId)) {
    logger_.Write(-1, "plug-in " + path + " reports type " + TypeLabel(info.type) +
                          ", which " + other->path + " already provides; it is not loaded");
    dlclose(handle);
    return false;
  }
  using TableFn = const corvane::PropertyTable* (*)();
  if (auto table = reinterpret_cast<TableFn>(dlsym(handle, "GetPropertyTable"))) info.properties = table();
  plugins_.push_back(std::move(info));
  return true;
}

int Engine::LoadPluginFolder(const std::string& folder) {
  DIR* dir = opendir(folder.c_str());
  if (!dir) {
    logger_.Write(-1, "cannot read plug-in folder " + folder);
    return 0;
  }
  std::vector<std::string> files;
  while (dirent* e = readdir(dir)) {
    std::string name = e->d_name;
    if (IsPluginFileName(name)) files.push_back(name);
  }
  closedir(dir);
  std::sort(files.begin(), files.end());  // a stable order, whatever the directory's
  int loaded = 0;
  for (const std::string& f : files) {
    const std::string path = folder + "/" + f;
    // A file already loaded (for instance as another plug-in's dependency through this folder
    // before) reports a type that is registered: skip it quietly.
    bool known = false;
    for (const PluginInfo& p : plugins_)
      if (p.path == path) known = true;
    if (known) continue;
    if (LoadPlugin(path)) ++loaded;
  }
  return loaded;
}

int Engine::LoadDefaultPlugins() {
  int loaded = 0;
  const char* env = std::getenv("CORVANE_PLUGIN_PATH");
  if (env && *env) {
    std::string paths = env;
    std::size_t start = 0;
    while (start <= paths.size()) {
      std::size_t end = paths.find(':', start);
      if (end == std::string::npos) end = paths.size();
      if (end > start) loaded += LoadPluginFolder(paths.substr(start, end - start));
      start = end + 1;
    }
    return loaded;
  }
  char exe[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
  if (n <= 0) {
    logger_.Write(-1, "cannot find the running executable to locate the plug-in folder");
    return 0;
  }
  exe[n] = '\0';
  std::string dir = exe;
  dir = dir.substr(0, dir.find_last_of('/'));  // .../bin
  const std::size_t slash = dir.find_last_of('/');
  const std::string root = slash == std::string::npos ? "." : dir.substr(0, slash);
  return LoadPluginFolder(root + "/plugins");
}

const PluginInfo* Engine::FindPlugin(const GUID& type) const {
  for (const PluginInfo& p : plugins_)
    if (p.type.typeId == type) return &p;
  return nullptr;
}

const PluginInfo* Engine::FindPluginByName(const std::string& typeName) const {
  for (const PluginInfo& p : plugins_)
    if (typeName == p.type.typeName) return &p;
  return nullptr;
}

const corvane::PropertyTable* Engine::GetPropertyTable(const GUID& type) const {
  const PluginInfo* p = FindPlugin(type);
  return p ? p->properties : nullptr;
}

bool Engine::IsTypeCompatible(const GUID& actual, const GUID& expected) const {
  GUID t = actual;
  // The chain is bounded by the number of types, so a loop of base types cannot hang.
  for (std::size_t steps = 0; steps <= plugins_.size(); ++steps) {
    if (t == expected) return true;
    const PluginInfo* p = FindPlugin(t);
    if (!p || p->type.baseTypeId == t) return false;
    t = p->type.baseTypeId;
  }
  return false;
}

Zel_Channel* Engine::CreateChannelInstance(const GUID& type, int, int) {
  const PluginInfo* p = FindPlugin(type);
  if (!p) {
    logger_.Write(-1, "no loaded plug-in provides channel type " + GuidToString(type));
    return nullptr;
  }
  const ChannelType* record = p->getType();
  ChannelType typeRecord = record ? *record : p->type;
  typeRecord.typeName[sizeof typeRecord.typeName - 1] = '\0';
  Zel_Channel* ch = p->initDll();
  if (!ch) {
    logger_.Write(-1, "plug-in " + p->path + " could not create a channel");
    return nullptr;
  }
  ch->engine = this;
  ch->SetChannelTypeRecord(typeRecord);
  // The types a channel depends on must be provided by some loaded plug-in; a missing one is
  // reported but does not stop the channel (it treats a missing child as not connected).
  Zel_List deps;
  ch->DoDependencyInit(&deps);
  for (int i = 0; i < deps.GetItemCount(); ++i) {
    const GUID* g = static_cast<const GUID*>(deps.GetItem(i));
    if (g && !FindPlugin(*g))
      logger_.Write(-1, TypeLabel(typeRecord) + " depends on channel type " + GuidToString(*g) +
                            ", which no loaded plug-in provides");
  }
  return ch;
}

Zel_Channel* Engine::GetSharedChannel(const GUID& type, const char* name) {
  const std::string key = name ? name : "";
  for (const SharedEntry& e : shared_)
    if (e.type == type && e.name == key) return e.channel;
  // A constructor that asks for its own shared instance would recurse without end.
  for (const auto& pending : pendingShared_) {
    if (pending.first == type && pending.second == key) {
      logger_.Write(-1, "shared channel " + GuidToString(type) + " \"" + key +
                            "\" was requested while it is being created");
      return nullptr;
    }
  }
  pendingShared_.emplace_back(type, key);
  Zel_Channel* ch = CreateChannelInstance(type, 0, 0);
  pendingShared_.pop_back();
  if (!ch) return nullptr;
  ch->SetInstanceName(key.c_str());
  shared_.push_back(SharedEntry{type, key, ch});
  return ch;
}

void Engine::AdvanceFrame(float step) {
  ++frame_;
  time_ += step;
  elapsed_ = step;
}

void Engine::ResetClock() {
  frame_ = 0;
  time_ = 0.0;
  elapsed_ = 0.0f;
}

}  // namespace corvane::host
