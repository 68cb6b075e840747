// Zel_Channel: the base of every channel.
//
// A channel declares its child links in its constructor (SetChildCreateType) and reads its
// children while it is evaluated. Children are stored as one flat vector of entries in link order:
// a one-child link is one entry (null while nothing is connected); a many-children link takes as
// many consecutive entries as it has children (none while empty). GetChild indexes that vector.
//
// The first twelve virtual operations are the engine's table, in this order; a channel class adds
// its own after them.
#pragma once

#include <climits>
#include <string>
#include <vector>

#include "corvane/channel_type.h"
#include "corvane/guid.h"

class ZelFileSaver;
class ZelFileLoader;
class Zel_ChannelGroup;
class Zel_List;
class EngineInterface;

// Describes where a child sits under its parent (link and position within the link).
struct ChildInfo {
  int link = -1;
  int position = 0;
};

class Zel_Channel {
 public:
  Zel_Channel();
  // A copy carries the name, type record and link declarations, not the children or the group.
  Zel_Channel(const Zel_Channel& other);
  Zel_Channel& operator=(const Zel_Channel& other);

  // --- the engine's virtual table, in order -------------------------------------------------
  virtual ~Zel_Channel();
  // Evaluates the channel. The base does nothing.
  virtual void CallChannel();
  virtual void OneTimeInitialize();
  virtual void DoEvent(int event, unsigned long parameter);
  // The type record the engine created this channel from (default record when created directly).
  virtual ChannelType GetChannelType();
  // The base writes nothing and succeeds.
  virtual bool SaveChannel(ZelFileSaver& saver);
  // The base reads nothing and succeeds.
  virtual bool LoadChannel(ZelFileLoader& loader, Zel_ChannelGroup* group);
  virtual void SetChannelInterfaceType(int type);
  // The base answers the channel it was given.
  virtual Zel_Channel* GetChannelFromChannel(Zel_Channel* channel, ChildInfo* info);
  // Stamp of the channel's last change (0 until SetTimeStamp is first called).
  virtual unsigned long GetTimeStamp();
  // Gives the channel a new stamp, different from every stamp handed out before.
  virtual void SetTimeStamp();
  // The base declares no dependencies.
  virtual void DoDependencyInit(Zel_List* list);

  // --- what channels call ----------------------------------------------------------------------
  void SetChannelName(const char* name);
  const char* GetChannelName() const { return name_.c_str(); }
  void SetChildCreationCount(int count);
  // Declares link `link` (growing the link table as needed). The record is copied.
  void SetChildCreateType(ChildCreation record, int link);

  // Entry i of the flat child vector, or null.
  Zel_Channel* GetChild(int i) const;
  int GetChildCount() const { return static_cast<int>(flat_.size()); }
  // Children connected to link `link` (1 or 0 for a one-child link).
  int GetChildLinkPositionCount(int link) const;
  // The k-th child of link `link`, or null.
  Zel_Channel* GetChildFromLinkPosition(int link, int k) const;
  // The k-th child of the link that expects this type, or null.
  Zel_Channel* GetChildFromLinkGuid(const GUID& type, int k) const;
  // Adds the type to the host's dependency list (once).
  void AddChannelGuidDepend(const GUID& type, Zel_List* list);
  // True on the channel's first call in an engine frame, false on later calls in that frame.
  bool CheckRenderCount();
  Zel_ChannelGroup* GetChannelGroup() const { return group_; }

  // The engine this channel belongs to (globalEngine at construction).
  EngineInterface* engine;

  // --- what the host and tests call ------------------------------------------------------------
  int GetLinkCount() const { return static_cast<int>(links_.size()); }
  // The declaration of link `link`, or null.
  const ChildCreation* GetLinkDeclaration(int link) const;
  // Index of the link with this name, or -1.
  int FindLink(const char* linkName) const;
  // Connects child to link: a one-child link's child is replaced, a many-children link appends.
  // False for an unknown link or a null child.
  bool ConnectChild(int link, Zel_Channel* child);
  // Removes child from link (every occurrence). False when it was not connected there.
  bool DisconnectChild(int link, Zel_Channel* child);
  // Removes child from every link.
  void DisconnectEverywhere(Zel_Channel* child);
  // Removes every child of every link.
  void DisconnectAll();
  // Children of one link, in order (a one-child link yields its one entry, possibly null).
  const std::vector<Zel_Channel*>& GetLinkChildren(int link) const;

  void SetChannelGroup(Zel_ChannelGroup* group) { group_ = group; }
  void SetChannelTypeRecord(const ChannelType& type) { type_ = type; }
  // Instance name: the name a scene gives the channel, or a shared channel's name.
  void SetInstanceName(const char* name) { instanceName_ = name ? name : ""; }
  const char* GetInstanceName() const { return instanceName_.c_str(); }

 private:
  struct Link {
    ChildCreation declaration;
    bool declared = false;
    std::vector<Zel_Channel*> children;  // one entry (maybe null) for a one-child link
  };
  bool IsMany(const Link& l) const { return l.declaration.linkPosition < 0; }
  void RebuildFlat();

  std::string name_;
  std::string instanceName_;
  ChannelType type_;
  std::vector<Link> links_;
  std::vector<Zel_Channel*> flat_;
  Zel_ChannelGroup* group_ = nullptr;
  unsigned long stamp_ = 0;
  int renderFrame_ = INT_MIN;
  int childCreationCount_ = 0;
};
