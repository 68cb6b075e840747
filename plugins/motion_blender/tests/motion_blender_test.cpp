// Motion set blender: the blend cases, missing children, rotations and persistence.
#include <vector>

#include "../../motion_set/tests/motion_test_util.h"
#include "corvane/chunk_io.h"
#include "corvane/motion_set_blender.h"
#include "corvane/property.h"
#include "corvane/zel_list.h"

using namespace motion_test;

class MotionBlenderTest : public MotionFixture {
 protected:
  void SetUp() override {
    MotionFixture::SetUp();
    ASSERT_TRUE(engine_.LoadPlugin(PluginPath(corvane::ids::kMotionSetBlender)));
  }
  Vyn_DX8_MotionSetBlender* NewBlender() {
    return Create<Vyn_DX8_MotionSetBlender>(corvane::ids::kMotionSetBlender);
  }
  // A set whose entry 0 holds one key: translation t, rotation q, scale s.
  Vyn_DX8_MatrixInterpolateSet* OneKeySet(D3DXVECTOR3 t, D3DXQUATERNION q, D3DXVECTOR3 s) {
    Vyn_DX8_MatrixInterpolateSet* set = NewSet();
    set->CreateMotionFrame(0, "bone");
    SMatrixKey key = MakeKey(0, t, q, s);
    set->SetMatrixFrames(&key, 1, "bone", false);
    return set;
  }

  void Build() {
    blender = NewBlender();
    a = OneKeySet({0, 0, 0}, RotationY(0.2f), {2, 2, 2});
    b = OneKeySet({2, 4, 6}, RotationY(1.0f), {3, 3, 3});
    value = NewValue(0.5f);
    ASSERT_TRUE(blender->ConnectChild(0, a));
    ASSERT_TRUE(blender->ConnectChild(1, b));
    ASSERT_TRUE(blender->ConnectChild(2, value));
  }

  Vyn_DX8_MotionSetBlender* blender = nullptr;
  Vyn_DX8_MatrixInterpolateSet* a = nullptr;
  Vyn_DX8_MatrixInterpolateSet* b = nullptr;
  Vyn_FloatChannel* value = nullptr;
};

TEST_F(MotionBlenderTest, DeclaresItsTypeAndLinks) {
  const auto* plugin = engine_.FindPlugin(corvane::ids::kMotionSetBlender);
  ASSERT_NE(plugin, nullptr);
  EXPECT_STREQ(plugin->type.typeName, "DX8 MotionSetBlender");
  EXPECT_EQ(plugin->type.baseTypeId, corvane::ids::kMotionSet);
  EXPECT_TRUE(engine_.IsTypeCompatible(corvane::ids::kMotionSetBlender, corvane::ids::kMotionSet));

  Vyn_DX8_MotionSetBlender* blender = NewBlender();
  ASSERT_NE(blender, nullptr);
  EXPECT_STREQ(blender->GetChannelName(), "DX8 MotionSetBlender");
  ASSERT_EQ(blender->GetLinkCount(), 3);
  const char* names[] = {"First Set", "Second Set", "Blend Value"};
  for (int i = 0; i < 3; ++i) {
    EXPECT_STREQ(blender->GetLinkDeclaration(i)->linkName, names[i]);
    EXPECT_EQ(blender->GetLinkDeclaration(i)->linkPosition, i);
  }
  EXPECT_EQ(blender->GetLinkDeclaration(1)->childType.typeId, corvane::ids::kMotionSet);
  EXPECT_STREQ(blender->GetLinkDeclaration(1)->childType.typeName, "DX8 MotionSet");
  EXPECT_EQ(blender->GetLinkDeclaration(2)->childType.typeId, corvane::ids::kValue);

  Zel_List deps;
  blender->DoDependencyInit(&deps);
  ASSERT_EQ(deps.GetItemCount(), 2);
  EXPECT_EQ(*static_cast<const GUID*>(deps.GetItem(0)), corvane::ids::kMotionSet);
  EXPECT_EQ(*static_cast<const GUID*>(deps.GetItem(1)), corvane::ids::kMatrix);

  // Its table carries the motion set's settings.
  const corvane::PropertyTable* table = engine_.GetPropertyTable(corvane::ids::kMotionSetBlender);
  ASSERT_NE(table, nullptr);
  EXPECT_NE(table->Find("TimeScale"), nullptr);
}

TEST_F(MotionBlenderTest, EndsAreExactAndTheMiddleHasUnitScale) {
  Build();
  const D3DXMATRIX ma = a->GetMatrix(0), mb = b->GetMatrix(0);

  value->SetFloat(0.0f);
  EXPECT_EQ(blender->GetMatrix(0), ma);
  EXPECT_EQ(blender->GetCurrentSlerpQuaterion(0), a->GetCurrentSlerpQuaterion(0));
  value->SetFloat(1.0f);
  EXPECT_EQ(blender->GetMatrix(0), mb);
  EXPECT_EQ(blender->GetCurrentSlerpQuaterion(0), b->GetCurrentSlerpQuaterion(0));

  value->SetFloat(0.5f);
  const D3DXMATRIX m = blender->GetMatrix(0);
  EXPECT_NEAR(m._41, 1.0f, 1e-6f);
  EXPECT_NEAR(m._42, 2.0f, 1e-6f);
  EXPECT_NEAR(m._43, 3.0f, 1e-6f);
  const D3DXVECTOR3 scale = corvane::GetRowLengths(m);
  EXPECT_NEAR(scale.x, 1.0f, 1e-5f);
  EXPECT_NEAR(scale.y, 1.0f, 1e-5f);
  EXPECT_NEAR(scale.z, 1.0f, 1e-5f);
  EXPECT_TRUE(RotationNear(blender->GetCurrentSlerpQuaterion(0), RotationY(0.6f), 1e-5f));
  D3DXMATRIX expected;
  D3DXMatrixRotationY(&expected, 0.6f);
  expected._41 = 1;
  expected._42 = 2;
  expected._43 = 3;
  EXPECT_TRUE(MatrixNear(m, expected, 1e-5f));

  // Outside 0 ... 1 the blend extrapolates.
  value->SetFloat(1.5f);
  EXPECT_NEAR(blender->GetMatrix(0)._43, 9.0f, 1e-5f);
}

TEST_F(MotionBlenderTest, DummyOrMissingChildrenFallBackToTheFirstSet) {
  Build();
  const D3DXMATRIX ma = a->GetMatrix(0);

  b->SetDummyMatrix(0, true);
  for (float v : {0.0f, 0.3f, 1.0f, 2.0f}) {
    value->SetFloat(v);
    EXPECT_EQ(blender->GetMatrix(0), ma) << v;
    EXPECT_EQ(blender->GetCurrentSlerpQuaterion(0), a->GetCurrentSlerpQuaterion(0)) << v;
  }
  b->SetDummyMatrix(0, false);

  ASSERT_TRUE(blender->DisconnectChild(2, value));
  EXPECT_EQ(blender->GetMatrix(0), ma) << "no blend value";
  ASSERT_TRUE(blender->ConnectChild(2, value));
  ASSERT_TRUE(blender->DisconnectChild(1, b));
  EXPECT_EQ(blender->GetMatrix(0), ma) << "no second set";
  EXPECT_TRUE(blender->IsValidMatrix(0));
  EXPECT_FALSE(blender->IsValidMatrix(4)) << "the first set's answer";

  // No first set: the identity, valid, and no last key to report.
  ASSERT_TRUE(blender->ConnectChild(1, b));
  ASSERT_TRUE(blender->DisconnectChild(0, a));
  D3DXMATRIX id;
  D3DXMatrixIdentity(&id);
  EXPECT_EQ(blender->GetMatrix(0), id);
  EXPECT_TRUE(blender->IsValidMatrix(0));
  EXPECT_EQ(blender->GetHighestFrameOfQueternion(0), 0u);
  const D3DXQUATERNION unit(0, 0, 0, 1);
  EXPECT_EQ(blender->GetCurrentSlerpQuaterion(0), unit) << "the blended rotation starts as no turn";
}

TEST_F(MotionBlenderTest, BlendersNestAndACycleDoesNotRecurse) {
  Build();
  value->SetFloat(0.5f);
  Vyn_DX8_MotionSetBlender* outer = NewBlender();
  ASSERT_TRUE(outer->ConnectChild(0, blender));
  const D3DXMATRIX inner = blender->GetMatrix(0);
  EXPECT_EQ(outer->GetMatrix(0), inner) << "a blender is a motion set";

  ASSERT_TRUE(blender->ConnectChild(0, outer));  // outer -> blender -> outer
  const D3DXMATRIX m = outer->GetMatrix(0);      // must return
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) EXPECT_TRUE(std::isfinite(m.m[r][c]));
  EXPECT_TRUE(outer->IsValidMatrix(0));
}

TEST_F(MotionBlenderTest, StoresNoMotionSetSettings) {
  Vyn_DX8_MotionSetBlender* blender = NewBlender();
  blender->SetTimeScale(4.0f);
  blender->SetEndFrame(12.0f);
  blender->SetStartFrame(2.0f);
  blender->SetLooping(false);
  ZelFileSaver saver;
  ASSERT_TRUE(blender->SaveChannel(saver));
  EXPECT_TRUE(saver.GetBytes().empty());

  Vyn_DX8_MotionSetBlender* loaded = NewBlender();
  ZelFileLoader loader(saver.GetBytes().data(), saver.GetBytes().size());
  ASSERT_TRUE(loaded->LoadChannel(loader, nullptr));
  EXPECT_EQ(loaded->GetTimeScale(), 1.0f);
  EXPECT_EQ(loaded->GetStartFrame(), 0.0f);
  EXPECT_EQ(loaded->GetEndFrame(), 100.0f);
  EXPECT_TRUE(loaded->GetLooping());
}
