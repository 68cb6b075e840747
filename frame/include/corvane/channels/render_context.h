// Vyn_DX8_RenderContext: the engine's shared render context (5E08C4B3-D96A-4F21-B7E5-0A3F8D62C19B).
// One instance per engine, reached through GetSharedChannel and never deleted by its users. It
// hands out the Direct3D device (null while there is none), a copy of its capabilities, state
// setters, the transforms in force, the render window, the viewport and screen projection.
//
// The camera (position, target, vertical field of view) is a setting of the context: a scene sets
// it through the properties "CameraPosition", "CameraTarget" and "CameraFov"; ApplyCamera writes
// the view and projection transforms to the device for the current viewport. `corvane run` gives
// the context its device with SetDevice.
//
// Implemented by the render context plug-in (channels/render_context). Callers outside that
// library use only the virtual operations (no link needed).
#pragma once

#include <string>
#include <vector>

#include "corvane/d3d8.h"
#include "corvane/d3dx_math.h"
#include "corvane/zel_channel.h"

class Vyn_DX8_RenderContext : public Zel_Channel {
 public:
  Vyn_DX8_RenderContext();
  ~Vyn_DX8_RenderContext() override;

  // Chunk "CAM1": camera position, target (3 floats each), field of view, near and far plane;
  // chunk "CLR1": clear colour.
  bool SaveChannel(ZelFileSaver& saver) override;
  bool LoadChannel(ZelFileLoader& loader, Zel_ChannelGroup* group) override;

  // --- what drawing channels call --------------------------------------------------------------
  // The device, or null when there is none.
  virtual IDirect3DDevice8* GetDevice();
  // The device's capabilities (all zero without a device).
  virtual D3DCAPS8 GetDeviceCaps();
  // Sets a render state on the device (nothing without a device).
  virtual void SetRenderState(D3DRENDERSTATETYPE state, DWORD value);
  virtual void SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value);
  // The transforms in force on the device (the last applied ones without a device). The pointers
  // stay valid for the context's life; the matrix is refreshed at every call.
  virtual D3DXMATRIX* GetViewMatrix();
  virtual D3DXMATRIX* GetProjectionMatrix();
  // The world matrix in force: that of the object being evaluated.
  virtual D3DXMATRIX* GetCurrentWorldMatrix();
  // The render window (null when there is none).
  virtual HWND GetWindowHandle();
  // World point -> (pixel x, pixel y, depth 0..1 inside the depth range).
  virtual D3DXVECTOR3 ProjectToScreen(D3DXVECTOR3 world);
  virtual D3DVIEWPORT8 GetRenderViewport();
  // The matrix from projected coordinates (-1..1, y up) to pixels (y down) and the viewport depth.
  virtual D3DXMATRIX GetPixelMatrix();

  // --- what the host and tools call ------------------------------------------------------------
  // Gives the context a device (a reference is added; null removes it) and its window. Drawing
  // channels are told through nothing: they ask for the device at every draw.
  virtual void SetDevice(IDirect3DDevice8* device, HWND window);
  virtual void SetCamera(D3DXVECTOR3 position, D3DXVECTOR3 target, float fovRadians);
  virtual D3DXVECTOR3 GetCameraPosition();
  virtual void SetCameraPosition(D3DXVECTOR3 position);
  virtual D3DXVECTOR3 GetCameraTarget();
  virtual void SetCameraTarget(D3DXVECTOR3 target);
  virtual float GetCameraFov();
  virtual void SetCameraFov(float fovRadians);  // refuses values outside (0, pi)
  virtual float GetNearPlane();
  virtual void SetNearPlane(float z);
  virtual float GetFarPlane();
  virtual void SetFarPlane(float z);
  virtual DWORD GetClearColor();
  virtual void SetClearColor(DWORD argb);
  // Writes the camera's view and a perspective projection for the viewport's aspect to the device.
  virtual void ApplyCamera();
  // Starts a frame: clears colour and depth, puts the default states and light in place (lighting
  // on, one white directional light, depth test on, blending off, texture factor 0xFFFFFFFF,
  // identity world), then ApplyCamera.
  virtual void BeginFrame();
  // Folders tried, in order, for relative file names of assets (meshes, textures).
  virtual void AddAssetFolder(const char* folder);
  // The first existing file among `name` and the asset folders joined with `name`; `name` itself
  // when none exists.
  virtual std::string ResolveAssetPath(const char* name);

 protected:
  IDirect3DDevice8* m_pDevice = nullptr;  // referenced device, or null
  HWND m_hWindow = nullptr;
  D3DXMATRIX m_View;        // last view read or applied
  D3DXMATRIX m_Projection;  // last projection read or applied
  D3DXMATRIX m_World;       // last world read
  D3DXVECTOR3 m_CameraPosition{0, 5, -10};
  D3DXVECTOR3 m_CameraTarget{0, 0, 0};
  float m_fCameraFov = 0.785398f;
  float m_fNear = 0.1f;
  float m_fFar = 1000.0f;
  DWORD m_ClearColor = 0xFF202830;
  std::vector<std::string> m_AssetFolders;
};
