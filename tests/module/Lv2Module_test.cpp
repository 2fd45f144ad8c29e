// The LV2 bundle's module as a host sees it: loaded by path, entered through lv2_descriptor and
// driven through the descriptors only, by a host as small as a test can keep it (a URID map, the
// block length as an option, a state store). Beside it the VST2 module: the same settings and
// seed give the same samples, and the state either saves restores in the other.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include <lv2/atom/atom.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/core/lv2.h>
#include <lv2/state/state.h>

#include "kantele/lv2/Lv2TestHost.h"
#include "kantele/lv2/Lv2VendorRequest.h"
#include "module/ModuleHost.h"
#include "support/ModuleLoader.h"
#include "tolvane/SeedRequest.h"

namespace kantele::test {
namespace {

constexpr int kNumParams = 7;
constexpr int kMaxBlock = 512;
constexpr double kRate = 48000.0;
constexpr const char* kStateKey = "urn:kantele:lv2#programChunk";

/// Each parameter's range and default as the plug-in defines them, in real values: what an
/// LV2 host reads from the description and writes to the control ports.
struct Range {
  float min, max, def;
};
constexpr Range kRanges[kNumParams] = {{0, 200, 32}, {0, 100, 87},  {0, 1, 0.5f}, {0, 1, 1},
                                       {0, 1, 0},    {0, 200, 100}, {0, 1, 0.5f}};

/// The host's features: the URID map and the block length as an option.
Lv2Features MakeFeatures() {
  return Lv2Features(true, {IntOption(LV2_BUF_SIZE__maxBlockLength, kMaxBlock)});
}

/// One LV2 instance of a descriptor, its ports connected to its own buffers, the control ports
/// holding the defaults; activated, deactivated and cleaned up as a host does.
class Lv2ModuleInstance {
 public:
  Lv2ModuleInstance(const LV2_Descriptor* d, Lv2Features& host, int channels)
      : mDesc(d), mHost(host), mChannels(channels) {
    mHandle = d ? d->instantiate(d, kRate, "", host.List()) : nullptr;
    if (!mHandle) return;
    for (int i = 0; i < kNumParams; ++i) {
      mControls[i] = kRanges[i].def;
      d->connect_port(mHandle, static_cast<uint32_t>(i), &mControls[i]);
    }
    d->activate(mHandle);
  }
  ~Lv2ModuleInstance() {
    if (!mHandle) return;
    mDesc->deactivate(mHandle);
    mDesc->cleanup(mHandle);
  }
  Lv2ModuleInstance(const Lv2ModuleInstance&) = delete;
  Lv2ModuleInstance& operator=(const Lv2ModuleInstance&) = delete;

  bool Ok() const { return mHandle != nullptr; }
  void SetControl(int i, float value) { mControls[i] = value; }

  int64_t Seed(uint32_t seed) {
    const auto* ext = static_cast<const KanteleLv2VendorRequest*>(
        mDesc->extension_data(KANTELE_LV2_VENDOR_REQUEST_URI));
    return ext ? ext->request(mHandle, tolvane::kSeedRequest, seed, nullptr, 1.0) : 0;
  }

  /// The chunk the instance saves (empty when it saves none or anything else).
  std::vector<uint8_t> SaveState() {
    Lv2StateStore store;
    if (State()->save(mHandle, &Lv2StateStore::Store, &store, 0, mHost.List()) !=
            LV2_STATE_SUCCESS ||
        store.mProperties.size() != 1) {
      return {};
    }
    const auto& [key, property] = *store.mProperties.begin();
    EXPECT_EQ(key, mHost.Map(kStateKey));
    EXPECT_EQ(property.mType, mHost.Map(LV2_ATOM__Chunk));
    return property.mBytes;
  }
  LV2_State_Status RestoreState(const std::vector<uint8_t>& chunk) {
    Lv2StateStore store;
    store.mProperties[mHost.Map(kStateKey)] = {chunk, mHost.Map(LV2_ATOM__Chunk), 0, chunk.size()};
    return State()->restore(mHandle, &Lv2StateStore::Retrieve, &store, 0, mHost.List());
  }

  /// Runs the first `mChannels` channels of `in` in consecutive calls whose lengths cycle
  /// through `blocks`. Outputs start far out of range, so a frame left alone shows.
  Stereo<float> Process(const Stereo<float>& in, const std::vector<int>& blocks) {
    Stereo<float> input = in, out;
    for (auto& channel : out.channel) channel.assign(in.channel[0].size(), 1000.f);
    size_t next = 0;
    for (int pos = 0; pos < in.Frames();) {
      const int n = std::min(blocks[next++ % blocks.size()], in.Frames() - pos);
      for (int c = 0; c < mChannels; ++c) {
        const auto port = static_cast<uint32_t>(kNumParams + c);
        mDesc->connect_port(mHandle, port, input.channel[c].data() + pos);
        mDesc->connect_port(mHandle, port + static_cast<uint32_t>(mChannels),
                            out.channel[c].data() + pos);
      }
      mDesc->run(mHandle, static_cast<uint32_t>(n));
      pos += n;
    }
    return out;
  }

 private:
  const LV2_State_Interface* State() const {
    return static_cast<const LV2_State_Interface*>(mDesc->extension_data(LV2_STATE__interface));
  }

  const LV2_Descriptor* mDesc;
  Lv2Features& mHost;
  int mChannels;
  LV2_Handle mHandle = nullptr;
  float mControls[kNumParams] = {};
};

/// Settings as VST2 normalised values; empty: the defaults, untouched in the VST2 instance.
/// A VST2 value is the double min + n * (max - min), an LV2 port value a float: the two hold
/// the same setting only where that double is a float, so the fractions here are dyadic.
struct Settings {
  const char* name;
  std::vector<float> normalized;
};
const Settings kSettings[] = {
    {"defaults", {}},
    {"React off", {0.75f, 0.25f, 0.875f, 0.f, 0.f, 0.375f, 0.625f}},
    {"hot and wide", {0.9375f, 1.f, 0.125f, 1.f, 0.f, 0.8125f, 0.1875f}},
};

/// The variants: descriptor index, URI and channels; the VST2 instance is given the same count.
struct Variant {
  uint32_t index;
  const char* uri;
  int channels;
};
const Variant kVariants[] = {{0, "urn:quellmark:tolvane", 2}, {1, "urn:quellmark:tolvane:mono", 1}};

/// Both modules loaded; LV2 instances made from the bundle's module.
class Lv2ModuleTest : public ModuleTest {
 protected:
  void SetUp() override {
    ModuleTest::SetUp();
    ASSERT_TRUE(mLv2.Open(TOLVANE_LV2_MODULE_PATH)) << mLv2.Error();
    mDescriptor =
        reinterpret_cast<const LV2_Descriptor* (*)(uint32_t)>(mLv2.Find("lv2_descriptor"));
    ASSERT_NE(mDescriptor, nullptr) << mLv2.Error();
  }
  void TearDown() override {
    EXPECT_TRUE(mLv2.Close()) << mLv2.Error();
    ModuleTest::TearDown();
  }

  /// Applies `s` to both instances: normalised values to the VST2 one, the real values they
  /// stand for to the LV2 control ports.
  static void Apply(const Settings& s, PluginInstance& vst2, Lv2ModuleInstance& lv2) {
    for (size_t i = 0; i < s.normalized.size(); ++i) {
      const Range& r = kRanges[i];
      vst2.SetParameter(static_cast<int>(i), s.normalized[i]);
      lv2.SetControl(static_cast<int>(i),
                     static_cast<float>(r.min + double{s.normalized[i]} * (r.max - r.min)));
    }
  }

  ModuleLoader mLv2;
  const LV2_Descriptor* (*mDescriptor)(uint32_t) = nullptr;
  Lv2Features mHost = MakeFeatures();
};

// The same input, seed, settings and block boundaries: the LV2 instance gives the VST2
// instance's samples bit for bit, the mono plug-in those of a VST2 instance arranged 1-in/1-out.
TEST_F(Lv2ModuleTest, ProcessesBitForBitLikeTheVst2Build) {
  const Stereo<float> input = TestSignal(12000, kRate);
  const std::vector<int> blocks = {kMaxBlock, 160, 33};
  for (const Variant& v : kVariants) {
    for (const Settings& s : kSettings) {
      SCOPED_TRACE(testing::Message() << v.uri << ", " << s.name);
      ASSERT_NE(mDescriptor(v.index), nullptr);
      ASSERT_STREQ(mDescriptor(v.index)->URI, v.uri);
      PluginInstance vst2(mEntry);
      Lv2ModuleInstance lv2(mDescriptor(v.index), mHost, v.channels);
      ASSERT_TRUE(vst2.IsValid() && lv2.Ok());
      if (v.channels == 1) {
        vst2::VstSpeakerArrangement mono{};
        mono.numChannels = 1;
        ASSERT_EQ(vst2.Dispatch(vst2::effSetSpeakerArrangement, 0,
                                reinterpret_cast<vst2::VstIntPtr>(&mono), &mono),
                  1);
      }
      Apply(s, vst2, lv2);
      ASSERT_EQ(vst2.Seed(7), 1);
      ASSERT_EQ(lv2.Seed(7), 1);
      vst2.Start(static_cast<float>(kRate), kMaxBlock);
      const Stereo<float> expected = vst2.Process(input, blocks);
      const Stereo<float> got = lv2.Process(input, blocks);
      for (int c = 0; c < v.channels; ++c) EXPECT_TRUE(got.channel[c] == expected.channel[c]) << c;
      // Bypass is off in every setting: the samples compared are the effect's.
      EXPECT_NE(got.channel[0], input.channel[0]);
    }
  }
}

// The LV2 state is the VST2 program chunk byte for byte, and each restores in the other: the
// VST2 instance takes the LV2 state's values, the LV2 instance the VST2 chunk's and renders
// with them although its control ports still hold the defaults.
TEST_F(Lv2ModuleTest, StateIsTheVst2ProgramChunk) {
  const Stereo<float> input = TestSignal(2048, kRate);
  for (const Settings& s : kSettings) {
    SCOPED_TRACE(s.name);
    PluginInstance vst2(mEntry);
    Lv2ModuleInstance lv2(mDescriptor(0), mHost, 2);
    ASSERT_TRUE(vst2.IsValid() && lv2.Ok());
    // Saved right after the host wrote the ports, before any run: the state holds them.
    Apply(s, vst2, lv2);
    void* data = nullptr;
    const auto size = vst2.Dispatch(vst2::effGetChunk, 1, 0, &data);
    ASSERT_GT(size, 0);
    const std::vector<uint8_t> chunk(static_cast<uint8_t*>(data),
                                     static_cast<uint8_t*>(data) + size);
    std::vector<uint8_t> state = lv2.SaveState();
    EXPECT_EQ(state, chunk);

    PluginInstance fromLv2(mEntry);
    ASSERT_EQ(fromLv2.Dispatch(vst2::effSetChunk, 1, static_cast<vst2::VstIntPtr>(state.size()),
                               state.data()),
              1);
    for (int i = 0; i < kNumParams; ++i) EXPECT_EQ(fromLv2.GetParameter(i), vst2.GetParameter(i));

    Lv2ModuleInstance fromVst2(mDescriptor(0), mHost, 2);
    ASSERT_EQ(fromVst2.RestoreState(chunk), LV2_STATE_SUCCESS);
    ASSERT_EQ(fromVst2.Seed(3), 1);
    ASSERT_EQ(vst2.Seed(3), 1);
    vst2.Start(static_cast<float>(kRate), kMaxBlock);
    EXPECT_TRUE(fromVst2.Process(input, {kMaxBlock}) == vst2.Process(input, {kMaxBlock}));
    EXPECT_EQ(fromVst2.SaveState(), chunk);
  }
}

}  // namespace
}  // namespace kantele::test
