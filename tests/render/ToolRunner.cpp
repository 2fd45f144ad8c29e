#include "ToolRunner.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sndfile.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>

extern char** environ;

namespace tolvane {
namespace render {
namespace test {

namespace fs = std::filesystem;

namespace {

// stdout and stderr capture files of the children not yet waited for.
std::map<pid_t, std::pair<std::string, std::string>> sCaptures;

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

pid_t StartTool(const std::vector<std::string>& args) {
  static int sCount = 0;
  const std::string base = (fs::temp_directory_path() / "render-capture-").string() +
                           std::to_string(getpid()) + "-" + std::to_string(++sCount);
  const std::string out = base + ".out", err = base + ".err";
  std::vector<std::string> store = {TOLVANE_RENDER_EXE};
  store.insert(store.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : store) argv.push_back(&a[0]);
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  pid_t pid = -1;
  const int rc = posix_spawn(&pid, TOLVANE_RENDER_EXE, &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) {
    ADD_FAILURE() << "cannot start " << TOLVANE_RENDER_EXE << ": " << rc;
    return -1;
  }
  sCaptures[pid] = {out, err};
  return pid;
}

ToolResult WaitTool(pid_t pid) {
  ToolResult r;
  if (pid <= 0) return r;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (WIFEXITED(status)) r.exitCode = WEXITSTATUS(status);
  const auto files = sCaptures[pid];
  sCaptures.erase(pid);
  r.out = Slurp(files.first);
  r.err = Slurp(files.second);
  fs::remove(files.first);
  fs::remove(files.second);
  return r;
}

void ExpectFailures(const std::vector<FailureCase>& cases, const TempDir& dir,
                    const std::vector<std::string>& prefix) {
  const std::vector<std::string> before = dir.Entries();
  for (const FailureCase& c : cases) {
    std::vector<std::string> args = prefix;
    args.insert(args.end(), c.args.begin(), c.args.end());
    std::string line;
    for (const std::string& a : args) line += a + " ";
    SCOPED_TRACE(line);
    const ToolResult r = RunTool(args);
    EXPECT_EQ(r.exitCode, c.code) << r.err;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    EXPECT_TRUE(r.out.empty()) << r.out;
    EXPECT_EQ(dir.Entries(), before);
  }
}

HostSettings TransportSettings() {
  HostSettings settings;
  settings.sampleRate = 48000.0;
  settings.blockSize = 24000;
  settings.tempo = 90.0;
  return settings;
}

PlanarBuffers::PlanarBuffers(int channels, int frames, float value)
    : mChannels(static_cast<size_t>(channels),
                std::vector<float>(static_cast<size_t>(frames), value)) {
  for (std::vector<float>& c : mChannels) mPointers.push_back(c.data());
}

TempDir::TempDir() {
  std::string pattern = (fs::temp_directory_path() / "render-test-XXXXXX").string();
  if (mkdtemp(&pattern[0])) mPath = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  if (!mPath.empty()) fs::remove_all(mPath, ignored);
}

std::vector<std::string> TempDir::Entries() const {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(mPath)) names.push_back(e.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

void WriteSignal(const std::string& path, int format, int channels, int rate, int64_t frames) {
  SF_INFO info = {};
  info.samplerate = rate;
  info.channels = channels;
  info.format = format;
  SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
  ASSERT_NE(f, nullptr) << path << ": " << sf_strerror(nullptr);
  std::vector<double> samples(static_cast<size_t>(frames * channels));
  uint32_t noise = 12345;
  for (size_t i = 0; i < samples.size(); ++i) {
    const double t = static_cast<double>(i / channels) / rate;
    const double c = static_cast<double>(i % channels);
    double s = 0.0;
    for (double f : {110.0, 277.2, 659.3}) s += std::sin(2.0 * 3.141592653589793 * f * t + c);
    noise = noise * 1664525u + 1013904223u;
    samples[i] = 0.16 * s + 0.02 * (static_cast<double>(noise >> 8) / 8388608.0 - 1.0);
  }
  EXPECT_EQ(sf_writef_double(f, samples.data(), frames), frames);
  sf_close(f);
}

Audio ReadAudio(const std::string& path) {
  Audio a;
  SF_INFO info = {};
  SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
  EXPECT_NE(f, nullptr) << path << ": " << sf_strerror(nullptr);
  if (!f) return a;
  a = {info.samplerate, info.channels, info.format, info.frames, {}};
  a.samples.resize(static_cast<size_t>(info.frames * info.channels));
  EXPECT_EQ(sf_readf_double(f, a.samples.data(), info.frames), info.frames);
  sf_close(f);
  return a;
}

bool Sounds(const Audio& a, double minPeak) {
  double peak = 0.0;
  for (double x : a.samples) {
    if (!std::isfinite(x)) return false;
    peak = std::max(peak, std::fabs(x));
  }
  return peak > minPeak;
}

double MaxDifference(const Audio& a, const Audio& b) {
  double d = 0.0;
  for (size_t i = 0; i < a.samples.size() && i < b.samples.size(); ++i) {
    d = std::max(d, std::fabs(a.samples[i] - b.samples[i]));
  }
  return d;
}

std::vector<uint8_t> ReadBytes(const std::string& path) {
  const std::string s = Slurp(path);
  return std::vector<uint8_t>(s.begin(), s.end());
}

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
}

}  // namespace test
}  // namespace render
}  // namespace tolvane
