// Engine: the host's implementation of EngineInterface.
//
// It scans plug-in folders and dlopens every "<GUID>.so" it finds, learns each file's channel type
// by calling its GetType, creates private channel instances through the file's InitDLL, owns the
// shared instances (keyed by type and instance name, created on first request, destroyed with the
// engine), keeps the frame counter and the engine clock (frames of 1/25 s), and routes the four
// message sinks and the debug sink to one Logger.
//
// Constructing an Engine makes it globalEngine; destroying it clears globalEngine. Destroy every
// group and private channel before the engine: its destructor deletes the shared channels (newest
// first) and then closes the plug-in libraries their code lives in. Host messages (a plug-in that
// does not load, an unknown type) go to the logger as sink -1.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "corvane/channel_type.h"
#include "corvane/engine_interface.h"
#include "corvane/guid.h"
#include "corvane/host/logger.h"

namespace corvane {
struct PropertyTable;
}

namespace corvane::host {

// One loaded plug-in file.
struct PluginInfo {
  std::string path;                   // file it was loaded from
  ChannelType type;                   // what its GetType reported
  void* handle = nullptr;             // dlopen handle
  ChannelType* (*getType)() = nullptr;
  Zel_Channel* (*initDll)() = nullptr;
  const corvane::PropertyTable* properties = nullptr;  // its GetPropertyTable, when exported
};

class Engine : public EngineInterface {
 public:
  Engine();
  ~Engine() override;
  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;

  // --- EngineInterface ---
  int GetFrameNumber() override { return frame_; }
  // Creates through the type's InitDLL, sets the channel's engine and type record (from GetType),
  // and calls its DoDependencyInit, reporting dependency types no plug-in provides.
  Zel_Channel* CreateChannelInstance(const GUID& type, int reserved1 = 0, int reserved2 = 0) override;
  Zel_Channel* GetSharedChannel(const GUID& type, const char* name) override;
  double GetEngineTime() override { return time_; }
  float GetFrameElapsed() override { return elapsed_; }

  // --- plug-ins ---
  // Loads every "<GUID>.so" in the folder (not recursive). Returns the number loaded; files that
  // fail to load are reported to the logger and skipped.
  int LoadPluginFolder(const std::string& folder);
  // Loads the folders of CORVANE_PLUGIN_PATH (colon-separated) or, when unset, the "plugins"
  // folder beside the running executable's "bin" folder. Returns the number loaded.
  int LoadDefaultPlugins();
  // Loads one plug-in file, whatever its name (tests load scratch plug-ins this way). False (with a
  // message) when it cannot be opened, lacks GetType or InitDLL, or its type is already provided by
  // another file. The type is what GetType reports, never the file name.
  bool LoadPlugin(const std::string& path);
  const std::vector<PluginInfo>& GetPlugins() const { return plugins_; }
  const PluginInfo* FindPlugin(const GUID& type) const;
  // Finds a type by its type name (as GetType reports it), or null.
  const PluginInfo* FindPluginByName(const std::string& typeName) const;
  // The property table of a type, or null.
  const corvane::PropertyTable* GetPropertyTable(const GUID& type) const;
  // True when `actual` is `expected` or derives from it through the loaded types' base chain.
  bool IsTypeCompatible(const GUID& actual, const GUID& expected) const;

  // --- shared channels ---
  // Every shared channel created so far, with its type and instance name.
  struct SharedEntry {
    GUID type;
    std::string name;
    Zel_Channel* channel;
  };
  const std::vector<SharedEntry>& GetSharedChannels() const { return shared_; }

  // --- clock ---
  // Advances the frame counter by one and the clock by `step` frames of 1/25 s.
  void AdvanceFrame(float step = 1.0f);
  // Sets the clock back to frame 0, time 0.
  void ResetClock();

  Logger& GetLogger() { return logger_; }

 private:
  Logger logger_;
  std::vector<PluginInfo> plugins_;
  std::vector<SharedEntry> shared_;
  int frame_ = 0;
  double time_ = 0.0;
  float elapsed_ = 0.0f;
  std::unique_ptr<DebugMessageSink> sinks_[4];
  std::unique_ptr<DebugSink> debug_;
  std::vector<std::pair<GUID, std::string>> pendingShared_;  // shared channels being constructed
};

}  // namespace corvane::host
