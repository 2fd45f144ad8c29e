#include "kantele/vst3/Vst3Factory.h"

#include <cstdio>
#include <cstring>

#include "kantele/vst3/IVst3Adapter.h"
#include "kantele/vst3/Vst3Entry.h"
#include "kantele/vst3/Vst3Text.h"

namespace kantele {

using namespace vst3;

Vst3Factory* Vst3Factory::Get(const Config& config, CreateFunc create) {
  static Vst3Factory factory(config, create);
  return &factory;
}

Vst3Factory::Vst3Factory(const Config& config, CreateFunc create)
    : mCreate(create), mClassId(IVst3Adapter::ClassIdOf(config)) {
  CopyToString8(config.mPluginName, mName, sizeof(mName));
  CopyToString8(config.mMfrName, mVendor, sizeof(mVendor));
  const auto v = static_cast<uint32_t>(config.mVendorVersion);
  std::snprintf(mVersion, sizeof(mVersion), "%u.%u.%u", v >> 16, (v >> 8) & 0xFF, v & 0xFF);
  const char* category = config.mEffectCategory ? config.mEffectCategory : "";
  std::snprintf(mSubCategories, sizeof(mSubCategories), category[0] ? "Fx|%s" : "Fx", category);
}

tresult Vst3Factory::queryInterface(const TUID iid, void** obj) {
  if (!obj) return kInvalidArgument;
  *obj = nullptr;
  if (!iid) return kNoInterface;
  if (IID_FUnknown.Matches(iid) || IID_IPluginFactory.Matches(iid) ||
      IID_IPluginFactory2.Matches(iid) || IID_IPluginFactory3.Matches(iid)) {
    *obj = static_cast<IPluginFactory3*>(this);
    return kResultOk;
  }
  return kNoInterface;
}

tresult Vst3Factory::getFactoryInfo(PFactoryInfo* info) {
  if (!info) return kInvalidArgument;
  std::memset(info, 0, sizeof(*info));
  CopyToString8(mVendor, info->vendor, sizeof(info->vendor));
  info->flags = PFactoryInfo::kUnicode;
  return kResultOk;
}

namespace {

/// Zeroes a class information record and fills the fields every kind shares: the class id,
/// the cardinality and the category.
template <class Info>
void FillClassHead(Info* info, const Uid& cid) {
  std::memset(info, 0, sizeof(*info));
  std::memcpy(info->cid, cid.bytes, 16);
  info->cardinality = kManyInstances;
  CopyToString8(kAudioModuleClass, info->category, sizeof(info->category));
}

}  // namespace

tresult Vst3Factory::getClassInfo(int32 index, PClassInfo* info) {
  if (!info || index != 0) return kInvalidArgument;
  FillClassHead(info, mClassId);
  CopyToString8(mName, info->name, sizeof(info->name));
  return kResultOk;
}

tresult Vst3Factory::getClassInfo2(int32 index, PClassInfo2* info) {
  if (!info || index != 0) return kInvalidArgument;
  FillClassHead(info, mClassId);
  CopyToString8(mName, info->name, sizeof(info->name));
  CopyToString8(mSubCategories, info->subCategories, sizeof(info->subCategories));
  CopyToString8(mVendor, info->vendor, sizeof(info->vendor));
  CopyToString8(mVersion, info->version, sizeof(info->version));
  CopyToString8(kVstVersionString, info->sdkVersion, sizeof(info->sdkVersion));
  return kResultOk;
}

tresult Vst3Factory::getClassInfoUnicode(int32 index, PClassInfoW* info) {
  if (!info || index != 0) return kInvalidArgument;
  FillClassHead(info, mClassId);
  CopyToString16(mName, info->name, 64);
  CopyToString8(mSubCategories, info->subCategories, sizeof(info->subCategories));
  CopyToString16(mVendor, info->vendor, 64);
  CopyToString16(mVersion, info->version, 64);
  CopyToString16(kVstVersionString, info->sdkVersion, 64);
  return kResultOk;
}

tresult Vst3Factory::createInstance(FIDString cid, FIDString iid, void** obj) {
  if (!obj) return kInvalidArgument;
  *obj = nullptr;
  if (!cid || !iid || !mClassId.Matches(cid)) return kInvalidArgument;
  IVst3Adapter* plug = mCreate ? mCreate() : nullptr;
  if (!plug) return kOutOfMemory;
  // The creation reference goes once the host holds its own through the interface it asked for.
  const tresult result = plug->queryInterface(iid, obj);
  plug->release();
  return result;
}

tresult Vst3Factory::setHostContext(FUnknown*) { return kResultOk; }

}  // namespace kantele
