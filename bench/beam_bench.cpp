// The beam renderer's hot path: building and uploading the beam of a full 65 535-particle pool,
// with the memory copy of the same vertex bytes beside it as the floor, and one whole frame of the
// default scene at 640 x 480 on the software device.
#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "corvane/beam_renderer.h"
#include "corvane/channel_group.h"
#include "corvane/channels/render_context.h"
#include "corvane/host/engine.h"
#include "corvane/host/scene.h"
#include "corvane/particle_emitter.h"
#include "corvane/software_device.h"
#include "corvane/type_ids.h"

namespace {

namespace ids = corvane::ids;
using corvane::host::Engine;

// The software device without rasterization: draws are accepted and not drawn, so that only the
// geometry build and upload are measured.
class NoRasterDevice : public corvane::SoftwareDevice {
 public:
  HRESULT DrawIndexedPrimitive(D3DPRIMITIVETYPE, UINT, UINT, UINT, UINT) override { return S_OK; }
};

constexpr int kParticles = 65535;

struct BeamFixture {
  BeamFixture() {
    engine.GetLogger().SetCapture(true);
    engine.LoadPluginFolder(CORVANE_TEST_PLUGIN_DIR);
    context = static_cast<Vyn_DX8_RenderContext*>(engine.GetSharedChannel(ids::kRenderContext, nullptr));
    device = new NoRasterDevice();
    context->SetDevice(device, nullptr);
    context->SetCamera(D3DXVECTOR3(0, 3, -12), D3DXVECTOR3(0, 0, 0), 0.8f);
    context->BeginFrame();
    emitter.reset(static_cast<Vyn_DX8_ParticleEmitter*>(engine.CreateChannelInstance(ids::kParticleEmitter)));
    beam.reset(static_cast<Vyn_DX8_ParticleBeamRenderer*>(engine.CreateChannelInstance(ids::kParticleBeamRenderer)));
    if (!emitter || !beam) return;
    // One burst (on the one frame the engine advances) fills the pool; the particles live far
    // longer than the run.
    emitter->SetMaxParticles(kParticles);
    emitter->SetBirthPeriod(0);
    emitter->SetBurstTotal(kParticles);
    emitter->SetShape(Vyn_DX8_ParticleEmitter::ShapeSphere);
    emitter->SetSphereShapeMinRadius(1.0f);
    emitter->SetSphereShapeMaxRadius(4.0f);
    emitter->SetSphereShapeHSRadius(4.0f);
    emitter->SetParticleInitialLifeTime(100000000);
    emitter->SetParticleInitialSizeStart(D3DXVECTOR3(0.1f, 0.1f, 0.1f));
    emitter->SetParticleInitialSizeEnd(D3DXVECTOR3(0.1f, 0.1f, 0.1f));
    beam->ConnectChild(0, emitter.get());
    engine.AdvanceFrame(1.0f);
    beam->CallChannel();  // births the pool and builds the geometry
  }
  ~BeamFixture() {
    beam.reset();
    emitter.reset();
    device->Release();
  }
  Engine engine;
  Vyn_DX8_RenderContext* context = nullptr;
  NoRasterDevice* device = nullptr;
  std::unique_ptr<Vyn_DX8_ParticleEmitter> emitter;
  std::unique_ptr<Vyn_DX8_ParticleBeamRenderer> beam;
};

// CallChannel on a full pool. The engine frame is not advanced, so the emitter does no work: the
// time is the beam's walk, quad build, upload and draw set-up.
void BM_BeamCallChannel65535(benchmark::State& state) {
  BeamFixture f;
  if (!f.beam || f.emitter->GetLivingCount() != kParticles) {
    state.SkipWithError("the emitter did not fill its pool");
    return;
  }
  for (auto _ : state) {
    f.beam->CallChannel();
    benchmark::ClobberMemory();
  }
  if (f.beam->GetLastVisitedCount() != kParticles) state.SkipWithError("not every particle was visited");
  state.counters["per_particle"] =
      benchmark::Counter(static_cast<double>(state.iterations()) * kParticles,
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_BeamCallChannel65535)->Unit(benchmark::kMicrosecond);

// The floor: copying the same vertex bytes once (what the upload alone costs).
void BM_CopyBeamVertexBytes65535(benchmark::State& state) {
  const std::size_t bytes = static_cast<std::size_t>(kParticles) * 4 * sizeof(Vyn_DX8_ParticleBeamRenderer::BeamVertex);
  std::vector<unsigned char> a(bytes, 1), b(bytes);
  for (auto _ : state) {
    std::memcpy(b.data(), a.data(), bytes);
    benchmark::DoNotOptimize(b.data());
    benchmark::ClobberMemory();
  }
  state.counters["per_particle"] =
      benchmark::Counter(static_cast<double>(state.iterations()) * kParticles,
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_CopyBeamVertexBytes65535)->Unit(benchmark::kMicrosecond);

// One frame of the default scene at 640 x 480, rasterized: clock, clear and camera, every root.
void BM_DefaultSceneFrame640x480(benchmark::State& state) {
  Engine engine;
  engine.GetLogger().SetCapture(true);
  engine.LoadPluginFolder(CORVANE_TEST_PLUGIN_DIR);
  auto* context = static_cast<Vyn_DX8_RenderContext*>(engine.GetSharedChannel(ids::kRenderContext, nullptr));
  corvane::SoftwareDeviceOptions options;
  options.width = 640;
  options.height = 480;
  corvane::SoftwareDevice* device = corvane::SoftwareDevice::Create(options);
  context->SetDevice(device, nullptr);
  context->AddAssetFolder(CORVANE_SOURCE_DIR "/assets");
  corvane::host::LoadedScene scene;
  std::string error;
  if (!corvane::host::LoadSceneFile(engine, CORVANE_SOURCE_DIR "/scenes/default.json", &scene, &error)) {
    device->Release();
    state.SkipWithError(error.c_str());
    return;
  }
  if (scene.camera.present) context->SetCamera(scene.camera.position, scene.camera.target, scene.camera.fov);
  // Let the scene fill up first, as a viewer would see it.
  for (int i = 0; i < 50; ++i) {
    engine.AdvanceFrame(scene.settings.frameStep);
    context->BeginFrame();
    scene.group->Evaluate();
  }
  for (auto _ : state) {
    engine.AdvanceFrame(scene.settings.frameStep);
    context->BeginFrame();
    scene.group->Evaluate();
    benchmark::DoNotOptimize(device->GetColorBuffer().data());
  }
  scene.group.reset();
  device->Release();
}
BENCHMARK(BM_DefaultSceneFrame640x480)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
