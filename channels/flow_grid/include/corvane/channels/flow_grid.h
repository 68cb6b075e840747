// Vyn_DX8_ParticleFlowGrid: the "DX8 ParticleFlowGrid" channel (F2B9D460-37AE-4851-A06C-D5E3F8127B9A).
//
// A bounded force field for particle emitters. The grid is an axis-aligned box in the particles'
// space cut into Resolution^3 cells. An emitter asks every grid linked to it to act on each living
// particle once per frame (ActOnParticle). Inside the box:
//   - a particle the emitter lets be affected (GetParticleAffectedByGrid) is pushed by the static
//     force (StaticForce x the emitter's StaticForceScale) and dragged towards the flow its cell
//     carries (the mean velocity of the particles that acted on that cell in the previous frame,
//     x ActorForceScale x PartActorForceScale); the push is applied over dt;
//   - its velocity is damped by the emitter's VelocityDamping, and, while its speed lies within the
//     emitter's influence range (ParticleInfluenceVelocityRangeMin .. Max, empty when the minimum
//     is above the maximum), by the in-force dampings of the forces acting on it;
//   - with the emitter's ShapeFeedback, the push also sets the particle's size and rotation steps
//     (DeltaSizeFactor / DeltaRotationFactor, limited to MaxAbsDeltaSize / MaxAbsDeltaRotation);
//   - a particle the emitter lets act (GetParticleActOnGrid) adds its velocity to its cell's flow
//     for the next frame. Between frames a cell's flow whose length is below DiffuseTreshold is
//     cleared, otherwise it is kept scaled by DiffuseFactor (limited to 0 .. 1) when no particle
//     acted on the cell.
//   - KillInside asks for the particle's kill (clears *keepAlive); KillOutside asks for it when the
//     particle is outside the box.
//
// A grid can also serve as an emitter's location source (the emitter's child entry 15): a matrix
// and a list of location records (key, active byte, position) that the emitter follows.
#pragma once

#include <cstdint>
#include <vector>

#include "corvane/d3dx_math.h"
#include "corvane/particle_emitter.h"
#include "corvane/zel_channel.h"
#include "corvane/zel_list.h"

class Vyn_DX8_ParticleFlowGrid : public Zel_Channel {
 public:
  static constexpr const char* kTypeName = "DX8 ParticleFlowGrid";
  using tParticle = Vyn_DX8_ParticleEmitter::tParticle;
  using tEmitLocationRecord = Vyn_DX8_ParticleEmitter::tEmitLocationRecord;

  Vyn_DX8_ParticleFlowGrid();
  ~Vyn_DX8_ParticleFlowGrid() override;
  Vyn_DX8_ParticleFlowGrid(const Vyn_DX8_ParticleFlowGrid&) = delete;
  Vyn_DX8_ParticleFlowGrid& operator=(const Vyn_DX8_ParticleFlowGrid&) = delete;

  // Chunk "PFGD": bounds, static force, resolution, kill switches; "PFLM": location matrix;
  // "PFLC": record count, then the records (key, active, position).
  bool SaveChannel(ZelFileSaver& saver) override;
  bool LoadChannel(ZelFileLoader& loader, Zel_ChannelGroup* group) override;

  // Acts on one particle of `emitter` for a frame step of dt (1000 ticks per unit). Clears
  // *keepAlive to ask the emitter to start the particle's kill sequence.
  virtual void ActOnParticle(tParticle* particle, Vyn_DX8_ParticleEmitter* emitter, bool* keepAlive,
                             float dt);

  virtual void SetGridMin(const D3DXVECTOR3& value);
  virtual D3DXVECTOR3 GetGridMin() const;
  virtual void SetGridMax(const D3DXVECTOR3& value);
  virtual D3DXVECTOR3 GetGridMax() const;
  virtual void SetStaticForce(const D3DXVECTOR3& value);
  virtual D3DXVECTOR3 GetStaticForce() const;
  // Cells per axis, 1 .. 32; other values are ignored.
  virtual void SetResolution(int value);
  virtual int GetResolution() const;
  virtual void SetKillInside(bool value);
  virtual bool GetKillInside() const;
  virtual void SetKillOutside(bool value);
  virtual bool GetKillOutside() const;

  // --- location source ---
  virtual void SetLocationMatrix(const D3DXMATRIX& value);
  virtual D3DXMATRIX GetLocationMatrix() const;
  // The records (tEmitLocationRecord pointers, owned by the grid).
  virtual Zel_List* GetLocationList();
  // Adds a record with this key or updates the first one that has it.
  virtual void SetLocation(uint32_t key, bool active, const D3DXVECTOR3& position);
  // Removes the first record with this key. False when there is none.
  virtual bool RemoveLocation(uint32_t key);
  // Removes every record.
  virtual void ClearLocations();

  // The flow a cell carries (for tools and tests); zero outside the grid.
  D3DXVECTOR3 GetCellFlow(const D3DXVECTOR3& position) const;

 private:
  int CellIndex(const D3DXVECTOR3& p) const;  // -1 outside the box
  void BeginFrameIfNeeded(const Vyn_DX8_ParticleEmitter* emitter);

  D3DXVECTOR3 m_GridMin{-1, -1, -1};
  D3DXVECTOR3 m_GridMax{1, 1, 1};
  D3DXVECTOR3 m_StaticForce{0, 0, 0};
  int m_nResolution = 4;
  bool m_bKillInside = false;
  bool m_bKillOutside = false;
  D3DXMATRIX m_LocationMatrix;
  Zel_List m_Locations;

  // Cell flows: `m_Flow` acts this frame; `m_Sum`/`m_Count` gather the particles' velocities.
  std::vector<D3DXVECTOR3> m_Flow;
  std::vector<D3DXVECTOR3> m_Sum;
  std::vector<uint32_t> m_Count;
  int m_nFrame = -1;  // engine frame the gathering belongs to
};
