#pragma once
// Out of memory on demand: while a FailingAllocations lives, operator new on the
// thread that made it succeeds `allowed` more times and then throws std::bad_alloc,
// once and for all later calls. Linking failing_allocations.cpp replaces the global
// operator new of the whole test program; without a live object it only allocates.

#include <cstddef>

namespace vexlo::test {

class FailingAllocations {
 public:
  explicit FailingAllocations(std::size_t allowed) noexcept;
  ~FailingAllocations();
  FailingAllocations(const FailingAllocations&) = delete;
  FailingAllocations& operator=(const FailingAllocations&) = delete;

  // Whether an allocation was refused.
  [[nodiscard]] bool Refused() const noexcept;
};

}  // namespace vexlo::test
