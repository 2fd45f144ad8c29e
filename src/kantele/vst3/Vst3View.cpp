#include "kantele/vst3/Vst3View.h"

#include <cmath>
#include <cstring>

#include "kantele/Timer.h"
#include "kantele/gfx/IGfx.h"
#include "kantele/vst3/IVst3Adapter.h"

namespace kantele {

using namespace vst3;

namespace {

// The one window kind each platform's editor embeds in.
#if defined(_WIN32)
constexpr const char* kNativeParentType = kPlatformTypeHWND;
#else
constexpr const char* kNativeParentType = kPlatformTypeX11EmbedWindowID;
#endif

/// `iid` queried from `from`, or null.
template <class I>
I* QueryFrom(FUnknown* from, const Uid& iid) {
  void* obj = nullptr;
  if (!from || from->queryInterface(iid.data(), &obj) != kResultOk) return nullptr;
  return static_cast<I*>(obj);
}

}  // namespace

Vst3View::Vst3View(IVst3Adapter& adapter) : mAdapter(adapter) { mAdapter.addRef(); }

Vst3View::~Vst3View() {
  if (mAttached) removed();
  if (mFrame) mFrame->release();
  mAdapter.release();
}

tresult Vst3View::queryInterface(const TUID iid, void** obj) {
  if (!obj) return kInvalidArgument;
  *obj = nullptr;
  if (!iid) return kNoInterface;
  void* answer = nullptr;
  if (IID_FUnknown.Matches(iid) || IID_IPlugView.Matches(iid)) {
    answer = static_cast<IPlugView*>(this);
  } else if (IID_IPlugViewContentScaleSupport.Matches(iid)) {
    answer = static_cast<IPlugViewContentScaleSupport*>(this);
  } else if (IID_ITimerHandler.Matches(iid)) {
    answer = static_cast<ITimerHandler*>(this);
  } else if (IID_IEventHandler.Matches(iid)) {
    answer = static_cast<IEventHandler*>(this);
  } else {
    return kNoInterface;
  }
  addRef();
  *obj = answer;
  return kResultOk;
}

uint32 Vst3View::release() {
  const uint32 left = mRefs.Drop();
  if (left == 0) delete this;
  return left;
}

tresult Vst3View::isPlatformTypeSupported(FIDString type) {
  return type && std::strcmp(type, kNativeParentType) == 0 ? kResultTrue : kResultFalse;
}

tresult Vst3View::attached(void* parent, FIDString type) {
  if (!parent || isPlatformTypeSupported(type) != kResultTrue) return kInvalidArgument;
  if (mAttached) return kResultFalse;
  mAdapter.SetView(this);
  if (!mAdapter.OpenWindow(parent)) {
    mAdapter.SetView(nullptr);
    return kResultFalse;
  }
  mAttached = true;
  if (mPendingScale > 0.f) mAdapter.SetScreenScale(mPendingScale);
  StartRunLoop();
  return kResultOk;
}

tresult Vst3View::removed() {
  if (!mAttached) return kResultFalse;
  StopRunLoop();
  mAdapter.CloseWindow();
  mAdapter.SetView(nullptr);
  mAttached = false;
  return kResultOk;
}

void Vst3View::StartRunLoop() {
  // An editor without an event descriptor runs on the host's own message loop (Windows):
  // nothing to register.
  const gfx::IGfx* ui = mAdapter.GetUI();
  const int fd = ui ? ui->GetEventDescriptor() : -1;
  if (fd < 0) return;
  mRunLoop = QueryFrom<IRunLoop>(mFrame, IID_IRunLoop);
  if (!mRunLoop) mRunLoop = QueryFrom<IRunLoop>(mAdapter.GetHostContext(), IID_IRunLoop);
  if (!mRunLoop) return;
  mTimerRegistered = mRunLoop->registerTimer(this, kTimerPeriodMs) == kResultOk;
  mHandlerRegistered = mRunLoop->registerEventHandler(this, fd) == kResultOk;
}

void Vst3View::StopRunLoop() {
  if (!mRunLoop) return;
  if (mTimerRegistered) mRunLoop->unregisterTimer(this);
  if (mHandlerRegistered) mRunLoop->unregisterEventHandler(this);
  mTimerRegistered = mHandlerRegistered = false;
  mRunLoop->release();
  mRunLoop = nullptr;
}

tresult Vst3View::onWheel(float) { return kResultFalse; }
tresult Vst3View::onKeyDown(char16, int16, int16) { return kResultFalse; }
tresult Vst3View::onKeyUp(char16, int16, int16) { return kResultFalse; }

tresult Vst3View::getSize(ViewRect* size) {
  if (!size) return kInvalidArgument;
  *size = {0, 0, mAdapter.GetEditorWidth(), mAdapter.GetEditorHeight()};
  return kResultOk;
}

tresult Vst3View::onSize(ViewRect* newSize) {
  if (!newSize) return kInvalidArgument;
  const int width = newSize->right - newSize->left;
  const int height = newSize->bottom - newSize->top;
  if (width <= 0 || height <= 0) return kInvalidArgument;
  if (!mAttached) return kResultOk;
  if (width == mAdapter.GetEditorWidth() && height == mAdapter.GetEditorHeight()) return kResultOk;
  mAdapter.ResizeEditorWindow(width, height);
  return kResultOk;
}

tresult Vst3View::onFocus(TBool) { return kResultOk; }

tresult Vst3View::setFrame(IPlugFrame* frame) {
  if (frame == mFrame) return kResultOk;
  if (frame) frame->addRef();
  if (mFrame) mFrame->release();
  mFrame = frame;
  return kResultOk;
}

tresult Vst3View::canResize() { return kResultTrue; }

tresult Vst3View::checkSizeConstraint(ViewRect* rect) {
  if (!rect) return kInvalidArgument;
  int width = rect->right - rect->left;
  int height = rect->bottom - rect->top;
  mAdapter.ConstrainEditorWindow(width, height);
  rect->right = rect->left + width;
  rect->bottom = rect->top + height;
  return kResultOk;
}

tresult Vst3View::setContentScaleFactor(float factor) {
  if (!std::isfinite(factor) || !(factor > 0.f)) return kInvalidArgument;
  mPendingScale = factor;
  if (mAttached) mAdapter.SetScreenScale(factor);
  return kResultTrue;
}

void Vst3View::onTimer() { Timer::ServiceDueTimers(); }

void Vst3View::onFDIsSet(int) {
  if (gfx::IGfx* ui = mAdapter.GetUI()) ui->ProcessPendingEvents();
}

bool Vst3View::RequestFrameResize(int width, int height) {
  if (!mFrame) return false;
  ViewRect rect = {0, 0, width, height};
  return mFrame->resizeView(this, &rect) == kResultOk;
}

}  // namespace kantele
