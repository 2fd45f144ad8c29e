// The Windows editor's native services against the system (under Wine in the cross build):
// clipboard, platform fonts and their process-wide caches, the native text entry box, and the
// modal services, which a thread timer drives from inside their own message loops the way a
// user would. The window cases need a display.

#include <gtest/gtest.h>

#include "kantele/gfx/platform/win/IGfxWin.h"

#include <dlgs.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "kantele/gfx/FontInfo.h"
#include "kantele/gfx/support/RecordingGfx.h"

namespace kantele::gfx::test {
namespace {

std::vector<uint8_t> ReadFile(const char* path) {
  std::vector<uint8_t> bytes;
  if (std::FILE* f = std::fopen(path, "rb")) {
    for (int c; (c = std::fgetc(f)) != EOF;) bytes.push_back(static_cast<uint8_t>(c));
    std::fclose(f);
  }
  return bytes;
}

std::wstring WindowText(HWND wnd) {
  wchar_t text[512] = {};
  GetWindowTextW(wnd, text, 512);
  return text;
}

// The context with the members the services share with the window layer in reach.
class TestGfxWin : public IGfxWin {
 public:
  using IGfxWin::DestroyTextEntry;
  using IGfxWin::FindOwnerWindow;
  using IGfxWin::IGfxWin;
  HWND Box() const { return mTextEntryWnd; }
  void ForgetOwner(const char* recordedClass) {
    mMainWnd = mParentWnd = nullptr;
    mMainWndClassName = recordedClass;
  }
};

// Calls `step` on every tick of a thread timer until it answers true. Modal loops wait for
// input indefinitely, so results never depend on the ticks' timing; after 500 ticks without
// progress the driver cancels the menu or dialog, and it cancels any dialog that comes after
// its step, so a broken case fails instead of hanging.
class ModalDriver {
 public:
  explicit ModalDriver(std::function<bool()> step) : mStep(std::move(step)) {
    sActive = this;
    mTimer = SetTimer(nullptr, 0, 10, &Tick);
  }
  ~ModalDriver() {
    KillTimer(nullptr, mTimer);
    sActive = nullptr;
  }
  bool mDone = false;
  bool mGaveUp = false;
  bool mExtra = false;

  // The visible dialog of this thread, or null.
  static HWND Dialog() {
    HWND found = nullptr;
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND wnd, LPARAM out) -> BOOL {
          char name[16] = {};
          GetClassNameA(wnd, name, 16);
          if (std::string(name) != "#32770" || !IsWindowVisible(wnd)) return TRUE;
          *reinterpret_cast<HWND*>(out) = wnd;
          return FALSE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
  }

 private:
  static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
    ModalDriver* self = sActive;
    if (!self) return;
    if (self->mDone) {
      // A dialog after the expected one is cancelled and noted.
      if (HWND dlg = Dialog()) {
        self->mExtra = true;
        PostMessageA(dlg, WM_COMMAND, IDCANCEL, 0);
      }
    } else if (self->mStep()) {
      self->mDone = true;
    } else if (++self->mTicks > 500) {
      self->mGaveUp = self->mDone = true;
      EndMenu();
      if (HWND dlg = Dialog()) PostMessageA(dlg, WM_COMMAND, IDCANCEL, 0);
    }
  }
  static inline ModalDriver* sActive = nullptr;
  std::function<bool()> mStep;
  UINT_PTR mTimer = 0;
  int mTicks = 0;
};

// Presses `button` in the next dialog, noting its caption and owner.
struct DialogAnswer {
  explicit DialogAnswer(int button)
      : driver([this, button] {
          HWND dlg = ModalDriver::Dialog();
          if (!dlg) return false;
          caption = WindowText(dlg);
          owner = GetWindow(dlg, GW_OWNER);
          PostMessageA(dlg, WM_COMMAND, static_cast<WPARAM>(button), 0);
          return true;
        }) {}
  std::wstring caption;
  HWND owner = nullptr;
  ModalDriver driver;
};

class ServicesTest : public ::testing::Test {
 protected:
  EventLog log;
  TestDelegate dlg{log};
  std::unique_ptr<TestGfxWin> gfx = std::make_unique<TestGfxWin>(dlg, 200, 100);
  const std::vector<uint8_t> roboto = ReadFile(KANTELE_TEST_FONT);
  std::unique_ptr<PlatformFont> Roboto(const char* id) {
    return gfx->LoadFontFromMemory(id, roboto.data(), static_cast<int>(roboto.size()));
  }
};

// ---- Clipboard.

TEST_F(ServicesTest, ClipboardRoundTripsTextAndEmptiesOnEmptyText) {
  const char* text = u8"Särö – 歪み \U0001F39B";
  EXPECT_TRUE(gfx->WriteClipboardText(text));
  std::string read;
  EXPECT_TRUE(gfx->ReadClipboardText(read));
  EXPECT_EQ(read, text);
  EXPECT_FALSE(gfx->WriteClipboardText(""));
  read = "stale";
  EXPECT_FALSE(gfx->ReadClipboardText(read));
  EXPECT_EQ(read, "");
}

TEST(ClipboardTextTest, ABlockIsReadNoFurtherThanItsSizeOrTerminator) {
  const wchar_t block[] = L"abcdef";
  EXPECT_EQ(IGfxWin::ClipboardTextToUtf8(block, 8), "abcd");
  EXPECT_EQ(IGfxWin::ClipboardTextToUtf8(block, 7), "abc");  // an odd byte is no character
  const wchar_t early[] = L"\u00e4\u6b6a\0cd";
  EXPECT_EQ(IGfxWin::ClipboardTextToUtf8(early, sizeof(early)), "\xC3\xA4\xE6\xAD\xAA");
  EXPECT_EQ(IGfxWin::ClipboardTextToUtf8(nullptr, 8), "");
}

// ---- Platform fonts.

TEST_F(ServicesTest, AFontFromMemoryOrFileGivesItsBytesAndStaysAddedOncePerIdentifier) {
  const int before = IGfxWin::LoadedFontCacheSize();
  std::unique_ptr<PlatformFont> font = Roboto("mem-roboto");
  ASSERT_NE(font, nullptr);
  EXPECT_FALSE(static_cast<IGfxWin::Font*>(font.get())->IsInstalled());
  const FontData data = font->GetFontData();
  EXPECT_EQ(data.mFaceIdx, 0);
  EXPECT_EQ(ReadFontInfo(data.mBytes.data(), data.mBytes.size(), 0).mFamily, "Roboto");
  EXPECT_EQ(IGfxWin::LoadedFontCacheSize(), before + 1);
  // The same identifier again adds nothing; another one keeps its own copy.
  EXPECT_NE(Roboto("mem-roboto"), nullptr);
  EXPECT_EQ(IGfxWin::LoadedFontCacheSize(), before + 1);
  EXPECT_EQ(gfx->LoadFontFromNameOrFile("file-roboto", KANTELE_TEST_FONT)->GetFontData().mBytes,
            roboto);
  EXPECT_EQ(IGfxWin::LoadedFontCacheSize(), before + 2);
  EXPECT_EQ(gfx->LoadFontFromNameOrFile("missing", "C:\\no\\such\\font.ttf"), nullptr);
}

TEST_F(ServicesTest, BytesOrFamiliesThatAreNoUsableFontGiveNothingAndLeaveNothingAdded) {
  const int before = IGfxWin::LoadedFontCacheSize();
  std::vector<uint8_t> junk(4096);
  for (size_t i = 0; i < junk.size(); ++i) junk[i] = static_cast<uint8_t>(i * 37 + 11);
  EXPECT_EQ(gfx->LoadFontFromMemory("junk", junk.data(), static_cast<int>(junk.size())), nullptr);
  EXPECT_EQ(gfx->LoadFontFromMemory("cut", roboto.data(), 300), nullptr);  // tables cut off
  EXPECT_EQ(IGfxWin::LoadedFontCacheSize(), before);
  // Not installed, though the system would substitute another face; too long to describe.
  EXPECT_EQ(gfx->LoadInstalledFont("nf", "Kantele Missing Sans", kTextStyleBold), nullptr);
  EXPECT_EQ(gfx->LoadInstalledFont("nf", "DejaVu Sans DejaVu Sans DejaVu Sans", kTextStyleNormal),
            nullptr);
}

TEST_F(ServicesTest, AnInstalledFamilyGivesTheFaceOfItsStyle) {
  std::unique_ptr<PlatformFont> bold = gfx->LoadInstalledFont("db", "DejaVu Sans", kTextStyleBold);
  if (!bold) GTEST_SKIP() << "DejaVu Sans is not installed here";
  EXPECT_EQ(static_cast<IGfxWin::Font*>(bold.get())->GetStyleName(), "Bold");
  const FontData data = bold->GetFontData();
  ASSERT_GE(data.mFaceIdx, 0);
  const FontInfo info = ReadFontInfo(data.mBytes.data(), data.mBytes.size(), data.mFaceIdx);
  EXPECT_EQ(info.mFamily + " " + info.mStyle, "DejaVu Sans Bold");
}

TEST_F(ServicesTest, EachIdentifierIsCachedOnceAndTheLastContextEmptiesTheCaches) {
  ASSERT_EQ(IGfxWin::FontCacheUsers(), 1);
  gfx->CachePlatformFont("cache-roboto", Roboto("cache-roboto"));
  gfx->CachePlatformFont("cache-roboto", Roboto("cache-roboto"));
  gfx->CachePlatformFont("cache-plain", std::make_unique<PlatformFont>());  // no handle
  EXPECT_EQ(IGfxWin::FontHandleCacheSize(), 1);
  auto second = std::make_unique<TestGfxWin>(dlg, 100, 100);
  EXPECT_EQ(IGfxWin::FontCacheUsers(), 2);
  second.reset();
  EXPECT_EQ(IGfxWin::FontHandleCacheSize(), 1);
  gfx.reset();
  EXPECT_EQ(IGfxWin::FontCacheUsers(), 0);
  EXPECT_EQ(IGfxWin::FontHandleCacheSize(), 0);
  EXPECT_EQ(IGfxWin::LoadedFontCacheSize(), 0);
}

// ---- Services of an open editor window, inside a visible top-level host window.

class WindowTest : public ServicesTest {
 protected:
  void SetUp() override {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = DefWindowProcA;
    wc.lpszClassName = "KanteleServicesTestHost";
    RegisterClassA(&wc);  // already registered by an earlier case: fine
    host = CreateWindowExA(0, wc.lpszClassName, "host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10,
                           400, 300, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(gfx->OpenWindow(host), nullptr);
    gfx->CachePlatformFont("Roboto-Regular", Roboto("Roboto-Regular"));
    dlg.ReplaceParam(0, kKindDouble);
    dlg.ReplaceParam(1, kKindInt);
  }
  void TearDown() override {
    gfx->DestroyTextEntry();
    gfx->CloseWindow();
    DestroyWindow(host);
  }
  HWND Open(int paramIdx, const char* text, ETextAlign align = kAlignCenter) {
    gfx->CreateNativeTextEntry(paramIdx, ITextStyle(14.f, kColorBlack, "Roboto-Regular", align),
                               IRect(10, 20, 90, 40), 40, text);
    return gfx->Box();
  }
  std::wstring Typed(int paramIdx, const wchar_t* keys) {
    gfx->DestroyTextEntry();
    HWND box = Open(paramIdx, "");
    for (const wchar_t* k = keys; *k; ++k) SendMessageW(box, WM_CHAR, *k, 1);
    return WindowText(box);
  }
  HWND host = nullptr;
};

TEST_F(WindowTest, TheTextBoxIsAFocusedEditControlWithTheStyleTextAndFontAsked) {
  HWND box = Open(0, "12.5");
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(GetDlgCtrlID(box), 99);
  EXPECT_EQ(static_cast<DWORD>(GetWindowLongW(box, GWL_STYLE)), 0x56000085u);
  EXPECT_EQ(WindowText(box), L"12.5");
  DWORD from = 1, to = 0;
  SendMessageW(box, EM_GETSEL, reinterpret_cast<WPARAM>(&from), reinterpret_cast<LPARAM>(&to));
  EXPECT_EQ(to - from, 4u);
  EXPECT_EQ(SendMessageW(box, EM_GETLIMITTEXT, 0, 0), 40);
  EXPECT_EQ(GetFocus(), box);
  EXPECT_EQ(gfx->GetTextEntryState(), kEntryFocused);
  RECT r;
  GetClientRect(box, &r);
  EXPECT_EQ(r.right * 100 + r.bottom, 8121);  // the bounds, one pixel wider and taller
  LOGFONTW lf;
  ASSERT_TRUE(
      GetObjectW(reinterpret_cast<HFONT>(SendMessageW(box, WM_GETFONT, 0, 0)), sizeof(lf), &lf));
  EXPECT_EQ(lf.lfHeight, 14);
  EXPECT_STREQ(lf.lfFaceName, L"Roboto");
  Open(1, "3");  // a box already open stays the only one
  EXPECT_EQ(gfx->Box(), box);

  // Other alignments; 31 UTF-16 units fit the initial text, 32 start the box empty.
  const std::string fits = std::string(30, '7') + "\xE2\x82\xAC";
  gfx->DestroyTextEntry();
  EXPECT_EQ(GetWindowLongW(Open(-1, fits.c_str(), kAlignNear), GWL_STYLE), 0x56000084);
  EXPECT_EQ(WindowText(gfx->Box()), std::wstring(30, L'7') + L"\u20AC");
  gfx->DestroyTextEntry();
  EXPECT_EQ(GetWindowLongW(Open(-1, (fits + "7").c_str(), kAlignFar), GWL_STYLE), 0x56000086);
  EXPECT_EQ(WindowText(gfx->Box()), L"");
}

TEST_F(WindowTest, KeysFocusAndCharactersOfTheTextBox) {
  HWND box = Open(-1, "");
  EXPECT_EQ(SendMessageW(box, WM_KEYDOWN, VK_RETURN, 1), 0);
  EXPECT_EQ(gfx->GetTextEntryState(), kEntryCommit);
  EXPECT_EQ(SendMessageW(box, WM_KEYDOWN, VK_ESCAPE, 1), 0);
  EXPECT_EQ(gfx->GetTextEntryState(), kEntryCancel);
  // Losing the focus cancels; a commit stays a commit when the focus leaves before the tick
  // closes the box.
  SetFocus(host);
  EXPECT_EQ(gfx->GetTextEntryState(), kEntryCancel);
  SetFocus(box);
  EXPECT_EQ(gfx->GetTextEntryState(), kEntryFocused);
  SetFocus(host);
  EXPECT_EQ(gfx->GetTextEntryState(), kEntryCancel);
  SetFocus(box);
  EXPECT_EQ(SendMessageW(box, WM_KEYDOWN, VK_RETURN, 1), 0);
  SetFocus(host);
  EXPECT_EQ(gfx->GetTextEntryState(), kEntryCommit);
  SetFocus(box);
  EXPECT_EQ(gfx->GetTextEntryState(), kEntryFocused);
  EXPECT_EQ(SendMessageW(box, WM_COMMAND, MAKEWPARAM(0, 1), 0), 0);
  EXPECT_EQ(gfx->GetTextEntryState(), kEntryCommit);
  MSG ret = {box, WM_KEYDOWN, VK_RETURN, 1, 0, {}};
  EXPECT_TRUE(SendMessageW(box, WM_GETDLGCODE, VK_RETURN, reinterpret_cast<LPARAM>(&ret)) &
              DLGC_WANTALLKEYS);

  EXPECT_EQ(Typed(0, L"-1.5e+x2"), L"-1.5+2");  // a double
  EXPECT_EQ(Typed(1, L"-1.5e+x2\b"), L"-15+");  // an integer; backspace still deletes
  EXPECT_EQ(Typed(-1, L"-1.5ex"), L"-1.5ex");   // no parameter
}

TEST_F(WindowTest, AMenuShowsItsPlanAndAChoiceInASubmenuReturnsThatSubmenu) {
  std::vector<std::string> calls;
  IPopupMenu menu("", 2);
  menu.AddItem("Soft");
  auto sub = std::make_unique<IPopupMenu>();
  for (const char* text : {"One", "Two", "Three"}) sub->AddItem(text);
  sub->SetFunction([&](IPopupMenu* m) { calls.push_back(std::to_string(m->GetChosenItemIdx())); });
  menu.AddItem("Shapes", std::move(sub));
  menu.AddItem("Off", IPopupMenuItem::kDisabled);
  menu.AddItem("Rock & Roll", IPopupMenuItem::kChecked);
  std::vector<std::wstring> items;  // text, id and state of each entry
  ModalDriver driver([&] {
    HWND popup = FindWindowA("#32768", nullptr);
    auto shown = reinterpret_cast<HMENU>(popup ? SendMessageA(popup, MN_GETHMENU, 0, 0) : 0);
    if (!shown) return false;
    for (UINT i = 0; i < 4; ++i) {
      wchar_t text[64] = {};
      GetMenuStringW(shown, i, text, 64, MF_BYPOSITION);
      const UINT state = GetMenuState(shown, i, MF_BYPOSITION) & (MF_GRAYED | MF_CHECKED);
      items.push_back(std::wstring(text) + L" " +
                      std::to_wstring(static_cast<int>(GetMenuItemID(shown, static_cast<int>(i)))) +
                      L" " + std::to_wstring(state));
    }
    // Down to "Shapes", into it, down to "Two", choose: the keys a user would press.
    for (WPARAM key : {VK_DOWN, VK_DOWN, VK_RIGHT, VK_DOWN, VK_RETURN}) {
      PostMessageA(GetFocus(), WM_KEYDOWN, key, 1);
    }
    return true;
  });
  bool isAsync = true;
  IPopupMenu* result = gfx->CreateNativePopupMenu(menu, IRect(10, 10, 60, 30), isAsync);
  EXPECT_FALSE(driver.mGaveUp);
  EXPECT_EQ(items, (std::vector<std::wstring>{L"01: Soft 0 0", L"02: Shapes -1 0", L"03: Off 2 1",
                                              L"04: Rock && Roll 3 8"}));
  ASSERT_EQ(result, menu.GetItem(1)->GetSubmenu());
  EXPECT_EQ(result->GetChosenItemIdx(), 1);
  EXPECT_EQ(calls, (std::vector<std::string>{"1"}));

  // Escape dismisses: nothing chosen.
  ModalDriver escape([&] { return PostMessageA(GetFocus(), WM_KEYDOWN, VK_ESCAPE, 1) != 0; });
  EXPECT_EQ(gfx->CreateNativePopupMenu(menu, IRect(10, 10, 60, 30), isAsync), nullptr);
  EXPECT_EQ(menu.GetChosenItemIdx(), -1);
}

TEST_F(WindowTest, MessageBoxesAnswerTheirButtonAndAreOwnedByTheTopLevelWindow) {
  std::vector<EMsgBoxResult> completed;
  DialogAnswer answer(IDNO);
  EXPECT_EQ(gfx->ShowMessageBox("Reset?", u8"Särö", kMB_YESNO,
                                [&](EMsgBoxResult r) { completed.push_back(r); }),
            kNO);
  EXPECT_EQ(completed, (std::vector<EMsgBoxResult>{kNO}));
  EXPECT_EQ(answer.caption, L"S\u00e4r\u00f6");
  EXPECT_EQ(answer.owner, host);
  // Without a parent, by the class name recorded when it was found.
  gfx->ForgetOwner("KanteleServicesTestHost");
  EXPECT_EQ(gfx->FindOwnerWindow(), host);
  gfx->ForgetOwner("Kantele No Such Class");
  EXPECT_EQ(gfx->FindOwnerWindow(), nullptr);
  // An address the user declines is not opened.
  DialogAnswer decline(IDNO);
  EXPECT_FALSE(gfx->OpenUrl("https://example.invalid/", "Manual", "Open?", "Failed."));
  EXPECT_EQ(decline.caption, L"Manual");
  EXPECT_FALSE(decline.driver.mExtra);  // no failure text after declining
}

TEST_F(WindowTest, TheColourChooserShowsThePromptAndReturnsTheChosenColour) {
  IArgb color(128, 200, 100, 50);
  std::vector<IArgb> completed;
  std::wstring title;
  int shownRed = -1;
  ModalDriver driver([&] {
    HWND dlg = ModalDriver::Dialog();
    if (!dlg) return false;
    title = WindowText(dlg);
    shownRed = static_cast<int>(GetDlgItemInt(dlg, 706, nullptr, FALSE));
    for (int field : {706, 707, 708}) SetDlgItemInt(dlg, field, (field - 705) * 10, FALSE);
    PostMessageA(dlg, WM_COMMAND, IDOK, 0);
    return true;
  });
  EXPECT_TRUE(gfx->ChooseColor(color, "Knob", [&](const IArgb& c) { completed.push_back(c); }));
  EXPECT_EQ(title, L"Knob");
  EXPECT_EQ(shownRed, 200);
  EXPECT_EQ(color, IArgb(128, 10, 20, 30));  // alpha kept
  EXPECT_EQ(completed, (std::vector<IArgb>{color}));
  DialogAnswer cancel(IDCANCEL);
  EXPECT_FALSE(gfx->ChooseColor(color, "", [&](const IArgb& c) { completed.push_back(c); }));
  EXPECT_EQ(completed.size(), 1u);
}

TEST_F(WindowTest, TheFileChooserReturnsThePathAndItsFolderOrEmptiesTheName) {
  char temp[MAX_PATH];
  ASSERT_GT(GetTempPathA(MAX_PATH, temp), 0u);
  std::string file = "old.wav", folder = temp;
  std::wstring filter;
  ModalDriver driver([&] {
    HWND dlg = ModalDriver::Dialog();
    if (!dlg) return false;
    wchar_t shown[64] = {};
    GetDlgItemTextW(dlg, cmb1, shown, 64);
    filter = shown;
    SetDlgItemTextW(dlg, cmb13, L"take");
    PostMessageA(dlg, WM_COMMAND, IDOK, 0);
    return true;
  });
  gfx->ChooseFile(file, folder, kFileSave, "wav aif");
  EXPECT_EQ(filter, L"*.wav;*.aif");
  EXPECT_EQ(file, std::string(temp) + "take.wav");  // the default extension added
  EXPECT_EQ(folder, temp);
  DialogAnswer cancel(IDCANCEL);
  gfx->ChooseFile(file, folder, kFileOpen, "wav");
  EXPECT_EQ(file, "");
  EXPECT_EQ(folder, temp);
  DialogAnswer cancelFolder(IDCANCEL);
  gfx->ChooseFolder(folder);
  EXPECT_EQ(folder, "");
}

}  // namespace
}  // namespace kantele::gfx::test
