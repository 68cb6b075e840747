// The beam renderer against the software device: what it draws for a hand-made particle chain,
// where the quad corners lie, what it leaves on the device, and how it reads a real emitter.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "corvane/beam_renderer.h"
#include "corvane/channels/render_context.h"
#include "corvane/chunk_io.h"
#include "corvane/channel_group.h"
#include "corvane/host/engine.h"
#include "corvane/host/scene.h"
#include "corvane/particle_emitter.h"
#include "corvane/property.h"
#include "corvane/software_device.h"
#include "corvane/type_ids.h"

namespace {

using corvane::SoftwareDevice;
using corvane::host::Engine;
namespace ids = corvane::ids;
using tParticle = Vyn_DX8_ParticleEmitter::tParticle;
using BeamVertex = Vyn_DX8_ParticleBeamRenderer::BeamVertex;

// An emitter whose pool the test writes by hand: the beam reads it through the same virtual
// operations it reads a real emitter with.
class HandEmitter : public Vyn_DX8_ParticleEmitter {
 public:
  HandEmitter() {
    ChannelType type;
    type.typeId = ids::kParticleEmitter;
    type.baseTypeId = ids::kParticleEmitter;
    SetChannelTypeRecord(type);
  }
  tParticle* GetParticlePool() override { return pool.empty() ? nullptr : pool.data(); }
  int GetParticlePoolCount() override { return static_cast<int>(pool.size()); }
  int GetMaxParticles() const override { return maxParticles; }
  int GetLastParticlePoolIndex() const override { return youngest; }
  bool GetIsCulling() const override { return false; }
  uint32_t GetBirthPeriod() const override { return period; }

  // Appends a living particle at p (size s, colour c) as the new youngest.
  void Add(D3DXVECTOR3 p, float s, D3DXVECTOR3 c = {1, 1, 1}) {
    tParticle t;
    std::memset(&t, 0, sizeof t);
    t.birthTime = clock++;
    t.lifeTime = 1000;
    t.position = p;
    t.drawPosition = D3DXVECTOR4(p.x, p.y, p.z, 1);
    t.size = D3DXVECTOR3(s, s, s);
    t.color = c;
    t.alpha = 1;
    t.olderIndex = youngest;
    pool.push_back(t);
    youngest = static_cast<int>(pool.size()) - 1;
    if (maxParticles < static_cast<int>(pool.size())) maxParticles = static_cast<int>(pool.size());
  }

  std::vector<tParticle> pool;
  uint32_t period = 0;
  int maxParticles = 8;
  int youngest = -1;
  uint32_t clock = 100;
};

struct DrawCall {
  unsigned type, minIndex, numVertices, startIndex, primitives;
};

class BeamTest : public ::testing::Test {
 protected:
  void SetUp() override { Build(64, 64); }
  void TearDown() override { Clear(); }

  void Clear() {
    delete beam;
    delete emitter;
    if (device) device->Release();
    beam = nullptr;
    emitter = nullptr;
    device = nullptr;
    engine.reset();
  }

  // A fresh engine, device (width x height), camera, beam and hand emitter.
  void Build(int width, int height) {
    Clear();
    engine = std::make_unique<Engine>();
    engine->GetLogger().SetCapture(true);
    ASSERT_GT(engine->LoadPluginFolder(CORVANE_TEST_PLUGIN_DIR), 0);
    context = static_cast<Vyn_DX8_RenderContext*>(engine->GetSharedChannel(ids::kRenderContext, nullptr));
    ASSERT_NE(context, nullptr);
    corvane::SoftwareDeviceOptions options;
    options.width = width;
    options.height = height;
    device = SoftwareDevice::Create(options);
    context->SetDevice(device, nullptr);
    // Camera at the origin looking along +z: the view matrix is the identity.
    context->SetCamera(D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(0, 0, 1), 1.0f);
    context->BeginFrame();
    beam = static_cast<Vyn_DX8_ParticleBeamRenderer*>(engine->CreateChannelInstance(ids::kParticleBeamRenderer));
    ASSERT_NE(beam, nullptr);
    emitter = new HandEmitter();
    ASSERT_TRUE(beam->ConnectChild(0, emitter));
  }

  // Draws once with recording on and returns the indexed draws recorded.
  std::vector<DrawCall> Draw() {
    device->EnableRecording(true);
    beam->CallChannel();
    std::vector<DrawCall> draws;
    for (const corvane::RecordedCall& c : device->GetRecordedCalls()) {
      if (c.name != "DrawIndexedPrimitive") continue;
      std::istringstream in(c.args);
      DrawCall d{};
      in >> d.type >> d.minIndex >> d.numVertices >> d.startIndex >> d.primitives;
      draws.push_back(d);
    }
    return draws;
  }

  // The vertices in the device's stream 0 (what was uploaded).
  std::vector<BeamVertex> Uploaded() {
    IDirect3DVertexBuffer8* vb = nullptr;
    UINT stride = 0;
    device->GetStreamSource(0, &vb, &stride);
    std::vector<BeamVertex> out;
    if (!vb) return out;
    D3DVERTEXBUFFER_DESC desc{};
    vb->GetDesc(&desc);
    BYTE* data = nullptr;
    if (SUCCEEDED(vb->Lock(0, 0, &data, D3DLOCK_READONLY))) {
      out.resize(desc.Size / sizeof(BeamVertex));
      std::memcpy(out.data(), data, out.size() * sizeof(BeamVertex));
      vb->Unlock();
    }
    vb->Release();
    return out;
  }

  std::unique_ptr<Engine> engine;
  Vyn_DX8_RenderContext* context = nullptr;
  SoftwareDevice* device = nullptr;
  Vyn_DX8_ParticleBeamRenderer* beam = nullptr;
  HandEmitter* emitter = nullptr;
};

D3DXVECTOR3 Pos(const BeamVertex& v) { return D3DXVECTOR3(v.x, v.y, v.z); }
D3DXVECTOR3 Mid(const BeamVertex& a, const BeamVertex& b) { return (Pos(a) + Pos(b)) * 0.5f; }
float Dist(const BeamVertex& a, const BeamVertex& b) {
  const D3DXVECTOR3 d = Pos(a) - Pos(b);
  return D3DXVec3Length(&d);
}

#define EXPECT_VEC_NEAR(a, b, tol)   \
  do {                               \
    D3DXVECTOR3 a_ = (a), b_ = (b);  \
    EXPECT_NEAR(a_.x, b_.x, tol);    \
    EXPECT_NEAR(a_.y, b_.y, tol);    \
    EXPECT_NEAR(a_.z, b_.z, tol);    \
  } while (0)

TEST(BeamType, ReportsItsTypeNotItsFileName) {
  Engine engine;
  engine.GetLogger().SetCapture(true);
  ASSERT_TRUE(engine.LoadPlugin(std::string(CORVANE_TEST_PLUGIN_DIR) +
                                "/2C5D9F81-7B0A-4E36-A5C2-E84B17F0D96A.so"));
  const corvane::host::PluginInfo* info = engine.FindPlugin(ids::kParticleBeamRenderer);
  ASSERT_NE(info, nullptr);
  EXPECT_STREQ(info->type.typeName, "DX8 ParticleSpriteBeamRenderer");
  EXPECT_EQ(info->type.baseTypeId, ids::kObjectData);
  EXPECT_EQ(info->type.hostWord3, 1);
  EXPECT_EQ(engine.FindPlugin(ids::kParticleBeamRendererFile), nullptr);
  // The table reaches the object data's properties through its base.
  ASSERT_NE(info->properties, nullptr);
  EXPECT_NE(info->properties->Find("HingeOffset"), nullptr);
  EXPECT_NE(info->properties->Find("TextureFile") ? info->properties->Find("TextureFile")
                                                  : info->properties->Find("AlphaBlend"),
            nullptr);
}

TEST_F(BeamTest, DeclaresTheEmitterLinkAndDefaults) {
  const ChildCreation* link = beam->GetLinkDeclaration(0);
  ASSERT_NE(link, nullptr);
  EXPECT_STREQ(link->linkName, "Particle Emitter");
  EXPECT_STREQ(link->childType.typeName, "DX8 ParticleEmitter");
  EXPECT_EQ(link->childType.typeId, ids::kParticleEmitter);
  EXPECT_EQ(link->linkPosition, 0);
  EXPECT_FLOAT_EQ(beam->GetHingeOffset(), 0.5f);
  EXPECT_FALSE(beam->IsBuilt());
  EXPECT_TRUE(beam->GetIfObjectIsVisible());
}

TEST_F(BeamTest, OneParticleDrawsNothingTwoDrawOneQuadWhereExpected) {
  emitter->Add(D3DXVECTOR3(0, 0, 10), 1.0f, D3DXVECTOR3(1, 0.5f, 0));  // older: w
  EXPECT_TRUE(Draw().empty());
  EXPECT_EQ(beam->GetLastVisitedCount(), 1);

  emitter->Add(D3DXVECTOR3(2, 0, 10), 2.0f, D3DXVECTOR3(0, 0, 1));  // younger: v
  const std::vector<DrawCall> draws = Draw();
  ASSERT_EQ(draws.size(), 1u);
  EXPECT_EQ(draws[0].type, static_cast<unsigned>(D3DPT_TRIANGLELIST));
  EXPECT_EQ(draws[0].primitives, 2u);
  EXPECT_EQ(draws[0].startIndex, 6u);  // quad 1: vertices 4 .. 7
  EXPECT_EQ(device->GetInvalidCallCount(), 0) << device->GetLastError();

  // Camera at the origin looking along +z: the beam's plane is the view plane, angle 0, length 2;
  // corners (-h, w/2), (len + h, v/2), (-h, -w/2), (len + h, -v/2) around w = (0, 0, 10).
  const std::vector<BeamVertex> vb = Uploaded();
  ASSERT_GE(vb.size(), 8u);
  const float h = 0.5f;
  EXPECT_VEC_NEAR(Pos(vb[4]), D3DXVECTOR3(-h, 0.5f, 10), 1e-5f);
  EXPECT_VEC_NEAR(Pos(vb[5]), D3DXVECTOR3(2 + h, 1.0f, 10), 1e-5f);
  EXPECT_VEC_NEAR(Pos(vb[6]), D3DXVECTOR3(-h, -0.5f, 10), 1e-5f);
  EXPECT_VEC_NEAR(Pos(vb[7]), D3DXVECTOR3(2 + h, -1.0f, 10), 1e-5f);
  // Colours 0x00RRGGBB of the particle at each end (0.5 * 255 truncates to 127); fixed u, v.
  EXPECT_EQ(vb[4].color, 0x00FF7F00u);
  EXPECT_EQ(vb[5].color, 0x000000FFu);
  EXPECT_EQ(vb[6].color, 0x00FF7F00u);
  EXPECT_EQ(vb[7].color, 0x000000FFu);
  const float u[4] = {0, 1, 0, 1}, v[4] = {0, 0, 1, 1};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(vb[4 + i].u, u[i]);
    EXPECT_EQ(vb[4 + i].v, v[i]);
  }
  // The beam reached the colour buffer.
  EXPECT_GT(device->GetPrimitiveCount(), 0u);
}

TEST_F(BeamTest, DiagonalSegmentFacesTheCameraWithAMovedCameraAndAWideViewport) {
  Build(160, 60);  // aspect far from 1
  const D3DXVECTOR3 eye(3, 4, -5), at(1, 2, 6);
  context->SetCamera(eye, at, 0.9f);
  context->BeginFrame();
  beam->SetHingeOffset(0.0f);
  // Two particles at the same distance along the view direction, apart diagonally on screen.
  D3DXVECTOR3 forward = at - eye;
  D3DXVec3Normalize(&forward, &forward);
  D3DXVECTOR3 side, upward(0, 1, 0);
  D3DXVec3Cross(&side, &upward, &forward);
  D3DXVec3Normalize(&side, &side);
  D3DXVec3Cross(&upward, &forward, &side);
  const D3DXVECTOR3 w = at, vpos = at + side * 1.5f + upward * 1.0f;
  emitter->Add(w, 0.4f);
  emitter->Add(vpos, 0.8f);
  ASSERT_EQ(Draw().size(), 1u);
  const std::vector<BeamVertex>& q = beam->GetSystemVertices();
  // With no hinge the quad's ends are centred on the particles, its edges as wide as their sizes,
  // and it lies across the view direction.
  EXPECT_VEC_NEAR(Mid(q[4], q[6]), w, 1e-4f);
  EXPECT_VEC_NEAR(Mid(q[5], q[7]), vpos, 1e-4f);
  EXPECT_NEAR(Dist(q[4], q[6]), 0.4f, 1e-4f);
  EXPECT_NEAR(Dist(q[5], q[7]), 0.8f, 1e-4f);
  for (int i = 4; i < 8; ++i) {
    const D3DXVECTOR3 d = Pos(q[i]) - w;
    EXPECT_NEAR(D3DXVec3Dot(&d, &forward), 0.0f, 1e-4f);
  }
  const D3DXVECTOR3 across = Pos(q[4]) - Pos(q[6]), along = vpos - w;
  EXPECT_NEAR(D3DXVec3Dot(&across, &along), 0.0f, 1e-4f);
}

TEST_F(BeamTest, HingeOffsetZeroJoinsNeighboursAtTheParticles) {
  const D3DXVECTOR3 p[3] = {{-2, -1, 8}, {0, 1, 8}, {2, 0, 8}};
  for (const D3DXVECTOR3& x : p) emitter->Add(x, 1.0f);
  struct Case {
    float hinge;
  } cases[] = {{0.0f}, {0.5f}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.hinge);
    beam->SetHingeOffset(c.hinge);
    const std::vector<DrawCall> draws = Draw();
    ASSERT_EQ(draws.size(), 1u);
    EXPECT_EQ(draws[0].primitives, 4u);
    const std::vector<BeamVertex>& q = beam->GetSystemVertices();
    // Quad 1: middle particle -> youngest; quad 2: oldest -> middle.
    D3DXVECTOR3 dir1 = p[2] - p[1], dir2 = p[1] - p[0];
    D3DXVec3Normalize(&dir1, &dir1);
    D3DXVec3Normalize(&dir2, &dir2);
    EXPECT_VEC_NEAR(Mid(q[4], q[6]), p[1] - dir1 * c.hinge, 1e-4f);
    EXPECT_VEC_NEAR(Mid(q[5], q[7]), p[2] + dir1 * c.hinge, 1e-4f);
    EXPECT_VEC_NEAR(Mid(q[8], q[10]), p[0] - dir2 * c.hinge, 1e-4f);
    EXPECT_VEC_NEAR(Mid(q[9], q[11]), p[1] + dir2 * c.hinge, 1e-4f);
    if (c.hinge == 0.0f) EXPECT_VEC_NEAR(Mid(q[9], q[11]), Mid(q[4], q[6]), 1e-5f);
  }
}

TEST_F(BeamTest, WalkStopsAtDeadOutOfOrderAndLoopingChains) {
  for (int i = 0; i < 5; ++i) emitter->Add(D3DXVECTOR3(static_cast<float>(i), 0, 10), 1.0f);
  // Chain 4 -> 3 -> 2 -> 1 -> 0.
  struct Case {
    const char* what;
    void (*damage)(HandEmitter&);
    int visited;
  } cases[] = {
      {"intact", [](HandEmitter&) {}, 5},
      {"dead particle", [](HandEmitter& e) { e.pool[2].flags = Vyn_DX8_ParticleEmitter::kParticleDead; }, 2},
      {"born later than its younger neighbour", [](HandEmitter& e) { e.pool[1].birthTime = 10000; }, 3},
      {"loop with equal birth times",
       [](HandEmitter& e) {
         for (tParticle& t : e.pool) t.birthTime = 7;
         e.pool[0].olderIndex = 4;
       },
       5},
      {"index past the slots handed out", [](HandEmitter& e) { e.pool[3].olderIndex = 1000; }, 2},
      {"no youngest", [](HandEmitter& e) { e.youngest = -1; }, 0},
  };
  const std::vector<tParticle> intact = emitter->pool;
  const int youngest = emitter->youngest;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    emitter->pool = intact;
    emitter->youngest = youngest;
    c.damage(*emitter);
    const std::vector<DrawCall> draws = Draw();
    EXPECT_EQ(beam->GetLastVisitedCount(), c.visited);
    if (c.visited > 1) {
      ASSERT_EQ(draws.size(), 1u);
      EXPECT_EQ(draws[0].primitives, 2u * (c.visited - 1));
    } else {
      EXPECT_TRUE(draws.empty());
    }
    EXPECT_EQ(device->GetInvalidCallCount(), 0) << device->GetLastError();
  }
}

// Missing-period correction births one frame's particles with back-dated times, each one period
// older than the one born before it: the chain then rises by one period per step. The beam follows
// such a chain in age order, from the newest particle outwards.
TEST_F(BeamTest, BackDatedBirthsAreDrawnInAgeOrder) {
  // Two frames of two births each, period 20: creation order (time, x) = (80, 2), (60, 3), then
  // (120, 0), (100, 1); the chain from the youngest reads times 100, 120, 60, 80.
  const struct {
    uint32_t time;
    float x;
  } births[] = {{80, 2}, {60, 3}, {120, 0}, {100, 1}};
  for (const auto& b : births) {
    emitter->Add(D3DXVECTOR3(b.x, 0, 10), 1.0f);
    emitter->pool.back().birthTime = b.time;
  }
  beam->SetHingeOffset(0.0f);
  emitter->period = 20;
  const std::vector<DrawCall> draws = Draw();
  ASSERT_EQ(beam->GetLastVisitedCount(), 4);
  ASSERT_EQ(draws.size(), 1u);
  EXPECT_EQ(draws[0].primitives, 6u);
  const std::vector<BeamVertex>& q = beam->GetSystemVertices();
  for (int k = 1; k < 4; ++k) {
    SCOPED_TRACE(k);
    EXPECT_VEC_NEAR(Mid(q[4 * k], q[4 * k + 2]), D3DXVECTOR3(static_cast<float>(k), 0, 10), 1e-5f);
    EXPECT_VEC_NEAR(Mid(q[4 * k + 1], q[4 * k + 3]), D3DXVECTOR3(static_cast<float>(k - 1), 0, 10), 1e-5f);
  }
  // A rise of more than one period is a break in the chain: the walk stops there.
  emitter->period = 10;
  EXPECT_TRUE(Draw().empty());
  EXPECT_EQ(beam->GetLastVisitedCount(), 1);
}

TEST_F(BeamTest, ChangingMaxParticlesRebuildsOnTheNextCall) {
  emitter->Add(D3DXVECTOR3(0, 0, 10), 1);
  emitter->Add(D3DXVECTOR3(1, 0, 10), 1);
  emitter->maxParticles = 4;
  Draw();
  EXPECT_TRUE(beam->IsBuilt());
  EXPECT_EQ(beam->GetBuiltPoolSize(), 4);
  EXPECT_EQ(beam->GetSystemVertices().size(), 16u);
  EXPECT_EQ(beam->GetVertexCount(), 16);
  EXPECT_EQ(beam->GetIndexCount(), 24);

  emitter->maxParticles = 9;
  device->EnableRecording(true);
  beam->CallChannel();
  bool newBuffer = false;
  for (const corvane::RecordedCall& c : device->GetRecordedCalls())
    if (c.name == "CreateVertexBuffer") newBuffer = newBuffer || c.args.rfind(std::to_string(36 * 24), 0) == 0;
  EXPECT_TRUE(newBuffer);
  EXPECT_EQ(beam->GetBuiltPoolSize(), 9);
  EXPECT_EQ(beam->GetVertexCount(), 36);
  EXPECT_EQ(beam->GetIndexCount(), 54);
  // The same size again builds nothing new.
  device->EnableRecording(true);
  beam->CallChannel();
  for (const corvane::RecordedCall& c : device->GetRecordedCalls()) EXPECT_NE(c.name, "CreateVertexBuffer");
}

TEST_F(BeamTest, WorldTransformAndLightingAreRestored) {
  emitter->Add(D3DXVECTOR3(0, 0, 10), 1);
  emitter->Add(D3DXVECTOR3(1, 0, 10), 1);
  D3DXMATRIX world;
  D3DXMatrixTranslation(&world, 5, 6, 7);
  for (DWORD lighting : {DWORD{TRUE}, DWORD{FALSE}}) {
    SCOPED_TRACE(lighting);
    device->SetTransform(D3DTS_WORLD, &world);
    device->SetRenderState(D3DRS_LIGHTING, lighting);
    device->EnableRecording(true);
    beam->CallChannel();
    // During the draw: identity world and lighting off.
    bool drawn = false, lightingOffBeforeDraw = false;
    for (const corvane::RecordedCall& c : device->GetRecordedCalls()) {
      if (c.name == "SetRenderState" && c.args == "137 0") lightingOffBeforeDraw = true;
      if (c.name == "DrawIndexedPrimitive") {
        drawn = true;
        EXPECT_TRUE(lightingOffBeforeDraw);
      }
    }
    EXPECT_TRUE(drawn);
    D3DMATRIX after;
    device->GetTransform(D3DTS_WORLD, &after);
    EXPECT_EQ(after, world);
    DWORD lightingAfter = 99;
    device->GetRenderState(D3DRS_LIGHTING, &lightingAfter);
    EXPECT_EQ(lightingAfter, lighting);
  }
}

TEST_F(BeamTest, VerticesAreInWorldSpaceDrawnWithIdentityWorld) {
  // A beam drawn with a translated world in force must still land where its particles are: the
  // pixel at the beam's screen position is lit, and the translated place is not.
  context->SetClearColor(0xFF000000);
  context->BeginFrame();
  D3DXMATRIX world;
  D3DXMatrixTranslation(&world, 100, 0, 0);
  device->SetTransform(D3DTS_WORLD, &world);
  emitter->Add(D3DXVECTOR3(-1, 0, 5), 1.0f);
  emitter->Add(D3DXVECTOR3(1, 0, 5), 1.0f);
  beam->CallChannel();
  EXPECT_NE(device->GetPixel(32, 32) & 0x00FFFFFF, 0u);
}

TEST_F(BeamTest, MissingDeviceOrEmitterDrawsNothing) {
  emitter->Add(D3DXVECTOR3(0, 0, 10), 1);
  emitter->Add(D3DXVECTOR3(1, 0, 10), 1);
  context->SetDevice(nullptr, nullptr);
  beam->CallChannel();
  EXPECT_FALSE(beam->IsBuilt());
  context->SetDevice(device, nullptr);

  beam->DisconnectAll();
  device->EnableRecording(true);
  beam->CallChannel();
  EXPECT_TRUE(device->GetRecordedCalls().empty());
  EXPECT_FALSE(beam->IsBuilt());

  // A channel of another type on the link is not read as an emitter.
  Zel_Channel* value = engine->CreateChannelInstance(ids::kValue);
  if (value) {
    beam->ConnectChild(0, value);
    device->EnableRecording(true);
    beam->CallChannel();
    EXPECT_TRUE(device->GetRecordedCalls().empty());
    beam->DisconnectAll();
    delete value;
  }
}

TEST_F(BeamTest, EmptyPoolBuildsNoGeometry) {
  emitter->maxParticles = 0;
  EXPECT_TRUE(Draw().empty());
  EXPECT_TRUE(beam->GetSystemVertices().empty());
  EXPECT_EQ(beam->GetBuiltPoolSize(), 0);
}

TEST_F(BeamTest, LargePoolsDrawInBatchesOfSixteenBitIndices) {
  const int n = 20000;
  emitter->maxParticles = n;
  for (int i = 0; i < n; ++i)
    emitter->Add(D3DXVECTOR3(std::sin(i * 0.01f), std::cos(i * 0.01f), 10 + i * 0.001f), 0.1f);
  const std::vector<DrawCall> draws = Draw();
  EXPECT_EQ(beam->GetIndexCount(), 6 * Vyn_DX8_ParticleBeamRenderer::kQuadsPerBatch);
  ASSERT_EQ(draws.size(), 2u);
  EXPECT_EQ(draws[0].startIndex, 6u);
  EXPECT_EQ(draws[0].primitives, 2u * (Vyn_DX8_ParticleBeamRenderer::kQuadsPerBatch - 1));
  EXPECT_EQ(draws[1].startIndex, 0u);
  EXPECT_EQ(draws[0].primitives + draws[1].primitives, 2u * (n - 1));
  bool based = false;
  for (const corvane::RecordedCall& c : device->GetRecordedCalls())
    if (c.name == "SetIndices" && c.args.find(std::to_string(4 * Vyn_DX8_ParticleBeamRenderer::kQuadsPerBatch)) !=
                                        std::string::npos)
      based = true;
  EXPECT_TRUE(based);
  EXPECT_EQ(device->GetInvalidCallCount(), 0) << device->GetLastError();
}

TEST_F(BeamTest, SavesAndLoadsItsSettings) {
  beam->SetHingeOffset(0.25f);
  beam->SetAdditiveBlend(true);
  beam->SetTextureFile("textures/particle_soft.png");
  ZelFileSaver saver;
  ASSERT_TRUE(beam->SaveChannel(saver));
  const std::vector<uint8_t> bytes = saver.GetBytes();

  std::unique_ptr<Vyn_DX8_ParticleBeamRenderer> copy(
      static_cast<Vyn_DX8_ParticleBeamRenderer*>(engine->CreateChannelInstance(ids::kParticleBeamRenderer)));
  ZelFileLoader loader(bytes.data(), bytes.size());
  ASSERT_TRUE(copy->LoadChannel(loader, nullptr));
  EXPECT_FLOAT_EQ(copy->GetHingeOffset(), 0.25f);
  EXPECT_TRUE(copy->GetAdditiveBlend());
  EXPECT_EQ(copy->GetTextureFile(), "textures/particle_soft.png");

  // GEN1 alone (as written before the drawing settings existed): the rest keeps its defaults.
  ZelFileSaver old;
  const float hinge = 2.0f;
  old.SaveTag("GEN1");
  old.SaveBlockSize(4);
  old.SaveDataToFile(&hinge, 4);
  std::unique_ptr<Vyn_DX8_ParticleBeamRenderer> fresh(
      static_cast<Vyn_DX8_ParticleBeamRenderer*>(engine->CreateChannelInstance(ids::kParticleBeamRenderer)));
  ZelFileLoader oldLoader(old.GetBytes().data(), old.GetBytes().size());
  ASSERT_TRUE(fresh->LoadChannel(oldLoader, nullptr));
  EXPECT_FLOAT_EQ(fresh->GetHingeOffset(), 2.0f);
  EXPECT_FALSE(fresh->GetAdditiveBlend());

  // An empty stream keeps every default.
  ZelFileLoader empty(bytes.data(), 0);
  ASSERT_TRUE(fresh->LoadChannel(empty, nullptr));
}

TEST_F(BeamTest, RefusesMalformedChunks) {
  struct Case {
    const char* what;
    std::vector<uint8_t> (*make)();
  } cases[] = {
      {"hinge block too large",
       [] {
         ZelFileSaver s;
         const double d = 1.0;
         s.SaveTag("GEN1");
         s.SaveBlockSize(8);
         s.SaveDataToFile(&d, 8);
         return s.GetBytes();
       }},
      {"hinge not finite",
       [] {
         ZelFileSaver s;
         const float f = std::nanf("");
         s.SaveTag("GEN1");
         s.SaveBlockSize(4);
         s.SaveDataToFile(&f, 4);
         return s.GetBytes();
       }},
      {"texture name too long",
       [] {
         ZelFileSaver s;
         const uint8_t one = 1;
         std::string name(5000, 'a');
         s.SaveTag("BMDS");
         s.SaveBlockSize(1);
         s.SaveDataToFile(&one, 1);
         s.SaveBlockSize(1);
         s.SaveDataToFile(&one, 1);
         s.SaveBlockSize(static_cast<uint32_t>(name.size() + 1));
         s.SaveDataToFile(name.c_str(), static_cast<uint32_t>(name.size() + 1));
         return s.GetBytes();
       }},
      {"texture name missing",
       [] {
         ZelFileSaver s;
         const uint8_t one = 1;
         s.SaveTag("BMDS");
         s.SaveBlockSize(1);
         s.SaveDataToFile(&one, 1);
         s.SaveBlockSize(1);
         s.SaveDataToFile(&one, 1);
         return s.GetBytes();
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::vector<uint8_t> bytes = c.make();
    ZelFileLoader loader(bytes.data(), bytes.size());
    EXPECT_FALSE(beam->LoadChannel(loader, nullptr));
    EXPECT_FLOAT_EQ(beam->GetHingeOffset(), 0.5f);
    EXPECT_TRUE(beam->GetTextureFile().empty());
  }
}

// The real emitter: after a few frames of births the beam draws one quad per pair of living
// neighbours, and the device refuses nothing.
TEST_F(BeamTest, DrawsARealEmittersParticles) {
  Zel_Channel* made = engine->CreateChannelInstance(ids::kParticleEmitter);
  ASSERT_NE(made, nullptr);
  std::unique_ptr<Vyn_DX8_ParticleEmitter> real(static_cast<Vyn_DX8_ParticleEmitter*>(made));
  real->SetMaxParticles(50);
  real->SetBirthPeriod(40);
  real->SetBurstTotal(1);
  real->SetShape(Vyn_DX8_ParticleEmitter::ShapeBox);
  real->SetParticleInitialDirection(D3DXVECTOR3(1, 0.5f, 0));
  real->SetParticleInitialVelocity(2.0f);
  beam->DisconnectAll();
  ASSERT_TRUE(beam->ConnectChild(0, real.get()));
  D3DXMATRIX world;
  D3DXMatrixTranslation(&world, 0, 0, 10);
  device->SetTransform(D3DTS_WORLD, &world);
  for (int frame = 0; frame < 10; ++frame) {
    engine->AdvanceFrame(1.0f);
    beam->CallChannel();
  }
  const int living = real->GetLivingCount();
  ASSERT_GT(living, 2);
  engine->AdvanceFrame(1.0f);
  const std::vector<DrawCall> draws = Draw();
  ASSERT_EQ(draws.size(), 1u);
  EXPECT_EQ(static_cast<int>(draws[0].primitives), 2 * (beam->GetLastVisitedCount() - 1));
  EXPECT_EQ(beam->GetLastVisitedCount(), real->GetLivingCount());
  EXPECT_EQ(device->GetInvalidCallCount(), 0) << device->GetLastError();
  beam->DisconnectAll();
}

}  // namespace

// The scenes that show the beam: each loads, and after a second of frames every beam draws a chain
// of particles without the device refusing anything.
TEST(BeamScenes, EveryBeamOfTheExampleScenesDraws) {
  for (const char* name : {"default.json", "beam_missing_periods.json", "beam_shape.json"}) {
    SCOPED_TRACE(name);
    Engine engine;
    engine.GetLogger().SetCapture(true);
    ASSERT_GT(engine.LoadPluginFolder(CORVANE_TEST_PLUGIN_DIR), 0);
    auto* context = static_cast<Vyn_DX8_RenderContext*>(engine.GetSharedChannel(ids::kRenderContext, nullptr));
    ASSERT_NE(context, nullptr);
    corvane::SoftwareDeviceOptions options;
    options.width = 160;
    options.height = 120;
    SoftwareDevice* device = SoftwareDevice::Create(options);
    context->SetDevice(device, nullptr);
    context->AddAssetFolder(CORVANE_SOURCE_DIR);
    corvane::host::LoadedScene scene;
    std::string error;
    ASSERT_TRUE(corvane::host::LoadSceneFile(engine, std::string(CORVANE_SOURCE_DIR) + "/scenes/" + name, &scene,
                                             &error))
        << error;
    if (scene.camera.present) context->SetCamera(scene.camera.position, scene.camera.target, scene.camera.fov);
    for (int frame = 0; frame < 25; ++frame) {
      engine.AdvanceFrame(scene.settings.frameStep);
      context->BeginFrame();
      scene.group->Evaluate();
    }
    int beams = 0;
    for (int i = 0; i < scene.group->GetChannelCount(); ++i) {
      Zel_Channel* channel = scene.group->GetChannel(i);
      if (channel->GetChannelType().typeId != ids::kParticleBeamRenderer) continue;
      ++beams;
      EXPECT_GT(static_cast<Vyn_DX8_ParticleBeamRenderer*>(channel)->GetLastVisitedCount(), 1)
          << channel->GetInstanceName();
    }
    EXPECT_GT(beams, 0);
    EXPECT_EQ(device->GetInvalidCallCount(), 0) << device->GetLastError();
    EXPECT_FALSE(engine.GetLogger().Contains("texture")) << "a texture did not load";
    scene.group.reset();
    context->SetDevice(nullptr, nullptr);
    device->Release();
  }
}
