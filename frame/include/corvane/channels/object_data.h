// Vyn_DX8_ObjectDataChannel: the engine's object data channel ("DX8 3D ObjectData",
// 9B6E05F2-D413-47A8-8C5D-F1E24A07B93C). It holds one mesh in object space (positions, normals,
// 32-bit colours, three texture-coordinate sets, 16-bit indices), builds Direct3D vertex and index
// buffers from it and draws it with its stored world matrix. Drawing channels derive from it (and
// fill its arrays), or take it as a child and read its data.
//
// Contract:
//   - SetVertexCount / SetIndexCount size the arrays (zero-filled, "use" flags cleared except
//     positions); the setters then fill them and mark their part used. A setter with an index
//     outside the array returns false and writes nothing; a getter outside returns zeros.
//   - CreateVertexBuffer builds the buffers from the arrays in the layout GetFVFlags/GetVertexSize
//     describe: position, normal (if used), colour (if used), texture sets 0..2 (each up to the
//     highest used set); true when both buffers exist.
//   - SetDataToStream(stream) sets the FVF, the stream source and the indices on the device; true
//     when the buffers are ready (built first when not valid).
//   - GetBoundingBoxMin/Max call CalculateBoundingBox when the box is not valid.
//   - SetWorldMatrix stores the matrix; CallChannel sets it as the world transform and draws.
//   - Release / ReleaseVertexData free the arrays and the device buffers.
//
// The stock channel builds its mesh from its properties (a built-in primitive) or from an OBJ file
// and an optional PNG texture named in its scene data. Implemented by channels/object_data;
// classes deriving from it link that library.
#pragma once

#include <string>
#include <vector>

#include "corvane/channels/device_user.h"
#include "corvane/d3d8.h"
#include "corvane/d3dx_math.h"

// Offset and scale applied to one texture-coordinate set when the buffers are built.
struct VertTUVOffset {
  float offsetU = 0.0f;
  float offsetV = 0.0f;
  float scaleU = 1.0f;
  float scaleV = 1.0f;
};

struct BoundingBox {
  D3DXVECTOR3 min{0, 0, 0};
  D3DXVECTOR3 max{0, 0, 0};
};

// Texture-coordinate generation modes (MapTexture / GetTextureMapping).
enum ObjectTextureMapping : int {
  kTextureMappingNone = 0,      // coordinates as given
  kTextureMappingPlanar = 1,    // projected along an axis onto the bounding box
  kTextureMappingSphere = 2,    // spherical around the box centre
  kTextureMappingCylinder = 3,  // cylindrical around an axis through the box centre
  kTextureMappingCubic = 4,     // per vertex, along the dominant normal axis
};

// Built-in geometry of the stock channel.
enum ObjectPrimitive : int {
  kPrimitiveNone = 0,    // geometry from the data (OBJ file) or from a subclass
  kPrimitiveBox = 1,     // cube of edge Size centred on the origin
  kPrimitiveSphere = 2,  // sphere of diameter Size, Segments around
  kPrimitiveGrid = 3,    // plane y = 0 of side Size, Segments cells per side
};

class Vyn_DX8_ObjectDataChannel : public Vyn_DX8_D3DDeviceUse {
 public:
  static constexpr const char* kTypeName = "DX8 3D ObjectData";

  Vyn_DX8_ObjectDataChannel();
  ~Vyn_DX8_ObjectDataChannel() override;

  // Sets its world matrix as the device's world transform and draws (StreamVertexData).
  void CallChannel() override;
  // Chunk "ODT1": primitive, size, segments, colours, flags, spin; "ODW1": world matrix; "ODF1":
  // mesh and texture names.
  bool SaveChannel(ZelFileSaver& saver) override;
  bool LoadChannel(ZelFileLoader& loader, Zel_ChannelGroup* group) override;
  void DoDependencyInit(Zel_List* list) override;

  // --- virtual operations, in table order --------------------------------------------------------
  // Frees the device buffers and the texture and clears the buffers-valid flag.
  void InvalidateDeviceObjects() override;
  // InvalidateDirectGraphics: the device user's, inherited unchanged (it invalidates the above).
  // Frees arrays and device buffers.
  virtual void Release();
  // Frees the arrays (and the device buffers, which were built from them).
  virtual void ReleaseVertexData();
  // Brings the data up to date: builds the mesh from the properties / files when they changed.
  virtual void UpdateData();
  // Draws: builds buffers when needed, sets texture, material and stage states, streams, draws.
  virtual void StreamVertexData();
  // Sets the texture transforms of the stages the object uses (the stock channel: identity when
  // its texture transform flag is off).
  virtual void StreamTextureMatrices();
  virtual bool CreateVertexBuffer();
  virtual void SetVertexCount(int count);
  virtual int GetVertexCount();
  virtual void SetIndexCount(int count);
  virtual int GetIndexCount();
  virtual bool SetIndex(unsigned value, unsigned long index);
  virtual unsigned GetIndexes(unsigned long index);
  virtual bool SetVertexPosition(D3DXVECTOR3 position, unsigned long index);
  virtual D3DXVECTOR3 GetVertexPosition(unsigned long index);
  virtual bool SetVertexNormal(D3DXVECTOR3 normal, unsigned long index);
  virtual D3DXVECTOR3 GetVertexNormals(unsigned long index);
  virtual bool SetVertexTUCoord(int set, D3DXVECTOR2 uv, unsigned long index);
  virtual D3DXVECTOR2 GetVertexTUV(int set, unsigned long index);
  virtual bool SetVertexColor(DWORD color, unsigned long index);
  virtual DWORD GetVertexColor(unsigned long index);
  virtual void SetPolygonType(D3DPRIMITIVETYPE type);
  virtual D3DPRIMITIVETYPE GetPolygonType();
  // Generates the coordinates of `set` with `mapping` (ObjectTextureMapping) along `axis`
  // (0 x, 1 y, 2 z) and remembers the mapping.
  virtual void MapTexture(int set, int mapping, int axis);
  virtual int GetTextureMapping(int set);
  virtual void MakeSphereTexture(int set);
  virtual void MakeCylinderTexture(int set, int axis);
  virtual void CubicTexture(int set);
  virtual void PlanarTexture(int set, int axis);
  // Recomputes the bounding box from the positions now.
  virtual void MakeObjectSizeBoundrys();
  virtual bool GetVertexPositionUse();
  virtual bool GetVertexNormalUse();
  virtual bool GetVertexTUUse(int set);
  virtual bool GetVertexColorUse();
  virtual DWORD GetFVFlags();
  virtual int GetVertexSize();
  // Moves the coordinates of `set` into 0..1 (by their minimum and range).
  virtual void NormalizeTexture(int set);
  // Applies the set's offset and scale (SetTUVOffSet) to its coordinates.
  virtual void RemapTexture(int set);
  // Regenerates every set that has a mapping.
  virtual void CalculateTextureCoords();
  virtual VertTUVOffset GetTUVOffSet(int set);
  virtual void SetTUVOffSet(int set, VertTUVOffset offset);
  virtual D3DXVECTOR3 GetBoundingBoxMin();
  virtual D3DXVECTOR3 GetBoundingBoxMax();
  virtual void CalculateBoundingBox();
  // True when the transformed box lies at least partly in front of the camera's near plane and
  // inside the view frustum (true without a device).
  virtual bool GetIfObjectIsVisible();
  // The bounding box transformed by the world matrix (or by `matrix`), as an axis-aligned box.
  virtual BoundingBox GetObjectTransformedMinMaxBox();
  virtual BoundingBox GetObjectTransformedMinMaxBox(D3DXMATRIX matrix);
  virtual bool SetDataToStream(int stream);
  // States a subclass sets before its draw; the base sets its blending and culling settings.
  virtual void DoCustomPreRenderStates();
  virtual void SetWorldMatrix(D3DXMATRIX matrix);
  virtual D3DXMATRIX GetWorldMatrix();
  // Texture transform flags (D3DTTFF_*) of a stage, applied by StreamTextureMatrices.
  virtual void SetTextureTransform(int stage, int flags);
  virtual int GetTextureTransform(int stage);

  // --- the stock channel's settings (properties) -----------------------------------------------
  int GetPrimitive() const { return m_Primitive; }
  void SetPrimitive(int primitive);
  float GetSize() const { return m_fSize; }
  void SetSize(float size);
  int GetSegments() const { return m_iSegments; }
  void SetSegments(int segments);  // clamped to 1..256
  D3DXVECTOR3 GetColor() const { return m_Color; }
  void SetColor(D3DXVECTOR3 rgb);
  float GetAlpha() const { return m_fAlpha; }
  void SetAlpha(float alpha);
  D3DXVECTOR3 GetEmissive() const { return m_Emissive; }
  void SetEmissive(D3DXVECTOR3 rgb);
  bool GetAlphaBlend() const { return m_bAlphaBlend; }
  void SetAlphaBlend(bool on);
  bool GetBilinear() const { return m_bBilinear; }
  void SetBilinear(bool on);
  D3DXVECTOR3 GetSpin() const { return m_Spin; }
  // Rotation about x, y, z in radians per frame of engine time, applied on top of the world matrix
  // (a turning display object without a matrix channel).
  void SetSpin(D3DXVECTOR3 radiansPerFrame);
  // File names (resolved through the render context's asset folders at load time).
  const std::string& GetMeshFile() const { return m_MeshFile; }
  void SetMeshFile(const std::string& name);
  const std::string& GetTextureFile() const { return m_TextureFile; }
  void SetTextureFile(const std::string& name);

 protected:
  // Builds the mesh from the primitive / mesh file into the arrays (Release first).
  virtual void BuildGeometry();

  // --- geometry (object space) -----------------------------------------------------------------
  int m_iVertexCount = 0;
  int m_iIndexCount = 0;
  std::vector<D3DXVECTOR3> m_Positions;
  std::vector<D3DXVECTOR3> m_Normals;
  std::vector<DWORD> m_Colors;              // 0xAARRGGBB
  std::vector<D3DXVECTOR2> m_TUV[3];        // texture-coordinate sets 0..2
  std::vector<uint16_t> m_Indexes;
  bool m_bUsePositions = false;
  bool m_bUseNormals = false;
  bool m_bUseColors = false;
  bool m_bUseTUV[3] = {false, false, false};
  VertTUVOffset m_TUVOffset[3];
  int m_TextureMapping[3] = {0, 0, 0};
  int m_TextureMappingAxis[3] = {1, 1, 1};
  int m_TextureTransform[4] = {0, 0, 0, 0};

  // --- device objects ---------------------------------------------------------------------------
  IDirect3DVertexBuffer8* m_pVertexBuffer = nullptr;
  IDirect3DIndexBuffer8* m_pIndexBuffer = nullptr;
  IDirect3DTexture8* m_pTexture = nullptr;
  int m_iVertexStride = 0;  // bytes per vertex in the vertex buffer
  DWORD m_dwFVF = 0;        // format of the vertex buffer
  bool m_bBuffersValid = false;
  D3DPRIMITIVETYPE m_PrimitiveType = D3DPT_TRIANGLELIST;

  // --- bounds and placement ---------------------------------------------------------------------
  D3DXVECTOR3 m_BoundingBoxMin{0, 0, 0};
  D3DXVECTOR3 m_BoundingBoxMax{0, 0, 0};
  bool m_bBoundingBoxValid = false;
  D3DXMATRIX m_WorldMatrix;  // identity at construction

  // --- stock settings ---------------------------------------------------------------------------
  int m_Primitive = kPrimitiveNone;
  float m_fSize = 1.0f;
  int m_iSegments = 16;
  D3DXVECTOR3 m_Color{1, 1, 1};
  float m_fAlpha = 1.0f;
  D3DXVECTOR3 m_Emissive{0, 0, 0};
  bool m_bAlphaBlend = false;
  bool m_bBilinear = true;
  D3DXVECTOR3 m_Spin{0, 0, 0};
  std::string m_MeshFile;
  std::string m_TextureFile;
  bool m_bGeometryDirty = false;  // settings changed since the mesh was built
  bool m_bTextureTried = false;   // texture load attempted for the current file name
};
