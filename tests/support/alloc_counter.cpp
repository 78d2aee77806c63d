#include "support/alloc_counter.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {
std::atomic<int> g_counters{0};
std::atomic<long> g_allocations{0};
}  // namespace

void* operator new(std::size_t size) {
  if (g_counters.load(std::memory_order_relaxed) > 0) g_allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(size != 0 ? size : 1)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace harvel::testing {

AllocationCounter::AllocationCounter() {
  g_allocations = 0;
  g_counters.fetch_add(1);
}
AllocationCounter::~AllocationCounter() { g_counters.fetch_sub(1); }
long AllocationCounter::count() const { return g_allocations.load(); }

}  // namespace harvel::testing
