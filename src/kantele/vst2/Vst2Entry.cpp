#include "kantele/vst2/Vst2Entry.h"

namespace kantele {

vst2::AEffect* Vst2EffectOf(IVst2Adapter& plug) {
  vst2::AEffect& effect = plug.GetAEffect();
  if (effect.numPrograms < 1) effect.numPrograms = 1;
  return &effect;
}

}  // namespace kantele
