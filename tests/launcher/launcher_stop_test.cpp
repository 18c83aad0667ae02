// Stop.
#include <gtest/gtest.h>

#include "launcher/launcher_fixture.h"

namespace vexlo::test {
namespace {

using namespace std::chrono_literals;

using LauncherStop = LauncherTest;

TEST_F(LauncherStop, StopIsHarmlessWhenNothingRunsAndEndsARunOnce) {
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
