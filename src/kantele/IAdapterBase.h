#pragma once

#include <mutex>

#include "kantele/IApiBase.h"
#include "kantele/IProcessor.h"

namespace kantele {

/// How a host gives a parameter value: normalised to 0..1, or in the parameter's own units.
enum class EHostValue { kNormalized, kReal };

/// The host's transport as a format reports it, each field with the format's own validity
/// flag; `IAdapterBase::TimeInfoFromHost` turns it into the frame's `TimeInfo`.
struct HostTransport {
  double mSamplePos = -1.0;
  double mPPQPos = 0.0;
  double mTempo = 0.0;
  double mLastBar = 0.0;
  double mCycleStart = 0.0;
  double mCycleEnd = 0.0;
  int32_t mNumerator = 0;
  int32_t mDenominator = 0;
  bool mPPQPosValid = false;
  bool mTempoValid = false;
  bool mLastBarValid = false;
  bool mCycleValid = false;
  bool mTimeSigValid = false;
  bool mPlaying = false;
  bool mCycleActive = false;
};

/// What every format adapter builds on: the API base (identity, state, queues, timer) and the
/// processing frame, joined by the one path a host's parameter value takes to the sound. Every
/// adapter hands each host value to `SetParamFromHost`, whatever the format calls it, so the
/// checks, the order of effects and the offsets are the same in every format.
class IAdapterBase : public IApiBase, public IProcessor {
 public:
  /// [main-thread] Allocates.
  explicit IAdapterBase(const Config& config);
  ~IAdapterBase() override;

  /// The one path of a host's value to a parameter. Checks the index (an unknown one changes
  /// nothing), ignores NaN, brings an infinite or out-of-range value into the range, then, in
  /// this order and once each: stores the value in the parameter; queues the stored value for
  /// the editor when the editor shares this object; records it as a change of the block about
  /// to be processed when `sampleOffset` is 0 or more; notifies the effect
  /// (`OnParamChange(idx, kSourceHost, offset)`, -1 when the value came between blocks).
  /// Answers whether the value was taken.
  ///
  /// `sampleOffset` is the frame of the block about to be processed where the host placed the
  /// value; -1 for a value outside the host's process call (between blocks, from the host's
  /// user-interface thread).
  /// [any-thread with sampleOffset -1; audio-thread, inside the process call, otherwise]
  /// Never allocates or locks.
  bool SetParamFromHost(int paramIdx, double value, EHostValue kind, int sampleOffset);

  /// The frame's transport record from a format's: every field the host marks invalid, or
  /// gives out of range (a negative musical position, a tempo or time signature that is not
  /// positive), keeps its default. [any-thread]
  static TimeInfo TimeInfoFromHost(const HostTransport& transport);

 protected:
  /// Whether the editor, when open, is part of this object (so values for it go through this
  /// object's queue). True unless the format keeps its editor in an object of its own.
  void SetEditorSharesObject(bool shares) { mEditorSharesObject = shares; }

 private:
  bool mEditorSharesObject = true;
};

/// The process-wide lock under which plug-in objects are constructed, so that no two are ever
/// constructed concurrently, in any format. Created on first use (thread-safe).
std::mutex& PluginConstructionLock();

/// Makes a new plug-in object for a host, the same way in every format: `make()` runs under
/// `PluginConstructionLock`, then every preset the constructor left free becomes "Empty",
/// holding the state at load. Null when `make` gives null or anything throws; nothing thrown
/// crosses into the host. [main-thread] Allocates.
template <class Plugin, class Make>
Plugin* NewPluginInstance(Make make) noexcept {
  Plugin* plug = nullptr;
  try {
    std::lock_guard<std::mutex> lock(PluginConstructionLock());
    plug = make();
    if (plug) {
      for (int i = 0; i < plug->NPresets(); ++i) plug->InitFirstFreePreset("Empty");
    }
  } catch (...) {
    delete plug;
    return nullptr;
  }
  return plug;
}

}  // namespace kantele
