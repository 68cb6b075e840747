// Pixel-level checks of the software device: coverage, depth, blending, texture factor, lines,
// vertex blending (indexed and not), refusal of out-of-range indices and the call log.
#include <gtest/gtest.h>

#include <cstring>
#include <limits>

#include "corvane/software_device.h"

using corvane::SoftwareDevice;
using corvane::SoftwareDeviceOptions;

namespace {

struct ColorVertex {
  float x, y, z;
  DWORD color;
};

// A device of 32x32 with identity transforms: clip space is world space, so x, y in -1..1 map to
// the whole target (y up) and z is the depth. Lighting off so vertex colours pass through.
class DeviceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SoftwareDeviceOptions o;
    o.width = 32;
    o.height = 32;
    dev = SoftwareDevice::Create(o);
    dev->SetRenderState(D3DRS_LIGHTING, FALSE);
    dev->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    dev->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
  }
  void TearDown() override { dev->Release(); }

  HRESULT Tri(const ColorVertex (&v)[3]) {
    dev->SetVertexShader(D3DFVF_XYZ | D3DFVF_DIFFUSE);
    return dev->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, v, sizeof(ColorVertex));
  }
  // Quad covering the whole target at depth z.
  void FullQuad(float z, DWORD color) {
    ColorVertex q[6] = {{-1, -1, z, color}, {-1, 1, z, color}, {1, 1, z, color},
                        {-1, -1, z, color}, {1, 1, z, color},  {1, -1, z, color}};
    dev->SetVertexShader(D3DFVF_XYZ | D3DFVF_DIFFUSE);
    ASSERT_EQ(dev->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 2, q, sizeof(ColorVertex)), D3D_OK);
  }
  int CountPixels(D3DCOLOR c) {
    int n = 0;
    for (int y = 0; y < 32; ++y)
      for (int x = 0; x < 32; ++x) n += dev->GetPixel(x, y) == c;
    return n;
  }

  SoftwareDevice* dev = nullptr;
};

TEST_F(DeviceTest, TriangleCoversExactlyItsPixels) {
  // Lower-left half of the target: pixel centres with x + y' < 32 where y' counts up from bottom.
  ColorVertex t[3] = {{-1, -1, 0.5f, 0xFFFF0000}, {-1, 1, 0.5f, 0xFFFF0000}, {1, -1, 0.5f, 0xFFFF0000}};
  ASSERT_EQ(Tri(t), D3D_OK);
  for (int y = 0; y < 32; ++y)
    for (int x = 0; x < 32; ++x) {
      // Screen row y (down) has its centre at clip y = 1 - (y + 0.5) / 16; inside when cx + cy < 0.
      float cx = -1 + (x + 0.5f) / 16, cy = 1 - (y + 0.5f) / 16;
      bool inside = cx + cy < 0;
      ASSERT_EQ(dev->GetPixel(x, y), inside ? 0xFFFF0000u : 0xFF000000u) << x << "," << y;
    }
}

TEST_F(DeviceTest, SharedEdgeIsDrawnOnceAndCullingFollowsWinding) {
  // Two triangles of a full quad with additive blending: no pixel twice, none missed.
  dev->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
  dev->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ONE);
  dev->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
  FullQuad(0.5f, 0xFF400000);
  EXPECT_EQ(CountPixels(0xFF400000), 32 * 32);

  // Default culling removes counter-clockwise (on screen) triangles and keeps clockwise ones.
  dev->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
  dev->SetRenderState(D3DRS_CULLMODE, D3DCULL_CCW);
  dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1, 0);
  ColorVertex ccw[3] = {{-1, -1, 0.5f, 0xFF00FF00}, {1, -1, 0.5f, 0xFF00FF00}, {-1, 1, 0.5f, 0xFF00FF00}};
  Tri(ccw);
  EXPECT_EQ(CountPixels(0xFF00FF00), 0);
  ColorVertex cw[3] = {{-1, -1, 0.5f, 0xFF00FF00}, {-1, 1, 0.5f, 0xFF00FF00}, {1, -1, 0.5f, 0xFF00FF00}};
  Tri(cw);
  EXPECT_GT(CountPixels(0xFF00FF00), 400);
}

TEST_F(DeviceTest, DepthTestHidesTheFartherTriangleInEitherOrder) {
  for (int order = 0; order < 2; ++order) {
    dev->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
    if (order == 0) {
      FullQuad(0.3f, 0xFF0000FF);
      FullQuad(0.7f, 0xFFFF0000);
    } else {
      FullQuad(0.7f, 0xFFFF0000);
      FullQuad(0.3f, 0xFF0000FF);
    }
    EXPECT_EQ(CountPixels(0xFF0000FF), 32 * 32) << "order " << order;
  }
  // With the depth test off the last one wins.
  dev->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
  FullQuad(0.9f, 0xFF00FF00);
  EXPECT_EQ(CountPixels(0xFF00FF00), 32 * 32);
}

TEST_F(DeviceTest, BlendFactors) {
  struct Case {
    DWORD src, dst;
    DWORD dest, source;
    D3DCOLOR expect;
  };
  const Case cases[] = {
      {D3DBLEND_ONE, D3DBLEND_ONE, 0xFF204060, 0xFF102030, 0xFF306090},            // adds
      {D3DBLEND_ONE, D3DBLEND_ONE, 0xFFF0F0F0, 0xFF808080, 0xFFFFFFFF},            // saturates
      {D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA, 0xFF000000, 0x80FFFFFF, 0xBF808080},  // mixes half
      {D3DBLEND_ZERO, D3DBLEND_SRCCOLOR, 0xFF808080, 0xFF80FF00, 0xFF408000},       // multiplies
  };
  dev->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
  dev->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
  for (const Case& c : cases) {
    dev->Clear(0, nullptr, D3DCLEAR_TARGET, c.dest, 1, 0);
    dev->SetRenderState(D3DRS_SRCBLEND, c.src);
    dev->SetRenderState(D3DRS_DESTBLEND, c.dst);
    // Vertex alpha reaches the blender: stage 0 alpha takes the diffuse alpha without a texture.
    FullQuad(0.5f, c.source);
    D3DCOLOR got = dev->GetPixel(5, 5);
    for (int shift = 0; shift < 32; shift += 8)
      EXPECT_NEAR(int((got >> shift) & 0xFF), int((c.expect >> shift) & 0xFF), 1)
          << std::hex << c.src << " " << c.dst << " got " << got;
  }
}

TEST_F(DeviceTest, TextureFactorAlphaFadesATexturedQuad) {
  IDirect3DTexture8* tex = nullptr;
  ASSERT_EQ(dev->CreateTexture(2, 2, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &tex), D3D_OK);
  D3DLOCKED_RECT r;
  ASSERT_EQ(tex->LockRect(0, &r, nullptr, 0), D3D_OK);
  for (int i = 0; i < 4; ++i) static_cast<DWORD*>(r.pBits)[i] = 0xFFFFFFFF;
  tex->UnlockRect(0);
  dev->SetTexture(0, tex);
  dev->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
  dev->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
  dev->SetTextureStageState(0, D3DTSS_ALPHAARG2, D3DTA_TFACTOR);
  dev->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
  dev->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
  dev->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
  dev->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
  struct TV {
    float x, y, z;
    float u, v;
  } q[6] = {{-1, -1, .5f, 0, 1}, {-1, 1, .5f, 0, 0}, {1, 1, .5f, 1, 0}, {-1, -1, .5f, 0, 1}, {1, 1, .5f, 1, 0}, {1, -1, .5f, 1, 1}};
  dev->SetVertexShader(D3DFVF_XYZ | D3DFVF_TEX1);
  int last = -1;
  for (DWORD a : {0u, 64u, 128u, 255u}) {
    dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1, 0);
    dev->SetRenderState(D3DRS_TEXTUREFACTOR, a << 24);
    ASSERT_EQ(dev->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 2, q, sizeof(TV)), D3D_OK);
    int red = int((dev->GetPixel(10, 10) >> 16) & 0xFF);
    EXPECT_NEAR(red, int(a), 1);
    EXPECT_GT(red, last);
    last = red;
  }
  dev->SetTexture(0, nullptr);
  EXPECT_EQ(tex->Release(), 0u);
}

// Texture addressing picks the texel a coordinate outside 0..1 names, for power-of-two and other
// widths.
TEST_F(DeviceTest, TextureAddressingWrapsClampsAndMirrors) {
  struct Case {
    UINT width;
    DWORD mode;
    float u;
    int texel;
  };
  const Case cases[] = {
      {4, D3DTADDRESS_WRAP, 1.30f, 1},    {4, D3DTADDRESS_WRAP, -0.20f, 3},  {3, D3DTADDRESS_WRAP, -0.20f, 2},
      {3, D3DTADDRESS_WRAP, 2.50f, 1},    {4, D3DTADDRESS_CLAMP, 1.30f, 3},  {4, D3DTADDRESS_CLAMP, -5.0f, 0},
      {4, D3DTADDRESS_MIRROR, 1.30f, 2},  {3, D3DTADDRESS_MIRROR, -0.20f, 0},
  };
  dev->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
  dev->SetVertexShader(D3DFVF_XYZ | D3DFVF_TEX1);
  for (const Case& c : cases) {
    IDirect3DTexture8* tex = nullptr;
    ASSERT_EQ(dev->CreateTexture(c.width, 1, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &tex), D3D_OK);
    D3DLOCKED_RECT r;
    tex->LockRect(0, &r, nullptr, 0);
    for (UINT i = 0; i < c.width; ++i) static_cast<DWORD*>(r.pBits)[i] = 0xFF000000u | (i * 40 + 10);
    tex->UnlockRect(0);
    dev->SetTexture(0, tex);
    dev->SetTextureStageState(0, D3DTSS_ADDRESSU, c.mode);
    struct TV {
      float x, y, z, u, v;
    } q[3] = {{-1, -1, .5f, c.u, 0.5f}, {-1, 3, .5f, c.u, 0.5f}, {3, -1, .5f, c.u, 0.5f}};
    ASSERT_EQ(dev->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, q, sizeof(TV)), D3D_OK);
    EXPECT_EQ(int(dev->GetPixel(16, 16) & 0xFF), c.texel * 40 + 10) << c.width << " " << c.mode << " " << c.u;
    dev->SetTexture(0, nullptr);
    tex->Release();
  }
}

TEST_F(DeviceTest, LineListDrawsItsLinesOnly) {
  ColorVertex l[4] = {{-1, 1 - 5.5f / 16, 0.5f, 0xFFFFFF00}, {1, 1 - 5.5f / 16, 0.5f, 0xFFFFFF00},
                      {-1 + 20.5f / 16, -1, 0.5f, 0xFFFFFF00}, {-1 + 20.5f / 16, 1, 0.5f, 0xFFFFFF00}};
  dev->SetVertexShader(D3DFVF_XYZ | D3DFVF_DIFFUSE);
  ASSERT_EQ(dev->DrawPrimitiveUP(D3DPT_LINELIST, 2, l, sizeof(ColorVertex)), D3D_OK);
  for (int x = 0; x < 32; ++x) EXPECT_EQ(dev->GetPixel(x, 5), 0xFFFFFF00u) << x;
  for (int y = 1; y < 32; ++y) EXPECT_EQ(dev->GetPixel(20, y), 0xFFFFFF00u) << y;
  // Only one row and one column (the end pixel of the vertical line may fall on row 0 or 32).
  EXPECT_LE(CountPixels(0xFFFFFF00), 32 + 32);
  EXPECT_GE(CountPixels(0xFFFFFF00), 32 + 30);
}

// A point blended halfway between two palette matrices lands halfway between their targets.
TEST_F(DeviceTest, VertexBlendingIndexedAndNonIndexed) {
  D3DXMATRIX left, right;
  D3DXMatrixTranslation(&left, -0.5f, 0, 0);
  D3DXMatrixTranslation(&right, 0.5f, 0, 0);
  auto centroidX = [&]() {
    double sum = 0;
    int n = 0;
    for (int y = 0; y < 32; ++y)
      for (int x = 0; x < 32; ++x)
        if (dev->GetPixel(x, y) == 0xFFFFFFFF) sum += x, ++n;
    return n ? sum / n : -1.0;
  };
  // A small triangle around the origin; every vertex has weight 0.25 on its first matrix.
  for (int indexed = 0; indexed < 2; ++indexed) {
    dev->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1, 0);
    struct BV {
      float x, y, z, w0;
      DWORD idx;
      DWORD color;
    } t[3] = {{-0.1f, -0.1f, 0.5f, 0.25f, 0, 0xFFFFFFFF},
              {-0.1f, 0.1f, 0.5f, 0.25f, 0, 0xFFFFFFFF},
              {0.1f, -0.1f, 0.5f, 0.25f, 0, 0xFFFFFFFF}};
    if (indexed) {
      // Palette entries 7 and 9: byte 0 names the first matrix, byte 1 the second.
      for (auto& v : t) v.idx = 7u | (9u << 8);
      dev->SetTransform(D3DTS_WORLDMATRIX(7), &left);
      dev->SetTransform(D3DTS_WORLDMATRIX(9), &right);
      dev->SetRenderState(D3DRS_INDEXEDVERTEXBLENDENABLE, TRUE);
      dev->SetVertexShader(D3DFVF_XYZB2 | D3DFVF_LASTBETA_UBYTE4 | D3DFVF_DIFFUSE);
      dev->SetRenderState(D3DRS_VERTEXBLEND, D3DVBF_1WEIGHTS);
      ASSERT_EQ(dev->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, t, sizeof(BV)), D3D_OK);
    } else {
      struct NV {
        float x, y, z, w0;
        DWORD color;
      } n[3];
      for (int i = 0; i < 3; ++i) n[i] = {t[i].x, t[i].y, t[i].z, t[i].w0, t[i].color};
      dev->SetTransform(D3DTS_WORLD, &left);
      dev->SetTransform(D3DTS_WORLD1, &right);
      dev->SetVertexShader(D3DFVF_XYZB1 | D3DFVF_DIFFUSE);
      dev->SetRenderState(D3DRS_VERTEXBLEND, D3DVBF_1WEIGHTS);
      ASSERT_EQ(dev->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, n, sizeof(NV)), D3D_OK);
    }
    // 0.25 * (-0.5) + 0.75 * 0.5 = +0.25 in clip x: pixel 16 + 0.25 * 16 = 20, minus the third of
    // the triangle's width its centroid lies left of its bounding box centre.
    double cx = centroidX();
    EXPECT_NEAR(cx, 20.0 - 0.1 * 16 / 3 - 0.5, 1.0) << "indexed " << indexed;
  }
}

TEST_F(DeviceTest, OutOfRangeIndicesAreRefusedAndNothingIsDrawn) {
  IDirect3DVertexBuffer8* vb = nullptr;
  IDirect3DIndexBuffer8* ib = nullptr;
  ASSERT_EQ(dev->CreateVertexBuffer(3 * sizeof(ColorVertex), D3DUSAGE_WRITEONLY, D3DFVF_XYZ | D3DFVF_DIFFUSE,
                                    D3DPOOL_DEFAULT, &vb), D3D_OK);
  ASSERT_EQ(dev->CreateIndexBuffer(6 * 2, D3DUSAGE_WRITEONLY, D3DFMT_INDEX16, D3DPOOL_DEFAULT, &ib), D3D_OK);
  BYTE* p = nullptr;
  ColorVertex t[3] = {{-1, -1, 0.5f, 0xFFFF0000}, {-1, 1, 0.5f, 0xFFFF0000}, {1, -1, 0.5f, 0xFFFF0000}};
  ASSERT_EQ(vb->Lock(0, 0, &p, 0), D3D_OK);
  std::memcpy(p, t, sizeof t);
  vb->Unlock();
  uint16_t idx[6] = {0, 1, 2, 0, 1, 3};  // 3 is past the last vertex
  ASSERT_EQ(ib->Lock(0, 0, &p, 0), D3D_OK);
  std::memcpy(p, idx, sizeof idx);
  ib->Unlock();
  // A lock past the end is refused.
  EXPECT_EQ(vb->Lock(0, 1000, &p, 0), D3DERR_INVALIDCALL);

  dev->SetVertexShader(D3DFVF_XYZ | D3DFVF_DIFFUSE);
  dev->SetStreamSource(0, vb, sizeof(ColorVertex));
  dev->SetIndices(ib, 0);
  EXPECT_EQ(dev->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 3, 0, 2), D3DERR_INVALIDCALL);
  EXPECT_EQ(dev->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 4, 0, 1), D3DERR_INVALIDCALL);  // range > stream
  EXPECT_EQ(dev->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 3, 2, 2), D3DERR_INVALIDCALL);  // past the indices
  EXPECT_EQ(dev->DrawPrimitive(D3DPT_TRIANGLELIST, 1, 1), D3DERR_INVALIDCALL);
  uint16_t bad[3] = {0, 1, 7};
  EXPECT_EQ(dev->DrawIndexedPrimitiveUP(D3DPT_TRIANGLELIST, 0, 3, 1, bad, D3DFMT_INDEX16, t, sizeof(ColorVertex)),
            D3DERR_INVALIDCALL);
  EXPECT_EQ(dev->GetInvalidCallCount(), 5);
  EXPECT_EQ(CountPixels(0xFFFF0000), 0);
  // The valid first triangle draws.
  EXPECT_EQ(dev->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 3, 0, 1), D3D_OK);
  EXPECT_GT(CountPixels(0xFFFF0000), 400);
  dev->SetStreamSource(0, nullptr, 0);
  dev->SetIndices(nullptr, 0);
  EXPECT_EQ(vb->Release(), 0u);
  EXPECT_EQ(ib->Release(), 0u);
}

TEST_F(DeviceTest, NearPlaneClipsAndPerspectiveKeepsTexturesStraight) {
  // A floor that starts behind the camera: clipped, drawn in the lower half only, no crash.
  D3DXMATRIX view, proj;
  D3DXVECTOR3 eye(0, 1, 0), at(0, 1, 1), up(0, 1, 0);
  D3DXMatrixLookAtLH(&view, &eye, &at, &up);
  D3DXMatrixPerspectiveFovLH(&proj, 1.5f, 1.0f, 0.1f, 100.0f);
  dev->SetTransform(D3DTS_VIEW, &view);
  dev->SetTransform(D3DTS_PROJECTION, &proj);
  ColorVertex f[6] = {{-10, 0, -10, 0xFF00FF00}, {-10, 0, 50, 0xFF00FF00}, {10, 0, 50, 0xFF00FF00},
                      {-10, 0, -10, 0xFF00FF00}, {10, 0, 50, 0xFF00FF00},  {10, 0, -10, 0xFF00FF00}};
  dev->SetVertexShader(D3DFVF_XYZ | D3DFVF_DIFFUSE);
  ASSERT_EQ(dev->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 2, f, sizeof(ColorVertex)), D3D_OK);
  EXPECT_EQ(dev->GetPixel(16, 31), 0xFF00FF00u);
  EXPECT_EQ(dev->GetPixel(16, 2), 0xFF000000u);
}

TEST_F(DeviceTest, NonFiniteAndHugeVerticesAreHarmless) {
  const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
  ColorVertex bad[3] = {{nan, 0, 0.5f, 0xFFFF0000}, {-1, 1, 0.5f, 0xFFFF0000}, {1, -1, 0.5f, 0xFFFF0000}};
  EXPECT_EQ(Tri(bad), D3D_OK);
  ColorVertex far[3] = {{-1e30f, -1e30f, 0.5f, 0xFFFF0000}, {-1e30f, 1e30f, 0.5f, 0xFFFF0000},
                        {inf, -1e30f, 0.5f, 0xFFFF0000}};
  EXPECT_EQ(Tri(far), D3D_OK);
  EXPECT_EQ(CountPixels(0xFFFF0000), 0);
  // Huge but finite: clipped to the guard band, fills the target.
  ColorVertex big[3] = {{-1e6f, -1e6f, 0.5f, 0xFF00FF00}, {-1e6f, 1e7f, 0.5f, 0xFF00FF00},
                        {1e7f, -1e6f, 0.5f, 0xFF00FF00}};
  EXPECT_EQ(Tri(big), D3D_OK);
  EXPECT_EQ(CountPixels(0xFF00FF00), 32 * 32);
  D3DMATERIAL8 m = {};
  m.Diffuse = {nan, 1, 1, nan};
  dev->SetMaterial(&m);
  dev->SetRenderState(D3DRS_LIGHTING, TRUE);
  FullQuad(0.1f, 0xFFFFFFFF);  // colours from a broken material stay in range
}

TEST_F(DeviceTest, ClearTouchesOnlyItsRectanglesAndTheViewport) {
  const D3DRECT r[2] = {{2, 3, 6, 5}, {30, 30, 40, 40}};  // the second is cut at the edge
  dev->Clear(2, r, D3DCLEAR_TARGET, 0xFF0000FF, 1.0f, 0);
  EXPECT_EQ(CountPixels(0xFF0000FF), 4 * 2 + 2 * 2);
  EXPECT_EQ(dev->GetPixel(2, 3), 0xFF0000FFu);
  EXPECT_EQ(dev->GetPixel(6, 3), 0xFF000000u);
  D3DVIEWPORT8 vp = {8, 8, 8, 8, 0, 1};
  ASSERT_EQ(dev->SetViewport(&vp), D3D_OK);
  dev->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF00FF00, 0.25f, 0);
  EXPECT_EQ(CountPixels(0xFF00FF00), 64);
  EXPECT_EQ(dev->GetDepthBuffer()[8 * 32 + 8], 0.25f);
  EXPECT_EQ(dev->GetDepthBuffer()[7 * 32 + 8], 1.0f);
  D3DVIEWPORT8 outside = {30, 0, 8, 8, 0, 1};
  EXPECT_EQ(dev->SetViewport(&outside), D3DERR_INVALIDCALL);
}

TEST(SoftwareDeviceLog, RecordsCallsInOrderWithArguments) {
  SoftwareDevice* dev = SoftwareDevice::Create();
  dev->SetRenderState(D3DRS_ZENABLE, FALSE);  // not recorded yet
  dev->EnableRecording(true);
  dev->SetRenderState(D3DRS_LIGHTING, FALSE);
  dev->SetVertexShader(D3DFVF_XYZ);
  DWORD v = 7;
  dev->GetRenderState(D3DRS_LIGHTING, &v);
  EXPECT_EQ(v, 0u);
  const auto& calls = dev->GetRecordedCalls();
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_EQ(calls[0].name, "SetRenderState");
  EXPECT_EQ(calls[0].args, "137 0");
  EXPECT_EQ(calls[1].name, "SetVertexShader");
  EXPECT_EQ(calls[1].args, "2");
  EXPECT_EQ(calls[2].name, "GetRenderState");
  EXPECT_EQ(dev->Release(), 0u);
}

}  // namespace
