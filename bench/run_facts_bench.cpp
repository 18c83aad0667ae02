// Times the run facts over a week of ping -t: 604,800 probe lines in the 8,192-character
// pieces the window reads, through the reader, the statistics line (made after every
// piece, as the window's label would show it) and the graph model.
//   1. The cost per probe in the first and in the last tenth of the week: flat.
//   2. A Columns() query of 400 columns, as a paint asks, and a hit test, at 1,000
//      and at 604,800 probes: the same.
//   3. The memory per probe: the facts' own count, and the process's private bytes.
// Usage: run_facts_bench
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "run_facts/run_facts.h"

#include "process_memory.h"

namespace {

using vexlo::bench::PrivateBytes;

using namespace vexlo;
using Clock = std::chrono::steady_clock;

constexpr std::size_t kWeekProbes = 7 * 24 * 60 * 60;
constexpr std::size_t kPieceChars = 8192;
constexpr std::size_t kColumns = 400;
constexpr FactTime kSecond = 10'000'000;  // FILETIME ticks

double Ns(Clock::duration d) { return std::chrono::duration<double, std::nano>(d).count(); }

// The output file is read as UTF-8.
std::string Utf8(const std::wstring& text) {
  const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string bytes(static_cast<std::size_t>(std::max(size, 0)), '\0');
  if (size > 0) {
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), size, nullptr, nullptr);
  }
  return bytes;
}

// ping -t's output, one line a second, cut into pieces that split lines anywhere.
class PingTranscript {
 public:
  explicit PingTranscript(std::size_t probes) : probes_(probes) {
    pending_ = L"\r\nPinging 192.0.2.1 with 32 bytes of data:\r\n";
  }
  // The next piece, its offset in the box and the time of its first character; false at the end.
  bool Next(std::wstring& piece, std::uint32_t& offset, FactTime& time) {
    while (pending_.size() < kPieceChars && written_ <= probes_) AddLine();
    if (pending_.empty()) return false;
    const std::size_t take = std::min(kPieceChars, pending_.size());
    piece.assign(pending_, 0, take);
    pending_.erase(0, take);
    offset = static_cast<std::uint32_t>(sent_);
    time = static_cast<FactTime>(written_ - pendingLines_) * kSecond;
    sent_ += take;
    pendingLines_ = static_cast<std::size_t>(std::count(pending_.begin(), pending_.end(), L'\n'));
    return true;
  }

 private:
  void AddLine() {
    if (written_++ == probes_) {
      pending_ += L"\r\nPing statistics for 192.0.2.1:\r\n    Packets: Sent = 1, Received = 1, Lost = 0 (0% loss),\r\n";
      return;
    }
    seed_ = seed_ * 1103515245 + 12345;
    const unsigned roll = (seed_ >> 16) % 100;
    pending_ += roll == 0 ? std::wstring(L"Request timed out.\r\n")
                          : L"Reply from 192.0.2.1: bytes=32 time=" + std::to_wstring(5 + roll % 40) + L"ms TTL=117\r\n";
  }

  std::size_t probes_;
  std::size_t written_ = 0;
  std::size_t pendingLines_ = 0;
  std::size_t sent_ = 0;
  unsigned seed_ = 1;
  std::wstring pending_;
};

void ReadAll(RunFacts& facts, std::size_t probes) {
  PingTranscript transcript(probes);
  std::wstring piece;
  std::uint32_t offset = 0;
  FactTime time = 0;
  facts.StartRun(RunTool::Ping, 0);
  while (transcript.Next(piece, offset, time)) static_cast<void>(facts.Read(piece, offset, time));
  static_cast<void>(facts.EndRun());
}

double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2), values.end());
  return values[values.size() / 2];
}

// The machine is shared: the fastest of several batches is the cost, the rest is waiting.
template <typename Query>
double FastestNs(Query&& query) {
  constexpr int kBatches = 40, kPerBatch = 100;
  double fastest = 1e300;
  for (int batch = 0; batch < kBatches; ++batch) {
    const auto start = Clock::now();
    for (int i = 0; i < kPerBatch; ++i) query(i);
    fastest = std::min(fastest, Ns(Clock::now() - start) / kPerBatch);
  }
  return fastest;
}

// A paint's query and a hit test.
void TimeQueries(const RunFacts& facts) {
  const std::size_t columns = facts.Columns(kColumns).columns.size();
  std::size_t sink = 0;
  const double queryNs = FastestNs([&](int) { sink += facts.Columns(kColumns).columns.size(); });
  const double hitNs = FastestNs([&](int i) { sink += facts.ProbeAt(kColumns, static_cast<std::size_t>(i) % columns).value_or(0); });
  const std::size_t hits = sink;
  std::printf("  %7zu probes: Columns(%zu) %.1f us, %.1f ns a column (%zu columns of %zu probes); ProbeAt %.2f us%s\n",
              facts.ProbeCount(), kColumns, queryNs / 1000, queryNs / static_cast<double>(columns), columns,
              facts.Columns(kColumns).probesPerColumn, hitNs / 1000, hits == 0 ? " (no hit)" : "");
}

int BenchWeek() {
  std::printf("== 1. A week of ping -t: %zu probes in %zu-character pieces ==\n", kWeekProbes, kPieceChars);
  const std::size_t before = PrivateBytes();
  RunFacts facts;
  facts.StartRun(RunTool::Ping, 0);
  PingTranscript transcript(kWeekProbes);
  std::wstring piece;
  std::uint32_t offset = 0;
  FactTime time = 0;
  // ns per probe of each piece; their median, as other programs share the machine.
  std::vector<double> first, last;
  std::size_t firstProbes = 0, lastProbes = 0, statisticsChars = 0;
  while (transcript.Next(piece, offset, time)) {
    const std::size_t had = facts.ProbeCount();
    const auto start = Clock::now();
    static_cast<void>(facts.Read(piece, offset, time));
    statisticsChars += facts.PingStatistics().size();
    const double ns = Ns(Clock::now() - start);
    const std::size_t added = facts.ProbeCount() - had;
    if (added == 0) continue;
    if (had < kWeekProbes / 10) {
      first.push_back(ns / static_cast<double>(added));
      firstProbes += added;
    } else if (had >= kWeekProbes - kWeekProbes / 10) {
      last.push_back(ns / static_cast<double>(added));
      lastProbes += added;
    }
  }
  static_cast<void>(facts.EndRun());
  const std::size_t after = PrivateBytes();
  std::printf("  per probe, reader, statistics and graph model: first tenth %.0f ns, last tenth %.0f ns\n"
              "  (median over pieces; %zu and %zu probes)\n", Median(first), Median(last), firstProbes, lastProbes);
  std::printf("  statistics at the end (%zu characters made in all):\n    %s\n", statisticsChars,
              Utf8(facts.PingStatistics()).c_str());

  std::printf("\n== 2. A paint's query and a hit test ==\n");
  RunFacts small;
  ReadAll(small, 1000);
  TimeQueries(small);
  TimeQueries(facts);

  std::printf("\n== 3. Memory per probe ==\n");
  const double probes = static_cast<double>(facts.ProbeCount());
  std::printf("  held by the facts: %.2f bytes (%zu bytes for %zu probes; under 24 wanted)\n",
              static_cast<double>(facts.MemoryBytes()) / probes, facts.MemoryBytes(), facts.ProbeCount());
  std::printf("  process private bytes grew by %.2f bytes per probe\n",
              static_cast<double>(after > before ? after - before : 0) / probes);
  return facts.ProbeCount() == kWeekProbes ? 0 : 1;
}

}  // namespace

int wmain() { return BenchWeek(); }
