// Handing the output to the window: in turns that never hold its message loop long.
#include <windows.h>
#include <psapi.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

#include "launcher/launcher_fixture.h"
#include "launcher/output_reader.h"
#include "launcher/tool_start.h"
#include "support/failing_allocations.h"

namespace vexlo::test {
namespace {

using namespace std::chrono_literals;

// Whichever of the counters the platform keeps best (Wine fills some of them only).
SIZE_T PrivateBytes() {
  PROCESS_MEMORY_COUNTERS_EX counters{};
  ::GetProcessMemoryInfo(::GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                         sizeof counters);
  return std::max({counters.PrivateUsage, counters.PagefileUsage, counters.WorkingSetSize});
}

using LauncherDelivery = LauncherTest;

TEST_F(LauncherDelivery, FloodNeverHoldsTheLoopAndStopShowsTheRestSoon) {
  events_.keepPieces = false;
  // 5 ms a piece, the same for every piece: a whole queue at once would hold the
  // loop for far longer than a turn may.
  events_.onData = [](const std::wstring&) { SpinFor(5ms); };
  const SIZE_T before = PrivateBytes();
  Start(L"flood 800000000");
  TimedPump loop;
  ASSERT_TRUE(loop.Until([&] { return events_.chars > 4u * 1024 * 1024; }, 120s));
  const SIZE_T during = PrivateBytes();
  const auto stopAt = Clock::now();
  launcher_->StopProcess();
  ASSERT_TRUE(loop.Until([&] { return events_.ended > 0; }, 20s));
  const auto stopTook = events_.endedAt - stopAt;
  std::printf("flood: %zu KB received, private bytes +%lld KB, longest time away from the loop %lld ms, "
              "Stop to ProcessEnded %lld ms\n",
              events_.chars >> 10, (static_cast<long long>(during) - static_cast<long long>(before)) / 1024,
              Ms(loop.longest), Ms(stopTook));
  EXPECT_LT(during, before + 64u * 1024 * 1024);
  EXPECT_LT(loop.longest, 150ms);
  EXPECT_LT(stopTook, 2s);
  EXPECT_EQ(events_.ended, 1);
}

TEST_F(LauncherDelivery, TurnStoppedByItsTimeComesBackForTheRestWithoutNewOutput) {
  launcher_->BufferSize(16);
  // Each piece costs more than a turn may take, so every turn hands over one piece.
  events_.onData = [](const std::wstring&) { SpinFor(20ms); };
  const std::wstring text(160, L'y');
  // The tool writes once and then nothing more: only the launcher can come back.
  Start(L"write " + text + L" sleep 60000");
  ASSERT_TRUE(PumpUntil([&] { return events_.chars >= text.size(); }, 20s)) << events_.chars;
  EXPECT_EQ(events_.Text(), text);
  EXPECT_GE(events_.pieces.size(), 4u);
  launcher_->StopProcess();
  ASSERT_TRUE(PumpUntilEnded());
}

TEST_F(LauncherDelivery, HandlerThatReleasesTheLauncherGetsNoFurtherEvent) {
  launcher_->BufferSize(16);
  Start(L"write " + std::wstring(200, L'z') + L" sleep 60000");
  ::Sleep(500);  // everything read, the queue full of pieces, none handed over
  events_.onData = [&](const std::wstring&) { launcher_.reset(); };
  PumpFor(500ms);
  EXPECT_EQ(events_.pieces.size(), 1u);
  EXPECT_EQ(events_.ended, 0);
  EXPECT_EQ(launcher_, nullptr);
}

TEST_F(LauncherDelivery, PiecesWaitingTogetherAreJoinedUpToBufferSize) {
  launcher_->BufferSize(1024);
  Start(L"lines 200 0 sleep 60000");  // 200 writes of a line each
  // All read while the window takes nothing; on a loaded machine the tool's start
  // alone can take half a second.
  ::Sleep(1500);
  ASSERT_TRUE(PumpUntilLine(L"line 200"));
  std::wstring expected;
  for (int i = 1; i <= 200; ++i) expected += L"line " + std::to_wstring(i) + L"\r\n";
  EXPECT_EQ(events_.Text(), expected);
  EXPECT_LE(events_.pieces.size(), 6u);
  for (const auto& piece : events_.pieces) EXPECT_LE(piece.size(), 1024u);
  launcher_->StopProcess();
  ASSERT_TRUE(PumpUntilEnded());
}

// Out of memory while decoding ends the run. Outside any job of ours (a null job
// here; the test keeps the real one) only the reader can end the tool then.
TEST(OutputReader, RunThatFailsToDecodeEndsAToolOutsideAJob) {
  StartedTool tool;
  // Longer than a string holds without an allocation of its own.
  ASSERT_EQ(StartTool(ScriptedTool() + L" write " + std::wstring(200, L'x') + L" sleep 60000", 4096, tool), 0u);
  const UniqueKernelHandle cancel(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  OutputQueue queue(4096, 4 * 4096, [] {});
  ReaderSetup setup{nullptr, tool.process.get(), tool.output.get(), cancel.get(), &queue, CP_OEMCP, 4096};
  {
    FailingAllocations failing(1);  // the read buffer; on this thread, where the reader runs now
    ReaderMain(&setup);
    ASSERT_TRUE(failing.Refused());
  }
  EXPECT_EQ(::WaitForSingleObject(tool.process.get(), 5000), WAIT_OBJECT_0) << "the tool still runs";
  std::wstring piece;
  ReadTimes times;
  while (queue.Take(piece, times) == OutputQueue::Took::kPiece) {
  }
  EXPECT_EQ(queue.Take(piece, times), OutputQueue::Took::kEnd);
}

}  // namespace
}  // namespace vexlo::test
