#include "support/AllocTrap.h"

#include <cstdlib>
#include <new>

namespace {

thread_local int tArmed = 0;
thread_local long tTrapped = 0;

void* Allocate(std::size_t size) {
  if (tArmed > 0) ++tTrapped;
  if (size == 0) size = 1;
  for (;;) {
    if (void* p = std::malloc(size)) return p;
    std::new_handler handler = std::get_new_handler();
    if (!handler) throw std::bad_alloc();
    handler();
  }
}

void* AllocateAligned(std::size_t size, std::align_val_t align) {
  if (tArmed > 0) ++tTrapped;
  std::size_t a = static_cast<std::size_t>(align);
  if (a < sizeof(void*)) a = sizeof(void*);
  std::size_t rounded = (size + a - 1) / a * a;
  if (rounded == 0) rounded = a;
#if defined(_WIN32)
  void* p = _aligned_malloc(rounded, a);
#else
  void* p = std::aligned_alloc(a, rounded);
#endif
  if (!p) throw std::bad_alloc();
  return p;
}

void FreeAligned(void* p) {
#if defined(_WIN32)
  _aligned_free(p);
#else
  std::free(p);
#endif
}

}  // namespace

namespace kantele::test {

ScopedAllocTrap::ScopedAllocTrap() : mStart(tTrapped) { ++tArmed; }
ScopedAllocTrap::~ScopedAllocTrap() { --tArmed; }
long ScopedAllocTrap::Allocations() const { return tTrapped - mStart; }
long TrappedAllocationCount() { return tTrapped; }

}  // namespace kantele::test

void* operator new(std::size_t size) { return Allocate(size); }
void* operator new[](std::size_t size) { return Allocate(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  try {
    return Allocate(size);
  } catch (...) {
    return nullptr;
  }
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  try {
    return Allocate(size);
  } catch (...) {
    return nullptr;
  }
}
void* operator new(std::size_t size, std::align_val_t align) {
  return AllocateAligned(size, align);
}
void* operator new[](std::size_t size, std::align_val_t align) {
  return AllocateAligned(size, align);
}

void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete(void* p, std::align_val_t) noexcept { FreeAligned(p); }
void operator delete[](void* p, std::align_val_t) noexcept { FreeAligned(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { FreeAligned(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { FreeAligned(p); }
