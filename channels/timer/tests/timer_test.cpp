// Timer channel: shared under "Unique Timers", timer 0 follows the engine clock.
#include <gtest/gtest.h>

#include "corvane/channels/timer_channel.h"
#include "corvane/guid.h"
#include "corvane/host/engine.h"
#include "corvane/type_ids.h"

TEST(TimerChannel, SharedInstanceFollowsTheEngineClock) {
  corvane::host::Engine engine;
  engine.GetLogger().SetCapture(true);
  ASSERT_TRUE(engine.LoadPlugin(std::string(CORVANE_TEST_PLUGIN_DIR) + "/" +
                                corvane::GuidToString(corvane::ids::kTimer) + ".so"));
  auto* timers = dynamic_cast<Vyn_TimerChannel*>(
      engine.GetSharedChannel(corvane::ids::kTimer, Vyn_TimerChannel::kSharedName));
  ASSERT_NE(timers, nullptr);
  EXPECT_EQ(engine.GetSharedChannel(corvane::ids::kTimer, "Unique Timers"), timers) << "one shared instance";
  EXPECT_STREQ(timers->GetChannelName(), "Timer");

  EXPECT_EQ(timers->GetTime(0), 0.0f);
  engine.AdvanceFrame(1.0f);
  engine.AdvanceFrame(2.5f);
  EXPECT_FLOAT_EQ(timers->GetTime(0), 3.5f);

  // Stop watches restart on the same clock; timer 0 and numbers outside the range do not.
  EXPECT_FALSE(timers->ResetTimer(0));
  EXPECT_FALSE(timers->ResetTimer(Vyn_TimerChannel::kTimerCount));
  EXPECT_TRUE(timers->ResetTimer(3));
  engine.AdvanceFrame(2.0f);
  EXPECT_FLOAT_EQ(timers->GetTime(3), 2.0f);
  EXPECT_FLOAT_EQ(timers->GetTime(0), 5.5f);
  EXPECT_FLOAT_EQ(timers->GetTime(1), 5.5f);
  EXPECT_EQ(timers->GetTime(-1), 0.0f);
  EXPECT_EQ(timers->GetTime(99), 0.0f);
}
