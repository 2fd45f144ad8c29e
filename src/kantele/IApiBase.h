#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "kantele/IStateBase.h"
#include "kantele/SpscQueue.h"
#include "kantele/Text.h"
#include "kantele/Timer.h"

namespace kantele {

/// A parameter value on its way to the editor: index and real (not normalised) value.
struct ParamValueRecord {
  int32_t mIdx = 0;
  int32_t mPadding = 0;
  double mValue = 0.0;
};
static_assert(sizeof(ParamValueRecord) == 16, "parameter records are 16 bytes");

/// The largest SysEx message a queue record carries.
constexpr int kMaxSysExRecordBytes = 512;

/// A SysEx message copied into a queue record: sample offset, size in bytes, data.
struct SysExRecord {
  int32_t mOffset = 0;
  int32_t mSize = 0;
  uint8_t mData[kMaxSysExRecordBytes] = {};
};
static_assert(sizeof(SysExRecord) == 520, "SysEx records are 520 bytes");

/// Host codes from the host's product text (see `IApiBase::LookUpHost`).
enum EHost : int32_t {
  kHostUninit = -1,
  kHostUnknown = 0,
  kHostReaper = 1,
  kHostProTools = 2,
  kHostCubase = 3,
  kHostNuendo = 4,
  kHostSonar = 5,
  kHostVegas = 6,
  kHostFL = 7,
  kHostSamplitude = 8,
  kHostAbletonLive = 9,
  kHostTracktion = 10,
  kHostNTracks = 11,
  kHostMelodyneStudio = 12,
  kHostVSTScanner = 13,
  kHostAULab = 14,
  kHostForte = 15,
  kHostChainer = 16,
  kHostAudition = 17,
  kHostOrion = 18,
  kHostBias = 19,
  kHostSAWStudio = 20,
  kHostLogic = 21,
  kHostGarageBand = 22,
  kHostDigitalPerformer = 23,
  kHostStandalone = 24,
  kHostAudioMulch = 25,
  kHostStudioOne = 26,
  kHostVST3TestHost = 27,
  kHostArdour = 28,
  kHostRenoise = 29,
  kHostOpenMPT = 30,
  kHostWaveLab = 31,
  kHostWaveLabElements = 32,
  kHostTwistedWave = 33,
  kHostBitwig = 34,
  kHostWWW = 35,
  kHostReason = 36,
  kHostGoldWave5x = 37,
  kHostWaveform = 38,
  kHostAudacity = 39,
  kHostAcoustica = 40,
  kHostPluginDoctor = 41,
  kHostiZotopeRX = 42,
  kHostSAVIHost = 43,
  kHostBlueCat = 44,
};

/// The layer between the plug-in base and the host adapter: the plug-in's identity, the host's
/// identity, the lock-free queues between the audio side and the editor, the editor-to-plug-in
/// operations that reach the host, and the 20 ms timer whose tick empties the queues bound for
/// the editor on the user-interface thread.
///
/// Queues, each with one producer thread and one consumer thread:
/// | queue                          | slots | producer                 | consumer      |
/// | parameter values for the editor| 513   | host or audio thread     | timer         |
/// | MIDI from the editor           | 33    | editor                   | audio thread  |
/// | MIDI for the editor            | 33    | audio thread             | timer         |
/// | SysEx from the editor          | 5     | editor                   | audio thread  |
/// | SysEx for the editor           | 5     | (none in this framework) | timer         |
class IApiBase : public IStateBase {
 public:
  /// Builds the plug-in base from `config`, fills the identity (the editor's size, and each
  /// pair of size limits ordered smaller first), and allocates all queue storage.
  /// [main-thread] Allocates.
  explicit IApiBase(const Config& config);

  /// Stops the timer first, so no tick can run while the queues go.
  ~IApiBase() override;

  /// The host was identified (once, when the host opens the plug-in). Nothing here.
  virtual void OnHostIdentified();
  /// Names a MIDI note for the host. Here: clears `name` and answers false.
  virtual bool GetMidiNoteName(int noteNumber, Text& name) const;
  /// A private request of the plug-in's vendor, reaching it through each format's own route
  /// (VST2's vendor-specific request, the VST3 adapter's IVendorRequest): a tag naming the
  /// request, a value, a pointer and a number whose meaning the tag defines. Answers the
  /// request's answer; 0 here, for every tag. [main-thread]
  virtual int64_t OnVendorRequest(int32_t tag, int64_t value, void* data, double opt);
  /// Called at the end of every timer tick, on the timer's thread. Nothing here.
  virtual void OnIdleTick();
  /// Queues a parameter value for the editor; a normalised value is first turned into a real
  /// value. When the record cannot be queued (the queue is full, or another thread is pushing
  /// at this moment) the next tick sends every parameter's current value to the editor instead,
  /// so no change is lost to the editor: it may briefly show a newer value before older queued
  /// ones, and always ends with the current values.
  /// [any-thread: the host's parameter callback, usually the audio thread, and its text-to-value
  /// request on the user-interface thread may call it concurrently] Never allocates, locks or
  /// waits.
  virtual void QueueParamValueForEditor(int paramIdx, double value, bool isNormalized);
  /// Host-specific adjustments after the host was identified. Nothing here.
  virtual void HostSpecificSetup();
  /// The editor asks for a new window size: a plug-in without an editor, or a request for the
  /// size it already has, asks nothing and answers false; otherwise the size becomes the
  /// editor size the host is told and `AskHostToResizeEditor` carries the request to the host.
  /// Answers whether the host agreed. [main-thread]
  virtual bool RequestHostEditorSize(int width, int height);
  /// The format's request to its host for the editor window's new size; answers whether the
  /// host agreed (false here: no host to ask). [main-thread]
  virtual bool AskHostToResizeEditor(int width, int height);
  /// Gesture begin, value and gesture end for the host's automation. Nothing here; the host
  /// adapter supplies them. Answer whether the host accepted.
  virtual bool NotifyHostBeginEdit(int paramIdx);
  virtual bool NotifyHostEndEdit(int paramIdx);
  virtual bool NotifyHostParamValue(int paramIdx, double normalized);

  // Editor to plug-in. [main-thread: the editor's thread]

  /// Every parameter's normalised value to the host, in index order.
  void SendAllParamsToHost() override;
  void BeginParamEditFromEditor(int paramIdx) override;
  /// Sets the parameter, tells the host the normalised value exactly as given, lets the effect
  /// see the change (`kSourceUI`) and then the editor. An index outside the list does nothing.
  void ParamValueFromEditor(int paramIdx, double normalized) override;
  void EndParamEditFromEditor(int paramIdx) override;
  /// With `needsHostResize`: `RequestHostEditorSize`. Without, the host already has the size:
  /// it becomes the editor size the host is told, and the answer is true.
  bool ResizeFromEditor(int width, int height, bool needsHostResize) override;
  void MidiFromEditor(const MidiMsg& msg) override;
  void SysExFromEditor(const SysExMsg& msg) override;
  /// Queues MIDI for the audio thread; dropped when the queue is full. Never allocates.
  void QueueMidiForProcessor(const MidiMsg& msg) override;
  /// Copies the message into a record for the audio thread: offset, size and `mSize` data bytes
  /// (all 512 zeroed when the message has no data). A size below 0 or above 512 cannot be carried
  /// and the message is dropped; so is a message that finds the queue full. Never allocates.
  void QueueSysExForProcessor(const SysExMsg& msg) override;

  /// One tick of the timer: when the plug-in has an editor (open or not), delivers every waiting
  /// parameter value, MIDI message and SysEx record to the editor's push operations, then calls
  /// `OnIdleTick`. [main-thread: the timer's thread, the queues' single consumer]
  void OnTimerTick(Timer& timer);

  /// Launches the periodic 20 ms timer that calls `OnTimerTick`, replacing (and stopping) any
  /// timer made earlier. The host adapter calls it at the end of its construction.
  /// [main-thread] Allocates.
  void CreateTimer();
  /// The timer, or null before `CreateTimer`.
  Timer* GetTimer() const { return mTimer.get(); }

  /// The host code of the first key of the host table found in `productText` (compared in lower
  /// case; at most the first 255 characters are looked at); 0 when none is found or the text is
  /// null. [any-thread]
  static int LookUpHost(const char* productText);
  /// Stores the host's code (from its product text) and version word. [main-thread]
  void SetHost(const char* productText, uint32_t version);
  /// "v%d.%d.%d" of a version word (major in bits 16 and up, minor 8-15, patch 0-7).
  static void FormatVersion(uint32_t version, Text& out);
  /// The API name of an API code ("VST2", "VST3", "AU", "AUv3", "AAX", "APP", "WAM", "WEB", "LV2"),
  /// or
  /// "" for any other code. [any-thread]
  static const char* GetAPIName(int apiCode);
  /// This plug-in's API name ("VST2").
  const char* GetAPIName() const { return GetAPIName(mAPI); }

  const char* GetPluginName() const { return mPluginName.Get(); }
  const char* GetProductName() const { return mProductName.Get(); }
  const char* GetMfrName() const { return mMfrName.Get(); }
  int32_t GetUniqueID() const { return mUniqueID; }
  int32_t GetMfrID() const { return mMfrID; }
  uint32_t GetPluginVersion() const { return mVersion; }
  bool HasUI() const { return mHasUI; }
  const char* GetBundleID() const { return mBundleID.Get(); }
  int GetAPI() const { return mAPI; }
  int GetHost() const { return mHost; }
  uint32_t GetHostVersion() const { return mHostVersion; }

  /// The queues' slot counts.
  static constexpr int kParamQueueSlots = 513;
  static constexpr int kMidiQueueSlots = 33;
  static constexpr int kSysExQueueSlots = 5;
  /// The timer's period.
  static constexpr uint32_t kTimerPeriodMs = 20;

 protected:
  Text mPluginName;
  Text mProductName;
  Text mMfrName;
  int32_t mUniqueID = 0;
  int32_t mMfrID = 0;
  uint32_t mVersion = 0;
  bool mHasUI = false;
  Text mBundleID;
  int32_t mAPI = 0;
  int32_t mHost = kHostUninit;
  uint32_t mHostVersion = 0;
  /// Scratch for the display texts the host adapter hands out.
  Text mParamDisplayStr;

  // Declared before the queues so that it is destroyed after them; the destructor stops it
  // before either goes.
  std::unique_ptr<Timer> mTimer;

  SpscQueue<ParamValueRecord> mParamChangeFromProcessor{kParamQueueSlots};
  SpscQueue<MidiMsg> mMidiMsgsFromEditor{kMidiQueueSlots};
  SpscQueue<MidiMsg> mMidiMsgsFromProcessor{kMidiQueueSlots};
  SpscQueue<SysExRecord> mSysExDataFromEditor{kSysExQueueSlots};
  SpscQueue<SysExRecord> mSysExDataFromProcessor{kSysExQueueSlots};

  /// Guards the parameter queue's producer side without waiting (see `QueueParamValueForEditor`).
  std::atomic<bool> mParamQueueProducerBusy{false};
  /// Set when a value could not be queued; the next tick resends every value.
  std::atomic<bool> mParamResendPending{false};

  /// Scratch for the SysEx message the host adapter sends to the host.
  SysExRecord mSysexBuf;
};

}  // namespace kantele
