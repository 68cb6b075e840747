// Stand-in for `corvane run` in builds without the renderer.

#include <cstdio>
#include <cstring>

#include "commands.h"

int RunCommand(int argc, char** argv) {
  for (int i = 0; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      std::fputs(
          "usage: corvane run [SCENE] [--frames N] [--size WxH] [--out DIR]\n"
          "\n"
          "Renders a scene to images. Rendering is not built into this corvane.\n",
          stdout);
      return corvane::cli::kExitOk;
    }
  }
  std::fputs("corvane run: rendering is not built into this corvane\n", stderr);
  return corvane::cli::kExitUsage;
}
