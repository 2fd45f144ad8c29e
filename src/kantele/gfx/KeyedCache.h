#pragma once

#include <charconv>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kantele {
namespace gfx {

/// FNV-1a's 64-bit offset basis: the hash of no bytes.
constexpr uint64_t kFnv1a64Basis = 0xcbf29ce484222325ull;

/// Continues a 64-bit FNV-1a hash (`hash` so far) over `length` bytes of `data`, so a key can
/// be hashed in pieces without joining them. Null `data` adds no bytes.
inline uint64_t Fnv1a64Append(uint64_t hash, const char* data, size_t length) {
  for (size_t i = 0; data && i < length; ++i) {
    hash ^= static_cast<unsigned char>(data[i]);
    hash *= 0x100000001b3ull;
  }
  return hash;
}

/// 64-bit FNV-1a over `length` bytes of `data` (offset basis 0xcbf29ce484222325, prime
/// 0x100000001b3). Null `data` hashes as no bytes.
inline uint64_t Fnv1a64(const char* data, size_t length) {
  return Fnv1a64Append(kFnv1a64Basis, data, length);
}

/// Room for the scale suffix of a key: any double in fixed notation with one decimal (up to 309
/// integer digits), between "-" and "x".
constexpr size_t kScaleSuffixCapacity = 400;

/// Writes "-<scale>x" with one decimal into `out` and answers its length. The decimal point is
/// always "." whatever the process's locale.
inline size_t ScaleSuffix(double scale, char (&out)[kScaleSuffixCapacity]) {
  out[0] = '-';
  const std::to_chars_result r =
      std::to_chars(out + 1, out + kScaleSuffixCapacity - 1, scale, std::chars_format::fixed, 1);
  char* end = r.ec == std::errc() ? r.ptr : out + 1;
  *end++ = 'x';
  return static_cast<size_t>(end - out);
}

/// The text a cache entry is keyed by: `name` followed by "-<scale>x" with one decimal, e.g.
/// "ledOn.png-1.0x". A null `name` counts as empty.
inline std::string CacheKeyText(const char* name, double scale) {
  char suffix[kScaleSuffixCapacity];
  const size_t n = ScaleSuffix(scale, suffix);
  std::string key = name ? name : "";
  key.append(suffix, n);
  return key;
}

/// The FNV-1a hash of `CacheKeyText(name, scale)`, computed without building the text.
inline uint64_t CacheKeyHash(const char* name, double scale) {
  const std::string_view text = name ? name : "";
  char suffix[kScaleSuffixCapacity];
  const size_t n = ScaleSuffix(scale, suffix);
  return Fnv1a64Append(Fnv1a64(text.data(), text.size()), suffix, n);
}

/// Objects (bitmaps, fonts) kept by name and scale, owned by the cache. Lookups scan the
/// entries in the order they were added and compare the key's hash first, then the scale
/// (exactly) and the name (exactly, case-sensitive).
///
/// [thread] The cache itself does not lock. Several threads may share one cache (the whole
/// process's artwork) only by holding `Mutex()` around every lookup and the insertion that
/// follows a miss, and around Remove and Clear. Find, Add and Remove never touch other entries'
/// objects, so a pointer from Find stays valid until its entry is removed or cleared.
template <class T>
class KeyedCache {
 public:
  KeyedCache() = default;
  /// Deletes every object, last added first.
  ~KeyedCache() { Clear(); }
  KeyedCache(const KeyedCache&) = delete;
  KeyedCache& operator=(const KeyedCache&) = delete;

  /// The object kept for `name` at `scale`, or null. A null `name` is never found.
  /// Does not allocate.
  T* Find(const char* name, double scale) const {
    if (!name) return nullptr;
    const uint64_t hash = CacheKeyHash(name, scale);
    for (const Entry& e : mEntries) {
      if (e.hash == hash && e.scale == scale && e.name == name) return e.object.get();
    }
    return nullptr;
  }

  /// Keeps `object` for `name` (null counts as empty) at `scale`, after every entry already
  /// there, and answers it. A null `object` is not kept: the answer is null. Allocates.
  T* Add(std::unique_ptr<T> object, const char* name, double scale) {
    if (!object) return nullptr;
    T* kept = object.get();
    mEntries.push_back(
        Entry{CacheKeyHash(name, scale), name ? name : "", scale, std::move(object)});
    return kept;
  }

  /// Deletes the entry holding `object`, and the object; later entries move up in order.
  /// False when no entry holds it.
  bool Remove(const T* object) {
    if (!object) return false;
    for (auto it = mEntries.begin(); it != mEntries.end(); ++it) {
      if (it->object.get() == object) {
        it->object.reset();
        mEntries.erase(it);
        return true;
      }
    }
    return false;
  }

  /// Deletes every entry and its object, from the last added to the first, and gives the
  /// entries' memory back: a process-wide cache emptied by its last user holds nothing on the
  /// heap, so a plug-in module unloaded afterwards leaves nothing behind.
  void Clear() {
    while (!mEntries.empty()) {
      // Objects are deleted while the entries are intact, never in the middle of a vector
      // operation (here and in Remove).
      mEntries.back().object.reset();
      mEntries.pop_back();
    }
    std::vector<Entry>().swap(mEntries);
  }

  int Size() const { return static_cast<int>(mEntries.size()); }

  /// The lock callers hold around lookups and insertions (see [thread] above).
  std::mutex& Mutex() const { return mMutex; }

 private:
  struct Entry {
    uint64_t hash;
    std::string name;
    double scale;
    std::unique_ptr<T> object;
  };

  std::vector<Entry> mEntries;
  mutable std::mutex mMutex;
};

}  // namespace gfx
}  // namespace kantele
