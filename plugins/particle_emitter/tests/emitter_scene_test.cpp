// The emitter in its surroundings: configured from a text scene by property stems, and placed by
// the render context's world matrix.
#include <cmath>

#include "corvane/channels/render_context.h"
#include "corvane/channel_group.h"
#include "corvane/host/scene.h"
#include "corvane/software_device.h"
#include "corvane/type_ids.h"
#include "emitter_test_support.h"

namespace ids = corvane::ids;
using P = Vyn_DX8_ParticleEmitter;

class EmitterSceneTest : public EmitterTest {};

TEST_F(EmitterSceneTest, TextSceneConfiguresTheEmitterCompletely) {
  const std::string text = R"({
    "channels": [
      { "id": "e", "type": "DX8 ParticleEmitter",
        "properties": { "MaxParticles": 64, "BirthPeriod": 40, "BurstTotal": 4,
                        "Shape": "ShapeSphere", "ParticlesSpace": "SpaceLocal",
                        "AccVector1": [0, -9.8, 0], "AccVectorsSpace1": "SpaceLocal",
                        "TextureSwitchMode": "TextureSwitchPingPong", "AutoResetType": 2,
                        "IsLinkEndColorJitter": true, "ParticleInfluenceVelocityRangeMin": 5,
                        "ParticleInitialColorStart": [1, 0.5, 0.25], "ShapeFeedback": false },
        "links": { "Particle Flow Grid": ["g"], "Particle Size Function": "sv" } },
      { "id": "g", "type": "DX8 ParticleFlowGrid",
        "properties": { "StaticForce": [0, 1, 0], "Resolution": 2 },
        "data": { "locations": [ { "key": 1, "position": [1, 2, 3] } ] } },
      { "id": "sv", "type": "Value Vector", "links": { "Y": "env" } },
      { "id": "env", "type": "Envelope", "data": { "keys": [[0, 1], [100, 3]] } }
    ],
    "roots": []
  })";
  corvane::host::LoadedScene scene;
  std::string error;
  ASSERT_TRUE(corvane::host::LoadSceneText(*engine, text, "emitter.json", &scene, &error)) << error;
  P* e = nullptr;
  for (int i = 0; i < scene.group->GetChannelCount(); ++i)
    if (std::string(scene.group->GetChannel(i)->GetInstanceName()) == "e")
      e = static_cast<P*>(scene.group->GetChannel(i));
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->GetMaxParticles(), 64);
  EXPECT_EQ(e->GetShape(), P::ShapeSphere);
  EXPECT_EQ(e->GetParticlesSpace(), P::SpaceLocal);
  EXPECT_EQ(e->GetAccVector(1), D3DXVECTOR3(0, -9.8f, 0));
  EXPECT_EQ(e->GetAccVectorSpace(1), P::SpaceLocal);
  EXPECT_EQ(e->GetAccVectorSpace(0), P::SpaceWorld);
  EXPECT_EQ(e->GetTextureSwitchMode(), P::TextureSwitchPingPong);
  EXPECT_EQ(e->GetAutoResetType(), P::AutoResetAtTime);
  EXPECT_TRUE(e->GetIsLinkEndColorJitter());
  EXPECT_EQ(e->GetParticleInfluenceVelocityRangeMin(), 5.0f);
  EXPECT_EQ(e->GetParticleInitialColorStart(), D3DXVECTOR3(1, 0.5f, 0.25f));
  EXPECT_FALSE(e->GetShapeFeedback());
  ASSERT_NE(e->GetChild(8), nullptr);
  ASSERT_NE(e->GetChild(5), nullptr);

  engine->AdvanceFrame(1.0f);
  const P::tParticle* pool = e->GetParticlePool();
  ASSERT_NE(pool, nullptr);
  EXPECT_EQ(e->GetLivingCount(), 4);
  EXPECT_EQ(pool[0].size.y, 1.0f) << "size function: the envelope at t = 0";

  // A wrong enumeration name is refused with the names offered.
  corvane::host::LoadedScene bad;
  EXPECT_FALSE(corvane::host::LoadSceneText(
      *engine, R"({"channels": [{"id": "e", "type": "DX8 ParticleEmitter", "properties": {"Shape": "Cone"}}]})",
      "bad.json", &bad, &error));
  EXPECT_NE(error.find("ShapeSphere"), std::string::npos) << error;
}

// World matrix W = rotation about z by 90 degrees, then a translation by (100, 0, 0).
TEST_F(EmitterSceneTest, SpacesFollowTheRenderContextWorldMatrix) {
  ASSERT_TRUE(Has(ids::kRenderContext));
  auto* context = static_cast<Vyn_DX8_RenderContext*>(engine->GetSharedChannel(ids::kRenderContext, nullptr));
  ASSERT_NE(context, nullptr);
  auto* device = corvane::SoftwareDevice::Create();
  context->SetDevice(device, nullptr);
  D3DXMATRIX rot, move, world;
  D3DXMatrixRotationZ(&rot, 1.5707963f);
  D3DXMatrixTranslation(&move, 100, 0, 0);
  D3DXMatrixMultiply(&world, &rot, &move);
  device->SetTransform(D3DTS_WORLD, &world);

  // World-space particles: born at the emitter's place, their velocity turned by W but not moved.
  EmitterProbe* w = NewEmitter(8, 40, 1);
  w->SetParticleInitialDirection(D3DXVECTOR3(1, 0, 0));
  w->SetParticleInitialVelocity(1.0f);
  const P::tParticle* pool = Frame(w);
  EXPECT_NEAR(pool[0].velocity.x, 0.0f, 1e-5f);
  EXPECT_NEAR(pool[0].velocity.y, 1.0f, 1e-5f);
  EXPECT_NEAR(pool[0].position.x, 100.0f, 1e-4f);
  EXPECT_NEAR(pool[0].drawPosition.x, 100.0f, 1e-4f);

  // Local-space particles under a world-space acceleration: seen in the world, they fall.
  EmitterProbe* l = NewEmitter(8, 40, 1);
  l->SetParticlesSpace(P::SpaceLocal);
  l->SetAccVector(0, D3DXVECTOR3(0, -10, 0));
  pool = Frame(l);
  D3DXVECTOR3 seen;
  D3DXVec3TransformNormal(&seen, &pool[0].velocity, &world);
  EXPECT_NEAR(seen.x, 0.0f, 1e-5f);
  EXPECT_NEAR(seen.y, -0.4f, 1e-5f);
  Frame(l);
  EXPECT_NEAR(pool[0].drawPosition.x, 100.0f, 1e-3f) << "drawn where W places the local position";

  // A local-space acceleration on world-space particles turns with W.
  EmitterProbe* a = NewEmitter(8, 40, 1);
  a->SetAccVectorsSpace(0, P::SpaceLocal);
  a->SetAccVector(0, D3DXVECTOR3(10, 0, 0));
  pool = Frame(a);
  EXPECT_NEAR(pool[0].velocity.x, 0.0f, 1e-5f);
  EXPECT_NEAR(pool[0].velocity.y, 0.4f, 1e-5f);

  context->SetDevice(nullptr, nullptr);
  device->Release();
}
