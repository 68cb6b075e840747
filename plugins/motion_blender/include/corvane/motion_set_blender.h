// Vyn_DX8_MotionSetBlender: mixes two motion sets by a value.
//
// It derives from the motion set, so it can be linked wherever a motion set is expected: an owner
// that asks it for matrix i gets the blend of matrix i of its "First Set" and "Second Set"
// children by its "Blend Value" child b. Both sets must number their matrices the same way.
//   b = 0 (or no second set, no value, or the second set's matrix i is a dummy): the first set's
//   matrix unchanged; b = 1: the second set's matrix unchanged; any other b (also outside 0 ... 1,
//   which extrapolates): slerped rotation and interpolated translation, without scale.
// The blender has no keys and stores nothing of its own; its inherited motion set settings act on
// its own, normally empty, list.
#pragma once

#include "corvane/motion_set.h"

class Vyn_DX8_MotionSetBlender : public Vyn_DX8_MatrixInterpolateSet {
 public:
  static constexpr const char* kTypeName = "DX8 MotionSetBlender";

  Vyn_DX8_MotionSetBlender();
  Vyn_DX8_MotionSetBlender(const Vyn_DX8_MotionSetBlender& other) = default;
  Vyn_DX8_MotionSetBlender& operator=(const Vyn_DX8_MotionSetBlender& other) = default;
  ~Vyn_DX8_MotionSetBlender() override;

  // Only the channel base's data: no motion set chunks.
  bool SaveChannel(ZelFileSaver& saver) override;
  bool LoadChannel(ZelFileLoader& loader, Zel_ChannelGroup* group) override;
  // Declares the motion set type, then the "Matrix" type.
  void DoDependencyInit(Zel_List* list) override;
  // The blend of both sets' matrix i; the identity when no first set is linked.
  D3DXMATRIX GetMatrix(int i) override;
  // The first set's answer, or true when no first set is linked.
  bool IsValidMatrix(int i) override;
  // The rotation of the matrix GetMatrix(i) gave last (see the cases in GetMatrix).
  D3DXQUATERNION GetCurrentSlerpQuaterion(int i) override;

  // Children by position (null when not linked or not of the expected type).
  Vyn_DX8_MatrixInterpolateSet* GetFirstSet() const;
  Vyn_DX8_MatrixInterpolateSet* GetSecondSet() const;

 protected:
  // The rotation of the last blended matrix; the identity rotation until a blend happens.
  D3DXQUATERNION m_BlendedRotation = D3DXQUATERNION(0, 0, 0, 1);
  // True while this blender is being evaluated: a blender linked (directly or through others) as
  // its own child set answers as if that child were missing instead of recursing without end.
  bool m_bBusy = false;
};
