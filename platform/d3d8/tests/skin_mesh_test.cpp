// The skin-mesh facility: bone combinations, blended vertex format, drawing a subset with the
// combination's matrices, adjacency, and refusal of bad influences.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>

#include "corvane/d3dx_mesh.h"
#include "corvane/software_device.h"

namespace {

// Vertex with two weights and packed indices, as the skinned character writes it (the indices are
// ignored by the facility, which reads the influence lists).
struct SkinVertex {
  float x, y, z, w0, w1;
  DWORD idx;
  DWORD color;
};
constexpr DWORD kFvf = D3DFVF_XYZB3 | D3DFVF_LASTBETA_UBYTE4 | D3DFVF_DIFFUSE;

class SkinMeshTest : public ::testing::Test {
 protected:
  void SetUp() override {
    corvane::SoftwareDeviceOptions o;
    o.width = 32;
    o.height = 32;
    dev = corvane::SoftwareDevice::Create(o);
  }
  void TearDown() override { EXPECT_EQ(dev->Release(), 0u); }

  // Fills a skin mesh with `faces` triangles over `verts`.
  ID3DXSkinMesh* Make(const std::vector<SkinVertex>& verts, const std::vector<uint16_t>& idx, DWORD bones) {
    ID3DXSkinMesh* s = nullptr;
    EXPECT_EQ(D3DXCreateSkinMeshFVF(DWORD(idx.size() / 3), DWORD(verts.size()), bones, D3DXMESH_MANAGED, kFvf, dev, &s),
              D3D_OK);
    IDirect3DVertexBuffer8* vb = nullptr;
    IDirect3DIndexBuffer8* ib = nullptr;
    s->GetVertexBuffer(&vb);
    s->GetIndexBuffer(&ib);
    BYTE* p = nullptr;
    EXPECT_EQ(vb->Lock(0, 0, &p, D3DLOCK_DISCARD | D3DLOCK_NOOVERWRITE), D3D_OK);
    std::memcpy(p, verts.data(), verts.size() * sizeof(SkinVertex));
    vb->Unlock();
    EXPECT_EQ(ib->Lock(0, 0, &p, 0), D3D_OK);
    std::memcpy(p, idx.data(), idx.size() * 2);
    ib->Unlock();
    vb->Release();
    ib->Release();
    return s;
  }

  corvane::SoftwareDevice* dev = nullptr;
};

TEST_F(SkinMeshTest, FacesAreGroupedIntoCombinationsOfAtMostTheirMatrices) {
  // Two separate triangles: the first moved by bones 0 and 1, the second by bones 2 and 3.
  std::vector<SkinVertex> v(6, SkinVertex{0, 0, 0.5f, 0, 0, 0, 0xFFFFFFFF});
  v[1].x = 1, v[2].y = 1, v[3].x = -1, v[4].x = -0.5f, v[5].y = -1;
  ID3DXSkinMesh* s = Make(v, {0, 1, 2, 3, 4, 5}, 4);
  const DWORD a[] = {0, 1, 2}, b[] = {0}, c[] = {3, 4, 5}, d[] = {5};
  const float ones[] = {1, 1, 1}, half[] = {0.5f};
  EXPECT_EQ(s->SetBoneInfluence(0, 3, a, ones), D3D_OK);
  EXPECT_EQ(s->SetBoneInfluence(1, 1, b, half), D3D_OK);
  EXPECT_EQ(s->SetBoneInfluence(2, 3, c, ones), D3D_OK);
  EXPECT_EQ(s->SetBoneInfluence(3, 1, d, half), D3D_OK);
  const DWORD badVertex[] = {6};
  EXPECT_EQ(s->SetBoneInfluence(0, 1, badVertex, ones), D3DERR_INVALIDCALL);
  EXPECT_EQ(s->SetBoneInfluence(4, 1, a, ones), D3DERR_INVALIDCALL);

  ID3DXMesh* original = nullptr;
  ASSERT_EQ(s->GetOriginalMesh(&original), D3D_OK);
  std::vector<DWORD> adj(6);
  ASSERT_EQ(original->GenerateAdjacency(0.0f, adj.data()), D3D_OK);
  for (DWORD x : adj) EXPECT_EQ(x, 0xFFFFFFFFu);  // the two triangles share no edge

  DWORD count = 0;
  ID3DXBuffer* table = nullptr;
  ID3DXMesh* blended = nullptr;
  ASSERT_EQ(s->ConvertToBlendedMesh(D3DXMESH_MANAGED | D3DXMESHOPT_VERTEXCACHE, adj.data(), nullptr, &count, &table,
                                    nullptr, nullptr, &blended),
            D3D_OK);
  ASSERT_EQ(count, 2u);
  EXPECT_EQ(blended->GetFVF() & D3DFVF_POSITION_MASK, D3DFVF_XYZB1);  // two matrices per face
  EXPECT_EQ(blended->GetFVF() & D3DFVF_LASTBETA_UBYTE4, 0u);
  EXPECT_TRUE(blended->GetFVF() & D3DFVF_DIFFUSE);
  auto* rec = static_cast<D3DXBONECOMBINATION*>(table->GetBufferPointer());
  EXPECT_EQ(rec[0].BoneId[0], 0u);
  EXPECT_EQ(rec[0].BoneId[1], 1u);
  EXPECT_EQ(rec[1].BoneId[0], 2u);
  EXPECT_EQ(rec[1].BoneId[1], 3u);
  EXPECT_EQ(rec[1].FaceStart, 1u);
  EXPECT_EQ(rec[1].FaceCount, 1u);

  // Subset 1 drawn with its two matrices at identity: the triangle shows where it was made, and
  // the draw names the subset's own vertex and index ranges.
  D3DXMATRIX id;
  D3DXMatrixIdentity(&id);
  dev->SetRenderState(D3DRS_LIGHTING, FALSE);
  dev->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
  dev->SetTransform(D3DTS_WORLDMATRIX(0), &id);
  dev->SetTransform(D3DTS_WORLDMATRIX(1), &id);
  dev->SetRenderState(D3DRS_VERTEXBLEND, D3DVBF_1WEIGHTS);
  dev->EnableRecording(true);
  EXPECT_EQ(blended->DrawSubset(1), D3D_OK);
  EXPECT_EQ(dev->GetRecordedCalls().back().name, "DrawIndexedPrimitive");
  EXPECT_EQ(dev->GetRecordedCalls().back().args, "4 3 3 3 1");
  EXPECT_EQ(dev->GetPixel(8, 18), 0xFFFFFFFFu);  // inside the left-lower triangle
  EXPECT_EQ(dev->GetInvalidCallCount(), 0);

  table->Release();
  blended->Release();
  original->Release();
  s->Release();
}

TEST_F(SkinMeshTest, OneBoneMeshesUsePlainPositionsAndBadArgumentsAreRefused) {
  std::vector<SkinVertex> v(3, SkinVertex{0, 0, 0.5f, 0, 0, 0, 0xFFFFFFFF});
  v[1].x = 1, v[2].y = 1;
  ID3DXSkinMesh* s = Make(v, {0, 1, 2}, 1);
  const DWORD all[] = {0, 1, 2};
  const float ones[] = {1, 1, 1};
  s->SetBoneInfluence(0, 3, all, ones);
  DWORD count = 0;
  ID3DXBuffer* table = nullptr;
  ID3DXMesh* blended = nullptr;
  ASSERT_EQ(s->ConvertToBlendedMesh(D3DXMESH_MANAGED, nullptr, nullptr, &count, &table, nullptr, nullptr, &blended),
            D3D_OK);
  EXPECT_EQ(count, 1u);
  EXPECT_EQ(blended->GetFVF() & D3DFVF_POSITION_MASK, D3DFVF_XYZ);
  EXPECT_EQ(static_cast<D3DXBONECOMBINATION*>(table->GetBufferPointer())[0].BoneId[0], 0u);
  table->Release();
  blended->Release();
  s->Release();

  ID3DXSkinMesh* none = nullptr;
  EXPECT_EQ(D3DXCreateSkinMeshFVF(0, 3, 1, D3DXMESH_MANAGED, kFvf, dev, &none), D3DERR_INVALIDCALL);
  EXPECT_EQ(D3DXCreateSkinMeshFVF(1, 3, 1, D3DXMESH_MANAGED, D3DFVF_XYZRHW, dev, &none), D3DERR_INVALIDCALL);
  EXPECT_EQ(none, nullptr);
  EXPECT_STREQ(DXGetErrorString8(D3DERR_INVALIDCALL), "D3DERR_INVALIDCALL");
}

}  // namespace
