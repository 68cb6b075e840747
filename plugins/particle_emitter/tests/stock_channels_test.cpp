// The stock channels the emitter reads: time value, envelope, value vector and flow grid.
#include <cmath>

#include "corvane/channels/envelope.h"
#include "corvane/channels/flow_grid.h"
#include "corvane/channels/value_vector.h"
#include "corvane/chunk_io.h"
#include "corvane/property.h"
#include "corvane/type_ids.h"
#include "emitter_test_support.h"

namespace ids = corvane::ids;

class StockChannelTest : public EmitterTest {};

TEST_F(StockChannelTest, TimeValueAnswersTheLastFrameStep) {
  auto* t = Make<Vyn_FloatChannel>(ids::kTimeValue);
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t->GetChannelType().baseTypeId, ids::kValue);
  EXPECT_EQ(t->GetFloat(), 0.0f);
  engine->AdvanceFrame(1.0f);
  EXPECT_EQ(t->GetFloat(), 1.0f);
  engine->AdvanceFrame(0.5f);
  EXPECT_EQ(t->GetFloat(), 0.5f);
  EXPECT_EQ(t->GetValueAtTime(99.0f), 0.5f);
}

TEST_F(StockChannelTest, EnvelopeInterpolatesAndPersists) {
  auto* env = Make<Vyn_Envelope>(ids::kEnvelope);
  ASSERT_NE(env, nullptr);
  env->SetFloat(7.0f);
  EXPECT_EQ(env->GetValueAtTime(3.0f), 7.0f) << "no keys: the plain value";
  EXPECT_TRUE(env->AddKey(10.0f, 1.0f));
  EXPECT_TRUE(env->AddKey(0.0f, -1.0f));
  EXPECT_TRUE(env->AddKey(20.0f, 5.0f));
  EXPECT_FALSE(env->AddKey(NAN, 1.0f));
  struct Case { float t, v; };
  for (Case c : {Case{-5, -1}, Case{0, -1}, Case{5, 0}, Case{10, 1}, Case{15, 3}, Case{20, 5}, Case{99, 5}})
    EXPECT_FLOAT_EQ(env->GetValueAtTime(c.t), c.v) << c.t;

  // Its own time: the "Time" child's value, else the engine clock.
  engine->AdvanceFrame(5.0f);
  EXPECT_FLOAT_EQ(env->GetFloat(), 0.0f);
  auto* time = Make<Vyn_FloatChannel>(ids::kValue);
  time->SetFloat(15.0f);
  ASSERT_TRUE(env->ConnectChild(0, time));
  EXPECT_FLOAT_EQ(env->GetFloat(), 3.0f);

  ZelFileSaver saver;
  ASSERT_TRUE(env->SaveChannel(saver));
  auto* copy = Make<Vyn_Envelope>(ids::kEnvelope);
  ZelFileLoader loader(saver.GetBytes().data(), saver.GetBytes().size());
  ASSERT_TRUE(copy->LoadChannel(loader, nullptr)) << loader.GetError();
  ASSERT_EQ(copy->GetKeyCount(), 3);
  EXPECT_FLOAT_EQ(copy->GetValueAtTime(15.0f), 3.0f);

  // A key count that does not match its block is refused before anything is allocated.
  std::vector<uint8_t> bytes = saver.GetBytes();
  const char tag[] = "TENVK";
  auto it = std::search(bytes.begin(), bytes.end(), tag, tag + 5);
  ASSERT_NE(it, bytes.end());
  const size_t countAt = static_cast<size_t>(it - bytes.begin()) + 5 + 5;
  const uint32_t huge = 0x7FFFFFFF;
  std::memcpy(&bytes[countAt], &huge, 4);
  auto* bad = Make<Vyn_Envelope>(ids::kEnvelope);
  ZelFileLoader badLoader(bytes.data(), bytes.size());
  EXPECT_FALSE(bad->LoadChannel(badLoader, nullptr));
  EXPECT_EQ(bad->GetKeyCount(), 0);

  // Keys from a scene's data.
  const auto* table = engine->GetPropertyTable(ids::kEnvelope);
  ASSERT_TRUE(table && table->applyData);
  std::string error;
  EXPECT_TRUE(table->applyData(*bad, R"({"keys": [[0, 2], [4, 6]]})", &error)) << error;
  EXPECT_FLOAT_EQ(bad->GetValueAtTime(1.0f), 3.0f);
  EXPECT_FALSE(table->applyData(*bad, R"({"keys": [[0]]})", &error));
  EXPECT_FALSE(table->applyData(*bad, "not json", &error));
  EXPECT_EQ(bad->GetKeyCount(), 2) << "a refused data block changes nothing";
  EXPECT_NE(table->Find("Float"), nullptr) << "the value channel's properties come along";
}

TEST_F(StockChannelTest, ValueVectorReadsItsThreeChildren) {
  auto* v = Make<Vyn_ValueVector>(ids::kValueVector);
  ASSERT_NE(v, nullptr);
  EXPECT_EQ(v->GetChildCount(), 3);
  EXPECT_STREQ(v->GetLinkDeclaration(2)->linkName, "Z");
  v->SetDefaultVector(D3DXVECTOR3(1, 2, 3));
  auto* y = Make<Vyn_FloatChannel>(ids::kValue);
  y->SetFloat(-4.0f);
  ASSERT_TRUE(v->ConnectChild(1, y));
  EXPECT_EQ(v->GetVector(), D3DXVECTOR3(1, -4, 3));
  auto* z = Make<Vyn_Envelope>(ids::kEnvelope);
  z->AddKey(0, 0);
  z->AddKey(10, 100);
  ASSERT_TRUE(v->ConnectChild(2, z));
  EXPECT_EQ(v->GetVectorAtTime(5.0f), D3DXVECTOR3(1, -4, 50));

  ZelFileSaver saver;
  ASSERT_TRUE(v->SaveChannel(saver));
  auto* copy = Make<Vyn_ValueVector>(ids::kValueVector);
  ZelFileLoader loader(saver.GetBytes().data(), saver.GetBytes().size());
  ASSERT_TRUE(copy->LoadChannel(loader, nullptr));
  EXPECT_EQ(copy->GetDefaultVector(), D3DXVECTOR3(1, 2, 3));
}

TEST_F(StockChannelTest, FlowGridPersistsAndCarriesLocations) {
  auto* g = Make<Vyn_DX8_ParticleFlowGrid>(ids::kParticleFlowGrid);
  ASSERT_NE(g, nullptr);
  g->SetGridMin(D3DXVECTOR3(-2, -3, -4));
  g->SetGridMax(D3DXVECTOR3(2, 3, 4));
  g->SetStaticForce(D3DXVECTOR3(0, 1, 0));
  g->SetResolution(8);
  g->SetResolution(0);
  g->SetResolution(99);
  EXPECT_EQ(g->GetResolution(), 8);
  g->SetKillOutside(true);
  D3DXMATRIX m;
  D3DXMatrixTranslation(&m, 1, 2, 3);
  g->SetLocationMatrix(m);
  g->SetLocation(3, true, D3DXVECTOR3(1, 1, 1));
  g->SetLocation(4, false, D3DXVECTOR3(2, 2, 2));
  g->SetLocation(3, true, D3DXVECTOR3(5, 5, 5));  // updates, does not add
  EXPECT_EQ(g->GetLocationList()->GetItemCount(), 2);

  ZelFileSaver saver;
  ASSERT_TRUE(g->SaveChannel(saver));
  auto* copy = Make<Vyn_DX8_ParticleFlowGrid>(ids::kParticleFlowGrid);
  ZelFileLoader loader(saver.GetBytes().data(), saver.GetBytes().size());
  ASSERT_TRUE(copy->LoadChannel(loader, nullptr)) << loader.GetError();
  EXPECT_EQ(copy->GetGridMax(), D3DXVECTOR3(2, 3, 4));
  EXPECT_EQ(copy->GetResolution(), 8);
  EXPECT_TRUE(copy->GetKillOutside());
  EXPECT_EQ(copy->GetLocationMatrix(), m);
  ASSERT_EQ(copy->GetLocationList()->GetItemCount(), 2);
  auto* rec = static_cast<Vyn_DX8_ParticleFlowGrid::tEmitLocationRecord*>(copy->GetLocationList()->GetItem(0));
  EXPECT_EQ(rec->key, 3u);
  EXPECT_EQ(rec->position, D3DXVECTOR3(5, 5, 5));

  // Every prefix of the stream loads or fails without harm.
  const auto& bytes = saver.GetBytes();
  for (size_t cut = 0; cut < bytes.size(); ++cut) {
    auto* p = Make<Vyn_DX8_ParticleFlowGrid>(ids::kParticleFlowGrid);
    ZelFileLoader l(bytes.data(), cut);
    p->LoadChannel(l, nullptr);
    EXPECT_GE(p->GetResolution(), 1);
  }

  const auto* table = engine->GetPropertyTable(ids::kParticleFlowGrid);
  ASSERT_TRUE(table && table->applyData);
  std::string error;
  EXPECT_TRUE(table->applyData(*copy, R"({"locations": [{"key": 9, "position": [1, 2, 3]}]})", &error)) << error;
  EXPECT_EQ(copy->GetLocationList()->GetItemCount(), 1);
  EXPECT_FALSE(table->applyData(*copy, R"({"locations": [{"key": -1, "position": [1, 2, 3]}]})", &error));
  EXPECT_NE(table->Find("StaticForce"), nullptr);
}
