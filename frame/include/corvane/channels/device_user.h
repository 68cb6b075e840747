// Vyn_DX8_D3DDeviceUse: the base of every channel that draws with the Direct3D device. Its
// constructor fetches the engine's shared render context (never owned, never deleted) into
// m_pRenderContext; drawing channels ask that context for the device each time they draw, since
// the device may come and go. Implemented by the device-user library (channels/device_user,
// D8B06E3A-91C7-4A2F-B4E8-3F5C27A91D60); classes deriving from it link that library.
#pragma once

#include "corvane/zel_channel.h"

class Vyn_DX8_RenderContext;

class Vyn_DX8_D3DDeviceUse : public Zel_Channel {
 public:
  Vyn_DX8_D3DDeviceUse();
  ~Vyn_DX8_D3DDeviceUse() override;

  // Frees what depends on the device (buffers, textures); rebuilt at the next use. The base has
  // nothing to free.
  virtual void InvalidateDeviceObjects();
  // Called when the device was lost or replaced: invalidates the device objects.
  virtual void InvalidateDirectGraphics();

  // The shared render context, or null when the engine has none.
  Vyn_DX8_RenderContext* GetRenderContext() const { return m_pRenderContext; }

 protected:
  Vyn_DX8_RenderContext* m_pRenderContext = nullptr;  // shared render context (not owned)
};
