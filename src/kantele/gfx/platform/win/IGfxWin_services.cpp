// The Windows editor's native services: popup menus, the text entry box, the file, folder and
// colour choosers, message boxes, the clipboard, web addresses, revealing files, and platform
// fonts with their process-wide caches. Text crosses this boundary as UTF-8 and is converted to
// and from the system's UTF-16 with the UTF-8 code page, always with explicit lengths.
#include "kantele/gfx/platform/win/IGfxWin.h"

#include <commdlg.h>
#include <shellapi.h>
#include <shlobj.h>
// The context has a slot of this name; the dialog header's macro would rename it.
#undef ChooseColor

#include <climits>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "kantele/gfx/FontInfo.h"
#include "kantele/gfx/KeyedCache.h"
#include "kantele/gfx/Resources.h"
#include "kantele/gfx/platform/win/InputRules_win.h"
#include "kantele/gfx/platform/win/MenuPlan_win.h"

namespace kantele {
namespace gfx {

namespace {

// ---- Text conversion.

// The UTF-16 form of `length` bytes of UTF-8. Malformed sequences become U+FFFD; text longer
// than an int can count converts to nothing.
std::wstring Utf16(const char* text, size_t length) {
  if (!text || length == 0 || length > static_cast<size_t>(INT_MAX)) return std::wstring();
  const int n = static_cast<int>(length);
  const int units = MultiByteToWideChar(CP_UTF8, 0, text, n, nullptr, 0);
  if (units <= 0) return std::wstring();
  std::wstring wide(static_cast<size_t>(units), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text, n, &wide[0], units);
  return wide;
}

std::wstring Utf16(const char* text) {
  return Utf16(text, text ? std::strlen(text) : 0);
}

// The UTF-8 form of `length` UTF-16 units (unpaired surrogates become U+FFFD).
std::string Utf8(const wchar_t* text, size_t length) {
  if (!text || length == 0 || length > static_cast<size_t>(INT_MAX)) return std::string();
  const int n = static_cast<int>(length);
  const int bytes = WideCharToMultiByte(CP_UTF8, 0, text, n, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return std::string();
  std::string narrow(static_cast<size_t>(bytes), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, n, &narrow[0], bytes, nullptr, nullptr);
  return narrow;
}

// Copies `text` with its terminator into `out` of `capacity` units when it fits; otherwise
// `out` becomes empty and the answer is false. Nothing is ever cut.
bool CopyIfFits(const std::wstring& text, wchar_t* out, size_t capacity) {
  if (text.size() + 1 > capacity) {
    out[0] = L'\0';
    return false;
  }
  std::memcpy(out, text.c_str(), (text.size() + 1) * sizeof(wchar_t));
  return true;
}

// ---- Process-wide font caches.

// A font added to the system from memory; removed again with its entry.
struct LoadedFont {
  HANDLE mHandle;
  explicit LoadedFont(HANDLE handle) : mHandle(handle) {}
  ~LoadedFont() { RemoveFontMemResourceEx(mHandle); }
  LoadedFont(const LoadedFont&) = delete;
  LoadedFont& operator=(const LoadedFont&) = delete;
};

// A GDI font owned by the font-handle cache.
struct CachedFontHandle {
  HFONT mFont;
  explicit CachedFontHandle(HFONT font) : mFont(font) {}
  ~CachedFontHandle() { DeleteObject(mFont); }
  CachedFontHandle(const CachedFontHandle&) = delete;
  CachedFontHandle& operator=(const CachedFontHandle&) = delete;
};

// A keyed cache with the number of living editors that use it, both guarded by the cache's
// own lock.
template <class T>
struct SharedFontCache {
  KeyedCache<T> mCache;
  int mUsers = 0;

  void Acquire() {
    std::lock_guard<std::mutex> lock(mCache.Mutex());
    ++mUsers;
  }
  void Release() {
    std::lock_guard<std::mutex> lock(mCache.Mutex());
    if (mUsers > 0 && --mUsers == 0) mCache.Clear();
  }
};

SharedFontCache<LoadedFont>& LoadedFonts() {
  static SharedFontCache<LoadedFont> cache;
  return cache;
}

SharedFontCache<CachedFontHandle>& FontHandles() {
  static SharedFontCache<CachedFontHandle> cache;
  return cache;
}

// ---- GDI fonts.

int CALLBACK NoteFamilyFound(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) {
  *reinterpret_cast<bool*>(found) = true;
  return 0;  // one match is enough
}

// A GDI font for the family `family` (UTF-8). With `mustBeInstalled` the family must be among
// the installed ones; in every case the face the system actually picks must carry exactly that
// name, so the system's substitution of another face gives no font. A family name that does
// not fit the 31 units of a font description gives none either.
HFONT CreateGdiFont(const char* family, int weight, bool italic, bool underline,
                    bool mustBeInstalled) {
  LOGFONTW lf = {};
  lf.lfWeight = weight;
  lf.lfItalic = italic ? TRUE : FALSE;
  lf.lfUnderline = underline ? TRUE : FALSE;
  lf.lfCharSet = DEFAULT_CHARSET;
  lf.lfOutPrecision = OUT_TT_PRECIS;
  lf.lfClipPrecision = CLIP_DEFAULT_PRECIS;
  lf.lfQuality = DEFAULT_QUALITY;
  lf.lfPitchAndFamily = DEFAULT_PITCH | FF_DONTCARE;
  const std::wstring name = Utf16(family);
  if (name.empty() || !CopyIfFits(name, lf.lfFaceName, LF_FACESIZE)) return nullptr;

  HDC dc = GetDC(nullptr);
  if (!dc) return nullptr;
  HFONT font = nullptr;
  bool found = true;
  if (mustBeInstalled) {
    found = false;
    EnumFontFamiliesExW(dc, &lf, &NoteFamilyFound, reinterpret_cast<LPARAM>(&found), 0);
  }
  if (found) font = CreateFontIndirectW(&lf);
  if (font) {
    const HGDIOBJ previous = SelectObject(dc, font);
    wchar_t face[64] = {};
    const int n = GetTextFaceW(dc, 64, face);
    SelectObject(dc, previous);
    if (n <= 0 || name != face) {
      DeleteObject(font);
      font = nullptr;
    }
  }
  ReleaseDC(nullptr, dc);
  return font;
}

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
    const std::wstring text = Utf16(entry.mText.data(), entry.mText.size());
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

// ---- Dialogs.

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
  const auto query = reinterpret_cast<Query>(
      reinterpret_cast<void*>(GetProcAddress(wininet, "InternetGetConnectedState")));
  DWORD flags = 0;
  const bool connected = query && query(&flags, 0);
  FreeLibrary(wininet);
  return connected;
}

// Longest address or set of command-line parameters handed to the shell, terminator included.
constexpr size_t kMaxShellTextUnits = 4096;

}  // namespace

// ---- Font cache references.

void IGfxWin::AcquireFontCaches() {
  LoadedFonts().Acquire();
  FontHandles().Acquire();
}

void IGfxWin::ReleaseFontCaches() {
  LoadedFonts().Release();
  FontHandles().Release();
}

int IGfxWin::FontCacheUsers() {
  SharedFontCache<LoadedFont>& fonts = LoadedFonts();
  std::lock_guard<std::mutex> lock(fonts.mCache.Mutex());
  return fonts.mUsers;
}

int IGfxWin::LoadedFontCacheSize() {
  SharedFontCache<LoadedFont>& fonts = LoadedFonts();
  std::lock_guard<std::mutex> lock(fonts.mCache.Mutex());
  return fonts.mCache.Size();
}

int IGfxWin::FontHandleCacheSize() {
  SharedFontCache<CachedFontHandle>& handles = FontHandles();
  std::lock_guard<std::mutex> lock(handles.mCache.Mutex());
  return handles.mCache.Size();
}

// ---- Popup menu.

IPopupMenu* IGfxWin::CreateNativePopupMenu(IPopupMenu& menu, const IRect& bounds, bool& isAsync) {
  isAsync = false;
  const float scale = GetDrawScale() * GetScreenScale();
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

  DWORD editStyle =
      WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | ES_MULTILINE | ES_AUTOHSCROLL;
  switch (style.mAlign) {
    case kAlignNear:
      editStyle |= ES_LEFT;
      break;
    case kAlignFar:
      editStyle |= ES_RIGHT;
      break;
    default:
      editStyle |= ES_CENTER;
      break;
  }

  // Longer initial texts start the box empty rather than cut.
  wchar_t initial[32];
  CopyIfFits(Utf16(str), initial, 32);

  const float scale = GetDrawScale() * GetScreenScale();
  const int left = static_cast<int>(bounds.L * scale);
  const int top = static_cast<int>(bounds.T * scale);
  const int right = static_cast<int>(bounds.R * scale);
  const int bottom = static_cast<int>(bounds.B * scale);
  HINSTANCE module = static_cast<HINSTANCE>(const_cast<void*>(GetModuleHandle()));
  if (!module) module = GetModuleHandleA(nullptr);

  HWND box = CreateWindowExW(0, L"EDIT", initial, editStyle, left, top, right - left + 1,
                             bottom - top + 1, mWnd, reinterpret_cast<HMENU>(99), module, nullptr);
  if (!box) return;

  HFONT font = nullptr;
  {
    SharedFontCache<CachedFontHandle>& handles = FontHandles();
    std::lock_guard<std::mutex> lock(handles.mCache.Mutex());
    LOGFONTW lf;
    if (const CachedFontHandle* cached = handles.mCache.Find(style.mFont, 1.0)) {
      if (GetObjectW(cached->mFont, sizeof(lf), &lf) == sizeof(lf)) {
        lf.lfHeight = static_cast<LONG>(scale * style.mSize);
        font = CreateFontIndirectW(&lf);
      }
    }
  }

  mTextEntryWnd = box;
  mEditFont = font;
  mTextEntryParam = paramIdx >= 0 ? GetDelegate().GetParam(paramIdx) : nullptr;
  mTextEntryStyle = style;
  mTextEntryBounds = bounds;
  mTextEntryState = kEntryIdle;

  SendMessageW(box, EM_LIMITTEXT, static_cast<WPARAM>(length > 0 ? length : 0), 0);
  SendMessageW(box, WM_SETFONT, reinterpret_cast<WPARAM>(font), 0);
  SendMessageW(box, EM_SETSEL, 0, -1);

  if (style.mVAlign == kVAlignMiddle) {
    const int boxWidth = static_cast<int>((bounds.R - bounds.L) * scale);
    const int boxHeight = static_cast<int>((bounds.B - bounds.T) * scale);
    RECT text = {0, static_cast<LONG>((boxHeight - scale * style.mSize) * 0.5f), boxWidth + 1,
                 boxHeight + 1};
    SendMessageW(box, EM_SETRECT, 0, reinterpret_cast<LPARAM>(&text));
  }

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

  switch (msg) {
    case WM_SETFOCUS:
      self->mTextEntryState = kEntryFocused;
      break;
    case WM_KILLFOCUS:
      // Losing the focus (a click elsewhere, in the host or another window) cancels, unless
      // the edit was already committed: Return's commit must not turn into a cancel because
      // the focus left the box before the frame tick closed it.
      if (self->mTextEntryState != kEntryCommit) self->mTextEntryState = kEntryCancel;
      break;
    case WM_GETDLGCODE: {
      LRESULT code = CallWindowProcW(own, wnd, msg, wParam, lParam);
      const auto* asked = reinterpret_cast<const MSG*>(lParam);
      if (asked && asked->message == WM_KEYDOWN && wParam == VK_RETURN) code |= DLGC_WANTALLKEYS;
      return code;
    }
    case WM_KEYDOWN:
      if (wParam == VK_RETURN) {
        self->mTextEntryState = kEntryCommit;
        return 0;
      }
      if (wParam == VK_ESCAPE) {
        self->mTextEntryState = kEntryCancel;
        return 0;
      }
      break;
    case WM_CHAR:
      // Without a parameter every character passes the filter except the line breaks and the
      // Escape that Return and Escape would otherwise leave in the one-line box.
      if (!NativeTextEntryAccepts(self->mTextEntryParam ? self->mTextEntryParam->GetKind()
                                                        : kKindNone,
                                  static_cast<uint32_t>(wParam))) {
        return 0;
      }
      break;
    case WM_COMMAND:
      if (HIWORD(wParam) == 1) {
        self->mTextEntryState = kEntryCommit;
        return 0;
      }
      break;
    default:
      break;
  }
  return CallWindowProcW(own, wnd, msg, wParam, lParam);
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
  CopyIfFits(Utf16(fileName.data(), fileName.size()), file, MAX_PATH);
  wchar_t folder[MAX_PATH] = {};
  CopyIfFits(Utf16(path.data(), path.size()), folder, MAX_PATH);

  // Description and pattern, each terminated, then the list's terminator.
  const NativeFileFilter rules = MakeNativeFileFilter(extensions);
  const std::wstring patterns = Utf16(rules.mPatterns.data(), rules.mPatterns.size());
  std::wstring filter;
  if (!patterns.empty()) {
    filter = patterns;
    filter.push_back(L'\0');
    filter += patterns;
    filter.push_back(L'\0');
    filter.push_back(L'\0');
  }
  const std::wstring defaultExt =
      Utf16(rules.mDefaultExtension.data(), rules.mDefaultExtension.size());

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
  fileName = Utf8(file, wcslen(file));
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
      dir = Utf8(chosen, wcslen(chosen));
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

  const std::wstring prompt = Utf16(str);
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
  const std::wstring text = Utf16(str);
  const std::wstring title = Utf16(caption);
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
  return Utf8(text, length);
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
  const std::wstring text = Utf16(str);
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
  const std::wstring title = Utf16(msgWindowTitle);
  if (confirmMsg &&
      MessageBoxW(mWnd, Utf16(confirmMsg).c_str(), title.c_str(), MB_YESNO) != IDYES) {
    return false;
  }
  if (url && SystemReportsConnection()) {
    // An address the shell could not take whole is not opened at all.
    const std::wstring address = Utf16(url);
    if (!address.empty() && address.size() < kMaxShellTextUnits) {
      const auto launched = reinterpret_cast<INT_PTR>(
          ShellExecuteW(mWnd, L"open", address.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
      if (launched > 32) return true;
    }
  }
  if (errMsgOnFailure) {
    MessageBoxW(mWnd, Utf16(errMsgOnFailure).c_str(), title.c_str(), MB_OK);
  }
  return false;
}

bool IGfxWin::RevealInExplorer(const std::string& path, bool select) {
  if (path.empty()) return false;
  std::string parameters = select ? "/select," : "";
  parameters += "\"";
  parameters += path;
  parameters += "\\\"";
  const std::wstring wide = Utf16(parameters.data(), parameters.size());
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

// ---- Platform fonts.

IGfxWin::Font::~Font() {
  if (mFont) DeleteObject(mFont);
}

FontData IGfxWin::Font::GetFontData() const {
  FontData data;
  HDC dc = CreateCompatibleDC(nullptr);
  if (!dc) return data;
  const HGDIOBJ previous = SelectObject(dc, mFont);

  constexpr DWORD kCollectionTag = 0x66637474;  // 'ttcf' as the system reads table tags
  const DWORD whole = ::GetFontData(dc, 0, 0, nullptr, 0);
  if (whole != GDI_ERROR && whole > 0) {
    // The collection holding the face when there is one, else the face's own file. Each read
    // asks for exactly the size the system reported for it.
    DWORD tag = kCollectionTag;
    DWORD size = ::GetFontData(dc, tag, 0, nullptr, 0);
    if (size == GDI_ERROR || size == 0) {
      tag = 0;
      size = whole;
    }
    data.mBytes.resize(size);
    if (::GetFontData(dc, tag, 0, data.mBytes.data(), size) != size) {
      data.mBytes.clear();
    }
  }

  if (!data.mBytes.empty()) {
    if (mStyleName.empty()) {
      data.mFaceIdx = 0;
    } else {
      for (int face = 0; face < INT_MAX; ++face) {
        const FontInfo info = ReadFontInfo(data.mBytes.data(), data.mBytes.size(), face);
        if (!info.IsFont()) break;
        if (!info.mStyle.empty() && info.mStyle == mStyleName) {
          data.mFaceIdx = face;
          break;
        }
      }
    }
  }

  SelectObject(dc, previous);
  DeleteDC(dc);
  return data;
}

std::unique_ptr<PlatformFont> IGfxWin::LoadInstalledFont(const char*, const char* fontName,
                                                         ETextStyle style) {
  if (!fontName) return nullptr;
  std::lock_guard<std::mutex> lock(LoadedFonts().mCache.Mutex());
  HFONT font = CreateGdiFont(fontName, style == kTextStyleBold ? FW_BOLD : FW_NORMAL,
                             style == kTextStyleItalic, false, true);
  if (!font) return nullptr;
  const char* styleName = style == kTextStyleBold     ? "Bold"
                          : style == kTextStyleItalic ? "Italic"
                                                      : "Regular";
  return std::make_unique<Font>(font, true, styleName);
}

std::unique_ptr<PlatformFont> IGfxWin::LoadFontFromMemory(const char* fontID, const void* data,
                                                          int dataSize) {
  if (!data || dataSize <= 0) return nullptr;
  SharedFontCache<LoadedFont>& fonts = LoadedFonts();
  std::lock_guard<std::mutex> lock(fonts.mCache.Mutex());

  DWORD added = 0;
  HANDLE handle =
      AddFontMemResourceEx(const_cast<void*>(data), static_cast<DWORD>(dataSize), nullptr, &added);
  if (!handle) return nullptr;

  const FontInfo info =
      ReadFontInfo(static_cast<const uint8_t*>(data), static_cast<size_t>(dataSize), 0);
  HFONT font = nullptr;
  if (info.IsFont()) {
    font = CreateGdiFont(info.mFamily.c_str(), (info.mMacStyle & 1) ? FW_BOLD : FW_NORMAL,
                         (info.mMacStyle & 2) != 0, (info.mMacStyle & 4) != 0, false);
  }
  if (!font) {
    RemoveFontMemResourceEx(handle);
    return nullptr;
  }
  // One added copy per identifier: loading it again (every time an editor opens) makes its
  // font from the copy already added instead of adding the same bytes once more.
  if (fonts.mCache.Find(fontID, 1.0)) {
    RemoveFontMemResourceEx(handle);
  } else {
    fonts.mCache.Add(std::make_unique<LoadedFont>(handle), fontID, 1.0);
  }
  return std::make_unique<Font>(font, false, std::string());
}

std::unique_ptr<PlatformFont> IGfxWin::LoadFontFromNameOrFile(const char* fontID,
                                                              const char* fileNameOrResID) {
  std::string resolved;
  const ModuleHandle module = GetModuleHandle();
  switch (LocateResource(fileNameOrResID, "ttf", resolved, module)) {
    case kAbsolutePath: {
      HANDLE file = CreateFileA(resolved.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
      if (file == INVALID_HANDLE_VALUE) return nullptr;
      std::unique_ptr<PlatformFont> font;
      LARGE_INTEGER size = {};
      // Files of more bytes than the system's font loader takes (an int's worth) are refused.
      if (GetFileSizeEx(file, &size) && size.QuadPart >= kMinResourceSize &&
          size.QuadPart <= kMaxResourceFileSize) {
        if (HANDLE mapping = CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 0, nullptr)) {
          if (const void* view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0)) {
            font = LoadFontFromMemory(fontID, view, static_cast<int>(size.QuadPart));
            UnmapViewOfFile(view);
          }
          CloseHandle(mapping);
        }
      }
      CloseHandle(file);
      return font;
    }
    case kInModule: {
      // Resources shorter than 8 bytes count as none.
      int size = 0;
      const uint8_t* bytes = ReadModuleResource(resolved.c_str(), "ttf", size, module);
      return LoadFontFromMemory(fontID, bytes, size);
    }
    default:
      return nullptr;
  }
}

void IGfxWin::CachePlatformFont(const char* fontID, std::unique_ptr<PlatformFont> font) {
  if (!fontID || !font) return;
  SharedFontCache<CachedFontHandle>& handles = FontHandles();
  std::lock_guard<std::mutex> lock(handles.mCache.Mutex());
  if (handles.mCache.Find(fontID, 1.0)) return;
  LOGFONTW lf;
  const auto source = static_cast<HFONT>(font->GetFontHandle());
  if (!source || GetObjectW(source, sizeof(lf), &lf) != sizeof(lf)) return;
  if (HFONT copy = CreateFontIndirectW(&lf)) {
    handles.mCache.Add(std::make_unique<CachedFontHandle>(copy), fontID, 1.0);
  }
}

}  // namespace gfx
}  // namespace kantele
