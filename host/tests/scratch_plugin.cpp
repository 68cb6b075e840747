// A plug-in built only for the tests, from the same export helpers a real plug-in uses.
#include "corvane/plugin.h"
#include "scratch_channel.h"

CORVANE_PLUGIN(ScratchChannel, "Scratch Test Channel", "5CA7C400-0000-4000-8000-000000000001",
               "5CA7C400-0000-4000-8000-000000000001", 3, 7)
