#include "corvane/channels/timer_channel.h"

#include "corvane/engine_interface.h"
#include "corvane/plugin.h"
#include "corvane/property.h"
#include "corvane/type_ids.h"

Vyn_TimerChannel::Vyn_TimerChannel() { SetChannelName(kTypeName); }

Vyn_TimerChannel::~Vyn_TimerChannel() = default;

double Vyn_TimerChannel::EngineTime() const {
  EngineInterface* e = engine ? engine : globalEngine;
  return e ? e->GetEngineTime() : 0.0;
}

float Vyn_TimerChannel::GetTime(int timer) {
  if (timer < 0 || timer >= kTimerCount) return 0.0f;
  return static_cast<float>(EngineTime() - m_Start[timer]);
}

bool Vyn_TimerChannel::ResetTimer(int timer) {
  if (timer <= 0 || timer >= kTimerCount) return false;
  m_Start[timer] = EngineTime();
  return true;
}

int Vyn_TimerChannel::GetTimerCount() { return kTimerCount; }

CORVANE_PLUGIN(Vyn_TimerChannel, Vyn_TimerChannel::kTypeName, "1D8E4C53-A75B-4E20-B3F9-4A0C96E2D7B5",
               "1D8E4C53-A75B-4E20-B3F9-4A0C96E2D7B5", 1, 0)

// The timer has no settings: its table is empty and it takes no data.
CORVANE_PROPERTY_TABLE_EXPORT const corvane::PropertyTable* GetPropertyTable() {
  static const corvane::PropertyTable table;
  return &table;
}
