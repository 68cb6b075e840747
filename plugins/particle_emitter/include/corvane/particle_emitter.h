// Vyn_DX8_ParticleEmitter: the "DX8 ParticleEmitter" channel.
//
// The emitter owns a fixed pool of particles. It births them from an emission shape (a spherical
// shell, a box or the vertices of an object data child) at a rate given in clock ticks, moves,
// ages and kills them, and hands the pool to drawing channels through GetParticlePool. It draws
// nothing itself and does no work in CallChannel: the first GetParticlePool call of an engine
// frame advances the emitter clock, births and updates the particles.
//
// Time: the emitter clock counts ticks of 1 ms (the private time value channel answers frames of
// 1/25 s, multiplied by 40). Velocities and texture speeds are per 1000 ticks.
//
// Pool and chains, as consumers see them:
//   - slots 0 .. GetParticlePoolCount() - 1 have been handed out; a record whose dead bit is set
//     is not a living particle;
//   - GetLastParticlePoolIndex() is the youngest living particle (-1 when none) and every living
//     particle's olderIndex names the next older one (-1 for the oldest).
#pragma once

#include <cstdint>
#include <vector>

#include "corvane/d3dx_math.h"
#include "corvane/zel_channel.h"
#include "corvane/zel_list.h"

class Vyn_FloatChannel;
class Vyn_DX8_ParticleFlowGrid;
class Vyn_DX8_RenderContext;

class Vyn_DX8_ParticleEmitter : public Zel_Channel {
 public:
  static constexpr const char* kTypeName = "DX8 ParticleEmitter";

  // Emission shape.
  enum tShape : int32_t { ShapeSphere = 0, ShapeBox = 1, ShapeObjectData = 2 };
  // Space values and particles live in.
  enum tSpace : int32_t { SpaceLocal = 0, SpaceWorld = 1 };
  // When the emitter resets itself.
  enum tAutoReset : int32_t { AutoResetNone = 0, AutoResetNoParticles = 1, AutoResetAtTime = 2 };
  // How the texture frame runs.
  enum tTextureSwitchMode : int32_t {
    TextureSwitchOnce = 0,
    TextureSwitchLoop = 1,
    TextureSwitchPingPong = 2
  };

  // Particle flag bits.
  static constexpr uint8_t kParticleDead = 0x01;
  static constexpr uint8_t kParticleDying = 0x02;
  static constexpr uint8_t kParticleBirthing = 0x04;
  static constexpr uint8_t kParticleTextureForward = 0x08;
  static constexpr uint8_t kParticleTextureStopped = 0x10;

  // One particle, as drawing channels read it. Fields in this order.
  struct tParticle {
    uint32_t birthTime;       // clock tick of birth
    uint32_t lifeTime;        // ticks of life before dying starts
    D3DXVECTOR3 position;     // in the particles' space
    D3DXVECTOR4 drawPosition; // x, y, z in world space; w carries no meaning
    D3DXVECTOR3 velocity;     // units per 1000 ticks
    uint8_t flags;            // kParticleDead | kParticleDying | kParticleBirthing | texture bits
    D3DXVECTOR3 size;         // current size
    D3DXVECTOR3 sizeStart;
    D3DXVECTOR3 sizeEnd;
    D3DXVECTOR3 sizeStep;     // size change per 1000 ticks (shape feedback)
    D3DXVECTOR3 rotationStep; // rotation change per 1000 ticks (shape feedback)
    D3DXVECTOR3 rotation;     // current rotation
    D3DXVECTOR3 rotationStart;
    D3DXVECTOR3 rotationEnd;
    D3DXVECTOR3 color;        // current r, g, b
    D3DXVECTOR3 colorStart;
    D3DXVECTOR3 colorEnd;
    float alpha;              // current opacity
    float mass;
    float heat;
    int32_t olderIndex;       // next older particle, -1 none
    float textureFrame;       // current frame
    int32_t textureStartFrame;
    int32_t textureLastFrame;
    float textureSpeed;       // frames per 1000 ticks, never negative
    uint32_t dyingStart;      // clock tick at which dying started
  };

  // An extra emit location (births there as at the emitter, with its own last birth time).
  struct tEmitLocation {
    uint32_t key;
    D3DXVECTOR3 position;
    uint32_t lastBirth;
  };

  // A record of the location source (child entry 15): key, active byte, position.
  struct tEmitLocationRecord {
    uint32_t key;
    uint8_t active;
    D3DXVECTOR3 position;
  };

  Vyn_DX8_ParticleEmitter();
  // Calls Reset and deletes the private time value channel.
  ~Vyn_DX8_ParticleEmitter() override;
  Vyn_DX8_ParticleEmitter(const Vyn_DX8_ParticleEmitter&) = delete;
  Vyn_DX8_ParticleEmitter& operator=(const Vyn_DX8_ParticleEmitter&) = delete;

  // Chunks "PEBS" ... "PETM", then "PELJ" (LifeTimeJitter, 4 bytes).
  bool SaveChannel(ZelFileSaver& saver) override;
  // Reads the chunks present, in order; a missing chunk keeps its fields. Values a setter would
  // refuse (MaxParticles outside 1 .. 65535 other than 0, FrameStep below 1) are reported and make
  // the load fail. The pool is not touched.
  bool LoadChannel(ZelFileLoader& loader, Zel_ChannelGroup* group) override;

  // The pool (built on the first call); on the first call of an engine frame, while activated,
  // advances the emitter and its particles. Null while MaxParticles is 0.
  virtual tParticle* GetParticlePool();
  // Slots handed out so far: consumers visit 0 .. count - 1 and skip dead records.
  virtual int GetParticlePoolCount();
  // Frees the pool, the free list and the extra locations; clock and counts back to 0.
  virtual void Reset();

  virtual void SetIsCulling(bool value);
  virtual bool GetIsCulling() const;
  virtual void SetTimeScale(float value);
  virtual float GetTimeScale() const;
  // Accepts 1 .. 65535 only, then resets.
  virtual void SetMaxParticles(int value);
  virtual int GetMaxParticles() const;
  virtual void SetRespawnDeadParticles(bool value);
  virtual bool GetIsRespawnDeadParticles() const;
  virtual void SetAutoResetType(tAutoReset value);
  virtual tAutoReset GetAutoResetType() const;
  virtual void SetAutoResetTime(uint32_t value);
  virtual uint32_t GetAutoResetTime() const;
  virtual void SetParticlesSpace(tSpace value);
  virtual tSpace GetParticlesSpace() const;
  // Index 0 .. 2; other indices are ignored (the getter answers SpaceWorld).
  virtual void SetAccVectorsSpace(int index, tSpace value);
  virtual tSpace GetAccVectorSpace(int index) const;
  // Index 0 .. 2; other indices are ignored (the getter answers the zero vector).
  virtual void SetAccVector(int index, const D3DXVECTOR3& value);
  virtual D3DXVECTOR3 GetAccVector(int index) const;
  virtual void SetShape(tShape value);
  virtual tShape GetShape() const;
  virtual void SetBirthPeriod(uint32_t value);
  virtual uint32_t GetBirthPeriod() const;
  virtual void SetBurstTotal(uint32_t value);
  virtual uint32_t GetBurstTotal() const;
  virtual void SetBoxShapeDimensions(const D3DXVECTOR3& value);
  virtual D3DXVECTOR3 GetBoxShapeDimensions() const;
  virtual void SetSphereShapeMaxRadius(float value);
  virtual float GetSphereShapeMaxRadius() const;
  virtual void SetSphereShapeMinRadius(float value);
  virtual float GetSphereShapeMinRadius() const;
  virtual void SetSphereShapeHSRadius(float value);
  virtual float GetSphereShapeHSRadius() const;
  virtual void SetMaxAbsVelocity(float value);
  virtual float GetMaxAbsVelocity() const;
  virtual void SetMaxAbsAcceleration(float value);
  virtual float GetMaxAbsAcceleration() const;
  virtual void SetMinAbsAcceleration(float value);
  virtual float GetMinAbsAcceleration() const;
  virtual void SetMinAbsVelocity(float value);
  virtual float GetMinAbsVelocity() const;
  // Values below 1 are ignored.
  virtual void SetFrameStep(int value);
  virtual int GetFrameStep() const;
  virtual void SetMinSize(const D3DXVECTOR3& value);
  virtual D3DXVECTOR3 GetMinSize() const;
  virtual void SetMaxSize(const D3DXVECTOR3& value);
  virtual D3DXVECTOR3 GetMaxSize() const;
  virtual void SetVorticityVelocity(float value);
  virtual float GetVorticityVelocity() const;
  virtual void SetVorticitySuction(float value);
  virtual float GetVorticitySuction() const;
  virtual void SetVorticityYScale(float value);
  virtual float GetVorticityYScale() const;
  virtual void SetIsVelocityKill(bool value);
  virtual bool GetIsVelocityKill() const;
  virtual void SetIsAccelerationKill(bool value);
  virtual bool GetIsAccelerationKill() const;
  virtual void SetIsSizeXKill(bool value);
  virtual bool GetIsSizeXKill() const;
  virtual void SetIsSizeYKill(bool value);
  virtual bool GetIsSizeYKill() const;
  virtual void SetIsSizeZKill(bool value);
  virtual bool GetIsSizeZKill() const;
  virtual void SetParticleInitialHeat(float value);
  virtual float GetParticleInitialHeat() const;
  virtual void SetParticleInitialLifeTime(uint32_t value);
  virtual uint32_t GetParticleInitialLifeTime() const;
  virtual void SetParticleInitialSizeStart(const D3DXVECTOR3& value);
  virtual D3DXVECTOR3 GetParticleInitialSizeStart() const;
  virtual void SetParticleInitialSizeEnd(const D3DXVECTOR3& value);
  virtual D3DXVECTOR3 GetParticleInitialSizeEnd() const;
  virtual void SetParticleInitialRotationStart(const D3DXVECTOR3& value);
  virtual D3DXVECTOR3 GetParticleInitialRotationStart() const;
  virtual void SetParticleInitialRotationEnd(const D3DXVECTOR3& value);
  virtual D3DXVECTOR3 GetParticleInitialRotationEnd() const;
  virtual void SetParticleInitialDirection(const D3DXVECTOR3& value);
  virtual D3DXVECTOR3 GetParticleInitialDirection() const;
  virtual void SetParticleInitialColorStart(const D3DXVECTOR3& value);
  virtual D3DXVECTOR3 GetParticleInitialColorStart() const;
  virtual void SetParticleInitialColorEnd(const D3DXVECTOR3& value);
  virtual D3DXVECTOR3 GetParticleInitialColorEnd() const;
  virtual void SetParticleInitialVelocity(float value);
  virtual float GetParticleInitialVelocity() const;
  virtual void SetParticleInitialMass(float value);
  virtual float GetParticleInitialMass() const;
  virtual void SetParticleActOnGrid(bool value);
  virtual bool GetParticleActOnGrid() const;
  virtual void SetParticleAffectedByGrid(bool value);
  virtual bool GetParticleAffectedByGrid() const;
  virtual void SetParticleInwardDirection(bool value);
  virtual bool GetParticleInwardDirection() const;
  virtual void SetIsCorrectForMissingPeriods(bool value);
  virtual bool GetIsCorrectForMissingPeriods() const;
  virtual void SetIsLinkStartSizeJitter(bool value);
  virtual bool GetIsLinkStartSizeJitter() const;
  virtual void SetIsLinkStartColorJitter(bool value);
  virtual bool GetIsLinkStartColorJitter() const;
  virtual void SetIsLinkEndSizeJitter(bool value);
  virtual bool GetIsLinkEndSizeJitter() const;
  virtual void SetIsLinkEndColorJitter(bool value);
  virtual bool GetIsLinkEndColorJitter() const;

  // Index of the youngest living particle, -1 when none.
  virtual int GetLastParticlePoolIndex() const;
  // True after construction and Reset, false after each particle update.
  virtual bool GetIsResetPrevTreeCount() const;

  virtual void SetStaticForceScale(float value);
  virtual float GetStaticForceScale() const;
  virtual void SetActorForceScale(float value);
  virtual float GetActorForceScale() const;
  virtual void SetPartActorForceScale(float value);
  virtual float GetPartActorForceScale() const;
  virtual void SetVelocityDamping(float value);
  virtual float GetVelocityDamping() const;
  virtual void SetStaticInForceVelocityDamping(float value);
  virtual float GetStaticInForceVelocityDamping() const;
  virtual void SetActorInForceVelocityDamping(float value);
  virtual float GetActorInForceVelocityDamping() const;
  virtual void SetPartActorInForceVelocityDamping(float value);
  virtual float GetPartActorInForceVelocityDamping() const;
  virtual void SetDiffuseTreshold(float value);
  virtual float GetDiffuseTreshold() const;
  virtual void SetDiffuseFactor(float value);
  virtual float GetDiffuseFactor() const;
  virtual void SetShapeFeedback(bool value);
  virtual bool GetShapeFeedback() const;
  virtual void SetDeltaRotationFactor(float value);
  virtual float GetDeltaRotationFactor() const;
  virtual void SetDeltaSizeFactor(float value);
  virtual float GetDeltaSizeFactor() const;
  virtual void SetMaxAbsDeltaRotation(float value);
  virtual float GetMaxAbsDeltaRotation() const;
  virtual void SetMaxAbsDeltaSize(float value);
  virtual float GetMaxAbsDeltaSize() const;
  virtual void SetForceBirth(bool value);
  virtual bool GetIsForceBirth() const;
  virtual void SetParticleBirthingPeriod(uint32_t value);
  virtual uint32_t GetParticleBirthingPeriod() const;
  virtual void SetIsParticleBirthingFadeIn(bool value);
  virtual bool GetIsParticleBirthingFadeIn() const;
  virtual void SetIsParticleBirthingScaleIn(bool value);
  virtual bool GetIsParticleBirthingScaleIn() const;
  virtual void SetParticleDyingPeriod(uint32_t value);
  virtual uint32_t GetParticleDyingPeriod() const;
  virtual void SetIsParticleDyingFadeOut(bool value);
  virtual bool GetIsParticleDyingFadeOut() const;
  virtual void SetIsParticleDyingScaleOut(bool value);
  virtual bool GetIsParticleDyingScaleOut() const;
  virtual void SetIsMultiLocation(bool value);
  virtual bool GetIsMultiLocation() const;
  virtual void SetStartSizeJitter(const D3DXVECTOR3& value);
  virtual D3DXVECTOR3 GetStartSizeJitter() const;
  virtual void SetEndSizeJitter(const D3DXVECTOR3& value);
  virtual D3DXVECTOR3 GetEndSizeJitter() const;
  virtual void SetStartRotationJitter(const D3DXVECTOR3& value);
  virtual D3DXVECTOR3 GetStartRotationJitter() const;
  virtual void SetEndRotationJitter(const D3DXVECTOR3& value);
  virtual D3DXVECTOR3 GetEndRotationJitter() const;
  virtual void SetStartColorJitter(const D3DXVECTOR3& value);
  virtual D3DXVECTOR3 GetStartColorJitter() const;
  virtual void SetEndColorJitter(const D3DXVECTOR3& value);
  virtual D3DXVECTOR3 GetEndColorJitter() const;
  virtual void SetVelocityJitter(float value);
  virtual float GetVelocityJitter() const;
  virtual void SetDirectionJitter(const D3DXVECTOR3& value);
  virtual D3DXVECTOR3 GetDirectionJitter() const;
  virtual void SetLifeTimeJitter(uint32_t value);
  virtual uint32_t GetLifeTimeJitter() const;
  virtual void SetTextureSwitchMode(tTextureSwitchMode value);
  virtual tTextureSwitchMode GetTextureSwitchMode() const;
  virtual void SetTextureSwitchingStartOffset(uint32_t value);
  virtual uint32_t GetTextureSwitchingStartOffset() const;
  virtual void SetTextureSwitchingFrameCount(uint32_t value);
  virtual uint32_t GetTextureSwitchingFrameCount() const;
  virtual void SetTextureSwitchingStartOffsetJitter(uint32_t value);
  virtual uint32_t GetTextureSwitchingStartOffsetJitter() const;
  virtual void SetTextureSwitchingSpeedJitter(float value);
  virtual float GetTextureSwitchingSpeedJitter() const;
  virtual void SetTextureSwitchingSpeed(float value);
  virtual float GetTextureSwitchingSpeed() const;
  virtual void SetParticleInfluenceVelocityRangeMin(float value);
  virtual float GetParticleInfluenceVelocityRangeMin() const;
  virtual void SetParticleInfluenceVelocityRangeMax(float value);
  virtual float GetParticleInfluenceVelocityRangeMax() const;
  virtual void SetIsActivated(bool value);
  virtual bool GetIsActivated() const;

  // --- state readers for tools and tests (not virtual, not persisted) ---
  // Particles born and not yet killed.
  int GetLivingCount() const { return m_nLivingCount; }
  // The emitter clock in ticks.
  uint32_t GetClock() const { return m_nClock; }
  // The free list: pool indices of killed particles, reused from its end.
  const Zel_List& GetFreeList() const { return m_FreeList; }
  // The extra emit locations (tEmitLocation pointers).
  const Zel_List& GetEmitLocations() const { return m_EmitLocations; }
  // The pool as it stands, without building or advancing it (null before it exists).
  const tParticle* PeekParticlePool() const { return m_pParticlePool; }
  // Records allocated by CreateSystem (0 before the pool exists).
  int GetPoolCapacity() const { return m_nPoolCapacity; }

 protected:
  // Builds the pool of MaxParticles records when MaxParticles is not 0.
  virtual void CreateSystem();
  // Advances the clock and births particles at the emitter and its extra locations.
  virtual void UpdateEmitter();
  // Advances every living particle by one frame.
  virtual void UpdateParticles();
  // Unlinks the particle from the age chain, marks it dead and puts it on the free list.
  virtual void KillParticle(int index);
  // Starts the dying phase (nothing when already dying).
  virtual void StartParticleKillSequence(int index);
  // End of the age chain, -1 when there is no particle.
  virtual int GetOldestParticle();
  // First living particle (in pool order) whose older link is index; -1 when none.
  virtual int GetYoungerParticle(int index);
  // The particle force birth makes die: the oldest one not yet dying (see the source).
  virtual int GetOldestNonLockedParticle();
  virtual tEmitLocation* GetEmitLocation(uint32_t key);
  virtual void RemoveEmitLocation(uint32_t key);

 private:
  static float Min2(float a, float b);
  static float Max2(float a, float b);
  static float Clamp(float x, float a, float b);
  static bool CheckSattKill(float x, float min, float max);

  struct FrameInputs;
  // Outcome of one birth attempt.
  enum class BirthResult { Born, KillStarted, Skipped, Nothing };
  // Births one particle (burst index b of birth j).
  BirthResult BirthParticle(uint32_t j, uint32_t b, const D3DXVECTOR3& velocity, const D3DXMATRIX& emit,
                     const D3DXMATRIX& world, Zel_Channel* shapeData);
  int TakeForceBirthVictim();
  void UpdateOneParticle(int i, const FrameInputs& in);

  // --- properties ---
  bool m_bIsActivated = true;
  uint32_t m_nBirthPeriod = 0;
  uint32_t m_nBurstTotal = 0;
  int m_nMaxParticles = 0;
  float m_fTimeScale = 1.0f;
  tShape m_Shape = ShapeBox;
  D3DXVECTOR3 m_BoxShapeDimensions{0, 0, 0};
  float m_fSphereShapeMinRadius = 1.0f;
  float m_fSphereShapeMaxRadius = 1.0f;
  float m_fSphereShapeHSRadius = 1.0f;
  bool m_bRespawnDeadParticles = true;
  bool m_bIsCorrectForMissingPeriods = false;
  tAutoReset m_AutoResetType = AutoResetNone;
  uint32_t m_nAutoResetTime = 1000;
  tSpace m_ParticlesSpace = SpaceWorld;
  D3DXVECTOR3 m_AccVector[3] = {{0, 0, 0}, {0, 0, 0}, {0, 0, 0}};
  tSpace m_AccVectorsSpace[3] = {SpaceWorld, SpaceWorld, SpaceWorld};
  int m_nFrameStep = 1;
  bool m_bForceBirth = false;
  uint32_t m_nParticleDyingPeriod = 1000;
  bool m_bIsParticleDyingFadeOut = true;
  bool m_bIsParticleDyingScaleOut = false;
  uint32_t m_nParticleBirthingPeriod = 1000;
  bool m_bIsParticleBirthingFadeIn = true;
  bool m_bIsParticleBirthingScaleIn = false;
  D3DXVECTOR3 m_StartSizeJitter{0, 0, 0};
  D3DXVECTOR3 m_EndSizeJitter{0, 0, 0};
  bool m_bIsLinkStartSizeJitter = false;
  bool m_bIsLinkEndSizeJitter = false;
  D3DXVECTOR3 m_StartRotationJitter{0, 0, 0};
  D3DXVECTOR3 m_EndRotationJitter{0, 0, 0};
  D3DXVECTOR3 m_StartColorJitter{0, 0, 0};
  D3DXVECTOR3 m_EndColorJitter{0, 0, 0};
  bool m_bIsLinkStartColorJitter = false;
  bool m_bIsLinkEndColorJitter = false;
  float m_fVelocityJitter = 0.0f;
  D3DXVECTOR3 m_DirectionJitter{0, 0, 0};
  uint32_t m_nLifeTimeJitter = 0;
  float m_fMinAbsVelocity = 0.0f;
  float m_fMaxAbsVelocity = 0.0f;
  float m_fMinAbsAcceleration = 0.0f;
  float m_fMaxAbsAcceleration = 0.0f;
  D3DXVECTOR3 m_MinSize{0, 0, 0};
  D3DXVECTOR3 m_MaxSize{0, 0, 0};
  bool m_bIsVelocityKill = false;
  bool m_bIsAccelerationKill = false;
  bool m_bIsSizeXKill = false;
  bool m_bIsSizeYKill = false;
  bool m_bIsSizeZKill = false;
  uint32_t m_nParticleInitialLifeTime = 1000;
  D3DXVECTOR3 m_ParticleInitialSizeStart{1, 1, 1};
  D3DXVECTOR3 m_ParticleInitialSizeEnd{1, 1, 1};
  D3DXVECTOR3 m_ParticleInitialRotationStart{0, 0, 0};
  D3DXVECTOR3 m_ParticleInitialRotationEnd{0, 0, 0};
  D3DXVECTOR3 m_ParticleInitialColorStart{1, 1, 1};
  D3DXVECTOR3 m_ParticleInitialColorEnd{1, 1, 1};
  D3DXVECTOR3 m_ParticleInitialDirection{0, 0, 0};
  float m_fParticleInitialVelocity = 0.0f;
  float m_fParticleInitialMass = 0.0f;
  float m_fParticleInitialHeat = 0.0f;
  bool m_bParticleInwardDirection = false;
  bool m_bIsMultiLocation = true;
  float m_fVorticityVelocity = 0.0f;
  float m_fVorticitySuction = 0.0f;
  float m_fVorticityYScale = 1.0f;
  bool m_bParticleActOnGrid = true;
  bool m_bParticleAffectedByGrid = true;
  float m_fVelocityDamping = 1.0f;
  float m_fStaticForceScale = 1.0f;
  float m_fActorForceScale = 1.0f;
  float m_fPartActorForceScale = 1.0f;
  float m_fParticleInfluenceVelocityRangeMin = 1000.0f;
  float m_fParticleInfluenceVelocityRangeMax = -1000.0f;
  float m_fStaticInForceVelocityDamping = 1.0f;
  float m_fActorInForceVelocityDamping = 1.0f;
  float m_fPartActorInForceVelocityDamping = 1.0f;
  float m_fDiffuseTreshold = 1.0f;
  float m_fDiffuseFactor = 1.0f;
  bool m_bShapeFeedback = true;
  float m_fDeltaRotationFactor = 1.0f;
  float m_fMaxAbsDeltaRotation = 1.0f;
  float m_fDeltaSizeFactor = 1.0f;
  float m_fMaxAbsDeltaSize = 1.0f;
  bool m_bIsCulling = true;
  tTextureSwitchMode m_TextureSwitchMode = TextureSwitchOnce;
  uint32_t m_nTextureSwitchingStartOffset = 0;
  uint32_t m_nTextureSwitchingFrameCount = 0;
  uint32_t m_nTextureSwitchingStartOffsetJitter = 0;
  float m_fTextureSwitchingSpeed = 0.0f;
  float m_fTextureSwitchingSpeedJitter = 0.0f;

  // --- state (not persisted) ---
  tParticle* m_pParticlePool = nullptr;   // m_nPoolCapacity records, or null
  bool m_bPoolExists = false;
  int m_nPoolCapacity = 0;                // records allocated by CreateSystem
  int m_nParticlePoolCount = 0;           // slots handed out
  int m_nLivingCount = 0;
  int m_nLastParticlePoolIndex = -1;      // youngest living particle
  // Younger neighbour of every living particle (-1 for the youngest), kept beside the pool so
  // that a kill unlinks in constant time while tParticle keeps the layout consumers read.
  std::vector<int32_t> m_YoungerIndex;
  // One cell per pool slot: the free list holds pointers to these (a slot is on it at most once).
  std::vector<int32_t> m_FreeCells;
  Zel_List m_FreeList;                    // int32_t cells: killed slots, reused from the end
  Zel_List m_EmitLocations;               // tEmitLocation, owned
  uint32_t m_nClock = 0;
  uint32_t m_nLastBirth = 0;
  D3DXMATRIX m_EmitterMatrix;             // the world matrix at the last emission
  Vyn_FloatChannel* m_pTimeValue = nullptr;  // private, owned
  Vyn_DX8_RenderContext* m_pRenderContext = nullptr;  // shared, never deleted here
  float m_fLastElapsed = 0.0f;
  bool m_bResetPrevTreeCount = true;
  bool m_bEmitterSkipped = false;         // UpdateEmitter skipped this frame: skip the particles
  bool m_bBornSinceReset = false;         // a particle was born since the last reset
  int m_nForceBirthCursor = -1;           // last force-birth victim within one UpdateEmitter
  std::vector<Vyn_DX8_ParticleFlowGrid*> m_Grids;  // the grids acting this frame (reused)
};
