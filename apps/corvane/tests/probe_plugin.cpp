// A small channel type for the scene and command-line tests: every property type, a guarded
// setter, a data hook, a one-child link expecting a value, a many-children link expecting
// matrices and a one-child link expecting another probe, and a chunk of its own. It is built into its own folder so that it never shows among
// the real plug-ins.

#include <cstring>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "corvane/chunk_io.h"
#include "corvane/plugin.h"
#include "corvane/property.h"
#include "corvane/type_ids.h"
#include "corvane/zel_channel.h"

namespace {

constexpr GUID kProbeType = corvane::MakeGuid("6E1A9C30-5B7D-4F28-A1E4-93C0D58B2F17");

enum class ProbeMode : int32_t { ModeA, ModeB, ModeC };

class ProbeChannel : public Zel_Channel {
 public:
  ProbeChannel() {
    SetChannelName("Test Probe");
    SetChildCreationCount(3);
    corvane::LinkDeclarer links(this);
    links.Declare(0, "Value", corvane::ids::kValue, 0, "Value");
    links.Declare(1, "Matrix", corvane::ids::kMatrix, kManyChildren, "Matrices");
    links.Declare(2, "Test Probe", kProbeType, 2, "Next");
    D3DXMatrixIdentity(&pose);
  }

  bool SaveChannel(ZelFileSaver& saver) override {
    if (!Zel_Channel::SaveChannel(saver)) return false;
    saver.SaveTag("PRBE");
    saver.SaveBlockSize(sizeof count);
    saver.SaveDataToFile(&count, sizeof count);
    saver.SaveBlockSize(sizeof scale);
    saver.SaveDataToFile(&scale, sizeof scale);
    saver.SaveBlockSize(sizeof mode);
    saver.SaveDataToFile(&mode, sizeof mode);
    return true;
  }
  bool LoadChannel(ZelFileLoader& loader, Zel_ChannelGroup* group) override {
    if (!Zel_Channel::LoadChannel(loader, group)) return false;
    if (loader.GetInfoIfTag("PRBE")) {
      if (!loader.CopyTagDataToPointer(&count) || !loader.CopyTagDataToPointer(&scale) ||
          !loader.CopyTagDataToPointer(&mode))
        return false;
    }
    return true;
  }

  int32_t count = 1;  // its setter ignores negative values
  int32_t bound = 0;  // its setter ignores values below count
  uint32_t mask = 0;
  ProbeMode mode = ProbeMode::ModeA;
  D3DXVECTOR3 offset{0, 0, 0};
  bool enabled = false;
  float scale = 1.0f;
  D3DXMATRIX pose;
  std::vector<D3DXVECTOR3> points;  // set through the data hook
};

}  // namespace

CORVANE_PLUGIN(ProbeChannel, "Test Probe", "6E1A9C30-5B7D-4F28-A1E4-93C0D58B2F17",
               "6E1A9C30-5B7D-4F28-A1E4-93C0D58B2F17", 1, 0)

CORVANE_PROPERTY_TABLE_EXPORT const corvane::PropertyTable* GetPropertyTable() {
  using corvane::MakeProperty;
  using P = ProbeChannel;
  static const corvane::PropertyTable table = [] {
    corvane::PropertyTable t;
    t.properties.push_back(MakeProperty<P, int32_t>(
        "Count", [](P& c) { return c.count; }, [](P& c, int32_t v) { if (v >= 0) c.count = v; }));
    t.properties.push_back(MakeProperty<P, int32_t>(
        "Bound", [](P& c) { return c.bound; }, [](P& c, int32_t v) { if (v >= c.count) c.bound = v; }));
    t.properties.push_back(MakeProperty<P, uint32_t>(
        "Mask", [](P& c) { return c.mask; }, [](P& c, uint32_t v) { c.mask = v; }));
    t.properties.push_back(MakeProperty<P, ProbeMode>(
        "Mode", [](P& c) { return c.mode; }, [](P& c, ProbeMode v) { c.mode = v; },
        {"ModeA", "ModeB", "ModeC"}));
    t.properties.push_back(MakeProperty<P, D3DXVECTOR3>(
        "Offset", [](P& c) { return c.offset; }, [](P& c, D3DXVECTOR3 v) { c.offset = v; }));
    t.properties.push_back(MakeProperty<P, bool>(
        "IfEnabled", [](P& c) { return c.enabled; }, [](P& c, bool v) { c.enabled = v; }));
    t.properties.push_back(MakeProperty<P, float>(
        "Scale", [](P& c) { return c.scale; }, [](P& c, float v) { c.scale = v; }));
    t.properties.push_back(MakeProperty<P, D3DXMATRIX>(
        "Pose", [](P& c) { return c.pose; }, [](P& c, D3DXMATRIX v) { c.pose = v; }));
    t.applyData = [](Zel_Channel& ch, const std::string& text, std::string* error) {
      nlohmann::json j = nlohmann::json::parse(text, nullptr, false);
      if (!j.is_object() || !j.contains("points") || !j["points"].is_array()) {
        *error = "expected {\"points\": [[x, y, z], ...]}";
        return false;
      }
      std::vector<D3DXVECTOR3> pts;
      for (const auto& p : j["points"]) {
        if (!p.is_array() || p.size() != 3 || !p[0].is_number() || !p[1].is_number() || !p[2].is_number()) {
          *error = "a point must be [x, y, z]";
          return false;
        }
        pts.push_back(D3DXVECTOR3(p[0].get<float>(), p[1].get<float>(), p[2].get<float>()));
      }
      static_cast<P&>(ch).points = std::move(pts);
      return true;
    };
    return t;
  }();
  return &table;
}

// Lets tests read what the data hook stored.
CORVANE_EXPORT int ProbePointCount(Zel_Channel* channel) {
  return static_cast<int>(static_cast<ProbeChannel*>(channel)->points.size());
}
