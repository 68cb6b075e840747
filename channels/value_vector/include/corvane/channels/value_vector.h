// Vyn_ValueVector: the "Value Vector" channel (6AB5E2F8-0C71-4D39-A84E-F37B29C5D016).
// Three value children, "X", "Y" and "Z", make one vector. A missing child leaves its component
// at the channel's default vector. Consumers such as the particle emitter read the children
// themselves (component k is child k) and sample each at the time they need.
#pragma once

#include "corvane/d3dx_math.h"
#include "corvane/zel_channel.h"

class Vyn_ValueVector : public Zel_Channel {
 public:
  static constexpr const char* kTypeName = "Value Vector";

  Vyn_ValueVector();
  ~Vyn_ValueVector() override;

  // Chunk "VVEC": the default vector (12 bytes).
  bool SaveChannel(ZelFileSaver& saver) override;
  bool LoadChannel(ZelFileLoader& loader, Zel_ChannelGroup* group) override;

  // The children's current values (GetFloat), the default for missing ones.
  virtual D3DXVECTOR3 GetVector();
  // The children's values at time t (GetValueAtTime), the default for missing ones.
  virtual D3DXVECTOR3 GetVectorAtTime(float t);
  virtual void SetDefaultVector(const D3DXVECTOR3& value);
  virtual D3DXVECTOR3 GetDefaultVector() const;

 private:
  D3DXVECTOR3 m_Default{0, 0, 0};
};
