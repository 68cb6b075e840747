// libFuzzer entry: the chunk-stream reader.
#include <cstddef>
#include <cstdint>

#include "fuzz_entries.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  corvane::fuzz::RunChunkStream(data, size);
  return 0;
}
