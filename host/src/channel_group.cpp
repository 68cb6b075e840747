// Zel_ChannelGroup: a scene's channels, its roots and its evaluation count.
#include "corvane/channel_group.h"

#include <algorithm>

#include "corvane/engine_interface.h"
#include "corvane/zel_channel.h"

Zel_ChannelGroup::Zel_ChannelGroup(EngineInterface* engine) : engine_(engine) {}

Zel_ChannelGroup::~Zel_ChannelGroup() {
  // Links are cut first so that no channel's destructor meets a child that is already gone, and
  // so that shared channels (which outlive the group) keep no pointer to a deleted channel.
  for (const Entry& e : entries_) {
    if (e.owned) {
      e.channel->DisconnectAll();
      continue;
    }
    for (const Entry& o : entries_)
      if (o.owned) e.channel->DisconnectEverywhere(o.channel);
  }
  roots_.clear();
  for (auto it = entries_.rbegin(); it != entries_.rend(); ++it)
    if (it->owned) delete it->channel;
  entries_.clear();
}

Zel_Channel* Zel_ChannelGroup::CreateChannel(const GUID& type) {
  EngineInterface* e = engine_ ? engine_ : globalEngine;
  if (!e) return nullptr;
  Zel_Channel* ch = e->CreateChannelInstance(type, 0, 0);
  if (!ch) return nullptr;
  AddChannel(ch, true);
  return ch;
}

void Zel_ChannelGroup::AddChannel(Zel_Channel* channel, bool owned) {
  if (!channel || IndexOf(channel) >= 0) return;
  entries_.push_back(Entry{channel, owned});
  if (owned) channel->SetChannelGroup(this);
}

bool Zel_ChannelGroup::RemoveChannel(Zel_Channel* channel) {
  const int index = IndexOf(channel);
  if (index < 0) return false;
  const Entry entry = entries_[static_cast<std::size_t>(index)];
  for (const Entry& e : entries_) {
    if (e.channel == channel) continue;
    e.channel->DisconnectEverywhere(channel);
    channel->DisconnectEverywhere(e.channel);
  }
  roots_.erase(std::remove(roots_.begin(), roots_.end(), channel), roots_.end());
  entries_.erase(entries_.begin() + index);
  if (entry.owned) delete channel;
  return true;
}

Zel_Channel* Zel_ChannelGroup::GetChannel(int i) const {
  if (i < 0 || static_cast<std::size_t>(i) >= entries_.size()) return nullptr;
  return entries_[static_cast<std::size_t>(i)].channel;
}

bool Zel_ChannelGroup::IsOwned(int i) const {
  if (i < 0 || static_cast<std::size_t>(i) >= entries_.size()) return false;
  return entries_[static_cast<std::size_t>(i)].owned;
}

int Zel_ChannelGroup::IndexOf(const Zel_Channel* channel) const {
  for (std::size_t i = 0; i < entries_.size(); ++i)
    if (entries_[i].channel == channel) return static_cast<int>(i);
  return -1;
}

void Zel_ChannelGroup::AddRoot(Zel_Channel* channel) {
  if (channel) roots_.push_back(channel);
}

void Zel_ChannelGroup::Evaluate() {
  ++treeCalculateCount_;
  // A root's evaluation may not change the root list under the loop: walk a copy.
  const std::vector<Zel_Channel*> roots = roots_;
  for (Zel_Channel* r : roots) r->CallChannel();
}
