#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

#include "render/PluginHost.h"

namespace tolvane {
namespace render {
namespace test {

/// What a run of the tolvane-render executable left behind.
struct ToolResult {
  int exitCode = -1;  ///< -1 when it ended by a signal
  std::string out;
  std::string err;
};

/// Starts the built tolvane-render with `args` (stdin from /dev/null, stdout and
/// stderr captured for WaitTool); the child inherits the environment.
pid_t StartTool(const std::vector<std::string>& args);
ToolResult WaitTool(pid_t pid);
inline ToolResult RunTool(const std::vector<std::string>& args) {
  return WaitTool(StartTool(args));
}

/// A run that must fail: its arguments, its exit code and a text its stderr holds.
struct FailureCase {
  std::vector<std::string> args;
  int code;
  const char* message;
};

class TempDir;
/// Runs each case with `prefix` before its arguments and expects its exit code and message,
/// nothing on stdout, and the entries of `dir` unchanged (no file left behind).
void ExpectFailures(const std::vector<FailureCase>& cases, const TempDir& dir,
                    const std::vector<std::string>& prefix = {});

/// Host settings for transport checks: 48 kHz and blocks of 24000 frames (half a second) at
/// 90 beats per minute, so that each block moves the transport 0.75 beats.
HostSettings TransportSettings();

/// Blocks of TransportSettings() and the start of the bar each one begins in (beats 0, 3.75,
/// 4.5 and 21.75).
struct BarStart {
  int block;
  double bar;
};
inline constexpr BarStart kBarStarts[] = {{0, 0.0}, {5, 0.0}, {6, 4.0}, {29, 20.0}};

/// Planar float channels and the pointer array a host's process call takes.
class PlanarBuffers {
 public:
  PlanarBuffers(int channels, int frames, float value = 0.0f);
  float** Get() { return mPointers.data(); }

 private:
  std::vector<std::vector<float>> mChannels;
  std::vector<float*> mPointers;
};

/// A fresh directory, removed with its contents at destruction.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  const std::string& Path() const { return mPath; }
  std::string File(const std::string& name) const { return mPath + "/" + name; }
  /// Names in the directory, hidden ones included, sorted.
  std::vector<std::string> Entries() const;

 private:
  std::string mPath;
};

/// An audio file's description and its interleaved samples, read through libsndfile.
struct Audio {
  int rate = 0, channels = 0, format = 0;  ///< format: libsndfile container | subtype
  int64_t frames = 0;
  std::vector<double> samples;
};

/// Writes `frames` of a test signal (three sines, phases differing per channel, and
/// a little noise; peaks near -6 dBFS) in libsndfile's `format`.
void WriteSignal(const std::string& path, int format, int channels, int rate, int64_t frames);
Audio ReadAudio(const std::string& path);
/// Largest absolute sample difference over the samples both hold.
double MaxDifference(const Audio& a, const Audio& b);

/// Every sample finite, and the peak above `minPeak`.
bool Sounds(const Audio& a, double minPeak);

std::vector<uint8_t> ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes);

}  // namespace test
}  // namespace render
}  // namespace tolvane
