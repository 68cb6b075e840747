// corvane: the command line of the engine. It dispatches to one subcommand per verb; each prints
// its own help with --help. Exit codes: 0 done, 1 failed, 2 wrong usage.

#include <cstdio>
#include <cstring>
#include <string>

#include "commands.h"

namespace {

constexpr const char* kUsage =
    "usage: corvane <command> [arguments]\n"
    "\n"
    "commands:\n"
    "  plugins                      list the loaded plug-ins (file, type name, type id, base type)\n"
    "  inspect FILE.cvp             print a project: channel tree, links, chunk streams, properties\n"
    "  save SCENE.json OUT.cvp      build a text scene and save it as a project file\n"
    "  run [SCENE] [--frames N] [--size WxH] [--out DIR]\n"
    "                               render a scene (text or project) to images\n"
    "  help [COMMAND]               this text, or a command's help\n"
    "\n"
    "Every command takes --help. Plug-ins are loaded from the folders in CORVANE_PLUGIN_PATH\n"
    "(colon-separated), or else from the \"plugins\" folder beside the \"bin\" folder of this\n"
    "program. Exit codes: 0 done, 1 failed, 2 wrong usage.\n";

bool IsHelp(const char* a) { return std::strcmp(a, "--help") == 0 || std::strcmp(a, "-h") == 0; }

int Dispatch(const std::string& command, int argc, char** argv) {
  using namespace corvane::cli;
  if (command == "plugins") return PluginsCommand(argc, argv);
  if (command == "inspect") return InspectCommand(argc, argv);
  if (command == "save") return SaveCommand(argc, argv);
  if (command == "run") return RunCommand(argc, argv);
  std::fprintf(stderr, "corvane: unknown command \"%s\"\n\n%s", command.c_str(), kUsage);
  return kExitUsage;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fputs(kUsage, stderr);
    return corvane::cli::kExitUsage;
  }
  if (IsHelp(argv[1])) {
    std::fputs(kUsage, stdout);
    return corvane::cli::kExitOk;
  }
  if (std::strcmp(argv[1], "help") == 0) {
    if (argc < 3) {
      std::fputs(kUsage, stdout);
      return corvane::cli::kExitOk;
    }
    char help[] = "--help";
    char* args[] = {help, nullptr};
    return Dispatch(argv[2], 1, args);
  }
  return Dispatch(argv[1], argc - 2, argv + 2);
}
