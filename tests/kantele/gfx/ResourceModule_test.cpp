#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "kantele/gfx/Resources.h"
#include "support/ModuleLoader.h"

// A module's resources are its own: the probe module (ResourceProbe.cpp) carries probe.png,
// the test program the other fixtures. Each copy of the library must read its own module's;
// on Windows that takes the DllMain kantele_add_resources compiles into the DLL, on Linux the
// table the module's generated source registers.

namespace kantele {
namespace gfx {
namespace {

using ProbeFn = int (*)(const char* name, const char* type, int* size, const void** module);

long FixtureSize(const char* name) {
  std::ifstream in(
      test::ModuleLoader::SystemPath(std::string(KANTELE_RESOURCE_FIXTURE_DIR "/") + name),
      std::ios::binary | std::ios::ate);
  return in ? static_cast<long>(in.tellg()) : -1;
}

TEST(ResourceModule, EachModuleReadsItsOwnResources) {
  test::ModuleLoader loader;
  ASSERT_TRUE(loader.Open(KANTELE_RESOURCE_PROBE_PATH)) << loader.Error();
  const auto probe = reinterpret_cast<ProbeFn>(loader.Find("KanteleResourceProbe"));
  ASSERT_NE(probe, nullptr) << loader.Error();

  int size = -1;
  const void* probeModule = nullptr;
  EXPECT_EQ(probe("Probe.PNG", "png", &size, &probeModule), kInModule);
  EXPECT_EQ(size, FixtureSize("probe.png"));
  ASSERT_NE(probeModule, nullptr);
  EXPECT_NE(probeModule, GetResourceModule()) << "the module answered the program's resources";

  // The program's resources are not the module's, and the other way round.
  EXPECT_EQ(probe("knob.png", "png", &size, nullptr), kNotFound);
  EXPECT_EQ(size, 0);
  std::string resolved;
  EXPECT_EQ(LocateResource("probe.png", "png", resolved, GetResourceModule()), kNotFound);
  EXPECT_EQ(LocateResource("knob.png", "png", resolved, GetResourceModule()), kInModule);

  // Unloading the module leaves the program's own lookup intact.
  EXPECT_TRUE(loader.Close()) << loader.Error();
  EXPECT_EQ(LoadResource("knob.png", "png", GetResourceModule()).size(),
            static_cast<size_t>(FixtureSize("knob.png")));
}

}  // namespace
}  // namespace gfx
}  // namespace kantele
