// Windows only: the portable US table that Linux uses for typed characters gives the answers
// Windows itself gives on the US layout.

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "kantele/vst2/VirtualKeys.h"

namespace kantele {
namespace {

TEST(KeyboardLayoutTest, TheUsTableIsWhatWindowsAnswersOnTheUsLayout) {
  // The comparison only means something on the US layout: make it this thread's layout for
  // the test, and give the previous one back afterwards.
  const HKL previous = GetKeyboardLayout(0);
  const HKL us = LoadKeyboardLayoutA("00000409", KLF_ACTIVATE);
  ASSERT_NE(us, nullptr);
  ASSERT_EQ(LOWORD(reinterpret_cast<uintptr_t>(GetKeyboardLayout(0))), 0x0409);

  std::vector<char> characters = {'\b', '\t', '\r', '\x1b'};
  for (char c = 32; c < 127; ++c) characters.push_back(c);
  for (char c : characters) {
    SCOPED_TRACE(testing::Message() << "character " << static_cast<int>(c));
    EXPECT_EQ(CharacterVirtualKey(c), UsAsciiVirtualKey(c));
    EXPECT_EQ(static_cast<int>(VkKeyScanExA(c, us)), UsAsciiVirtualKey(c));
  }
  ActivateKeyboardLayout(previous, 0);
}

}  // namespace
}  // namespace kantele
