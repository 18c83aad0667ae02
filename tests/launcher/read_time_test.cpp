// Each part of the output carries the time it was read, not the time it was handed on.
#include <gtest/gtest.h>

#include "launcher/launcher_fixture.h"

namespace vexlo::test {
namespace {

class TimedEvents final : public RecordingEvents {
 public:
  void DataReceivedAt(std::wstring sData, ReadTimes times) override {
    for (const ReadTime& time : times) stamps.push_back({time.offset + chars, time.utcTicks});
    DataReceived(std::move(sData));
  }
  ReadTimes stamps;  // offsets in the whole output
};

TEST(LauncherReadTime, LinesReadWhileTheWindowIsBusyKeepTheirOwnReadTimes) {
  TimedEvents events;
  auto launcher = CreateWin32Launcher(events, CP_OEMCP, kStopGracePeriod);
  ASSERT_NE(launcher, nullptr);
  launcher->BufferSize(8192);
  launcher->Interval(1000);
  launcher->Execute(ScriptedTool() + L" print first sleep 300 print second");
  ASSERT_EQ(launcher->StartResult(), kStarted);
  // The window is busy: nothing is handed on until the tool has ended.
  ::Sleep(1500);
  const std::int64_t busyUntil = UtcTicksNow();
  ASSERT_TRUE(PumpUntil([&] { return events.ended > 0; }));
  ASSERT_EQ(events.Text(), L"first\r\nsecond\r\n");
  ASSERT_GE(events.stamps.size(), 2u);
  EXPECT_EQ(events.stamps.front().offset, 0u);
  EXPECT_EQ(events.stamps.back().offset, 7u);  // "second" was a read of its own
  // Both were read before the window came to them, and not at the same time.
  EXPECT_LT(events.stamps.back().utcTicks, busyUntil);
  EXPECT_LT(events.stamps.front().utcTicks, events.stamps.back().utcTicks);
}

}  // namespace
}  // namespace vexlo::test
