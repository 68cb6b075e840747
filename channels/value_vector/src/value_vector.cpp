#include "corvane/channels/value_vector.h"

#include "corvane/channels/value_channel.h"
#include "corvane/chunk_io.h"
#include "corvane/plugin.h"
#include "corvane/property.h"
#include "corvane/type_ids.h"

namespace {
constexpr const char* kVectorTag = "VVEC";

// A child is read as a value only when it is one (or derives from one).
Vyn_FloatChannel* ValueChild(Zel_Channel* c) {
  if (!c) return nullptr;
  ChannelType t = c->GetChannelType();
  if (t.typeId == corvane::ids::kValue || t.baseTypeId == corvane::ids::kValue)
    return static_cast<Vyn_FloatChannel*>(c);
  return nullptr;
}
}  // namespace

Vyn_ValueVector::Vyn_ValueVector() {
  SetChannelName(kTypeName);
  SetChildCreationCount(1);
  corvane::LinkDeclarer links(this);
  links.Declare(0, "Value", corvane::ids::kValue, 0, "X");
  links.Declare(1, "Value", corvane::ids::kValue, 1, "Y");
  links.Declare(2, "Value", corvane::ids::kValue, 2, "Z");
}

Vyn_ValueVector::~Vyn_ValueVector() = default;

bool Vyn_ValueVector::SaveChannel(ZelFileSaver& saver) {
  if (!Zel_Channel::SaveChannel(saver)) return false;
  saver.SaveTag(kVectorTag);
  saver.SaveBlockSize(sizeof m_Default);
  saver.SaveDataToFile(&m_Default, sizeof m_Default);
  return saver.IsGood();
}

bool Vyn_ValueVector::LoadChannel(ZelFileLoader& loader, Zel_ChannelGroup* group) {
  if (!Zel_Channel::LoadChannel(loader, group)) return false;
  if (loader.GetInfoIfTag(kVectorTag)) {
    D3DXVECTOR3 v = m_Default;
    if (!loader.CopyTagDataToPointer(&v)) return false;
    m_Default = v;
  }
  return !loader.HasError();
}

D3DXVECTOR3 Vyn_ValueVector::GetVector() {
  D3DXVECTOR3 v = m_Default;
  if (Vyn_FloatChannel* c = ValueChild(GetChild(0))) v.x = c->GetFloat();
  if (Vyn_FloatChannel* c = ValueChild(GetChild(1))) v.y = c->GetFloat();
  if (Vyn_FloatChannel* c = ValueChild(GetChild(2))) v.z = c->GetFloat();
  return v;
}

D3DXVECTOR3 Vyn_ValueVector::GetVectorAtTime(float t) {
  D3DXVECTOR3 v = m_Default;
  if (Vyn_FloatChannel* c = ValueChild(GetChild(0))) v.x = c->GetValueAtTime(t);
  if (Vyn_FloatChannel* c = ValueChild(GetChild(1))) v.y = c->GetValueAtTime(t);
  if (Vyn_FloatChannel* c = ValueChild(GetChild(2))) v.z = c->GetValueAtTime(t);
  return v;
}

void Vyn_ValueVector::SetDefaultVector(const D3DXVECTOR3& value) { m_Default = value; }
D3DXVECTOR3 Vyn_ValueVector::GetDefaultVector() const { return m_Default; }

CORVANE_PLUGIN(Vyn_ValueVector, Vyn_ValueVector::kTypeName, "6AB5E2F8-0C71-4D39-A84E-F37B29C5D016",
               "6AB5E2F8-0C71-4D39-A84E-F37B29C5D016", 1, 0)

CORVANE_PROPERTY_TABLE_EXPORT const corvane::PropertyTable* GetPropertyTable() {
  static const corvane::PropertyTable table = [] {
    corvane::PropertyTable t;
    t.properties.push_back(corvane::MakeProperty<Vyn_ValueVector, D3DXVECTOR3>(
        "DefaultVector", [](Vyn_ValueVector& c) { return c.GetDefaultVector(); },
        [](Vyn_ValueVector& c, D3DXVECTOR3 v) { c.SetDefaultVector(v); }));
    return t;
  }();
  return &table;
}
