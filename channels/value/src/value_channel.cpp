// Vyn_FloatChannel: the stock value channel.
#include "corvane/channels/value_channel.h"

#include "corvane/channels/value_properties.h"
#include "corvane/chunk_io.h"
#include "corvane/plugin.h"
#include "corvane/type_ids.h"

namespace {
constexpr const char* kValueTag = "FVAL";
}

Vyn_FloatChannel::Vyn_FloatChannel() { SetChannelName(kTypeName); }

Vyn_FloatChannel::~Vyn_FloatChannel() = default;

void Vyn_FloatChannel::CallChannel() { m_fOldValue = m_fValue; }

bool Vyn_FloatChannel::SaveChannel(ZelFileSaver& saver) {
  if (!Zel_Channel::SaveChannel(saver)) return false;
  const int32_t useDefault = m_bUseDefault ? 1 : 0;
  saver.SaveTag(kValueTag);
  saver.SaveBlockSize(sizeof m_fValue);
  saver.SaveDataToFile(&m_fValue, sizeof m_fValue);
  saver.SaveBlockSize(sizeof m_fDefaultValue);
  saver.SaveDataToFile(&m_fDefaultValue, sizeof m_fDefaultValue);
  saver.SaveBlockSize(sizeof useDefault);
  saver.SaveDataToFile(&useDefault, sizeof useDefault);
  return saver.IsGood();
}

bool Vyn_FloatChannel::LoadChannel(ZelFileLoader& loader, Zel_ChannelGroup* group) {
  if (!Zel_Channel::LoadChannel(loader, group)) return false;
  if (loader.GetInfoIfTag(kValueTag)) {
    // Read into locals so that a refused block leaves the channel as it was.
    float value = m_fValue, defaultValue = m_fDefaultValue;
    int32_t useDefault = m_bUseDefault ? 1 : 0;
    if (!loader.CopyTagDataToPointer(&value) || !loader.CopyTagDataToPointer(&defaultValue) ||
        !loader.CopyTagDataToPointer(&useDefault))
      return false;
    m_fValue = m_fOldValue = value;
    m_fDefaultValue = defaultValue;
    m_bUseDefault = useDefault != 0;
    SetTimeStamp();
  }
  return !loader.HasError();
}

float Vyn_FloatChannel::GetFloat() { return m_fValue; }
float Vyn_FloatChannel::GetOldFloat() { return m_fOldValue; }

void Vyn_FloatChannel::SetFloat(float value) {
  m_fValue = value;
  SetTimeStamp();
}

float Vyn_FloatChannel::GetDefaultFloat() { return m_fDefaultValue; }
void Vyn_FloatChannel::SetDefaultFloat(float value) { m_fDefaultValue = value; }
bool Vyn_FloatChannel::GetDefaultFloatSetting() { return m_bUseDefault; }

void Vyn_FloatChannel::SetDefaultFloatSetting(bool useDefault) {
  m_bUseDefault = useDefault;
  if (useDefault) SetFloat(m_fDefaultValue);
}

float Vyn_FloatChannel::GetValueAtTime(float) { return GetFloat(); }

namespace corvane {

const PropertyTable* ValueChannelPropertyTable() {
  static const PropertyTable table = [] {
    PropertyTable t;
    t.properties.push_back(MakeProperty<Vyn_FloatChannel, float>(
        "Float", [](Vyn_FloatChannel& c) { return c.GetFloat(); },
        [](Vyn_FloatChannel& c, float v) { c.SetFloat(v); }));
    t.properties.push_back(MakeProperty<Vyn_FloatChannel, float>(
        "DefaultFloat", [](Vyn_FloatChannel& c) { return c.GetDefaultFloat(); },
        [](Vyn_FloatChannel& c, float v) { c.SetDefaultFloat(v); }));
    t.properties.push_back(MakeProperty<Vyn_FloatChannel, bool>(
        "DefaultFloatSetting", [](Vyn_FloatChannel& c) { return c.GetDefaultFloatSetting(); },
        [](Vyn_FloatChannel& c, bool v) { c.SetDefaultFloatSetting(v); }));
    return t;
  }();
  return &table;
}

}  // namespace corvane

CORVANE_PLUGIN(Vyn_FloatChannel, "Value", "0B97F3E6-5A1C-4F84-B26D-A9E40C83F51D",
               "0B97F3E6-5A1C-4F84-B26D-A9E40C83F51D", 1, 0)

CORVANE_PROPERTY_TABLE_EXPORT const corvane::PropertyTable* GetPropertyTable() {
  return corvane::ValueChannelPropertyTable();
}
