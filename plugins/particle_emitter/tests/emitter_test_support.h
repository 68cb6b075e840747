// Shared fixture of the emitter tests: an engine with the emitter's plug-ins loaded, emitters built
// directly (so tests reach the protected pool operations), children made through the engine, and
// a check that the pool's age chain, free list and living count agree.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "corvane/guid.h"
#include "corvane/host/engine.h"
#include "corvane/particle_emitter.h"

// Opens the protected pool operations to the tests.
class EmitterProbe : public Vyn_DX8_ParticleEmitter {
 public:
  using Vyn_DX8_ParticleEmitter::CreateSystem;
  using Vyn_DX8_ParticleEmitter::GetEmitLocation;
  using Vyn_DX8_ParticleEmitter::GetOldestNonLockedParticle;
  using Vyn_DX8_ParticleEmitter::GetOldestParticle;
  using Vyn_DX8_ParticleEmitter::GetYoungerParticle;
  using Vyn_DX8_ParticleEmitter::KillParticle;
  using Vyn_DX8_ParticleEmitter::StartParticleKillSequence;
  using Vyn_DX8_ParticleEmitter::UpdateEmitter;
  using Vyn_DX8_ParticleEmitter::UpdateParticles;
};

class EmitterTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // True when the plug-in of that type was loaded.
  bool Has(const GUID& type) const;
  // A channel made by the engine, owned by the fixture.
  template <class T = Zel_Channel>
  T* Make(const GUID& type) {
    Zel_Channel* c = engine->CreateChannelInstance(type, 0, 0);
    if (!c) return nullptr;
    owned.emplace_back(c);
    return static_cast<T*>(c);
  }
  // An emitter with a pool of `maxParticles`, a birth period and burst size; boxes of size 0 at
  // the origin, no fading, long lives.
  EmitterProbe* NewEmitter(int maxParticles, uint32_t birthPeriod, uint32_t burst);
  // One engine frame of `step` frames of 1/25 s (40 ticks per 1.0), then the pool request.
  Vyn_DX8_ParticleEmitter::tParticle* Frame(EmitterProbe* e, float step = 1.0f);

  std::unique_ptr<corvane::host::Engine> engine;
  std::vector<std::unique_ptr<EmitterProbe>> emitters;
  std::vector<std::unique_ptr<Zel_Channel>> owned;
};

// The age chain from the youngest (bounded by the pool size).
std::vector<int> AgeChain(EmitterProbe& e);
// The chain holds exactly the living records, each once; the living
// count matches; every free-list entry is a dead slot, listed once; handed-out slots are the
// living ones plus the free ones; GetYoungerParticle agrees with the chain.
::testing::AssertionResult PoolIsConsistent(EmitterProbe& e, bool checkYounger = true);
