// Motion set evaluation: GetMatrix over a 60-entry set with 6 and with 500 keys per entry, and the
// blender over two such sets, in nanoseconds per entry. Beside them, the blend alone (one slerp and
// one rotation matrix per entry), the floor every evaluation pays. The allocation counter reads
// global operator new calls made inside the timed loop: evaluation must make none.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "corvane/channels/value_channel.h"
#include "corvane/guid.h"
#include "corvane/host/engine.h"
#include "corvane/motion_set.h"
#include "corvane/motion_set_blender.h"
#include "corvane/type_ids.h"

namespace {
std::atomic<long> g_allocations{0};
}

// The replacement pair below is malloc/free on both sides; the compiler cannot see that the
// sized delete pairs with this new, so its mismatch warning is a false alarm here.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t n) {
  g_allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(n ? n : 1)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
#pragma GCC diagnostic pop

namespace {

constexpr int kEntries = 60;

struct World {
  corvane::host::Engine engine;
  std::vector<std::unique_ptr<Zel_Channel>> channels;

  World() {
    engine.GetLogger().SetCapture(true);
    for (const GUID& id : {corvane::ids::kValue, corvane::ids::kMatrix, corvane::ids::kTimer,
                           corvane::ids::kMotionSet, corvane::ids::kMotionSetBlender})
      engine.LoadPlugin(std::string(CORVANE_TEST_PLUGIN_DIR) + "/" + corvane::GuidToString(id) + ".so");
  }
  template <class T>
  T* Create(const GUID& id) {
    channels.emplace_back(engine.CreateChannelInstance(id, 0, 0));
    return dynamic_cast<T*>(channels.back().get());
  }
  // 60 entries of `keys` keys each, 8 frames apart, turning and moving; looping over all keys.
  Vyn_DX8_MatrixInterpolateSet* MakeSet(int keys, float phase) {
    auto* set = Create<Vyn_DX8_MatrixInterpolateSet>(corvane::ids::kMotionSet);
    std::vector<SMatrixKey> k(static_cast<std::size_t>(keys));
    for (int e = 0; e < kEntries; ++e) {
      const std::string name = "bone" + std::to_string(e);
      set->CreateMotionFrame(e, name.c_str());
      for (int i = 0; i < keys; ++i) {
        D3DXMATRIX r;
        D3DXMatrixRotationYawPitchRoll(&r, 0.1f * i + phase, 0.05f * e, 0.02f * i);
        r._41 = float(i);
        r._42 = float(e);
        r._43 = phase;
        k[static_cast<std::size_t>(i)].dwTime = static_cast<uint32_t>(i) * 8u * 192u;
        k[static_cast<std::size_t>(i)].matrix = r;
      }
      set->SetMatrixFrames(k.data(), k.size(), name.c_str(), false);
    }
    set->SetEndFrame(float((keys - 1) * 8));
    return set;
  }
};

// Advances the time a little each pass, so every pass searches a new place.
float NextTime(float t, float end) {
  t += 0.37f;
  return t > end ? t - end : t;
}

void BM_MotionSetGetMatrix(benchmark::State& state) {
  World w;
  const int keys = static_cast<int>(state.range(0));
  Vyn_DX8_MatrixInterpolateSet* set = w.MakeSet(keys, 0.0f);
  auto* time = w.Create<Vyn_FloatChannel>(corvane::ids::kValue);
  set->ConnectChild(0, time);
  const float end = set->GetEndFrame() - 1.0f;  // keep out of the closing segment mostly
  float t = 0.0f;
  const long before = g_allocations.load();
  for (auto _ : state) {
    time->SetFloat(t);
    for (int i = 0; i < kEntries; ++i) benchmark::DoNotOptimize(set->GetMatrix(i));
    t = NextTime(t, end);
  }
  state.counters["allocations"] = double(g_allocations.load() - before);
  state.counters["per_entry"] =
      benchmark::Counter(double(state.iterations()) * kEntries, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_MotionSetGetMatrix)->Arg(6)->Arg(500);

void BM_MotionSetBlender(benchmark::State& state) {
  World w;
  const int keys = static_cast<int>(state.range(0));
  Vyn_DX8_MatrixInterpolateSet* a = w.MakeSet(keys, 0.0f);
  Vyn_DX8_MatrixInterpolateSet* b = w.MakeSet(keys, 0.7f);
  auto* time = w.Create<Vyn_FloatChannel>(corvane::ids::kValue);
  auto* blend = w.Create<Vyn_FloatChannel>(corvane::ids::kValue);
  blend->SetFloat(0.5f);
  a->ConnectChild(0, time);
  b->ConnectChild(0, time);
  auto* blender = w.Create<Vyn_DX8_MotionSetBlender>(corvane::ids::kMotionSetBlender);
  blender->ConnectChild(0, a);
  blender->ConnectChild(1, b);
  blender->ConnectChild(2, blend);
  const float end = a->GetEndFrame() - 1.0f;
  float t = 0.0f;
  const long before = g_allocations.load();
  for (auto _ : state) {
    time->SetFloat(t);
    for (int i = 0; i < kEntries; ++i) benchmark::DoNotOptimize(blender->GetMatrix(i));
    t = NextTime(t, end);
  }
  state.counters["allocations"] = double(g_allocations.load() - before);
  state.counters["per_entry"] =
      benchmark::Counter(double(state.iterations()) * kEntries, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_MotionSetBlender)->Arg(6)->Arg(500);

// The floor: one slerp and one rotation matrix per entry, no search, no calls through channels.
void BM_BlendFloor(benchmark::State& state) {
  std::vector<D3DXQUATERNION> qa(kEntries), qb(kEntries);
  for (int i = 0; i < kEntries; ++i) {
    D3DXQuaternionRotationYawPitchRoll(&qa[i], 0.1f * i, 0.05f * i, 0.0f);
    D3DXQuaternionRotationYawPitchRoll(&qb[i], 0.1f * i + 0.3f, 0.05f * i, 0.1f);
  }
  float f = 0.1f;
  for (auto _ : state) {
    for (int i = 0; i < kEntries; ++i) {
      D3DXQUATERNION q;
      D3DXMATRIX m;
      D3DXQuaternionSlerp(&q, &qa[i], &qb[i], f);
      D3DXMatrixRotationQuaternion(&m, &q);
      benchmark::DoNotOptimize(m);
    }
    f = f > 0.9f ? 0.1f : f + 0.013f;
  }
  state.counters["per_entry"] =
      benchmark::Counter(double(state.iterations()) * kEntries, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_BlendFloor);

}  // namespace

BENCHMARK_MAIN();
