#include "kantele/vst2/Vst2Entry.h"

namespace kantele {

std::mutex& Vst2ConstructionLock() {
  static std::mutex lock;
  return lock;
}

vst2::AEffect* Vst2FinishInstance(IVst2Adapter& plug) {
  for (int i = 0; i < plug.NPresets(); ++i) plug.InitFirstFreePreset("Empty");
  vst2::AEffect& effect = plug.GetAEffect();
  if (effect.numPrograms < 1) effect.numPrograms = 1;
  return &effect;
}

}  // namespace kantele
