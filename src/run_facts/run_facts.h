#pragma once
// Facts read from a tool's output while it arrives: the probes of a ping run, with
// their statistics and the model of the strip that graphs them, and the hops of a
// traceroute run. They are read from the shape of the lines alone, never from their
// words: ping and tracert print in the user's language.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vexlo {

enum class RunTool { Ping, Traceroute, Lookup };

// The caller's clock, in whatever unit it hands to Read (FILETIME ticks, ms).
using FactTime = std::int64_t;

// The round trip of a probe that got no echo reply.
inline constexpr std::uint32_t kLostProbe = 0xFFFFFFFF;

struct PingProbe {
  FactTime time = 0;                        // when its line's first character was read
  std::uint32_t roundTripMs = kLostProbe;   // "<1" is 0
  std::uint32_t lineStart = 0;              // its line in the box's text, line end excluded
  std::uint32_t lineLength = 0;
  [[nodiscard]] bool Lost() const noexcept { return roundTripMs == kLostProbe; }
};

// One column of the strip: the probes firstProbe..lastProbe (inclusive).
struct GraphColumn {
  std::uint32_t bestMs = 0;   // of its echo replies; both 0 when none replied
  std::uint32_t worstMs = 0;
  bool replied = false;       // some probe got an echo reply
  bool lost = false;          // some probe got none
  std::size_t firstProbe = 0;
  std::size_t lastProbe = 0;
};

struct PingGraph {
  // Oldest first, the newest last (drawn at the right). One column per probe while
  // they fit; beyond that each holds probesPerColumn probes, the newest maybe fewer.
  std::vector<GraphColumn> columns;
  std::size_t probesPerColumn = 1;  // a power of two
  std::uint32_t scaleMs = 1;        // the strip's top: 1, 2, 5, 10, 20, 50 ... ms, >= every worstMs
};

struct TraceHop {
  std::uint32_t number = 0;
  std::uint32_t probeMs[3] = {kLostProbe, kLostProbe, kLostProbe};
  std::uint32_t bestMs = kLostProbe;  // the fastest of the three
  std::wstring host;                  // the rest of the line: the host, or the tool's message
  std::uint32_t lineStart = 0;
  std::uint32_t lineLength = 0;
  [[nodiscard]] bool Replied() const noexcept { return bestMs != kLostProbe; }
};

// The facts of one output box: those of its latest ping run and of its latest
// traceroute run. A lookup run adds none.
class RunFacts {
 public:
  RunFacts();
  ~RunFacts();
  RunFacts(RunFacts&&) noexcept;
  RunFacts& operator=(RunFacts&&) noexcept;
  RunFacts(const RunFacts&) = delete;
  RunFacts& operator=(const RunFacts&) = delete;

  // A run of tool starts at offset in the box's text; the facts of that tool start
  // anew, those of the other stay.
  void StartRun(RunTool tool, std::uint32_t offset);
  // The run's next piece of output: it starts at offset in the box's text, and its
  // first character was read at time. Pieces may split a line anywhere, even between
  // CR and LF. Returns whether a probe or a hop was added.
  bool Read(std::wstring_view piece, std::uint32_t offset, FactTime time);
  // The run ended: a last line without a line end is read too.
  bool EndRun();
  // The box was emptied: no facts. A run still going on reads on, from the box's new
  // start; the rest of a line begun before is no line.
  void Clear();

  [[nodiscard]] std::size_t ProbeCount() const noexcept;
  [[nodiscard]] PingProbe Probe(std::size_t index) const;
  // "sent 8 · received 6 · lost 2 (25 %) · min 0 ms · avg 15.8 ms · max 48 ms ·
  // jitter 21.8 ms"; only the counts before the first echo reply, no jitter before
  // the second. "received" counts echo replies only.
  [[nodiscard]] std::wstring PingStatistics() const;
  // The strip's columns for at most columnCount columns; its cost does not grow with
  // the number of probes.
  [[nodiscard]] PingGraph Columns(std::size_t columnCount) const;
  // The probe that column (an index into Columns(columnCount).columns) stands for: its
  // first lost probe, else its slowest reply, else nothing when there is no such column.
  [[nodiscard]] std::optional<std::size_t> ProbeAt(std::size_t columnCount, std::size_t column) const;

  [[nodiscard]] const std::vector<TraceHop>& Hops() const noexcept;
  // "hops 7 · replied 6 · slowest hop 5 (48 ms)": the slowest by its best time.
  [[nodiscard]] std::wstring TraceStatistics() const;

  // The bytes the ping facts hold.
  [[nodiscard]] std::size_t MemoryBytes() const noexcept;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace vexlo
