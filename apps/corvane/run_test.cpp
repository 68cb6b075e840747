// `corvane run` end to end: the built-in scene renders turning frames; a broken scene is named in
// the message and renders nothing; bad options are usage errors.
#include <gtest/gtest.h>
#include <png.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct RunResult {
  int code = -1;
  std::string output;  // stdout and stderr
};

RunResult RunTool(const std::string& args) {
  RunResult r;
  const std::string cmd = std::string(CORVANE_CLI_PATH) + " run " + args + " 2>&1";
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) return r;
  char buf[512];
  while (size_t n = fread(buf, 1, sizeof buf, p)) r.output.append(buf, n);
  int status = pclose(p);
  r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

std::vector<uint8_t> ReadPng(const std::string& path, int* w, int* h) {
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  std::vector<uint8_t> px;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return px;
  image.format = PNG_FORMAT_RGBA;
  px.resize(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, px.data(), 0, nullptr)) px.clear();
  *w = int(image.width);
  *h = int(image.height);
  return px;
}

fs::path FreshDir(const char* name) {
  fs::path d = fs::path(testing::TempDir()) / name;
  fs::remove_all(d);
  return d;
}

TEST(CorvaneRun, BuiltInSceneRendersMovingFrames) {
  fs::path out = FreshDir("corvane_run_default");
  RunResult r = RunTool("--frames 6 --size 96x64 --out " + out.string());
  ASSERT_EQ(r.code, 0) << r.output;
  EXPECT_NE(r.output.find(out.string()), std::string::npos) << r.output;
  int w = 0, h = 0;
  std::vector<uint8_t> first = ReadPng((out / "frame_0000.png").string(), &w, &h);
  ASSERT_EQ(w, 96);
  ASSERT_EQ(h, 64);
  std::vector<uint8_t> last = ReadPng((out / "frame_0005.png").string(), &w, &h);
  ASSERT_EQ(last.size(), first.size());
  EXPECT_NE(first, last);  // the scene moves
  EXPECT_FALSE(fs::exists(out / "frame_0006.png"));
  // Something was drawn: not every pixel has the colour of the first one.
  bool varied = false;
  for (size_t i = 4; i < last.size() && !varied; i += 4) varied = std::memcmp(&last[i], &last[0], 4) != 0;
  EXPECT_TRUE(varied);
}

TEST(CorvaneRun, BrokenSceneIsNamedAndRendersNothing) {
  fs::path dir = FreshDir("corvane_run_bad");
  fs::create_directories(dir);
  const fs::path scene = dir / "bad.json";
  std::ofstream(scene) << R"({ "frames": 2, "channels": [
      { "id": "thing", "type": "DX8 3D ObjectData", "properties": { "Primitiv": "Box" } } ],
      "roots": ["thing"] })";
  RunResult r = RunTool(scene.string() + " --out " + (dir / "out").string());
  EXPECT_EQ(r.code, 1) << r.output;
  EXPECT_NE(r.output.find("bad.json"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("thing"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("Primitiv"), std::string::npos) << r.output;
  EXPECT_FALSE(fs::exists(dir / "out" / "frame_0000.png"));

  r = RunTool((dir / "missing.json").string() + " --out " + (dir / "out").string());
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.output.find("missing.json"), std::string::npos) << r.output;
}

// A project saved from a text scene renders the same images as the text scene.
TEST(CorvaneRun, ProjectFileRendersLikeItsTextScene) {
  fs::path dir = FreshDir("corvane_run_project");
  fs::create_directories(dir);
  const std::string scene = std::string(CORVANE_SOURCE_DIR) + "/scenes/objects.json";
  const std::string project = (dir / "objects.cvp").string();
  const std::string save = std::string(CORVANE_CLI_PATH) + " save " + scene + " " + project + " > /dev/null 2>&1";
  ASSERT_EQ(std::system(save.c_str()), 0);
  ASSERT_EQ(RunTool(scene + " --frames 2 --size 80x60 --out " + (dir / "a").string()).code, 0);
  ASSERT_EQ(RunTool(project + " --frames 2 --size 80x60 --out " + (dir / "b").string()).code, 0);
  int w = 0, h = 0;
  std::vector<uint8_t> a = ReadPng((dir / "a" / "frame_0001.png").string(), &w, &h);
  std::vector<uint8_t> b = ReadPng((dir / "b" / "frame_0001.png").string(), &w, &h);
  ASSERT_FALSE(a.empty());
  EXPECT_EQ(a, b);
}

TEST(CorvaneRun, BadOptionsAreUsageErrors) {
  for (const char* args : {"--size 0x10", "--size 10", "--frames 0", "--frames x", "--out", "--bogus", "a.json b.json"})
    EXPECT_EQ(RunTool(args).code, 2) << args;
}

}  // namespace
