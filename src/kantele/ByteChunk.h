#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <type_traits>
#include <vector>

namespace kantele {

/// A growable byte buffer in which state and presets are written and read.
///
/// Values are appended at the end in the machine's native byte order (little-endian on every
/// supported target) and read at a position the caller holds. Every read checks its position
/// and length against the size first: a read that does not fit leaves its target unchanged and
/// answers -1, so a reader can walk untrusted bytes from a host or a project file without ever
/// touching memory outside the buffer.
///
/// Positions and sizes are 32-bit signed: the buffer never grows beyond INT32_MAX bytes (an
/// append that would is refused and leaves the buffer as it was).
///
/// [any-thread] but not shared: one owner at a time. Appends and resizes allocate; reads never do.
class ByteChunk {
 public:
  /// The first word of a versioned chunk: the bytes 74 66 66 70.
  static constexpr int32_t kMagic = 0x70666674;
  /// The format version written after the magic word (1.0.0).
  static constexpr int32_t kCurrentVersion = 0x10000;

  /// `granularity` > 0 makes the storage grow in multiples of that many bytes, so a buffer that
  /// is refilled with chunks of similar size stops reallocating.
  explicit ByteChunk(int granularity = 0) : mGranularity(granularity > 0 ? granularity : 0) {}

  int Size() const { return static_cast<int>(mBytes.size()); }
  const uint8_t* GetData() const { return mBytes.data(); }
  uint8_t* GetData() { return mBytes.data(); }

  /// Empties the buffer (the storage is kept).
  void Clear() { mBytes.clear(); }

  /// Sets the size to `newSize` bytes (negative counts as 0); bytes beyond the old size are
  /// zeroed. Answers the new size.
  int Resize(int newSize);

  /// Appends `n` raw bytes. Answers the new size; a null source, a negative `n` or a size beyond
  /// INT32_MAX appends nothing.
  int PutBytes(const void* src, int n);

  /// Reads `n` bytes at `pos` into `dst`: answers pos + n, or -1 (and copies nothing) when pos
  /// is negative or fewer than `n` bytes remain.
  int GetBytes(void* dst, int n, int pos) const;

  /// Appends a value's bytes (int 4 bytes, double 8 bytes, ...). Answers the new size.
  template <typename T>
  int Put(const T& value) {
    static_assert(std::is_arithmetic_v<T> && !std::is_same_v<T, bool>,
                  "Put writes numbers; use PutBool for flags");
    return PutBytes(&value, sizeof(T));
  }

  /// Reads a value at `pos`: answers pos + sizeof(T), or -1 with `*value` unchanged.
  template <typename T>
  int Get(T* value, int pos) const {
    static_assert(std::is_arithmetic_v<T> && !std::is_same_v<T, bool>,
                  "Get reads numbers; use GetBool for flags");
    return GetBytes(value, sizeof(T), pos);
  }

  /// Appends a flag as one byte, 0 or 1. Answers the new size.
  int PutBool(bool value);

  /// Reads a one-byte flag at `pos` (any non-zero byte is true): answers pos + 1, or -1 with
  /// `*value` unchanged.
  int GetBool(bool* value, int pos) const;

  /// Appends a text: its length L without terminator as a 32-bit signed value, then the L bytes,
  /// no terminator. Null counts as empty. Answers the new size.
  int PutStr(const char* text);

  /// Reads a text written by `PutStr` at `pos`.
  /// - The length cannot be read: -1, `text` unchanged.
  /// - The length is negative (no writer produces one; the bytes are not a text): -1, `text`
  ///   emptied.
  /// - pos + 4 + L lies within the buffer: `text` holds the L bytes (empty for L = 0); the answer
  ///   is pos + 4 + L.
  /// - The bytes run past the end: `text` unchanged and the answer is pos + 4 + L, a position
  ///   beyond the end at which every further read fails; -1 when that position does not fit a
  ///   32-bit position.
  /// The text may hold any bytes, zero bytes included.
  int GetStr(std::string& text, int pos) const;

  /// Appends the other chunk's bytes, raw, with no length in front. Answers the new size.
  int PutChunk(const ByteChunk& other);

  /// Empties the chunk and writes the versioned header: `kMagic`, then `kCurrentVersion`.
  void InitWithVersionHeader();

  /// Looks for the versioned header in a chunk handed back by a host and answers where the
  /// state starts, with `*version` set:
  /// - 8 bytes or more beginning with `kMagic`: the version is the second word, start 8;
  /// - 4 to 7 bytes beginning with `kMagic`: version 0, start -1 (nothing can be read);
  /// - anything else (a chunk without header): version 0, start 0.
  static int ReadVersionHeader(const ByteChunk& chunk, int32_t* version);

  bool operator==(const ByteChunk& other) const { return mBytes == other.mBytes; }
  bool operator!=(const ByteChunk& other) const { return !(*this == other); }

 private:
  void Reserve(size_t newSize);

  int mGranularity;
  std::vector<uint8_t> mBytes;
};

}  // namespace kantele
