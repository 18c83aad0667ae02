#pragma once
// The running counts and round-trip figures of a ping run, and their one-line text.

#include <cstdint>
#include <string>
#include <vector>

#include "run_facts/run_facts.h"

namespace vexlo {

class PingTally {
 public:
  void Add(std::uint32_t roundTripMs) noexcept;
  // Avg and jitter with one decimal, min and max in whole ms (ping's times are whole),
  // the lost share rounded to a whole percent but never shown as 0 % or 100 % unless
  // it is exactly that ("<1 %", ">99 %").
  [[nodiscard]] std::wstring Line() const;

 private:
  std::uint64_t sent_ = 0;
  std::uint64_t received_ = 0;
  std::uint32_t minMs_ = 0;
  std::uint32_t maxMs_ = 0;
  std::uint64_t sumMs_ = 0;
  std::uint64_t jitterSumMs_ = 0;  // of |difference| between consecutive replies
  std::uint32_t lastMs_ = 0;
};

// "hops 7 · replied 6 · slowest hop 5 (48 ms)"
[[nodiscard]] std::wstring TraceLine(const std::vector<TraceHop>& hops);

}  // namespace vexlo
