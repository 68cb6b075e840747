#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>

#include "corvane/d3dx_math.h"

namespace {

constexpr float kPi = 3.14159265358979f;

void ExpectNear(const D3DXMATRIX& a, const D3DXMATRIX& b, float eps = 1e-5f) {
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) EXPECT_NEAR(a.m[r][c], b.m[r][c], eps) << "element " << r << "," << c;
}

void ExpectNear(const D3DXVECTOR3& a, const D3DXVECTOR3& b, float eps = 1e-5f) {
  EXPECT_NEAR(a.x, b.x, eps);
  EXPECT_NEAR(a.y, b.y, eps);
  EXPECT_NEAR(a.z, b.z, eps);
}

const D3DXMATRIX kA(1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16);
const D3DXMATRIX kB(2, 0, 1, 0, 0, 1, 0, 3, 1, 0, 0, 1, 0, 2, 1, 1);

}  // namespace

TEST(MatrixMultiply, MatchesHandComputedProduct) {
  // Rows of A times columns of B, worked by hand.
  const D3DXMATRIX expected(5, 10, 5, 13, 17, 22, 13, 33, 29, 34, 21, 53, 41, 46, 29, 73);
  D3DXMATRIX out;
  D3DXMatrixMultiply(&out, &kA, &kB);
  EXPECT_EQ(out, expected);
}

TEST(MatrixMultiply, OutputMayAliasEitherInput) {
  D3DXMATRIX separate, a = kA, b = kB;
  D3DXMatrixMultiply(&separate, &kA, &kB);
  D3DXMatrixMultiply(&a, &a, &kB);
  D3DXMatrixMultiply(&b, &kA, &b);
  EXPECT_EQ(a, separate);
  EXPECT_EQ(b, separate);
  D3DXMATRIX sq = kA, sqSeparate;
  D3DXMatrixMultiply(&sqSeparate, &kA, &kA);
  D3DXMatrixMultiply(&sq, &sq, &sq);
  EXPECT_EQ(sq, sqSeparate);
}

TEST(MatrixMultiply, AppliesLeftOperandFirst) {
  D3DXMATRIX t, r, tr;
  D3DXMatrixTranslation(&t, 1, 0, 0);
  D3DXMatrixRotationZ(&r, kPi / 2);
  D3DXMatrixMultiply(&tr, &t, &r);  // translate, then rotate about z
  D3DXVECTOR3 p(0, 0, 0), out;
  D3DXVec3TransformCoord(&out, &p, &tr);
  ExpectNear(out, D3DXVECTOR3(0, 1, 0));
}

TEST(MatrixInverse, MatchesHandComputedInverseAndDeterminant) {
  // A scale-and-translate matrix whose inverse is known in closed form.
  const D3DXMATRIX m(2, 0, 0, 0, 0, 4, 0, 0, 0, 0, 0.5f, 0, 6, -8, 1, 1);
  const D3DXMATRIX expected(0.5f, 0, 0, 0, 0, 0.25f, 0, 0, 0, 0, 2, 0, -3, 2, -2, 1);
  D3DXMATRIX out;
  float det = 0;
  ASSERT_EQ(D3DXMatrixInverse(&out, &det, &m), &out);
  EXPECT_FLOAT_EQ(det, 4.0f);
  ExpectNear(out, expected);

  D3DXMATRIX prod, id;
  D3DXMatrixMultiply(&prod, &kB, D3DXMatrixInverse(&out, nullptr, &kB));
  ExpectNear(prod, *D3DXMatrixIdentity(&id));
}

TEST(MatrixInverse, SingularReturnsNullAndLeavesOutputUnchanged) {
  D3DXMATRIX out = kB;
  float det = 123;
  EXPECT_EQ(D3DXMatrixInverse(&out, &det, &kA), nullptr);  // kA has rank 2
  EXPECT_EQ(det, 0.0f);
  EXPECT_EQ(out, kB);
  const D3DXMATRIX zero{};
  EXPECT_EQ(D3DXMatrixInverse(&out, nullptr, &zero), nullptr);
  EXPECT_EQ(out, kB);
}

TEST(MatrixInverse, OutputMayAliasInput) {
  D3DXMATRIX m = kB, separate;
  D3DXMatrixInverse(&separate, nullptr, &kB);
  D3DXMatrixInverse(&m, nullptr, &m);
  EXPECT_EQ(m, separate);
}

TEST(Vec3Normalize, Thresholds) {
  struct Case {
    D3DXVECTOR3 in;
    D3DXVECTOR3 expected;
    bool exact;  // copied bit for bit
  } cases[] = {
      {{0, 0, 0}, {0, 0, 0}, true},
      {{1e-20f, 0, 0}, {0, 0, 0}, true},  // squared length below the smallest normal float
      {{3, 0, 4}, {0.6f, 0, 0.8f}, false},
      {{0, 1.0f + 1e-8f, 0}, {0, 1.0f + 1e-8f, 0}, true},      // squared length within 2^-23 of 1
      {{0.6f, 0.8f, 0}, {0.6f, 0.8f, 0}, true},
  };
  for (const Case& c : cases) {
    D3DXVECTOR3 out(9, 9, 9);
    D3DXVec3Normalize(&out, &c.in);
    if (c.exact) EXPECT_EQ(out, c.expected);
    else ExpectNear(out, c.expected);
  }
  D3DXVECTOR3 v(0, 2, 0);
  D3DXVec3Normalize(&v, &v);
  EXPECT_EQ(v, D3DXVECTOR3(0, 1, 0));
}

TEST(Vec3Transform, KeepsWAndTransformsPointsNormalsAndCoords) {
  D3DXMATRIX m;
  D3DXMatrixTranslation(&m, 10, 20, 30);
  const D3DXVECTOR3 p(1, 2, 3);
  D3DXVECTOR4 out4;
  D3DXVec3Transform(&out4, &p, &m);
  EXPECT_EQ(out4, D3DXVECTOR4(11, 22, 33, 1));

  D3DXVECTOR3 n;
  D3DXVec3TransformNormal(&n, &p, &m);
  EXPECT_EQ(n, p);

  m._44 = 2;  // homogeneous divide
  D3DXVECTOR3 c;
  D3DXVec3TransformCoord(&c, &p, &m);
  ExpectNear(c, D3DXVECTOR3(5.5f, 11, 16.5f));
}

TEST(PlaneIntersectLine, HitsAndParallel) {
  const D3DXPLANE ground(0, 1, 0, -2);  // y = 2
  D3DXVECTOR3 a(1, 0, 1), b(1, 4, 3), out(7, 7, 7);
  ASSERT_NE(D3DXPlaneIntersectLine(&out, &ground, &a, &b), nullptr);
  ExpectNear(out, D3DXVECTOR3(1, 2, 2));
  D3DXVECTOR3 c(5, 0, 1), keep = out;
  EXPECT_EQ(D3DXPlaneIntersectLine(&out, &ground, &a, &c), nullptr);
  EXPECT_EQ(out, keep);
}

TEST(Quaternion, MatrixRoundTripAndComposition) {
  D3DXQUATERNION q1, q2, q12;
  const D3DXVECTOR3 axis1(1, 2, 3), axis2(-1, 0.5f, 2);
  D3DXQuaternionRotationAxis(&q1, &axis1, 0.7f);
  D3DXQuaternionRotationAxis(&q2, &axis2, -1.3f);

  // The rotation q1 followed by q2 is the matrix product M(q1) * M(q2).
  D3DXQuaternionMultiply(&q12, &q1, &q2);
  D3DXMATRIX m1, m2, m12, expected;
  D3DXMatrixRotationQuaternion(&m1, &q1);
  D3DXMatrixRotationQuaternion(&m2, &q2);
  D3DXMatrixMultiply(&expected, &m1, &m2);
  ExpectNear(*D3DXMatrixRotationQuaternion(&m12, &q12), expected);

  // Back from a matrix, scaled rows included.
  D3DXQUATERNION back;
  D3DXMATRIX scaled, s;
  D3DXMatrixScaling(&s, 2, 3, 0.5f);
  D3DXMatrixMultiply(&scaled, &s, &m12);
  D3DXQuaternionRotationMatrix(&back, &scaled);
  const float sign = D3DXQuaternionDot(&back, &q12) < 0 ? -1.0f : 1.0f;
  EXPECT_NEAR(back.x * sign, q12.x, 1e-5f);
  EXPECT_NEAR(back.y * sign, q12.y, 1e-5f);
  EXPECT_NEAR(back.z * sign, q12.z, 1e-5f);
  EXPECT_NEAR(back.w * sign, q12.w, 1e-5f);

  // Each branch of the matrix-to-quaternion conversion: rotations of pi about each axis.
  for (D3DXVECTOR3 axis : {D3DXVECTOR3(1, 0, 0), D3DXVECTOR3(0, 1, 0), D3DXVECTOR3(0, 0, 1)}) {
    D3DXMATRIX r, r2;
    D3DXMatrixRotationAxis(&r, &axis, kPi);
    D3DXQUATERNION q;
    D3DXQuaternionRotationMatrix(&q, &r);
    ExpectNear(*D3DXMatrixRotationQuaternion(&r2, &q), r);
  }
}

TEST(Quaternion, SlerpEndsMidpointAndShorterArc) {
  D3DXQUATERNION id(0, 0, 0, 1), z90, out;
  const D3DXVECTOR3 z(0, 0, 1);
  D3DXQuaternionRotationAxis(&z90, &z, kPi / 2);
  D3DXQuaternionSlerp(&out, &id, &z90, 0.0f);
  EXPECT_NEAR(out.w, 1.0f, 1e-6f);
  D3DXQuaternionSlerp(&out, &id, &z90, 1.0f);
  EXPECT_NEAR(out.z, z90.z, 1e-6f);
  D3DXQuaternionSlerp(&out, &id, &z90, 0.5f);
  EXPECT_NEAR(out.z, std::sin(kPi / 8), 1e-5f);
  EXPECT_NEAR(out.w, std::cos(kPi / 8), 1e-5f);

  // The same rotation written with the opposite sign takes the shorter way too.
  const D3DXQUATERNION negated(-z90.x, -z90.y, -z90.z, -z90.w);
  D3DXQuaternionSlerp(&out, &id, &negated, 0.5f);
  EXPECT_NEAR(std::fabs(out.z), std::sin(kPi / 8), 1e-5f);
  EXPECT_NEAR(std::fabs(out.w), std::cos(kPi / 8), 1e-5f);

  // Identical inputs do not divide by a vanishing sine.
  D3DXQuaternionSlerp(&out, &z90, &z90, 0.3f);
  EXPECT_NEAR(out.z, z90.z, 1e-6f);
  EXPECT_FALSE(std::isnan(out.w));
}

TEST(ViewProjection, LookAtAndPerspectiveMapTheTargetToTheScreenCentre) {
  D3DXMATRIX view, proj, vp;
  const D3DXVECTOR3 eye(0, 5, -10), at(0, 0, 0), up(0, 1, 0);
  D3DXMatrixLookAtLH(&view, &eye, &at, &up);
  D3DXMatrixPerspectiveFovLH(&proj, kPi / 4, 4.0f / 3.0f, 1.0f, 100.0f);
  D3DXMatrixMultiply(&vp, &view, &proj);
  D3DXVECTOR3 c;
  D3DXVec3TransformCoord(&c, &at, &vp);
  EXPECT_NEAR(c.x, 0, 1e-5f);
  EXPECT_NEAR(c.y, 0, 1e-5f);
  EXPECT_GT(c.z, 0.0f);
  EXPECT_LT(c.z, 1.0f);
  const D3DXVECTOR3 toTarget = at - eye;
  const D3DXVECTOR3 nearPoint = eye + toTarget * (1.0f / D3DXVec3Length(&toTarget));
  D3DXVec3TransformCoord(&c, &nearPoint, &vp);
  EXPECT_NEAR(c.z, 0.0f, 1e-5f);  // the near plane maps to depth 0
}

TEST(InlineVectorOps, CrossIsLeftHandedAxisOrderAndMinMax) {
  const D3DXVECTOR3 x(1, 0, 0), y(0, 1, 0);
  D3DXVECTOR3 out;
  EXPECT_EQ(*D3DXVec3Cross(&out, &x, &y), D3DXVECTOR3(0, 0, 1));
  const D3DXVECTOR3 a(1, 5, -2), b(3, -1, 0);
  EXPECT_EQ(*D3DXVec3Minimize(&out, &a, &b), D3DXVECTOR3(1, -1, -2));
  EXPECT_EQ(*D3DXVec3Maximize(&out, &a, &b), D3DXVECTOR3(3, 5, 0));
  EXPECT_EQ(*D3DXVec3Lerp(&out, &a, &b, 0.5f), D3DXVECTOR3(2, 2, -1));
}
