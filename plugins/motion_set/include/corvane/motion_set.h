// Vyn_DX8_MatrixInterpolateSet: keyframed animation for a numbered list of named matrices.
//
// Each entry of the set's list is a MotionFrame: one animated matrix (a bone, a hierarchy frame)
// with its own keys. Owners ask the set for the matrix of entry i at the current time (GetMatrix)
// or at a time of their own (GetMatrixFromTime). The position of a frame in the list is the matrix
// number every operation takes; an entry may be empty.
//
// Time units: the set's times (start and end frame, the time value) are frames of 0.04 s (25 per
// second); key times are ticks of 1/4800 s. A frame time f is f * 0.04 * 4800 ticks, computed in
// extended precision from the single-precision constants (one frame is 192 ticks up to the
// rounding of 0.04 in single precision).
//
// Evaluating a time t:
//   1. f = t * time scale + time shift;
//   2. looping: f = s + frac(|(f - s) / (e - s)|) * (e - s)  (s, e: start and end frame);
//   3. f is clamped below to s (never above);
//   4. looping and f >= e - 1: the closing segment blends from the end pose back to the start pose
//      (GetLoopWrapMatrix); otherwise the two keys around f are found (linear scan up to 5 keys,
//      binary search from 6) and blended: slerped rotation, interpolated translation and scale,
//      M = S * R * T; a "Multiply Matrices" child may be multiplied on.
// A looping set whose end frame equals its start frame holds its start frame: every time maps to
// s (the division by a zero length is never made).
//
// The class is exported whole: the motion set blender derives from it and other plug-ins call it.
// Single-threaded: evaluation writes the set's evaluation state and the frames' current rotations.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <type_traits>

#include "corvane/d3dx_math.h"
#include "corvane/zel_channel.h"
#include "corvane/zel_list.h"

class Vyn_DX8_MatrixInterpolateSet;
class Vyn_TimerChannel;

namespace corvane {
struct PropertyTable;
}

// Exchange and file record of one key: 68 bytes, no padding (both fields are 4-byte aligned, so
// the natural layout is the file layout).
struct SMatrixKey {
  uint32_t dwTime;      // key time in ticks of 1/4800 s
  D3DXMATRIX matrix;    // the key's matrix, row-major
};
static_assert(sizeof(SMatrixKey) == 68, "SMatrixKey is a 68-byte file record");
static_assert(offsetof(SMatrixKey, matrix) == 4, "the matrix follows the time directly");
static_assert(std::is_trivially_copyable_v<SMatrixKey>, "SMatrixKey is written as its bytes");

// One key in memory: the matrix as passed in, and its rotation and scale decomposed once.
struct MotionKey {
  uint32_t dwTime;           // ticks
  D3DXMATRIX matrix;         // exactly as passed in
  D3DXQUATERNION rotation;   // of the normalised rotation part
  D3DXVECTOR3 scale;         // lengths of the first three rows
};

// Result of a key search on one frame.
struct KeySearch {
  float fraction = 0.0f;  // position between the lower and the upper key, 0 ... 1
  int lower = 0;          // index of the key at or before the time
  int upper = 0;          // index of the first key after the time
};

// One animated matrix of a motion set.
class MotionFrame {
 public:
  static constexpr int kNameCapacity = 100;  // 99 characters and the terminator

  MotionFrame();
  MotionFrame(const MotionFrame& other);             // copies the keys
  MotionFrame& operator=(const MotionFrame& other);  // copies the keys
  virtual ~MotionFrame();

  // Replaces the keys by a copy of n keys (n = 0 leaves none). Each key's scale and rotation are
  // decomposed here; key times from -150 to -1 (read as signed) become 0.
  void SetKeys(const SMatrixKey* keys, unsigned long n);
  // Stores the name, cut to 99 characters; null stores the empty name.
  void SetName(const char* name);

  // The two keys around a frame time (see the file comment). Key times are taken modulo the last
  // key's time. Fewer than two keys yield all zero.
  KeySearch FindKeys(float frame) const;
  // The blended matrix for a key search result; updates the current rotation, and with the no
  // movement flag reports the removed horizontal movement to the owner.
  D3DXMATRIX GetKeyMatrix(const KeySearch& k);
  // Caches the poses at frames s and e1 for the closing segment of a looping set. The cache holds
  // the keys' poses only: no multiply child and no removed movement.
  void CacheLoopEnds(float s, float e1);
  // The closing segment: from the end pose (w = 0) back to the start pose (w = 1).
  D3DXMATRIX GetLoopWrapMatrix(float w);

  D3DXMATRIX m_BaseMatrix;                 // identity; the result when there are no keys
  std::unique_ptr<MotionKey[]> m_pKeys;    // owned key array, ascending times expected
  int m_nKeyCount = 0;                     // keys in m_pKeys
  char m_szName[kNameCapacity] = {};       // NUL-terminated name
  bool m_bDummy = false;                   // reports 0 as its highest key time; not blended
  D3DXMATRIX m_StartPose;                  // loop-end cache: pose at the start frame
  D3DXQUATERNION m_StartRotation;          // its rotation
  D3DXMATRIX m_EndPose;                    // loop-end cache: pose at the end frame - 1
  D3DXQUATERNION m_EndRotation;            // its rotation
  D3DXQUATERNION m_CurrentRotation;        // rotation of the last matrix evaluated
  int m_nMultiplyNr = -1;                  // "Multiply Matrices" child n (entry n + 1), -1: none
  Vyn_DX8_MatrixInterpolateSet* m_pOwner = nullptr;  // set whose settings and children apply
  bool m_bInvertRotation = false;          // negate the rotation's w before building the matrix
  bool m_bNoMovement = false;              // remove and report the horizontal translation

 private:
  D3DXMATRIX ApplyMultiplyChild(const D3DXMATRIX& m, D3DXQUATERNION* q) const;
  void ReportMovement(float x, float z) const;
};

class Vyn_DX8_MatrixInterpolateSet : public Zel_Channel {
 public:
  static constexpr const char* kTypeName = "DX8 MotionSet";

  Vyn_DX8_MatrixInterpolateSet();
  // A copy owns copies of the frames; frames that evaluated with the source set now use the copy.
  Vyn_DX8_MatrixInterpolateSet(const Vyn_DX8_MatrixInterpolateSet& other);
  Vyn_DX8_MatrixInterpolateSet& operator=(const Vyn_DX8_MatrixInterpolateSet& other);

  // --- the channel table, in order ------------------------------------------------------------
  ~Vyn_DX8_MatrixInterpolateSet() override;
  // Chunks MSSS, MSFT, MSUL, MSSF, MSEF, MSQC, then per entry MEEE or MQKC + keys, MQQK, MQDK,
  // MQMR, MQNM, MQMN.
  bool SaveChannel(ZelFileSaver& saver) override;
  // Reads what SaveChannel writes. Counts are checked against the rest of the stream before
  // anything is allocated; a bad count or block is reported and fails the load.
  bool LoadChannel(ZelFileLoader& loader, Zel_ChannelGroup* group) override;
  // Declares the "Matrix" type.
  void DoDependencyInit(Zel_List* list) override;

  // Matrix i at the current time (the "Time Value" child's value, else the timers' time 0).
  virtual D3DXMATRIX GetMatrix(int i);
  // Matrix i at time t (frames of 1/25 s).
  virtual D3DXMATRIX GetMatrixFromTime(float t, int i);
  // Entry i is a frame with at least one key.
  virtual bool IsValidMatrix(int i);
  // Creates (or renames) the frame at position i; a null name does nothing.
  virtual void CreateMotionFrame(int i, const char* name);
  // Gives n keys to the first frame named `name` (case ignored); the keys are copied.
  virtual void SetMatrixFrames(SMatrixKey* keys, unsigned long n, const char* name, bool invertRotation);
  virtual void SetStartFrame(float f);
  virtual float GetStartFrame();
  virtual void SetEndFrame(float f);
  virtual float GetEndFrame();
  virtual void SetTimeScale(float f);
  virtual float GetTimeScale();
  virtual void SetTimeShift(float f);
  virtual float GetTimeShift();
  virtual void SetLooping(bool looping);
  virtual bool GetLooping();
  // Recomputes every frame's loop-end cache for the current start and end frame.
  virtual void UpdateStartEndFrame();
  // List entries, empty ones included.
  virtual int GetMatrixCount();
  // The frame's name, or "No Matrix" for an empty entry.
  virtual const char* GetMatrixName(int i);
  virtual bool GetDummyMatrix(int i);
  virtual void SetDummyMatrix(int i, bool dummy);
  virtual int GetKeyCount(int i);
  // Rotation of the last matrix evaluated for entry i; (0, 0, 0, 0) for an empty entry.
  virtual D3DXQUATERNION GetCurrentSlerpQuaterion(int i);
  virtual int GetMatrixMultNr(int i);
  virtual void SetMatrixMultNr(int i, int n);
  virtual bool GetMatrixNoMovement(int i);
  virtual void SetMatrixNoMovement(int i, bool noMovement);
  // Swaps entries i and i + 1 (the caller keeps i + 1 within the list).
  virtual bool MoveSetDown(int i);
  // Swaps entries i and i - 1; positions 0 and 1 never move up (false).
  virtual bool MoveSetUp(int i);
  // Nearest key instead of blending.
  virtual void SetUseLinearCalculation(bool linear);
  virtual bool GetUseLinearCalculation();
  // Index of the key nearest the current time; -1 for an empty entry, 0 in the closing segment.
  virtual int GetFrameNrForQuaternionItem(int i);
  // Time in ticks of entry i's last key; 0 for dummy, empty or keyless entries.
  virtual unsigned long GetHighestFrameOfQueternion(int i);
  // Every frame evaluates with `set`'s settings, children and PositionChangeLength from now on.
  virtual void SetNewMatrixInterpolateSetForQuaternions(Vyn_DX8_MatrixInterpolateSet* set);
  // Called with the horizontal movement a no movement frame removed. Does nothing here.
  virtual void PositionChangeLength(float length);

  // --- additions for tools, tests and scenes ---------------------------------------------------
  // The frame at entry i, or null.
  MotionFrame* GetMotionFrame(int i) const;
  // Gives n keys to the frame at entry i (as SetMatrixFrames does by name). False when entry i
  // is empty.
  bool SetFrameKeys(int i, const SMatrixKey* keys, unsigned long n, bool invertRotation);
  // The last evaluation's mapped frame time, fraction and key pair.
  float GetCurrentFrame() const { return m_fCurrentFrame; }
  float GetCurrentFraction() const { return m_fCurrentFraction; }
  int GetCurrentLowerKey() const { return m_nCurrentLowerKey; }
  int GetCurrentUpperKey() const { return m_nCurrentUpperKey; }
  // The shared "Unique Timers" channel, or null when none is loaded.
  Vyn_TimerChannel* GetTimers() const { return m_pTimers; }

 protected:
  // The time for GetMatrix: the "Time Value" child's value, else the timers' time 0, else the
  // engine's time (no timer plug-in loaded).
  float ReadTime();
  // Maps a time to a frame time (steps 1 to 3); stores it as the current frame.
  float MapTime(float t);
  // Evaluates frame `frame` at time t and records the evaluation state.
  D3DXMATRIX Evaluate(MotionFrame* frame, float t);
  void DeleteFrames();
  void CopyFramesFrom(const Vyn_DX8_MatrixInterpolateSet& other);
  void CopySettingsFrom(const Vyn_DX8_MatrixInterpolateSet& other);
  // Reports a load failure through the first message sink and the loader's error.
  void ReportLoadError(ZelFileLoader& loader, const char* what);

  D3DXMATRIX m_DefaultMatrix;      // result for an entry without a frame
  Zel_List m_Frames;               // MotionFrame pointers, owned; entries may be null
  float m_fCurrentFrame = 0.0f;    // last mapped frame time
  float m_fCurrentFraction = 0.0f; // last key search fraction (or closing segment weight)
  int m_nCurrentLowerKey = 0;      // last key search lower key
  int m_nCurrentUpperKey = 0;      // last key search upper key
  float m_fTimeShift = 0.0f;       // added to the scaled time
  float m_fTimeScale = 1.0f;       // time multiplier
  float m_fStartFrame = 0.0f;      // loop start, lower clamp
  float m_fEndFrame = 100.0f;      // loop end
  Vyn_TimerChannel* m_pTimers = nullptr;  // shared "Unique Timers", not owned
  bool m_bLooping = true;
  bool m_bUseLinearCalculation = false;
};

namespace corvane {

// Lengths of the first three rows of m (the scale a key carries).
D3DXVECTOR3 GetRowLengths(const D3DXMATRIX& m);
// m's upper 3x3 with each row normalised (an all-zero row stays zero), fourth column 0, fourth
// row (0, 0, 0, 1).
D3DXMATRIX GetRotationPart(const D3DXMATRIX& m);
// Frame time to ticks, in extended precision: f * 0.04f * 4800.0f.
long double FrameToTicks(float f);

// The motion set's property table (the blender's table names it as its base).
const PropertyTable* MotionSetPropertyTable();

}  // namespace corvane
