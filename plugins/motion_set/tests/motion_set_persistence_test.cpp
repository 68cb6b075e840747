// Motion set chunks: the byte layout, round trips, and malformed streams.
#include <cstring>
#include <vector>

#include "corvane/chunk_io.h"
#include "motion_test_util.h"

using namespace motion_test;

namespace {

std::vector<uint8_t> Save(Vyn_DX8_MatrixInterpolateSet* set) {
  ZelFileSaver saver;
  EXPECT_TRUE(set->SaveChannel(saver));
  return saver.GetBytes();
}

// Appends stream tokens by hand, for malformed streams.
struct StreamWriter {
  std::vector<uint8_t> bytes;
  StreamWriter& Tag(const char* t) {
    bytes.push_back('T');
    bytes.insert(bytes.end(), t, t + 4);
    return *this;
  }
  StreamWriter& Block(const void* p, uint32_t n) {
    bytes.push_back('B');
    const auto* s = reinterpret_cast<const uint8_t*>(&n);
    bytes.insert(bytes.end(), s, s + 4);
    const auto* d = static_cast<const uint8_t*>(p);
    bytes.insert(bytes.end(), d, d + n);
    return *this;
  }
  StreamWriter& Int(const char* t, int32_t v) { return Tag(t).Block(&v, 4); }
};

}  // namespace

class MotionSetPersistenceTest : public MotionFixture {
 protected:
  // Entries: 0 a three-key frame with every flag, 1 empty, 2 a two-key frame; settings changed.
  Vyn_DX8_MatrixInterpolateSet* Sample() {
    Vyn_DX8_MatrixInterpolateSet* set = NewSet();
    set->SetTimeScale(1.5f);
    set->SetTimeShift(-2.0f);
    set->SetStartFrame(1.0f);
    set->SetEndFrame(40.0f);
    set->CreateMotionFrame(0, "Pelvis");
    set->CreateMotionFrame(2, "Head");
    SMatrixKey a[3] = {MakeKey(static_cast<uint32_t>(-16), {1, 2, 3}, RotationY(0.1f), {1, 2, 1}),
                       MakeKey(3000, {4, 2, 6}, RotationY(0.9f)),
                       MakeKey(7680, {8, 3, 2}, RotationY(2.0f), {0.5f, 0.5f, 0.5f})};
    set->SetMatrixFrames(a, 3, "pelvis", true);
    set->SetMatrixNoMovement(0, true);
    set->SetMatrixMultNr(0, 2);
    set->SetDummyMatrix(0, true);
    SMatrixKey b[2] = {MakeKey(static_cast<uint32_t>(-256), {0, 0, 0}), MakeKey(960, {0, 1, 0}, RotationY(-1.0f))};
    set->SetMatrixFrames(b, 2, "Head", false);
    return set;
  }
};

TEST_F(MotionSetPersistenceTest, WritesTheChunksInOrder) {
  const std::vector<uint8_t> bytes = Save(Sample());
  ZelFileLoader loader(bytes.data(), bytes.size());
  // The token sequence: tags by name, blocks by size.
  std::vector<std::string> tokens;
  while (!loader.AtEnd()) {
    if (loader.PeekToken() == ZelFileLoader::Token::Tag) {
      char tag[5];
      ASSERT_TRUE(loader.ReadTag(tag));
      tokens.push_back(tag);
    } else {
      uint32_t size = 0;
      ASSERT_TRUE(loader.SkipBlock(&size));
      tokens.push_back(std::to_string(size));
    }
  }
  const std::vector<std::string> frame0 = {"MQKC", "4", "68", "68", "68", "MQQK", "1", "MQDK", "1",
                                           "MQMR", "4", "MQNM", "1", "MQMN", "7"};
  const std::vector<std::string> frame2 = {"MQKC", "4", "68", "68", "MQQK", "1", "MQDK", "1",
                                           "MQMR", "4", "MQNM", "1", "MQMN", "5"};
  std::vector<std::string> want = {"MSSS", "4", "MSFT", "4", "MSUL", "1", "MSSF", "4", "MSEF", "4", "MSQC", "4"};
  want.insert(want.end(), frame0.begin(), frame0.end());
  want.push_back("MEEE");  // an empty entry is a tag alone
  want.insert(want.end(), frame2.begin(), frame2.end());
  EXPECT_EQ(tokens, want);

  // The first key record: time as stored (-16 became 0), then the matrix as passed in.
  ZelFileLoader reader(bytes.data(), bytes.size());
  for (const char* tag : {"MSSS", "MSFT", "MSUL", "MSSF", "MSEF", "MSQC", "MQKC"}) {
    ASSERT_TRUE(reader.GetInfoIfTag(tag)) << tag;
    uint32_t size;
    ASSERT_TRUE(reader.SkipBlock(&size));
  }
  uint32_t size = 0;
  const uint8_t* key = reader.PeekBlock(&size);
  ASSERT_EQ(size, 68u);
  uint32_t time;
  std::memcpy(&time, key, 4);
  EXPECT_EQ(time, 0u);
  const SMatrixKey expected = MakeKey(0, {1, 2, 3}, RotationY(0.1f), {1, 2, 1});
  EXPECT_EQ(0, std::memcmp(key + 4, &expected.matrix, 64));
}

TEST_F(MotionSetPersistenceTest, RoundTripKeepsPositionsKeysFlagsAndEvaluation) {
  Vyn_DX8_MatrixInterpolateSet* saved = Sample();
  const std::vector<uint8_t> bytes = Save(saved);

  Vyn_DX8_MatrixInterpolateSet* loaded = NewSet();
  loaded->CreateMotionFrame(5, "stale");  // replaced by the load
  ZelFileLoader loader(bytes.data(), bytes.size());
  ASSERT_TRUE(loaded->LoadChannel(loader, nullptr)) << loader.GetError();
  EXPECT_TRUE(loader.AtEnd());

  EXPECT_EQ(loaded->GetTimeScale(), 1.5f);
  EXPECT_EQ(loaded->GetTimeShift(), -2.0f);
  EXPECT_EQ(loaded->GetStartFrame(), 1.0f);
  EXPECT_EQ(loaded->GetEndFrame(), 40.0f);
  EXPECT_TRUE(loaded->GetLooping());
  ASSERT_EQ(loaded->GetMatrixCount(), 3);
  EXPECT_EQ(loaded->GetMotionFrame(1), nullptr);
  EXPECT_STREQ(loaded->GetMatrixName(0), "Pelvis");
  EXPECT_STREQ(loaded->GetMatrixName(2), "Head");
  EXPECT_TRUE(loaded->GetDummyMatrix(0));
  EXPECT_TRUE(loaded->GetMatrixNoMovement(0));
  EXPECT_EQ(loaded->GetMatrixMultNr(0), 2);
  EXPECT_TRUE(loaded->GetMotionFrame(0)->m_bInvertRotation);
  EXPECT_FALSE(loaded->GetMotionFrame(2)->m_bInvertRotation);
  for (int i : {0, 2}) {
    const MotionFrame* a = saved->GetMotionFrame(i);
    const MotionFrame* b = loaded->GetMotionFrame(i);
    ASSERT_EQ(a->m_nKeyCount, b->m_nKeyCount);
    EXPECT_EQ(b->m_pOwner, loaded);
    for (int k = 0; k < a->m_nKeyCount; ++k) {
      EXPECT_EQ(a->m_pKeys[k].dwTime, b->m_pKeys[k].dwTime);
      EXPECT_EQ(a->m_pKeys[k].matrix, b->m_pKeys[k].matrix);
      EXPECT_EQ(a->m_pKeys[k].rotation, b->m_pKeys[k].rotation);  // recomputed, same result
      EXPECT_EQ(a->m_pKeys[k].scale, b->m_pKeys[k].scale);
    }
  }
  EXPECT_EQ(loaded->GetMotionFrame(0)->m_pKeys[0].dwTime, 0u);            // -16 was stored as 0
  EXPECT_EQ(loaded->GetMotionFrame(2)->m_pKeys[0].dwTime, 4294967040u);   // -256 unchanged

  // The loaded set evaluates exactly as the saved one, the closing segment included (its cache
  // was computed with the inverted rotation as SetMatrixFrames did).
  for (float t : {0.0f, 3.3f, 11.0f, 24.9f, 26.0f, 27.5f, 27.9f, 100.0f}) {
    for (int i : {0, 1, 2}) {
      SCOPED_TRACE(::testing::Message() << "t=" << t << " entry " << i);
      EXPECT_EQ(saved->GetMatrixFromTime(t, i), loaded->GetMatrixFromTime(t, i));
      EXPECT_EQ(saved->GetCurrentSlerpQuaterion(i), loaded->GetCurrentSlerpQuaterion(i));
    }
  }
  // Saving what was loaded gives the same bytes.
  EXPECT_EQ(Save(loaded), bytes);
}

TEST_F(MotionSetPersistenceTest, MissingChunksKeepDefaults) {
  // Only a time scale: the other settings stay, the list is empty.
  StreamWriter w;
  const float scale = 3.0f;
  w.Tag("MSSS").Block(&scale, 4);
  Vyn_DX8_MatrixInterpolateSet* set = NewSet();
  set->CreateMotionFrame(0, "old");
  ZelFileLoader loader(w.bytes.data(), w.bytes.size());
  ASSERT_TRUE(set->LoadChannel(loader, nullptr));
  EXPECT_EQ(set->GetTimeScale(), 3.0f);
  EXPECT_EQ(set->GetEndFrame(), 100.0f);
  EXPECT_TRUE(set->GetLooping());
  EXPECT_EQ(set->GetMatrixCount(), 0);

  // A frame with only its key count and keys: flags at their defaults, cache still computed.
  StreamWriter f;
  SMatrixKey key = MakeKey(0, {0, 7, 0});
  f.Int("MSQC", 1).Int("MQKC", 1).Block(&key, sizeof key);
  Vyn_DX8_MatrixInterpolateSet* set2 = NewSet();
  ZelFileLoader l2(f.bytes.data(), f.bytes.size());
  ASSERT_TRUE(set2->LoadChannel(l2, nullptr)) << l2.GetError();
  ASSERT_EQ(set2->GetKeyCount(0), 1);
  EXPECT_EQ(set2->GetMatrixMultNr(0), -1);
  EXPECT_STREQ(set2->GetMatrixName(0), "");
  EXPECT_EQ(set2->GetMatrixFromTime(99.5f, 0)._42, 7.0f);  // the closing segment uses the cache
  EXPECT_EQ(set2->GetCurrentFraction(), 0.5f);
}

TEST_F(MotionSetPersistenceTest, BadCountsAndBlocksFailTheLoad) {
  SMatrixKey key = MakeKey(0, {0, 0, 0});
  struct Row {
    const char* what;
    std::vector<uint8_t> bytes;
  };
  std::vector<Row> rows;
  rows.push_back({"negative entry count", StreamWriter().Int("MSQC", -1).bytes});
  rows.push_back({"entry count beyond the stream", StreamWriter().Int("MSQC", 0x7fffffff).Tag("MEEE").bytes});
  rows.push_back({"entry count one too many", StreamWriter().Int("MSQC", 2).Tag("MEEE").bytes});
  rows.push_back({"negative key count", StreamWriter().Int("MSQC", 1).Int("MQKC", -5).bytes});
  rows.push_back({"key count beyond the stream",
                  StreamWriter().Int("MSQC", 1).Int("MQKC", 1000000).Block(&key, 68).bytes});
  rows.push_back({"short key block", StreamWriter().Int("MSQC", 1).Int("MQKC", 1).Block(&key, 60).Tag("MEEE").Tag("MEEE").bytes});
  rows.push_back({"oversized float block", StreamWriter().Tag("MSSS").Block(&key, 8).bytes});
  rows.push_back({"oversized flag block", StreamWriter().Int("MSQC", 1).Int("MQKC", 0).Tag("MQDK").Block(&key, 2).bytes});
  rows.push_back({"tag without its block", StreamWriter().Tag("MSEF").bytes});
  rows.push_back({"name block beyond the stream", [] {
                    StreamWriter w;
                    w.Int("MSQC", 1).Int("MQKC", 0).Tag("MQMN");
                    w.bytes.push_back('B');
                    const uint32_t n = 1000;
                    w.bytes.insert(w.bytes.end(), reinterpret_cast<const uint8_t*>(&n),
                                   reinterpret_cast<const uint8_t*>(&n) + 4);
                    w.bytes.insert(w.bytes.end(), 10, 'a');
                    return w.bytes;
                  }()});
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    engine_.GetLogger().Clear();
    Vyn_DX8_MatrixInterpolateSet* set = NewSet();
    ZelFileLoader loader(r.bytes.data(), r.bytes.size());
    EXPECT_FALSE(set->LoadChannel(loader, nullptr));
    EXPECT_TRUE(loader.HasError());
    EXPECT_TRUE(engine_.GetLogger().Contains("DX8 MotionSet")) << "reported through a sink";
  }
}

TEST_F(MotionSetPersistenceTest, EveryPrefixLoadsSafely) {
  const std::vector<uint8_t> bytes = Save(Sample());
  int refused = 0;
  for (std::size_t n = 0; n < bytes.size(); ++n) {
    std::vector<uint8_t> prefix(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(n));
    Vyn_DX8_MatrixInterpolateSet* set = NewSet();
    ZelFileLoader loader(prefix.data(), prefix.size());
    const bool ok = set->LoadChannel(loader, nullptr);
    if (!ok) ++refused;
    // A cut inside the entry list is always refused: the count promises more than is there.
    // Six settings chunks: six tags, six block heads, 21 data bytes.
    const std::size_t listStart = 6 * 5 + 6 * 5 + 21;
    // The last frame's flag and name chunks (62 bytes) are optional: a cut between them loads.
    if (n > listStart && n < bytes.size() - 62) {
      EXPECT_FALSE(ok) << "prefix of " << n << " bytes";
    }
  }
  EXPECT_GT(refused, 0);
}
