// Engine: plug-in loading and the type registry, channel creation, shared channels, sinks,
// property tables and the global engine.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "corvane/channels/matrix_channel.h"
#include "corvane/channels/value_channel.h"
#include "corvane/host/engine.h"
#include "corvane/plugin.h"
#include "corvane/property.h"
#include "corvane/type_ids.h"
#include "scratch_channel.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;
using corvane::host::Engine;
using corvane::ids::kMatrix;
using corvane::ids::kValue;

// A fresh folder under the test's temporary directory, removed afterwards.
struct TempDir {
  fs::path path;
  explicit TempDir(const char* name)
      : path(fs::temp_directory_path() / (std::string("corvane_") + name + "_" + std::to_string(getpid()))) {
    fs::remove_all(path);
    fs::create_directories(path);
  }
  ~TempDir() { fs::remove_all(path); }
};

TEST(Engine, ScratchPluginLoadsByPathAndReportsItsRecord) {
  Engine engine;
  engine.GetLogger().SetCapture(true);
  ASSERT_TRUE(engine.LoadPlugin(CORVANE_SCRATCH_PLUGIN)) << engine.GetLogger().GetLines().back().text;
  const corvane::host::PluginInfo* info = engine.FindPlugin(kScratchType);
  ASSERT_NE(info, nullptr);
  EXPECT_EQ(engine.FindPluginByName("Scratch Test Channel"), info);

  ChannelType* first = info->getType();
  const ChannelType copy = *first;
  ChannelType* second = info->getType();
  EXPECT_EQ(first, second);
  EXPECT_EQ(std::memcmp(&copy, second, sizeof copy), 0);
  EXPECT_STREQ(first->typeName, "Scratch Test Channel");
  EXPECT_EQ(first->hostWord1, 1);
  EXPECT_EQ(first->hostWord2, 50);
  EXPECT_EQ(first->hostWord3, 3);
  EXPECT_EQ(first->hostWord4, 7);
  EXPECT_EQ(first->hostFlag, 0);

  std::unique_ptr<Zel_Channel> ch(engine.CreateChannelInstance(kScratchType, 0, 0));
  ASSERT_NE(ch, nullptr);
  EXPECT_EQ(ch->GetChannelType().typeId, kScratchType);
  EXPECT_EQ(ch->GetChannelType().hostWord4, 7);
  EXPECT_EQ(ch->engine, &engine);
  EXPECT_EQ(ch->GetLinkCount(), 3);
  EXPECT_EQ(engine.CreateChannelInstance(kValue, 0, 0), nullptr);
  EXPECT_TRUE(engine.GetLogger().Contains("no loaded plug-in provides channel type 0B97F3E6"));
}

TEST(Engine, FolderScanTakesCanonicalNamesAndRefusesATypeTwice) {
  TempDir dir("plugin_scan");
  const std::string value = corvane::test::PluginPath(kValue);
  fs::copy_file(value, dir.path / "0B97F3E6-5A1C-4F84-B26D-A9E40C83F51D.so");
  fs::copy_file(value, dir.path / "0b97f3e6-5a1c-4f84-b26d-a9e40c83f51d.so");  // not canonical
  fs::copy_file(value, dir.path / "value.so");
  fs::copy_file(corvane::test::PluginPath(kMatrix), dir.path / "11111111-2222-3333-4444-555555555555.so");

  Engine engine;
  engine.GetLogger().SetCapture(true);
  // The file name is not the type: the matrix plug-in under another name still reports Matrix.
  EXPECT_EQ(engine.LoadPluginFolder(dir.path.string()), 2);
  ASSERT_NE(engine.FindPlugin(kMatrix), nullptr);
  EXPECT_NE(engine.FindPlugin(kMatrix)->path.find("11111111-2222"), std::string::npos);
  EXPECT_EQ(engine.GetPlugins().size(), 2u);

  // A second file reporting Value is refused with a message naming the type.
  fs::copy_file(value, dir.path / "other.so");
  EXPECT_FALSE(engine.LoadPlugin((dir.path / "other.so").string()));
  EXPECT_TRUE(engine.GetLogger().Contains("already provides"));
  EXPECT_TRUE(engine.GetLogger().Contains("0B97F3E6-5A1C-4F84-B26D-A9E40C83F51D"));
  EXPECT_EQ(engine.GetPlugins().size(), 2u);

  EXPECT_FALSE(engine.LoadPlugin((dir.path / "missing.so").string()));
  EXPECT_EQ(engine.LoadPluginFolder((dir.path / "nowhere").string()), 0);
}

// Records the texts given to it, outliving the engine whose sink it replaces.
class RecordingSink : public DebugMessageSink {
 public:
  void ShowDebugMessage(const char* text) override { log += text ? text : ""; }
  void ShowDebugMessage(const char* text, const char* appended) override {
    log += text ? text : "";
    log += appended ? appended : "";
    log += ';';
  }
  void ShowDebugMessage(int) override {}
  std::string log;
};

TEST(Engine, SharedChannelsByTypeAndNameDestroyedNewestFirst) {
  RecordingSink sink;
  {
    auto engine = corvane::test::MakeEngine();
    engine->messageSink1 = &sink;
    Zel_Channel* a = engine->GetSharedChannel(kScratchType, "first");
    Zel_Channel* b = engine->GetSharedChannel(kScratchType, "second");
    Zel_Channel* unnamed = engine->GetSharedChannel(kScratchType, nullptr);
    ASSERT_TRUE(a && b && unnamed);
    EXPECT_NE(a, b);
    EXPECT_EQ(engine->GetSharedChannel(kScratchType, "first"), a);
    EXPECT_EQ(engine->GetSharedChannel(kScratchType, ""), unnamed);
    EXPECT_NE(engine->GetSharedChannel(kValue, "first"), a);  // keyed by type too
    EXPECT_STREQ(a->GetInstanceName(), "first");
    EXPECT_EQ(engine->GetSharedChannel(corvane::ids::kPhysicsContext, nullptr), nullptr);
    EXPECT_EQ(engine->GetSharedChannels().size(), 4u);
    a->ConnectChild(2, b);  // an older shared channel holding a newer one
    EXPECT_EQ(sink.log, "");
  }
  EXPECT_EQ(sink.log, "destroyed ;destroyed second;destroyed first;");
}

TEST(Engine, SinksGoToTheLoggerAndGlobalEngineFollowsLifetime) {
  EXPECT_EQ(globalEngine, nullptr);
  {
    Engine engine;
    EXPECT_EQ(globalEngine, &engine);
    engine.GetLogger().SetCapture(true);
    engine.messageSink1->ShowDebugMessage("plain");
    engine.messageSink2->ShowDebugMessage("joined ", "text");
    engine.messageSink3->ShowDebugMessage(17);
    engine.messageSink4->ShowDebugMessage(static_cast<const char*>(nullptr));
    engine.debugSink->ShowDebug("count", 5);
    const auto& lines = engine.GetLogger().GetLines();
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0].sink, 1);
    EXPECT_EQ(lines[0].text, "plain");
    EXPECT_EQ(lines[1].sink, 2);
    EXPECT_EQ(lines[1].text, "joined text");
    EXPECT_EQ(lines[2].text, "17");
    EXPECT_EQ(lines[3].sink, 4);
    EXPECT_EQ(lines[4].sink, 0);
    EXPECT_EQ(lines[4].text, "count 5");
  }
  EXPECT_EQ(globalEngine, nullptr);
}

TEST(StockChannels, ValueAndMatrixBehaviourAndPropertyTables) {
  auto engine = corvane::test::MakeEngine(false);
  std::unique_ptr<Zel_Channel> v(engine->CreateChannelInstance(kValue, 0, 0));
  std::unique_ptr<Zel_Channel> m(engine->CreateChannelInstance(kMatrix, 0, 0));
  ASSERT_TRUE(v && m);
  EXPECT_STREQ(v->GetChannelName(), "Value");
  EXPECT_STREQ(m->GetChannelName(), "Matrix");
  EXPECT_EQ(v->GetChannelType().baseTypeId, kValue);
  auto* value = static_cast<Vyn_FloatChannel*>(v.get());
  auto* matrix = static_cast<Vyn_MatrixChannel*>(m.get());

  const unsigned long stamp = value->GetTimeStamp();
  value->SetFloat(2.0f);
  EXPECT_GT(value->GetTimeStamp(), stamp);
  value->CallChannel();
  value->SetFloat(3.0f);
  EXPECT_EQ(value->GetOldFloat(), 2.0f);
  EXPECT_EQ(value->GetValueAtTime(100.0f), 3.0f);
  value->SetDefaultFloat(7.0f);
  EXPECT_EQ(value->GetFloat(), 3.0f);
  value->SetDefaultFloatSetting(true);
  EXPECT_EQ(value->GetFloat(), 7.0f);

  D3DXMATRIX identity;
  D3DXMatrixIdentity(&identity);
  EXPECT_EQ(matrix->GetMatrix(), identity);
  D3DXMATRIX t = identity;
  t._41 = 5.0f;
  matrix->CallChannel();
  matrix->SetMatrix(t);
  EXPECT_EQ(matrix->GetMatrix(), t);
  EXPECT_EQ(matrix->GetOldMatrix(), identity);

  const corvane::PropertyTable* vt = engine->GetPropertyTable(kValue);
  const corvane::PropertyTable* mt = engine->GetPropertyTable(kMatrix);
  ASSERT_TRUE(vt && mt);
  const corvane::PropertyInfo* f = vt->Find("Float");
  ASSERT_TRUE(f && vt->Find("DefaultFloat") && vt->Find("DefaultFloatSetting"));
  EXPECT_EQ(vt->Find("DefaultFloatSetting")->type, corvane::PropertyType::Bool);
  EXPECT_TRUE(f->set(*v, corvane::PropertyValue::Float(-1.5f)));
  EXPECT_FALSE(f->set(*v, corvane::PropertyValue::Int(3)));
  EXPECT_EQ(value->GetFloat(), -1.5f);
  EXPECT_EQ(f->get(*v).f, -1.5f);
  const corvane::PropertyInfo* mp = mt->Find("Matrix");
  ASSERT_TRUE(mp);
  EXPECT_EQ(mp->get(*m).m, t);
  EXPECT_TRUE(mp->set(*m, corvane::PropertyValue::Matrix(identity)));
  EXPECT_EQ(matrix->GetMatrix(), identity);
}

TEST(Engine, DefaultPluginsComeFromEveryFolderOfThePluginPath) {
  TempDir a("plugin_path_a"), b("plugin_path_b");
  fs::copy_file(corvane::test::PluginPath(kValue), a.path / "0B97F3E6-5A1C-4F84-B26D-A9E40C83F51D.so");
  fs::copy_file(corvane::test::PluginPath(kMatrix), b.path / "81C4E6A0-F759-4D3B-9A2E-60F8B1C37D95.so");
  const char* old = std::getenv("CORVANE_PLUGIN_PATH");
  const std::string saved = old ? old : "";
  setenv("CORVANE_PLUGIN_PATH", (a.path.string() + "::" + b.path.string() + ":/nonexistent").c_str(), 1);
  Engine engine;
  engine.GetLogger().SetCapture(true);
  EXPECT_EQ(engine.LoadDefaultPlugins(), 2);
  EXPECT_NE(engine.FindPlugin(kValue), nullptr);
  EXPECT_NE(engine.FindPlugin(kMatrix), nullptr);
  EXPECT_TRUE(engine.GetLogger().Contains("/nonexistent"));
  if (old) setenv("CORVANE_PLUGIN_PATH", saved.c_str(), 1);
  else unsetenv("CORVANE_PLUGIN_PATH");
}

TEST(Engine, TypeCompatibilityFollowsBaseChain) {
  auto engine = corvane::test::MakeEngine();
  EXPECT_TRUE(engine->IsTypeCompatible(kValue, kValue));
  EXPECT_FALSE(engine->IsTypeCompatible(kMatrix, kValue));
  EXPECT_FALSE(engine->IsTypeCompatible(corvane::ids::kNavGraph, kValue));
}

}  // namespace
