// Chunk streams: writing, reading back, and the reader's handling of malformed input.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "corvane/chunk_io.h"
#include "corvane/d3dx_math.h"

namespace {

// The layout the tests read: "HEAD" [int32], "NAME" [string], "MTRX" [matrix] [float].
struct Record {
  int32_t id = -1;
  char name[16] = "default";
  D3DXMATRIX matrix = D3DXMATRIX(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1);
  float weight = 0.5f;
};

std::vector<uint8_t> WriteRecord(const Record& r) {
  ZelFileSaver s;
  EXPECT_EQ(s.SaveTag("HEAD"), 1);
  EXPECT_EQ(s.SaveBlockSize(sizeof r.id), 1);
  EXPECT_EQ(s.SaveDataToFile(&r.id, sizeof r.id), 1);
  const uint32_t len = static_cast<uint32_t>(std::strlen(r.name) + 1);
  s.SaveTag("NAME");
  s.SaveBlockSize(len);
  s.SaveDataToFile(r.name, len);
  s.SaveTag("MTRX");
  s.SaveBlockSize(sizeof r.matrix);
  s.SaveDataToFile(&r.matrix, sizeof r.matrix);
  s.SaveBlockSize(sizeof r.weight);
  s.SaveDataToFile(&r.weight, sizeof r.weight);
  EXPECT_TRUE(s.IsGood());
  return s.GetBytes();
}

// Reads as a channel does: a missing chunk keeps its defaults; a chunk's blocks must all be there.
bool ReadRecord(ZelFileLoader& l, Record* r) {
  if (l.GetInfoIfTag("HEAD") && !l.CopyTagDataToPointer(&r->id)) return false;
  if (l.GetInfoIfTag("NAME") && !l.CopyTagDataToPointer(r->name, sizeof r->name)) return false;
  if (l.GetInfoIfTag("MTRX") && (!l.CopyTagDataToPointer(&r->matrix) || !l.CopyTagDataToPointer(&r->weight)))
    return false;
  return !l.HasError();
}

Record Sample() {
  Record r;
  r.id = 42;
  std::strcpy(r.name, "hip");
  for (int i = 0; i < 16; ++i) r.matrix.m[i / 4][i % 4] = static_cast<float>(i) * 0.25f;
  r.weight = -3.0f;
  return r;
}

TEST(ChunkStream, RoundTripAndTokenWalk) {
  const Record in = Sample();
  const std::vector<uint8_t> bytes = WriteRecord(in);
  ASSERT_EQ(bytes.size(), 5u + 5 + 4 + 5 + 5 + 4 + 5 + 5 + 64 + 5 + 4);
  EXPECT_EQ(bytes[0], 'T');
  EXPECT_EQ(std::memcmp(&bytes[1], "HEAD", 4), 0);
  EXPECT_EQ(bytes[5], 'B');
  EXPECT_EQ(bytes[6], 4);  // little-endian size

  ZelFileLoader l(bytes.data(), bytes.size(), "stream");
  Record out;
  EXPECT_FALSE(l.GetInfoIfTag("NAME"));  // only the next token is matched
  EXPECT_EQ(l.GetOffset(), 0u);
  ASSERT_TRUE(ReadRecord(l, &out));
  EXPECT_TRUE(l.AtEnd());
  EXPECT_EQ(out.id, 42);
  EXPECT_STREQ(out.name, "hip");
  EXPECT_EQ(out.matrix, in.matrix);
  EXPECT_EQ(out.weight, -3.0f);

  ZelFileLoader walk(bytes.data(), bytes.size(), "stream", 100);
  std::string seen;
  char tag[5];
  uint32_t size;
  uint64_t at;
  while (walk.PeekToken() != ZelFileLoader::Token::End) {
    if (walk.ReadTag(tag)) seen += std::string(tag) + " ";
    else if (walk.SkipBlock(&size, &at)) seen += std::to_string(size) + "@" + std::to_string(at) + " ";
    else FAIL() << walk.GetError();
  }
  EXPECT_EQ(seen, "HEAD 4@110 NAME 4@124 MTRX 64@138 4@207 ");
}

TEST(ChunkStream, SaverRefusesCallsOutOfOrder) {
  const char data[8] = {};
  struct Case {
    const char* what;
    void (*run)(ZelFileSaver&, const char*);
  } cases[] = {
      {"short data", [](ZelFileSaver& s, const char* d) { s.SaveBlockSize(8); s.SaveDataToFile(d, 4); }},
      {"tag in open block", [](ZelFileSaver& s, const char*) { s.SaveBlockSize(8); s.SaveTag("ABCD"); }},
      {"data without block", [](ZelFileSaver& s, const char* d) { s.SaveDataToFile(d, 4); }},
      {"short tag", [](ZelFileSaver& s, const char*) { s.SaveTag("AB"); }},
      {"block never filled", [](ZelFileSaver& s, const char*) { s.SaveTag("ABCD"); s.SaveBlockSize(3); }},
  };
  for (const Case& c : cases) {
    ZelFileSaver s;
    c.run(s, data);
    EXPECT_FALSE(s.IsGood()) << c.what;
    EXPECT_EQ(s.SaveTag("NEXT"), s.IsGood() ? 1 : 0) << c.what;
  }
  ZelFileSaver empty;
  EXPECT_EQ(empty.SaveBlockSize(0), 1);  // an empty block needs no data call
  EXPECT_EQ(empty.SaveTag("NEXT"), 1);
  EXPECT_TRUE(empty.IsGood());
}

TEST(ChunkStream, EveryPrefixIsRejectedOrEndsAtAChunkBoundary) {
  const std::vector<uint8_t> bytes = WriteRecord(Sample());
  const std::size_t chunkEnds[] = {0, 14, 28, bytes.size()};
  for (std::size_t n = 0; n <= bytes.size(); ++n) {
    ZelFileLoader l(bytes.data(), n, "prefix.bin", 1000);
    Record r;
    const bool ok = ReadRecord(l, &r);
    const bool boundary = std::find(std::begin(chunkEnds), std::end(chunkEnds), n) != std::end(chunkEnds);
    EXPECT_EQ(ok, boundary) << "prefix " << n;
    if (!ok) {
      EXPECT_NE(l.GetError().find("prefix.bin: offset "), std::string::npos) << l.GetError();
      const std::size_t at = std::stoul(l.GetError().substr(std::strlen("prefix.bin: offset ")));
      EXPECT_GE(at, 1000u);
      EXPECT_LE(at, 1000u + n) << l.GetError();
    } else if (n < bytes.size()) {
      EXPECT_EQ(r.weight, 0.5f);  // later chunks keep their defaults
    }
  }
}

TEST(ChunkStream, MalformedTokensAndOversizedBlocks) {
  // Each case: bytes, what the reader attempts, and the text the error must hold.
  struct Case {
    const char* what;
    std::vector<uint8_t> bytes;
    const char* error;
  } cases[] = {
      {"unknown kind", {'X', 0, 0, 0, 0}, "unknown token kind"},
      {"block larger than stream", {'B', 0xFF, 0xFF, 0xFF, 0xFF, 1, 2}, "larger than the rest"},
      {"block head cut", {'B', 4, 0}, "cut short"},
      {"tag where block expected", {'T', 'A', 'B', 'C', 'D'}, "found a tag"},
      {"oversized block", {'B', 8, 0, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8}, "does not fit its field of 4 bytes"},
  };
  for (const Case& c : cases) {
    ZelFileLoader l(c.bytes.data(), c.bytes.size(), "bad.bin");
    uint32_t field = 0xDEADBEEF;
    EXPECT_FALSE(l.CopyTagDataToPointer(&field)) << c.what;
    EXPECT_EQ(field, 0xDEADBEEFu) << c.what;  // nothing written
    EXPECT_NE(l.GetError().find(c.error), std::string::npos) << c.what << ": " << l.GetError();
    EXPECT_NE(l.GetError().find("bad.bin: offset 0"), std::string::npos) << l.GetError();
    // Once failed, the loader reads nothing more.
    EXPECT_FALSE(l.GetInfoIfTag("ABCD"));
    EXPECT_EQ(l.GetSizeDataBlock(false), 0u);
  }

  // A smaller block fills the front of the field only; GetSizeDataBlock tells its size first.
  const uint8_t small[] = {'B', 2, 0, 0, 0, 0x34, 0x12};
  ZelFileLoader l(small, sizeof small, "small.bin");
  EXPECT_EQ(l.GetSizeDataBlock(false), 2u);
  uint32_t field = 0xAAAA0000;
  EXPECT_TRUE(l.CopyTagDataToPointer(&field));
  EXPECT_EQ(field, 0xAAAA1234u);

  // A string block into a character field takes the field's size explicitly.
  const uint8_t text[] = {'B', 6, 0, 0, 0, 'a', 'b', 'c', 'd', 'e', 0};
  char four[4] = {'x', 'x', 'x', 'x'};
  ZelFileLoader t(text, sizeof text, "text.bin");
  EXPECT_FALSE(t.CopyTagDataToPointer(four, sizeof four));
  EXPECT_EQ(std::memcmp(four, "xxxx", 4), 0);
}

}  // namespace
