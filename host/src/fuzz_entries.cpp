// Entry points shared by the fuzz targets and the corpus regression test.
#include "fuzz_entries.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "corvane/channel_group.h"
#include "corvane/chunk_io.h"
#include "corvane/host/engine.h"
#include "corvane/host/project_file.h"
#include "corvane/type_ids.h"

namespace corvane::fuzz {

namespace {

[[noreturn]] void Broken(const char* what) {
  std::fprintf(stderr, "invariant broken: %s\n", what);
  std::abort();
}

constexpr uint8_t kGuard = 0xA5;

}  // namespace

bool RunChunkStream(const uint8_t* data, std::size_t size) {
  bool walked = false;
  // Pass 1: token walk, as an inspection tool does.
  {
    ZelFileLoader loader(data, size, "fuzz");
    std::size_t tokens = 0;
    while (!loader.HasError() && !loader.AtEnd()) {
      const uint64_t before = loader.GetOffset();
      char tag[5];
      uint32_t n = 0;
      uint64_t at = 0;
      switch (loader.PeekToken()) {
        case ZelFileLoader::Token::Tag:
          if (!loader.ReadTag(tag) || std::strlen(tag) > 4) Broken("tag token not read");
          break;
        case ZelFileLoader::Token::Block: {
          uint32_t peeked = 0;
          const uint8_t* p = loader.PeekBlock(&peeked);
          if (!p || !loader.SkipBlock(&n, &at) || n != peeked || at != before + 5)
            Broken("block token not skipped");
          break;
        }
        case ZelFileLoader::Token::Invalid:
          if (loader.ReadTag(tag) || loader.SkipBlock(&n) || !loader.HasError())
            Broken("invalid token accepted");
          break;
        case ZelFileLoader::Token::End:
          Broken("end token before the end");
      }
      if (!loader.HasError() && loader.GetOffset() <= before) Broken("token walk did not advance");
      ++tokens;
    }
    if (loader.HasError() && loader.GetError().find("offset") == std::string::npos)
      Broken("error does not name the offset");
    walked = !loader.HasError();
  }
  // Pass 2: typed reads into fields of several sizes, each followed by guard bytes.
  {
    ZelFileLoader loader(data, size, "fuzz");
    static const uint32_t kFieldSizes[] = {1, 4, 12, 16, 64, 100};
    std::size_t step = 0;
    while (!loader.HasError() && !loader.AtEnd()) {
      const uint64_t before = loader.GetOffset();
      if (loader.PeekToken() == ZelFileLoader::Token::Tag) {
        char tag[5] = {};
        std::memcpy(tag, data + before + 1, 4);
        // A tag of four characters with an inner NUL is compared over its four bytes only when
        // it has no NUL; skip it through ReadTag otherwise.
        if (std::strlen(tag) == 4) {
          if (!loader.GetInfoIfTag(tag)) Broken("matching tag refused");
        } else if (!loader.ReadTag(tag)) {
          Broken("tag not read");
        }
      } else {
        const uint32_t field = kFieldSizes[step % (sizeof kFieldSizes / sizeof kFieldSizes[0])];
        std::vector<uint8_t> buffer(field + 16, kGuard);
        const uint32_t announced = loader.GetSizeDataBlock(false);
        const bool ok = loader.CopyTagDataToPointer(buffer.data(), field);
        for (std::size_t i = field; i < buffer.size(); ++i)
          if (buffer[i] != kGuard) Broken("copy wrote past its field");
        if (ok && announced > field) Broken("oversized block accepted");
        if (!ok && !loader.HasError()) Broken("refused copy without an error");
        if (!ok) {
          for (std::size_t i = 0; i < field; ++i)
            if (buffer[i] != kGuard) Broken("refused copy wrote into its field");
        }
      }
      if (!loader.HasError() && loader.GetOffset() <= before) Broken("typed read did not advance");
      ++step;
    }
  }
  return walked;
}

std::unique_ptr<corvane::host::Engine> MakeProjectEngine(const std::string& pluginDir) {
  auto engine = std::make_unique<corvane::host::Engine>();
  engine->GetLogger().SetCapture(true);
  const GUID types[] = {corvane::ids::kValue, corvane::ids::kMatrix};
  for (const GUID& g : types) {
    const std::string path = pluginDir + "/" + corvane::GuidToString(g) + ".so";
    if (!engine->LoadPlugin(path)) {
      std::fprintf(stderr, "cannot load %s\n", path.c_str());
      return nullptr;
    }
  }
  return engine;
}

bool RunProjectFile(corvane::host::Engine& engine, const uint8_t* data, std::size_t size) {
  using namespace corvane::host;
  std::string error;
  SceneSettings settings;
  std::vector<uint8_t> first, second;
  {
    std::unique_ptr<Zel_ChannelGroup> group = LoadProject(engine, data, size, "fuzz", &settings, &error);
    if (!group) {
      if (error.empty() || error.find("offset") == std::string::npos) Broken("failed load without an offset");
      engine.GetLogger().Clear();
      return false;
    }
    if (!SaveProject(engine, *group, settings, &first, &error)) Broken("a loaded scene did not save");
  }
  {
    SceneSettings again;
    std::unique_ptr<Zel_ChannelGroup> group = LoadProject(engine, first.data(), first.size(), "fuzz", &again, &error);
    if (!group) Broken("a saved scene did not load");
    if (!SaveProject(engine, *group, again, &second, &error)) Broken("a reloaded scene did not save");
  }
  if (first != second) Broken("saving what was loaded changed the bytes");
  engine.GetLogger().Clear();
  return true;
}

}  // namespace corvane::fuzz
