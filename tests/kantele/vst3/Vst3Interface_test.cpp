// The interface declarations as a host sees them: every method in the vtable slot the binary
// interface gives it, ids readable back as their four words, and texts in the fixed UTF-16
// and 8-bit fields cut without breaking a character.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "kantele/vst3/VendorRequest.h"
#include "kantele/vst3/Vst3Interface.h"
#include "kantele/vst3/Vst3Text.h"

namespace kantele::test {
namespace {

using namespace vst3;

/// The vtable slot of a virtual member function: both compilers use the Itanium ABI, where a
/// pointer to a virtual member holds 1 + the slot's byte offset.
template <class M>
int SlotOf(M member) {
  static_assert(sizeof(M) == 2 * sizeof(void*), "an Itanium pointer to member function");
  uintptr_t raw[2];
  std::memcpy(raw, &member, sizeof(raw));
  return (raw[0] & 1) ? static_cast<int>((raw[0] - 1) / sizeof(void*)) : -1;
}

struct SlotCase {
  const char* name;
  int slot;
  int expected;
};

#define KANTELE_SLOT(Interface, method, n) \
  { #Interface "::" #method, SlotOf(&Interface::method), n }

TEST(Vst3Interface, EveryMethodSitsInItsSlot) {
  const SlotCase cases[] = {
      KANTELE_SLOT(FUnknown, queryInterface, 0),
      KANTELE_SLOT(FUnknown, addRef, 1),
      KANTELE_SLOT(FUnknown, release, 2),
      KANTELE_SLOT(IPluginBase, initialize, 3),
      KANTELE_SLOT(IPluginBase, terminate, 4),
      KANTELE_SLOT(IPluginFactory, getFactoryInfo, 3),
      KANTELE_SLOT(IPluginFactory, countClasses, 4),
      KANTELE_SLOT(IPluginFactory, getClassInfo, 5),
      KANTELE_SLOT(IPluginFactory, createInstance, 6),
      KANTELE_SLOT(IPluginFactory2, getClassInfo2, 7),
      KANTELE_SLOT(IPluginFactory3, getClassInfoUnicode, 8),
      KANTELE_SLOT(IPluginFactory3, setHostContext, 9),
      KANTELE_SLOT(IComponent, getControllerClassId, 5),
      KANTELE_SLOT(IComponent, setIoMode, 6),
      KANTELE_SLOT(IComponent, getBusCount, 7),
      KANTELE_SLOT(IComponent, getBusInfo, 8),
      KANTELE_SLOT(IComponent, getRoutingInfo, 9),
      KANTELE_SLOT(IComponent, activateBus, 10),
      KANTELE_SLOT(IComponent, setActive, 11),
      KANTELE_SLOT(IComponent, setState, 12),
      KANTELE_SLOT(IComponent, getState, 13),
      KANTELE_SLOT(IAudioProcessor, setBusArrangements, 3),
      KANTELE_SLOT(IAudioProcessor, getBusArrangement, 4),
      KANTELE_SLOT(IAudioProcessor, canProcessSampleSize, 5),
      KANTELE_SLOT(IAudioProcessor, getLatencySamples, 6),
      KANTELE_SLOT(IAudioProcessor, setupProcessing, 7),
      KANTELE_SLOT(IAudioProcessor, setProcessing, 8),
      KANTELE_SLOT(IAudioProcessor, process, 9),
      KANTELE_SLOT(IAudioProcessor, getTailSamples, 10),
      KANTELE_SLOT(IProcessContextRequirements, getProcessContextRequirements, 3),
      KANTELE_SLOT(IEditController, setComponentState, 5),
      KANTELE_SLOT(IEditController, setState, 6),
      KANTELE_SLOT(IEditController, getState, 7),
      KANTELE_SLOT(IEditController, getParameterCount, 8),
      KANTELE_SLOT(IEditController, getParameterInfo, 9),
      KANTELE_SLOT(IEditController, getParamStringByValue, 10),
      KANTELE_SLOT(IEditController, getParamValueByString, 11),
      KANTELE_SLOT(IEditController, normalizedParamToPlain, 12),
      KANTELE_SLOT(IEditController, plainParamToNormalized, 13),
      KANTELE_SLOT(IEditController, getParamNormalized, 14),
      KANTELE_SLOT(IEditController, setParamNormalized, 15),
      KANTELE_SLOT(IEditController, setComponentHandler, 16),
      KANTELE_SLOT(IEditController, createView, 17),
      KANTELE_SLOT(IEditController2, setKnobMode, 3),
      KANTELE_SLOT(IEditController2, openAboutBox, 5),
      KANTELE_SLOT(IComponentHandler, beginEdit, 3),
      KANTELE_SLOT(IComponentHandler, performEdit, 4),
      KANTELE_SLOT(IComponentHandler, endEdit, 5),
      KANTELE_SLOT(IComponentHandler, restartComponent, 6),
      KANTELE_SLOT(IComponentHandler2, finishGroupEdit, 6),
      KANTELE_SLOT(IConnectionPoint, notify, 5),
      KANTELE_SLOT(IMessage, getAttributes, 5),
      KANTELE_SLOT(IAttributeList, getBinary, 10),
      KANTELE_SLOT(IBStream, read, 3),
      KANTELE_SLOT(IBStream, write, 4),
      KANTELE_SLOT(IBStream, seek, 5),
      KANTELE_SLOT(IBStream, tell, 6),
      KANTELE_SLOT(ISizeableStream, setStreamSize, 4),
      KANTELE_SLOT(IParameterChanges, getParameterCount, 3),
      KANTELE_SLOT(IParameterChanges, getParameterData, 4),
      KANTELE_SLOT(IParameterChanges, addParameterData, 5),
      KANTELE_SLOT(IParamValueQueue, getParameterId, 3),
      KANTELE_SLOT(IParamValueQueue, getPointCount, 4),
      KANTELE_SLOT(IParamValueQueue, getPoint, 5),
      KANTELE_SLOT(IParamValueQueue, addPoint, 6),
      KANTELE_SLOT(IEventList, addEvent, 5),
      KANTELE_SLOT(IHostApplication, getName, 3),
      KANTELE_SLOT(IHostApplication, createInstance, 4),
      KANTELE_SLOT(IPlugInterfaceSupport, isPlugInterfaceSupported, 3),
      KANTELE_SLOT(IPlugView, isPlatformTypeSupported, 3),
      KANTELE_SLOT(IPlugView, attached, 4),
      KANTELE_SLOT(IPlugView, removed, 5),
      KANTELE_SLOT(IPlugView, onWheel, 6),
      KANTELE_SLOT(IPlugView, onKeyDown, 7),
      KANTELE_SLOT(IPlugView, onKeyUp, 8),
      KANTELE_SLOT(IPlugView, getSize, 9),
      KANTELE_SLOT(IPlugView, onSize, 10),
      KANTELE_SLOT(IPlugView, onFocus, 11),
      KANTELE_SLOT(IPlugView, setFrame, 12),
      KANTELE_SLOT(IPlugView, canResize, 13),
      KANTELE_SLOT(IPlugView, checkSizeConstraint, 14),
      KANTELE_SLOT(IPlugFrame, resizeView, 3),
      KANTELE_SLOT(IPlugViewContentScaleSupport, setContentScaleFactor, 3),
      KANTELE_SLOT(IRunLoop, registerEventHandler, 3),
      KANTELE_SLOT(IRunLoop, unregisterEventHandler, 4),
      KANTELE_SLOT(IRunLoop, registerTimer, 5),
      KANTELE_SLOT(IRunLoop, unregisterTimer, 6),
      KANTELE_SLOT(IEventHandler, onFDIsSet, 3),
      KANTELE_SLOT(ITimerHandler, onTimer, 3),
      KANTELE_SLOT(IVendorRequest, vendorRequest, 3),
  };
  for (const SlotCase& c : cases) EXPECT_EQ(c.slot, c.expected) << c.name;
}

TEST(Vst3Interface, IdsReadBackAsTheirWords) {
  struct Case {
    const Uid* id;
    uint32_t words[4];
  };
  const Case cases[] = {
      {&IID_FUnknown, {0x00000000, 0x00000000, 0xC0000000, 0x00000046}},
      {&IID_IComponent, {0xE831FF31, 0xF2D54301, 0x928EBBEE, 0x25697802}},
      {&IID_IPlugView, {0x5BC32507, 0xD06049EA, 0xA6151B52, 0x2B755B29}},
      {&IID_IVendorRequest, {0x4B616E74, 0x656C6556, 0x656E6472, 0x52717374}},
  };
  for (const Case& c : cases) {
    for (UidLayout layout : {UidLayout::kNonCom, UidLayout::kCom}) {
      const Uid u = MakeUid(c.words[0], c.words[1], c.words[2], c.words[3], layout);
      uint32_t words[4] = {};
      UidWords(u.data(), words, layout);
      EXPECT_EQ(std::memcmp(words, c.words, sizeof(words)), 0);
    }
    uint32_t words[4] = {};
    UidWords(c.id->data(), words);
    EXPECT_EQ(std::memcmp(words, c.words, sizeof(words)), 0);
  }
  EXPECT_TRUE(IID_IComponent.Matches(IID_IComponent.data()));
  EXPECT_FALSE(IID_IComponent.Matches(IID_IAudioProcessor.data()));
  EXPECT_FALSE(IID_IComponent.Matches(nullptr));
}

TEST(Vst3Interface, TextsFitTheirFieldsWholeCharactersOnly) {
  struct Case {
    const char* utf8;
    size_t capacity;
    std::u16string expected;
  };
  const Case cases[] = {
      {"Input Gain", 128, u"Input Gain"},
      {"Input Gain", 6, u"Input"},
      {"\xF0\x9D\x84\x9E-clef", 128, u"\U0001D11E-clef"},
      // The pair does not fit after "a": it goes whole.
      {"a\xF0\x9D\x84\x9E", 3, u"a"},
      {"", 4, u""},
      {nullptr, 4, u""},
  };
  for (const Case& c : cases) {
    char16 field[128];
    std::fill(std::begin(field), std::end(field), u'#');
    CopyToString16(c.utf8, field, c.capacity);
    EXPECT_EQ(std::u16string(field), c.expected);
    for (size_t i = c.expected.size(); i < c.capacity; ++i) EXPECT_EQ(field[i], 0) << i;
    EXPECT_EQ(field[c.capacity < 128 ? c.capacity : 127], c.capacity < 128 ? u'#' : 0);
  }
  const char16 unterminated[3] = {u'a', u'b', u'c'};
  EXPECT_EQ(String16ToUtf8(unterminated, 2), "ab");
  const char16 lone[2] = {0xD800, 0};
  EXPECT_EQ(String16ToUtf8(lone, 8), "\xEF\xBF\xBD");
  char field[8];
  CopyToString8("Quellmark Oy", field, sizeof(field));
  EXPECT_STREQ(field, "Quellma");
  CopyToString8("\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4", field, sizeof(field));
  EXPECT_STREQ(field, "\xC3\xA4\xC3\xA4\xC3\xA4");
}

}  // namespace
}  // namespace kantele::test
