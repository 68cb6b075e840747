// The particle emitter's per-frame cost on a full pool of 65 535 particles.
//
//   BM_SteadyFrame   every particle alive, no births or deaths, no function children or grids:
//                    one emitter update, reported per particle;
//   BM_PoolCopy      copying the pool's bytes once: the memory-bandwidth floor of any pass over
//                    the pool;
//   BM_ChurnFrame    a frame in which a tenth of the pool dies and a tenth is born.
//
// After the run the two ratios are printed: steady update / pool copy, and churn frame / steady
// frame.
#include <benchmark/benchmark.h>

#include <ctime>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "corvane/guid.h"
#include "corvane/host/engine.h"
#include "corvane/particle_emitter.h"
#include "corvane/type_ids.h"

namespace {

constexpr int kPool = 65535;
// The machine is shared: frames are timed in this thread's CPU time, not wall time.
double ThreadNs() {
  timespec t;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) * 1e9 + static_cast<double>(t.tv_nsec);
}

struct Measured {
  double steadyNs = 0, copyNs = 0, churnNs = 0;
} g_measured;

std::unique_ptr<corvane::host::Engine> MakeEngine() {
  auto engine = std::make_unique<corvane::host::Engine>();
  engine->GetLogger().SetCapture(true);
  for (const GUID& t : {corvane::ids::kParticleEmitter, corvane::ids::kTimeValue, corvane::ids::kValue})
    engine->LoadPlugin(std::string(CORVANE_TEST_PLUGIN_DIR) + "/" + corvane::GuidToString(t) + ".so");
  return engine;
}

// An emitter whose pool is full of long-lived particles, spread over a box and moving.
std::unique_ptr<Vyn_DX8_ParticleEmitter> FullEmitter(corvane::host::Engine& engine) {
  auto e = std::make_unique<Vyn_DX8_ParticleEmitter>();
  e->SetMaxParticles(kPool);
  e->SetBirthPeriod(0);
  e->SetBurstTotal(kPool);
  e->SetParticleInitialLifeTime(4000000000u);
  e->SetBoxShapeDimensions(D3DXVECTOR3(10, 10, 10));
  e->SetParticleInitialDirection(D3DXVECTOR3(0, 1, 0));
  e->SetDirectionJitter(D3DXVECTOR3(1, 1, 1));
  e->SetParticleInitialVelocity(2.0f);
  e->SetAccVector(0, D3DXVECTOR3(0, -9.8f, 0));
  engine.AdvanceFrame(1.0f);
  e->GetParticlePool();
  e->SetBirthPeriod(4000000000u);  // no more births: the steady frame only updates
  return e;
}

void BM_SteadyFrame(benchmark::State& state) {
  auto engine = MakeEngine();
  auto e = FullEmitter(*engine);
  if (e->GetLivingCount() != kPool) {
    state.SkipWithError("pool not full");
    return;
  }
  double total = 0;
  int64_t frames = 0;
  for (auto _ : state) {
    engine->AdvanceFrame(1.0f);
    const double t0 = ThreadNs();
    benchmark::DoNotOptimize(e->GetParticlePool());
    total += ThreadNs() - t0;
    ++frames;
  }
  g_measured.steadyNs = total / static_cast<double>(frames);
  state.counters["ns_per_particle"] = g_measured.steadyNs / kPool;
  state.SetItemsProcessed(frames * kPool);
  e.reset();
}

void BM_PoolCopy(benchmark::State& state) {
  const size_t bytes = sizeof(Vyn_DX8_ParticleEmitter::tParticle) * kPool;
  std::vector<uint8_t> src(bytes, 1), dst(bytes, 0);
  double total = 0;
  int64_t n = 0;
  for (auto _ : state) {
    const double t0 = ThreadNs();
    std::memcpy(dst.data(), src.data(), bytes);
    benchmark::ClobberMemory();
    total += ThreadNs() - t0;
    ++n;
  }
  g_measured.copyNs = total / static_cast<double>(n);
  state.counters["ns_per_particle"] = g_measured.copyNs / kPool;
  state.SetBytesProcessed(n * static_cast<int64_t>(bytes));
}

void BM_ChurnFrame(benchmark::State& state) {
  auto engine = MakeEngine();
  // Lives of 280 ticks and no dying phase: a cohort born in one frame starts dying eight frames
  // later and is killed in the ninth, while a new cohort of a tenth of the pool is born.
  auto e = std::make_unique<Vyn_DX8_ParticleEmitter>();
  const uint32_t cohort = kPool / 10;
  e->SetMaxParticles(kPool);
  e->SetBirthPeriod(40);
  e->SetBurstTotal(cohort);
  e->SetParticleInitialLifeTime(280);
  e->SetParticleDyingPeriod(0);
  e->SetBoxShapeDimensions(D3DXVECTOR3(10, 10, 10));
  e->SetParticleInitialDirection(D3DXVECTOR3(0, 1, 0));
  e->SetDirectionJitter(D3DXVECTOR3(1, 1, 1));
  e->SetParticleInitialVelocity(2.0f);
  e->SetAccVector(0, D3DXVECTOR3(0, -9.8f, 0));
  for (int f = 0; f < 30; ++f) {
    engine->AdvanceFrame(1.0f);
    e->GetParticlePool();
  }
  double total = 0;
  int64_t frames = 0;
  for (auto _ : state) {
    engine->AdvanceFrame(1.0f);
    const double t0 = ThreadNs();
    benchmark::DoNotOptimize(e->GetParticlePool());
    total += ThreadNs() - t0;
    ++frames;
  }
  g_measured.churnNs = total / static_cast<double>(frames);
  state.counters["living"] = e->GetLivingCount();
  state.counters["slots"] = e->GetParticlePoolCount();
  state.counters["ns_per_particle"] = g_measured.churnNs / kPool;
  e.reset();
}

BENCHMARK(BM_SteadyFrame)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PoolCopy)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ChurnFrame)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  if (g_measured.steadyNs > 0 && g_measured.copyNs > 0)
    std::printf("steady update %.2f ns/particle, pool copy %.2f ns/particle: ratio %.2f\n",
                g_measured.steadyNs / kPool, g_measured.copyNs / kPool, g_measured.steadyNs / g_measured.copyNs);
  if (g_measured.steadyNs > 0 && g_measured.churnNs > 0)
    std::printf("churn frame (a tenth dies and is reborn) / steady frame: ratio %.2f\n",
                g_measured.churnNs / g_measured.steadyNs);
  return 0;
}
