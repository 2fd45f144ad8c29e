// What the adapter does differently per platform: who drives the editor timer, and how a typed
// character becomes a virtual key. Each platform's expectations are its own tests.

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "kantele/vst2/HostStub.h"
#include "kantele/vst2/Vst2TestPlugin.h"
#include "support/TimerPump.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace kantele::vst2test {
namespace {

using namespace vst2;

using PlatformTest = Vst2Fixture;

int VirtualKeyFor(Vst2TestPlugin& p, AEffect* e, char character, VstIntPtr vstKey) {
  p.mKeys.clear();
  Dispatch(e, effEditKeyDown, static_cast<unsigned char>(character), vstKey);
  return p.mKeys.size() == 1 ? p.mKeys[0].mKey.VK : -1000;
}

#ifndef _WIN32

TEST_F(PlatformTest, OnLinuxTheHostsIdleCallsDriveTheEditorTimer) {
  AEffect* e = Load();
  Vst2TestPlugin& p = PlugOf(e);
  e->setParameter(e, kGain, 0.5f);
  std::this_thread::sleep_for(std::chrono::milliseconds(2 * IApiBase::kTimerPeriodMs));
  EXPECT_TRUE(p.mEditorValues.empty());  // no tick without the host
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (p.mEditorValues.empty() && std::chrono::steady_clock::now() < end) {
    ASSERT_EQ(Dispatch(e, effEditIdle), 0);
    if (p.mEditorValues.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  ASSERT_EQ(p.mEditorValues.size(), 1u);
  EXPECT_EQ(p.mEditorValues[0], (ParamChangeRecord{kGain, 0, 100.0}));
}

TEST_F(PlatformTest, OnLinuxCharactersMapAsOnTheUsLayout) {
  AEffect* e = Load();
  Vst2TestPlugin& p = PlugOf(e);
  struct Case {
    char mChar;
    int mVK;
  };
  const Case cases[] = {{'a', 0x41},  {'z', 0x5A},  {'A', 0x141}, {'7', 0x37}, {'=', 0xBB},
                        {'+', 0x1BB}, {'/', 0xBF},  {'?', 0x1BF}, {' ', 0x20}, {'\r', 0x0D},
                        {'\b', 0x08}, {'(', 0x139}, {'\xE9', -1}, {'\0', -1}};
  for (const Case& c : cases) {
    EXPECT_EQ(VirtualKeyFor(p, e, c.mChar, 0), c.mVK) << int(c.mChar);
    EXPECT_EQ(VirtualKeyFor(p, e, c.mChar, VKEY_EQUALS), c.mVK) << int(c.mChar);
  }
  EXPECT_EQ(VirtualKeyFor(p, e, 'a', VKEY_RETURN), 13);  // an interface key wins
}

#else

TEST_F(PlatformTest, OnWindowsTheMessageLoopDrivesTheEditorTimer) {
  AEffect* e = Load();
  Vst2TestPlugin& p = PlugOf(e);
  e->setParameter(e, kGain, 0.5f);
  std::this_thread::sleep_for(std::chrono::milliseconds(3 * IApiBase::kTimerPeriodMs));
  EXPECT_EQ(Dispatch(e, effEditIdle), 0);
  EXPECT_TRUE(p.mEditorValues.empty());  // idle calls deliver nothing here
  ASSERT_TRUE(test::PumpTimersUntil([&p] { return !p.mEditorValues.empty(); }, 10000));
  ASSERT_EQ(p.mEditorValues.size(), 1u);
  EXPECT_EQ(p.mEditorValues[0], (ParamChangeRecord{kGain, 0, 100.0}));
}

TEST_F(PlatformTest, OnWindowsCharactersFollowTheKeyboardLayout) {
  AEffect* e = Load();
  Vst2TestPlugin& p = PlugOf(e);
  const HKL layout = GetKeyboardLayout(0);
  for (char c : {'a', 'z', 'A', '7', '=', '+', '/', ' ', '\r'}) {
    const int expected = static_cast<int>(VkKeyScanExA(c, layout));
    EXPECT_NE(expected, -1) << int(c);
    EXPECT_EQ(VirtualKeyFor(p, e, c, 0), expected) << int(c);
    EXPECT_EQ(VirtualKeyFor(p, e, c, VKEY_EQUALS), expected) << int(c);
  }
  EXPECT_EQ(VirtualKeyFor(p, e, 'a', VKEY_RETURN), 13);
}

#endif

}  // namespace
}  // namespace kantele::vst2test
