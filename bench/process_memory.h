#pragma once
// What the benchmarks read of the process's memory.

#include <windows.h>
#include <psapi.h>

#include <cstddef>

namespace vexlo::bench {

// Private memory; where the system reports none (Wine), the working set instead.
inline std::size_t PrivateBytes() {
  PROCESS_MEMORY_COUNTERS_EX counters{};
  counters.cb = sizeof counters;
  if (!::GetProcessMemoryInfo(::GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                              sizeof counters)) {
    return 0;
  }
  return counters.PrivateUsage != 0 ? counters.PrivateUsage : counters.WorkingSetSize;
}

}  // namespace vexlo::bench
