// The emitter's property table: every accessor pair by stem, so that a text scene configures an
// emitter completely. Indexed pairs appear once per index ("AccVector0", "AccVectorsSpace2").
#include "corvane/particle_emitter.h"
#include "corvane/property.h"

namespace {

using E = Vyn_DX8_ParticleEmitter;
using corvane::MakeProperty;

const std::vector<std::string> kShapeNames = {"ShapeSphere", "ShapeBox", "ShapeObjectData"};
const std::vector<std::string> kSpaceNames = {"SpaceLocal", "SpaceWorld"};
const std::vector<std::string> kAutoResetNames = {"AutoResetNone", "AutoResetNoParticles", "AutoResetAtTime"};
const std::vector<std::string> kTextureModeNames = {"TextureSwitchOnce", "TextureSwitchLoop",
                                                    "TextureSwitchPingPong"};

#define PROP(T, Stem, Getter) \
  MakeProperty<E, T>(#Stem, [](E& e) { return e.Getter(); }, [](E& e, T v) { e.Set##Stem(v); })
#define PROP_ENUM(T, Stem, Getter, Names) \
  MakeProperty<E, T>(#Stem, [](E& e) { return e.Getter(); }, [](E& e, T v) { e.Set##Stem(v); }, Names)
#define PROP_IS(T, Stem) PROP(T, Stem, Get##Stem)

corvane::PropertyTable BuildTable() {
  corvane::PropertyTable t;
  t.properties = {
      PROP_IS(bool, IsActivated),
      PROP_IS(uint32_t, BirthPeriod),
      PROP_IS(uint32_t, BurstTotal),
      PROP_IS(int32_t, MaxParticles),
      PROP_IS(float, TimeScale),
      PROP_ENUM(E::tShape, Shape, GetShape, kShapeNames),
      PROP_IS(D3DXVECTOR3, BoxShapeDimensions),
      PROP_IS(float, SphereShapeMinRadius),
      PROP_IS(float, SphereShapeMaxRadius),
      PROP_IS(float, SphereShapeHSRadius),
      PROP(bool, RespawnDeadParticles, GetIsRespawnDeadParticles),
      PROP_IS(bool, IsCorrectForMissingPeriods),
      PROP_ENUM(E::tAutoReset, AutoResetType, GetAutoResetType, kAutoResetNames),
      PROP_IS(uint32_t, AutoResetTime),
      PROP_ENUM(E::tSpace, ParticlesSpace, GetParticlesSpace, kSpaceNames),
      MakeProperty<E, D3DXVECTOR3>("AccVector0", [](E& e) { return e.GetAccVector(0); },
                                   [](E& e, D3DXVECTOR3 v) { e.SetAccVector(0, v); }),
      MakeProperty<E, D3DXVECTOR3>("AccVector1", [](E& e) { return e.GetAccVector(1); },
                                   [](E& e, D3DXVECTOR3 v) { e.SetAccVector(1, v); }),
      MakeProperty<E, D3DXVECTOR3>("AccVector2", [](E& e) { return e.GetAccVector(2); },
                                   [](E& e, D3DXVECTOR3 v) { e.SetAccVector(2, v); }),
      MakeProperty<E, E::tSpace>("AccVectorsSpace0", [](E& e) { return e.GetAccVectorSpace(0); },
                                 [](E& e, E::tSpace v) { e.SetAccVectorsSpace(0, v); }, kSpaceNames),
      MakeProperty<E, E::tSpace>("AccVectorsSpace1", [](E& e) { return e.GetAccVectorSpace(1); },
                                 [](E& e, E::tSpace v) { e.SetAccVectorsSpace(1, v); }, kSpaceNames),
      MakeProperty<E, E::tSpace>("AccVectorsSpace2", [](E& e) { return e.GetAccVectorSpace(2); },
                                 [](E& e, E::tSpace v) { e.SetAccVectorsSpace(2, v); }, kSpaceNames),
      PROP_IS(int32_t, FrameStep),
      PROP(bool, ForceBirth, GetIsForceBirth),
      PROP_IS(uint32_t, ParticleDyingPeriod),
      PROP_IS(bool, IsParticleDyingFadeOut),
      PROP_IS(bool, IsParticleDyingScaleOut),
      PROP_IS(uint32_t, ParticleBirthingPeriod),
      PROP_IS(bool, IsParticleBirthingFadeIn),
      PROP_IS(bool, IsParticleBirthingScaleIn),
      PROP_IS(D3DXVECTOR3, StartSizeJitter),
      PROP_IS(D3DXVECTOR3, EndSizeJitter),
      PROP_IS(bool, IsLinkStartSizeJitter),
      PROP_IS(bool, IsLinkEndSizeJitter),
      PROP_IS(D3DXVECTOR3, StartRotationJitter),
      PROP_IS(D3DXVECTOR3, EndRotationJitter),
      PROP_IS(D3DXVECTOR3, StartColorJitter),
      PROP_IS(D3DXVECTOR3, EndColorJitter),
      PROP_IS(bool, IsLinkStartColorJitter),
      PROP_IS(bool, IsLinkEndColorJitter),
      PROP_IS(float, VelocityJitter),
      PROP_IS(D3DXVECTOR3, DirectionJitter),
      PROP_IS(uint32_t, LifeTimeJitter),
      PROP_IS(float, MinAbsVelocity),
      PROP_IS(float, MaxAbsVelocity),
      PROP_IS(float, MinAbsAcceleration),
      PROP_IS(float, MaxAbsAcceleration),
      PROP_IS(D3DXVECTOR3, MinSize),
      PROP_IS(D3DXVECTOR3, MaxSize),
      PROP_IS(bool, IsVelocityKill),
      PROP_IS(bool, IsAccelerationKill),
      PROP_IS(bool, IsSizeXKill),
      PROP_IS(bool, IsSizeYKill),
      PROP_IS(bool, IsSizeZKill),
      PROP_IS(uint32_t, ParticleInitialLifeTime),
      PROP_IS(D3DXVECTOR3, ParticleInitialSizeStart),
      PROP_IS(D3DXVECTOR3, ParticleInitialSizeEnd),
      PROP_IS(D3DXVECTOR3, ParticleInitialRotationStart),
      PROP_IS(D3DXVECTOR3, ParticleInitialRotationEnd),
      PROP_IS(D3DXVECTOR3, ParticleInitialColorStart),
      PROP_IS(D3DXVECTOR3, ParticleInitialColorEnd),
      PROP_IS(D3DXVECTOR3, ParticleInitialDirection),
      PROP_IS(float, ParticleInitialVelocity),
      PROP_IS(float, ParticleInitialMass),
      PROP_IS(float, ParticleInitialHeat),
      PROP_IS(bool, ParticleInwardDirection),
      PROP_IS(bool, IsMultiLocation),
      PROP_IS(float, VorticityVelocity),
      PROP_IS(float, VorticitySuction),
      PROP_IS(float, VorticityYScale),
      PROP_IS(bool, ParticleActOnGrid),
      PROP_IS(bool, ParticleAffectedByGrid),
      PROP_IS(float, VelocityDamping),
      PROP_IS(float, StaticForceScale),
      PROP_IS(float, ActorForceScale),
      PROP_IS(float, PartActorForceScale),
      PROP_IS(float, ParticleInfluenceVelocityRangeMin),
      PROP_IS(float, ParticleInfluenceVelocityRangeMax),
      PROP_IS(float, StaticInForceVelocityDamping),
      PROP_IS(float, ActorInForceVelocityDamping),
      PROP_IS(float, PartActorInForceVelocityDamping),
      PROP_IS(float, DiffuseTreshold),
      PROP_IS(float, DiffuseFactor),
      PROP_IS(bool, ShapeFeedback),
      PROP_IS(float, DeltaRotationFactor),
      PROP_IS(float, MaxAbsDeltaRotation),
      PROP_IS(float, DeltaSizeFactor),
      PROP_IS(float, MaxAbsDeltaSize),
      PROP_IS(bool, IsCulling),
      PROP_ENUM(E::tTextureSwitchMode, TextureSwitchMode, GetTextureSwitchMode, kTextureModeNames),
      PROP_IS(uint32_t, TextureSwitchingStartOffset),
      PROP_IS(uint32_t, TextureSwitchingFrameCount),
      PROP_IS(uint32_t, TextureSwitchingStartOffsetJitter),
      PROP_IS(float, TextureSwitchingSpeed),
      PROP_IS(float, TextureSwitchingSpeedJitter),
  };
  return t;
}

#undef PROP
#undef PROP_ENUM
#undef PROP_IS

}  // namespace

CORVANE_PROPERTY_TABLE_EXPORT const corvane::PropertyTable* GetPropertyTable() {
  static const corvane::PropertyTable table = BuildTable();
  return &table;
}
