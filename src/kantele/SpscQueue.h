#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <type_traits>

namespace kantele {

/// A fixed ring of whole records between exactly one producer thread and exactly one consumer
/// thread, without locks. A queue of N slots holds at most N - 1 records; pushing onto a full
/// queue drops the new record and leaves the queue as it was.
///
/// The producer stores the record before it publishes the new write index (release), and the
/// consumer copies the record out before it publishes the new read index (release); each side
/// reads the other's index with acquire. Indices are 64-bit atomics, always below N.
///
/// All storage is allocated by the constructor: pushes and pops never allocate, lock or make a
/// system call, so the audio thread may be either end.
template <typename T>
class SpscQueue {
  static_assert(std::is_trivially_copyable_v<T>, "records are copied as plain bytes");

 public:
  /// A queue of `nSlots` slots (at least 2, so that it holds at least one record).
  /// [main-thread] Allocates.
  explicit SpscQueue(int nSlots)
      : mSlots(static_cast<uint64_t>(nSlots < 2 ? 2 : nSlots)),
        mRecords(std::make_unique<T[]>(static_cast<size_t>(mSlots))) {}

  SpscQueue(const SpscQueue&) = delete;
  SpscQueue& operator=(const SpscQueue&) = delete;

  /// Appends a copy of `record`; answers false, storing nothing, when the queue is full.
  /// [producer-thread] Never allocates or locks.
  bool Push(const T& record) {
    const uint64_t write = mWrite.load(std::memory_order_relaxed);
    const uint64_t next = (write + 1) % mSlots;
    if (next == mRead.load(std::memory_order_acquire)) return false;
    mRecords[write] = record;
    mWrite.store(next, std::memory_order_release);
    return true;
  }

  /// Copies the oldest record into `record` and removes it; answers false, leaving `record`
  /// unchanged, when the queue is empty. [consumer-thread] Never allocates or locks.
  bool Pop(T& record) {
    const uint64_t read = mRead.load(std::memory_order_relaxed);
    if (read == mWrite.load(std::memory_order_acquire)) return false;
    record = mRecords[read];
    mRead.store((read + 1) % mSlots, std::memory_order_release);
    return true;
  }

  /// The number of records waiting. Exact on either end's thread for the records that end
  /// knows of; from any other thread a snapshot. [any-thread]
  int ElementsAvailable() const {
    const uint64_t write = mWrite.load(std::memory_order_acquire);
    const uint64_t read = mRead.load(std::memory_order_acquire);
    return static_cast<int>((write - read + mSlots) % mSlots);
  }

  /// The number of slots; the queue holds one record fewer.
  int Slots() const { return static_cast<int>(mSlots); }

  /// Bytes of record storage (slots times record size).
  size_t StorageBytes() const { return static_cast<size_t>(mSlots) * sizeof(T); }

 private:
  const uint64_t mSlots;
  std::unique_ptr<T[]> mRecords;
  // Each index on its own cache line, so the two ends do not slow each other down.
  alignas(64) std::atomic<uint64_t> mWrite{0};
  alignas(64) std::atomic<uint64_t> mRead{0};
};

}  // namespace kantele
