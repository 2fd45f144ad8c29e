#pragma once

// One Tolvane instance made as a VST 3 host makes it: the factory's class created as a
// component, initialised with a host context, its processor and controller queried from it.
// The VST 3 fuzz targets drive it through those interfaces only.

#include <vector>

#include "FuzzInput.h"
#include "kantele/vst3/Vst3Entry.h"
#include "kantele/vst3/hosting/HostObjects.h"
#include "tolvane/Tolvane.h"

namespace kantele::fuzz {

class Vst3FuzzInstance {
 public:
  Vst3FuzzInstance() {
    using namespace vst3;
    IPluginFactory* factory =
        Vst3Factory::Get(tolvane::Tolvane::MakeConfig(), &Vst3CreatePlugin<tolvane::Tolvane>);
    PClassInfo info = {};
    Check(factory->getClassInfo(0, &info) == kResultOk);
    void* obj = nullptr;
    Check(factory->createInstance(info.cid, IID_IComponent.data(), &obj) == kResultOk && obj);
    mComponent = Ref<IComponent>(static_cast<IComponent*>(obj));
    auto* host = new HostApplication("fuzz host");
    Check(mComponent->initialize(host) == kResultOk);
    host->release();
    mProcessor = Ref<IAudioProcessor>::Query(mComponent.Get(), IID_IAudioProcessor);
    mController = Ref<IEditController>::Query(mComponent.Get(), IID_IEditController);
    Check(mProcessor && mController);
  }
  // The references go after terminate; the component's is the last.
  ~Vst3FuzzInstance() { mComponent->terminate(); }
  Vst3FuzzInstance(const Vst3FuzzInstance&) = delete;
  Vst3FuzzInstance& operator=(const Vst3FuzzInstance&) = delete;

  vst3::IComponent* Component() const { return mComponent.Get(); }
  vst3::IAudioProcessor* Processor() const { return mProcessor.Get(); }
  vst3::IEditController* Controller() const { return mController.Get(); }

  /// Every normalised parameter value lies within 0..1 (false for NaN too).
  bool ParamsInRange() const {
    for (int32_t i = 0; i < mController->getParameterCount(); ++i) {
      const double v = mController->getParamNormalized(static_cast<vst3::ParamID>(i));
      if (!(v >= 0.0 && v <= 1.0)) return false;
    }
    return true;
  }

 private:
  vst3::Ref<vst3::IComponent> mComponent;
  vst3::Ref<vst3::IAudioProcessor> mProcessor;
  vst3::Ref<vst3::IEditController> mController;
};

}  // namespace kantele::fuzz
