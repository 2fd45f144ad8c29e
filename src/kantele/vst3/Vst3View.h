#pragma once

#include "kantele/vst3/RefCount.h"
#include "kantele/vst3/Vst3Interface.h"

namespace kantele {

class IVst3Adapter;

/// The editor in a host's window: the plug-in's IPlugView. It embeds the plug-in's editor in
/// the parent the host gives (an X11 window on Linux, an HWND on Windows), reports and
/// constrains its size, passes host-driven resizes to the editor and carries the editor's own
/// resize requests to the host's plug-in frame.
///
/// Frames and events. On Windows the editor's window and timers run on the host's message loop
/// and nothing is registered. On Linux nothing runs unless the host's run loop calls in: while
/// attached (and the editor has an event descriptor, its X connection's), the view
/// registers a timer with the run loop the plug-in frame (or the host context) offers, whose
/// ticks run the editor's due timers (frame ticks and the plug-in's 20 ms timer), and the
/// editor's X connection, whose events it handles as soon as they arrive. Both arrive on the
/// host's user-interface thread. A host that offers no run loop gets the editor's first frame
/// and nothing after it.
///
/// The view holds a reference to its plug-in, so the plug-in outlives it. [main-thread]
class Vst3View final : public vst3::IPlugView,
                       public vst3::IPlugViewContentScaleSupport,
                       public vst3::ITimerHandler,
                       public vst3::IEventHandler {
 public:
  /// The run-loop timer's period: often enough for the editor's frame rate.
  static constexpr vst3::uint64 kTimerPeriodMs = 10;

  explicit Vst3View(IVst3Adapter& adapter);

  vst3::tresult KANTELE_VST3_CALL queryInterface(const vst3::TUID iid, void** obj) override;
  vst3::uint32 KANTELE_VST3_CALL addRef() override { return mRefs.Add(); }
  vst3::uint32 KANTELE_VST3_CALL release() override;

  vst3::tresult KANTELE_VST3_CALL isPlatformTypeSupported(vst3::FIDString type) override;
  /// Opens the editor in `parent`; kResultFalse when no editor could be made there.
  vst3::tresult KANTELE_VST3_CALL attached(void* parent, vst3::FIDString type) override;
  vst3::tresult KANTELE_VST3_CALL removed() override;
  /// The editor handles the wheel and keys in its own window; the host keeps these.
  vst3::tresult KANTELE_VST3_CALL onWheel(float distance) override;
  vst3::tresult KANTELE_VST3_CALL onKeyDown(vst3::char16 key, vst3::int16 keyCode,
                                            vst3::int16 modifiers) override;
  vst3::tresult KANTELE_VST3_CALL onKeyUp(vst3::char16 key, vst3::int16 keyCode,
                                          vst3::int16 modifiers) override;
  vst3::tresult KANTELE_VST3_CALL getSize(vst3::ViewRect* size) override;
  /// A size the editor cannot take exactly takes the nearest zoom it can.
  vst3::tresult KANTELE_VST3_CALL onSize(vst3::ViewRect* newSize) override;
  vst3::tresult KANTELE_VST3_CALL onFocus(vst3::TBool state) override;
  vst3::tresult KANTELE_VST3_CALL setFrame(vst3::IPlugFrame* frame) override;
  vst3::tresult KANTELE_VST3_CALL canResize() override;
  vst3::tresult KANTELE_VST3_CALL checkSizeConstraint(vst3::ViewRect* rect) override;

  /// The screen's density; taken by the editor now when open, else when it opens.
  vst3::tresult KANTELE_VST3_CALL setContentScaleFactor(float factor) override;

  /// Runs the editor's due timers.
  void KANTELE_VST3_CALL onTimer() override;
  /// Handles the editor's waiting window-system events.
  void KANTELE_VST3_CALL onFDIsSet(int fd) override;

  /// Asks the plug-in frame for a window of `width` x `height`; answers whether it granted.
  bool RequestFrameResize(int width, int height);

 private:
  ~Vst3View();
  void StartRunLoop();
  void StopRunLoop();

  vst3::RefCount mRefs;
  IVst3Adapter& mAdapter;
  vst3::IPlugFrame* mFrame = nullptr;
  vst3::IRunLoop* mRunLoop = nullptr;
  bool mAttached = false;
  bool mTimerRegistered = false;
  bool mHandlerRegistered = false;
  float mPendingScale = 0.f;
};

}  // namespace kantele
