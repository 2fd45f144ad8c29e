// tolvane-snapshot run as a user runs it: the sizes it writes at the opening scale and at full
// size, parameters shown in the picture, and its refusals (bad scale, unknown parameter,
// unwritable output) with their exit codes and no file left behind.

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

/// A fresh directory, removed with its contents at destruction.
class TempDir {
 public:
  TempDir() {
    char name[] = "/tmp/tolvane-snapshot-XXXXXX";
    if (mkdtemp(name)) mPath = name;
  }
  ~TempDir() {
    std::error_code ec;
    if (!mPath.empty()) std::filesystem::remove_all(mPath, ec);
  }
  std::string File(const std::string& name) const { return mPath + "/" + name; }
  bool Empty() const { return std::filesystem::is_empty(mPath); }

 private:
  std::string mPath;
};

/// Runs the tool with `args` (quoted by the caller where needed); answers its exit code.
int Snapshot(const std::string& args) {
  const std::string command =
      std::string("\"") + TOLVANE_SNAPSHOT_EXE + "\" " + args + " > /dev/null 2>&1";
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::vector<unsigned char> Read(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::vector<unsigned char>(std::istreambuf_iterator<char>(f), {});
}

/// Width and height from a PNG's header; 0 x 0 when the file is no PNG.
std::pair<int, int> PngSize(const std::vector<unsigned char>& png) {
  static const unsigned char kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  if (png.size() < 24 || !std::equal(kSignature, kSignature + 8, png.begin())) return {0, 0};
  auto be32 = [&](size_t i) {
    return static_cast<int>((png[i] << 24) | (png[i + 1] << 16) | (png[i + 2] << 8) | png[i + 3]);
  };
  return {be32(16), be32(20)};
}

TEST(Snapshot, WritesTheEditorAtTheOpeningScaleAndAtFullSize) {
  TempDir dir;
  ASSERT_EQ(Snapshot("--out " + dir.File("a.png")), 0);
  EXPECT_EQ(PngSize(Read(dir.File("a.png"))), std::make_pair(815, 505));
  ASSERT_EQ(Snapshot("--scale 1 --out " + dir.File("b.png")), 0);
  EXPECT_EQ(PngSize(Read(dir.File("b.png"))), std::make_pair(1630, 1010));

  // Drawing is deterministic; a parameter set on the command line shows.
  ASSERT_EQ(Snapshot("--out " + dir.File("c.png")), 0);
  EXPECT_EQ(Read(dir.File("a.png")), Read(dir.File("c.png")));
  ASSERT_EQ(Snapshot("--set Bypass=1 --set \"input gain=0.9n\" --out " + dir.File("d.png")), 0);
  EXPECT_EQ(PngSize(Read(dir.File("d.png"))), std::make_pair(815, 505));
  EXPECT_NE(Read(dir.File("a.png")), Read(dir.File("d.png")));
}

TEST(Snapshot, RefusesBadRequestsWithoutWritingAFile) {
  TempDir dir;
  EXPECT_EQ(Snapshot("--scale 2 --out " + dir.File("x.png")), 2);
  EXPECT_EQ(Snapshot("--scale nan --out " + dir.File("x.png")), 2);
  EXPECT_EQ(Snapshot("--set Loudness=3 --out " + dir.File("x.png")), 2);
  EXPECT_EQ(Snapshot("--set Wet --out " + dir.File("x.png")), 2);
  EXPECT_TRUE(dir.Empty());
  EXPECT_EQ(Snapshot("--out " + dir.File("missing/x.png")), 4);
}

}  // namespace
