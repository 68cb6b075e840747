// Zel_Channel: link declarations, the flat child vector, the per-frame guard, time stamps and the
// dependency list; Zel_ChannelGroup ownership and evaluation.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "corvane/channel_group.h"
#include "corvane/plugin.h"
#include "corvane/type_ids.h"
#include "corvane/zel_channel.h"
#include "corvane/zel_list.h"
#include "scratch_channel.h"
#include "test_support.h"

namespace {

using corvane::ids::kMatrix;
using corvane::ids::kValue;

// Declares its links from a table of entries: >= 0 a single-child link, -1 a many-children link.
class LinkedChannel : public Zel_Channel {
 public:
  explicit LinkedChannel(std::initializer_list<int> positions) {
    corvane::LinkDeclarer d(this);
    int link = 0;
    for (int p : positions) {
      // single links expect values, many links matrices
      d.Declare(link, p < 0 ? "Matrix" : "Value", p < 0 ? kMatrix : kValue, p < 0 ? kManyChildren : link,
                ("Link " + std::to_string(link)).c_str());
      ++link;
    }
  }
};

class CountingChannel : public Zel_Channel {
 public:
  void CallChannel() override { ++calls; }
  int calls = 0;
};

TEST(FlatChildren, SingleAndManyLinksShareOneVector) {
  // single, many, single, many
  LinkedChannel parent({0, -1, 0, -1});
  Zel_Channel a, b, c, d, e;
  EXPECT_EQ(parent.GetChildCount(), 2);  // the two single links, empty
  EXPECT_EQ(parent.GetChild(0), nullptr);

  ASSERT_TRUE(parent.ConnectChild(1, &a));
  ASSERT_TRUE(parent.ConnectChild(1, &b));
  ASSERT_TRUE(parent.ConnectChild(1, &c));
  ASSERT_TRUE(parent.ConnectChild(2, &d));
  ASSERT_TRUE(parent.ConnectChild(3, &e));
  // entries: [link0][a b c][d][e]
  ASSERT_EQ(parent.GetChildCount(), 6);
  // The n-th child of a many link after a single link 0 is entry n + 1.
  for (int n = 0; n < 3; ++n) EXPECT_EQ(parent.GetChild(n + 1), parent.GetChildFromLinkPosition(1, n));
  EXPECT_EQ(parent.GetChild(4), &d);
  EXPECT_EQ(parent.GetChild(5), &e);
  EXPECT_EQ(parent.GetChild(6), nullptr);
  EXPECT_EQ(parent.GetChild(-1), nullptr);
  EXPECT_EQ(parent.GetChildLinkPositionCount(0), 0);
  EXPECT_EQ(parent.GetChildLinkPositionCount(1), 3);
  EXPECT_EQ(parent.GetChildLinkPositionCount(2), 1);
  EXPECT_EQ(parent.GetChildFromLinkPosition(1, 3), nullptr);
  EXPECT_EQ(parent.GetChildFromLinkGuid(kMatrix, 2), &c);  // first link expecting the type
  EXPECT_EQ(parent.GetChildFromLinkGuid(kValue, 0), nullptr);

  // A single link's child is replaced; removing from a many link keeps the order of the rest.
  ASSERT_TRUE(parent.ConnectChild(0, &e));
  ASSERT_TRUE(parent.ConnectChild(0, &a));
  EXPECT_EQ(parent.GetChild(0), &a);
  ASSERT_TRUE(parent.DisconnectChild(1, &b));
  EXPECT_FALSE(parent.DisconnectChild(1, &b));
  EXPECT_EQ(parent.GetChild(1), &a);
  EXPECT_EQ(parent.GetChild(2), &c);
  EXPECT_EQ(parent.GetChild(3), &d);

  parent.DisconnectEverywhere(&a);
  EXPECT_EQ(parent.GetChild(0), nullptr);
  EXPECT_EQ(parent.GetChildLinkPositionCount(1), 1);
  parent.DisconnectAll();
  EXPECT_EQ(parent.GetChildCount(), 2);

  EXPECT_FALSE(parent.ConnectChild(4, &a));
  EXPECT_FALSE(parent.ConnectChild(-1, &a));
  EXPECT_FALSE(parent.ConnectChild(1, nullptr));
  EXPECT_EQ(parent.FindLink("Link 3"), 3);
  EXPECT_EQ(parent.FindLink("Link 9"), -1);
}

TEST(FlatChildren, CopyCarriesDeclarationsNotChildren) {
  LinkedChannel parent({0, -1});
  parent.SetChannelName("Original");
  Zel_Channel a;
  parent.ConnectChild(0, &a);
  parent.ConnectChild(1, &a);
  LinkedChannel copy(parent);
  EXPECT_STREQ(copy.GetChannelName(), "Original");
  EXPECT_EQ(copy.GetLinkCount(), 2);
  EXPECT_EQ(copy.GetChildCount(), 1);
  EXPECT_EQ(copy.GetChild(0), nullptr);
  EXPECT_TRUE(copy.ConnectChild(1, &a));
}

TEST(LinkDeclarer, ReusedRecordKeepsFieldsNotSetAgain) {
  Zel_Channel ch;
  corvane::LinkDeclarer d(&ch);
  d.Record().hostWord6 = 0;
  d.Declare(0, "DX8 3D ObjectData", corvane::ids::kObjectData, 0, "A Rather Long Link Name");
  d.Declare(1, "Value", kValue, kManyChildren, "Short");
  const ChildCreation* first = ch.GetLinkDeclaration(0);
  const ChildCreation* second = ch.GetLinkDeclaration(1);
  ASSERT_TRUE(first && second);
  EXPECT_EQ(first->linkPosition, 0);
  EXPECT_EQ(second->linkPosition, kManyChildren);
  EXPECT_EQ(second->childType.typeId, kValue);
  EXPECT_EQ(second->childType.baseTypeId, corvane::ids::kChildBaseMarker);
  EXPECT_EQ(second->linkId, GUID{});
  EXPECT_EQ(second->hostWord6, 0);
  EXPECT_EQ(second->childType.hostWord1, 1);
  EXPECT_EQ(second->childType.hostWord2, 50);
  // The shorter second names leave the first's bytes after their terminators.
  EXPECT_STREQ(second->linkName, "Short");
  EXPECT_EQ(std::memcmp(second->linkName + 6, "er Long Link Name", 18), 0);
  EXPECT_STREQ(second->childType.typeName, "Value");
  EXPECT_EQ(std::memcmp(second->childType.typeName + 6, " ObjectData", 12), 0);
}

TEST(Channel, CheckRenderCountOncePerEngineFrame) {
  corvane::host::Engine engine;
  Zel_Channel a, b;
  ASSERT_EQ(a.engine, &engine);
  EXPECT_TRUE(a.CheckRenderCount());
  EXPECT_FALSE(a.CheckRenderCount());
  EXPECT_TRUE(b.CheckRenderCount());  // each channel keeps its own count
  engine.AdvanceFrame(0.5f);
  EXPECT_TRUE(a.CheckRenderCount());
  EXPECT_FALSE(a.CheckRenderCount());
  engine.AdvanceFrame();
  engine.AdvanceFrame();
  EXPECT_TRUE(a.CheckRenderCount());
  EXPECT_EQ(engine.GetFrameNumber(), 3);
  EXPECT_DOUBLE_EQ(engine.GetEngineTime(), 2.5);
  EXPECT_FLOAT_EQ(engine.GetFrameElapsed(), 1.0f);
}

TEST(Channel, TimeStampsAreNewEveryTimeAcrossChannels) {
  Zel_Channel a, b;
  EXPECT_EQ(a.GetTimeStamp(), 0u);
  a.SetTimeStamp();
  const unsigned long s1 = a.GetTimeStamp();
  b.SetTimeStamp();
  const unsigned long s2 = b.GetTimeStamp();
  a.SetTimeStamp();
  const unsigned long s3 = a.GetTimeStamp();
  EXPECT_NE(s1, 0u);
  EXPECT_LT(s1, s2);
  EXPECT_LT(s2, s3);
}

TEST(Channel, DependencyListHoldsEachTypeOnceWithStablePointers) {
  Zel_List list;
  Zel_Channel ch;
  {
    GUID temporary = kMatrix;  // the list must not keep this address
    ch.AddChannelGuidDepend(temporary, &list);
    ch.AddChannelGuidDepend(kValue, &list);
    ch.AddChannelGuidDepend(temporary, &list);
    temporary = GUID{};
  }
  ASSERT_EQ(list.GetItemCount(), 2);
  EXPECT_EQ(*static_cast<GUID*>(list.GetItem(0)), kMatrix);
  EXPECT_EQ(*static_cast<GUID*>(list.GetItem(1)), kValue);
  ch.AddChannelGuidDepend(kMatrix, nullptr);  // ignored
}

TEST(ChannelGroup, OwnsChannelsEvaluatesRootsAndUnlinksOnRemove) {
  auto engine = corvane::test::MakeEngine();
  {
    Zel_ChannelGroup group(engine.get());
    auto* parent = group.CreateChannel(kScratchType);
    Zel_Channel* value = group.CreateChannel(kValue);
    ASSERT_TRUE(parent && value);
    EXPECT_EQ(group.CreateChannel(corvane::ids::kNavGraph), nullptr);
    EXPECT_EQ(value->GetChannelGroup(), &group);
    auto* counter = new CountingChannel;
    group.AddChannel(counter);
    group.AddRoot(counter);
    group.AddRoot(counter);
    parent->ConnectChild(0, value);
    const int before = group.GetTreeCalculateCount();
    group.Evaluate();
    EXPECT_NE(group.GetTreeCalculateCount(), before);
    EXPECT_EQ(counter->calls, 2);
    EXPECT_TRUE(group.RemoveChannel(value));
    EXPECT_EQ(parent->GetChild(0), nullptr);
    EXPECT_TRUE(group.RemoveChannel(counter));
    EXPECT_TRUE(group.GetRoots().empty());
    EXPECT_FALSE(group.RemoveChannel(counter));

    // A shared channel is referenced, not owned, and keeps no link to the group's channels.
    Zel_Channel* shared = engine->GetSharedChannel(kScratchType, "group test");
    group.AddChannel(shared, false);
    Zel_Channel* matrix = group.CreateChannel(kMatrix);
    shared->ConnectChild(1, matrix);
    EXPECT_FALSE(group.IsOwned(group.IndexOf(shared)));
  }
  Zel_Channel* shared = engine->GetSharedChannel(kScratchType, "group test");
  EXPECT_EQ(shared->GetChildLinkPositionCount(1), 0);
}

}  // namespace
