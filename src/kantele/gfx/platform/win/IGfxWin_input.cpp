// The Windows editor's input: the window's messages handed to one handler per kind (keys,
// mouse moves, buttons, the wheel, touch, drops, hovering), turned into the core's entries in
// editor units, and the cursor.
#include "kantele/gfx/platform/win/IGfxWin.h"

#include <commctrl.h>
#include <shellapi.h>

#include <cmath>
#include <string>
#include <vector>

#include "kantele/gfx/platform/win/InputRules_win.h"
#include "kantele/gfx/platform/win/WideText_win.h"

namespace kantele {
namespace gfx {

namespace {

// Mouse messages synthesised from a pen carry this signature in their extra information.
constexpr DWORD kPenSignatureMask = 0xFFFFFF00;
constexpr DWORD kPenSignature = 0xFF515700;

bool KeyDown(int vk) { return (GetKeyState(vk) & 0x8000) != 0; }

bool IsMouseMessage(UINT msg) {
  return (msg >= WM_MOUSEMOVE && msg <= WM_MBUTTONDBLCLK) || msg == WM_MOUSEHOVER ||
         msg == WM_MOUSELEAVE;
}

// Messages that still reach the editor while the text entry box has just taken the focus:
// frame ticks, painting, the box's colours and closing.
bool PassesFocusedTextEntry(UINT msg) {
  return msg == WM_TIMER || msg == FramePacer::kVBlankMessage || msg == WM_PAINT ||
         msg == WM_ERASEBKGND || msg == WM_CTLCOLOREDIT || msg == WM_CLOSE;
}

// One character of the ANSI code page as UTF-8 (empty when it has no UTF-16 form).
std::string AnsiCharToUtf8(char c) {
  wchar_t wide[2] = {};
  if (MultiByteToWideChar(CP_ACP, 0, &c, 1, wide, 2) != 1) return std::string();
  return WideToUtf8(wide, 1);
}

}  // namespace

// ---- Dispatch.

LRESULT IGfxWin::HandleMessage(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  // The text entry box just took the focus: a press in the editor cancels it, and the editor
  // takes no other input until the next frame tick (ticks, painting and the box's colours go
  // on).
  if (mTextEntryWnd && mTextEntryState == kEntryFocused) {
    if (msg == WM_LBUTTONDOWN || msg == WM_RBUTTONDOWN) {
      mTextEntryState = kEntryCancel;
      return 0;
    }
    if (!PassesFocusedTextEntry(msg)) return DefWindowProcA(wnd, msg, wParam, lParam);
  }

  if (IsMouseMessage(msg)) {
    mPenInput = (static_cast<DWORD>(GetMessageExtraInfo()) & kPenSignatureMask) == kPenSignature;
    if (mPenInput) mCursorLocked = false;
  }

  switch (msg) {
    case WM_SETCURSOR: SetCursor(mCursorType); return 0;
    case WM_GETDLGCODE: return DLGC_WANTALLKEYS;
    case WM_KEYDOWN:
    case WM_KEYUP: return HandleKey(wnd, msg, wParam, lParam);
    case WM_MOUSEMOVE: HandleMouseMove(wnd, wParam, lParam); return 0;
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN: HandleButtonDown(wnd, wParam, lParam); return 0;
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
    case WM_MBUTTONUP: HandleButtonUp(wParam, lParam); return 0;
    case WM_LBUTTONDBLCLK: HandleDoubleClick(wnd, wParam, lParam); return 0;
    case WM_MOUSEWHEEL: HandleWheel(wnd, wParam, lParam); return 0;
    case WM_TOUCH: HandleTouch(wParam, lParam); return 0;
    case WM_DROPFILES: HandleDrop(wParam); return 0;
    case WM_MOUSEHOVER: HandleHover(); return 0;
    case WM_MOUSELEAVE: HandleMouseLeave(); return 0;
    default: return HandleWindowMessage(wnd, msg, wParam, lParam);
  }
}

// ---- Keys.

LRESULT IGfxWin::HandleKey(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  POINT p = {};
  GetCursorPos(&p);
  ScreenToClient(wnd, &p);
  BYTE keyboard[256] = {};
  GetKeyboardState(keyboard);
  WORD chars[2] = {};
  const UINT scanCode = static_cast<UINT>((lParam >> 16) & 0xFF);
  const int n = ToAscii(static_cast<UINT>(wParam), scanCode, keyboard, chars, 0);
  if (n == 0 || n == 1) {
    const std::string text =
        n == 1 ? AnsiCharToUtf8(static_cast<char>(chars[0] & 0xFF)) : std::string();
    const KeyPress key(text.c_str(), static_cast<int>(wParam), KeyDown(VK_SHIFT),
                       KeyDown(VK_CONTROL), KeyDown(VK_MENU));
    const float scale = GetTotalScale();
    const float x = static_cast<float>(p.x) / scale;
    const float y = static_cast<float>(p.y) / scale;
    const bool handled = msg == WM_KEYDOWN ? OnKeyDown(x, y, key) : OnKeyUp(x, y, key);
    if (handled) return 0;
  }
  // The host's window sees what the editor did not take (its shortcuts, say).
  HWND root = GetAncestor(wnd, GA_ROOT);
  if (root && root != wnd) SendMessageA(root, msg, wParam, lParam);
  return DefWindowProcA(wnd, msg, wParam, lParam);
}

// ---- Mouse.

IMousePoint IGfxWin::MousePoint(LPARAM lParam, WPARAM wParam) {
  const float scale = GetTotalScale();
  IMousePoint p;
  p.x = static_cast<float>(static_cast<short>(LOWORD(lParam))) / scale;
  p.y = static_cast<float>(static_cast<short>(HIWORD(lParam))) / scale;
  p.ms.L = (wParam & MK_LBUTTON) != 0;
  p.ms.R = (wParam & MK_RBUTTON) != 0;
  p.ms.S = (wParam & MK_SHIFT) != 0;
  p.ms.C = (wParam & MK_CONTROL) != 0;
  p.ms.A = KeyDown(VK_MENU);
  mLastMouseX = p.x;
  mLastMouseY = p.y;
  return p;
}

void IGfxWin::HandleMouseMove(HWND wnd, WPARAM wParam, LPARAM lParam) {
  if (mPenInput) return;
  if (!(wParam & (MK_LBUTTON | MK_RBUTTON))) {
    const IMousePoint p = MousePoint(lParam, wParam);
    if (OnMouseOver(p.x, p.y, p.ms)) {
      TRACKMOUSEEVENT track = {};
      track.cbSize = sizeof(track);
      track.dwFlags = TME_LEAVE;
      track.hwndTrack = wnd;
      track.dwHoverTime = HOVER_DEFAULT;
      if (mEnableTooltips && GetMouseOverIdx() != mTooltipIdx) {
        if (GetMouseOverIdx() >= 0) track.dwFlags |= TME_HOVER;
        mTooltipIdx = GetMouseOverIdx();
        HideTooltipText();
      }
      TrackMouseEvent(&track);
    }
    return;
  }
  // A native text box being edited holds the pointer's drags back.
  const bool nativeTextEntry = mInTextEntry != nullptr && !mTextEntry;
  if (GetCapture() != wnd || nativeTextEntry) return;
  const float lastX = mLastMouseX;
  const float lastY = mLastMouseY;
  DragStep(MousePoint(lParam, wParam), lastX, lastY);
}

void IGfxWin::HandleButtonDown(HWND wnd, WPARAM wParam, LPARAM lParam) {
  if (mPenInput) return;
  HideTooltipText();
  if (mTextEntryWnd) {
    // A click elsewhere in the editor leaves the value as it was; Return commits.
    mTextEntryState = kEntryCancel;
    return;
  }
  SetFocus(wnd);
  SetCapture(wnd);
  OnMouseDown({MousePoint(lParam, wParam)});
}

void IGfxWin::HandleButtonUp(WPARAM wParam, LPARAM lParam) {
  // The middle button's press captured the pointer like the others: its release ends the
  // capture too.
  ReleaseCapture();
  OnMouseUp({MousePoint(lParam, wParam)});
}

void IGfxWin::HandleDoubleClick(HWND wnd, WPARAM wParam, LPARAM lParam) {
  if (mPenInput) return;
  const IMousePoint p = MousePoint(lParam, wParam);
  OnMouseDoubleClick(p.x, p.y, p.ms);
  SetCapture(wnd);
}

void IGfxWin::HandleWheel(HWND wnd, WPARAM wParam, LPARAM lParam) {
  if (mTextEntryWnd) {
    mTextEntryState = kEntryCancel;
    return;
  }
  // The wheel's position is on the screen.
  IMousePoint p = MousePoint(lParam, wParam);
  POINT origin = {0, 0};
  ClientToScreen(wnd, &origin);
  const float scale = GetTotalScale();
  p.x -= static_cast<float>(origin.x) / scale;
  p.y -= static_cast<float>(origin.y) / scale;
  mLastMouseX = p.x;
  mLastMouseY = p.y;
  const int delta = static_cast<short>(HIWORD(wParam));
  OnMouseWheel(p.x, p.y, p.ms, static_cast<float>(WheelNotches(delta)));
}

void IGfxWin::HandleHover() {
  if (mTooltipIdx < 0) return;
  if (IControl* control = GetControl(mTooltipIdx)) {
    ShowTooltipText(control->GetTooltip());
    mShowingTooltip = true;
  }
}

void IGfxWin::HandleMouseLeave() {
  HideTooltipText();
  mCursorType = SetCursor(kArrowCursor);
  OnMouseOut();
}

// ---- Touch and drops.

void IGfxWin::HandleTouch(WPARAM wParam, LPARAM lParam) {
  HTOUCHINPUT handle = reinterpret_cast<HTOUCHINPUT>(lParam);
  const UINT n = LOWORD(wParam);
  std::vector<TOUCHINPUT> inputs(n);
  if (n == 0 || !GetTouchInputInfo(handle, n, inputs.data(), sizeof(TOUCHINPUT))) {
    CloseTouchInputHandle(handle);
    return;
  }
  const float scale = GetTotalScale();
  std::vector<IMousePoint> downs;
  std::vector<IMousePoint> ups;
  std::vector<IMousePoint> moves;
  for (const TOUCHINPUT& input : inputs) {
    POINT pt = {input.x / 100, input.y / 100};
    ScreenToClient(mWnd, &pt);
    IMousePoint p;
    p.x = static_cast<float>(pt.x) / scale;
    p.y = static_cast<float>(pt.y) / scale;
    p.ms.touchID = static_cast<uintptr_t>(input.dwID);
    p.ms.touchRadius =
        (input.dwMask & TOUCHINPUTMASKF_CONTACTAREA) ? static_cast<float>(input.cxContact) : 0.f;
    if (input.dwFlags & TOUCHEVENTF_DOWN) {
      downs.push_back(p);
      mDeltaTouches[p.ms.touchID] = p;
    } else if (input.dwFlags & TOUCHEVENTF_UP) {
      mDeltaTouches.erase(p.ms.touchID);
      ups.push_back(p);
    } else if (input.dwFlags & TOUCHEVENTF_MOVE) {
      // A move of a touch whose press this editor never saw has no movement.
      const auto it = mDeltaTouches.find(p.ms.touchID);
      if (it != mDeltaTouches.end()) {
        p.dX = p.x - it->second.x;
        p.dY = p.y - it->second.y;
      }
      moves.push_back(p);
      mDeltaTouches[p.ms.touchID] = p;
    }
  }
  if (!downs.empty()) OnMouseDown(downs);
  if (!ups.empty()) OnMouseUp(ups);
  if (!moves.empty()) OnMouseDrag(moves);
  CloseTouchInputHandle(handle);
}

void IGfxWin::HandleDrop(WPARAM wParam) {
  HDROP drop = reinterpret_cast<HDROP>(wParam);
  char path[1024] = {};
  POINT point = {};
  if (DragQueryFileA(drop, 0, path, sizeof(path)) > 0 && DragQueryPoint(drop, &point)) {
    const float scale = GetTotalScale();
    OnDrop(path, static_cast<float>(point.x) / scale, static_cast<float>(point.y) / scale);
  }
  DragFinish(drop);
}

// ---- Cursor.

bool IGfxWin::GetCursorPosition(float& x, float& y) const {
  POINT p;
  if (!mWnd || !GetCursorPos(&p) || !ScreenToClient(mWnd, &p)) return false;
  const float scale = GetTotalScale();
  x = static_cast<float>(p.x) / scale;
  y = static_cast<float>(p.y) / scale;
  return true;
}

void IGfxWin::SetCursorHidden(bool hide, bool lock) {
  if (hide == mCursorHidden) return;
  if (hide) {
    mHiddenCursorX = mLastMouseX;
    mHiddenCursorY = mLastMouseY;
    ShowCursor(FALSE);
    mCursorHidden = true;
    mCursorLocked = lock && !mPenInput;
  } else {
    if (mCursorLocked) WarpCursor(mHiddenCursorX, mHiddenCursorY);
    ShowCursor(TRUE);
    mCursorHidden = false;
    mCursorLocked = false;
  }
}

void IGfxWin::WarpCursor(float x, float y) {
  if (mPenInput || !mWnd) return;
  const float scale = GetTotalScale();
  POINT p = {static_cast<LONG>(std::lround(x * scale)), static_cast<LONG>(std::lround(y * scale))};
  ClientToScreen(mWnd, &p);
  if (!SetCursorPos(p.x, p.y)) return;
  POINT now;
  if (!GetCursorPos(&now) || !ScreenToClient(mWnd, &now)) return;
  mLastMouseX = mHiddenCursorX = static_cast<float>(now.x) / scale;
  mLastMouseY = mHiddenCursorY = static_cast<float>(now.y) / scale;
}

ECursor IGfxWin::SetCursor(ECursor cursorType) {
  // System cursors by type code; any other code shows the arrow.
  static const WORD kSystemCursors[] = {32512, 32513, 32514, 32515, 32516, 32642, 32643,
                                        32644, 32645, 32646, 32648, 32649, 32650, 32651};
  const int type = static_cast<int>(cursorType);
  const int count = static_cast<int>(sizeof(kSystemCursors) / sizeof(kSystemCursors[0]));
  const WORD id = type >= 0 && type < count ? kSystemCursors[type] : kSystemCursors[0];
  const ECursor previous = mCursorType;
  mCursorType = cursorType;
  // A closed editor leaves the host's cursor alone.
  if (mWnd) ::SetCursor(LoadCursorA(nullptr, MAKEINTRESOURCEA(id)));
  return previous;
}

// ---- Tooltips.

void IGfxWin::ShowTooltipText(const char* text) {
  if (!mTooltipWnd || !mWnd) return;
  TOOLINFOA ti = {};
  ti.cbSize = TTTOOLINFOA_V2_SIZE;
  ti.uFlags = TTF_IDISHWND;
  ti.hwnd = mWnd;
  ti.uId = reinterpret_cast<UINT_PTR>(mWnd);
  ti.lpszText = const_cast<char*>(text);
  SendMessageA(mTooltipWnd, TTM_UPDATETIPTEXTA, 0, reinterpret_cast<LPARAM>(&ti));
}

void IGfxWin::HideTooltipText() {
  ShowTooltipText(nullptr);
  mShowingTooltip = false;
}

}  // namespace gfx
}  // namespace kantele
