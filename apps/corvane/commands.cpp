// `corvane plugins` and `corvane save`.

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "cli_util.h"
#include "commands.h"
#include "corvane/channel_group.h"
#include "corvane/guid.h"
#include "corvane/host/engine.h"
#include "corvane/host/project_file.h"
#include "corvane/host/scene.h"
#include "corvane/property.h"
#include "corvane/zel_channel.h"

namespace corvane::cli {

namespace {

constexpr const char* kPluginsUsage =
    "usage: corvane plugins [--properties]\n"
    "\n"
    "Loads every plug-in (<GUID>.so) from the plug-in folders and lists, one line each, its file,\n"
    "the type name and type id its GetType reports, and the base type id.\n"
    "\n"
    "  --properties   also list each type's properties (stem and value type, enumeration names,\n"
    "                 those of its base types included), whether it takes \"data\", and its links\n"
    "                 (name, expected child type, one child or many): what a text scene may set\n"
    "\n"
    "Plug-in folders: CORVANE_PLUGIN_PATH (colon-separated), else plugins/ beside bin/.\n";

constexpr const char* kSaveUsage =
    "usage: corvane save SCENE.json OUT.cvp\n"
    "\n"
    "Builds the text scene SCENE.json (channels, properties, data, links, roots, camera, frame\n"
    "settings) with the loaded plug-ins and writes it as the project file OUT.cvp. Nothing is\n"
    "written when the scene has an error; the error names the file, the channel and the word at\n"
    "fault. See docs/cli.md for the scene format.\n";

std::string BaseName(const std::string& path) {
  auto slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

void PrintProperties(const PropertyTable* table) {
  if (!table) {
    std::printf("    (no properties)\n");
    return;
  }
  bool data = false;
  int count = 0;
  for (const PropertyTable* t = table; t; t = t->base) {
    if (t->applyData) data = true;
    for (const PropertyInfo& p : t->properties) {
      ++count;
      std::string extra;
      for (std::size_t i = 0; i < p.enumNames.size(); ++i)
        extra += (i ? ", " : ": ") + p.enumNames[i];
      std::printf("    %-28s %s%s\n", p.stem.c_str(), PropertyTypeName(p.type), extra.c_str());
    }
  }
  if (count == 0) std::printf("    (no properties)\n");
  if (data) std::printf("    (takes \"data\")\n");
}

// The links a channel of the type declares, read from a throwaway instance.
void PrintLinks(corvane::host::Engine& engine, const GUID& type) {
  std::unique_ptr<Zel_Channel> ch(engine.CreateChannelInstance(type, 0, 0));
  if (!ch) return;
  for (int i = 0; i < ch->GetLinkCount(); ++i) {
    const ChildCreation* d = ch->GetLinkDeclaration(i);
    if (!d) continue;
    std::printf("    link %-23s %s%s\n", ("\"" + std::string(d->linkName) + "\"").c_str(), d->childType.typeName,
                d->linkPosition < 0 ? " (many: an array of ids)" : "");
  }
}

// A project file keeps the camera in the channel that holds it (the shared render context), not
// beside the scene: copy the scene's camera into a channel of the group that publishes the camera
// properties, or warn that it will be lost.
void StoreCamera(corvane::host::Engine& engine, corvane::host::LoadedScene& scene) {
  Zel_ChannelGroup& group = *scene.group;
  for (int i = 0; i < group.GetChannelCount(); ++i) {
    Zel_Channel* ch = group.GetChannel(i);
    const PropertyTable* table = PropertyTableFor(engine, ch->GetChannelType().typeId);
    const PropertyInfo* pos = table ? table->Find("CameraPosition") : nullptr;
    const PropertyInfo* target = table ? table->Find("CameraTarget") : nullptr;
    const PropertyInfo* fov = table ? table->Find("CameraFov") : nullptr;
    if (!pos || !target || !fov || !pos->set || !target->set || !fov->set) continue;
    pos->set(*ch, PropertyValue::Vector3(scene.camera.position));
    target->set(*ch, PropertyValue::Vector3(scene.camera.target));
    fov->set(*ch, PropertyValue::Float(scene.camera.fov));
    return;
  }
  std::fprintf(stderr,
               "corvane save: warning: the scene's camera is not stored in the project; add the shared "
               "render context to the scene to keep it:\n"
               "  { \"id\": \"context\", \"type\": \"DX8 RenderContext\", \"shared\": \"\" }\n");
}

}  // namespace

int PluginsCommand(int argc, char** argv) {
  bool properties = false;
  for (int i = 0; i < argc; ++i) {
    if (IsHelpArg(argv[i])) {
      std::fputs(kPluginsUsage, stdout);
      return kExitOk;
    }
    if (std::strcmp(argv[i], "--properties") == 0) {
      properties = true;
    } else {
      std::fprintf(stderr, "corvane plugins: unexpected argument \"%s\"\n\n%s", argv[i], kPluginsUsage);
      return kExitUsage;
    }
  }
  corvane::host::Engine engine;
  if (LoadPlugins(engine) == 0) return kExitFailure;

  std::vector<const corvane::host::PluginInfo*> list;
  for (const auto& p : engine.GetPlugins()) list.push_back(&p);
  std::sort(list.begin(), list.end(), [](auto* a, auto* b) {
    return std::strcmp(a->type.typeName, b->type.typeName) < 0;
  });

  std::size_t fileWidth = 4, nameWidth = 9;
  for (auto* p : list) {
    fileWidth = std::max(fileWidth, BaseName(p->path).size());
    nameWidth = std::max(nameWidth, std::strlen(p->type.typeName));
  }
  const int fw = static_cast<int>(fileWidth), nw = static_cast<int>(nameWidth);
  std::printf("%-*s  %-*s  %-36s  %s\n", fw, "FILE", nw, "TYPE NAME", "TYPE ID", "BASE TYPE ID");
  for (auto* p : list) {
    std::string base = GuidToString(p->type.baseTypeId);
    std::printf("%-*s  %-*s  %-36s  %s\n", fw, BaseName(p->path).c_str(), nw, p->type.typeName,
                GuidToString(p->type.typeId).c_str(), base.c_str());
    if (properties) {
      PrintProperties(PropertyTableFor(engine, p->type.typeId));
      PrintLinks(engine, p->type.typeId);
    }
  }
  std::printf("%zu plug-ins\n", list.size());
  return kExitOk;
}

int SaveCommand(int argc, char** argv) {
  std::vector<std::string> files;
  for (int i = 0; i < argc; ++i) {
    if (IsHelpArg(argv[i])) {
      std::fputs(kSaveUsage, stdout);
      return kExitOk;
    }
    if (argv[i][0] == '-' && argv[i][1] != '\0') {
      std::fprintf(stderr, "corvane save: unknown option \"%s\"\n\n%s", argv[i], kSaveUsage);
      return kExitUsage;
    }
    files.push_back(argv[i]);
  }
  if (files.size() != 2) {
    std::fprintf(stderr, "corvane save: expected SCENE.json and OUT.cvp, got %zu file name%s\n\n%s",
                 files.size(), files.size() == 1 ? "" : "s", kSaveUsage);
    return kExitUsage;
  }
  corvane::host::Engine engine;
  LoadPlugins(engine);

  corvane::host::LoadedScene scene;
  std::string error;
  if (!corvane::host::LoadSceneFile(engine, files[0], &scene, &error)) {
    std::fprintf(stderr, "corvane save: %s\n", error.c_str());
    return kExitFailure;
  }
  if (scene.camera.present) StoreCamera(engine, scene);
  if (!corvane::host::SaveProjectFile(engine, *scene.group, scene.settings, files[1], &error)) {
    std::fprintf(stderr, "corvane save: %s\n", error.c_str());
    return kExitFailure;
  }
  std::printf("wrote %s: %d channel%s, %zu root%s, %d frames of step %g\n", files[1].c_str(),
              scene.group->GetChannelCount(), scene.group->GetChannelCount() == 1 ? "" : "s",
              scene.group->GetRoots().size(), scene.group->GetRoots().size() == 1 ? "" : "s",
              scene.settings.frameCount, static_cast<double>(scene.settings.frameStep));
  return kExitOk;
}

}  // namespace corvane::cli
