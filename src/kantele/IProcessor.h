#pragma once

#include <cstdint>
#include <vector>

#include "kantele/Text.h"

namespace kantele {

/// The framework's processing sample: every buffer `ProcessBlock` sees is planar 64-bit.
using Sample = double;

/// The host's transport as it stood at the start of the current block. Positions
/// are in quarter notes except the sample position; -1 marks a value the host
/// did not supply.
struct TimeInfo {
  double mTempo = 120.0;      ///< beats per minute
  double mSamplePos = -1.0;   ///< samples since the start of the timeline
  double mPPQPos = -1.0;      ///< musical position
  double mLastBar = -1.0;     ///< start of the last bar
  double mCycleStart = -1.0;  ///< loop start
  double mCycleEnd = -1.0;    ///< loop end
  int32_t mNumerator = 4;     ///< time-signature numerator
  int32_t mDenominator = 4;   ///< time-signature denominator
  bool mTransportIsRunning = false;
  bool mTransportLoopEnabled = false;
};

/// One short MIDI message, timed by its sample offset in the block.
struct MidiMsg {
  int32_t mOffset = 0;
  uint8_t mStatus = 0;
  uint8_t mData1 = 0;
  uint8_t mData2 = 0;
};
// The queues between the audio side and the editor move these by value as 8-byte records.
static_assert(sizeof(MidiMsg) == 8, "MidiMsg must stay an 8-byte record");

/// One system-exclusive message. `mData` is not owned: it stays valid only as
/// long as whoever built the message keeps the bytes alive (for host events, the
/// duration of the call that delivered them).
struct SysExMsg {
  int32_t mOffset = 0;
  int32_t mSize = 0;
  const uint8_t* mData = nullptr;
};

/// A host's parameter change inside the block being processed: the parameter, the sample
/// offset in the current `ProcessBlock` call where it takes effect, and its real value (already
/// stored in the parameter when the block runs).
struct ParamChange {
  int32_t mIdx = 0;
  int32_t mOffset = 0;
  double mValue = 0.0;
};
static_assert(sizeof(ParamChange) == 16, "ParamChange must stay a 16-byte record");

/// The two directions of channels and buses. Values are array indices.
enum EChannelDirection : int32_t { kDirInput = 0, kDirOutput = 1 };

/// One bus of a channel configuration: its direction and channel count
/// (`kWildcardChannels` for a bus written "*", which accepts any count).
struct BusSpec {
  EChannelDirection mDirection = kDirInput;
  int32_t mNChans = 0;
};
static_assert(sizeof(BusSpec) == 8, "BusSpec must stay an 8-byte record");

/// One channel layout the plug-in accepts: its input buses and output buses in
/// the order the configuration text names them.
struct ChannelConfig {
  std::vector<BusSpec> mInBuses;
  std::vector<BusSpec> mOutBuses;

  /// The bus list of `dir` (the output list for any value other than kDirInput).
  const std::vector<BusSpec>& Buses(EChannelDirection dir) const {
    return dir == kDirInput ? mInBuses : mOutBuses;
  }
  /// Number of buses of `dir`.
  int NBuses(EChannelDirection dir) const { return static_cast<int>(Buses(dir).size()); }
  /// Sum of the channel counts of the buses of `dir`; each wildcard bus adds
  /// `kWildcardChannels`, so any wildcard makes the total negative.
  int NChansOnBuses(EChannelDirection dir) const;
};

/// The per-channel state of one direction of the processor frame.
struct ChannelSlot {
  /// Whether the host supplies a buffer for this channel.
  bool mConnected = false;
  /// This channel's entry in the direction's pointer array: the buffer `ProcessBlock` sees.
  Sample** mData = nullptr;
  /// The host's buffers of the block being processed: a float input to convert
  /// (`mHostSrc`), a float output to receive the converted result (`mHostDest`), or a
  /// 64-bit buffer of either direction used in place (`mHostDouble`).
  const float* mHostSrc = nullptr;
  float* mHostDest = nullptr;
  Sample* mHostDouble = nullptr;
  /// Block-size buffer: converted float input, float-mode output, or the
  /// silence a disconnected input reads.
  std::vector<Sample> mScratch;
  /// Pin label offered to the host; empty means the adapter names the pin itself.
  Text mLabel;
};

/// What the processor frame takes from the plug-in's configuration record.
struct ProcessorConfig {
  int32_t mPlugType = 0;  ///< 0 effect; 1 instrument
  bool mDoesMidiIn = false;
  bool mDoesMidiOut = false;
  bool mDoesMPE = false;
  int32_t mLatency = 0;  ///< samples
  /// Accepted channel layouts, e.g. "1-1 2-2"; see `IProcessor::ParseChannelIO`.
  /// Null counts as empty. Read only during construction.
  const char* mChannelIO = "";
};

/// The audio side of a plug-in: the channel layouts it accepts, one channel slot
/// per possible input and output channel, the routing of host buffers to
/// `ProcessBlock` in 64-bit samples, and the stream facts the effect reads.
///
/// Threads. `ProcessBlock`, the attach operations and the process operations run
/// on the audio thread and never allocate or lock. `SetBlockSize`,
/// `ConnectChannels`, `OnReset`, `OnActivate` and the sample-rate change run on
/// the host's dispatcher thread while processing is suspended; the frame takes
/// no locks, it relies on the host keeping those apart.
///
/// Block length. The host announces its largest block through `SetBlockSize`
/// before processing. A longer block is processed all the same, in pieces no
/// longer than the announced size, one `ProcessBlock` call each (the effect's
/// buffers never grow on the audio thread); every format does the same. Before
/// any block size is set the outputs are silence.
///
/// Host pointers. A null pointer list, or a null pointer for one channel,
/// treats the affected channels as disconnected for that block: such an input
/// reads silence and such an output is discarded.
///
/// The frame is neither copyable nor movable: the slots point into its own arrays.
class IProcessor {
 public:
  /// Largest channel count of one bus, and largest channel total and number of
  /// buses of one direction of one configuration. Larger counts are treated as
  /// malformed tokens by `ParseChannelIO`, which bounds the number of slots.
  static constexpr int kMaxChannels = 1024;
  /// Channel count of a wildcard ("*") bus.
  static constexpr int kWildcardChannels = -64;
  /// Largest block size `SetBlockSize` accepts; larger requests are clamped.
  static constexpr int kMaxBlockSize = 1 << 20;
  /// Largest number of timed parameter changes one host block carries.
  static constexpr int kMaxBlockParamChanges = 1024;
  /// Longest bus name `GetBusName` writes.
  static constexpr int kMaxBusNameLen = 32;

  /// [main-thread] Allocates. Copies the type code, MIDI flags and latency,
  /// parses `config.mChannelIO` and creates one disconnected slot per channel up
  /// to the largest input and output totals, each with an empty scratch buffer.
  explicit IProcessor(const ProcessorConfig& config);

  /// [main-thread]
  virtual ~IProcessor();

  IProcessor(const IProcessor&) = delete;
  IProcessor& operator=(const IProcessor&) = delete;

  /// [audio-thread] Must not allocate or lock. Processes `nFrames` frames from
  /// `inputs` (one pointer per input slot) into `outputs` (one per output slot).
  /// The frame guarantees every pointer it passes is valid for `nFrames`.
  /// Default: copies input i to output i for every output that has an input
  /// slot and zero-fills the other outputs; null arrays or null entries count
  /// as silent inputs and skipped outputs.
  virtual void ProcessBlock(Sample** inputs, Sample** outputs, int nFrames);

  /// [audio-thread] A MIDI message for this block. Default: `SendMidiMsg(msg)` (thru).
  virtual void ProcessMidiMsg(const MidiMsg& msg);

  /// [audio-thread] A SysEx message for this block. Default: nothing.
  virtual void ProcessSysEx(const SysExMsg& msg);

  /// [main-thread] The sample rate or block size changed, or processing stopped.
  /// Default: nothing.
  virtual void OnReset();

  /// [main-thread] Processing is switched on or off. Default: nothing.
  virtual void OnActivate(bool active);

  /// [audio-thread] Sends one MIDI message to the host; true when the host took it.
  virtual bool SendMidiMsg(const MidiMsg& msg) = 0;

  /// [audio-thread] Sends `count` messages in order through `SendMidiMsg`, all
  /// of them even after a failure. True only when every send succeeded (also
  /// when there is nothing to send); a null list with a positive count sends
  /// nothing and answers false.
  virtual bool SendMidiMsgs(const MidiMsg* msgs, int count);

  /// [audio-thread] Sends one SysEx message to the host. Default: false.
  virtual bool SendSysEx(const SysExMsg& msg);

  /// [any-thread] Allocates (the text). Names bus `busIdx` of `nBuses` of
  /// `dir`, at most `kMaxBusNameLen` characters: inputs "Input" (one bus),
  /// "Main"/"Aux" (two buses), else "Input <index>"; outputs "Output" (one bus),
  /// else "Output <index>". An unknown direction clears `out`.
  virtual void GetBusName(EChannelDirection dir, int busIdx, int nBuses, Text& out) const;

  /// [main-thread] Stores the latency in samples.
  virtual void SetLatency(int samples);

  /// [any-thread] Allocates. Parses a channel-configuration text into `configs`
  /// (replacing its contents) and returns the number of configurations.
  ///
  /// Configurations are separated by spaces (runs of spaces count as one). In
  /// each, the part before the first "-" lists the input buses and the part
  /// after it the output buses (further "-" parts are ignored; a missing output
  /// part means no output buses). Buses are separated by ".". A bus written
  /// exactly "*" is a wildcard (`kWildcardChannels`); any other bus token is
  /// read as a decimal integer prefix like "%d" (leading white space and a sign
  /// allowed), and a token that does not start with a number counts 0. A count
  /// of 0 adds no bus. A count that is negative, above `kMaxChannels`, would
  /// take the direction's channel total above `kMaxChannels`, or would be the
  /// direction's (`kMaxChannels` + 1)-th bus is treated like a malformed token.
  ///
  /// The four maxima receive the largest input and output channel totals (a
  /// wildcard's negative total never raises them) and the largest input and
  /// output bus counts over all configurations; each is 0 when there are none.
  /// A null `text` counts as empty.
  static int ParseChannelIO(const char* text, std::vector<ChannelConfig>& configs, int& maxNInChans,
                            int& maxNOutChans, int& maxNInBuses, int& maxNOutBuses);

  /// [any-thread] Whether some configuration has `nIn` input channels in total
  /// and `nOut` output channels in total; a negative count matches anything.
  /// Never allocates.
  bool LegalIO(int nIn, int nOut) const;

  /// [main-thread] Marks slots `first` ... `first + count - 1` of `dir` (those
  /// that exist) connected or disconnected. A slot marked disconnected points
  /// its data entry at its scratch, which is zeroed for an input, so the effect
  /// reads silence from it and writes a disconnected output into scratch.
  /// Never allocates.
  void ConnectChannels(EChannelDirection dir, int first, int count, bool connected);

  /// [any-thread] Number of connected slots of `dir` (0 for an unknown direction).
  int CountConnectedChannels(EChannelDirection dir) const;

  /// [main-thread] Allocates. Sizes every scratch buffer, inputs first, to
  /// `nFrames` (clamped to `kMaxBlockSize`) samples of silence and points every
  /// data entry at its scratch. The same size as the current one keeps the
  /// scratch contents; a negative size is ignored.
  void SetBlockSize(int nFrames);

  /// [audio-thread] Never allocates or locks. Takes the next pointer of
  /// `hostData` for every connected slot of `dir`, in order (a disconnected slot
  /// takes none), as the float buffers of the block about to be processed: inputs
  /// are converted and outputs written by `ProcessFloatBuffers`. A null pointer
  /// stands for silence in and nowhere out. A negative `nFrames` does nothing.
  void AttachFloatBuffers(EChannelDirection dir, float** hostData, int nFrames);

  /// [audio-thread] Never allocates or locks. As `AttachFloatBuffers`, for 64-bit
  /// buffers, which `ProcessBlock` then reads and writes in place.
  void AttachDoubleBuffers(EChannelDirection dir, Sample** hostData, int nFrames);

  /// [audio-thread] Never allocates or locks. Processes the attached buffers'
  /// `nFrames` frames in pieces of at most the block size: converts each piece of
  /// the float inputs into the scratch, runs `ProcessBlock` with the piece's timed
  /// changes, and writes each connected output's result as floats over its host
  /// buffer. Then forgets the block's timed changes. A negative `nFrames` does
  /// nothing.
  void ProcessFloatBuffers(int nFrames);

  /// [audio-thread] As `ProcessFloatBuffers`, but adds each converted sample to
  /// the float already in the host's output buffer.
  void ProcessFloatBuffersAccumulating(int nFrames);

  /// [audio-thread] As `ProcessFloatBuffers`, for buffers attached with
  /// `AttachDoubleBuffers`.
  void ProcessDoubleBuffers(int nFrames);

  /// [audio-thread] Forgets the timed changes recorded for a block that will not
  /// be processed (their values stay stored in the parameters).
  void DiscardBlockParamChanges();

  // Accessors. [any-thread] None allocates or locks.
  int GetPlugType() const { return mPlugType; }
  bool DoesMidiIn() const { return mDoesMidiIn; }
  bool DoesMidiOut() const { return mDoesMidiOut; }
  bool DoesMPE() const { return mDoesMPE; }
  int GetLatency() const { return mLatency; }
  double GetSampleRate() const { return mSampleRate; }
  int GetBlockSize() const { return mBlockSize; }
  int GetTailSize() const { return mTailSize; }
  bool GetRenderingOffline() const { return mRenderingOffline; }
  const TimeInfo& GetTimeInfo() const { return mTimeInfo; }

  /// [audio-thread] The host's parameter changes inside the current `ProcessBlock` call,
  /// ordered by offset (a parameter's changes keep their order), every offset within
  /// [0, nFrames). A parameter with changes here already holds the value of its last one; until
  /// its first change it keeps the value it had before the block. Valid only during
  /// `ProcessBlock`; empty outside it and when the host sent no timed changes.
  const ParamChange* GetBlockParamChanges() const { return mBlockChanges; }
  int NBlockParamChanges() const { return mNBlockChanges; }

  /// Number of channel slots of `dir` (0 for an unknown direction).
  int MaxNChannels(EChannelDirection dir) const;
  /// Number of accepted channel configurations.
  int NChannelConfigs() const { return static_cast<int>(mChannelConfigs.size()); }
  /// Configuration `idx`, or null when out of range.
  const ChannelConfig* GetChannelConfig(int idx) const;
  /// Whether slot `idx` of `dir` exists and is connected.
  bool IsChannelConnected(EChannelDirection dir, int idx) const;
  /// The pin label of slot `idx` of `dir`; "" when the slot does not exist.
  const char* GetChannelLabel(EChannelDirection dir, int idx) const;

 protected:
  /// [audio-thread] Records a host change for the block about to be processed, at `offset`
  /// frames from the block's start (negative counts as 0). Answers false, recording nothing,
  /// when the list is full (`kMaxBlockParamChanges`): the parameter's stored value still
  /// holds, so the effect meets it at the next block's start. Never allocates.
  bool AddBlockParamChange(int paramIdx, int offset, double value);
  /// Stream facts the adapter writes. [main-thread] for the sample rate,
  /// [audio-thread] for the offline flag and the time info (once per block).
  void SetSampleRate(double sampleRate) { mSampleRate = sampleRate; }
  void SetRenderingOffline(bool offline) { mRenderingOffline = offline; }
  void SetTimeInfo(const TimeInfo& timeInfo) { mTimeInfo = timeInfo; }

 private:
  std::vector<ChannelSlot>* Slots(EChannelDirection dir);
  const std::vector<ChannelSlot>* Slots(EChannelDirection dir) const;
  /// The attached block in pieces of at most the block size.
  void ProcessPieces(int nFrames, bool accumulate);
  /// One piece: frames `start` .. `start + n - 1`; `last` for the block's last piece.
  void ProcessPiece(int start, int n, bool last, bool accumulate);
  /// Orders the block's timed changes by offset, keeping each parameter's order.
  void SortPendingChanges();

  int32_t mPlugType;
  bool mDoesMidiIn;
  bool mDoesMidiOut;
  bool mDoesMPE;
  int32_t mLatency;
  double mSampleRate = 44100.0;
  int32_t mBlockSize = 0;
  int32_t mTailSize = 0;
  bool mRenderingOffline = false;
  std::vector<ChannelConfig> mChannelConfigs;
  /// Per direction: the pointer array `ProcessBlock` sees, one entry per slot.
  std::vector<Sample*> mChannelData[2];
  /// Per direction: the channel slots; fixed at construction.
  std::vector<ChannelSlot> mChannels[2];
  TimeInfo mTimeInfo;
  /// The host block's timed changes, in arrival order (`mPendingChanges`), and the ones
  /// `ProcessBlock` sees, sorted and relative to the piece it processes (`mBlockChanges`).
  std::vector<ParamChange> mPendingChanges;
  std::vector<ParamChange> mPieceChanges;
  int mNPendingChanges = 0;
  const ParamChange* mBlockChanges = nullptr;
  int mNBlockChanges = 0;
};

}  // namespace kantele
