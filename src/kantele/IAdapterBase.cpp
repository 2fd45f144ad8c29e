#include "kantele/IAdapterBase.h"

#include <cmath>

namespace kantele {

IAdapterBase::IAdapterBase(const Config& config)
    : IApiBase(config), IProcessor(config.ForProcessor()) {}

IAdapterBase::~IAdapterBase() = default;

bool IAdapterBase::SetParamFromHost(int paramIdx, double value, EHostValue kind, int sampleOffset) {
  IParam* param = GetParam(paramIdx);
  if (!param || std::isnan(value)) return false;
  if (kind == EHostValue::kNormalized) {
    param->SetFromNormalized(value < 0.0 ? 0.0 : value > 1.0 ? 1.0 : value);
  } else {
    // The parameter model quantises and clamps; an infinite value ends at the range's end.
    param->SetValue(value);
  }
  const double stored = param->GetValue();
  if (mEditorSharesObject) QueueParamValueForEditor(paramIdx, stored, false);
  if (sampleOffset >= 0) AddBlockParamChange(paramIdx, sampleOffset, stored);
  OnParamChange(paramIdx, kSourceHost, sampleOffset >= 0 ? sampleOffset : -1);
  return true;
}

TimeInfo IAdapterBase::TimeInfoFromHost(const HostTransport& t) {
  TimeInfo info;
  info.mSamplePos = t.mSamplePos;
  if (t.mPPQPosValid && t.mPPQPos >= 0.0) info.mPPQPos = t.mPPQPos;
  if (t.mTempoValid && t.mTempo > 0.0) info.mTempo = t.mTempo;
  if (t.mLastBarValid && t.mLastBar >= 0.0) info.mLastBar = t.mLastBar;
  if (t.mCycleValid && t.mCycleStart >= 0.0 && t.mCycleEnd >= 0.0) {
    info.mCycleStart = t.mCycleStart;
    info.mCycleEnd = t.mCycleEnd;
  }
  if (t.mTimeSigValid && t.mNumerator > 0 && t.mDenominator > 0) {
    info.mNumerator = t.mNumerator;
    info.mDenominator = t.mDenominator;
  }
  info.mTransportIsRunning = t.mPlaying;
  info.mTransportLoopEnabled = t.mCycleActive;
  return info;
}

std::mutex& PluginConstructionLock() {
  static std::mutex lock;
  return lock;
}

}  // namespace kantele
