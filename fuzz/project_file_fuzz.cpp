// libFuzzer entry: the project-file loader, with the value and matrix plug-ins loaded once.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "corvane/host/engine.h"
#include "fuzz_entries.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  static std::unique_ptr<corvane::host::Engine> engine = [] {
    auto e = corvane::fuzz::MakeProjectEngine(CORVANE_FUZZ_PLUGIN_DIR);
    if (!e) std::abort();
    return e;
  }();
  corvane::fuzz::RunProjectFile(*engine, data, size);
  return 0;
}
