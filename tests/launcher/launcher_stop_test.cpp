// Stop: Ctrl+C in the tool's console first, then its job.
#include <gtest/gtest.h>

#include <windows.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cwchar>
#include <vector>

#include "launcher/console_control.h"
#include "launcher/launcher_fixture.h"

namespace vexlo::test {
namespace {

using namespace std::chrono_literals;

// Long enough that only a Stop or the release, never the grace period, ends a tool.
constexpr auto kEndlessGrace = std::chrono::milliseconds(30000);

TEST_F(CtrlCTest, ToolsSummaryOnCtrlCArrivesBeforeTheEndWellWithinTheGracePeriod) {
  Start(L"onctrlc 4-sent-4-received pid print ready sleep 60000");
  ASSERT_TRUE(PumpUntilLine(L"ready"));
  const UniqueKernelHandle tool(::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE,
                                              NumberAfter(events_.Text(), L"pid")));
  ASSERT_TRUE(tool);
  const auto stopAt = Clock::now();
  launcher_->StopProcess();
  ASSERT_TRUE(PumpUntilEnded());
  std::printf("Stop to ProcessEnded, a tool that prints a summary on Ctrl+C: %lld ms\n",
              Ms(events_.endedAt - stopAt));
  const std::wstring text = events_.Text();
  EXPECT_EQ(text.substr(text.find(L"ready\r\n")), L"ready\r\n4-sent-4-received\r\n");
  // Ended by its own handler (exit code 2), not by us when the grace period ran out:
  // that runs from the Ctrl+C, which a Stop this early gets once the sender runs.
  ASSERT_EQ(::WaitForSingleObject(tool.get(), 5000), WAIT_OBJECT_0);
  DWORD exitCode = 0;
  EXPECT_TRUE(::GetExitCodeProcess(tool.get(), &exitCode));
  EXPECT_EQ(exitCode, 2u);
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

std::vector<DWORD> SendersOf(DWORD parent, const wchar_t* program);

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
  // Exit came while the sender was being started, which leaves it suspended for good
  // unless its job ends it.
  for (DWORD sender : SendersOf(::GetProcessId(host.Process()), L"launcher_host.exe")) {
    EXPECT_TRUE(ProcessGone(sender, 5000ms)) << "a sender outlived the program";
  }
}

TEST_F(CtrlCTest, ProgramLivesThroughTheCtrlCItRaises) {
  HostProcess host;
  ASSERT_TRUE(host.Start(L"stop ready -- " + ScriptedTool() + L" onctrlc summary print ready sleep 60000"));
  EXPECT_EQ(host.WaitForEnd(20s), 0u) << host.Output();
  const std::string& out = host.Output();
  const auto summary = out.find("summary\r\n");
  ASSERT_NE(summary, std::string::npos) << out;
  // Never on the tool's console, the host never sees the Ctrl+C.
  EXPECT_NE(out.find("ended\r\nctrl-c 0\r\nalive\r\n", summary), std::string::npos) << out;
}

// The running copies of parent's program that it started, as the launcher starts its
// senders.
std::vector<DWORD> SendersOf(DWORD parent, const wchar_t* program) {
  std::vector<DWORD> senders;
  const wchar_t* name = std::wcsrchr(program, L'\\') != nullptr ? std::wcsrchr(program, L'\\') + 1 : program;
  const UniqueKernelHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = snapshot && ::Process32FirstW(snapshot.get(), &entry); more;
       more = ::Process32NextW(snapshot.get(), &entry)) {
    if (entry.th32ParentProcessID == parent && ::_wcsicmp(entry.szExeFile, name) == 0 &&
        !ProcessGone(entry.th32ProcessID, 0ms)) {
      senders.push_back(entry.th32ProcessID);
    }
  }
  return senders;
}

std::vector<DWORD> SendersOfThisProcess() {
  wchar_t self[MAX_PATH] = {};
  if (::GetModuleFileNameW(nullptr, self, MAX_PATH) == 0) return {};
  return SendersOf(::GetCurrentProcessId(), self);
}

// The sender starts after Execute has returned.
std::vector<DWORD> WaitForSenders(DWORD parent, const wchar_t* program) {
  for (int i = 0; i < 100; ++i) {
    if (auto senders = SendersOf(parent, program); !senders.empty()) return senders;
    ::Sleep(50);
  }
  return {};
}

[[nodiscard]] bool AllGone(const std::vector<DWORD>& processes) {
  for (DWORD process : processes) {
    if (!ProcessGone(process, 5000ms)) return false;
  }
  return true;
}

// The sender waits through the run, so that Stop costs no process start; it must not
// outlive the run, however that ends. The runs last long enough for it to be waiting.
TEST_F(CtrlCTest, TheRunsSenderEndsWithTheRunHoweverItEnds) {
  Start(L"onctrlc summary print ready sleep 60000");
  ASSERT_TRUE(PumpUntilLine(L"ready"));
  PumpFor(1000ms);
  const auto stopped = SendersOfThisProcess();
  ASSERT_EQ(stopped.size(), 1u) << "no sender ready for the Stop";
  const UniqueKernelHandle stoppedSender(
      ::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, stopped[0]));
  launcher_->StopProcess();
  ASSERT_TRUE(PumpUntilEnded());
  ASSERT_TRUE(events_.HasLine(L"summary"));
  // On Windows a sender that took its own Ctrl+C would die of it, read as a failure.
  ASSERT_EQ(::WaitForSingleObject(stoppedSender.get(), 5000), WAIT_OBJECT_0);
  EXPECT_TRUE(SenderRaisedCtrlC(stoppedSender.get()));

  Start(L"print ready sleep 1000");  // ends by itself; its sender is never fired
  ASSERT_TRUE(PumpUntilLine(L"ready"));
  const auto endedByItself = SendersOfThisProcess();
  ASSERT_TRUE(PumpUntil([&] { return events_.ended == 2; }));

  Start(L"print ready sleep 60000");
  ASSERT_TRUE(PumpUntilLine(L"ready"));
  PumpFor(1000ms);
  const auto released = SendersOfThisProcess();
  launcher_.reset();
  for (const auto* senders : {&stopped, &endedByItself, &released}) EXPECT_TRUE(AllGone(*senders));
  EXPECT_TRUE(AllGone(SendersOfThisProcess()));
}

// Before any Stop, a sender's end, whatever its exit code, is no reason to end the tool.
TEST_F(CtrlCTest, SenderThatDiesBeforeAStopLeavesTheRunAloneAndStopStillEndsIt) {
  Start(L"onctrlc summary pid print ready sleep 60000");
  ASSERT_TRUE(PumpUntilLine(L"ready"));
  wchar_t self[MAX_PATH] = {};
  ASSERT_NE(::GetModuleFileNameW(nullptr, self, MAX_PATH), 0u);
  const auto senders = WaitForSenders(::GetCurrentProcessId(), self);
  ASSERT_EQ(senders.size(), 1u);
  const UniqueKernelHandle sender(::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, senders[0]));
  ASSERT_TRUE(::TerminateProcess(sender.get(), 9));
  PumpFor(500ms);
  EXPECT_EQ(events_.ended, 0) << "the run ended with its sender";
  EXPECT_FALSE(ProcessGone(NumberAfter(events_.Text(), L"pid"), 0ms));
  const auto stopAt = Clock::now();
  launcher_->StopProcess();
  ASSERT_TRUE(PumpUntilEnded());
  EXPECT_LT(events_.endedAt - stopAt, kStopGracePeriod) << "not ended at once without a sender";
}

// A tool outside any job of ours lives on when the program is killed; its sender must not.
TEST_F(CtrlCTest, SenderEndsWithTheProgramThatStartedIt) {
  HostProcess host;
  ASSERT_TRUE(host.Start(L"uijob -- " + ScriptedTool() + L" pid print ready sleep 60000"));
  if (!host.ReadUntil("ready\r\n", 20s)) {
    if (host.WaitForEnd(1s) == 4u) GTEST_SKIP() << "no UI-limited job here";
    FAIL() << host.Output();
  }
  const DWORD tool = NumberAfter(host.Output(), "pid");
  const auto senders = WaitForSenders(::GetProcessId(host.Process()), L"launcher_host.exe");
  ASSERT_EQ(senders.size(), 1u) << host.Output();
  // Past its start, which checks that we are still there, and waiting; a start takes
  // up to a second here.
  ::Sleep(3000);
  ASSERT_TRUE(::TerminateProcess(host.Process(), 9));
  const bool toolOutlived = !ProcessGone(tool, 1000ms);
  EXPECT_TRUE(ProcessGone(senders[0], 5000ms)) << "the sender outlived the program";
  const UniqueKernelHandle leftOver(::OpenProcess(PROCESS_TERMINATE, FALSE, tool));
  if (leftOver) ::TerminateProcess(leftOver.get(), 9);
  if (!toolOutlived) GTEST_SKIP() << "the tool ran in a job of ours here";
}

// A process id passes to a new process once its own has gone; the sender's Ctrl+C
// must not follow it there.
TEST(CtrlCSender, ProcessIsOpenedOnlyWhileItsIdNamesTheSameOne) {
  const ULONGLONG created = CreationTime(::GetCurrentProcess());
  ASSERT_NE(created, 0u);
  const DWORD self = ::GetCurrentProcessId();
  EXPECT_TRUE(OpenSameProcess(self, created, SYNCHRONIZE));
  EXPECT_FALSE(OpenSameProcess(self, created + 1, SYNCHRONIZE));
  EXPECT_FALSE(OpenSameProcess(self, created - 1, SYNCHRONIZE));
}

// Whoever made an object under the sender's event name first could fire it, or never.
TEST(CtrlCSender, EventIsRefusedWhenItsNameIsTaken) {
  const std::wstring name = L"Local\\vexlo-test-event-" + std::to_wstring(::GetCurrentProcessId());
  UniqueKernelHandle first;
  ASSERT_EQ(CreateNewEvent(name, first), 0u);
  EXPECT_TRUE(first);
  UniqueKernelHandle second;
  EXPECT_EQ(CreateNewEvent(name, second), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  EXPECT_FALSE(second);
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
