// Vyn_TimerChannel: the engine's timer channel, fetched as the shared instance "Unique Timers".
//
// Timer 0 is the engine clock: GetTime(0) answers the engine's time since start in frames of
// 1/25 s (EngineInterface::GetEngineTime). Timers 1 ... kTimerCount - 1 are stop watches on the
// same clock: each answers the time since it was last restarted with ResetTimer (since the engine
// started, until then). Motion sets read timer 0 when no time value is linked to them.
// Implemented by the timer plug-in (channels/timer); the file is named after its type identifier.
#pragma once

#include "corvane/zel_channel.h"

class Vyn_TimerChannel : public Zel_Channel {
 public:
  static constexpr const char* kTypeName = "Timer";
  // Instance name under which channels share one timer channel.
  static constexpr const char* kSharedName = "Unique Timers";
  static constexpr int kTimerCount = 16;

  Vyn_TimerChannel();
  ~Vyn_TimerChannel() override;

  // Time of timer `timer` in frames of 1/25 s; 0 for a timer number outside 0 ... kTimerCount - 1
  // and when the channel has no engine.
  virtual float GetTime(int timer);
  // Restarts timer `timer` at 0. Timer 0 is the engine clock and is not restarted (false), nor
  // is a number outside the range.
  virtual bool ResetTimer(int timer);
  virtual int GetTimerCount();

 protected:
  double EngineTime() const;

  double m_Start[kTimerCount] = {};  // engine time at each timer's last restart
};
