#pragma once

#include <cstdint>

#include "kantele/IProcessor.h"

namespace kantele {

/// A plug-in's compiled-in configuration: identity, counts, channel layouts, latency, MIDI,
/// state format, editor size and limits. The plug-in base and the processing frame each take
/// what they need from it at construction; nothing is read from files or the environment.
struct Config {
  int32_t mNParams = 0;
  int32_t mNPresets = 0;
  const char* mChannelIOStr = "";  ///< accepted channel layouts, e.g. "1-1 2-2"
  const char* mPluginName = "";
  const char* mProductName = "";
  const char* mMfrName = "";
  int32_t mVendorVersion = 0;  ///< major in bits 16 and up, minor 8-15, patch 0-7
  int32_t mUniqueID = 0;       ///< four-character code
  int32_t mMfrID = 0;          ///< four-character code
  int32_t mLatency = 0;        ///< samples
  bool mPlugDoesMidiIn = false;
  bool mPlugDoesMidiOut = false;
  bool mPlugDoesMPE = false;
  bool mPlugDoesChunks = false;  ///< the host saves the state through the chunk calls
  int32_t mPlugType = 0;         ///< 0 effect, 1 instrument
  bool mPlugHasUI = false;
  int32_t mPlugWidth = 0;
  int32_t mPlugHeight = 0;
  int32_t mPlugMinWidth = 0;
  int32_t mPlugMaxWidth = 0;
  int32_t mPlugMinHeight = 0;
  int32_t mPlugMaxHeight = 0;
  bool mPlugHostResize = false;
  const char* mBundleID = "";

  /// The part the processing frame reads.
  ProcessorConfig ForProcessor() const {
    ProcessorConfig c;
    c.mPlugType = mPlugType;
    c.mDoesMidiIn = mPlugDoesMidiIn;
    c.mDoesMidiOut = mPlugDoesMidiOut;
    c.mDoesMPE = mPlugDoesMPE;
    c.mLatency = mLatency;
    c.mChannelIO = mChannelIOStr;
    return c;
  }
};

}  // namespace kantele
