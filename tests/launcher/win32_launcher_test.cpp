#include "launcher/win32_launcher.h"

#include <gtest/gtest.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cwctype>
#include <memory>

#include "launcher/oem_decoder.h"
#include "support/test_support.h"

namespace vexlo {
namespace {

using namespace std::chrono_literals;
using test::PumpFor;
using test::PumpUntil;
using test::RecordingEvents;
using test::ScriptedTool;

class LauncherTest : public ::testing::Test {
 protected:
  void SetUp() override { Make(CP_OEMCP); }

  void Make(UINT codePage) {
    launcher_ = CreateWin32Launcher(events_, codePage);
    ASSERT_NE(launcher_, nullptr);
    launcher_->BufferSize(8192);
    launcher_->Interval(1000);
  }

  // Runs the scripted tool with the given script and waits for its end.
  void RunToEnd(const std::wstring& script) {
    const int endedBefore = events_.ended;
    launcher_->Execute(ScriptedTool() + L" " + script);
    ASSERT_EQ(launcher_->StartResult(), kStarted);
    ASSERT_TRUE(PumpUntil([&] { return events_.ended > endedBefore; })) << "no end of " << ToUtf8(script);
  }

  static std::string ToUtf8(const std::wstring& w) {
    std::string s;
    for (wchar_t c : w) s.push_back(c < 128 ? static_cast<char>(c) : '?');
    return s;
  }

  RecordingEvents events_;
  std::unique_ptr<ConsoleLauncher> launcher_;
};

TEST_F(LauncherTest, FewBytesArriveExactlyWithOneEnd) {
  RunToEnd(L"write ab print c stderr err");
  EXPECT_EQ(events_.Text(), L"abc\r\nerr\r\n");
  PumpFor(200ms);
  EXPECT_EQ(events_.ended, 1);
}

TEST_F(LauncherTest, ManyLinesArriveCompleteAndInOrder) {
  RunToEnd(L"lines 3000 0");
  std::wstring expected;
  for (int i = 1; i <= 3000; ++i) expected += L"line " + std::to_wstring(i) + L"\r\n";
  EXPECT_EQ(events_.Text(), expected);
}

TEST_F(LauncherTest, SeveralMegabytesArriveWholeInPiecesOfAtMostBufferSize) {
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

TEST_F(LauncherTest, OemLettersSurviveDecoding) {
  // Bytes in this machine's OEM code page, decoded as the console would.
  const std::string bytes = "\x82\x81\x8e\xa4\x99\r\n";
  RunToEnd(L"hex 82818ea4990d0a");
  EXPECT_EQ(events_.Text(), DecodeBytes(::GetOEMCP(), bytes));
}

TEST_F(LauncherTest, DoubleByteCharactersSurvivePieceBoundaries) {
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

TEST_F(LauncherTest, EventsComeOnlyFromTheMessageLoop) {
  launcher_->Execute(ScriptedTool() + L" print now");
  ASSERT_EQ(launcher_->StartResult(), kStarted);
  ::Sleep(300);  // the output is read meanwhile, but not delivered
  launcher_->StopProcess();
  EXPECT_TRUE(events_.pieces.empty());
  EXPECT_EQ(events_.ended, 0);
  ASSERT_TRUE(PumpUntil([&] { return events_.ended > 0; }));
}

TEST_F(LauncherTest, SecondExecuteWhileRunningStartsNothing) {
  launcher_->Execute(ScriptedTool() + L" pid sleep 30000");
  ASSERT_EQ(launcher_->StartResult(), kStarted);
  launcher_->Execute(ScriptedTool() + L" print second");
  EXPECT_EQ(launcher_->StartResult(), kAlreadyRunning);
  launcher_->StopProcess();
  ASSERT_TRUE(PumpUntil([&] { return events_.ended > 0; }));
  EXPECT_EQ(events_.Text().find(L"second"), std::wstring::npos);
  // After the end the launcher takes the next start.
  RunToEnd(L"print again");
  EXPECT_NE(events_.Text().find(L"again"), std::wstring::npos);
}

TEST_F(LauncherTest, MissingToolFailsWithErrorTwoAndNoEvent) {
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

TEST_F(LauncherTest, ShellMetacharactersReachTheToolAsArgumentsAndRunNothing) {
  const std::wstring marker = test::ProgramDirectory() + L"injected.txt";
  ::DeleteFileW(marker.c_str());
  const std::wstring evil = L"& echo x > \"" + marker + L"\" | type nul ^ %PATH% > \"" + marker + L"\"";
  RunToEnd(L"args " + evil);
  const std::wstring text = events_.Text();
  EXPECT_NE(text.find(L"cmdline: " + ScriptedTool() + L" args " + evil), std::wstring::npos) << ToUtf8(text);
  EXPECT_NE(text.find(L"argv[2]: &\r\n"), std::wstring::npos);
  EXPECT_NE(text.find(L"]: |\r\n"), std::wstring::npos);
  EXPECT_NE(text.find(L"]: %PATH%\r\n"), std::wstring::npos);
  EXPECT_NE(text.find(L"]: " + marker + L"\r\n"), std::wstring::npos);
  EXPECT_EQ(::GetFileAttributesW(marker.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(LauncherTest, LineLongerThanWindowsTakesFailsAndRunsNothing) {
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
  ASSERT_TRUE(PumpUntil([&] { return events_.ended > 0; }));
  EXPECT_EQ(events_.Text(), L"cmdlen 32766\r\n");
}

TEST_F(LauncherTest, ToolsRunInTheSystemDirectoryWhereverTheProgramIs) {
  wchar_t previous[MAX_PATH];
  ::GetCurrentDirectoryW(MAX_PATH, previous);
  ASSERT_TRUE(::SetCurrentDirectoryW(test::ProgramDirectory().c_str()));
  RunToEnd(L"cwd");
  ::SetCurrentDirectoryW(previous);
  wchar_t system[MAX_PATH];
  ASSERT_NE(::GetSystemDirectoryW(system, MAX_PATH), 0u);
  std::wstring text = events_.Text();
  std::wstring expected = L"cwd " + std::wstring(system) + L"\r\n";
  for (auto* s : {&text, &expected}) std::transform(s->begin(), s->end(), s->begin(), ::towlower);
  EXPECT_EQ(text, expected);
}

TEST_F(LauncherTest, StopIsHarmlessWhenNothingRunsAndEndsARunOnce) {
  launcher_->StopProcess();
  launcher_->StopProcess();
  launcher_->Execute(ScriptedTool() + L" sleep 30000");
  ASSERT_EQ(launcher_->StartResult(), kStarted);
  launcher_->StopProcess();
  launcher_->StopProcess();
  ASSERT_TRUE(PumpUntil([&] { return events_.ended > 0; }));
  launcher_->StopProcess();
  PumpFor(300ms);
  EXPECT_EQ(events_.ended, 1);
}

// Whichever of the counters the platform keeps best (Wine fills some of them only).
SIZE_T PrivateBytes() {
  PROCESS_MEMORY_COUNTERS_EX counters{};
  ::GetProcessMemoryInfo(::GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                         sizeof counters);
  return std::max({counters.PrivateUsage, counters.PagefileUsage, counters.WorkingSetSize});
}

TEST_F(LauncherTest, FloodKeepsMemoryBoundedTheLoopResponsiveAndStopsPromptly) {
  events_.keepPieces = false;
  const SIZE_T before = PrivateBytes();
  // A window timer only fires when no input waits either, so its ticks during the
  // flood show that input would be handled.
  int ticks = 0;
  HWND window = ::CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
  ASSERT_NE(window, nullptr);
  static int* tickCounter = nullptr;
  tickCounter = &ticks;
  ::SetTimer(window, 7, 50, [](HWND, UINT, UINT_PTR, DWORD) { ++*tickCounter; });

  launcher_->Execute(ScriptedTool() + L" flood 800000000");
  ASSERT_EQ(launcher_->StartResult(), kStarted);
  ASSERT_TRUE(PumpUntil([&] { return events_.chars > 64u * 1024 * 1024; }, 120s));
  const int ticksDuringFlood = ticks;
  const SIZE_T during = PrivateBytes();

  const auto stopAt = std::chrono::steady_clock::now();
  launcher_->StopProcess();
  ASSERT_TRUE(PumpUntil([&] { return events_.ended > 0; }));
  const auto stopTook = std::chrono::steady_clock::now() - stopAt;
  ::KillTimer(window, 7);
  ::DestroyWindow(window);

  std::printf("flood: %zu MB received, private bytes +%lld KB, timer ticks %d, stop took %lld ms\n",
              events_.chars >> 20, (static_cast<long long>(during) - static_cast<long long>(before)) / 1024,
              ticksDuringFlood, static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(stopTook).count()));
  EXPECT_LT(during, before + 64u * 1024 * 1024);
  EXPECT_GT(ticksDuringFlood, 0);
  EXPECT_EQ(events_.ended, 1);
}

TEST_F(LauncherTest, ReleasingDuringARunEndsToolAndGrandchildWithoutFurtherEvents) {
  launcher_->Execute(ScriptedTool() + L" pid grandchild sleep 60000");
  ASSERT_EQ(launcher_->StartResult(), kStarted);
  ASSERT_TRUE(PumpUntil([&] { return events_.Text().find(L"grandchild ") != std::wstring::npos &&
                                     events_.Text().find(L"\r\n", events_.Text().find(L"grandchild ")) != std::wstring::npos; }));
  const DWORD tool = test::NumberAfter(events_.Text(), L"pid");
  const DWORD grandchild = test::NumberAfter(events_.Text(), L"grandchild");
  ASSERT_NE(tool, 0u);
  ASSERT_NE(grandchild, 0u);
  ASSERT_FALSE(test::ProcessGone(grandchild, 0ms));

  const std::size_t piecesBefore = events_.pieces.size();
  launcher_.reset();
  EXPECT_TRUE(test::ProcessGone(tool, 5000ms));
  EXPECT_TRUE(test::ProcessGone(grandchild, 5000ms));
  PumpFor(300ms);
  EXPECT_EQ(events_.pieces.size(), piecesBefore);
  EXPECT_EQ(events_.ended, 0);
}

TEST_F(LauncherTest, WhatAToolLeavesBehindEndsWithItsRun) {
  // The grandchild holds the output pipe, so the run lasts until Stop ends them both.
  launcher_->Execute(ScriptedTool() + L" grandchild exit 0");
  ASSERT_EQ(launcher_->StartResult(), kStarted);
  ASSERT_TRUE(PumpUntil([&] { return test::NumberAfter(events_.Text(), L"grandchild") != 0; }));
  const DWORD grandchild = test::NumberAfter(events_.Text(), L"grandchild");
  PumpFor(300ms);
  EXPECT_EQ(events_.ended, 0);
  launcher_->StopProcess();
  ASSERT_TRUE(PumpUntil([&] { return events_.ended > 0; }));
  EXPECT_TRUE(test::ProcessGone(grandchild, 5000ms));
}

TEST_F(LauncherTest, KilledProgramTakesItsToolsWithIt) {
  // The host runs its own launcher, outside ours, so only the host's job can end the
  // tool when the host is killed.
  test::HostProcess host;
  ASSERT_TRUE(host.Start(L"-- " + ScriptedTool() + L" pid print ready sleep 60000"));
  ASSERT_TRUE(host.ReadUntil("ready\r\n", 20s)) << host.Output();
  const DWORD tool = test::NumberAfter(host.Output(), "pid");
  ASSERT_NE(tool, 0u);
  ::TerminateProcess(host.Process(), 9);
  EXPECT_TRUE(test::ProcessGone(tool, 5000ms));
}

TEST_F(LauncherTest, RealPingOfLoopbackGivesItsOutputAndOneEnd) {
  launcher_->Execute(L"ping -n 2 127.0.0.1");
  ASSERT_EQ(launcher_->StartResult(), kStarted);
  ASSERT_TRUE(PumpUntil([&] { return events_.ended > 0; }, 30s));
  EXPECT_NE(events_.Text().find(L"127.0.0.1"), std::wstring::npos);
  PumpFor(200ms);
  EXPECT_EQ(events_.ended, 1);
}

}  // namespace
}  // namespace vexlo
