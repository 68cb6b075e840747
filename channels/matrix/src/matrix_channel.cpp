// Vyn_MatrixChannel: the stock matrix channel.
#include "corvane/channels/matrix_channel.h"

#include "corvane/channels/matrix_properties.h"
#include "corvane/chunk_io.h"
#include "corvane/plugin.h"

namespace {
constexpr const char* kMatrixTag = "MTRX";
}

Vyn_MatrixChannel::Vyn_MatrixChannel() : m_pMatrix(&m_Matrix) {
  SetChannelName(kTypeName);
  D3DXMatrixIdentity(&m_Matrix);
  D3DXMatrixIdentity(&m_OldMatrix);
}

// A copy keeps its matrix in its own storage, even when the original points elsewhere: storage
// owned by another object must not be shared by accident.
Vyn_MatrixChannel::Vyn_MatrixChannel(const Vyn_MatrixChannel& other)
    : Zel_Channel(other), m_Matrix(*other.m_pMatrix), m_OldMatrix(other.m_OldMatrix), m_pMatrix(&m_Matrix) {}

Vyn_MatrixChannel& Vyn_MatrixChannel::operator=(const Vyn_MatrixChannel& other) {
  if (this == &other) return *this;
  Zel_Channel::operator=(other);
  *m_pMatrix = *other.m_pMatrix;
  m_OldMatrix = other.m_OldMatrix;
  return *this;
}

Vyn_MatrixChannel::~Vyn_MatrixChannel() = default;

void Vyn_MatrixChannel::CallChannel() { m_OldMatrix = *m_pMatrix; }

bool Vyn_MatrixChannel::SaveChannel(ZelFileSaver& saver) {
  if (!Zel_Channel::SaveChannel(saver)) return false;
  const D3DXMATRIX m = *m_pMatrix;
  saver.SaveTag(kMatrixTag);
  saver.SaveBlockSize(sizeof m);
  saver.SaveDataToFile(&m, sizeof m);
  return saver.IsGood();
}

bool Vyn_MatrixChannel::LoadChannel(ZelFileLoader& loader, Zel_ChannelGroup* group) {
  if (!Zel_Channel::LoadChannel(loader, group)) return false;
  if (loader.GetInfoIfTag(kMatrixTag)) {
    D3DXMATRIX m = *m_pMatrix;
    if (!loader.CopyTagDataToPointer(&m)) return false;
    *m_pMatrix = m;
    m_OldMatrix = m;
    SetTimeStamp();
  }
  return !loader.HasError();
}

D3DXMATRIX Vyn_MatrixChannel::GetOldMatrix() { return m_OldMatrix; }
D3DXMATRIX Vyn_MatrixChannel::GetMatrix() { return *m_pMatrix; }

void Vyn_MatrixChannel::SetMatrix(D3DXMATRIX matrix) {
  *m_pMatrix = matrix;
  SetTimeStamp();
}

namespace corvane {

const PropertyTable* MatrixChannelPropertyTable() {
  static const PropertyTable table = [] {
    PropertyTable t;
    t.properties.push_back(MakeProperty<Vyn_MatrixChannel, D3DXMATRIX>(
        "Matrix", [](Vyn_MatrixChannel& c) { return c.GetMatrix(); },
        [](Vyn_MatrixChannel& c, const D3DXMATRIX& m) { c.SetMatrix(m); }));
    return t;
  }();
  return &table;
}

}  // namespace corvane

CORVANE_PLUGIN(Vyn_MatrixChannel, "Matrix", "81C4E6A0-F759-4D3B-9A2E-60F8B1C37D95",
               "81C4E6A0-F759-4D3B-9A2E-60F8B1C37D95", 1, 0)

CORVANE_PROPERTY_TABLE_EXPORT const corvane::PropertyTable* GetPropertyTable() {
  return corvane::MatrixChannelPropertyTable();
}
