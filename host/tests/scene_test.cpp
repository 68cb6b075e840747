// Text scenes: building channels, properties, data and links from JSON, and refusing bad scenes
// with a message that names the file, the channel and the word at fault.

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "corvane/channel_group.h"
#include "corvane/host/engine.h"
#include "corvane/host/scene.h"
#include "corvane/property.h"
#include "corvane/type_ids.h"
#include "corvane/zel_channel.h"

using corvane::host::Engine;
using corvane::host::LoadedScene;
using corvane::host::LoadSceneFile;
using corvane::host::LoadSceneText;

namespace {

const GUID kProbe = corvane::MakeGuid("6E1A9C30-5B7D-4F28-A1E4-93C0D58B2F17");

class SceneTest : public ::testing::Test {
 protected:
  void SetUp() override {
    engine_.GetLogger().SetCapture(true);
    ASSERT_GE(engine_.LoadPluginFolder(CORVANE_TEST_PLUGIN_DIR), 2);
    ASSERT_NE(engine_.FindPlugin(corvane::ids::kValue), nullptr);
    ASSERT_NE(engine_.FindPlugin(corvane::ids::kMatrix), nullptr);
#ifdef CORVANE_TEST_PROBE_DIR
    // The probe types: every property type, links and data; a value type without its own table.
    ASSERT_EQ(engine_.LoadPluginFolder(CORVANE_TEST_PROBE_DIR), 2);
#else
    GTEST_SKIP() << "the probe plug-in is not part of this build";
#endif
  }

  bool Load(const std::string& text, LoadedScene* scene, std::string* error) {
    return LoadSceneText(engine_, text, "test.json", scene, error);
  }

  // The channel whose instance name is `id`.
  static Zel_Channel* Find(const LoadedScene& scene, const std::string& id) {
    for (int i = 0; i < scene.group->GetChannelCount(); ++i)
      if (id == scene.group->GetChannel(i)->GetInstanceName()) return scene.group->GetChannel(i);
    return nullptr;
  }

  corvane::PropertyValue Get(Zel_Channel* ch, const GUID& type, const char* stem) {
    const corvane::PropertyTable* t = engine_.GetPropertyTable(type);
    const corvane::PropertyInfo* p = t ? t->Find(stem) : nullptr;
    EXPECT_NE(p, nullptr) << stem;
    return p ? p->get(*ch) : corvane::PropertyValue{};
  }

  Engine engine_;
};

TEST_F(SceneTest, BuildsChannelsPropertiesDataLinksAndSettings) {
  const std::string text = R"({
    "frameStep": 0.5, "frames": 12,
    "camera": { "position": [1, 2, -3], "target": [0, 1, 0], "fov": 1.0 },
    "channels": [
      { "id": "probe", "type": "Test Probe",
        "properties": { "Count": 7, "Mask": "0xFF00FF00", "Mode": "ModeC", "Offset": [1, 2.5, -3],
                        "IfEnabled": true, "Scale": 4, "Pose": { "translation": [1, 2, 3] } },
        "data": { "points": [[0, 0, 0], [1, 1, 1], [2, 2, 2]] },
        "links": { "Value": "v", "Matrices": ["m1", "m2", "m1"] } },
      { "id": "v", "type": "Value", "properties": { "Float": 2.5 } },
      { "id": "m1", "type": "81C4E6A0-F759-4D3B-9A2E-60F8B1C37D95" },
      { "id": "m2", "type": "Matrix", "properties": { "Matrix": [2,0,0,0, 0,2,0,0, 0,0,2,0, 4,5,6,1] } }
    ],
    "roots": ["probe", "v"]
  })";
  LoadedScene scene;
  std::string error;
  ASSERT_TRUE(Load(text, &scene, &error)) << error;
  ASSERT_EQ(scene.group->GetChannelCount(), 4);
  EXPECT_FLOAT_EQ(scene.settings.frameStep, 0.5f);
  EXPECT_EQ(scene.settings.frameCount, 12);
  EXPECT_TRUE(scene.camera.present);
  EXPECT_FLOAT_EQ(scene.camera.position.z, -3.0f);
  EXPECT_FLOAT_EQ(scene.camera.fov, 1.0f);

  Zel_Channel* probe = Find(scene, "probe");
  Zel_Channel* v = Find(scene, "v");
  Zel_Channel* m1 = Find(scene, "m1");
  Zel_Channel* m2 = Find(scene, "m2");
  ASSERT_TRUE(probe && v && m1 && m2);
  EXPECT_EQ(Get(probe, kProbe, "Count").i, 7);
  EXPECT_EQ(Get(probe, kProbe, "Mask").u, 0xFF00FF00u);
  EXPECT_EQ(Get(probe, kProbe, "Mode").i, 2);
  EXPECT_FLOAT_EQ(Get(probe, kProbe, "Offset").v.y, 2.5f);
  EXPECT_TRUE(Get(probe, kProbe, "IfEnabled").b);
  EXPECT_FLOAT_EQ(Get(probe, kProbe, "Scale").f, 4.0f);
  D3DXMATRIX pose = Get(probe, kProbe, "Pose").m;
  EXPECT_FLOAT_EQ(pose._41, 1.0f);
  EXPECT_FLOAT_EQ(pose._43, 3.0f);
  EXPECT_FLOAT_EQ(pose._11, 1.0f);
  EXPECT_FLOAT_EQ(Get(v, corvane::ids::kValue, "Float").f, 2.5f);
  EXPECT_FLOAT_EQ(Get(m2, corvane::ids::kMatrix, "Matrix").m._42, 5.0f);

  // The data hook saw the data.
  using CountFn = int (*)(Zel_Channel*);
  auto* plugin = engine_.FindPlugin(kProbe);
  ASSERT_NE(plugin, nullptr);
  auto count = reinterpret_cast<CountFn>(dlsym(plugin->handle, "ProbePointCount"));
  ASSERT_NE(count, nullptr);
  EXPECT_EQ(count(probe), 3);

  // Links by name, in the written order; a many-children link may name a channel twice.
  EXPECT_EQ(probe->GetChildLinkPositionCount(0), 1);
  EXPECT_EQ(probe->GetChildFromLinkPosition(0, 0), v);
  ASSERT_EQ(probe->GetChildLinkPositionCount(1), 3);
  EXPECT_EQ(probe->GetChildFromLinkPosition(1, 0), m1);
  EXPECT_EQ(probe->GetChildFromLinkPosition(1, 1), m2);
  EXPECT_EQ(probe->GetChildFromLinkPosition(1, 2), m1);

  ASSERT_EQ(scene.group->GetRoots().size(), 2u);
  EXPECT_EQ(scene.group->GetRoots()[0], probe);
  EXPECT_EQ(scene.group->GetRoots()[1], v);
  EXPECT_FALSE(engine_.GetLogger().Contains("did not take"));
}

TEST_F(SceneTest, MatrixFromTranslationRotationScale) {
  const std::string text = R"({ "channels": [ { "id": "m", "type": "Matrix", "properties": {
      "Matrix": { "scale": [2, 3, 4], "rotation": [0.5, -0.25, 1.0], "translation": [7, 8, 9] } } } ] })";
  LoadedScene scene;
  std::string error;
  ASSERT_TRUE(Load(text, &scene, &error)) << error;
  D3DXMATRIX s, r, t, sr, expected;
  D3DXMatrixScaling(&s, 2, 3, 4);
  D3DXMatrixRotationYawPitchRoll(&r, 0.5f, -0.25f, 1.0f);
  D3DXMatrixTranslation(&t, 7, 8, 9);
  D3DXMatrixMultiply(&sr, &s, &r);
  D3DXMatrixMultiply(&expected, &sr, &t);
  D3DXMATRIX got = Get(Find(scene, "m"), corvane::ids::kMatrix, "Matrix").m;
  for (int i = 0; i < 16; ++i) EXPECT_NEAR(got.m[i / 4][i % 4], expected.m[i / 4][i % 4], 1e-6f) << i;
  // A point is scaled, then rotated, then moved: row vectors.
  EXPECT_FLOAT_EQ(got._41, 7.0f);
}

TEST_F(SceneTest, SharedChannelIsTheEnginesAndNotOwned) {
  const std::string text = R"({ "channels": [
      { "id": "t", "type": "Value", "shared": "Knob", "properties": { "Float": 3 } },
      { "id": "p", "type": "Test Probe", "links": { "Value": "t" } } ] })";
  Zel_Channel* shared = nullptr;
  {
    LoadedScene scene;
    std::string error;
    ASSERT_TRUE(Load(text, &scene, &error)) << error;
    shared = engine_.GetSharedChannel(corvane::ids::kValue, "Knob");
    EXPECT_EQ(Find(scene, "p")->GetChild(0), shared);
    EXPECT_FLOAT_EQ(Get(shared, corvane::ids::kValue, "Float").f, 3.0f);
    EXPECT_FALSE(scene.group->IsOwned(scene.group->IndexOf(shared)));
  }
  // The shared channel outlives the scene.
  EXPECT_EQ(engine_.GetSharedChannel(corvane::ids::kValue, "Knob"), shared);
}

// A type without a table of its own is set through its base type's table, and fits links that
// expect the base type.
TEST_F(SceneTest, DerivedTypeUsesItsBaseTypesTableAndLinks) {
  LoadedScene scene;
  std::string error;
  ASSERT_TRUE(Load(R"({ "channels": [
      { "id": "d", "type": "Test Value Probe", "properties": { "Float": 6.5 } },
      { "id": "p", "type": "Test Probe", "links": { "Value": "d" } } ] })", &scene, &error))
      << error;
  Zel_Channel* d = Find(scene, "d");
  EXPECT_FLOAT_EQ(Get(d, corvane::ids::kValue, "Float").f, 6.5f);
  EXPECT_EQ(Find(scene, "p")->GetChild(0), d);
}

TEST_F(SceneTest, ValueTheSetterIgnoredIsReported) {
  LoadedScene scene;
  std::string error;
  ASSERT_TRUE(Load(R"({ "channels": [ { "id": "p", "type": "Test Probe", "properties": { "Count": -5 } } ] })",
                   &scene, &error))
      << error;
  EXPECT_EQ(Get(Find(scene, "p"), kProbe, "Count").i, 1);
  EXPECT_TRUE(engine_.GetLogger().Contains("property \"Count\" did not take value -5 (it reads 1)"));
}

// Properties are set in the order the scene writes them, so a setter that checks another property
// sees the value written before it.
TEST_F(SceneTest, PropertiesAreSetInDocumentOrder) {
  LoadedScene ok, ignored;
  std::string error;
  ASSERT_TRUE(Load(R"({ "channels": [ { "id": "p", "type": "Test Probe", "properties": { "Bound": 20, "Count": 30 } } ] })",
                   &ok, &error))
      << error;
  EXPECT_EQ(Get(Find(ok, "p"), kProbe, "Bound").i, 20);
  EXPECT_FALSE(engine_.GetLogger().Contains("did not take"));
  ASSERT_TRUE(Load(R"({ "channels": [ { "id": "p", "type": "Test Probe", "properties": { "Count": 30, "Bound": 20 } } ] })",
                   &ignored, &error))
      << error;
  EXPECT_EQ(Get(Find(ignored, "p"), kProbe, "Bound").i, 0);
  EXPECT_TRUE(engine_.GetLogger().Contains("property \"Bound\" did not take value 20 (it reads 0)"));
}

TEST_F(SceneTest, EnumerationByNumberAndUnsignedByNumber) {
  LoadedScene scene;
  std::string error;
  ASSERT_TRUE(Load(R"({ "channels": [ { "id": "p", "type": "Test Probe",
      "properties": { "Mode": 1, "Mask": 4294967295, "Count": -2147483648 } } ] })", &scene, &error))
      << error;
  Zel_Channel* p = Find(scene, "p");
  EXPECT_EQ(Get(p, kProbe, "Mode").i, 1);
  EXPECT_EQ(Get(p, kProbe, "Mask").u, 4294967295u);
}

// A scene that fails leaves nothing behind: no group, and no child connected to a shared channel
// (whose owner, the engine, outlives the failed scene).
TEST_F(SceneTest, FailedSceneConnectsNothingToSharedChannels) {
  const std::string text = R"({ "channels": [
      { "id": "s", "type": "Test Probe", "shared": "Hub", "links": { "Value": "v" } },
      { "id": "v", "type": "Value" },
      { "id": "bad", "type": "Test Probe", "data": { "points": [[1, 2]] } } ] })";
  LoadedScene scene;
  std::string error;
  EXPECT_FALSE(Load(text, &scene, &error));
  EXPECT_NE(error.find("channel \"bad\": bad \"data\": a point must be [x, y, z]"), std::string::npos) << error;
  EXPECT_EQ(scene.group, nullptr);
  Zel_Channel* hub = engine_.GetSharedChannel(kProbe, "Hub");
  ASSERT_NE(hub, nullptr);
  EXPECT_EQ(hub->GetChild(0), nullptr);
}

TEST_F(SceneTest, MissingFileNamesThePath) {
  LoadedScene scene;
  std::string error;
  EXPECT_FALSE(LoadSceneFile(engine_, "/nonexistent/where.json", &scene, &error));
  EXPECT_NE(error.find("/nonexistent/where.json: cannot open"), std::string::npos) << error;
}

struct BadScene {
  const char* text;
  const char* message;  // expected part of the error, after "test.json: "
};

class BadSceneTest : public SceneTest, public ::testing::WithParamInterface<BadScene> {};

TEST_P(BadSceneTest, IsRefusedWithItsMessage) {
  LoadedScene scene;
  std::string error;
  EXPECT_FALSE(Load(GetParam().text, &scene, &error));
  EXPECT_EQ(scene.group, nullptr);
  EXPECT_EQ(error.rfind("test.json: ", 0), 0u) << error;
  EXPECT_NE(error.find(GetParam().message), std::string::npos) << "got: " << error;
}

std::string Deep(int depth) { return std::string(depth, '[') + std::string(depth, ']'); }
const std::string kDeep = R"({ "channels": [ { "id": "p", "type": "Test Probe", "data": )" + Deep(5000) + "} ] }";

INSTANTIATE_TEST_SUITE_P(
    Scenes, BadSceneTest,
    ::testing::Values(
        BadScene{R"({ "channels": [ )", "not valid JSON: parse error at line 1"},
        BadScene{R"([1, 2])", "the scene must be a JSON object"},
        BadScene{R"({ "chanels": [] })", "unknown member \"chanels\""},
        BadScene{R"({ "frames": 5 })", "no \"channels\" array"},
        BadScene{R"({ "channels": [ { "type": "Value" } ] })", "channel #0 has no \"id\""},
        BadScene{R"({ "channels": [ { "id": "a", "type": "Value" }, { "id": "a", "type": "Value" } ] })",
                 "channel id \"a\" is used twice"},
        BadScene{R"({ "channels": [ { "id": "a", "type": "DX8 Nothing" } ] })",
                 "channel \"a\": unknown type \"DX8 Nothing\""},
        BadScene{R"({ "channels": [ { "id": "a", "type": "Value", "propertys": {} } ] })",
                 "channel \"a\": unknown member \"propertys\""},
        BadScene{R"({ "channels": [ { "id": "a", "type": "Value", "properties": { "Flaot": 1 } } ] })",
                 "channel \"a\": unknown property \"Flaot\" of channel \"a\" (type \"Value\")"},
        BadScene{R"({ "channels": [ { "id": "a", "type": "Value", "properties": { "Float": "x" } } ] })",
                 "channel \"a\": value of wrong type for property \"Float\": expected a number, got \"x\""},
        BadScene{R"({ "channels": [ { "id": "p", "type": "Test Probe", "properties": { "Count": 2.5 } } ] })",
                 "value of wrong type for property \"Count\": expected an integer, got 2.5"},
        BadScene{R"({ "channels": [ { "id": "p", "type": "Test Probe", "properties": { "Count": 2147483648 } } ] })",
                 "value out of range for property \"Count\": 2147483648"},
        BadScene{R"({ "channels": [ { "id": "p", "type": "Test Probe", "properties": { "Mask": -1 } } ] })",
                 "value out of range for property \"Mask\": -1"},
        BadScene{R"({ "channels": [ { "id": "p", "type": "Test Probe", "properties": { "Mask": 4294967296 } } ] })",
                 "value out of range for property \"Mask\": 4294967296"},
        BadScene{R"({ "channels": [ { "id": "p", "type": "Test Probe", "properties": { "Mask": "0xG" } } ] })",
                 "value of wrong type for property \"Mask\""},
        BadScene{R"({ "channels": [ { "id": "p", "type": "Test Probe", "properties": { "IfEnabled": 1 } } ] })",
                 "value of wrong type for property \"IfEnabled\": expected true or false, got 1"},
        BadScene{R"({ "channels": [ { "id": "p", "type": "Test Probe", "properties": { "Mode": "ModeD" } } ] })",
                 "unknown value \"ModeD\" for property \"Mode\" (one of: ModeA, ModeB, ModeC)"},
        BadScene{R"({ "channels": [ { "id": "p", "type": "Test Probe", "properties": { "Mode": 3 } } ] })",
                 "value out of range for property \"Mode\": 3"},
        BadScene{R"({ "channels": [ { "id": "p", "type": "Test Probe", "properties": { "Offset": [1, 2] } } ] })",
                 "value of wrong type for property \"Offset\": expected [x, y, z], got [1,2]"},
        BadScene{R"({ "channels": [ { "id": "p", "type": "Test Probe", "properties": { "Scale": 1e300 } } ] })",
                 "value out of range for property \"Scale\""},
        BadScene{R"({ "channels": [ { "id": "p", "type": "Test Probe", "properties": { "Pose": [1, 2, 3] } } ] })",
                 "a matrix needs 16 numbers, got 3"},
        BadScene{R"({ "channels": [ { "id": "p", "type": "Test Probe", "properties": { "Pose": { "move": [1, 2, 3] } } } ] })",
                 "unknown matrix member \"move\""},
        BadScene{R"({ "channels": [ { "id": "v", "type": "Value", "data": {} } ] })",
                 "channel \"v\": type \"Value\" takes no \"data\""},
        BadScene{R"({ "channels": [ { "id": "p", "type": "Test Probe", "data": { "dots": [] } } ] })",
                 "channel \"p\": bad \"data\": expected {\"points\""},
        BadScene{R"({ "channels": [ { "id": "p", "type": "Test Probe", "links": { "Values": "v" } },
                                    { "id": "v", "type": "Value" } ] })",
                 "channel \"p\": unknown link name \"Values\" (type \"Test Probe\" declares \"Value\", \"Matrices\", \"Next\")"},
        BadScene{R"({ "channels": [ { "id": "p", "type": "Test Probe", "links": { "Value": "w" } } ] })",
                 "channel \"p\": link \"Value\" names unknown channel id \"w\""},
        BadScene{R"({ "channels": [ { "id": "p", "type": "Test Probe", "links": { "Value": "m" } },
                                    { "id": "m", "type": "Matrix" } ] })",
                 "channel \"p\": incompatible child type: link \"Value\" expects \"Value\", channel \"m\" is \"Matrix\""},
        BadScene{R"({ "channels": [ { "id": "p", "type": "Test Probe", "links": { "Value": ["v"] } },
                                    { "id": "v", "type": "Value" } ] })",
                 "link \"Value\" takes one child"},
        BadScene{R"({ "channels": [ { "id": "p", "type": "Test Probe", "links": { "Matrices": [1] } } ] })",
                 "link \"Matrices\" must name channel ids (strings), not 1"},
        BadScene{R"({ "channels": [ { "id": "a", "type": "Value", "shared": "x" },
                                    { "id": "b", "type": "Value", "shared": "x" } ] })",
                 "channel \"b\": is the same shared channel as channel \"a\""},
        BadScene{R"({ "channels": [ { "id": "a", "type": "Value" } ], "roots": ["b"] })",
                 "\"roots\" names unknown channel id \"b\""},
        BadScene{R"({ "channels": [], "frameStep": 0 })", "frameStep must be greater than 0"},
        BadScene{R"({ "channels": [], "frames": -1 })", "frames must be between 0 and"},
        BadScene{R"({ "channels": [], "camera": { "position": [0, 0, 0], "target": [0, 0, 0] } })",
                 "camera position and target are the same point"},
        BadScene{R"({ "channels": [], "camera": { "eye": [0, 0, 0] } })", "unknown camera member \"eye\""},
        BadScene{kDeep.c_str(), "nested deeper than 64 levels"}));

// Channels that evaluate each other without end are refused.
TEST_F(SceneTest, LinkCyclesAreRefused) {
  const char* cycles[] = {
      R"({ "channels": [ { "id": "p", "type": "Test Probe", "links": { "Next": "p" } } ] })",
      R"({ "channels": [ { "id": "a", "type": "Test Probe", "links": { "Next": "b" } },
                         { "id": "b", "type": "Test Probe", "links": { "Next": "c" } },
                         { "id": "c", "type": "Test Probe", "links": { "Next": "a" } } ] })"};
  for (const char* text : cycles) {
    LoadedScene scene;
    std::string error;
    EXPECT_FALSE(Load(text, &scene, &error));
    EXPECT_NE(error.find("closes a cycle"), std::string::npos) << error;
  }
  // Sharing a child is not a cycle.
  LoadedScene scene;
  std::string error;
  EXPECT_TRUE(Load(R"({ "channels": [ { "id": "a", "type": "Test Probe", "links": { "Next": "c", "Value": "v" } },
                                      { "id": "b", "type": "Test Probe", "links": { "Next": "c", "Value": "v" } },
                                      { "id": "c", "type": "Test Probe" }, { "id": "v", "type": "Value" } ] })",
                   &scene, &error))
      << error;
}

}  // namespace
