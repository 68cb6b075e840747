// Project files: save -> load -> save gives the same bytes; malformed files are refused with the
// file name and offset; channels written with fewer chunks load with their defaults.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "corvane/channel_group.h"
#include "corvane/channels/matrix_channel.h"
#include "corvane/channels/value_channel.h"
#include "corvane/chunk_io.h"
#include "corvane/host/engine.h"
#include "corvane/host/project_file.h"
#include "corvane/type_ids.h"
#include "scratch_channel.h"
#include "test_support.h"

namespace {

using corvane::host::LoadProject;
using corvane::host::SaveProject;
using corvane::host::SceneSettings;
using corvane::ids::kMatrix;
using corvane::ids::kValue;

D3DXMATRIX Translation(float x) {
  D3DXMATRIX m;
  D3DXMatrixIdentity(&m);
  m._41 = x;
  return m;
}

class ProjectFile : public ::testing::Test {
 protected:
  void SetUp() override { engine = corvane::test::MakeEngine(); }

  std::unique_ptr<Zel_ChannelGroup> Load(const std::vector<uint8_t>& bytes, std::string* error,
                                         SceneSettings* settings = nullptr) {
    return LoadProject(*engine, bytes.data(), bytes.size(), "scene.cvp", settings, error);
  }

  std::unique_ptr<corvane::host::Engine> engine;
};

TEST_F(ProjectFile, SaveLoadSaveGivesIdenticalBytes) {
  std::vector<uint8_t> first;
  Zel_Channel* shared = engine->GetSharedChannel(kValue, "Shared Speed");
  {
    Zel_ChannelGroup group(engine.get());
    auto* root = static_cast<ScratchChannel*>(group.CreateChannel(kScratchType));
    auto* second = static_cast<ScratchChannel*>(group.CreateChannel(kScratchType));
    auto* value = static_cast<Vyn_FloatChannel*>(group.CreateChannel(kValue));
    auto* m1 = static_cast<Vyn_MatrixChannel*>(group.CreateChannel(kMatrix));
    auto* m2 = static_cast<Vyn_MatrixChannel*>(group.CreateChannel(kMatrix));
    group.AddChannel(shared, false);
    root->SetInstanceName("root");
    root->SetCount(5);
    root->SetScale(1.5f);
    value->SetFloat(3.5f);
    value->SetDefaultFloat(1.25f);
    m1->SetMatrix(Translation(1));
    m2->SetMatrix(Translation(2));
    static_cast<Vyn_FloatChannel*>(shared)->SetFloat(9.0f);
    root->ConnectChild(0, value);
    root->ConnectChild(1, m1);
    root->ConnectChild(1, m2);
    root->ConnectChild(1, m1);
    root->ConnectChild(2, second);
    second->ConnectChild(0, shared);
    group.AddRoot(root);
    group.AddRoot(second);
    std::string error;
    ASSERT_TRUE(SaveProject(*engine, group, SceneSettings{0.5f, 12}, &first, &error)) << error;
  }
  static_cast<Vyn_FloatChannel*>(shared)->SetFloat(0.0f);

  std::string error;
  SceneSettings settings;
  auto group = Load(first, &error, &settings);
  ASSERT_NE(group, nullptr) << error;
  EXPECT_EQ(settings.frameStep, 0.5f);
  EXPECT_EQ(settings.frameCount, 12);
  ASSERT_EQ(group->GetChannelCount(), 6);
  auto* root = static_cast<ScratchChannel*>(group->GetChannel(0));
  EXPECT_STREQ(root->GetInstanceName(), "root");
  EXPECT_EQ(root->GetCount(), 5);
  EXPECT_EQ(root->GetScale(), 1.5f);
  EXPECT_EQ(group->GetChannel(5), shared);  // fetched from the engine, not created
  EXPECT_FALSE(group->IsOwned(5));
  EXPECT_EQ(static_cast<Vyn_FloatChannel*>(shared)->GetFloat(), 9.0f);
  auto* value = static_cast<Vyn_FloatChannel*>(root->GetChild(0));
  ASSERT_EQ(value, group->GetChannel(2));
  EXPECT_EQ(value->GetFloat(), 3.5f);
  EXPECT_EQ(value->GetDefaultFloat(), 1.25f);
  ASSERT_EQ(root->GetChildLinkPositionCount(1), 3);
  EXPECT_EQ(static_cast<Vyn_MatrixChannel*>(root->GetChildFromLinkPosition(1, 1))->GetMatrix(), Translation(2));
  EXPECT_EQ(root->GetChildFromLinkPosition(1, 2), group->GetChannel(3));
  EXPECT_EQ(group->GetChannel(1)->GetChild(0), shared);
  ASSERT_EQ(group->GetRoots().size(), 2u);
  EXPECT_EQ(group->GetRoots()[1], group->GetChannel(1));

  std::vector<uint8_t> second;
  ASSERT_TRUE(SaveProject(*engine, *group, settings, &second, &error)) << error;
  EXPECT_EQ(first, second);

  // Every prefix of the file is refused cleanly, naming the file and an offset inside it.
  group.reset();
  for (std::size_t n = 0; n < first.size(); ++n) {
    std::vector<uint8_t> prefix(first.begin(), first.begin() + static_cast<std::ptrdiff_t>(n));
    std::string e;
    EXPECT_EQ(Load(prefix, &e), nullptr) << "prefix " << n;
    ASSERT_EQ(e.rfind("scene.cvp: offset ", 0), 0u) << "prefix " << n << ": " << e;
    EXPECT_LE(std::stoul(e.substr(18)), n) << e;
  }
}

// Writes project bytes field by field, so that each malformed case changes one thing.
struct RawProject {
  struct Channel {
    uint32_t id;
    GUID type;
    uint8_t flags;
    std::string name;
    std::vector<uint8_t> stream;
  };
  struct Link {
    uint32_t parent, link, order, child;
  };
  char magic[4] = {'C', 'V', 'P', 'J'};
  uint32_t version = 1;
  std::vector<Channel> channels;
  std::vector<Link> links;
  std::vector<uint32_t> roots;
  int64_t channelCount = -1, linkCount = -1, rootCount = -1;  // -1: the real count
  std::vector<uint8_t> settings;
  std::vector<uint8_t> trailing;

  static void U32(std::vector<uint8_t>& b, uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
  }
  std::vector<uint8_t> Bytes() const {
    std::vector<uint8_t> b(magic, magic + 4);
    U32(b, version);
    U32(b, static_cast<uint32_t>(channelCount >= 0 ? channelCount : static_cast<int64_t>(channels.size())));
    for (const Channel& c : channels) {
      U32(b, c.id);
      const uint8_t* g = reinterpret_cast<const uint8_t*>(&c.type);
      b.insert(b.end(), g, g + 16);
      b.push_back(c.flags);
      U32(b, static_cast<uint32_t>(c.name.size()));
      b.insert(b.end(), c.name.begin(), c.name.end());
      U32(b, static_cast<uint32_t>(c.stream.size()));
      b.insert(b.end(), c.stream.begin(), c.stream.end());
    }
    U32(b, static_cast<uint32_t>(linkCount >= 0 ? linkCount : static_cast<int64_t>(links.size())));
    for (const Link& l : links) {
      U32(b, l.parent);
      U32(b, l.link);
      U32(b, l.order);
      U32(b, l.child);
    }
    U32(b, static_cast<uint32_t>(rootCount >= 0 ? rootCount : static_cast<int64_t>(roots.size())));
    for (uint32_t r : roots) U32(b, r);
    b.insert(b.end(), settings.begin(), settings.end());
    b.insert(b.end(), trailing.begin(), trailing.end());
    return b;
  }
};

std::vector<uint8_t> Settings(float step, int32_t frames) {
  ZelFileSaver s;
  s.SaveTag("STEP");
  s.SaveBlockSize(4);
  s.SaveDataToFile(&step, 4);
  s.SaveTag("FRMS");
  s.SaveBlockSize(4);
  s.SaveDataToFile(&frames, 4);
  return s.GetBytes();
}

std::vector<uint8_t> Stream(const char* tag, std::vector<std::vector<uint8_t>> blocks) {
  ZelFileSaver s;
  s.SaveTag(tag);
  for (const auto& b : blocks) {
    s.SaveBlockSize(static_cast<uint32_t>(b.size()));
    s.SaveDataToFile(b.data(), static_cast<uint32_t>(b.size()));
  }
  return s.GetBytes();
}

// scratch(0) -> value(1) on "Single Value", matrix(2) on "Matrices"; root 0.
RawProject BaseProject() {
  RawProject p;
  p.channels = {{0, kScratchType, 0, "", {}}, {1, kValue, 0, "speed", {}}, {2, kMatrix, 0, "", {}}};
  p.links = {{0, 0, 0, 1}, {0, 1, 0, 2}};
  p.roots = {0};
  p.settings = Settings(1.0f, 50);
  return p;
}

TEST_F(ProjectFile, MalformedFilesAreRefusedWithTheirOffset) {
  {
    std::string error;
    auto group = Load(BaseProject().Bytes(), &error);
    ASSERT_NE(group, nullptr) << error;
    EXPECT_STREQ(group->GetChannel(1)->GetInstanceName(), "speed");
  }
  struct Case {
    const char* what;
    std::function<void(RawProject&)> change;
    const char* error;
  };
  const Case cases[] = {
      {"magic", [](RawProject& p) { p.magic[3] = 'X'; }, "offset 0: not a project file"},
      {"version", [](RawProject& p) { p.version = 2; }, "offset 4: unsupported version 2"},
      {"huge channel count", [](RawProject& p) { p.channelCount = 0xFFFFFFFF; }, "offset 8: channel count 4294967295 is more than"},
      {"huge link count", [](RawProject& p) { p.linkCount = 0x10000000; }, "link count 268435456 is more than"},
      {"huge root count", [](RawProject& p) { p.rootCount = 0x7FFFFFFF; }, "root count"},
      {"unknown type", [](RawProject& p) { p.channels[1].type = corvane::ids::kNavGraph; }, "unknown channel type 9D2E7A05"},
      {"unknown flags", [](RawProject& p) { p.channels[0].flags = 6; }, "offset 32: unknown channel flags 6"},
      {"duplicate id", [](RawProject& p) { p.channels[2].id = 1; }, "instance id 1 is used twice"},
      {"huge name", [](RawProject& p) { p.channels[0].name.assign(5000, 'n'); }, "offset 33: instance name length 5000 is too large"},
      {"NUL in name", [](RawProject& p) { p.channels[1].name = std::string("a\0b", 3); }, "NUL"},
      {"oversized block", [](RawProject& p) { p.channels[1].stream = Stream("FVAL", {std::vector<uint8_t>(8, 1)}); },
       "does not fit its field of 4 bytes (in channel 1 (Value \"speed\"))"},
      {"missing block", [](RawProject& p) { p.channels[1].stream = Stream("FVAL", {std::vector<uint8_t>(4, 0)}); },
       "expected a data block, found the end of the stream (in channel 1"},
      {"bad token", [](RawProject& p) { p.channels[2].stream = {'X', 1, 2}; }, "unknown token kind (in channel 2 (Matrix))"},
      {"unknown parent", [](RawProject& p) { p.links[1].parent = 9; }, "link 1: no channel has the parent id 9"},
      {"unknown child", [](RawProject& p) { p.links[0].child = 9; }, "link 0: no channel has the child id 9"},
      {"undeclared link", [](RawProject& p) { p.links[1].link = 7; }, "declares no link 7"},
      {"huge link index", [](RawProject& p) { p.links[1].link = 0x80000000u; }, "declares no link 2147483648"},
      {"wrong child type", [](RawProject& p) { p.links[0].child = 2; }, "a Matrix cannot be connected to link \"Single Value\""},
      {"second single child", [](RawProject& p) { p.links.push_back({0, 0, 0, 1}); }, "holds one child and is given another"},
      {"many link order", [](RawProject& p) { p.links[1].order = 3; }, "position 3 out of order"},
      {"cycle",
       [](RawProject& p) {
         p.channels.push_back({3, kScratchType, 0, "", {}});
         p.links.push_back({0, 2, 0, 3});
         p.links.push_back({3, 2, 0, 0});
       },
       "the links form a cycle"},
      {"unknown root", [](RawProject& p) { p.roots = {0, 4}; }, "root 1: no channel has the id 4"},
      {"no settings", [](RawProject& p) { p.settings.clear(); }, "expected the frame step chunk"},
      {"half settings", [](RawProject& p) { p.settings.resize(14); }, "expected the frame count chunk"},
      {"bad frame count", [](RawProject& p) { p.settings = Settings(1.0f, -5); }, "frame count -5 is out of range"},
      {"bad frame step", [](RawProject& p) { p.settings = Settings(std::nanf(""), 5); }, "frame step"},
      {"trailing bytes", [](RawProject& p) { p.trailing = {0, 0, 0}; }, "3 unexpected bytes after the scene settings"},
      {"shared twice",
       [](RawProject& p) {
         p.channels[1].flags = 1;
         p.channels.push_back({3, kValue, 1, "speed", {}});
       },
       "the shared channel appears twice"},
  };
  for (const Case& c : cases) {
    RawProject p = BaseProject();
    c.change(p);
    std::string error;
    EXPECT_EQ(Load(p.Bytes(), &error), nullptr) << c.what;
    EXPECT_EQ(error.rfind("scene.cvp: offset ", 0), 0u) << c.what << ": " << error;
    EXPECT_NE(error.find(c.error), std::string::npos) << c.what << ": " << error;
  }
}

TEST_F(ProjectFile, IdsAreNamesNotPositionsAndFewerChunksKeepDefaults) {
  RawProject p = BaseProject();
  p.channels[0].id = 70;
  p.channels[1].id = 3;
  p.channels[2].id = 9;
  p.links = {{70, 0, 0, 3}, {70, 1, 0, 9}};
  p.roots = {70};
  // The scratch channel as an older version wrote it: its first chunk only.
  p.channels[0].stream = Stream("SCR1", {{5, 0, 0, 0}});
  std::string error;
  auto group = Load(p.Bytes(), &error);
  ASSERT_NE(group, nullptr) << error;
  auto* scratch = static_cast<ScratchChannel*>(group->GetChannel(0));
  EXPECT_EQ(scratch->GetCount(), 5);
  EXPECT_EQ(scratch->GetScale(), 2.5f);  // the constructor's default
  EXPECT_EQ(scratch->GetChild(0), group->GetChannel(1));
  D3DXMATRIX identity;
  D3DXMatrixIdentity(&identity);
  EXPECT_EQ(static_cast<Vyn_MatrixChannel*>(group->GetChannel(2))->GetMatrix(), identity);

  // A channel saved through the API with its second chunk left out reads the same way.
  scratch->SetScale(8.0f);
  scratch->SetWriteSecondChunk(false);
  std::vector<uint8_t> bytes;
  ASSERT_TRUE(SaveProject(*engine, *group, SceneSettings{}, &bytes, &error)) << error;
  auto again = Load(bytes, &error);
  ASSERT_NE(again, nullptr) << error;
  EXPECT_EQ(static_cast<ScratchChannel*>(again->GetChannel(0))->GetScale(), 2.5f);
}

TEST_F(ProjectFile, SaveRefusesChildrenOutsideTheScene) {
  Zel_ChannelGroup group(engine.get());
  Zel_Channel* parent = group.CreateChannel(kScratchType);
  std::unique_ptr<Zel_Channel> outside(engine->CreateChannelInstance(kValue, 0, 0));
  parent->ConnectChild(0, outside.get());
  std::vector<uint8_t> bytes;
  std::string error;
  EXPECT_FALSE(SaveProject(*engine, group, SceneSettings{}, &bytes, &error));
  EXPECT_NE(error.find("is not in the scene"), std::string::npos) << error;
  parent->DisconnectAll();
}

}  // namespace
