// Shared fixture for the motion set and blender tests: an engine with the plug-ins loaded from the
// build's plug-in folder, channel creation by type, and key and matrix helpers.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "corvane/channels/matrix_channel.h"
#include "corvane/channels/value_channel.h"
#include "corvane/d3dx_math.h"
#include "corvane/guid.h"
#include "corvane/host/engine.h"
#include "corvane/motion_set.h"
#include "corvane/type_ids.h"

namespace motion_test {

inline std::string PluginPath(const GUID& id) {
  return std::string(CORVANE_TEST_PLUGIN_DIR) + "/" + corvane::GuidToString(id) + ".so";
}

// Key from scale, rotation (a quaternion) and translation: S * R * T.
inline SMatrixKey MakeKey(uint32_t ticks, D3DXVECTOR3 t, D3DXQUATERNION q = {0, 0, 0, 1},
                          D3DXVECTOR3 s = {1, 1, 1}) {
  D3DXMATRIX ms, mr, mt;
  D3DXMatrixScaling(&ms, s.x, s.y, s.z);
  D3DXMatrixRotationQuaternion(&mr, &q);
  D3DXMatrixTranslation(&mt, t.x, t.y, t.z);
  SMatrixKey k;
  k.dwTime = ticks;
  D3DXMatrixMultiply(&mr, &mr, &mt);
  D3DXMatrixMultiply(&k.matrix, &ms, &mr);
  return k;
}

inline D3DXQUATERNION RotationY(float angle) {
  D3DXQUATERNION q;
  D3DXVECTOR3 axis(0, 1, 0);
  D3DXQuaternionRotationAxis(&q, &axis, angle);
  return q;
}

inline ::testing::AssertionResult MatrixNear(const D3DXMATRIX& a, const D3DXMATRIX& b, float eps) {
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c)
      if (!(std::fabs(a.m[r][c] - b.m[r][c]) <= eps))
        return ::testing::AssertionFailure()
               << "element " << r + 1 << c + 1 << ": " << a.m[r][c] << " vs " << b.m[r][c];
  return ::testing::AssertionSuccess();
}

// Same rotation: q and -q are one rotation.
inline ::testing::AssertionResult RotationNear(const D3DXQUATERNION& a, const D3DXQUATERNION& b, float eps) {
  const float d = std::fabs(D3DXQuaternionDot(&a, &b));
  if (std::fabs(d - 1.0f) <= eps) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "(" << a.x << ", " << a.y << ", " << a.z << ", " << a.w << ") vs ("
                                       << b.x << ", " << b.y << ", " << b.z << ", " << b.w << ")";
}

class MotionFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    engine_.GetLogger().SetCapture(true);
    for (const GUID& id : {corvane::ids::kValue, corvane::ids::kMatrix, corvane::ids::kTimer,
                           corvane::ids::kMotionSet})
      ASSERT_TRUE(engine_.LoadPlugin(PluginPath(id))) << corvane::GuidToString(id);
  }

  // A new channel of that type, owned by the test.
  template <class T>
  T* Create(const GUID& type) {
    Zel_Channel* c = engine_.CreateChannelInstance(type, 0, 0);
    owned_.emplace_back(c);
    return dynamic_cast<T*>(c);
  }
  Vyn_DX8_MatrixInterpolateSet* NewSet() { return Create<Vyn_DX8_MatrixInterpolateSet>(corvane::ids::kMotionSet); }
  Vyn_FloatChannel* NewValue(float v) {
    auto* c = Create<Vyn_FloatChannel>(corvane::ids::kValue);
    if (c) c->SetFloat(v);
    return c;
  }

  corvane::host::Engine engine_;
  std::vector<std::unique_ptr<Zel_Channel>> owned_;  // destroyed before the engine
};

}  // namespace motion_test
