// Vertex processing, clipping and rasterization of the software device.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

#include "pipeline.h"

namespace corvane::detail {

bool ParseFvf(DWORD fvf, FvfLayout* l, std::string* why) {
  *l = FvfLayout();
  l->fvf = fvf;
  UINT off = 0;
  const DWORD pos = fvf & D3DFVF_POSITION_MASK;
  int betas = 0;
  switch (pos) {
    case D3DFVF_XYZ: betas = 0; break;
    case D3DFVF_XYZB1: betas = 1; break;
    case D3DFVF_XYZB2: betas = 2; break;
    case D3DFVF_XYZB3: betas = 3; break;
    case D3DFVF_XYZB4: betas = 4; break;
    case D3DFVF_XYZB5: betas = 5; break;
    case D3DFVF_XYZRHW: *why = "pre-transformed vertices (D3DFVF_XYZRHW) are not offered"; return false;
    default: *why = "vertex format without a position"; return false;
  }
  off = 12;
  if (betas > 0 && (fvf & D3DFVF_LASTBETA_UBYTE4)) {
    l->weightCount = betas - 1;
    l->indexOffset = int(12 + 4 * (betas - 1));
  } else {
    l->weightCount = betas;
  }
  off += 4 * betas;
  if (fvf & D3DFVF_NORMAL) {
    l->normalOffset = int(off);
    off += 12;
  }
  if (fvf & D3DFVF_PSIZE) off += 4;
  if (fvf & D3DFVF_DIFFUSE) {
    l->diffuseOffset = int(off);
    off += 4;
  }
  if (fvf & D3DFVF_SPECULAR) off += 4;
  l->texCount = int((fvf & D3DFVF_TEXCOUNT_MASK) >> D3DFVF_TEXCOUNT_SHIFT);
  if (l->texCount > 8) {
    *why = "more than 8 texture coordinate sets";
    return false;
  }
  for (int i = 0; i < l->texCount; ++i) {
    static const int dims[4] = {2, 3, 4, 1};
    l->texDims[i] = dims[(fvf >> (16 + 2 * i)) & 3];
    l->texOffset[i] = int(off);
    off += 4 * l->texDims[i];
  }
  l->size = off;
  return true;
}

namespace {

struct Vec4 {
  float r, g, b, a;
};

constexpr float kInv255 = 1.0f / 255.0f;
inline Vec4 ColorOf(DWORD c) {
  return {float((c >> 16) & 0xFF) * kInv255, float((c >> 8) & 0xFF) * kInv255, float(c & 0xFF) * kInv255,
          float((c >> 24) & 0xFF) * kInv255};
}
inline Vec4 ColorOf(const D3DCOLORVALUE& c) { return {c.r, c.g, c.b, c.a}; }
// Not-a-number becomes 0, so that bad input never reaches an integer conversion.
inline float Clamp01(float v) { return v > 0 ? (v < 1 ? v : 1) : 0; }

// A processed vertex: clip-space position and the attributes the rasterizer interpolates.
struct PVertex {
  float x, y, z, w;
  float r, g, b, a;
  float u0, v0, u1, v1;
};
constexpr int kAttrs = 8;  // r g b a u0 v0 u1 v1
inline float* Attr(PVertex& v) { return &v.r; }
inline const float* Attr(const PVertex& v) { return &v.r; }

float ReadF(const uint8_t* p) {
  float f;
  std::memcpy(&f, p, 4);
  return f;
}
DWORD ReadD(const uint8_t* p) {
  DWORD d;
  std::memcpy(&d, p, 4);
  return d;
}

D3DXVECTOR3 MulPoint(const D3DXVECTOR3& p, const D3DMATRIX& m) {
  return {p.x * m._11 + p.y * m._21 + p.z * m._31 + m._41, p.x * m._12 + p.y * m._22 + p.z * m._32 + m._42,
          p.x * m._13 + p.y * m._23 + p.z * m._33 + m._43};
}
D3DXVECTOR3 MulNormal(const D3DXVECTOR3& p, const D3DMATRIX& m) {
  return {p.x * m._11 + p.y * m._21 + p.z * m._31, p.x * m._12 + p.y * m._22 + p.z * m._32,
          p.x * m._13 + p.y * m._23 + p.z * m._33};
}

// Vertex processing for one draw.
class VertexProcessor {
 public:
  VertexProcessor(const PipelineState& st, const FvfLayout& l) : st_(st), l_(l) {
    D3DXMatrixMultiply(&viewProj_, &st.view, &st.projection);
    const DWORD vb = st.rs[D3DRS_VERTEXBLEND];
    switch (vb) {
      case D3DVBF_0WEIGHTS: matrices_ = 1; break;
      case D3DVBF_1WEIGHTS: matrices_ = 2; break;
      case D3DVBF_2WEIGHTS: matrices_ = 3; break;
      case D3DVBF_3WEIGHTS: matrices_ = 4; break;
      default: matrices_ = 0; break;  // disabled (or tweening): world matrix 0 only
    }
    indexed_ = matrices_ > 0 && st.rs[D3DRS_INDEXEDVERTEXBLENDENABLE] && l.indexOffset >= 0;
    lighting_ = st.rs[D3DRS_LIGHTING] != 0;
    colorVertex_ = st.rs[D3DRS_COLORVERTEX] != 0 && l.diffuseOffset >= 0;
    ambient_ = ColorOf(st.rs[D3DRS_AMBIENT]);
    for (int s = 0; s < 2; ++s) {
      texSet_[s] = int(st.tss[s][D3DTSS_TEXCOORDINDEX] & 0xFFFF);
      texXform_[s] = (st.tss[s][D3DTSS_TEXTURETRANSFORMFLAGS] & 0xFF) != D3DTTFF_DISABLE;
    }
  }

  PVertex Process(const uint8_t* v) const {
    D3DXVECTOR3 p(ReadF(v), ReadF(v + 4), ReadF(v + 8));
    D3DXVECTOR3 n(0, 0, 0);
    const bool hasNormal = l_.normalOffset >= 0;
    if (hasNormal) n = D3DXVECTOR3(ReadF(v + l_.normalOffset), ReadF(v + l_.normalOffset + 4), ReadF(v + l_.normalOffset + 8));

    D3DXVECTOR3 wp, wn;
    if (matrices_ == 0) {
      wp = MulPoint(p, st_.world[0]);
      wn = MulNormal(n, st_.world[0]);
    } else {
      float w[4] = {0, 0, 0, 0};
      float sum = 0;
      for (int k = 0; k < matrices_ - 1; ++k) {
        w[k] = k < l_.weightCount ? ReadF(v + 12 + 4 * k) : 0.0f;
        sum += w[k];
      }
      w[matrices_ - 1] = 1.0f - sum;
      DWORD packed = indexed_ ? ReadD(v + l_.indexOffset) : 0;
      wp = D3DXVECTOR3(0, 0, 0);
      wn = D3DXVECTOR3(0, 0, 0);
      for (int k = 0; k < matrices_; ++k) {
        const int m = indexed_ ? int((packed >> (8 * k)) & 0xFF) : k;
        wp += MulPoint(p, st_.world[m]) * w[k];
        wn += MulNormal(n, st_.world[m]) * w[k];
      }
    }

    PVertex out;
    out.x = wp.x * viewProj_._11 + wp.y * viewProj_._21 + wp.z * viewProj_._31 + viewProj_._41;
    out.y = wp.x * viewProj_._12 + wp.y * viewProj_._22 + wp.z * viewProj_._32 + viewProj_._42;
    out.z = wp.x * viewProj_._13 + wp.y * viewProj_._23 + wp.z * viewProj_._33 + viewProj_._43;
    out.w = wp.x * viewProj_._14 + wp.y * viewProj_._24 + wp.z * viewProj_._34 + viewProj_._44;

    Vec4 diffuse = l_.diffuseOffset >= 0 ? ColorOf(ReadD(v + l_.diffuseOffset)) : Vec4{1, 1, 1, 1};
    Vec4 c;
    if (lighting_) {
      auto source = [&](D3DRENDERSTATETYPE rs, const D3DCOLORVALUE& mat) {
        return (colorVertex_ && st_.rs[rs] == D3DMCS_COLOR1) ? diffuse : ColorOf(mat);
      };
      Vec4 md = source(D3DRS_DIFFUSEMATERIALSOURCE, st_.material.Diffuse);
      Vec4 ma = source(D3DRS_AMBIENTMATERIALSOURCE, st_.material.Ambient);
      Vec4 me = source(D3DRS_EMISSIVEMATERIALSOURCE, st_.material.Emissive);
      if (hasNormal) {
        float len = D3DXVec3Length(&wn);
        if (len > 0) wn = wn / len;
      }
      c = {me.r + ambient_.r * ma.r, me.g + ambient_.g * ma.g, me.b + ambient_.b * ma.b, md.a};
      for (const D3DLIGHT8& L : st_.lights) {
        D3DXVECTOR3 toLight;
        float att = 1.0f;
        if (L.Type == D3DLIGHT_DIRECTIONAL) {
          toLight = -L.Direction;
        } else {
          toLight = L.Position - wp;
          float d = D3DXVec3Length(&toLight);
          if (L.Range > 0 && d > L.Range) continue;
          float den = L.Attenuation0 + L.Attenuation1 * d + L.Attenuation2 * d * d;
          att = den > 0 ? 1.0f / den : 1.0f;
        }
        float tl = D3DXVec3Length(&toLight);
        float ndl = 0;
        if (hasNormal && tl > 0) ndl = std::max(0.0f, D3DXVec3Dot(&wn, &toLight) / tl);
        c.r += att * (L.Ambient.r * ma.r + L.Diffuse.r * md.r * ndl);
        c.g += att * (L.Ambient.g * ma.g + L.Diffuse.g * md.g * ndl);
        c.b += att * (L.Ambient.b * ma.b + L.Diffuse.b * md.b * ndl);
      }
    } else {
      c = diffuse;
    }
    out.r = Clamp01(c.r);
    out.g = Clamp01(c.g);
    out.b = Clamp01(c.b);
    out.a = Clamp01(c.a);

    float uv[2][2] = {{0, 0}, {0, 0}};
    for (int s = 0; s < 2; ++s) {
      const int set = texSet_[s];
      if (set < l_.texCount) {
        const uint8_t* t = v + l_.texOffset[set];
        uv[s][0] = ReadF(t);
        uv[s][1] = l_.texDims[set] >= 2 ? ReadF(t + 4) : 0.0f;
      }
      if (texXform_[s]) {
        const D3DMATRIX& m = st_.textureTransform[s];
        float u = uv[s][0], vv = uv[s][1];
        uv[s][0] = u * m._11 + vv * m._21 + m._31;
        uv[s][1] = u * m._12 + vv * m._22 + m._32;
      }
    }
    out.u0 = uv[0][0];
    out.v0 = uv[0][1];
    out.u1 = uv[1][0];
    out.v1 = uv[1][1];
    return out;
  }

 private:
  const PipelineState& st_;
  const FvfLayout& l_;
  D3DMATRIX viewProj_;
  int matrices_ = 0;
  bool indexed_ = false;
  bool lighting_ = true;
  bool colorVertex_ = false;
  Vec4 ambient_;
  int texSet_[2] = {0, 1};
  bool texXform_[2] = {false, false};
};

// --- texture sampling ---------------------------------------------------------------------------

inline int Address(int i, int n, DWORD mode) {
  switch (mode) {
    case D3DTADDRESS_CLAMP:
    case D3DTADDRESS_BORDER: return i < 0 ? 0 : (i >= n ? n - 1 : i);
    case D3DTADDRESS_MIRROR: {
      int p = i % (2 * n);
      if (p < 0) p += 2 * n;
      return p < n ? p : 2 * n - 1 - p;
    }
    case D3DTADDRESS_MIRRORONCE: {
      int a = i < 0 ? -i - 1 : i;
      return a >= n ? n - 1 : a;
    }
    default: {
      if ((n & (n - 1)) == 0) return i & (n - 1);  // power-of-two sizes wrap without a division
      int p = i % n;
      return p < 0 ? p + n : p;
    }
  }
}

inline Vec4 Texel(const Texture* t, int x, int y) {
  DWORD c = t->Texels()[size_t(y) * t->Width() + x];
  Vec4 v = ColorOf(c);
  if (!t->HasAlpha()) v.a = 1.0f;
  return v;
}

Vec4 Sample(const Texture* t, float u, float v, DWORD addrU, DWORD addrV, bool linear) {
  const int w = int(t->Width()), h = int(t->Height());
  if (!std::isfinite(u) || !std::isfinite(v)) return Texel(t, 0, 0);
  // Keep coordinates in a range where the integer conversion is exact.
  if (std::fabs(u) > 4096.0f) u = std::fmod(u, 4096.0f);
  if (std::fabs(v) > 4096.0f) v = std::fmod(v, 4096.0f);
  if (!linear) {
    int x = Address(int(std::floor(u * w)), w, addrU);
    int y = Address(int(std::floor(v * h)), h, addrV);
    return Texel(t, x, y);
  }
  float fu = u * w - 0.5f, fv = v * h - 0.5f;
  float x0f = std::floor(fu), y0f = std::floor(fv);
  float ax = fu - x0f, ay = fv - y0f;
  int x0 = Address(int(x0f), w, addrU), x1 = Address(int(x0f) + 1, w, addrU);
  int y0 = Address(int(y0f), h, addrV), y1 = Address(int(y0f) + 1, h, addrV);
  Vec4 a = Texel(t, x0, y0), b = Texel(t, x1, y0), c = Texel(t, x0, y1), d = Texel(t, x1, y1);
  auto mix = [&](float p, float q, float r, float s) {
    return (p * (1 - ax) + q * ax) * (1 - ay) + (r * (1 - ax) + s * ax) * ay;
  };
  return {mix(a.r, b.r, c.r, d.r), mix(a.g, b.g, c.g, d.g), mix(a.b, b.b, c.b, d.b), mix(a.a, b.a, c.a, d.a)};
}

// --- pixel processing ---------------------------------------------------------------------------

class PixelProcessor {
 public:
  explicit PixelProcessor(const PipelineState& st) : st_(st) {
    const DWORD* rs = st.rs;
    zTest_ = rs[D3DRS_ZENABLE] != D3DZB_FALSE;
    zWrite_ = rs[D3DRS_ZWRITEENABLE] != 0;
    zFunc_ = rs[D3DRS_ZFUNC];
    alphaTest_ = rs[D3DRS_ALPHATESTENABLE] != 0;
    alphaFunc_ = rs[D3DRS_ALPHAFUNC];
    alphaRef_ = (rs[D3DRS_ALPHAREF] & 0xFF) / 255.0f;
    blend_ = rs[D3DRS_ALPHABLENDENABLE] != 0;
    src_ = rs[D3DRS_SRCBLEND];
    dst_ = rs[D3DRS_DESTBLEND];
    if (src_ == D3DBLEND_BOTHSRCALPHA) src_ = D3DBLEND_SRCALPHA, dst_ = D3DBLEND_INVSRCALPHA;
    if (src_ == D3DBLEND_BOTHINVSRCALPHA) src_ = D3DBLEND_INVSRCALPHA, dst_ = D3DBLEND_SRCALPHA;
    blendOp_ = rs[D3DRS_BLENDOP];
    tfactor_ = ColorOf(rs[D3DRS_TEXTUREFACTOR]);
    writeMask_ = rs[D3DRS_COLORWRITEENABLE];
    stages_ = 0;
    // A stage without a texture whose operation reads the texture passes the current value on,
    // so untextured geometry keeps its vertex or material colour and alpha.
    auto readsTexture = [](DWORD o, DWORD x, DWORD y) {
      return o != D3DTOP_DISABLE &&
             ((o != D3DTOP_SELECTARG2 && (x & D3DTA_SELECTMASK) == D3DTA_TEXTURE) ||
              (o != D3DTOP_SELECTARG1 && (y & D3DTA_SELECTMASK) == D3DTA_TEXTURE));
    };
    for (int s = 0; s < 2; ++s) {
      const DWORD* ss = st.tss[s];
      if (ss[D3DTSS_COLOROP] == D3DTOP_DISABLE) break;
      stages_ = s + 1;
      linear_[s] = ss[D3DTSS_MAGFILTER] >= D3DTEXF_LINEAR;
      const bool noTexture = st.textures[s] == nullptr;
      colorPass_[s] = noTexture && readsTexture(ss[D3DTSS_COLOROP], ss[D3DTSS_COLORARG1], ss[D3DTSS_COLORARG2]);
      alphaPass_[s] = noTexture && readsTexture(ss[D3DTSS_ALPHAOP], ss[D3DTSS_ALPHAARG1], ss[D3DTSS_ALPHAARG2]);
    }
  }

  static bool Compare(DWORD func, float a, float b) {
    switch (func) {
      case D3DCMP_NEVER: return false;
      case D3DCMP_LESS: return a < b;
      case D3DCMP_EQUAL: return a == b;
      case D3DCMP_LESSEQUAL: return a <= b;
      case D3DCMP_GREATER: return a > b;
      case D3DCMP_NOTEQUAL: return a != b;
      case D3DCMP_GREATEREQUAL: return a >= b;
      default: return true;
    }
  }

  // Interpolated attributes the shading reads: the colour (4), then two per textured stage.
  int AttributesUsed() const {
    int n = 4;
    for (int s = 0; s < stages_; ++s)
      if (st_.textures[s]) n = 6 + 2 * s;
    return n;
  }

  // Depth test only (early), true when the fragment survives.
  bool DepthPasses(size_t i, float z) const { return !zTest_ || Compare(zFunc_, z, st_.depth[i]); }

  // One texture-stage operation on one component.
  [[gnu::always_inline]] static inline float Op(DWORD o, float a, float b, float da, float ta, float fa, float cur) {
    switch (o) {
      case D3DTOP_SELECTARG1: return a;
      case D3DTOP_SELECTARG2: return b;
      case D3DTOP_MODULATE: return a * b;
      case D3DTOP_MODULATE2X: return Clamp01(2 * a * b);
      case D3DTOP_MODULATE4X: return Clamp01(4 * a * b);
      case D3DTOP_ADD: return Clamp01(a + b);
      case D3DTOP_ADDSIGNED: return Clamp01(a + b - 0.5f);
      case D3DTOP_ADDSIGNED2X: return Clamp01(2 * (a + b - 0.5f));
      case D3DTOP_SUBTRACT: return Clamp01(a - b);
      case D3DTOP_ADDSMOOTH: return Clamp01(a + b - a * b);
      case D3DTOP_BLENDDIFFUSEALPHA: return a * da + b * (1 - da);
      case D3DTOP_BLENDTEXTUREALPHA: return a * ta + b * (1 - ta);
      case D3DTOP_BLENDFACTORALPHA: return a * fa + b * (1 - fa);
      case D3DTOP_DISABLE: return cur;
      default: return a * b;
    }
  }
  // The same operation on red, green and blue, with the common ones decided once.
  [[gnu::always_inline]] static inline void Combine3(DWORD o, const Vec4& a, const Vec4& b, float da, float ta,
                                                     float fa, const Vec4& cur, Vec4* out) {
    switch (o) {
      case D3DTOP_SELECTARG1: out->r = a.r, out->g = a.g, out->b = a.b; return;
      case D3DTOP_SELECTARG2: out->r = b.r, out->g = b.g, out->b = b.b; return;
      case D3DTOP_MODULATE: out->r = a.r * b.r, out->g = a.g * b.g, out->b = a.b * b.b; return;
      default:
        out->r = Op(o, a.r, b.r, da, ta, fa, cur.r);
        out->g = Op(o, a.g, b.g, da, ta, fa, cur.g);
        out->b = Op(o, a.b, b.b, da, ta, fa, cur.b);
    }
  }

  void Shade(size_t i, float z, const float* attr) const {
    Vec4 diffuse{attr[0], attr[1], attr[2], attr[3]};
    Vec4 cur = diffuse;
    for (int s = 0; s < stages_; ++s) {
      const Texture* t = st_.textures[s];
      Vec4 tex = cur;
      if (t)
        tex = Sample(t, attr[4 + 2 * s], attr[5 + 2 * s], st_.tss[s][D3DTSS_ADDRESSU], st_.tss[s][D3DTSS_ADDRESSV],
                     linear_[s]);
      const DWORD* ss = st_.tss[s];
      Vec4 out;
      auto arg = [&](DWORD code, bool alpha) -> Vec4 {
        Vec4 v;
        switch (code & D3DTA_SELECTMASK) {
          case D3DTA_DIFFUSE: v = diffuse; break;
          case D3DTA_CURRENT: v = cur; break;
          case D3DTA_TEXTURE: v = tex; break;
          case D3DTA_TFACTOR: v = tfactor_; break;
          default: v = {0, 0, 0, 0}; break;
        }
        if (code & D3DTA_COMPLEMENT) v = {1 - v.r, 1 - v.g, 1 - v.b, 1 - v.a};
        if ((code & D3DTA_ALPHAREPLICATE) && !alpha) v = {v.a, v.a, v.a, v.a};
        return v;
      };
      if (colorPass_[s]) {
        out.r = cur.r, out.g = cur.g, out.b = cur.b;
      } else {
        Vec4 c1 = arg(ss[D3DTSS_COLORARG1], false), c2 = arg(ss[D3DTSS_COLORARG2], false);
        Combine3(ss[D3DTSS_COLOROP], c1, c2, diffuse.a, tex.a, tfactor_.a, cur, &out);
      }
      if (alphaPass_[s]) {
        out.a = cur.a;
      } else {
        Vec4 a1 = arg(ss[D3DTSS_ALPHAARG1], true), a2 = arg(ss[D3DTSS_ALPHAARG2], true);
        out.a = Op(ss[D3DTSS_ALPHAOP], a1.a, a2.a, diffuse.a, tex.a, tfactor_.a, cur.a);
      }
      cur = out;
    }
    if (alphaTest_ && !Compare(alphaFunc_, cur.a, alphaRef_)) return;

    uint8_t* px = st_.color + i * 4;
    Vec4 res = cur;
    if (blend_) {
      Vec4 d{px[0] * kInv255, px[1] * kInv255, px[2] * kInv255, px[3] * kInv255};
      Vec4 fs = Factor(src_, cur, d), fd = Factor(dst_, cur, d);
      res.r = Combine(cur.r * fs.r, d.r * fd.r, cur.r, d.r);
      res.g = Combine(cur.g * fs.g, d.g * fd.g, cur.g, d.g);
      res.b = Combine(cur.b * fs.b, d.b * fd.b, cur.b, d.b);
      res.a = Combine(cur.a * fs.a, d.a * fd.a, cur.a, d.a);
    }
    if (writeMask_ & 1) px[0] = uint8_t(Clamp01(res.r) * 255.0f + 0.5f);
    if (writeMask_ & 2) px[1] = uint8_t(Clamp01(res.g) * 255.0f + 0.5f);
    if (writeMask_ & 4) px[2] = uint8_t(Clamp01(res.b) * 255.0f + 0.5f);
    if (writeMask_ & 8) px[3] = uint8_t(Clamp01(res.a) * 255.0f + 0.5f);
    if (zTest_ && zWrite_) st_.depth[i] = z;
  }

 private:
  static Vec4 Factor(DWORD f, const Vec4& s, const Vec4& d) {
    switch (f) {
      case D3DBLEND_ZERO: return {0, 0, 0, 0};
      case D3DBLEND_ONE: return {1, 1, 1, 1};
      case D3DBLEND_SRCCOLOR: return s;
      case D3DBLEND_INVSRCCOLOR: return {1 - s.r, 1 - s.g, 1 - s.b, 1 - s.a};
      case D3DBLEND_SRCALPHA: return {s.a, s.a, s.a, s.a};
      case D3DBLEND_INVSRCALPHA: return {1 - s.a, 1 - s.a, 1 - s.a, 1 - s.a};
      case D3DBLEND_DESTALPHA: return {d.a, d.a, d.a, d.a};
      case D3DBLEND_INVDESTALPHA: return {1 - d.a, 1 - d.a, 1 - d.a, 1 - d.a};
      case D3DBLEND_DESTCOLOR: return d;
      case D3DBLEND_INVDESTCOLOR: return {1 - d.r, 1 - d.g, 1 - d.b, 1 - d.a};
      case D3DBLEND_SRCALPHASAT: {
        float f2 = std::min(s.a, 1 - d.a);
        return {f2, f2, f2, 1};
      }
      default: return {1, 1, 1, 1};
    }
  }
  float Combine(float s, float d, float sRaw, float dRaw) const {
    switch (blendOp_) {
      case D3DBLENDOP_SUBTRACT: return s - d;
      case D3DBLENDOP_REVSUBTRACT: return d - s;
      case D3DBLENDOP_MIN: return std::min(sRaw, dRaw);
      case D3DBLENDOP_MAX: return std::max(sRaw, dRaw);
      default: return s + d;
    }
  }

  const PipelineState& st_;
  bool zTest_, zWrite_;
  DWORD zFunc_;
  bool alphaTest_;
  DWORD alphaFunc_;
  float alphaRef_;
  bool blend_;
  DWORD src_, dst_, blendOp_;
  Vec4 tfactor_;
  DWORD writeMask_;
  int stages_ = 0;
  bool linear_[2] = {false, false};
  bool colorPass_[2] = {false, false};
  bool alphaPass_[2] = {false, false};
};

// --- clipping -----------------------------------------------------------------------------------

// Signed distance to clip plane k (inside >= 0): near z >= 0, w > epsilon, and a guard band of
// twice the viewport on each side so that screen coordinates stay small.
inline float PlaneDist(const PVertex& v, int k) {
  constexpr float kGuard = 2.0f;
  switch (k) {
    case 0: return v.z;
    case 1: return v.w - 1e-5f;
    case 2: return kGuard * v.w + v.x;
    case 3: return kGuard * v.w - v.x;
    case 4: return kGuard * v.w + v.y;
    default: return kGuard * v.w - v.y;
  }
}
constexpr int kPlanes = 6;

PVertex Lerp(const PVertex& a, const PVertex& b, float t) {
  PVertex r;
  const float* pa = &a.x;
  const float* pb = &b.x;
  float* pr = &r.x;
  for (int i = 0; i < 4 + kAttrs; ++i) pr[i] = pa[i] + (pb[i] - pa[i]) * t;
  return r;
}

// Clips a convex polygon in place; returns the new vertex count.
int ClipPolygon(PVertex* poly, int n, PVertex* scratch) {
  for (int k = 0; k < kPlanes; ++k) {
    bool allIn = true;
    for (int i = 0; i < n; ++i)
      if (PlaneDist(poly[i], k) < 0) {
        allIn = false;
        break;
      }
    if (allIn) continue;
    int m = 0;
    for (int i = 0; i < n; ++i) {
      const PVertex& a = poly[i];
      const PVertex& b = poly[(i + 1) % n];
      float da = PlaneDist(a, k), db = PlaneDist(b, k);
      if (da >= 0) scratch[m++] = a;
      if ((da >= 0) != (db >= 0)) scratch[m++] = Lerp(a, b, da / (da - db));
    }
    n = m;
    std::copy(scratch, scratch + n, poly);
    if (n < 3) return 0;
  }
  return n;
}

// A vertex in screen space: pixel coordinates, depth, 1/w and attributes divided by w.
struct SVertex {
  float x, y, z, iw;
  float a[kAttrs];
};

SVertex ToScreen(const PVertex& v, const D3DVIEWPORT8& vp) {
  SVertex s;
  s.iw = 1.0f / v.w;
  s.x = vp.X + (v.x * s.iw + 1.0f) * 0.5f * vp.Width;
  s.y = vp.Y + (1.0f - v.y * s.iw) * 0.5f * vp.Height;
  s.z = vp.MinZ + v.z * s.iw * (vp.MaxZ - vp.MinZ);
  const float* a = Attr(v);
  for (int i = 0; i < kAttrs; ++i) s.a[i] = a[i] * s.iw;
  return s;
}

class Rasterizer {
 public:
  Rasterizer(const PipelineState& st) : st_(st), px_(st) {
    const D3DVIEWPORT8& vp = st.viewport;
    x0_ = int(vp.X);
    y0_ = int(vp.Y);
    x1_ = std::min(int(vp.X + vp.Width), st.width);
    y1_ = std::min(int(vp.Y + vp.Height), st.height);
    cull_ = st.rs[D3DRS_CULLMODE];
    nAttr_ = px_.AttributesUsed();
    flat_ = st.rs[D3DRS_SHADEMODE] == D3DSHADE_FLAT;
  }

  static bool Finite(const PVertex& v) {
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z) && std::isfinite(v.w);
  }

  void Triangle(PVertex a, PVertex b, PVertex c) {
    if (!Finite(a) || !Finite(b) || !Finite(c)) return;
    if (flat_) {
      for (PVertex* v : {&b, &c}) {
        v->r = a.r, v->g = a.g, v->b = a.b, v->a = a.a;
      }
    }
    PVertex poly[16], scratch[16];
    poly[0] = a, poly[1] = b, poly[2] = c;
    int n = ClipPolygon(poly, 3, scratch);
    if (n < 3) return;
    SVertex s[16];
    for (int i = 0; i < n; ++i) s[i] = ToScreen(poly[i], st_.viewport);
    // Orientation decided once for the whole (planar) polygon.
    float area = 0;
    for (int i = 1; i + 1 < n; ++i) area += Edge(s[0], s[i], s[i + 1].x, s[i + 1].y);
    if (area == 0) return;
    if (cull_ == D3DCULL_CCW && area < 0) return;
    if (cull_ == D3DCULL_CW && area > 0) return;
    for (int i = 1; i + 1 < n; ++i) Fill(s[0], s[i], s[i + 1]);
  }

  void Line(PVertex a, PVertex b) {
    if (!Finite(a) || !Finite(b)) return;
    // Clip the segment against the same planes.
    float t0 = 0, t1 = 1;
    for (int k = 0; k < kPlanes; ++k) {
      float da = PlaneDist(a, k), db = PlaneDist(b, k);
      if (da < 0 && db < 0) return;
      if (da < 0) t0 = std::max(t0, da / (da - db));
      else if (db < 0) t1 = std::min(t1, da / (da - db));
    }
    if (t0 > t1) return;
    PVertex ca = Lerp(a, b, t0), cb = Lerp(a, b, t1);
    SVertex s0 = ToScreen(ca, st_.viewport), s1 = ToScreen(cb, st_.viewport);
    float dx = s1.x - s0.x, dy = s1.y - s0.y;
    int steps = int(std::ceil(std::max(std::fabs(dx), std::fabs(dy))));
    if (steps < 1) steps = 1;
    float attr[kAttrs] = {};
    for (int i = 0; i <= steps; ++i) {
      float t = float(i) / float(steps);
      int x = int(std::floor(s0.x + dx * t)), y = int(std::floor(s0.y + dy * t));
      if (x < x0_ || x >= x1_ || y < y0_ || y >= y1_) continue;
      float iw = s0.iw + (s1.iw - s0.iw) * t;
      float z = s0.z + (s1.z - s0.z) * t;
      if (z < 0 || z > 1) continue;
      size_t idx = size_t(y) * st_.width + x;
      if (!px_.DepthPasses(idx, z)) continue;
      for (int k = 0; k < nAttr_; ++k) attr[k] = (s0.a[k] + (s1.a[k] - s0.a[k]) * t) / iw;
      px_.Shade(idx, z, attr);
    }
  }

  void Point(const PVertex& a) {
    if (!Finite(a) || a.w <= 1e-5f || a.z < 0) return;
    SVertex s = ToScreen(a, st_.viewport);
    int x = int(std::floor(s.x)), y = int(std::floor(s.y));
    if (x < x0_ || x >= x1_ || y < y0_ || y >= y1_ || s.z > 1) return;
    size_t idx = size_t(y) * st_.width + x;
    if (!px_.DepthPasses(idx, s.z)) return;
    px_.Shade(idx, s.z, Attr(a));
  }

 private:
  static float Edge(const SVertex& a, const SVertex& b, float px, float py) {
    return (b.x - a.x) * (py - a.y) - (b.y - a.y) * (px - a.x);
  }
  // Top-left rule for a positively oriented triangle: pixels exactly on an edge belong to it only
  // when the edge is a top or left edge.
  static bool Owns(float dx, float dy) { return dy < 0 || (dy == 0 && dx > 0); }

  void Fill(SVertex v0, SVertex v1, SVertex v2) {
    float area = Edge(v0, v1, v2.x, v2.y);
    if (area == 0) return;
    if (area < 0) {
      std::swap(v1, v2);
      area = -area;
    }
    const float inv = 1.0f / area;
    int minX = std::max(x0_, int(std::floor(std::min({v0.x, v1.x, v2.x}))));
    int maxX = std::min(x1_ - 1, int(std::ceil(std::max({v0.x, v1.x, v2.x}))));
    int minY = std::max(y0_, int(std::floor(std::min({v0.y, v1.y, v2.y}))));
    int maxY = std::min(y1_ - 1, int(std::ceil(std::max({v0.y, v1.y, v2.y}))));
    if (minX > maxX || minY > maxY) return;
    // Edge e_k is opposite vertex k.
    const SVertex* V[3] = {&v0, &v1, &v2};
    float A[3], B[3];
    bool own[3];
    for (int k = 0; k < 3; ++k) {
      const SVertex& a = *V[(k + 1) % 3];
      const SVertex& b = *V[(k + 2) % 3];
      // Edge(a, b, p) = (b.x-a.x)(p.y-a.y) - (b.y-a.y)(p.x-a.x) = A*p.x + B*p.y + C
      A[k] = -(b.y - a.y);
      B[k] = (b.x - a.x);
      own[k] = Owns(b.x - a.x, b.y - a.y);
    }
    float attr[kAttrs] = {};
    const float fx = minX + 0.5f;
    for (int y = minY; y <= maxY; ++y) {
      const float py = y + 0.5f;
      float w[3];
      for (int k = 0; k < 3; ++k) w[k] = Edge(*V[(k + 1) % 3], *V[(k + 2) % 3], fx, py);
      size_t row = size_t(y) * st_.width;
      for (int x = minX; x <= maxX; ++x, w[0] += A[0], w[1] += A[1], w[2] += A[2]) {
        bool in = true;
        for (int k = 0; k < 3; ++k)
          if (w[k] < 0 || (w[k] == 0 && !own[k])) {
            in = false;
            break;
          }
        if (!in) continue;
        const float b0 = w[0] * inv, b1 = w[1] * inv, b2 = w[2] * inv;
        const float z = b0 * v0.z + b1 * v1.z + b2 * v2.z;
        if (z < 0 || z > 1) continue;
        const size_t idx = row + x;
        if (!px_.DepthPasses(idx, z)) continue;
        const float iw = b0 * v0.iw + b1 * v1.iw + b2 * v2.iw;
        const float rw = 1.0f / iw;
        for (int k = 0; k < nAttr_; ++k) attr[k] = (b0 * v0.a[k] + b1 * v1.a[k] + b2 * v2.a[k]) * rw;
        px_.Shade(idx, z, attr);
      }
    }
    (void)B;
  }

  const PipelineState& st_;
  PixelProcessor px_;
  int x0_, y0_, x1_, y1_;
  DWORD cull_;
  bool flat_;
  int nAttr_ = kAttrs;  // attributes the pixel stage reads (colour, then texture sets)
};

}  // namespace

void RunPipeline(const PipelineState& st, const FvfLayout& layout, D3DPRIMITIVETYPE type, UINT count,
                 const uint8_t* vertices, UINT vertexCount, UINT stride, const void* indices, bool index32) {
  VertexProcessor vp(st, layout);
  // Vertices are processed once each, on first use.
  std::vector<PVertex> processed(vertexCount);
  std::vector<uint8_t> done(vertexCount, 0);
  auto fetch = [&](UINT k) -> UINT {
    UINT v = k;
    if (indices) {
      if (index32) std::memcpy(&v, static_cast<const uint8_t*>(indices) + size_t(k) * 4, 4);
      else {
        uint16_t s;
        std::memcpy(&s, static_cast<const uint8_t*>(indices) + size_t(k) * 2, 2);
        v = s;
      }
    }
    if (!done[v]) {
      processed[v] = vp.Process(vertices + size_t(v) * stride);
      done[v] = 1;
    }
    return v;
  };
  Rasterizer r(st);
  for (UINT p = 0; p < count; ++p) {
    switch (type) {
      case D3DPT_POINTLIST: r.Point(processed[fetch(p)]); break;
      case D3DPT_LINELIST: {
        UINT a = fetch(2 * p), b = fetch(2 * p + 1);
        r.Line(processed[a], processed[b]);
        break;
      }
      case D3DPT_LINESTRIP: {
        UINT a = fetch(p), b = fetch(p + 1);
        r.Line(processed[a], processed[b]);
        break;
      }
      case D3DPT_TRIANGLELIST: {
        UINT a = fetch(3 * p), b = fetch(3 * p + 1), c = fetch(3 * p + 2);
        r.Triangle(processed[a], processed[b], processed[c]);
        break;
      }
      case D3DPT_TRIANGLESTRIP: {
        UINT a = fetch(p), b = fetch(p + 1), c = fetch(p + 2);
        if (p & 1) std::swap(a, b);
        r.Triangle(processed[a], processed[b], processed[c]);
        break;
      }
      case D3DPT_TRIANGLEFAN: {
        UINT a = fetch(0), b = fetch(p + 1), c = fetch(p + 2);
        r.Triangle(processed[a], processed[b], processed[c]);
        break;
      }
    }
  }
}

}  // namespace corvane::detail
