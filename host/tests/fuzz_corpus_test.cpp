// Feeds every file of the fuzz corpus to the fuzz targets' entry functions: inputs that once broke
// a reader stay in the tree and keep being checked by the ordinary test run. Files named "ok_..."
// are well-formed and must be read completely; every other file must be refused.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "corvane/host/engine.h"
#include "fuzz_entries.h"

namespace {

namespace fs = std::filesystem;

std::vector<fs::path> CorpusFiles(const char* target) {
  std::vector<fs::path> files;
  const fs::path dir = fs::path(CORVANE_FUZZ_CORPUS_DIR) / target;
  if (!fs::is_directory(dir)) return files;
  for (const auto& e : fs::directory_iterator(dir))
    if (e.is_regular_file()) files.push_back(e.path());
  std::sort(files.begin(), files.end());
  return files;
}

std::vector<uint8_t> ReadAll(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

TEST(FuzzCorpus, ChunkStreamFiles) {
  const auto files = CorpusFiles("chunk_stream");
  EXPECT_FALSE(files.empty());
  for (const fs::path& p : files) {
    SCOPED_TRACE(p.filename().string());
    const std::vector<uint8_t> bytes = ReadAll(p);
    const bool ok = p.filename().string().rfind("ok_", 0) == 0;
    EXPECT_EQ(corvane::fuzz::RunChunkStream(bytes.data(), bytes.size()), ok);
  }
}

TEST(FuzzCorpus, ProjectFiles) {
  const auto files = CorpusFiles("project_file");
  EXPECT_FALSE(files.empty());
  auto engine = corvane::fuzz::MakeProjectEngine(CORVANE_TEST_PLUGIN_DIR);
  ASSERT_NE(engine, nullptr);
  for (const fs::path& p : files) {
    SCOPED_TRACE(p.filename().string());
    const std::vector<uint8_t> bytes = ReadAll(p);
    const bool ok = p.filename().string().rfind("ok_", 0) == 0;
    EXPECT_EQ(corvane::fuzz::RunProjectFile(*engine, bytes.data(), bytes.size()), ok);
  }
}

}  // namespace
