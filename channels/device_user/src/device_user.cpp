// Vyn_DX8_D3DDeviceUse: fetches the shared render context at construction.
#include "corvane/channels/device_user.h"

#include "corvane/channels/render_context.h"

#include "corvane/engine_interface.h"
#include "corvane/plugin.h"
#include "corvane/type_ids.h"

Vyn_DX8_D3DDeviceUse::Vyn_DX8_D3DDeviceUse() {
  SetChannelName("DX8 D3DDeviceUse");
  // The context is a channel of the render context plug-in; only its virtual operations are used.
  if (engine)
    m_pRenderContext = static_cast<Vyn_DX8_RenderContext*>(engine->GetSharedChannel(corvane::ids::kRenderContext, nullptr));
}

Vyn_DX8_D3DDeviceUse::~Vyn_DX8_D3DDeviceUse() = default;

void Vyn_DX8_D3DDeviceUse::InvalidateDeviceObjects() {}

void Vyn_DX8_D3DDeviceUse::InvalidateDirectGraphics() { InvalidateDeviceObjects(); }

CORVANE_PLUGIN(Vyn_DX8_D3DDeviceUse, "DX8 D3DDeviceUse", "D8B06E3A-91C7-4A2F-B4E8-3F5C27A91D60",
               "D8B06E3A-91C7-4A2F-B4E8-3F5C27A91D60", 1, 0)
