// Counts the heap allocations made through operator new while a counter is
// alive (the test binaries replace the global operator new with a counting
// pass-through to malloc).
#pragma once

namespace harvel::testing {

class AllocationCounter {
 public:
  AllocationCounter();
  ~AllocationCounter();
  AllocationCounter(const AllocationCounter&) = delete;
  AllocationCounter& operator=(const AllocationCounter&) = delete;
  long count() const;
};

}  // namespace harvel::testing
