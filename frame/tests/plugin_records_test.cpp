// The records a plug-in hands to the host: defaults and the reuse of one declaration record.
#include <gtest/gtest.h>

#include "corvane/channel_type.h"
#include "corvane/plugin.h"
#include "corvane/type_ids.h"

TEST(ChannelTypeRecord, DefaultsAndFieldOrder) {
  ChannelType t;
  EXPECT_EQ(t.hostWord1, 1);
  EXPECT_EQ(t.hostWord2, 50);
  EXPECT_EQ(t.hostWord3, 1);
  EXPECT_EQ(t.hostWord4, 0);
  EXPECT_EQ(t.hostFlag, 0);
  EXPECT_EQ(t.typeId, GUID{});
  EXPECT_EQ(t.baseTypeId, GUID{});
  EXPECT_EQ(offsetof(ChannelType, typeId), 80u);
  EXPECT_EQ(offsetof(ChannelType, baseTypeId), 96u);
  EXPECT_EQ(offsetof(ChannelType, hostWord1), 112u);
  EXPECT_EQ(offsetof(ChannelType, hostFlag), 128u);
}

TEST(ChildCreationRecord, StartsWithMarkerBaseAndZeroLinkId) {
  ChildCreation c;
  EXPECT_EQ(c.childType.baseTypeId, corvane::ids::kChildBaseMarker);
  EXPECT_EQ(c.childType.hostWord1, 1);
  EXPECT_EQ(c.childType.hostWord2, 50);
  EXPECT_EQ(c.childType.hostWord3, 1);
  EXPECT_EQ(c.linkId, GUID{});
  EXPECT_EQ(c.hostWord5, 0);
  EXPECT_EQ(c.hostWord6, 1);
}

TEST(FillTypeRecord, SetsHostWord4OnlyWhenNonZero) {
  ChannelType t;
  t.hostWord4 = 7;  // a value left by an earlier fill stays when the plug-in's value is 0
  corvane::FillTypeRecord(&t, "DX8 MotionSet", corvane::ids::kMotionSet, corvane::ids::kMotionSet, 0, 0);
  EXPECT_STREQ(t.typeName, "DX8 MotionSet");
  EXPECT_EQ(t.hostWord3, 0);
  EXPECT_EQ(t.hostWord4, 7);
  corvane::FillTypeRecord(&t, "DX8 NaturePainter", corvane::ids::kNaturePainter, corvane::ids::kObjectData, 0, 8);
  EXPECT_EQ(t.hostWord4, 8);
}

TEST(FillTypeRecord, CutsAnOverlongNameInsideTheField) {
  ChannelType t;
  std::string longName(200, 'x');
  corvane::FillTypeRecord(&t, longName.c_str(), GUID{}, GUID{}, 1, 0);
  EXPECT_EQ(std::strlen(t.typeName), sizeof(t.typeName) - 1);
}
