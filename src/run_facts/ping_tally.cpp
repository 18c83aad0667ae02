#include "run_facts/ping_tally.h"

#include <algorithm>

namespace vexlo {
namespace {

constexpr wchar_t kBetween[] = L" \x00B7 ";

// sum / count to one decimal, rounded half up.
std::wstring OneDecimal(std::uint64_t sum, std::uint64_t count) {
  const std::uint64_t tenths = (sum * 20 + count) / (2 * count);
  return std::to_wstring(tenths / 10) + L"." + std::to_wstring(tenths % 10);
}

std::wstring Percent(std::uint64_t part, std::uint64_t whole) {
  const std::uint64_t rounded = (part * 200 + whole) / (2 * whole);
  if (rounded == 0 && part > 0) return L"<1 %";
  if (rounded == 100 && part < whole) return L">99 %";
  return std::to_wstring(rounded) + L" %";
}

}  // namespace

void PingTally::Add(std::uint32_t roundTripMs) noexcept {
  ++sent_;
  if (roundTripMs == kLostProbe) return;
  if (received_ == 0) {
    minMs_ = maxMs_ = roundTripMs;
  } else {
    minMs_ = std::min(minMs_, roundTripMs);
    maxMs_ = std::max(maxMs_, roundTripMs);
    jitterSumMs_ += roundTripMs > lastMs_ ? roundTripMs - lastMs_ : lastMs_ - roundTripMs;
  }
  ++received_;
  sumMs_ += roundTripMs;
  lastMs_ = roundTripMs;
}

std::wstring PingTally::Line() const {
  const std::uint64_t lost = sent_ - received_;
  std::wstring line = L"sent " + std::to_wstring(sent_) + kBetween + L"received " + std::to_wstring(received_) +
                      kBetween + L"lost " + std::to_wstring(lost);
  if (sent_ > 0) line += L" (" + Percent(lost, sent_) + L")";
  if (received_ == 0) return line;
  line += kBetween + (L"min " + std::to_wstring(minMs_)) + L" ms" + kBetween + L"avg " + OneDecimal(sumMs_, received_) +
          L" ms" + kBetween + L"max " + std::to_wstring(maxMs_) + L" ms";
  if (received_ > 1) line += kBetween + (L"jitter " + OneDecimal(jitterSumMs_, received_ - 1)) + L" ms";
  return line;
}

std::wstring TraceLine(const std::vector<TraceHop>& hops) {
  const TraceHop* slowest = nullptr;
  std::size_t replied = 0;
  for (const TraceHop& hop : hops) {
    if (!hop.Replied()) continue;
    ++replied;
    if (slowest == nullptr || hop.bestMs > slowest->bestMs) slowest = &hop;
  }
  std::wstring line = L"hops " + std::to_wstring(hops.size()) + kBetween + L"replied " + std::to_wstring(replied);
  if (slowest != nullptr) {
    line += kBetween + (L"slowest hop " + std::to_wstring(slowest->number)) + L" (" +
            std::to_wstring(slowest->bestMs) + L" ms)";
  }
  return line;
}

}  // namespace vexlo
