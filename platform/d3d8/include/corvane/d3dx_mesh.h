// The skin-mesh facility of the Direct3D extension library, as the skinned character uses it for
// non-indexed skinning: a skin mesh holds faces, vertices and per-bone influence lists; converted
// to a blended mesh it is split into bone combinations (subsets), each drawable on its own with up
// to four blend matrices, and carrying one bone number per blend-matrix position (UINT_MAX where a
// position holds no bone). Numeric values are those of the extension library.
//
// Our implementation groups faces greedily, in their order, into combinations whose faces together
// touch at most four bones; a face touching more than four bones keeps its four strongest. Weights
// of a vertex are normalised to sum 1 over the bones of its combination. The vertex cache option
// is accepted and changes nothing.
#pragma once

#include <climits>

#include "corvane/d3d8.h"

// Mesh creation options (D3DXMESH_*) and optimisation flags (D3DXMESHOPT_*).
inline constexpr DWORD D3DXMESH_32BIT = 0x001;
inline constexpr DWORD D3DXMESH_DONOTCLIP = 0x002;
inline constexpr DWORD D3DXMESH_POINTS = 0x004;
inline constexpr DWORD D3DXMESH_RTPATCHES = 0x008;
inline constexpr DWORD D3DXMESH_VB_SYSTEMMEM = 0x010;
inline constexpr DWORD D3DXMESH_VB_MANAGED = 0x020;
inline constexpr DWORD D3DXMESH_VB_WRITEONLY = 0x040;
inline constexpr DWORD D3DXMESH_VB_DYNAMIC = 0x080;
inline constexpr DWORD D3DXMESH_IB_SYSTEMMEM = 0x100;
inline constexpr DWORD D3DXMESH_IB_MANAGED = 0x200;
inline constexpr DWORD D3DXMESH_IB_WRITEONLY = 0x400;
inline constexpr DWORD D3DXMESH_IB_DYNAMIC = 0x800;
inline constexpr DWORD D3DXMESH_SYSTEMMEM = 0x110;
inline constexpr DWORD D3DXMESH_MANAGED = 0x220;
inline constexpr DWORD D3DXMESH_WRITEONLY = 0x440;
inline constexpr DWORD D3DXMESH_DYNAMIC = 0x880;
inline constexpr DWORD D3DXMESHOPT_COMPACT = 0x01000000;
inline constexpr DWORD D3DXMESHOPT_ATTRSORT = 0x02000000;
inline constexpr DWORD D3DXMESHOPT_VERTEXCACHE = 0x04000000;
inline constexpr DWORD D3DXMESHOPT_STRIPREORDER = 0x08000000;

// One bone combination of a blended mesh: the faces [FaceStart, FaceStart + FaceCount) drawn with
// vertices [VertexStart, VertexStart + VertexCount) and the bones BoneId[0 .. matrices per face).
struct D3DXBONECOMBINATION {
  DWORD AttribId;
  DWORD FaceStart;
  DWORD FaceCount;
  DWORD VertexStart;
  DWORD VertexCount;
  DWORD* BoneId;
};

// A block of bytes with a reference count.
class ID3DXBuffer : public IDirect3DUnknown8 {
 public:
  virtual void* GetBufferPointer() = 0;
  virtual DWORD GetBufferSize() = 0;
};

class ID3DXMesh : public IDirect3DUnknown8 {
 public:
  // Draws the faces of subset (attribute) `attribId` with the device the mesh was made on.
  virtual HRESULT DrawSubset(DWORD attribId) = 0;
  virtual DWORD GetNumFaces() = 0;
  virtual DWORD GetNumVertices() = 0;
  virtual DWORD GetFVF() = 0;
  virtual DWORD GetOptions() = 0;
  virtual HRESULT GetVertexBuffer(IDirect3DVertexBuffer8** vertexBuffer) = 0;
  virtual HRESULT GetIndexBuffer(IDirect3DIndexBuffer8** indexBuffer) = 0;
  // Three DWORDs per face: the neighbouring face across each edge, 0xFFFFFFFF when none. Corners
  // closer than epsilon (in every coordinate) count as the same point.
  virtual HRESULT GenerateAdjacency(float epsilon, DWORD* adjacency) = 0;
};

class ID3DXSkinMesh : public IDirect3DUnknown8 {
 public:
  virtual HRESULT GetVertexBuffer(IDirect3DVertexBuffer8** vertexBuffer) = 0;
  virtual HRESULT GetIndexBuffer(IDirect3DIndexBuffer8** indexBuffer) = 0;
  virtual DWORD GetNumFaces() = 0;
  virtual DWORD GetNumVertices() = 0;
  virtual DWORD GetNumBones() = 0;
  virtual DWORD GetFVF() = 0;
  // Sets the vertices bone `bone` moves and their weights (copied). D3DERR_INVALIDCALL for a bone
  // or vertex number out of range.
  virtual HRESULT SetBoneInfluence(DWORD bone, DWORD numInfluences, const DWORD* vertices, const float* weights) = 0;
  // The mesh of the skin's own vertices and faces (referenced; the caller releases it).
  virtual HRESULT GetOriginalMesh(ID3DXMesh** mesh) = 0;
  // Builds the blended mesh (see the top of this file). Outputs not wanted may be null, except
  // numBoneCombinations, boneCombinationTable and mesh.
  virtual HRESULT ConvertToBlendedMesh(DWORD options, const DWORD* adjacencyIn, DWORD* adjacencyOut,
                                       DWORD* numBoneCombinations, ID3DXBuffer** boneCombinationTable,
                                       DWORD* faceRemap, ID3DXBuffer** vertexRemap, ID3DXMesh** mesh) = 0;
};

// A skin mesh of `numFaces` triangles and `numVertices` vertices of format `fvf`, with 16-bit
// indices unless D3DXMESH_32BIT is given (or needed). D3DERR_INVALIDCALL for zero faces or
// vertices, more than 2^20 of either, or a format the device cannot draw.
HRESULT D3DXCreateSkinMeshFVF(DWORD numFaces, DWORD numVertices, DWORD numBones, DWORD options, DWORD fvf,
                              IDirect3DDevice8* device, ID3DXSkinMesh** skinMesh);

// The name of a result code ("D3DERR_INVALIDCALL", ...; "Unknown" for others).
const char* DXGetErrorString8(HRESULT hr);
