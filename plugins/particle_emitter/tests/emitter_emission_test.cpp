// Emission: clock, birth periods, missed-period correction, shapes, full pools, force birth,
// random draw order and extra emit locations.
#include <cmath>

#include "corvane/channels/flow_grid.h"
#include "corvane/channels/object_data.h"
#include "corvane/type_ids.h"
#include "emitter_test_support.h"

namespace ids = corvane::ids;
using P = Vyn_DX8_ParticleEmitter;

class EmitterEmissionTest : public EmitterTest {};

TEST_F(EmitterEmissionTest, ClockCountsMillisecondsAndPeriodZeroBirthsEveryFrame) {
  EmitterProbe* e = NewEmitter(100, 0, 3);
  e->SetIsCorrectForMissingPeriods(true);
  Frame(e, 1.0f);
  EXPECT_EQ(e->GetClock(), 40u);
  EXPECT_EQ(e->GetLivingCount(), 3);
  Frame(e, 2.5f);
  EXPECT_EQ(e->GetClock(), 140u);
  EXPECT_EQ(e->GetLivingCount(), 6) << "one birth per frame, even with correction";
  // A second request in the same engine frame does no work.
  e->GetParticlePool();
  EXPECT_EQ(e->GetLivingCount(), 6);
  EXPECT_EQ(e->GetClock(), 140u);
  // The time scale multiplies the elapsed time.
  e->SetTimeScale(0.5f);
  Frame(e, 1.0f);
  EXPECT_EQ(e->GetClock(), 160u);
  EXPECT_TRUE(PoolIsConsistent(*e));
}

TEST_F(EmitterEmissionTest, BirthPeriodAndFrameStep) {
  EmitterProbe* e = NewEmitter(100, 100, 1);
  const int expected[] = {0, 0, 1, 1, 1, 2};  // clock 40, 80, 120, 160, 200, 240
  for (int f = 0; f < 6; ++f) {
    Frame(e);
    EXPECT_EQ(e->GetLivingCount(), expected[f]) << "frame " << f;
  }

  // With a frame step of 2 the clock still advances every frame; births and updates run on
  // even frame numbers only.
  EmitterProbe* s = NewEmitter(100, 0, 1);
  s->SetFrameStep(2);
  int births = 0;
  for (int f = 0; f < 6; ++f) {
    Frame(s);
    if (engine->GetFrameNumber() % 2 == 0) ++births;
    EXPECT_EQ(s->GetLivingCount(), births);
  }
  EXPECT_EQ(s->GetClock(), 240u);
}

TEST_F(EmitterEmissionTest, MissedPeriodsAreBornAndBackDated) {
  EmitterProbe* e = NewEmitter(100, 40, 1);
  e->SetIsCorrectForMissingPeriods(true);
  e->SetParticleInitialDirection(D3DXVECTOR3(1, 0, 0));
  e->SetParticleInitialVelocity(10.0f);
  const P::tParticle* pool = Frame(e, 3.0f);  // 120 ticks: three periods
  ASSERT_NE(pool, nullptr);
  ASSERT_EQ(e->GetLivingCount(), 3);
  // Slot j is birth j: born j periods ago and moved j periods along, then the frame's motion
  // (10 units per 1000 ticks over 120 ticks) moves all of them alike.
  for (int j = 0; j < 3; ++j) {
    EXPECT_EQ(pool[j].birthTime, 120u - 40u * j) << j;
    EXPECT_NEAR(pool[j].position.x, 10.0f * 0.04f * j + 10.0f * 0.12f, 1e-5f) << j;
    EXPECT_EQ(pool[j].position.y, 0.0f);
  }
  EXPECT_TRUE(PoolIsConsistent(*e));

  // Without the correction the same pause births once.
  EmitterProbe* f = NewEmitter(100, 40, 1);
  Frame(f, 3.0f);
  EXPECT_EQ(f->GetLivingCount(), 1);
}

TEST_F(EmitterEmissionTest, FullPoolWithAndWithoutForceBirth) {
  EmitterProbe* plain = NewEmitter(4, 40, 10);
  Frame(plain);
  EXPECT_EQ(plain->GetLivingCount(), 4);
  EXPECT_EQ(plain->GetParticlePoolCount(), 4);
  for (int i = 0; i < 4; ++i) EXPECT_FALSE(plain->PeekParticlePool()[i].flags & P::kParticleDying);

  EmitterProbe* forced = NewEmitter(4, 40, 10);
  forced->SetForceBirth(true);
  Frame(forced);
  EXPECT_EQ(forced->GetLivingCount(), 4) << "no particle born beyond the pool";
  // The six extra births made the oldest particles die, oldest first, until all four were dying.
  for (int i = 0; i < 4; ++i) EXPECT_TRUE(forced->PeekParticlePool()[i].flags & P::kParticleDying) << i;

  // One extra birth picks exactly the oldest non-dying particle.
  EmitterProbe* one = NewEmitter(4, 40, 4);
  one->SetForceBirth(true);
  Frame(one);
  one->SetBurstTotal(1);
  Frame(one);
  const P::tParticle* pool = one->PeekParticlePool();
  EXPECT_TRUE(pool[0].flags & P::kParticleDying) << "slot 0 is the oldest";
  for (int i = 1; i < 4; ++i) EXPECT_FALSE(pool[i].flags & P::kParticleDying) << i;
  EXPECT_EQ(one->GetOldestNonLockedParticle(), 1);
  Frame(one);
  EXPECT_TRUE(pool[1].flags & P::kParticleDying);
  EXPECT_FALSE(pool[2].flags & P::kParticleDying);
}

TEST_F(EmitterEmissionTest, BoxDrawOrderIsZYXAndReproducible) {
  auto run = [&](unsigned seed) {
    EmitterProbe* e = NewEmitter(10, 40, 3);
    e->SetBoxShapeDimensions(D3DXVECTOR3(1, 10, 100));
    std::srand(seed);
    const P::tParticle* pool = Frame(e);
    std::vector<D3DXVECTOR3> out;
    for (int i = 0; i < 3; ++i) out.push_back(pool[i].position);
    return out;
  };
  const auto a = run(7);
  const auto b = run(7);
  EXPECT_EQ(a, b);
  EXPECT_NE(run(8), a);

  // The draws: two for the location's direction and speed, then per particle z, y, x first.
  std::srand(7);
  auto r = [] { return static_cast<float>(std::rand() & 0x7FFF) / 32767.0f - 0.5f; };
  r();
  r();
  const float z = r() * 100.0f, y = r() * 10.0f, x = r() * 1.0f;
  EXPECT_FLOAT_EQ(a[0].z, z);
  EXPECT_FLOAT_EQ(a[0].y, y);
  EXPECT_FLOAT_EQ(a[0].x, x);
  for (const auto& p : a) {
    EXPECT_LE(std::fabs(p.x), 0.5f);
    EXPECT_LE(std::fabs(p.y), 5.0f);
    EXPECT_LE(std::fabs(p.z), 50.0f);
  }
}

TEST_F(EmitterEmissionTest, SphereShellAndInwardDirection) {
  EmitterProbe* e = NewEmitter(200, 40, 200);
  e->SetShape(P::ShapeSphere);
  e->SetSphereShapeMinRadius(1.0f);
  e->SetSphereShapeHSRadius(2.0f);
  e->SetSphereShapeMaxRadius(3.0f);
  const P::tParticle* pool = Frame(e);
  int beyondHs = 0;
  for (int i = 0; i < 200; ++i) {
    const float r = D3DXVec3Length(&pool[i].position);
    EXPECT_GE(r, 1.0f - 1e-4f);
    EXPECT_LE(r, 3.0f + 1e-4f);
    if (r > 2.0f + 1e-4f) ++beyondHs;
  }
  EXPECT_GT(beyondHs, 10) << "about one birth in three uses the outer radius";
  EXPECT_LT(beyondHs, 100);

  // Inward: the velocity points from the emission point to the centre, at the initial speed.
  EmitterProbe* in = NewEmitter(50, 40, 50);
  in->SetShape(P::ShapeSphere);
  in->SetSphereShapeMinRadius(5.0f);
  in->SetSphereShapeHSRadius(5.0f);
  in->SetSphereShapeMaxRadius(5.0f);
  in->SetParticleInwardDirection(true);
  in->SetParticleInitialVelocity(2.0f);
  const P::tParticle* ip = Frame(in);
  for (int i = 0; i < 50; ++i) {
    D3DXVECTOR3 v = ip[i].velocity;
    EXPECT_NEAR(D3DXVec3Length(&v), 2.0f, 1e-4f);
    D3DXVECTOR3 p = ip[i].position;
    EXPECT_LT(D3DXVec3Dot(&v, &p), 0.0f) << "towards the centre";
  }
}

TEST_F(EmitterEmissionTest, ObjectDataShapeBirthsOneParticlePerVertex) {
  if (!Has(ids::kObjectData)) GTEST_FAIL() << "object data plug-in not built";
  auto* data = Make<Vyn_DX8_ObjectDataChannel>(ids::kObjectData);
  ASSERT_NE(data, nullptr);
  data->SetVertexCount(10);
  for (int v = 0; v < 10; ++v) data->SetVertexPosition(D3DXVECTOR3(float(v), 2.0f * v, -1.0f), v);

  EmitterProbe* e = NewEmitter(100, 40, 3);
  e->SetShape(P::ShapeObjectData);
  // Without the child the whole update is skipped: no births, no clock.
  Frame(e);
  EXPECT_EQ(e->GetLivingCount(), 0);
  EXPECT_EQ(e->GetClock(), 0u);

  ASSERT_TRUE(e->ConnectChild(0, data));
  const P::tParticle* pool = Frame(e);
  ASSERT_EQ(e->GetLivingCount(), 10) << "the vertex count replaces BurstTotal";
  for (int v = 0; v < 10; ++v) EXPECT_EQ(pool[v].position, D3DXVECTOR3(float(v), 2.0f * v, -1.0f)) << v;
  EXPECT_TRUE(PoolIsConsistent(*e));
}

TEST_F(EmitterEmissionTest, ExtraEmitLocationsFromChildEntry15) {
  // Child entry 15 is the eighth child of the flow grid link: seven plain grids (acting on
  // nothing, their boxes far away), then the grid that carries the locations.
  EmitterProbe* e = NewEmitter(100, 40, 1);
  for (int g = 0; g < 7; ++g) {
    auto* grid = Make<Vyn_DX8_ParticleFlowGrid>(ids::kParticleFlowGrid);
    grid->SetGridMin(D3DXVECTOR3(1000, 1000, 1000));
    grid->SetGridMax(D3DXVECTOR3(1001, 1001, 1001));
    ASSERT_TRUE(e->ConnectChild(8, grid));
  }
  auto* source = Make<Vyn_DX8_ParticleFlowGrid>(ids::kParticleFlowGrid);
  source->SetGridMin(D3DXVECTOR3(1000, 1000, 1000));
  source->SetGridMax(D3DXVECTOR3(1001, 1001, 1001));
  D3DXMATRIX m;
  D3DXMatrixTranslation(&m, 0, 100, 0);
  source->SetLocationMatrix(m);
  source->SetLocation(5, true, D3DXVECTOR3(10, 0, 0));
  source->SetLocation(6, false, D3DXVECTOR3(20, 0, 0));
  ASSERT_TRUE(e->ConnectChild(8, source));
  ASSERT_EQ(e->GetChild(15), source);

  Frame(e);  // births at the emitter, then learns location 5
  EXPECT_EQ(e->GetLivingCount(), 1);
  ASSERT_NE(e->GetEmitLocation(5), nullptr);
  EXPECT_EQ(e->GetEmitLocation(6), nullptr);
  EXPECT_LE(e->GetEmitLocation(5)->lastBirth, e->GetClock());

  Frame(e);
  Frame(e);
  int atLocation = 0;
  const P::tParticle* pool = e->PeekParticlePool();
  for (int i = 0; i < e->GetParticlePoolCount(); ++i)
    if (pool[i].position == D3DXVECTOR3(10, 100, 0)) ++atLocation;
  EXPECT_GE(atLocation, 1) << "births at the location placed by the source's matrix";

  // A record turned inactive removes the location; without multi-location nothing is followed.
  source->SetLocation(5, false, D3DXVECTOR3(10, 0, 0));
  Frame(e);
  EXPECT_EQ(e->GetEmitLocation(5), nullptr);
  EXPECT_EQ(e->GetEmitLocations().GetItemCount(), 0);
  EXPECT_TRUE(PoolIsConsistent(*e));
}
