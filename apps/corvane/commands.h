// The subcommands of the `corvane` tool. Each takes the arguments after its own name (argv[0] is
// the first of them) and returns the exit code: 0 done, 1 failed, 2 wrong usage.
#pragma once

namespace corvane::cli {

int PluginsCommand(int argc, char** argv);
int InspectCommand(int argc, char** argv);
int SaveCommand(int argc, char** argv);

// Exit codes shared by every command.
constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

}  // namespace corvane::cli

// Renders a scene frame by frame (argv starts after "run").
int RunCommand(int argc, char** argv);
