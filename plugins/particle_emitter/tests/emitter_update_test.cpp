// Particle update: phases, fading, texture frames, limits, functions, grids, auto reset, and a
// long run that checks the pool's bookkeeping after every frame.
#include <cmath>

#include "corvane/channels/envelope.h"
#include "corvane/channels/flow_grid.h"
#include "corvane/channels/value_channel.h"
#include "corvane/channels/value_vector.h"
#include "corvane/type_ids.h"
#include "emitter_test_support.h"

namespace ids = corvane::ids;
using P = Vyn_DX8_ParticleEmitter;

class EmitterUpdateTest : public EmitterTest {
 protected:
  // One particle only: a pool of one that is never refilled.
  EmitterProbe* Single(uint32_t life) {
    EmitterProbe* e = NewEmitter(1, 40, 1);
    e->SetRespawnDeadParticles(false);
    e->SetParticleInitialLifeTime(life);
    return e;
  }
};

TEST_F(EmitterUpdateTest, DyingPeriodZeroKillsOnTheUpdateAfterLifeEnds) {
  EmitterProbe* e = Single(80);
  e->SetParticleDyingPeriod(0);
  const P::tParticle* pool = Frame(e);  // born at 40
  Frame(e);                             // age 40
  Frame(e);                             // age 80: not past its life yet
  EXPECT_EQ(pool[0].flags & (P::kParticleDying | P::kParticleDead), 0);
  Frame(e);  // age 120: life over, dying starts now
  EXPECT_TRUE(pool[0].flags & P::kParticleDying);
  EXPECT_EQ(e->GetLivingCount(), 1);
  Frame(e);  // the next update kills it
  EXPECT_TRUE(pool[0].flags & P::kParticleDead);
  EXPECT_FALSE(pool[0].flags & P::kParticleDying);
  EXPECT_EQ(e->GetLivingCount(), 0);
  EXPECT_EQ(e->GetLastParticlePoolIndex(), -1);
  EXPECT_EQ(e->GetFreeList().GetItemCount(), 1);
  // Killing a dead particle again changes nothing (its slot is listed once).
  e->KillParticle(0);
  e->KillParticle(-1);
  e->KillParticle(7);
  EXPECT_EQ(e->GetFreeList().GetItemCount(), 1);
  EXPECT_EQ(e->GetLivingCount(), 0);
  EXPECT_TRUE(PoolIsConsistent(*e));
}

TEST_F(EmitterUpdateTest, FadeInRisesLinearlyThenFadeOut) {
  EmitterProbe* e = Single(800);
  e->SetIsParticleBirthingFadeIn(true);
  e->SetIsParticleDyingFadeOut(true);
  e->SetParticleBirthingPeriod(400);
  e->SetParticleDyingPeriod(200);
  const P::tParticle* pool = Frame(e);
  EXPECT_FLOAT_EQ(pool[0].alpha, 0.0f);
  for (int k = 1; k <= 10; ++k) {
    Frame(e);
    EXPECT_NEAR(pool[0].alpha, 0.1f * k, 1e-6f) << "age " << 40 * k;
  }
  EXPECT_TRUE(pool[0].flags & P::kParticleBirthing) << "age 400 is not past the period";
  Frame(e);
  EXPECT_FALSE(pool[0].flags & P::kParticleBirthing);
  EXPECT_EQ(pool[0].alpha, 1.0f);
  while (!(pool[0].flags & P::kParticleDying)) {
    Frame(e);
    if (!(pool[0].flags & P::kParticleDying)) {
      EXPECT_EQ(pool[0].alpha, 1.0f);
    }
  }
  EXPECT_FLOAT_EQ(pool[0].alpha, 1.0f);  // dying just started
  Frame(e);
  EXPECT_NEAR(pool[0].alpha, 0.8f, 1e-6f);
  Frame(e);
  EXPECT_NEAR(pool[0].alpha, 0.6f, 1e-6f);
}

TEST_F(EmitterUpdateTest, ZeroLengthPhasesGiveFiniteAlpha) {
  EmitterProbe* e = Single(0);
  e->SetIsParticleBirthingFadeIn(true);
  e->SetIsParticleDyingFadeOut(true);
  e->SetIsParticleDyingScaleOut(true);
  e->SetParticleBirthingPeriod(0);
  e->SetParticleDyingPeriod(0);
  const P::tParticle* pool = Frame(e);
  EXPECT_TRUE(std::isfinite(pool[0].alpha));
  EXPECT_TRUE(std::isfinite(pool[0].size.x));
}

TEST_F(EmitterUpdateTest, TextureModesWithFourFrames) {
  // 31.25 frames per 1000 ticks: 1.25 frames per engine frame.
  struct Case { P::tTextureSwitchMode mode; std::vector<int> frames; bool stopsAtEnd; };
  const Case cases[] = {
      {P::TextureSwitchOnce, {1, 2, 3, 3, 3, 3, 3, 3, 3, 3}, true},
      {P::TextureSwitchLoop, {1, 2, 3, 0, 1, 2, 3, 0, 1, 2}, false},
      {P::TextureSwitchPingPong, {1, 2, 3, 3, 1, 0, 1, 2, 3, 3}, false},
  };
  for (const Case& c : cases) {
    EmitterProbe* e = Single(1000000);
    e->SetTextureSwitchMode(c.mode);
    e->SetTextureSwitchingFrameCount(4);
    e->SetTextureSwitchingSpeed(31.25f);
    const P::tParticle* pool = Frame(e);  // born and first advanced
    std::vector<int> seen{static_cast<int>(pool[0].textureFrame)};
    for (size_t k = 1; k < c.frames.size(); ++k) {
      Frame(e);
      seen.push_back(static_cast<int>(pool[0].textureFrame));
    }
    EXPECT_EQ(seen, c.frames) << "mode " << c.mode;
    EXPECT_EQ((pool[0].flags & P::kParticleTextureStopped) != 0, c.stopsAtEnd) << "mode " << c.mode;
    EXPECT_EQ(pool[0].textureLastFrame, 4);
  }

  // Running backwards starts on the last frame; a backward loop wraps to the last frame again.
  EmitterProbe* back = Single(1000000);
  back->SetTextureSwitchMode(P::TextureSwitchLoop);
  back->SetTextureSwitchingFrameCount(4);
  back->SetTextureSwitchingSpeed(-31.25f);
  const P::tParticle* pool = Frame(back);
  EXPECT_FALSE(pool[0].flags & P::kParticleTextureForward);
  EXPECT_EQ(pool[0].textureSpeed, 31.25f);
  std::vector<int> seen{static_cast<int>(pool[0].textureFrame)};
  for (int k = 0; k < 5; ++k) {
    Frame(back);
    seen.push_back(static_cast<int>(pool[0].textureFrame));
  }
  EXPECT_EQ(seen, (std::vector<int>{1, 3, 1, 3, 1, 3}));
}

TEST_F(EmitterUpdateTest, SizeLimitsAndSizeKills) {
  EmitterProbe* e = NewEmitter(4, 40, 1);
  e->SetParticleInitialSizeStart(D3DXVECTOR3(5, 0.1f, 3));
  e->SetParticleInitialSizeEnd(D3DXVECTOR3(5, 0.1f, 3));
  e->SetMinSize(D3DXVECTOR3(0, 0.5f, 0));
  e->SetMaxSize(D3DXVECTOR3(0, 2.0f, 4.0f));
  const P::tParticle* pool = Frame(e);
  EXPECT_EQ(pool[0].size.x, 5.0f) << "both limits zero: unclamped";
  EXPECT_EQ(pool[0].size.y, 0.5f) << "raised to the minimum";
  EXPECT_EQ(pool[0].size.z, 3.0f) << "inside 0 .. 4";
  EXPECT_FALSE(pool[0].flags & P::kParticleDying);

  EmitterProbe* k = NewEmitter(4, 40, 1);
  k->SetParticleInitialSizeStart(D3DXVECTOR3(1, 0.1f, 1));
  k->SetParticleInitialSizeEnd(D3DXVECTOR3(1, 0.1f, 1));
  k->SetMinSize(D3DXVECTOR3(0, 0.5f, 0));
  k->SetMaxSize(D3DXVECTOR3(10, 2.0f, 10));
  k->SetIsSizeYKill(true);
  pool = Frame(k);
  EXPECT_TRUE(pool[0].flags & P::kParticleDying) << "y below its minimum";
}

TEST_F(EmitterUpdateTest, SpeedAndAccelerationLimits) {
  EmitterProbe* e = NewEmitter(4, 40, 1);
  e->SetParticleInitialDirection(D3DXVECTOR3(0, 0, 1));
  e->SetParticleInitialVelocity(10.0f);
  e->SetMinAbsVelocity(1.0f);
  e->SetMaxAbsVelocity(4.0f);
  const P::tParticle* pool = Frame(e);
  EXPECT_NEAR(D3DXVec3Length(&pool[0].velocity), 4.0f, 1e-5f);
  EXPECT_NEAR(pool[0].position.z, 4.0f * 0.04f, 1e-6f) << "moved after limiting";

  e->SetIsVelocityKill(true);
  e->SetMaxAbsVelocity(3.0f);
  Frame(e);
  EXPECT_TRUE(pool[0].flags & P::kParticleDying);

  // A particle at rest with a minimum speed stays finite.
  EmitterProbe* rest = NewEmitter(4, 40, 1);
  rest->SetMinAbsVelocity(1.0f);
  rest->SetMaxAbsVelocity(2.0f);
  pool = Frame(rest);
  EXPECT_TRUE(std::isfinite(pool[0].velocity.x));

  // Accelerations add over dt; their length is limited to the range.
  EmitterProbe* a = NewEmitter(4, 40, 1);
  a->SetAccVector(0, D3DXVECTOR3(0, -100, 0));
  a->SetAccVector(2, D3DXVECTOR3(0, -100, 0));
  a->SetMaxAbsAcceleration(50.0f);
  a->SetMinAbsAcceleration(1.0f);
  pool = Frame(a);
  EXPECT_NEAR(pool[0].velocity.y, -50.0f * 0.04f, 1e-5f);
  a->SetIsAccelerationKill(true);
  Frame(a);
  EXPECT_TRUE(pool[0].flags & P::kParticleDying);
}

TEST_F(EmitterUpdateTest, VorticitySwirlsAroundTheAxisAndIsFiniteOnIt) {
  EmitterProbe* e = NewEmitter(4, 40, 2);
  e->SetShape(P::ShapeSphere);
  e->SetVorticityVelocity(2.0f);
  e->SetVorticityYScale(0.0f);  // no suction term rather than a division by zero
  e->SetVorticitySuction(1.0f);
  const P::tParticle* pool = Frame(e);
  for (int i = 0; i < 2; ++i) {
    const D3DXVECTOR3 p = pool[i].position;
    const D3DXVECTOR3 v = pool[i].velocity;
    EXPECT_TRUE(std::isfinite(v.x) && std::isfinite(v.z));
    // The swirl is tangential in the x-z plane: (v.x, v.z) is perpendicular to (p.x, p.z).
    const D3DXVECTOR3 before = p - v * 0.04f;
    EXPECT_NEAR(before.x * v.x + before.z * v.z, 0.0f, 1e-4f);
    EXPECT_EQ(v.y, 0.0f);
  }
  EmitterProbe* axis = NewEmitter(4, 40, 1);  // box of size 0: born on the axis
  axis->SetVorticityVelocity(2.0f);
  pool = Frame(axis);
  EXPECT_EQ(pool[0].velocity, D3DXVECTOR3(0, 0, 0));
}

TEST_F(EmitterUpdateTest, AutoResetNoParticlesOnlyAfterTheLastKill) {
  EmitterProbe* e = Single(40);
  e->SetBirthPeriod(80);
  e->SetAutoResetType(P::AutoResetNoParticles);
  e->SetParticleDyingPeriod(80);
  Frame(e);
  EXPECT_EQ(e->GetClock(), 40u) << "waiting for the first birth is not a reset";
  EXPECT_FALSE(e->GetIsResetPrevTreeCount());
  Frame(e);  // born at 80
  ASSERT_EQ(e->GetLivingCount(), 1);
  Frame(e);
  Frame(e);  // age 80 > 40: dying
  ASSERT_TRUE(e->PeekParticlePool()[0].flags & P::kParticleDying);
  EXPECT_NE(e->PeekParticlePool(), nullptr) << "dying is not dead";
  Frame(e);
  Frame(e);
  EXPECT_NE(e->PeekParticlePool(), nullptr);
  Frame(e);  // dying since 160, now 280: killed, the last one
  EXPECT_EQ(e->PeekParticlePool(), nullptr);
  EXPECT_EQ(e->GetClock(), 0u);
  EXPECT_TRUE(e->GetIsResetPrevTreeCount());
  Frame(e);
  EXPECT_NE(e->PeekParticlePool(), nullptr) << "the next request builds a fresh pool";

  EmitterProbe* t = NewEmitter(10, 40, 1);
  t->SetAutoResetType(P::AutoResetAtTime);
  t->SetAutoResetTime(120);
  Frame(t);
  Frame(t);
  EXPECT_EQ(t->GetClock(), 80u);
  Frame(t);
  EXPECT_EQ(t->GetClock(), 0u);
  EXPECT_EQ(t->GetLivingCount(), 0);
}

TEST_F(EmitterUpdateTest, FunctionChildrenDriveVelocitySizeAndColour) {
  ASSERT_TRUE(Has(ids::kValueVector) && Has(ids::kEnvelope) && Has(ids::kValue));
  auto envelope = [&](float a, float b) {
    auto* env = Make<Vyn_Envelope>(ids::kEnvelope);
    env->AddKey(0.0f, a);
    env->AddKey(100.0f, b);
    return env;
  };
  auto vector = [&](Zel_Channel* x, Zel_Channel* y, Zel_Channel* z) {
    auto* v = Make<Vyn_ValueVector>(ids::kValueVector);
    if (x) v->ConnectChild(0, x);
    if (y) v->ConnectChild(1, y);
    if (z) v->ConnectChild(2, z);
    return v;
  };

  EmitterProbe* e = Single(1000);  // t = life percentage: 4 per engine frame
  ASSERT_TRUE(e->ConnectChild(1, vector(envelope(1, 1), envelope(0, 0), envelope(0, 0))));
  ASSERT_TRUE(e->ConnectChild(2, envelope(0, 100)));  // speed(t) = t
  ASSERT_TRUE(e->ConnectChild(5, vector(nullptr, envelope(2, 2), nullptr)));
  ASSERT_TRUE(e->ConnectChild(6, vector(envelope(0, 1), nullptr, nullptr)));
  const P::tParticle* pool = Frame(e);
  Frame(e);
  Frame(e);  // age 80: t = 8
  EXPECT_NEAR(pool[0].velocity.x, 8.0f, 1e-4f);
  EXPECT_EQ(pool[0].velocity.y, 0.0f);
  EXPECT_EQ(pool[0].size.x, 1.0f) << "no component: interpolated size";
  EXPECT_EQ(pool[0].size.y, 2.0f);
  EXPECT_NEAR(pool[0].color.x, 0.08f, 1e-5f);
  EXPECT_EQ(pool[0].color.y, 1.0f);

  // With the function base, any value-derived component is read after the base is set to t;
  // a plain value ignores t, an envelope timed by the base follows it.
  EmitterProbe* b = Single(1000);
  auto* base = Make<Vyn_FloatChannel>(ids::kValue);
  auto* constant = Make<Vyn_FloatChannel>(ids::kValue);
  constant->SetFloat(0.25f);
  auto* timed = envelope(0, 100);
  ASSERT_TRUE(timed->ConnectChild(0, base));
  ASSERT_TRUE(b->ConnectChild(7, base));
  ASSERT_TRUE(b->ConnectChild(5, vector(constant, timed, nullptr)));
  pool = Frame(b);
  Frame(b);  // age 40: t = 4
  EXPECT_EQ(pool[0].size.x, 0.25f);
  EXPECT_NEAR(pool[0].size.y, 4.0f, 1e-4f);
  EXPECT_NEAR(base->GetFloat(), 4.0f, 1e-4f);

  // Without the base a plain value component is not taken.
  EmitterProbe* nb = Single(1000);
  ASSERT_TRUE(nb->ConnectChild(5, vector(constant, nullptr, nullptr)));
  pool = Frame(nb);
  EXPECT_EQ(pool[0].size.x, 1.0f);
}

TEST_F(EmitterUpdateTest, FlowGridPushesInsideItsBoxAndCanKill) {
  EmitterProbe* e = NewEmitter(4, 40, 1);
  auto* grid = Make<Vyn_DX8_ParticleFlowGrid>(ids::kParticleFlowGrid);
  grid->SetGridMin(D3DXVECTOR3(-1, -1, -1));
  grid->SetGridMax(D3DXVECTOR3(1, 1, 1));
  grid->SetStaticForce(D3DXVECTOR3(0, 10, 0));
  ASSERT_TRUE(e->ConnectChild(8, grid));
  e->SetStaticForceScale(2.0f);
  const P::tParticle* pool = Frame(e);
  EXPECT_NEAR(pool[0].velocity.y, 20.0f * 0.04f, 1e-5f);

  // Not affected when the emitter says so.
  e->SetParticleAffectedByGrid(false);
  const float vy = pool[0].velocity.y;
  Frame(e);
  EXPECT_EQ(pool[0].velocity.y, vy);

  auto* killer = Make<Vyn_DX8_ParticleFlowGrid>(ids::kParticleFlowGrid);
  killer->SetKillInside(true);
  EmitterProbe* k = NewEmitter(4, 40, 1);
  ASSERT_TRUE(k->ConnectChild(8, killer));
  pool = Frame(k);
  EXPECT_TRUE(pool[0].flags & P::kParticleDying);

  // A grid far away does nothing.
  auto* far = Make<Vyn_DX8_ParticleFlowGrid>(ids::kParticleFlowGrid);
  far->SetGridMin(D3DXVECTOR3(50, 50, 50));
  far->SetGridMax(D3DXVECTOR3(60, 60, 60));
  far->SetStaticForce(D3DXVECTOR3(5, 5, 5));
  far->SetKillInside(true);
  EmitterProbe* f = NewEmitter(4, 40, 1);
  ASSERT_TRUE(f->ConnectChild(8, far));
  pool = Frame(f);
  EXPECT_EQ(pool[0].velocity, D3DXVECTOR3(0, 0, 0));
  EXPECT_FALSE(pool[0].flags & P::kParticleDying);
}

// A thousand frames of births, limit kills, forced deaths and natural deaths: after every frame
// the age chain, the free list and the living count agree.
TEST_F(EmitterUpdateTest, ThousandFramesKeepThePoolConsistent) {
  EmitterProbe* e = NewEmitter(300, 60, 80);
  e->SetParticleInitialLifeTime(400);
  e->SetLifeTimeJitter(600);
  e->SetParticleDyingPeriod(120);
  e->SetIsCorrectForMissingPeriods(true);
  e->SetShape(P::ShapeSphere);
  e->SetSphereShapeMinRadius(0.5f);
  e->SetSphereShapeMaxRadius(3.0f);
  e->SetSphereShapeHSRadius(1.5f);
  e->SetParticleInitialDirection(D3DXVECTOR3(0, 1, 0));
  e->SetDirectionJitter(D3DXVECTOR3(1, 1, 1));
  e->SetParticleInitialVelocity(2.0f);
  e->SetVelocityJitter(3.0f);
  e->SetMinAbsVelocity(0.1f);
  e->SetMaxAbsVelocity(3.0f);
  e->SetIsVelocityKill(true);
  int maxLiving = 0, maxFree = 0;
  for (int f = 0; f < 1000; ++f) {
    // Vary the pace and the pressure on the pool.
    const float step = (f % 37 == 0) ? 4.0f : (f % 5 == 0 ? 0.5f : 1.0f);
    e->SetForceBirth(f % 200 > 100);
    e->SetRespawnDeadParticles(f % 300 < 280);
    Frame(e, step);
    ASSERT_TRUE(PoolIsConsistent(*e, f % 10 == 0)) << "frame " << f;
    maxLiving = std::max(maxLiving, e->GetLivingCount());
    maxFree = std::max(maxFree, e->GetFreeList().GetItemCount());
  }
  EXPECT_EQ(maxLiving, 300) << "the pool filled up";
  EXPECT_GT(maxFree, 50) << "particles died and waited for reuse";
}
