#pragma once
// A ping run's probes and the summaries the strip is drawn from. Each level of
// summaries holds the best and worst round trip of aligned blocks of probes, 16 at
// the first level and twice as many at each next one, so that a column of any
// power-of-two width is one summary, or a few for the newest, unfinished one.
// A summary is written when its block is complete, so adding a probe costs the same
// however many came before.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "run_facts/chunked_array.h"
#include "run_facts/run_facts.h"

namespace vexlo {

class ProbeGraph {
 public:
  void Add(const PingProbe& probe);
  void Clear() noexcept;

  [[nodiscard]] std::size_t Count() const noexcept { return trips_.Size(); }
  [[nodiscard]] PingProbe Probe(std::size_t index) const;
  [[nodiscard]] PingGraph Columns(std::size_t columnCount) const;
  [[nodiscard]] std::optional<std::size_t> ProbeAt(std::size_t columnCount, std::size_t column) const;
  [[nodiscard]] std::size_t MemoryBytes() const noexcept;

 private:
  // best is kLostProbe when no probe replied; worst holds the lost flag in its top bit.
  struct Summary {
    std::uint32_t best = kLostProbe;
    std::uint32_t worst = 0;
  };
  static constexpr std::size_t kLeafProbes = 16;
  static constexpr std::size_t kPerChunk = 1024;
  using Level = ChunkedArray<Summary, kPerChunk>;

  [[nodiscard]] static Summary Merge(Summary a, Summary b) noexcept;
  [[nodiscard]] Summary OfProbe(std::size_t index) const;
  [[nodiscard]] std::size_t ProbesPerColumn(std::size_t columnCount) const noexcept;
  // How many levels hold blocks no wider than width.
  [[nodiscard]] std::size_t LevelsUpTo(std::size_t width) const noexcept;
  // [first, end) starts at a multiple of width, a power of two, and holds at most width probes.
  [[nodiscard]] Summary OfRange(std::size_t first, std::size_t end, std::size_t width) const;
  [[nodiscard]] std::size_t WorstIn(std::size_t first, std::size_t end, std::size_t width) const;
  [[nodiscard]] std::size_t WorstInBlock(std::size_t level, std::size_t block, Summary wanted) const;

  ChunkedArray<FactTime, kPerChunk> times_;
  ChunkedArray<std::uint32_t, kPerChunk> trips_;
  ChunkedArray<std::uint32_t, kPerChunk> lineStarts_;
  ChunkedArray<std::uint32_t, kPerChunk> lineLengths_;
  Summary openLeaf_;  // the probes after the last complete leaf block
  std::vector<Level> levels_;
};

}  // namespace vexlo
