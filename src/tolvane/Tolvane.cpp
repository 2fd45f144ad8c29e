#include "tolvane/Tolvane.h"

#include "tolvane/TolvaneEditor.h"

namespace tolvane {

using namespace kantele;

namespace {

// The signal processing numbers the parameters as the effect does, so an index is its DspParam.
static_assert(kNumParams == kNumDspParams, "every parameter reaches the signal processing");
static_assert(static_cast<int>(DspParam::kInputGain) == kInputGain &&
                  static_cast<int>(DspParam::kWet) == kWet &&
                  static_cast<int>(DspParam::kTame) == kTame &&
                  static_cast<int>(DspParam::kReact) == kReact &&
                  static_cast<int>(DspParam::kBypass) == kBypass &&
                  static_cast<int>(DspParam::kOutputGain) == kOutputGain &&
                  static_cast<int>(DspParam::kBias) == kBias,
              "the signal processing's parameter numbers are the effect's");

}  // namespace

Config Tolvane::MakeConfig() {
  Config c;
  c.mNParams = kNumParams;
  c.mNPresets = 1;
  c.mChannelIOStr = "1-1 2-2";
  c.mPluginName = "Tolvane";
  c.mProductName = "Tolvane";
  c.mMfrName = "Quellmark";
  c.mVendorVersion = 0x00010000;
  c.mUniqueID = MakeFourCC('o', 'f', 'z', 'o');
  c.mMfrID = MakeFourCC('Q', 'M', 'L', 'K');
  c.mLatency = 0;
  c.mPlugDoesMidiIn = false;
  c.mPlugDoesMidiOut = false;
  c.mPlugDoesMPE = false;
  c.mPlugDoesChunks = false;
  c.mPlugType = 0;
  c.mPlugHasUI = true;
  c.mPlugWidth = 1630;
  c.mPlugHeight = 1010;
  c.mPlugMinWidth = 815;
  c.mPlugMaxWidth = 3260;
  c.mPlugMinHeight = 505;
  c.mPlugMaxHeight = 2020;
  c.mPlugHostResize = true;
  c.mBundleID = "";
  c.mBypassParam = kBypass;
  c.mEffectCategory = "Distortion";
  return c;
}

Tolvane::Tolvane(const InstanceInfo& info)
    : IPluginAdapter(info, MakeConfig()),
      mDsp(DspChannelCount()),
      mDspChanges(static_cast<size_t>(kMaxBlockParamChanges)) {
  mDsp.UseSmoothing(true);

  // The configuration order is part of the effect's definition.
  GetParam(kOutputGain)->ConfigureDouble("Output Gain", 100., 0., 200., 0.01, "%");
  GetParam(kInputGain)->ConfigureDouble("Input Gain", 32., 0., 200., 0.01, "%");
  GetParam(kWet)->ConfigureDouble("Wet", 87., 0., 100., 0.01, "%");
  GetParam(kReact)->ConfigureDouble("React", 1., 0., 1., 1.);
  GetParam(kTame)->ConfigureDouble("Tame", 0.5, 0., 1., 0.001);
  GetParam(kBias)->ConfigureDouble("Bias", 0.5, 0., 1., 0.001);
  GetParam(kBypass)->ConfigureDouble("Bypass", 0., 0., 1., 1.);

  // Last: the editor's graphics factory and layout. Neither runs here; the host's request to
  // open the editor runs both.
  SetOpeningSize(kEditorWidth, kEditorHeight, kEditorInitialScale);
  SetMakeGraphicsFunc([this] { return MakeEditorGraphics(*this); });
  SetLayoutFunc([this](kantele::gfx::IGfx& g) { LayoutEditor(g, *this); });
}

Tolvane::~Tolvane() = default;

int Tolvane::DspChannelCount() const {
  const int n = CountConnectedChannels(kDirOutput);
  return n <= 2 ? 2 : n;
}

void Tolvane::ProcessBlock(Sample** inputs, Sample** outputs, int nFrames) {
  DspParams p;
  for (int i = 0; i < kNumParams; ++i) {
    p.*kDspParamFields[i] = GetParam(i)->GetValue();
  }
  const ParamChange* changes = GetBlockParamChanges();
  const int nHost = NBlockParamChanges();
  int n = 0;
  for (int i = 0; i < nHost && n < static_cast<int>(mDspChanges.size()); ++i) {
    const ParamChange& c = changes[i];
    if (c.mIdx < 0 || c.mIdx >= kNumParams) continue;
    mDspChanges[static_cast<size_t>(n++)] = {c.mOffset, static_cast<DspParam>(c.mIdx), c.mValue};
  }
  mDsp.ProcessBlock(inputs, outputs, nFrames, p, GetSampleRate(),
                    CountConnectedChannels(kDirOutput), mDspChanges.data(), n);
}

void Tolvane::OnReset() { mDsp.OnReset(GetSampleRate()); }

int64_t Tolvane::OnVendorRequest(int32_t tag, int64_t value, void* data, double opt) {
  if (tag != kSeedRequest) return IPluginAdapter::OnVendorRequest(tag, value, data, opt);
  if (opt != 0.0) {
    mDsp.Knee().UseSeed(static_cast<uint32_t>(static_cast<uint64_t>(value) & 0xFFFFFFFFu));
  } else {
    mDsp.Knee().UseRandomDevice();
  }
  return 1;
}

}  // namespace tolvane
