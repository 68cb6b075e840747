// The fixed-function pipeline of the software device: vertex format parsing, vertex processing
// (blending, transform, lighting, texture coordinates), clipping and rasterization.
#pragma once

#include <string>
#include <vector>

#include "corvane/d3d8.h"
#include "resources.h"

namespace corvane::detail {

// Byte offsets of the parts of one vertex in a flexible vertex format (-1: absent).
struct FvfLayout {
  DWORD fvf = 0;
  UINT size = 0;
  int weightCount = 0;    // float blend weights after x, y, z
  int indexOffset = -1;   // packed palette indices (D3DFVF_LASTBETA_UBYTE4)
  int normalOffset = -1;
  int diffuseOffset = -1;
  int texCount = 0;
  int texOffset[8] = {};
  int texDims[8] = {};    // floats per set
};

// False with *why for formats the device does not offer (pre-transformed vertices, no position).
bool ParseFvf(DWORD fvf, FvfLayout* layout, std::string* why);

// Everything a draw reads; pointers refer to the device's own state.
struct PipelineState {
  int width = 0, height = 0;
  uint8_t* color = nullptr;  // RGBA rows
  float* depth = nullptr;
  D3DVIEWPORT8 viewport{};
  D3DMATRIX view, projection;
  const D3DMATRIX* world = nullptr;             // 256 palette entries
  const D3DMATRIX* textureTransform = nullptr;  // 8 stages
  const DWORD* rs = nullptr;                    // render states
  const DWORD (*tss)[kD3DTextureStageStateCount] = nullptr;
  const Texture* textures[kD3DTextureStageCount] = {};
  D3DMATERIAL8 material{};
  std::vector<D3DLIGHT8> lights;  // enabled lights only
};

// Transforms the vertices, assembles `count` primitives of `type` (through the indices when given)
// and rasterizes them. Indices were checked by the caller to lie below vertexCount.
void RunPipeline(const PipelineState& st, const FvfLayout& layout, D3DPRIMITIVETYPE type, UINT count,
                 const uint8_t* vertices, UINT vertexCount, UINT stride, const void* indices, bool index32);

}  // namespace corvane::detail
