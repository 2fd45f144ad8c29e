#include "kantele/ByteChunk.h"

#include <climits>

namespace kantele {

void ByteChunk::Reserve(size_t newSize) {
  if (newSize <= mBytes.capacity() || mGranularity == 0) return;
  const size_t g = static_cast<size_t>(mGranularity);
  mBytes.reserve((newSize + g - 1) / g * g);
}

int ByteChunk::Resize(int newSize) {
  if (newSize < 0) newSize = 0;
  Reserve(static_cast<size_t>(newSize));
  mBytes.resize(static_cast<size_t>(newSize), 0);
  return Size();
}

int ByteChunk::PutBytes(const void* src, int n) {
  if (!src || n <= 0) return Size();
  if (n > INT_MAX - Size()) return Size();
  const size_t old = mBytes.size();
  Reserve(old + static_cast<size_t>(n));
  mBytes.resize(old + static_cast<size_t>(n));
  std::memcpy(mBytes.data() + old, src, static_cast<size_t>(n));
  return Size();
}

int ByteChunk::GetBytes(void* dst, int n, int pos) const {
  if (pos < 0 || n < 0 || n > Size() - pos) return -1;
  if (n > 0) std::memcpy(dst, mBytes.data() + pos, static_cast<size_t>(n));
  return pos + n;
}

int ByteChunk::PutBool(bool value) {
  const uint8_t byte = value ? 1 : 0;
  return PutBytes(&byte, 1);
}

int ByteChunk::GetBool(bool* value, int pos) const {
  uint8_t byte = 0;
  pos = GetBytes(&byte, 1, pos);
  if (pos >= 0) *value = byte != 0;
  return pos;
}

int ByteChunk::PutStr(const char* text) {
  const size_t len = text ? std::strlen(text) : 0;
  if (len > static_cast<size_t>(INT_MAX - 4)) return Size();
  const int32_t n = static_cast<int32_t>(len);
  const int before = Size();
  if (Put(n) == before) return before;
  return PutBytes(text, n);
}

int ByteChunk::GetStr(std::string& text, int pos) const {
  int32_t len = 0;
  pos = Get(&len, pos);
  if (pos < 0) return -1;
  if (len < 0) {
    text.clear();
    return -1;
  }
  if (len <= Size() - pos) {
    text.assign(reinterpret_cast<const char*>(mBytes.data()) + pos, static_cast<size_t>(len));
    return pos + len;
  }
  // Runs past the end: report the position the length points at, which no read accepts.
  return len <= INT_MAX - pos ? pos + len : -1;
}

int ByteChunk::PutChunk(const ByteChunk& other) {
  if (&other == this) {
    const std::vector<uint8_t> copy = mBytes;
    return PutBytes(copy.data(), static_cast<int>(copy.size()));
  }
  return PutBytes(other.GetData(), other.Size());
}

void ByteChunk::InitWithVersionHeader() {
  Clear();
  Put(kMagic);
  Put(kCurrentVersion);
}

int ByteChunk::ReadVersionHeader(const ByteChunk& chunk, int32_t* version) {
  *version = 0;
  int32_t magic = 0;
  if (chunk.Get(&magic, 0) < 0 || magic != kMagic) return 0;
  return chunk.Get(version, 4) < 0 ? -1 : 8;
}

}  // namespace kantele
