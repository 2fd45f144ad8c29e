#pragma once

#include "kantele/Config.h"
#include "kantele/vst3/Vst3Interface.h"

namespace kantele {

class IVst3Adapter;

/// The module's plug-in factory: one class, the plug-in, under `IVst3Adapter::ClassIdOf` of its
/// configuration, category "Audio Module Class", sub-categories "Fx|" and the configuration's
/// effect category (or "Fx" alone), the maker's name and the version "major.minor.patch". It
/// answers IPluginFactory, IPluginFactory2 and IPluginFactory3 with its Unicode class
/// information, and the host context it is given is not needed: each plug-in takes its own in
/// initialize.
///
/// One factory lives as long as the module; hosts may ask for it any number of times, and its
/// reference count never destroys it. [main-thread]
class Vst3Factory final : public vst3::IPluginFactory3 {
 public:
  /// Makes a plug-in object with one reference, or null.
  using CreateFunc = IVst3Adapter* (*)();

  /// The module's factory, made on the first call from `config` and `create` (later calls
  /// answer the same factory, with a reference added).
  static Vst3Factory* Get(const Config& config, CreateFunc create);

  vst3::tresult KANTELE_VST3_CALL queryInterface(const vst3::TUID iid, void** obj) override;
  vst3::uint32 KANTELE_VST3_CALL addRef() override { return 1; }
  vst3::uint32 KANTELE_VST3_CALL release() override { return 1; }

  vst3::tresult KANTELE_VST3_CALL getFactoryInfo(vst3::PFactoryInfo* info) override;
  vst3::int32 KANTELE_VST3_CALL countClasses() override { return 1; }
  vst3::tresult KANTELE_VST3_CALL getClassInfo(vst3::int32 index, vst3::PClassInfo* info) override;
  /// Creates the plug-in for its class id and answers the interface `iid` of it: kInvalidArgument
  /// for null arguments or another class id, kNoInterface for an interface it lacks,
  /// kOutOfMemory when it could not be made.
  vst3::tresult KANTELE_VST3_CALL createInstance(vst3::FIDString cid, vst3::FIDString iid,
                                                 void** obj) override;
  vst3::tresult KANTELE_VST3_CALL getClassInfo2(vst3::int32 index,
                                                vst3::PClassInfo2* info) override;
  vst3::tresult KANTELE_VST3_CALL getClassInfoUnicode(vst3::int32 index,
                                                      vst3::PClassInfoW* info) override;
  vst3::tresult KANTELE_VST3_CALL setHostContext(vst3::FUnknown* context) override;

 private:
  Vst3Factory(const Config& config, CreateFunc create);

  CreateFunc mCreate;
  vst3::Uid mClassId;
  char mName[64] = {};
  char mVendor[64] = {};
  char mVersion[64] = {};
  char mSubCategories[128] = {};
};

}  // namespace kantele
