#include "corvane/channels/flow_grid.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

#include <nlohmann/json.hpp>

#include "corvane/chunk_io.h"
#include "corvane/engine_interface.h"
#include "corvane/plugin.h"
#include "corvane/property.h"
#include "corvane/type_ids.h"

namespace {
constexpr const char* kGridTag = "PFGD";
constexpr const char* kMatrixTag = "PFLM";
constexpr const char* kLocationsTag = "PFLC";
constexpr int kMaxResolution = 32;
constexpr uint32_t kMaxLocations = 4096;

float LimitAbs(float x, float limit) {
  limit = std::fabs(limit);
  return std::clamp(x, -limit, limit);
}
}  // namespace

Vyn_DX8_ParticleFlowGrid::Vyn_DX8_ParticleFlowGrid() {
  SetChannelName(kTypeName);
  D3DXMatrixIdentity(&m_LocationMatrix);
}

Vyn_DX8_ParticleFlowGrid::~Vyn_DX8_ParticleFlowGrid() { ClearLocations(); }

int Vyn_DX8_ParticleFlowGrid::CellIndex(const D3DXVECTOR3& p) const {
  const D3DXVECTOR3 lo = m_GridMin, hi = m_GridMax;
  if (!(p.x >= lo.x && p.x <= hi.x && p.y >= lo.y && p.y <= hi.y && p.z >= lo.z && p.z <= hi.z)) return -1;
  const int n = m_nResolution;
  auto axis = [n](float v, float a, float b) {
    const float span = b - a;
    int c = span > 0.0f ? static_cast<int>((v - a) / span * static_cast<float>(n)) : 0;
    return std::clamp(c, 0, n - 1);
  };
  return (axis(p.z, lo.z, hi.z) * n + axis(p.y, lo.y, hi.y)) * n + axis(p.x, lo.x, hi.x);
}

void Vyn_DX8_ParticleFlowGrid::BeginFrameIfNeeded(const Vyn_DX8_ParticleEmitter* emitter) {
  const size_t cells = static_cast<size_t>(m_nResolution) * m_nResolution * m_nResolution;
  if (m_Flow.size() != cells) {
    m_Flow.assign(cells, D3DXVECTOR3(0, 0, 0));
    m_Sum.assign(cells, D3DXVECTOR3(0, 0, 0));
    m_Count.assign(cells, 0);
  }
  EngineInterface* e = engine ? engine : globalEngine;
  const int frame = e ? e->GetFrameNumber() : 0;
  if (frame == m_nFrame) return;
  m_nFrame = frame;
  // The particles gathered in the frame before become the flow that acts in this one; a cell
  // nobody crossed keeps a decaying flow until it falls below the threshold.
  const float decay = std::clamp(emitter->GetDiffuseFactor(), 0.0f, 1.0f);
  const float threshold = emitter->GetDiffuseTreshold();
  for (size_t c = 0; c < cells; ++c) {
    if (m_Count[c] > 0) {
      m_Flow[c] = m_Sum[c] / static_cast<float>(m_Count[c]);
    } else {
      m_Flow[c] *= decay;
      if (D3DXVec3Length(&m_Flow[c]) < threshold) m_Flow[c] = D3DXVECTOR3(0, 0, 0);
    }
    m_Sum[c] = D3DXVECTOR3(0, 0, 0);
    m_Count[c] = 0;
  }
}

void Vyn_DX8_ParticleFlowGrid::ActOnParticle(tParticle* particle, Vyn_DX8_ParticleEmitter* emitter,
                                             bool* keepAlive, float dt) {
  if (!particle || !emitter) return;
  BeginFrameIfNeeded(emitter);
  const int cell = CellIndex(particle->position);
  if (cell < 0) {
    if (m_bKillOutside && keepAlive) *keepAlive = false;
    return;
  }
  if (m_bKillInside && keepAlive) *keepAlive = false;

  D3DXVECTOR3& v = particle->velocity;
  if (emitter->GetParticleAffectedByGrid()) {
    const D3DXVECTOR3 staticPush = m_StaticForce * emitter->GetStaticForceScale();
    const D3DXVECTOR3 flow = m_Flow[cell];
    const bool flowActs = flow.x != 0.0f || flow.y != 0.0f || flow.z != 0.0f;
    const D3DXVECTOR3 actorPush =
        flowActs ? (flow - v) * (emitter->GetActorForceScale() * emitter->GetPartActorForceScale())
                 : D3DXVECTOR3(0, 0, 0);
    const D3DXVECTOR3 push = staticPush + actorPush;
    v += push * dt;

    v *= emitter->GetVelocityDamping();
    const float speed = D3DXVec3Length(&v);
    if (speed >= emitter->GetParticleInfluenceVelocityRangeMin() &&
        speed <= emitter->GetParticleInfluenceVelocityRangeMax()) {
      if (m_StaticForce.x != 0.0f || m_StaticForce.y != 0.0f || m_StaticForce.z != 0.0f)
        v *= emitter->GetStaticInForceVelocityDamping();
      if (flowActs) {
        v *= emitter->GetActorInForceVelocityDamping();
        v *= emitter->GetPartActorInForceVelocityDamping();
      }
    }

    if (emitter->GetShapeFeedback()) {
      const float pushLength = D3DXVec3Length(&push);
      const float grow = LimitAbs(pushLength * emitter->GetDeltaSizeFactor(), emitter->GetMaxAbsDeltaSize());
      particle->sizeStep = D3DXVECTOR3(grow, grow, grow);
      const float maxTurn = emitter->GetMaxAbsDeltaRotation();
      const float factor = emitter->GetDeltaRotationFactor();
      particle->rotationStep = D3DXVECTOR3(LimitAbs(push.x * factor, maxTurn), LimitAbs(push.y * factor, maxTurn),
                                           LimitAbs(push.z * factor, maxTurn));
    }
  }

  if (emitter->GetParticleActOnGrid()) {
    m_Sum[cell] += v;
    ++m_Count[cell];
  }
}

D3DXVECTOR3 Vyn_DX8_ParticleFlowGrid::GetCellFlow(const D3DXVECTOR3& position) const {
  const int cell = CellIndex(position);
  if (cell < 0 || static_cast<size_t>(cell) >= m_Flow.size()) return D3DXVECTOR3(0, 0, 0);
  return m_Flow[cell];
}

void Vyn_DX8_ParticleFlowGrid::SetGridMin(const D3DXVECTOR3& value) { m_GridMin = value; }
D3DXVECTOR3 Vyn_DX8_ParticleFlowGrid::GetGridMin() const { return m_GridMin; }
void Vyn_DX8_ParticleFlowGrid::SetGridMax(const D3DXVECTOR3& value) { m_GridMax = value; }
D3DXVECTOR3 Vyn_DX8_ParticleFlowGrid::GetGridMax() const { return m_GridMax; }
void Vyn_DX8_ParticleFlowGrid::SetStaticForce(const D3DXVECTOR3& value) { m_StaticForce = value; }
D3DXVECTOR3 Vyn_DX8_ParticleFlowGrid::GetStaticForce() const { return m_StaticForce; }
void Vyn_DX8_ParticleFlowGrid::SetResolution(int value) {
  if (value < 1 || value > kMaxResolution) return;
  m_nResolution = value;
}
int Vyn_DX8_ParticleFlowGrid::GetResolution() const { return m_nResolution; }
void Vyn_DX8_ParticleFlowGrid::SetKillInside(bool value) { m_bKillInside = value; }
bool Vyn_DX8_ParticleFlowGrid::GetKillInside() const { return m_bKillInside; }
void Vyn_DX8_ParticleFlowGrid::SetKillOutside(bool value) { m_bKillOutside = value; }
bool Vyn_DX8_ParticleFlowGrid::GetKillOutside() const { return m_bKillOutside; }

void Vyn_DX8_ParticleFlowGrid::SetLocationMatrix(const D3DXMATRIX& value) { m_LocationMatrix = value; }
D3DXMATRIX Vyn_DX8_ParticleFlowGrid::GetLocationMatrix() const { return m_LocationMatrix; }
Zel_List* Vyn_DX8_ParticleFlowGrid::GetLocationList() { return &m_Locations; }

void Vyn_DX8_ParticleFlowGrid::SetLocation(uint32_t key, bool active, const D3DXVECTOR3& position) {
  for (int i = 0; i < m_Locations.GetItemCount(); ++i) {
    auto* r = static_cast<tEmitLocationRecord*>(m_Locations.GetItem(i));
    if (r && r->key == key) {
      r->active = active ? 1 : 0;
      r->position = position;
      return;
    }
  }
  if (static_cast<uint32_t>(m_Locations.GetItemCount()) >= kMaxLocations) return;
  auto* r = new tEmitLocationRecord{key, static_cast<uint8_t>(active ? 1 : 0), position};
  m_Locations.AddItem(r);
}

bool Vyn_DX8_ParticleFlowGrid::RemoveLocation(uint32_t key) {
  for (int i = 0; i < m_Locations.GetItemCount(); ++i) {
    auto* r = static_cast<tEmitLocationRecord*>(m_Locations.GetItem(i));
    if (r && r->key == key) {
      m_Locations.RemoveItem(i);
      delete r;
      return true;
    }
  }
  return false;
}

void Vyn_DX8_ParticleFlowGrid::ClearLocations() {
  for (int i = 0; i < m_Locations.GetItemCount(); ++i)
    delete static_cast<tEmitLocationRecord*>(m_Locations.GetItem(i));
  m_Locations.ReleaseItems();
}

// --- persistence --------------------------------------------------------------------------------

namespace {
// One location record as stored: key (4), active (1), position (12).
struct StoredLocation {
  uint32_t key;
  uint8_t active;
  float x, y, z;
};
constexpr uint32_t kStoredLocationSize = 17;
}  // namespace

bool Vyn_DX8_ParticleFlowGrid::SaveChannel(ZelFileSaver& saver) {
  if (!Zel_Channel::SaveChannel(saver)) return false;
  auto block = [&](const void* p, uint32_t n) { saver.SaveBlockSize(n); saver.SaveDataToFile(p, n); };
  const int32_t resolution = m_nResolution;
  const uint8_t killInside = m_bKillInside ? 1 : 0, killOutside = m_bKillOutside ? 1 : 0;
  saver.SaveTag(kGridTag);
  block(&m_GridMin, 12);
  block(&m_GridMax, 12);
  block(&m_StaticForce, 12);
  block(&resolution, 4);
  block(&killInside, 1);
  block(&killOutside, 1);
  saver.SaveTag(kMatrixTag);
  block(&m_LocationMatrix, 64);
  const uint32_t count = static_cast<uint32_t>(m_Locations.GetItemCount());
  std::vector<uint8_t> bytes;
  bytes.reserve(count * kStoredLocationSize);
  for (uint32_t i = 0; i < count; ++i) {
    auto* r = static_cast<const tEmitLocationRecord*>(m_Locations.GetItem(static_cast<int>(i)));
    uint8_t rec[kStoredLocationSize] = {};
    if (r) {
      std::memcpy(rec, &r->key, 4);
      rec[4] = r->active;
      std::memcpy(rec + 5, &r->position, 12);
    }
    bytes.insert(bytes.end(), rec, rec + kStoredLocationSize);
  }
  saver.SaveTag(kLocationsTag);
  block(&count, 4);
  block(bytes.data(), static_cast<uint32_t>(bytes.size()));
  return saver.IsGood();
}

bool Vyn_DX8_ParticleFlowGrid::LoadChannel(ZelFileLoader& loader, Zel_ChannelGroup* group) {
  if (!Zel_Channel::LoadChannel(loader, group)) return false;
  if (loader.GetInfoIfTag(kGridTag)) {
    D3DXVECTOR3 lo = m_GridMin, hi = m_GridMax, force = m_StaticForce;
    int32_t resolution = m_nResolution;
    uint8_t killInside = m_bKillInside, killOutside = m_bKillOutside;
    if (!loader.CopyTagDataToPointer(&lo) || !loader.CopyTagDataToPointer(&hi) ||
        !loader.CopyTagDataToPointer(&force) || !loader.CopyTagDataToPointer(&resolution) ||
        !loader.CopyTagDataToPointer(&killInside) || !loader.CopyTagDataToPointer(&killOutside))
      return false;
    if (resolution < 1 || resolution > kMaxResolution) {
      loader.SetError("flow grid resolution " + std::to_string(resolution) + " outside 1..32");
      return false;
    }
    m_GridMin = lo;
    m_GridMax = hi;
    m_StaticForce = force;
    m_nResolution = resolution;
    m_bKillInside = killInside != 0;
    m_bKillOutside = killOutside != 0;
  }
  if (loader.GetInfoIfTag(kMatrixTag)) {
    D3DXMATRIX m = m_LocationMatrix;
    if (!loader.CopyTagDataToPointer(&m)) return false;
    m_LocationMatrix = m;
  }
  if (loader.GetInfoIfTag(kLocationsTag)) {
    uint32_t count = 0;
    if (!loader.CopyTagDataToPointer(&count)) return false;
    if (count > kMaxLocations || loader.GetSizeDataBlock(false) != count * kStoredLocationSize) {
      loader.SetError("flow grid location count " + std::to_string(count) + " does not match its block");
      return false;
    }
    std::vector<uint8_t> bytes(count * kStoredLocationSize);
    if (!loader.CopyTagDataToPointer(bytes.data(), static_cast<uint32_t>(bytes.size()))) return false;
    ClearLocations();
    for (uint32_t i = 0; i < count; ++i) {
      const uint8_t* rec = bytes.data() + i * kStoredLocationSize;
      uint32_t key;
      D3DXVECTOR3 pos;
      std::memcpy(&key, rec, 4);
      std::memcpy(&pos, rec + 5, 12);
      SetLocation(key, rec[4] != 0, pos);
    }
  }
  return !loader.HasError();
}

CORVANE_PLUGIN(Vyn_DX8_ParticleFlowGrid, Vyn_DX8_ParticleFlowGrid::kTypeName,
               "F2B9D460-37AE-4851-A06C-D5E3F8127B9A", "F2B9D460-37AE-4851-A06C-D5E3F8127B9A", 1, 0)

// Properties by stem; the location records come as data:
//   {"locations": [{"key": 1, "active": true, "position": [x, y, z]}, ...]}
CORVANE_PROPERTY_TABLE_EXPORT const corvane::PropertyTable* GetPropertyTable() {
  using G = Vyn_DX8_ParticleFlowGrid;
  static const corvane::PropertyTable table = [] {
    corvane::PropertyTable t;
    t.properties = {
        corvane::MakeProperty<G, D3DXVECTOR3>("GridMin", [](G& g) { return g.GetGridMin(); },
                                              [](G& g, D3DXVECTOR3 v) { g.SetGridMin(v); }),
        corvane::MakeProperty<G, D3DXVECTOR3>("GridMax", [](G& g) { return g.GetGridMax(); },
                                              [](G& g, D3DXVECTOR3 v) { g.SetGridMax(v); }),
        corvane::MakeProperty<G, D3DXVECTOR3>("StaticForce", [](G& g) { return g.GetStaticForce(); },
                                              [](G& g, D3DXVECTOR3 v) { g.SetStaticForce(v); }),
        corvane::MakeProperty<G, int32_t>("Resolution", [](G& g) { return g.GetResolution(); },
                                          [](G& g, int32_t v) { g.SetResolution(v); }),
        corvane::MakeProperty<G, bool>("KillInside", [](G& g) { return g.GetKillInside(); },
                                       [](G& g, bool v) { g.SetKillInside(v); }),
        corvane::MakeProperty<G, bool>("KillOutside", [](G& g) { return g.GetKillOutside(); },
                                       [](G& g, bool v) { g.SetKillOutside(v); }),
        corvane::MakeProperty<G, D3DXMATRIX>("LocationMatrix", [](G& g) { return g.GetLocationMatrix(); },
                                             [](G& g, D3DXMATRIX m) { g.SetLocationMatrix(m); }),
    };
    t.applyData = [](Zel_Channel& ch, const std::string& text, std::string* error) {
      auto fail = [&](const std::string& why) {
        if (error) *error = why;
        return false;
      };
      nlohmann::json j = nlohmann::json::parse(text, nullptr, false);
      if (j.is_discarded() || !j.is_object()) return fail("flow grid data must be an object");
      auto list = j.find("locations");
      if (list == j.end() || !list->is_array()) return fail("flow grid data needs \"locations\": [...]");
      if (list->size() > kMaxLocations) return fail("too many flow grid locations");
      struct Parsed { uint32_t key; bool active; D3DXVECTOR3 pos; };
      std::vector<Parsed> parsed;
      for (const auto& l : *list) {
        if (!l.is_object()) return fail("a location must be an object");
        auto key = l.find("key");
        auto pos = l.find("position");
        if (key == l.end() || !key->is_number_unsigned()) return fail("a location needs an unsigned \"key\"");
        if (pos == l.end() || !pos->is_array() || pos->size() != 3 || !(*pos)[0].is_number() ||
            !(*pos)[1].is_number() || !(*pos)[2].is_number())
          return fail("a location needs \"position\": [x, y, z]");
        bool active = true;
        if (auto a = l.find("active"); a != l.end()) {
          if (!a->is_boolean()) return fail("\"active\" must be true or false");
          active = a->get<bool>();
        }
        parsed.push_back({key->get<uint32_t>(), active,
                          D3DXVECTOR3((*pos)[0].get<float>(), (*pos)[1].get<float>(), (*pos)[2].get<float>())});
      }
      auto& g = static_cast<G&>(ch);
      g.ClearLocations();
      for (const Parsed& p : parsed) g.SetLocation(p.key, p.active, p.pos);
      return true;
    };
    return t;
  }();
  return &table;
}
