#include "kantele/gfx/Resources.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "support/ModuleLoader.h"

// The program embeds the files of tests/kantele/gfx/resources/ (see CMakeLists.txt) with
// kantele_add_resources, so these cases read real module resources: the executable's resource
// section under Wine, its embedded table on Linux.

namespace kantele {
namespace gfx {
namespace {

std::vector<uint8_t> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

std::vector<uint8_t> Fixture(const char* name) {
  const std::vector<uint8_t> bytes = ReadFile(
      test::ModuleLoader::SystemPath(std::string(KANTELE_RESOURCE_FIXTURE_DIR "/") + name));
  EXPECT_FALSE(bytes.empty()) << "fixture " << name << " unreadable";
  return bytes;
}

// The bytes the module holds under a resolved name; empty when it holds none.
std::vector<uint8_t> ModuleBytes(const std::string& resolved, const char* type) {
  int size = -1;
  const uint8_t* data = ReadModuleResource(resolved.c_str(), type, size, GetResourceModule());
  if (!data) {
    EXPECT_EQ(size, 0);
    return {};
  }
  return std::vector<uint8_t>(data, data + size);
}

// A file of its own per case: natively the cases run in parallel processes.
class TempFile {
 public:
  TempFile(const std::string& leaf, const std::vector<uint8_t>& bytes)
      : mPath(testing::TempDir() + leaf) {
    std::ofstream out(mPath, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
  }
  ~TempFile() { std::remove(mPath.c_str()); }
  const std::string& Path() const { return mPath; }

 private:
  std::string mPath;
};

TEST(LocateResource, FindsTheQuotedUpperCaseNameInAnyCase) {
  const ModuleHandle module = GetResourceModule();
  ASSERT_NE(module, nullptr);
  for (const char* name : {"KNOB.PNG", "Knob.Png", "knob.png"}) {
    for (const char* type : {"PNG", "png", "Png"}) {
      std::string resolved = "unchanged";
      EXPECT_EQ(LocateResource(name, type, resolved, module), kInModule) << name << " " << type;
      EXPECT_EQ(resolved, "\"KNOB.PNG\"") << name << " " << type;
    }
  }
  std::string resolved;
  EXPECT_EQ(LocateResource("mixed.case.JPG", "jpg", resolved, module), kInModule);
  EXPECT_EQ(resolved, "\"MIXED.CASE.JPG\"");
  EXPECT_EQ(LocateResource("Dummy.TTF", "ttf", resolved, module), kInModule);
  EXPECT_EQ(resolved, "\"DUMMY.TTF\"");
}

TEST(LocateResource, NeedsTheWholeNameAndTheRightType) {
  const ModuleHandle module = GetResourceModule();
  for (const char* name :
       {"knob.pn", "nob.png", "knob.png ", "knob", "knob.png.png", "\"knob.png\""}) {
    std::string resolved = "unchanged";
    EXPECT_EQ(LocateResource(name, "png", resolved, module), kNotFound) << name;
    EXPECT_EQ(resolved, "unchanged") << name;
  }
  std::string resolved;
  EXPECT_EQ(LocateResource("knob.png", "jpg", resolved, module), kNotFound);
  EXPECT_EQ(LocateResource("dummy.ttf", "png", resolved, module), kNotFound);
  EXPECT_EQ(LocateResource("knob.png", "", resolved, module), kNotFound);
  EXPECT_EQ(LocateResource("knob.png", nullptr, resolved, module), kNotFound);
  EXPECT_EQ(LocateResource("knob.png", "png", resolved, nullptr), kNotFound)
      << "a null module has no resources";
  EXPECT_EQ(LocateResource(nullptr, "png", resolved, module), kNotFound);
  EXPECT_EQ(LocateResource("", "png", resolved, module), kNotFound);
}

TEST(ReadModuleResource, ResolvedNamesReadTheEmbeddedBytes) {
  const ModuleHandle module = GetResourceModule();
  for (const char* name :
       {"knob.png", "knob@2x.png", "knob@3x.png", "Mixed.Case.jpg", "dummy.ttf"}) {
    const std::string type = FileExtension(name);
    std::string resolved;
    ASSERT_EQ(LocateResource(name, type.c_str(), resolved, module), kInModule) << name;
    EXPECT_EQ(ModuleBytes(resolved, type.c_str()), Fixture(name)) << name;
    EXPECT_EQ(LoadResource(name, type.c_str(), module), Fixture(name)) << name;
  }
  EXPECT_NE(Fixture("knob.png"), Fixture("knob@2x.png")) << "scales must be told apart by bytes";

  // Lookups of the resolved name ignore case too; unquoted or unknown names hold nothing.
  EXPECT_EQ(ModuleBytes("\"knob.png\"", "png"), Fixture("knob.png"));
  EXPECT_TRUE(ModuleBytes("KNOB.PNG", "png").empty());
  EXPECT_TRUE(ModuleBytes("\"KNOB.PNG\"", "jpg").empty());
  EXPECT_TRUE(ModuleBytes("\"ABSENT.PNG\"", "png").empty());
  int size = -1;
  EXPECT_EQ(ReadModuleResource(nullptr, "png", size, module), nullptr);
  EXPECT_EQ(size, 0);
  size = -1;
  EXPECT_EQ(ReadModuleResource("\"KNOB.PNG\"", "png", size, nullptr), nullptr);
  EXPECT_EQ(size, 0);
}

TEST(ReadModuleResource, ResourcesUnderEightBytesAreMissing) {
  const ModuleHandle module = GetResourceModule();
  std::string resolved;
  // Seven bytes: found by name, but no bytes are given out.
  ASSERT_EQ(LocateResource("tiny.png", "png", resolved, module), kInModule);
  int size = -1;
  EXPECT_EQ(ReadModuleResource(resolved.c_str(), "png", size, module), nullptr);
  EXPECT_EQ(size, 0);
  EXPECT_TRUE(LoadResource("tiny.png", "png", module).empty());

  ASSERT_EQ(LocateResource("eight.png", "png", resolved, module), kInModule);
  EXPECT_NE(ReadModuleResource(resolved.c_str(), "png", size, module), nullptr);
  EXPECT_EQ(size, 8);
  EXPECT_EQ(LoadResource("eight.png", "png", module), Fixture("eight.png"));
}

TEST(LocateResource, FallsBackToAFileOnDisk) {
  const std::vector<uint8_t> bytes = {'n', 'o', 't', ' ', 'i', 'n', ' ',
                                      'm', 'o', 'd', 'u', 'l', 'e'};
  const TempFile file("kantele_resource_fallback.png", bytes);
  std::string resolved;
  EXPECT_EQ(LocateResource(file.Path().c_str(), "png", resolved, GetResourceModule()),
            kAbsolutePath);
  EXPECT_EQ(resolved, file.Path());
  EXPECT_EQ(LoadResource(file.Path().c_str(), "png", GetResourceModule()), bytes);
  // Files count whatever the type, and without a module.
  EXPECT_EQ(LocateResource(file.Path().c_str(), nullptr, resolved, nullptr), kAbsolutePath);
  EXPECT_EQ(LoadResource(file.Path().c_str(), "", nullptr), bytes);

  // A file shorter than any module resource may be is still read whole.
  const TempFile shortFile("kantele_resource_short.png", {1, 2, 3});
  EXPECT_EQ(LoadResource(shortFile.Path().c_str(), "png", nullptr),
            (std::vector<uint8_t>{1, 2, 3}));

  const std::string missing = testing::TempDir() + "kantele_resource_missing.png";
  EXPECT_EQ(LocateResource(missing.c_str(), "png", resolved, GetResourceModule()), kNotFound);
  EXPECT_TRUE(LoadResource(missing.c_str(), "png", GetResourceModule()).empty());
  // A folder is not a file.
  EXPECT_EQ(LocateResource(testing::TempDir().c_str(), "png", resolved, nullptr), kNotFound);
  EXPECT_TRUE(LoadResource(testing::TempDir().c_str(), "png", nullptr).empty());
}

TEST(LocateResource, OverlongAndOddNamesAreNotFound) {
  const ModuleHandle module = GetResourceModule();
  std::string resolved = "unchanged";
  const std::string longName(10 * 1024, 'k');
  const std::string longPng = longName + ".png";
  EXPECT_EQ(LocateResource(longPng.c_str(), "png", resolved, module), kNotFound);
  EXPECT_TRUE(LoadResource(longPng.c_str(), "png", module).empty());
  int size = -1;
  EXPECT_EQ(ReadModuleResource(longPng.c_str(), "png", size, module), nullptr);
  EXPECT_EQ(size, 0);
  int scale = -1;
  EXPECT_EQ(FindImage(longPng.c_str(), "png", resolved, 2, scale, module), kNotFound);
  EXPECT_EQ(scale, 0);
  // A long type can't be a resource type either.
  EXPECT_EQ(LocateResource("knob.png", longName.c_str(), resolved, module), kNotFound);

  for (const char* odd :
       {"\"", "\"\"", "\"KNOB.PNG", "KNOB.PNG\"", "kn\"ob.png", "#1", "knob.png\n"}) {
    EXPECT_EQ(LocateResource(odd, "png", resolved, module), kNotFound) << odd;
    EXPECT_TRUE(ModuleBytes(odd, "png").empty()) << odd;
  }
  EXPECT_EQ(resolved, "unchanged");
}

TEST(ScaledResourceName, InsertsTheScaleBeforeTheExtension) {
  EXPECT_EQ(ScaledResourceName("ledOn.png", 1), "ledOn.png");
  EXPECT_EQ(ScaledResourceName("ledOn.png", 2), "ledOn@2x.png");
  EXPECT_EQ(ScaledResourceName("ledOn.png", 3), "ledOn@3x.png");
  EXPECT_EQ(ScaledResourceName("a.b.c.png", 2), "a.b.c@2x.png") << "the last dot starts it";
  EXPECT_EQ(ScaledResourceName("noext", 3), "noext@3x");
  EXPECT_EQ(ScaledResourceName("dir.v2/knob", 2), "dir.v2/knob@2x");
  EXPECT_EQ(ScaledResourceName("dir.v2\\knob", 2), "dir.v2\\knob@2x");
  EXPECT_EQ(ScaledResourceName("dir.v2/knob.png", 2), "dir.v2/knob@2x.png");
  EXPECT_EQ(ScaledResourceName("trailing.", 2), "trailing@2x.");
  EXPECT_EQ(ScaledResourceName(nullptr, 2), "");
}

TEST(FileExtension, IsTheTextAfterTheLastDotOfTheFileName) {
  EXPECT_EQ(FileExtension("knob.png"), "png");
  EXPECT_EQ(FileExtension("Mixed.Case.jpg"), "jpg");
  EXPECT_EQ(FileExtension("noext"), "");
  EXPECT_EQ(FileExtension("trailing."), "");
  EXPECT_EQ(FileExtension("dir.png/knob"), "") << "a folder's dot is no extension";
  EXPECT_EQ(FileExtension(nullptr), "");
}

TEST(IsSupportedImageExtension, AcceptsPngAndJpegInAnyCase) {
  for (const char* ext : {"png", "PNG", "jpg", "Jpg", "jpeg", "JPEG"}) {
    EXPECT_TRUE(IsSupportedImageExtension(ext)) << ext;
  }
  for (const char* ext : {"ttf", "gif", "pn", "jp", "", static_cast<const char*>(nullptr)}) {
    EXPECT_FALSE(IsSupportedImageExtension(ext)) << (ext ? ext : "null");
  }
  // Names without an extension are never images.
  EXPECT_FALSE(IsSupportedImageExtension(FileExtension("noext").c_str()));
  EXPECT_FALSE(IsSupportedImageExtension(FileExtension("dir.png/noext").c_str()));
  // Only the first 31 characters are looked at.
  EXPECT_TRUE(IsSupportedImageExtension((std::string(28, 'x') + "png").c_str()));
  EXPECT_FALSE(IsSupportedImageExtension((std::string(29, 'x') + "png").c_str()));
}

std::vector<int> ScaleOrder(int target) {
  std::vector<int> order;
  for (int source = target; source > 0 && order.size() < 8;
       source = NextSourceScale(source, target)) {
    order.push_back(source);
  }
  return order;
}

TEST(NextSourceScale, TriesTheTargetThenLargerThenSmaller) {
  EXPECT_EQ(ScaleOrder(1), (std::vector<int>{1, 3, 2}));
  EXPECT_EQ(ScaleOrder(2), (std::vector<int>{2, 3, 1}));
  EXPECT_EQ(ScaleOrder(3), (std::vector<int>{3, 2, 1}));
}

struct Found {
  EResourceLocation location;
  int scale;
  std::string resolved;
};

Found Find(const char* name, int target) {
  Found f{kNotFound, -1, "unchanged"};
  f.location = FindImage(name, "png", f.resolved, target, f.scale, GetResourceModule());
  return f;
}

TEST(FindImage, TakesTheFirstScalePresentInSearchOrder) {
  // knob.png is present at every scale: each target finds its own.
  for (int target = 1; target <= 3; ++target) {
    const Found f = Find("knob.png", target);
    EXPECT_EQ(f.location, kInModule);
    EXPECT_EQ(f.scale, target);
    EXPECT_EQ(ModuleBytes(f.resolved, "png"),
              Fixture(ScaledResourceName("knob.png", target).c_str()));
  }
  EXPECT_EQ(Find("knob.png", 2).resolved, "\"KNOB@2X.PNG\"");

  // Present at some scales only: the answer shows which scale was tried first.
  EXPECT_EQ(Find("onlytwo.png", 1).scale, 2);
  EXPECT_EQ(Find("onlytwo.png", 3).scale, 2);
  EXPECT_EQ(Find("onethree.png", 2).scale, 3) << "3 comes before 1 from target 2";
  EXPECT_EQ(Find("twothree.png", 1).scale, 3) << "3 comes before 2 from target 1";
  EXPECT_EQ(Find("onetwo.png", 3).scale, 2) << "2 comes before 1 from target 3";
  EXPECT_EQ(Find("onetwo.png", 1).scale, 1);
  const Found twoThree = Find("TwoThree.PNG", 1);
  EXPECT_EQ(twoThree.resolved, "\"TWOTHREE@3X.PNG\"");
  EXPECT_EQ(ModuleBytes(twoThree.resolved, "png"), Fixture("twothree@3x.png"));

  // Targets outside 1..3 search as the nearest one.
  EXPECT_EQ(Find("onetwo.png", 7).scale, 2);
  EXPECT_EQ(Find("twothree.png", 0).scale, 3);
  EXPECT_EQ(Find("twothree.png", -5).scale, 3);

  const Found absent = Find("absent.png", 2);
  EXPECT_EQ(absent.location, kNotFound);
  EXPECT_EQ(absent.scale, 0);
  EXPECT_EQ(absent.resolved, "unchanged");
  EXPECT_EQ(Find(nullptr, 1).location, kNotFound);
}

TEST(FindImage, FindsScaledFilesOnDisk) {
  const TempFile file("kantele_resource_disk@3x.png", {9, 8, 7, 6, 5, 4, 3, 2, 1});
  const std::string name = testing::TempDir() + "kantele_resource_disk.png";
  std::string resolved;
  int scale = -1;
  EXPECT_EQ(FindImage(name.c_str(), "png", resolved, 2, scale, GetResourceModule()), kAbsolutePath);
  EXPECT_EQ(scale, 3);
  EXPECT_EQ(resolved, file.Path());
}

}  // namespace
}  // namespace gfx
}  // namespace kantele
