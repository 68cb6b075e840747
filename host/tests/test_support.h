// Helpers shared by the host tests: an engine with the stock value and matrix plug-ins and the
// scratch plug-in loaded, with its logger captured.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "corvane/guid.h"
#include "corvane/host/engine.h"
#include "corvane/type_ids.h"

namespace corvane::test {

inline std::string PluginPath(const GUID& type) {
  return std::string(CORVANE_TEST_PLUGIN_DIR) + "/" + corvane::GuidToString(type) + ".so";
}

inline std::unique_ptr<corvane::host::Engine> MakeEngine(bool withScratch = true) {
  auto engine = std::make_unique<corvane::host::Engine>();
  engine->GetLogger().SetCapture(true);
  EXPECT_TRUE(engine->LoadPlugin(PluginPath(corvane::ids::kValue)));
  EXPECT_TRUE(engine->LoadPlugin(PluginPath(corvane::ids::kMatrix)));
  if (withScratch) {
    EXPECT_TRUE(engine->LoadPlugin(CORVANE_SCRATCH_PLUGIN));
  }
  return engine;
}

}  // namespace corvane::test
