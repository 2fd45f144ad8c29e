// Windows only, with a display: the editor as a host shows it. The built module is loaded, an
// instance made with a recording host callback, and its editor opened in a top-level window of
// the test's own through the dispatcher (effEditOpen with the window's handle). The test then
// acts as the host's user-interface thread: it pumps messages, sends the editor's child window
// the messages the system would, and reads back what the window shows.

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#include "stb_image.h"
#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include "stb_image_write.h"

#include "EditorHost.h"
#include "ModuleHost.h"
#include "support/MessagePump.h"

namespace kantele::test {
namespace {

using namespace vst2;

// ---- The host's side.

// Key messages that reached the host's window.
std::vector<WPARAM> sHostKeys;

LRESULT CALLBACK HostProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_KEYDOWN) sHostKeys.push_back(wParam);
  return DefWindowProcA(wnd, msg, wParam, lParam);
}

SIZE ClientSize(HWND wnd) {
  RECT r = {};
  GetClientRect(wnd, &r);
  return SIZE{r.right - r.left, r.bottom - r.top};
}

/// What the window shows, RGBA rows from the top. The window is painted whole first; the
/// pixels are read with an OpenGL context of the test's own on the window's DC (its pixel
/// format is the editor's), from the back buffer, which the software renderer these tests
/// run on leaves holding the frame it presented.
std::vector<uint8_t> ReadWindow(HWND wnd, int& w, int& h) {
  InvalidateRect(wnd, nullptr, FALSE);
  UpdateWindow(wnd);
  const SIZE size = ClientSize(wnd);
  w = size.cx;
  h = size.cy;
  std::vector<uint8_t> rgba;
  HDC dc = GetDC(wnd);
  HGLRC context = dc ? wglCreateContext(dc) : nullptr;
  if (context && wglMakeCurrent(dc, context)) {
    const size_t row = static_cast<size_t>(w) * 4u;
    std::vector<uint8_t> bottomUp(row * static_cast<size_t>(h));
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, w, h, GL_RGBA, GL_UNSIGNED_BYTE, bottomUp.data());
    rgba.resize(bottomUp.size());
    for (int y = 0; y < h; ++y) {
      std::copy_n(bottomUp.data() + static_cast<size_t>(h - 1 - y) * row, row,
                  rgba.data() + static_cast<size_t>(y) * row);
    }
    wglMakeCurrent(nullptr, nullptr);
  }
  if (context) wglDeleteContext(context);
  if (dc) ReleaseDC(wnd, dc);
  return rgba;
}

/// The sum of all channels over device rectangle (x0, y0)-(x1, y1).
long AreaSum(const std::vector<uint8_t>& rgba, int w, int x0, int y0, int x1, int y1) {
  long sum = 0;
  for (int y = y0; y < y1; ++y) {
    for (int x = x0; x < x1; ++x) {
      const size_t i =
          (static_cast<size_t>(y) * static_cast<size_t>(w) + static_cast<size_t>(x)) * 4u;
      sum += rgba[i] + rgba[i + 1] + rgba[i + 2];
    }
  }
  return sum;
}

/// A client position from editor design units at `scale`.
LPARAM At(float x, float y, float scale) {
  return MAKELPARAM(static_cast<int>(std::lround(x * scale)),
                    static_cast<int>(std::lround(y * scale)));
}

// ---- The fixture: the module, one instance, a shown host window.

class EditorWindowTest : public ModuleTest {
 protected:
  void SetUp() override {
    ModuleTest::SetUp();
    ASSERT_NE(mEntry, nullptr);
    GetModuleHandleExA(
        GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
        reinterpret_cast<LPCSTR>(mEntry), &mDll);
    ClearHostRequests();
    sHostKeys.clear();
    mEffect = mEntry(RecordingHost);
    ASSERT_NE(mEffect, nullptr);
    Dispatch(effOpen);

    WNDCLASSA wc = {};
    wc.lpfnWndProc = HostProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "TolvaneTestHost";
    RegisterClassA(&wc);
    mHost = MakeHost();
    ASSERT_NE(mHost, nullptr);
  }

  static HWND MakeHost() {
    return CreateWindowExA(0, "TolvaneTestHost", "Host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0,
                           1700, 1100, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
  }

  void TearDown() override {
    if (mEffect) {
      Dispatch(effEditClose);
      Dispatch(effClose);
      mEffect = nullptr;
    }
    if (mHost) DestroyWindow(mHost);
    UnregisterClassA("TolvaneTestHost", GetModuleHandleA(nullptr));
    PumpMessagesFor(10);
    ModuleTest::TearDown();
  }

  /// Closes the instance (and its editor) and makes a fresh one.
  void NewInstance() {
    Dispatch(effEditClose);
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

  /// Opens the editor in the host window and answers its child window.
  HWND Open() {
    if (Dispatch(effEditOpen, 0, 0, mHost) != 1) return nullptr;
    return Editor();
  }
  HWND Editor() const { return FindWindowExA(mHost, nullptr, "KanteleWndClass", nullptr); }
  bool ClassRegistered() const {
    WNDCLASSA info;
    return GetClassInfoA(mDll, "KanteleWndClass", &info) != FALSE;
  }

  void Click(HWND wnd, LPARAM at) {
    SendMessageA(wnd, WM_LBUTTONDOWN, MK_LBUTTON, at);
    SendMessageA(wnd, WM_LBUTTONUP, 0, at);
  }
  void DoubleClick(HWND wnd, LPARAM at) {
    Click(wnd, at);
    SendMessageA(wnd, WM_LBUTTONDBLCLK, MK_LBUTTON, at);
    SendMessageA(wnd, WM_LBUTTONUP, 0, at);
  }
  void Wheel(HWND wnd, float x, float y, float scale, int delta) {
    POINT p = {static_cast<LONG>(std::lround(x * scale)),
               static_cast<LONG>(std::lround(y * scale))};
    ClientToScreen(wnd, &p);
    SendMessageA(wnd, WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(static_cast<short>(delta))),
                 MAKELPARAM(p.x, p.y));
  }

  HMODULE mDll = nullptr;
  AEffect* mEffect = nullptr;
  HWND mHost = nullptr;
};

TEST_F(EditorWindowTest, OpensAChildWindowInTheHostsWindowAndDrawsTheEditor) {
  // A host that sizes its frame before opening gets the size the editor opens at.
  ERect* before = nullptr;
  ASSERT_EQ(Dispatch(effEditGetRect, 0, 0, &before), 1);
  EXPECT_EQ(before->right - before->left, 815);
  EXPECT_EQ(before->bottom - before->top, 505);
  HWND editor = Open();
  ASSERT_NE(editor, nullptr);
  EXPECT_TRUE(ClassRegistered());
  char title[32] = {};
  GetWindowTextA(editor, title, sizeof(title));
  EXPECT_STREQ(title, "Kantele");
  EXPECT_TRUE(GetWindowLongA(editor, GWL_STYLE) & WS_CHILD);
  // The opening draw scale 0.5 of 1630 x 1010: the size the host was told, so it is not
  // asked to resize.
  const SIZE size = ClientSize(editor);
  EXPECT_EQ(size.cx, 815);
  EXPECT_EQ(size.cy, 505);
  EXPECT_FALSE(SizeRequested(815, 505));
  ERect* rect = nullptr;
  ASSERT_EQ(Dispatch(effEditGetRect, 0, 0, &rect), 1);
  EXPECT_EQ(rect->right - rect->left, 815);
  EXPECT_EQ(rect->bottom - rect->top, 505);

  // What the window shows is the windowless rendering of the same editor, within the
  // rounding of a different OpenGL stack.
  PumpMessagesFor(100);
  int w = 0;
  int h = 0;
  const std::vector<uint8_t> shown = ReadWindow(editor, w, h);
  ASSERT_EQ(shown.size(), static_cast<size_t>(815 * 505 * 4));
  int gw = 0;
  int gh = 0;
  int channels = 0;
  unsigned char* golden = stbi_load(TOLVANE_EDITOR_GOLDEN, &gw, &gh, &channels, 4);
  ASSERT_NE(golden, nullptr) << TOLVANE_EDITOR_GOLDEN;
  ASSERT_EQ(gw, w);
  ASSERT_EQ(gh, h);
  double total = 0.0;
  long off = 0;
  for (size_t i = 0; i < shown.size(); ++i) {
    const int d = std::abs(static_cast<int>(shown[i]) - static_cast<int>(golden[i]));
    total += d;
    if (d > 24) ++off;
  }
  stbi_image_free(golden);
  EXPECT_LT(total / static_cast<double>(shown.size()), 1.0);
  EXPECT_LT(off, static_cast<long>(shown.size() / 200));

  // The lamp and the flip switch follow Bypass set by the host.
  const long lampOff = AreaSum(shown, w, 660, 100, 710, 150);
  const long flipOff = AreaSum(shown, w, 669, 177, 702, 252);
  mEffect->setParameter(mEffect, kBypass, 1.f);
  std::vector<uint8_t> bypassed;
  ASSERT_TRUE(PumpMessagesUntil([&] {
    bypassed = ReadWindow(editor, w, h);
    return AreaSum(bypassed, w, 660, 100, 710, 150) != lampOff;
  }));
  EXPECT_NE(AreaSum(bypassed, w, 669, 177, 702, 252), flipOff);

  Dispatch(effEditClose);
  EXPECT_EQ(Editor(), nullptr);
  EXPECT_FALSE(ClassRegistered());
}

TEST_F(EditorWindowTest, MouseAndKeysReachTheControlsAndTheHost) {
  HWND editor = Open();
  ASSERT_NE(editor, nullptr);
  const float s = 0.5f;

  // A drag up the Input Gain overlay (126..394, 192..486) turns the knob up, as one gesture.
  // The knob hides the pointer and parks it where the drag began: every move is measured
  // from there, and a move to that very place is no movement.
  SendMessageA(editor, WM_LBUTTONDOWN, MK_LBUTTON, At(260, 340, s));
  SendMessageA(editor, WM_MOUSEMOVE, MK_LBUTTON, At(260, 300, s));
  POINT parked = {130, 170};
  ClientToScreen(editor, &parked);
  POINT cursor = {};
  GetCursorPos(&cursor);
  EXPECT_EQ(cursor.x, parked.x);
  EXPECT_EQ(cursor.y, parked.y);
  SendMessageA(editor, WM_MOUSEMOVE, MK_LBUTTON, At(260, 340, s));
  SendMessageA(editor, WM_MOUSEMOVE, MK_LBUTTON, At(260, 240, s));
  SendMessageA(editor, WM_LBUTTONUP, 0, At(260, 240, s));
  const float turned = Param(kInputGain);
  EXPECT_GT(turned, kInputGainDefault + 0.05f);
  const std::vector<VstInt32> edits = EditOpcodes(kInputGain);
  ASSERT_GE(edits.size(), 3u);
  EXPECT_EQ(edits.front(), audioMasterBeginEdit);
  EXPECT_EQ(edits.back(), audioMasterEndEdit);
  EXPECT_EQ(std::count(edits.begin(), edits.end(), audioMasterAutomate),
            static_cast<long>(edits.size()) - 2);
  // Two moves with movement, two automations.
  EXPECT_EQ(edits.size(), 4u);

  // The wheel: half a notch is no notch, a notch turns up, two notches down turn down.
  Wheel(editor, 260, 340, s, 60);
  EXPECT_EQ(Param(kInputGain), turned);
  Wheel(editor, 260, 340, s, 120);
  EXPECT_GT(Param(kInputGain), turned);
  Wheel(editor, 260, 340, s, -240);
  EXPECT_LT(Param(kInputGain), turned);

  // A double click puts the knob back to its default.
  DoubleClick(editor, At(260, 340, s));
  EXPECT_NEAR(Param(kInputGain), kInputGainDefault, 1e-6);

  // A click on the React slide switch (516..770, 752..906) flips it.
  const float react = Param(kReact);
  Click(editor, At(643, 829, s));
  EXPECT_NE(Param(kReact), react);
  Click(editor, At(643, 829, s));
  EXPECT_EQ(Param(kReact), react);

  // A key the editor has no use for goes on to the host's top-level window.
  SendMessageA(editor, WM_KEYDOWN, VK_F5, 0x003F0001);
  EXPECT_EQ(std::count(sHostKeys.begin(), sHostKeys.end(), static_cast<WPARAM>(VK_F5)), 1);
}

TEST_F(EditorWindowTest, ARightClickTypesAValueIntoTheControlsParameter) {
  HWND editor = Open();
  ASSERT_NE(editor, nullptr);
  const float s = 0.5f;
  // A right-click opens the native text box over the control holding the value in its
  // units; the frame tick after it took the focus lets the editor take input again.
  const auto prompt = [&](float x, float y) {
    SendMessageA(editor, WM_RBUTTONDOWN, MK_RBUTTON, At(x, y, s));
    SendMessageA(editor, WM_RBUTTONUP, 0, At(x, y, s));
    HWND box = FindWindowExW(editor, nullptr, L"EDIT", nullptr);
    PumpMessagesFor(50);
    return box;
  };
  const auto boxText = [](HWND box) {
    wchar_t text[64] = {};
    GetWindowTextW(box, text, 64);
    return std::wstring(text);
  };
  const auto boxGone = [&] { return FindWindowExW(editor, nullptr, L"EDIT", nullptr) == nullptr; };
  const std::vector<VstInt32> oneGesture{audioMasterBeginEdit, audioMasterAutomate,
                                         audioMasterEndEdit};

  // Return sets the typed value (50 %: a quarter of 0..200) as one gesture.
  ClearHostRequests();
  HWND box = prompt(260, 340);
  ASSERT_NE(box, nullptr) << "no text box over the Input Gain knob";
  EXPECT_EQ(boxText(box), L"32.00");
  SetWindowTextW(box, L"50");
  SendMessageW(box, WM_KEYDOWN, VK_RETURN, 1);
  ASSERT_TRUE(PumpMessagesUntil([&] { return std::fabs(Param(kInputGain) - 0.25f) < 1e-6; }))
      << Param(kInputGain);
  EXPECT_EQ(EditOpcodes(kInputGain), oneGesture);
  EXPECT_TRUE(PumpMessagesUntil(boxGone));

  // Text the parser refuses, Escape and a click elsewhere change nothing.
  enum EEnding { kRefused, kEscape, kClickElsewhere };
  for (const EEnding ending : {kRefused, kEscape, kClickElsewhere}) {
    SCOPED_TRACE(ending);
    ClearHostRequests();
    box = prompt(260, 340);
    ASSERT_NE(box, nullptr);
    SetWindowTextW(box, ending == kRefused ? L"" : L"90");
    if (ending == kClickElsewhere) {
      Click(editor, At(1400, 120, s));
    } else {
      SendMessageW(box, WM_KEYDOWN, ending == kEscape ? VK_ESCAPE : VK_RETURN, 1);
    }
    EXPECT_TRUE(PumpMessagesUntil(boxGone));
    PumpMessagesFor(50);
    EXPECT_NEAR(Param(kInputGain), 0.25f, 1e-6);
    EXPECT_TRUE(EditOpcodes(kInputGain).empty());
  }

  // A switch takes a value the same way: React's slide switch (516..770, 752..906) to 0.
  ClearHostRequests();
  box = prompt(643, 829);
  ASSERT_NE(box, nullptr) << "no text box over the React switch";
  SetWindowTextW(box, L"0");
  SendMessageW(box, WM_KEYDOWN, VK_RETURN, 1);
  ASSERT_TRUE(PumpMessagesUntil([&] { return Param(kReact) == 0.f; }));
  EXPECT_EQ(EditOpcodes(kReact), oneGesture);
}

TEST_F(EditorWindowTest, TheCornerGripResizesTheWindowAndTheSizeSurvivesReopening) {
  HWND editor = Open();
  ASSERT_NE(editor, nullptr);

  // Scale mode: the zoom follows the pointer's distance from the top-left corner.
  SendMessageA(editor, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(806, 496));
  SendMessageA(editor, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(1209, 744));
  SIZE size = ClientSize(editor);
  EXPECT_EQ(size.cx, 1222);  // 1630 x 0.75, truncated
  EXPECT_EQ(size.cy, 757);
  SendMessageA(editor, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(1612, 992));
  SendMessageA(editor, WM_LBUTTONUP, 0, MAKELPARAM(1612, 992));
  size = ClientSize(editor);
  EXPECT_EQ(size.cx, 1630);
  EXPECT_EQ(size.cy, 1010);
  EXPECT_TRUE(SizeRequested(1630, 1010));

  // Closed and opened again, the editor keeps its size and zoom.
  Dispatch(effEditClose);
  editor = Open();
  ASSERT_NE(editor, nullptr);
  size = ClientSize(editor);
  EXPECT_EQ(size.cx, 1630);
  EXPECT_EQ(size.cy, 1010);

  // A new instance opens at the opening size; a double click on the grip goes to full size
  // at once.
  NewInstance();
  editor = Open();
  ASSERT_NE(editor, nullptr);
  ASSERT_EQ(ClientSize(editor).cx, 815);
  DoubleClick(editor, MAKELPARAM(806, 496));
  size = ClientSize(editor);
  EXPECT_EQ(size.cx, 1630);
  EXPECT_EQ(size.cy, 1010);
  EXPECT_TRUE(SizeRequested(1630, 1010));

  // The full-size editor as it shows under the test's display.
  if (const char* shot = std::getenv("TOLVANE_EDITOR_SCREENSHOT")) {
    PumpMessagesFor(100);
    int w = 0;
    int h = 0;
    const std::vector<uint8_t> rgba = ReadWindow(editor, w, h);
    ASSERT_FALSE(rgba.empty());
    EXPECT_NE(stbi_write_png(shot, w, h, 4, rgba.data(), w * 4), 0) << shot;
  }
}

TEST_F(EditorWindowTest, AHostThatDestroysItsWindowFirstCanOpenTheEditorAgainAndClose) {
  // The host's window goes with the editor in it, and the editor is opened again in a new
  // one without being closed in between: it opens at its size.
  ASSERT_NE(Open(), nullptr);
  PumpMessagesFor(50);
  DestroyWindow(mHost);
  mHost = MakeHost();
  HWND editor = Open();
  ASSERT_NE(editor, nullptr);
  EXPECT_EQ(ClientSize(editor).cx, 815);
  EXPECT_EQ(ClientSize(editor).cy, 505);
  PumpMessagesFor(50);
  // The same, then closed.
  DestroyWindow(mHost);
  mHost = MakeHost();
  EXPECT_EQ(Dispatch(effEditClose), 1);
  EXPECT_FALSE(ClassRegistered());
  EXPECT_EQ(wglGetCurrentContext(), nullptr);
}

TEST_F(EditorWindowTest, FiftyOpenAndCloseCyclesLeaveNothingBehind) {
  for (int i = 0; i < 50; ++i) {
    HWND editor = Open();
    ASSERT_NE(editor, nullptr) << i;
    if (i % 10 == 0) PumpMessagesFor(30);
    Dispatch(effEditClose);
    ASSERT_EQ(Editor(), nullptr) << i;
  }
  EXPECT_FALSE(ClassRegistered());
  EXPECT_EQ(wglGetCurrentContext(), nullptr);
  // Nothing the editor left behind reaches this thread any more.
  PumpMessagesFor(50);
}

}  // namespace
}  // namespace kantele::test
