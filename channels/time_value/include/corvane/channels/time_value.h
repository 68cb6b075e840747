// Vyn_TimeValueChannel: the engine's time value channel (E1F47A92-8B3D-45C6-A9E0-C27B53D1F048).
// A value channel whose value is the time the engine's last frame advanced the clock by, in
// frames of 1/25 s (EngineInterface::GetFrameElapsed). Channels that integrate over time (the
// particle emitter, the physics body) create a private instance and read GetFloat once per frame.
#pragma once

#include "corvane/channels/value_channel.h"

class Vyn_TimeValueChannel : public Vyn_FloatChannel {
 public:
  static constexpr const char* kTypeName = "Time Value";

  Vyn_TimeValueChannel();
  ~Vyn_TimeValueChannel() override;

  // Remembers the previous value, then reads the elapsed time.
  void CallChannel() override;
  // The elapsed time of the engine's last frame (0 without an engine).
  float GetFloat() override;
  // The elapsed time does not depend on the time asked for.
  float GetValueAtTime(float t) override;
};
