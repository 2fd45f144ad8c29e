#pragma once

#include <cstdint>

#include "kantele/IProcessor.h"

namespace kantele {

/// A four-character code as plug-in formats write it ('QMLK' = 0x514D4C4B).
constexpr int32_t MakeFourCC(char a, char b, char c, char d) {
  return static_cast<int32_t>((static_cast<uint32_t>(static_cast<uint8_t>(a)) << 24) |
                              (static_cast<uint32_t>(static_cast<uint8_t>(b)) << 16) |
                              (static_cast<uint32_t>(static_cast<uint8_t>(c)) << 8) |
                              static_cast<uint32_t>(static_cast<uint8_t>(d)));
}

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
  /// The parameter that bypasses the effect, for formats that flag one (-1: none).
  int32_t mBypassParam = -1;
  /// The kind of effect, for formats that classify plug-ins ("Distortion", "EQ", ...).
  const char* mEffectCategory = "";

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
