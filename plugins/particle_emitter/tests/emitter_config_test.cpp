// Emitter configuration: type record, links, defaults, setter guards, chunks and property table.
#include <cstring>
#include <map>

#include "corvane/chunk_io.h"
#include "corvane/property.h"
#include "corvane/type_ids.h"
#include "emitter_test_support.h"

namespace ids = corvane::ids;
using corvane::PropertyType;
using corvane::PropertyValue;
using corvane::SameValue;
using P = Vyn_DX8_ParticleEmitter;

namespace {


std::string Show(const PropertyValue& v) {
  switch (v.type) {
    case PropertyType::Bool: return v.b ? "true" : "false";
    case PropertyType::Int:
    case PropertyType::Enum: return std::to_string(v.i);
    case PropertyType::UInt32: return std::to_string(v.u);
    case PropertyType::Float: return std::to_string(v.f);
    case PropertyType::Vector3:
      return "(" + std::to_string(v.v.x) + ", " + std::to_string(v.v.y) + ", " + std::to_string(v.v.z) + ")";
    default: return "?";
  }
}

// The chunk stream as (tag, block sizes) in order.
std::vector<std::pair<std::string, std::vector<uint32_t>>> Layout(const std::vector<uint8_t>& bytes) {
  std::vector<std::pair<std::string, std::vector<uint32_t>>> out;
  ZelFileLoader loader(bytes.data(), bytes.size());
  while (!loader.AtEnd()) {
    auto token = loader.PeekToken();
    if (token == ZelFileLoader::Token::Tag) {
      char tag[5];
      loader.ReadTag(tag);
      out.push_back({tag, {}});
    } else if (token == ZelFileLoader::Token::Block && !out.empty()) {
      uint32_t size = 0;
      loader.SkipBlock(&size);
      out.back().second.push_back(size);
    } else {
      break;
    }
  }
  return out;
}

std::vector<uint8_t> Save(P& e) {
  ZelFileSaver saver;
  EXPECT_TRUE(e.SaveChannel(saver));
  return saver.GetBytes();
}

}  // namespace

class EmitterConfigTest : public EmitterTest {
 protected:
  const corvane::PropertyTable* Table() { return engine->GetPropertyTable(ids::kParticleEmitter); }
};

TEST_F(EmitterConfigTest, TypeRecordAndLinks) {
  const auto* info = engine->FindPlugin(ids::kParticleEmitter);
  ASSERT_NE(info, nullptr);
  ChannelType* a = info->getType();
  EXPECT_EQ(a, info->getType()) << "same static record on every call";
  EXPECT_STREQ(a->typeName, "DX8 ParticleEmitter");
  EXPECT_EQ(a->baseTypeId, ids::kParticleEmitter);
  EXPECT_EQ(a->hostWord1, 1);
  EXPECT_EQ(a->hostWord2, 50);
  EXPECT_EQ(a->hostWord3, 1);
  EXPECT_EQ(a->hostWord4, 0);

  EmitterProbe* e = NewEmitter(10, 40, 1);
  EXPECT_STREQ(e->GetChannelName(), "DX8 ParticleEmitter");
  struct Link { const char* name; const char* type; GUID id; int position; };
  const Link links[] = {
      {"Emmiter Shape ObjectData", "DX8 3D ObjectData", ids::kObjectData, 0},
      {"Particle Direction Function", "Value Vector", ids::kValueVector, 1},
      {"Particle Velocity Function", "Envelope", ids::kEnvelope, 2},
      {"Particle Acceleration Function", "Value Vector", ids::kValueVector, 3},
      {"Particle Rotation Function", "Value Vector", ids::kValueVector, 4},
      {"Particle Size Function", "Value Vector", ids::kValueVector, 5},
      {"Particle Color Function", "Value Vector", ids::kValueVector, 6},
      {"Advanced Function Base", "Value", ids::kValue, 7},
      {"Particle Flow Grid", "DX8 ParticleFlowGrid", ids::kParticleFlowGrid, -1},
  };
  ASSERT_EQ(e->GetLinkCount(), 9);
  for (int i = 0; i < 9; ++i) {
    const ChildCreation* d = e->GetLinkDeclaration(i);
    ASSERT_NE(d, nullptr);
    EXPECT_STREQ(d->linkName, links[i].name) << i;
    EXPECT_STREQ(d->childType.typeName, links[i].type) << i;
    EXPECT_EQ(d->childType.typeId, links[i].id) << i;
    EXPECT_EQ(d->linkPosition, links[i].position) << i;
    EXPECT_EQ(d->childType.baseTypeId, ids::kChildBaseMarker) << i;
    EXPECT_EQ(d->linkId, GUID{}) << i;
    EXPECT_EQ(d->hostWord6, 1) << i;
  }
}

TEST_F(EmitterConfigTest, DefaultsThroughThePropertyTable) {
  auto e = std::make_unique<EmitterProbe>();
  const auto* table = Table();
  ASSERT_NE(table, nullptr);
  const D3DXVECTOR3 zero(0, 0, 0), one(1, 1, 1);
  const std::map<std::string, PropertyValue> defaults = {
      {"IsActivated", PropertyValue::Bool(true)},
      // Left open by the constructor; started at 0 so that nothing runs until they are set.
      {"BirthPeriod", PropertyValue::UInt32(0)},
      {"BurstTotal", PropertyValue::UInt32(0)},
      {"MaxParticles", PropertyValue::Int(0)},
      {"TimeScale", PropertyValue::Float(1.0f)},
      {"Shape", PropertyValue::Enum(1)},
      {"BoxShapeDimensions", PropertyValue::Vector3(zero)},
      {"SphereShapeMinRadius", PropertyValue::Float(1.0f)},
      {"SphereShapeMaxRadius", PropertyValue::Float(1.0f)},
      {"SphereShapeHSRadius", PropertyValue::Float(1.0f)},
      {"RespawnDeadParticles", PropertyValue::Bool(true)},
      {"IsCorrectForMissingPeriods", PropertyValue::Bool(false)},
      {"AutoResetType", PropertyValue::Enum(0)},
      {"AutoResetTime", PropertyValue::UInt32(1000)},
      {"ParticlesSpace", PropertyValue::Enum(1)},
      {"AccVector0", PropertyValue::Vector3(zero)},
      {"AccVector2", PropertyValue::Vector3(zero)},
      {"AccVectorsSpace0", PropertyValue::Enum(1)},
      {"AccVectorsSpace2", PropertyValue::Enum(1)},
      {"FrameStep", PropertyValue::Int(1)},
      {"ForceBirth", PropertyValue::Bool(false)},
      {"ParticleDyingPeriod", PropertyValue::UInt32(1000)},
      {"IsParticleDyingFadeOut", PropertyValue::Bool(true)},
      {"IsParticleDyingScaleOut", PropertyValue::Bool(false)},
      {"ParticleBirthingPeriod", PropertyValue::UInt32(1000)},
      {"IsParticleBirthingFadeIn", PropertyValue::Bool(true)},
      {"IsParticleBirthingScaleIn", PropertyValue::Bool(false)},
      {"StartSizeJitter", PropertyValue::Vector3(zero)},
      {"IsLinkEndColorJitter", PropertyValue::Bool(false)},
      {"VelocityJitter", PropertyValue::Float(0.0f)},
      {"LifeTimeJitter", PropertyValue::UInt32(0)},
      {"MaxAbsAcceleration", PropertyValue::Float(0.0f)},
      {"MaxSize", PropertyValue::Vector3(zero)},
      {"IsSizeZKill", PropertyValue::Bool(false)},
      {"ParticleInitialLifeTime", PropertyValue::UInt32(1000)},
      {"ParticleInitialSizeStart", PropertyValue::Vector3(one)},
      {"ParticleInitialSizeEnd", PropertyValue::Vector3(one)},
      {"ParticleInitialColorStart", PropertyValue::Vector3(one)},
      {"ParticleInitialColorEnd", PropertyValue::Vector3(one)},
      {"ParticleInitialVelocity", PropertyValue::Float(0.0f)},
      {"ParticleInwardDirection", PropertyValue::Bool(false)},
      {"IsMultiLocation", PropertyValue::Bool(true)},
      {"VorticityYScale", PropertyValue::Float(1.0f)},
      {"ParticleActOnGrid", PropertyValue::Bool(true)},
      {"ParticleAffectedByGrid", PropertyValue::Bool(true)},
      {"VelocityDamping", PropertyValue::Float(1.0f)},
      {"PartActorForceScale", PropertyValue::Float(1.0f)},
      {"ParticleInfluenceVelocityRangeMin", PropertyValue::Float(1000.0f)},
      {"ParticleInfluenceVelocityRangeMax", PropertyValue::Float(-1000.0f)},
      {"PartActorInForceVelocityDamping", PropertyValue::Float(1.0f)},
      {"DiffuseTreshold", PropertyValue::Float(1.0f)},
      {"ShapeFeedback", PropertyValue::Bool(true)},
      {"MaxAbsDeltaSize", PropertyValue::Float(1.0f)},
      {"IsCulling", PropertyValue::Bool(true)},
      {"TextureSwitchMode", PropertyValue::Enum(0)},
      {"TextureSwitchingSpeed", PropertyValue::Float(0.0f)},
  };
  for (const auto& [stem, expected] : defaults) {
    const corvane::PropertyInfo* info = table->Find(stem);
    ASSERT_NE(info, nullptr) << stem;
    PropertyValue got = info->get(*e);
    EXPECT_TRUE(SameValue(got, expected)) << stem << " = " << Show(got) << ", expected " << Show(expected);
  }
  EXPECT_EQ(e->GetLastParticlePoolIndex(), -1);
  EXPECT_TRUE(e->GetIsResetPrevTreeCount());
  EXPECT_EQ(e->GetParticlePool(), nullptr) << "no pool while MaxParticles is 0";

  // Enumerations carry their names for scenes.
  EXPECT_EQ(table->Find("Shape")->enumNames,
            (std::vector<std::string>{"ShapeSphere", "ShapeBox", "ShapeObjectData"}));
  EXPECT_EQ(table->Find("AccVectorsSpace1")->enumNames, (std::vector<std::string>{"SpaceLocal", "SpaceWorld"}));
  EXPECT_EQ(table->Find("TextureSwitchMode")->enumNames.size(), 3u);
  EXPECT_EQ(table->Find("AutoResetType")->enumNames.at(2), "AutoResetAtTime");
}

TEST_F(EmitterConfigTest, SetterGuards) {
  EmitterProbe* e = NewEmitter(10, 40, 2);
  Frame(e);
  ASSERT_EQ(e->GetLivingCount(), 2);
  for (int bad : {0, -1, 65536}) {
    e->SetMaxParticles(bad);
    EXPECT_EQ(e->GetMaxParticles(), 10) << bad;
    EXPECT_EQ(e->GetLivingCount(), 2) << "no reset for " << bad;
    EXPECT_NE(e->PeekParticlePool(), nullptr) << bad;
  }
  e->SetMaxParticles(65535);
  EXPECT_EQ(e->GetMaxParticles(), 65535);
  EXPECT_EQ(e->PeekParticlePool(), nullptr) << "accepted size resets";
  EXPECT_EQ(e->GetLivingCount(), 0);
  EXPECT_EQ(e->GetClock(), 0u);
  EXPECT_TRUE(e->GetIsResetPrevTreeCount());
  Frame(e);
  EXPECT_EQ(e->GetPoolCapacity(), 65535);

  e->SetFrameStep(3);
  e->SetFrameStep(0);
  e->SetFrameStep(-2);
  EXPECT_EQ(e->GetFrameStep(), 3);

  // Indexed accessors ignore indices outside 0 .. 2.
  e->SetAccVector(1, D3DXVECTOR3(1, 2, 3));
  e->SetAccVector(3, D3DXVECTOR3(9, 9, 9));
  e->SetAccVector(-1, D3DXVECTOR3(9, 9, 9));
  EXPECT_EQ(e->GetAccVector(1), D3DXVECTOR3(1, 2, 3));
  EXPECT_EQ(e->GetAccVector(0), D3DXVECTOR3(0, 0, 0));
  EXPECT_EQ(e->GetAccVector(7), D3DXVECTOR3(0, 0, 0));
  e->SetAccVectorsSpace(2, P::SpaceLocal);
  e->SetAccVectorsSpace(5, P::SpaceLocal);
  EXPECT_EQ(e->GetAccVectorSpace(2), P::SpaceLocal);
  EXPECT_EQ(e->GetAccVectorSpace(5), P::SpaceWorld);
}

// Every property of the table gets a value other than its default, goes through a save and a load
// into a fresh emitter, and comes back; the stream has the chunk layout byte for byte.
TEST_F(EmitterConfigTest, ChunkRoundTripOfEveryProperty) {
  const auto* table = Table();
  ASSERT_NE(table, nullptr);
  auto source = std::make_unique<EmitterProbe>();
  int n = 0;
  for (const corvane::PropertyInfo& info : table->properties) {
    PropertyValue v = info.get(*source);
    ++n;
    switch (v.type) {
      case PropertyType::Bool: v.b = !v.b; break;
      case PropertyType::Int: v.i = info.stem == "MaxParticles" ? 1234 : v.i + 2; break;
      case PropertyType::Enum: v.i = (v.i + 1) % static_cast<int>(info.enumNames.size()); break;
      case PropertyType::UInt32: v.u += 17 + n; break;
      case PropertyType::Float: v.f += 0.25f * static_cast<float>(n); break;
      case PropertyType::Vector3: v.v = D3DXVECTOR3(0.5f * n, -1.0f * n, 2.0f + n); break;
      default: FAIL() << info.stem;
    }
    ASSERT_TRUE(info.set(*source, v)) << info.stem;
    ASSERT_TRUE(SameValue(info.get(*source), v)) << info.stem << " did not take " << Show(v);
  }
  // The influence range stays inverted (minimum above maximum) and both link pairs are on.
  EXPECT_GT(source->GetParticleInfluenceVelocityRangeMin(), source->GetParticleInfluenceVelocityRangeMax());
  EXPECT_TRUE(source->GetIsLinkStartSizeJitter() && source->GetIsLinkEndSizeJitter());
  EXPECT_TRUE(source->GetIsLinkStartColorJitter() && source->GetIsLinkEndColorJitter());

  const std::vector<uint8_t> bytes = Save(*source);
  const std::vector<std::pair<std::string, std::vector<uint32_t>>> expected = {
      {"PEBS", {1, 4, 4, 4}},
      {"PESH", {4, 12, 4, 4, 4}},
      {"PEGN", {1, 1, 4, 1, 1, 4}},
      {"PEAR", {4, 4}},
      {"PEPS", {4, 36, 12}},
      {"PEJT", {12, 12, 12, 12, 12, 4, 12, 12, 1, 1, 1, 1}},
      {"PEEV", {4, 1, 1, 4, 1, 1}},
      {"PELM", {4, 4, 4, 4, 12, 12}},
      {"PELK", {1, 1, 1, 1, 1}},
      {"PEIN", {4, 12, 12, 12, 12, 12, 4, 4, 4, 12, 12, 1}},
      {"PEVO", {4, 4, 4}},
      {"PEGS", {4, 4, 4}},
      {"PEGD", {4, 4, 4, 4, 4, 4}},
      {"PEGF", {4, 4}},
      {"PEGB", {1, 4, 4, 4, 4, 1, 1, 1}},
      {"PETM", {4, 4, 4, 4, 4, 4}},
      {"PELJ", {4}},
  };
  EXPECT_EQ(Layout(bytes), expected);

  // Spot-check the byte order inside chunks: PEBS holds IsActivated, BirthPeriod, BurstTotal,
  // MaxParticles; PEGD ends with the influence range minimum then maximum.
  {
    ZelFileLoader l(bytes.data(), bytes.size());
    ASSERT_TRUE(l.GetInfoIfTag("PEBS"));
    uint8_t active = 9;
    uint32_t period = 0, burst = 0;
    int32_t maxParticles = 0;
    ASSERT_TRUE(l.CopyTagDataToPointer(&active));
    ASSERT_TRUE(l.CopyTagDataToPointer(&period));
    ASSERT_TRUE(l.CopyTagDataToPointer(&burst));
    ASSERT_TRUE(l.CopyTagDataToPointer(&maxParticles));
    EXPECT_EQ(active, source->GetIsActivated() ? 1 : 0);
    EXPECT_EQ(period, source->GetBirthPeriod());
    EXPECT_EQ(burst, source->GetBurstTotal());
    EXPECT_EQ(maxParticles, 1234);
  }

  auto loaded = std::make_unique<EmitterProbe>();
  ZelFileLoader loader(bytes.data(), bytes.size());
  ASSERT_TRUE(loaded->LoadChannel(loader, nullptr)) << loader.GetError();
  EXPECT_TRUE(loader.AtEnd());
  for (const corvane::PropertyInfo& info : table->properties) {
    EXPECT_TRUE(SameValue(info.get(*loaded), info.get(*source)))
        << info.stem << ": " << Show(info.get(*loaded)) << " vs " << Show(info.get(*source));
  }
  EXPECT_EQ(Save(*loaded), bytes) << "saving what was loaded gives the same bytes";
}

TEST_F(EmitterConfigTest, FileWithoutTextureChunkKeepsTextureDefaults) {
  auto source = std::make_unique<EmitterProbe>();
  source->SetMaxParticles(77);
  source->SetTextureSwitchMode(P::TextureSwitchPingPong);
  source->SetTextureSwitchingFrameCount(8);
  source->SetTextureSwitchingSpeed(3.0f);
  std::vector<uint8_t> bytes = Save(*source);
  const char* marker = "TPETM";
  auto it = std::search(bytes.begin(), bytes.end(), marker, marker + 5);
  ASSERT_NE(it, bytes.end());
  bytes.erase(it, bytes.end());

  auto loaded = std::make_unique<EmitterProbe>();
  ZelFileLoader loader(bytes.data(), bytes.size());
  ASSERT_TRUE(loaded->LoadChannel(loader, nullptr));
  EXPECT_EQ(loaded->GetMaxParticles(), 77);
  EXPECT_EQ(loaded->GetTextureSwitchMode(), P::TextureSwitchOnce);
  EXPECT_EQ(loaded->GetTextureSwitchingFrameCount(), 0u);
  EXPECT_EQ(loaded->GetTextureSwitchingSpeed(), 0.0f);
}

TEST_F(EmitterConfigTest, MalformedFilesAreRefusedWithoutHarm) {
  auto source = std::make_unique<EmitterProbe>();
  source->SetMaxParticles(50);
  const std::vector<uint8_t> good = Save(*source);

  // Every prefix loads or fails cleanly; the loaded emitter then still runs.
  for (size_t cut = 0; cut < good.size(); ++cut) {
    auto e = std::make_unique<EmitterProbe>();
    ZelFileLoader loader(good.data(), cut);
    e->LoadChannel(loader, nullptr);
    EXPECT_TRUE(e->GetMaxParticles() == 0 || e->GetMaxParticles() == 50) << cut;
    EXPECT_GE(e->GetFrameStep(), 1) << cut;
  }

  // Values no setter would accept make the load fail with a message.
  struct Bad { size_t offsetInChunk; int32_t value; const char* tag; const char* message; };
  const Bad cases[] = {
      {3, 70000, "PEBS", "MaxParticles"},
      {3, -5, "PEBS", "MaxParticles"},
      {2, 0, "PEGN", "FrameStep"},
  };
  for (const Bad& c : cases) {
    std::vector<uint8_t> bytes = good;
    // Find the block: tag token, then blocks of 'B' + 4-byte size + data.
    std::string tag = std::string("T") + c.tag;
    auto it = std::search(bytes.begin(), bytes.end(), tag.begin(), tag.end());
    ASSERT_NE(it, bytes.end());
    size_t pos = static_cast<size_t>(it - bytes.begin()) + 5;
    for (size_t b = 0; b < c.offsetInChunk; ++b) {
      uint32_t size;
      std::memcpy(&size, &bytes[pos + 1], 4);
      pos += 5 + size;
    }
    std::memcpy(&bytes[pos + 5], &c.value, 4);
    engine->GetLogger().Clear();
    auto e = std::make_unique<EmitterProbe>();
    ZelFileLoader loader(bytes.data(), bytes.size());
    EXPECT_FALSE(e->LoadChannel(loader, nullptr)) << c.message << " " << c.value;
    EXPECT_TRUE(engine->GetLogger().Contains(c.message)) << c.message;
    EXPECT_GE(e->GetFrameStep(), 1);
    EXPECT_TRUE(e->GetMaxParticles() >= 0 && e->GetMaxParticles() <= 65535);
  }

  // An oversized block is refused and nothing past the field is written.
  {
    ZelFileSaver s;
    s.SaveTag("PEBS");
    uint8_t big[16] = {1};
    s.SaveBlockSize(16);
    s.SaveDataToFile(big, 16);
    auto e = std::make_unique<EmitterProbe>();
    ZelFileLoader loader(s.GetBytes().data(), s.GetBytes().size());
    EXPECT_FALSE(e->LoadChannel(loader, nullptr));
  }
}

TEST_F(EmitterConfigTest, LoadingDoesNotTouchThePool) {
  EmitterProbe* e = NewEmitter(8, 40, 3);
  Frame(e);
  ASSERT_EQ(e->GetLivingCount(), 3);
  auto other = std::make_unique<EmitterProbe>();
  other->SetMaxParticles(20000);
  other->SetBurstTotal(50);
  const std::vector<uint8_t> bytes = Save(*other);
  ZelFileLoader loader(bytes.data(), bytes.size());
  ASSERT_TRUE(e->LoadChannel(loader, nullptr));
  EXPECT_EQ(e->GetMaxParticles(), 20000);
  EXPECT_EQ(e->GetLivingCount(), 3);
  EXPECT_EQ(e->GetPoolCapacity(), 8);
  // The bigger size applies at the next reset; until then births stay within the pool built.
  for (int f = 0; f < 3; ++f) {
    Frame(e);
    EXPECT_LE(e->GetParticlePoolCount(), 8);
    EXPECT_TRUE(PoolIsConsistent(*e));
  }
}
