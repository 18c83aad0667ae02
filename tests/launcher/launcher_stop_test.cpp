// Stop: Ctrl+C in the tool's console first, then its job.
#include <gtest/gtest.h>

#include <cstdio>

#include "launcher/launcher_fixture.h"

namespace vexlo::test {
namespace {

using namespace std::chrono_literals;

// Long enough that only a Stop or the release, never the grace period, ends a tool.
constexpr auto kEndlessGrace = std::chrono::milliseconds(30000);

TEST_F(CtrlCTest, ToolsSummaryOnCtrlCArrivesBeforeTheEndWellWithinTheGracePeriod) {
  Start(L"onctrlc 4-sent-4-received pid print ready sleep 60000");
  ASSERT_TRUE(PumpUntilLine(L"ready"));
  const auto stopAt = Clock::now();
  launcher_->StopProcess();
  ASSERT_TRUE(PumpUntilEnded());
  std::printf("Stop to ProcessEnded, a tool that prints a summary on Ctrl+C: %lld ms\n",
              Ms(events_.endedAt - stopAt));
  const std::wstring text = events_.Text();
  EXPECT_EQ(text.substr(text.find(L"ready\r\n")), L"ready\r\n4-sent-4-received\r\n");
  EXPECT_LT(events_.endedAt - stopAt, kStopGracePeriod);
  PumpFor(200ms);
  EXPECT_EQ(events_.ended, 1);
}

// Attaching to the tool's console would reset this process's console handlers on
// Windows, and the Ctrl+C raised there would then end it.
TEST_F(CtrlCTest, StopNeverPutsThisProcessOnTheToolsConsole) {
  for (int stop = 0; stop < 5; ++stop) {
    events_ = RecordingEvents{};
    Start(L"onctrlc summary watchconsole print ready sleep 60000");
    ASSERT_TRUE(PumpUntilLine(L"ready"));
    launcher_->StopProcess();
    ASSERT_TRUE(PumpUntilEnded());
    const std::wstring text = events_.Text();
    ASSERT_TRUE(events_.HasLine(L"summary")) << Narrow(text);
    const auto report = text.find(L"console");
    ASSERT_NE(report, std::wstring::npos) << Narrow(text);
    const std::wstring line = text.substr(report, text.find(L"\r\n", report) - report) + L" ";
    EXPECT_EQ(line.find(L" " + std::to_wstring(::GetCurrentProcessId()) + L" "), std::wstring::npos)
        << "this process was on the tool's console: " << Narrow(line);
  }
}

TEST_F(CtrlCTest, ToolIgnoringCtrlCIsEndedWhenTheGracePeriodRunsOut) {
  Start(L"ignorectrlc pid print ready sleep 60000");
  ASSERT_TRUE(PumpUntilLine(L"ready"));
  const DWORD tool = NumberAfter(events_.Text(), L"pid");
  const auto stopAt = Clock::now();
  launcher_->StopProcess();
  PumpFor(300ms);
  EXPECT_EQ(events_.ended, 0) << "ended before its grace period";
  EXPECT_FALSE(ProcessGone(tool, 0ms));
  ASSERT_TRUE(PumpUntilEnded(15s));
  std::printf("Stop to ProcessEnded, a tool that ignores Ctrl+C: %lld ms (grace period %lld ms)\n",
              Ms(events_.endedAt - stopAt), static_cast<long long>(kStopGracePeriod.count()));
  EXPECT_TRUE(ProcessGone(tool, 2000ms));
}

TEST_F(CtrlCTest, SecondStopEndsAToolIgnoringCtrlCAtOnce) {
  Make(CP_OEMCP, kEndlessGrace);
  Start(L"ignorectrlc pid print ready sleep 60000");
  ASSERT_TRUE(PumpUntilLine(L"ready"));
  const DWORD tool = NumberAfter(events_.Text(), L"pid");
  launcher_->StopProcess();
  PumpFor(300ms);
  ASSERT_EQ(events_.ended, 0);
  const auto secondStopAt = Clock::now();
  launcher_->StopProcess();
  ASSERT_TRUE(PumpUntilEnded(10s));
  std::printf("second Stop to ProcessEnded: %lld ms\n", Ms(events_.endedAt - secondStopAt));
  EXPECT_LT(events_.endedAt - secondStopAt, 5s);
  EXPECT_TRUE(ProcessGone(tool, 2000ms));
}

TEST_F(CtrlCTest, ChildOnTheToolsConsoleGetsCtrlCTooAndNothingOfTheToolIsLeft) {
  // sharedchild runs on the tool's console; grandchild on one of its own, holding the pipe.
  Start(L"onctrlc tool-summary sharedchild grandchild pid print ready sleep 60000");
  ASSERT_TRUE(PumpUntil([&] { return events_.HasLine(L"ready") && events_.HasLine(L"child-ready"); }));
  const std::wstring before = events_.Text();
  const DWORD ids[] = {NumberAfter(before, L"pid"), NumberAfter(before, L"sharedchild"),
                       NumberAfter(before, L"grandchild")};
  for (DWORD id : ids) ASSERT_NE(id, 0u) << Narrow(before);
  launcher_->StopProcess();
  ASSERT_TRUE(PumpUntilEnded());
  const std::wstring text = events_.Text();
  const auto child = text.find(L"child-summary\r\n");
  ASSERT_NE(child, std::wstring::npos) << Narrow(text);
  EXPECT_NE(text.find(L"tool-summary\r\n", child), std::wstring::npos) << Narrow(text);
  for (DWORD id : ids) EXPECT_TRUE(ProcessGone(id, 2000ms)) << id;
}

TEST_F(CtrlCTest, RunAfterAStoppedOneStillReactsToCtrlC) {
  for (const std::wstring run : {L"1", L"2"}) {
    const int endedBefore = events_.ended;
    const std::wstring summary = L"summary-" + run;
    Start(L"onctrlc " + summary + L" print ready-" + run + L" sleep 60000");
    ASSERT_TRUE(PumpUntilLine(L"ready-" + run));
    launcher_->StopProcess();
    ASSERT_TRUE(PumpUntil([&] { return events_.ended > endedBefore; }));
    EXPECT_TRUE(events_.HasLine(summary)) << Narrow(events_.Text());
  }
}

TEST_F(CtrlCTest, ReleasingDuringTheGracePeriodEndsEverythingAtOnce) {
  Make(CP_OEMCP, kEndlessGrace);
  Start(L"ignorectrlc pid grandchild print ready sleep 60000");
  ASSERT_TRUE(PumpUntilLine(L"ready"));
  const DWORD tool = NumberAfter(events_.Text(), L"pid");
  const DWORD grandchild = NumberAfter(events_.Text(), L"grandchild");
  launcher_->StopProcess();
  PumpFor(200ms);
  ASSERT_EQ(events_.ended, 0);
  const std::size_t pieces = events_.pieces.size();
  const auto releaseAt = Clock::now();
  launcher_.reset();
  const auto released = Clock::now() - releaseAt;
  EXPECT_TRUE(ProcessGone(tool, 2000ms));
  EXPECT_TRUE(ProcessGone(grandchild, 2000ms));
  std::printf("release during the grace period: %lld ms, tool gone after %lld ms\n", Ms(released),
              Ms(Clock::now() - releaseAt));
  PumpFor(300ms);
  EXPECT_EQ(events_.pieces.size(), pieces);
  EXPECT_EQ(events_.ended, 0);
}

TEST_F(CtrlCTest, ExitDuringTheGracePeriodEndsEverythingAtOnce) {
  // The host stops a tool that ignores Ctrl+C and leaves through ExitProcess at once,
  // as the window's Exit does; its grace timer dies with it.
  HostProcess host;
  ASSERT_TRUE(host.Start(L"stop ready exit -- " + ScriptedTool() + L" ignorectrlc pid grandchild print ready sleep 60000"));
  ASSERT_EQ(host.WaitForEnd(20s), 0u) << host.Output();
  const auto exitedAt = Clock::now();
  const DWORD tool = NumberAfter(host.Output(), "pid");
  const DWORD grandchild = NumberAfter(host.Output(), "grandchild");
  ASSERT_NE(tool, 0u);
  ASSERT_NE(grandchild, 0u);
  EXPECT_TRUE(ProcessGone(tool, 5000ms));
  EXPECT_TRUE(ProcessGone(grandchild, 5000ms));
  std::printf("Exit during the grace period: tool and child gone %lld ms after the program\n",
              Ms(Clock::now() - exitedAt));
}

TEST_F(CtrlCTest, ProgramLivesThroughTheCtrlCItRaises) {
  HostProcess host;
  ASSERT_TRUE(host.Start(L"stop ready -- " + ScriptedTool() + L" onctrlc summary print ready sleep 60000"));
  EXPECT_EQ(host.WaitForEnd(20s), 0u) << host.Output();
  const std::string& out = host.Output();
  const auto summary = out.find("summary\r\n");
  ASSERT_NE(summary, std::string::npos) << out;
  // The Ctrl+C reaches the host only while it is still attached, which under Wine it
  // often is not; when it did, the host lived on.
  const auto ended = out.find("ended\r\nctrl-c ", summary);
  ASSERT_NE(ended, std::string::npos) << out;
  EXPECT_NE(out.find("\r\nalive\r\n", ended), std::string::npos) << out;
  std::printf("the host took %lu of the Ctrl+C it raised\n", NumberAfter(out.substr(ended), "ctrl-c"));
}

TEST_F(CtrlCTest, StopIsHarmlessWhenNothingRunsAndEndsARunOnce) {
  launcher_->StopProcess();
  launcher_->StopProcess();
  Start(L"sleep 30000");
  launcher_->StopProcess();
  launcher_->StopProcess();
  ASSERT_TRUE(PumpUntilEnded());
  launcher_->StopProcess();
  PumpFor(300ms);
  EXPECT_EQ(events_.ended, 1);
}

}  // namespace
}  // namespace vexlo::test
