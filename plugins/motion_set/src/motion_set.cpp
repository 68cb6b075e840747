// Vyn_DX8_MatrixInterpolateSet: construction, editing, evaluation and persistence.
#include "corvane/motion_set.h"

#include <cmath>
#include <cstring>
#include <string>
#include <strings.h>

#include "corvane/channels/timer_channel.h"
#include "corvane/channels/value_channel.h"
#include "corvane/chunk_io.h"
#include "corvane/engine_interface.h"
#include "corvane/plugin.h"
#include "corvane/type_ids.h"

namespace {

D3DXMATRIX Identity() {
  D3DXMATRIX m;
  D3DXMatrixIdentity(&m);
  return m;
}

// Smallest stream a list entry can take: one tag token ('T' and four characters).
constexpr std::size_t kTagTokenSize = 5;
// Stream size of one key block: 'B', a 32-bit size, the 68-byte record.
constexpr std::size_t kKeyBlockTokenSize = 5 + sizeof(SMatrixKey);

}  // namespace

Vyn_DX8_MatrixInterpolateSet::Vyn_DX8_MatrixInterpolateSet() {
  SetChannelName(kTypeName);
  SetChildCreationCount(1);
  corvane::LinkDeclarer links(this);
  links.Declare(0, "Value", corvane::ids::kValue, 0, "Time Value");
  links.Declare(1, "Matrix", corvane::ids::kMatrix, kManyChildren, "Multiply Matrices");
  m_DefaultMatrix = Identity();
  EngineInterface* e = engine ? engine : globalEngine;
  if (e) {
    m_pTimers = dynamic_cast<Vyn_TimerChannel*>(
        e->GetSharedChannel(corvane::ids::kTimer, Vyn_TimerChannel::kSharedName));
  }
}

// Everything a copy takes over besides the frames: evaluation state, time mapping and flags.
void Vyn_DX8_MatrixInterpolateSet::CopySettingsFrom(const Vyn_DX8_MatrixInterpolateSet& other) {
  m_fCurrentFrame = other.m_fCurrentFrame;
  m_fCurrentFraction = other.m_fCurrentFraction;
  m_nCurrentLowerKey = other.m_nCurrentLowerKey;
  m_nCurrentUpperKey = other.m_nCurrentUpperKey;
  m_fTimeShift = other.m_fTimeShift;
  m_fTimeScale = other.m_fTimeScale;
  m_fStartFrame = other.m_fStartFrame;
  m_fEndFrame = other.m_fEndFrame;
  m_pTimers = other.m_pTimers;
  m_bLooping = other.m_bLooping;
  m_bUseLinearCalculation = other.m_bUseLinearCalculation;
}

Vyn_DX8_MatrixInterpolateSet::Vyn_DX8_MatrixInterpolateSet(const Vyn_DX8_MatrixInterpolateSet& other)
    : Zel_Channel(other) {
  m_DefaultMatrix = other.m_DefaultMatrix;
  CopyFramesFrom(other);
  CopySettingsFrom(other);
}

Vyn_DX8_MatrixInterpolateSet& Vyn_DX8_MatrixInterpolateSet::operator=(
    const Vyn_DX8_MatrixInterpolateSet& other) {
  if (this == &other) return *this;
  Zel_Channel::operator=(other);
  m_DefaultMatrix = other.m_DefaultMatrix;
  DeleteFrames();
  CopyFramesFrom(other);
  CopySettingsFrom(other);
  return *this;
}

Vyn_DX8_MatrixInterpolateSet::~Vyn_DX8_MatrixInterpolateSet() { DeleteFrames(); }

void Vyn_DX8_MatrixInterpolateSet::DeleteFrames() {
  for (int i = 0; i < m_Frames.GetItemCount(); ++i)
    delete static_cast<MotionFrame*>(m_Frames.GetItem(i));
  m_Frames.ClearItems();
}

void Vyn_DX8_MatrixInterpolateSet::CopyFramesFrom(const Vyn_DX8_MatrixInterpolateSet& other) {
  for (int i = 0; i < other.m_Frames.GetItemCount(); ++i) {
    auto* src = static_cast<MotionFrame*>(other.m_Frames.GetItem(i));
    MotionFrame* copy = nullptr;
    if (src) {
      copy = new MotionFrame(*src);
      if (copy->m_pOwner == &other) copy->m_pOwner = this;
    }
    m_Frames.AddItem(copy);
  }
}

MotionFrame* Vyn_DX8_MatrixInterpolateSet::GetMotionFrame(int i) const {
  return static_cast<MotionFrame*>(m_Frames.GetItem(i));
}

void Vyn_DX8_MatrixInterpolateSet::DoDependencyInit(Zel_List* list) {
  AddChannelGuidDepend(corvane::ids::kMatrix, list);
}

// --- editing --------------------------------------------------------------------------------

void Vyn_DX8_MatrixInterpolateSet::CreateMotionFrame(int i, const char* name) {
  if (name == nullptr || i < 0) return;
  MotionFrame* frame = GetMotionFrame(i);
  if (frame == nullptr) frame = new MotionFrame();
  frame->m_pOwner = this;
  frame->SetName(name);
  m_Frames.SetItem(frame, i);
}

void Vyn_DX8_MatrixInterpolateSet::SetMatrixFrames(SMatrixKey* keys, unsigned long n,
                                                   const char* name, bool invertRotation) {
  if (name == nullptr) return;
  for (int i = 0; i < m_Frames.GetItemCount(); ++i) {
    MotionFrame* frame = GetMotionFrame(i);
    if (frame && strcasecmp(frame->m_szName, name) == 0) {
      SetFrameKeys(i, keys, n, invertRotation);
      return;
    }
  }
}

bool Vyn_DX8_MatrixInterpolateSet::SetFrameKeys(int i, const SMatrixKey* keys, unsigned long n,
                                                bool invertRotation) {
  MotionFrame* frame = GetMotionFrame(i);
  if (frame == nullptr) return false;
  frame->m_bInvertRotation = invertRotation;
  frame->SetKeys(keys, n);
  frame->CacheLoopEnds(m_fStartFrame, m_fEndFrame - 1.0f);
  return true;
}

void Vyn_DX8_MatrixInterpolateSet::SetStartFrame(float f) {
  m_fStartFrame = f;
  UpdateStartEndFrame();
}
float Vyn_DX8_MatrixInterpolateSet::GetStartFrame() { return m_fStartFrame; }
void Vyn_DX8_MatrixInterpolateSet::SetEndFrame(float f) {
  m_fEndFrame = f;
  UpdateStartEndFrame();
}
float Vyn_DX8_MatrixInterpolateSet::GetEndFrame() { return m_fEndFrame; }
void Vyn_DX8_MatrixInterpolateSet::SetTimeScale(float f) { m_fTimeScale = f; }
float Vyn_DX8_MatrixInterpolateSet::GetTimeScale() { return m_fTimeScale; }
void Vyn_DX8_MatrixInterpolateSet::SetTimeShift(float f) { m_fTimeShift = f; }
float Vyn_DX8_MatrixInterpolateSet::GetTimeShift() { return m_fTimeShift; }
void Vyn_DX8_MatrixInterpolateSet::SetLooping(bool looping) { m_bLooping = looping; }
bool Vyn_DX8_MatrixInterpolateSet::GetLooping() { return m_bLooping; }
void Vyn_DX8_MatrixInterpolateSet::SetUseLinearCalculation(bool linear) { m_bUseLinearCalculation = linear; }
bool Vyn_DX8_MatrixInterpolateSet::GetUseLinearCalculation() { return m_bUseLinearCalculation; }

void Vyn_DX8_MatrixInterpolateSet::UpdateStartEndFrame() {
  for (int i = 0; i < m_Frames.GetItemCount(); ++i)
    if (MotionFrame* frame = GetMotionFrame(i)) frame->CacheLoopEnds(m_fStartFrame, m_fEndFrame - 1.0f);
}

int Vyn_DX8_MatrixInterpolateSet::GetMatrixCount() { return m_Frames.GetItemCount(); }

const char* Vyn_DX8_MatrixInterpolateSet::GetMatrixName(int i) {
  MotionFrame* frame = GetMotionFrame(i);
  return frame ? frame->m_szName : "No Matrix";
}

bool Vyn_DX8_MatrixInterpolateSet::GetDummyMatrix(int i) {
  MotionFrame* frame = GetMotionFrame(i);
  return frame && frame->m_bDummy;
}
void Vyn_DX8_MatrixInterpolateSet::SetDummyMatrix(int i, bool dummy) {
  if (MotionFrame* frame = GetMotionFrame(i)) frame->m_bDummy = dummy;
}
int Vyn_DX8_MatrixInterpolateSet::GetKeyCount(int i) {
  MotionFrame* frame = GetMotionFrame(i);
  return frame ? frame->m_nKeyCount : 0;
}
int Vyn_DX8_MatrixInterpolateSet::GetMatrixMultNr(int i) {
  MotionFrame* frame = GetMotionFrame(i);
  return frame ? frame->m_nMultiplyNr : -1;
}
void Vyn_DX8_MatrixInterpolateSet::SetMatrixMultNr(int i, int n) {
  if (MotionFrame* frame = GetMotionFrame(i)) frame->m_nMultiplyNr = n;
}
bool Vyn_DX8_MatrixInterpolateSet::GetMatrixNoMovement(int i) {
  MotionFrame* frame = GetMotionFrame(i);
  return frame && frame->m_bNoMovement;
}
void Vyn_DX8_MatrixInterpolateSet::SetMatrixNoMovement(int i, bool noMovement) {
  if (MotionFrame* frame = GetMotionFrame(i)) frame->m_bNoMovement = noMovement;
}

bool Vyn_DX8_MatrixInterpolateSet::MoveSetDown(int i) {
  // The caller keeps i + 1 within the list; outside it the swap would grow the list, so an
  // index outside is refused instead.
  if (i < 0 || i + 1 >= m_Frames.GetItemCount()) return false;
  void* a = m_Frames.GetItem(i);
  void* b = m_Frames.GetItem(i + 1);
  m_Frames.SetItem(b, i);
  m_Frames.SetItem(a, i + 1);
  return true;
}

bool Vyn_DX8_MatrixInterpolateSet::MoveSetUp(int i) {
  if (i <= 1) return false;
  if (i >= m_Frames.GetItemCount()) return false;
  void* a = m_Frames.GetItem(i);
  void* b = m_Frames.GetItem(i - 1);
  m_Frames.SetItem(b, i);
  m_Frames.SetItem(a, i - 1);
  return true;
}

void Vyn_DX8_MatrixInterpolateSet::SetNewMatrixInterpolateSetForQuaternions(
    Vyn_DX8_MatrixInterpolateSet* set) {
  for (int i = 0; i < m_Frames.GetItemCount(); ++i)
    if (MotionFrame* frame = GetMotionFrame(i)) frame->m_pOwner = set;
}

void Vyn_DX8_MatrixInterpolateSet::PositionChangeLength(float) {}

// --- evaluation -----------------------------------------------------------------------------

float Vyn_DX8_MatrixInterpolateSet::ReadTime() {
  if (auto* value = dynamic_cast<Vyn_FloatChannel*>(GetChild(0))) return value->GetFloat();
  if (m_pTimers) return m_pTimers->GetTime(0);
  EngineInterface* e = engine ? engine : globalEngine;
  return e ? static_cast<float>(e->GetEngineTime()) : 0.0f;
}

float Vyn_DX8_MatrixInterpolateSet::MapTime(float t) {
  const float s = m_fStartFrame, e = m_fEndFrame;
  float f = t * m_fTimeScale + m_fTimeShift;
  if (m_bLooping) {
    // A time before s counts forward from s. A loop without length (or one so short that the
    // ratio overflows) has a single place: its start.
    const float x = std::fabs((f - s) / (e - s));
    if (std::isfinite(x))
      f = s + (x - std::trunc(x)) * (e - s);
    else
      f = s;
  }
  // Clamped below only; a time that is not a number also lands on s.
  if (!(f >= s)) f = s;
  m_fCurrentFrame = f;
  return f;
}

D3DXMATRIX Vyn_DX8_MatrixInterpolateSet::Evaluate(MotionFrame* frame, float t) {
  const float f = MapTime(t);
  const float e1 = m_fEndFrame - 1.0f;
  if (m_bLooping && f >= e1) {
    float w = f - e1;
    if (w > 1.0f) w = 1.0f;
    m_fCurrentFraction = w;
    return frame->GetLoopWrapMatrix(w);
  }
  const KeySearch k = frame->FindKeys(f);
  m_fCurrentFraction = k.fraction;
  m_nCurrentLowerKey = k.lower;
  m_nCurrentUpperKey = k.upper;
  return frame->GetKeyMatrix(k);
}

D3DXMATRIX Vyn_DX8_MatrixInterpolateSet::GetMatrix(int i) {
  MotionFrame* frame = GetMotionFrame(i);
  if (frame == nullptr) return m_DefaultMatrix;
  return Evaluate(frame, ReadTime());
}

D3DXMATRIX Vyn_DX8_MatrixInterpolateSet::GetMatrixFromTime(float t, int i) {
  MotionFrame* frame = GetMotionFrame(i);
  if (frame == nullptr) return m_DefaultMatrix;
  return Evaluate(frame, t);
}

bool Vyn_DX8_MatrixInterpolateSet::IsValidMatrix(int i) {
  MotionFrame* frame = GetMotionFrame(i);
  return frame && frame->m_nKeyCount > 0;
}

int Vyn_DX8_MatrixInterpolateSet::GetFrameNrForQuaternionItem(int i) {
  MotionFrame* frame = GetMotionFrame(i);
  if (frame == nullptr) return -1;
  const float f = MapTime(ReadTime());
  const float e1 = m_fEndFrame - 1.0f;
  if (m_bLooping && f >= e1) {
    float w = f - e1;
    if (w > 1.0f) w = 1.0f;
    m_fCurrentFraction = w;
    return 0;
  }
  const KeySearch k = frame->FindKeys(f);
  m_fCurrentFraction = k.fraction;
  m_nCurrentLowerKey = k.lower;
  m_nCurrentUpperKey = k.upper;
  return k.fraction < 0.5f ? k.lower : k.upper;
}

unsigned long Vyn_DX8_MatrixInterpolateSet::GetHighestFrameOfQueternion(int i) {
  if (GetDummyMatrix(i) || !IsValidMatrix(i)) return 0;
  // A derived class may call an entry valid that has no keys of its own here (the blender
  // answers for its first set): such an entry has no last key.
  MotionFrame* frame = GetMotionFrame(i);
  if (frame == nullptr || frame->m_nKeyCount == 0) return 0;
  return frame->m_pKeys[frame->m_nKeyCount - 1].dwTime;
}

D3DXQUATERNION Vyn_DX8_MatrixInterpolateSet::GetCurrentSlerpQuaterion(int i) {
  MotionFrame* frame = GetMotionFrame(i);
  return frame ? frame->m_CurrentRotation : D3DXQUATERNION(0, 0, 0, 0);
}

// --- persistence ----------------------------------------------------------------------------

namespace {

bool SaveChunk(ZelFileSaver& saver, const char* tag, const void* data, uint32_t size) {
  return saver.SaveTag(tag) && saver.SaveBlockSize(size) && saver.SaveDataToFile(data, size);
}

}  // namespace

bool Vyn_DX8_MatrixInterpolateSet::SaveChannel(ZelFileSaver& saver) {
  if (!Zel_Channel::SaveChannel(saver)) return false;
  const uint8_t looping = m_bLooping ? 1 : 0;
  const int32_t count = m_Frames.GetItemCount();
  bool ok = SaveChunk(saver, "MSSS", &m_fTimeScale, 4) && SaveChunk(saver, "MSFT", &m_fTimeShift, 4) &&
            SaveChunk(saver, "MSUL", &looping, 1) && SaveChunk(saver, "MSSF", &m_fStartFrame, 4) &&
            SaveChunk(saver, "MSEF", &m_fEndFrame, 4) && SaveChunk(saver, "MSQC", &count, 4);
  for (int i = 0; ok && i < count; ++i) {
    const MotionFrame* frame = GetMotionFrame(i);
    if (frame == nullptr) {
      ok = saver.SaveTag("MEEE");
      continue;
    }
    const int32_t keys = frame->m_nKeyCount;
    ok = SaveChunk(saver, "MQKC", &keys, 4);
    for (int k = 0; ok && k < keys; ++k) {
      SMatrixKey record;
      record.dwTime = frame->m_pKeys[k].dwTime;
      record.matrix = frame->m_pKeys[k].matrix;
      ok = saver.SaveBlockSize(sizeof record) && saver.SaveDataToFile(&record, sizeof record);
    }
    const uint8_t invert = frame->m_bInvertRotation ? 1 : 0;
    const uint8_t dummy = frame->m_bDummy ? 1 : 0;
    const int32_t multiply = frame->m_nMultiplyNr;
    const uint8_t noMovement = frame->m_bNoMovement ? 1 : 0;
    const uint32_t nameSize = static_cast<uint32_t>(std::strlen(frame->m_szName) + 1);
    ok = ok && SaveChunk(saver, "MQQK", &invert, 1) && SaveChunk(saver, "MQDK", &dummy, 1) &&
         SaveChunk(saver, "MQMR", &multiply, 4) && SaveChunk(saver, "MQNM", &noMovement, 1) &&
         SaveChunk(saver, "MQMN", frame->m_szName, nameSize);
  }
  return ok && saver.IsGood();
}

void Vyn_DX8_MatrixInterpolateSet::ReportLoadError(ZelFileLoader& loader, const char* what) {
  // The loader keeps its first error; a failure it found itself is appended to ours.
  const std::string text = std::string(GetChannelName()) + ": " + what;
  const std::string cause = loader.HasError() ? ": " + loader.GetError() : std::string();
  loader.SetError(text);
  EngineInterface* e = engine ? engine : globalEngine;
  if (e && e->messageSink1) e->messageSink1->ShowDebugMessage(text.c_str(), cause.c_str());
}

bool Vyn_DX8_MatrixInterpolateSet::LoadChannel(ZelFileLoader& loader, Zel_ChannelGroup* group) {
  if (!Zel_Channel::LoadChannel(loader, group)) return false;
  DeleteFrames();

  // A chunk whose block is missing, malformed or too large for its field fails the load.
  auto readChunk = [&](const char* tag, void* dest, uint32_t size) -> bool {
    if (!loader.GetInfoIfTag(tag)) return true;
    if (loader.CopyTagDataToPointer(dest, size)) return true;
    ReportLoadError(loader, (std::string("bad block in chunk ") + tag).c_str());
    return false;
  };
  auto readFlag = [&](const char* tag, bool* flag) -> bool {
    if (!loader.GetInfoIfTag(tag)) return true;
    uint8_t b = *flag ? 1 : 0;
    if (!loader.CopyTagDataToPointer(&b)) {
      ReportLoadError(loader, (std::string("bad block in chunk ") + tag).c_str());
      return false;
    }
    *flag = b != 0;
    return true;
  };

  if (!readChunk("MSSS", &m_fTimeScale, 4) || !readChunk("MSFT", &m_fTimeShift, 4) ||
      !readFlag("MSUL", &m_bLooping) || !readChunk("MSSF", &m_fStartFrame, 4) ||
      !readChunk("MSEF", &m_fEndFrame, 4))
    return false;

  // A token cut short by the end of the stream is found by the tag tests themselves.
  if (loader.HasError()) {
    ReportLoadError(loader, "malformed settings chunks");
    return false;
  }
  if (!loader.GetInfoIfTag("MSQC")) {
    if (!loader.HasError()) return true;
    ReportLoadError(loader, "malformed entry count chunk");
    return false;
  }
  int32_t count = 0;
  if (!loader.CopyTagDataToPointer(&count)) {
    ReportLoadError(loader, "bad block in chunk MSQC");
    return false;
  }
  // Every entry takes at least one tag token: a count the rest of the stream cannot hold is a
  // malformed file, found before anything is allocated.
  if (count < 0 || static_cast<std::size_t>(count) > loader.GetRemaining() / kTagTokenSize) {
    ReportLoadError(loader, ("entry count " + std::to_string(count) + " does not fit the stream").c_str());
    return false;
  }

  for (int i = 0; i < count; ++i) {
    if (loader.AtEnd()) {
      ReportLoadError(loader, ("stream ends before entry " + std::to_string(i)).c_str());
      return false;
    }
    const uint64_t entryStart = loader.GetOffset();
    if (loader.GetInfoIfTag("MEEE")) {
      m_Frames.SetItem(nullptr, i);
      continue;
    }
    auto* frame = new MotionFrame();
    frame->m_pOwner = this;
    m_Frames.SetItem(frame, i);

    int32_t keyCount = 0;
    if (!readChunk("MQKC", &keyCount, 4)) return false;
    if (keyCount < 0 ||
        static_cast<std::size_t>(keyCount) > loader.GetRemaining() / kKeyBlockTokenSize) {
      ReportLoadError(loader, ("key count " + std::to_string(keyCount) + " of entry " +
                               std::to_string(i) + " does not fit the stream")
                                  .c_str());
      return false;
    }
    if (keyCount > 0) {
      auto keys = std::make_unique<SMatrixKey[]>(static_cast<std::size_t>(keyCount));
      for (int k = 0; k < keyCount; ++k) {
        // A short block would leave the rest of the record unread: only whole records count.
        if (loader.GetSizeDataBlock(false) != sizeof(SMatrixKey) ||
            !loader.CopyTagDataToPointer(&keys[k], sizeof(SMatrixKey))) {
          ReportLoadError(loader, ("bad key block " + std::to_string(k) + " of entry " +
                                   std::to_string(i))
                                      .c_str());
          return false;
        }
      }
      frame->SetKeys(keys.get(), static_cast<unsigned long>(keyCount));
    }
    if (!readFlag("MQQK", &frame->m_bInvertRotation) || !readFlag("MQDK", &frame->m_bDummy) ||
        !readChunk("MQMR", &frame->m_nMultiplyNr, 4) || !readFlag("MQNM", &frame->m_bNoMovement))
      return false;
    if (loader.GetInfoIfTag("MQMN")) {
      uint32_t size = 0;
      const uint8_t* data = loader.PeekBlock(&size);
      if (data == nullptr || !loader.SkipBlock(&size)) {
        ReportLoadError(loader, "bad block in chunk MQMN");
        return false;
      }
      if (size > 0) {
        // The name ends at its terminator or at the block's end, cut to 99 characters.
        char name[MotionFrame::kNameCapacity] = {};
        std::size_t n = 0;
        while (n < size && n < sizeof name - 1 && data[n] != 0) {
          name[n] = static_cast<char>(data[n]);
          ++n;
        }
        frame->SetName(name);
      }
    }
    // A cut token, or an entry that holds none of a frame's chunks, is not a frame.
    if (loader.HasError() || loader.GetOffset() == entryStart) {
      ReportLoadError(loader, ("entry " + std::to_string(i) + " is malformed").c_str());
      return false;
    }
    // The loop-end cache is computed once the frame's flags are known, as SetMatrixFrames does
    // (it sets the inverted rotation before caching), so that the loaded set evaluates as the
    // saved one.
    frame->CacheLoopEnds(m_fStartFrame, m_fEndFrame - 1.0f);
  }
  return true;
}

CORVANE_PLUGIN(Vyn_DX8_MatrixInterpolateSet, Vyn_DX8_MatrixInterpolateSet::kTypeName,
               "0E5C8A27-94F1-4B6D-85A3-7FC20E6D914B", "0E5C8A27-94F1-4B6D-85A3-7FC20E6D914B", 0, 0)
