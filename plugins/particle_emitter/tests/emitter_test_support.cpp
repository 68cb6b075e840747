#include "emitter_test_support.h"

#include <set>

#include "corvane/type_ids.h"

namespace ids = corvane::ids;

void EmitterTest::SetUp() {
  engine = std::make_unique<corvane::host::Engine>();
  engine->GetLogger().SetCapture(true);
  const GUID types[] = {ids::kParticleEmitter, ids::kTimeValue, ids::kValue, ids::kValueVector,
                        ids::kEnvelope, ids::kParticleFlowGrid, ids::kObjectData, ids::kRenderContext};
  for (const GUID& t : types)
    engine->LoadPlugin(std::string(CORVANE_TEST_PLUGIN_DIR) + "/" + corvane::GuidToString(t) + ".so");
  ASSERT_TRUE(Has(ids::kParticleEmitter));
  ASSERT_TRUE(Has(ids::kTimeValue));
  std::srand(1);
}

void EmitterTest::TearDown() {
  // Channels first: their code lives in the plug-ins the engine unloads.
  emitters.clear();
  owned.clear();
  engine.reset();
}

bool EmitterTest::Has(const GUID& type) const { return engine && engine->FindPlugin(type) != nullptr; }

EmitterProbe* EmitterTest::NewEmitter(int maxParticles, uint32_t birthPeriod, uint32_t burst) {
  auto e = std::make_unique<EmitterProbe>();
  e->SetMaxParticles(maxParticles);
  e->SetBirthPeriod(birthPeriod);
  e->SetBurstTotal(burst);
  e->SetIsParticleBirthingFadeIn(false);
  e->SetIsParticleDyingFadeOut(false);
  e->SetParticleInitialLifeTime(1000000);
  emitters.push_back(std::move(e));
  return emitters.back().get();
}

Vyn_DX8_ParticleEmitter::tParticle* EmitterTest::Frame(EmitterProbe* e, float step) {
  engine->AdvanceFrame(step);
  return e->GetParticlePool();
}

std::vector<int> AgeChain(EmitterProbe& e) {
  std::vector<int> chain;
  const auto* pool = e.PeekParticlePool();
  if (!pool) return chain;
  int i = e.GetLastParticlePoolIndex();
  while (i >= 0 && static_cast<int>(chain.size()) <= e.GetPoolCapacity()) {
    chain.push_back(i);
    if (i >= e.GetPoolCapacity()) break;
    i = pool[i].olderIndex;
  }
  return chain;
}

::testing::AssertionResult PoolIsConsistent(EmitterProbe& e, bool checkYounger) {
  using P = Vyn_DX8_ParticleEmitter;
  const auto* pool = e.PeekParticlePool();
  const int capacity = e.GetPoolCapacity();
  if (!pool) {
    if (e.GetLivingCount() != 0 || e.GetLastParticlePoolIndex() != -1)
      return ::testing::AssertionFailure() << "no pool, yet living " << e.GetLivingCount();
    return ::testing::AssertionSuccess();
  }
  const std::vector<int> chain = AgeChain(e);
  std::set<int> inChain;
  for (size_t k = 0; k < chain.size(); ++k) {
    const int i = chain[k];
    if (i < 0 || i >= e.GetParticlePoolCount())
      return ::testing::AssertionFailure() << "chain entry " << i << " outside the handed-out slots";
    if (!inChain.insert(i).second) return ::testing::AssertionFailure() << "chain visits " << i << " twice";
    if (pool[i].flags & P::kParticleDead) return ::testing::AssertionFailure() << "dead particle " << i << " in chain";
    if (checkYounger) {
      const int younger = k == 0 ? -1 : chain[k - 1];
      if (e.GetYoungerParticle(i) != younger)
        return ::testing::AssertionFailure() << "younger of " << i << " is " << e.GetYoungerParticle(i)
                                             << ", chain says " << younger;
    }
  }
  int living = 0;
  for (int i = 0; i < e.GetParticlePoolCount(); ++i) {
    if (pool[i].flags & P::kParticleDead) continue;
    ++living;
    if (!inChain.count(i)) return ::testing::AssertionFailure() << "living particle " << i << " not in chain";
  }
  if (living != e.GetLivingCount() || static_cast<int>(chain.size()) != living)
    return ::testing::AssertionFailure() << "living count " << e.GetLivingCount() << ", records " << living
                                         << ", chain " << chain.size();
  std::set<int> free;
  const Zel_List& list = e.GetFreeList();
  for (int k = 0; k < list.GetItemCount(); ++k) {
    auto* cell = static_cast<const int32_t*>(list.GetItem(k));
    if (!cell) return ::testing::AssertionFailure() << "null free cell";
    const int i = *cell;
    if (i < 0 || i >= capacity || !(pool[i].flags & P::kParticleDead))
      return ::testing::AssertionFailure() << "free entry " << i << " is not a dead slot";
    if (!free.insert(i).second) return ::testing::AssertionFailure() << "free entry " << i << " listed twice";
  }
  if (living + static_cast<int>(free.size()) != e.GetParticlePoolCount())
    return ::testing::AssertionFailure() << "slots " << e.GetParticlePoolCount() << " != living " << living
                                         << " + free " << free.size();
  return ::testing::AssertionSuccess();
}
