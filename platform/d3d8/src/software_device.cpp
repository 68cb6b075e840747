// SoftwareDevice: state keeping, call recording and the draw entry points. The pipeline (vertex
// processing and rasterization) is in rasterizer.cpp.
#include "corvane/software_device.h"

#include <algorithm>
#include <cinttypes>
#include <cstdarg>
#include <new>
#include <cstdio>
#include <cstring>

#include "pipeline.h"
#include "resources.h"

namespace corvane {

namespace {

D3DMATRIX Identity() {
  D3DMATRIX m;
  D3DXMatrixIdentity(&m);
  return m;
}

std::string Fmt(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Fmt(const char* format, ...) {
  char buf[512];
  va_list ap;
  va_start(ap, format);
  vsnprintf(buf, sizeof buf, format, ap);
  va_end(ap);
  return buf;
}

const char* Ptr(const void* p) { return p ? "ptr" : "null"; }

std::string MatrixText(const D3DMATRIX* m) {
  if (!m) return "null";
  std::string s;
  for (int i = 0; i < 16; ++i) {
    char b[32];
    snprintf(b, sizeof b, i ? " %g" : "%g", (&m->_11)[i]);
    s += b;
  }
  return s;
}

}  // namespace

SoftwareDevice::SoftwareDevice(const SoftwareDeviceOptions& o)
    : width_(std::clamp(o.width, 1, kMaxTargetSide)), height_(std::clamp(o.height, 1, kMaxTargetSide)) {
  color_.assign(size_t(width_) * height_ * 4, 0);
  depth_.assign(size_t(width_) * height_, 1.0f);

  std::memset(&caps_, 0, sizeof caps_);
  caps_.DeviceType = D3DDEVTYPE_SW;
  caps_.MaxTextureWidth = 8192;
  caps_.MaxTextureHeight = 8192;
  caps_.MaxTextureBlendStages = kD3DTextureStageCount;
  caps_.MaxSimultaneousTextures = kD3DTextureStageCount;
  caps_.VertexProcessingCaps = D3DVTXPCAPS_DIRECTIONALLIGHTS | D3DVTXPCAPS_POSITIONALLIGHTS |
                               D3DVTXPCAPS_MATERIALSOURCE7;
  caps_.MaxActiveLights = 8;
  caps_.MaxVertexBlendMatrices = o.maxVertexBlendMatrices;
  caps_.MaxVertexBlendMatrixIndex = o.maxVertexBlendMatrixIndex;
  caps_.MaxPointSize = 1.0f;
  caps_.MaxPrimitiveCount = 0xFFFFFF;
  caps_.MaxVertexIndex = 0xFFFFFF;
  caps_.MaxStreams = 1;
  caps_.MaxStreamStride = 255;

  viewport_ = {0, 0, DWORD(width_), DWORD(height_), 0.0f, 1.0f};
  view_ = Identity();
  projection_ = Identity();
  for (auto& t : textureTransform_) t = Identity();
  world_.assign(256, Identity());

  std::memset(renderStates_, 0, sizeof renderStates_);
  renderStates_[D3DRS_ZENABLE] = D3DZB_TRUE;
  renderStates_[D3DRS_FILLMODE] = D3DFILL_SOLID;
  renderStates_[D3DRS_SHADEMODE] = D3DSHADE_GOURAUD;
  renderStates_[D3DRS_ZWRITEENABLE] = TRUE;
  renderStates_[D3DRS_SRCBLEND] = D3DBLEND_ONE;
  renderStates_[D3DRS_DESTBLEND] = D3DBLEND_ZERO;
  renderStates_[D3DRS_CULLMODE] = D3DCULL_CCW;
  renderStates_[D3DRS_ZFUNC] = D3DCMP_LESSEQUAL;
  renderStates_[D3DRS_ALPHAFUNC] = D3DCMP_ALWAYS;
  renderStates_[D3DRS_TEXTUREFACTOR] = 0xFFFFFFFF;
  renderStates_[D3DRS_CLIPPING] = TRUE;
  renderStates_[D3DRS_LIGHTING] = TRUE;
  renderStates_[D3DRS_COLORVERTEX] = TRUE;
  renderStates_[D3DRS_LOCALVIEWER] = TRUE;
  renderStates_[D3DRS_DIFFUSEMATERIALSOURCE] = D3DMCS_COLOR1;
  renderStates_[D3DRS_SPECULARMATERIALSOURCE] = D3DMCS_COLOR2;
  renderStates_[D3DRS_AMBIENTMATERIALSOURCE] = D3DMCS_MATERIAL;
  renderStates_[D3DRS_EMISSIVEMATERIALSOURCE] = D3DMCS_MATERIAL;
  renderStates_[D3DRS_POINTSIZE] = 0x3F800000;  // 1.0f
  renderStates_[D3DRS_MULTISAMPLEMASK] = 0xFFFFFFFF;
  renderStates_[D3DRS_COLORWRITEENABLE] = 0xF;
  renderStates_[D3DRS_BLENDOP] = D3DBLENDOP_ADD;
  renderStates_[D3DRS_STENCILFUNC] = D3DCMP_ALWAYS;
  renderStates_[D3DRS_STENCILMASK] = 0xFFFFFFFF;
  renderStates_[D3DRS_STENCILWRITEMASK] = 0xFFFFFFFF;

  std::memset(stageStates_, 0, sizeof stageStates_);
  for (DWORD s = 0; s < kD3DTextureStageCount; ++s) {
    stageStates_[s][D3DTSS_COLOROP] = s == 0 ? D3DTOP_MODULATE : D3DTOP_DISABLE;
    stageStates_[s][D3DTSS_COLORARG1] = D3DTA_TEXTURE;
    stageStates_[s][D3DTSS_COLORARG2] = D3DTA_CURRENT;
    stageStates_[s][D3DTSS_ALPHAOP] = s == 0 ? D3DTOP_SELECTARG1 : D3DTOP_DISABLE;
    stageStates_[s][D3DTSS_ALPHAARG1] = D3DTA_TEXTURE;
    stageStates_[s][D3DTSS_ALPHAARG2] = D3DTA_CURRENT;
    stageStates_[s][D3DTSS_TEXCOORDINDEX] = s;
    stageStates_[s][D3DTSS_ADDRESSU] = D3DTADDRESS_WRAP;
    stageStates_[s][D3DTSS_ADDRESSV] = D3DTADDRESS_WRAP;
    stageStates_[s][D3DTSS_ADDRESSW] = D3DTADDRESS_WRAP;
    stageStates_[s][D3DTSS_MAGFILTER] = D3DTEXF_POINT;
    stageStates_[s][D3DTSS_MINFILTER] = D3DTEXF_POINT;
    stageStates_[s][D3DTSS_MIPFILTER] = D3DTEXF_NONE;
    stageStates_[s][D3DTSS_MAXANISOTROPY] = 1;
    stageStates_[s][D3DTSS_TEXTURETRANSFORMFLAGS] = D3DTTFF_DISABLE;
  }

  std::memset(&material_, 0, sizeof material_);
  material_.Diffuse = {1, 1, 1, 1};
  material_.Ambient = {1, 1, 1, 1};
}

SoftwareDevice* SoftwareDevice::Create(const SoftwareDeviceOptions& options) {
  return new (std::nothrow) SoftwareDevice(options);
}

SoftwareDevice::~SoftwareDevice() {
  for (auto*& t : textures_)
    if (t) t->Release();
  if (stream_) stream_->Release();
  if (indices_) indices_->Release();
}

DWORD SoftwareDevice::AddRef() { return ++refs_; }
DWORD SoftwareDevice::Release() {
  DWORD left = --refs_;
  if (left == 0) delete this;
  return left;
}

void SoftwareDevice::Record(const char* name, const std::string& args) {
  if (recording_) calls_.push_back({name, args});
}

void SoftwareDevice::EnableRecording(bool on) {
  recording_ = on;
  calls_.clear();
}

HRESULT SoftwareDevice::Refuse(const char* call, const std::string& why) {
  ++invalidCalls_;
  lastError_ = std::string(call) + ": " + why;
  return D3DERR_INVALIDCALL;
}

D3DCOLOR SoftwareDevice::GetPixel(int x, int y) const {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return 0;
  const uint8_t* p = &color_[(size_t(y) * width_ + x) * 4];
  return D3DCOLOR_ARGB(p[3], p[0], p[1], p[2]);
}

bool SoftwareDevice::SavePng(const std::string& path, std::string* error) const {
  return WritePngRgba(path, color_.data(), width_, height_, error);
}

HRESULT SoftwareDevice::GetDeviceCaps(D3DCAPS8* caps) {
  Record("GetDeviceCaps", Ptr(caps));
  if (!caps) return D3DERR_INVALIDCALL;
  *caps = caps_;
  return D3D_OK;
}

HRESULT SoftwareDevice::BeginScene() {
  Record("BeginScene", "");
  return D3D_OK;
}
HRESULT SoftwareDevice::EndScene() {
  Record("EndScene", "");
  return D3D_OK;
}

HRESULT SoftwareDevice::Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z,
                              DWORD stencil) {
  Record("Clear", Fmt("%u %s %u 0x%08X %g %u", count, Ptr(rects), flags, color, z, stencil));
  const uint8_t rgba[4] = {uint8_t(color >> 16), uint8_t(color >> 8), uint8_t(color), uint8_t(color >> 24)};
  auto clearArea = [&](int x1, int y1, int x2, int y2) {
    x1 = std::max(x1, 0), y1 = std::max(y1, 0);
    x2 = std::min(x2, width_), y2 = std::min(y2, height_);
    if (x1 >= x2 || y1 >= y2) return;
    const size_t n = size_t(x2 - x1);
    // The first row is filled pixel by pixel, the others copied from it.
    uint8_t* first = &color_[(size_t(y1) * width_ + x1) * 4];
    if (flags & D3DCLEAR_TARGET)
      for (size_t k = 0; k < n; ++k) std::memcpy(first + k * 4, rgba, 4);
    for (int y = y1; y < y2; ++y) {
      const size_t i = size_t(y) * width_ + x1;
      if ((flags & D3DCLEAR_TARGET) && y != y1) std::memcpy(&color_[i * 4], first, n * 4);
      if (flags & D3DCLEAR_ZBUFFER) std::fill(depth_.begin() + i, depth_.begin() + i + n, z);
    }
  };
  if (count == 0 || !rects) {
    clearArea(int(viewport_.X), int(viewport_.Y), int(viewport_.X + viewport_.Width),
              int(viewport_.Y + viewport_.Height));
  } else {
    for (DWORD r = 0; r < count; ++r) clearArea(rects[r].x1, rects[r].y1, rects[r].x2, rects[r].y2);
  }
  return D3D_OK;
}

HRESULT SoftwareDevice::SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* m) {
  Record("SetTransform", Fmt("%u ", unsigned(state)) + MatrixText(m));
  if (!m) return D3DERR_INVALIDCALL;
  if (state == D3DTS_VIEW) view_ = *m;
  else if (state == D3DTS_PROJECTION) projection_ = *m;
  else if (state >= D3DTS_TEXTURE0 && state <= D3DTS_TEXTURE7) textureTransform_[state - D3DTS_TEXTURE0] = *m;
  else if (state >= D3DTS_WORLD && state < D3DTS_WORLD + 256) world_[state - D3DTS_WORLD] = *m;
  else return D3DERR_INVALIDCALL;
  return D3D_OK;
}

HRESULT SoftwareDevice::GetTransform(D3DTRANSFORMSTATETYPE state, D3DMATRIX* m) {
  Record("GetTransform", Fmt("%u", unsigned(state)));
  if (!m) return D3DERR_INVALIDCALL;
  if (state == D3DTS_VIEW) *m = view_;
  else if (state == D3DTS_PROJECTION) *m = projection_;
  else if (state >= D3DTS_TEXTURE0 && state <= D3DTS_TEXTURE7) *m = textureTransform_[state - D3DTS_TEXTURE0];
  else if (state >= D3DTS_WORLD && state < D3DTS_WORLD + 256) *m = world_[state - D3DTS_WORLD];
  else return D3DERR_INVALIDCALL;
  return D3D_OK;
}

HRESULT SoftwareDevice::MultiplyTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* m) {
  Record("MultiplyTransform", Fmt("%u ", unsigned(state)) + MatrixText(m));
  if (!m) return D3DERR_INVALIDCALL;
  D3DMATRIX cur;
  bool rec = recording_;
  recording_ = false;
  HRESULT hr = GetTransform(state, &cur);
  if (SUCCEEDED(hr)) {
    D3DMATRIX r;
    D3DXMatrixMultiply(&r, m, &cur);
    hr = SetTransform(state, &r);
  }
  recording_ = rec;
  return hr;
}

HRESULT SoftwareDevice::SetViewport(const D3DVIEWPORT8* v) {
  if (!v) {
    Record("SetViewport", "null");
    return D3DERR_INVALIDCALL;
  }
  Record("SetViewport", Fmt("%u %u %u %u %g %g", v->X, v->Y, v->Width, v->Height, v->MinZ, v->MaxZ));
  if (uint64_t(v->X) + v->Width > uint64_t(width_) || uint64_t(v->Y) + v->Height > uint64_t(height_) ||
      v->Width == 0 || v->Height == 0)
    return Refuse("SetViewport", "viewport outside the render target");
  viewport_ = *v;
  return D3D_OK;
}

HRESULT SoftwareDevice::GetViewport(D3DVIEWPORT8* v) {
  Record("GetViewport", Ptr(v));
  if (!v) return D3DERR_INVALIDCALL;
  *v = viewport_;
  return D3D_OK;
}

HRESULT SoftwareDevice::SetMaterial(const D3DMATERIAL8* m) {
  if (!m) {
    Record("SetMaterial", "null");
    return D3DERR_INVALIDCALL;
  }
  Record("SetMaterial", Fmt("diffuse %g %g %g %g ambient %g %g %g %g emissive %g %g %g %g", m->Diffuse.r,
                            m->Diffuse.g, m->Diffuse.b, m->Diffuse.a, m->Ambient.r, m->Ambient.g, m->Ambient.b,
                            m->Ambient.a, m->Emissive.r, m->Emissive.g, m->Emissive.b, m->Emissive.a));
  material_ = *m;
  return D3D_OK;
}

HRESULT SoftwareDevice::GetMaterial(D3DMATERIAL8* m) {
  Record("GetMaterial", Ptr(m));
  if (!m) return D3DERR_INVALIDCALL;
  *m = material_;
  return D3D_OK;
}

// Makes light slot `index` exist. Slots that were never set hold Direct3D's default light: white,
// directional, pointing along +z, switched off.
template <class Lights, class Enabled>
static void GrowLights(Lights& lights, Enabled& enabled, DWORD index) {
  if (index < lights.size()) return;
  D3DLIGHT8 def = {};
  def.Type = D3DLIGHT_DIRECTIONAL;
  def.Diffuse = {1, 1, 1, 0};
  def.Direction = D3DXVECTOR3(0, 0, 1);
  lights.resize(index + 1, def);
  enabled.resize(index + 1, 0);
}

HRESULT SoftwareDevice::SetLight(DWORD index, const D3DLIGHT8* l) {
  Record("SetLight", Fmt("%u %s", index, Ptr(l)));
  if (!l || index >= 4096) return D3DERR_INVALIDCALL;
  GrowLights(lights_, lightEnabled_, index);
  lights_[index] = *l;
  return D3D_OK;
}

HRESULT SoftwareDevice::GetLight(DWORD index, D3DLIGHT8* l) {
  Record("GetLight", Fmt("%u", index));
  if (!l || index >= lights_.size()) return D3DERR_INVALIDCALL;
  *l = lights_[index];
  return D3D_OK;
}

HRESULT SoftwareDevice::LightEnable(DWORD index, BOOL enable) {
  Record("LightEnable", Fmt("%u %d", index, enable));
  if (index >= 4096) return D3DERR_INVALIDCALL;
  GrowLights(lights_, lightEnabled_, index);
  lightEnabled_[index] = enable ? 1 : 0;
  return D3D_OK;
}

HRESULT SoftwareDevice::GetLightEnable(DWORD index, BOOL* enable) {
  Record("GetLightEnable", Fmt("%u", index));
  if (!enable || index >= lights_.size()) return D3DERR_INVALIDCALL;
  *enable = lightEnabled_[index];
  return D3D_OK;
}

HRESULT SoftwareDevice::SetRenderState(D3DRENDERSTATETYPE state, DWORD value) {
  Record("SetRenderState", Fmt("%u %u", unsigned(state), value));
  if (state >= kD3DRenderStateCount) return D3DERR_INVALIDCALL;
  renderStates_[state] = value;
  return D3D_OK;
}

HRESULT SoftwareDevice::GetRenderState(D3DRENDERSTATETYPE state, DWORD* value) {
  Record("GetRenderState", Fmt("%u", unsigned(state)));
  if (!value || state >= kD3DRenderStateCount) return D3DERR_INVALIDCALL;
  *value = renderStates_[state];
  return D3D_OK;
}

HRESULT SoftwareDevice::GetTexture(DWORD stage, IDirect3DBaseTexture8** tex) {
  Record("GetTexture", Fmt("%u", stage));
  if (!tex || stage >= kD3DTextureStageCount) return D3DERR_INVALIDCALL;
  *tex = textures_[stage];
  if (*tex) (*tex)->AddRef();
  return D3D_OK;
}

HRESULT SoftwareDevice::SetTexture(DWORD stage, IDirect3DBaseTexture8* tex) {
  Record("SetTexture", Fmt("%u %s", stage, Ptr(tex)));
  if (stage >= kD3DTextureStageCount) return D3DERR_INVALIDCALL;
  if (tex) tex->AddRef();
  if (textures_[stage]) textures_[stage]->Release();
  textures_[stage] = tex;
  return D3D_OK;
}

HRESULT SoftwareDevice::GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD* value) {
  Record("GetTextureStageState", Fmt("%u %u", stage, unsigned(type)));
  if (!value || stage >= kD3DTextureStageCount || type >= kD3DTextureStageStateCount) return D3DERR_INVALIDCALL;
  *value = stageStates_[stage][type];
  return D3D_OK;
}

HRESULT SoftwareDevice::SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) {
  Record("SetTextureStageState", Fmt("%u %u %u", stage, unsigned(type), value));
  if (stage >= kD3DTextureStageCount || type >= kD3DTextureStageStateCount) return D3DERR_INVALIDCALL;
  stageStates_[stage][type] = value;
  return D3D_OK;
}

HRESULT SoftwareDevice::CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool,
                                           IDirect3DVertexBuffer8** out) {
  Record("CreateVertexBuffer", Fmt("%u %u %u %u", length, usage, fvf, unsigned(pool)));
  if (!out) return D3DERR_INVALIDCALL;
  *out = nullptr;
  if (length == 0 || length > (1u << 30)) return D3DERR_INVALIDCALL;
  *out = new (std::nothrow) detail::VertexBuffer(length, usage, fvf, pool);
  return *out ? D3D_OK : E_OUTOFMEMORY;
}

HRESULT SoftwareDevice::CreateIndexBuffer(UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                          IDirect3DIndexBuffer8** out) {
  Record("CreateIndexBuffer", Fmt("%u %u %u %u", length, usage, unsigned(format), unsigned(pool)));
  if (!out) return D3DERR_INVALIDCALL;
  *out = nullptr;
  if (length == 0 || length > (1u << 30) || (format != D3DFMT_INDEX16 && format != D3DFMT_INDEX32))
    return D3DERR_INVALIDCALL;
  *out = new (std::nothrow) detail::IndexBuffer(length, usage, format, pool);
  return *out ? D3D_OK : E_OUTOFMEMORY;
}

HRESULT SoftwareDevice::CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format,
                                      D3DPOOL pool, IDirect3DTexture8** out) {
  Record("CreateTexture", Fmt("%u %u %u %u %u %u", width, height, levels, usage, unsigned(format), unsigned(pool)));
  if (!out) return D3DERR_INVALIDCALL;
  *out = nullptr;
  if (width == 0 || height == 0 || width > caps_.MaxTextureWidth || height > caps_.MaxTextureHeight ||
      levels > 1 || (format != D3DFMT_A8R8G8B8 && format != D3DFMT_X8R8G8B8))
    return D3DERR_INVALIDCALL;
  *out = new (std::nothrow) detail::Texture(width, height, format);
  return *out ? D3D_OK : E_OUTOFMEMORY;
}

HRESULT SoftwareDevice::SetVertexShader(DWORD handle) {
  Record("SetVertexShader", Fmt("%u", handle));
  fvf_ = handle;
  return D3D_OK;
}

HRESULT SoftwareDevice::GetVertexShader(DWORD* handle) {
  Record("GetVertexShader", Ptr(handle));
  if (!handle) return D3DERR_INVALIDCALL;
  *handle = fvf_;
  return D3D_OK;
}

HRESULT SoftwareDevice::SetStreamSource(UINT number, IDirect3DVertexBuffer8* vb, UINT stride) {
  Record("SetStreamSource", Fmt("%u %s %u", number, Ptr(vb), stride));
  if (number != 0) return D3DERR_INVALIDCALL;
  if (vb) vb->AddRef();
  if (stream_) stream_->Release();
  stream_ = vb;
  streamStride_ = stride;
  return D3D_OK;
}

HRESULT SoftwareDevice::GetStreamSource(UINT number, IDirect3DVertexBuffer8** vb, UINT* stride) {
  Record("GetStreamSource", Fmt("%u", number));
  if (number != 0 || !vb || !stride) return D3DERR_INVALIDCALL;
  *vb = stream_;
  if (stream_) stream_->AddRef();
  *stride = streamStride_;
  return D3D_OK;
}

HRESULT SoftwareDevice::SetIndices(IDirect3DIndexBuffer8* ib, UINT base) {
  Record("SetIndices", Fmt("%s %u", Ptr(ib), base));
  if (ib) ib->AddRef();
  if (indices_) indices_->Release();
  indices_ = ib;
  baseVertexIndex_ = base;
  return D3D_OK;
}

HRESULT SoftwareDevice::GetIndices(IDirect3DIndexBuffer8** ib, UINT* base) {
  Record("GetIndices", "");
  if (!ib || !base) return D3DERR_INVALIDCALL;
  *ib = indices_;
  if (indices_) indices_->AddRef();
  *base = baseVertexIndex_;
  return D3D_OK;
}

// --- draws ------------------------------------------------------------------------------------------

namespace {

// Number of vertices or indices a primitive list of `count` primitives uses.
uint64_t ElementsFor(D3DPRIMITIVETYPE type, UINT count) {
  switch (type) {
    case D3DPT_POINTLIST: return count;
    case D3DPT_LINELIST: return uint64_t(count) * 2;
    case D3DPT_LINESTRIP: return count ? uint64_t(count) + 1 : 0;
    case D3DPT_TRIANGLELIST: return uint64_t(count) * 3;
    case D3DPT_TRIANGLESTRIP:
    case D3DPT_TRIANGLEFAN: return count ? uint64_t(count) + 2 : 0;
  }
  return 0;
}

bool KnownType(D3DPRIMITIVETYPE t) { return t >= D3DPT_POINTLIST && t <= D3DPT_TRIANGLEFAN; }

}  // namespace

HRESULT SoftwareDevice::DrawPrimitive(D3DPRIMITIVETYPE type, UINT start, UINT count) {
  Record("DrawPrimitive", Fmt("%u %u %u", unsigned(type), start, count));
  if (!KnownType(type)) return Refuse("DrawPrimitive", "unknown primitive type");
  if (!stream_) return Refuse("DrawPrimitive", "no stream source");
  auto* vb = static_cast<detail::VertexBuffer*>(stream_);
  if (vb->IsLocked()) return Refuse("DrawPrimitive", "vertex buffer is locked");
  const UINT stride = streamStride_;
  if (stride == 0) return Refuse("DrawPrimitive", "stride 0");
  uint64_t have = vb->Bytes().size() / stride;
  uint64_t need = ElementsFor(type, count);
  if (uint64_t(start) + need > have) return Refuse("DrawPrimitive", "vertex range beyond the stream");
  if (count == 0) return D3D_OK;
  return DrawCore(type, count, vb->Bytes().data() + size_t(start) * stride, UINT(need), stride, nullptr, false, 0);
}

HRESULT SoftwareDevice::DrawIndexedPrimitive(D3DPRIMITIVETYPE type, UINT minIndex, UINT numVertices,
                                             UINT startIndex, UINT count) {
  Record("DrawIndexedPrimitive", Fmt("%u %u %u %u %u", unsigned(type), minIndex, numVertices, startIndex, count));
  if (!KnownType(type)) return Refuse("DrawIndexedPrimitive", "unknown primitive type");
  if (!stream_) return Refuse("DrawIndexedPrimitive", "no stream source");
  if (!indices_) return Refuse("DrawIndexedPrimitive", "no index buffer");
  auto* vb = static_cast<detail::VertexBuffer*>(stream_);
  auto* ib = static_cast<detail::IndexBuffer*>(indices_);
  if (vb->IsLocked() || ib->IsLocked()) return Refuse("DrawIndexedPrimitive", "buffer is locked");
  const UINT stride = streamStride_;
  if (stride == 0) return Refuse("DrawIndexedPrimitive", "stride 0");
  const bool i32 = ib->Format() == D3DFMT_INDEX32;
  const size_t isize = i32 ? 4 : 2;
  uint64_t needIdx = ElementsFor(type, count);
  if (uint64_t(startIndex) + needIdx > ib->Bytes().size() / isize)
    return Refuse("DrawIndexedPrimitive", "index range beyond the index buffer");
  uint64_t have = vb->Bytes().size() / stride;
  if (uint64_t(baseVertexIndex_) + minIndex + numVertices > have)
    return Refuse("DrawIndexedPrimitive", "vertex range beyond the stream");
  if (count == 0) return D3D_OK;
  const uint8_t* idx = ib->Bytes().data() + size_t(startIndex) * isize;
  // Every index must lie in the declared vertex range.
  for (uint64_t k = 0; k < needIdx; ++k) {
    uint32_t v;
    if (i32) std::memcpy(&v, idx + k * 4, 4);
    else {
      uint16_t s;
      std::memcpy(&s, idx + k * 2, 2);
      v = s;
    }
    if (v < minIndex || uint64_t(v) >= uint64_t(minIndex) + numVertices)
      return Refuse("DrawIndexedPrimitive", Fmt("index %u at %" PRIu64 " outside vertices %u..%u", v, k, minIndex,
                                                minIndex + numVertices - 1));
  }
  return DrawCore(type, count, vb->Bytes().data() + size_t(baseVertexIndex_) * stride,
                  UINT(minIndex + numVertices), stride, idx, i32, 0);
}

HRESULT SoftwareDevice::DrawPrimitiveUP(D3DPRIMITIVETYPE type, UINT count, const void* data, UINT stride) {
  Record("DrawPrimitiveUP", Fmt("%u %u %s %u", unsigned(type), count, Ptr(data), stride));
  if (!KnownType(type)) return Refuse("DrawPrimitiveUP", "unknown primitive type");
  if (!data || stride == 0) return Refuse("DrawPrimitiveUP", "no vertex data");
  if (count == 0) return D3D_OK;
  uint64_t need = ElementsFor(type, count);
  if (need > (1u << 24)) return Refuse("DrawPrimitiveUP", "too many primitives");
  return DrawCore(type, count, static_cast<const uint8_t*>(data), UINT(need), stride, nullptr, false, 0);
}

HRESULT SoftwareDevice::DrawIndexedPrimitiveUP(D3DPRIMITIVETYPE type, UINT minIndex, UINT numVertices, UINT count,
                                               const void* indexData, D3DFORMAT format, const void* data,
                                               UINT stride) {
  Record("DrawIndexedPrimitiveUP", Fmt("%u %u %u %u %s %u %s %u", unsigned(type), minIndex, numVertices, count,
                                       Ptr(indexData), unsigned(format), Ptr(data), stride));
  if (!KnownType(type)) return Refuse("DrawIndexedPrimitiveUP", "unknown primitive type");
  if (!data || !indexData || stride == 0) return Refuse("DrawIndexedPrimitiveUP", "no vertex or index data");
  if (format != D3DFMT_INDEX16 && format != D3DFMT_INDEX32) return Refuse("DrawIndexedPrimitiveUP", "index format");
  if (count == 0) return D3D_OK;
  uint64_t needIdx = ElementsFor(type, count);
  if (needIdx > (1u << 24)) return Refuse("DrawIndexedPrimitiveUP", "too many primitives");
  const bool i32 = format == D3DFMT_INDEX32;
  const uint8_t* idx = static_cast<const uint8_t*>(indexData);
  for (uint64_t k = 0; k < needIdx; ++k) {
    uint32_t v;
    if (i32) std::memcpy(&v, idx + k * 4, 4);
    else {
      uint16_t s;
      std::memcpy(&s, idx + k * 2, 2);
      v = s;
    }
    if (v < minIndex || uint64_t(v) >= uint64_t(minIndex) + numVertices)
      return Refuse("DrawIndexedPrimitiveUP", Fmt("index %u outside vertices %u..%u", v, minIndex,
                                                  minIndex + numVertices - 1));
  }
  return DrawCore(type, count, static_cast<const uint8_t*>(data), minIndex + numVertices, stride, idx, i32, 0);
}

HRESULT SoftwareDevice::DrawCore(D3DPRIMITIVETYPE type, UINT count, const uint8_t* vertices, UINT vertexCount,
                                 UINT stride, const void* indices, bool index32, UINT /*baseVertex*/) {
  detail::FvfLayout layout;
  std::string why;
  if (!detail::ParseFvf(fvf_, &layout, &why)) return Refuse("Draw", why);
  if (stride < layout.size) return Refuse("Draw", Fmt("stride %u smaller than the vertex format's %u", stride,
                                                      layout.size));
  detail::PipelineState st;
  st.width = width_;
  st.height = height_;
  st.color = color_.data();
  st.depth = depth_.data();
  st.viewport = viewport_;
  st.view = view_;
  st.projection = projection_;
  st.world = world_.data();
  st.textureTransform = textureTransform_;
  st.rs = renderStates_;
  st.tss = stageStates_;
  for (DWORD s = 0; s < kD3DTextureStageCount; ++s)
    st.textures[s] = textures_[s] ? dynamic_cast<detail::Texture*>(textures_[s]) : nullptr;
  st.material = material_;
  for (size_t i = 0; i < lights_.size(); ++i)
    if (lightEnabled_[i]) st.lights.push_back(lights_[i]);
  primitives_ += count;
  detail::RunPipeline(st, layout, type, count, vertices, vertexCount, stride, indices, index32);
  return D3D_OK;
}

}  // namespace corvane
