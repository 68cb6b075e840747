// The device's buffer and texture objects: plain memory with a reference count and a lock flag.
#pragma once

#include <cstring>
#include <vector>

#include "corvane/d3d8.h"

namespace corvane::detail {

// Common part of the buffers: bytes, lock state, reference count.
template <class Interface>
class BufferBase : public Interface {
 public:
  BufferBase(UINT length, DWORD usage, D3DPOOL pool) : bytes_(length, 0), usage_(usage), pool_(pool) {}

  DWORD AddRef() override { return ++refs_; }
  DWORD Release() override {
    DWORD left = --refs_;
    if (left == 0) delete this;
    return left;
  }
  HRESULT Lock(UINT offset, UINT size, BYTE** data, DWORD /*flags*/) override {
    if (!data) return D3DERR_INVALIDCALL;
    *data = nullptr;
    if (locked_) return D3DERR_INVALIDCALL;
    const size_t length = bytes_.size();
    if (offset > length) return D3DERR_INVALIDCALL;
    if (size != 0 && static_cast<size_t>(size) > length - offset) return D3DERR_INVALIDCALL;
    locked_ = true;
    *data = bytes_.data() + offset;
    return D3D_OK;
  }
  HRESULT Unlock() override {
    if (!locked_) return D3DERR_INVALIDCALL;
    locked_ = false;
    return D3D_OK;
  }

  const std::vector<uint8_t>& Bytes() const { return bytes_; }
  bool IsLocked() const { return locked_; }

 protected:
  ~BufferBase() override = default;
  std::vector<uint8_t> bytes_;
  DWORD usage_;
  D3DPOOL pool_;
  bool locked_ = false;
  DWORD refs_ = 1;
};

class VertexBuffer final : public BufferBase<IDirect3DVertexBuffer8> {
 public:
  VertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool) : BufferBase(length, usage, pool), fvf_(fvf) {}
  D3DRESOURCETYPE GetType() override { return D3DRTYPE_VERTEXBUFFER; }
  HRESULT GetDesc(D3DVERTEXBUFFER_DESC* d) override {
    if (!d) return D3DERR_INVALIDCALL;
    d->Format = D3DFMT_VERTEXDATA;
    d->Type = D3DRTYPE_VERTEXBUFFER;
    d->Usage = usage_;
    d->Pool = pool_;
    d->Size = static_cast<UINT>(bytes_.size());
    d->FVF = fvf_;
    return D3D_OK;
  }

 private:
  DWORD fvf_;
};

class IndexBuffer final : public BufferBase<IDirect3DIndexBuffer8> {
 public:
  IndexBuffer(UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool)
      : BufferBase(length, usage, pool), format_(format) {}
  D3DRESOURCETYPE GetType() override { return D3DRTYPE_INDEXBUFFER; }
  HRESULT GetDesc(D3DINDEXBUFFER_DESC* d) override {
    if (!d) return D3DERR_INVALIDCALL;
    d->Format = format_;
    d->Type = D3DRTYPE_INDEXBUFFER;
    d->Usage = usage_;
    d->Pool = pool_;
    d->Size = static_cast<UINT>(bytes_.size());
    return D3D_OK;
  }
  D3DFORMAT Format() const { return format_; }

 private:
  D3DFORMAT format_;
};

// One-level A8R8G8B8 texture.
class Texture final : public IDirect3DTexture8 {
 public:
  Texture(UINT width, UINT height, D3DFORMAT format)
      : width_(width), height_(height), format_(format), texels_(size_t(width) * height, 0xFFFFFFFFu) {}
  DWORD AddRef() override { return ++refs_; }
  DWORD Release() override {
    DWORD left = --refs_;
    if (left == 0) delete this;
    return left;
  }
  D3DRESOURCETYPE GetType() override { return D3DRTYPE_TEXTURE; }
  DWORD GetLevelCount() override { return 1; }
  HRESULT GetLevelDesc(UINT level, D3DSURFACE_DESC* d) override {
    if (level != 0 || !d) return D3DERR_INVALIDCALL;
    d->Format = format_;
    d->Type = D3DRTYPE_TEXTURE;
    d->Usage = 0;
    d->Pool = D3DPOOL_MANAGED;
    d->Size = width_ * height_ * 4;
    d->MultiSampleType = 0;
    d->Width = width_;
    d->Height = height_;
    return D3D_OK;
  }
  HRESULT LockRect(UINT level, D3DLOCKED_RECT* r, const RECT* area, DWORD /*flags*/) override {
    if (level != 0 || !r || locked_) return D3DERR_INVALIDCALL;
    size_t offset = 0;
    if (area) {
      if (area->left < 0 || area->top < 0 || area->right > int32_t(width_) || area->bottom > int32_t(height_) ||
          area->left >= area->right || area->top >= area->bottom)
        return D3DERR_INVALIDCALL;
      offset = size_t(area->top) * width_ + size_t(area->left);
    }
    locked_ = true;
    r->Pitch = static_cast<int32_t>(width_ * 4);
    r->pBits = texels_.data() + offset;
    return D3D_OK;
  }
  HRESULT UnlockRect(UINT level) override {
    if (level != 0 || !locked_) return D3DERR_INVALIDCALL;
    locked_ = false;
    return D3D_OK;
  }

  UINT Width() const { return width_; }
  UINT Height() const { return height_; }
  const uint32_t* Texels() const { return texels_.data(); }
  bool HasAlpha() const { return format_ == D3DFMT_A8R8G8B8; }

 private:
  ~Texture() override = default;
  UINT width_, height_;
  D3DFORMAT format_;
  std::vector<uint32_t> texels_;  // 0xAARRGGBB
  bool locked_ = false;
  DWORD refs_ = 1;
};

}  // namespace corvane::detail
