// The main of the test programs that run the real launcher. Stop's Ctrl+C comes from a
// copy of the running program (launcher/console_control.h); started so, it does only that.
#include <gtest/gtest.h>

#include "launcher/console_control.h"

int main(int argc, char** argv) {
  if (const auto exitCode = vexlo::RunCtrlCSenderIfAsked()) return *exitCode;
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
