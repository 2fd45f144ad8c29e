#pragma once

#include <cstdint>
#include <string>

// libsndfile's handle, declared as libsndfile declares it.
typedef struct sf_private_tag SNDFILE;

namespace tolvane {
namespace render {

/// An audio file read or written through libsndfile, as interleaved double
/// samples (integer formats scale to -1..1; the conversion back is exact for
/// samples that came from the same format).
///
/// Written files carry no time stamp (libsndfile's PEAK chunk is disabled), so
/// the same samples give the same bytes; samples beyond full scale are clipped
/// when written to an integer format. [main-thread]; Read and Write do not
/// allocate.
class AudioFile {
 public:
  AudioFile() = default;
  ~AudioFile();
  AudioFile(AudioFile&& other) noexcept;
  AudioFile& operator=(AudioFile&& other) noexcept;
  AudioFile(const AudioFile&) = delete;
  AudioFile& operator=(const AudioFile&) = delete;

  /// Opens any file libsndfile reads. Throws RenderError(kExitInput).
  static AudioFile OpenRead(const std::string& path);

  /// Creates `path` with libsndfile's `format` (container | subtype). Throws
  /// RenderError(kExitOutput).
  static AudioFile Create(const std::string& path, int format, int channels, int sampleRate);

  int Channels() const { return mChannels; }
  int SampleRate() const { return mSampleRate; }
  int64_t Frames() const { return mFrames; }
  /// libsndfile's format: container | subtype.
  int Format() const { return mFormat; }

  /// Reads up to `frames` frames; answers the number read (0 at the end).
  /// Throws RenderError(kExitInput) on a read error.
  int64_t Read(double* interleaved, int64_t frames);

  /// Writes `frames` frames. Throws RenderError(kExitOutput) unless all were written.
  void Write(const double* interleaved, int64_t frames);

  /// Closes the file, throwing RenderError(kExitOutput) if a written file could
  /// not be completed. The destructor closes silently.
  void Close();

  /// The container for an output path's extension, any case: .wav, .aiff or
  /// .aif, .flac. Throws RenderError(kExitOutput, "unsupported output format ...").
  static int ContainerForPath(const std::string& path);

  /// The subtype for a --format name (pcm16, pcm24, pcm32, float, double); 0 when unknown.
  static int SubtypeFromName(const std::string& name);

  /// Throws RenderError(kExitOutput) unless the container can hold the subtype
  /// at this channel count and rate; the message names the formats that fit.
  static void CheckWritable(int format, int channels, int sampleRate);

  /// "WAV", "AIFF", "FLAC" or libsndfile's name for other containers.
  static std::string ContainerName(int format);
  /// "PCM 16-bit", "float 32-bit", "float 64-bit" or libsndfile's name.
  static std::string SubtypeName(int format);

 private:
  SNDFILE* mFile = nullptr;
  std::string mPath;
  bool mWriting = false;
  int mChannels = 0;
  int mSampleRate = 0;
  int64_t mFrames = 0;
  int mFormat = 0;
};

}  // namespace render
}  // namespace tolvane
