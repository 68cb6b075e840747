// Motion set: declaration, editing, time mapping, key search and blending.
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "corvane/channels/timer_channel.h"
#include "corvane/channel_group.h"
#include "corvane/host/scene.h"
#include "corvane/property.h"
#include "corvane/zel_list.h"
#include "motion_test_util.h"

using namespace motion_test;

namespace {

// Records what no movement frames report.
class ProbeSet : public Vyn_DX8_MatrixInterpolateSet {
 public:
  void PositionChangeLength(float length) override { reported.push_back(length); }
  std::vector<float> reported;
};

// The first key after p and the one before it, by a plain scan (the reference for the search).
KeySearch ReferenceSearch(const MotionFrame& f, float frame) {
  KeySearch r;
  const int n = f.m_nKeyCount;
  if (n < 2) return r;
  long double p = std::fmod(corvane::FrameToTicks(frame), (long double)f.m_pKeys[n - 1].dwTime);
  for (int i = 0; i < n; ++i)
    if ((long double)f.m_pKeys[i].dwTime > p) {
      r.upper = i;
      r.lower = i ? i - 1 : 0;
      break;
    }
  const long double kl = f.m_pKeys[r.lower].dwTime, ku = f.m_pKeys[r.upper].dwTime;
  if (ku - kl > 0) r.fraction = (float)((p - kl) / (ku - kl));
  return r;
}

}  // namespace

class MotionSetTest : public MotionFixture {
 protected:
  // One frame "Root" whose keys at frames 0 and 100 move x from 0 to 100 and turn about y from 0
  // to 1 radian, so x reads the frame time and the rotation follows it.
  Vyn_DX8_MatrixInterpolateSet* RampSet() {
    Vyn_DX8_MatrixInterpolateSet* set = NewSet();
    set->CreateMotionFrame(0, "Root");
    SMatrixKey keys[2] = {MakeKey(0, {0, 0, 0}, RotationY(0)), MakeKey(19200, {100, 0, 0}, RotationY(1))};
    set->SetMatrixFrames(keys, 2, "Root", false);
    return set;
  }
};

TEST_F(MotionSetTest, DeclaresItsTypeLinksAndDependency) {
  const auto* plugin = engine_.FindPlugin(corvane::ids::kMotionSet);
  ASSERT_NE(plugin, nullptr);
  EXPECT_STREQ(plugin->type.typeName, "DX8 MotionSet");
  EXPECT_EQ(plugin->type.baseTypeId, corvane::ids::kMotionSet);
  EXPECT_EQ(plugin->type.hostWord3, 0);

  Vyn_DX8_MatrixInterpolateSet* set = NewSet();
  ASSERT_NE(set, nullptr);
  EXPECT_STREQ(set->GetChannelName(), "DX8 MotionSet");
  ASSERT_EQ(set->GetLinkCount(), 2);
  EXPECT_STREQ(set->GetLinkDeclaration(0)->linkName, "Time Value");
  EXPECT_EQ(set->GetLinkDeclaration(0)->linkPosition, 0);
  EXPECT_EQ(set->GetLinkDeclaration(0)->childType.typeId, corvane::ids::kValue);
  EXPECT_STREQ(set->GetLinkDeclaration(1)->linkName, "Multiply Matrices");
  EXPECT_EQ(set->GetLinkDeclaration(1)->linkPosition, -1);
  EXPECT_EQ(set->GetLinkDeclaration(1)->childType.typeId, corvane::ids::kMatrix);
  EXPECT_STREQ(set->GetLinkDeclaration(1)->childType.typeName, "Matrix");

  EXPECT_EQ(set->GetTimeScale(), 1.0f);
  EXPECT_EQ(set->GetEndFrame(), 100.0f);
  EXPECT_TRUE(set->GetLooping());
  EXPECT_FALSE(set->GetUseLinearCalculation());
  EXPECT_NE(set->GetTimers(), nullptr);

  Zel_List deps;
  set->DoDependencyInit(&deps);
  ASSERT_EQ(deps.GetItemCount(), 1);
  EXPECT_EQ(*static_cast<const GUID*>(deps.GetItem(0)), corvane::ids::kMatrix);
}

// Start 0, end 100 unless a row says otherwise. x of the result reads the frame time (keys move x
// from 0 to 100 over frames 0 to 100); the closing segment reads as w.
TEST_F(MotionSetTest, TimeMapping) {
  struct Row {
    bool looping;
    float scale, shift, start, end, t;
    float frame;   // expected mapped frame
    bool closing;  // expected in the closing segment
    float x;       // expected translation x
  };
  const Row rows[] = {
      {true, 1, 0, 0, 100, 250, 50, false, 50},
      {true, 1, 0, 0, 100, -25, 25, false, 25},
      {true, 1, 0, 0, 100, 99.5f, 99.5f, true, 49.5f},   // halfway from frame 99 back to 0
      {true, 1, 0, 0, 100, 100, 0, false, 0},            // a whole loop lands on the start
      {true, 2, 10, 0, 100, 20, 50, false, 50},
      {true, 1, 0, 10, 60, 5, 15, false, 15},            // before the start counts forward
      {false, 1, 0, 0, 100, -10, 0, false, 0},           // clamped to the start
      {false, 1, 0, 0, 100, 250, 250, false, 50},        // past the end: keys repeat
      {false, 1, 0, 20, 100, 5, 20, false, 20},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(::testing::Message() << "t=" << r.t << " looping=" << r.looping << " s=" << r.start);
    Vyn_DX8_MatrixInterpolateSet* set = RampSet();
    set->SetLooping(r.looping);
    set->SetTimeScale(r.scale);
    set->SetTimeShift(r.shift);
    set->SetStartFrame(r.start);
    set->SetEndFrame(r.end);
    const D3DXMATRIX m = set->GetMatrixFromTime(r.t, 0);
    EXPECT_NEAR(set->GetCurrentFrame(), r.frame, 1e-3f);
    EXPECT_NEAR(m._41, r.x, 2e-3f);
    if (r.closing) {
      EXPECT_NEAR(set->GetCurrentFraction(), r.frame - (r.end - 1), 1e-4f);
    }
  }
}

TEST_F(MotionSetTest, ClosingSegmentSlerpsFromLastPoseToStartPose) {
  Vyn_DX8_MatrixInterpolateSet* set = RampSet();
  const D3DXMATRIX m = set->GetMatrixFromTime(99.5f, 0);
  // Pose at frame 99: x = 99, 0.99 rad about y; at frame 0: x = 0, no turn. Halfway between.
  D3DXMATRIX expected;
  D3DXMatrixRotationY(&expected, 0.495f);
  expected._41 = 49.5f;
  EXPECT_TRUE(MatrixNear(m, expected, 1e-3f));
  EXPECT_TRUE(RotationNear(set->GetCurrentSlerpQuaterion(0), RotationY(0.495f), 1e-5f));

  // GetFrameNrForQuaternionItem is 0 all through the closing segment, the nearer key elsewhere.
  Vyn_FloatChannel* time = NewValue(99.2f);
  ASSERT_TRUE(set->ConnectChild(0, time));
  EXPECT_EQ(set->GetFrameNrForQuaternionItem(0), 0);
  time->SetFloat(99.9f);
  EXPECT_EQ(set->GetFrameNrForQuaternionItem(0), 0);
  set->SetLooping(false);
  EXPECT_EQ(set->GetFrameNrForQuaternionItem(0), 1);
  time->SetFloat(30);
  EXPECT_EQ(set->GetFrameNrForQuaternionItem(0), 0);
  EXPECT_EQ(set->GetFrameNrForQuaternionItem(5), -1);
}

TEST_F(MotionSetTest, ZeroLengthLoopHoldsTheStartPose) {
  Vyn_DX8_MatrixInterpolateSet* set = RampSet();
  set->SetStartFrame(10);
  set->SetEndFrame(10);
  for (float t : {0.0f, 10.0f, 55.5f, -3.0f, 1e9f, -1e30f}) {
    SCOPED_TRACE(t);
    const D3DXMATRIX m = set->GetMatrixFromTime(t, 0);
    EXPECT_EQ(set->GetCurrentFrame(), 10.0f);
    D3DXMATRIX expected;
    D3DXMatrixRotationY(&expected, 0.1f);
    expected._41 = 10;
    EXPECT_TRUE(MatrixNear(m, expected, 1e-3f));
  }
}

TEST_F(MotionSetTest, FractionAndNearestKey) {
  Vyn_DX8_MatrixInterpolateSet* set = NewSet();
  set->SetLooping(false);
  set->CreateMotionFrame(0, "a");
  SMatrixKey keys[2] = {MakeKey(0, {0, 0, 0}), MakeKey(192, {10, 20, 30}, RotationY(0.5f), {2, 2, 2})};
  set->SetMatrixFrames(keys, 2, "a", false);

  D3DXMATRIX m = set->GetMatrixFromTime(0.5f, 0);
  EXPECT_NEAR(set->GetCurrentFraction(), 0.5f, 1e-5f);
  EXPECT_EQ(set->GetCurrentLowerKey(), 0);
  EXPECT_EQ(set->GetCurrentUpperKey(), 1);
  EXPECT_NEAR(m._42, 10.0f, 1e-3f);

  set->SetUseLinearCalculation(true);
  EXPECT_TRUE(MatrixNear(set->GetMatrixFromTime(0.4f, 0), keys[0].matrix, 1e-5f));
  EXPECT_TRUE(MatrixNear(set->GetMatrixFromTime(0.6f, 0), keys[1].matrix, 1e-5f));
}

TEST_F(MotionSetTest, BinarySearchAgreesWithLinearScan) {
  std::mt19937 rng(7);
  for (int n : {6, 7, 8, 13, 64, 500}) {
    SCOPED_TRACE(n);
    std::vector<SMatrixKey> keys;
    uint32_t t = 0;
    for (int i = 0; i < n; ++i) {
      keys.push_back(MakeKey(t, {float(i), 0, 0}));
      t += rng() % 4 == 0 ? 0 : 1 + rng() % 400;  // repeated times included
    }
    keys.back().dwTime = t + 1;
    MotionFrame frame;
    frame.SetKeys(keys.data(), keys.size());
    const float lastFrame = float(keys.back().dwTime) / 192.0f;
    int mismatches = 0;
    for (float f = -2.0f; f < 2 * lastFrame + 2; f += 0.013f) {
      const KeySearch got = frame.FindKeys(f), want = ReferenceSearch(frame, f);
      if (got.lower != want.lower || got.upper != want.upper || got.fraction != want.fraction) ++mismatches;
    }
    // Every key time itself, where the pair changes.
    for (const SMatrixKey& k : keys) {
      const float f = float(k.dwTime / 192.0);
      for (float g : {std::nextafter(f, -1e9f), f, std::nextafter(f, 1e9f)}) {
        const KeySearch got = frame.FindKeys(g), want = ReferenceSearch(frame, g);
        if (got.lower != want.lower || got.upper != want.upper) ++mismatches;
      }
    }
    EXPECT_EQ(mismatches, 0);
  }
}

TEST_F(MotionSetTest, NoMovementRemovesAndReportsHorizontalTranslation) {
  ProbeSet set;
  set.SetLooping(false);
  set.CreateMotionFrame(0, "hips");
  SMatrixKey key = MakeKey(0, {3, 5, 4});
  set.SetMatrixFrames(&key, 1, "hips", false);
  set.SetMatrixNoMovement(0, true);
  set.reported.clear();

  D3DXMATRIX m = set.GetMatrixFromTime(12, 0);
  EXPECT_EQ(m._41, 0.0f);
  EXPECT_EQ(m._42, 5.0f);
  EXPECT_EQ(m._43, 0.0f);
  ASSERT_EQ(set.reported.size(), 1u);
  EXPECT_FLOAT_EQ(set.reported[0], 5.0f);

  set.SetUseLinearCalculation(true);
  set.reported.clear();
  m = set.GetMatrixFromTime(12, 0);
  EXPECT_EQ(m._41, 3.0f);
  EXPECT_EQ(m._42, 5.0f);
  EXPECT_EQ(m._43, 4.0f);
  EXPECT_TRUE(set.reported.empty());

  // Another set's frames can evaluate with this one's settings and report to it.
  Vyn_DX8_MatrixInterpolateSet* other = NewSet();
  other->CreateMotionFrame(0, "hips");
  other->SetMatrixFrames(&key, 1, "hips", false);
  other->SetMatrixNoMovement(0, true);
  other->SetNewMatrixInterpolateSetForQuaternions(&set);
  set.SetUseLinearCalculation(false);
  set.reported.clear();
  m = other->GetMatrixFromTime(3, 0);
  EXPECT_EQ(m._41, 0.0f);
  ASSERT_EQ(set.reported.size(), 1u);
}

TEST_F(MotionSetTest, ClosingSegmentOfANoMovementFrameReportsItsOwnMovement) {
  ProbeSet set;
  set.CreateMotionFrame(0, "hips");
  SMatrixKey keys[2] = {MakeKey(0, {0, 1, 0}), MakeKey(19200, {100, 1, 0})};
  set.SetMatrixFrames(keys, 2, "hips", false);
  set.SetMatrixNoMovement(0, true);
  set.reported.clear();
  const D3DXMATRIX m = set.GetMatrixFromTime(99.5f, 0);
  EXPECT_EQ(m._41, 0.0f);
  EXPECT_NEAR(m._42, 1.0f, 1e-6f);
  ASSERT_EQ(set.reported.size(), 1u);
  EXPECT_NEAR(set.reported[0], 49.5f, 1e-3f);
}

TEST_F(MotionSetTest, InvertedRotationNegatesW) {
  Vyn_DX8_MatrixInterpolateSet* set = NewSet();
  set->CreateMotionFrame(0, "a");
  const D3DXQUATERNION q = RotationY(0.8f);
  SMatrixKey key = MakeKey(0, {1, 2, 3}, q);
  set->SetMatrixFrames(&key, 1, "a", true);
  const D3DXMATRIX m = set->GetMatrixFromTime(5, 0);
  const D3DXQUATERNION cur = set->GetCurrentSlerpQuaterion(0);
  EXPECT_NEAR(cur.x, q.x, 1e-6f);
  EXPECT_NEAR(cur.y, q.y, 1e-6f);
  EXPECT_NEAR(cur.z, q.z, 1e-6f);
  EXPECT_NEAR(cur.w, -q.w, 1e-6f);
  D3DXMATRIX expected;
  const D3DXQUATERNION inv(q.x, q.y, q.z, -q.w);
  D3DXMatrixRotationQuaternion(&expected, &inv);
  expected._41 = 1;
  expected._42 = 2;
  expected._43 = 3;
  EXPECT_TRUE(MatrixNear(m, expected, 1e-5f));
}

TEST_F(MotionSetTest, MultiplyChildIsAppliedToMatrixAndRotation) {
  Vyn_DX8_MatrixInterpolateSet* set = NewSet();
  set->CreateMotionFrame(0, "a");
  SMatrixKey key = MakeKey(0, {1, 0, 0}, RotationY(0.3f), {2, 2, 2});
  set->SetMatrixFrames(&key, 1, "a", false);
  set->SetMatrixMultNr(0, 0);

  auto* child = Create<Vyn_MatrixChannel>(corvane::ids::kMatrix);
  D3DXMATRIX c;
  D3DXMatrixRotationZ(&c, 0.5f);
  c._41 = 5;
  c._42 = 6;
  c._43 = 7;
  child->SetMatrix(c);

  // Not linked yet: the keyed matrix alone.
  EXPECT_TRUE(MatrixNear(set->GetMatrixFromTime(1, 0), key.matrix, 1e-5f));
  ASSERT_TRUE(set->ConnectChild(1, child));
  ASSERT_EQ(set->GetChild(1), child);

  D3DXMATRIX expected;
  D3DXMatrixMultiply(&expected, &key.matrix, &c);
  EXPECT_TRUE(MatrixNear(set->GetMatrixFromTime(1, 0), expected, 1e-5f));
  D3DXQUATERNION qc, q;
  D3DXQuaternionRotationMatrix(&qc, &c);
  const D3DXQUATERNION qk = RotationY(0.3f);
  D3DXQuaternionMultiply(&q, &qk, &qc);
  EXPECT_TRUE(RotationNear(set->GetCurrentSlerpQuaterion(0), q, 1e-5f));

  // Multiply number 1 names a second child that is not linked; a negative one, none.
  set->SetMatrixMultNr(0, 1);
  EXPECT_TRUE(MatrixNear(set->GetMatrixFromTime(1, 0), key.matrix, 1e-5f));
  set->SetMatrixMultNr(0, -7);
  EXPECT_TRUE(MatrixNear(set->GetMatrixFromTime(1, 0), key.matrix, 1e-5f));
}

TEST_F(MotionSetTest, TimeComesFromTheValueChildElseTheTimers) {
  Vyn_DX8_MatrixInterpolateSet* set = RampSet();
  engine_.AdvanceFrame(30.0f);
  ASSERT_NE(set->GetTimers(), nullptr);
  EXPECT_FLOAT_EQ(set->GetTimers()->GetTime(0), 30.0f);
  EXPECT_NEAR(set->GetMatrix(0)._41, 30.0f, 1e-3f);
  ASSERT_TRUE(set->ConnectChild(0, NewValue(12.0f)));
  EXPECT_NEAR(set->GetMatrix(0)._41, 12.0f, 1e-3f);
  // An empty entry is the default matrix and reads no time.
  D3DXMATRIX id;
  D3DXMatrixIdentity(&id);
  EXPECT_EQ(set->GetMatrix(3), id);
}

TEST_F(MotionSetTest, EditingOperations) {
  Vyn_DX8_MatrixInterpolateSet* set = NewSet();
  set->CreateMotionFrame(0, "Spine");
  set->CreateMotionFrame(2, "Arm");
  set->CreateMotionFrame(3, "arm");
  set->CreateMotionFrame(4, nullptr);
  EXPECT_EQ(set->GetMatrixCount(), 4);
  EXPECT_STREQ(set->GetMatrixName(1), "No Matrix");
  EXPECT_EQ(set->GetMatrixMultNr(1), -1);
  EXPECT_EQ(set->GetKeyCount(1), 0);
  EXPECT_FALSE(set->GetDummyMatrix(1));
  EXPECT_EQ(set->GetFrameNrForQuaternionItem(1), -1);
  const D3DXQUATERNION zero(0, 0, 0, 0);
  EXPECT_EQ(set->GetCurrentSlerpQuaterion(1), zero);

  // Case is ignored and the first of two equal names is filled.
  SMatrixKey keys[3] = {MakeKey(0, {0, 0, 0}), MakeKey(192, {1, 0, 0}), MakeKey(384, {2, 0, 0})};
  set->SetMatrixFrames(keys, 3, "ARM", false);
  EXPECT_EQ(set->GetKeyCount(2), 3);
  EXPECT_EQ(set->GetKeyCount(3), 0);
  set->SetMatrixFrames(keys, 3, nullptr, false);
  set->SetMatrixFrames(keys, 3, "leg", false);
  EXPECT_EQ(set->GetKeyCount(0), 0);
  EXPECT_TRUE(set->IsValidMatrix(2));
  EXPECT_FALSE(set->IsValidMatrix(0));
  EXPECT_EQ(set->GetHighestFrameOfQueternion(2), 384u);
  set->SetDummyMatrix(2, true);
  EXPECT_EQ(set->GetHighestFrameOfQueternion(2), 0u);

  // Re-creating keeps the keys; a long name is cut to 99 characters.
  set->CreateMotionFrame(2, std::string(150, 'x').c_str());
  EXPECT_EQ(set->GetKeyCount(2), 3);
  EXPECT_EQ(std::string(set->GetMatrixName(2)), std::string(99, 'x'));

  EXPECT_FALSE(set->MoveSetUp(1));
  EXPECT_FALSE(set->MoveSetUp(0));
  EXPECT_TRUE(set->MoveSetUp(2));
  EXPECT_EQ(set->GetKeyCount(1), 3);
  EXPECT_STREQ(set->GetMatrixName(2), "No Matrix");
  EXPECT_TRUE(set->MoveSetDown(1));
  EXPECT_EQ(set->GetKeyCount(2), 3);
  EXPECT_FALSE(set->MoveSetDown(3)) << "no entry below the last";
  EXPECT_FALSE(set->MoveSetDown(-1));
  EXPECT_EQ(set->GetMatrixCount(), 4);

  // No keys at all: the identity.
  set->SetMatrixFrames(keys, 0, std::string(99, 'x').c_str(), false);
  EXPECT_EQ(set->GetKeyCount(2), 0);
  D3DXMATRIX id;
  D3DXMatrixIdentity(&id);
  EXPECT_EQ(set->GetMatrixFromTime(4, 2), id);
}

TEST_F(MotionSetTest, KeyTimesJustBelowZeroBecomeZero) {
  struct Row {
    int32_t in;
    uint32_t stored;
  };
  const Row rows[] = {{-1, 0}, {-16, 0}, {-150, 0}, {-151, 4294967145u}, {-256, 4294967040u}, {0, 0}, {192, 192}};
  MotionFrame frame;
  for (const Row& r : rows) {
    SMatrixKey k = MakeKey(static_cast<uint32_t>(r.in), {0, 0, 0});
    frame.SetKeys(&k, 1);
    EXPECT_EQ(frame.m_pKeys[0].dwTime, r.stored) << r.in;
  }
}

TEST_F(MotionSetTest, KeyDecomposition) {
  // A zero row stays zero in the rotation part and gives scale 0.
  D3DXMATRIX m(2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 3, 0, 4, 5, 6, 1);
  const D3DXMATRIX r = corvane::GetRotationPart(m);
  EXPECT_EQ(r._21, 0.0f);
  EXPECT_EQ(r._22, 0.0f);
  EXPECT_EQ(r._23, 0.0f);
  EXPECT_EQ(r._11, 1.0f);
  EXPECT_EQ(r._33, 1.0f);
  EXPECT_EQ(r._41, 0.0f);
  EXPECT_EQ(r._44, 1.0f);
  const D3DXVECTOR3 s = corvane::GetRowLengths(m);
  EXPECT_EQ(s, D3DXVECTOR3(2, 0, 3));

  SMatrixKey k = MakeKey(0, {7, 8, 9}, RotationY(0.25f), {1, 2, 3});
  MotionFrame frame;
  frame.SetKeys(&k, 1);
  EXPECT_TRUE(RotationNear(frame.m_pKeys[0].rotation, RotationY(0.25f), 1e-6f));
  EXPECT_NEAR(frame.m_pKeys[0].scale.y, 2.0f, 1e-6f);
  EXPECT_EQ(0, std::memcmp(&frame.m_pKeys[0].matrix, &k.matrix, sizeof k.matrix));
}

TEST_F(MotionSetTest, PropertiesAndDataHook) {
  const corvane::PropertyTable* table = engine_.GetPropertyTable(corvane::ids::kMotionSet);
  ASSERT_NE(table, nullptr);
  Vyn_DX8_MatrixInterpolateSet* set = NewSet();
  ASSERT_TRUE(table->Find("EndFrame")->set(*set, corvane::PropertyValue::Float(48)));
  ASSERT_TRUE(table->Find("Looping")->set(*set, corvane::PropertyValue::Bool(false)));
  EXPECT_EQ(set->GetEndFrame(), 48.0f);
  EXPECT_FALSE(set->GetLooping());
  EXPECT_EQ(table->Find("TimeScale")->get(*set).f, 1.0f);
  for (const char* stem : {"TimeShift", "StartFrame", "UseLinearCalculation"}) EXPECT_NE(table->Find(stem), nullptr);

  ASSERT_TRUE(table->applyData);
  std::string error;
  const std::string data = R"({"frames": [
      {"name": "Root", "keys": [
        {"frame": 0, "translation": [1, 2, 3]},
        {"frame": 1, "translation": [3, 2, 1], "rotation": [0, 0.70710678, 0, 0.70710678], "scale": [2, 2, 2]},
        {"time": -16, "matrix": [1,0,0,0, 0,1,0,0, 0,0,1,0, 9,9,9,1]}]},
      null,
      {"index": 3, "name": "Tail", "dummy": true, "noMovement": true, "multiply": 0, "invertRotation": true,
       "keys": [{"frame": 2, "yawPitchRoll": [0.5, 0, 0]}]}]})";
  ASSERT_TRUE(table->applyData(*set, data, &error)) << error;
  ASSERT_EQ(set->GetMatrixCount(), 4);
  EXPECT_STREQ(set->GetMatrixName(0), "Root");
  ASSERT_EQ(set->GetKeyCount(0), 3);
  const MotionFrame* root = set->GetMotionFrame(0);
  EXPECT_EQ(root->m_pKeys[1].dwTime, 192u);
  EXPECT_EQ(root->m_pKeys[2].dwTime, 0u);
  const SMatrixKey expect = MakeKey(192, {3, 2, 1}, RotationY(1.5707964f), {2, 2, 2});
  EXPECT_TRUE(MatrixNear(root->m_pKeys[1].matrix, expect.matrix, 1e-5f));
  EXPECT_STREQ(set->GetMatrixName(1), "No Matrix");
  EXPECT_TRUE(set->GetDummyMatrix(3));
  EXPECT_TRUE(set->GetMatrixNoMovement(3));
  EXPECT_EQ(set->GetMatrixMultNr(3), 0);
  EXPECT_TRUE(set->GetMotionFrame(3)->m_bInvertRotation);
  EXPECT_EQ(set->GetMotionFrame(3)->m_pKeys[0].dwTime, 384u);

  // Malformed data is refused with a reason and changes nothing.
  for (const char* bad : {"{", R"({"frames": 3})", R"({"frames": [{"keys": [{"frame": 1, "matrix": [1, 2]}]}]})",
                          R"({"frames": [{"index": -2}]})", R"({"frames": [{"index": 99999999}]})",
                          R"({"frames": [{"keys": [{"translation": [1, 2, 3]}]}]})",
                          R"({"frames": [{"name": "Root", "keys": [{"time": 1e30}]}]})",
                          R"({"frames": [{"name": "x"}, {"keys": [{"frame": "soon"}]}]})"}) {
    error.clear();
    EXPECT_FALSE(table->applyData(*set, bad, &error)) << bad;
    EXPECT_FALSE(error.empty()) << bad;
  }
  EXPECT_EQ(set->GetMatrixCount(), 4);
  EXPECT_STREQ(set->GetMatrixName(0), "Root");
}

TEST_F(MotionSetTest, CopyOwnsItsFrames) {
  Vyn_DX8_MatrixInterpolateSet* set = RampSet();
  set->SetEndFrame(50);
  Vyn_DX8_MatrixInterpolateSet copy(*set);
  EXPECT_EQ(copy.GetEndFrame(), 50.0f);
  ASSERT_NE(copy.GetMotionFrame(0), set->GetMotionFrame(0));
  EXPECT_EQ(copy.GetMotionFrame(0)->m_pOwner, &copy);
  EXPECT_EQ(copy.GetMatrixFromTime(20, 0), set->GetMatrixFromTime(20, 0));
  set->SetMatrixFrames(nullptr, 0, "Root", false);
  EXPECT_EQ(copy.GetKeyCount(0), 2);
}

TEST_F(MotionSetTest, ATextSceneHoldsAnAnimation) {
  const std::string text = R"({
    "channels": [
      {"id": "clock", "type": "Value"},
      {"id": "walk", "type": "DX8 MotionSet",
       "properties": {"EndFrame": 10, "Looping": false},
       "data": {"frames": [{"name": "Root", "keys": [
         {"frame": 0, "translation": [0, 0, 0]},
         {"frame": 10, "translation": [0, 0, 20], "yawPitchRoll": [1.0, 0, 0]}]}]},
       "links": {"Time Value": "clock"}}
    ],
    "roots": ["walk"]
  })";
  corvane::host::LoadedScene scene;
  std::string error;
  ASSERT_TRUE(corvane::host::LoadSceneText(engine_, text, "walk.json", &scene, &error)) << error;
  Vyn_DX8_MatrixInterpolateSet* set = nullptr;
  Vyn_FloatChannel* clock = nullptr;
  for (int i = 0; i < scene.group->GetChannelCount(); ++i) {
    if (auto* s = dynamic_cast<Vyn_DX8_MatrixInterpolateSet*>(scene.group->GetChannel(i))) set = s;
    if (auto* v = dynamic_cast<Vyn_FloatChannel*>(scene.group->GetChannel(i))) clock = v;
  }
  ASSERT_NE(set, nullptr);
  ASSERT_NE(clock, nullptr);
  EXPECT_EQ(set->GetEndFrame(), 10.0f);
  EXPECT_FALSE(set->GetLooping());
  clock->SetFloat(5.0f);
  const D3DXMATRIX m = set->GetMatrix(0);
  EXPECT_NEAR(m._43, 10.0f, 1e-3f);
  EXPECT_TRUE(RotationNear(set->GetCurrentSlerpQuaterion(0), RotationY(0.5f), 1e-5f));
}
