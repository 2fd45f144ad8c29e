// Requests a careless or hostile host can make: every opcode with null buffers and extreme
// arguments, absurd block sizes and rates, random chunks and event lists, and text buffers of
// exactly the interface's size. The sanitizer build runs these; afterwards the plug-in must
// still process correctly, and no text may run past its buffer.

#include <gtest/gtest.h>

#include <climits>
#include <cstddef>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "kantele/vst2/HostStub.h"
#include "kantele/vst2/Vst2TestPlugin.h"
#include "support/AllocTrap.h"

namespace kantele::vst2test {
namespace {

using namespace vst2;

constexpr float kNaNf = std::numeric_limits<float>::quiet_NaN();
constexpr float kInff = std::numeric_limits<float>::infinity();

/// Every parameter holds a value inside its range.
void ExpectParamsInRange(const Vst2TestPlugin& p) {
  for (int i = 0; i < p.NParams(); ++i) {
    const IParam* param = p.GetParam(i);
    const double v = param->GetValue();
    EXPECT_TRUE(v >= param->GetMin() && v <= param->GetMax()) << i << " holds " << v;
  }
}

/// One block through each audio callback, with the plug-in's gain at 2: every connected output
/// must be twice its input.
void ExpectProcessesCorrectly(AEffect* e) {
  Vst2TestPlugin& p = PlugOf(e);
  Dispatch(e, effSetBlockSize, 0, 64);
  Dispatch(e, effSetSampleRate, 0, 0, nullptr, 44100.f);
  Dispatch(e, effMainsChanged, 0, 1);
  p.mGain = 2.0;
  p.mOffset = 0.0;
  const int n = e->numInputs;
  std::vector<std::vector<float>> inF(n, std::vector<float>(64)), outF(n, std::vector<float>(64));
  std::vector<std::vector<double>> inD(n, std::vector<double>(64)),
      outD(n, std::vector<double>(64));
  std::vector<float*> inFp, outFp;
  std::vector<double*> inDp, outDp;
  for (int c = 0; c < n; ++c) {
    for (int i = 0; i < 64; ++i) inF[c][i] = float(inD[c][i] = (c + 1) * 0.01 * (i % 7 - 3));
    inFp.push_back(inF[c].data());
    outFp.push_back(outF[c].data());
    inDp.push_back(inD[c].data());
    outDp.push_back(outD[c].data());
  }
  long allocations;
  {
    test::ScopedAllocTrap trap;
    e->processReplacing(e, inFp.data(), outFp.data(), 64);
    e->processDoubleReplacing(e, inDp.data(), outDp.data(), 64);
    allocations = trap.Allocations();
  }
  EXPECT_EQ(allocations, 0);
  for (int c = 0; c < n; ++c) {
    for (int i = 0; i < 64; ++i) {
      ASSERT_EQ(outF[c][i], float(2.0 * double(inF[c][i]))) << c << " " << i;
      ASSERT_EQ(outD[c][i], 2.0 * inD[c][i]) << c << " " << i;
    }
  }
}

/// Connects every channel again (a sweep may leave any arrangement behind).
void ConnectAll(AEffect* e) {
  VstSpeakerArrangement in{}, out{};
  in.numChannels = e->numInputs;
  out.numChannels = e->numOutputs;
  ASSERT_EQ(Dispatch(e, effSetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(&in), &out), 1);
}

using BadInputTest = Vst2Fixture;

TEST_F(BadInputTest, EveryOpcodeWithNullBuffersAndExtremeArguments) {
  PlugOptions full;
  full.mMidiIn = full.mMidiOut = full.mMidiThru = true;
  full.mIO = "4-4";
  PlugOptions bare;
  bare.mEditor = false;
  bare.mPresets = 0;
  bare.mChunks = true;
  mHost.mProduct = "Forte";
  for (const PlugOptions& options : {full, bare}) {
    AEffect* e = Load(options);
    std::vector<VstInt32> opcodes;
    for (VstInt32 op = -5; op <= 100; ++op) {
      if (op != effClose) opcodes.push_back(op);
    }
    for (VstInt32 op : {INT_MIN, INT_MAX, 1000, 1 << 20}) opcodes.push_back(op);
    const VstInt32 indices[] = {-1, 0, 1, INT_MAX, INT_MIN};
    const VstIntPtr values[] = {0, -1, INT_MIN, VstIntPtr{1} << 40,
                                std::numeric_limits<VstIntPtr>::max()};
    const float opts[] = {0.f, kNaNf, kInff, -kInff};
    for (VstInt32 op : opcodes) {
      // These two take their value as a pointer to an arrangement; only null is safe to send.
      const bool valueIsPointer = op == effSetSpeakerArrangement || op == effGetSpeakerArrangement;
      for (VstInt32 index : indices) {
        for (VstIntPtr value : values) {
          if (valueIsPointer && value != 0) continue;
          for (float opt : opts) Dispatch(e, op, index, value, nullptr, opt);
        }
      }
    }
    ExpectParamsInRange(PlugOf(e));
    ConnectAll(e);
    ExpectProcessesCorrectly(e);
  }
}

TEST_F(BadInputTest, AbsurdBlockSizesAndRates) {
  AEffect* e = Load();
  Vst2TestPlugin& p = PlugOf(e);
  Dispatch(e, effSetSampleRate, 0, 0, nullptr, 48000.f);
  for (float bad : {0.f, kNaNf, -1.f, kInff, -kInff, -0.f}) {
    Dispatch(e, effSetSampleRate, 0, 0, nullptr, bad);
    EXPECT_EQ(p.GetSampleRate(), 48000.0) << bad;
  }

  // A block size of 0 processes nothing; the replacing forms write silence.
  Dispatch(e, effSetBlockSize, 0, 0);
  EXPECT_EQ(p.GetBlockSize(), 0);
  std::vector<float> in(16, 0.5f), out(16, 9.f);
  float* ins[2] = {in.data(), in.data()};
  float* outs[2] = {out.data(), out.data()};
  std::vector<double> inD(16, 0.5), outD(16, 9.0);
  double* insD[2] = {inD.data(), inD.data()};
  double* outsD[2] = {outD.data(), outD.data()};
  e->process(e, ins, outs, 16);
  EXPECT_EQ(out, std::vector<float>(16, 9.f));
  e->processReplacing(e, ins, outs, 16);
  EXPECT_EQ(out, std::vector<float>(16, 0.f));
  e->processDoubleReplacing(e, insD, outsD, 16);
  EXPECT_EQ(outD, std::vector<double>(16, 0.0));
  EXPECT_EQ(p.mLastBlock.mFrames, 0);

  Dispatch(e, effSetBlockSize, 0, INT_MAX);
  EXPECT_EQ(p.GetBlockSize(), 1 << 20);
  Dispatch(e, effSetBlockSize, 0, INT_MIN);
  EXPECT_EQ(p.GetBlockSize(), 1 << 20);
  ExpectProcessesCorrectly(e);
}

TEST_F(BadInputTest, RandomChunksLeaveAValidState) {
  AEffect* e = Load();
  Vst2TestPlugin& p = PlugOf(e);
  std::mt19937 random(20261207);
  std::uniform_int_distribution<int> byte(0, 255);
  for (int size = 0; size <= 100; ++size) {
    for (int form = 0; form < 4; ++form) {
      std::vector<uint8_t> bytes(static_cast<size_t>(size) + 8);
      for (uint8_t& b : bytes) b = static_cast<uint8_t>(byte(random));
      if (form >= 2 && size >= 8) {  // with the header, so the bank reaches the preset reader
        const int32_t header[2] = {0x70666674, 0x10000};
        std::memcpy(bytes.data(), header, 8);
      }
      const int index = form % 2;
      const VstIntPtr answer = Dispatch(e, effSetChunk, index, size, bytes.data());
      EXPECT_TRUE(answer == 0 || answer == 1);
      ExpectParamsInRange(p);
      for (int preset = 0; preset < 2; ++preset) {
        char name[kVstMaxProgNameLen + 8];
        std::memset(name, 0x7F, sizeof(name));
        Dispatch(e, effGetProgramNameIndexed, preset, 0, name);
        EXPECT_NE(std::memchr(name, 0, kVstMaxProgNameLen), nullptr);
        EXPECT_EQ(static_cast<uint8_t>(name[kVstMaxProgNameLen]), 0x7F);
      }
    }
  }
  // Every prefix of a real bank: refused or read, never past its end.
  const int32_t header[2] = {0x70666674, 0x10000};
  void* data = nullptr;
  const VstIntPtr full = Dispatch(e, effGetChunk, 0, 0, &data);
  ASSERT_GT(full, 8);
  std::vector<uint8_t> bank(static_cast<const uint8_t*>(data),
                            static_cast<const uint8_t*>(data) + full);
  EXPECT_EQ(std::memcmp(bank.data(), header, 8), 0);
  for (VstIntPtr n = 0; n < full; ++n) {
    std::vector<uint8_t> prefix(bank.begin(), bank.begin() + n);
    prefix.resize(static_cast<size_t>(n) + 1);  // a readable byte for size 0
    EXPECT_LE(Dispatch(e, effSetChunk, 0, n, prefix.data()), 1);
  }
  EXPECT_EQ(Dispatch(e, effSetChunk, 0, full, bank.data()), 1);

  const std::vector<double> before = p.Values();
  for (VstIntPtr size : {VstIntPtr{-1}, VstIntPtr{1} << 40}) {
    EXPECT_EQ(Dispatch(e, effSetChunk, 1, size, bank.data()), 0);
    EXPECT_EQ(Dispatch(e, effSetChunk, 0, size, bank.data()), 0);
  }
  EXPECT_EQ(p.Values(), before);
  ExpectProcessesCorrectly(e);
}

TEST_F(BadInputTest, RandomEventLists) {
  PlugOptions o;
  o.mMidiIn = true;
  AEffect* e = Load(o);
  Vst2TestPlugin& p = PlugOf(e);
  constexpr int kMaxEvents = 24;
  struct List {
    VstInt32 numEvents;
    VstIntPtr reserved;
    VstEvent* events[kMaxEvents];
  };
  static_assert(offsetof(List, events) == offsetof(VstEvents, events), "event list layout");
  // Every event has the room of the largest record, so any type can be read as what it claims.
  std::vector<VstMidiSysexEvent> storage(kMaxEvents);
  std::vector<char> dump(128, 0x11);
  std::mt19937 random(7);
  auto pick = [&random](int lo, int hi) {
    return std::uniform_int_distribution<int>(lo, hi)(random);
  };
  const VstInt32 types[] = {kVstMidiType, kVstSysExType, 0, 2, 5, -1, 1 << 30};
  for (int round = 0; round < 300; ++round) {
    List list{};
    list.numEvents = pick(0, kMaxEvents);
    int midi = 0, sysex = 0;
    for (int i = 0; i < list.numEvents; ++i) {
      if (pick(0, 6) == 0) continue;  // a null pointer
      VstMidiSysexEvent& ev = storage[static_cast<size_t>(i)];
      std::memset(&ev, pick(0, 255), sizeof(ev));
      ev.type = types[pick(0, 6)];
      ev.byteSize = pick(-100, 100);
      ev.deltaFrames = pick(INT_MIN, INT_MAX);
      if (ev.type == kVstSysExType) {
        ev.dumpBytes = pick(-100, 100);
        ev.sysexDump = pick(0, 3) == 0 ? nullptr : dump.data();
      }
      midi += ev.type == kVstMidiType;
      sysex += ev.type == kVstSysExType;
      list.events[i] = reinterpret_cast<VstEvent*>(&ev);
    }
    p.mMidi.clear();
    p.mSysEx.clear();
    ASSERT_EQ(Dispatch(e, effProcessEvents, 0, 0, &list), 1);
    EXPECT_EQ(static_cast<int>(p.mMidi.size()), midi);
    ASSERT_EQ(static_cast<int>(p.mSysEx.size()), sysex);
    for (const SysExRecordCopy& s : p.mSysEx) {
      EXPECT_GE(s.mSize, 0);
      EXPECT_EQ(s.mData == nullptr, s.mSize == 0);
    }
    p.Tick();
  }
  List negative{};
  negative.numEvents = -3;
  EXPECT_EQ(Dispatch(e, effProcessEvents, 0, 0, &negative), 1);
  ExpectProcessesCorrectly(e);
}

// ---------------------------------------------------------------------------------------------
// Texts into host buffers

/// A host buffer of N bytes with guard bytes on both sides.
template <size_t N>
struct Guarded {
  static constexpr size_t kGuard = 32;
  static constexpr unsigned char kFill = 0xA5;
  Guarded() { std::memset(mBytes, kFill, sizeof(mBytes)); }
  char* Ptr() { return reinterpret_cast<char*>(mBytes + kGuard); }
  /// The text, when it is terminated inside the buffer and nothing around it was written.
  std::string Checked() const {
    for (size_t i = 0; i < kGuard; ++i) {
      if (mBytes[i] != kFill || mBytes[kGuard + N + i] != kFill) return "<guard written>";
    }
    const char* text = reinterpret_cast<const char*>(mBytes + kGuard);
    const void* end = std::memchr(text, 0, N);
    return end ? std::string(text, static_cast<const char*>(end)) : "<not terminated>";
  }
  unsigned char mBytes[kGuard + N + kGuard];
};

std::string Repeat(const char* s, int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += s;
  return out;
}

const std::string kEuro = "\xE2\x82\xAC";
const std::string kOmega = "\xCE\xA9";

using TextBufferTest = Vst2Fixture;

TEST_F(TextBufferTest, LongTextsAreCutAtACharacterBoundaryInsideTheBuffer) {
  const std::string gainName = kOmega + Repeat(kEuro.c_str(), 9) + "xy";  // 31 bytes
  const std::string pluginName = Repeat("\xC3\x84", 20);                  // 40 bytes
  const std::string vendor = "v" + Repeat(kEuro.c_str(), 33);
  const std::string product = "p" + Repeat(kEuro.c_str(), 40);
  const std::string euros4 = Repeat(kEuro.c_str(), 4);
  ASSERT_EQ(gainName.size(), 31u);
  PlugOptions o;
  o.mGainName = gainName.c_str();
  o.mPluginName = pluginName.c_str();
  o.mMfrName = vendor.c_str();
  o.mProductName = product.c_str();
  o.mAmountLabel = euros4.c_str();
  AEffect* e = Load(o);

  Guarded<kVstMaxParamStrLen> name, label, display;
  Dispatch(e, effGetParamName, kGain, 0, name.Ptr());
  EXPECT_EQ(name.Checked(), kOmega + kEuro);
  Dispatch(e, effGetParamLabel, kAmount, 0, label.Ptr());
  EXPECT_EQ(label.Checked(), kEuro + kEuro);
  e->setParameter(e, kGain, 1.f);
  Dispatch(e, effGetParamDisplay, kGain, 0, display.Ptr());
  EXPECT_EQ(display.Checked(), "200.00");
  // The properties carry the whole name (64-byte field) and the name cut to 7 bytes.
  VstParameterProperties props;
  std::memset(&props, 0xA5, sizeof(props));
  ASSERT_EQ(Dispatch(e, effGetParameterProperties, kGain, 0, &props), 1);
  EXPECT_EQ(std::string(props.label), gainName);
  EXPECT_EQ(std::string(props.shortLabel), kOmega + kEuro);

  // A 255-byte preset name: 23 bytes would end inside the eighth euro sign.
  const std::string presetName = "x" + Repeat(kEuro.c_str(), 84) + "yz";
  ASSERT_EQ(presetName.size(), 255u);
  std::string writable = presetName;
  Dispatch(e, effSetProgramName, 0, 0, writable.data());
  Guarded<kVstMaxProgNameLen> program, indexed;
  Dispatch(e, effGetProgramName, 0, 0, program.Ptr());
  Dispatch(e, effGetProgramNameIndexed, 0, 0, indexed.Ptr());
  const std::string cut = "x" + Repeat(kEuro.c_str(), 7);
  EXPECT_EQ(program.Checked(), cut);
  EXPECT_EQ(indexed.Checked(), cut);
  std::string ascii(255, 'a');
  Dispatch(e, effSetProgramName, 0, 0, ascii.data());
  Guarded<kVstMaxProgNameLen> programAscii, indexedAscii;
  Dispatch(e, effGetProgramName, 0, 0, programAscii.Ptr());
  Dispatch(e, effGetProgramNameIndexed, 0, 0, indexedAscii.Ptr());
  EXPECT_EQ(programAscii.Checked(), std::string(23, 'a'));
  EXPECT_EQ(indexedAscii.Checked(), std::string(23, 'a'));

  Guarded<kVstMaxEffectNameLen> effect;
  Guarded<kVstMaxVendorStrLen> vendorText;
  Guarded<kVstMaxProductStrLen> productText;
  Dispatch(e, effGetEffectName, 0, 0, effect.Ptr());
  Dispatch(e, effGetVendorString, 0, 0, vendorText.Ptr());
  Dispatch(e, effGetProductString, 0, 0, productText.Ptr());
  EXPECT_EQ(effect.Checked(), Repeat("\xC3\x84", 15));
  EXPECT_EQ(vendorText.Checked(), "v" + Repeat(kEuro.c_str(), 20));
  EXPECT_EQ(productText.Checked(), "p" + Repeat(kEuro.c_str(), 20));

  // Extension texts: up to 64 bytes.
  Guarded<64> extension, number;
  Dispatch(e, effVendorSpecific, 7, kMode, extension.Ptr(), 1.f);
  EXPECT_EQ(extension.Checked(), "High");
  std::strcpy(number.Ptr(), "37.5");
  Dispatch(e, effVendorSpecific, 27, kGain, number.Ptr());
  EXPECT_EQ(number.Checked(), "0.18750000000000000");
}

TEST_F(TextBufferTest, RecordFieldsStayWithinTheirBounds) {
  const std::string euros4 = Repeat(kEuro.c_str(), 4);
  PlugOptions o;
  o.mAmountLabel = euros4.c_str();
  AEffect* e = Load(o);

  // A text running past its field would overwrite the field after it.
  VstPinProperties pin;
  std::memset(&pin, 0xA5, sizeof(pin));
  ASSERT_EQ(Dispatch(e, effGetInputProperties, 1, 0, &pin), 1);
  EXPECT_EQ(std::string(pin.label), "Input 2");
  EXPECT_EQ(pin.flags, 1);
  EXPECT_EQ(pin.arrangementType, static_cast<VstInt32>(0xA5A5A5A5));

  VstParameterProperties props;
  std::memset(&props, 0xA5, sizeof(props));
  ASSERT_EQ(Dispatch(e, effGetParameterProperties, kAmount, 0, &props), 1);
  EXPECT_EQ(std::string(props.label), "Amount");
  EXPECT_EQ(std::string(props.shortLabel), "Amount");
  EXPECT_EQ(props.flags, 4);
  EXPECT_EQ(props.displayIndex, static_cast<VstInt16>(0xA5A5));

  MidiKeyName key;
  std::memset(&key, 0xA5, sizeof(key));
  key.thisKeyNumber = 61;
  ASSERT_EQ(Dispatch(e, effGetMidiKeyName, 0, 0, &key), 1);
  EXPECT_EQ(std::string(key.keyName), "k" + Repeat(kEuro.c_str(), 20));
  EXPECT_EQ(key.reserved, static_cast<VstInt32>(0xA5A5A5A5));
  EXPECT_EQ(key.flags, static_cast<VstInt32>(0xA5A5A5A5));
}

}  // namespace
}  // namespace kantele::vst2test
