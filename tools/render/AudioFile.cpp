#include "render/AudioFile.h"

#include <sndfile.h>
#include <sys/stat.h>

#include <cctype>
#include <cerrno>
#include <cstring>

#include "render/RenderError.h"

namespace tolvane {
namespace render {

namespace {

std::string LowerExtension(const std::string& path) {
  const size_t slash = path.rfind('/');
  const size_t dot = path.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
  std::string ext = path.substr(dot);
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ext;
}

std::string FormatInfoName(int command, int format) {
  SF_FORMAT_INFO info = {};
  info.format = format;
  if (sf_command(nullptr, command, &info, sizeof info) == 0 && info.name) return info.name;
  return "format " + std::to_string(format);
}

}  // namespace

AudioFile::~AudioFile() {
  if (mFile) sf_close(mFile);
}

AudioFile::AudioFile(AudioFile&& other) noexcept { *this = std::move(other); }

AudioFile& AudioFile::operator=(AudioFile&& other) noexcept {
  if (this != &other) {
    if (mFile) sf_close(mFile);
    mFile = other.mFile;
    mPath = std::move(other.mPath);
    mWriting = other.mWriting;
    mChannels = other.mChannels;
    mSampleRate = other.mSampleRate;
    mFrames = other.mFrames;
    mFormat = other.mFormat;
    other.mFile = nullptr;
  }
  return *this;
}

AudioFile AudioFile::OpenRead(const std::string& path) {
  struct stat st = {};
  if (stat(path.c_str(), &st) != 0) {
    throw RenderError(kExitInput, "cannot open input '" + path + "': " + std::strerror(errno));
  }
  if (S_ISDIR(st.st_mode)) {
    throw RenderError(kExitInput, "cannot open input '" + path + "': it is a directory");
  }
  SF_INFO info = {};
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
  if (!file) {
    throw RenderError(kExitInput, "cannot read input '" + path + "': " + sf_strerror(nullptr));
  }
  if (info.channels < 1 || info.samplerate < 1) {
    sf_close(file);
    throw RenderError(kExitInput, "input '" + path + "' has no channels or no sample rate");
  }
  AudioFile f;
  f.mFile = file;
  f.mPath = path;
  f.mChannels = info.channels;
  f.mSampleRate = info.samplerate;
  f.mFrames = info.frames;
  f.mFormat = info.format;
  return f;
}

AudioFile AudioFile::Create(const std::string& path, int format, int channels, int sampleRate) {
  CheckWritable(format, channels, sampleRate);
  SF_INFO info = {};
  info.samplerate = sampleRate;
  info.channels = channels;
  info.format = format;
  SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
  if (!file) {
    throw RenderError(kExitOutput, "cannot write '" + path + "': " + sf_strerror(nullptr));
  }
  // A PEAK chunk holds the time of writing: without it, equal samples give equal files.
  sf_command(file, SFC_SET_ADD_PEAK_CHUNK, nullptr, SF_FALSE);
  sf_command(file, SFC_SET_CLIPPING, nullptr, SF_TRUE);
  sf_set_string(file, SF_STR_SOFTWARE, "tolvane-render");
  AudioFile f;
  f.mFile = file;
  f.mPath = path;
  f.mWriting = true;
  f.mChannels = channels;
  f.mSampleRate = sampleRate;
  f.mFormat = format;
  return f;
}

int64_t AudioFile::Read(double* interleaved, int64_t frames) {
  const sf_count_t n = sf_readf_double(mFile, interleaved, frames);
  if (n < frames && sf_error(mFile) != SF_ERR_NO_ERROR) {
    throw RenderError(kExitInput, "cannot read input '" + mPath + "': " + sf_strerror(mFile));
  }
  return n;
}

void AudioFile::Write(const double* interleaved, int64_t frames) {
  if (sf_writef_double(mFile, interleaved, frames) != frames) {
    throw RenderError(kExitOutput, "cannot write '" + mPath + "': " + sf_strerror(mFile));
  }
  mFrames += frames;
}

void AudioFile::Close() {
  if (!mFile) return;
  if (mWriting) sf_write_sync(mFile);
  const int error = sf_close(mFile);
  mFile = nullptr;
  if (mWriting && error != 0) {
    throw RenderError(kExitOutput, "cannot complete '" + mPath + "': " + sf_error_number(error));
  }
}

int AudioFile::ContainerForPath(const std::string& path) {
  const std::string ext = LowerExtension(path);
  if (ext == ".wav") return SF_FORMAT_WAV;
  if (ext == ".aiff" || ext == ".aif") return SF_FORMAT_AIFF;
  if (ext == ".flac") return SF_FORMAT_FLAC;
  throw RenderError(kExitOutput,
                    "unsupported output format " +
                        (ext.empty() ? std::string("(no extension)") : "'" + ext + "'") + " for '" +
                        path + "': the output must end in .wav, .aiff, .aif or .flac");
}

int AudioFile::SubtypeFromName(const std::string& name) {
  if (name == "pcm16") return SF_FORMAT_PCM_16;
  if (name == "pcm24") return SF_FORMAT_PCM_24;
  if (name == "pcm32") return SF_FORMAT_PCM_32;
  if (name == "float") return SF_FORMAT_FLOAT;
  if (name == "double") return SF_FORMAT_DOUBLE;
  return 0;
}

void AudioFile::CheckWritable(int format, int channels, int sampleRate) {
  SF_INFO info = {};
  info.samplerate = sampleRate;
  info.channels = channels;
  info.format = format;
  if (sf_format_check(&info)) return;
  const int container = format & SF_FORMAT_TYPEMASK;
  const int subtype = format & SF_FORMAT_SUBMASK;
  const bool integer =
      subtype == SF_FORMAT_PCM_S8 || subtype == SF_FORMAT_PCM_16 || subtype == SF_FORMAT_PCM_24;
  if (container == SF_FORMAT_FLAC && !integer) {
    throw RenderError(kExitOutput, "FLAC holds only integer samples of 8, 16 or 24 bits, not " +
                                       SubtypeName(format) +
                                       ": choose --format pcm24 or pcm16, or a .wav or .aiff "
                                       "output");
  }
  if (container == SF_FORMAT_FLAC && channels > 8) {
    throw RenderError(kExitOutput,
                      "FLAC holds at most 8 channels, not " + std::to_string(channels));
  }
  throw RenderError(kExitOutput, ContainerName(format) + " cannot hold " + SubtypeName(format) +
                                     " samples at " + std::to_string(channels) +
                                     " channel(s) and " + std::to_string(sampleRate) +
                                     " Hz: choose --format pcm16, pcm24, pcm32, float or double");
}

std::string AudioFile::ContainerName(int format) {
  switch (format & SF_FORMAT_TYPEMASK) {
    case SF_FORMAT_WAV: return "WAV";
    case SF_FORMAT_AIFF: return "AIFF";
    case SF_FORMAT_FLAC: return "FLAC";
    default: return FormatInfoName(SFC_GET_FORMAT_INFO, format & SF_FORMAT_TYPEMASK);
  }
}

std::string AudioFile::SubtypeName(int format) {
  switch (format & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_S8:
    case SF_FORMAT_PCM_U8: return "PCM 8-bit";
    case SF_FORMAT_PCM_16: return "PCM 16-bit";
    case SF_FORMAT_PCM_24: return "PCM 24-bit";
    case SF_FORMAT_PCM_32: return "PCM 32-bit";
    case SF_FORMAT_FLOAT: return "float 32-bit";
    case SF_FORMAT_DOUBLE: return "float 64-bit";
    default: return FormatInfoName(SFC_GET_FORMAT_INFO, format & SF_FORMAT_SUBMASK);
  }
}

}  // namespace render
}  // namespace tolvane
