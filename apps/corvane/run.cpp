// `corvane run`: renders a scene frame by frame into PNG images with the software device.
//
// A frame: advance the engine clock by the scene's frame step, clear the target and put the
// default states and camera in place (the render context's BeginFrame), evaluate the scene's root
// channels in order, write the image.

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "cli_util.h"
#include "commands.h"
#include "corvane/channel_group.h"
#include "corvane/channels/render_context.h"
#include "corvane/host/engine.h"
#include "corvane/host/project_file.h"
#include "corvane/host/scene.h"
#include "corvane/software_device.h"
#include "corvane/type_ids.h"
// kDefaultSceneText: scenes/default.json, built into the tool and rendered when no scene is named.
#include "default_scene.h"

namespace {


using corvane::cli::kExitFailure;
using corvane::cli::kExitOk;
using corvane::cli::kExitUsage;

constexpr int kMaxFrames = 100000;
constexpr int kMaxSide = 4096;  // 4096 x 4096 takes 128 MiB of colour and depth

const char* kUsage =
    "usage: corvane run [SCENE] [--frames N] [--size WxH] [--out DIR]\n"
    "\n"
    "Renders SCENE (a .json text scene or a .cvp project) with the software device and writes\n"
    "DIR/frame_0000.png, frame_0001.png, ... Without SCENE a built-in example scene is rendered.\n"
    "\n"
    "  --frames N   frames to render (default: the scene's frame count)\n"
    "  --size WxH   image size in pixels (default 640x480)\n"
    "  --out DIR    output folder, created when missing (default out)\n";

bool ParseInt(const char* text, int lo, int hi, int* out) {
  if (!text || !*text) return false;
  char* end = nullptr;
  errno = 0;
  long v = std::strtol(text, &end, 10);
  if (errno || *end != '\0' || v < lo || v > hi) return false;
  *out = int(v);
  return true;
}

bool ParseSize(const char* text, int* w, int* h) {
  if (!text) return false;
  const char* x = std::strchr(text, 'x');
  if (!x) return false;
  std::string a(text, x);
  return ParseInt(a.c_str(), 1, kMaxSide, w) && ParseInt(x + 1, 1, kMaxSide, h);
}

bool EndsWith(const std::string& s, const char* suffix) {
  const size_t n = std::strlen(suffix);
  return s.size() >= n && s.compare(s.size() - n, n, suffix) == 0;
}

std::string DirName(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// Creates the folder and its parents. False with *error when that fails.
bool MakeDirs(const std::string& dir, std::string* error) {
  std::string partial;
  size_t pos = 0;
  while (pos != std::string::npos) {
    pos = dir.find('/', pos + 1);
    partial = dir.substr(0, pos);
    if (partial.empty()) continue;
    if (::mkdir(partial.c_str(), 0777) != 0 && errno != EEXIST) {
      *error = "cannot create " + partial + ": " + std::strerror(errno);
      return false;
    }
  }
  struct stat st;
  if (::stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
    *error = dir + " is not a folder";
    return false;
  }
  return true;
}

// The folder two levels above the executable (the tree's root when it runs from build/bin).
std::string ExecutableRoot() {
  char buf[4096];
  ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return std::string();
  buf[n] = '\0';
  return DirName(DirName(DirName(buf)));
}

}  // namespace

int RunCommand(int argc, char** argv) {
  std::string scenePath;
  std::string outDir = "out";
  int frames = -1, width = 640, height = 480;
  for (int i = 0; i < argc; ++i) {
    const char* a = argv[i];
    if (corvane::cli::IsHelpArg(a)) {
      std::fputs(kUsage, stdout);
      return kExitOk;
    }
    auto value = [&](const char* name) -> const char* {
      if (i + 1 >= argc) {
        std::fprintf(stderr, "corvane run: %s needs a value\n%s", name, kUsage);
        return nullptr;
      }
      return argv[++i];
    };
    if (std::strcmp(a, "--frames") == 0) {
      const char* v = value(a);
      if (!v) return kExitUsage;
      if (!ParseInt(v, 1, kMaxFrames, &frames)) {
        std::fprintf(stderr, "corvane run: --frames wants a whole number 1..%d, not \"%s\"\n", kMaxFrames, v);
        return kExitUsage;
      }
    } else if (std::strcmp(a, "--size") == 0) {
      const char* v = value(a);
      if (!v) return kExitUsage;
      if (!ParseSize(v, &width, &height)) {
        std::fprintf(stderr, "corvane run: --size wants WxH with sides 1..%d, not \"%s\"\n", kMaxSide, v);
        return kExitUsage;
      }
    } else if (std::strcmp(a, "--out") == 0) {
      const char* v = value(a);
      if (!v) return kExitUsage;
      outDir = v;
    } else if (a[0] == '-' && a[1] != '\0') {
      std::fprintf(stderr, "corvane run: unknown option %s\n%s", a, kUsage);
      return kExitUsage;
    } else if (scenePath.empty()) {
      scenePath = a;
    } else {
      std::fprintf(stderr, "corvane run: more than one scene given (%s and %s)\n", scenePath.c_str(), a);
      return kExitUsage;
    }
  }
  if (outDir.empty()) outDir = ".";
  while (outDir.size() > 1 && outDir.back() == '/') outDir.pop_back();

  corvane::host::Engine engine;
  if (corvane::cli::LoadPlugins(engine) == 0) return kExitFailure;
  auto* context = static_cast<Vyn_DX8_RenderContext*>(
      engine.GetSharedChannel(corvane::ids::kRenderContext, nullptr));
  if (!context) {
    std::fputs("corvane run: the render context plug-in (5E08C4B3-D96A-4F21-B7E5-0A3F8D62C19B) is not loaded\n",
               stderr);
    return kExitFailure;
  }

  // The device and its window exist before the scene is built, so channels that look for the
  // device while they are created find it.
  corvane::SoftwareDeviceOptions options;
  options.width = width;
  options.height = height;
  corvane::SoftwareDevice* device = corvane::SoftwareDevice::Create(options);
  if (!device) {
    std::fputs("corvane run: out of memory for the image\n", stderr);
    return kExitFailure;
  }
  CorvaneWindow window;
  window.width = width;
  window.height = height;
  context->SetDevice(device, &window);
  device->Release();  // the context holds it now

  // Relative asset names are looked up beside the scene, above it, and in the tree's root.
  if (!scenePath.empty()) {
    context->AddAssetFolder(DirName(scenePath).c_str());
    context->AddAssetFolder((DirName(scenePath) + "/..").c_str());
  }
  const std::string root = ExecutableRoot();
  if (!root.empty()) context->AddAssetFolder(root.c_str());

  std::unique_ptr<Zel_ChannelGroup> group;
  corvane::host::SceneSettings settings;
  std::string error;
  const std::string sceneName = scenePath.empty() ? std::string("<built-in scene>") : scenePath;
  if (!scenePath.empty() && EndsWith(scenePath, ".cvp")) {
    group = corvane::host::LoadProjectFile(engine, scenePath, &settings, &error);
  } else {
    corvane::host::LoadedScene scene;
    const bool ok = scenePath.empty()
                        ? corvane::host::LoadSceneText(engine, kDefaultSceneText, sceneName, &scene, &error)
                        : corvane::host::LoadSceneFile(engine, scenePath, &scene, &error);
    if (ok) {
      group = std::move(scene.group);
      settings = scene.settings;
      if (scene.camera.present) context->SetCamera(scene.camera.position, scene.camera.target, scene.camera.fov);
    }
  }
  if (!group) {
    std::fprintf(stderr, "corvane run: %s\n", error.empty() ? (sceneName + ": cannot load").c_str() : error.c_str());
    context->SetDevice(nullptr, nullptr);
    return kExitFailure;
  }

  if (frames < 0) frames = settings.frameCount > 0 ? std::min(settings.frameCount, kMaxFrames) : 1;
  if (!MakeDirs(outDir, &error)) {
    std::fprintf(stderr, "corvane run: %s\n", error.c_str());
    context->SetDevice(nullptr, nullptr);
    return kExitFailure;
  }

  const bool progress = ::isatty(2) != 0;
  int written = 0;
  int status = kExitOk;
  for (int f = 0; f < frames; ++f) {
    engine.AdvanceFrame(settings.frameStep);
    context->BeginFrame();
    group->Evaluate();
    char name[32];
    std::snprintf(name, sizeof name, "/frame_%04d.png", f);
    if (!device->SavePng(outDir + name, &error)) {
      std::fprintf(stderr, "%scorvane run: %s\n", progress ? "\n" : "", error.c_str());
      status = kExitFailure;
      break;
    }
    ++written;
    if (progress) std::fprintf(stderr, "\rcorvane run: frame %d/%d", f + 1, frames);
  }
  if (progress) std::fputc('\n', stderr);
  // The scene goes before the device, so that channels release their buffers while it exists.
  group.reset();
  context->SetDevice(nullptr, nullptr);
  if (written == 1) {
    std::printf("wrote 1 frame of %dx%d to %s/frame_0000.png\n", width, height, outDir.c_str());
  } else if (written > 1) {
    std::printf("wrote %d frames of %dx%d to %s/frame_0000.png .. frame_%04d.png\n", written, width, height,
                outDir.c_str(), written - 1);
  }
  return status;
}
