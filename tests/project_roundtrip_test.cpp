// Every channel type in the plug-in folder, saved in a project file and loaded back: the bytes of a
// second save equal the first, a channel with no data loads with its defaults, and any cut of a
// channel's data is either read (a cut between chunks leaves the later ones at their defaults) or
// refused with the file's name and offset, never a crash.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "corvane/channel_group.h"
#include "corvane/chunk_io.h"
#include "corvane/host/engine.h"
#include "corvane/host/project_file.h"
#include "corvane/type_ids.h"
#include "corvane/zel_channel.h"

namespace {

using corvane::host::Engine;
using corvane::host::LoadProject;
using corvane::host::SaveProject;
using corvane::host::SceneSettings;

void PutU32(std::vector<uint8_t>& b, uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// A project of one private channel of `type` carrying `stream`, no links, no roots.
std::vector<uint8_t> OneChannelProject(const GUID& type, const uint8_t* stream, std::size_t size) {
  std::vector<uint8_t> b = {'C', 'V', 'P', 'J'};
  PutU32(b, 1);
  PutU32(b, 1);
  PutU32(b, 0);
  const uint8_t* g = reinterpret_cast<const uint8_t*>(&type);
  b.insert(b.end(), g, g + 16);
  b.push_back(0);
  PutU32(b, 0);
  PutU32(b, static_cast<uint32_t>(size));
  b.insert(b.end(), stream, stream + size);
  PutU32(b, 0);
  PutU32(b, 0);
  ZelFileSaver s;
  const float step = 1.0f;
  const int32_t frames = 1;
  s.SaveTag("STEP");
  s.SaveBlockSize(4);
  s.SaveDataToFile(&step, 4);
  s.SaveTag("FRMS");
  s.SaveBlockSize(4);
  s.SaveDataToFile(&frames, 4);
  b.insert(b.end(), s.GetBytes().begin(), s.GetBytes().end());
  return b;
}

class EveryType : public ::testing::Test {
 protected:
  void SetUp() override {
    engine = std::make_unique<Engine>();
    engine->GetLogger().SetCapture(true);
    ASSERT_GE(engine->LoadPluginFolder(CORVANE_TEST_PLUGIN_DIR), 2);
    ASSERT_NE(engine->FindPlugin(corvane::ids::kValue), nullptr);
    ASSERT_NE(engine->FindPlugin(corvane::ids::kMatrix), nullptr);
  }
  std::unique_ptr<Engine> engine;
};

TEST_F(EveryType, SaveLoadSaveGivesIdenticalBytes) {
  for (const auto& plugin : engine->GetPlugins()) {
    SCOPED_TRACE(plugin.type.typeName);
    std::vector<uint8_t> first, second;
    std::string error;
    {
      Zel_ChannelGroup group(engine.get());
      Zel_Channel* ch = group.CreateChannel(plugin.type.typeId);
      ASSERT_NE(ch, nullptr);
      group.AddRoot(ch);
      ASSERT_TRUE(SaveProject(*engine, group, SceneSettings{}, &first, &error)) << error;
    }
    auto loaded = LoadProject(*engine, first.data(), first.size(), "roundtrip.cvp", nullptr, &error);
    ASSERT_NE(loaded, nullptr) << error;
    ASSERT_TRUE(SaveProject(*engine, *loaded, SceneSettings{}, &second, &error)) << error;
    EXPECT_EQ(first, second);
  }
}

TEST_F(EveryType, EmptyAndCutStreamsLoadWithDefaultsOrAreRefused) {
  for (const auto& plugin : engine->GetPlugins()) {
    SCOPED_TRACE(plugin.type.typeName);
    std::unique_ptr<Zel_Channel> ch(engine->CreateChannelInstance(plugin.type.typeId, 0, 0));
    ASSERT_NE(ch, nullptr);
    ZelFileSaver saver;
    ASSERT_TRUE(ch->SaveChannel(saver));
    const std::vector<uint8_t>& stream = saver.GetBytes();

    std::string error;
    const std::vector<uint8_t> empty = OneChannelProject(plugin.type.typeId, nullptr, 0);
    EXPECT_NE(LoadProject(*engine, empty.data(), empty.size(), "empty.cvp", nullptr, &error), nullptr) << error;

    // Cut points: every byte for short streams, a spread of them for long ones.
    const std::size_t stride = stream.size() > 2048 ? stream.size() / 1024 : 1;
    for (std::size_t n = 0; n < stream.size(); n += stride) {
      const std::vector<uint8_t> project = OneChannelProject(plugin.type.typeId, stream.data(), n);
      error.clear();
      auto group = LoadProject(*engine, project.data(), project.size(), "cut.cvp", nullptr, &error);
      if (!group) {
        EXPECT_EQ(error.rfind("cut.cvp: offset ", 0), 0u) << "cut at " << n << ": " << error;
      }
    }
  }
}

}  // namespace
