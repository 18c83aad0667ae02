#include "run_facts/probe_graph.h"

#include <algorithm>
#include <bit>

namespace vexlo {
namespace {

constexpr std::uint32_t kLostBit = 0x80000000;
constexpr std::uint32_t kLongestTrip = kLostBit - 1;

// The smallest of 1, 2, 5, 10, 20, 50 ... ms that is at least worstMs.
std::uint32_t NiceScale(std::uint32_t worstMs) {
  for (std::uint64_t decade = 1;; decade *= 10) {
    for (const std::uint64_t step : {1, 2, 5}) {
      if (decade * step >= worstMs) return static_cast<std::uint32_t>(decade * step);
    }
  }
}

}  // namespace

void ProbeGraph::Add(const PingProbe& probe) {
  const std::uint32_t trip = probe.Lost() ? kLostProbe : std::min(probe.roundTripMs, kLongestTrip);
  times_.PushBack(probe.time);
  trips_.PushBack(trip);
  lineStarts_.PushBack(probe.lineStart);
  lineLengths_.PushBack(probe.lineLength);
  openLeaf_ = Merge(openLeaf_, OfProbe(Count() - 1));
  if (Count() % kLeafProbes != 0) return;
  // A block is complete: it goes up, and so does each pair it completes above it.
  Summary done = openLeaf_;
  openLeaf_ = Summary{};
  for (std::size_t level = 0;; ++level) {
    if (level == levels_.size()) levels_.emplace_back();
    levels_[level].PushBack(done);
    const std::size_t blocks = levels_[level].Size();
    if (blocks % 2 != 0) return;
    done = Merge(levels_[level][blocks - 2], levels_[level][blocks - 1]);
  }
}

void ProbeGraph::Clear() noexcept {
  times_.Clear();
  trips_.Clear();
  lineStarts_.Clear();
  lineLengths_.Clear();
  openLeaf_ = Summary{};
  levels_.clear();
  levels_.shrink_to_fit();
}

PingProbe ProbeGraph::Probe(std::size_t index) const {
  return PingProbe{times_[index], trips_[index], lineStarts_[index], lineLengths_[index]};
}

ProbeGraph::Summary ProbeGraph::Merge(Summary a, Summary b) noexcept {
  const std::uint32_t worst = std::max(a.worst & kLongestTrip, b.worst & kLongestTrip);
  return Summary{std::min(a.best, b.best), worst | ((a.worst | b.worst) & kLostBit)};
}

ProbeGraph::Summary ProbeGraph::OfProbe(std::size_t index) const {
  const std::uint32_t trip = trips_[index];
  return trip == kLostProbe ? Summary{kLostProbe, kLostBit} : Summary{trip, trip};
}

std::size_t ProbeGraph::ProbesPerColumn(std::size_t columnCount) const noexcept {
  std::size_t width = 1;
  while ((Count() + width - 1) / width > columnCount) width *= 2;
  return width;
}

std::size_t ProbeGraph::LevelsUpTo(std::size_t width) const noexcept {
  const std::size_t levels = width < kLeafProbes ? 0 : static_cast<std::size_t>(std::bit_width(width / kLeafProbes));
  return std::min(levels, levels_.size());
}

ProbeGraph::Summary ProbeGraph::OfRange(std::size_t first, std::size_t end, std::size_t width) const {
  // Complete blocks from the widest that fits down, then the probes of the open leaf.
  Summary all;
  std::size_t at = first;
  for (std::size_t level = LevelsUpTo(width); level-- > 0;) {
    const std::size_t block = kLeafProbes << level;
    if (at + block > end) continue;
    all = Merge(all, levels_[level][at / block]);
    at += block;
  }
  for (; at < end; ++at) all = Merge(all, OfProbe(at));
  return all;
}

PingGraph ProbeGraph::Columns(std::size_t columnCount) const {
  PingGraph graph;
  if (columnCount == 0 || Count() == 0) return graph;
  const std::size_t width = ProbesPerColumn(columnCount);
  graph.probesPerColumn = width;
  graph.columns.reserve((Count() + width - 1) / width);
  std::uint32_t worstShown = 0;
  for (std::size_t first = 0; first < Count(); first += width) {
    const std::size_t end = std::min(first + width, Count());
    const Summary s = OfRange(first, end, width);
    GraphColumn& column = graph.columns.emplace_back();
    column.replied = s.best != kLostProbe;
    column.lost = (s.worst & kLostBit) != 0;
    column.bestMs = column.replied ? s.best : 0;
    column.worstMs = s.worst & kLongestTrip;
    column.firstProbe = first;
    column.lastProbe = end - 1;
    worstShown = std::max(worstShown, column.worstMs);
  }
  graph.scaleMs = NiceScale(worstShown);
  return graph;
}

std::optional<std::size_t> ProbeGraph::ProbeAt(std::size_t columnCount, std::size_t column) const {
  if (columnCount == 0) return std::nullopt;
  const std::size_t width = ProbesPerColumn(columnCount);
  if (column >= (Count() + width - 1) / width) return std::nullopt;
  const std::size_t first = column * width;
  return WorstIn(first, std::min(first + width, Count()), width);
}

namespace {

// Whether a part of a range holds the probe the whole range's summary names: a lost
// one if any was lost, else the slowest reply.
bool Holds(std::uint32_t partWorst, std::uint32_t wantedWorst) {
  if ((wantedWorst & kLostBit) != 0) return (partWorst & kLostBit) != 0;
  return (partWorst & kLongestTrip) == wantedWorst;
}

}  // namespace

std::size_t ProbeGraph::WorstIn(std::size_t first, std::size_t end, std::size_t width) const {
  const Summary wanted = OfRange(first, end, width);
  std::size_t at = first;
  for (std::size_t level = LevelsUpTo(width); level-- > 0;) {
    const std::size_t block = kLeafProbes << level;
    if (at + block > end) continue;
    if (Holds(levels_[level][at / block].worst, wanted.worst)) return WorstInBlock(level, at / block, wanted);
    at += block;
  }
  for (; at < end; ++at) {
    if (Holds(OfProbe(at).worst, wanted.worst)) return at;
  }
  return first;
}

std::size_t ProbeGraph::WorstInBlock(std::size_t level, std::size_t block, Summary wanted) const {
  for (; level > 0; --level) {
    block = Holds(levels_[level - 1][2 * block].worst, wanted.worst) ? 2 * block : 2 * block + 1;
  }
  const std::size_t first = block * kLeafProbes;
  for (std::size_t at = first; at < first + kLeafProbes; ++at) {
    if (Holds(OfProbe(at).worst, wanted.worst)) return at;
  }
  return first;
}

std::size_t ProbeGraph::MemoryBytes() const noexcept {
  std::size_t bytes = times_.MemoryBytes() + trips_.MemoryBytes() + lineStarts_.MemoryBytes() +
                      lineLengths_.MemoryBytes() + levels_.capacity() * sizeof(Level);
  for (const Level& level : levels_) bytes += level.MemoryBytes();
  return bytes;
}

}  // namespace vexlo
