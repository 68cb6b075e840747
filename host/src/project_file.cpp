// Project files: writing a group as a table of channels, links and roots, and reading one back from
// untrusted bytes.
#include "corvane/host/project_file.h"

#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <set>

#include "corvane/channel_group.h"
#include "corvane/chunk_io.h"
#include "corvane/guid.h"
#include "corvane/host/engine.h"
#include "corvane/zel_channel.h"

namespace corvane::host {

namespace {

constexpr char kMagic[4] = {'C', 'V', 'P', 'J'};
constexpr uint32_t kVersion = 1;
constexpr uint8_t kFlagShared = 1;
// Smallest channel record: id, type, flags, name length, stream length.
constexpr std::size_t kMinChannelRecord = 4 + 16 + 1 + 4 + 4;
constexpr std::size_t kLinkRecord = 16;
constexpr std::size_t kMaxInstanceName = 4096;
constexpr int kMaxFrameCount = 10'000'000;

void PutU32(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void PutBytes(std::vector<uint8_t>& out, const void* p, std::size_t n) {
  const uint8_t* b = static_cast<const uint8_t*>(p);
  out.insert(out.end(), b, b + n);
}

std::string ChannelLabel(std::size_t index, Zel_Channel* ch) {
  std::string s = "channel " + std::to_string(index) + " (" + ch->GetChannelType().typeName;
  if (*ch->GetInstanceName()) s += std::string(" \"") + ch->GetInstanceName() + "\"";
  return s + ")";
}

// Reads the fixed-width fields of the file; every read is checked against what remains.
class Reader {
 public:
  Reader(const uint8_t* data, std::size_t size, const std::string& name, std::string* error)
      : data_(data), size_(data ? size : 0), name_(name), error_(error) {}

  std::size_t Pos() const { return pos_; }
  std::size_t Remaining() const { return size_ - pos_; }
  const uint8_t* Here() const { return data_ + pos_; }

  bool Fail(const std::string& what) { return FailAt(pos_, what); }
  bool FailAt(std::size_t offset, const std::string& what) {
    if (error_ && error_->empty()) *error_ = name_ + ": offset " + std::to_string(offset) + ": " + what;
    return false;
  }

  bool Bytes(void* out, std::size_t n, const char* what) {
    if (Remaining() < n) return Fail(std::string("file ends inside the ") + what);
    std::memcpy(out, data_ + pos_, n);
    pos_ += n;
    return true;
  }
  bool U32(uint32_t* v, const char* what) {
    uint8_t b[4] = {};
    if (!Bytes(b, 4, what)) return false;
    *v = static_cast<uint32_t>(b[0]) | (static_cast<uint32_t>(b[1]) << 8) |
         (static_cast<uint32_t>(b[2]) << 16) | (static_cast<uint32_t>(b[3]) << 24);
    return true;
  }
  void Skip(std::size_t n) { pos_ += n; }

  // A count of records of at least `recordSize` bytes each must fit in the rest of the file.
  bool Count(uint32_t* n, std::size_t recordSize, const char* what) {
    const std::size_t at = pos_;
    if (!U32(n, what)) return false;
    if (*n > Remaining() / recordSize)
      return FailAt(at, std::string(what) + " " + std::to_string(*n) + " is more than the remaining " +
                            std::to_string(Remaining()) + " bytes can hold");
    return true;
  }

 private:
  const uint8_t* data_;
  std::size_t size_;
  std::size_t pos_ = 0;
  const std::string& name_;
  std::string* error_;
};

// True when following links from `start` can come back to it.
bool HasCycle(const std::vector<Zel_Channel*>& channels, std::size_t* culprit) {
  std::map<const Zel_Channel*, int> state;  // 0 unvisited, 1 on the stack, 2 done
  for (std::size_t s = 0; s < channels.size(); ++s) {
    if (state[channels[s]] != 0) continue;
    // Iterative depth-first walk: a deep chain in a file cannot overflow the stack.
    std::vector<std::pair<Zel_Channel*, int>> stack{{channels[s], 0}};
    state[channels[s]] = 1;
    while (!stack.empty()) {
      auto& [node, next] = stack.back();
      if (next < node->GetChildCount()) {
        Zel_Channel* child = node->GetChild(next++);
        if (!child) continue;
        int& st = state[child];
        if (st == 1) {
          *culprit = s;
          return true;
        }
        if (st == 0) {
          st = 1;
          stack.emplace_back(child, 0);
        }
      } else {
        state[node] = 2;
        stack.pop_back();
      }
    }
  }
  return false;
}

bool ReadSettings(const uint8_t* data, std::size_t size, std::size_t offset, const std::string& name,
                  SceneSettings* settings, std::string* error) {
  ZelFileLoader loader(data, size, name, offset);
  SceneSettings s;
  int32_t frames = 0;
  if (!loader.GetInfoIfTag("STEP")) {
    loader.SetError("scene settings: expected the frame step chunk \"STEP\"");
  } else if (loader.CopyTagDataToPointer(&s.frameStep) && !loader.GetInfoIfTag("FRMS")) {
    loader.SetError("scene settings: expected the frame count chunk \"FRMS\"");
  } else if (!loader.HasError() && loader.CopyTagDataToPointer(&frames)) {
    if (!std::isfinite(s.frameStep) || s.frameStep < 0.0f)
      loader.SetError("scene settings: frame step is not a finite, non-negative number");
    else if (frames < 0 || frames > kMaxFrameCount)
      loader.SetError("scene settings: frame count " + std::to_string(frames) + " is out of range");
    else if (!loader.AtEnd())
      loader.SetError(std::to_string(loader.GetRemaining()) + " unexpected bytes after the scene settings");
  }
  if (loader.HasError()) {
    *error = loader.GetError();
    return false;
  }
  s.frameCount = frames;
  if (settings) *settings = s;
  return true;
}

}  // namespace

bool SaveProject(Engine& engine, Zel_ChannelGroup& group, const SceneSettings& settings,
                 std::vector<uint8_t>* bytes, std::string* error) {
  std::string scratchError;
  if (!error) error = &scratchError;
  error->clear();
  std::vector<uint8_t> out;
  PutBytes(out, kMagic, 4);
  PutU32(out, kVersion);

  const int count = group.GetChannelCount();
  PutU32(out, static_cast<uint32_t>(count));
  for (int i = 0; i < count; ++i) {
    Zel_Channel* ch = group.GetChannel(i);
    const ChannelType type = ch->GetChannelType();
    if (!engine.FindPlugin(type.typeId)) {
      *error = ChannelLabel(static_cast<std::size_t>(i), ch) + ": type " + GuidToString(type.typeId) +
               " is not provided by any loaded plug-in";
      return false;
    }
    ZelFileSaver saver;
    if (!ch->SaveChannel(saver) || !saver.IsGood()) {
      *error = ChannelLabel(static_cast<std::size_t>(i), ch) + ": saving failed" +
               (saver.GetError().empty() ? std::string() : ": " + saver.GetError());
      return false;
    }
    const std::string name = ch->GetInstanceName();
    if (name.size() > kMaxInstanceName) {
      *error = ChannelLabel(static_cast<std::size_t>(i), ch) + ": instance name is longer than " +
               std::to_string(kMaxInstanceName) + " bytes";
      return false;
    }
    const std::vector<uint8_t>& stream = saver.GetBytes();
    if (stream.size() > UINT32_MAX) {
      *error = ChannelLabel(static_cast<std::size_t>(i), ch) + ": data larger than 4 GiB";
      return false;
    }
    PutU32(out, static_cast<uint32_t>(i));
    PutBytes(out, &type.typeId, sizeof(GUID));
    out.push_back(group.IsOwned(i) ? 0 : kFlagShared);
    PutU32(out, static_cast<uint32_t>(name.size()));
    PutBytes(out, name.data(), name.size());
    PutU32(out, static_cast<uint32_t>(stream.size()));
    PutBytes(out, stream.data(), stream.size());
  }

  std::vector<uint8_t> links;
  uint32_t linkCount = 0;
  for (int i = 0; i < count; ++i) {
    Zel_Channel* ch = group.GetChannel(i);
    for (int l = 0; l < ch->GetLinkCount(); ++l) {
      if (!ch->GetLinkDeclaration(l)) continue;
      const std::vector<Zel_Channel*>& children = ch->GetLinkChildren(l);
      for (std::size_t k = 0; k < children.size(); ++k) {
        if (!children[k]) continue;
        const int child = group.IndexOf(children[k]);
        if (child < 0) {
          *error = ChannelLabel(static_cast<std::size_t>(i), ch) + ": a child of link " +
                   std::to_string(l) + " is not in the scene";
          return false;
        }
        PutU32(links, static_cast<uint32_t>(i));
        PutU32(links, static_cast<uint32_t>(l));
        PutU32(links, static_cast<uint32_t>(k));
        PutU32(links, static_cast<uint32_t>(child));
        ++linkCount;
      }
    }
  }
  PutU32(out, linkCount);
  out.insert(out.end(), links.begin(), links.end());

  const std::vector<Zel_Channel*>& roots = group.GetRoots();
  PutU32(out, static_cast<uint32_t>(roots.size()));
  for (Zel_Channel* r : roots) {
    const int index = group.IndexOf(r);
    if (index < 0) {
      *error = std::string("root channel ") + r->GetChannelType().typeName + " is not in the scene";
      return false;
    }
    PutU32(out, static_cast<uint32_t>(index));
  }

  ZelFileSaver settingsSaver;
  const int32_t frames = settings.frameCount;
  settingsSaver.SaveTag("STEP");
  settingsSaver.SaveBlockSize(sizeof settings.frameStep);
  settingsSaver.SaveDataToFile(&settings.frameStep, sizeof settings.frameStep);
  settingsSaver.SaveTag("FRMS");
  settingsSaver.SaveBlockSize(sizeof frames);
  settingsSaver.SaveDataToFile(&frames, sizeof frames);
  PutBytes(out, settingsSaver.GetBytes().data(), settingsSaver.GetBytes().size());

  *bytes = std::move(out);
  return true;
}

bool SaveProjectFile(Engine& engine, Zel_ChannelGroup& group, const SceneSettings& settings,
                     const std::string& path, std::string* error) {
  std::vector<uint8_t> bytes;
  if (!SaveProject(engine, group, settings, &bytes, error)) return false;
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  if (f) f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!f) {
    if (error) *error = path + ": cannot write the file";
    return false;
  }
  return true;
}

std::unique_ptr<Zel_ChannelGroup> LoadProject(Engine& engine, const uint8_t* data, std::size_t size,
                                              const std::string& name, SceneSettings* settings,
                                              std::string* error) {
  std::string scratchError;
  if (!error) error = &scratchError;
  error->clear();
  Reader in(data, size, name, error);

  char magic[4];
  uint32_t version = 0;
  if (!in.Bytes(magic, 4, "magic")) return nullptr;
  if (std::memcmp(magic, kMagic, 4) != 0) {
    in.FailAt(0, "not a project file (magic is not \"CVPJ\")");
    return nullptr;
  }
  if (!in.U32(&version, "version")) return nullptr;
  if (version != kVersion) {
    in.FailAt(4, "unsupported version " + std::to_string(version) + " (this build reads version " +
                     std::to_string(kVersion) + ")");
    return nullptr;
  }

  auto group = std::make_unique<Zel_ChannelGroup>(&engine);
  std::map<uint32_t, Zel_Channel*> byId;
  std::set<Zel_Channel*> sharedSeen;

  uint32_t channelCount = 0;
  if (!in.Count(&channelCount, kMinChannelRecord, "channel count")) return nullptr;
  for (uint32_t c = 0; c < channelCount; ++c) {
    const std::size_t recordAt = in.Pos();
    uint32_t id = 0, nameLength = 0, streamLength = 0;
    GUID type{};
    uint8_t flags = 0;
    if (!in.U32(&id, "instance id") || !in.Bytes(&type, sizeof type, "channel type") ||
        !in.Bytes(&flags, 1, "channel flags"))
      return nullptr;
    if (byId.count(id)) {
      in.FailAt(recordAt, "instance id " + std::to_string(id) + " is used twice");
      return nullptr;
    }
    if (flags & ~kFlagShared) {
      in.FailAt(recordAt + 20, "unknown channel flags " + std::to_string(flags));
      return nullptr;
    }
    const std::size_t nameAt = in.Pos();
    if (!in.U32(&nameLength, "instance name length")) return nullptr;
    if (nameLength > kMaxInstanceName || nameLength > in.Remaining()) {
      in.FailAt(nameAt, "instance name length " + std::to_string(nameLength) + " is too large");
      return nullptr;
    }
    std::string instanceName(reinterpret_cast<const char*>(in.Here()), nameLength);
    in.Skip(nameLength);
    if (instanceName.find('\0') != std::string::npos) {
      in.FailAt(nameAt, "instance name contains a NUL byte");
      return nullptr;
    }
    const std::size_t streamAt = in.Pos();
    if (!in.U32(&streamLength, "channel data length")) return nullptr;
    if (streamLength > in.Remaining()) {
      in.FailAt(streamAt, "channel data length " + std::to_string(streamLength) + " is more than the remaining " +
                              std::to_string(in.Remaining()) + " bytes");
      return nullptr;
    }
    const PluginInfo* plugin = engine.FindPlugin(type);
    if (!plugin) {
      in.FailAt(recordAt + 4, "unknown channel type " + GuidToString(type));
      return nullptr;
    }
    const std::string label = "channel " + std::to_string(c) + " (" + plugin->type.typeName +
                              (instanceName.empty() ? std::string() : " \"" + instanceName + "\"") + ")";
    Zel_Channel* ch = nullptr;
    if (flags & kFlagShared) {
      ch = engine.GetSharedChannel(type, instanceName.c_str());
      if (!ch) {
        in.FailAt(recordAt, label + ": the shared channel could not be created");
        return nullptr;
      }
      if (!sharedSeen.insert(ch).second) {
        in.FailAt(recordAt, label + ": the shared channel appears twice");
        return nullptr;
      }
      // The file states the shared channel's links completely.
      ch->DisconnectAll();
      group->AddChannel(ch, false);
    } else {
      ch = engine.CreateChannelInstance(type, 0, 0);
      if (!ch) {
        in.FailAt(recordAt, label + ": the channel could not be created");
        return nullptr;
      }
      ch->SetInstanceName(instanceName.c_str());
      group->AddChannel(ch, true);
    }
    byId[id] = ch;

    const std::size_t dataAt = streamAt + 4;
    ZelFileLoader loader(in.Here(), streamLength, name, dataAt);
    bool ok = false;
    try {
      ok = ch->LoadChannel(loader, group.get());
    } catch (const std::exception& e) {
      loader.SetError(std::string("loading failed: ") + e.what());
    }
    if (loader.HasError()) {
      *error = loader.GetError() + " (in " + label + ")";
      return nullptr;
    }
    if (!ok) {
      in.FailAt(dataAt, label + ": the channel refused its data");
      return nullptr;
    }
    in.Skip(streamLength);
  }

  uint32_t linkCount = 0;
  if (!in.Count(&linkCount, kLinkRecord, "link count")) return nullptr;
  for (uint32_t k = 0; k < linkCount; ++k) {
    const std::size_t at = in.Pos();
    uint32_t parentId = 0, link = 0, order = 0, childId = 0;
    in.U32(&parentId, "link");
    in.U32(&link, "link");
    in.U32(&order, "link");
    in.U32(&childId, "link");
    auto parentIt = byId.find(parentId);
    auto childIt = byId.find(childId);
    if (parentIt == byId.end()) {
      in.FailAt(at, "link " + std::to_string(k) + ": no channel has the parent id " + std::to_string(parentId));
      return nullptr;
    }
    if (childIt == byId.end()) {
      in.FailAt(at + 12, "link " + std::to_string(k) + ": no channel has the child id " + std::to_string(childId));
      return nullptr;
    }
    Zel_Channel* parent = parentIt->second;
    Zel_Channel* child = childIt->second;
    const ChildCreation* decl =
        link <= static_cast<uint32_t>(INT32_MAX) ? parent->GetLinkDeclaration(static_cast<int>(link)) : nullptr;
    if (!decl) {
      in.FailAt(at + 4, "link " + std::to_string(k) + ": " + parent->GetChannelType().typeName +
                            " declares no link " + std::to_string(link));
      return nullptr;
    }
    if (!engine.IsTypeCompatible(child->GetChannelType().typeId, decl->childType.typeId)) {
      in.FailAt(at + 12, "link " + std::to_string(k) + ": a " + child->GetChannelType().typeName +
                             " cannot be connected to link \"" + decl->linkName + "\", which expects " +
                             decl->childType.typeName);
      return nullptr;
    }
    const int il = static_cast<int>(link);
    if (decl->linkPosition < 0) {
      if (order != static_cast<uint32_t>(parent->GetChildLinkPositionCount(il))) {
        in.FailAt(at + 8, "link " + std::to_string(k) + ": position " + std::to_string(order) +
                              " out of order on link \"" + decl->linkName + "\"");
        return nullptr;
      }
    } else if (order != 0 || parent->GetChildLinkPositionCount(il) != 0) {
      in.FailAt(at + 8, "link " + std::to_string(k) + ": link \"" + decl->linkName +
                            "\" holds one child and is given another");
      return nullptr;
    }
    parent->ConnectChild(il, child);
  }

  std::vector<Zel_Channel*> all;
  for (int i = 0; i < group->GetChannelCount(); ++i) all.push_back(group->GetChannel(i));
  std::size_t culprit = 0;
  if (HasCycle(all, &culprit)) {
    in.Fail("the links form a cycle through " + ChannelLabel(culprit, all[culprit]));
    return nullptr;
  }

  uint32_t rootCount = 0;
  if (!in.Count(&rootCount, 4, "root count")) return nullptr;
  for (uint32_t r = 0; r < rootCount; ++r) {
    const std::size_t at = in.Pos();
    uint32_t id = 0;
    in.U32(&id, "root");
    auto it = byId.find(id);
    if (it == byId.end()) {
      in.FailAt(at, "root " + std::to_string(r) + ": no channel has the id " + std::to_string(id));
      return nullptr;
    }
    group->AddRoot(it->second);
  }

  if (!ReadSettings(in.Here(), in.Remaining(), in.Pos(), name, settings, error)) return nullptr;
  return group;
}

std::unique_ptr<Zel_ChannelGroup> LoadProjectFile(Engine& engine, const std::string& path,
                                                  SceneSettings* settings, std::string* error) {
  std::ifstream f(path, std::ios::binary);
  if (!f) {
    if (error) *error = path + ": cannot open the file";
    return nullptr;
  }
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  if (f.bad()) {
    if (error) *error = path + ": cannot read the file";
    return nullptr;
  }
  return LoadProject(engine, bytes.data(), bytes.size(), path, settings, error);
}

}  // namespace corvane::host
