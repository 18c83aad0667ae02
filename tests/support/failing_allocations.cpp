#include "support/failing_allocations.h"

#include <windows.h>

#include <atomic>
#include <cstdlib>
#include <new>

namespace vexlo::test {
namespace {

// Only the arming thread's allocations count: the system's threads in this process
// must not fail under a test.
std::atomic<DWORD> armedThread{0};
std::atomic<std::size_t> allowedLeft{0};
std::atomic<bool> refused{false};

bool ShouldRefuse() noexcept {
  if (armedThread.load() == 0 || armedThread.load() != ::GetCurrentThreadId()) return false;
  if (refused.load()) return true;
  if (allowedLeft.load() > 0) {
    allowedLeft.fetch_sub(1);
    return false;
  }
  refused.store(true);
  return true;
}

}  // namespace

FailingAllocations::FailingAllocations(std::size_t allowed) noexcept {
  allowedLeft.store(allowed);
  refused.store(false);
  armedThread.store(::GetCurrentThreadId());
}

FailingAllocations::~FailingAllocations() { armedThread.store(0); }

bool FailingAllocations::Refused() const noexcept { return refused.load(); }

}  // namespace vexlo::test

// The forms the others (array, nothrow) forward to.
void* operator new(std::size_t size) {
  if (vexlo::test::ShouldRefuse()) throw std::bad_alloc();
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
