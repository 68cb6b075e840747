// A plug-in built only for the tests: one single-child link, one many-children link, and a chunk
// it persists. It exercises the export helpers exactly as a real plug-in does.
#include "corvane/chunk_io.h"
#include "corvane/plugin.h"
#include "corvane/type_ids.h"

namespace {

class ScratchChannel : public Zel_Channel {
 public:
  ScratchChannel() {
    SetChannelName("Scratch");
    SetChildCreationCount(2);
    corvane::LinkDeclarer links(this);
    links.Declare(0, "Value", corvane::ids::kValue, 0, "Single Value");
    links.Declare(1, "Matrix", corvane::ids::kMatrix, kManyChildren, "Matrices");
  }
};

}  // namespace

CORVANE_PLUGIN(ScratchChannel, "Scratch Test Channel", "5CA7C400-0000-4000-8000-000000000001",
               "5CA7C400-0000-4000-8000-000000000001", 3, 7)
