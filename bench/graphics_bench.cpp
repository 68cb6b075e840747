// The software device's hot paths: full-screen textured quads (pixels per second, point and
// bilinear filtering, opaque and blended), beside the memory limit for the same image (a clear and
// a plain copy of the colour buffer); and one frame of the default scene at 640x480.
#include <benchmark/benchmark.h>

#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <vector>

#include "corvane/channel_group.h"
#include "corvane/channels/render_context.h"
#include "corvane/host/engine.h"
#include "corvane/host/scene.h"
#include "corvane/software_device.h"
#include "corvane/type_ids.h"

namespace {

constexpr int kW = 640, kH = 480;

struct TexVertex {
  float x, y, z;
  DWORD color;
  float u, v;
};

// Quads covering the whole target, textured with a 128x128 pattern; range(0): bilinear,
// range(1): alpha blended.
void BM_FullScreenTexturedQuad(benchmark::State& state) {
  corvane::SoftwareDeviceOptions o;
  o.width = kW;
  o.height = kH;
  corvane::SoftwareDevice* dev = corvane::SoftwareDevice::Create(o);
  IDirect3DTexture8* tex = nullptr;
  dev->CreateTexture(128, 128, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &tex);
  D3DLOCKED_RECT r;
  tex->LockRect(0, &r, nullptr, 0);
  for (int i = 0; i < 128 * 128; ++i)
    static_cast<DWORD*>(r.pBits)[i] = (((i / 8) + (i / 1024)) & 1) ? 0xFFFFFFFF : 0x80204060;
  tex->UnlockRect(0);
  dev->SetTexture(0, tex);
  dev->SetRenderState(D3DRS_LIGHTING, FALSE);
  dev->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
  const DWORD filter = state.range(0) ? D3DTEXF_LINEAR : D3DTEXF_POINT;
  dev->SetTextureStageState(0, D3DTSS_MAGFILTER, filter);
  if (state.range(1)) {
    dev->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    dev->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    dev->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
  }
  const TexVertex q[6] = {{-1, -1, .5f, 0xFFFFFFFF, 0, 4}, {-1, 1, .5f, 0xFFFFFFFF, 0, 0},
                          {1, 1, .5f, 0xFFFFFFFF, 4, 0},   {-1, -1, .5f, 0xFFFFFFFF, 0, 4},
                          {1, 1, .5f, 0xFFFFFFFF, 4, 0},   {1, -1, .5f, 0xFFFFFFFF, 4, 4}};
  dev->SetVertexShader(D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_TEX1);
  for (auto _ : state) {
    dev->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 2, q, sizeof(TexVertex));
    benchmark::DoNotOptimize(dev->GetColorBuffer().data());
  }
  state.counters["pixels"] = benchmark::Counter(double(kW) * kH * state.iterations(), benchmark::Counter::kIsRate);
  dev->SetTexture(0, nullptr);
  tex->Release();
  dev->Release();
}
BENCHMARK(BM_FullScreenTexturedQuad)
    ->ArgNames({"bilinear", "blend"})
    ->Args({0, 0})
    ->Args({1, 0})
    ->Args({1, 1})
    ->Unit(benchmark::kMillisecond);

// The limit: the device's clear of colour and depth, and a plain copy of an image of that size.
void BM_ClearTarget(benchmark::State& state) {
  corvane::SoftwareDeviceOptions o;
  o.width = kW;
  o.height = kH;
  corvane::SoftwareDevice* dev = corvane::SoftwareDevice::Create(o);
  for (auto _ : state) {
    dev->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF102030, 1.0f, 0);
    benchmark::DoNotOptimize(dev->GetColorBuffer().data());
  }
  state.counters["pixels"] = benchmark::Counter(double(kW) * kH * state.iterations(), benchmark::Counter::kIsRate);
  dev->Release();
}
BENCHMARK(BM_ClearTarget)->Unit(benchmark::kMillisecond);

void BM_CopyImage(benchmark::State& state) {
  std::vector<uint8_t> a(size_t(kW) * kH * 4, 1), b(size_t(kW) * kH * 4, 2);
  for (auto _ : state) {
    std::memcpy(b.data(), a.data(), a.size());
    benchmark::DoNotOptimize(b.data());
    benchmark::ClobberMemory();
  }
  state.counters["pixels"] = benchmark::Counter(double(kW) * kH * state.iterations(), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_CopyImage)->Unit(benchmark::kMillisecond);

// One frame of scenes/default.json: clock, frame start (clear, states, camera), evaluation.
void BM_DefaultSceneFrame(benchmark::State& state) {
  corvane::host::Engine engine;
  engine.GetLogger().SetCapture(true);
  engine.LoadPluginFolder(CORVANE_TEST_PLUGIN_DIR);
  auto* context = static_cast<Vyn_DX8_RenderContext*>(engine.GetSharedChannel(corvane::ids::kRenderContext, nullptr));
  if (!context) {
    state.SkipWithError("render context plug-in not loaded");
    return;
  }
  corvane::SoftwareDeviceOptions o;
  o.width = kW;
  o.height = kH;
  corvane::SoftwareDevice* dev = corvane::SoftwareDevice::Create(o);
  context->SetDevice(dev, nullptr);
  context->AddAssetFolder(CORVANE_SOURCE_DIR);
  std::ifstream f(std::string(CORVANE_SOURCE_DIR) + "/scenes/default.json");
  std::stringstream text;
  text << f.rdbuf();
  corvane::host::LoadedScene scene;
  std::string error;
  if (!corvane::host::LoadSceneText(engine, text.str(), "default.json", &scene, &error)) {
    state.SkipWithError(error.c_str());
    context->SetDevice(nullptr, nullptr);
    dev->Release();
    return;
  }
  if (scene.camera.present) context->SetCamera(scene.camera.position, scene.camera.target, scene.camera.fov);
  for (auto _ : state) {
    engine.AdvanceFrame(scene.settings.frameStep);
    context->BeginFrame();
    scene.group->Evaluate();
    benchmark::DoNotOptimize(dev->GetColorBuffer().data());
  }
  state.counters["frames"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
  scene.group.reset();
  context->SetDevice(nullptr, nullptr);
  dev->Release();
}
BENCHMARK(BM_DefaultSceneFrame)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
