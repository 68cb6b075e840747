// `corvane inspect FILE.cvp`: a project file as a reader sees it.
//
// The file is walked token by token with our own bounds-checked reader, independently of the host's
// project loader, so that a broken file still shows everything up to the fault and then the fault.
// The project is also loaded through the host: when that succeeds, the channels' property values
// are printed by name and link names come from the loaded channels' declarations.

#include <algorithm>
#include <cctype>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "cli_util.h"
#include "commands.h"
#include "corvane/channel_group.h"
#include "corvane/chunk_io.h"
#include "corvane/guid.h"
#include "corvane/host/engine.h"
#include "corvane/host/project_file.h"
#include "corvane/property.h"
#include "corvane/zel_channel.h"

namespace corvane::cli {

namespace {

constexpr const char* kInspectUsage =
    "usage: corvane inspect FILE.cvp\n"
    "\n"
    "Prints a project file: its channels as a tree from the roots (instance id, type name,\n"
    "instance name) with their children by link name; then every channel's record with the tags\n"
    "and block sizes of its chunk stream (with file offsets) and, where the type publishes a\n"
    "property table, its property values by name; then the link table, the roots and the scene\n"
    "settings. A file the host cannot load is still walked up to the fault, and the error is\n"
    "printed after it (exit code 1).\n";

// Largest project file inspect reads.
constexpr std::size_t kMaxProjectBytes = std::size_t(1) << 30;
// Deepest channel tree printed.
constexpr int kMaxTreeDepth = 64;

struct Token {
  bool tag;
  char name[5];
  uint32_t size;
  uint64_t offset;
};

struct RawChannel {
  uint64_t recordOffset = 0;
  uint32_t id = 0;
  GUID type{};
  uint8_t flags = 0;
  std::string name;
  uint64_t streamOffset = 0;
  uint32_t streamSize = 0;
  std::vector<Token> tokens;
  std::string streamError;  // a stream that is not a valid token sequence
};

struct RawLink {
  uint32_t parent, link, order, child;
};

struct RawProject {
  uint32_t version = 0;
  bool haveVersion = false;
  std::vector<RawChannel> channels;
  std::vector<RawLink> links;
  std::vector<uint32_t> roots;
  uint64_t settingsOffset = 0;
  std::vector<Token> settings;
  bool haveChannels = false, haveLinks = false, haveRoots = false, haveSettings = false;
  std::string error;  // the first structural fault, with its offset
};

// Reads little-endian fields with bounds checks; the first failure is kept.
class Cursor {
 public:
  Cursor(const uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  bool U32(uint32_t* v, const char* what) {
    if (!Need(4, what)) return false;
    *v = uint32_t(data_[pos_]) | uint32_t(data_[pos_ + 1]) << 8 | uint32_t(data_[pos_ + 2]) << 16 |
         uint32_t(data_[pos_ + 3]) << 24;
    pos_ += 4;
    return true;
  }
  bool U8(uint8_t* v, const char* what) {
    if (!Need(1, what)) return false;
    *v = data_[pos_++];
    return true;
  }
  bool Bytes(void* out, std::size_t n, const char* what) {
    if (!Need(n, what)) return false;
    std::memcpy(out, data_ + pos_, n);
    pos_ += n;
    return true;
  }
  bool Skip(std::size_t n, const char* what) {
    if (!Need(n, what)) return false;
    pos_ += n;
    return true;
  }
  // A count of records of `recordBytes` each that the rest of the file must be able to hold.
  bool Count(uint32_t* n, std::size_t recordBytes, const char* what) {
    uint64_t at = pos_;
    if (!U32(n, what)) return false;
    if (uint64_t(*n) * recordBytes > Remaining()) {
      Fail(at, std::string(what) + " " + std::to_string(*n) + " needs at least " +
                   std::to_string(uint64_t(*n) * recordBytes) + " bytes, only " +
                   std::to_string(Remaining()) + " remain");
      return false;
    }
    return true;
  }
  std::size_t Pos() const { return pos_; }
  std::size_t Remaining() const { return size_ - pos_; }
  const std::string& Error() const { return error_; }
  void Fail(uint64_t at, const std::string& what) {
    if (error_.empty()) error_ = "at offset " + std::to_string(at) + ": " + what;
  }

 private:
  bool Need(std::size_t n, const char* what) {
    if (n > size_ - pos_) {
      Fail(pos_, std::string("file ends inside ") + what + " (" + std::to_string(n) + " bytes needed, " +
                     std::to_string(size_ - pos_) + " remain)");
      return false;
    }
    return true;
  }
  const uint8_t* data_;
  std::size_t size_;
  std::size_t pos_ = 0;
  std::string error_;
};

// Walks a chunk stream into tokens; false with *error at the first bad token.
bool WalkStream(const uint8_t* data, std::size_t size, uint64_t base, const std::string& name,
                std::vector<Token>* out, std::string* error) {
  ZelFileLoader loader(data, size, name, base);
  while (!loader.AtEnd()) {
    Token t{};
    t.offset = loader.GetOffset();
    switch (loader.PeekToken()) {
      case ZelFileLoader::Token::Tag:
        if (!loader.ReadTag(t.name)) break;
        t.tag = true;
        out->push_back(t);
        continue;
      case ZelFileLoader::Token::Block:
        if (!loader.SkipBlock(&t.size)) break;
        t.tag = false;
        out->push_back(t);
        continue;
      case ZelFileLoader::Token::End:
        return true;
      case ZelFileLoader::Token::Invalid:
        break;
    }
    const std::size_t at = static_cast<std::size_t>(t.offset - base);
    if (loader.HasError()) {
      *error = loader.GetError();
    } else if (data[at] != 'T' && data[at] != 'B') {
      char buf[96];
      std::snprintf(buf, sizeof buf, "at offset %" PRIu64 ": unknown token kind byte 0x%02X", t.offset, data[at]);
      *error = buf;
    } else {
      *error = "at offset " + std::to_string(t.offset) + ": token cut short by the end of the stream (" +
               std::to_string(size - at) + " bytes remain)";
    }
    return false;
  }
  return true;
}

RawProject WalkProject(const uint8_t* data, std::size_t size) {
  RawProject p;
  Cursor c(data, size);
  char magic[4];
  if (!c.Bytes(magic, 4, "the magic")) return p.error = c.Error(), p;
  if (std::memcmp(magic, "CVPJ", 4) != 0) {
    std::size_t first = 0;
    while (first < size && std::isspace(data[first])) ++first;
    c.Fail(0, first < size && data[first] == '{'
                  ? "not a project file but text (a scene? `corvane save SCENE.json OUT.cvp` makes a project)"
                  : "not a project file (magic is not \"CVPJ\")");
    return p.error = c.Error(), p;
  }
  if (!c.U32(&p.version, "the version")) return p.error = c.Error(), p;
  p.haveVersion = true;

  uint32_t count = 0;
  // Smallest channel record: id, GUID, flags, name length, stream length.
  if (!c.Count(&count, 4 + 16 + 1 + 4 + 4, "channel count")) return p.error = c.Error(), p;
  p.haveChannels = true;
  for (uint32_t i = 0; i < count; ++i) {
    RawChannel ch;
    ch.recordOffset = c.Pos();
    uint32_t nameLen = 0;
    if (!c.U32(&ch.id, "a channel's instance id") || !c.Bytes(&ch.type, 16, "a channel's type") ||
        !c.U8(&ch.flags, "a channel's flags") || !c.U32(&nameLen, "a channel's name length"))
      return p.error = c.Error(), p;
    if (nameLen > c.Remaining()) {
      c.Fail(c.Pos() - 4, "name length " + std::to_string(nameLen) + " is longer than the rest of the file");
      return p.error = c.Error(), p;
    }
    ch.name.assign(reinterpret_cast<const char*>(data + c.Pos()), nameLen);
    c.Skip(nameLen, "a channel's name");
    if (!c.U32(&ch.streamSize, "a channel's stream length")) return p.error = c.Error(), p;
    if (ch.streamSize > c.Remaining()) {
      c.Fail(c.Pos() - 4, "stream length " + std::to_string(ch.streamSize) +
                              " is longer than the rest of the file (" + std::to_string(c.Remaining()) + " bytes)");
      p.channels.push_back(std::move(ch));
      return p.error = c.Error(), p;
    }
    ch.streamOffset = c.Pos();
    WalkStream(data + c.Pos(), ch.streamSize, ch.streamOffset, "channel stream", &ch.tokens, &ch.streamError);
    c.Skip(ch.streamSize, "a channel's stream");
    p.channels.push_back(std::move(ch));
  }

  if (!c.Count(&count, 16, "link count")) return p.error = c.Error(), p;
  p.haveLinks = true;
  for (uint32_t i = 0; i < count; ++i) {
    RawLink l;
    c.U32(&l.parent, "a link");
    c.U32(&l.link, "a link");
    c.U32(&l.order, "a link");
    c.U32(&l.child, "a link");
    p.links.push_back(l);
  }
  if (!c.Count(&count, 4, "root count")) return p.error = c.Error(), p;
  p.haveRoots = true;
  for (uint32_t i = 0; i < count; ++i) {
    uint32_t r = 0;
    c.U32(&r, "a root");
    p.roots.push_back(r);
  }
  p.settingsOffset = c.Pos();
  p.haveSettings = true;
  std::string err;
  if (!WalkStream(data + c.Pos(), c.Remaining(), c.Pos(), "settings", &p.settings, &err)) p.error = err;
  return p;
}

class Printer {
 public:
  Printer(corvane::host::Engine& engine, const RawProject& raw, Zel_ChannelGroup* group)
      : engine_(engine), raw_(raw) {
    for (std::size_t i = 0; i < raw.channels.size(); ++i) byId_[raw.channels[i].id] = i;
    // The loaded group holds the file's channels in file order; use it only when it matches.
    if (group && group->GetChannelCount() == static_cast<int>(raw.channels.size())) {
      bool same = true;
      for (int i = 0; i < group->GetChannelCount() && same; ++i)
        same = group->GetChannel(i) && group->GetChannel(i)->GetChannelType().typeId == raw.channels[i].type;
      if (same)
        for (int i = 0; i < group->GetChannelCount(); ++i) loaded_.push_back(group->GetChannel(i));
    }
  }

  void Print() {
    PrintTree();
    PrintChannels();
    PrintLinks();
    PrintRoots();
    PrintSettings();
  }

 private:
  std::string TypeName(const GUID& type) {
    const corvane::host::PluginInfo* p = engine_.FindPlugin(type);
    return p ? p->type.typeName : "(unknown type " + GuidToString(type) + ")";
  }

  std::string Describe(uint32_t id) {
    auto it = byId_.find(id);
    if (it == byId_.end()) return "#" + std::to_string(id) + " (no such channel)";
    const RawChannel& c = raw_.channels[it->second];
    return "#" + std::to_string(id) + " " + TypeName(c.type) + " \"" + c.name + "\"" + (c.flags & 1 ? " [shared]" : "");
  }

  // The link's name, from a loaded channel or a throwaway instance of the type.
  std::string LinkName(uint32_t parentId, uint32_t link) {
    auto it = byId_.find(parentId);
    if (it != byId_.end()) {
      Zel_Channel* ch = Declarations(it->second);
      if (ch && link < static_cast<uint32_t>(ch->GetLinkCount()) && ch->GetLinkDeclaration(static_cast<int>(link)))
        return std::string("\"") + ch->GetLinkDeclaration(static_cast<int>(link))->linkName + "\"";
    }
    return "link " + std::to_string(link);
  }

  Zel_Channel* Declarations(std::size_t index) {
    if (index < loaded_.size()) return loaded_[index];
    const GUID& type = raw_.channels[index].type;
    auto it = scratch_.find(type);
    if (it != scratch_.end()) return it->second.get();
    std::unique_ptr<Zel_Channel> ch;
    if (engine_.FindPlugin(type)) ch.reset(engine_.CreateChannelInstance(type, 0, 0));
    Zel_Channel* p = ch.get();
    scratch_[type] = std::move(ch);
    return p;
  }

  std::vector<const RawLink*> LinksOf(uint32_t parent) {
    std::vector<const RawLink*> out;
    for (const RawLink& l : raw_.links)
      if (l.parent == parent) out.push_back(&l);
    std::stable_sort(out.begin(), out.end(), [](auto* a, auto* b) {
      return a->link != b->link ? a->link < b->link : a->order < b->order;
    });
    return out;
  }

  void PrintTree() {
    if (!raw_.haveChannels) return;
    std::vector<uint32_t> tops = raw_.roots;
    const char* note = "";
    if (!raw_.haveLinks || !raw_.haveRoots) {
      // The file ends before its links or roots: list the channels read so far, unlinked.
      std::printf("tree (the file ends before its %s):\n", raw_.haveLinks ? "roots" : "links and roots");
      for (const RawChannel& c : raw_.channels) std::printf("  %s\n", Describe(c.id).c_str());
      return;
    }
    std::printf("tree:\n");
    if (tops.empty()) {
      // No roots: show every channel that no other channel links to.
      std::set<uint32_t> children;
      for (const RawLink& l : raw_.links) children.insert(l.child);
      for (const RawChannel& c : raw_.channels)
        if (!children.count(c.id)) tops.push_back(c.id);
      note = " (not a root)";
    }
    std::set<uint32_t> shown;
    for (uint32_t r : tops) TreeNode(r, 1, "", note, &shown);
    bool header = false;
    for (const RawChannel& c : raw_.channels) {
      if (shown.count(c.id)) continue;
      if (!header) std::printf("  not reached from the roots:\n"), header = true;
      std::printf("    %s\n", Describe(c.id).c_str());
    }
  }

  void TreeNode(uint32_t id, int depth, const std::string& via, const char* note, std::set<uint32_t>* shown) {
    std::string indent(static_cast<std::size_t>(depth) * 2, ' ');
    bool again = shown->count(id) != 0;
    std::printf("%s%s%s%s%s\n", indent.c_str(), via.c_str(), Describe(id).c_str(), note,
                again ? " (shown above)" : "");
    if (again) return;
    shown->insert(id);
    if (depth >= kMaxTreeDepth) {
      std::printf("%s  ... deeper than %d levels\n", indent.c_str(), kMaxTreeDepth);
      return;
    }
    for (const RawLink* l : LinksOf(id)) TreeNode(l->child, depth + 1, LinkName(id, l->link) + " -> ", "", shown);
  }

  void PrintChannels() {
    if (!raw_.haveChannels && raw_.channels.empty()) return;
    std::printf("channels: %zu\n", raw_.channels.size());
    for (std::size_t i = 0; i < raw_.channels.size(); ++i) {
      const RawChannel& c = raw_.channels[i];
      std::printf("  %s\n", Describe(c.id).c_str());
      std::printf("    type id %s, record at offset %" PRIu64 "\n", GuidToString(c.type).c_str(), c.recordOffset);
      if (c.streamOffset == 0) {
        std::printf("    stream cut short (length %u)\n", c.streamSize);
        continue;
      }
      std::printf("    stream: %u bytes at offset %" PRIu64 "\n", c.streamSize, c.streamOffset);
      PrintTokens(c.tokens, "      ");
      if (!c.streamError.empty()) std::printf("      error: %s\n", c.streamError.c_str());
      if (i < loaded_.size()) PrintProperties(*loaded_[i], c.type);
    }
  }

  void PrintTokens(const std::vector<Token>& tokens, const char* indent) {
    for (const Token& t : tokens) {
      if (t.tag)
        std::printf("%s@%-8" PRIu64 " tag   %s\n", indent, t.offset, t.name);
      else
        std::printf("%s@%-8" PRIu64 " block %u byte%s\n", indent, t.offset, t.size, t.size == 1 ? "" : "s");
    }
  }

  void PrintProperties(Zel_Channel& ch, const GUID& type) {
    const PropertyTable* table = PropertyTableFor(engine_, type);
    if (!table) return;
    std::printf("    properties:\n");
    for (const PropertyTable* t = table; t; t = t->base)
      for (const PropertyInfo& p : t->properties)
        if (p.get) std::printf("      %-28s = %s\n", p.stem.c_str(), FormatValue(p, p.get(ch)).c_str());
  }

  void PrintLinks() {
    if (!raw_.haveLinks) return;
    std::printf("links: %zu\n", raw_.links.size());
    for (const RawLink& l : raw_.links)
      std::printf("  #%u %s [%u] -> %s\n", l.parent, LinkName(l.parent, l.link).c_str(), l.order,
                  Describe(l.child).c_str());
  }

  void PrintRoots() {
    if (!raw_.haveRoots) return;
    std::printf("roots: %zu\n", raw_.roots.size());
    for (uint32_t r : raw_.roots) std::printf("  %s\n", Describe(r).c_str());
  }

  void PrintSettings() {
    if (!raw_.haveSettings) return;
    std::printf("settings: stream at offset %" PRIu64 "\n", raw_.settingsOffset);
    PrintTokens(raw_.settings, "  ");
  }

  corvane::host::Engine& engine_;
  const RawProject& raw_;
  std::map<uint32_t, std::size_t> byId_;
  std::vector<Zel_Channel*> loaded_;
  std::map<GUID, std::unique_ptr<Zel_Channel>> scratch_;
};

}  // namespace

int InspectCommand(int argc, char** argv) {
  std::vector<std::string> files;
  for (int i = 0; i < argc; ++i) {
    if (IsHelpArg(argv[i])) {
      std::fputs(kInspectUsage, stdout);
      return kExitOk;
    }
    if (argv[i][0] == '-' && argv[i][1] != '\0') {
      std::fprintf(stderr, "corvane inspect: unknown option \"%s\"\n\n%s", argv[i], kInspectUsage);
      return kExitUsage;
    }
    files.push_back(argv[i]);
  }
  if (files.size() != 1) {
    std::fprintf(stderr, "corvane inspect: expected one project file\n\n%s", kInspectUsage);
    return kExitUsage;
  }
  const std::string& path = files[0];
  std::vector<unsigned char> bytes;
  std::string error;
  if (!ReadWholeFile(path, kMaxProjectBytes, &bytes, &error)) {
    std::fprintf(stderr, "corvane inspect: %s\n", error.c_str());
    return kExitFailure;
  }

  corvane::host::Engine engine;
  LoadPlugins(engine);
  // Messages the channels print while loading are shown after the listing, not inside it.
  engine.GetLogger().SetEcho(false);
  corvane::host::SceneSettings settings;
  std::string loadError;
  std::unique_ptr<Zel_ChannelGroup> group =
      corvane::host::LoadProject(engine, bytes.data(), bytes.size(), path, &settings, &loadError);

  RawProject raw = WalkProject(bytes.data(), bytes.size());
  std::printf("file: %s (%zu bytes)", path.c_str(), bytes.size());
  if (raw.haveVersion) std::printf(", project format version %u", raw.version);
  std::printf("\n");
  {
    Printer printer(engine, raw, group.get());
    printer.Print();
  }
  if (group)
    std::printf("scene: frame step %g, %d frames\n", static_cast<double>(settings.frameStep), settings.frameCount);

  for (const auto& line : engine.GetLogger().GetLines())
    std::fprintf(stderr, "message: %s\n", line.text.c_str());
  int rc = kExitOk;
  if (!raw.error.empty()) {
    std::fprintf(stderr, "corvane inspect: %s: %s\n", path.c_str(), raw.error.c_str());
    rc = kExitFailure;
  }
  for (const RawChannel& c : raw.channels)
    if (!c.streamError.empty()) rc = kExitFailure;
  if (!group) {
    std::fprintf(stderr, "corvane inspect: cannot load: %s\n", loadError.c_str());
    rc = kExitFailure;
  }
  return rc;
}

}  // namespace corvane::cli
