// Vyn_DX8_MotionSetBlender: the blend of two motion sets' matrices.
#include "corvane/motion_set_blender.h"

#include "corvane/channels/value_channel.h"
#include "corvane/plugin.h"
#include "corvane/property.h"
#include "corvane/type_ids.h"

namespace {

// Marks a blender busy for the length of one call.
class BusyScope {
 public:
  explicit BusyScope(bool* flag) : flag_(flag) { *flag_ = true; }
  ~BusyScope() { *flag_ = false; }
  BusyScope(const BusyScope&) = delete;
  BusyScope& operator=(const BusyScope&) = delete;

 private:
  bool* flag_;
};

}  // namespace

Vyn_DX8_MotionSetBlender::Vyn_DX8_MotionSetBlender() {
  SetChannelName(kTypeName);
  SetChildCreationCount(1);
  corvane::LinkDeclarer links(this);
  links.Declare(0, Vyn_DX8_MatrixInterpolateSet::kTypeName, corvane::ids::kMotionSet, 0, "First Set");
  links.Declare(1, Vyn_DX8_MatrixInterpolateSet::kTypeName, corvane::ids::kMotionSet, 1, "Second Set");
  links.Declare(2, "Value", corvane::ids::kValue, 2, "Blend Value");
}

Vyn_DX8_MotionSetBlender::~Vyn_DX8_MotionSetBlender() = default;

bool Vyn_DX8_MotionSetBlender::SaveChannel(ZelFileSaver& saver) { return Zel_Channel::SaveChannel(saver); }

bool Vyn_DX8_MotionSetBlender::LoadChannel(ZelFileLoader& loader, Zel_ChannelGroup* group) {
  return Zel_Channel::LoadChannel(loader, group);
}

void Vyn_DX8_MotionSetBlender::DoDependencyInit(Zel_List* list) {
  AddChannelGuidDepend(corvane::ids::kMotionSet, list);
  AddChannelGuidDepend(corvane::ids::kMatrix, list);
}

Vyn_DX8_MatrixInterpolateSet* Vyn_DX8_MotionSetBlender::GetFirstSet() const {
  return dynamic_cast<Vyn_DX8_MatrixInterpolateSet*>(GetChild(0));
}

Vyn_DX8_MatrixInterpolateSet* Vyn_DX8_MotionSetBlender::GetSecondSet() const {
  return dynamic_cast<Vyn_DX8_MatrixInterpolateSet*>(GetChild(1));
}

D3DXMATRIX Vyn_DX8_MotionSetBlender::GetMatrix(int i) {
  if (m_bBusy) return m_DefaultMatrix;
  BusyScope busy(&m_bBusy);
  auto* value = dynamic_cast<Vyn_FloatChannel*>(GetChild(2));
  Vyn_DX8_MatrixInterpolateSet* a = GetFirstSet();
  Vyn_DX8_MatrixInterpolateSet* b = GetSecondSet();
  // Both sets are evaluated whenever linked, so that their state and rotations are current.
  D3DXMATRIX ma, mb;
  if (a) ma = a->GetMatrix(i);
  if (b) mb = b->GetMatrix(i);
  if (a == nullptr) return m_DefaultMatrix;
  if (b == nullptr || value == nullptr) return ma;
  const float blend = value->GetFloat();
  if (blend == 0.0f) return ma;
  if (b->GetDummyMatrix(i)) return ma;
  if (blend == 1.0f) return mb;

  const D3DXQUATERNION qa = a->GetCurrentSlerpQuaterion(i);
  const D3DXQUATERNION qb = b->GetCurrentSlerpQuaterion(i);
  const D3DXVECTOR3 ta(ma._41, ma._42, ma._43), tb(mb._41, mb._42, mb._43);
  const D3DXVECTOR3 t = ta + (tb - ta) * blend;
  D3DXQuaternionSlerp(&m_BlendedRotation, &qa, &qb, blend);
  D3DXMATRIX m;
  D3DXMatrixRotationQuaternion(&m, &m_BlendedRotation);
  m._41 = t.x;
  m._42 = t.y;
  m._43 = t.z;
  m._44 = 1.0f;
  return m;
}

bool Vyn_DX8_MotionSetBlender::IsValidMatrix(int i) {
  if (m_bBusy) return true;
  BusyScope busy(&m_bBusy);
  Vyn_DX8_MatrixInterpolateSet* a = GetFirstSet();
  return a ? a->IsValidMatrix(i) : true;
}

D3DXQUATERNION Vyn_DX8_MotionSetBlender::GetCurrentSlerpQuaterion(int i) {
  if (m_bBusy) return m_BlendedRotation;
  BusyScope busy(&m_bBusy);
  Vyn_DX8_MatrixInterpolateSet* a = GetFirstSet();
  if (a == nullptr) return m_BlendedRotation;
  Vyn_DX8_MatrixInterpolateSet* b = GetSecondSet();
  auto* value = dynamic_cast<Vyn_FloatChannel*>(GetChild(2));
  if (b == nullptr || value == nullptr) return a->GetCurrentSlerpQuaterion(i);
  const float blend = value->GetFloat();
  if (blend == 0.0f || b->GetDummyMatrix(i)) return a->GetCurrentSlerpQuaterion(i);
  if (blend == 1.0f) return b->GetCurrentSlerpQuaterion(i);
  return m_BlendedRotation;
}

CORVANE_PLUGIN(Vyn_DX8_MotionSetBlender, Vyn_DX8_MotionSetBlender::kTypeName,
               "F68A2D0C-1E97-43B5-A4D2-85C3E1B90F67", "0E5C8A27-94F1-4B6D-85A3-7FC20E6D914B", 0, 0)

// The blender's settings are the motion set's (acting on its own list); it takes no data.
CORVANE_PROPERTY_TABLE_EXPORT const corvane::PropertyTable* GetPropertyTable() {
  static const corvane::PropertyTable table = [] {
    corvane::PropertyTable t;
    t.base = corvane::MotionSetPropertyTable();
    return t;
  }();
  return &table;
}
