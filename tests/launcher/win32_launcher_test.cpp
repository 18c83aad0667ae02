// The launcher's output, its starts, and the end of a run.
#include "launcher/win32_launcher.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cwctype>

#include "launcher/launcher_fixture.h"
#include "launcher/oem_decoder.h"

namespace vexlo::test {
namespace {

using namespace std::chrono_literals;

using LauncherOutput = LauncherTest;

TEST_F(LauncherOutput, FewBytesArriveExactlyWithOneEnd) {
  RunToEnd(L"write ab print c stderr err");
  EXPECT_EQ(events_.Text(), L"abc\r\nerr\r\n");
  PumpFor(200ms);
  EXPECT_EQ(events_.ended, 1);
}

TEST_F(LauncherOutput, ManyLinesArriveCompleteAndInOrder) {
  RunToEnd(L"lines 3000 0");
  std::wstring expected;
  for (int i = 1; i <= 3000; ++i) expected += L"line " + std::to_wstring(i) + L"\r\n";
  EXPECT_EQ(events_.Text(), expected);
}

TEST_F(LauncherOutput, SeveralMegabytesArriveWholeInPiecesOfAtMostBufferSize) {
  constexpr unsigned kBytes = 6 * 1024 * 1024 + 123;
  RunToEnd(L"flood " + std::to_wstring(kBytes));
  const std::wstring text = events_.Text();
  ASSERT_EQ(text.size(), kBytes);
  const std::wstring line = std::wstring(62, L'x') + L"\r\n";
  for (std::size_t at = 0; at < text.size(); at += line.size()) {
    ASSERT_EQ(text.compare(at, line.size(), line, 0, std::min(line.size(), text.size() - at)), 0) << at;
  }
  for (const auto& piece : events_.pieces) ASSERT_LE(piece.size(), 8192u);
  EXPECT_EQ(events_.ended, 1);
}

TEST_F(LauncherOutput, OemLettersSurviveDecoding) {
  // Bytes in this machine's OEM code page, decoded as the console would.
  const std::string bytes = "\x82\x81\x8e\xa4\x99\r\n";
  RunToEnd(L"hex 82818ea4990d0a");
  EXPECT_EQ(events_.Text(), DecodeBytes(::GetOEMCP(), bytes));
}

TEST_F(LauncherOutput, DoubleByteCharactersSurvivePieceBoundaries) {
  Make(932);
  launcher_->BufferSize(16);  // an odd start puts a lead byte on every boundary
  std::wstring hex = L"61";
  std::wstring expected = L"a";
  for (int i = 0; i < 40; ++i) {
    hex += L"93fa967b";  // U+65E5 U+672C, the second with an ASCII trail byte
    expected += L"\u65e5\u672c";
  }
  RunToEnd(L"hex " + hex);
  EXPECT_EQ(events_.Text(), expected);
  EXPECT_GT(events_.pieces.size(), 5u);
}

TEST_F(LauncherOutput, NulBytesArriveAsSpacesAndNothingAfterThemIsLost) {
  RunToEnd(L"hex 6100620000630d0a print after");
  EXPECT_EQ(events_.Text(), L"a b  c\r\nafter\r\n");
}

TEST_F(LauncherOutput, EventsComeOnlyFromTheMessageLoop) {
  Start(L"print now");
  ::Sleep(300);  // the output is read meanwhile, but not delivered
  launcher_->StopProcess();
  EXPECT_TRUE(events_.pieces.empty());
  EXPECT_EQ(events_.ended, 0);
  ASSERT_TRUE(PumpUntilEnded());
}

using LauncherStart = LauncherTest;

TEST_F(LauncherStart, SecondExecuteWhileRunningStartsNothing) {
  Start(L"pid sleep 30000");
  launcher_->Execute(ScriptedTool() + L" print second");
  EXPECT_EQ(launcher_->StartResult(), kAlreadyRunning);
  launcher_->StopProcess();
  ASSERT_TRUE(PumpUntilEnded());
  EXPECT_EQ(events_.Text().find(L"second"), std::wstring::npos);
  // After the end the launcher takes the next start.
  RunToEnd(L"print again");
  EXPECT_TRUE(events_.HasLine(L"again"));
}

TEST_F(LauncherStart, MissingToolFailsWithErrorTwoAndNoEvent) {
  launcher_->Execute(L"vexlo-no-such-tool 192.0.2.1");
  EXPECT_EQ(launcher_->StartResult(), kStartFailed);
  EXPECT_EQ(launcher_->LastError(), ERROR_FILE_NOT_FOUND);
  PumpFor(300ms);
  EXPECT_EQ(events_.ended, 0);
  EXPECT_TRUE(events_.pieces.empty());
  // The failed start leaves nothing running.
  RunToEnd(L"print fine");
  EXPECT_EQ(events_.ended, 1);
  EXPECT_EQ(events_.Text(), L"fine\r\n");
}

TEST_F(LauncherStart, ShellMetacharactersReachTheToolAsArgumentsAndRunNothing) {
  const std::wstring marker = ProgramDirectory() + L"injected.txt";
  ::DeleteFileW(marker.c_str());
  const std::wstring evil = L"& echo x > \"" + marker + L"\" | type nul ^ %PATH% > \"" + marker + L"\"";
  RunToEnd(L"args " + evil);
  const std::wstring text = events_.Text();
  EXPECT_NE(text.find(L"cmdline: " + ScriptedTool() + L" args " + evil), std::wstring::npos) << Narrow(text);
  EXPECT_NE(text.find(L"argv[2]: &\r\n"), std::wstring::npos);
  EXPECT_NE(text.find(L"]: |\r\n"), std::wstring::npos);
  EXPECT_NE(text.find(L"]: %PATH%\r\n"), std::wstring::npos);
  EXPECT_NE(text.find(L"]: " + marker + L"\r\n"), std::wstring::npos);
  EXPECT_EQ(::GetFileAttributesW(marker.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(LauncherStart, LineLongerThanWindowsTakesFailsAndRunsNothing) {
  const std::wstring head = ScriptedTool() + L" cmdlen ";
  const auto lineOf = [&](std::size_t chars) { return head + std::wstring(chars - head.size(), L'x'); };
  for (const std::size_t chars : {40000u, 32767u}) {
    launcher_->Execute(lineOf(chars));
    EXPECT_EQ(launcher_->StartResult(), kStartFailed) << chars;
    EXPECT_EQ(launcher_->LastError(), ERROR_FILENAME_EXCED_RANGE) << chars;
  }
  PumpFor(300ms);
  EXPECT_TRUE(events_.pieces.empty());
  EXPECT_EQ(events_.ended, 0);
  // The longest line Windows takes reaches the tool whole.
  launcher_->Execute(lineOf(32766));
  ASSERT_EQ(launcher_->StartResult(), kStarted);
  ASSERT_TRUE(PumpUntilEnded());
  EXPECT_EQ(events_.Text(), L"cmdlen 32766\r\n");
}

TEST_F(LauncherStart, ToolsRunInTheSystemDirectoryWhereverTheProgramIs) {
  wchar_t previous[MAX_PATH];
  ::GetCurrentDirectoryW(MAX_PATH, previous);
  ASSERT_TRUE(::SetCurrentDirectoryW(ProgramDirectory().c_str()));
  RunToEnd(L"cwd");
  ::SetCurrentDirectoryW(previous);
  wchar_t system[MAX_PATH];
  ASSERT_NE(::GetSystemDirectoryW(system, MAX_PATH), 0u);
  std::wstring text = events_.Text();
  std::wstring expected = L"cwd " + std::wstring(system) + L"\r\n";
  for (auto* s : {&text, &expected}) std::transform(s->begin(), s->end(), s->begin(), ::towlower);
  EXPECT_EQ(text, expected);
}

TEST_F(LauncherStart, RealPingOfLoopbackGivesItsOutputAndOneEnd) {
  launcher_->Execute(L"ping -n 2 127.0.0.1");
  ASSERT_EQ(launcher_->StartResult(), kStarted);
  ASSERT_TRUE(PumpUntilEnded(30s));
  EXPECT_NE(events_.Text().find(L"127.0.0.1"), std::wstring::npos);
  PumpFor(200ms);
  EXPECT_EQ(events_.ended, 1);
}

using LauncherRunEnd = LauncherTest;

TEST_F(LauncherRunEnd, RunEndsWithItsToolThoughAChildHoldsTheOutput) {
  // The grandchild holds the pipe for a minute; the run must not wait for it.
  Start(L"pid grandchild print ready sleep 300 exit 0");
  ASSERT_TRUE(PumpUntilLine(L"ready"));
  const DWORD grandchild = NumberAfter(events_.Text(), L"grandchild");
  ASSERT_NE(grandchild, 0u);
  UniqueKernelHandle tool(::OpenProcess(SYNCHRONIZE, FALSE, NumberAfter(events_.Text(), L"pid")));
  ASSERT_TRUE(tool);
  Clock::time_point toolEnded{};
  ASSERT_TRUE(PumpUntil([&] {
    if (toolEnded == Clock::time_point{} && ::WaitForSingleObject(tool.get(), 0) == WAIT_OBJECT_0) toolEnded = Clock::now();
    return events_.ended > 0;
  }, 10s));
  ASSERT_NE(toolEnded, Clock::time_point{});
  const auto took = events_.endedAt - toolEnded;
  std::printf("tool's end to ProcessEnded, a child holding the output: %lld ms\n", Ms(took));
  EXPECT_LT(took, 1000ms);
  EXPECT_TRUE(ProcessGone(grandchild, 2000ms));
}

TEST_F(LauncherRunEnd, ToolThatClosesItsOutputRunsUntilItEnds) {
  Start(L"pid print closing closeout sleep 1500");
  ASSERT_TRUE(PumpUntilLine(L"closing"));
  const DWORD tool = NumberAfter(events_.Text(), L"pid");
  PumpFor(500ms);
  EXPECT_EQ(events_.ended, 0) << "the run ended with the output, not with the tool";
  EXPECT_FALSE(ProcessGone(tool, 0ms));
  ASSERT_TRUE(PumpUntilEnded());
  EXPECT_TRUE(ProcessGone(tool, 0ms));
  EXPECT_EQ(events_.Text().find(L"closing\r\n") + 9, events_.Text().size());
}

TEST_F(LauncherRunEnd, ReleasingDuringARunEndsToolAndGrandchildWithoutFurtherEvents) {
  Start(L"pid grandchild print ready sleep 60000");
  ASSERT_TRUE(PumpUntilLine(L"ready"));
  const DWORD tool = NumberAfter(events_.Text(), L"pid");
  const DWORD grandchild = NumberAfter(events_.Text(), L"grandchild");
  ASSERT_NE(grandchild, 0u);
  ASSERT_FALSE(ProcessGone(grandchild, 0ms));

  const std::size_t piecesBefore = events_.pieces.size();
  launcher_.reset();
  EXPECT_TRUE(ProcessGone(tool, 5000ms));
  EXPECT_TRUE(ProcessGone(grandchild, 5000ms));
  PumpFor(300ms);
  EXPECT_EQ(events_.pieces.size(), piecesBefore);
  EXPECT_EQ(events_.ended, 0);
}

TEST_F(LauncherRunEnd, KilledProgramTakesItsToolsWithIt) {
  // The host runs its own launcher, outside ours, so only the host's job can end the
  // tool when the host is killed.
  HostProcess host;
  ASSERT_TRUE(host.Start(L"-- " + ScriptedTool() + L" pid print ready sleep 60000"));
  ASSERT_TRUE(host.ReadUntil("ready\r\n", 20s)) << host.Output();
  const DWORD tool = NumberAfter(host.Output(), "pid");
  ASSERT_NE(tool, 0u);
  ::TerminateProcess(host.Process(), 9);
  EXPECT_TRUE(ProcessGone(tool, 5000ms));
}

}  // namespace
}  // namespace vexlo::test
