// The particle beam renderer: one camera-facing quad between every two neighbours of an emitter's
// age chain, written into the object data base's vertex buffer and drawn as one triangle list.
#include "corvane/beam_renderer.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

#include "corvane/channels/object_data_properties.h"
#include "corvane/channels/render_context.h"
#include "corvane/chunk_io.h"
#include "corvane/engine_interface.h"
#include "corvane/particle_emitter.h"
#include "corvane/plugin.h"
#include "corvane/property.h"
#include "corvane/software_device.h"
#include "corvane/type_ids.h"

CORVANE_PLUGIN(Vyn_DX8_ParticleBeamRenderer, Vyn_DX8_ParticleBeamRenderer::kTypeName,
               "47A2D8E5-C609-4F3B-8B71-E5F90A2C6D1E", "9B6E05F2-D413-47A8-8C5D-F1E24A07B93C", 1, 0)

// The emitter is reached only through its virtual operations, so this library does not link the
// emitter's. The sanitizer's dynamic type check would need the emitter's type information at load
// time; it is left out of the functions that call the emitter.
#if defined(__GNUC__)
#define BEAM_CALLS_EMITTER __attribute__((no_sanitize("vptr")))
#else
#define BEAM_CALLS_EMITTER
#endif

namespace {

using tParticle = Vyn_DX8_ParticleEmitter::tParticle;
using BeamVertex = Vyn_DX8_ParticleBeamRenderer::BeamVertex;

constexpr DWORD kBeamFVF = D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_TEX1;
// Longest texture file name the "BMDS" chunk may carry (with its terminator).
constexpr uint32_t kMaxTextureNameBytes = 4096;

void Report(EngineInterface* engine, const char* text, const char* appended = nullptr) {
  if (!engine || !engine->messageSink1) return;
  if (appended) engine->messageSink1->ShowDebugMessage(text, appended);
  else engine->messageSink1->ShowDebugMessage(text);
}

// One colour component 0..1 as a byte, truncated; values outside 0..1 (a colour function may give
// them) are clamped so they cannot spill into the neighbouring component, NaN reads as 0.
inline uint32_t ColorByte(float c) {
  if (!(c > 0.0f)) return 0;
  if (c >= 1.0f) return 255;
  return static_cast<uint32_t>(c * 255.0f);
}

inline uint32_t ParticleColor(const tParticle& p) {
  return (ColorByte(p.color.x) << 16) | (ColorByte(p.color.y) << 8) | ColorByte(p.color.z);
}

// The part of the age chain a beam follows, in age order, written to `order`: from the youngest
// particle along the older links, stopping at a dead particle, at an index outside the slots
// handed out, after `limit` particles (so a damaged chain cannot loop), or at a particle born
// after the one before it.
//
// One exception to the last rule: when the emitter corrects for missing birth periods, the
// particles of one frame are born with back-dated birth times, each one period older than the one
// born before it, so along the chain their birth times rise by one period at a time. A rise of at
// most `period` is therefore followed, and the visited particles are then put in age order (a
// stable sort by birth time, newest first), so that the beam runs from the emitter outwards.
// Without such rises (the common case) the order is the chain's and nothing is sorted.
int CollectChain(const tParticle* pool, int poolCount, int youngest, int limit, uint32_t period,
                 int32_t* order) {
  int m = 0;
  int index = youngest;
  bool rises = false;
  while (index >= 0 && index < poolCount && m < limit) {
    const tParticle& w = pool[index];
    if (w.flags & Vyn_DX8_ParticleEmitter::kParticleDead) break;
    if (m > 0) {
      const uint32_t before = pool[order[m - 1]].birthTime;
      if (before < w.birthTime) {
        if (w.birthTime - before > period) break;
        rises = true;
      }
    }
    order[m++] = index;
    index = w.olderIndex;
  }
  if (rises)
    std::stable_sort(order, order + m,
                     [pool](int32_t x, int32_t y) { return pool[x].birthTime > pool[y].birthTime; });
  return m;
}

// The device states the beam's draw changes besides lighting and the world transform, saved on
// construction and put back on destruction, so that the device is left as the caller set it.
class DrawState {
 public:
  explicit DrawState(IDirect3DDevice8* device) : device_(device) {
    device_->GetTexture(0, &texture_);  // adds a reference, dropped after restoring
    for (int i = 0; i < kStateCount; ++i) device_->GetRenderState(kStates[i], &states_[i]);
    for (int s = 0; s < 2; ++s)
      for (int i = 0; i < kStageCount; ++i) device_->GetTextureStageState(s, kStage[i], &stage_[s][i]);
  }
  ~DrawState() {
    device_->SetTexture(0, texture_);
    if (texture_) texture_->Release();
    for (int i = 0; i < kStateCount; ++i) device_->SetRenderState(kStates[i], states_[i]);
    for (int s = 0; s < 2; ++s)
      for (int i = 0; i < kStageCount; ++i) device_->SetTextureStageState(s, kStage[i], stage_[s][i]);
  }
  DrawState(const DrawState&) = delete;
  DrawState& operator=(const DrawState&) = delete;

 private:
  static constexpr int kStateCount = 5;
  static constexpr D3DRENDERSTATETYPE kStates[kStateCount] = {
      D3DRS_ALPHABLENDENABLE, D3DRS_SRCBLEND, D3DRS_DESTBLEND, D3DRS_ZWRITEENABLE, D3DRS_CULLMODE};
  static constexpr int kStageCount = 8;
  static constexpr D3DTEXTURESTAGESTATETYPE kStage[kStageCount] = {
      D3DTSS_COLOROP, D3DTSS_COLORARG1, D3DTSS_COLORARG2, D3DTSS_ALPHAOP,
      D3DTSS_ALPHAARG1, D3DTSS_ALPHAARG2, D3DTSS_MAGFILTER, D3DTSS_MINFILTER};
  IDirect3DDevice8* device_;
  IDirect3DBaseTexture8* texture_ = nullptr;
  DWORD states_[kStateCount] = {};
  DWORD stage_[2][kStageCount] = {};
};

}  // namespace

// --- construction --------------------------------------------------------------------------------

Vyn_DX8_ParticleBeamRenderer::Vyn_DX8_ParticleBeamRenderer() {
  SetChannelName(kTypeName);
  SetChildCreationCount(1);
  corvane::LinkDeclarer links(this);
  links.Declare(0, Vyn_DX8_ParticleEmitter::kTypeName, corvane::ids::kParticleEmitter, 0,
                "Particle Emitter");
  D3DXMatrixIdentity(&m_Identity);
}

Vyn_DX8_ParticleBeamRenderer::~Vyn_DX8_ParticleBeamRenderer() {
  Reset();
  m_bBuilt = false;
}

void Vyn_DX8_ParticleBeamRenderer::Reset() {
  m_SystemVertices.clear();
  m_SystemVertices.shrink_to_fit();
  m_Order.clear();
  m_Order.shrink_to_fit();
}

void Vyn_DX8_ParticleBeamRenderer::SetHingeOffset(float offset) {
  if (std::isfinite(offset)) m_fHingeOffset = offset;
}

float Vyn_DX8_ParticleBeamRenderer::GetHingeOffset() { return m_fHingeOffset; }

bool Vyn_DX8_ParticleBeamRenderer::GetIfObjectIsVisible() { return true; }

BEAM_CALLS_EMITTER Vyn_DX8_ParticleEmitter* Vyn_DX8_ParticleBeamRenderer::GetEmitter() {
  Zel_Channel* child = GetChild(0);
  if (!child) return nullptr;
  // The link accepts the emitter type and types derived from it; anything else connected there
  // by hand is not read as an emitter.
  const ChannelType type = child->GetChannelType();
  if (type.typeId != corvane::ids::kParticleEmitter &&
      type.baseTypeId != corvane::ids::kParticleEmitter)
    return nullptr;
  return static_cast<Vyn_DX8_ParticleEmitter*>(child);
}

// --- geometry ------------------------------------------------------------------------------------

BEAM_CALLS_EMITTER void Vyn_DX8_ParticleBeamRenderer::CreateParticleObject() {
  Reset();
  m_bBuilt = false;
  Vyn_DX8_ParticleEmitter* emitter = GetEmitter();
  if (!emitter) return;
  emitter->GetParticlePool();  // so that the pool exists
  int n = emitter->GetMaxParticles();
  n = std::clamp(n, 0, 65535);
  m_nBuiltPoolSize = n;
  if (n == 0) return;

  const int vertexCount = 4 * n;
  m_SystemVertices.assign(static_cast<std::size_t>(vertexCount), BeamVertex{0, 0, 0, 0xFFFFFFFFu, 0, 0});
  m_Order.assign(static_cast<std::size_t>(n), -1);
  static const float kU[4] = {0, 1, 0, 1};
  static const float kV[4] = {0, 0, 1, 1};
  for (int i = 0; i < vertexCount; ++i) {
    m_SystemVertices[i].u = kU[i & 3];
    m_SystemVertices[i].v = kV[i & 3];
  }

  ReleaseVertexData();
  // The object data's arrays hold what its 16-bit indices address (up to 16383 quads); the device
  // buffer is built from the system array, which holds every slot.
  if (vertexCount <= 65535) {
    SetVertexCount(vertexCount);
    for (int i = 0; i < vertexCount; ++i) {
      SetVertexPosition(D3DXVECTOR3(0, 0, 0), i);
      SetVertexColor(0xFFFFFFFFu, i);
      SetVertexTUCoord(0, D3DXVECTOR2(kU[i & 3], kV[i & 3]), i);
    }
  }
  // 16-bit indices reach 16384 quads; larger pools draw in batches that reuse these indices.
  const int indexedQuads = std::min(n, kQuadsPerBatch);
  SetIndexCount(6 * indexedQuads);
  for (int k = 0; k < indexedQuads; ++k) {
    const unsigned b = 4u * static_cast<unsigned>(k);
    const unsigned long i = 6ul * static_cast<unsigned long>(k);
    SetIndex(b, i);
    SetIndex(b + 1, i + 1);
    SetIndex(b + 2, i + 2);
    SetIndex(b + 1, i + 3);
    SetIndex(b + 3, i + 4);
    SetIndex(b + 2, i + 5);
  }
  CreateVertexBuffer();
  m_bBuilt = true;
}

BEAM_CALLS_EMITTER int Vyn_DX8_ParticleBeamRenderer::BuildQuads(Vyn_DX8_ParticleEmitter* emitter, const void* poolData,
                                             int poolCount) {
  const tParticle* pool = static_cast<const tParticle*>(poolData);
  if (!pool || m_SystemVertices.empty()) return 0;
  Vyn_DX8_RenderContext* context = GetRenderContext();
  const D3DXMATRIX view = *context->GetViewMatrix();
  const D3DXMATRIX projection = *context->GetProjectionMatrix();
  D3DXMATRIX viewInverse;
  if (!D3DXMatrixInverse(&viewInverse, nullptr, &view)) return 0;

  // Directions of the camera's x and y axes in the world: a corner (x, y) of the beam's plane lies
  // at x·right + y·up from its particle.
  const D3DXVECTOR3 right(viewInverse._11, viewInverse._12, viewInverse._13);
  const D3DXVECTOR3 up(viewInverse._21, viewInverse._22, viewInverse._23);
  // Projected directions are divided by the projection's scales, so that a segment's angle on the
  // screen matches its angle in the view plane whatever the viewport's aspect.
  const float invScaleX = projection._11 != 0.0f ? 1.0f / projection._11 : 1.0f;
  const float invScaleY = projection._22 != 0.0f ? 1.0f / projection._22 : 1.0f;
  const float h = m_fHingeOffset;
  const int limit = std::min({poolCount, m_nBuiltPoolSize, static_cast<int>(m_SystemVertices.size() / 4),
                              static_cast<int>(m_Order.size())});
  BeamVertex* out = m_SystemVertices.data();

  struct Projected {
    float vx, vy, vz;  // view space
    float px, py;      // projected and divided by w
    bool front;        // w > 0: in front of the camera
  };
  auto project = [&](const D3DXVECTOR4& world) {
    Projected r;
    r.vx = world.x * view._11 + world.y * view._21 + world.z * view._31 + view._41;
    r.vy = world.x * view._12 + world.y * view._22 + world.z * view._32 + view._42;
    r.vz = world.x * view._13 + world.y * view._23 + world.z * view._33 + view._43;
    const float cx = r.vx * projection._11 + r.vy * projection._21 + r.vz * projection._31 + projection._41;
    const float cy = r.vx * projection._12 + r.vy * projection._22 + r.vz * projection._32 + projection._42;
    const float cw = r.vx * projection._14 + r.vy * projection._24 + r.vz * projection._34 + projection._44;
    r.front = cw > 1e-6f;
    const float inv = r.front ? 1.0f / cw : 0.0f;
    r.px = cx * inv;
    r.py = cy * inv;
    return r;
  };

  Projected younger{};
  uint32_t youngerColor = 0;
  float youngerHalf = 0.0f;
  // Quad k joins the k-th visited particle w to its younger neighbour (the one visited before).
  auto visit = [&](int k, const tParticle& w) {
    const uint32_t color = ParticleColor(w);
    const Projected a = project(w.drawPosition);
    const float half = w.size.x * 0.5f;
    if (k > 0) {
      const Projected& b = younger;
      const float dx = b.vx - a.vx, dy = b.vy - a.vy;
      const float len = std::sqrt(dx * dx + dy * dy);
      // Direction on the screen from a to b; behind the camera the projection flips, so the
      // view-plane direction is used there.
      float ex = dx, ey = dy;
      if (a.front && b.front) {
        ex = (b.px - a.px) * invScaleX;
        ey = (b.py - a.py) * invScaleY;
      }
      const float el = std::sqrt(ex * ex + ey * ey);
      float c = 1.0f, s = 0.0f;  // atan2(0, 0) = 0
      if (el > 0.0f && std::isfinite(el)) {
        const float inv = 1.0f / el;
        c = ex * inv;
        s = ey * inv;
      }
      const float cornerX[4] = {-h, len + h, -h, len + h};
      const float cornerY[4] = {half, youngerHalf, -half, -youngerHalf};
      const uint32_t cornerColor[4] = {color, youngerColor, color, youngerColor};
      BeamVertex* q = out + 4 * k;
      for (int i = 0; i < 4; ++i) {
        const float rx = cornerX[i] * c - cornerY[i] * s;
        const float ry = cornerX[i] * s + cornerY[i] * c;
        q[i].x = w.drawPosition.x + rx * right.x + ry * up.x;
        q[i].y = w.drawPosition.y + rx * right.y + ry * up.y;
        q[i].z = w.drawPosition.z + rx * right.z + ry * up.z;
        q[i].color = cornerColor[i];
      }
    }
    younger = a;
    youngerColor = color;
    youngerHalf = half;
  };

  // One pass builds while it walks, touching each particle record once. Only a chain whose birth
  // times rise (back-dated births) needs its visits put in age order first: that walk is redone
  // through CollectChain.
  const int youngest = emitter->GetLastParticlePoolIndex();
  const uint32_t period = emitter->GetBirthPeriod();
  int m = 0;
  bool rises = false;
  uint32_t before = 0;
  for (int index = youngest; index >= 0 && index < limit && m < limit;) {
    const tParticle& w = pool[index];
    if (w.flags & Vyn_DX8_ParticleEmitter::kParticleDead) break;
    if (m > 0 && before < w.birthTime) {
      if (w.birthTime - before <= period) rises = true;
      break;
    }
    m_Order[m] = index;
    visit(m, w);
    before = w.birthTime;
    ++m;
    index = w.olderIndex;
  }
  if (rises) {
    m = CollectChain(pool, limit, youngest, limit, period, m_Order.data());
    for (int k = 0; k < m; ++k) visit(k, pool[m_Order[k]]);
  }
  return m;
}

// --- drawing -------------------------------------------------------------------------------------

bool Vyn_DX8_ParticleBeamRenderer::CreateVertexBuffer() {
  if (m_SystemVertices.empty()) return Vyn_DX8_ObjectDataChannel::CreateVertexBuffer();
  Vyn_DX8_RenderContext* context = GetRenderContext();
  IDirect3DDevice8* device = context ? context->GetDevice() : nullptr;
  if (m_pVertexBuffer) m_pVertexBuffer->Release();
  if (m_pIndexBuffer) m_pIndexBuffer->Release();
  m_pVertexBuffer = nullptr;
  m_pIndexBuffer = nullptr;
  m_bBuffersValid = false;
  if (!device) return false;

  const UINT vertexBytes = static_cast<UINT>(m_SystemVertices.size() * sizeof(BeamVertex));
  BYTE* data = nullptr;
  if (FAILED(device->CreateVertexBuffer(vertexBytes, D3DUSAGE_DYNAMIC | D3DUSAGE_WRITEONLY, kBeamFVF,
                                        D3DPOOL_DEFAULT, &m_pVertexBuffer)) ||
      !m_pVertexBuffer || FAILED(m_pVertexBuffer->Lock(0, 0, &data, D3DLOCK_DISCARD)) || !data) {
    if (m_pVertexBuffer) m_pVertexBuffer->Release();
    m_pVertexBuffer = nullptr;
    Report(engine, "DX8 ParticleSpriteBeamRenderer: cannot create the vertex buffer");
    return false;
  }
  std::memcpy(data, m_SystemVertices.data(), vertexBytes);
  m_pVertexBuffer->Unlock();

  const UINT indexCount = static_cast<UINT>(GetIndexCount());
  data = nullptr;
  if (indexCount == 0 ||
      FAILED(device->CreateIndexBuffer(indexCount * 2, D3DUSAGE_WRITEONLY, D3DFMT_INDEX16, D3DPOOL_DEFAULT,
                                       &m_pIndexBuffer)) ||
      !m_pIndexBuffer || FAILED(m_pIndexBuffer->Lock(0, 0, &data, D3DLOCK_DISCARD)) || !data) {
    if (m_pIndexBuffer) m_pIndexBuffer->Release();
    m_pIndexBuffer = nullptr;
    Report(engine, "DX8 ParticleSpriteBeamRenderer: cannot create the index buffer");
    return false;
  }
  std::memcpy(data, m_Indexes.data(), indexCount * 2);
  m_pIndexBuffer->Unlock();
  m_dwFVF = kBeamFVF;
  m_iVertexStride = static_cast<int>(sizeof(BeamVertex));
  m_bBuffersValid = true;
  return true;
}

void Vyn_DX8_ParticleBeamRenderer::StreamTextureMatrices() {
  Vyn_DX8_RenderContext* context = GetRenderContext();
  IDirect3DDevice8* device = context ? context->GetDevice() : nullptr;
  if (!device) return;
  for (int stage = 0; stage < 4; ++stage)
    device->SetTransform(static_cast<D3DTRANSFORMSTATETYPE>(D3DTS_TEXTURE0 + stage), &m_Identity);
}

void Vyn_DX8_ParticleBeamRenderer::EnsureTexture(IDirect3DDevice8* device) {
  if (m_pTexture || m_bTextureTried || m_TextureFile.empty()) return;
  m_bTextureTried = true;
  const std::string path = GetRenderContext()->ResolveAssetPath(m_TextureFile.c_str());
  std::string error;
  if (!corvane::LoadTextureFromPng(device, path, &m_pTexture, &error)) {
    m_pTexture = nullptr;
    Report(engine, "DX8 ParticleSpriteBeamRenderer: cannot load texture: ", error.c_str());
  }
}

void Vyn_DX8_ParticleBeamRenderer::ApplyDrawStates(Vyn_DX8_RenderContext* context, IDirect3DDevice8* device) {
  // Colour: texture times the particles' colours (the colours alone without a texture). Alpha: the
  // texture's (the vertex colours carry none), or the texture factor's without a texture.
  device->SetTexture(0, m_pTexture);
  if (m_pTexture) {
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
    device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    device->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
    device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
    device->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
    const DWORD filter = m_bBilinear ? D3DTEXF_LINEAR : D3DTEXF_POINT;
    device->SetTextureStageState(0, D3DTSS_MAGFILTER, filter);
    device->SetTextureStageState(0, D3DTSS_MINFILTER, filter);
  } else {
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
    device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
    device->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TFACTOR);
  }
  device->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_DISABLE);
  device->SetTextureStageState(1, D3DTSS_ALPHAOP, D3DTOP_DISABLE);

  // The beam is a sheet facing the camera: both of its sides are drawn.
  context->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
  if (m_bAdditiveBlend) {
    // Glow: the beam's colour is added to what is behind it, in any order, without hiding it.
    context->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    context->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ONE);
    context->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
    context->SetRenderState(D3DRS_ZWRITEENABLE, FALSE);
  } else if (m_bAlphaBlend) {
    context->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    context->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    context->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    context->SetRenderState(D3DRS_ZWRITEENABLE, FALSE);
  }
  DoCustomPreRenderStates();
}

BEAM_CALLS_EMITTER void Vyn_DX8_ParticleBeamRenderer::CallChannel() {
  Vyn_DX8_RenderContext* context = GetRenderContext();
  IDirect3DDevice8* device = context ? context->GetDevice() : nullptr;
  if (!device) return;
  Vyn_DX8_ParticleEmitter* emitter = GetEmitter();
  if (!emitter) return;
  const tParticle* pool = emitter->GetParticlePool();
  const int count = emitter->GetParticlePoolCount();

  if (!m_bBuilt || emitter->GetMaxParticles() != m_nBuiltPoolSize) CreateParticleObject();
  if (emitter->GetIsCulling() && !GetIfObjectIsVisible()) return;

  StreamTextureMatrices();
  context->SetTextureStageState(0, D3DTSS_ADDRESSU, D3DTADDRESS_CLAMP);
  context->SetTextureStageState(0, D3DTSS_ADDRESSV, D3DTADDRESS_CLAMP);
  context->SetTextureStageState(1, D3DTSS_ADDRESSU, D3DTADDRESS_CLAMP);
  context->SetTextureStageState(1, D3DTSS_ADDRESSV, D3DTADDRESS_CLAMP);

  const int m = BuildQuads(emitter, pool, count);
  m_nLastVisited = m;

  // World transform to identity (the vertices are in world space) and lighting off; both are put
  // back as they were after the draw.
  const D3DXMATRIX* current = context->GetCurrentWorldMatrix();
  D3DXMATRIX savedWorld = m_Identity;
  if (current) savedWorld = *current;
  DWORD savedLighting = TRUE;
  device->GetRenderState(D3DRS_LIGHTING, &savedLighting);
  device->SetTransform(D3DTS_WORLD, &m_Identity);
  context->SetRenderState(D3DRS_LIGHTING, FALSE);

  if (count != 0 && m > 1) {
    if (!m_pVertexBuffer || !m_bBuffersValid) CreateVertexBuffer();
    bool uploaded = false;
    if (m_pVertexBuffer) {
      BYTE* data = nullptr;
      if (SUCCEEDED(m_pVertexBuffer->Lock(0, 0, &data, D3DLOCK_DISCARD)) && data) {
        // Quads 1 .. m - 1 (slot 0 is never written).
        std::memcpy(data + 4 * sizeof(BeamVertex), m_SystemVertices.data() + 4,
                    static_cast<std::size_t>(m - 1) * 4 * sizeof(BeamVertex));
        m_pVertexBuffer->Unlock();
        uploaded = true;
      }
    }
    if (uploaded && SetDataToStream(0)) {
      DrawState state(device);
      EnsureTexture(device);
      ApplyDrawStates(context, device);

      // Quads 1 .. m - 1, in batches of what 16-bit indices address.
      const int firstQuad = 1, lastQuad = m - 1;
      for (int batchStart = (firstQuad / kQuadsPerBatch) * kQuadsPerBatch; batchStart <= lastQuad;
           batchStart += kQuadsPerBatch) {
        const int from = std::max(firstQuad, batchStart) - batchStart;
        const int to = std::min(lastQuad, batchStart + kQuadsPerBatch - 1) - batchStart;
        const UINT baseVertex = 4u * static_cast<UINT>(batchStart);
        const UINT vertices =
            std::min<UINT>(4u * kQuadsPerBatch, 4u * static_cast<UINT>(m_nBuiltPoolSize) - baseVertex);
        if (baseVertex != 0) device->SetIndices(m_pIndexBuffer, baseVertex);
        if (FAILED(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, vertices, 6u * static_cast<UINT>(from),
                                                2u * static_cast<UINT>(to - from + 1))) &&
            !m_bDrawReported) {
          m_bDrawReported = true;
          Report(engine, "DX8 ParticleSpriteBeamRenderer: the device refused the beam's draw");
        }
      }
      if (lastQuad >= kQuadsPerBatch) device->SetIndices(m_pIndexBuffer, 0);
    }
  }

  context->SetRenderState(D3DRS_LIGHTING, savedLighting);
  device->SetTransform(D3DTS_WORLD, &savedWorld);
}

// --- persistence ---------------------------------------------------------------------------------

bool Vyn_DX8_ParticleBeamRenderer::SaveChannel(ZelFileSaver& saver) {
  if (!Zel_Channel::SaveChannel(saver)) return false;
  saver.SaveTag("GEN1");
  saver.SaveBlockSize(4);
  saver.SaveDataToFile(&m_fHingeOffset, 4);

  const uint8_t additive = m_bAdditiveBlend ? 1 : 0;
  const uint8_t alphaBlend = m_bAlphaBlend ? 1 : 0;
  saver.SaveTag("BMDS");
  saver.SaveBlockSize(1);
  saver.SaveDataToFile(&additive, 1);
  saver.SaveBlockSize(1);
  saver.SaveDataToFile(&alphaBlend, 1);
  const uint32_t nameBytes = static_cast<uint32_t>(m_TextureFile.size() + 1);
  saver.SaveBlockSize(nameBytes);
  saver.SaveDataToFile(m_TextureFile.c_str(), nameBytes);
  return saver.IsGood();
}

bool Vyn_DX8_ParticleBeamRenderer::LoadChannel(ZelFileLoader& loader, Zel_ChannelGroup* group) {
  if (!Zel_Channel::LoadChannel(loader, group)) return false;
  if (loader.GetInfoIfTag("GEN1")) {
    float hinge = m_fHingeOffset;
    if (!loader.CopyTagDataToPointer(&hinge)) return false;
    if (!std::isfinite(hinge)) {
      loader.SetError("GEN1: the hinge offset is not a finite number");
      Report(engine, "DX8 ParticleSpriteBeamRenderer: the hinge offset in the file is not a finite number");
      return false;
    }
    m_fHingeOffset = hinge;
  }
  if (loader.GetInfoIfTag("BMDS")) {
    uint8_t additive = m_bAdditiveBlend, alphaBlend = m_bAlphaBlend;
    if (!loader.CopyTagDataToPointer(&additive) || !loader.CopyTagDataToPointer(&alphaBlend)) return false;
    const uint32_t nameBytes = loader.GetSizeDataBlock(false);
    if (nameBytes == 0 || nameBytes > kMaxTextureNameBytes) {
      loader.SetError("BMDS: the texture name block is missing or longer than 4096 bytes");
      Report(engine, "DX8 ParticleSpriteBeamRenderer: bad texture name in the file");
      return false;
    }
    std::string name(nameBytes, '\0');
    if (!loader.CopyTagDataToPointer(name.data(), nameBytes)) return false;
    name.resize(std::strlen(name.c_str()));
    m_bAdditiveBlend = additive != 0;
    SetAlphaBlend(alphaBlend != 0);
    SetTextureFile(name);
  }
  return true;
}

// --- property table ------------------------------------------------------------------------------

CORVANE_PROPERTY_TABLE_EXPORT const corvane::PropertyTable* GetPropertyTable() {
  using C = Vyn_DX8_ParticleBeamRenderer;
  static const corvane::PropertyTable table = [] {
    corvane::PropertyTable t;
    t.base = corvane::ObjectDataPropertyTable();
    // The beam takes the object data's scene data ({"texture": "file.png"}).
    if (t.base) t.applyData = t.base->applyData;
    t.properties.push_back(corvane::MakeProperty<C, float>(
        "HingeOffset", [](C& c) { return c.GetHingeOffset(); },
        [](C& c, float v) { c.SetHingeOffset(v); }));
    t.properties.push_back(corvane::MakeProperty<C, bool>(
        "AdditiveBlend", [](C& c) { return c.GetAdditiveBlend(); },
        [](C& c, bool v) { c.SetAdditiveBlend(v); }));
    return t;
  }();
  return &table;
}
