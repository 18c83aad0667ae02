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
};

// The tests of Stop's Ctrl+C.
using CtrlCTest = LauncherTest;

// Spends this long, as a box whose cost per piece does not grow would.
inline void SpinFor(std::chrono::microseconds cost) {
  const auto until = Clock::now() + cost;
  while (Clock::now() < until) {
  }
}

}  // namespace vexlo::test
