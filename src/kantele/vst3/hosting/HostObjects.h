#pragma once

// The objects a VST 3 host hands a plug-in: a memory stream for state, the parameter changes
// of one block, the host's identity, a component handler, and on Linux the plug-in frame with
// its run loop. tolvane-render and the tests drive plug-ins through them; the plug-in side of
// this project never uses them.
//
// Every object is reference counted as the interface demands: it starts at one reference,
// `release` to zero destroys it, `queryInterface` adds a reference to what it answers.

#include <cstdint>
#include <string>
#include <vector>

#include "kantele/vst3/RefCount.h"
#include "kantele/vst3/Vst3Interface.h"
#include "kantele/vst3/Vst3Text.h"

namespace kantele {
namespace vst3 {

/// Marks a function whose calls go into another module's objects. Those need not be objects of
/// this program's C++ types (a module may lay out its interface tables by hand), so the
/// sanitizer's dynamic-type check cannot judge the calls. On the inline functions below it
/// holds for every copy, whichever one the linker keeps.
#if defined(__GNUC__) || defined(__clang__)
#define KANTELE_FOREIGN_CALLS __attribute__((no_sanitize("vptr")))
#else
#define KANTELE_FOREIGN_CALLS
#endif

/// Holds one reference to an interface and drops it when it goes.
template <class I>
class Ref {
 public:
  Ref() = default;
  /// Takes over a reference the caller owns (one `createInstance` or `queryInterface` gave).
  explicit Ref(I* owned) : mPtr(owned) {}
  ~Ref() { Reset(); }
  Ref(const Ref&) = delete;
  Ref& operator=(const Ref&) = delete;
  Ref(Ref&& other) noexcept : mPtr(other.mPtr) { other.mPtr = nullptr; }
  Ref& operator=(Ref&& other) noexcept {
    if (this != &other) {
      Reset();
      mPtr = other.mPtr;
      other.mPtr = nullptr;
    }
    return *this;
  }

  /// `iid` queried from `from`; empty when `from` is null or does not answer it.
  template <class From>
  KANTELE_FOREIGN_CALLS static Ref Query(From* from, const Uid& iid) {
    void* obj = nullptr;
    if (from && from->queryInterface(iid.data(), &obj) == kResultOk && obj) {
      return Ref(static_cast<I*>(obj));
    }
    return Ref();
  }

  KANTELE_FOREIGN_CALLS void Reset() {
    if (mPtr) mPtr->release();
    mPtr = nullptr;
  }
  I* Get() const { return mPtr; }
  I* operator->() const { return mPtr; }
  explicit operator bool() const { return mPtr != nullptr; }

 private:
  I* mPtr = nullptr;
};

/// IBStream and ISizeableStream over bytes in memory, with a shared read/write position.
/// For tests it can misbehave on purpose: fail every call, or move at most a few bytes per
/// read. [main-thread]
class MemoryStream final : public IBStream, public ISizeableStream {
 public:
  MemoryStream() = default;
  explicit MemoryStream(std::vector<uint8_t> bytes) : mBytes(std::move(bytes)) {}

  tresult KANTELE_VST3_CALL queryInterface(const TUID iid, void** obj) override;
  uint32 KANTELE_VST3_CALL addRef() override { return mRefs.Add(); }
  uint32 KANTELE_VST3_CALL release() override;

  /// Copies min(numBytes, bytes left, the read limit) bytes; a negative count or a null
  /// buffer with a positive count is kInvalidArgument.
  tresult KANTELE_VST3_CALL read(void* buffer, int32 numBytes, int32* numBytesRead) override;
  /// Writes at the position, growing the bytes as needed.
  tresult KANTELE_VST3_CALL write(void* buffer, int32 numBytes, int32* numBytesWritten) override;
  /// A position outside 0 .. size is kInvalidArgument and leaves the position.
  tresult KANTELE_VST3_CALL seek(int64 pos, int32 mode, int64* result) override;
  tresult KANTELE_VST3_CALL tell(int64* pos) override;
  tresult KANTELE_VST3_CALL getStreamSize(int64& size) override;
  tresult KANTELE_VST3_CALL setStreamSize(int64 size) override;

  const std::vector<uint8_t>& Bytes() const { return mBytes; }
  void Rewind() { mPos = 0; }
  /// Every call answers kInternalError and moves nothing.
  void SetFailing(bool failing) { mFailing = failing; }
  /// Reads move at most `limit` bytes each (0: no limit).
  void SetReadLimit(int32 limit) { mReadLimit = limit; }

 private:
  ~MemoryStream() = default;

  RefCount mRefs;
  std::vector<uint8_t> mBytes;
  int64 mPos = 0;
  bool mFailing = false;
  int32 mReadLimit = 0;
};

/// One parameter's points within a block, in storage made once. [audio-thread] for the
/// plug-in's reads; filling is the host's.
class ParamValueQueue final : public IParamValueQueue {
 public:
  ParamValueQueue() = default;

  tresult KANTELE_VST3_CALL queryInterface(const TUID iid, void** obj) override;
  uint32 KANTELE_VST3_CALL addRef() override { return 1; }
  uint32 KANTELE_VST3_CALL release() override { return 1; }

  ParamID KANTELE_VST3_CALL getParameterId() override { return mId; }
  int32 KANTELE_VST3_CALL getPointCount() override { return mCount; }
  /// An index outside the points is kInvalidArgument.
  tresult KANTELE_VST3_CALL getPoint(int32 index, int32& sampleOffset, ParamValue& value) override;
  /// Appends a point; kResultFalse when the storage is full.
  tresult KANTELE_VST3_CALL addPoint(int32 sampleOffset, ParamValue value, int32& index) override;

  static constexpr int kMaxPoints = 128;

 private:
  friend class ParameterChanges;
  struct Point {
    int32 offset;
    ParamValue value;
  };
  ParamID mId = kNoParamId;
  int32 mCount = 0;
  Point mPoints[kMaxPoints] = {};
};

/// The changed parameters of one block, for `ProcessData::inputParameterChanges`. Its queues
/// are owned by this object (their reference counts are nominal) and live as long as it does.
/// `Clear` and `Add` never allocate. [the host's processing thread]
class ParameterChanges final : public IParameterChanges {
 public:
  /// Storage for `maxQueues` parameters. [main-thread] Allocates.
  explicit ParameterChanges(int maxQueues = 64);

  tresult KANTELE_VST3_CALL queryInterface(const TUID iid, void** obj) override;
  uint32 KANTELE_VST3_CALL addRef() override { return 1; }
  uint32 KANTELE_VST3_CALL release() override { return 1; }

  int32 KANTELE_VST3_CALL getParameterCount() override { return mCount; }
  /// Null for an index outside the queues.
  IParamValueQueue* KANTELE_VST3_CALL getParameterData(int32 index) override;
  /// The queue of `id` (made when new); null when every queue is taken.
  IParamValueQueue* KANTELE_VST3_CALL addParameterData(const ParamID& id, int32& index) override;

  /// Empties every queue.
  void Clear() { mCount = 0; }
  /// One point for `id`; answers false when no storage is left.
  bool Add(ParamID id, int32 sampleOffset, ParamValue value);

 private:
  int32 mCount = 0;
  std::vector<ParamValueQueue> mQueues;
};

/// The host's identity for `initialize` (and IPluginFactory3's host context). It makes no
/// objects for the plug-in. [main-thread]
class HostApplication final : public IHostApplication {
 public:
  explicit HostApplication(const char* name) : mName(name ? name : "") {}

  tresult KANTELE_VST3_CALL queryInterface(const TUID iid, void** obj) override;
  uint32 KANTELE_VST3_CALL addRef() override { return mRefs.Add(); }
  uint32 KANTELE_VST3_CALL release() override;

  /// The name, cut to 127 UTF-16 units.
  tresult KANTELE_VST3_CALL getName(String128 name) override;
  tresult KANTELE_VST3_CALL createInstance(TUID cid, TUID iid, void** obj) override;

 private:
  ~HostApplication() = default;
  RefCount mRefs;
  std::string mName;
};

/// A component handler that records what the plug-in tells the host. [main-thread]
class ComponentHandler final : public IComponentHandler {
 public:
  enum class Kind { kBegin, kPerform, kEnd, kRestart };
  struct Call {
    Kind kind;
    ParamID id;  ///< the restart flags for kRestart
    ParamValue value;
  };

  ComponentHandler() = default;

  tresult KANTELE_VST3_CALL queryInterface(const TUID iid, void** obj) override;
  uint32 KANTELE_VST3_CALL addRef() override { return mRefs.Add(); }
  uint32 KANTELE_VST3_CALL release() override;

  tresult KANTELE_VST3_CALL beginEdit(ParamID id) override;
  tresult KANTELE_VST3_CALL performEdit(ParamID id, ParamValue valueNormalized) override;
  tresult KANTELE_VST3_CALL endEdit(ParamID id) override;
  tresult KANTELE_VST3_CALL restartComponent(int32 flags) override;

  const std::vector<Call>& Calls() const { return mCalls; }
  void ClearCalls() { mCalls.clear(); }

 private:
  ~ComponentHandler() = default;
  RefCount mRefs;
  std::vector<Call> mCalls;
};

/// A plug-in frame that grants every resize (calling the view's onSize, as hosts do) and, on
/// every platform, offers a run loop whose timers and file descriptors the owner fires by
/// hand. [main-thread]
class PlugFrame final : public IPlugFrame, public IRunLoop {
 public:
  PlugFrame() = default;

  tresult KANTELE_VST3_CALL queryInterface(const TUID iid, void** obj) override;
  uint32 KANTELE_VST3_CALL addRef() override { return mRefs.Add(); }
  uint32 KANTELE_VST3_CALL release() override;

  /// Records the size and calls `view->onSize` with it.
  tresult KANTELE_VST3_CALL resizeView(IPlugView* view, ViewRect* newSize) override;

  tresult KANTELE_VST3_CALL registerEventHandler(IEventHandler* handler, int fd) override;
  tresult KANTELE_VST3_CALL unregisterEventHandler(IEventHandler* handler) override;
  tresult KANTELE_VST3_CALL registerTimer(ITimerHandler* handler, uint64 milliseconds) override;
  tresult KANTELE_VST3_CALL unregisterTimer(ITimerHandler* handler) override;

  /// Calls every registered timer once; answers how many.
  int FireTimers();
  /// Calls every registered event handler with its descriptor; answers how many.
  int FireEventHandlers();

  /// Whether a run loop is offered at all (a host without one answers kNoInterface).
  void SetOffersRunLoop(bool offers) { mOffersRunLoop = offers; }

  int TimerCount() const { return static_cast<int>(mTimers.size()); }
  int EventHandlerCount() const { return static_cast<int>(mHandlers.size()); }
  uint64 TimerInterval(int i) const { return mTimers[static_cast<size_t>(i)].ms; }
  int HandlerFd(int i) const { return mHandlers[static_cast<size_t>(i)].fd; }
  const std::vector<ViewRect>& Resizes() const { return mResizes; }

 private:
  ~PlugFrame();
  struct TimerEntry {
    ITimerHandler* handler;
    uint64 ms;
  };
  struct HandlerEntry {
    IEventHandler* handler;
    int fd;
  };
  RefCount mRefs;
  bool mOffersRunLoop = true;
  std::vector<TimerEntry> mTimers;
  std::vector<HandlerEntry> mHandlers;
  std::vector<ViewRect> mResizes;
};

/// A factory's first class of category "Audio Module Class": its id, name and vendor.
struct AudioModuleClass {
  Uid cid{};
  std::string name;
  std::string vendor;  ///< the class's, else the factory's
};

/// Looks the factory's classes up, through the richest class information it offers
/// (IPluginFactory3's Unicode texts, then IPluginFactory2's, then IPluginFactory's); false when
/// no class is an audio module. [main-thread]
bool FindAudioModuleClass(IPluginFactory* factory, AudioModuleClass& found);

}  // namespace vst3
}  // namespace kantele
