// Vyn_DX8_ParticleBeamRenderer: the "DX8 ParticleSpriteBeamRenderer" channel
// (type 47A2D8E5-C609-4F3B-8B71-E5F90A2C6D1E, file 2C5D9F81-7B0A-4E36-A5C2-E84B17F0D96A.so).
//
// It takes one particle emitter as its child ("Particle Emitter") and draws the living particles
// as one continuous beam: walking from the youngest particle along the age chain, every pair of
// neighbours is joined by a quad that faces the camera, as wide at each end as that particle's
// size.x, stretched `HingeOffset` units past both particles so that neighbouring quads overlap.
// The walk stops at a dead particle, at a particle born after its younger neighbour, or after as
// many particles as the pool holds. Births back-dated by the emitter's missing-period correction
// (birth times rising along the chain by at most one birth period) are followed and visited in age
// order, newest first. The quad lies in the view plane at its older particle and points, on the
// screen, at its younger one (whatever the viewport's aspect and wherever the camera stands).
//
// Geometry: 4 vertices per pool slot (position, diffuse 0x00RRGGBB, u, v; 24 bytes), quad k at
// vertices 4k .. 4k + 3 with (u, v) = (0,0), (1,0), (0,1), (1,1) and indices (4k, 4k+1, 4k+2),
// (4k+1, 4k+3, 4k+2). Quad k (k >= 1) joins the k-th visited particle to its younger neighbour;
// slot 0 stays unused. The vertices are written in world space and drawn with an identity world
// transform and lighting off; both are put back afterwards.
//
// The object data base's settings give the look: its texture file (scene data {"texture": ...}) is
// bound on stage 0 and its
// AlphaBlend turns on alpha blending; this channel's AdditiveBlend draws the beam additively
// (source and destination added, depth writes off), the usual way of drawing glowing particles.
//
// Pools larger than 16384 particles exceed what 16-bit indices address; the index buffer then
// holds the first 16384 quads' indices and the draw is split into batches with a base vertex.
#pragma once

#include <cstdint>
#include <vector>

#include "corvane/channels/object_data.h"
#include "corvane/d3dx_math.h"

class Vyn_DX8_ParticleEmitter;
class Vyn_DX8_RenderContext;

class Vyn_DX8_ParticleBeamRenderer : public Vyn_DX8_ObjectDataChannel {
 public:
  static constexpr const char* kTypeName = "DX8 ParticleSpriteBeamRenderer";
  // Quads one 16-bit index batch addresses (4 vertices each, 65536 vertices).
  static constexpr int kQuadsPerBatch = 16384;

  // One vertex of the beam, in the object data's format XYZ | DIFFUSE | TEX1.
  struct BeamVertex {
    float x, y, z;   // world space
    uint32_t color;  // 0x00RRGGBB
    float u, v;
  };
  static_assert(sizeof(BeamVertex) == 24, "the beam vertex is 24 bytes");

  Vyn_DX8_ParticleBeamRenderer();
  // Frees the system vertex array and clears the built flag (device buffers go with the base).
  ~Vyn_DX8_ParticleBeamRenderer() override;
  Vyn_DX8_ParticleBeamRenderer(const Vyn_DX8_ParticleBeamRenderer&) = delete;
  Vyn_DX8_ParticleBeamRenderer& operator=(const Vyn_DX8_ParticleBeamRenderer&) = delete;

  // Builds the beam of the emitter child's living particles and draws it. Draws nothing without a
  // device or an emitter.
  void CallChannel() override;
  // Chunk "GEN1": the hinge offset (4 bytes); chunk "BMDS": the drawing settings this channel
  // keeps of its own and of the object data base (additive flag, alpha blend flag, texture file
  // name), so that a saved beam looks the same when loaded. A file without "BMDS" keeps the
  // defaults.
  bool SaveChannel(ZelFileSaver& saver) override;
  bool LoadChannel(ZelFileLoader& loader, Zel_ChannelGroup* group) override;
  // Builds the device buffers from the system array (every slot, in the beam's vertex format) and
  // the object data's indices; the object data's own arrays stop at 65535 vertices.
  bool CreateVertexBuffer() override;
  // Sets the texture transforms of stages 0 .. 3 to identity (when there is a device).
  void StreamTextureMatrices() override;
  // The beam is always drawn (its particles move every frame; no bounding box is kept).
  bool GetIfObjectIsVisible() override;

  virtual void SetHingeOffset(float offset);
  virtual float GetHingeOffset();

  // --- our own drawing settings (not virtual: they follow the class's table) ----------------------
  void SetAdditiveBlend(bool on) { m_bAdditiveBlend = on; }
  bool GetAdditiveBlend() const { return m_bAdditiveBlend; }

  // --- state readers for tools and tests -------------------------------------------------------------
  bool IsBuilt() const { return m_bBuilt; }
  // The pool size the geometry was built for.
  int GetBuiltPoolSize() const { return m_nBuiltPoolSize; }
  // Particles visited by the last walk (quads drawn = visited - 1 when at least two).
  int GetLastVisitedCount() const { return m_nLastVisited; }
  // The system vertex array (4 per pool slot; empty before the geometry is built).
  const std::vector<BeamVertex>& GetSystemVertices() const { return m_SystemVertices; }

 protected:
  // Frees the system vertex array (and the walk's index array).
  virtual void Reset();
  // Builds the geometry for the emitter's pool size: system array, base arrays and indices,
  // device buffers.
  virtual void CreateParticleObject();

 private:
  // The emitter child, or null when none (or a channel of another type) is connected.
  Vyn_DX8_ParticleEmitter* GetEmitter();
  // Walks the age chain and writes quads 1 .. m - 1 into the system array; returns m.
  int BuildQuads(Vyn_DX8_ParticleEmitter* emitter, const void* pool, int poolCount);
  // Loads the base's texture file once per name (while a device exists).
  void EnsureTexture(IDirect3DDevice8* device);
  // Texture, stage and blend states of the beam's draw.
  void ApplyDrawStates(Vyn_DX8_RenderContext* context, IDirect3DDevice8* device);

  float m_fHingeOffset = 0.5f;                 // quads reach this far past both particles
  std::vector<BeamVertex> m_SystemVertices;    // 4 per pool slot
  std::vector<int32_t> m_Order;                // pool indices of the last walk, in age order
  bool m_bBuilt = false;                       // geometry built for m_nBuiltPoolSize
  int m_nBuiltPoolSize = 0;                    // emitter pool size at the last build
  int m_nLastVisited = 0;                      // particles visited by the last walk
  D3DXMATRIX m_Identity;                       // identity: world and texture transforms
  bool m_bAdditiveBlend = false;               // draw additively, depth writes off
  bool m_bDrawReported = false;                // a refused draw was reported once
};
