// Bodies of the math layer's out-of-line operations. Each computes into locals first so that the
// output may alias any input.
#include <cfloat>

#include "corvane/d3dx_math.h"

D3DXMATRIX D3DXMATRIX::operator*(const D3DXMATRIX& o) const {
  D3DXMATRIX r;
  D3DXMatrixMultiply(&r, this, &o);
  return r;
}

bool D3DXMATRIX::operator==(const D3DXMATRIX& o) const {
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c)
      if (m[r][c] != o.m[r][c]) return false;
  return true;
}

D3DXMATRIX* D3DXMatrixMultiply(D3DXMATRIX* out, const D3DXMATRIX* a, const D3DXMATRIX* b) {
  D3DXMATRIX r;
  for (int i = 0; i < 4; ++i) {
    const float a0 = a->m[i][0], a1 = a->m[i][1], a2 = a->m[i][2], a3 = a->m[i][3];
    for (int j = 0; j < 4; ++j)
      r.m[i][j] = a0 * b->m[0][j] + a1 * b->m[1][j] + a2 * b->m[2][j] + a3 * b->m[3][j];
  }
  *out = r;
  return out;
}

namespace {

// The 2x2 sub-determinants of the lower two rows, shared by the cofactor expansion.
struct Cofactors {
  float c[16];  // adjugate, row-major
  float det;
};

Cofactors Adjugate(const D3DXMATRIX& m) {
  const float* a = &m._11;
  Cofactors r;
  float* inv = r.c;
  inv[0] = a[5] * a[10] * a[15] - a[5] * a[11] * a[14] - a[9] * a[6] * a[15] + a[9] * a[7] * a[14] +
           a[13] * a[6] * a[11] - a[13] * a[7] * a[10];
  inv[4] = -a[4] * a[10] * a[15] + a[4] * a[11] * a[14] + a[8] * a[6] * a[15] - a[8] * a[7] * a[14] -
           a[12] * a[6] * a[11] + a[12] * a[7] * a[10];
  inv[8] = a[4] * a[9] * a[15] - a[4] * a[11] * a[13] - a[8] * a[5] * a[15] + a[8] * a[7] * a[13] +
           a[12] * a[5] * a[11] - a[12] * a[7] * a[9];
  inv[12] = -a[4] * a[9] * a[14] + a[4] * a[10] * a[13] + a[8] * a[5] * a[14] - a[8] * a[6] * a[13] -
            a[12] * a[5] * a[10] + a[12] * a[6] * a[9];
  inv[1] = -a[1] * a[10] * a[15] + a[1] * a[11] * a[14] + a[9] * a[2] * a[15] - a[9] * a[3] * a[14] -
           a[13] * a[2] * a[11] + a[13] * a[3] * a[10];
  inv[5] = a[0] * a[10] * a[15] - a[0] * a[11] * a[14] - a[8] * a[2] * a[15] + a[8] * a[3] * a[14] +
           a[12] * a[2] * a[11] - a[12] * a[3] * a[10];
  inv[9] = -a[0] * a[9] * a[15] + a[0] * a[11] * a[13] + a[8] * a[1] * a[15] - a[8] * a[3] * a[13] -
           a[12] * a[1] * a[11] + a[12] * a[3] * a[9];
  inv[13] = a[0] * a[9] * a[14] - a[0] * a[10] * a[13] - a[8] * a[1] * a[14] + a[8] * a[2] * a[13] +
            a[12] * a[1] * a[10] - a[12] * a[2] * a[9];
  inv[2] = a[1] * a[6] * a[15] - a[1] * a[7] * a[14] - a[5] * a[2] * a[15] + a[5] * a[3] * a[14] +
           a[13] * a[2] * a[7] - a[13] * a[3] * a[6];
  inv[6] = -a[0] * a[6] * a[15] + a[0] * a[7] * a[14] + a[4] * a[2] * a[15] - a[4] * a[3] * a[14] -
           a[12] * a[2] * a[7] + a[12] * a[3] * a[6];
  inv[10] = a[0] * a[5] * a[15] - a[0] * a[7] * a[13] - a[4] * a[1] * a[15] + a[4] * a[3] * a[13] +
            a[12] * a[1] * a[7] - a[12] * a[3] * a[5];
  inv[14] = -a[0] * a[5] * a[14] + a[0] * a[6] * a[13] + a[4] * a[1] * a[14] - a[4] * a[2] * a[13] -
            a[12] * a[1] * a[6] + a[12] * a[2] * a[5];
  inv[3] = -a[1] * a[6] * a[11] + a[1] * a[7] * a[10] + a[5] * a[2] * a[11] - a[5] * a[3] * a[10] -
           a[9] * a[2] * a[7] + a[9] * a[3] * a[6];
  inv[7] = a[0] * a[6] * a[11] - a[0] * a[7] * a[10] - a[4] * a[2] * a[11] + a[4] * a[3] * a[10] +
           a[8] * a[2] * a[7] - a[8] * a[3] * a[6];
  inv[11] = -a[0] * a[5] * a[11] + a[0] * a[7] * a[9] + a[4] * a[1] * a[11] - a[4] * a[3] * a[9] -
            a[8] * a[1] * a[7] + a[8] * a[3] * a[5];
  inv[15] = a[0] * a[5] * a[10] - a[0] * a[6] * a[9] - a[4] * a[1] * a[10] + a[4] * a[2] * a[9] +
            a[8] * a[1] * a[6] - a[8] * a[2] * a[5];
  r.det = a[0] * inv[0] + a[1] * inv[4] + a[2] * inv[8] + a[3] * inv[12];
  return r;
}

}  // namespace

float D3DXMatrixDeterminant(const D3DXMATRIX* m) { return Adjugate(*m).det; }

D3DXMATRIX* D3DXMatrixInverse(D3DXMATRIX* out, float* determinant, const D3DXMATRIX* m) {
  Cofactors a = Adjugate(*m);
  if (determinant) *determinant = a.det;
  if (a.det == 0.0f || !std::isfinite(a.det)) return nullptr;
  const float s = 1.0f / a.det;
  D3DXMATRIX r;
  float* d = &r._11;
  for (int i = 0; i < 16; ++i) d[i] = a.c[i] * s;
  *out = r;
  return out;
}

D3DXMATRIX* D3DXMatrixTranspose(D3DXMATRIX* out, const D3DXMATRIX* m) {
  D3DXMATRIX r;
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) r.m[i][j] = m->m[j][i];
  *out = r;
  return out;
}

D3DXMATRIX* D3DXMatrixTranslation(D3DXMATRIX* out, float x, float y, float z) {
  D3DXMatrixIdentity(out);
  out->_41 = x;
  out->_42 = y;
  out->_43 = z;
  return out;
}

D3DXMATRIX* D3DXMatrixScaling(D3DXMATRIX* out, float x, float y, float z) {
  D3DXMatrixIdentity(out);
  out->_11 = x;
  out->_22 = y;
  out->_33 = z;
  return out;
}

D3DXMATRIX* D3DXMatrixRotationX(D3DXMATRIX* out, float angle) {
  const float c = std::cos(angle), s = std::sin(angle);
  D3DXMatrixIdentity(out);
  out->_22 = c;
  out->_23 = s;
  out->_32 = -s;
  out->_33 = c;
  return out;
}

D3DXMATRIX* D3DXMatrixRotationY(D3DXMATRIX* out, float angle) {
  const float c = std::cos(angle), s = std::sin(angle);
  D3DXMatrixIdentity(out);
  out->_11 = c;
  out->_13 = -s;
  out->_31 = s;
  out->_33 = c;
  return out;
}

D3DXMATRIX* D3DXMatrixRotationZ(D3DXMATRIX* out, float angle) {
  const float c = std::cos(angle), s = std::sin(angle);
  D3DXMatrixIdentity(out);
  out->_11 = c;
  out->_12 = s;
  out->_21 = -s;
  out->_22 = c;
  return out;
}

D3DXMATRIX* D3DXMatrixRotationAxis(D3DXMATRIX* out, const D3DXVECTOR3* axis, float angle) {
  D3DXQUATERNION q;
  D3DXQuaternionRotationAxis(&q, axis, angle);
  return D3DXMatrixRotationQuaternion(out, &q);
}

D3DXMATRIX* D3DXMatrixRotationYawPitchRoll(D3DXMATRIX* out, float yaw, float pitch, float roll) {
  D3DXMATRIX z, x, y;
  D3DXMatrixRotationZ(&z, roll);
  D3DXMatrixRotationX(&x, pitch);
  D3DXMatrixRotationY(&y, yaw);
  D3DXMatrixMultiply(out, &z, &x);
  return D3DXMatrixMultiply(out, out, &y);
}

D3DXMATRIX* D3DXMatrixRotationQuaternion(D3DXMATRIX* out, const D3DXQUATERNION* q) {
  const float x = q->x, y = q->y, z = q->z, w = q->w;
  D3DXMATRIX r(1 - 2 * (y * y + z * z), 2 * (x * y + z * w), 2 * (x * z - y * w), 0,
               2 * (x * y - z * w), 1 - 2 * (x * x + z * z), 2 * (y * z + x * w), 0,
               2 * (x * z + y * w), 2 * (y * z - x * w), 1 - 2 * (x * x + y * y), 0,
               0, 0, 0, 1);
  *out = r;
  return out;
}

D3DXMATRIX* D3DXMatrixLookAtLH(D3DXMATRIX* out, const D3DXVECTOR3* eye, const D3DXVECTOR3* at,
                               const D3DXVECTOR3* up) {
  D3DXVECTOR3 zaxis = *at - *eye, xaxis, yaxis;
  D3DXVec3Normalize(&zaxis, &zaxis);
  D3DXVec3Cross(&xaxis, up, &zaxis);
  D3DXVec3Normalize(&xaxis, &xaxis);
  D3DXVec3Cross(&yaxis, &zaxis, &xaxis);
  D3DXMATRIX r(xaxis.x, yaxis.x, zaxis.x, 0, xaxis.y, yaxis.y, zaxis.y, 0, xaxis.z, yaxis.z, zaxis.z,
               0, -D3DXVec3Dot(&xaxis, eye), -D3DXVec3Dot(&yaxis, eye), -D3DXVec3Dot(&zaxis, eye), 1);
  *out = r;
  return out;
}

D3DXMATRIX* D3DXMatrixPerspectiveFovLH(D3DXMATRIX* out, float fovy, float aspect, float zn, float zf) {
  const float yscale = 1.0f / std::tan(fovy * 0.5f);
  const float xscale = yscale / aspect;
  D3DXMATRIX r(xscale, 0, 0, 0, 0, yscale, 0, 0, 0, 0, zf / (zf - zn), 1, 0, 0, -zn * zf / (zf - zn), 0);
  *out = r;
  return out;
}

D3DXVECTOR3* D3DXVec3Normalize(D3DXVECTOR3* out, const D3DXVECTOR3* v) {
  const float sq = D3DXVec3LengthSq(v);
  if (std::fabs(sq - 1.0f) <= FLT_EPSILON) {  // FLT_EPSILON is 2^-23
    *out = *v;
    return out;
  }
  if (!(sq > FLT_MIN)) {  // also catches NaN
    *out = D3DXVECTOR3(0, 0, 0);
    return out;
  }
  const float inv = 1.0f / std::sqrt(sq);
  *out = D3DXVECTOR3(v->x * inv, v->y * inv, v->z * inv);
  return out;
}

D3DXVECTOR4* D3DXVec3Transform(D3DXVECTOR4* out, const D3DXVECTOR3* v, const D3DXMATRIX* m) {
  const float x = v->x, y = v->y, z = v->z;
  *out = D3DXVECTOR4(x * m->_11 + y * m->_21 + z * m->_31 + m->_41, x * m->_12 + y * m->_22 + z * m->_32 + m->_42,
                     x * m->_13 + y * m->_23 + z * m->_33 + m->_43, x * m->_14 + y * m->_24 + z * m->_34 + m->_44);
  return out;
}

D3DXVECTOR3* D3DXVec3TransformCoord(D3DXVECTOR3* out, const D3DXVECTOR3* v, const D3DXMATRIX* m) {
  D3DXVECTOR4 r;
  D3DXVec3Transform(&r, v, m);
  // A point mapped to w = 0 has no finite image; keep the undivided coordinates rather than
  // produce infinities.
  const float inv = r.w != 0.0f ? 1.0f / r.w : 1.0f;
  *out = D3DXVECTOR3(r.x * inv, r.y * inv, r.z * inv);
  return out;
}

D3DXVECTOR3* D3DXVec3TransformNormal(D3DXVECTOR3* out, const D3DXVECTOR3* v, const D3DXMATRIX* m) {
  const float x = v->x, y = v->y, z = v->z;
  *out = D3DXVECTOR3(x * m->_11 + y * m->_21 + z * m->_31, x * m->_12 + y * m->_22 + z * m->_32,
                     x * m->_13 + y * m->_23 + z * m->_33);
  return out;
}

D3DXVECTOR4* D3DXVec4Transform(D3DXVECTOR4* out, const D3DXVECTOR4* v, const D3DXMATRIX* m) {
  const float x = v->x, y = v->y, z = v->z, w = v->w;
  *out = D3DXVECTOR4(x * m->_11 + y * m->_21 + z * m->_31 + w * m->_41, x * m->_12 + y * m->_22 + z * m->_32 + w * m->_42,
                     x * m->_13 + y * m->_23 + z * m->_33 + w * m->_43, x * m->_14 + y * m->_24 + z * m->_34 + w * m->_44);
  return out;
}

D3DXVECTOR3* D3DXPlaneIntersectLine(D3DXVECTOR3* out, const D3DXPLANE* plane, const D3DXVECTOR3* p1,
                                    const D3DXVECTOR3* p2) {
  const D3DXVECTOR3 dir = *p2 - *p1;
  const float denom = D3DXPlaneDotNormal(plane, &dir);
  if (denom == 0.0f) return nullptr;
  const float t = -D3DXPlaneDotCoord(plane, p1) / denom;
  *out = *p1 + dir * t;
  return out;
}

D3DXPLANE* D3DXPlaneFromPointNormal(D3DXPLANE* out, const D3DXVECTOR3* point, const D3DXVECTOR3* normal) {
  *out = D3DXPLANE(normal->x, normal->y, normal->z, -D3DXVec3Dot(point, normal));
  return out;
}

D3DXPLANE* D3DXPlaneFromPoints(D3DXPLANE* out, const D3DXVECTOR3* a, const D3DXVECTOR3* b, const D3DXVECTOR3* c) {
  D3DXVECTOR3 e1 = *b - *a, e2 = *c - *a, n;
  D3DXVec3Cross(&n, &e1, &e2);
  D3DXVec3Normalize(&n, &n);
  return D3DXPlaneFromPointNormal(out, a, &n);
}

D3DXQUATERNION* D3DXQuaternionRotationMatrix(D3DXQUATERNION* out, const D3DXMATRIX* m) {
  // Divide the scale out of each row so that a scaled rotation still yields its rotation.
  float r[3][3];
  for (int i = 0; i < 3; ++i) {
    const float len = std::sqrt(m->m[i][0] * m->m[i][0] + m->m[i][1] * m->m[i][1] + m->m[i][2] * m->m[i][2]);
    const float inv = len > 0.0f ? 1.0f / len : 0.0f;
    for (int j = 0; j < 3; ++j) r[i][j] = m->m[i][j] * inv;
  }
  D3DXQUATERNION q;
  const float trace = r[0][0] + r[1][1] + r[2][2];
  if (trace > 0.0f) {
    const float s = std::sqrt(trace + 1.0f) * 2.0f;
    q = D3DXQUATERNION((r[1][2] - r[2][1]) / s, (r[2][0] - r[0][2]) / s, (r[0][1] - r[1][0]) / s, 0.25f * s);
  } else if (r[0][0] > r[1][1] && r[0][0] > r[2][2]) {
    const float s = std::sqrt(1.0f + r[0][0] - r[1][1] - r[2][2]) * 2.0f;
    q = D3DXQUATERNION(0.25f * s, (r[0][1] + r[1][0]) / s, (r[2][0] + r[0][2]) / s, (r[1][2] - r[2][1]) / s);
  } else if (r[1][1] > r[2][2]) {
    const float s = std::sqrt(1.0f + r[1][1] - r[0][0] - r[2][2]) * 2.0f;
    q = D3DXQUATERNION((r[0][1] + r[1][0]) / s, 0.25f * s, (r[1][2] + r[2][1]) / s, (r[2][0] - r[0][2]) / s);
  } else {
    const float s = std::sqrt(1.0f + r[2][2] - r[0][0] - r[1][1]) * 2.0f;
    q = D3DXQUATERNION((r[2][0] + r[0][2]) / s, (r[1][2] + r[2][1]) / s, 0.25f * s, (r[0][1] - r[1][0]) / s);
  }
  return D3DXQuaternionNormalize(out, &q);
}

D3DXQUATERNION* D3DXQuaternionMultiply(D3DXQUATERNION* out, const D3DXQUATERNION* q1, const D3DXQUATERNION* q2) {
  // q2 * q1 in Hamilton's product: the rotation of q1 applied first.
  const D3DXQUATERNION a = *q2, b = *q1;
  *out = D3DXQUATERNION(a.w * b.x + a.x * b.w + a.y * b.z - a.z * b.y, a.w * b.y - a.x * b.z + a.y * b.w + a.z * b.x,
                        a.w * b.z + a.x * b.y - a.y * b.x + a.z * b.w, a.w * b.w - a.x * b.x - a.y * b.y - a.z * b.z);
  return out;
}

D3DXQUATERNION* D3DXQuaternionSlerp(D3DXQUATERNION* out, const D3DXQUATERNION* q1, const D3DXQUATERNION* q2, float t) {
  const D3DXQUATERNION a = *q1;
  D3DXQUATERNION b = *q2;
  float cosom = D3DXQuaternionDot(&a, &b);
  if (cosom < 0.0f) {  // take the shorter arc
    cosom = -cosom;
    b = D3DXQUATERNION(-b.x, -b.y, -b.z, -b.w);
  }
  float s0, s1;
  if (cosom < 0.9999f) {
    const float omega = std::acos(cosom);
    const float sinom = std::sin(omega);
    s0 = std::sin((1.0f - t) * omega) / sinom;
    s1 = std::sin(t * omega) / sinom;
  } else {  // nearly equal: linear interpolation avoids dividing by a vanishing sine
    s0 = 1.0f - t;
    s1 = t;
  }
  *out = D3DXQUATERNION(s0 * a.x + s1 * b.x, s0 * a.y + s1 * b.y, s0 * a.z + s1 * b.z, s0 * a.w + s1 * b.w);
  return out;
}

D3DXQUATERNION* D3DXQuaternionNormalize(D3DXQUATERNION* out, const D3DXQUATERNION* q) {
  const float sq = D3DXQuaternionDot(q, q);
  if (!(sq > FLT_MIN)) {
    *out = D3DXQUATERNION(0, 0, 0, 0);
    return out;
  }
  const float inv = 1.0f / std::sqrt(sq);
  *out = D3DXQUATERNION(q->x * inv, q->y * inv, q->z * inv, q->w * inv);
  return out;
}

D3DXQUATERNION* D3DXQuaternionRotationAxis(D3DXQUATERNION* out, const D3DXVECTOR3* axis, float angle) {
  D3DXVECTOR3 n;
  D3DXVec3Normalize(&n, axis);
  const float s = std::sin(angle * 0.5f);
  *out = D3DXQUATERNION(n.x * s, n.y * s, n.z * s, std::cos(angle * 0.5f));
  return out;
}

D3DXQUATERNION* D3DXQuaternionConjugate(D3DXQUATERNION* out, const D3DXQUATERNION* q) {
  *out = D3DXQUATERNION(-q->x, -q->y, -q->z, q->w);
  return out;
}

D3DXQUATERNION* D3DXQuaternionRotationYawPitchRoll(D3DXQUATERNION* out, float yaw, float pitch, float roll) {
  D3DXMATRIX m;
  D3DXMatrixRotationYawPitchRoll(&m, yaw, pitch, roll);
  return D3DXQuaternionRotationMatrix(out, &m);
}
