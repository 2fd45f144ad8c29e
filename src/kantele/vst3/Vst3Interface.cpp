#include "kantele/vst3/Vst3Interface.h"

namespace kantele {
namespace vst3 {

void UidWords(const char* bytes, uint32_t words[4], UidLayout layout) {
  auto byte = [bytes](int i) { return static_cast<uint32_t>(static_cast<uint8_t>(bytes[i])); };
  for (int w = 0; w < 4; ++w) {
    words[w] = byte(4 * w) << 24 | byte(4 * w + 1) << 16 | byte(4 * w + 2) << 8 | byte(4 * w + 3);
  }
  if (layout == UidLayout::kCom) {
    words[0] = byte(3) << 24 | byte(2) << 16 | byte(1) << 8 | byte(0);
    words[1] = byte(5) << 24 | byte(4) << 16 | byte(7) << 8 | byte(6);
  }
}

}  // namespace vst3
}  // namespace kantele
