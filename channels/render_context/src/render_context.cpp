// Vyn_DX8_RenderContext: the shared render context with its camera.
#include "corvane/channels/render_context.h"

#include <sys/stat.h>

#include <cmath>
#include <cstring>

#include "corvane/channels/render_context_properties.h"
#include "corvane/chunk_io.h"
#include "corvane/plugin.h"

namespace {
constexpr const char* kCameraTag = "CAM1";
constexpr const char* kClearTag = "CLR1";
constexpr float kPi = 3.14159265f;

bool FileExists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}
bool Finite(const D3DXVECTOR3& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }
}  // namespace

Vyn_DX8_RenderContext::Vyn_DX8_RenderContext() {
  SetChannelName("DX8 RenderContext");
  D3DXMatrixIdentity(&m_World);
  D3DXMatrixIdentity(&m_View);
  D3DXMatrixIdentity(&m_Projection);
}

Vyn_DX8_RenderContext::~Vyn_DX8_RenderContext() {
  if (m_pDevice) m_pDevice->Release();
}

bool Vyn_DX8_RenderContext::SaveChannel(ZelFileSaver& saver) {
  if (!Zel_Channel::SaveChannel(saver)) return false;
  float cam[9] = {m_CameraPosition.x, m_CameraPosition.y, m_CameraPosition.z, m_CameraTarget.x, m_CameraTarget.y,
                  m_CameraTarget.z, m_fCameraFov, m_fNear, m_fFar};
  saver.SaveTag(kCameraTag);
  saver.SaveBlockSize(sizeof cam);
  saver.SaveDataToFile(cam, sizeof cam);
  saver.SaveTag(kClearTag);
  saver.SaveBlockSize(sizeof m_ClearColor);
  saver.SaveDataToFile(&m_ClearColor, sizeof m_ClearColor);
  return saver.IsGood();
}

bool Vyn_DX8_RenderContext::LoadChannel(ZelFileLoader& loader, Zel_ChannelGroup* group) {
  if (!Zel_Channel::LoadChannel(loader, group)) return false;
  if (loader.GetInfoIfTag(kCameraTag)) {
    float cam[9];
    if (!loader.CopyTagDataToPointer(cam, sizeof cam)) return false;
    SetCamera({cam[0], cam[1], cam[2]}, {cam[3], cam[4], cam[5]}, cam[6]);
    SetNearPlane(cam[7]);
    SetFarPlane(cam[8]);
  }
  if (loader.GetInfoIfTag(kClearTag)) {
    DWORD c = m_ClearColor;
    if (!loader.CopyTagDataToPointer(&c)) return false;
    m_ClearColor = c;
  }
  return !loader.HasError();
}

IDirect3DDevice8* Vyn_DX8_RenderContext::GetDevice() { return m_pDevice; }

D3DCAPS8 Vyn_DX8_RenderContext::GetDeviceCaps() {
  D3DCAPS8 caps;
  std::memset(&caps, 0, sizeof caps);
  if (m_pDevice) m_pDevice->GetDeviceCaps(&caps);
  return caps;
}

void Vyn_DX8_RenderContext::SetRenderState(D3DRENDERSTATETYPE state, DWORD value) {
  if (m_pDevice) m_pDevice->SetRenderState(state, value);
}

void Vyn_DX8_RenderContext::SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) {
  if (m_pDevice) m_pDevice->SetTextureStageState(stage, type, value);
}

D3DXMATRIX* Vyn_DX8_RenderContext::GetViewMatrix() {
  if (m_pDevice) m_pDevice->GetTransform(D3DTS_VIEW, &m_View);
  return &m_View;
}

D3DXMATRIX* Vyn_DX8_RenderContext::GetProjectionMatrix() {
  if (m_pDevice) m_pDevice->GetTransform(D3DTS_PROJECTION, &m_Projection);
  return &m_Projection;
}

D3DXMATRIX* Vyn_DX8_RenderContext::GetCurrentWorldMatrix() {
  if (m_pDevice) m_pDevice->GetTransform(D3DTS_WORLD, &m_World);
  return &m_World;
}

HWND Vyn_DX8_RenderContext::GetWindowHandle() { return m_hWindow; }

D3DVIEWPORT8 Vyn_DX8_RenderContext::GetRenderViewport() {
  D3DVIEWPORT8 vp = {0, 0, 640, 480, 0.0f, 1.0f};
  if (m_pDevice) m_pDevice->GetViewport(&vp);
  return vp;
}

D3DXMATRIX Vyn_DX8_RenderContext::GetPixelMatrix() {
  const D3DVIEWPORT8 vp = GetRenderViewport();
  D3DXMATRIX m;
  D3DXMatrixIdentity(&m);
  m._11 = vp.Width * 0.5f;
  m._22 = -(vp.Height * 0.5f);
  m._33 = vp.MaxZ - vp.MinZ;
  m._41 = vp.X + vp.Width * 0.5f;
  m._42 = vp.Y + vp.Height * 0.5f;
  m._43 = vp.MinZ;
  return m;
}

D3DXVECTOR3 Vyn_DX8_RenderContext::ProjectToScreen(D3DXVECTOR3 world) {
  D3DXMATRIX vp;
  D3DXMatrixMultiply(&vp, GetViewMatrix(), GetProjectionMatrix());
  const float x = world.x * vp._11 + world.y * vp._21 + world.z * vp._31 + vp._41;
  const float y = world.x * vp._12 + world.y * vp._22 + world.z * vp._32 + vp._42;
  const float z = world.x * vp._13 + world.y * vp._23 + world.z * vp._33 + vp._43;
  const float w = world.x * vp._14 + world.y * vp._24 + world.z * vp._34 + vp._44;
  // A point at or behind the eye gets a depth outside 0..1, so callers testing the range skip it.
  if (w <= 1e-6f) return D3DXVECTOR3(-1.0f, -1.0f, -1.0f);
  D3DXVECTOR3 ndc(x / w, y / w, z / w), out;
  const D3DXMATRIX px = GetPixelMatrix();
  D3DXVec3TransformCoord(&out, &ndc, &px);
  return out;
}

void Vyn_DX8_RenderContext::SetDevice(IDirect3DDevice8* device, HWND window) {
  if (device) device->AddRef();
  if (m_pDevice) m_pDevice->Release();
  m_pDevice = device;
  m_hWindow = window;
}

void Vyn_DX8_RenderContext::SetCamera(D3DXVECTOR3 position, D3DXVECTOR3 target, float fov) {
  SetCameraPosition(position);
  SetCameraTarget(target);
  SetCameraFov(fov);
}

D3DXVECTOR3 Vyn_DX8_RenderContext::GetCameraPosition() { return m_CameraPosition; }
void Vyn_DX8_RenderContext::SetCameraPosition(D3DXVECTOR3 p) {
  if (Finite(p)) m_CameraPosition = p;
}
D3DXVECTOR3 Vyn_DX8_RenderContext::GetCameraTarget() { return m_CameraTarget; }
void Vyn_DX8_RenderContext::SetCameraTarget(D3DXVECTOR3 t) {
  if (Finite(t)) m_CameraTarget = t;
}
float Vyn_DX8_RenderContext::GetCameraFov() { return m_fCameraFov; }
void Vyn_DX8_RenderContext::SetCameraFov(float fov) {
  if (std::isfinite(fov) && fov > 0.0f && fov < kPi) m_fCameraFov = fov;
}
float Vyn_DX8_RenderContext::GetNearPlane() { return m_fNear; }
void Vyn_DX8_RenderContext::SetNearPlane(float z) {
  if (std::isfinite(z) && z > 0.0f && z < m_fFar) m_fNear = z;
}
float Vyn_DX8_RenderContext::GetFarPlane() { return m_fFar; }
void Vyn_DX8_RenderContext::SetFarPlane(float z) {
  if (std::isfinite(z) && z > m_fNear) m_fFar = z;
}
DWORD Vyn_DX8_RenderContext::GetClearColor() { return m_ClearColor; }
void Vyn_DX8_RenderContext::SetClearColor(DWORD argb) { m_ClearColor = argb; }

void Vyn_DX8_RenderContext::ApplyCamera() {
  D3DXVECTOR3 eye = m_CameraPosition, at = m_CameraTarget, up(0, 1, 0);
  D3DXVECTOR3 dir = at - eye;
  if (D3DXVec3LengthSq(&dir) < 1e-12f) at = eye + D3DXVECTOR3(0, 0, 1), dir = D3DXVECTOR3(0, 0, 1);
  // Looking straight up or down: take z as the up direction.
  D3DXVECTOR3 c;
  D3DXVec3Cross(&c, &up, &dir);
  if (D3DXVec3LengthSq(&c) < 1e-10f * D3DXVec3LengthSq(&dir)) up = D3DXVECTOR3(0, 0, 1);
  D3DXMatrixLookAtLH(&m_View, &eye, &at, &up);
  const D3DVIEWPORT8 vp = GetRenderViewport();
  const float aspect = vp.Height ? float(vp.Width) / float(vp.Height) : 1.0f;
  D3DXMatrixPerspectiveFovLH(&m_Projection, m_fCameraFov, aspect, m_fNear, m_fFar);
  if (m_pDevice) {
    m_pDevice->SetTransform(D3DTS_VIEW, &m_View);
    m_pDevice->SetTransform(D3DTS_PROJECTION, &m_Projection);
  }
}

void Vyn_DX8_RenderContext::BeginFrame() {
  if (m_pDevice) {
    IDirect3DDevice8* d = m_pDevice;
    d->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, m_ClearColor, 1.0f, 0);
    d->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
    d->SetRenderState(D3DRS_ZWRITEENABLE, TRUE);
    d->SetRenderState(D3DRS_ZFUNC, D3DCMP_LESSEQUAL);
    d->SetRenderState(D3DRS_LIGHTING, TRUE);
    d->SetRenderState(D3DRS_AMBIENT, 0xFF404040);
    d->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
    d->SetRenderState(D3DRS_ALPHATESTENABLE, FALSE);
    d->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ONE);
    d->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ZERO);
    d->SetRenderState(D3DRS_CULLMODE, D3DCULL_CCW);
    d->SetRenderState(D3DRS_TEXTUREFACTOR, 0xFFFFFFFF);
    d->SetRenderState(D3DRS_VERTEXBLEND, D3DVBF_DISABLE);
    d->SetRenderState(D3DRS_INDEXEDVERTEXBLENDENABLE, FALSE);
    D3DMATERIAL8 mat = {};
    mat.Diffuse = {1, 1, 1, 1};
    mat.Ambient = {1, 1, 1, 1};
    d->SetMaterial(&mat);
    D3DLIGHT8 light = {};
    light.Type = D3DLIGHT_DIRECTIONAL;
    light.Diffuse = {0.85f, 0.85f, 0.8f, 1};
    D3DXVECTOR3 dir(-0.4f, -1.0f, 0.6f);
    D3DXVec3Normalize(&light.Direction, &dir);
    d->SetLight(0, &light);
    d->LightEnable(0, TRUE);
    D3DXMATRIX id;
    D3DXMatrixIdentity(&id);
    d->SetTransform(D3DTS_WORLD, &id);
    d->SetTexture(0, nullptr);
    d->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
    d->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    d->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_CURRENT);
    d->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
    d->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
    d->SetTextureStageState(0, D3DTSS_ALPHAARG2, D3DTA_CURRENT);
    d->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_DISABLE);
    d->SetTextureStageState(1, D3DTSS_ALPHAOP, D3DTOP_DISABLE);
  }
  ApplyCamera();
}

void Vyn_DX8_RenderContext::AddAssetFolder(const char* folder) {
  if (folder && *folder) m_AssetFolders.emplace_back(folder);
}

std::string Vyn_DX8_RenderContext::ResolveAssetPath(const char* name) {
  if (!name) return std::string();
  std::string n = name;
  if (n.empty() || n[0] == '/' || FileExists(n)) return n;
  for (const std::string& f : m_AssetFolders) {
    std::string p = f + "/" + n;
    if (FileExists(p)) return p;
  }
  return n;
}

namespace corvane {

const PropertyTable* RenderContextPropertyTable() {
  using RC = Vyn_DX8_RenderContext;
  static const PropertyTable table = [] {
    PropertyTable t;
    t.properties.push_back(MakeProperty<RC, D3DXVECTOR3>(
        "CameraPosition", [](RC& c) { return c.GetCameraPosition(); },
        [](RC& c, D3DXVECTOR3 v) { c.SetCameraPosition(v); }));
    t.properties.push_back(MakeProperty<RC, D3DXVECTOR3>(
        "CameraTarget", [](RC& c) { return c.GetCameraTarget(); }, [](RC& c, D3DXVECTOR3 v) { c.SetCameraTarget(v); }));
    t.properties.push_back(MakeProperty<RC, float>(
        "CameraFov", [](RC& c) { return c.GetCameraFov(); }, [](RC& c, float v) { c.SetCameraFov(v); }));
    t.properties.push_back(MakeProperty<RC, float>(
        "NearPlane", [](RC& c) { return c.GetNearPlane(); }, [](RC& c, float v) { c.SetNearPlane(v); }));
    t.properties.push_back(MakeProperty<RC, float>(
        "FarPlane", [](RC& c) { return c.GetFarPlane(); }, [](RC& c, float v) { c.SetFarPlane(v); }));
    t.properties.push_back(MakeProperty<RC, uint32_t>(
        "ClearColor", [](RC& c) { return c.GetClearColor(); }, [](RC& c, uint32_t v) { c.SetClearColor(v); }));
    return t;
  }();
  return &table;
}

}  // namespace corvane

CORVANE_PLUGIN(Vyn_DX8_RenderContext, "DX8 RenderContext", "5E08C4B3-D96A-4F21-B7E5-0A3F8D62C19B",
               "5E08C4B3-D96A-4F21-B7E5-0A3F8D62C19B", 1, 0)

CORVANE_PROPERTY_TABLE_EXPORT const corvane::PropertyTable* GetPropertyTable() {
  return corvane::RenderContextPropertyTable();
}
