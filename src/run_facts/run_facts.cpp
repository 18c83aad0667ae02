#include "run_facts/run_facts.h"

#include <algorithm>

#include "run_facts/line_splitter.h"
#include "run_facts/ping_tally.h"
#include "run_facts/probe_graph.h"
#include "run_facts/tool_lines.h"

namespace vexlo {

struct RunFacts::Impl {
  // Where a ping run is: its probe lines follow the header up to the first empty line.
  enum class PingPart { BeforeHeader, Probes, Summary };

  bool running = false;
  RunTool tool = RunTool::Lookup;
  std::uint32_t runStart = 0;
  LineSplitter lines;
  PingPart pingPart = PingPart::BeforeHeader;
  ProbeGraph probes;
  PingTally tally;
  std::vector<TraceHop> hops;

  bool ReadLine(const SplitLine& line);
  bool ReadPingLine(const SplitLine& line);
  bool ReadTraceLine(const SplitLine& line);
};

bool RunFacts::Impl::ReadLine(const SplitLine& line) {
  switch (tool) {
    case RunTool::Ping: return ReadPingLine(line);
    case RunTool::Traceroute: return ReadTraceLine(line);
    case RunTool::Lookup: return false;
  }
  return false;
}

bool RunFacts::Impl::ReadPingLine(const SplitLine& line) {
  switch (pingPart) {
    case PingPart::BeforeHeader:
      if (IsPingHeader(line.text)) pingPart = PingPart::Probes;
      return false;
    case PingPart::Probes: break;
    case PingPart::Summary: return false;
  }
  if (TrimEnd(line.text).empty()) {
    pingPart = PingPart::Summary;
    return false;
  }
  if (IsBreakLine(line.text)) return false;
  const PingProbe probe{line.time, EchoRoundTrip(line.text).value_or(kLostProbe), line.start, line.length};
  probes.Add(probe);
  tally.Add(probe.roundTripMs);
  return true;
}

bool RunFacts::Impl::ReadTraceLine(const SplitLine& line) {
  std::optional<TraceHop> hop = ReadHopLine(line.text);
  if (!hop) return false;
  hop->lineStart = line.start;
  hop->lineLength = line.length;
  hops.push_back(std::move(*hop));
  return true;
}

RunFacts::RunFacts() : impl_(std::make_unique<Impl>()) {}
RunFacts::~RunFacts() = default;
RunFacts::RunFacts(RunFacts&&) noexcept = default;
RunFacts& RunFacts::operator=(RunFacts&&) noexcept = default;

void RunFacts::StartRun(RunTool tool, std::uint32_t offset) {
  Impl& facts = *impl_;
  facts.running = true;
  facts.tool = tool;
  facts.runStart = offset;
  facts.lines.Reset();
  if (tool == RunTool::Ping) {
    facts.pingPart = Impl::PingPart::BeforeHeader;
    facts.probes.Clear();
    facts.tally = PingTally{};
  } else if (tool == RunTool::Traceroute) {
    facts.hops.clear();
  }
}

bool RunFacts::Read(std::wstring_view piece, std::uint32_t offset, FactTime time) {
  Impl& facts = *impl_;
  if (!facts.running) return false;
  // Text before the run's start belongs to an earlier run.
  if (offset < facts.runStart) {
    const std::size_t before = std::min<std::size_t>(facts.runStart - offset, piece.size());
    piece.remove_prefix(before);
    offset += static_cast<std::uint32_t>(before);
  }
  bool added = false;
  facts.lines.Split(piece, offset, time, [&](const SplitLine& line) { added |= facts.ReadLine(line); });
  return added;
}

bool RunFacts::EndRun() {
  Impl& facts = *impl_;
  if (!facts.running) return false;
  bool added = false;
  facts.lines.Flush([&](const SplitLine& line) { added = facts.ReadLine(line); });
  facts.running = false;
  return added;
}

void RunFacts::Clear() {
  Impl& facts = *impl_;
  facts.runStart = 0;
  facts.lines.DropText();
  facts.probes.Clear();
  facts.tally = PingTally{};
  facts.hops.clear();
  facts.hops.shrink_to_fit();
}

std::size_t RunFacts::ProbeCount() const noexcept { return impl_->probes.Count(); }
PingProbe RunFacts::Probe(std::size_t index) const { return impl_->probes.Probe(index); }
std::wstring RunFacts::PingStatistics() const { return impl_->tally.Line(); }
PingGraph RunFacts::Columns(std::size_t columnCount) const { return impl_->probes.Columns(columnCount); }
std::optional<std::size_t> RunFacts::ProbeAt(std::size_t columnCount, std::size_t column) const {
  return impl_->probes.ProbeAt(columnCount, column);
}
const std::vector<TraceHop>& RunFacts::Hops() const noexcept { return impl_->hops; }
std::wstring RunFacts::TraceStatistics() const { return TraceLine(impl_->hops); }
std::size_t RunFacts::MemoryBytes() const noexcept { return sizeof(Impl) + impl_->probes.MemoryBytes(); }

}  // namespace vexlo
