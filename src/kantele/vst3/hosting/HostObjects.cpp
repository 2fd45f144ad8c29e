#include "kantele/vst3/hosting/HostObjects.h"

#include <algorithm>
#include <cstring>

namespace kantele {
namespace vst3 {

namespace {

/// Answers `iface` (with a reference added through `self`) when `iid` is one of `ids`.
template <class Self, class I>
tresult Answer(Self* self, I* iface, const TUID iid, void** obj,
               std::initializer_list<const Uid*> ids) {
  for (const Uid* id : ids) {
    if (id->Matches(iid)) {
      self->addRef();
      *obj = iface;
      return kResultOk;
    }
  }
  return kNoInterface;
}

}  // namespace

// ---- MemoryStream

tresult MemoryStream::queryInterface(const TUID iid, void** obj) {
  if (!obj) return kInvalidArgument;
  *obj = nullptr;
  if (Answer(this, static_cast<IBStream*>(this), iid, obj, {&IID_FUnknown, &IID_IBStream}) ==
      kResultOk) {
    return kResultOk;
  }
  return Answer(this, static_cast<ISizeableStream*>(this), iid, obj, {&IID_ISizeableStream});
}

uint32 MemoryStream::release() {
  const uint32 left = mRefs.Drop();
  if (left == 0) delete this;
  return left;
}

tresult MemoryStream::read(void* buffer, int32 numBytes, int32* numBytesRead) {
  if (numBytesRead) *numBytesRead = 0;
  if (mFailing) return kInternalError;
  if (numBytes < 0 || (numBytes > 0 && !buffer)) return kInvalidArgument;
  const int64 left = static_cast<int64>(mBytes.size()) - mPos;
  int64 n = std::min<int64>(numBytes, std::max<int64>(left, 0));
  if (mReadLimit > 0) n = std::min<int64>(n, mReadLimit);
  if (n > 0) std::memcpy(buffer, mBytes.data() + mPos, static_cast<size_t>(n));
  mPos += n;
  if (numBytesRead) *numBytesRead = static_cast<int32>(n);
  return kResultOk;
}

tresult MemoryStream::write(void* buffer, int32 numBytes, int32* numBytesWritten) {
  if (numBytesWritten) *numBytesWritten = 0;
  if (mFailing) return kInternalError;
  if (numBytes < 0 || (numBytes > 0 && !buffer)) return kInvalidArgument;
  const size_t end = static_cast<size_t>(mPos) + static_cast<size_t>(numBytes);
  if (end > mBytes.size()) mBytes.resize(end);
  if (numBytes > 0) std::memcpy(mBytes.data() + mPos, buffer, static_cast<size_t>(numBytes));
  mPos = static_cast<int64>(end);
  if (numBytesWritten) *numBytesWritten = numBytes;
  return kResultOk;
}

tresult MemoryStream::seek(int64 pos, int32 mode, int64* result) {
  if (mFailing) return kInternalError;
  int64 base = 0;
  switch (mode) {
    case kIBSeekSet: base = 0; break;
    case kIBSeekCur: base = mPos; break;
    case kIBSeekEnd: base = static_cast<int64>(mBytes.size()); break;
    default: return kInvalidArgument;
  }
  const int64 size = static_cast<int64>(mBytes.size());
  if ((pos > 0 && base > size - pos) || base + pos < 0) return kInvalidArgument;
  mPos = base + pos;
  if (result) *result = mPos;
  return kResultOk;
}

tresult MemoryStream::tell(int64* pos) {
  if (mFailing) return kInternalError;
  if (!pos) return kInvalidArgument;
  *pos = mPos;
  return kResultOk;
}

tresult MemoryStream::getStreamSize(int64& size) {
  if (mFailing) return kInternalError;
  size = static_cast<int64>(mBytes.size());
  return kResultOk;
}

tresult MemoryStream::setStreamSize(int64 size) {
  if (mFailing) return kInternalError;
  if (size < 0 || size > INT32_MAX) return kInvalidArgument;
  mBytes.resize(static_cast<size_t>(size));
  mPos = std::min(mPos, size);
  return kResultOk;
}

// ---- ParamValueQueue and ParameterChanges

tresult ParamValueQueue::queryInterface(const TUID iid, void** obj) {
  if (!obj) return kInvalidArgument;
  *obj = nullptr;
  return Answer(this, this, iid, obj, {&IID_FUnknown, &IID_IParamValueQueue});
}

tresult ParamValueQueue::getPoint(int32 index, int32& sampleOffset, ParamValue& value) {
  if (index < 0 || index >= mCount) return kInvalidArgument;
  sampleOffset = mPoints[index].offset;
  value = mPoints[index].value;
  return kResultOk;
}

tresult ParamValueQueue::addPoint(int32 sampleOffset, ParamValue value, int32& index) {
  if (mCount >= kMaxPoints) return kResultFalse;
  mPoints[mCount] = {sampleOffset, value};
  index = mCount++;
  return kResultOk;
}

ParameterChanges::ParameterChanges(int maxQueues)
    : mQueues(static_cast<size_t>(std::max(maxQueues, 0))) {}

tresult ParameterChanges::queryInterface(const TUID iid, void** obj) {
  if (!obj) return kInvalidArgument;
  *obj = nullptr;
  return Answer(this, this, iid, obj, {&IID_FUnknown, &IID_IParameterChanges});
}

IParamValueQueue* ParameterChanges::getParameterData(int32 index) {
  if (index < 0 || index >= mCount) return nullptr;
  return &mQueues[static_cast<size_t>(index)];
}

IParamValueQueue* ParameterChanges::addParameterData(const ParamID& id, int32& index) {
  for (int32 i = 0; i < mCount; ++i) {
    if (mQueues[static_cast<size_t>(i)].mId == id) {
      index = i;
      return &mQueues[static_cast<size_t>(i)];
    }
  }
  if (mCount >= static_cast<int32>(mQueues.size())) return nullptr;
  ParamValueQueue& queue = mQueues[static_cast<size_t>(mCount)];
  queue.mId = id;
  queue.mCount = 0;
  index = mCount++;
  return &queue;
}

bool ParameterChanges::Add(ParamID id, int32 sampleOffset, ParamValue value) {
  int32 index = 0;
  IParamValueQueue* queue = addParameterData(id, index);
  int32 pointIndex = 0;
  return queue && queue->addPoint(sampleOffset, value, pointIndex) == kResultOk;
}

// ---- HostApplication

tresult HostApplication::queryInterface(const TUID iid, void** obj) {
  if (!obj) return kInvalidArgument;
  *obj = nullptr;
  return Answer(this, this, iid, obj, {&IID_FUnknown, &IID_IHostApplication});
}

uint32 HostApplication::release() {
  const uint32 left = mRefs.Drop();
  if (left == 0) delete this;
  return left;
}

tresult HostApplication::getName(String128 name) {
  if (!name) return kInvalidArgument;
  CopyToString16(mName.c_str(), name, 128);
  return kResultOk;
}

tresult HostApplication::createInstance(TUID, TUID, void** obj) {
  if (obj) *obj = nullptr;
  return kNotImplemented;
}

// ---- ComponentHandler

tresult ComponentHandler::queryInterface(const TUID iid, void** obj) {
  if (!obj) return kInvalidArgument;
  *obj = nullptr;
  return Answer(this, this, iid, obj, {&IID_FUnknown, &IID_IComponentHandler});
}

uint32 ComponentHandler::release() {
  const uint32 left = mRefs.Drop();
  if (left == 0) delete this;
  return left;
}

tresult ComponentHandler::beginEdit(ParamID id) {
  mCalls.push_back({Kind::kBegin, id, 0.0});
  return kResultOk;
}

tresult ComponentHandler::performEdit(ParamID id, ParamValue valueNormalized) {
  mCalls.push_back({Kind::kPerform, id, valueNormalized});
  return kResultOk;
}

tresult ComponentHandler::endEdit(ParamID id) {
  mCalls.push_back({Kind::kEnd, id, 0.0});
  return kResultOk;
}

tresult ComponentHandler::restartComponent(int32 flags) {
  mCalls.push_back({Kind::kRestart, static_cast<ParamID>(flags), 0.0});
  return kResultOk;
}

// ---- PlugFrame

PlugFrame::~PlugFrame() = default;

tresult PlugFrame::queryInterface(const TUID iid, void** obj) {
  if (!obj) return kInvalidArgument;
  *obj = nullptr;
  if (Answer(this, static_cast<IPlugFrame*>(this), iid, obj, {&IID_FUnknown, &IID_IPlugFrame}) ==
      kResultOk) {
    return kResultOk;
  }
  if (!mOffersRunLoop) return kNoInterface;
  return Answer(this, static_cast<IRunLoop*>(this), iid, obj, {&IID_IRunLoop});
}

uint32 PlugFrame::release() {
  const uint32 left = mRefs.Drop();
  if (left == 0) delete this;
  return left;
}

tresult PlugFrame::resizeView(IPlugView* view, ViewRect* newSize) {
  if (!view || !newSize) return kInvalidArgument;
  mResizes.push_back(*newSize);
  return view->onSize(newSize);
}

tresult PlugFrame::registerEventHandler(IEventHandler* handler, int fd) {
  if (!handler) return kInvalidArgument;
  mHandlers.push_back({handler, fd});
  return kResultOk;
}

tresult PlugFrame::unregisterEventHandler(IEventHandler* handler) {
  const auto it = std::remove_if(mHandlers.begin(), mHandlers.end(),
                                 [handler](const HandlerEntry& e) { return e.handler == handler; });
  if (it == mHandlers.end()) return kInvalidArgument;
  mHandlers.erase(it, mHandlers.end());
  return kResultOk;
}

tresult PlugFrame::registerTimer(ITimerHandler* handler, uint64 milliseconds) {
  if (!handler) return kInvalidArgument;
  mTimers.push_back({handler, milliseconds});
  return kResultOk;
}

tresult PlugFrame::unregisterTimer(ITimerHandler* handler) {
  const auto it = std::remove_if(mTimers.begin(), mTimers.end(),
                                 [handler](const TimerEntry& e) { return e.handler == handler; });
  if (it == mTimers.end()) return kInvalidArgument;
  mTimers.erase(it, mTimers.end());
  return kResultOk;
}

int PlugFrame::FireTimers() {
  // A handler may unregister itself: call a copy.
  const std::vector<TimerEntry> timers = mTimers;
  for (const TimerEntry& t : timers) t.handler->onTimer();
  return static_cast<int>(timers.size());
}

namespace {

/// A fixed 8-bit text field, which need not be terminated.
std::string Field(const char* text, size_t capacity) {
  return std::string(text, strnlen(text, capacity));
}

}  // namespace

bool FindAudioModuleClass(IPluginFactory* factory, AudioModuleClass& found) {
  if (!factory) return false;
  auto factory2 = Ref<IPluginFactory2>::Query(factory, IID_IPluginFactory2);
  auto factory3 = Ref<IPluginFactory3>::Query(factory, IID_IPluginFactory3);
  const int32 count = factory->countClasses();
  for (int32 i = 0; i < count; ++i) {
    PClassInfoW w{};
    PClassInfo2 two{};
    PClassInfo one{};
    const char* cid = nullptr;
    const char* category = nullptr;
    if (factory3 && factory3->getClassInfoUnicode(i, &w) == kResultOk) {
      cid = w.cid;
      category = w.category;
      found.name = String16ToUtf8(w.name, 64);
      found.vendor = String16ToUtf8(w.vendor, 64);
    } else if (factory2 && factory2->getClassInfo2(i, &two) == kResultOk) {
      cid = two.cid;
      category = two.category;
      found.name = Field(two.name, sizeof two.name);
      found.vendor = Field(two.vendor, sizeof two.vendor);
    } else if (factory->getClassInfo(i, &one) == kResultOk) {
      cid = one.cid;
      category = one.category;
      found.name = Field(one.name, sizeof one.name);
      found.vendor.clear();
    } else {
      continue;
    }
    if (Field(category, sizeof one.category) != kAudioModuleClass) continue;
    std::memcpy(found.cid.bytes, cid, sizeof found.cid.bytes);
    if (found.vendor.empty()) {
      PFactoryInfo info{};
      if (factory->getFactoryInfo(&info) == kResultOk) {
        found.vendor = Field(info.vendor, sizeof info.vendor);
      }
    }
    return true;
  }
  return false;
}

int PlugFrame::FireEventHandlers() {
  const std::vector<HandlerEntry> handlers = mHandlers;
  for (const HandlerEntry& h : handlers) h.handler->onFDIsSet(h.fd);
  return static_cast<int>(handlers.size());
}

}  // namespace vst3
}  // namespace kantele
