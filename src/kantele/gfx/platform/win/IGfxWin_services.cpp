// The Windows editor's native services: popup menus, the text entry box, the file, folder and
// colour choosers, message boxes, the clipboard, web addresses and revealing files. Text
// crosses this boundary as UTF-8 and is converted to and from the system's UTF-16 by
// WideText_win.h.
#include "kantele/gfx/platform/win/IGfxWin.h"

#include <commdlg.h>
#include <shellapi.h>
#include <shlobj.h>
// The context has a slot of this name; the dialog header's macro would rename it.
#undef ChooseColor

#include <cstring>
#include <string>

#include "kantele/gfx/platform/win/InputRules_win.h"
#include "kantele/gfx/platform/win/MenuPlan_win.h"
#include "kantele/gfx/platform/win/SystemExports_win.h"
#include "kantele/gfx/platform/win/WideText_win.h"

namespace kantele {
namespace gfx {

namespace {

// ---- Native menus.

// WM_COMMAND carries a menu id in 16 bits: items numbered beyond are left out, so a choice can
// never name the wrong item.
constexpr int kMaxMenuId = 0xFFFF;

HMENU BuildNativeMenu(const NativeMenuPlan& plan) {
  HMENU menu = CreatePopupMenu();
  if (!menu) return nullptr;
  for (const NativeMenuPlan::Entry& entry : plan.mEntries) {
    if (entry.mKind == NativeMenuPlan::Entry::kSeparator) {
      AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
      continue;
    }
    UINT flags = MF_STRING;
    if (entry.mColumnBreak) flags |= MF_MENUBARBREAK;
    if (entry.mGrayed) flags |= MF_GRAYED;
    if (entry.mDisabled) flags |= MF_DISABLED;
    if (entry.mChecked) flags |= MF_CHECKED;
    const std::wstring text = Utf8ToWide(entry.mText.data(), entry.mText.size());
    if (entry.mKind == NativeMenuPlan::Entry::kSubmenu) {
      HMENU submenu = entry.mSubmenu ? BuildNativeMenu(*entry.mSubmenu) : nullptr;
      if (!submenu) continue;
      if (!AppendMenuW(menu, flags | MF_POPUP, reinterpret_cast<UINT_PTR>(submenu), text.c_str())) {
        DestroyMenu(submenu);
      }
    } else if (entry.mId >= 0 && entry.mId <= kMaxMenuId) {
      AppendMenuW(menu, flags, static_cast<UINT_PTR>(entry.mId), text.c_str());
    }
  }
  return menu;
}

// ---- Native text entry box.

// The edit control's styles: a box that scrolls sideways, its text aligned as the style says.
DWORD EditBoxStyle(ETextAlign align) {
  DWORD style =
      WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | ES_MULTILINE | ES_AUTOHSCROLL;
  switch (align) {
    case kAlignNear: return style | ES_LEFT;
    case kAlignFar: return style | ES_RIGHT;
    default: return style | ES_CENTER;
  }
}

// Centres the box's line vertically: its text rectangle starts half the height the font leaves
// free down the box at device scale `scale`.
void CentreEditBoxText(HWND box, const IRect& bounds, float scale, float fontSize) {
  const int boxWidth = static_cast<int>((bounds.R - bounds.L) * scale);
  const int boxHeight = static_cast<int>((bounds.B - bounds.T) * scale);
  RECT text = {0, static_cast<LONG>((boxHeight - scale * fontSize) * 0.5f), boxWidth + 1,
               boxHeight + 1};
  SendMessageW(box, EM_SETRECT, 0, reinterpret_cast<LPARAM>(&text));
}

// ---- Dialogs.

// The chooser's filter list for `rules`: description and pattern (the same text), each
// terminated, then the list's terminator; empty without patterns.
std::wstring FileChooserFilter(const NativeFileFilter& rules) {
  const std::wstring patterns = Utf8ToWide(rules.mPatterns.data(), rules.mPatterns.size());
  std::wstring filter;
  if (!patterns.empty()) {
    filter = patterns;
    filter.push_back(L'\0');
    filter += patterns;
    filter.push_back(L'\0');
    filter.push_back(L'\0');
  }
  return filter;
}

// Custom colours of the colour chooser, kept across calls for the whole process.
COLORREF sCustomColors[16] = {};

UINT SetRGBColorMessage() {
  static const UINT message = RegisterWindowMessageA("commdlg_SetRGBColor");
  return message;
}

// The colour chooser's hook: shows the prompt (lCustData) as the dialog's title and selects the
// initial colour.
UINT_PTR CALLBACK ColorChooserHook(HWND dlg, UINT msg, WPARAM, LPARAM lParam) {
  if (msg == WM_INITDIALOG && lParam) {
    const auto* cc = reinterpret_cast<const CHOOSECOLORW*>(lParam);
    const auto* prompt = reinterpret_cast<const wchar_t*>(cc->lCustData);
    if (prompt && *prompt) {
      SetWindowTextW(dlg, prompt);
      SendMessageW(dlg, SetRGBColorMessage(), 0, static_cast<LPARAM>(cc->rgbResult));
    }
  }
  return 0;  // the dialog's own procedure handles every message as well
}

struct OwnerSearch {
  DWORD mPID;
  const std::string* mClassName;
  HWND mFound;
};

BOOL CALLBACK FindOwnerOfClass(HWND wnd, LPARAM param) {
  auto* search = reinterpret_cast<OwnerSearch*>(param);
  DWORD pid = 0;
  GetWindowThreadProcessId(wnd, &pid);
  if (pid != search->mPID) return TRUE;
  char name[129] = {};
  const int n = GetClassNameA(wnd, name, 128);
  if (n > 0 && *search->mClassName == std::string(name, static_cast<size_t>(n))) {
    search->mFound = wnd;
    return FALSE;
  }
  return TRUE;
}

// Whether the system reports an internet connection. The query lives in wininet.dll, loaded
// only for the question: a plug-in that imported it would load it into every host process. A
// system without the query counts as offline.
bool SystemReportsConnection() {
  HMODULE wininet = LoadLibraryW(L"wininet.dll");
  if (!wininet) return false;
  using Query = BOOL(WINAPI*)(LPDWORD, DWORD);
  const auto query = LookupExport<Query>(wininet, "InternetGetConnectedState");
  DWORD flags = 0;
  const bool connected = query && query(&flags, 0);
  FreeLibrary(wininet);
  return connected;
}

// Longest address or set of command-line parameters handed to the shell, terminator included.
constexpr size_t kMaxShellTextUnits = 4096;

}  // namespace

// ---- Popup menu.

IPopupMenu* IGfxWin::CreateNativePopupMenu(IPopupMenu& menu, const IRect& bounds, bool& isAsync) {
  isAsync = false;
  const float scale = GetTotalScale();
  IPopupMenu* result = nullptr;
  HMENU native = mWnd ? BuildNativeMenu(PlanNativeMenu(menu)) : nullptr;
  if (native) {
    POINT anchor = {static_cast<LONG>(bounds.L * scale), static_cast<LONG>(bounds.B * scale)};
    ClientToScreen(mWnd, &anchor);
    if (TrackPopupMenu(native, TPM_LEFTBUTTON, anchor.x, anchor.y, 0, mWnd, nullptr)) {
      MSG msg;
      if (PeekMessageA(&msg, mWnd, WM_COMMAND, WM_COMMAND, PM_REMOVE) && HIWORD(msg.wParam) == 0) {
        int index = -1;
        result = ResolveNativeMenuId(menu, LOWORD(msg.wParam), index);
        if (result) {
          result->SetChosenItemIdx(index);
          result->ExecFunction();
        }
      }
    }
    DestroyMenu(native);
  }
  if (mWnd) {
    // The whole window at the untruncated size; WindowWidth() and WindowHeight() truncate the
    // draw-scaled size before the screen scale and can come out a pixel smaller.
    const RECT all = {0, 0, static_cast<LONG>(Width() * GetDrawScale() * GetScreenScale()),
                      static_cast<LONG>(Height() * GetDrawScale() * GetScreenScale())};
    InvalidateRect(mWnd, &all, FALSE);
  }
  return result;
}

// ---- Native text entry box.

void IGfxWin::CreateNativeTextEntry(int paramIdx, const ITextStyle& style, const IRect& bounds,
                                    int length, const char* str) {
  if (mTextEntryWnd || !mWnd) return;

  // Longer initial texts start the box empty rather than cut.
  wchar_t initial[32];
  CopyWideIfFits(Utf8ToWide(str), initial, 32);

  const float scale = GetTotalScale();
  const int left = static_cast<int>(bounds.L * scale);
  const int top = static_cast<int>(bounds.T * scale);
  const int right = static_cast<int>(bounds.R * scale);
  const int bottom = static_cast<int>(bounds.B * scale);
  HINSTANCE module = static_cast<HINSTANCE>(const_cast<void*>(GetModuleHandle()));
  if (!module) module = GetModuleHandleA(nullptr);

  HWND box =
      CreateWindowExW(0, L"EDIT", initial, EditBoxStyle(style.mAlign), left, top, right - left + 1,
                      bottom - top + 1, mWnd, reinterpret_cast<HMENU>(99), module, nullptr);
  if (!box) return;
  HFONT font = CreateTextEntryFont(style.mFont, static_cast<LONG>(scale * style.mSize));

  mTextEntryWnd = box;
  mEditFont = font;
  mTextEntryParam = paramIdx >= 0 ? GetDelegate().GetParam(paramIdx) : nullptr;
  mTextEntryStyle = style;
  mTextEntryBounds = bounds;
  mTextEntryState = kEntryIdle;

  SendMessageW(box, EM_LIMITTEXT, static_cast<WPARAM>(length > 0 ? length : 0), 0);
  SendMessageW(box, WM_SETFONT, reinterpret_cast<WPARAM>(font), 0);
  SendMessageW(box, EM_SETSEL, 0, -1);
  if (style.mVAlign == kVAlignMiddle) CentreEditBoxText(box, bounds, scale, style.mSize);

  // The procedure is replaced before the box takes the focus, so that first focus already
  // reaches TextEntryProc (state kEntryFocused).
  mDefEditProc = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrW(box, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&TextEntryProc)));
  SetFocus(box);
}

LRESULT CALLBACK IGfxWin::TextEntryProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<IGfxWin*>(GetWindowLongPtrW(GetParent(wnd), GWLP_USERDATA));
  if (!self || self->mTextEntryWnd != wnd || !self->mDefEditProc) {
    return DefWindowProcA(wnd, msg, wParam, lParam);
  }
  const WNDPROC own = self->mDefEditProc;

  if (self->mShowingTooltip) self->HideTooltipText();

  if (msg == WM_GETDLGCODE) {
    LRESULT code = CallWindowProcW(own, wnd, msg, wParam, lParam);
    const auto* asked = reinterpret_cast<const MSG*>(lParam);
    if (asked && asked->message == WM_KEYDOWN && wParam == VK_RETURN) code |= DLGC_WANTALLKEYS;
    return code;
  }
  if (self->HandleTextEntryMessage(msg, wParam)) return 0;
  return CallWindowProcW(own, wnd, msg, wParam, lParam);
}

bool IGfxWin::HandleTextEntryMessage(UINT msg, WPARAM wParam) {
  switch (msg) {
    case WM_SETFOCUS: mTextEntryState = kEntryFocused; return false;
    case WM_KILLFOCUS:
      // Losing the focus (a click elsewhere, in the host or another window) cancels, unless
      // the edit was already committed: Return's commit must not turn into a cancel because
      // the focus left the box before the frame tick closed it.
      if (mTextEntryState != kEntryCommit) mTextEntryState = kEntryCancel;
      return false;
    case WM_KEYDOWN:
      if (wParam == VK_RETURN) {
        mTextEntryState = kEntryCommit;
        return true;
      }
      if (wParam == VK_ESCAPE) {
        mTextEntryState = kEntryCancel;
        return true;
      }
      return false;
    case WM_CHAR:
      // Without a parameter every character passes the filter except the line breaks and the
      // Escape that Return and Escape would otherwise leave in the one-line box.
      return !NativeTextEntryAccepts(mTextEntryParam ? mTextEntryParam->GetKind() : kKindNone,
                                     static_cast<uint32_t>(wParam));
    case WM_COMMAND:
      if (HIWORD(wParam) == 1) {
        mTextEntryState = kEntryCommit;
        return true;
      }
      return false;
    default: return false;
  }
}

LRESULT IGfxWin::TextEntryColors(HDC dc) {
  if (!mTextEntryWnd) return 0;
  const IArgb& bg = mTextEntryStyle.mTextEntryBGColor;
  const IArgb& fg = mTextEntryStyle.mTextEntryFGColor;
  SetBkColor(dc, RGB(bg.R, bg.G, bg.B));
  SetDCBrushColor(dc, RGB(bg.R, bg.G, bg.B));
  SetTextColor(dc, RGB(fg.R, fg.G, fg.B));
  SetBkMode(dc, OPAQUE);
  return reinterpret_cast<LRESULT>(GetStockObject(DC_BRUSH));
}

bool IGfxWin::RunTextEntryTick() {
  if (!mTextEntryWnd || mTextEntryState == kEntryIdle) return false;
  if (mTextEntryState == kEntryCancel) {
    DestroyTextEntry();
    ClearInTextEntryControl();
  } else if (mTextEntryState == kEntryCommit) {
    wchar_t text[256] = {};
    SendMessageW(mTextEntryWnd, WM_GETTEXT, 256, reinterpret_cast<LPARAM>(text));
    text[255] = L'\0';
    const std::string utf8 = WideToUtf8(text);
    CommitTextEntry(utf8.c_str());
    DestroyTextEntry();
  }
  mTextEntryState = kEntryIdle;
  return true;
}

void IGfxWin::CancelTextEntry() { mTextEntryState = kEntryCancel; }

void IGfxWin::DestroyTextEntry() {
  if (mTextEntryWnd) {
    // The box's own procedure back first, so destroying it calls nothing of this editor.
    if (mDefEditProc) {
      const LONG_PTR proc = reinterpret_cast<LONG_PTR>(mDefEditProc);
      if (IsWindowUnicode(mTextEntryWnd))
        SetWindowLongPtrW(mTextEntryWnd, GWLP_WNDPROC, proc);
      else
        SetWindowLongPtrA(mTextEntryWnd, GWLP_WNDPROC, proc);
    }
    DestroyWindow(mTextEntryWnd);
    mTextEntryWnd = nullptr;
  }
  mDefEditProc = nullptr;
  if (mEditFont) {
    DeleteObject(mEditFont);
    mEditFont = nullptr;
  }
  mTextEntryParam = nullptr;
}

// ---- Choosers.

void IGfxWin::ChooseFile(std::string& fileName, std::string& path, EFileAction action,
                         const char* extensions) {
  if (!mWnd) {
    fileName.clear();
    return;
  }
  ClearCapture();

  // 259 units for the path and one spare, so the dialog can never write past the buffer.
  wchar_t file[MAX_PATH] = {};
  CopyWideIfFits(Utf8ToWide(fileName.data(), fileName.size()), file, MAX_PATH);
  wchar_t folder[MAX_PATH] = {};
  CopyWideIfFits(Utf8ToWide(path.data(), path.size()), folder, MAX_PATH);

  const NativeFileFilter rules = MakeNativeFileFilter(extensions);
  const std::wstring filter = FileChooserFilter(rules);
  const std::wstring defaultExt =
      Utf8ToWide(rules.mDefaultExtension.data(), rules.mDefaultExtension.size());

  OPENFILENAMEW ofn = {};
  ofn.lStructSize = sizeof(ofn);
  ofn.hwndOwner = mWnd;
  ofn.lpstrFilter = filter.empty() ? nullptr : filter.c_str();
  ofn.lpstrFile = file;
  ofn.nMaxFile = MAX_PATH - 1;
  ofn.lpstrInitialDir = folder[0] ? folder : nullptr;
  ofn.lpstrDefExt = defaultExt.empty() ? nullptr : defaultExt.c_str();

  BOOL chosen;
  if (action == kFileSave) {
    ofn.Flags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST;
    chosen = GetSaveFileNameW(&ofn);
  } else {
    ofn.Flags = OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST;
    chosen = GetOpenFileNameW(&ofn);
  }

  if (!chosen) {
    fileName.clear();
    return;
  }
  file[MAX_PATH - 1] = L'\0';
  fileName = WideToUtf8(file);
  const size_t separator = fileName.find_last_of("\\/");
  if (separator != std::string::npos) path = fileName.substr(0, separator + 1);
}

void IGfxWin::ChooseFolder(std::string& dir) {
  ClearCapture();
  // The new-style browser needs OLE; uninitialised again only when this call initialised it.
  const HRESULT ole = OleInitialize(nullptr);

  wchar_t displayName[MAX_PATH] = {};
  BROWSEINFOW bi = {};
  bi.hwndOwner = mWnd;
  bi.pszDisplayName = displayName;
  bi.lpszTitle = L"Choose a Directory";
  bi.ulFlags = BIF_USENEWUI | BIF_EDITBOX;

  dir.clear();
  if (LPITEMIDLIST items = SHBrowseForFolderW(&bi)) {
    wchar_t chosen[MAX_PATH] = {};
    if (SHGetPathFromIDListW(items, chosen)) {
      chosen[MAX_PATH - 1] = L'\0';
      dir = WideToUtf8(chosen);
      // A drive's root already ends with its separator.
      if (!dir.empty() && dir.back() != '\\') dir.push_back('\\');
    }
    CoTaskMemFree(items);
  }

  if (SUCCEEDED(ole)) OleUninitialize();
}

bool IGfxWin::ChooseColor(IArgb& color, const char* str, IColorPickerHandlerFunc func) {
  ClearCapture();
  if (!mWnd) return false;

  const std::wstring prompt = Utf8ToWide(str);
  CHOOSECOLORW cc = {};
  cc.lStructSize = sizeof(cc);
  cc.hwndOwner = mWnd;
  cc.rgbResult = RGB(color.R, color.G, color.B);
  cc.lpCustColors = sCustomColors;
  cc.Flags = CC_RGBINIT | CC_FULLOPEN | CC_ENABLEHOOK | CC_SOLIDCOLOR | CC_ANYCOLOR;
  cc.lCustData = reinterpret_cast<LPARAM>(prompt.c_str());
  cc.lpfnHook = &ColorChooserHook;

  if (!ChooseColorW(&cc)) return false;
  color.R = GetRValue(cc.rgbResult);
  color.G = GetGValue(cc.rgbResult);
  color.B = GetBValue(cc.rgbResult);
  if (func) func(color);
  return true;
}

// ---- Message boxes.

HWND IGfxWin::FindOwnerWindow() {
  if (mMainWnd && !IsWindow(mMainWnd)) mMainWnd = nullptr;
  if (mMainWnd) return mMainWnd;
  if (mParentWnd) {
    HWND top = mParentWnd;
    while (HWND up = GetParent(top)) top = up;
    mMainWnd = top;
    char name[129] = {};
    const int n = GetClassNameA(top, name, 128);
    mMainWndClassName.assign(name, static_cast<size_t>(n > 0 ? n : 0));
  } else if (!mMainWndClassName.empty()) {
    OwnerSearch search{mPID ? mPID : GetCurrentProcessId(), &mMainWndClassName, nullptr};
    EnumWindows(&FindOwnerOfClass, reinterpret_cast<LPARAM>(&search));
    mMainWnd = search.mFound;
  }
  return mMainWnd;
}

EMsgBoxResult IGfxWin::ShowMessageBox(const char* str, const char* caption, EMsgBoxType type,
                                      IMsgBoxCompletionHandlerFunc completionHandler) {
  ClearCapture();
  HWND owner = FindOwnerWindow();
  const std::wstring text = Utf8ToWide(str);
  const std::wstring title = Utf8ToWide(caption);
  const auto result = static_cast<EMsgBoxResult>(
      MessageBoxW(owner, text.c_str(), title.c_str(), static_cast<UINT>(type)));
  if (completionHandler) completionHandler(result);
  return result;
}

// ---- Clipboard.

std::string IGfxWin::ClipboardTextToUtf8(const void* data, size_t bytes) {
  // The block's size bounds the text: a missing terminator or an odd last byte never leads
  // the reader past the block.
  const auto* text = static_cast<const wchar_t*>(data);
  const size_t units = text ? bytes / sizeof(wchar_t) : 0;
  size_t length = 0;
  while (length < units && text[length] != L'\0') ++length;
  return WideToUtf8(text, length);
}

bool IGfxWin::ReadClipboardText(std::string& str) {
  str.clear();
  if (!IsClipboardFormatAvailable(CF_UNICODETEXT) || !OpenClipboard(nullptr)) return false;
  if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
    if (const void* text = GlobalLock(data)) {
      str = ClipboardTextToUtf8(text, GlobalSize(data));
      GlobalUnlock(data);
    }
  }
  CloseClipboard();
  return !str.empty();
}

bool IGfxWin::WriteClipboardText(const char* str) {
  if (!OpenClipboard(mMainWnd)) return false;
  EmptyClipboard();
  bool placed = false;
  const std::wstring text = Utf8ToWide(str);
  if (!text.empty()) {
    const size_t bytes = (text.size() + 1) * sizeof(wchar_t);
    if (HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes)) {
      if (void* target = GlobalLock(memory)) {
        std::memcpy(target, text.c_str(), bytes);
        GlobalUnlock(memory);
        placed = SetClipboardData(CF_UNICODETEXT, memory) != nullptr;
      }
      // The clipboard owns the memory only once it was placed.
      if (!placed) GlobalFree(memory);
    }
  }
  CloseClipboard();
  return placed;
}

// ---- Shell.

bool IGfxWin::OpenUrl(const char* url, const char* msgWindowTitle, const char* confirmMsg,
                      const char* errMsgOnFailure) {
  const std::wstring title = Utf8ToWide(msgWindowTitle);
  if (confirmMsg &&
      MessageBoxW(mWnd, Utf8ToWide(confirmMsg).c_str(), title.c_str(), MB_YESNO) != IDYES) {
    return false;
  }
  if (url && SystemReportsConnection()) {
    // An address the shell could not take whole is not opened at all.
    const std::wstring address = Utf8ToWide(url);
    if (!address.empty() && address.size() < kMaxShellTextUnits) {
      const auto launched = reinterpret_cast<INT_PTR>(
          ShellExecuteW(mWnd, L"open", address.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
      if (launched > 32) return true;
    }
  }
  if (errMsgOnFailure) {
    MessageBoxW(mWnd, Utf8ToWide(errMsgOnFailure).c_str(), title.c_str(), MB_OK);
  }
  return false;
}

bool IGfxWin::RevealInExplorer(const std::string& path, bool select) {
  if (path.empty()) return false;
  std::string parameters = select ? "/select," : "";
  parameters += "\"";
  parameters += path;
  parameters += "\\\"";
  const std::wstring wide = Utf8ToWide(parameters.data(), parameters.size());
  if (wide.empty() || wide.size() >= kMaxShellTextUnits) return false;

  wchar_t system[MAX_PATH + 1] = {};
  const UINT n = GetSystemDirectoryW(system, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return false;
  system[n] = L'\\';
  system[n + 1] = L'\0';
  // True when the shell started the file browser.
  const auto launched = reinterpret_cast<INT_PTR>(
      ShellExecuteW(nullptr, L"open", L"explorer.exe", wide.c_str(), system, SW_SHOWNORMAL));
  return launched > 32;
}

}  // namespace gfx
}  // namespace kantele
