#include "kantele/IProcessor.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

namespace kantele {

namespace {

// Reads one bus token. Returns the channel count, or 0 for a malformed token.
// strtol rather than sscanf("%d"): same prefix grammar, but an overflowing
// number is reported (ERANGE) instead of being undefined behaviour.
long ParseBusToken(const std::string& token) {
  if (token == "*") return IProcessor::kWildcardChannels;
  const char* start = token.c_str();
  char* end = nullptr;
  errno = 0;
  long n = std::strtol(start, &end, 10);
  if (end == start || errno == ERANGE) return 0;
  return n;
}

// Appends the buses of one direction's part ("2.2", "*", "") to `buses`.
void ParseBusList(const std::string& part, EChannelDirection dir, std::vector<BusSpec>& buses) {
  int total = 0;
  size_t pos = 0;
  for (;;) {
    size_t dot = part.find('.', pos);
    std::string token = part.substr(pos, dot == std::string::npos ? std::string::npos : dot - pos);
    long n = ParseBusToken(token);
    // Bounds keep every total within [-64 * kMaxChannels, kMaxChannels], so the
    // slot arrays stay small and no sum can overflow.
    const bool wildcard = token == "*";
    const bool inRange = wildcard || (n > 0 && n <= IProcessor::kMaxChannels &&
                                      total + n <= IProcessor::kMaxChannels);
    if (n != 0 && inRange && static_cast<int>(buses.size()) < IProcessor::kMaxChannels) {
      buses.push_back(BusSpec{dir, static_cast<int32_t>(n)});
      total += static_cast<int>(n);
    }
    if (dot == std::string::npos) break;
    pos = dot + 1;
  }
}

}  // namespace

int ChannelConfig::NChansOnBuses(EChannelDirection dir) const {
  int total = 0;
  for (const BusSpec& bus : Buses(dir)) total += bus.mNChans;
  return total;
}

IProcessor::IProcessor(const ProcessorConfig& config)
    : mPlugType(config.mPlugType),
      mDoesMidiIn(config.mDoesMidiIn),
      mDoesMidiOut(config.mDoesMidiOut),
      mDoesMPE(config.mDoesMPE),
      mLatency(config.mLatency),
      mPendingChanges(static_cast<size_t>(kMaxBlockParamChanges)),
      mPieceChanges(static_cast<size_t>(kMaxBlockParamChanges)) {
  int maxIn = 0, maxOut = 0, maxInBuses = 0, maxOutBuses = 0;
  ParseChannelIO(config.mChannelIO, mChannelConfigs, maxIn, maxOut, maxInBuses, maxOutBuses);
  const int counts[2] = {maxIn, maxOut};
  for (int d = 0; d < 2; ++d) {
    // Both vectors are sized once here and never again, so the slots' pointers
    // into mChannelData stay valid for the frame's lifetime.
    mChannelData[d].assign(static_cast<size_t>(counts[d]), nullptr);
    mChannels[d].resize(static_cast<size_t>(counts[d]));
    for (int i = 0; i < counts[d]; ++i) mChannels[d][i].mData = &mChannelData[d][i];
  }
}

IProcessor::~IProcessor() = default;

void IProcessor::ProcessBlock(Sample** inputs, Sample** outputs, int nFrames) {
  if (!outputs || nFrames <= 0) return;
  const size_t n = static_cast<size_t>(nFrames);
  const size_t nIn = inputs ? mChannelData[kDirInput].size() : 0;
  const size_t nOut = mChannelData[kDirOutput].size();
  for (size_t i = 0; i < nOut; ++i) {
    Sample* out = outputs[i];
    if (!out) continue;
    const Sample* in = i < nIn ? inputs[i] : nullptr;
    if (!in) {
      std::fill_n(out, n, 0.0);
    } else if (in != out) {
      // memmove: a host may hand overlapping in-place buffers.
      std::memmove(out, in, n * sizeof(Sample));
    }
  }
}

void IProcessor::ProcessMidiMsg(const MidiMsg& msg) { SendMidiMsg(msg); }

void IProcessor::ProcessSysEx(const SysExMsg&) {}

void IProcessor::OnReset() {}

void IProcessor::OnActivate(bool) {}

bool IProcessor::SendMidiMsgs(const MidiMsg* msgs, int count) {
  if (count <= 0) return true;
  if (!msgs) return false;
  bool allSent = true;
  for (int i = 0; i < count; ++i) {
    if (!SendMidiMsg(msgs[i])) allSent = false;
  }
  return allSent;
}

bool IProcessor::SendSysEx(const SysExMsg&) { return false; }

void IProcessor::GetBusName(EChannelDirection dir, int busIdx, int nBuses, Text& out) const {
  if (dir == kDirInput) {
    if (nBuses == 1) {
      out.Set("Input", kMaxBusNameLen);
    } else if (nBuses == 2) {
      out.Set(busIdx == 0 ? "Main" : "Aux", kMaxBusNameLen);
    } else {
      out.SetFormatted(kMaxBusNameLen, "Input %i", busIdx);
    }
  } else if (dir == kDirOutput) {
    if (nBuses == 1) {
      out.Set("Output", kMaxBusNameLen);
    } else {
      out.SetFormatted(kMaxBusNameLen, "Output %i", busIdx);
    }
  } else {
    out.Clear();
  }
}

void IProcessor::SetLatency(int samples) { mLatency = samples; }

int IProcessor::ParseChannelIO(const char* text, std::vector<ChannelConfig>& configs,
                               int& maxNInChans, int& maxNOutChans, int& maxNInBuses,
                               int& maxNOutBuses) {
  maxNInChans = maxNOutChans = maxNInBuses = maxNOutBuses = 0;
  configs.clear();
  const std::string copy = text ? text : "";
  size_t pos = 0;
  while (pos < copy.size()) {
    if (copy[pos] == ' ') {
      ++pos;
      continue;
    }
    size_t end = copy.find(' ', pos);
    if (end == std::string::npos) end = copy.size();
    const std::string token = copy.substr(pos, end - pos);
    pos = end;

    // Split at every "-": an empty input part ("-2") is an input of 0 channels.
    const size_t dash = token.find('-');
    const std::string inPart = token.substr(0, dash);
    std::string outPart;
    if (dash != std::string::npos) {
      const size_t dash2 = token.find('-', dash + 1);
      outPart = token.substr(dash + 1, dash2 == std::string::npos ? dash2 : dash2 - dash - 1);
    }

    ChannelConfig config;
    ParseBusList(inPart, kDirInput, config.mInBuses);
    ParseBusList(outPart, kDirOutput, config.mOutBuses);
    maxNInChans = std::max(maxNInChans, config.NChansOnBuses(kDirInput));
    maxNOutChans = std::max(maxNOutChans, config.NChansOnBuses(kDirOutput));
    maxNInBuses = std::max(maxNInBuses, config.NBuses(kDirInput));
    maxNOutBuses = std::max(maxNOutBuses, config.NBuses(kDirOutput));
    configs.push_back(std::move(config));
  }
  return static_cast<int>(configs.size());
}

bool IProcessor::LegalIO(int nIn, int nOut) const {
  bool legal = false;
  for (const ChannelConfig& config : mChannelConfigs) {
    if ((nIn < 0 || nIn == config.NChansOnBuses(kDirInput)) &&
        (nOut < 0 || nOut == config.NChansOnBuses(kDirOutput))) {
      legal = true;
      break;
    }
  }
  return legal;
}

void IProcessor::ConnectChannels(EChannelDirection dir, int first, int count, bool connected) {
  std::vector<ChannelSlot>* slots = Slots(dir);
  if (!slots || count <= 0) return;
  // 64-bit bounds: first + count may not fit in an int.
  const long long begin = std::max<long long>(first, 0);
  const long long end = std::min<long long>(static_cast<long long>(first) + count,
                                            static_cast<long long>(slots->size()));
  for (long long i = begin; i < end; ++i) {
    ChannelSlot& slot = (*slots)[static_cast<size_t>(i)];
    if (!connected) {
      // Scratch of an input may still hold converted host samples from earlier
      // blocks; the effect must read silence from a disconnected input.
      if (dir == kDirInput) std::fill(slot.mScratch.begin(), slot.mScratch.end(), 0.0);
      *slot.mData = slot.mScratch.data();
      slot.mHostSrc = nullptr;
      slot.mHostDest = nullptr;
      slot.mHostDouble = nullptr;
    }
    slot.mConnected = connected;
  }
}

int IProcessor::CountConnectedChannels(EChannelDirection dir) const {
  const std::vector<ChannelSlot>* slots = Slots(dir);
  if (!slots) return 0;
  return static_cast<int>(std::count_if(slots->begin(), slots->end(),
                                        [](const ChannelSlot& s) { return s.mConnected; }));
}

void IProcessor::SetBlockSize(int nFrames) {
  if (nFrames < 0) return;
  nFrames = std::min(nFrames, kMaxBlockSize);
  if (nFrames == mBlockSize) return;
  for (std::vector<ChannelSlot>& slots : mChannels) {
    for (ChannelSlot& slot : slots) {
      slot.mScratch.assign(static_cast<size_t>(nFrames), 0.0);
      // The old scratch is gone: no data entry may keep pointing into it.
      *slot.mData = slot.mScratch.data();
      slot.mHostSrc = nullptr;
      slot.mHostDest = nullptr;
      slot.mHostDouble = nullptr;
    }
  }
  mBlockSize = nFrames;
}

void IProcessor::AttachFloatBuffers(EChannelDirection dir, float** hostData, int nFrames) {
  std::vector<ChannelSlot>* slots = Slots(dir);
  if (!slots || nFrames < 0) return;
  int next = 0;
  for (ChannelSlot& slot : *slots) {
    float* host = nullptr;
    if (slot.mConnected) host = hostData ? hostData[next++] : nullptr;
    slot.mHostDouble = nullptr;
    slot.mHostSrc = dir == kDirInput ? host : nullptr;
    slot.mHostDest = dir == kDirInput ? nullptr : host;
  }
}

void IProcessor::AttachDoubleBuffers(EChannelDirection dir, Sample** hostData, int nFrames) {
  std::vector<ChannelSlot>* slots = Slots(dir);
  if (!slots || nFrames < 0) return;
  int next = 0;
  for (ChannelSlot& slot : *slots) {
    Sample* host = nullptr;
    if (slot.mConnected) host = hostData ? hostData[next++] : nullptr;
    slot.mHostDouble = host;
    slot.mHostSrc = nullptr;
    slot.mHostDest = nullptr;
  }
}

void IProcessor::ProcessFloatBuffers(int nFrames) { ProcessPieces(nFrames, false); }

void IProcessor::ProcessFloatBuffersAccumulating(int nFrames) { ProcessPieces(nFrames, true); }

void IProcessor::ProcessDoubleBuffers(int nFrames) { ProcessPieces(nFrames, false); }

void IProcessor::ProcessPieces(int nFrames, bool accumulate) {
  if (nFrames < 0) return;
  if (mBlockSize <= 0) {
    // Nothing was set up to process with: the host hears silence.
    for (ChannelSlot& slot : mChannels[kDirOutput]) {
      if (!slot.mConnected) continue;
      if (slot.mHostDouble) std::fill_n(slot.mHostDouble, nFrames, 0.0);
      if (slot.mHostDest && !accumulate) std::fill_n(slot.mHostDest, nFrames, 0.0f);
    }
  } else {
    SortPendingChanges();
    // A block of no frames is still one call of ProcessBlock.
    int start = 0;
    do {
      const int n = std::min(nFrames - start, mBlockSize);
      ProcessPiece(start, n, start + n == nFrames, accumulate);
      start += n;
    } while (start < nFrames);
  }
  mNPendingChanges = 0;
}

void IProcessor::ProcessPiece(int start, int n, bool last, bool accumulate) {
  for (ChannelSlot& slot : mChannels[kDirInput]) {
    if (slot.mHostDouble) {
      *slot.mData = slot.mHostDouble + start;
      continue;
    }
    Sample* scratch = slot.mScratch.data();
    *slot.mData = scratch;
    if (slot.mHostSrc) {
      const float* src = slot.mHostSrc + start;
      for (int i = 0; i < n; ++i) scratch[i] = static_cast<Sample>(src[i]);
    } else {
      std::fill_n(scratch, n, 0.0);
    }
  }
  for (ChannelSlot& slot : mChannels[kDirOutput]) {
    *slot.mData = slot.mHostDouble ? slot.mHostDouble + start : slot.mScratch.data();
  }

  // The piece's changes, relative to its start; the last piece takes any change placed past
  // the host's block, at its last frame.
  int count = 0;
  for (int i = 0; i < mNPendingChanges; ++i) {
    const ParamChange& change = mPendingChanges[static_cast<size_t>(i)];
    if (change.mOffset < start || (!last && change.mOffset >= start + n)) continue;
    ParamChange& piece = mPieceChanges[static_cast<size_t>(count++)];
    piece = change;
    piece.mOffset = std::min(change.mOffset - start, std::max(n - 1, 0));
  }
  mBlockChanges = count > 0 ? mPieceChanges.data() : nullptr;
  mNBlockChanges = count;
  ProcessBlock(mChannelData[kDirInput].data(), mChannelData[kDirOutput].data(), n);
  mBlockChanges = nullptr;
  mNBlockChanges = 0;

  for (ChannelSlot& slot : mChannels[kDirOutput]) {
    float* dest = slot.mHostDest;
    if (!slot.mConnected || !dest) continue;
    dest += start;
    const Sample* src = slot.mScratch.data();
    if (accumulate) {
      for (int i = 0; i < n; ++i) dest[i] += static_cast<float>(src[i]);
    } else {
      for (int i = 0; i < n; ++i) dest[i] = static_cast<float>(src[i]);
    }
  }
}

void IProcessor::SortPendingChanges() {
  // Insertion sort: stable (a parameter's changes keep their order), allocation-free, and
  // linear for the already ordered lists hosts send.
  ParamChange* changes = mPendingChanges.data();
  for (int i = 1; i < mNPendingChanges; ++i) {
    const ParamChange change = changes[i];
    int j = i;
    for (; j > 0 && changes[j - 1].mOffset > change.mOffset; --j) changes[j] = changes[j - 1];
    changes[j] = change;
  }
}

void IProcessor::DiscardBlockParamChanges() { mNPendingChanges = 0; }

bool IProcessor::AddBlockParamChange(int paramIdx, int offset, double value) {
  if (mNPendingChanges >= kMaxBlockParamChanges) return false;
  ParamChange& change = mPendingChanges[static_cast<size_t>(mNPendingChanges++)];
  change.mIdx = paramIdx;
  change.mOffset = offset < 0 ? 0 : offset;
  change.mValue = value;
  return true;
}

int IProcessor::MaxNChannels(EChannelDirection dir) const {
  const std::vector<ChannelSlot>* slots = Slots(dir);
  return slots ? static_cast<int>(slots->size()) : 0;
}

const ChannelConfig* IProcessor::GetChannelConfig(int idx) const {
  if (idx < 0 || idx >= NChannelConfigs()) return nullptr;
  return &mChannelConfigs[static_cast<size_t>(idx)];
}

bool IProcessor::IsChannelConnected(EChannelDirection dir, int idx) const {
  const std::vector<ChannelSlot>* slots = Slots(dir);
  if (!slots || idx < 0 || idx >= static_cast<int>(slots->size())) return false;
  return (*slots)[static_cast<size_t>(idx)].mConnected;
}

const char* IProcessor::GetChannelLabel(EChannelDirection dir, int idx) const {
  const std::vector<ChannelSlot>* slots = Slots(dir);
  if (!slots || idx < 0 || idx >= static_cast<int>(slots->size())) return "";
  return (*slots)[static_cast<size_t>(idx)].mLabel.Get();
}

std::vector<ChannelSlot>* IProcessor::Slots(EChannelDirection dir) {
  if (dir != kDirInput && dir != kDirOutput) return nullptr;
  return &mChannels[dir];
}

const std::vector<ChannelSlot>* IProcessor::Slots(EChannelDirection dir) const {
  if (dir != kDirInput && dir != kDirOutput) return nullptr;
  return &mChannels[dir];
}

}  // namespace kantele
