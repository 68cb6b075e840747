#include "corvane/channels/envelope.h"

#include <algorithm>
#include <cmath>
#include <string>

#include <nlohmann/json.hpp>

#include "corvane/channels/value_properties.h"
#include "corvane/chunk_io.h"
#include "corvane/engine_interface.h"
#include "corvane/plugin.h"
#include "corvane/property.h"
#include "corvane/type_ids.h"

namespace {
constexpr const char* kKeysTag = "ENVK";
}

Vyn_Envelope::Vyn_Envelope() {
  SetChannelName(kTypeName);
  SetChildCreationCount(1);
  corvane::LinkDeclarer links(this);
  links.Declare(0, "Value", corvane::ids::kValue, 0, "Time");
}

Vyn_Envelope::~Vyn_Envelope() = default;

bool Vyn_Envelope::SaveChannel(ZelFileSaver& saver) {
  if (!Vyn_FloatChannel::SaveChannel(saver)) return false;
  const uint32_t count = static_cast<uint32_t>(m_Keys.size());
  saver.SaveTag(kKeysTag);
  saver.SaveBlockSize(sizeof count);
  saver.SaveDataToFile(&count, sizeof count);
  const uint32_t bytes = count * static_cast<uint32_t>(sizeof(Key));
  saver.SaveBlockSize(bytes);
  saver.SaveDataToFile(m_Keys.data(), bytes);
  return saver.IsGood();
}

bool Vyn_Envelope::LoadChannel(ZelFileLoader& loader, Zel_ChannelGroup* group) {
  if (!Vyn_FloatChannel::LoadChannel(loader, group)) return false;
  if (loader.GetInfoIfTag(kKeysTag)) {
    uint32_t count = 0;
    if (!loader.CopyTagDataToPointer(&count)) return false;
    // The count must match the block that follows and stay within the cap before anything is
    // allocated.
    if (count > static_cast<uint32_t>(kMaxKeys) ||
        loader.GetSizeDataBlock(false) != count * sizeof(Key)) {
      loader.SetError("envelope key count " + std::to_string(count) + " does not match its key block");
      return false;
    }
    std::vector<Key> keys(count);
    if (!loader.CopyTagDataToPointer(keys.data(), count * static_cast<uint32_t>(sizeof(Key)))) return false;
    for (const Key& k : keys) {
      if (!std::isfinite(k.time) || !std::isfinite(k.value)) {
        loader.SetError("envelope key with a non-finite time or value");
        return false;
      }
    }
    std::stable_sort(keys.begin(), keys.end(), [](const Key& a, const Key& b) { return a.time < b.time; });
    m_Keys = std::move(keys);
  }
  return !loader.HasError();
}

float Vyn_Envelope::GetFloat() {
  if (m_Keys.empty()) return m_fValue;
  float t = 0.0f;
  Zel_Channel* timeChild = GetChild(0);
  ChannelType type = timeChild ? timeChild->GetChannelType() : ChannelType();
  if (timeChild && (type.typeId == corvane::ids::kValue || type.baseTypeId == corvane::ids::kValue)) {
    t = static_cast<Vyn_FloatChannel*>(timeChild)->GetFloat();
  } else {
    EngineInterface* e = engine ? engine : globalEngine;
    t = e ? static_cast<float>(e->GetEngineTime()) : 0.0f;
  }
  m_fValue = GetValueAtTime(t);
  return m_fValue;
}

float Vyn_Envelope::GetValueAtTime(float t) {
  if (m_Keys.empty()) return m_fValue;
  if (!(t > m_Keys.front().time)) return m_Keys.front().value;
  if (t >= m_Keys.back().time) return m_Keys.back().value;
  // First key after t; the key before it is at or before t.
  auto it = std::upper_bound(m_Keys.begin(), m_Keys.end(), t,
                             [](float x, const Key& k) { return x < k.time; });
  const Key& b = *it;
  const Key& a = *(it - 1);
  const float span = b.time - a.time;
  if (span <= 0.0f) return b.value;
  return a.value + (b.value - a.value) * ((t - a.time) / span);
}

bool Vyn_Envelope::AddKey(float time, float value) {
  if (!std::isfinite(time) || !std::isfinite(value)) return false;
  if (static_cast<int>(m_Keys.size()) >= kMaxKeys) return false;
  auto it = std::upper_bound(m_Keys.begin(), m_Keys.end(), time,
                             [](float x, const Key& k) { return x < k.time; });
  m_Keys.insert(it, Key{time, value});
  SetTimeStamp();
  return true;
}

bool Vyn_Envelope::RemoveKey(int index) {
  if (index < 0 || index >= static_cast<int>(m_Keys.size())) return false;
  m_Keys.erase(m_Keys.begin() + index);
  SetTimeStamp();
  return true;
}

void Vyn_Envelope::ClearKeys() {
  m_Keys.clear();
  SetTimeStamp();
}

int Vyn_Envelope::GetKeyCount() const { return static_cast<int>(m_Keys.size()); }

bool Vyn_Envelope::GetKey(int index, Key* key) const {
  if (index < 0 || index >= static_cast<int>(m_Keys.size()) || !key) return false;
  *key = m_Keys[index];
  return true;
}

CORVANE_PLUGIN(Vyn_Envelope, Vyn_Envelope::kTypeName, "A73F1C68-2E5D-4B09-9C84-D1F65A0E3B27",
               "0B97F3E6-5A1C-4F84-B26D-A9E40C83F51D", 1, 0)

// Properties are the value channel's; the keys come as data: {"keys": [[time, value], ...]}.
CORVANE_PROPERTY_TABLE_EXPORT const corvane::PropertyTable* GetPropertyTable() {
  static const corvane::PropertyTable table = [] {
    corvane::PropertyTable t;
    t.base = corvane::ValueChannelPropertyTable();
    t.applyData = [](Zel_Channel& ch, const std::string& text, std::string* error) {
      auto fail = [&](const std::string& why) {
        if (error) *error = why;
        return false;
      };
      nlohmann::json j = nlohmann::json::parse(text, nullptr, false);
      if (j.is_discarded() || !j.is_object()) return fail("envelope data must be an object");
      auto keys = j.find("keys");
      if (keys == j.end() || !keys->is_array()) return fail("envelope data needs \"keys\": [[time, value], ...]");
      if (keys->size() > static_cast<size_t>(Vyn_Envelope::kMaxKeys)) return fail("too many envelope keys");
      std::vector<Vyn_Envelope::Key> parsed;
      for (const auto& k : *keys) {
        if (!k.is_array() || k.size() != 2 || !k[0].is_number() || !k[1].is_number())
          return fail("an envelope key must be [time, value]");
        parsed.push_back({k[0].get<float>(), k[1].get<float>()});
      }
      auto& env = static_cast<Vyn_Envelope&>(ch);
      env.ClearKeys();
      for (const auto& k : parsed)
        if (!env.AddKey(k.time, k.value)) return fail("an envelope key is not finite");
      return true;
    };
    return t;
  }();
  return &table;
}
