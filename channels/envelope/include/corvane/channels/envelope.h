// Vyn_Envelope: the "Envelope" channel (A73F1C68-2E5D-4B09-9C84-D1F65A0E3B27), a value over time.
//
// It holds keys (time, value) sorted by time and answers, for a time t, the value interpolated
// linearly between the keys around t; before the first key it answers the first key's value,
// after the last the last one's. Without keys it answers its plain value (SetFloat).
//
// GetFloat answers the value at the envelope's own time: the value of its "Time" child when one
// is connected (for instance the particle emitter's "Advanced Function Base", which the emitter
// sets to the life percentage it samples), otherwise the engine time in frames of 1/25 s.
#pragma once

#include <vector>

#include "corvane/channels/value_channel.h"

class Vyn_Envelope : public Vyn_FloatChannel {
 public:
  static constexpr const char* kTypeName = "Envelope";
  // Keys a file or a scene may hold.
  static constexpr int kMaxKeys = 1 << 16;

  struct Key {
    float time;
    float value;
  };

  Vyn_Envelope();
  ~Vyn_Envelope() override;

  // The value channel's chunk, then "ENVK": the key count (4 bytes), then the keys (8 bytes each).
  bool SaveChannel(ZelFileSaver& saver) override;
  bool LoadChannel(ZelFileLoader& loader, Zel_ChannelGroup* group) override;

  float GetFloat() override;
  float GetValueAtTime(float t) override;

  // Inserts a key in time order (after keys of the same time). False for a non-finite time or
  // value, or when the envelope is full.
  virtual bool AddKey(float time, float value);
  virtual bool RemoveKey(int index);
  virtual void ClearKeys();
  virtual int GetKeyCount() const;
  // False for an index outside the keys.
  virtual bool GetKey(int index, Key* key) const;

 private:
  std::vector<Key> m_Keys;
};
