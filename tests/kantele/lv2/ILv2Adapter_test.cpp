// The LV2 adapter with the effect on it, driven in-process through the module's descriptors as a
// host drives it: descriptors, instantiation, the run call against the effect's ProcessBlock,
// state, the vendor request, and the run under the allocation trap.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

#include <lv2/atom/atom.h>
#include <lv2/buf-size/buf-size.h>

#include "kantele/lv2/Lv2Entry.h"
#include "kantele/lv2/Lv2TestHost.h"
#include "kantele/lv2/Lv2VendorRequest.h"
#include "support/AllocTrap.h"
#include "tolvane/Tolvane.h"

KANTELE_LV2_ENTRY(tolvane::Tolvane)

namespace kantele::test {
namespace {

constexpr double kRate = 48000.0;
constexpr uint32_t kSeed = 0x5EED;

const LV2_Descriptor* StereoDescriptor() { return lv2_descriptor(0); }
const LV2_Descriptor* MonoDescriptor() { return lv2_descriptor(1); }

/// The host's control values the processing cases use: more drive than the default and the
/// bias off centre, so that every stage of the effect has work to do.
void SetControls(Lv2Instance& plug) {
  plug.Control(tolvane::kInputGain) = 150.f;
  plug.Control(tolvane::kBias) = 0.6f;
}

/// How the adapter splits `runs` (repeated over `frames` frames) into pieces of at most `block`
/// frames; a run of no frames processes nothing.
std::vector<int> Pieces(const std::vector<int>& runs, int block, int frames) {
  std::vector<int> pieces;
  for (size_t next = 0; frames > 0; next = (next + 1) % runs.size()) {
    for (int left = std::min(runs[next], frames); left > 0; left -= block) {
      pieces.push_back(std::min(left, block));
      frames -= pieces.back();
    }
  }
  return pieces;
}

/// The effect's ProcessBlock called directly in `pieces` on a stereo object set up, seeded and
/// controlled as the instances are, on `in` widened and narrowed back as the adapter does it.
Planar<float> DirectRender(const Planar<float>& in, const std::vector<int>& pieces) {
  tolvane::Tolvane effect({InstanceInfo::kRoleProcessor, 2});
  effect.Instantiate(kRate, nullptr);
  effect.OnVendorRequest(tolvane::kSeedRequest, kSeed, nullptr, 1.0);
  effect.GetParam(tolvane::kInputGain)->SetValue(150.f);
  effect.GetParam(tolvane::kBias)->SetValue(0.6f);
  std::vector<double> wide[2], out[2];
  for (size_t c = 0; c < 2; ++c) {
    wide[c].assign(in.channel[c].begin(), in.channel[c].end());
    out[c].resize(wide[c].size());
  }
  for (size_t offset = 0, i = 0; i < pieces.size(); offset += pieces[i++]) {
    double* ins[2] = {wide[0].data() + offset, wide[1].data() + offset};
    double* outs[2] = {out[0].data() + offset, out[1].data() + offset};
    effect.ProcessBlock(ins, outs, pieces[i]);
  }
  Planar<float> narrow(2, in.Frames());
  for (size_t c = 0; c < 2; ++c) std::copy(out[c].begin(), out[c].end(), narrow.channel[c].begin());
  return narrow;
}

TEST(Lv2DescriptorTest, NameBothVariantsAndOneEditorWithTheirInterfaces) {
  const struct {
    const char* uri;
    int channels;
  } variants[] = {{"urn:quellmark:tolvane", 2}, {"urn:quellmark:tolvane:mono", 1}};
  for (uint32_t i = 0; i < 2; ++i) {
    ASSERT_NE(lv2_descriptor(i), nullptr);
    EXPECT_STREQ(lv2_descriptor(i)->URI, variants[i].uri);
    Lv2Instance plug(lv2_descriptor(i), kRate, nullptr);
    ASSERT_TRUE(plug.Ok());
    EXPECT_EQ(plug.Adapter().NPorts(), tolvane::kNumParams + 2 * variants[i].channels);
  }
  EXPECT_EQ(lv2_descriptor(2), nullptr);
  ASSERT_NE(lv2ui_descriptor(0), nullptr);
  EXPECT_STREQ(lv2ui_descriptor(0)->URI, "urn:quellmark:tolvane:ui");
  EXPECT_EQ(lv2ui_descriptor(1), nullptr);
  const struct {
    const char* uri;
    bool plugin;  // answered by the plug-in's descriptor
    bool ui;      // answered by the editor's
  } interfaces[] = {
      {LV2_STATE__interface, true, false},    {KANTELE_LV2_VENDOR_REQUEST_URI, true, false},
      {LV2_UI__idleInterface, false, true},   {LV2_UI__resize, false, true},
      {"urn:kantele:lv2#none", false, false}, {nullptr, false, false}};
  for (const auto& c : interfaces) {
    SCOPED_TRACE(c.uri ? c.uri : "null");
    EXPECT_EQ(MonoDescriptor()->extension_data(c.uri) != nullptr, c.plugin);
    EXPECT_EQ(lv2ui_descriptor(0)->extension_data(c.uri) != nullptr, c.ui);
  }
}

TEST(Lv2InstantiateTest, RefusesRatesThatAreNotFiniteAndPositive) {
  const double inf = std::numeric_limits<double>::infinity();
  for (double rate : {0.0, -44100.0, std::nan(""), inf, -inf}) {
    SCOPED_TRACE(rate);
    EXPECT_FALSE(Lv2Instance(StereoDescriptor(), rate, nullptr).Ok());
  }
  EXPECT_TRUE(Lv2Instance(StereoDescriptor(), 1.0, nullptr).Ok());
  // A descriptor naming a plug-in the module does not offer makes nothing.
  LV2_Descriptor other = *StereoDescriptor();
  other.URI = "urn:quellmark:other";
  EXPECT_EQ(other.instantiate(&other, kRate, "/nowhere/", nullptr), nullptr);
}

// Without the host's URID map there is no state, but the instance processes as any other.
TEST(Lv2InstantiateTest, RunsWithoutFeaturesButHasNoState) {
  Lv2Instance plug(StereoDescriptor(), kRate, nullptr);
  ASSERT_TRUE(plug.Ok());
  Planar<float> in = TestSignal<float>(2, 1000, kRate);
  EXPECT_NE(plug.Render(in, {1000}), Planar<float>(2, 1000));
  Lv2StateStore store;
  EXPECT_EQ(plug.Save(store), LV2_STATE_ERR_NO_FEATURE);
  EXPECT_EQ(plug.Restore(store), LV2_STATE_ERR_NO_FEATURE);
}

// The block is the maximum block length when the host gives a usable one, else the nominal one,
// else the default; values of another type or size, and lengths no block can have, are passed
// over.
TEST(Lv2InstantiateTest, TakesTheBlockLengthFromTheOptions) {
  const char* maxKey = LV2_BUF_SIZE__maxBlockLength;
  const char* nominalKey = LV2_BUF_SIZE__nominalBlockLength;
  struct Case {
    const char* name;
    std::vector<Lv2Option> options;
    int block;
    bool withMap;
  };
  const Case cases[] = {
      {"none", {}, 512, true},
      {"maximum", {IntOption(maxKey, 256)}, 256, true},
      {"nominal", {IntOption(nominalKey, 128)}, 128, true},
      {"both", {IntOption(nominalKey, 128), IntOption(maxKey, 1024)}, 1024, true},
      {"long", {LongOption(maxKey, 2048)}, 2048, true},
      {"zero", {IntOption(maxKey, 0)}, 512, true},
      {"negative", {LongOption(maxKey, -64)}, 512, true},
      {"too long", {IntOption(maxKey, IProcessor::kMaxBlockSize + 1)}, 512, true},
      {"beyond 32 bits", {LongOption(maxKey, (int64_t{1} << 32) + 64)}, 512, true},
      {"absurd maximum, usable nominal",
       {IntOption(maxKey, -1), IntOption(nominalKey, 64)},
       64,
       true},
      {"float type", {IntOption(maxKey, 256, LV2_ATOM__Float)}, 512, true},
      {"long type, int size", {IntOption(maxKey, 256, LV2_ATOM__Long)}, 512, true},
      {"without the map", {IntOption(maxKey, 256)}, 512, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Lv2Features features(c.withMap, c.options);
    Lv2Instance plug(StereoDescriptor(), kRate, features.List());
    ASSERT_TRUE(plug.Ok());
    EXPECT_EQ(plug.Adapter().GetBlockSize(), c.block);
  }
}

class Lv2RunTest : public ::testing::Test {
 protected:
  /// An instance of `descriptor` with the test's controls, seeded, its block `block` frames.
  std::unique_ptr<Lv2Instance> Make(const LV2_Descriptor* descriptor, int block = 512) {
    mFeatures.push_back(std::make_unique<Lv2Features>(
        true, std::vector{IntOption(LV2_BUF_SIZE__maxBlockLength, block)}));
    auto plug = std::make_unique<Lv2Instance>(descriptor, kRate, mFeatures.back()->List());
    EXPECT_TRUE(plug->Ok());
    SetControls(*plug);
    EXPECT_EQ(plug->VendorRequest(tolvane::kSeedRequest, kSeed, 1.0), 1);
    return plug;
  }

  std::vector<std::unique_ptr<Lv2Features>> mFeatures;
  Planar<float> mIn = TestSignal<float>(2, 3000, kRate);
};

// The control ports are read once per run, a run of no frames included (which writes no
// output); a value is applied only when it changed since the last run.
TEST_F(Lv2RunTest, AppliesControlPortChangesOnly) {
  auto plug = Make(StereoDescriptor());
  IParam& gain = *plug->Adapter().GetParam(tolvane::kInputGain);
  Planar<float> out(2, 16);
  for (auto& c : out.channel) std::fill(c.begin(), c.end(), 7.f);
  const Planar<float> untouched = out;
  struct Case {
    float port;
    double value;  // Input Gain after the run
  };
  const Case cases[] = {{50.f, 50.0}, {120.5f, 120.5}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.port);
    plug->Control(tolvane::kInputGain) = c.port;
    plug->Run(mIn, out, 0, 0);
    EXPECT_EQ(gain.GetValue(), c.value);
    // Changed another way, the parameter keeps that value while the port stays as it is.
    gain.SetValue(77.0);
    plug->Run(mIn, out, 0, 0);
    EXPECT_EQ(gain.GetValue(), 77.0);
  }
  EXPECT_EQ(out, untouched);
  // A port the host disconnected is not read.
  plug->Connect(tolvane::kWet, nullptr);
  plug->Control(tolvane::kWet) = 10.f;
  plug->Run(0);
  EXPECT_EQ(plug->Adapter().GetParam(tolvane::kWet)->GetValue(), 87.0);
}

// Whatever the block size and however the host splits the stream into runs (a run much longer
// than the block, runs of no frames), in place or not, the output is bit for bit the effect's
// ProcessBlock on the same pieces, and the same as running those pieces one by one.
TEST_F(Lv2RunTest, OutputIsTheEffectsProcessBlockForAnySplit) {
  struct Case {
    int block;
    std::vector<int> runs;
    bool inPlace;
  };
  const Case cases[] = {{512, {3000}, false},
                        {512, {512}, true},
                        {64, {100, 27, 64, 1}, false},
                        {256, {0, 700}, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "block " << c.block << ", first run " << c.runs[0]);
    const std::vector<int> pieces = Pieces(c.runs, c.block, mIn.Frames());
    const Planar<float> whole = Make(StereoDescriptor(), c.block)->Render(mIn, c.runs, c.inPlace);
    EXPECT_EQ(whole, Make(StereoDescriptor(), c.block)->Render(mIn, pieces));
    EXPECT_EQ(whole, DirectRender(mIn, pieces));
    EXPECT_NE(whole, mIn);
  }
}

// An unconnected input reads silence, an unconnected output is not written, and a run with no
// audio ports at all processes nothing and does not fail.
TEST_F(Lv2RunTest, UnconnectedAudioPortsAreSilenceAndNotWritten) {
  const Planar<float> reference = Make(StereoDescriptor())->Render(mIn, {512});
  auto plug = Make(StereoDescriptor());
  Planar<float> out(2, 512);
  std::vector<float> disconnected(512, 7.f);
  const uint32_t in0 = static_cast<uint32_t>(plug->Adapter().FirstInputPort());
  const uint32_t out0 = static_cast<uint32_t>(plug->Adapter().FirstOutputPort());
  plug->Connect(in0, mIn.channel[0].data());
  plug->Connect(in0 + 1, nullptr);
  plug->Connect(out0, out.channel[0].data());
  plug->Connect(out0 + 1, disconnected.data());
  plug->Connect(out0 + 1, nullptr);
  plug->Run(512);
  EXPECT_TRUE(
      std::equal(out.channel[0].begin(), out.channel[0].end(), reference.channel[0].begin()));
  EXPECT_EQ(disconnected, std::vector<float>(512, 7.f));
  // Silence in: what the effect makes of silence (a little offset from the bias, never the
  // signal's level) is written.
  std::fill(out.channel[1].begin(), out.channel[1].end(), 7.f);
  plug->Connect(out0 + 1, out.channel[1].data());
  plug->Run(512);
  for (float v : out.channel[1]) ASSERT_LT(std::fabs(v), 1e-3f);
  // Nothing connected.
  for (uint32_t p = in0; p < out0 + 2; ++p) plug->Connect(p, nullptr);
  plug->Run(512);
  plug->Run(0);
}

// Control changes, long runs split into pieces, short, empty and in-place runs: nothing
// allocates.
TEST_F(Lv2RunTest, RunAllocatesNothing) {
  auto plug = Make(StereoDescriptor(), 256);
  Planar<float> out(2, mIn.Frames());
  ScopedAllocTrap trap;
  for (int i = 0; i < 8; ++i) {
    for (int p = 0; p < tolvane::kNumParams; ++p) plug->Control(p) = static_cast<float>(i % 3);
    plug->Run(mIn, out, 0, 3000);
    plug->Run(mIn, out, 100, 64);
    plug->Run(mIn, out, 0, 0);
    plug->Run(out, out, 0, 1000);
  }
  EXPECT_EQ(trap.Allocations(), 0);
}

class Lv2StateTest : public ::testing::Test {
 protected:
  /// The one property a save stores.
  Lv2StateStore::Property Saved(Lv2Instance& plug) {
    Lv2StateStore store;
    EXPECT_EQ(plug.Save(store), LV2_STATE_SUCCESS);
    EXPECT_EQ(store.mProperties.size(), 1u);
    return store.mProperties[Key()];
  }
  uint32_t Key() { return mFeatures.Map(ILv2Adapter::kStateChunkUri); }
  uint32_t ChunkType() { return mFeatures.Map(LV2_ATOM__Chunk); }
  std::vector<double> Values(Lv2Instance& plug) {
    std::vector<double> values;
    for (int i = 0; i < plug.Adapter().NParams(); ++i) {
      values.push_back(plug.Adapter().GetParam(i)->GetValue());
    }
    return values;
  }

  Lv2Features mFeatures;
  Lv2Instance mPlug{StereoDescriptor(), kRate, mFeatures.List()};
};

// Each refused state answers its status and changes neither a parameter nor a saved byte.
TEST_F(Lv2StateTest, RefusedStatesChangeNothing) {
  ASSERT_TRUE(mPlug.Ok());
  mPlug.Control(tolvane::kWet) = 20.f;
  mPlug.Run(0);
  const Lv2StateStore::Property good = Saved(mPlug);
  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
    uint32_t type;
    size_t reportedSize;  // 0: the size of the bytes
    LV2_State_Status status;
  };
  const std::vector<uint8_t>& b = good.mBytes;
  const std::vector<uint8_t> truncated(b.begin(), b.end() - 3),
      headerOnly(b.begin(), b.begin() + 8);
  const std::vector<uint8_t> garbage = {'n', 'o', 't', ' ', 'a', ' ', 's', 't', 'a', 't', 'e'};
  const uint32_t chunk = ChunkType();
  const Case cases[] = {
      {"wrong type", b, mFeatures.Map(LV2_ATOM__String), 0, LV2_STATE_ERR_BAD_TYPE},
      {"oversize", b, chunk, ILv2Adapter::kMaxStateSize + size_t{1}, LV2_STATE_ERR_UNKNOWN},
      {"truncated", truncated, chunk, 0, LV2_STATE_ERR_UNKNOWN},
      {"header only", headerOnly, chunk, 0, LV2_STATE_ERR_UNKNOWN},
      {"garbage", garbage, chunk, 0, LV2_STATE_ERR_UNKNOWN},
      {"empty", {}, chunk, 0, LV2_STATE_ERR_UNKNOWN},
  };
  // Other values than the saved ones, so that a state taken in part would show.
  mPlug.Control(tolvane::kWet) = 60.f;
  mPlug.Control(tolvane::kTame) = 0.25f;
  mPlug.Run(0);
  const std::vector<double> values = Values(mPlug);
  const std::vector<uint8_t> bytes = Saved(mPlug).mBytes;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Lv2StateStore store;
    store.mProperties[Key()] = {c.bytes, c.type, 0,
                                c.reportedSize ? c.reportedSize : c.bytes.size()};
    EXPECT_EQ(mPlug.Restore(store), c.status);
    EXPECT_EQ(Values(mPlug), values);
    EXPECT_EQ(Saved(mPlug).mBytes, bytes);
  }
  Lv2StateStore none;
  EXPECT_EQ(mPlug.Restore(none), LV2_STATE_ERR_NO_PROPERTY);
  EXPECT_EQ(Values(mPlug), values);
}

// After a restore the host's control ports still hold the values from before (here the
// defaults, never run yet, as when a host restores a session): the restored state holds over
// any number of runs until the host moves a port, and then only that port's value applies.
TEST_F(Lv2StateTest, RestoredStateHoldsUntilTheHostMovesAControl) {
  Lv2Instance source(StereoDescriptor(), kRate, mFeatures.List());
  source.Control(tolvane::kInputGain) = 150.f;
  source.Control(tolvane::kWet) = 20.f;
  source.Run(0);
  Lv2StateStore store;
  ASSERT_EQ(source.Save(store), LV2_STATE_SUCCESS);

  ASSERT_EQ(mPlug.Restore(store), LV2_STATE_SUCCESS);
  Planar<float> in = TestSignal<float>(2, 2048, kRate);
  mPlug.Render(in, {512});
  EXPECT_EQ(Values(mPlug), Values(source));
  mPlug.Control(tolvane::kInputGain) = 60.f;
  mPlug.Run(0);
  EXPECT_EQ(mPlug.Adapter().GetParam(tolvane::kInputGain)->GetValue(), 60.0);
  EXPECT_EQ(mPlug.Adapter().GetParam(tolvane::kWet)->GetValue(), 20.0);
}

TEST_F(Lv2RunTest, SeedRequestMakesRendersRepeatable) {
  const Planar<float> first = Make(StereoDescriptor())->Render(mIn, {512});
  EXPECT_EQ(Make(StereoDescriptor())->Render(mIn, {512}), first);
  // Seeded, then returned to the random device: another knee sequence.
  auto unseeded = Make(StereoDescriptor());
  EXPECT_EQ(unseeded->VendorRequest(tolvane::kSeedRequest, kSeed, 0.0), 1);
  EXPECT_NE(unseeded->Render(mIn, {512}), first);
  EXPECT_EQ(unseeded->VendorRequest(0x12345678, 1, 1.0), 0);
}

}  // namespace
}  // namespace kantele::test
