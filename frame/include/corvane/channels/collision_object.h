// The engine's collision object (type "DX8 CollisionObject"): a child type only. It holds
// triangles in its own space and a matrix from that space to the world.
#pragma once

#include "corvane/d3dx_math.h"
#include "corvane/zel_channel.h"

class Zel_List;

class Vyn_DX8_CollisionObject : public Zel_Channel {
 public:
  static constexpr const char* kTypeName = "DX8 CollisionObject";

  Vyn_DX8_CollisionObject();
  ~Vyn_DX8_CollisionObject() override;

  // Matrix from the object's space to the world.
  virtual D3DXMATRIX GetCollisionMatrix();
  // Appends opaque entries for the triangles touching the box (object space) to list.
  virtual void GetTrianglesInBox(Zel_List* list, D3DXVECTOR3 minimum, D3DXVECTOR3 maximum);
  // The nine floats (three corners, object space) of an entry, or null.
  virtual float* GetTriangle(void* entry);
  virtual bool TriangleTouchesBox(D3DXVECTOR3 centre, D3DXVECTOR3 halfSizes, float* triangle);
  // -1 when the segment from origin along the whole ray misses; otherwise a value smaller for
  // nearer hits, with the hit point and normal (world space) stored where asked.
  virtual float RayIntersect(D3DXVECTOR3 origin, D3DXVECTOR3 ray, D3DXVECTOR3* hitPoint,
                             D3DXVECTOR3* hitNormal, bool nearest);
  virtual bool GetRayTestEnabled();
  virtual void SetRayTestEnabled(bool enabled);
};
