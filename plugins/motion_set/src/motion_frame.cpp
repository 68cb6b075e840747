// MotionFrame: keys of one animated matrix, the key search and the blend.
#include <cmath>
#include <cstring>

#include "corvane/channels/matrix_channel.h"
#include "corvane/motion_set.h"

namespace corvane {

D3DXVECTOR3 GetRowLengths(const D3DXMATRIX& m) {
  return D3DXVECTOR3(std::sqrt(m._11 * m._11 + m._12 * m._12 + m._13 * m._13),
                     std::sqrt(m._21 * m._21 + m._22 * m._22 + m._23 * m._23),
                     std::sqrt(m._31 * m._31 + m._32 * m._32 + m._33 * m._33));
}

D3DXMATRIX GetRotationPart(const D3DXMATRIX& m) {
  D3DXMATRIX r;
  D3DXMatrixIdentity(&r);
  for (int row = 0; row < 3; ++row) {
    D3DXVECTOR3 v(m.m[row][0], m.m[row][1], m.m[row][2]);
    if (!(v.x == 0.0f && v.y == 0.0f && v.z == 0.0f)) D3DXVec3Normalize(&v, &v);
    r.m[row][0] = v.x;
    r.m[row][1] = v.y;
    r.m[row][2] = v.z;
    r.m[row][3] = 0.0f;
  }
  return r;
}

long double FrameToTicks(float f) {
  return static_cast<long double>(f) * static_cast<long double>(0.04f) *
         static_cast<long double>(4800.0f);
}

}  // namespace corvane

namespace {

const D3DXQUATERNION kIdentityRotation(0, 0, 0, 1);

D3DXMATRIX Identity() {
  D3DXMATRIX m;
  D3DXMatrixIdentity(&m);
  return m;
}

// R * T with T the translation t: R's rows 1 to 3 stay, row 4 becomes (t, 1).
D3DXMATRIX RotationTranslation(const D3DXQUATERNION& q, const D3DXVECTOR3& t) {
  D3DXMATRIX m;
  D3DXMatrixRotationQuaternion(&m, &q);
  m._41 = t.x;
  m._42 = t.y;
  m._43 = t.z;
  m._44 = 1.0f;
  return m;
}

}  // namespace

MotionFrame::MotionFrame()
    : m_BaseMatrix(Identity()),
      m_StartPose(Identity()),
      m_StartRotation(kIdentityRotation),
      m_EndPose(Identity()),
      m_EndRotation(kIdentityRotation),
      m_CurrentRotation(kIdentityRotation) {}

MotionFrame::MotionFrame(const MotionFrame& other) { *this = other; }

MotionFrame& MotionFrame::operator=(const MotionFrame& other) {
  if (this == &other) return *this;
  m_BaseMatrix = other.m_BaseMatrix;
  m_pKeys.reset();
  m_nKeyCount = 0;
  if (other.m_nKeyCount > 0) {
    m_pKeys = std::make_unique<MotionKey[]>(static_cast<std::size_t>(other.m_nKeyCount));
    std::memcpy(m_pKeys.get(), other.m_pKeys.get(),
                sizeof(MotionKey) * static_cast<std::size_t>(other.m_nKeyCount));
    m_nKeyCount = other.m_nKeyCount;
  }
  std::memcpy(m_szName, other.m_szName, sizeof m_szName);
  m_bDummy = other.m_bDummy;
  m_StartPose = other.m_StartPose;
  m_StartRotation = other.m_StartRotation;
  m_EndPose = other.m_EndPose;
  m_EndRotation = other.m_EndRotation;
  m_CurrentRotation = other.m_CurrentRotation;
  m_nMultiplyNr = other.m_nMultiplyNr;
  m_pOwner = other.m_pOwner;
  m_bInvertRotation = other.m_bInvertRotation;
  m_bNoMovement = other.m_bNoMovement;
  return *this;
}

MotionFrame::~MotionFrame() = default;

void MotionFrame::SetName(const char* name) {
  std::size_t n = name ? std::strlen(name) : 0;
  if (n > kNameCapacity - 1) n = kNameCapacity - 1;
  if (n) std::memcpy(m_szName, name, n);
  m_szName[n] = '\0';
}

void MotionFrame::SetKeys(const SMatrixKey* keys, unsigned long n) {
  m_pKeys.reset();
  m_nKeyCount = 0;
  if (n == 0 || keys == nullptr) return;
  // The count is an int in the frame; a larger request cannot be held and is refused.
  if (n > static_cast<unsigned long>(INT32_MAX)) return;
  m_pKeys = std::make_unique<MotionKey[]>(n);
  for (unsigned long i = 0; i < n; ++i) {
    MotionKey& k = m_pKeys[i];
    std::memcpy(&k.matrix, &keys[i].matrix, sizeof(D3DXMATRIX));
    uint32_t time;
    std::memcpy(&time, &keys[i].dwTime, sizeof time);
    k.scale = corvane::GetRowLengths(k.matrix);
    D3DXMATRIX r = corvane::GetRotationPart(k.matrix);
    D3DXQuaternionRotationMatrix(&k.rotation, &r);
    // Times just below zero (-150 ... -1 read as signed) come from rounding and mean 0.
    k.dwTime = time >= 4294967146u ? 0u : time;
  }
  m_nKeyCount = static_cast<int>(n);
}

KeySearch MotionFrame::FindKeys(float frame) const {
  KeySearch r;
  const int n = m_nKeyCount;
  if (n < 2) return r;
  const MotionKey* k = m_pKeys.get();
  const long double ticks = corvane::FrameToTicks(frame);
  const long double last = static_cast<long double>(k[n - 1].dwTime);
  // Key times repeat with the last key's time. A last key at 0 (all keys at 0) or a time that is
  // not finite has no place in that cycle: it counts as the cycle's start.
  long double p = 0.0L;
  if (last > 0) p = (ticks >= 0 && ticks < last) ? ticks : std::fmod(ticks, last);  // same value
  if (!std::isfinite(p)) p = 0.0L;
  // Key times are whole ticks, so "later than p" is "later than floor(p)": the searches compare
  // integers. floor(p) comes from the double nearest p (within one of it) and is then corrected
  // by exact comparisons, which is much cheaper than an extended-precision floor. A negative p
  // (only for negative frame times) lies before every key.
  int64_t pf = -1;
  if (p >= 0) {
    pf = static_cast<int64_t>(static_cast<double>(p));
    if (static_cast<long double>(pf) > p)
      --pf;
    else if (static_cast<long double>(pf + 1) <= p)
      ++pf;
  }

  if (n <= 5) {
    for (int i = 0; i < n; ++i) {
      if (static_cast<int64_t>(k[i].dwTime) > pf) {
        r.upper = i;
        r.lower = i > 0 ? i - 1 : 0;
        break;
      }
    }
  } else {
    int lo = 0, hi = n - 1;
    for (;;) {
      const int d = hi - lo;
      if (d <= 1) {
        if (static_cast<int64_t>(k[lo].dwTime) > pf) {
          r.upper = lo;
          r.lower = lo > 0 ? lo - 1 : lo;
        } else {
          r.upper = hi;
          r.lower = hi - 1;
        }
        break;
      }
      const int mid = lo + d / 2;
      if (static_cast<int64_t>(k[mid].dwTime) <= pf)
        lo = mid;
      else
        hi = mid;
    }
  }
  const long double kl = k[r.lower].dwTime, ku = k[r.upper].dwTime;
  if (ku - kl > 0) r.fraction = static_cast<float>((p - kl) / (ku - kl));
  return r;
}

void MotionFrame::ReportMovement(float x, float z) const {
  if (m_pOwner) m_pOwner->PositionChangeLength(std::sqrt(x * x + z * z));
}

D3DXMATRIX MotionFrame::ApplyMultiplyChild(const D3DXMATRIX& m, D3DXQUATERNION* q) const {
  const int n = m_nMultiplyNr;
  if (n < 0 || n == INT32_MAX || m_pOwner == nullptr) return m;
  auto* child = dynamic_cast<Vyn_MatrixChannel*>(m_pOwner->GetChild(n + 1));
  if (child == nullptr) return m;
  const D3DXMATRIX c = child->GetMatrix();
  const D3DXMATRIX cr = corvane::GetRotationPart(c);
  D3DXQUATERNION qc;
  D3DXQuaternionRotationMatrix(&qc, &cr);
  D3DXQuaternionMultiply(q, q, &qc);
  D3DXMATRIX out;
  D3DXMatrixMultiply(&out, &m, &c);
  return out;
}

D3DXMATRIX MotionFrame::GetKeyMatrix(const KeySearch& ks) {
  const int n = m_nKeyCount;
  if (n == 0) return m_BaseMatrix;
  const MotionKey* k = m_pKeys.get();
  const bool inLower = ks.lower >= 0 && ks.lower < n;
  const bool inUpper = ks.upper >= 0 && ks.upper < n;

  D3DXQUATERNION q;
  D3DXVECTOR3 t, s;
  if (m_pOwner && m_pOwner->GetUseLinearCalculation()) {
    // Nearest key, no blending; the no movement flag does not apply.
    int i = ks.fraction >= 0.5f ? ks.upper : ks.lower;
    if (i < 0 || i >= n) i = 0;
    q = k[i].rotation;
    t = D3DXVECTOR3(k[i].matrix._41, k[i].matrix._42, k[i].matrix._43);
    s = k[i].scale;
  } else {
    // A key index outside the keys contributes key 0's rotation and the identity's translation
    // and scale (the search never yields one).
    const D3DXQUATERNION qa = inLower ? k[ks.lower].rotation : k[0].rotation;
    const D3DXQUATERNION qb = inUpper ? k[ks.upper].rotation : k[0].rotation;
    const D3DXVECTOR3 ta = inLower ? D3DXVECTOR3(k[ks.lower].matrix._41, k[ks.lower].matrix._42,
                                                 k[ks.lower].matrix._43)
                                   : D3DXVECTOR3(0, 0, 0);
    const D3DXVECTOR3 tb = inUpper ? D3DXVECTOR3(k[ks.upper].matrix._41, k[ks.upper].matrix._42,
                                                 k[ks.upper].matrix._43)
                                   : D3DXVECTOR3(0, 0, 0);
    const D3DXVECTOR3 sa = inLower ? k[ks.lower].scale : D3DXVECTOR3(1, 1, 1);
    const D3DXVECTOR3 sb = inUpper ? k[ks.upper].scale : D3DXVECTOR3(1, 1, 1);
    const float f = ks.fraction;
    t = ta + (tb - ta) * f;
    s = sa + (sb - sa) * f;
    if (f == 0.0f && ks.lower == 0 && ks.upper == 0)
      q = qa;
    else
      D3DXQuaternionSlerp(&q, &qa, &qb, f);
    if (m_bNoMovement) {
      ReportMovement(t.x, t.z);
      t.x = 0.0f;
      t.z = 0.0f;
    }
  }
  if (m_bInvertRotation) q.w = -q.w;

  // M = S * (R * T): R * T is R with row 4 = (t, 1); S scales its first three rows.
  D3DXMATRIX m = RotationTranslation(q, t);
  const float sc[3] = {s.x, s.y, s.z};
  for (int row = 0; row < 3; ++row)
    for (int col = 0; col < 4; ++col) m.m[row][col] *= sc[row];

  m = ApplyMultiplyChild(m, &q);
  m_CurrentRotation = q;
  return m;
}

void MotionFrame::CacheLoopEnds(float s, float e1) {
  // The cache is the keys' own poses: the multiply child is applied when the closing segment is
  // evaluated, and so is the removal of horizontal movement (which then reports the movement of
  // the closing segment itself).
  const int multiply = m_nMultiplyNr;
  const bool noMovement = m_bNoMovement;
  m_nMultiplyNr = -1;
  m_bNoMovement = false;

  m_StartPose = GetKeyMatrix(FindKeys(s));
  D3DXMATRIX r = corvane::GetRotationPart(m_StartPose);
  D3DXQuaternionRotationMatrix(&m_StartRotation, &r);
  m_EndPose = GetKeyMatrix(FindKeys(e1));
  r = corvane::GetRotationPart(m_EndPose);
  D3DXQuaternionRotationMatrix(&m_EndRotation, &r);

  m_nMultiplyNr = multiply;
  m_bNoMovement = noMovement;
}

D3DXMATRIX MotionFrame::GetLoopWrapMatrix(float w) {
  D3DXVECTOR3 te(m_EndPose._41, m_EndPose._42, m_EndPose._43);
  D3DXVECTOR3 ts(m_StartPose._41, m_StartPose._42, m_StartPose._43);
  D3DXVECTOR3 t = te + (ts - te) * w;
  if (m_bNoMovement) {
    ReportMovement(t.x, t.z);
    t.x = 0.0f;
    t.z = 0.0f;
  }
  D3DXQUATERNION q;
  D3DXQuaternionSlerp(&q, &m_EndRotation, &m_StartRotation, w);
  D3DXMATRIX m = RotationTranslation(q, t);
  m = ApplyMultiplyChild(m, &q);
  m_CurrentRotation = q;
  return m;
}
