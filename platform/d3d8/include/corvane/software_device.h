// SoftwareDevice: the Direct3D 8 device implemented on the CPU. It keeps every state it is given
// and rasterizes triangle and line lists into an RGBA colour buffer and a float depth buffer:
// world·view·projection, vertex blending from the world-matrix palette (indexed and non-indexed),
// near-plane clipping, perspective-correct colours and texture coordinates, depth test and write,
// alpha test and blending, texture factor, material and vertex colours, directional lights, point
// or bilinear textures with wrap or clamp addressing, back-face culling.
//
// It can record every call in order (EnableRecording); a test reads the log.
//
// Errors: a draw that would read outside a buffer (an index beyond the vertices, a vertex range
// beyond the stream, a stride smaller than the FVF) is refused as a whole with D3DERR_INVALIDCALL,
// counted and described in GetLastError; nothing is drawn.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "corvane/d3d8.h"

namespace corvane {

// Largest side of the render target; larger sizes are cut to it.
inline constexpr int kMaxTargetSide = 8192;

// What the device is created with.
struct SoftwareDeviceOptions {
  int width = 640;
  int height = 480;
  // Vertex blending capabilities reported in D3DCAPS8. The device blends any palette up to 256
  // matrices itself; these only change what it reports, so channels take their hardware or
  // software paths.
  DWORD maxVertexBlendMatrices = 4;
  DWORD maxVertexBlendMatrixIndex = 255;
};

// One recorded call: its name and its arguments as text (numbers in decimal, pointers as
// "null"/"ptr"), e.g. "SetRenderState" "137 0".
struct RecordedCall {
  std::string name;
  std::string args;
};

class SoftwareDevice : public IDirect3DDevice8 {
 public:
  explicit SoftwareDevice(const SoftwareDeviceOptions& options = SoftwareDeviceOptions());
  // A device is created with one reference; Release frees it.
  static SoftwareDevice* Create(const SoftwareDeviceOptions& options = SoftwareDeviceOptions());

  // --- IDirect3DDevice8 --------------------------------------------------------------------------
  DWORD AddRef() override;
  DWORD Release() override;
  HRESULT GetDeviceCaps(D3DCAPS8* pCaps) override;
  HRESULT BeginScene() override;
  HRESULT EndScene() override;
  HRESULT Clear(DWORD Count, const D3DRECT* pRects, DWORD Flags, D3DCOLOR Color, float Z, DWORD Stencil) override;
  HRESULT SetTransform(D3DTRANSFORMSTATETYPE State, const D3DMATRIX* pMatrix) override;
  HRESULT GetTransform(D3DTRANSFORMSTATETYPE State, D3DMATRIX* pMatrix) override;
  HRESULT MultiplyTransform(D3DTRANSFORMSTATETYPE State, const D3DMATRIX* pMatrix) override;
  HRESULT SetViewport(const D3DVIEWPORT8* pViewport) override;
  HRESULT GetViewport(D3DVIEWPORT8* pViewport) override;
  HRESULT SetMaterial(const D3DMATERIAL8* pMaterial) override;
  HRESULT GetMaterial(D3DMATERIAL8* pMaterial) override;
  HRESULT SetLight(DWORD Index, const D3DLIGHT8* pLight) override;
  HRESULT GetLight(DWORD Index, D3DLIGHT8* pLight) override;
  HRESULT LightEnable(DWORD Index, BOOL Enable) override;
  HRESULT GetLightEnable(DWORD Index, BOOL* pEnable) override;
  HRESULT SetRenderState(D3DRENDERSTATETYPE State, DWORD Value) override;
  HRESULT GetRenderState(D3DRENDERSTATETYPE State, DWORD* pValue) override;
  HRESULT GetTexture(DWORD Stage, IDirect3DBaseTexture8** ppTexture) override;
  HRESULT SetTexture(DWORD Stage, IDirect3DBaseTexture8* pTexture) override;
  HRESULT GetTextureStageState(DWORD Stage, D3DTEXTURESTAGESTATETYPE Type, DWORD* pValue) override;
  HRESULT SetTextureStageState(DWORD Stage, D3DTEXTURESTAGESTATETYPE Type, DWORD Value) override;
  HRESULT DrawPrimitive(D3DPRIMITIVETYPE PrimitiveType, UINT StartVertex, UINT PrimitiveCount) override;
  HRESULT DrawIndexedPrimitive(D3DPRIMITIVETYPE PrimitiveType, UINT MinIndex, UINT NumVertices,
                               UINT StartIndex, UINT PrimitiveCount) override;
  HRESULT DrawPrimitiveUP(D3DPRIMITIVETYPE PrimitiveType, UINT PrimitiveCount,
                          const void* pVertexStreamZeroData, UINT VertexStreamZeroStride) override;
  HRESULT DrawIndexedPrimitiveUP(D3DPRIMITIVETYPE PrimitiveType, UINT MinVertexIndex, UINT NumVertexIndices,
                                 UINT PrimitiveCount, const void* pIndexData, D3DFORMAT IndexDataFormat,
                                 const void* pVertexStreamZeroData, UINT VertexStreamZeroStride) override;
  HRESULT CreateVertexBuffer(UINT Length, DWORD Usage, DWORD FVF, D3DPOOL Pool,
                             IDirect3DVertexBuffer8** ppVertexBuffer) override;
  HRESULT CreateIndexBuffer(UINT Length, DWORD Usage, D3DFORMAT Format, D3DPOOL Pool,
                            IDirect3DIndexBuffer8** ppIndexBuffer) override;
  HRESULT CreateTexture(UINT Width, UINT Height, UINT Levels, DWORD Usage, D3DFORMAT Format, D3DPOOL Pool,
                        IDirect3DTexture8** ppTexture) override;
  HRESULT SetVertexShader(DWORD Handle) override;
  HRESULT GetVertexShader(DWORD* pHandle) override;
  HRESULT SetStreamSource(UINT StreamNumber, IDirect3DVertexBuffer8* pStreamData, UINT Stride) override;
  HRESULT GetStreamSource(UINT StreamNumber, IDirect3DVertexBuffer8** ppStreamData, UINT* pStride) override;
  HRESULT SetIndices(IDirect3DIndexBuffer8* pIndexData, UINT BaseVertexIndex) override;
  HRESULT GetIndices(IDirect3DIndexBuffer8** ppIndexData, UINT* pBaseVertexIndex) override;

  // --- our own ---------------------------------------------------------------------------------
  int GetWidth() const { return width_; }
  int GetHeight() const { return height_; }
  // Colour buffer: width*height pixels, 4 bytes each in the order R, G, B, A, rows top to bottom.
  const std::vector<uint8_t>& GetColorBuffer() const { return color_; }
  const std::vector<float>& GetDepthBuffer() const { return depth_; }
  // The pixel at (x, y) as 0xAARRGGBB (0 outside).
  D3DCOLOR GetPixel(int x, int y) const;
  // Writes the colour buffer as an 8-bit RGBA PNG. False (with *error) on failure.
  bool SavePng(const std::string& path, std::string* error) const;

  // Call recording: off at creation. Enabling clears the log.
  void EnableRecording(bool on);
  const std::vector<RecordedCall>& GetRecordedCalls() const { return calls_; }
  void ClearRecordedCalls() { calls_.clear(); }

  // Draw calls refused as invalid since creation, and the description of the last refusal.
  int GetInvalidCallCount() const { return invalidCalls_; }
  const std::string& GetLastError() const { return lastError_; }
  // Primitives rasterized since creation (after clipping/culling decisions: those submitted).
  uint64_t GetPrimitiveCount() const { return primitives_; }

  void SetCaps(const D3DCAPS8& caps) { caps_ = caps; }

  struct Impl;

 protected:
  ~SoftwareDevice() override;

 private:
  friend struct Impl;
  void Record(const char* name, const std::string& args);
  HRESULT Refuse(const char* call, const std::string& why);
  HRESULT DrawCore(D3DPRIMITIVETYPE type, UINT primitiveCount, const uint8_t* vertices, UINT vertexCount,
                   UINT stride, const void* indices, bool index32, UINT baseVertex);

  DWORD refs_ = 1;
  int width_;
  int height_;
  std::vector<uint8_t> color_;
  std::vector<float> depth_;
  D3DCAPS8 caps_;
  D3DVIEWPORT8 viewport_;
  D3DMATRIX view_;
  D3DMATRIX projection_;
  D3DMATRIX textureTransform_[8];
  std::vector<D3DMATRIX> world_;  // 256 palette entries; 0 is D3DTS_WORLD
  DWORD renderStates_[kD3DRenderStateCount];
  DWORD stageStates_[kD3DTextureStageCount][kD3DTextureStageStateCount];
  IDirect3DBaseTexture8* textures_[kD3DTextureStageCount] = {};
  D3DMATERIAL8 material_;
  std::vector<D3DLIGHT8> lights_;
  std::vector<uint8_t> lightEnabled_;
  DWORD fvf_ = 0;
  IDirect3DVertexBuffer8* stream_ = nullptr;
  UINT streamStride_ = 0;
  IDirect3DIndexBuffer8* indices_ = nullptr;
  UINT baseVertexIndex_ = 0;
  bool recording_ = false;
  std::vector<RecordedCall> calls_;
  int invalidCalls_ = 0;
  std::string lastError_;
  uint64_t primitives_ = 0;
};

// Loads a PNG file (any bit depth / colour type libpng can expand) into a new A8R8G8B8 texture of
// the device. False with *error when the file cannot be read or is not a PNG (or is larger than
// 8192 pixels on a side).
bool LoadTextureFromPng(IDirect3DDevice8* device, const std::string& path, IDirect3DTexture8** texture,
                        std::string* error);

// Writes 8-bit RGBA pixels (rows top to bottom) as a PNG. False with *error on failure.
bool WritePngRgba(const std::string& path, const uint8_t* rgba, int width, int height, std::string* error);

}  // namespace corvane
