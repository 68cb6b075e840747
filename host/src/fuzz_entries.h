// Entry points shared by the fuzz targets and the corpus regression test. Each takes arbitrary
// bytes, drives one reader over them and aborts when an invariant of that reader breaks (so the
// fuzzer reports it); malformed input itself is never a failure.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace corvane::host {
class Engine;
}

namespace corvane::fuzz {

// Walks every token of a chunk stream, then reads it again through the typed copies into fields
// of several sizes, checking that no copy writes past its field. True when the token walk reached
// the end without an error.
bool RunChunkStream(const uint8_t* data, std::size_t size);

// An engine with only the value and matrix plug-ins loaded from `pluginDir`. Null (with a message
// on stderr) when either cannot be loaded.
std::unique_ptr<corvane::host::Engine> MakeProjectEngine(const std::string& pluginDir);

// Loads the bytes as a project file. When they load, saves the scene, loads the saved bytes and
// saves again: both saved forms must be identical. True when the bytes loaded.
bool RunProjectFile(corvane::host::Engine& engine, const uint8_t* data, std::size_t size);

}  // namespace corvane::fuzz
