// Zel_Channel: link declarations, the flat child vector, time stamps and the per-frame guard.
#include "corvane/zel_channel.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>
#include <set>

#include "corvane/chunk_io.h"
#include "corvane/engine_interface.h"
#include "corvane/zel_list.h"

namespace {

// One counter for the whole process, so a stamp never repeats between channels.
std::atomic<unsigned long> g_stampCounter{0};

// Dependency lists hold pointers to identifiers; each distinct identifier is stored once here and
// lives until the process ends, so the pointers stay valid whoever owns the list.
const GUID* InternGuid(const GUID& g) {
  static std::mutex mutex;
  static std::set<GUID>* store = new std::set<GUID>();  // never freed: pointers outlive statics
  std::lock_guard<std::mutex> lock(mutex);
  return &*store->insert(g).first;
}

const std::vector<Zel_Channel*>& EmptyChildren() {
  static const std::vector<Zel_Channel*> empty;
  return empty;
}

}  // namespace

Zel_Channel::Zel_Channel() : engine(globalEngine) {}

Zel_Channel::Zel_Channel(const Zel_Channel& other)
    : engine(other.engine),
      name_(other.name_),
      type_(other.type_),
      childCreationCount_(other.childCreationCount_) {
  links_.resize(other.links_.size());
  for (std::size_t i = 0; i < links_.size(); ++i) {
    links_[i].declaration = other.links_[i].declaration;
    links_[i].declared = other.links_[i].declared;
    if (!IsMany(links_[i])) links_[i].children.assign(1, nullptr);
  }
  RebuildFlat();
}

Zel_Channel& Zel_Channel::operator=(const Zel_Channel& other) {
  if (this == &other) return *this;
  engine = other.engine;
  name_ = other.name_;
  type_ = other.type_;
  childCreationCount_ = other.childCreationCount_;
  links_.clear();
  links_.resize(other.links_.size());
  for (std::size_t i = 0; i < links_.size(); ++i) {
    links_[i].declaration = other.links_[i].declaration;
    links_[i].declared = other.links_[i].declared;
    if (!IsMany(links_[i])) links_[i].children.assign(1, nullptr);
  }
  RebuildFlat();
  return *this;
}

Zel_Channel::~Zel_Channel() = default;

void Zel_Channel::CallChannel() {}
void Zel_Channel::OneTimeInitialize() {}
void Zel_Channel::DoEvent(int, unsigned long) {}
ChannelType Zel_Channel::GetChannelType() { return type_; }
bool Zel_Channel::SaveChannel(ZelFileSaver&) { return true; }
// Nothing of the base's own is read, but a loader that already failed fails the channel, so that a
// derived channel calling the base first stops at once.
bool Zel_Channel::LoadChannel(ZelFileLoader& loader, Zel_ChannelGroup*) { return !loader.HasError(); }
void Zel_Channel::SetChannelInterfaceType(int) {}
Zel_Channel* Zel_Channel::GetChannelFromChannel(Zel_Channel* channel, ChildInfo*) { return channel; }
unsigned long Zel_Channel::GetTimeStamp() { return stamp_; }
void Zel_Channel::SetTimeStamp() { stamp_ = ++g_stampCounter; }
void Zel_Channel::DoDependencyInit(Zel_List*) {}

void Zel_Channel::SetChannelName(const char* name) { name_ = name ? name : ""; }

void Zel_Channel::SetChildCreationCount(int count) { childCreationCount_ = count; }

void Zel_Channel::SetChildCreateType(ChildCreation record, int link) {
  if (link < 0) return;
  if (static_cast<std::size_t>(link) >= links_.size()) {
    std::size_t old = links_.size();
    links_.resize(static_cast<std::size_t>(link) + 1);
    // Links not declared yet hold one empty entry, so later one-child links keep their index.
    for (std::size_t i = old; i < links_.size(); ++i) links_[i].children.assign(1, nullptr);
  }
  Link& l = links_[static_cast<std::size_t>(link)];
  const bool wasMany = l.declared && IsMany(l);
  l.declaration = record;
  l.declared = true;
  if (IsMany(l)) {
    if (!wasMany) l.children.clear();
  } else if (wasMany || l.children.size() != 1) {
    l.children.assign(1, nullptr);
  }
  RebuildFlat();
}

void Zel_Channel::RebuildFlat() {
  flat_.clear();
  for (const Link& l : links_) flat_.insert(flat_.end(), l.children.begin(), l.children.end());
}

Zel_Channel* Zel_Channel::GetChild(int i) const {
  if (i < 0 || static_cast<std::size_t>(i) >= flat_.size()) return nullptr;
  return flat_[static_cast<std::size_t>(i)];
}

int Zel_Channel::GetChildLinkPositionCount(int link) const {
  if (link < 0 || static_cast<std::size_t>(link) >= links_.size()) return 0;
  const Link& l = links_[static_cast<std::size_t>(link)];
  if (IsMany(l)) return static_cast<int>(l.children.size());
  return (!l.children.empty() && l.children[0]) ? 1 : 0;
}

Zel_Channel* Zel_Channel::GetChildFromLinkPosition(int link, int k) const {
  if (link < 0 || static_cast<std::size_t>(link) >= links_.size() || k < 0) return nullptr;
  const Link& l = links_[static_cast<std::size_t>(link)];
  if (static_cast<std::size_t>(k) >= l.children.size()) return nullptr;
  return l.children[static_cast<std::size_t>(k)];
}

Zel_Channel* Zel_Channel::GetChildFromLinkGuid(const GUID& type, int k) const {
  for (std::size_t i = 0; i < links_.size(); ++i) {
    if (links_[i].declared && links_[i].declaration.childType.typeId == type)
      return GetChildFromLinkPosition(static_cast<int>(i), k);
  }
  return nullptr;
}

void Zel_Channel::AddChannelGuidDepend(const GUID& type, Zel_List* list) {
  if (!list) return;
  for (int i = 0; i < list->GetItemCount(); ++i) {
    const GUID* g = static_cast<const GUID*>(list->GetItem(i));
    if (g && *g == type) return;
  }
  list->AddItem(const_cast<GUID*>(InternGuid(type)));
}

bool Zel_Channel::CheckRenderCount() {
  EngineInterface* e = engine ? engine : globalEngine;
  const int frame = e ? e->GetFrameNumber() : 0;
  if (frame == renderFrame_) return false;
  renderFrame_ = frame;
  return true;
}

const ChildCreation* Zel_Channel::GetLinkDeclaration(int link) const {
  if (link < 0 || static_cast<std::size_t>(link) >= links_.size()) return nullptr;
  const Link& l = links_[static_cast<std::size_t>(link)];
  return l.declared ? &l.declaration : nullptr;
}

int Zel_Channel::FindLink(const char* linkName) const {
  if (!linkName) return -1;
  for (std::size_t i = 0; i < links_.size(); ++i) {
    const Link& l = links_[i];
    if (l.declared && std::strncmp(l.declaration.linkName, linkName, sizeof l.declaration.linkName) == 0)
      return static_cast<int>(i);
  }
  return -1;
}

bool Zel_Channel::ConnectChild(int link, Zel_Channel* child) {
  if (!child || link < 0 || static_cast<std::size_t>(link) >= links_.size()) return false;
  Link& l = links_[static_cast<std::size_t>(link)];
  if (!l.declared) return false;
  if (IsMany(l)) l.children.push_back(child);
  else l.children.assign(1, child);
  RebuildFlat();
  return true;
}

bool Zel_Channel::DisconnectChild(int link, Zel_Channel* child) {
  if (!child || link < 0 || static_cast<std::size_t>(link) >= links_.size()) return false;
  Link& l = links_[static_cast<std::size_t>(link)];
  bool found = false;
  if (IsMany(l)) {
    auto it = std::remove(l.children.begin(), l.children.end(), child);
    found = it != l.children.end();
    l.children.erase(it, l.children.end());
  } else if (!l.children.empty() && l.children[0] == child) {
    l.children[0] = nullptr;
    found = true;
  }
  if (found) RebuildFlat();
  return found;
}

void Zel_Channel::DisconnectEverywhere(Zel_Channel* child) {
  for (std::size_t i = 0; i < links_.size(); ++i) DisconnectChild(static_cast<int>(i), child);
}

void Zel_Channel::DisconnectAll() {
  for (Link& l : links_) {
    if (IsMany(l)) l.children.clear();
    else l.children.assign(1, nullptr);
  }
  RebuildFlat();
}

const std::vector<Zel_Channel*>& Zel_Channel::GetLinkChildren(int link) const {
  if (link < 0 || static_cast<std::size_t>(link) >= links_.size()) return EmptyChildren();
  return links_[static_cast<std::size_t>(link)].children;
}
