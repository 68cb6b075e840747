// Zel_ChannelGroup: a scene. It owns its channels, holds the root channels evaluated each frame,
// and counts its tree calculations.
#pragma once

#include <vector>

#include "corvane/guid.h"

class Zel_Channel;
class EngineInterface;

class Zel_ChannelGroup {
 public:
  explicit Zel_ChannelGroup(EngineInterface* engine = nullptr);
  virtual ~Zel_ChannelGroup();
  Zel_ChannelGroup(const Zel_ChannelGroup&) = delete;
  Zel_ChannelGroup& operator=(const Zel_ChannelGroup&) = delete;

  // Changes once per evaluation of the group.
  virtual int GetTreeCalculateCount() const { return treeCalculateCount_; }

  // Creates a channel of that type through the engine and adds it (owned). Null for unknown types.
  Zel_Channel* CreateChannel(const GUID& type);
  // Adds a channel. An owned channel is deleted with the group; a shared channel (owned by the
  // engine) is only referenced so that it can be linked to and saved with the scene.
  void AddChannel(Zel_Channel* channel, bool owned = true);
  // Disconnects the channel from every other channel of the group, drops it from the roots and
  // deletes it when owned. False when it is not in the group.
  bool RemoveChannel(Zel_Channel* channel);
  int GetChannelCount() const { return static_cast<int>(entries_.size()); }
  Zel_Channel* GetChannel(int i) const;
  bool IsOwned(int i) const;
  // Index of the channel in the group, or -1.
  int IndexOf(const Zel_Channel* channel) const;

  void AddRoot(Zel_Channel* channel);
  void ClearRoots() { roots_.clear(); }
  const std::vector<Zel_Channel*>& GetRoots() const { return roots_; }

  // One evaluation: counts a tree calculation and calls every root's CallChannel in order.
  void Evaluate();

  EngineInterface* GetEngine() const { return engine_; }

 private:
  struct Entry {
    Zel_Channel* channel;
    bool owned;
  };
  EngineInterface* engine_;
  std::vector<Entry> entries_;
  std::vector<Zel_Channel*> roots_;
  int treeCalculateCount_ = 0;
};
