#pragma once

#include <cstdint>

#include <lv2/core/lv2.h>

// The framework's LV2 extension for a plug-in vendor's private requests (the request VST2 sends
// as vendor-specific and VST 3 through IVendorRequest). A host asks the plug-in descriptor's
// extension_data for `KANTELE_LV2_VENDOR_REQUEST_URI` and calls `request` with its instance
// handle, on its main thread, never during `run`. Tolvane's test hosts seed the knee source
// this way (tag `tolvane::kSeedRequest`, value the seed, opt non-zero; opt zero returns to the
// random device), so that renders repeat bit for bit.

#define KANTELE_LV2_VENDOR_REQUEST_URI "urn:kantele:lv2#vendorRequest"

extern "C" {

typedef struct KanteleLv2VendorRequest {
  /// The plug-in's answer to the request `tag` with `value`, `data` and `opt` (0 for a tag it
  /// does not know).
  int64_t (*request)(LV2_Handle instance, int32_t tag, int64_t value, void* data, double opt);
} KanteleLv2VendorRequest;

}  // extern "C"
