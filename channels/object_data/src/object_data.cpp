// Vyn_DX8_ObjectDataChannel: mesh arrays, device buffers, drawing, bounds and texture mapping.
#include "corvane/channels/object_data.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include <nlohmann/json.hpp>

#include "corvane/channels/object_data_properties.h"
#include "corvane/channels/render_context.h"
#include "corvane/chunk_io.h"
#include "corvane/engine_interface.h"
#include "corvane/plugin.h"
#include "corvane/software_device.h"
#include "mesh_builder.h"

namespace {

constexpr const char* kSettingsTag = "ODT1";
constexpr const char* kFilesTag = "ODF1";
constexpr const char* kWorldTag = "ODW1";
constexpr uint32_t kMaxNameBytes = 4096;
constexpr int kMaxVertices = 65535;  // 16-bit indices
constexpr int kMaxIndices = 1 << 24;

void Report(EngineInterface* engine, const std::string& text) {
  if (engine && engine->messageSink1) engine->messageSink1->ShowDebugMessage(text.c_str());
}

bool Finite(const D3DXVECTOR3& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

}  // namespace

Vyn_DX8_ObjectDataChannel::Vyn_DX8_ObjectDataChannel() {
  SetChannelName(kTypeName);
  D3DXMatrixIdentity(&m_WorldMatrix);
}

Vyn_DX8_ObjectDataChannel::~Vyn_DX8_ObjectDataChannel() {
  Vyn_DX8_ObjectDataChannel::Release();
  if (m_pTexture) {
    m_pTexture->Release();
    m_pTexture = nullptr;
  }
}

// --- evaluation ---------------------------------------------------------------------------------

void Vyn_DX8_ObjectDataChannel::CallChannel() {
  UpdateData();
  IDirect3DDevice8* device = m_pRenderContext ? m_pRenderContext->GetDevice() : nullptr;
  if (!device) return;
  D3DXMATRIX world = m_WorldMatrix;
  if (m_Spin != D3DXVECTOR3(0, 0, 0) && engine) {
    const float t = static_cast<float>(engine->GetEngineTime());
    D3DXMATRIX spin;
    D3DXMatrixRotationYawPitchRoll(&spin, m_Spin.y * t, m_Spin.x * t, m_Spin.z * t);
    D3DXMatrixMultiply(&world, &spin, &m_WorldMatrix);
  }
  device->SetTransform(D3DTS_WORLD, &world);
  StreamVertexData();
}

void Vyn_DX8_ObjectDataChannel::DoDependencyInit(Zel_List* list) { Zel_Channel::DoDependencyInit(list); }

void Vyn_DX8_ObjectDataChannel::InvalidateDeviceObjects() {
  if (m_pVertexBuffer) m_pVertexBuffer->Release();
  if (m_pIndexBuffer) m_pIndexBuffer->Release();
  m_pVertexBuffer = nullptr;
  m_pIndexBuffer = nullptr;
  m_bBuffersValid = false;
  if (m_pTexture) m_pTexture->Release();
  m_pTexture = nullptr;
  m_bTextureTried = false;
}

void Vyn_DX8_ObjectDataChannel::Release() {
  ReleaseVertexData();
}

void Vyn_DX8_ObjectDataChannel::ReleaseVertexData() {
  m_iVertexCount = 0;
  m_iIndexCount = 0;
  m_Positions.clear();
  m_Normals.clear();
  m_Colors.clear();
  for (auto& t : m_TUV) t.clear();
  m_Indexes.clear();
  m_bUsePositions = m_bUseNormals = m_bUseColors = false;
  for (bool& b : m_bUseTUV) b = false;
  if (m_pVertexBuffer) m_pVertexBuffer->Release();
  if (m_pIndexBuffer) m_pIndexBuffer->Release();
  m_pVertexBuffer = nullptr;
  m_pIndexBuffer = nullptr;
  m_bBuffersValid = false;
  m_bBoundingBoxValid = false;
}

void Vyn_DX8_ObjectDataChannel::UpdateData() {
  if (m_bGeometryDirty) {
    m_bGeometryDirty = false;
    BuildGeometry();
    SetTimeStamp();
  }
}

void Vyn_DX8_ObjectDataChannel::BuildGeometry() {
  corvane::MeshData mesh;
  std::string error;
  if (!m_MeshFile.empty()) {
    const std::string path =
        m_pRenderContext ? m_pRenderContext->ResolveAssetPath(m_MeshFile.c_str()) : m_MeshFile;
    if (!corvane::LoadObjMesh(path, kMaxVertices, &mesh, &error)) {
      Report(engine, std::string(GetInstanceName()) + " (" + kTypeName + "): mesh " + m_MeshFile + ": " + error);
      mesh = corvane::MeshData();
    }
  } else {
    switch (m_Primitive) {
      case kPrimitiveBox: corvane::MakeBox(m_fSize, &mesh); break;
      case kPrimitiveSphere: corvane::MakeSphere(m_fSize, m_iSegments, &mesh); break;
      case kPrimitiveGrid: corvane::MakeGrid(m_fSize, std::min(m_iSegments, 254), &mesh); break;
      default: return;  // geometry comes from elsewhere (a subclass or the setters)
    }
  }
  Release();
  const int n = static_cast<int>(mesh.positions.size());
  SetVertexCount(n);
  for (int i = 0; i < n; ++i) {
    SetVertexPosition(mesh.positions[i], i);
    if (!mesh.normals.empty()) SetVertexNormal(mesh.normals[i], i);
    if (!mesh.uvs.empty()) SetVertexTUCoord(0, mesh.uvs[i], i);
  }
  SetIndexCount(static_cast<int>(mesh.indices.size()));
  for (size_t i = 0; i < mesh.indices.size(); ++i) SetIndex(mesh.indices[i], i);
  m_PrimitiveType = D3DPT_TRIANGLELIST;
  CalculateTextureCoords();
}

// --- drawing ------------------------------------------------------------------------------------

void Vyn_DX8_ObjectDataChannel::StreamVertexData() {
  IDirect3DDevice8* device = m_pRenderContext ? m_pRenderContext->GetDevice() : nullptr;
  if (!device || m_iVertexCount == 0) return;
  if (!SetDataToStream(0)) return;

  if (!m_pTexture && !m_bTextureTried && !m_TextureFile.empty()) {
    m_bTextureTried = true;
    std::string error;
    const std::string path = m_pRenderContext->ResolveAssetPath(m_TextureFile.c_str());
    if (!corvane::LoadTextureFromPng(device, path, &m_pTexture, &error)) {
      m_pTexture = nullptr;
      Report(engine, std::string(GetInstanceName()) + " (" + kTypeName + "): texture " + m_TextureFile + ": " +
                         error + "; drawn untextured");
    }
  }

  // Save what this draw changes, so that the device is left as the caller set it.
  D3DMATERIAL8 savedMaterial;
  device->GetMaterial(&savedMaterial);
  IDirect3DBaseTexture8* savedTexture = nullptr;
  device->GetTexture(0, &savedTexture);
  static const D3DRENDERSTATETYPE kStates[] = {D3DRS_ALPHABLENDENABLE, D3DRS_SRCBLEND, D3DRS_DESTBLEND,
                                                D3DRS_ZWRITEENABLE};
  DWORD savedStates[4];
  for (int i = 0; i < 4; ++i) device->GetRenderState(kStates[i], &savedStates[i]);
  static const D3DTEXTURESTAGESTATETYPE kStage[] = {D3DTSS_COLOROP,  D3DTSS_COLORARG1, D3DTSS_COLORARG2,
                                                    D3DTSS_ALPHAOP,  D3DTSS_ALPHAARG1, D3DTSS_ALPHAARG2,
                                                    D3DTSS_MAGFILTER, D3DTSS_MINFILTER};
  DWORD savedStage[2][8];
  for (int s = 0; s < 2; ++s)
    for (int i = 0; i < 8; ++i) device->GetTextureStageState(s, kStage[i], &savedStage[s][i]);

  // The material's alpha is that of the caller (a fading painter sets it) times the object's own.
  D3DMATERIAL8 mat = savedMaterial;
  mat.Diffuse = {m_Color.x, m_Color.y, m_Color.z, savedMaterial.Diffuse.a * m_fAlpha};
  mat.Ambient = {m_Color.x, m_Color.y, m_Color.z, 1.0f};
  mat.Emissive = {m_Emissive.x, m_Emissive.y, m_Emissive.z, 0.0f};
  device->SetMaterial(&mat);
  DWORD tfactor = 0xFFFFFFFF;
  device->GetRenderState(D3DRS_TEXTUREFACTOR, &tfactor);

  device->SetTexture(0, m_pTexture);
  if (m_pTexture) {
    // Stage 0: texture times lit colour; stage 1: alpha times the texture factor's alpha.
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
    device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    device->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
    device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
    device->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
    device->SetTextureStageState(0, D3DTSS_ALPHAARG2, D3DTA_DIFFUSE);
    const DWORD filter = m_bBilinear ? D3DTEXF_LINEAR : D3DTEXF_POINT;
    device->SetTextureStageState(0, D3DTSS_MAGFILTER, filter);
    device->SetTextureStageState(0, D3DTSS_MINFILTER, filter);
    device->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    device->SetTextureStageState(1, D3DTSS_COLORARG1, D3DTA_CURRENT);
    device->SetTextureStageState(1, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
    device->SetTextureStageState(1, D3DTSS_ALPHAARG1, D3DTA_CURRENT);
    device->SetTextureStageState(1, D3DTSS_ALPHAARG2, D3DTA_TFACTOR);
  } else {
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
    device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
    device->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_DIFFUSE);
    device->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_DISABLE);
    device->SetTextureStageState(1, D3DTSS_ALPHAOP, D3DTOP_DISABLE);
  }
  // Translucent objects blend over what is behind them.
  const bool translucent = m_bAlphaBlend || mat.Diffuse.a < 1.0f || (m_pTexture && (tfactor >> 24) < 255);
  if (translucent) {
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    device->SetRenderState(D3DRS_ZWRITEENABLE, FALSE);
  }
  DoCustomPreRenderStates();
  StreamTextureMatrices();

  UINT primitives = 0;
  const UINT elements = m_iIndexCount > 0 ? UINT(m_iIndexCount) : UINT(m_iVertexCount);
  switch (m_PrimitiveType) {
    case D3DPT_POINTLIST: primitives = elements; break;
    case D3DPT_LINELIST: primitives = elements / 2; break;
    case D3DPT_LINESTRIP: primitives = elements > 1 ? elements - 1 : 0; break;
    case D3DPT_TRIANGLELIST: primitives = elements / 3; break;
    case D3DPT_TRIANGLESTRIP:
    case D3DPT_TRIANGLEFAN: primitives = elements > 2 ? elements - 2 : 0; break;
  }
  if (primitives > 0) {
    HRESULT hr = m_iIndexCount > 0
                     ? device->DrawIndexedPrimitive(m_PrimitiveType, 0, UINT(m_iVertexCount), 0, primitives)
                     : device->DrawPrimitive(m_PrimitiveType, 0, primitives);
    if (FAILED(hr)) Report(engine, std::string(GetInstanceName()) + " (" + kTypeName + "): draw refused by the device");
  }

  device->SetMaterial(&savedMaterial);
  device->SetTexture(0, savedTexture);
  if (savedTexture) savedTexture->Release();
  for (int i = 0; i < 4; ++i) device->SetRenderState(kStates[i], savedStates[i]);
  for (int s = 0; s < 2; ++s)
    for (int i = 0; i < 8; ++i) device->SetTextureStageState(s, kStage[i], savedStage[s][i]);
}

void Vyn_DX8_ObjectDataChannel::StreamTextureMatrices() {
  IDirect3DDevice8* device = m_pRenderContext ? m_pRenderContext->GetDevice() : nullptr;
  if (!device) return;
  for (int s = 0; s < 4; ++s)
    device->SetTextureStageState(s, D3DTSS_TEXTURETRANSFORMFLAGS, DWORD(m_TextureTransform[s]));
}

bool Vyn_DX8_ObjectDataChannel::CreateVertexBuffer() {
  IDirect3DDevice8* device = m_pRenderContext ? m_pRenderContext->GetDevice() : nullptr;
  if (m_pVertexBuffer) m_pVertexBuffer->Release();
  if (m_pIndexBuffer) m_pIndexBuffer->Release();
  m_pVertexBuffer = nullptr;
  m_pIndexBuffer = nullptr;
  m_bBuffersValid = false;
  if (!device || m_iVertexCount <= 0) return false;

  m_dwFVF = GetFVFlags();
  m_iVertexStride = GetVertexSize();
  const UINT length = UINT(m_iVertexCount) * UINT(m_iVertexStride);
  if (FAILED(device->CreateVertexBuffer(length, D3DUSAGE_WRITEONLY, m_dwFVF, D3DPOOL_MANAGED, &m_pVertexBuffer)) ||
      !m_pVertexBuffer) {
    m_pVertexBuffer = nullptr;
    Report(engine, std::string(GetInstanceName()) + " (" + kTypeName + "): cannot create the vertex buffer");
    return false;
  }
  BYTE* p = nullptr;
  if (FAILED(m_pVertexBuffer->Lock(0, 0, &p, D3DLOCK_DISCARD)) || !p) {
    Report(engine, std::string(GetInstanceName()) + " (" + kTypeName + "): cannot lock the vertex buffer");
    return false;
  }
  const int sets = (m_dwFVF & D3DFVF_TEXCOUNT_MASK) >> D3DFVF_TEXCOUNT_SHIFT;
  for (int i = 0; i < m_iVertexCount; ++i) {
    BYTE* v = p + size_t(i) * m_iVertexStride;
    std::memcpy(v, &m_Positions[i], 12);
    v += 12;
    if (m_bUseNormals) {
      std::memcpy(v, &m_Normals[i], 12);
      v += 12;
    }
    if (m_bUseColors) {
      std::memcpy(v, &m_Colors[i], 4);
      v += 4;
    }
    for (int s = 0; s < sets; ++s) {
      std::memcpy(v, &m_TUV[s][i], 8);
      v += 8;
    }
  }
  m_pVertexBuffer->Unlock();

  if (m_iIndexCount > 0) {
    if (FAILED(device->CreateIndexBuffer(UINT(m_iIndexCount) * 2, D3DUSAGE_WRITEONLY, D3DFMT_INDEX16, D3DPOOL_MANAGED,
                                         &m_pIndexBuffer)) ||
        !m_pIndexBuffer) {
      m_pIndexBuffer = nullptr;
      Report(engine, std::string(GetInstanceName()) + " (" + kTypeName + "): cannot create the index buffer");
      return false;
    }
    if (FAILED(m_pIndexBuffer->Lock(0, 0, &p, D3DLOCK_DISCARD)) || !p) {
      Report(engine, std::string(GetInstanceName()) + " (" + kTypeName + "): cannot lock the index buffer");
      return false;
    }
    std::memcpy(p, m_Indexes.data(), size_t(m_iIndexCount) * 2);
    m_pIndexBuffer->Unlock();
  }
  m_bBuffersValid = true;
  return true;
}

bool Vyn_DX8_ObjectDataChannel::SetDataToStream(int stream) {
  IDirect3DDevice8* device = m_pRenderContext ? m_pRenderContext->GetDevice() : nullptr;
  if (!device) return false;
  if (!m_bBuffersValid || !m_pVertexBuffer) {
    if (!CreateVertexBuffer()) return false;
  }
  if (m_iIndexCount > 0 && !m_pIndexBuffer) return false;
  device->SetVertexShader(m_dwFVF);
  if (FAILED(device->SetStreamSource(UINT(stream), m_pVertexBuffer, UINT(m_iVertexStride)))) return false;
  if (m_pIndexBuffer) device->SetIndices(m_pIndexBuffer, 0);
  return true;
}

void Vyn_DX8_ObjectDataChannel::DoCustomPreRenderStates() {}

// --- arrays ---------------------------------------------------------------------------------------

void Vyn_DX8_ObjectDataChannel::SetVertexCount(int count) {
  if (count < 0) count = 0;
  if (count > kMaxVertices) {
    Report(engine, std::string(GetInstanceName()) + " (" + kTypeName + "): vertex count " + std::to_string(count) +
                       " above 65535, refused");
    count = 0;
  }
  m_iVertexCount = count;
  m_Positions.assign(count, D3DXVECTOR3(0, 0, 0));
  m_Normals.assign(count, D3DXVECTOR3(0, 0, 0));
  m_Colors.assign(count, 0xFFFFFFFF);
  for (auto& t : m_TUV) t.assign(count, D3DXVECTOR2(0, 0));
  m_bUsePositions = count > 0;
  m_bUseNormals = m_bUseColors = false;
  for (bool& b : m_bUseTUV) b = false;
  m_bBuffersValid = false;
  m_bBoundingBoxValid = false;
}

int Vyn_DX8_ObjectDataChannel::GetVertexCount() { return m_iVertexCount; }

void Vyn_DX8_ObjectDataChannel::SetIndexCount(int count) {
  if (count < 0) count = 0;
  if (count > kMaxIndices) {
    Report(engine, std::string(GetInstanceName()) + " (" + kTypeName + "): index count too large, refused");
    count = 0;
  }
  m_iIndexCount = count;
  m_Indexes.assign(count, 0);
  m_bBuffersValid = false;
}

int Vyn_DX8_ObjectDataChannel::GetIndexCount() { return m_iIndexCount; }

bool Vyn_DX8_ObjectDataChannel::SetIndex(unsigned value, unsigned long index) {
  if (index >= m_Indexes.size() || value > 0xFFFF) return false;
  m_Indexes[index] = uint16_t(value);
  m_bBuffersValid = false;
  return true;
}

unsigned Vyn_DX8_ObjectDataChannel::GetIndexes(unsigned long index) {
  return index < m_Indexes.size() ? m_Indexes[index] : 0u;
}

bool Vyn_DX8_ObjectDataChannel::SetVertexPosition(D3DXVECTOR3 position, unsigned long index) {
  if (index >= m_Positions.size()) return false;
  m_Positions[index] = position;
  m_bUsePositions = true;
  m_bBuffersValid = false;
  m_bBoundingBoxValid = false;
  return true;
}

D3DXVECTOR3 Vyn_DX8_ObjectDataChannel::GetVertexPosition(unsigned long index) {
  return index < m_Positions.size() ? m_Positions[index] : D3DXVECTOR3(0, 0, 0);
}

bool Vyn_DX8_ObjectDataChannel::SetVertexNormal(D3DXVECTOR3 normal, unsigned long index) {
  if (index >= m_Normals.size()) return false;
  m_Normals[index] = normal;
  m_bUseNormals = true;
  m_bBuffersValid = false;
  return true;
}

D3DXVECTOR3 Vyn_DX8_ObjectDataChannel::GetVertexNormals(unsigned long index) {
  return index < m_Normals.size() ? m_Normals[index] : D3DXVECTOR3(0, 0, 0);
}

bool Vyn_DX8_ObjectDataChannel::SetVertexTUCoord(int set, D3DXVECTOR2 uv, unsigned long index) {
  if (set < 0 || set > 2 || index >= m_TUV[set].size()) return false;
  m_TUV[set][index] = uv;
  m_bUseTUV[set] = true;
  m_bBuffersValid = false;
  return true;
}

D3DXVECTOR2 Vyn_DX8_ObjectDataChannel::GetVertexTUV(int set, unsigned long index) {
  if (set < 0 || set > 2 || index >= m_TUV[set].size()) return D3DXVECTOR2(0, 0);
  return m_TUV[set][index];
}

bool Vyn_DX8_ObjectDataChannel::SetVertexColor(DWORD color, unsigned long index) {
  if (index >= m_Colors.size()) return false;
  m_Colors[index] = color;
  m_bUseColors = true;
  m_bBuffersValid = false;
  return true;
}

DWORD Vyn_DX8_ObjectDataChannel::GetVertexColor(unsigned long index) {
  return index < m_Colors.size() ? m_Colors[index] : 0u;
}

void Vyn_DX8_ObjectDataChannel::SetPolygonType(D3DPRIMITIVETYPE type) {
  if (type >= D3DPT_POINTLIST && type <= D3DPT_TRIANGLEFAN) m_PrimitiveType = type;
}

D3DPRIMITIVETYPE Vyn_DX8_ObjectDataChannel::GetPolygonType() { return m_PrimitiveType; }

// --- texture coordinates ------------------------------------------------------------------------

void Vyn_DX8_ObjectDataChannel::MapTexture(int set, int mapping, int axis) {
  if (set < 0 || set > 2 || mapping < kTextureMappingNone || mapping > kTextureMappingCubic) return;
  m_TextureMapping[set] = mapping;
  m_TextureMappingAxis[set] = std::clamp(axis, 0, 2);
  switch (mapping) {
    case kTextureMappingPlanar: PlanarTexture(set, m_TextureMappingAxis[set]); break;
    case kTextureMappingSphere: MakeSphereTexture(set); break;
    case kTextureMappingCylinder: MakeCylinderTexture(set, m_TextureMappingAxis[set]); break;
    case kTextureMappingCubic: CubicTexture(set); break;
    default: break;
  }
}

int Vyn_DX8_ObjectDataChannel::GetTextureMapping(int set) { return set >= 0 && set <= 2 ? m_TextureMapping[set] : 0; }

namespace {
float Comp(const D3DXVECTOR3& v, int axis) { return axis == 0 ? v.x : (axis == 1 ? v.y : v.z); }
float SafeDiv(float a, float b) { return std::fabs(b) > 1e-12f ? a / b : 0.0f; }
}  // namespace

void Vyn_DX8_ObjectDataChannel::MakeSphereTexture(int set) {
  if (set < 0 || set > 2 || m_iVertexCount == 0) return;
  MakeObjectSizeBoundrys();
  const D3DXVECTOR3 c = (m_BoundingBoxMin + m_BoundingBoxMax) * 0.5f;
  for (int i = 0; i < m_iVertexCount; ++i) {
    D3DXVECTOR3 d = m_Positions[i] - c;
    float len = D3DXVec3Length(&d);
    float u = 0.5f + std::atan2(d.z, d.x) / (2.0f * 3.14159265f);
    float v = len > 0 ? std::acos(std::clamp(d.y / len, -1.0f, 1.0f)) / 3.14159265f : 0.5f;
    SetVertexTUCoord(set, D3DXVECTOR2(u, v), i);
  }
}

void Vyn_DX8_ObjectDataChannel::MakeCylinderTexture(int set, int axis) {
  if (set < 0 || set > 2 || m_iVertexCount == 0) return;
  MakeObjectSizeBoundrys();
  axis = std::clamp(axis, 0, 2);
  const int a1 = (axis + 1) % 3, a2 = (axis + 2) % 3;
  const D3DXVECTOR3 c = (m_BoundingBoxMin + m_BoundingBoxMax) * 0.5f;
  const float lo = Comp(m_BoundingBoxMin, axis), hi = Comp(m_BoundingBoxMax, axis);
  for (int i = 0; i < m_iVertexCount; ++i) {
    D3DXVECTOR3 d = m_Positions[i] - c;
    float u = 0.5f + std::atan2(Comp(d, a2), Comp(d, a1)) / (2.0f * 3.14159265f);
    float v = SafeDiv(hi - Comp(m_Positions[i], axis), hi - lo);
    SetVertexTUCoord(set, D3DXVECTOR2(u, v), i);
  }
}

void Vyn_DX8_ObjectDataChannel::CubicTexture(int set) {
  if (set < 0 || set > 2 || m_iVertexCount == 0) return;
  MakeObjectSizeBoundrys();
  const D3DXVECTOR3 size = m_BoundingBoxMax - m_BoundingBoxMin;
  for (int i = 0; i < m_iVertexCount; ++i) {
    const D3DXVECTOR3 n = m_bUseNormals ? m_Normals[i] : D3DXVECTOR3(0, 1, 0);
    int axis = 1;
    if (std::fabs(n.x) >= std::fabs(n.y) && std::fabs(n.x) >= std::fabs(n.z)) axis = 0;
    else if (std::fabs(n.z) >= std::fabs(n.y)) axis = 2;
    const int a1 = axis == 0 ? 2 : 0, a2 = axis == 1 ? 2 : 1;
    D3DXVECTOR3 rel = m_Positions[i] - m_BoundingBoxMin;
    SetVertexTUCoord(set, D3DXVECTOR2(SafeDiv(Comp(rel, a1), Comp(size, a1)), 1.0f - SafeDiv(Comp(rel, a2), Comp(size, a2))), i);
  }
}

void Vyn_DX8_ObjectDataChannel::PlanarTexture(int set, int axis) {
  if (set < 0 || set > 2 || m_iVertexCount == 0) return;
  MakeObjectSizeBoundrys();
  axis = std::clamp(axis, 0, 2);
  const int a1 = axis == 0 ? 2 : 0, a2 = axis == 1 ? 2 : 1;
  const D3DXVECTOR3 size = m_BoundingBoxMax - m_BoundingBoxMin;
  for (int i = 0; i < m_iVertexCount; ++i) {
    D3DXVECTOR3 rel = m_Positions[i] - m_BoundingBoxMin;
    SetVertexTUCoord(set, D3DXVECTOR2(SafeDiv(Comp(rel, a1), Comp(size, a1)), 1.0f - SafeDiv(Comp(rel, a2), Comp(size, a2))), i);
  }
}

void Vyn_DX8_ObjectDataChannel::MakeObjectSizeBoundrys() {
  if (m_iVertexCount == 0) {
    m_BoundingBoxMin = m_BoundingBoxMax = D3DXVECTOR3(0, 0, 0);
  } else {
    m_BoundingBoxMin = m_BoundingBoxMax = m_Positions[0];
    for (int i = 1; i < m_iVertexCount; ++i) {
      D3DXVec3Minimize(&m_BoundingBoxMin, &m_BoundingBoxMin, &m_Positions[i]);
      D3DXVec3Maximize(&m_BoundingBoxMax, &m_BoundingBoxMax, &m_Positions[i]);
    }
  }
  m_bBoundingBoxValid = true;
}

bool Vyn_DX8_ObjectDataChannel::GetVertexPositionUse() { return m_bUsePositions; }
bool Vyn_DX8_ObjectDataChannel::GetVertexNormalUse() { return m_bUseNormals; }
bool Vyn_DX8_ObjectDataChannel::GetVertexTUUse(int set) { return set >= 0 && set <= 2 && m_bUseTUV[set]; }
bool Vyn_DX8_ObjectDataChannel::GetVertexColorUse() { return m_bUseColors; }

DWORD Vyn_DX8_ObjectDataChannel::GetFVFlags() {
  DWORD fvf = D3DFVF_XYZ;
  if (m_bUseNormals) fvf |= D3DFVF_NORMAL;
  if (m_bUseColors) fvf |= D3DFVF_DIFFUSE;
  if (m_bUseTUV[2]) fvf |= D3DFVF_TEX3;
  else if (m_bUseTUV[1]) fvf |= D3DFVF_TEX2;
  else if (m_bUseTUV[0]) fvf |= D3DFVF_TEX1;
  return fvf;
}

int Vyn_DX8_ObjectDataChannel::GetVertexSize() { return int(D3DFVFVertexSize(GetFVFlags())); }

void Vyn_DX8_ObjectDataChannel::NormalizeTexture(int set) {
  if (set < 0 || set > 2 || !m_bUseTUV[set] || m_iVertexCount == 0) return;
  D3DXVECTOR2 lo = m_TUV[set][0], hi = lo;
  for (const auto& t : m_TUV[set]) {
    lo.x = std::min(lo.x, t.x), lo.y = std::min(lo.y, t.y);
    hi.x = std::max(hi.x, t.x), hi.y = std::max(hi.y, t.y);
  }
  for (int i = 0; i < m_iVertexCount; ++i) {
    const D3DXVECTOR2 t = m_TUV[set][i];
    SetVertexTUCoord(set, D3DXVECTOR2(SafeDiv(t.x - lo.x, hi.x - lo.x), SafeDiv(t.y - lo.y, hi.y - lo.y)), i);
  }
}

void Vyn_DX8_ObjectDataChannel::RemapTexture(int set) {
  if (set < 0 || set > 2 || !m_bUseTUV[set]) return;
  const VertTUVOffset& o = m_TUVOffset[set];
  for (int i = 0; i < m_iVertexCount; ++i) {
    const D3DXVECTOR2 t = m_TUV[set][i];
    SetVertexTUCoord(set, D3DXVECTOR2(t.x * o.scaleU + o.offsetU, t.y * o.scaleV + o.offsetV), i);
  }
}

void Vyn_DX8_ObjectDataChannel::CalculateTextureCoords() {
  for (int s = 0; s < 3; ++s)
    if (m_TextureMapping[s] != kTextureMappingNone) MapTexture(s, m_TextureMapping[s], m_TextureMappingAxis[s]);
}

VertTUVOffset Vyn_DX8_ObjectDataChannel::GetTUVOffSet(int set) {
  return set >= 0 && set <= 2 ? m_TUVOffset[set] : VertTUVOffset();
}

void Vyn_DX8_ObjectDataChannel::SetTUVOffSet(int set, VertTUVOffset offset) {
  if (set < 0 || set > 2) return;
  if (!std::isfinite(offset.offsetU) || !std::isfinite(offset.offsetV) || !std::isfinite(offset.scaleU) ||
      !std::isfinite(offset.scaleV))
    return;
  m_TUVOffset[set] = offset;
  RemapTexture(set);
}

// --- bounds -------------------------------------------------------------------------------------

D3DXVECTOR3 Vyn_DX8_ObjectDataChannel::GetBoundingBoxMin() {
  if (!m_bBoundingBoxValid) CalculateBoundingBox();
  return m_BoundingBoxMin;
}

D3DXVECTOR3 Vyn_DX8_ObjectDataChannel::GetBoundingBoxMax() {
  if (!m_bBoundingBoxValid) CalculateBoundingBox();
  return m_BoundingBoxMax;
}

void Vyn_DX8_ObjectDataChannel::CalculateBoundingBox() {
  UpdateData();
  MakeObjectSizeBoundrys();
}

bool Vyn_DX8_ObjectDataChannel::GetIfObjectIsVisible() {
  if (!m_pRenderContext || !m_pRenderContext->GetDevice()) return true;
  const D3DXVECTOR3 lo = GetBoundingBoxMin(), hi = GetBoundingBoxMax();
  D3DXMATRIX m;
  D3DXMatrixMultiply(&m, &m_WorldMatrix, m_pRenderContext->GetViewMatrix());
  D3DXMatrixMultiply(&m, &m, m_pRenderContext->GetProjectionMatrix());
  // Outside when all eight corners lie beyond one clip plane.
  int outside[6] = {0, 0, 0, 0, 0, 0};
  for (int k = 0; k < 8; ++k) {
    const D3DXVECTOR3 p(k & 1 ? hi.x : lo.x, k & 2 ? hi.y : lo.y, k & 4 ? hi.z : lo.z);
    const float x = p.x * m._11 + p.y * m._21 + p.z * m._31 + m._41;
    const float y = p.x * m._12 + p.y * m._22 + p.z * m._32 + m._42;
    const float z = p.x * m._13 + p.y * m._23 + p.z * m._33 + m._43;
    const float w = p.x * m._14 + p.y * m._24 + p.z * m._34 + m._44;
    outside[0] += x < -w;
    outside[1] += x > w;
    outside[2] += y < -w;
    outside[3] += y > w;
    outside[4] += z < 0;
    outside[5] += z > w;
  }
  for (int c : outside)
    if (c == 8) return false;
  return true;
}

BoundingBox Vyn_DX8_ObjectDataChannel::GetObjectTransformedMinMaxBox() {
  return GetObjectTransformedMinMaxBox(m_WorldMatrix);
}

BoundingBox Vyn_DX8_ObjectDataChannel::GetObjectTransformedMinMaxBox(D3DXMATRIX matrix) {
  const D3DXVECTOR3 lo = GetBoundingBoxMin(), hi = GetBoundingBoxMax();
  BoundingBox box;
  for (int k = 0; k < 8; ++k) {
    const D3DXVECTOR3 p(k & 1 ? hi.x : lo.x, k & 2 ? hi.y : lo.y, k & 4 ? hi.z : lo.z);
    D3DXVECTOR3 t;
    D3DXVec3TransformCoord(&t, &p, &matrix);
    if (k == 0) box.min = box.max = t;
    D3DXVec3Minimize(&box.min, &box.min, &t);
    D3DXVec3Maximize(&box.max, &box.max, &t);
  }
  return box;
}

void Vyn_DX8_ObjectDataChannel::SetWorldMatrix(D3DXMATRIX matrix) { m_WorldMatrix = matrix; }
D3DXMATRIX Vyn_DX8_ObjectDataChannel::GetWorldMatrix() { return m_WorldMatrix; }

void Vyn_DX8_ObjectDataChannel::SetTextureTransform(int stage, int flags) {
  if (stage >= 0 && stage < 4) m_TextureTransform[stage] = flags;
}
int Vyn_DX8_ObjectDataChannel::GetTextureTransform(int stage) {
  return stage >= 0 && stage < 4 ? m_TextureTransform[stage] : 0;
}

// --- stock settings -------------------------------------------------------------------------------

void Vyn_DX8_ObjectDataChannel::SetPrimitive(int primitive) {
  if (primitive < kPrimitiveNone || primitive > kPrimitiveGrid) return;
  m_Primitive = primitive;
  m_bGeometryDirty = true;
}

void Vyn_DX8_ObjectDataChannel::SetSize(float size) {
  if (!std::isfinite(size) || size <= 0.0f || size > 1e6f) return;
  m_fSize = size;
  m_bGeometryDirty = true;
}

void Vyn_DX8_ObjectDataChannel::SetSegments(int segments) {
  m_iSegments = std::clamp(segments, 1, 256);
  m_bGeometryDirty = true;
}

void Vyn_DX8_ObjectDataChannel::SetColor(D3DXVECTOR3 rgb) {
  if (Finite(rgb)) m_Color = rgb;
}

void Vyn_DX8_ObjectDataChannel::SetAlpha(float alpha) {
  if (std::isfinite(alpha)) m_fAlpha = std::clamp(alpha, 0.0f, 1.0f);
}

void Vyn_DX8_ObjectDataChannel::SetEmissive(D3DXVECTOR3 rgb) {
  if (Finite(rgb)) m_Emissive = rgb;
}

void Vyn_DX8_ObjectDataChannel::SetAlphaBlend(bool on) { m_bAlphaBlend = on; }
void Vyn_DX8_ObjectDataChannel::SetBilinear(bool on) { m_bBilinear = on; }

void Vyn_DX8_ObjectDataChannel::SetSpin(D3DXVECTOR3 r) {
  if (Finite(r)) m_Spin = r;
}

void Vyn_DX8_ObjectDataChannel::SetMeshFile(const std::string& name) {
  m_MeshFile = name.size() < kMaxNameBytes ? name : std::string();
  m_bGeometryDirty = true;
}

void Vyn_DX8_ObjectDataChannel::SetTextureFile(const std::string& name) {
  m_TextureFile = name.size() < kMaxNameBytes ? name : std::string();
  if (m_pTexture) m_pTexture->Release();
  m_pTexture = nullptr;
  m_bTextureTried = false;
}

// --- persistence ----------------------------------------------------------------------------------

namespace {
#pragma pack(push, 1)
struct SettingsRecord {
  int32_t primitive;
  float size;
  int32_t segments;
  float color[3];
  float alpha;
  float emissive[3];
  uint32_t flags;  // bit 0 alpha blend, bit 1 bilinear
  float spin[3];
};
#pragma pack(pop)
}  // namespace

bool Vyn_DX8_ObjectDataChannel::SaveChannel(ZelFileSaver& saver) {
  if (!Zel_Channel::SaveChannel(saver)) return false;
  SettingsRecord r{m_Primitive, m_fSize, m_iSegments, {m_Color.x, m_Color.y, m_Color.z}, m_fAlpha,
                   {m_Emissive.x, m_Emissive.y, m_Emissive.z}, uint32_t((m_bAlphaBlend ? 1 : 0) | (m_bBilinear ? 2 : 0)),
                   {m_Spin.x, m_Spin.y, m_Spin.z}};
  saver.SaveTag(kSettingsTag);
  saver.SaveBlockSize(sizeof r);
  saver.SaveDataToFile(&r, sizeof r);
  saver.SaveTag(kWorldTag);
  saver.SaveBlockSize(sizeof m_WorldMatrix);
  saver.SaveDataToFile(&m_WorldMatrix, sizeof m_WorldMatrix);
  saver.SaveTag(kFilesTag);
  for (const std::string* s : {&m_MeshFile, &m_TextureFile}) {
    saver.SaveBlockSize(uint32_t(s->size() + 1));
    saver.SaveDataToFile(s->c_str(), uint32_t(s->size() + 1));
  }
  return saver.IsGood();
}

bool Vyn_DX8_ObjectDataChannel::LoadChannel(ZelFileLoader& loader, Zel_ChannelGroup* group) {
  if (!Zel_Channel::LoadChannel(loader, group)) return false;
  if (loader.GetInfoIfTag(kSettingsTag)) {
    SettingsRecord r;
    if (!loader.CopyTagDataToPointer(&r, sizeof r)) return false;
    SetPrimitive(r.primitive);
    SetSize(r.size);
    SetSegments(r.segments);
    SetColor({r.color[0], r.color[1], r.color[2]});
    SetAlpha(r.alpha);
    SetEmissive({r.emissive[0], r.emissive[1], r.emissive[2]});
    m_bAlphaBlend = (r.flags & 1) != 0;
    m_bBilinear = (r.flags & 2) != 0;
    SetSpin({r.spin[0], r.spin[1], r.spin[2]});
  }
  if (loader.GetInfoIfTag(kWorldTag)) {
    D3DXMATRIX m;
    if (!loader.CopyTagDataToPointer(&m, sizeof m)) return false;
    m_WorldMatrix = m;
  }
  if (loader.GetInfoIfTag(kFilesTag)) {
    std::string names[2];
    for (std::string& n : names) {
      char buf[kMaxNameBytes];
      const uint32_t size = loader.GetSizeDataBlock(false);
      if (size == 0 || size > kMaxNameBytes || !loader.CopyTagDataToPointer(buf, sizeof buf)) return false;
      buf[size - 1] = '\0';
      n = buf;
    }
    if (!names[0].empty()) SetMeshFile(names[0]);
    SetTextureFile(names[1]);
  }
  return !loader.HasError();
}

// --- property table and data hook -------------------------------------------------------------

namespace corvane {

const PropertyTable* ObjectDataPropertyTable() {
  using OD = Vyn_DX8_ObjectDataChannel;
  static const PropertyTable table = [] {
    PropertyTable t;
    t.properties.push_back(MakeProperty<OD, ObjectPrimitive>(
        "Primitive", [](OD& c) { return ObjectPrimitive(c.GetPrimitive()); },
        [](OD& c, ObjectPrimitive v) { c.SetPrimitive(v); }, {"None", "Box", "Sphere", "Grid"}));
    t.properties.push_back(MakeProperty<OD, float>("Size", [](OD& c) { return c.GetSize(); },
                                                   [](OD& c, float v) { c.SetSize(v); }));
    t.properties.push_back(MakeProperty<OD, int32_t>("Segments", [](OD& c) { return int32_t(c.GetSegments()); },
                                                     [](OD& c, int32_t v) { c.SetSegments(v); }));
    t.properties.push_back(MakeProperty<OD, D3DXVECTOR3>("Color", [](OD& c) { return c.GetColor(); },
                                                         [](OD& c, D3DXVECTOR3 v) { c.SetColor(v); }));
    t.properties.push_back(MakeProperty<OD, float>("Alpha", [](OD& c) { return c.GetAlpha(); },
                                                   [](OD& c, float v) { c.SetAlpha(v); }));
    t.properties.push_back(MakeProperty<OD, D3DXVECTOR3>("Emissive", [](OD& c) { return c.GetEmissive(); },
                                                         [](OD& c, D3DXVECTOR3 v) { c.SetEmissive(v); }));
    t.properties.push_back(MakeProperty<OD, bool>("AlphaBlend", [](OD& c) { return c.GetAlphaBlend(); },
                                                  [](OD& c, bool v) { c.SetAlphaBlend(v); }));
    t.properties.push_back(MakeProperty<OD, bool>("Bilinear", [](OD& c) { return c.GetBilinear(); },
                                                  [](OD& c, bool v) { c.SetBilinear(v); }));
    t.properties.push_back(MakeProperty<OD, D3DXVECTOR3>("Spin", [](OD& c) { return c.GetSpin(); },
                                                         [](OD& c, D3DXVECTOR3 v) { c.SetSpin(v); }));
    t.properties.push_back(MakeProperty<OD, D3DXMATRIX>("WorldMatrix", [](OD& c) { return c.GetWorldMatrix(); },
                                                        [](OD& c, D3DXMATRIX v) { c.SetWorldMatrix(v); }));
    t.applyData = [](Zel_Channel& ch, const std::string& text, std::string* error) {
      return ApplyObjectData(static_cast<OD&>(ch), text, error);
    };
    return t;
  }();
  return &table;
}

bool ApplyObjectData(Vyn_DX8_ObjectDataChannel& channel, const std::string& text, std::string* error) {
  nlohmann::json j = nlohmann::json::parse(text, nullptr, false);
  if (j.is_discarded() || !j.is_object()) {
    if (error) *error = "data must be an object with \"mesh\" and/or \"texture\"";
    return false;
  }
  for (auto it = j.begin(); it != j.end(); ++it) {
    if (it.key() != "mesh" && it.key() != "texture") {
      if (error) *error = "unknown data member \"" + it.key() + "\" (expected \"mesh\" or \"texture\")";
      return false;
    }
    if (!it.value().is_string() || it.value().get<std::string>().size() >= kMaxNameBytes) {
      if (error) *error = "data member \"" + it.key() + "\" must be a file name";
      return false;
    }
  }
  if (j.contains("mesh")) channel.SetMeshFile(j["mesh"].get<std::string>());
  if (j.contains("texture")) channel.SetTextureFile(j["texture"].get<std::string>());
  return true;
}

}  // namespace corvane

CORVANE_PLUGIN(Vyn_DX8_ObjectDataChannel, "DX8 3D ObjectData", "9B6E05F2-D413-47A8-8C5D-F1E24A07B93C",
               "9B6E05F2-D413-47A8-8C5D-F1E24A07B93C", 1, 0)

CORVANE_PROPERTY_TABLE_EXPORT const corvane::PropertyTable* GetPropertyTable() {
  return corvane::ObjectDataPropertyTable();
}
