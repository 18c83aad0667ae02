#pragma once
// The fixture of the tests that run the scripted tool through the real launcher.

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>

#include "launcher/win32_launcher.h"
#include "support/test_support.h"

namespace vexlo::test {

using Clock = std::chrono::steady_clock;

class LauncherTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ctrlCPossible_ = GiveUpOwnConsole();  // as the program, a GUI program, runs
    Make();
  }

  // The window's settings: BufferSize(8192), Interval(1000).
  void Make(UINT codePage = CP_OEMCP, std::chrono::milliseconds grace = kStopGracePeriod) {
    launcher_ = CreateWin32Launcher(events_, codePage, grace);
    ASSERT_NE(launcher_, nullptr);
    launcher_->BufferSize(8192);
    launcher_->Interval(1000);
  }

  // Starts the scripted tool with this script.
  void Start(const std::wstring& script) {
    launcher_->Execute(ScriptedTool() + L" " + script);
    ASSERT_EQ(launcher_->StartResult(), kStarted) << "error " << launcher_->LastError();
  }

  // Starts the scripted tool and waits for its end.
  void RunToEnd(const std::wstring& script) {
    const int endedBefore = events_.ended;
    Start(script);
    ASSERT_TRUE(PumpUntil([&] { return events_.ended > endedBefore; })) << "no end of " << Narrow(script);
  }

  [[nodiscard]] bool PumpUntilLine(const std::wstring& line) {
    return PumpUntil([&] { return events_.HasLine(line); });
  }

  [[nodiscard]] bool PumpUntilEnded(std::chrono::milliseconds limit = std::chrono::seconds(20)) {
    return PumpUntil([&] { return events_.ended > 0; }, limit);
  }

  static std::string Narrow(const std::wstring& w) {
    std::string s;
    for (wchar_t c : w) s.push_back(c < 128 ? static_cast<char>(c) : '?');
    return s;
  }

  RecordingEvents events_;
  std::unique_ptr<ConsoleLauncher> launcher_;
  bool ctrlCPossible_ = false;
};

// The tests of Stop's Ctrl+C. Ctrl+C can be raised only from a process without a
// console of its own; the test program gives its console up unless its output is
// written to it (run by hand in a terminal without redirecting the output).
class CtrlCTest : public LauncherTest {
 protected:
  void SetUp() override {
    LauncherTest::SetUp();
    if (!ctrlCPossible_) GTEST_SKIP() << "the output goes to this program's console, which it keeps; redirect it";
  }
};

// Spends this long, as a box whose cost per piece does not grow would.
inline void SpinFor(std::chrono::microseconds cost) {
  const auto until = Clock::now() + cost;
  while (Clock::now() < until) {
  }
}

}  // namespace vexlo::test
