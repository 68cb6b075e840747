// The Direct3D 8 device layer as the channels use it: the device interface, its buffers and
// textures, and the types, states and flags they name. The numeric values are those of Direct3D 8,
// so values stored in project files and compared in tests keep their meaning. Only what the
// channels call is declared; SoftwareDevice (corvane/software_device.h) implements it.
//
// Conventions: matrices are row-major with row vectors (D3DMATRIX is the math layer's D3DXMATRIX);
// methods return D3D_OK or an error code and never throw; objects handed out by the device carry a
// reference count that starts at 1 (AddRef/Release, the last Release frees the object). A getter
// that hands out an object (GetTexture, GetStreamSource, GetIndices) adds a reference the caller
// releases.
#pragma once

#include <cstdint>

#include "corvane/d3dx_math.h"
#include "corvane/win_types.h"

// --- result codes ---------------------------------------------------------------------------------
#define CORVANE_MAKE_D3DHRESULT(code) static_cast<HRESULT>(0x88760000u | static_cast<uint32_t>(code))
inline constexpr HRESULT D3D_OK = 0;
inline constexpr HRESULT D3DERR_WRONGTEXTUREFORMAT = CORVANE_MAKE_D3DHRESULT(2072);
inline constexpr HRESULT D3DERR_UNSUPPORTEDCOLOROPERATION = CORVANE_MAKE_D3DHRESULT(2073);
inline constexpr HRESULT D3DERR_UNSUPPORTEDALPHAOPERATION = CORVANE_MAKE_D3DHRESULT(2074);
inline constexpr HRESULT D3DERR_TOOMANYOPERATIONS = CORVANE_MAKE_D3DHRESULT(2077);
inline constexpr HRESULT D3DERR_CONFLICTINGRENDERSTATE = CORVANE_MAKE_D3DHRESULT(2081);
inline constexpr HRESULT D3DERR_NOTFOUND = CORVANE_MAKE_D3DHRESULT(2150);
inline constexpr HRESULT D3DERR_MOREDATA = CORVANE_MAKE_D3DHRESULT(2151);
inline constexpr HRESULT D3DERR_DEVICELOST = CORVANE_MAKE_D3DHRESULT(2152);
inline constexpr HRESULT D3DERR_DEVICENOTRESET = CORVANE_MAKE_D3DHRESULT(2153);
inline constexpr HRESULT D3DERR_NOTAVAILABLE = CORVANE_MAKE_D3DHRESULT(2154);
inline constexpr HRESULT D3DERR_OUTOFVIDEOMEMORY = CORVANE_MAKE_D3DHRESULT(380);
inline constexpr HRESULT D3DERR_INVALIDDEVICE = CORVANE_MAKE_D3DHRESULT(2155);
inline constexpr HRESULT D3DERR_INVALIDCALL = CORVANE_MAKE_D3DHRESULT(2156);
inline constexpr HRESULT D3DERR_DRIVERINVALIDCALL = CORVANE_MAKE_D3DHRESULT(2157);

// --- colours --------------------------------------------------------------------------------------
using D3DCOLOR = DWORD;  // 0xAARRGGBB

constexpr D3DCOLOR D3DCOLOR_ARGB(DWORD a, DWORD r, DWORD g, DWORD b) {
  return ((a & 0xFF) << 24) | ((r & 0xFF) << 16) | ((g & 0xFF) << 8) | (b & 0xFF);
}
constexpr D3DCOLOR D3DCOLOR_RGBA(DWORD r, DWORD g, DWORD b, DWORD a) { return D3DCOLOR_ARGB(a, r, g, b); }
constexpr D3DCOLOR D3DCOLOR_XRGB(DWORD r, DWORD g, DWORD b) { return D3DCOLOR_ARGB(0xFF, r, g, b); }
// Components 0..1, clamped, scaled to 0..255 and truncated.
constexpr D3DCOLOR D3DCOLOR_COLORVALUE(float r, float g, float b, float a) {
  auto c = [](float v) -> DWORD { return static_cast<DWORD>((v < 0 ? 0 : v > 1 ? 1 : v) * 255.0f); };
  return D3DCOLOR_ARGB(c(a), c(r), c(g), c(b));
}

struct D3DCOLORVALUE {
  float r, g, b, a;
};

struct D3DRECT {
  int32_t x1, y1, x2, y2;
};

// --- transforms -----------------------------------------------------------------------------------
enum D3DTRANSFORMSTATETYPE : uint32_t {
  D3DTS_VIEW = 2,
  D3DTS_PROJECTION = 3,
  D3DTS_TEXTURE0 = 16,
  D3DTS_TEXTURE1 = 17,
  D3DTS_TEXTURE2 = 18,
  D3DTS_TEXTURE3 = 19,
  D3DTS_TEXTURE4 = 20,
  D3DTS_TEXTURE5 = 21,
  D3DTS_TEXTURE6 = 22,
  D3DTS_TEXTURE7 = 23,
  D3DTS_WORLD = 256,
  D3DTS_WORLD1 = 257,
  D3DTS_WORLD2 = 258,
  D3DTS_WORLD3 = 259,
};
// World matrix n of the blend palette (0 is D3DTS_WORLD); n is 0..255.
constexpr D3DTRANSFORMSTATETYPE D3DTS_WORLDMATRIX(uint32_t n) {
  return static_cast<D3DTRANSFORMSTATETYPE>(256u + n);
}

// --- render states --------------------------------------------------------------------------------
enum D3DRENDERSTATETYPE : uint32_t {
  D3DRS_ZENABLE = 7,
  D3DRS_FILLMODE = 8,
  D3DRS_SHADEMODE = 9,
  D3DRS_LINEPATTERN = 10,
  D3DRS_ZWRITEENABLE = 14,
  D3DRS_ALPHATESTENABLE = 15,
  D3DRS_LASTPIXEL = 16,
  D3DRS_SRCBLEND = 19,
  D3DRS_DESTBLEND = 20,
  D3DRS_CULLMODE = 22,
  D3DRS_ZFUNC = 23,
  D3DRS_ALPHAREF = 24,
  D3DRS_ALPHAFUNC = 25,
  D3DRS_DITHERENABLE = 26,
  D3DRS_ALPHABLENDENABLE = 27,
  D3DRS_FOGENABLE = 28,
  D3DRS_SPECULARENABLE = 29,
  D3DRS_ZVISIBLE = 30,
  D3DRS_FOGCOLOR = 34,
  D3DRS_FOGTABLEMODE = 35,
  D3DRS_FOGSTART = 36,
  D3DRS_FOGEND = 37,
  D3DRS_FOGDENSITY = 38,
  D3DRS_EDGEANTIALIAS = 40,
  D3DRS_ZBIAS = 47,
  D3DRS_RANGEFOGENABLE = 48,
  D3DRS_STENCILENABLE = 52,
  D3DRS_STENCILFAIL = 53,
  D3DRS_STENCILZFAIL = 54,
  D3DRS_STENCILPASS = 55,
  D3DRS_STENCILFUNC = 56,
  D3DRS_STENCILREF = 57,
  D3DRS_STENCILMASK = 58,
  D3DRS_STENCILWRITEMASK = 59,
  D3DRS_TEXTUREFACTOR = 60,
  D3DRS_WRAP0 = 128,
  D3DRS_WRAP1 = 129,
  D3DRS_WRAP2 = 130,
  D3DRS_WRAP3 = 131,
  D3DRS_CLIPPING = 136,
  D3DRS_LIGHTING = 137,
  D3DRS_AMBIENT = 139,
  D3DRS_FOGVERTEXMODE = 140,
  D3DRS_COLORVERTEX = 141,
  D3DRS_LOCALVIEWER = 142,
  D3DRS_NORMALIZENORMALS = 143,
  D3DRS_DIFFUSEMATERIALSOURCE = 145,
  D3DRS_SPECULARMATERIALSOURCE = 146,
  D3DRS_AMBIENTMATERIALSOURCE = 147,
  D3DRS_EMISSIVEMATERIALSOURCE = 148,
  D3DRS_VERTEXBLEND = 151,
  D3DRS_CLIPPLANEENABLE = 152,
  D3DRS_SOFTWAREVERTEXPROCESSING = 153,
  D3DRS_POINTSIZE = 154,
  D3DRS_POINTSIZE_MIN = 155,
  D3DRS_POINTSPRITEENABLE = 156,
  D3DRS_POINTSCALEENABLE = 157,
  D3DRS_MULTISAMPLEANTIALIAS = 161,
  D3DRS_MULTISAMPLEMASK = 162,
  D3DRS_POINTSIZE_MAX = 166,
  D3DRS_INDEXEDVERTEXBLENDENABLE = 167,
  D3DRS_COLORWRITEENABLE = 168,
  D3DRS_TWEENFACTOR = 170,
  D3DRS_BLENDOP = 171,
};
// One past the highest render state number the device stores.
inline constexpr uint32_t kD3DRenderStateCount = 256;

enum D3DZBUFFERTYPE : uint32_t { D3DZB_FALSE = 0, D3DZB_TRUE = 1, D3DZB_USEW = 2 };
enum D3DFILLMODE : uint32_t { D3DFILL_POINT = 1, D3DFILL_WIREFRAME = 2, D3DFILL_SOLID = 3 };
enum D3DSHADEMODE : uint32_t { D3DSHADE_FLAT = 1, D3DSHADE_GOURAUD = 2, D3DSHADE_PHONG = 3 };
enum D3DCULL : uint32_t { D3DCULL_NONE = 1, D3DCULL_CW = 2, D3DCULL_CCW = 3 };
enum D3DCMPFUNC : uint32_t {
  D3DCMP_NEVER = 1,
  D3DCMP_LESS = 2,
  D3DCMP_EQUAL = 3,
  D3DCMP_LESSEQUAL = 4,
  D3DCMP_GREATER = 5,
  D3DCMP_NOTEQUAL = 6,
  D3DCMP_GREATEREQUAL = 7,
  D3DCMP_ALWAYS = 8,
};
enum D3DBLEND : uint32_t {
  D3DBLEND_ZERO = 1,
  D3DBLEND_ONE = 2,
  D3DBLEND_SRCCOLOR = 3,
  D3DBLEND_INVSRCCOLOR = 4,
  D3DBLEND_SRCALPHA = 5,
  D3DBLEND_INVSRCALPHA = 6,
  D3DBLEND_DESTALPHA = 7,
  D3DBLEND_INVDESTALPHA = 8,
  D3DBLEND_DESTCOLOR = 9,
  D3DBLEND_INVDESTCOLOR = 10,
  D3DBLEND_SRCALPHASAT = 11,
  D3DBLEND_BOTHSRCALPHA = 12,
  D3DBLEND_BOTHINVSRCALPHA = 13,
};
enum D3DBLENDOP : uint32_t {
  D3DBLENDOP_ADD = 1,
  D3DBLENDOP_SUBTRACT = 2,
  D3DBLENDOP_REVSUBTRACT = 3,
  D3DBLENDOP_MIN = 4,
  D3DBLENDOP_MAX = 5,
};
enum D3DVERTEXBLENDFLAGS : uint32_t {
  D3DVBF_DISABLE = 0,
  D3DVBF_1WEIGHTS = 1,
  D3DVBF_2WEIGHTS = 2,
  D3DVBF_3WEIGHTS = 3,
  D3DVBF_TWEENING = 255,
  D3DVBF_0WEIGHTS = 256,
};
enum D3DMATERIALCOLORSOURCE : uint32_t {
  D3DMCS_MATERIAL = 0,
  D3DMCS_COLOR1 = 1,
  D3DMCS_COLOR2 = 2,
};

// --- texture stages -------------------------------------------------------------------------------
enum D3DTEXTURESTAGESTATETYPE : uint32_t {
  D3DTSS_COLOROP = 1,
  D3DTSS_COLORARG1 = 2,
  D3DTSS_COLORARG2 = 3,
  D3DTSS_ALPHAOP = 4,
  D3DTSS_ALPHAARG1 = 5,
  D3DTSS_ALPHAARG2 = 6,
  D3DTSS_BUMPENVMAT00 = 7,
  D3DTSS_BUMPENVMAT01 = 8,
  D3DTSS_BUMPENVMAT10 = 9,
  D3DTSS_BUMPENVMAT11 = 10,
  D3DTSS_TEXCOORDINDEX = 11,
  D3DTSS_ADDRESSU = 13,
  D3DTSS_ADDRESSV = 14,
  D3DTSS_BORDERCOLOR = 15,
  D3DTSS_MAGFILTER = 16,
  D3DTSS_MINFILTER = 17,
  D3DTSS_MIPFILTER = 18,
  D3DTSS_MIPMAPLODBIAS = 19,
  D3DTSS_MAXMIPLEVEL = 20,
  D3DTSS_MAXANISOTROPY = 21,
  D3DTSS_BUMPENVLSCALE = 22,
  D3DTSS_BUMPENVLOFFSET = 23,
  D3DTSS_TEXTURETRANSFORMFLAGS = 24,
  D3DTSS_ADDRESSW = 25,
  D3DTSS_COLORARG0 = 26,
  D3DTSS_ALPHAARG0 = 27,
  D3DTSS_RESULTARG = 28,
};
// Number of texture stages and of stage states (one past the highest) the device stores.
inline constexpr uint32_t kD3DTextureStageCount = 8;
inline constexpr uint32_t kD3DTextureStageStateCount = 32;

enum D3DTEXTUREOP : uint32_t {
  D3DTOP_DISABLE = 1,
  D3DTOP_SELECTARG1 = 2,
  D3DTOP_SELECTARG2 = 3,
  D3DTOP_MODULATE = 4,
  D3DTOP_MODULATE2X = 5,
  D3DTOP_MODULATE4X = 6,
  D3DTOP_ADD = 7,
  D3DTOP_ADDSIGNED = 8,
  D3DTOP_ADDSIGNED2X = 9,
  D3DTOP_SUBTRACT = 10,
  D3DTOP_ADDSMOOTH = 11,
  D3DTOP_BLENDDIFFUSEALPHA = 12,
  D3DTOP_BLENDTEXTUREALPHA = 13,
  D3DTOP_BLENDFACTORALPHA = 14,
};
// Texture stage arguments (D3DTSS_COLORARGn / ALPHAARGn).
inline constexpr DWORD D3DTA_SELECTMASK = 0x0000000F;
inline constexpr DWORD D3DTA_DIFFUSE = 0x00000000;
inline constexpr DWORD D3DTA_CURRENT = 0x00000001;
inline constexpr DWORD D3DTA_TEXTURE = 0x00000002;
inline constexpr DWORD D3DTA_TFACTOR = 0x00000003;
inline constexpr DWORD D3DTA_SPECULAR = 0x00000004;
inline constexpr DWORD D3DTA_TEMP = 0x00000005;
inline constexpr DWORD D3DTA_COMPLEMENT = 0x00000010;
inline constexpr DWORD D3DTA_ALPHAREPLICATE = 0x00000020;

enum D3DTEXTUREADDRESS : uint32_t {
  D3DTADDRESS_WRAP = 1,
  D3DTADDRESS_MIRROR = 2,
  D3DTADDRESS_CLAMP = 3,
  D3DTADDRESS_BORDER = 4,
  D3DTADDRESS_MIRRORONCE = 5,
};
enum D3DTEXTUREFILTERTYPE : uint32_t {
  D3DTEXF_NONE = 0,
  D3DTEXF_POINT = 1,
  D3DTEXF_LINEAR = 2,
  D3DTEXF_ANISOTROPIC = 3,
};
enum D3DTEXTURETRANSFORMFLAGS : uint32_t {
  D3DTTFF_DISABLE = 0,
  D3DTTFF_COUNT1 = 1,
  D3DTTFF_COUNT2 = 2,
  D3DTTFF_COUNT3 = 3,
  D3DTTFF_COUNT4 = 4,
  D3DTTFF_PROJECTED = 256,
};

// --- flexible vertex format -----------------------------------------------------------------------
inline constexpr DWORD D3DFVF_RESERVED0 = 0x001;
inline constexpr DWORD D3DFVF_POSITION_MASK = 0x00E;
inline constexpr DWORD D3DFVF_XYZ = 0x002;
inline constexpr DWORD D3DFVF_XYZRHW = 0x004;
inline constexpr DWORD D3DFVF_XYZB1 = 0x006;
inline constexpr DWORD D3DFVF_XYZB2 = 0x008;
inline constexpr DWORD D3DFVF_XYZB3 = 0x00A;
inline constexpr DWORD D3DFVF_XYZB4 = 0x00C;
inline constexpr DWORD D3DFVF_XYZB5 = 0x00E;
inline constexpr DWORD D3DFVF_NORMAL = 0x010;
inline constexpr DWORD D3DFVF_PSIZE = 0x020;
inline constexpr DWORD D3DFVF_DIFFUSE = 0x040;
inline constexpr DWORD D3DFVF_SPECULAR = 0x080;
inline constexpr DWORD D3DFVF_TEXCOUNT_MASK = 0xF00;
inline constexpr DWORD D3DFVF_TEXCOUNT_SHIFT = 8;
inline constexpr DWORD D3DFVF_TEX0 = 0x000;
inline constexpr DWORD D3DFVF_TEX1 = 0x100;
inline constexpr DWORD D3DFVF_TEX2 = 0x200;
inline constexpr DWORD D3DFVF_TEX3 = 0x300;
inline constexpr DWORD D3DFVF_TEX4 = 0x400;
inline constexpr DWORD D3DFVF_TEX5 = 0x500;
inline constexpr DWORD D3DFVF_TEX6 = 0x600;
inline constexpr DWORD D3DFVF_TEX7 = 0x700;
inline constexpr DWORD D3DFVF_TEX8 = 0x800;
// The last blend "weight" of the position is four bytes of palette indices (indexed blending).
inline constexpr DWORD D3DFVF_LASTBETA_UBYTE4 = 0x1000;

// Bytes one vertex of this format takes (every texture set taken as two floats).
constexpr UINT D3DFVFVertexSize(DWORD fvf) {
  UINT size = 0;
  switch (fvf & D3DFVF_POSITION_MASK) {
    case D3DFVF_XYZ: size = 12; break;
    case D3DFVF_XYZRHW: size = 16; break;
    case D3DFVF_XYZB1: size = 16; break;
    case D3DFVF_XYZB2: size = 20; break;
    case D3DFVF_XYZB3: size = 24; break;
    case D3DFVF_XYZB4: size = 28; break;
    case D3DFVF_XYZB5: size = 32; break;
    default: break;
  }
  if (fvf & D3DFVF_NORMAL) size += 12;
  if (fvf & D3DFVF_PSIZE) size += 4;
  if (fvf & D3DFVF_DIFFUSE) size += 4;
  if (fvf & D3DFVF_SPECULAR) size += 4;
  size += 8 * ((fvf & D3DFVF_TEXCOUNT_MASK) >> D3DFVF_TEXCOUNT_SHIFT);
  return size;
}

// --- primitives, formats, resources ---------------------------------------------------------------
enum D3DPRIMITIVETYPE : uint32_t {
  D3DPT_POINTLIST = 1,
  D3DPT_LINELIST = 2,
  D3DPT_LINESTRIP = 3,
  D3DPT_TRIANGLELIST = 4,
  D3DPT_TRIANGLESTRIP = 5,
  D3DPT_TRIANGLEFAN = 6,
};

enum D3DFORMAT : uint32_t {
  D3DFMT_UNKNOWN = 0,
  D3DFMT_R8G8B8 = 20,
  D3DFMT_A8R8G8B8 = 21,
  D3DFMT_X8R8G8B8 = 22,
  D3DFMT_R5G6B5 = 23,
  D3DFMT_D24S8 = 75,
  D3DFMT_D16 = 80,
  D3DFMT_VERTEXDATA = 100,
  D3DFMT_INDEX16 = 101,
  D3DFMT_INDEX32 = 102,
};

enum D3DPOOL : uint32_t {
  D3DPOOL_DEFAULT = 0,
  D3DPOOL_MANAGED = 1,
  D3DPOOL_SYSTEMMEM = 2,
};

enum D3DRESOURCETYPE : uint32_t {
  D3DRTYPE_SURFACE = 1,
  D3DRTYPE_VOLUME = 2,
  D3DRTYPE_TEXTURE = 3,
  D3DRTYPE_VOLUMETEXTURE = 4,
  D3DRTYPE_CUBETEXTURE = 5,
  D3DRTYPE_VERTEXBUFFER = 6,
  D3DRTYPE_INDEXBUFFER = 7,
};

inline constexpr DWORD D3DUSAGE_RENDERTARGET = 0x00000001;
inline constexpr DWORD D3DUSAGE_DEPTHSTENCIL = 0x00000002;
inline constexpr DWORD D3DUSAGE_WRITEONLY = 0x00000008;
inline constexpr DWORD D3DUSAGE_SOFTWAREPROCESSING = 0x00000010;
inline constexpr DWORD D3DUSAGE_DONOTCLIP = 0x00000020;
inline constexpr DWORD D3DUSAGE_POINTS = 0x00000040;
inline constexpr DWORD D3DUSAGE_DYNAMIC = 0x00000200;

inline constexpr DWORD D3DLOCK_READONLY = 0x00000010;
inline constexpr DWORD D3DLOCK_NOSYSLOCK = 0x00000800;
inline constexpr DWORD D3DLOCK_NOOVERWRITE = 0x00001000;
inline constexpr DWORD D3DLOCK_DISCARD = 0x00002000;

inline constexpr DWORD D3DCLEAR_TARGET = 0x00000001;
inline constexpr DWORD D3DCLEAR_ZBUFFER = 0x00000002;
inline constexpr DWORD D3DCLEAR_STENCIL = 0x00000004;

// --- records --------------------------------------------------------------------------------------
struct D3DVIEWPORT8 {
  DWORD X;
  DWORD Y;
  DWORD Width;
  DWORD Height;
  float MinZ;
  float MaxZ;
};

struct D3DMATERIAL8 {
  D3DCOLORVALUE Diffuse;
  D3DCOLORVALUE Ambient;
  D3DCOLORVALUE Specular;
  D3DCOLORVALUE Emissive;
  float Power;
};

enum D3DLIGHTTYPE : uint32_t {
  D3DLIGHT_POINT = 1,
  D3DLIGHT_SPOT = 2,
  D3DLIGHT_DIRECTIONAL = 3,
};

struct D3DLIGHT8 {
  D3DLIGHTTYPE Type;
  D3DCOLORVALUE Diffuse;
  D3DCOLORVALUE Specular;
  D3DCOLORVALUE Ambient;
  D3DVECTOR Position;
  D3DVECTOR Direction;
  float Range;
  float Falloff;
  float Attenuation0;
  float Attenuation1;
  float Attenuation2;
  float Theta;
  float Phi;
};

struct D3DVERTEXBUFFER_DESC {
  D3DFORMAT Format;
  D3DRESOURCETYPE Type;
  DWORD Usage;
  D3DPOOL Pool;
  UINT Size;
  DWORD FVF;
};

struct D3DINDEXBUFFER_DESC {
  D3DFORMAT Format;
  D3DRESOURCETYPE Type;
  DWORD Usage;
  D3DPOOL Pool;
  UINT Size;
};

struct D3DSURFACE_DESC {
  D3DFORMAT Format;
  D3DRESOURCETYPE Type;
  DWORD Usage;
  D3DPOOL Pool;
  UINT Size;
  DWORD MultiSampleType;
  UINT Width;
  UINT Height;
};

struct D3DLOCKED_RECT {
  int32_t Pitch;  // bytes from one row to the next
  void* pBits;
};

enum D3DDEVTYPE : uint32_t { D3DDEVTYPE_HAL = 1, D3DDEVTYPE_REF = 2, D3DDEVTYPE_SW = 3 };

// Vertex processing capability bits (D3DCAPS8::VertexProcessingCaps).
inline constexpr DWORD D3DVTXPCAPS_TEXGEN = 0x00000001;
inline constexpr DWORD D3DVTXPCAPS_MATERIALSOURCE7 = 0x00000002;
inline constexpr DWORD D3DVTXPCAPS_DIRECTIONALLIGHTS = 0x00000008;
inline constexpr DWORD D3DVTXPCAPS_POSITIONALLIGHTS = 0x00000010;
inline constexpr DWORD D3DVTXPCAPS_LOCALVIEWER = 0x00000020;
inline constexpr DWORD D3DVTXPCAPS_TWEENING = 0x00000040;

// Device capabilities, in Direct3D 8's field order.
struct D3DCAPS8 {
  D3DDEVTYPE DeviceType;
  UINT AdapterOrdinal;
  DWORD Caps;
  DWORD Caps2;
  DWORD Caps3;
  DWORD PresentationIntervals;
  DWORD CursorCaps;
  DWORD DevCaps;
  DWORD PrimitiveMiscCaps;
  DWORD RasterCaps;
  DWORD ZCmpCaps;
  DWORD SrcBlendCaps;
  DWORD DestBlendCaps;
  DWORD AlphaCmpCaps;
  DWORD ShadeCaps;
  DWORD TextureCaps;
  DWORD TextureFilterCaps;
  DWORD CubeTextureFilterCaps;
  DWORD VolumeTextureFilterCaps;
  DWORD TextureAddressCaps;
  DWORD VolumeTextureAddressCaps;
  DWORD LineCaps;
  DWORD MaxTextureWidth;
  DWORD MaxTextureHeight;
  DWORD MaxVolumeExtent;
  DWORD MaxTextureRepeat;
  DWORD MaxTextureAspectRatio;
  DWORD MaxAnisotropy;
  float MaxVertexW;
  float GuardBandLeft;
  float GuardBandTop;
  float GuardBandRight;
  float GuardBandBottom;
  float ExtentsAdjust;
  DWORD StencilCaps;
  DWORD FVFCaps;
  DWORD TextureOpCaps;
  DWORD MaxTextureBlendStages;
  DWORD MaxSimultaneousTextures;
  DWORD VertexProcessingCaps;
  DWORD MaxActiveLights;
  DWORD MaxUserClipPlanes;
  DWORD MaxVertexBlendMatrices;     // weights per vertex + 1 the device blends (non-indexed)
  DWORD MaxVertexBlendMatrixIndex;  // highest palette index usable with indexed blending (0: none)
  float MaxPointSize;
  DWORD MaxPrimitiveCount;
  DWORD MaxVertexIndex;
  DWORD MaxStreams;
  DWORD MaxStreamStride;
  DWORD VertexShaderVersion;
  DWORD MaxVertexShaderConst;
  DWORD PixelShaderVersion;
  float MaxPixelShaderValue;
};

// --- objects --------------------------------------------------------------------------------------

// Reference counting shared by every device object.
class IDirect3DUnknown8 {
 public:
  virtual DWORD AddRef() = 0;
  // Drops a reference; the last one frees the object. Returns the references left.
  virtual DWORD Release() = 0;

 protected:
  virtual ~IDirect3DUnknown8() = default;
};

class IDirect3DResource8 : public IDirect3DUnknown8 {
 public:
  virtual D3DRESOURCETYPE GetType() = 0;
};

class IDirect3DVertexBuffer8 : public IDirect3DResource8 {
 public:
  // Maps bytes [offset, offset + size) for writing (size 0: to the end). D3DERR_INVALIDCALL when
  // the range lies outside the buffer, the buffer is already locked or ppbData is null.
  virtual HRESULT Lock(UINT OffsetToLock, UINT SizeToLock, BYTE** ppbData, DWORD Flags) = 0;
  virtual HRESULT Unlock() = 0;
  virtual HRESULT GetDesc(D3DVERTEXBUFFER_DESC* pDesc) = 0;
};

class IDirect3DIndexBuffer8 : public IDirect3DResource8 {
 public:
  virtual HRESULT Lock(UINT OffsetToLock, UINT SizeToLock, BYTE** ppbData, DWORD Flags) = 0;
  virtual HRESULT Unlock() = 0;
  virtual HRESULT GetDesc(D3DINDEXBUFFER_DESC* pDesc) = 0;
};

class IDirect3DBaseTexture8 : public IDirect3DResource8 {
 public:
  virtual DWORD GetLevelCount() = 0;
};

// A 2D texture of D3DFMT_A8R8G8B8 texels (one level; rows of Width DWORDs, 0xAARRGGBB).
class IDirect3DTexture8 : public IDirect3DBaseTexture8 {
 public:
  virtual HRESULT GetLevelDesc(UINT Level, D3DSURFACE_DESC* pDesc) = 0;
  virtual HRESULT LockRect(UINT Level, D3DLOCKED_RECT* pLockedRect, const RECT* pRect, DWORD Flags) = 0;
  virtual HRESULT UnlockRect(UINT Level) = 0;
};

// The device. Every state setter stores the value; draws use the states in force.
class IDirect3DDevice8 : public IDirect3DUnknown8 {
 public:
  virtual HRESULT GetDeviceCaps(D3DCAPS8* pCaps) = 0;

  virtual HRESULT BeginScene() = 0;
  virtual HRESULT EndScene() = 0;
  // Clears the whole viewport (pRects ignored when Count is 0) of the colour and/or depth buffer.
  virtual HRESULT Clear(DWORD Count, const D3DRECT* pRects, DWORD Flags, D3DCOLOR Color, float Z,
                        DWORD Stencil) = 0;

  virtual HRESULT SetTransform(D3DTRANSFORMSTATETYPE State, const D3DMATRIX* pMatrix) = 0;
  virtual HRESULT GetTransform(D3DTRANSFORMSTATETYPE State, D3DMATRIX* pMatrix) = 0;
  // Sets the transform to pMatrix * current.
  virtual HRESULT MultiplyTransform(D3DTRANSFORMSTATETYPE State, const D3DMATRIX* pMatrix) = 0;

  virtual HRESULT SetViewport(const D3DVIEWPORT8* pViewport) = 0;
  virtual HRESULT GetViewport(D3DVIEWPORT8* pViewport) = 0;

  virtual HRESULT SetMaterial(const D3DMATERIAL8* pMaterial) = 0;
  virtual HRESULT GetMaterial(D3DMATERIAL8* pMaterial) = 0;

  virtual HRESULT SetLight(DWORD Index, const D3DLIGHT8* pLight) = 0;
  virtual HRESULT GetLight(DWORD Index, D3DLIGHT8* pLight) = 0;
  virtual HRESULT LightEnable(DWORD Index, BOOL Enable) = 0;
  virtual HRESULT GetLightEnable(DWORD Index, BOOL* pEnable) = 0;

  virtual HRESULT SetRenderState(D3DRENDERSTATETYPE State, DWORD Value) = 0;
  virtual HRESULT GetRenderState(D3DRENDERSTATETYPE State, DWORD* pValue) = 0;

  // The texture of a stage (null when none), with a reference added.
  virtual HRESULT GetTexture(DWORD Stage, IDirect3DBaseTexture8** ppTexture) = 0;
  virtual HRESULT SetTexture(DWORD Stage, IDirect3DBaseTexture8* pTexture) = 0;
  virtual HRESULT GetTextureStageState(DWORD Stage, D3DTEXTURESTAGESTATETYPE Type, DWORD* pValue) = 0;
  virtual HRESULT SetTextureStageState(DWORD Stage, D3DTEXTURESTAGESTATETYPE Type, DWORD Value) = 0;

  // Draws from stream 0 with the FVF of SetVertexShader.
  virtual HRESULT DrawPrimitive(D3DPRIMITIVETYPE PrimitiveType, UINT StartVertex, UINT PrimitiveCount) = 0;
  // Draws with the index buffer of SetIndices; an index refers to vertex BaseVertexIndex + index
  // of stream 0. Indices outside the stream's vertices make the whole draw D3DERR_INVALIDCALL.
  virtual HRESULT DrawIndexedPrimitive(D3DPRIMITIVETYPE PrimitiveType, UINT MinIndex, UINT NumVertices,
                                       UINT StartIndex, UINT PrimitiveCount) = 0;
  virtual HRESULT DrawPrimitiveUP(D3DPRIMITIVETYPE PrimitiveType, UINT PrimitiveCount,
                                  const void* pVertexStreamZeroData, UINT VertexStreamZeroStride) = 0;
  // Indices refer to vertices 0 .. MinVertexIndex + NumVertexIndices - 1 of the given array.
  virtual HRESULT DrawIndexedPrimitiveUP(D3DPRIMITIVETYPE PrimitiveType, UINT MinVertexIndex,
                                         UINT NumVertexIndices, UINT PrimitiveCount,
                                         const void* pIndexData, D3DFORMAT IndexDataFormat,
                                         const void* pVertexStreamZeroData,
                                         UINT VertexStreamZeroStride) = 0;

  virtual HRESULT CreateVertexBuffer(UINT Length, DWORD Usage, DWORD FVF, D3DPOOL Pool,
                                     IDirect3DVertexBuffer8** ppVertexBuffer) = 0;
  virtual HRESULT CreateIndexBuffer(UINT Length, DWORD Usage, D3DFORMAT Format, D3DPOOL Pool,
                                    IDirect3DIndexBuffer8** ppIndexBuffer) = 0;
  // Only D3DFMT_A8R8G8B8 (or X8R8G8B8) with one level is offered.
  virtual HRESULT CreateTexture(UINT Width, UINT Height, UINT Levels, DWORD Usage, D3DFORMAT Format,
                                D3DPOOL Pool, IDirect3DTexture8** ppTexture) = 0;

  // With a fixed-function pipeline the "vertex shader" is the FVF of the stream.
  virtual HRESULT SetVertexShader(DWORD Handle) = 0;
  virtual HRESULT GetVertexShader(DWORD* pHandle) = 0;
  virtual HRESULT SetStreamSource(UINT StreamNumber, IDirect3DVertexBuffer8* pStreamData, UINT Stride) = 0;
  virtual HRESULT GetStreamSource(UINT StreamNumber, IDirect3DVertexBuffer8** ppStreamData, UINT* pStride) = 0;
  virtual HRESULT SetIndices(IDirect3DIndexBuffer8* pIndexData, UINT BaseVertexIndex) = 0;
  virtual HRESULT GetIndices(IDirect3DIndexBuffer8** ppIndexData, UINT* pBaseVertexIndex) = 0;
};
