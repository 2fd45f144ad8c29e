#pragma once

// Artwork files for control tests: a folder of its own under the system's temporary folder,
// and PNG files that carry only a signature and a header chunk. The recording context reads
// nothing but the size from the header, so that is all a control's artwork needs here.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace kantele::gfx::test {

/// The signature and IHDR chunk of an 8-bit greyscale PNG of `w` x `h` pixels.
inline std::vector<uint8_t> PngHeader(uint32_t w, uint32_t h) {
  std::vector<uint8_t> out{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  auto put32 = [&out](uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(v >> shift));
  };
  put32(13);
  const size_t start = out.size();
  out.insert(out.end(), {'I', 'H', 'D', 'R'});
  put32(w);
  put32(h);
  out.insert(out.end(), {8, 0, 0, 0, 0});
  uint32_t crc = 0xFFFFFFFFu;
  for (size_t i = start; i < out.size(); ++i) {
    crc ^= out[i];
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  put32(~crc);
  return out;
}

/// A folder of its own, removed with everything in it.
class ArtworkDir {
 public:
  ArtworkDir() {
    static int sCount = 0;
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    mPath = std::filesystem::temp_directory_path() /
            ("kantele-controls-" + std::to_string(std::random_device()()) + "-" +
             std::to_string(stamp) + "-" + std::to_string(++sCount));
    std::filesystem::create_directories(mPath);
  }
  ~ArtworkDir() {
    std::error_code ec;
    std::filesystem::remove_all(mPath, ec);
  }
  ArtworkDir(const ArtworkDir&) = delete;
  ArtworkDir& operator=(const ArtworkDir&) = delete;

  /// The path of `name` in the folder.
  std::string Path(const std::string& name) const { return (mPath / name).string(); }
  /// Writes a `w` x `h` PNG header as `name` and answers its path.
  std::string Png(const std::string& name, uint32_t w, uint32_t h) const {
    const std::vector<uint8_t> bytes = PngHeader(w, h);
    std::ofstream(mPath / name, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    return Path(name);
  }

 private:
  std::filesystem::path mPath;
};

}  // namespace kantele::gfx::test
