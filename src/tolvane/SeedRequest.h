#pragma once

#include <cstdint>

namespace tolvane {

/// The vendor-specific request that makes renders reproducible: effVendorSpecific with index
/// 'TvSd', value = seed (low 32 bits), opt != 0 switches the knee values to the seeded sequence
/// from the next block on (that block is block 0 of the sequence); opt = 0 returns to the random
/// device. Answered 1. The effect answers it and hosts send it; this header holds only the
/// number, so a host includes it without the effect or the framework.
constexpr int32_t kSeedRequest = 0x54765364;

}  // namespace tolvane
