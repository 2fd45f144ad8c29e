// Linux only, with an X display: the editor as a host shows it. The built module is loaded, an
// instance made with a recording host callback, and its editor opened in a top-level window of
// the test's own (on the test's own X connection) through the dispatcher: effEditOpen with the
// window's id. The test then acts as the host's user-interface thread: it sends the idle
// requests the editor runs on, moves the pointer and presses buttons and keys through the X
// server's test extension, and reads back what the window shows.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#include "stb_image.h"
#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include "stb_image_write.h"

#include "EditorHost.h"
#include "ModuleHost.h"
#include "kantele/gfx/support/X11Host.h"

// Last: Xlib's macros (None, Bool, Status, KeyPress ...) must not reach the headers above.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

namespace kantele::test {
namespace {

using namespace vst2;

// The host's window: room for the editor at full size (1630 x 1010).
constexpr int kHostWidth = 1700;
constexpr int kHostHeight = 1100;

// ---- The host's side.

// X errors that reached the handler this test installs. Xlib's handler is one per process:
// an error the editor's connection raises and does not keep to itself lands here too, and
// with Xlib's default handler in place it would end the host.
int sXErrors = 0;
std::string sLastXError;

int CountXError(Display* display, XErrorEvent* error) {
  ++sXErrors;
  char text[160] = {};
  XGetErrorText(display, error->error_code, text, sizeof(text));
  sLastXError = std::string(text) + " (request " + std::to_string(error->request_code) + "." +
                std::to_string(error->minor_code) + ", resource " +
                std::to_string(error->resourceid) + ")";
  return 0;
}

/// What a window shows: RGBA rows from the top, opaque.
struct Image {
  int mW = 0;
  int mH = 0;
  std::vector<uint8_t> mRgba;
};

/// Channel `c` of pixel (x, y) of RGBA rows `w` pixels wide.
int Channel(const uint8_t* rgba, int w, int x, int y, int c) {
  return rgba[(static_cast<size_t>(y) * static_cast<size_t>(w) + static_cast<size_t>(x)) * 4u +
              static_cast<size_t>(c)];
}

/// The sum of all colour channels over window rectangle (x0, y0)-(x1, y1).
long AreaSum(const Image& image, int x0, int y0, int x1, int y1) {
  long sum = 0;
  for (int y = y0; y < y1; ++y) {
    for (int x = x0; x < x1; ++x) {
      for (int c = 0; c < 3; ++c) sum += Channel(image.mRgba.data(), image.mW, x, y, c);
    }
  }
  return sum;
}

/// The windowless rendering of the editor at its opening size.
struct Golden {
  Golden() { mPixels = stbi_load(TOLVANE_EDITOR_GOLDEN, &mW, &mH, &mChannels, 4); }
  ~Golden() { stbi_image_free(mPixels); }
  Golden(const Golden&) = delete;
  Golden& operator=(const Golden&) = delete;

  /// The mean absolute channel difference from `image`, which is `factor` times the size,
  /// each of its `factor` x `factor` blocks taken as one pixel (infinite when the sizes do not
  /// fit); `off` counts the channels that differ by more than 24.
  double MeanDifference(const Image& image, int factor = 1, long* off = nullptr) const {
    if (!mPixels || image.mW != mW * factor || image.mH != mH * factor) return INFINITY;
    const int n = factor * factor;
    double total = 0.0;
    long far = 0;
    for (int y = 0; y < mH; ++y) {
      for (int x = 0; x < mW; ++x) {
        for (int c = 0; c < 4; ++c) {
          int sum = 0;
          for (int b = 0; b < n; ++b) {
            sum += Channel(image.mRgba.data(), image.mW, x * factor + b % factor,
                           y * factor + b / factor, c);
          }
          const int d = std::abs((sum + n / 2) / n - Channel(mPixels, mW, x, y, c));
          total += d;
          if (d > 24) ++far;
        }
      }
    }
    if (off) *off = far;
    return total / (4.0 * mW * mH);
  }

  unsigned char* mPixels = nullptr;
  int mW = 0;
  int mH = 0;
  int mChannels = 0;
};

/// Open file descriptors of this process: an X connection or a file per editor opened and
/// not released shows here.
int OpenDescriptors() {
  int n = 0;
  std::error_code ec;
  for (auto it = std::filesystem::directory_iterator("/proc/self/fd", ec);
       !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
    ++n;
  }
  return n;
}

/// The test's connection to the X server, one for the whole program. An X server resets when
/// its last client leaves and turns connections away while it does: the program stays
/// connected from case to case, and a first connection is tried for up to 5 s in case the
/// server is still resetting after an earlier program. Null when there is no server.
Display* HostDisplay() {
  static Display* const sDisplay = gfx::test::OpenTestDisplay(5000);
  return sDisplay;
}

// ---- The fixture: the module, one instance, a mapped host window on the test's connection.

class EditorX11Test : public ModuleTest {
 protected:
  void SetUp() override {
    mDisplay = HostDisplay();
    const char* name = std::getenv("DISPLAY");
    ASSERT_NE(mDisplay, nullptr)
        << "cannot open the X display \"" << (name ? name : "") << "\": these tests need one. "
        << "The test command starts an Xvfb (e.g. `Xvfb :95 -screen 0 1920x1200x24 "
        << "-nolisten tcp &`) and DISPLAY must name it (DISPLAY=:95).";
    ASSERT_TRUE(gfx::test::HasXTest(mDisplay)) << "the X server has no XTEST extension";
    sXErrors = 0;
    sLastXError.clear();
    mPreviousHandler = XSetErrorHandler(CountXError);
    mHandlerInstalled = true;

    ModuleTest::SetUp();
    ASSERT_NE(mEntry, nullptr);
    ClearHostRequests();
    mEffect = mEntry(RecordingHost);
    ASSERT_NE(mEffect, nullptr);
    Dispatch(effOpen);
    mHost = MakeHost();
    ASSERT_NE(mHost, 0u);
    // The pointer rests on the host's window, away from every size of the editor, so that
    // nothing in the editor shows a pointer over it.
    MoveOnScreen(kHostWidth - 10, kHostHeight - 10);
  }

  void TearDown() override {
    // A case that stopped in the middle of a drag leaves no button held for the next.
    if (mDisplay) gfx::test::ReleaseButtons(mDisplay);
    if (mEffect) {
      if (mEditorOpen) CloseEditor();
      Dispatch(effClose);
      mEffect = nullptr;
    }
    if (mDisplay) {
      if (mHost) XDestroyWindow(mDisplay, mHost);
      mHost = 0;
      XSync(mDisplay, False);
      DrainHostEvents();
    }
    if (mHandlerInstalled) {
      // Whatever the editor did with the process's handler while it was open, the host's
      // own is back in place once it closed.
      const XErrorHandler current = XSetErrorHandler(mPreviousHandler);
      EXPECT_EQ(current, &CountXError) << "the editor left an X error handler of its own";
      EXPECT_EQ(sXErrors, 0) << "X errors reached the process's handler; the last: " << sLastXError;
    }
    ModuleTest::TearDown();
  }

  /// A mapped top-level window of the host, or 0 when it did not map within 5 s.
  Window MakeHost() {
    return gfx::test::MakeHostWindow(mDisplay, 0, 0, kHostWidth, kHostHeight,
                                     StructureNotifyMask | KeyPressMask);
  }

  /// Destroys the host's window (and with it whatever the editor put in it).
  void DestroyHost() {
    gfx::test::DestroyHostWindow(mDisplay, mHost);
    mHost = 0;
  }

  /// Closes the instance (and its editor) and makes a fresh one.
  void NewInstance() {
    if (mEditorOpen) CloseEditor();
    Dispatch(effClose);
    ClearHostRequests();
    mEffect = mEntry(RecordingHost);
    ASSERT_NE(mEffect, nullptr);
    Dispatch(effOpen);
  }

  VstIntPtr Dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0,
                     void* ptr = nullptr) {
    return mEffect->dispatcher(mEffect, opcode, index, value, ptr, 0.f);
  }
  float Param(int index) { return mEffect->getParameter(mEffect, index); }

  VstIntPtr OpenIn(Window parent) {
    const VstIntPtr opened =
        Dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(static_cast<uintptr_t>(parent)));
    if (opened == 1) mEditorOpen = true;
    return opened;
  }
  /// Opens the editor in the host window and answers its child window once the X server
  /// shows it there (0 when it does not within 5 s).
  Window Open() {
    if (OpenIn(mHost) != 1) return 0;
    Window editor = 0;
    PumpUntil([&] { return (editor = Editor()) != 0; });
    return editor;
  }
  VstIntPtr CloseEditor() {
    mEditorOpen = false;
    return Dispatch(effEditClose);
  }

  /// The children of `wnd`, by default of the host's window.
  std::vector<Window> Children(Window wnd = 0) const {
    return gfx::test::ChildWindows(mDisplay, wnd ? wnd : mHost);
  }
  /// The editor's child window in the host's window: the child named "Kantele".
  Window Editor() const {
    for (Window child : Children()) {
      char* name = nullptr;
      const bool named = XFetchName(mDisplay, child, &name) && name;
      const bool found = named && std::strcmp(name, "Kantele") == 0;
      if (name) XFree(name);
      if (found) return child;
    }
    return 0;
  }

  XWindowAttributes Attributes(Window wnd) const {
    XWindowAttributes a = {};
    XGetWindowAttributes(mDisplay, wnd, &a);
    return a;
  }
  bool HasSize(Window wnd, int w, int h) const {
    const XWindowAttributes a = Attributes(wnd);
    return a.width == w && a.height == h;
  }

  /// Reads the events waiting on the test's connection; records the key presses that reach
  /// the host's window.
  void DrainHostEvents() {
    while (XPending(mDisplay) > 0) {
      XEvent e;
      XNextEvent(mDisplay, &e);
      if (e.type == KeyPress && mHost && e.xkey.window == mHost) {
        mHostKeys.push_back(HostKey{XLookupKeysym(&e.xkey, 0), e.xkey.send_event != 0});
      }
    }
  }

  /// Acts as the host's user-interface thread (an idle request while the editor is open,
  /// the test's own events, a 5 ms rest) until `done` answers true or `timeoutMs` pass;
  /// answers `done`'s last answer.
  template <class F>
  bool PumpUntil(F done, int timeoutMs = 5000) {
    const auto start = std::chrono::steady_clock::now();
    for (;;) {
      if (mEditorOpen) Dispatch(effEditIdle);
      DrainHostEvents();
      if (done()) return true;
      if (std::chrono::steady_clock::now() - start > std::chrono::milliseconds(timeoutMs))
        return done();
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  }
  void PumpFor(int ms) {
    PumpUntil([] { return false; }, ms);
  }

  /// What `wnd` shows, read from the X server; empty when it is not viewable.
  Image ReadWindow(Window wnd) const {
    Image image;
    const XWindowAttributes a = Attributes(wnd);
    if (a.map_state != IsViewable || a.width <= 0 || a.height <= 0) return image;
    XImage* x = XGetImage(mDisplay, wnd, 0, 0, static_cast<unsigned>(a.width),
                          static_cast<unsigned>(a.height), AllPlanes, ZPixmap);
    if (!x) return image;
    const auto channel = [](unsigned long pixel, unsigned long mask) {
      if (!mask) return 0;
      int shift = 0;
      while (!((mask >> shift) & 1u)) ++shift;
      const unsigned long max = mask >> shift;
      return static_cast<int>(((pixel & mask) >> shift) * 255u / max);
    };
    image.mW = a.width;
    image.mH = a.height;
    image.mRgba.resize(static_cast<size_t>(a.width) * static_cast<size_t>(a.height) * 4u);
    uint8_t* out = image.mRgba.data();
    for (int y = 0; y < a.height; ++y) {
      for (int x0 = 0; x0 < a.width; ++x0) {
        const unsigned long p = XGetPixel(x, x0, y);
        *out++ = static_cast<uint8_t>(channel(p, x->red_mask));
        *out++ = static_cast<uint8_t>(channel(p, x->green_mask));
        *out++ = static_cast<uint8_t>(channel(p, x->blue_mask));
        *out++ = 255;
      }
    }
    XDestroyImage(x);
    return image;
  }

  /// Pumps until `wnd` shows the windowless rendering; answers the last mean difference.
  double WaitForGolden(Window wnd, const Golden& golden, Image& shown, long* off = nullptr) {
    double mean = INFINITY;
    PumpUntil([&] {
      shown = ReadWindow(wnd);
      mean = golden.MeanDifference(shown, 1, off);
      return mean < 1.0;
    });
    return mean;
  }

  // ---- Input through the X server, as a user's.

  void MoveOnScreen(int x, int y) { gfx::test::MovePointerOnScreen(mDisplay, x, y); }
  void MoveTo(Window wnd, int x, int y) { gfx::test::MovePointerTo(mDisplay, wnd, x, y); }
  void MoveBy(int dx, int dy) { gfx::test::MovePointerBy(mDisplay, dx, dy); }
  void Button(unsigned int button, bool down) { gfx::test::PressButton(mDisplay, button, down); }
  void Click(unsigned int button = 1) { gfx::test::ClickButton(mDisplay, button); }
  /// Both clicks reach the server together, well within the double-click time.
  void DoubleClick() {
    Click();
    Click();
  }
  void Key(KeySym sym) {
    ASSERT_TRUE(gfx::test::TypeKey(mDisplay, sym))
        << "the X server's keymap has no key for keysym " << sym;
  }
  void PointerOnScreen(int& x, int& y) const { gfx::test::PointerOnScreen(mDisplay, x, y); }
  Window Focus() const { return gfx::test::FocusedWindow(mDisplay); }

  /// A key press that reached the host's window.
  struct HostKey {
    KeySym mSym;
    bool mSent;  // forwarded with XSendEvent rather than delivered by the server
  };
  long ForwardedPresses(KeySym sym) const {
    return std::count_if(mHostKeys.begin(), mHostKeys.end(),
                         [&](const HostKey& k) { return k.mSent && k.mSym == sym; });
  }

  Display* mDisplay = nullptr;
  XErrorHandler mPreviousHandler = nullptr;
  bool mHandlerInstalled = false;
  AEffect* mEffect = nullptr;
  Window mHost = 0;
  bool mEditorOpen = false;
  std::vector<HostKey> mHostKeys;
};

TEST_F(EditorX11Test, RefusesToOpenWithoutADisplayOrAUsableParent) {
  // The size the editor opens at is known before any window exists.
  ERect* rect = nullptr;
  ASSERT_EQ(Dispatch(effEditGetRect, 0, 0, &rect), 1);
  EXPECT_EQ(rect->right - rect->left, 815);
  EXPECT_EQ(rect->bottom - rect->top, 505);

  const size_t topLevel = Children(DefaultRootWindow(mDisplay)).size();
  EXPECT_EQ(OpenIn(0), 0);
  // The id of a window that no longer exists.
  const Window gone =
      XCreateSimpleWindow(mDisplay, DefaultRootWindow(mDisplay), 0, 0, 10, 10, 0, 0, 0);
  XDestroyWindow(mDisplay, gone);
  XSync(mDisplay, False);
  EXPECT_EQ(OpenIn(gone), 0);

  // A display that no server answers.
  const std::string display = std::getenv("DISPLAY") ? std::getenv("DISPLAY") : "";
  setenv("DISPLAY", ":4093", 1);
  EXPECT_EQ(OpenIn(mHost), 0);
  setenv("DISPLAY", display.c_str(), 1);
  // No window was left anywhere: not in the host's, not on the screen.
  PumpFor(50);
  EXPECT_TRUE(Children().empty());
  EXPECT_EQ(Children(DefaultRootWindow(mDisplay)).size(), topLevel);

  // None of it stands in the way of an editor opened properly afterwards.
  ASSERT_NE(Open(), 0u);
  EXPECT_EQ(Children().size(), 1u);
}

TEST_F(EditorX11Test, OpensAChildWindowInTheHostsWindowAndDrawsTheEditor) {
  // A host that sizes its frame before opening gets the size the editor opens at.
  ERect* rect = nullptr;
  ASSERT_EQ(Dispatch(effEditGetRect, 0, 0, &rect), 1);
  EXPECT_EQ(rect->right - rect->left, 815);
  EXPECT_EQ(rect->bottom - rect->top, 505);

  const Window editor = Open();
  ASSERT_NE(editor, 0u) << "no child named \"Kantele\" in the host's window";
  EXPECT_EQ(Children().size(), 1u);
  // The opening draw scale 0.5 of 1630 x 1010 at the top-left of the host's window: the
  // size the host was told, so it is not asked to resize.
  const XWindowAttributes a = Attributes(editor);
  EXPECT_EQ(a.x, 0);
  EXPECT_EQ(a.y, 0);
  EXPECT_EQ(a.width, 815);
  EXPECT_EQ(a.height, 505);
  EXPECT_EQ(a.map_state, IsViewable);
  EXPECT_FALSE(SizeRequested(815, 505));
  ASSERT_EQ(Dispatch(effEditGetRect, 0, 0, &rect), 1);
  EXPECT_EQ(rect->right - rect->left, 815);
  EXPECT_EQ(rect->bottom - rect->top, 505);

  // What the window shows is the windowless rendering of the same editor, within the
  // rounding of a different OpenGL stack.
  const Golden golden;
  ASSERT_NE(golden.mPixels, nullptr) << TOLVANE_EDITOR_GOLDEN;
  Image shown;
  long off = 0;
  const double mean = WaitForGolden(editor, golden, shown, &off);
  ASSERT_EQ(shown.mRgba.size(), static_cast<size_t>(815 * 505 * 4));
  std::printf("mean absolute channel difference from the windowless rendering: %.4f\n", mean);
  EXPECT_LT(mean, 1.0);
  EXPECT_LT(off, static_cast<long>(shown.mRgba.size() / 200));
  if (const char* shot = std::getenv("TOLVANE_EDITOR_SCREENSHOT")) {
    EXPECT_NE(stbi_write_png(shot, shown.mW, shown.mH, 4, shown.mRgba.data(), shown.mW * 4), 0)
        << shot;
  }

  // The lamp and the flip switch follow Bypass set by the host.
  const long lampOff = AreaSum(shown, 660, 100, 710, 150);
  const long flipOff = AreaSum(shown, 669, 177, 702, 252);
  mEffect->setParameter(mEffect, kBypass, 1.f);
  Image bypassed;
  ASSERT_TRUE(PumpUntil([&] {
    bypassed = ReadWindow(editor);
    return bypassed.mW == 815 && AreaSum(bypassed, 660, 100, 710, 150) != lampOff;
  })) << "the lamp did not light";
  EXPECT_NE(AreaSum(bypassed, 669, 177, 702, 252), flipOff);

  EXPECT_EQ(CloseEditor(), 1);
  EXPECT_TRUE(PumpUntil([&] { return Children().empty(); }))
      << "the editor's window outlived effEditClose";
}

TEST_F(EditorX11Test, MouseAndKeysReachTheControlsAndTheHost) {
  const Window editor = Open();
  ASSERT_NE(editor, 0u);

  // A drag up the Input Gain overlay (126..394, 192..486 in UI units; half that in
  // pixels), as one gesture. The knob hides the pointer and puts it back where the drag
  // began after every move: each step is measured from there.
  constexpr int kKnobX = 130;
  constexpr int kKnobY = 170;
  constexpr int kSteps = 7;
  constexpr int kStep = 10;  // pixels up, 20 UI units
  MoveTo(editor, kKnobX, kKnobY);
  PumpFor(30);
  Button(1, true);
  PumpFor(30);
  int parkedX = 0;
  int parkedY = 0;
  PointerOnScreen(parkedX, parkedY);
  bool parkedEveryStep = true;
  for (int i = 0; i < kSteps; ++i) {
    MoveBy(0, -kStep);
    const bool parked = PumpUntil(
        [&] {
          int x = 0;
          int y = 0;
          PointerOnScreen(x, y);
          return x == parkedX && y == parkedY;
        },
        parkedEveryStep ? 5000 : 100);
    parkedEveryStep = parkedEveryStep && parked;
  }
  EXPECT_TRUE(parkedEveryStep) << "the pointer was not put back where the drag began";
  Button(1, false);
  ASSERT_TRUE(PumpUntil([] {
    const std::vector<VstInt32> edits = EditOpcodes(kInputGain);
    return !edits.empty() && edits.back() == audioMasterEndEdit;
  })) << "the drag did not end its gesture";
  const float turned = Param(kInputGain);
  // 140 UI units up a 294-unit knob, geared by 4.
  EXPECT_NEAR(turned - kInputGainDefault, 140.0 / 294.0 / 4.0, 0.008);
  const std::vector<VstInt32> edits = EditOpcodes(kInputGain);
  ASSERT_GE(edits.size(), 3u);
  EXPECT_EQ(edits.front(), audioMasterBeginEdit);
  EXPECT_EQ(edits.back(), audioMasterEndEdit);
  EXPECT_EQ(std::count(edits.begin(), edits.end(), audioMasterAutomate),
            static_cast<long>(edits.size()) - 2);
  // One automation a move: the moves that put the pointer back are no movement.
  EXPECT_EQ(edits.size(), static_cast<size_t>(kSteps + 2));

  // The wheel: a notch up is a hundredth of the range up, two notches down twice that down.
  Click(4);
  ASSERT_TRUE(PumpUntil([&] { return Param(kInputGain) != turned; }));
  const float up = Param(kInputGain);
  EXPECT_NEAR(up - turned, 0.01, 1e-4);
  Click(5);
  Click(5);
  ASSERT_TRUE(PumpUntil([&] { return Param(kInputGain) < turned; }));
  PumpFor(50);
  EXPECT_NEAR(up - Param(kInputGain), 0.02, 1e-4);

  // A double click puts the knob back to its default. The pause keeps its first press from
  // pairing with the drag's.
  PumpFor(500);
  DoubleClick();
  EXPECT_TRUE(PumpUntil([&] { return std::fabs(Param(kInputGain) - kInputGainDefault) < 1e-6; }))
      << Param(kInputGain);

  // A click on the React slide switch (516..770, 752..906) flips it; a second click, far
  // enough from the first not to make a double click, flips it back. A press takes the
  // keyboard focus.
  const float react = Param(kReact);
  MoveTo(editor, 322, 415);
  Click();
  EXPECT_TRUE(PumpUntil([&] { return Param(kReact) != react; })) << "React did not flip";
  EXPECT_TRUE(PumpUntil([&] { return Focus() == editor; })) << "the press took no focus";
  MoveTo(editor, 342, 415);
  Click();
  EXPECT_TRUE(PumpUntil([&] { return Param(kReact) == react; })) << "React did not flip back";

  // Keys the editor has no use for go on to the host's window, once each.
  for (const KeySym sym : {static_cast<KeySym>(XK_q), static_cast<KeySym>(XK_F5)}) {
    Key(sym);
    EXPECT_TRUE(PumpUntil([&] { return ForwardedPresses(sym) > 0; }))
        << "keysym " << sym << " did not reach the host's window";
    PumpFor(100);
    EXPECT_EQ(ForwardedPresses(sym), 1) << "keysym " << sym;
  }
}

TEST_F(EditorX11Test, ARightClickTypesAValueIntoTheControlsParameter) {
  const Window editor = Open();
  ASSERT_NE(editor, 0u);
  // The prompt is a white box of 220 x 72 UI units (110 x 36 pixels) centred on the control,
  // holding the value, selected. The strip along its top stays white whatever it holds.
  const auto promptAt = [&](int cx, int cy) {
    const Image image = ReadWindow(editor);
    return !image.mRgba.empty() &&
           AreaSum(image, cx - 50, cy - 17, cx + 50, cy - 12) >= 100L * 5 * 3 * 240;
  };
  const auto rightClick = [&](int x, int y) {
    MoveTo(editor, x, y);
    PumpFor(30);
    Click(3);
    return PumpUntil([&] { return promptAt(x, y); });
  };
  constexpr int kKnobX = 130;  // the Input Gain knob's centre, (260, 339) in UI units
  constexpr int kKnobY = 170;
  const std::vector<VstInt32> oneGesture{audioMasterBeginEdit, audioMasterAutomate,
                                         audioMasterEndEdit};

  // Return sets the typed value (50 %: a quarter of 0..200) as one gesture.
  ClearHostRequests();
  ASSERT_TRUE(rightClick(kKnobX, kKnobY)) << "no value prompt over the knob";
  EXPECT_NEAR(Param(kInputGain), kInputGainDefault, 1e-6);
  if (const char* shot = std::getenv("TOLVANE_PROMPT_SCREENSHOT")) {
    const Image shown = ReadWindow(editor);
    EXPECT_NE(stbi_write_png(shot, shown.mW, shown.mH, 4, shown.mRgba.data(), shown.mW * 4), 0)
        << shot;
  }
  for (const KeySym sym : {XK_5, XK_0, XK_Return}) Key(sym);
  ASSERT_TRUE(PumpUntil([&] { return std::fabs(Param(kInputGain) - 0.25f) < 1e-6; }))
      << Param(kInputGain);
  EXPECT_EQ(EditOpcodes(kInputGain), oneGesture);
  EXPECT_TRUE(PumpUntil([&] { return !promptAt(kKnobX, kKnobY); })) << "the prompt stayed";

  // Text the parser refuses (nothing), Escape and a click elsewhere change nothing.
  struct Ending {
    const char* what;
    std::vector<KeySym> keys;
    bool clickElsewhere;
  };
  const Ending endings[] = {{"refused", {XK_BackSpace, XK_Return}, false},
                            {"escape", {XK_9, XK_Escape}, false},
                            {"click elsewhere", {XK_9}, true}};
  for (const Ending& ending : endings) {
    SCOPED_TRACE(ending.what);
    ClearHostRequests();
    ASSERT_TRUE(rightClick(kKnobX, kKnobY));
    for (const KeySym sym : ending.keys) Key(sym);
    if (ending.clickElsewhere) {
      MoveTo(editor, 700, 60);
      Click();
    }
    EXPECT_TRUE(PumpUntil([&] { return !promptAt(kKnobX, kKnobY); })) << "the prompt stayed";
    PumpFor(100);
    EXPECT_NEAR(Param(kInputGain), 0.25f, 1e-6);
    EXPECT_TRUE(EditOpcodes(kInputGain).empty());
  }

  // A switch takes a value the same way: React's slide switch (centre (643, 829)) to 0.
  ClearHostRequests();
  ASSERT_TRUE(rightClick(322, 415)) << "no value prompt over the switch";
  for (const KeySym sym : {XK_0, XK_Return}) Key(sym);
  ASSERT_TRUE(PumpUntil([&] { return Param(kReact) == 0.f; }));
  EXPECT_EQ(EditOpcodes(kReact), oneGesture);
}

TEST_F(EditorX11Test, TheCornerGripResizesTheWindowAndTheSizeSurvivesReopening) {
  Window editor = Open();
  ASSERT_NE(editor, 0u);

  // Scale mode: the zoom follows the pointer's distance from the top-left corner. The press
  // lands on the grip in the bottom-right corner; the drag goes on outside the window.
  MoveTo(editor, 806, 496);
  PumpFor(30);
  Button(1, true);
  PumpFor(30);
  MoveTo(editor, 1209, 744);
  EXPECT_TRUE(PumpUntil([&] { return HasSize(editor, 1222, 757); }))  // 1630 x 0.75, truncated
      << Attributes(editor).width << " x " << Attributes(editor).height;
  EXPECT_TRUE(SizeRequested(1222, 757));
  MoveTo(editor, 1612, 992);
  EXPECT_TRUE(PumpUntil([&] { return HasSize(editor, 1630, 1010); }))
      << Attributes(editor).width << " x " << Attributes(editor).height;
  Button(1, false);
  PumpFor(50);
  EXPECT_TRUE(HasSize(editor, 1630, 1010));
  EXPECT_TRUE(SizeRequested(1630, 1010));

  // Closed and opened again, the editor keeps its size and zoom.
  EXPECT_EQ(CloseEditor(), 1);
  ASSERT_TRUE(PumpUntil([&] { return Children().empty(); }));
  editor = Open();
  ASSERT_NE(editor, 0u);
  EXPECT_TRUE(HasSize(editor, 1630, 1010))
      << Attributes(editor).width << " x " << Attributes(editor).height;
  ERect* rect = nullptr;
  ASSERT_EQ(Dispatch(effEditGetRect, 0, 0, &rect), 1);
  EXPECT_EQ(rect->right - rect->left, 1630);
  EXPECT_EQ(rect->bottom - rect->top, 1010);
  // At twice the opening zoom: halved, the window shows the opening rendering again, within
  // what drawing at another scale changes in edges and fine lines.
  const Golden golden;
  double mean = INFINITY;
  PumpUntil([&] {
    mean = golden.MeanDifference(ReadWindow(editor), 2);
    return mean < 2.0;
  });
  std::printf("full size, halved, from the windowless rendering: %.4f\n", mean);
  EXPECT_LT(mean, 2.0);

  // A new instance opens at the opening size; a double click on the grip goes to full size
  // at once.
  NewInstance();
  editor = Open();
  ASSERT_NE(editor, 0u);
  ASSERT_TRUE(HasSize(editor, 815, 505));
  MoveTo(editor, 806, 496);
  PumpFor(30);
  DoubleClick();
  EXPECT_TRUE(PumpUntil([&] { return HasSize(editor, 1630, 1010); }))
      << Attributes(editor).width << " x " << Attributes(editor).height;
  EXPECT_TRUE(SizeRequested(1630, 1010));
}

TEST_F(EditorX11Test, AHostThatDestroysItsWindowFirstCanOpenTheEditorAgainAndClose) {
  // While the editor is open, the host's own X errors still reach the host's handler.
  const Window gone =
      XCreateSimpleWindow(mDisplay, DefaultRootWindow(mDisplay), 0, 0, 10, 10, 0, 0, 0);
  XDestroyWindow(mDisplay, gone);
  XSync(mDisplay, False);
  ASSERT_NE(Open(), 0u);
  PumpFor(50);
  XMapWindow(mDisplay, gone);
  XSync(mDisplay, False);
  EXPECT_EQ(sXErrors, 1) << "the host's own error went elsewhere";
  sXErrors = 0;

  // The host's window goes with the editor in it, and the editor is opened again in a new
  // one without being closed in between: it opens at its size and draws.
  DestroyHost();
  PumpFor(50);
  mHost = MakeHost();
  ASSERT_NE(mHost, 0u);
  const Window editor = Open();
  ASSERT_NE(editor, 0u);
  EXPECT_TRUE(HasSize(editor, 815, 505));
  const Golden golden;
  Image shown;
  EXPECT_LT(WaitForGolden(editor, golden, shown), 1.0);

  // The same, with idle requests while the window is gone, then closed.
  DestroyHost();
  PumpFor(100);
  mHost = MakeHost();
  ASSERT_NE(mHost, 0u);
  EXPECT_EQ(CloseEditor(), 1);
  PumpFor(50);

  // And opened once more, in the new window, and closed.
  const Window again = Open();
  ASSERT_NE(again, 0u);
  EXPECT_LT(WaitForGolden(again, golden, shown), 1.0);
  EXPECT_EQ(CloseEditor(), 1);
  EXPECT_TRUE(PumpUntil([&] { return Children().empty(); }));
}

TEST_F(EditorX11Test, FiftyOpenAndCloseCyclesLeaveNothingBehind) {
  const int descriptors = OpenDescriptors();
  for (int i = 0; i < 50; ++i) {
    const Window editor = Open();
    ASSERT_NE(editor, 0u) << i;
    if (i % 10 == 0) PumpFor(30);
    ASSERT_EQ(CloseEditor(), 1) << i;
    ASSERT_TRUE(PumpUntil([&] { return Children().empty(); }, 5000))
        << "cycle " << i << " left a window in the host's";
  }
  PumpFor(50);
  // A connection or a file kept from every cycle would be fifty.
  EXPECT_LT(OpenDescriptors() - descriptors, 10);

  // The editor still opens, draws and takes the wheel.
  const Window editor = Open();
  ASSERT_NE(editor, 0u);
  const Golden golden;
  Image shown;
  EXPECT_LT(WaitForGolden(editor, golden, shown), 1.0);
  const float before = Param(kInputGain);
  MoveTo(editor, 130, 170);
  PumpFor(30);
  Click(4);
  EXPECT_TRUE(PumpUntil([&] { return Param(kInputGain) > before; }));
}

}  // namespace
}  // namespace kantele::test
