// Runs while the program itself is in a job with UI limits, which refuses nested jobs:
// the launcher host puts itself into one first (uijob), once letting children break
// away (breakaway), once not.
#include <gtest/gtest.h>

#include <string>

#include "launcher/launcher_fixture.h"

namespace vexlo::test {
namespace {

using namespace std::chrono_literals;

// The host's options: the job with breakaway allowed, and without.
class InUiLimitedJob : public CtrlCTest, public ::testing::WithParamInterface<const wchar_t*> {
 protected:
  // Runs the scripted tool through a host in the job, Stop once it printed "ready".
  // False (and the test skipped) when this system puts no process of ours into it.
  bool RunStopped(const std::wstring& script, HostProcess& host) {
    EXPECT_TRUE(host.Start(std::wstring(GetParam()) + L" stop ready -- " + ScriptedTool() + L" " + script));
    const auto exitCode = host.WaitForEnd(20s);
    if (exitCode == 4u) return false;
    EXPECT_EQ(exitCode, 0u) << host.Output();
    EXPECT_NE(host.Output().find("uijob\r\n"), std::string::npos) << host.Output();
    EXPECT_NE(host.Output().find("ready\r\n"), std::string::npos) << host.Output();
    EXPECT_NE(host.Output().find("ended\r\n"), std::string::npos) << host.Output();
    return true;
  }

  // A child the tool started outside every job of ours lives on; not past the test.
  static void EndLeftOver(DWORD pid) {
    UniqueKernelHandle process(::OpenProcess(PROCESS_TERMINATE, FALSE, pid));
    if (process) ::TerminateProcess(process.get(), 9);
  }
};

TEST_P(InUiLimitedJob, ToolPrintsItsCtrlCSummaryOnStop) {
  HostProcess host;
  if (!RunStopped(L"onctrlc summary pid print ready sleep 60000", host)) GTEST_SKIP() << "no UI-limited job here";
  EXPECT_NE(host.Output().find("ready\r\nsummary\r\n"), std::string::npos) << host.Output();
  const DWORD tool = NumberAfter(host.Output(), "pid");
  ASSERT_NE(tool, 0u) << host.Output();
  EXPECT_TRUE(ProcessGone(tool, 2000ms));
}

TEST_P(InUiLimitedJob, ToolIgnoringCtrlCIsEndedOnStop) {
  HostProcess host;
  if (!RunStopped(L"ignorectrlc pid grandchild print ready sleep 60000", host)) GTEST_SKIP() << "no UI-limited job here";
  const DWORD tool = NumberAfter(host.Output(), "pid");
  ASSERT_NE(tool, 0u) << host.Output();
  EXPECT_TRUE(ProcessGone(tool, 2000ms));
  EndLeftOver(NumberAfter(host.Output(), "grandchild"));
}

INSTANTIATE_TEST_SUITE_P(Jobs, InUiLimitedJob,
                         ::testing::Values(L"uijob breakaway", L"uijob"),
                         [](const auto& info) { return info.index == 0 ? "BreakawayAllowed" : "NoBreakaway"; });

// Broken away from the UI-limited job into one of its own, the tool still ends with
// the program, and what it started with it.
TEST_F(CtrlCTest, BrokenAwayToolEndsWithTheProgram) {
  HostProcess host;
  ASSERT_TRUE(host.Start(L"uijob breakaway stop ready exit -- " + ScriptedTool() +
                         L" ignorectrlc pid grandchild print ready sleep 60000"));
  const auto exitCode = host.WaitForEnd(20s);
  if (exitCode == 4u) GTEST_SKIP() << "no UI-limited job here";
  ASSERT_EQ(exitCode, 0u) << host.Output();
  const DWORD tool = NumberAfter(host.Output(), "pid");
  const DWORD grandchild = NumberAfter(host.Output(), "grandchild");
  ASSERT_NE(tool, 0u);
  ASSERT_NE(grandchild, 0u);
  EXPECT_TRUE(ProcessGone(tool, 5000ms));
  EXPECT_TRUE(ProcessGone(grandchild, 5000ms));
}

}  // namespace
}  // namespace vexlo::test
