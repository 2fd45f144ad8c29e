#include "render/PluginLocator.h"

#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <stdlib.h>

#include <cstdlib>

#include "render/RenderError.h"

#ifndef TOLVANE_RENDER_BUILD_PLUGIN
#define TOLVANE_RENDER_BUILD_PLUGIN ""
#endif

namespace tolvane {
namespace render {

namespace {

std::string ExecutableDirectory() {
  char buffer[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (n <= 0) return "";
  const std::string exe(buffer, static_cast<size_t>(n));
  const size_t slash = exe.rfind('/');
  return slash == std::string::npos ? "" : exe.substr(0, slash);
}

bool IsFile(const std::string& path) {
  struct stat st = {};
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

std::vector<PluginLocator::Candidate> PluginLocator::Candidates() {
  std::vector<Candidate> paths;
  const std::string dir = ExecutableDirectory();
  if (!dir.empty()) {
    paths.push_back({dir + "/../vst/Tolvane.so", "beside bin/ in a build tree"});
    paths.push_back({dir + "/../lib/vst/Tolvane.so", "in an installed prefix"});
  }
  const std::string built = TOLVANE_RENDER_BUILD_PLUGIN;
  if (!built.empty()) paths.push_back({built, "where this program was built"});
  if (const char* home = std::getenv("HOME")) {
    if (*home) paths.push_back({std::string(home) + "/.vst/Tolvane.so", "in your VST folder"});
  }
  return paths;
}

std::string PluginLocator::DefaultPlugin() {
  const std::vector<Candidate> paths = Candidates();
  for (const Candidate& c : paths) {
    if (!IsFile(c.path)) continue;
    // Shown in the summary: without the bin/.. detour.
    char resolved[PATH_MAX];
    return realpath(c.path.c_str(), resolved) ? std::string(resolved) : c.path;
  }
  std::string tried;
  for (const Candidate& c : paths) tried += "\n  " + c.path;
  throw RenderError(kExitPlugin,
                    "Tolvane.so was not found; give a plug-in with --plugin. "
                    "Looked in:" +
                        tried);
}

}  // namespace render
}  // namespace tolvane
