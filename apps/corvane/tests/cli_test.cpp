// Runs the built `corvane` binary on small scenes and projects and checks what it prints and the
// exit codes.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct Result {
  int code = -1;
  std::string out;  // stdout
  std::string err;  // stderr
};

std::string ReadText(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class CliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("corvane_cli_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  // Runs corvane with the stock plug-ins and the probe type on its plug-in path.
  Result Run(const std::string& args) {
    const fs::path out = dir_ / "stdout.txt", err = dir_ / "stderr.txt";
    const std::string cmd = std::string("CORVANE_PLUGIN_PATH='") + CORVANE_TEST_PLUGIN_DIR + ":" +
                            CORVANE_TEST_PROBE_DIR + "' '" + CORVANE_CLI_PATH + "' " + args + " >'" +
                            out.string() + "' 2>'" + err.string() + "'";
    int status = std::system(cmd.c_str());
    Result r;
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.out = ReadText(out);
    r.err = ReadText(err);
    return r;
  }

  fs::path Write(const std::string& name, const std::string& text) {
    fs::path p = dir_ / name;
    std::ofstream(p, std::ios::binary) << text;
    return p;
  }

  fs::path dir_;
};

const char* kScene = R"({
  "frames": 3,
  "channels": [
    { "id": "probe", "type": "Test Probe", "properties": { "Count": 9, "Mode": "ModeB" },
      "links": { "Value": "speed", "Matrices": ["pose"] } },
    { "id": "speed", "type": "Value", "properties": { "Float": 2.5 } },
    { "id": "pose", "type": "Matrix", "properties": { "Matrix": { "translation": [1, 2, 3] } } }
  ],
  "roots": ["probe"]
})";

TEST_F(CliTest, PluginsListsTheStockTypes) {
  Result r = Run("plugins");
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("TYPE NAME"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("0B97F3E6-5A1C-4F84-B26D-A9E40C83F51D.so  Value"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("81C4E6A0-F759-4D3B-9A2E-60F8B1C37D95.so  Matrix"), std::string::npos) << r.out;

  Result props = Run("plugins --properties");
  ASSERT_EQ(props.code, 0) << props.err;
  EXPECT_NE(props.out.find("Mode"), std::string::npos);
  EXPECT_NE(props.out.find("enumeration: ModeA, ModeB, ModeC"), std::string::npos) << props.out;
}

TEST_F(CliTest, SaveThenInspectShowsTreeTagsAndValues) {
  const fs::path scene = Write("scene.json", kScene);
  const fs::path project = dir_ / "scene.cvp";
  Result save = Run("save '" + scene.string() + "' '" + project.string() + "'");
  ASSERT_EQ(save.code, 0) << save.err;
  EXPECT_NE(save.out.find("3 channels"), std::string::npos) << save.out;
  ASSERT_TRUE(fs::exists(project));

  Result r = Run("inspect '" + project.string() + "'");
  ASSERT_EQ(r.code, 0) << r.err << r.out;
  // The tree from the root, children by link name.
  EXPECT_NE(r.out.find("Test Probe \"probe\""), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("\"Value\" -> #"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("\"Matrices\" -> #"), std::string::npos) << r.out;
  // Tags and block sizes of the chunk streams.
  EXPECT_NE(r.out.find("tag   PRBE"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("tag   MTRX"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("block 64 bytes"), std::string::npos) << r.out;
  // Values by name.
  EXPECT_NE(r.out.find("Count                        = 9"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("ModeB (1)"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("Float                        = 2.5"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("1 2 3 1]"), std::string::npos) << r.out;
}

TEST_F(CliTest, BrokenProjectIsWalkedUpToTheFault) {
  const fs::path scene = Write("scene.json", kScene);
  const fs::path project = dir_ / "scene.cvp";
  ASSERT_EQ(Run("save '" + scene.string() + "' '" + project.string() + "'").code, 0);
  std::string bytes = ReadText(project);
  // Cut inside the last channel's stream.
  const fs::path cut = Write("cut.cvp", bytes.substr(0, bytes.size() * 2 / 3));
  Result r = Run("inspect '" + cut.string() + "'");
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.out.find("tag   PRBE"), std::string::npos) << r.out;  // the walk before the fault
  EXPECT_NE(r.err.find(cut.string() + ": at offset"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("cannot load"), std::string::npos) << r.err;

  const fs::path junk = Write("junk.cvp", "hello");
  r = Run("inspect '" + junk.string() + "'");
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.err.find("not a project file"), std::string::npos) << r.err;
}

TEST_F(CliTest, ErrorsNameTheFileAndExitCodesFollowTheRule) {
  Result missing = Run("inspect '" + (dir_ / "nothing.cvp").string() + "'");
  EXPECT_EQ(missing.code, 1);
  EXPECT_NE(missing.err.find("nothing.cvp: cannot open"), std::string::npos) << missing.err;

  const fs::path bad = Write("bad.json", R"({ "channels": [ { "id": "v", "type": "Value", "properties": { "Speed": 1 } } ] })");
  Result save = Run("save '" + bad.string() + "' '" + (dir_ / "out.cvp").string() + "'");
  EXPECT_EQ(save.code, 1);
  EXPECT_NE(save.err.find(bad.string() + ": channel \"v\": unknown property \"Speed\""), std::string::npos)
      << save.err;
  EXPECT_FALSE(fs::exists(dir_ / "out.cvp"));

  EXPECT_EQ(Run("").code, 2);
  EXPECT_EQ(Run("frobnicate").code, 2);
  EXPECT_EQ(Run("save only-one.json").code, 2);
  EXPECT_EQ(Run("inspect --verbose x.cvp").code, 2);
  for (const char* help : {"--help", "plugins --help", "inspect --help", "save --help", "run --help", "help save"}) {
    Result h = Run(help);
    EXPECT_EQ(h.code, 0) << help;
    EXPECT_NE(h.out.find("usage: corvane"), std::string::npos) << help;
  }
}

}  // namespace
