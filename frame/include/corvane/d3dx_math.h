// The math layer: single-precision vector, quaternion, plane and matrix types and the operations
// the channels use, following the Direct3D extension library's conventions:
//   - vectors are rows multiplied on the left of matrices (p' = p * M); translation is row 4;
//   - A * B applies A first, then B (an object's matrix times its parent's);
//   - angles in radians; left-handed coordinates;
//   - a matrix is stored as its 16 floats row by row (_11 ... _44).
// Every operation takes its operands by pointer, returns its output pointer, allocates nothing,
// and accepts an output that aliases an input.
#pragma once

#include <cmath>
#include <cstdint>

struct D3DXVECTOR2 {
  float x, y;
  D3DXVECTOR2() = default;
  constexpr D3DXVECTOR2(float x_, float y_) : x(x_), y(y_) {}
  D3DXVECTOR2 operator+(const D3DXVECTOR2& o) const { return {x + o.x, y + o.y}; }
  D3DXVECTOR2 operator-(const D3DXVECTOR2& o) const { return {x - o.x, y - o.y}; }
  D3DXVECTOR2 operator*(float s) const { return {x * s, y * s}; }
  bool operator==(const D3DXVECTOR2& o) const { return x == o.x && y == o.y; }
};

struct D3DXVECTOR3 {
  float x, y, z;
  D3DXVECTOR3() = default;
  constexpr D3DXVECTOR3(float x_, float y_, float z_) : x(x_), y(y_), z(z_) {}
  D3DXVECTOR3 operator+(const D3DXVECTOR3& o) const { return {x + o.x, y + o.y, z + o.z}; }
  D3DXVECTOR3 operator-(const D3DXVECTOR3& o) const { return {x - o.x, y - o.y, z - o.z}; }
  D3DXVECTOR3 operator-() const { return {-x, -y, -z}; }
  D3DXVECTOR3 operator*(float s) const { return {x * s, y * s, z * s}; }
  D3DXVECTOR3 operator/(float s) const { return {x / s, y / s, z / s}; }
  D3DXVECTOR3& operator+=(const D3DXVECTOR3& o) { x += o.x; y += o.y; z += o.z; return *this; }
  D3DXVECTOR3& operator-=(const D3DXVECTOR3& o) { x -= o.x; y -= o.y; z -= o.z; return *this; }
  D3DXVECTOR3& operator*=(float s) { x *= s; y *= s; z *= s; return *this; }
  bool operator==(const D3DXVECTOR3& o) const { return x == o.x && y == o.y && z == o.z; }
  bool operator!=(const D3DXVECTOR3& o) const { return !(*this == o); }
};
inline D3DXVECTOR3 operator*(float s, const D3DXVECTOR3& v) { return v * s; }

struct D3DXVECTOR4 {
  float x, y, z, w;
  D3DXVECTOR4() = default;
  constexpr D3DXVECTOR4(float x_, float y_, float z_, float w_) : x(x_), y(y_), z(z_), w(w_) {}
  bool operator==(const D3DXVECTOR4& o) const { return x == o.x && y == o.y && z == o.z && w == o.w; }
};

struct D3DXQUATERNION {
  float x, y, z, w;  // w is the scalar part
  D3DXQUATERNION() = default;
  constexpr D3DXQUATERNION(float x_, float y_, float z_, float w_) : x(x_), y(y_), z(z_), w(w_) {}
  bool operator==(const D3DXQUATERNION& o) const { return x == o.x && y == o.y && z == o.z && w == o.w; }
};

struct D3DXPLANE {
  float a, b, c, d;  // points p with a*p.x + b*p.y + c*p.z + d = 0
  D3DXPLANE() = default;
  constexpr D3DXPLANE(float a_, float b_, float c_, float d_) : a(a_), b(b_), c(c_), d(d_) {}
};

struct D3DXMATRIX {
  union {
    struct {
      float _11, _12, _13, _14;
      float _21, _22, _23, _24;
      float _31, _32, _33, _34;
      float _41, _42, _43, _44;
    };
    float m[4][4];
  };
  D3DXMATRIX() = default;
  constexpr D3DXMATRIX(float a11, float a12, float a13, float a14, float a21, float a22, float a23,
                       float a24, float a31, float a32, float a33, float a34, float a41, float a42,
                       float a43, float a44)
      : _11(a11), _12(a12), _13(a13), _14(a14), _21(a21), _22(a22), _23(a23), _24(a24),
        _31(a31), _32(a32), _33(a33), _34(a34), _41(a41), _42(a42), _43(a43), _44(a44) {}
  float& operator()(int r, int c) { return m[r][c]; }
  float operator()(int r, int c) const { return m[r][c]; }
  D3DXMATRIX operator*(const D3DXMATRIX& o) const;
  bool operator==(const D3DXMATRIX& o) const;
  bool operator!=(const D3DXMATRIX& o) const { return !(*this == o); }
};

static_assert(sizeof(D3DXVECTOR3) == 12 && sizeof(D3DXQUATERNION) == 16 && sizeof(D3DXMATRIX) == 64,
              "math types must have their file layout");

// The device layer names the same layouts.
using D3DMATRIX = D3DXMATRIX;
using D3DVECTOR = D3DXVECTOR3;

// --- inline operations -------------------------------------------------------------------------

inline float D3DXVec3Dot(const D3DXVECTOR3* a, const D3DXVECTOR3* b) { return a->x * b->x + a->y * b->y + a->z * b->z; }
inline float D3DXVec3LengthSq(const D3DXVECTOR3* v) { return D3DXVec3Dot(v, v); }
inline float D3DXVec3Length(const D3DXVECTOR3* v) { return std::sqrt(D3DXVec3LengthSq(v)); }
inline D3DXVECTOR3* D3DXVec3Cross(D3DXVECTOR3* out, const D3DXVECTOR3* a, const D3DXVECTOR3* b) {
  D3DXVECTOR3 r(a->y * b->z - a->z * b->y, a->z * b->x - a->x * b->z, a->x * b->y - a->y * b->x);
  *out = r;
  return out;
}
inline D3DXVECTOR3* D3DXVec3Add(D3DXVECTOR3* out, const D3DXVECTOR3* a, const D3DXVECTOR3* b) { *out = *a + *b; return out; }
inline D3DXVECTOR3* D3DXVec3Subtract(D3DXVECTOR3* out, const D3DXVECTOR3* a, const D3DXVECTOR3* b) { *out = *a - *b; return out; }
inline D3DXVECTOR3* D3DXVec3Scale(D3DXVECTOR3* out, const D3DXVECTOR3* v, float s) { *out = *v * s; return out; }
inline D3DXVECTOR3* D3DXVec3Lerp(D3DXVECTOR3* out, const D3DXVECTOR3* a, const D3DXVECTOR3* b, float t) {
  *out = *a + (*b - *a) * t;
  return out;
}
inline D3DXVECTOR3* D3DXVec3Minimize(D3DXVECTOR3* out, const D3DXVECTOR3* a, const D3DXVECTOR3* b) {
  *out = D3DXVECTOR3(a->x < b->x ? a->x : b->x, a->y < b->y ? a->y : b->y, a->z < b->z ? a->z : b->z);
  return out;
}
inline D3DXVECTOR3* D3DXVec3Maximize(D3DXVECTOR3* out, const D3DXVECTOR3* a, const D3DXVECTOR3* b) {
  *out = D3DXVECTOR3(a->x > b->x ? a->x : b->x, a->y > b->y ? a->y : b->y, a->z > b->z ? a->z : b->z);
  return out;
}
inline float D3DXVec2Length(const D3DXVECTOR2* v) { return std::sqrt(v->x * v->x + v->y * v->y); }
inline float D3DXQuaternionDot(const D3DXQUATERNION* a, const D3DXQUATERNION* b) {
  return a->x * b->x + a->y * b->y + a->z * b->z + a->w * b->w;
}
inline D3DXQUATERNION* D3DXQuaternionIdentity(D3DXQUATERNION* out) { *out = D3DXQUATERNION(0, 0, 0, 1); return out; }
inline float D3DXPlaneDotCoord(const D3DXPLANE* p, const D3DXVECTOR3* v) { return p->a * v->x + p->b * v->y + p->c * v->z + p->d; }
inline float D3DXPlaneDotNormal(const D3DXPLANE* p, const D3DXVECTOR3* v) { return p->a * v->x + p->b * v->y + p->c * v->z; }

inline D3DXMATRIX* D3DXMatrixIdentity(D3DXMATRIX* out) {
  *out = D3DXMATRIX(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1);
  return out;
}
inline bool D3DXMatrixIsIdentity(const D3DXMATRIX* m) {
  D3DXMATRIX i;
  D3DXMatrixIdentity(&i);
  return *m == i;
}

// --- operations with a body in the frame library ----------------------------------------------

// out = a * b.
D3DXMATRIX* D3DXMatrixMultiply(D3DXMATRIX* out, const D3DXMATRIX* a, const D3DXMATRIX* b);
// out = m^-1; *determinant receives the determinant when not null. A singular matrix (determinant
// 0) returns null and leaves out unchanged.
D3DXMATRIX* D3DXMatrixInverse(D3DXMATRIX* out, float* determinant, const D3DXMATRIX* m);
float D3DXMatrixDeterminant(const D3DXMATRIX* m);
D3DXMATRIX* D3DXMatrixTranspose(D3DXMATRIX* out, const D3DXMATRIX* m);
D3DXMATRIX* D3DXMatrixTranslation(D3DXMATRIX* out, float x, float y, float z);
D3DXMATRIX* D3DXMatrixScaling(D3DXMATRIX* out, float x, float y, float z);
D3DXMATRIX* D3DXMatrixRotationX(D3DXMATRIX* out, float angle);
D3DXMATRIX* D3DXMatrixRotationY(D3DXMATRIX* out, float angle);
D3DXMATRIX* D3DXMatrixRotationZ(D3DXMATRIX* out, float angle);
D3DXMATRIX* D3DXMatrixRotationAxis(D3DXMATRIX* out, const D3DXVECTOR3* axis, float angle);
// Roll about z, then pitch about x, then yaw about y.
D3DXMATRIX* D3DXMatrixRotationYawPitchRoll(D3DXMATRIX* out, float yaw, float pitch, float roll);
D3DXMATRIX* D3DXMatrixRotationQuaternion(D3DXMATRIX* out, const D3DXQUATERNION* q);
// Left-handed view matrix looking from eye at target.
D3DXMATRIX* D3DXMatrixLookAtLH(D3DXMATRIX* out, const D3DXVECTOR3* eye, const D3DXVECTOR3* at, const D3DXVECTOR3* up);
// Left-handed perspective projection (depth 0 at zn, 1 at zf).
D3DXMATRIX* D3DXMatrixPerspectiveFovLH(D3DXMATRIX* out, float fovy, float aspect, float zn, float zf);

// out = v / |v|. A vector whose squared length is within 2^-23 of 1 is copied unchanged; one whose
// squared length is at most the smallest normal float yields the zero vector.
D3DXVECTOR3* D3DXVec3Normalize(D3DXVECTOR3* out, const D3DXVECTOR3* v);
// out = (v, 1) * m with w kept.
D3DXVECTOR4* D3DXVec3Transform(D3DXVECTOR4* out, const D3DXVECTOR3* v, const D3DXMATRIX* m);
// (v, 1) * m, then x, y, z divided by the resulting w.
D3DXVECTOR3* D3DXVec3TransformCoord(D3DXVECTOR3* out, const D3DXVECTOR3* v, const D3DXMATRIX* m);
// (v, 0) * m: rotation and scale only.
D3DXVECTOR3* D3DXVec3TransformNormal(D3DXVECTOR3* out, const D3DXVECTOR3* v, const D3DXMATRIX* m);
D3DXVECTOR4* D3DXVec4Transform(D3DXVECTOR4* out, const D3DXVECTOR4* v, const D3DXMATRIX* m);

// Point where the line through p1 and p2 meets the plane; null when the line is parallel to it.
D3DXVECTOR3* D3DXPlaneIntersectLine(D3DXVECTOR3* out, const D3DXPLANE* plane, const D3DXVECTOR3* p1, const D3DXVECTOR3* p2);
D3DXPLANE* D3DXPlaneFromPointNormal(D3DXPLANE* out, const D3DXVECTOR3* point, const D3DXVECTOR3* normal);
D3DXPLANE* D3DXPlaneFromPoints(D3DXPLANE* out, const D3DXVECTOR3* a, const D3DXVECTOR3* b, const D3DXVECTOR3* c);

// Unit quaternion of the rotation part of m (scale in the rows is divided out).
D3DXQUATERNION* D3DXQuaternionRotationMatrix(D3DXQUATERNION* out, const D3DXMATRIX* m);
// The rotation q1 followed by q2.
D3DXQUATERNION* D3DXQuaternionMultiply(D3DXQUATERNION* out, const D3DXQUATERNION* q1, const D3DXQUATERNION* q2);
// Spherical linear interpolation from q1 (t = 0) to q2 (t = 1) along the shorter arc.
D3DXQUATERNION* D3DXQuaternionSlerp(D3DXQUATERNION* out, const D3DXQUATERNION* q1, const D3DXQUATERNION* q2, float t);
D3DXQUATERNION* D3DXQuaternionNormalize(D3DXQUATERNION* out, const D3DXQUATERNION* q);
D3DXQUATERNION* D3DXQuaternionRotationAxis(D3DXQUATERNION* out, const D3DXVECTOR3* axis, float angle);
D3DXQUATERNION* D3DXQuaternionConjugate(D3DXQUATERNION* out, const D3DXQUATERNION* q);
D3DXQUATERNION* D3DXQuaternionRotationYawPitchRoll(D3DXQUATERNION* out, float yaw, float pitch, float roll);
