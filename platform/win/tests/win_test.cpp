#include <gtest/gtest.h>

#include "corvane/win.h"

TEST(WinStandIn, PointConversionsRoundTripAndRefuseNull) {
  CorvaneWindow w;
  w.clientLeft = 100;
  w.clientTop = 50;
  POINT p{130, 70};
  ASSERT_TRUE(ScreenToClient(&w, &p));
  EXPECT_EQ(p.x, 30);
  EXPECT_EQ(p.y, 20);
  ASSERT_TRUE(ClientToScreen(&w, &p));
  EXPECT_EQ(p.x, 130);
  EXPECT_EQ(p.y, 70);
  EXPECT_FALSE(ScreenToClient(nullptr, &p));
  EXPECT_FALSE(ClientToScreen(&w, nullptr));
  DWORD a = GetTickCount(), b = GetTickCount();
  EXPECT_LE(b - a, 1000u);
}
