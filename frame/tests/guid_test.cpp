#include <gtest/gtest.h>

#include "corvane/guid.h"
#include "corvane/type_ids.h"

using corvane::GuidToString;
using corvane::ParseGuid;

TEST(Guid, WindowsLayoutAndCanonicalText) {
  constexpr GUID g = corvane::MakeGuid("5C7A2E94-E1D8-4360-B7F5-A82C6D09E31B");
  const uint8_t expected[16] = {0x94, 0x2E, 0x7A, 0x5C, 0xD8, 0xE1, 0x60, 0x43,
                                0xB7, 0xF5, 0xA8, 0x2C, 0x6D, 0x09, 0xE3, 0x1B};
  EXPECT_EQ(0, std::memcmp(&g, expected, 16));
  EXPECT_EQ("5C7A2E94-E1D8-4360-B7F5-A82C6D09E31B", GuidToString(g));
}

TEST(Guid, ParseAcceptsLowerCaseAndBracesAndRejectsMalformedText) {
  GUID g{};
  ASSERT_TRUE(ParseGuid("{0e5c8a27-94f1-4b6d-85a3-7fc20e6d914b}", &g));
  EXPECT_EQ(g, corvane::ids::kMotionSet);

  const GUID before = g;
  for (const char* bad : {"", "0E5C8A27-94F1-4B6D-85A3-7FC20E6D914", "0E5C8A27-94F1-4B6D-85A3-7FC20E6D914BX",
                          "0E5C8A27_94F1-4B6D-85A3-7FC20E6D914B", "0E5C8A27-94F1-4B6D-85A3-7FC20E6D914G",
                          "{0E5C8A27-94F1-4B6D-85A3-7FC20E6D914B"}) {
    EXPECT_FALSE(ParseGuid(bad, &g)) << bad;
    EXPECT_EQ(g, before) << bad;
  }
  EXPECT_FALSE(ParseGuid(nullptr, &g));
}

TEST(Guid, EqualityIsAllSixteenBytes) {
  GUID a = corvane::ids::kValue, b = a;
  EXPECT_EQ(a, b);
  b.Data4[7] ^= 1;
  EXPECT_NE(a, b);
  EXPECT_TRUE(a < b || b < a);
}
