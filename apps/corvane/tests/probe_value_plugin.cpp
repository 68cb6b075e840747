// A value type for the tests that publishes no property table of its own: a scene sets it
// through the value channel's table (its base type's), and links it wherever a value is expected.

#include "corvane/channels/value_channel.h"
#include "corvane/plugin.h"

namespace {

class ProbeValueChannel : public Vyn_FloatChannel {
 public:
  ProbeValueChannel() { SetChannelName("Test Value Probe"); }
};

}  // namespace

CORVANE_PLUGIN(ProbeValueChannel, "Test Value Probe", "3F6B0D82-C4A1-4E97-8B25-71D9E0A6C348",
               "0B97F3E6-5A1C-4F84-B26D-A9E40C83F51D", 1, 0)
