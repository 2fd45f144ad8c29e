#pragma once

// What the host-path tests ask of a format: the format's own host calls on a `PathPlugin`
// made as the format's entry makes it. One implementation per format (PathDriver_<format>.cpp),
// linked into that format's test program.

#include <memory>

#include "path/PathPlugin.h"

namespace kantele::test {

class PathDriver {
 public:
  /// When the format's in-block values take effect.
  enum class ETiming { kBetweenBlocks, kBlockStart, kAtOffset };

  /// The driver of the format this program is built for: a new plug-in, started at 48 kHz
  /// with `block`-frame blocks announced.
  static std::unique_ptr<PathDriver> Make(int block);
  virtual ~PathDriver() = default;

  virtual PathPlugin& Plugin() = 0;
  /// Whether the format's hosts send normalised values (otherwise real ones).
  virtual bool SendsNormalized() const = 0;
  virtual ETiming InBlockTiming() const = 0;
  /// Whether host values reach an editor sharing the plug-in object (else: no editor queue).
  virtual bool EditorShares() const = 0;

  /// A value from the host outside processing (its parameter call or its editor's port event).
  virtual void SetOutsideBlock(int idx, double value) = 0;
  /// Values the host places in the next block at the given offsets, then that block of
  /// `frames` frames of silence.
  struct Timed {
    int mIdx;
    int mOffset;
    double mValue;
  };
  virtual void ProcessWith(const std::vector<Timed>& values, int frames) = 0;
};

}  // namespace kantele::test
