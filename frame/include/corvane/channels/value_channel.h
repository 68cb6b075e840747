// Vyn_FloatChannel: the engine's value channel (type "Value"). It holds one float; consumers ask
// it only for GetFloat. A value that is a function of time also answers GetValueAtTime.
// Implemented by the value plug-in (channels/value); classes deriving from it link that library.
#pragma once

#include "corvane/zel_channel.h"

class Vyn_FloatChannel : public Zel_Channel {
 public:
  static constexpr const char* kTypeName = "Value";

  Vyn_FloatChannel();
  ~Vyn_FloatChannel() override;

  // Remembers the previous value (GetOldFloat) at each evaluation.
  void CallChannel() override;
  // Chunk "FVAL": current value, default value, default-setting flag.
  bool SaveChannel(ZelFileSaver& saver) override;
  bool LoadChannel(ZelFileLoader& loader, Zel_ChannelGroup* group) override;

  virtual float GetFloat();
  virtual float GetOldFloat();
  virtual void SetFloat(float value);
  virtual float GetDefaultFloat();
  virtual void SetDefaultFloat(float value);
  virtual bool GetDefaultFloatSetting();
  virtual void SetDefaultFloatSetting(bool useDefault);
  // The value at time t (frames of 1/25 s). A value that does not depend on time answers GetFloat.
  virtual float GetValueAtTime(float t);

 protected:
  float m_fValue = 0.0f;         // current value; subclasses may write it
  float m_fOldValue = 0.0f;      // value before the last evaluation
  float m_fDefaultValue = 0.0f;  // value restored by SetDefaultFloatSetting(true)
  bool m_bUseDefault = false;
};
