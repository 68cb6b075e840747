// Vyn_MatrixChannel: the engine's matrix channel (type "Matrix"). Its current matrix lives in
// storage reached through m_pMatrix, which a subclass may point elsewhere (the physics body points
// it at its simulated pose). Implemented by the matrix plug-in (channels/matrix).
#pragma once

#include "corvane/d3dx_math.h"
#include "corvane/zel_channel.h"

class Vyn_MatrixChannel : public Zel_Channel {
 public:
  static constexpr const char* kTypeName = "Matrix";

  Vyn_MatrixChannel();
  Vyn_MatrixChannel(const Vyn_MatrixChannel& other);
  Vyn_MatrixChannel& operator=(const Vyn_MatrixChannel& other);
  ~Vyn_MatrixChannel() override;

  // Remembers the previous matrix (GetOldMatrix) at each evaluation.
  void CallChannel() override;
  // Chunk "MTRX": the current matrix (16 floats).
  bool SaveChannel(ZelFileSaver& saver) override;
  bool LoadChannel(ZelFileLoader& loader, Zel_ChannelGroup* group) override;

  virtual D3DXMATRIX GetOldMatrix();
  virtual D3DXMATRIX GetMatrix();
  virtual void SetMatrix(D3DXMATRIX matrix);

 protected:
  D3DXMATRIX m_Matrix;          // own storage of the current matrix
  D3DXMATRIX m_OldMatrix;       // matrix before the last evaluation
  D3DXMATRIX* m_pMatrix;        // where the current matrix is kept (normally &m_Matrix)
};
