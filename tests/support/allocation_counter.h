#pragma once
// Counts the allocations made through operator new while armed. Linking
// allocation_counter.cpp into a test binary replaces the global operator new.

namespace trimwell::test {

class AllocationCounter {
 public:
  AllocationCounter();
  ~AllocationCounter();
  AllocationCounter(const AllocationCounter&) = delete;
  AllocationCounter& operator=(const AllocationCounter&) = delete;
  int count() const;
};

}  // namespace trimwell::test
