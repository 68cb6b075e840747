#include "corvane/channels/time_value.h"

#include "corvane/channels/value_properties.h"
#include "corvane/engine_interface.h"
#include "corvane/plugin.h"
#include "corvane/property.h"

Vyn_TimeValueChannel::Vyn_TimeValueChannel() { SetChannelName(kTypeName); }

Vyn_TimeValueChannel::~Vyn_TimeValueChannel() = default;

void Vyn_TimeValueChannel::CallChannel() {
  Vyn_FloatChannel::CallChannel();
  GetFloat();
}

float Vyn_TimeValueChannel::GetFloat() {
  EngineInterface* e = engine ? engine : globalEngine;
  m_fValue = e ? e->GetFrameElapsed() : 0.0f;
  return m_fValue;
}

float Vyn_TimeValueChannel::GetValueAtTime(float) { return GetFloat(); }

CORVANE_PLUGIN(Vyn_TimeValueChannel, Vyn_TimeValueChannel::kTypeName,
               "E1F47A92-8B3D-45C6-A9E0-C27B53D1F048", "0B97F3E6-5A1C-4F84-B26D-A9E40C83F51D", 1, 0)

// Its value comes from the engine: nothing of its own to set.
CORVANE_PROPERTY_TABLE_EXPORT const corvane::PropertyTable* GetPropertyTable() {
  static const corvane::PropertyTable table;
  return &table;
}
