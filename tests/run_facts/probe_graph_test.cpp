#include "run_facts/probe_graph.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

namespace vexlo {
namespace {

// Round trips with losses and spikes, so that a column's best, worst and loss differ.
std::vector<std::uint32_t> Trips(std::size_t count, unsigned seed) {
  std::mt19937 random(seed);
  std::vector<std::uint32_t> trips(count);
  for (std::uint32_t& ms : trips) {
    const unsigned roll = random() % 100;
    ms = roll < 3 ? kLostProbe : roll < 5 ? 200 + random() % 800 : random() % 40;
  }
  return trips;
}

ProbeGraph GraphOf(const std::vector<std::uint32_t>& trips) {
  ProbeGraph graph;
  for (std::size_t i = 0; i < trips.size(); ++i) {
    graph.Add(PingProbe{static_cast<FactTime>(i) * 10'000'000, trips[i], static_cast<std::uint32_t>(i * 50), 48});
  }
  return graph;
}

// Every column against the probes it names, for counts of probes around the block
// sizes and columns both fewer and more than the probes.
TEST(ProbeGraph, ColumnsAndHitsMatchTheirProbes) {
  for (const std::size_t count : {1, 15, 16, 17, 400, 401, 1000, 4096, 6001}) {
    const std::vector<std::uint32_t> trips = Trips(count, static_cast<unsigned>(count));
    const ProbeGraph graph = GraphOf(trips);
    for (const std::size_t columns : {1, 3, 400, 10000}) {
      SCOPED_TRACE(std::to_string(count) + " probes in " + std::to_string(columns) + " columns");
      const PingGraph shown = graph.Columns(columns);
      const std::size_t width = shown.probesPerColumn;
      ASSERT_EQ(shown.columns.size(), (count + width - 1) / width);
      ASSERT_LE(shown.columns.size(), columns);
      EXPECT_TRUE(width == 1 || (count + width / 2 - 1) / (width / 2) > columns) << "wider than needed";
      std::uint32_t worstShown = 0;
      for (std::size_t c = 0; c < shown.columns.size(); ++c) {
        const GraphColumn& column = shown.columns[c];
        ASSERT_EQ(column.firstProbe, c * width);
        ASSERT_EQ(column.lastProbe, std::min(count, (c + 1) * width) - 1);
        GraphColumn expected{kLostProbe, 0, false, false, column.firstProbe, column.lastProbe};
        for (std::size_t i = column.firstProbe; i <= column.lastProbe; ++i) {
          const bool lost = trips[i] == kLostProbe;
          expected.lost |= lost;
          if (lost) continue;
          expected.bestMs = std::min(expected.bestMs, trips[i]);
          expected.worstMs = std::max(expected.worstMs, trips[i]);
          expected.replied = true;
        }
        if (!expected.replied) expected.bestMs = 0;
        // The probe a hit names: the first lost, else the first of the slowest.
        const auto first = trips.begin() + static_cast<std::ptrdiff_t>(column.firstProbe);
        const auto end = trips.begin() + static_cast<std::ptrdiff_t>(column.lastProbe + 1);
        const auto worst = std::find(first, end, expected.lost ? kLostProbe : expected.worstMs);
        const auto worstProbe = static_cast<std::size_t>(worst - trips.begin());
        EXPECT_EQ(column.bestMs, expected.bestMs) << "column " << c;
        EXPECT_EQ(column.worstMs, expected.worstMs) << "column " << c;
        EXPECT_EQ(column.replied, expected.replied) << "column " << c;
        EXPECT_EQ(column.lost, expected.lost) << "column " << c;
        EXPECT_EQ(graph.ProbeAt(columns, c), worstProbe) << "column " << c;
        worstShown = std::max(worstShown, column.worstMs);
      }
      EXPECT_GE(shown.scaleMs, worstShown);
      EXPECT_LT(shown.scaleMs, std::max(worstShown, 1u) * 5 / 2 + 1);
      EXPECT_EQ(graph.ProbeAt(columns, shown.columns.size()), std::nullopt);
    }
  }
  EXPECT_TRUE(ProbeGraph{}.Columns(400).columns.empty());
}

TEST(ProbeGraph, KeepsEachProbeInUnder24Bytes) {
  const ProbeGraph graph = GraphOf(Trips(100'000, 1));
  const PingProbe probe = graph.Probe(77'777);
  EXPECT_EQ(probe.time, 777'770'000'000);
  EXPECT_EQ(probe.lineStart, 77'777u * 50);
  EXPECT_EQ(probe.lineLength, 48u);
  EXPECT_LT(graph.MemoryBytes(), 24u * 100'000);
}

}  // namespace
}  // namespace vexlo
