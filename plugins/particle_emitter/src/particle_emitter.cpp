// The particle emitter: construction, persistence, accessors, emission and particle update.
#include "corvane/particle_emitter.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <string>

#include "corvane/channels/flow_grid.h"
#include "corvane/channels/object_data.h"
#include "corvane/channels/render_context.h"
#include "corvane/channels/value_channel.h"
#include "corvane/chunk_io.h"
#include "corvane/engine_interface.h"
#include "corvane/host/engine.h"
#include "corvane/plugin.h"
#include "corvane/type_ids.h"

namespace ids = corvane::ids;
using Emitter = Vyn_DX8_ParticleEmitter;
using tParticle = Vyn_DX8_ParticleEmitter::tParticle;

CORVANE_PLUGIN(Vyn_DX8_ParticleEmitter, "DX8 ParticleEmitter", "5C7A2E94-E1D8-4360-B7F5-A82C6D09E31B",
               "5C7A2E94-E1D8-4360-B7F5-A82C6D09E31B", 1, 0)

namespace {

constexpr int kMaxPoolSize = 65535;
constexpr int kLocationChildEntry = 15;
constexpr int kFirstGridEntry = 8;

// Random numbers in the C runtime's classic range 0 .. 32767. glibc's rand() answers 31 bits; its
// low 15 bits keep the sequence reproducible under std::srand and the range the formulas expect.
inline int Rand15() { return std::rand() & 0x7FFF; }
// r: uniform in -0.5 .. 0.5.
inline float RandSigned() { return static_cast<float>(Rand15()) / 32767.0f - 0.5f; }
// u: uniform in 0 .. 1.
inline float RandUnit() { return static_cast<float>(Rand15()) / 32767.0f; }

// True when the channel is of that type or derives from it.
bool IsOfType(Zel_Channel* channel, const GUID& type) {
  if (!channel) return false;
  ChannelType t = channel->GetChannelType();
  if (t.typeId == type || t.baseTypeId == type) return true;
  if (auto* host = dynamic_cast<corvane::host::Engine*>(channel->engine))
    return host->IsTypeCompatible(t.typeId, type);
  return false;
}

// Value-derived channels (value, envelope, time value, ...) answer GetFloat and GetValueAtTime.
Vyn_FloatChannel* AsValue(Zel_Channel* channel) {
  return IsOfType(channel, ids::kValue) ? static_cast<Vyn_FloatChannel*>(channel) : nullptr;
}

void Report(EngineInterface* engine, const char* text, const char* detail) {
  if (engine && engine->messageSink1) engine->messageSink1->ShowDebugMessage(text, detail);
}

D3DXVECTOR3 XYZ(const D3DXVECTOR4& v) { return D3DXVECTOR3(v.x, v.y, v.z); }

D3DXVECTOR3 TransformPoint(const D3DXVECTOR3& v, const D3DXMATRIX& m) {
  D3DXVECTOR4 out;
  D3DXVec3Transform(&out, &v, &m);
  return XYZ(out);
}

D3DXVECTOR3 TransformDirection(const D3DXVECTOR3& v, const D3DXMATRIX& m) {
  D3DXVECTOR3 out;
  D3DXVec3TransformNormal(&out, &v, &m);
  return out;
}

// Jitter of a vector: one shared r for all axes when linked, otherwise z, y, x each with its own r
// (drawn in that order).
D3DXVECTOR3 JitterVector(const D3DXVECTOR3& base, const D3DXVECTOR3& jitter, bool linked) {
  if (linked) {
    float r = RandSigned();
    return base + jitter * r;
  }
  D3DXVECTOR3 out = base;
  out.z += RandSigned() * jitter.z;
  out.y += RandSigned() * jitter.y;
  out.x += RandSigned() * jitter.x;
  return out;
}

D3DXVECTOR3 Saturate(const D3DXVECTOR3& v) {
  auto s = [](float x) { return x < 0.0f ? 0.0f : (x > 1.0f ? 1.0f : x); };
  return D3DXVECTOR3(s(v.x), s(v.y), s(v.z));
}

float Component(const D3DXVECTOR3& v, int k) { return k == 0 ? v.x : (k == 1 ? v.y : v.z); }
void SetComponent(D3DXVECTOR3& v, int k, float x) {
  if (k == 0) v.x = x;
  else if (k == 1) v.y = x;
  else v.z = x;
}

}  // namespace

// Everything UpdateParticles gathers once per frame.
struct Vyn_DX8_ParticleEmitter::FrameInputs {
  float dt = 0.0f;
  D3DXMATRIX world;
  D3DXMATRIX worldInverse;
  D3DXVECTOR3 acceleration{0, 0, 0};  // sum of the constant accelerations, in particle space
  Vyn_FloatChannel* base = nullptr;   // "Advanced Function Base"
  Vyn_FloatChannel* speed = nullptr;  // velocity envelope
  // Function components per link 1 .. 6 (index 0 unused), null where absent.
  Vyn_FloatChannel* function[7][3] = {};
  bool directionComplete = false;
  bool anyAccelerationFunction = false;
  bool anySizeFunction = false;
  bool anyRotationFunction = false;
  bool anyColorFunction = false;
};

namespace {
enum FunctionLink { kDirectionLink = 1, kVelocityLink = 2, kAccelerationLink = 3, kRotationLink = 4,
                    kSizeLink = 5, kColorLink = 6, kBaseLink = 7 };

float Sample(Vyn_FloatChannel* component, float t, Vyn_FloatChannel* base) {
  if (base) {
    base->SetFloat(t);
    return component->GetFloat();
  }
  return component->GetValueAtTime(t);
}
}  // namespace

// --- construction ------------------------------------------------------------------------------

Vyn_DX8_ParticleEmitter::Vyn_DX8_ParticleEmitter() {
  SetChannelName(kTypeName);
  SetChildCreationCount(1);
  corvane::LinkDeclarer links(this);
  links.Declare(0, "DX8 3D ObjectData", ids::kObjectData, 0, "Emmiter Shape ObjectData");
  links.Declare(1, "Value Vector", ids::kValueVector, 1, "Particle Direction Function");
  links.Declare(2, "Envelope", ids::kEnvelope, 2, "Particle Velocity Function");
  links.Declare(3, "Value Vector", ids::kValueVector, 3, "Particle Acceleration Function");
  links.Declare(4, "Value Vector", ids::kValueVector, 4, "Particle Rotation Function");
  links.Declare(5, "Value Vector", ids::kValueVector, 5, "Particle Size Function");
  links.Declare(6, "Value Vector", ids::kValueVector, 6, "Particle Color Function");
  links.Declare(7, "Value", ids::kValue, 7, "Advanced Function Base");
  links.Declare(8, "DX8 ParticleFlowGrid", ids::kParticleFlowGrid, kManyChildren, "Particle Flow Grid");
  // The property defaults are the member initialisers. BirthPeriod, BurstTotal and MaxParticles
  // start at 0: no pool is built and nothing is born until they are set or loaded.
  D3DXMatrixIdentity(&m_EmitterMatrix);
  if (engine) {
    Zel_Channel* timeValue = engine->CreateChannelInstance(ids::kTimeValue, 0, 0);
    m_pTimeValue = AsValue(timeValue);
    if (timeValue && !m_pTimeValue) delete timeValue;
    Zel_Channel* context = engine->GetSharedChannel(ids::kRenderContext, nullptr);
    if (IsOfType(context, ids::kRenderContext))
      m_pRenderContext = static_cast<Vyn_DX8_RenderContext*>(context);
  }
}

Vyn_DX8_ParticleEmitter::~Vyn_DX8_ParticleEmitter() {
  Vyn_DX8_ParticleEmitter::Reset();
  delete m_pTimeValue;
}

// --- pool ---------------------------------------------------------------------------------------

void Vyn_DX8_ParticleEmitter::Reset() {
  delete[] m_pParticlePool;
  m_pParticlePool = nullptr;
  m_nPoolCapacity = 0;
  m_YoungerIndex.clear();
  m_YoungerIndex.shrink_to_fit();
  // The free list's cells live in m_FreeCells, one per slot; freeing that array frees them all.
  m_FreeList.ReleaseItems();
  m_FreeCells.clear();
  m_FreeCells.shrink_to_fit();
  for (int i = 0; i < m_EmitLocations.GetItemCount(); ++i)
    delete static_cast<tEmitLocation*>(m_EmitLocations.GetItem(i));
  m_EmitLocations.ReleaseItems();
  m_nLastParticlePoolIndex = -1;
  m_nClock = 0;
  m_nLastBirth = 0;
  m_nParticlePoolCount = 0;
  m_nLivingCount = 0;
  m_bPoolExists = false;
  m_bResetPrevTreeCount = true;
  m_bBornSinceReset = false;
}

void Vyn_DX8_ParticleEmitter::CreateSystem() {
  if (m_nMaxParticles <= 0 || m_nMaxParticles > kMaxPoolSize) return;
  if (m_pParticlePool) Reset();
  const int n = m_nMaxParticles;
  m_pParticlePool = new (std::nothrow) tParticle[n];
  if (!m_pParticlePool) {
    Report(engine, "ParticleEmitter: out of memory for the particle pool of ", std::to_string(n).c_str());
    return;
  }
  for (int i = 0; i < n; ++i) {
    tParticle& p = m_pParticlePool[i];
    std::memset(&p, 0, sizeof(p));
    p.flags = kParticleDead;
    p.size = D3DXVECTOR3(1, 1, 1);
    p.color = D3DXVECTOR3(1, 1, 1);
    p.alpha = 1.0f;
    p.olderIndex = -1;
    p.textureSpeed = 1.0f;
  }
  m_YoungerIndex.assign(n, -1);
  m_FreeCells.assign(n, -1);
  m_nPoolCapacity = n;
  m_nParticlePoolCount = 0;
  m_bPoolExists = true;
}

Vyn_DX8_ParticleEmitter::tParticle* Vyn_DX8_ParticleEmitter::GetParticlePool() {
  if (!m_bPoolExists) CreateSystem();
  if (!m_bPoolExists) return m_pParticlePool;
  if (m_bIsActivated && CheckRenderCount()) {
    UpdateEmitter();
    if (!m_bEmitterSkipped && m_bPoolExists) UpdateParticles();
  }
  return m_pParticlePool;
}

int Vyn_DX8_ParticleEmitter::GetParticlePoolCount() { return m_nParticlePoolCount; }

int Vyn_DX8_ParticleEmitter::GetOldestParticle() {
  int i = m_nLastParticlePoolIndex;
  if (i < 0 || !m_pParticlePool) return -1;
  // The chain holds at most every slot once; the bound keeps a damaged chain from looping.
  for (int steps = 0; steps < m_nPoolCapacity; ++steps) {
    int older = m_pParticlePool[i].olderIndex;
    if (older < 0 || older >= m_nPoolCapacity) break;
    i = older;
  }
  return i;
}

int Vyn_DX8_ParticleEmitter::GetYoungerParticle(int index) {
  if (index == -1 || !m_pParticlePool) return -1;
  const int n = std::min(m_nMaxParticles, m_nPoolCapacity);
  for (int i = 0; i < n; ++i) {
    const tParticle& p = m_pParticlePool[i];
    if (!(p.flags & kParticleDead) && p.olderIndex == index) return i;
  }
  return -1;
}

int Vyn_DX8_ParticleEmitter::GetOldestNonLockedParticle() {
  int i = m_nLastParticlePoolIndex;
  if (i < 0 || !m_pParticlePool) return -1;
  // Remembers every particle that is not dying itself and whose older neighbour is dying: the
  // last one remembered is the oldest particle not yet dying when the dying ones gather at the old
  // end of the chain, as they do. Without a dying particle it is the oldest.
  int remembered = -1;
  int last = i;
  for (int steps = 0; steps < m_nPoolCapacity && i >= 0; ++steps) {
    last = i;
    int older = m_pParticlePool[i].olderIndex;
    if (older < 0 || older >= m_nPoolCapacity) break;
    if ((m_pParticlePool[older].flags & kParticleDying) && !(m_pParticlePool[i].flags & kParticleDying))
      remembered = i;
    i = older;
  }
  return remembered != -1 ? remembered : last;
}

int Vyn_DX8_ParticleEmitter::TakeForceBirthVictim() {
  // Within one emission pass the victims walk from the old end towards the young one: once the
  // last victim is dying, its younger neighbour is the next answer whenever that one is not dying
  // itself, so the chain is not walked again for every particle of a large burst.
  int cursor = m_nForceBirthCursor;
  if (cursor >= 0 && cursor < m_nPoolCapacity && (m_pParticlePool[cursor].flags & kParticleDying)) {
    int younger = m_YoungerIndex[cursor];
    if (younger >= 0 && !(m_pParticlePool[younger].flags & (kParticleDying | kParticleDead))) {
      m_nForceBirthCursor = younger;
      return younger;
    }
  }
  int victim = GetOldestNonLockedParticle();
  m_nForceBirthCursor = victim;
  return victim;
}

void Vyn_DX8_ParticleEmitter::StartParticleKillSequence(int index) {
  if (index < 0 || index >= m_nPoolCapacity) return;
  tParticle& p = m_pParticlePool[index];
  if (p.flags & kParticleDying) return;
  p.flags |= kParticleDying;
  p.dyingStart = m_nClock;
}

void Vyn_DX8_ParticleEmitter::KillParticle(int index) {
  if (index < 0 || index >= m_nPoolCapacity) return;
  tParticle& p = m_pParticlePool[index];
  // A dead particle is not in the chain nor alive: killing it again would put its slot on the
  // free list twice.
  if (p.flags & kParticleDead) return;
  const int older = p.olderIndex;
  // The younger neighbour is the one GetYoungerParticle finds by scanning the pool; the link kept
  // beside the pool names the same particle without the scan.
  const int younger = m_YoungerIndex[index];
  if (index == m_nLastParticlePoolIndex) m_nLastParticlePoolIndex = older;
  else if (younger >= 0) m_pParticlePool[younger].olderIndex = older;
  if (older >= 0 && older < m_nPoolCapacity) m_YoungerIndex[older] = younger;
  p.olderIndex = -1;
  m_YoungerIndex[index] = -1;
  p.flags = static_cast<uint8_t>((p.flags & ~kParticleDying) | kParticleDead);
  m_FreeCells[index] = index;
  m_FreeList.AddItem(&m_FreeCells[index]);
  --m_nLivingCount;
}

Vyn_DX8_ParticleEmitter::tEmitLocation* Vyn_DX8_ParticleEmitter::GetEmitLocation(uint32_t key) {
  for (int i = 0; i < m_EmitLocations.GetItemCount(); ++i) {
    auto* loc = static_cast<tEmitLocation*>(m_EmitLocations.GetItem(i));
    if (loc && loc->key == key) return loc;
  }
  return nullptr;
}

void Vyn_DX8_ParticleEmitter::RemoveEmitLocation(uint32_t key) {
  for (int i = 0; i < m_EmitLocations.GetItemCount(); ++i) {
    auto* loc = static_cast<tEmitLocation*>(m_EmitLocations.GetItem(i));
    if (loc && loc->key == key) {
      m_EmitLocations.RemoveItem(i);
      delete loc;
      return;
    }
  }
}

// --- emission -----------------------------------------------------------------------------------

void Vyn_DX8_ParticleEmitter::UpdateEmitter() {
  m_bEmitterSkipped = false;
  m_nForceBirthCursor = -1;
  Zel_Channel* shapeChild = GetChild(0);
  auto* shapeData = IsOfType(shapeChild, ids::kObjectData)
                        ? static_cast<Vyn_DX8_ObjectDataChannel*>(shapeChild)
                        : nullptr;
  if (m_Shape == ShapeObjectData && !shapeData) {
    m_bEmitterSkipped = true;
    return;
  }
  if (shapeData) shapeData->UpdateData();

  const float elapsed = m_pTimeValue ? m_pTimeValue->GetFloat() : 0.0f;
  m_fLastElapsed = elapsed;
  // Ticks of 1 ms, truncated towards zero. The clock never runs backwards: a negative or
  // non-finite product adds nothing, and a huge one is held to the clock's range.
  double ticks = std::trunc(static_cast<double>(elapsed) * static_cast<double>(m_fTimeScale) * 40.0);
  if (!(ticks > 0.0)) ticks = 0.0;
  if (ticks > 4294967295.0) ticks = 4294967295.0;
  m_nClock += static_cast<uint32_t>(ticks);

  if (!engine || engine->GetFrameNumber() % m_nFrameStep != 0) return;

  D3DXMATRIX world;
  D3DXMatrixIdentity(&world);
  if (m_pRenderContext) {
    if (const D3DXMATRIX* w = m_pRenderContext->GetCurrentWorldMatrix()) world = *w;
  }
  m_EmitterMatrix = world;
  D3DXMATRIX emit = world;

  Zel_Channel* locationChild = GetChild(kLocationChildEntry);
  auto* source = IsOfType(locationChild, ids::kParticleFlowGrid)
                     ? static_cast<Vyn_DX8_ParticleFlowGrid*>(locationChild)
                     : nullptr;
  const bool multi = source && m_bIsMultiLocation;
  int count = 1;
  D3DXMATRIX locationMatrix;
  D3DXMatrixIdentity(&locationMatrix);
  if (multi) {
    count = m_EmitLocations.GetItemCount() + 1;
    locationMatrix = source->GetLocationMatrix();
  }

  const uint32_t vertexCount =
      shapeData ? static_cast<uint32_t>(std::max(0, shapeData->GetVertexCount())) : 0;
  const uint32_t burst = m_Shape == ShapeObjectData ? vertexCount : m_nBurstTotal;
  bool poolExhausted = false;

  for (int k = 0; k < count; ++k) {
    uint32_t* lastBirth = &m_nLastBirth;
    if (k > 0) {
      auto* loc = static_cast<tEmitLocation*>(m_EmitLocations.GetItem(k - 1));
      if (!loc) continue;
      D3DXVECTOR3 p = TransformPoint(loc->position, locationMatrix);
      emit._41 = p.x;
      emit._42 = p.y;
      emit._43 = p.z;
      lastBirth = &loc->lastBirth;
    }
    const uint32_t since = m_nClock - *lastBirth;
    if (since < m_nBirthPeriod) continue;
    uint32_t births = 1;
    if (m_nBirthPeriod != 0 && m_bIsCorrectForMissingPeriods) births = since / m_nBirthPeriod;
    *lastBirth = m_nClock;

    const float rd = RandSigned();
    D3DXVECTOR3 direction = m_ParticleInitialDirection + m_DirectionJitter * rd;
    const float speed = m_fParticleInitialVelocity + RandSigned() * m_fVelocityJitter;
    D3DXVECTOR3 velocity = direction * speed;
    // A velocity is a direction: it turns with the emitter but does not move with it.
    if (m_ParticlesSpace == SpaceWorld) velocity = TransformDirection(velocity, world);

    // Once an attempt changes nothing (no free slot, and force birth has nothing left to start
    // dying) every later attempt of this pass changes nothing either: stop there, so that a long
    // pause or a huge burst cannot stall the frame.
    if (poolExhausted || burst == 0) continue;
    for (uint32_t j = 0; j < births && !poolExhausted; ++j) {
      for (uint32_t b = 0; b < burst; ++b) {
        if (BirthParticle(j, b, velocity, emit, world, shapeData) == BirthResult::Nothing) {
          poolExhausted = true;
          break;
        }
      }
    }
  }

  if (multi) {
    Zel_List* records = source->GetLocationList();
    const int n = records ? records->GetItemCount() : 0;
    for (int i = 0; i < n; ++i) {
      auto* rec = static_cast<const tEmitLocationRecord*>(records->GetItem(i));
      if (!rec) continue;
      if (rec->active) {
        if (GetEmitLocation(rec->key)) continue;
        auto* loc = new (std::nothrow) tEmitLocation;
        if (!loc) continue;
        loc->key = rec->key;
        loc->position = rec->position;
        // A random phase within one period, so that new locations do not all birth together.
        const double phase = std::min(std::trunc(static_cast<double>(RandUnit()) * m_nBirthPeriod),
                                      static_cast<double>(m_nBirthPeriod));
        loc->lastBirth = m_nClock - static_cast<uint32_t>(phase);
        m_EmitLocations.AddItem(loc);
      } else if (GetEmitLocation(rec->key)) {
        RemoveEmitLocation(rec->key);
      }
    }
  }
}

Vyn_DX8_ParticleEmitter::BirthResult Vyn_DX8_ParticleEmitter::BirthParticle(
    uint32_t j, uint32_t b, const D3DXVECTOR3& emitVelocity, const D3DXMATRIX& emit,
    const D3DXMATRIX& world, Zel_Channel* shapeChild) {
  // 1. A slot: the last freed one, else a fresh one, else (full pool) maybe force a death.
  int index = -1;
  const int freeCount = m_FreeList.GetItemCount();
  if (m_bRespawnDeadParticles && freeCount > 0) {
    auto* cell = static_cast<int32_t*>(m_FreeList.GetItem(freeCount - 1));
    m_FreeList.RemoveItem(freeCount - 1);
    index = cell ? *cell : -1;
    if (index < 0 || index >= m_nPoolCapacity || !(m_pParticlePool[index].flags & kParticleDead))
      return BirthResult::Skipped;  // a damaged entry: dropped
  } else if (m_nParticlePoolCount < std::min(m_nMaxParticles, m_nPoolCapacity)) {
    index = m_nParticlePoolCount++;
  } else {
    if (m_bForceBirth) {
      int victim = TakeForceBirthVictim();
      if (victim != -1 && !(m_pParticlePool[victim].flags & kParticleDying)) {
        StartParticleKillSequence(victim);
        return BirthResult::KillStarted;
      }
    }
    return BirthResult::Nothing;
  }
  m_nForceBirthCursor = -1;

  tParticle& p = m_pParticlePool[index];
  p.olderIndex = m_nLastParticlePoolIndex;
  if (m_nLastParticlePoolIndex >= 0) m_YoungerIndex[m_nLastParticlePoolIndex] = index;
  m_YoungerIndex[index] = -1;
  m_nLastParticlePoolIndex = index;

  // 2. Position by shape.
  D3DXVECTOR3 position(0, 0, 0);
  switch (m_Shape) {
    case ShapeSphere: {
      const float outer = (Rand15() % 3 == 2) ? m_fSphereShapeMaxRadius : m_fSphereShapeHSRadius;
      const float radius = m_fSphereShapeMinRadius + RandUnit() * (outer - m_fSphereShapeMinRadius);
      D3DXVECTOR3 dir;
      dir.x = RandSigned();
      dir.y = RandSigned();
      dir.z = RandSigned();
      D3DXVec3Normalize(&dir, &dir);
      position = dir * radius;
      break;
    }
    case ShapeBox:
      position.z = RandSigned() * m_BoxShapeDimensions.z;
      position.y = RandSigned() * m_BoxShapeDimensions.y;
      position.x = RandSigned() * m_BoxShapeDimensions.x;
      break;
    case ShapeObjectData:
      if (shapeChild) position = static_cast<Vyn_DX8_ObjectDataChannel*>(shapeChild)->GetVertexPosition(b);
      break;
    default:
      break;
  }

  // 3. Velocity.
  D3DXVECTOR3 velocity = emitVelocity;
  if (m_bParticleInwardDirection) {
    D3DXVECTOR3 inward = -position;
    if (inward.x == 0.0f && inward.y == 0.0f && inward.z == 0.0f) {
      inward.x = RandSigned();
      inward.y = RandSigned();
      inward.z = RandSigned();
    }
    D3DXVec3Normalize(&inward, &inward);
    inward *= m_fParticleInitialVelocity;
    if (m_ParticlesSpace == SpaceWorld) inward = TransformDirection(inward, world);
    // Towards the centre, as the property says.
    velocity = inward;
  }

  // 4. Into the particles' space.
  if (m_ParticlesSpace == SpaceWorld) position = TransformPoint(position, emit);

  // 5. Back-dating: birth j of a missed-period correction happened j periods ago.
  const double age = static_cast<double>(m_nBirthPeriod) * static_cast<double>(j);
  position += velocity * static_cast<float>(age * 0.001);
  p.position = position;
  p.velocity = velocity;
  p.birthTime = m_nClock - static_cast<uint32_t>(static_cast<uint64_t>(m_nBirthPeriod) * j);

  // 6. Life time.
  double life = static_cast<double>(m_nParticleInitialLifeTime) +
                std::trunc(static_cast<double>(RandSigned()) * static_cast<double>(m_nLifeTimeJitter));
  life = std::clamp(life, 0.0, 4294967295.0);
  p.lifeTime = static_cast<uint32_t>(life);

  // 7. Size.
  p.sizeStart = JitterVector(m_ParticleInitialSizeStart, m_StartSizeJitter, m_bIsLinkStartSizeJitter);
  p.sizeEnd = JitterVector(m_ParticleInitialSizeEnd, m_EndSizeJitter, m_bIsLinkEndSizeJitter);

  // 8. Age fraction of a back-dated birth.
  float f = 0.0f;
  if (p.lifeTime != 0) f = static_cast<float>(age / static_cast<double>(p.lifeTime));
  else if (age > 0.0) f = 1.0f;
  p.size = p.sizeStart + (p.sizeEnd - p.sizeStart) * f;
  p.sizeStep = D3DXVECTOR3(0, 0, 0);
  p.rotationStep = D3DXVECTOR3(0, 0, 0);

  // 9. Rotation.
  const float rs = RandSigned();
  p.rotationStart = m_ParticleInitialRotationStart + m_StartRotationJitter * rs;
  const float re = RandSigned();
  p.rotationEnd = m_ParticleInitialRotationEnd + m_EndRotationJitter * re;
  p.rotation = p.rotationStart + (p.rotationEnd - p.rotationStart) * f;

  // 10. Colour.
  p.colorStart = Saturate(JitterVector(m_ParticleInitialColorStart, m_StartColorJitter, m_bIsLinkStartColorJitter));
  p.colorEnd = Saturate(JitterVector(m_ParticleInitialColorEnd, m_EndColorJitter, m_bIsLinkEndColorJitter));
  p.color = p.colorStart + (p.colorEnd - p.colorStart) * f;

  // 11. Mass, heat, flags.
  p.mass = m_fParticleInitialMass;
  p.heat = m_fParticleInitialHeat;
  p.flags = kParticleBirthing;
  p.alpha = m_bIsParticleBirthingFadeIn ? 0.0f : 1.0f;
  p.dyingStart = 0;

  // 12. Texture frames.
  double start = static_cast<double>(m_nTextureSwitchingStartOffset) +
                 static_cast<double>(RandSigned()) * static_cast<double>(m_nTextureSwitchingStartOffsetJitter);
  start = std::clamp(start, 0.0, 1.0e6);
  p.textureStartFrame = static_cast<int32_t>(start);
  p.textureLastFrame = static_cast<int32_t>(std::min<uint64_t>(
      static_cast<uint64_t>(m_nTextureSwitchingStartOffset) + m_nTextureSwitchingFrameCount, INT32_MAX));
  p.textureFrame = static_cast<float>(p.textureStartFrame);
  float texSpeed = m_fTextureSwitchingSpeed + RandSigned() * m_fTextureSwitchingSpeedJitter;
  if (texSpeed >= 0.0f) {
    p.flags |= kParticleTextureForward;
  } else {
    // A backward run starts on the last frame (frame 0 when there are no frames).
    p.textureFrame = m_nTextureSwitchingFrameCount > 0
                         ? static_cast<float>(m_nTextureSwitchingFrameCount - 1)
                         : 0.0f;
  }
  p.textureSpeed = std::fabs(texSpeed);

  // 13. Count it.
  ++m_nLivingCount;
  m_bBornSinceReset = true;
  return BirthResult::Born;
}

// --- update -------------------------------------------------------------------------------------

float Vyn_DX8_ParticleEmitter::Min2(float a, float b) { return a < b ? a : b; }
float Vyn_DX8_ParticleEmitter::Max2(float a, float b) { return a > b ? a : b; }
float Vyn_DX8_ParticleEmitter::Clamp(float x, float a, float b) {
  const float lo = Min2(a, b);
  const float hi = Max2(a, b);
  if (x < lo) return lo;
  if (x > hi) return hi;
  return x;
}
bool Vyn_DX8_ParticleEmitter::CheckSattKill(float x, float min, float max) {
  return x > max || !(x >= min);
}

void Vyn_DX8_ParticleEmitter::UpdateParticles() {
  if (!engine || engine->GetFrameNumber() % m_nFrameStep != 0) return;
  if (!m_pParticlePool) return;

  FrameInputs in;
  in.base = AsValue(GetChild(kBaseLink));
  in.dt = static_cast<float>(static_cast<double>(m_fLastElapsed) * m_fTimeScale * m_nFrameStep * 40.0 * 0.001);
  if (!std::isfinite(in.dt)) in.dt = 0.0f;
  in.speed = AsValue(GetChild(kVelocityLink));
  for (int link = kDirectionLink; link <= kColorLink; ++link) {
    if (link == kVelocityLink) continue;
    Zel_Channel* fn = GetChild(link);
    if (!fn || fn->GetChildCount() != 3) continue;
    for (int k = 0; k < 3; ++k) {
      Zel_Channel* c = fn->GetChild(k);
      if (!c) continue;
      ChannelType t = c->GetChannelType();
      bool take = in.base ? (t.baseTypeId == ids::kValue || t.typeId == ids::kValue)
                          : (t.typeId == ids::kEnvelope);
      if (take && AsValue(c)) in.function[link][k] = static_cast<Vyn_FloatChannel*>(c);
    }
  }
  in.directionComplete = in.function[kDirectionLink][0] && in.function[kDirectionLink][1] &&
                         in.function[kDirectionLink][2] && in.speed;
  auto any = [&](int link) {
    return in.function[link][0] || in.function[link][1] || in.function[link][2];
  };
  in.anyAccelerationFunction = any(kAccelerationLink);
  in.anySizeFunction = any(kSizeLink);
  in.anyRotationFunction = any(kRotationLink);
  in.anyColorFunction = any(kColorLink);

  D3DXMatrixIdentity(&in.world);
  if (m_pRenderContext) {
    if (const D3DXMATRIX* w = m_pRenderContext->GetCurrentWorldMatrix()) in.world = *w;
  }
  D3DXMatrixIdentity(&in.worldInverse);
  D3DXMatrixInverse(&in.worldInverse, nullptr, &in.world);  // stays identity when singular
  for (int k = 0; k < 3; ++k) {
    D3DXVECTOR3 a = m_AccVector[k];
    if (m_AccVectorsSpace[k] != m_ParticlesSpace) {
      // Local to world turns with the emitter matrix, world to local with its inverse.
      a = TransformDirection(a, m_AccVectorsSpace[k] == SpaceLocal ? in.world : in.worldInverse);
    }
    in.acceleration += a;
  }

  m_Grids.clear();
  for (int e = kFirstGridEntry;; ++e) {
    Zel_Channel* c = GetChild(e);
    if (!c) break;
    if (IsOfType(c, ids::kParticleFlowGrid)) m_Grids.push_back(static_cast<Vyn_DX8_ParticleFlowGrid*>(c));
  }

  const int count = std::min(m_nParticlePoolCount, m_nPoolCapacity);
  for (int i = 0; i < count; ++i) {
    if (m_pParticlePool[i].flags & kParticleDead) continue;
    UpdateOneParticle(i, in);
  }

  m_bResetPrevTreeCount = false;

  // Auto reset. "No particles" means the last living particle has been killed: an emitter that
  // has not yet born anything since its last reset is waiting for its first birth, not empty.
  if ((m_AutoResetType == AutoResetNoParticles && m_nLivingCount == 0 && m_bBornSinceReset) ||
      (m_AutoResetType == AutoResetAtTime && m_nClock >= m_nAutoResetTime)) {
    Reset();
  }
}

void Vyn_DX8_ParticleEmitter::UpdateOneParticle(int i, const FrameInputs& in) {
  tParticle& p = m_pParticlePool[i];
  const uint32_t clock = m_nClock;
  const float dt = in.dt;

  // 1-3. Phases.
  const uint32_t age = clock - p.birthTime;
  if (age > p.lifeTime) StartParticleKillSequence(i);
  if ((p.flags & kParticleDying) && clock - p.dyingStart > m_nParticleDyingPeriod) {
    KillParticle(i);
    return;
  }
  if ((p.flags & kParticleBirthing) && age > m_nParticleBirthingPeriod) p.flags &= ~kParticleBirthing;

  // 4. Texture frame.
  if (!(p.flags & kParticleTextureStopped)) {
    const float frames = static_cast<float>(m_nTextureSwitchingFrameCount);
    const float last = m_nTextureSwitchingFrameCount > 0 ? frames - 1.0f : 0.0f;
    if (p.flags & kParticleTextureForward) {
      p.textureFrame += dt * p.textureSpeed;
      if (std::trunc(p.textureFrame) >= frames) {
        switch (m_TextureSwitchMode) {
          case TextureSwitchOnce:
            p.flags |= kParticleTextureStopped;
            p.textureFrame = last;
            break;
          case TextureSwitchLoop:
            p.textureFrame = 0.0f;
            break;
          case TextureSwitchPingPong:
            p.flags &= ~kParticleTextureForward;
            p.textureFrame = last;
            break;
          default:
            break;
        }
      }
    } else {
      p.textureFrame -= dt * p.textureSpeed;
      if (std::trunc(p.textureFrame) < 1.0f) {
        p.textureFrame = 0.0f;
        if (m_TextureSwitchMode == TextureSwitchOnce) p.flags |= kParticleTextureStopped;
        else if (m_TextureSwitchMode == TextureSwitchPingPong) p.flags |= kParticleTextureForward;
        // A backward loop starts again at the last frame.
        else if (m_TextureSwitchMode == TextureSwitchLoop) p.textureFrame = last;
      }
    }
  }

  // 5. World position for drawing.
  if (m_ParticlesSpace == SpaceLocal) {
    D3DXVec3Transform(&p.drawPosition, &p.position, &in.world);
  } else {
    p.drawPosition.x = p.position.x;
    p.drawPosition.y = p.position.y;
    p.drawPosition.z = p.position.z;
  }

  // 6. Life fraction.
  const float f = p.lifeTime != 0 ? Clamp(static_cast<float>(age) / static_cast<float>(p.lifeTime), 0.0f, 1.0f)
                                  : 1.0f;
  const float t = f * 100.0f;

  // 7. Interpolated size and rotation.
  p.size = p.sizeStart + (p.sizeEnd - p.sizeStart) * f;
  p.rotation = p.rotationStart + (p.rotationEnd - p.rotationStart) * f;

  // Acceleration of this particle: the constant ones, with the acceleration function's present
  // components in place of theirs, limited to the acceleration range.
  D3DXVECTOR3 acceleration = in.acceleration;
  if (in.anyAccelerationFunction) {
    for (int k = 0; k < 3; ++k)
      if (Vyn_FloatChannel* c = in.function[kAccelerationLink][k]) SetComponent(acceleration, k, Sample(c, t, in.base));
  }
  if (m_fMinAbsAcceleration != 0.0f || m_fMaxAbsAcceleration != 0.0f) {
    const float s = D3DXVec3Length(&acceleration);
    if (m_bIsAccelerationKill && CheckSattKill(s, m_fMinAbsAcceleration, m_fMaxAbsAcceleration))
      StartParticleKillSequence(i);
    const float limited = Clamp(s, m_fMinAbsAcceleration, m_fMaxAbsAcceleration);
    if (limited != s && s > 0.0f) acceleration *= limited / s;
  }

  // 8. Velocity: from the direction and speed functions, or from the grids and accelerations.
  if (in.directionComplete) {
    D3DXVECTOR3 dir(Sample(in.function[kDirectionLink][0], t, in.base),
                    Sample(in.function[kDirectionLink][1], t, in.base),
                    Sample(in.function[kDirectionLink][2], t, in.base));
    p.velocity = dir * Sample(in.speed, t, in.base);
  } else {
    bool keepAlive = true;
    for (Vyn_DX8_ParticleFlowGrid* grid : m_Grids) grid->ActOnParticle(&p, this, &keepAlive, dt);
    if (!keepAlive) StartParticleKillSequence(i);
    p.velocity += acceleration * dt;
  }

  // 9. Size function.
  if (in.anySizeFunction) {
    for (int k = 0; k < 3; ++k)
      if (Vyn_FloatChannel* c = in.function[kSizeLink][k]) SetComponent(p.size, k, Sample(c, t, in.base));
  }

  // 10. Vorticity about the emitter's y axis.
  if (m_fVorticityVelocity != 0.0f) {
    D3DXVECTOR3 q = p.position;
    if (m_ParticlesSpace == SpaceWorld) q = TransformPoint(q, in.worldInverse);
    const float radius = std::sqrt(q.x * q.x + q.z * q.z);
    // On the axis the swirl has no direction; a zero y scale leaves out the suction term.
    if (radius > 0.0f) {
      const float suction = m_fVorticityYScale != 0.0f ? (q.y / m_fVorticityYScale) * m_fVorticitySuction : 0.0f;
      const float angle = std::atan2(q.z, q.x) + 1.5707963267948966f + suction;
      D3DXVECTOR3 swirl = D3DXVECTOR3(std::cos(angle), 0.0f, std::sin(angle)) * (m_fVorticityVelocity / radius);
      if (m_ParticlesSpace == SpaceWorld) swirl = TransformDirection(swirl, in.world);
      p.velocity += swirl * dt;
    }
  }

  // 12. Speed limits, then motion.
  if (m_fMinAbsVelocity != 0.0f || m_fMaxAbsVelocity != 0.0f) {
    const float s = D3DXVec3Length(&p.velocity);
    if (m_bIsVelocityKill && CheckSattKill(s, m_fMinAbsVelocity, m_fMaxAbsVelocity)) StartParticleKillSequence(i);
    const float limited = Clamp(s, m_fMinAbsVelocity, m_fMaxAbsVelocity);
    if (limited != s && s > 0.0f) p.velocity *= limited / s;
  }
  p.position += p.velocity * dt;

  // 13. Shape feedback.
  if (m_bShapeFeedback) {
    p.rotation += p.rotationStep * dt;
    p.size += p.sizeStep * dt;
  }

  // 14. Fading and scaling. A zero-length phase counts as complete.
  p.alpha = 1.0f;
  if (p.flags & kParticleBirthing) {
    const float in01 = m_nParticleBirthingPeriod != 0
                           ? static_cast<float>(clock - p.birthTime) / static_cast<float>(m_nParticleBirthingPeriod)
                           : 1.0f;
    if (m_bIsParticleBirthingFadeIn) p.alpha = in01;
    if (m_bIsParticleBirthingScaleIn) p.size *= in01;
  }
  if (p.flags & kParticleDying) {
    const float out01 = m_nParticleDyingPeriod != 0
                            ? static_cast<float>(clock - p.dyingStart) / static_cast<float>(m_nParticleDyingPeriod)
                            : 1.0f;
    if (m_bIsParticleDyingFadeOut) p.alpha = 1.0f - out01;
    if (m_bIsParticleDyingScaleOut) p.size -= p.size * out01;
  }

  // 15. Size kills and limits.
  if ((m_bIsSizeXKill && CheckSattKill(p.size.x, m_MinSize.x, m_MaxSize.x)) ||
      (m_bIsSizeYKill && CheckSattKill(p.size.y, m_MinSize.y, m_MaxSize.y)) ||
      (m_bIsSizeZKill && CheckSattKill(p.size.z, m_MinSize.z, m_MaxSize.z)))
    StartParticleKillSequence(i);
  for (int k = 0; k < 3; ++k) {
    const float lo = Component(m_MinSize, k), hi = Component(m_MaxSize, k);
    if (lo != 0.0f || hi != 0.0f) SetComponent(p.size, k, Clamp(Component(p.size, k), lo, hi));
  }

  // 16. Rotation function.
  if (in.anyRotationFunction) {
    for (int k = 0; k < 3; ++k)
      if (Vyn_FloatChannel* c = in.function[kRotationLink][k]) SetComponent(p.rotation, k, Sample(c, t, in.base));
  }

  // 17. Colour.
  p.color = p.colorStart + (p.colorEnd - p.colorStart) * f;
  if (in.anyColorFunction) {
    for (int k = 0; k < 3; ++k)
      if (Vyn_FloatChannel* c = in.function[kColorLink][k]) SetComponent(p.color, k, Sample(c, t, in.base));
  }
}

// --- persistence --------------------------------------------------------------------------------

namespace {

class ChunkWriter {
 public:
  explicit ChunkWriter(ZelFileSaver& s) : s_(s) {}
  void Tag(const char* tag) { ok_ = s_.SaveTag(tag) && ok_; }
  void Block(const void* p, uint32_t n) { ok_ = s_.SaveBlockSize(n) && s_.SaveDataToFile(p, n) && ok_; }
  template <class T>
  void Value(const T& v) { Block(&v, sizeof(T)); }
  void Bool(bool v) {
    uint8_t b = v ? 1 : 0;
    Block(&b, 1);
  }
  bool ok() const { return ok_; }

 private:
  ZelFileSaver& s_;
  bool ok_ = true;
};

class ChunkReader {
 public:
  explicit ChunkReader(ZelFileLoader& l) : l_(l) {}
  bool Tag(const char* tag) { return ok_ && l_.GetInfoIfTag(tag); }
  template <class T>
  void Value(T& v) {
    if (ok_ && !l_.CopyTagDataToPointer(&v)) ok_ = false;
  }
  void Block(void* p, uint32_t n) {
    if (ok_ && !l_.CopyTagDataToPointer(p, n)) ok_ = false;
  }
  // A stored byte: any non-zero value reads as true.
  void Bool(bool& v) {
    uint8_t b = v ? 1 : 0;
    Value(b);
    v = b != 0;
  }
  bool ok() const { return ok_; }

 private:
  ZelFileLoader& l_;
  bool ok_ = true;
};

}  // namespace

bool Vyn_DX8_ParticleEmitter::SaveChannel(ZelFileSaver& saver) {
  if (!Zel_Channel::SaveChannel(saver)) return false;
  ChunkWriter w(saver);
  w.Tag("PEBS");
  w.Bool(m_bIsActivated);
  w.Value(m_nBirthPeriod);
  w.Value(m_nBurstTotal);
  w.Value(m_nMaxParticles);
  w.Tag("PESH");
  w.Value(m_Shape);
  w.Value(m_BoxShapeDimensions);
  w.Value(m_fSphereShapeMinRadius);
  w.Value(m_fSphereShapeMaxRadius);
  w.Value(m_fSphereShapeHSRadius);
  w.Tag("PEGN");
  w.Bool(m_bRespawnDeadParticles);
  w.Bool(m_bIsCorrectForMissingPeriods);
  w.Value(m_nFrameStep);
  w.Bool(m_bForceBirth);
  w.Bool(m_bIsCulling);
  w.Value(m_fTimeScale);
  w.Tag("PEAR");
  w.Value(m_AutoResetType);
  w.Value(m_nAutoResetTime);
  w.Tag("PEPS");
  w.Value(m_ParticlesSpace);
  w.Value(m_AccVector);
  w.Value(m_AccVectorsSpace);
  w.Tag("PEJT");
  w.Value(m_StartSizeJitter);
  w.Value(m_EndSizeJitter);
  w.Value(m_StartColorJitter);
  w.Value(m_EndColorJitter);
  w.Value(m_DirectionJitter);
  w.Value(m_fVelocityJitter);
  w.Value(m_StartRotationJitter);
  w.Value(m_EndRotationJitter);
  w.Bool(m_bIsLinkStartSizeJitter);
  w.Bool(m_bIsLinkEndSizeJitter);
  w.Bool(m_bIsLinkStartColorJitter);
  w.Bool(m_bIsLinkEndColorJitter);
  w.Tag("PEEV");
  w.Value(m_nParticleDyingPeriod);
  w.Bool(m_bIsParticleDyingFadeOut);
  w.Bool(m_bIsParticleDyingScaleOut);
  w.Value(m_nParticleBirthingPeriod);
  w.Bool(m_bIsParticleBirthingFadeIn);
  w.Bool(m_bIsParticleBirthingScaleIn);
  w.Tag("PELM");
  w.Value(m_fMaxAbsVelocity);
  w.Value(m_fMaxAbsAcceleration);
  w.Value(m_fMinAbsVelocity);
  w.Value(m_fMinAbsAcceleration);
  w.Value(m_MinSize);
  w.Value(m_MaxSize);
  w.Tag("PELK");
  w.Bool(m_bIsVelocityKill);
  w.Bool(m_bIsAccelerationKill);
  w.Bool(m_bIsSizeXKill);
  w.Bool(m_bIsSizeYKill);
  w.Bool(m_bIsSizeZKill);
  w.Tag("PEIN");
  w.Value(m_nParticleInitialLifeTime);
  w.Value(m_ParticleInitialSizeStart);
  w.Value(m_ParticleInitialSizeEnd);
  w.Value(m_ParticleInitialColorStart);
  w.Value(m_ParticleInitialColorEnd);
  w.Value(m_ParticleInitialDirection);
  w.Value(m_fParticleInitialVelocity);
  w.Value(m_fParticleInitialMass);
  w.Value(m_fParticleInitialHeat);
  w.Value(m_ParticleInitialRotationStart);
  w.Value(m_ParticleInitialRotationEnd);
  w.Bool(m_bParticleInwardDirection);
  w.Tag("PEVO");
  w.Value(m_fVorticityVelocity);
  w.Value(m_fVorticitySuction);
  w.Value(m_fVorticityYScale);
  w.Tag("PEGS");
  w.Value(m_fStaticForceScale);
  w.Value(m_fActorForceScale);
  w.Value(m_fPartActorForceScale);
  w.Tag("PEGD");
  w.Value(m_fVelocityDamping);
  w.Value(m_fStaticInForceVelocityDamping);
  w.Value(m_fActorInForceVelocityDamping);
  w.Value(m_fPartActorInForceVelocityDamping);
  w.Value(m_fParticleInfluenceVelocityRangeMin);
  w.Value(m_fParticleInfluenceVelocityRangeMax);
  w.Tag("PEGF");
  w.Value(m_fDiffuseTreshold);
  w.Value(m_fDiffuseFactor);
  w.Tag("PEGB");
  w.Bool(m_bShapeFeedback);
  w.Value(m_fDeltaRotationFactor);
  w.Value(m_fMaxAbsDeltaRotation);
  w.Value(m_fDeltaSizeFactor);
  w.Value(m_fMaxAbsDeltaSize);
  w.Bool(m_bParticleActOnGrid);
  w.Bool(m_bParticleAffectedByGrid);
  w.Bool(m_bIsMultiLocation);
  w.Tag("PETM");
  w.Value(m_TextureSwitchMode);
  w.Value(m_nTextureSwitchingStartOffset);
  w.Value(m_nTextureSwitchingFrameCount);
  w.Value(m_nTextureSwitchingStartOffsetJitter);
  w.Value(m_fTextureSwitchingSpeedJitter);
  w.Value(m_fTextureSwitchingSpeed);
  // LifeTimeJitter has no place in the chunks above; it follows them in a chunk of its own so
  // that it survives a save while the chunks before keep their layout.
  w.Tag("PELJ");
  w.Value(m_nLifeTimeJitter);
  return w.ok();
}

bool Vyn_DX8_ParticleEmitter::LoadChannel(ZelFileLoader& loader, Zel_ChannelGroup* group) {
  if (!Zel_Channel::LoadChannel(loader, group)) return false;
  ChunkReader r(loader);
  bool valid = true;
  if (r.Tag("PEBS")) {
    r.Bool(m_bIsActivated);
    r.Value(m_nBirthPeriod);
    r.Value(m_nBurstTotal);
    int32_t maxParticles = m_nMaxParticles;
    r.Value(maxParticles);
    // 0 is the state of an emitter whose size was never set; anything else must be a pool size.
    if (maxParticles < 0 || maxParticles > kMaxPoolSize) {
      Report(engine, "ParticleEmitter: MaxParticles out of range in file: ", std::to_string(maxParticles).c_str());
      valid = false;
    } else {
      m_nMaxParticles = maxParticles;
    }
  }
  if (r.Tag("PESH")) {
    r.Value(m_Shape);
    r.Value(m_BoxShapeDimensions);
    r.Value(m_fSphereShapeMinRadius);
    r.Value(m_fSphereShapeMaxRadius);
    r.Value(m_fSphereShapeHSRadius);
  }
  if (r.Tag("PEGN")) {
    r.Bool(m_bRespawnDeadParticles);
    r.Bool(m_bIsCorrectForMissingPeriods);
    int32_t frameStep = m_nFrameStep;
    r.Value(frameStep);
    if (frameStep < 1) {
      Report(engine, "ParticleEmitter: FrameStep below 1 in file: ", std::to_string(frameStep).c_str());
      valid = false;
    } else {
      m_nFrameStep = frameStep;
    }
    r.Bool(m_bForceBirth);
    r.Bool(m_bIsCulling);
    r.Value(m_fTimeScale);
  }
  if (r.Tag("PEAR")) {
    r.Value(m_AutoResetType);
    r.Value(m_nAutoResetTime);
  }
  if (r.Tag("PEPS")) {
    r.Value(m_ParticlesSpace);
    r.Value(m_AccVector);
    r.Value(m_AccVectorsSpace);
  }
  if (r.Tag("PEJT")) {
    r.Value(m_StartSizeJitter);
    r.Value(m_EndSizeJitter);
    r.Value(m_StartColorJitter);
    r.Value(m_EndColorJitter);
    r.Value(m_DirectionJitter);
    r.Value(m_fVelocityJitter);
    r.Value(m_StartRotationJitter);
    r.Value(m_EndRotationJitter);
    r.Bool(m_bIsLinkStartSizeJitter);
    r.Bool(m_bIsLinkEndSizeJitter);
    r.Bool(m_bIsLinkStartColorJitter);
    r.Bool(m_bIsLinkEndColorJitter);
  }
  if (r.Tag("PEEV")) {
    r.Value(m_nParticleDyingPeriod);
    r.Bool(m_bIsParticleDyingFadeOut);
    r.Bool(m_bIsParticleDyingScaleOut);
    r.Value(m_nParticleBirthingPeriod);
    r.Bool(m_bIsParticleBirthingFadeIn);
    r.Bool(m_bIsParticleBirthingScaleIn);
  }
  if (r.Tag("PELM")) {
    r.Value(m_fMaxAbsVelocity);
    r.Value(m_fMaxAbsAcceleration);
    r.Value(m_fMinAbsVelocity);
    r.Value(m_fMinAbsAcceleration);
    r.Value(m_MinSize);
    r.Value(m_MaxSize);
  }
  if (r.Tag("PELK")) {
    r.Bool(m_bIsVelocityKill);
    r.Bool(m_bIsAccelerationKill);
    r.Bool(m_bIsSizeXKill);
    r.Bool(m_bIsSizeYKill);
    r.Bool(m_bIsSizeZKill);
  }
  if (r.Tag("PEIN")) {
    r.Value(m_nParticleInitialLifeTime);
    r.Value(m_ParticleInitialSizeStart);
    r.Value(m_ParticleInitialSizeEnd);
    r.Value(m_ParticleInitialColorStart);
    r.Value(m_ParticleInitialColorEnd);
    r.Value(m_ParticleInitialDirection);
    r.Value(m_fParticleInitialVelocity);
    r.Value(m_fParticleInitialMass);
    r.Value(m_fParticleInitialHeat);
    r.Value(m_ParticleInitialRotationStart);
    r.Value(m_ParticleInitialRotationEnd);
    r.Bool(m_bParticleInwardDirection);
  }
  if (r.Tag("PEVO")) {
    r.Value(m_fVorticityVelocity);
    r.Value(m_fVorticitySuction);
    r.Value(m_fVorticityYScale);
  }
  if (r.Tag("PEGS")) {
    r.Value(m_fStaticForceScale);
    r.Value(m_fActorForceScale);
    r.Value(m_fPartActorForceScale);
  }
  if (r.Tag("PEGD")) {
    r.Value(m_fVelocityDamping);
    r.Value(m_fStaticInForceVelocityDamping);
    r.Value(m_fActorInForceVelocityDamping);
    r.Value(m_fPartActorInForceVelocityDamping);
    r.Value(m_fParticleInfluenceVelocityRangeMin);
    r.Value(m_fParticleInfluenceVelocityRangeMax);
  }
  if (r.Tag("PEGF")) {
    r.Value(m_fDiffuseTreshold);
    r.Value(m_fDiffuseFactor);
  }
  if (r.Tag("PEGB")) {
    r.Bool(m_bShapeFeedback);
    r.Value(m_fDeltaRotationFactor);
    r.Value(m_fMaxAbsDeltaRotation);
    r.Value(m_fDeltaSizeFactor);
    r.Value(m_fMaxAbsDeltaSize);
    r.Bool(m_bParticleActOnGrid);
    r.Bool(m_bParticleAffectedByGrid);
    r.Bool(m_bIsMultiLocation);
  }
  if (r.Tag("PETM")) {
    r.Value(m_TextureSwitchMode);
    r.Value(m_nTextureSwitchingStartOffset);
    r.Value(m_nTextureSwitchingFrameCount);
    r.Value(m_nTextureSwitchingStartOffsetJitter);
    r.Value(m_fTextureSwitchingSpeedJitter);
    r.Value(m_fTextureSwitchingSpeed);
  }
  if (r.Tag("PELJ")) r.Value(m_nLifeTimeJitter);
  if (!r.ok()) {
    Report(engine, "ParticleEmitter: malformed chunk data: ", loader.GetError().c_str());
    return false;
  }
  return valid;
}

// --- accessors ----------------------------------------------------------------------------------

#define CORVANE_EMITTER_ACCESSORS(Stem, GetName, Type, Member) \
  void Vyn_DX8_ParticleEmitter::Set##Stem(Type value) { Member = value; } \
  auto Vyn_DX8_ParticleEmitter::GetName() const -> Type { return Member; }

#define CORVANE_EMITTER_VECTOR(Stem, Member)                                                   \
  void Vyn_DX8_ParticleEmitter::Set##Stem(const D3DXVECTOR3& value) { Member = value; } \
  D3DXVECTOR3 Vyn_DX8_ParticleEmitter::Get##Stem() const { return Member; }

CORVANE_EMITTER_ACCESSORS(IsCulling, GetIsCulling, bool, m_bIsCulling)
CORVANE_EMITTER_ACCESSORS(TimeScale, GetTimeScale, float, m_fTimeScale)

void Vyn_DX8_ParticleEmitter::SetMaxParticles(int value) {
  if (value < 1 || value > kMaxPoolSize) return;
  m_nMaxParticles = value;
  Reset();
}
int Vyn_DX8_ParticleEmitter::GetMaxParticles() const { return m_nMaxParticles; }

CORVANE_EMITTER_ACCESSORS(RespawnDeadParticles, GetIsRespawnDeadParticles, bool, m_bRespawnDeadParticles)
CORVANE_EMITTER_ACCESSORS(AutoResetType, GetAutoResetType, tAutoReset, m_AutoResetType)
CORVANE_EMITTER_ACCESSORS(AutoResetTime, GetAutoResetTime, uint32_t, m_nAutoResetTime)
CORVANE_EMITTER_ACCESSORS(ParticlesSpace, GetParticlesSpace, tSpace, m_ParticlesSpace)

void Vyn_DX8_ParticleEmitter::SetAccVectorsSpace(int index, tSpace value) {
  if (index >= 0 && index < 3) m_AccVectorsSpace[index] = value;
}
Vyn_DX8_ParticleEmitter::tSpace Vyn_DX8_ParticleEmitter::GetAccVectorSpace(int index) const {
  return index >= 0 && index < 3 ? m_AccVectorsSpace[index] : SpaceWorld;
}
void Vyn_DX8_ParticleEmitter::SetAccVector(int index, const D3DXVECTOR3& value) {
  if (index >= 0 && index < 3) m_AccVector[index] = value;
}
D3DXVECTOR3 Vyn_DX8_ParticleEmitter::GetAccVector(int index) const {
  return index >= 0 && index < 3 ? m_AccVector[index] : D3DXVECTOR3(0, 0, 0);
}

CORVANE_EMITTER_ACCESSORS(Shape, GetShape, tShape, m_Shape)
CORVANE_EMITTER_ACCESSORS(BirthPeriod, GetBirthPeriod, uint32_t, m_nBirthPeriod)
CORVANE_EMITTER_ACCESSORS(BurstTotal, GetBurstTotal, uint32_t, m_nBurstTotal)
CORVANE_EMITTER_VECTOR(BoxShapeDimensions, m_BoxShapeDimensions)
CORVANE_EMITTER_ACCESSORS(SphereShapeMaxRadius, GetSphereShapeMaxRadius, float, m_fSphereShapeMaxRadius)
CORVANE_EMITTER_ACCESSORS(SphereShapeMinRadius, GetSphereShapeMinRadius, float, m_fSphereShapeMinRadius)
CORVANE_EMITTER_ACCESSORS(SphereShapeHSRadius, GetSphereShapeHSRadius, float, m_fSphereShapeHSRadius)
CORVANE_EMITTER_ACCESSORS(MaxAbsVelocity, GetMaxAbsVelocity, float, m_fMaxAbsVelocity)
CORVANE_EMITTER_ACCESSORS(MaxAbsAcceleration, GetMaxAbsAcceleration, float, m_fMaxAbsAcceleration)
CORVANE_EMITTER_ACCESSORS(MinAbsAcceleration, GetMinAbsAcceleration, float, m_fMinAbsAcceleration)
CORVANE_EMITTER_ACCESSORS(MinAbsVelocity, GetMinAbsVelocity, float, m_fMinAbsVelocity)

void Vyn_DX8_ParticleEmitter::SetFrameStep(int value) {
  if (value >= 1) m_nFrameStep = value;
}
int Vyn_DX8_ParticleEmitter::GetFrameStep() const { return m_nFrameStep; }

CORVANE_EMITTER_VECTOR(MinSize, m_MinSize)
CORVANE_EMITTER_VECTOR(MaxSize, m_MaxSize)
CORVANE_EMITTER_ACCESSORS(VorticityVelocity, GetVorticityVelocity, float, m_fVorticityVelocity)
CORVANE_EMITTER_ACCESSORS(VorticitySuction, GetVorticitySuction, float, m_fVorticitySuction)
CORVANE_EMITTER_ACCESSORS(VorticityYScale, GetVorticityYScale, float, m_fVorticityYScale)
CORVANE_EMITTER_ACCESSORS(IsVelocityKill, GetIsVelocityKill, bool, m_bIsVelocityKill)
CORVANE_EMITTER_ACCESSORS(IsAccelerationKill, GetIsAccelerationKill, bool, m_bIsAccelerationKill)
CORVANE_EMITTER_ACCESSORS(IsSizeXKill, GetIsSizeXKill, bool, m_bIsSizeXKill)
CORVANE_EMITTER_ACCESSORS(IsSizeYKill, GetIsSizeYKill, bool, m_bIsSizeYKill)
CORVANE_EMITTER_ACCESSORS(IsSizeZKill, GetIsSizeZKill, bool, m_bIsSizeZKill)
CORVANE_EMITTER_ACCESSORS(ParticleInitialHeat, GetParticleInitialHeat, float, m_fParticleInitialHeat)
CORVANE_EMITTER_ACCESSORS(ParticleInitialLifeTime, GetParticleInitialLifeTime, uint32_t, m_nParticleInitialLifeTime)
CORVANE_EMITTER_VECTOR(ParticleInitialSizeStart, m_ParticleInitialSizeStart)
CORVANE_EMITTER_VECTOR(ParticleInitialSizeEnd, m_ParticleInitialSizeEnd)
CORVANE_EMITTER_VECTOR(ParticleInitialRotationStart, m_ParticleInitialRotationStart)
CORVANE_EMITTER_VECTOR(ParticleInitialRotationEnd, m_ParticleInitialRotationEnd)
CORVANE_EMITTER_VECTOR(ParticleInitialDirection, m_ParticleInitialDirection)
CORVANE_EMITTER_VECTOR(ParticleInitialColorStart, m_ParticleInitialColorStart)
CORVANE_EMITTER_VECTOR(ParticleInitialColorEnd, m_ParticleInitialColorEnd)
CORVANE_EMITTER_ACCESSORS(ParticleInitialVelocity, GetParticleInitialVelocity, float, m_fParticleInitialVelocity)
CORVANE_EMITTER_ACCESSORS(ParticleInitialMass, GetParticleInitialMass, float, m_fParticleInitialMass)
CORVANE_EMITTER_ACCESSORS(ParticleActOnGrid, GetParticleActOnGrid, bool, m_bParticleActOnGrid)
CORVANE_EMITTER_ACCESSORS(ParticleAffectedByGrid, GetParticleAffectedByGrid, bool, m_bParticleAffectedByGrid)
CORVANE_EMITTER_ACCESSORS(ParticleInwardDirection, GetParticleInwardDirection, bool, m_bParticleInwardDirection)
CORVANE_EMITTER_ACCESSORS(IsCorrectForMissingPeriods, GetIsCorrectForMissingPeriods, bool, m_bIsCorrectForMissingPeriods)
CORVANE_EMITTER_ACCESSORS(IsLinkStartSizeJitter, GetIsLinkStartSizeJitter, bool, m_bIsLinkStartSizeJitter)
CORVANE_EMITTER_ACCESSORS(IsLinkStartColorJitter, GetIsLinkStartColorJitter, bool, m_bIsLinkStartColorJitter)
CORVANE_EMITTER_ACCESSORS(IsLinkEndSizeJitter, GetIsLinkEndSizeJitter, bool, m_bIsLinkEndSizeJitter)
CORVANE_EMITTER_ACCESSORS(IsLinkEndColorJitter, GetIsLinkEndColorJitter, bool, m_bIsLinkEndColorJitter)

int Vyn_DX8_ParticleEmitter::GetLastParticlePoolIndex() const { return m_nLastParticlePoolIndex; }
bool Vyn_DX8_ParticleEmitter::GetIsResetPrevTreeCount() const { return m_bResetPrevTreeCount; }

CORVANE_EMITTER_ACCESSORS(StaticForceScale, GetStaticForceScale, float, m_fStaticForceScale)
CORVANE_EMITTER_ACCESSORS(ActorForceScale, GetActorForceScale, float, m_fActorForceScale)
CORVANE_EMITTER_ACCESSORS(PartActorForceScale, GetPartActorForceScale, float, m_fPartActorForceScale)
CORVANE_EMITTER_ACCESSORS(VelocityDamping, GetVelocityDamping, float, m_fVelocityDamping)
CORVANE_EMITTER_ACCESSORS(StaticInForceVelocityDamping, GetStaticInForceVelocityDamping, float, m_fStaticInForceVelocityDamping)
CORVANE_EMITTER_ACCESSORS(ActorInForceVelocityDamping, GetActorInForceVelocityDamping, float, m_fActorInForceVelocityDamping)
CORVANE_EMITTER_ACCESSORS(PartActorInForceVelocityDamping, GetPartActorInForceVelocityDamping, float, m_fPartActorInForceVelocityDamping)
CORVANE_EMITTER_ACCESSORS(DiffuseTreshold, GetDiffuseTreshold, float, m_fDiffuseTreshold)
CORVANE_EMITTER_ACCESSORS(DiffuseFactor, GetDiffuseFactor, float, m_fDiffuseFactor)
CORVANE_EMITTER_ACCESSORS(ShapeFeedback, GetShapeFeedback, bool, m_bShapeFeedback)
CORVANE_EMITTER_ACCESSORS(DeltaRotationFactor, GetDeltaRotationFactor, float, m_fDeltaRotationFactor)
CORVANE_EMITTER_ACCESSORS(DeltaSizeFactor, GetDeltaSizeFactor, float, m_fDeltaSizeFactor)
CORVANE_EMITTER_ACCESSORS(MaxAbsDeltaRotation, GetMaxAbsDeltaRotation, float, m_fMaxAbsDeltaRotation)
CORVANE_EMITTER_ACCESSORS(MaxAbsDeltaSize, GetMaxAbsDeltaSize, float, m_fMaxAbsDeltaSize)
CORVANE_EMITTER_ACCESSORS(ForceBirth, GetIsForceBirth, bool, m_bForceBirth)
CORVANE_EMITTER_ACCESSORS(ParticleBirthingPeriod, GetParticleBirthingPeriod, uint32_t, m_nParticleBirthingPeriod)
CORVANE_EMITTER_ACCESSORS(IsParticleBirthingFadeIn, GetIsParticleBirthingFadeIn, bool, m_bIsParticleBirthingFadeIn)
CORVANE_EMITTER_ACCESSORS(IsParticleBirthingScaleIn, GetIsParticleBirthingScaleIn, bool, m_bIsParticleBirthingScaleIn)
CORVANE_EMITTER_ACCESSORS(ParticleDyingPeriod, GetParticleDyingPeriod, uint32_t, m_nParticleDyingPeriod)
CORVANE_EMITTER_ACCESSORS(IsParticleDyingFadeOut, GetIsParticleDyingFadeOut, bool, m_bIsParticleDyingFadeOut)
CORVANE_EMITTER_ACCESSORS(IsParticleDyingScaleOut, GetIsParticleDyingScaleOut, bool, m_bIsParticleDyingScaleOut)
CORVANE_EMITTER_ACCESSORS(IsMultiLocation, GetIsMultiLocation, bool, m_bIsMultiLocation)
CORVANE_EMITTER_VECTOR(StartSizeJitter, m_StartSizeJitter)
CORVANE_EMITTER_VECTOR(EndSizeJitter, m_EndSizeJitter)
CORVANE_EMITTER_VECTOR(StartRotationJitter, m_StartRotationJitter)
CORVANE_EMITTER_VECTOR(EndRotationJitter, m_EndRotationJitter)
CORVANE_EMITTER_VECTOR(StartColorJitter, m_StartColorJitter)
CORVANE_EMITTER_VECTOR(EndColorJitter, m_EndColorJitter)
CORVANE_EMITTER_ACCESSORS(VelocityJitter, GetVelocityJitter, float, m_fVelocityJitter)
CORVANE_EMITTER_VECTOR(DirectionJitter, m_DirectionJitter)
CORVANE_EMITTER_ACCESSORS(LifeTimeJitter, GetLifeTimeJitter, uint32_t, m_nLifeTimeJitter)
CORVANE_EMITTER_ACCESSORS(TextureSwitchMode, GetTextureSwitchMode, tTextureSwitchMode, m_TextureSwitchMode)
CORVANE_EMITTER_ACCESSORS(TextureSwitchingStartOffset, GetTextureSwitchingStartOffset, uint32_t, m_nTextureSwitchingStartOffset)
CORVANE_EMITTER_ACCESSORS(TextureSwitchingFrameCount, GetTextureSwitchingFrameCount, uint32_t, m_nTextureSwitchingFrameCount)
CORVANE_EMITTER_ACCESSORS(TextureSwitchingStartOffsetJitter, GetTextureSwitchingStartOffsetJitter, uint32_t, m_nTextureSwitchingStartOffsetJitter)
CORVANE_EMITTER_ACCESSORS(TextureSwitchingSpeedJitter, GetTextureSwitchingSpeedJitter, float, m_fTextureSwitchingSpeedJitter)
CORVANE_EMITTER_ACCESSORS(TextureSwitchingSpeed, GetTextureSwitchingSpeed, float, m_fTextureSwitchingSpeed)
CORVANE_EMITTER_ACCESSORS(ParticleInfluenceVelocityRangeMin, GetParticleInfluenceVelocityRangeMin, float, m_fParticleInfluenceVelocityRangeMin)
CORVANE_EMITTER_ACCESSORS(ParticleInfluenceVelocityRangeMax, GetParticleInfluenceVelocityRangeMax, float, m_fParticleInfluenceVelocityRangeMax)
CORVANE_EMITTER_ACCESSORS(IsActivated, GetIsActivated, bool, m_bIsActivated)

#undef CORVANE_EMITTER_ACCESSORS
#undef CORVANE_EMITTER_VECTOR
