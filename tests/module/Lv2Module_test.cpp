// The LV2 bundle's module as a host sees it: loaded by path, entered through lv2_descriptor and
// driven through the descriptors only, by a host as small as a test can keep it (a URID map, the
// block length as an option, a state store). Beside it the VST2 module: the same settings and
// seed give the same samples, and the state either saves restores in the other.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include <lv2/atom/atom.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/core/lv2.h>
#include <lv2/options/options.h>
#include <lv2/state/state.h>
#include <lv2/urid/urid.h>

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

/// The host side of the URID map, the options and the state store.
class Lv2Host {
 public:
  Lv2Host() {
    mOptions[0] = {
        LV2_OPTIONS_INSTANCE, 0,         Map(LV2_BUF_SIZE__maxBlockLength), sizeof(int32_t),
        Map(LV2_ATOM__Int),   &mMaxBlock};
    mOptions[1] = {LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr};
  }
  Lv2Host(const Lv2Host&) = delete;
  Lv2Host& operator=(const Lv2Host&) = delete;

  LV2_URID Map(const char* uri) {
    return mUrids.emplace(uri, static_cast<LV2_URID>(mUrids.size() + 1)).first->second;
  }
  const LV2_Feature* const* Features() const { return mFeatures; }

  /// The store and retrieve functions of LV2 state, on one property map.
  struct Store {
    std::map<uint32_t, std::pair<uint32_t, std::vector<uint8_t>>> properties;
    static LV2_State_Status Put(LV2_State_Handle h, uint32_t key, const void* value, size_t size,
                                uint32_t type, uint32_t) {
      const auto* bytes = static_cast<const uint8_t*>(value);
      static_cast<Store*>(h)->properties[key] = {type, {bytes, bytes + size}};
      return LV2_STATE_SUCCESS;
    }
    static const void* Get(LV2_State_Handle h, uint32_t key, size_t* size, uint32_t* type,
                           uint32_t* flags) {
      auto& properties = static_cast<Store*>(h)->properties;
      const auto found = properties.find(key);
      if (found == properties.end()) return nullptr;
      *size = found->second.second.size();
      *type = found->second.first;
      *flags = LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE;
      return found->second.second.data();
    }
  };

 private:
  static LV2_URID MapCall(LV2_URID_Map_Handle h, const char* uri) {
    return static_cast<Lv2Host*>(h)->Map(uri);
  }

  std::map<std::string, LV2_URID> mUrids;
  int32_t mMaxBlock = kMaxBlock;
  LV2_URID_Map mMap{this, &MapCall};
  LV2_Options_Option mOptions[2] = {};
  LV2_Feature mMapFeature{LV2_URID__map, &mMap};
  LV2_Feature mOptionsFeature{LV2_OPTIONS__options, mOptions};
  const LV2_Feature* mFeatures[3] = {&mMapFeature, &mOptionsFeature, nullptr};
};

/// One LV2 instance of a descriptor, its ports connected to its own buffers, the control ports
/// holding the defaults; activated, deactivated and cleaned up as a host does.
class Lv2Instance {
 public:
  Lv2Instance(const LV2_Descriptor* d, Lv2Host& host, int channels)
      : mDesc(d), mHost(host), mChannels(channels) {
    mHandle = d ? d->instantiate(d, kRate, "", host.Features()) : nullptr;
    if (!mHandle) return;
    for (int i = 0; i < kNumParams; ++i) {
      mControls[i] = kRanges[i].def;
      d->connect_port(mHandle, static_cast<uint32_t>(i), &mControls[i]);
    }
    d->activate(mHandle);
  }
  ~Lv2Instance() {
    if (!mHandle) return;
    mDesc->deactivate(mHandle);
    mDesc->cleanup(mHandle);
  }
  Lv2Instance(const Lv2Instance&) = delete;
  Lv2Instance& operator=(const Lv2Instance&) = delete;

  bool Ok() const { return mHandle != nullptr; }
  void SetControl(int i, float value) { mControls[i] = value; }

  int64_t Seed(uint32_t seed) {
    const auto* ext = static_cast<const KanteleLv2VendorRequest*>(
        mDesc->extension_data(KANTELE_LV2_VENDOR_REQUEST_URI));
    return ext ? ext->request(mHandle, tolvane::kSeedRequest, seed, nullptr, 1.0) : 0;
  }

  /// The chunk the instance saves (empty when it saves none or anything else).
  std::vector<uint8_t> SaveState() {
    Lv2Host::Store store;
    if (State()->save(mHandle, &Lv2Host::Store::Put, &store, 0, mHost.Features()) !=
            LV2_STATE_SUCCESS ||
        store.properties.size() != 1) {
      return {};
    }
    const auto& [type, bytes] = store.properties.begin()->second;
    EXPECT_EQ(store.properties.begin()->first, mHost.Map(kStateKey));
    EXPECT_EQ(type, mHost.Map(LV2_ATOM__Chunk));
    return bytes;
  }
  LV2_State_Status RestoreState(const std::vector<uint8_t>& chunk) {
    Lv2Host::Store store;
    store.properties[mHost.Map(kStateKey)] = {mHost.Map(LV2_ATOM__Chunk), chunk};
    return State()->restore(mHandle, &Lv2Host::Store::Get, &store, 0, mHost.Features());
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
  Lv2Host& mHost;
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
  static void Apply(const Settings& s, PluginInstance& vst2, Lv2Instance& lv2) {
    for (size_t i = 0; i < s.normalized.size(); ++i) {
      const Range& r = kRanges[i];
      vst2.SetParameter(static_cast<int>(i), s.normalized[i]);
      lv2.SetControl(static_cast<int>(i),
                     static_cast<float>(r.min + double{s.normalized[i]} * (r.max - r.min)));
    }
  }

  ModuleLoader mLv2;
  const LV2_Descriptor* (*mDescriptor)(uint32_t) = nullptr;
  Lv2Host mHost;
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
      Lv2Instance lv2(mDescriptor(v.index), mHost, v.channels);
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
    Lv2Instance lv2(mDescriptor(0), mHost, 2);
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

    Lv2Instance fromVst2(mDescriptor(0), mHost, 2);
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
