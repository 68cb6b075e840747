// Built-in meshes and the OBJ reader of the object data channel. Meshes are triangle lists in
// Direct3D's convention: left-handed, front faces clockwise as seen from outside.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "corvane/d3dx_math.h"

namespace corvane {

struct MeshData {
  std::vector<D3DXVECTOR3> positions;
  std::vector<D3DXVECTOR3> normals;  // empty or one per position
  std::vector<D3DXVECTOR2> uvs;      // empty or one per position
  std::vector<uint16_t> indices;
};

// Cube of edge `size` centred on the origin; 4 vertices per face, each face textured 0..1.
void MakeBox(float size, MeshData* mesh);
// Sphere of diameter `size` with `segments` around (at least 3) and segments / 2 rings.
void MakeSphere(float size, int segments, MeshData* mesh);
// Plane y = 0 of side `size` with `cells` x `cells` quads, facing up; one texture repeat per cell.
void MakeGrid(float size, int cells, MeshData* mesh);

// Reads v / vt / vn / f records (polygons fanned into triangles, negative indices allowed),
// converting from the right-handed OBJ convention (z and the winding are flipped, v = 1 - v).
// False with *error for an unreadable file, a malformed face, an index out of range, or more than
// maxVertices distinct vertices. Files over 64 MiB are refused.
bool LoadObjMesh(const std::string& path, int maxVertices, MeshData* mesh, std::string* error);

}  // namespace corvane
