// A plug-in built only for the tests, from the same export helpers a real plug-in uses.
#include <string>

#include "corvane/plugin.h"
#include "corvane/type_ids.h"
#include "scratch_channel.h"

namespace {
// Instance names of destroyed channels, in order, separated by spaces.
std::string g_destroyLog;
}  // namespace

ScratchChannel::ScratchChannel() {
  SetChannelName("Scratch Test Channel");
  SetChildCreationCount(3);
  corvane::LinkDeclarer links(this);
  links.Declare(0, "Value", corvane::ids::kValue, 0, "Single Value");
  links.Declare(1, "Matrix", corvane::ids::kMatrix, kManyChildren, "Matrices");
  links.Declare(2, "Scratch Test Channel", kScratchType, kManyChildren, "Next Scratch");
}

ScratchChannel::~ScratchChannel() {
  g_destroyLog += GetInstanceName();
  g_destroyLog += ' ';
}

CORVANE_PLUGIN(ScratchChannel, "Scratch Test Channel", "5CA7C400-0000-4000-8000-000000000001",
               "5CA7C400-0000-4000-8000-000000000001", 3, 7)

CORVANE_EXPORT const char* ScratchDestroyLog() { return g_destroyLog.c_str(); }
CORVANE_EXPORT void ScratchClearDestroyLog() { g_destroyLog.clear(); }
