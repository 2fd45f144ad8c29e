#pragma once

// The framework's own VST 3 extension: a plug-in component answers queryInterface for
// IVendorRequest with an object that carries private requests from a host that knows them to
// the plug-in's vendor requests (`IApiBase::OnVendorRequest`), as VST 2.4's vendor-specific
// dispatcher request does. Hosts that do not know the id never see it.

#include "kantele/vst3/Vst3Interface.h"

namespace kantele {
namespace vst3 {

/// P: one private request: a tag naming it, a value, a pointer and a number whose meaning the
/// tag defines. Answers the plug-in's answer, 0 for a tag it does not know. [main-thread]
class IVendorRequest : public FUnknown {
 public:
  virtual int64 KANTELE_VST3_CALL vendorRequest(int32 tag, int64 value, void* data, double opt) = 0;
};

/// The id of IVendorRequest: the words 'Kant' 'eleV' 'endr' 'Rqst'.
inline constexpr Uid IID_IVendorRequest = MakeUid(0x4B616E74, 0x656C6556, 0x656E6472, 0x52717374);

}  // namespace vst3
}  // namespace kantele
