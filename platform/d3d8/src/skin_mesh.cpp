// The skin-mesh facility: skin meshes, blended meshes split into bone combinations, buffers.
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <map>
#include <new>
#include <set>
#include <tuple>
#include <unordered_map>
#include <vector>

#include "corvane/d3dx_mesh.h"
#include "pipeline.h"

namespace {

constexpr DWORD kMaxElements = 1u << 20;
constexpr DWORD kNone = 0xFFFFFFFFu;

template <class Interface>
class Counted : public Interface {
 public:
  DWORD AddRef() override { return ++refs_; }
  DWORD Release() override {
    DWORD left = --refs_;
    if (left == 0) delete this;
    return left;
  }

 protected:
  ~Counted() override = default;

 private:
  DWORD refs_ = 1;
};

class Buffer final : public Counted<ID3DXBuffer> {
 public:
  explicit Buffer(size_t size) : bytes_(size, 0) {}
  void* GetBufferPointer() override { return bytes_.data(); }
  DWORD GetBufferSize() override { return DWORD(bytes_.size()); }

 private:
  std::vector<uint8_t> bytes_;
};

struct Subset {
  DWORD attrib, faceStart, faceCount, vertexStart, vertexCount;
};

// Reads a whole buffer (locking it for reading).
template <class B>
bool ReadAll(B* buffer, std::vector<uint8_t>* out) {
  BYTE* p = nullptr;
  if (FAILED(buffer->Lock(0, 0, &p, D3DLOCK_READONLY)) || !p) return false;
  typename std::conditional<std::is_same<B, IDirect3DVertexBuffer8>::value, D3DVERTEXBUFFER_DESC,
                            D3DINDEXBUFFER_DESC>::type desc;
  buffer->GetDesc(&desc);
  out->assign(p, p + desc.Size);
  buffer->Unlock();
  return true;
}

class Mesh final : public Counted<ID3DXMesh> {
 public:
  // Creates the buffers; null on failure.
  static Mesh* Create(IDirect3DDevice8* device, DWORD faces, DWORD vertices, DWORD options, DWORD fvf) {
    const UINT stride = D3DFVFVertexSize(fvf);
    if (!device || faces == 0 || vertices == 0 || faces > kMaxElements || vertices > kMaxElements || stride == 0)
      return nullptr;
    if (vertices > 0xFFFF) options |= D3DXMESH_32BIT;
    Mesh* m = new (std::nothrow) Mesh();
    if (!m) return nullptr;
    m->device_ = device;
    device->AddRef();
    m->faces_ = faces;
    m->vertices_ = vertices;
    m->options_ = options;
    m->fvf_ = fvf;
    m->stride_ = stride;
    const bool i32 = options & D3DXMESH_32BIT;
    if (FAILED(device->CreateVertexBuffer(vertices * stride, D3DUSAGE_WRITEONLY, fvf, D3DPOOL_MANAGED, &m->vb_)) ||
        FAILED(device->CreateIndexBuffer(faces * 3 * (i32 ? 4 : 2), D3DUSAGE_WRITEONLY,
                                         i32 ? D3DFMT_INDEX32 : D3DFMT_INDEX16, D3DPOOL_MANAGED, &m->ib_))) {
      m->Release();
      return nullptr;
    }
    m->subsets_.push_back({0, 0, faces, 0, vertices});
    return m;
  }

  HRESULT DrawSubset(DWORD attribId) override {
    for (const Subset& s : subsets_) {
      if (s.attrib != attribId || s.faceCount == 0) continue;
      device_->SetVertexShader(fvf_);
      device_->SetStreamSource(0, vb_, stride_);
      device_->SetIndices(ib_, 0);
      return device_->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, s.vertexStart, s.vertexCount, s.faceStart * 3,
                                           s.faceCount);
    }
    return D3D_OK;
  }
  DWORD GetNumFaces() override { return faces_; }
  DWORD GetNumVertices() override { return vertices_; }
  DWORD GetFVF() override { return fvf_; }
  DWORD GetOptions() override { return options_; }
  HRESULT GetVertexBuffer(IDirect3DVertexBuffer8** out) override {
    if (!out) return D3DERR_INVALIDCALL;
    *out = vb_;
    vb_->AddRef();
    return D3D_OK;
  }
  HRESULT GetIndexBuffer(IDirect3DIndexBuffer8** out) override {
    if (!out) return D3DERR_INVALIDCALL;
    *out = ib_;
    ib_->AddRef();
    return D3D_OK;
  }

  // Index k of the index buffer's bytes.
  uint32_t IndexAt(const std::vector<uint8_t>& bytes, size_t k) const {
    if (options_ & D3DXMESH_32BIT) {
      uint32_t v;
      std::memcpy(&v, &bytes[k * 4], 4);
      return v;
    }
    uint16_t v;
    std::memcpy(&v, &bytes[k * 2], 2);
    return v;
  }

  HRESULT GenerateAdjacency(float epsilon, DWORD* adjacency) override {
    if (!adjacency) return D3DERR_INVALIDCALL;
    std::vector<uint8_t> vbytes, ibytes;
    if (!ReadAll(vb_, &vbytes) || !ReadAll(ib_, &ibytes)) return D3DERR_INVALIDCALL;
    // Canonical point per vertex: the first vertex at the same place.
    std::vector<DWORD> canon(vertices_);
    auto pos = [&](DWORD v) {
      float p[3];
      std::memcpy(p, &vbytes[size_t(v) * stride_], 12);
      return std::make_tuple(p[0], p[1], p[2]);
    };
    if (epsilon <= 0.0f) {
      std::map<std::tuple<float, float, float>, DWORD> first;
      for (DWORD v = 0; v < vertices_; ++v) canon[v] = first.emplace(pos(v), v).first->second;
    } else {
      // Cells of size epsilon; a point is compared with the points of its cell and the 26 around.
      std::unordered_map<long long, std::vector<DWORD>> cells;
      auto key = [&](long long x, long long y, long long z) { return (x * 73856093) ^ (y * 19349663) ^ (z * 83492791); };
      for (DWORD v = 0; v < vertices_; ++v) {
        auto [x, y, z] = pos(v);
        long long cx = (long long)std::floor(x / epsilon), cy = (long long)std::floor(y / epsilon),
                  cz = (long long)std::floor(z / epsilon);
        canon[v] = v;
        for (int dx = -1; dx <= 1 && canon[v] == v; ++dx)
          for (int dy = -1; dy <= 1 && canon[v] == v; ++dy)
            for (int dz = -1; dz <= 1 && canon[v] == v; ++dz) {
              auto it = cells.find(key(cx + dx, cy + dy, cz + dz));
              if (it == cells.end()) continue;
              for (DWORD o : it->second) {
                auto [ox, oy, oz] = pos(o);
                if (std::fabs(ox - x) <= epsilon && std::fabs(oy - y) <= epsilon && std::fabs(oz - z) <= epsilon) {
                  canon[v] = canon[o];
                  break;
                }
              }
            }
        cells[key(cx, cy, cz)].push_back(v);
      }
    }
    std::map<std::pair<DWORD, DWORD>, std::vector<std::pair<DWORD, int>>> edges;
    for (DWORD f = 0; f < faces_; ++f)
      for (int e = 0; e < 3; ++e) {
        DWORD a = IndexAt(ibytes, f * 3 + e), b = IndexAt(ibytes, f * 3 + (e + 1) % 3);
        if (a >= vertices_ || b >= vertices_) continue;
        a = canon[a], b = canon[b];
        edges[{std::min(a, b), std::max(a, b)}].push_back({f, e});
      }
    std::fill(adjacency, adjacency + size_t(faces_) * 3, kNone);
    for (auto& [edge, users] : edges)
      for (size_t i = 0; i < users.size(); ++i)
        for (size_t j = 0; j < users.size(); ++j)
          if (i != j && users[j].first != users[i].first) {
            adjacency[users[i].first * 3 + users[i].second] = users[j].first;
            break;
          }
    return D3D_OK;
  }

  IDirect3DVertexBuffer8* VertexBuffer() const { return vb_; }
  IDirect3DIndexBuffer8* IndexBuffer() const { return ib_; }
  IDirect3DDevice8* Device() const { return device_; }
  UINT Stride() const { return stride_; }
  std::vector<Subset>& Subsets() { return subsets_; }

 private:
  ~Mesh() override {
    if (vb_) vb_->Release();
    if (ib_) ib_->Release();
    if (device_) device_->Release();
  }
  IDirect3DDevice8* device_ = nullptr;
  IDirect3DVertexBuffer8* vb_ = nullptr;
  IDirect3DIndexBuffer8* ib_ = nullptr;
  DWORD faces_ = 0, vertices_ = 0, options_ = 0, fvf_ = 0;
  UINT stride_ = 0;
  std::vector<Subset> subsets_;
};

class SkinMesh final : public Counted<ID3DXSkinMesh> {
 public:
  SkinMesh(Mesh* mesh, DWORD bones) : mesh_(mesh), influences_(bones) {}

  HRESULT GetVertexBuffer(IDirect3DVertexBuffer8** out) override { return mesh_->GetVertexBuffer(out); }
  HRESULT GetIndexBuffer(IDirect3DIndexBuffer8** out) override { return mesh_->GetIndexBuffer(out); }
  DWORD GetNumFaces() override { return mesh_->GetNumFaces(); }
  DWORD GetNumVertices() override { return mesh_->GetNumVertices(); }
  DWORD GetNumBones() override { return DWORD(influences_.size()); }
  DWORD GetFVF() override { return mesh_->GetFVF(); }

  HRESULT SetBoneInfluence(DWORD bone, DWORD count, const DWORD* vertices, const float* weights) override {
    if (bone >= influences_.size() || (count && (!vertices || !weights))) return D3DERR_INVALIDCALL;
    for (DWORD i = 0; i < count; ++i)
      if (vertices[i] >= mesh_->GetNumVertices() || !std::isfinite(weights[i])) return D3DERR_INVALIDCALL;
    auto& list = influences_[bone];
    list.clear();
    for (DWORD i = 0; i < count; ++i) list.push_back({vertices[i], weights[i]});
    return D3D_OK;
  }

  HRESULT GetOriginalMesh(ID3DXMesh** out) override {
    if (!out) return D3DERR_INVALIDCALL;
    *out = mesh_;
    mesh_->AddRef();
    return D3D_OK;
  }

  HRESULT ConvertToBlendedMesh(DWORD options, const DWORD* /*adjacencyIn*/, DWORD* adjacencyOut,
                               DWORD* numCombinations, ID3DXBuffer** table, DWORD* faceRemap,
                               ID3DXBuffer** vertexRemap, ID3DXMesh** out) override;

 private:
  ~SkinMesh() override { mesh_->Release(); }
  Mesh* mesh_;
  std::vector<std::vector<std::pair<DWORD, float>>> influences_;  // per bone: (vertex, weight)
};

HRESULT SkinMesh::ConvertToBlendedMesh(DWORD options, const DWORD*, DWORD* adjacencyOut, DWORD* numCombinations,
                                       ID3DXBuffer** table, DWORD* faceRemap, ID3DXBuffer** vertexRemap,
                                       ID3DXMesh** out) {
  if (!numCombinations || !table || !out) return D3DERR_INVALIDCALL;
  *table = nullptr;
  *out = nullptr;
  const DWORD faces = mesh_->GetNumFaces(), vertices = mesh_->GetNumVertices();
  std::vector<uint8_t> vbytes, ibytes;
  if (!ReadAll(mesh_->VertexBuffer(), &vbytes) || !ReadAll(mesh_->IndexBuffer(), &ibytes)) return D3DERR_INVALIDCALL;

  // Influences per vertex.
  std::vector<std::vector<std::pair<DWORD, float>>> perVertex(vertices);
  for (DWORD b = 0; b < influences_.size(); ++b)
    for (auto [v, w] : influences_[b]) perVertex[v].push_back({b, w});

  // Bones per face, at most four (the strongest by summed weight).
  std::vector<std::vector<DWORD>> faceBones(faces);
  DWORD maxBones = 1;
  for (DWORD f = 0; f < faces; ++f) {
    std::map<DWORD, float> sum;
    for (int c = 0; c < 3; ++c) {
      DWORD v = mesh_->IndexAt(ibytes, f * 3 + c);
      if (v >= vertices) return D3DERR_INVALIDCALL;
      for (auto [b, w] : perVertex[v]) sum[b] += std::fabs(w);
    }
    std::vector<std::pair<float, DWORD>> order;
    for (auto [b, w] : sum) order.push_back({-w, b});
    std::sort(order.begin(), order.end());
    for (size_t i = 0; i < order.size() && i < 4; ++i) faceBones[f].push_back(order[i].second);
    std::sort(faceBones[f].begin(), faceBones[f].end());
    maxBones = std::max<DWORD>(maxBones, DWORD(faceBones[f].size()));
  }
  const DWORD M = maxBones;  // matrices per face

  // Faces in order, grouped while their bones fit M.
  struct Combination {
    std::set<DWORD> bones;
    DWORD faceStart, faceCount;
  };
  std::vector<Combination> combos;
  for (DWORD f = 0; f < faces; ++f) {
    if (!combos.empty()) {
      std::set<DWORD> u = combos.back().bones;
      u.insert(faceBones[f].begin(), faceBones[f].end());
      if (u.size() <= M) {
        combos.back().bones = std::move(u);
        ++combos.back().faceCount;
        continue;
      }
    }
    combos.push_back({std::set<DWORD>(faceBones[f].begin(), faceBones[f].end()), f, 1});
  }

  // The blended vertex format: M - 1 weights, then the original parts after the blend data.
  corvane::detail::FvfLayout src;
  std::string why;
  if (!corvane::detail::ParseFvf(mesh_->GetFVF(), &src, &why)) return D3DERR_INVALIDCALL;
  const int betas = src.weightCount + (src.indexOffset >= 0 ? 1 : 0);
  const UINT srcStride = mesh_->Stride();
  const UINT restOffset = 12 + 4 * betas, restSize = srcStride - restOffset;
  static const DWORD kPositions[4] = {D3DFVF_XYZ, D3DFVF_XYZB1, D3DFVF_XYZB2, D3DFVF_XYZB3};
  const DWORD fvf = (mesh_->GetFVF() & ~(D3DFVF_POSITION_MASK | D3DFVF_LASTBETA_UBYTE4)) | kPositions[M - 1];
  const UINT stride = 12 + 4 * (M - 1) + restSize;

  std::vector<uint8_t> outVertices;
  std::vector<DWORD> outIndices, remap;
  std::vector<Subset> subsets;
  std::vector<std::vector<DWORD>> slots;
  for (size_t c = 0; c < combos.size(); ++c) {
    const Combination& cb = combos[c];
    std::vector<DWORD> bones(cb.bones.begin(), cb.bones.end());
    bones.resize(M, UINT_MAX);
    slots.push_back(bones);
    std::unordered_map<DWORD, DWORD> local;
    const DWORD vertexStart = DWORD(remap.size());
    for (DWORD f = cb.faceStart; f < cb.faceStart + cb.faceCount; ++f)
      for (int k = 0; k < 3; ++k) {
        const DWORD v = mesh_->IndexAt(ibytes, f * 3 + k);
        auto it = local.find(v);
        if (it == local.end()) {
          const DWORD nv = DWORD(remap.size());
          it = local.emplace(v, nv).first;
          remap.push_back(v);
          // Weights over this combination's bones, normalised.
          std::vector<float> w(M, 0.0f);
          float total = 0;
          for (auto [b, wt] : perVertex[v])
            for (DWORD s = 0; s < M; ++s)
              if (bones[s] == b) w[s] += wt, total += wt;
          if (total > 0) for (float& x : w) x /= total;
          else w[0] = 1.0f;
          const uint8_t* sv = &vbytes[size_t(v) * srcStride];
          size_t at = outVertices.size();
          outVertices.resize(at + stride);
          std::memcpy(&outVertices[at], sv, 12);
          if (M > 1) std::memcpy(&outVertices[at + 12], w.data(), 4 * (M - 1));
          if (restSize) std::memcpy(&outVertices[at + 12 + 4 * (M - 1)], sv + restOffset, restSize);
        }
        outIndices.push_back(it->second);
      }
    subsets.push_back({DWORD(c), cb.faceStart, cb.faceCount, vertexStart, DWORD(remap.size()) - vertexStart});
  }

  const DWORD newVertices = DWORD(remap.size());
  if (newVertices > kMaxElements) return D3DERR_INVALIDCALL;
  Mesh* blended = Mesh::Create(mesh_->Device(), faces, newVertices, options & ~DWORD(0xFF000000), fvf);
  if (!blended) return E_OUTOFMEMORY;
  BYTE* p = nullptr;
  if (FAILED(blended->VertexBuffer()->Lock(0, 0, &p, 0)) || !p) {
    blended->Release();
    return D3DERR_INVALIDCALL;
  }
  std::memcpy(p, outVertices.data(), outVertices.size());
  blended->VertexBuffer()->Unlock();
  if (FAILED(blended->IndexBuffer()->Lock(0, 0, &p, 0)) || !p) {
    blended->Release();
    return D3DERR_INVALIDCALL;
  }
  const bool i32 = blended->GetOptions() & D3DXMESH_32BIT;
  for (size_t k = 0; k < outIndices.size(); ++k) {
    if (i32) std::memcpy(p + k * 4, &outIndices[k], 4);
    else {
      uint16_t s = uint16_t(outIndices[k]);
      std::memcpy(p + k * 2, &s, 2);
    }
  }
  blended->IndexBuffer()->Unlock();
  blended->Subsets() = subsets;

  // The table: the records, then each record's bone numbers.
  const size_t n = combos.size();
  Buffer* buf = new (std::nothrow) Buffer(n * sizeof(D3DXBONECOMBINATION) + n * M * sizeof(DWORD));
  if (!buf) {
    blended->Release();
    return E_OUTOFMEMORY;
  }
  auto* records = static_cast<D3DXBONECOMBINATION*>(buf->GetBufferPointer());
  DWORD* ids = reinterpret_cast<DWORD*>(records + n);
  for (size_t c = 0; c < n; ++c) {
    records[c] = {subsets[c].attrib, subsets[c].faceStart, subsets[c].faceCount, subsets[c].vertexStart,
                  subsets[c].vertexCount, ids + c * M};
    std::copy(slots[c].begin(), slots[c].end(), ids + c * M);
  }
  if (faceRemap)
    for (DWORD f = 0; f < faces; ++f) faceRemap[f] = f;
  if (vertexRemap) {
    Buffer* r = new (std::nothrow) Buffer(remap.size() * sizeof(DWORD));
    if (r) std::memcpy(r->GetBufferPointer(), remap.data(), remap.size() * sizeof(DWORD));
    *vertexRemap = r;
  }
  if (adjacencyOut) blended->GenerateAdjacency(0.0f, adjacencyOut);
  *numCombinations = DWORD(n);
  *table = buf;
  *out = blended;
  return D3D_OK;
}

}  // namespace

HRESULT D3DXCreateSkinMeshFVF(DWORD numFaces, DWORD numVertices, DWORD numBones, DWORD options, DWORD fvf,
                              IDirect3DDevice8* device, ID3DXSkinMesh** skinMesh) {
  if (!skinMesh) return D3DERR_INVALIDCALL;
  *skinMesh = nullptr;
  corvane::detail::FvfLayout layout;
  std::string why;
  if (!device || numBones > 256 || !corvane::detail::ParseFvf(fvf, &layout, &why)) return D3DERR_INVALIDCALL;
  Mesh* mesh = Mesh::Create(device, numFaces, numVertices, options, fvf);
  if (!mesh) return D3DERR_INVALIDCALL;
  SkinMesh* s = new (std::nothrow) SkinMesh(mesh, numBones);
  if (!s) {
    mesh->Release();
    return E_OUTOFMEMORY;
  }
  *skinMesh = s;
  return D3D_OK;
}

const char* DXGetErrorString8(HRESULT hr) {
  switch (hr) {
    case D3D_OK: return "D3D_OK";
    case D3DERR_INVALIDCALL: return "D3DERR_INVALIDCALL";
    case D3DERR_OUTOFVIDEOMEMORY: return "D3DERR_OUTOFVIDEOMEMORY";
    case D3DERR_NOTAVAILABLE: return "D3DERR_NOTAVAILABLE";
    case D3DERR_DEVICELOST: return "D3DERR_DEVICELOST";
    case D3DERR_DEVICENOTRESET: return "D3DERR_DEVICENOTRESET";
    case D3DERR_INVALIDDEVICE: return "D3DERR_INVALIDDEVICE";
    case D3DERR_DRIVERINVALIDCALL: return "D3DERR_DRIVERINVALIDCALL";
    case D3DERR_WRONGTEXTUREFORMAT: return "D3DERR_WRONGTEXTUREFORMAT";
    case D3DERR_CONFLICTINGRENDERSTATE: return "D3DERR_CONFLICTINGRENDERSTATE";
    case D3DERR_NOTFOUND: return "D3DERR_NOTFOUND";
    case D3DERR_MOREDATA: return "D3DERR_MOREDATA";
    case E_OUTOFMEMORY: return "E_OUTOFMEMORY";
    case E_FAIL: return "E_FAIL";
    case E_INVALIDARG: return "E_INVALIDARG";
    default: return "Unknown";
  }
}
