#include "launcher/output_queue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace vexlo {
namespace {

using namespace std::chrono_literals;
using Took = OutputQueue::Took;

class OutputQueueTest : public ::testing::Test {
 protected:
  std::wstring TakeText() {
    std::wstring piece;
    EXPECT_EQ(queue_.Take(piece, times_), Took::kPiece);
    return piece;
  }

  ReadTimes times_;
  std::atomic<int> wakes_{0};
  OutputQueue queue_{8, 16, [this] { ++wakes_; }};  // pieces of 8 bytes, 16 may wait
};

TEST_F(OutputQueueTest, JoinsWaitingPiecesUpToTheirLimitInOrder) {
  ASSERT_TRUE(queue_.Push(L"ab", 2));
  ASSERT_TRUE(queue_.Push(L"cde", 3));
  ASSERT_TRUE(queue_.Push(L"fgh", 3));  // 8 bytes: still one piece
  ASSERT_TRUE(queue_.Push(L"i", 1));    // would make 9
  EXPECT_EQ(TakeText(), L"abcdefgh");
  EXPECT_EQ(TakeText(), L"i");
  std::wstring piece;
  EXPECT_EQ(queue_.Take(piece, times_), Took::kNothing);
}

TEST_F(OutputQueueTest, JoinedPieceKeepsTheReadTimeOfEachPart) {
  ASSERT_TRUE(queue_.Push(L"ab", 2, 100));
  ASSERT_TRUE(queue_.Push(L"cde", 3, 200));
  ASSERT_TRUE(queue_.Push(L"fghi", 4, 300));  // a piece of its own
  EXPECT_EQ(TakeText(), L"abcde");
  ASSERT_EQ(times_.size(), 2u);
  EXPECT_EQ(times_[0].offset, 0u);
  EXPECT_EQ(times_[0].utcTicks, 100);
  EXPECT_EQ(times_[1].offset, 2u);
  EXPECT_EQ(times_[1].utcTicks, 200);
  EXPECT_EQ(TakeText(), L"fghi");
  ASSERT_EQ(times_.size(), 1u);
  EXPECT_EQ(times_[0].utcTicks, 300);
}

TEST_F(OutputQueueTest, TakenPieceIsNeverExtended) {
  ASSERT_TRUE(queue_.Push(L"ab", 2));
  EXPECT_EQ(TakeText(), L"ab");
  ASSERT_TRUE(queue_.Push(L"cd", 2));
  EXPECT_EQ(TakeText(), L"cd");
}

TEST_F(OutputQueueTest, FullQueueHoldsTheReaderUntilAPieceIsTaken) {
  ASSERT_TRUE(queue_.Push(L"12345678", 8));
  ASSERT_TRUE(queue_.Push(L"abcdefgh", 8));
  std::atomic<bool> pushed{false};
  std::thread reader([&] {
    EXPECT_TRUE(queue_.Push(L"x", 1));
    pushed = true;
  });
  std::this_thread::sleep_for(100ms);
  EXPECT_FALSE(pushed);
  EXPECT_EQ(TakeText(), L"12345678");
  reader.join();
  EXPECT_TRUE(pushed);
  EXPECT_EQ(TakeText(), L"abcdefgh");
  EXPECT_EQ(TakeText(), L"x");
}

TEST_F(OutputQueueTest, PieceLargerThanTheLimitGoesIntoAnEmptyQueue) {
  ASSERT_TRUE(queue_.Push(std::wstring(40, L'w'), 40));
  EXPECT_EQ(TakeText().size(), 40u);
}

TEST_F(OutputQueueTest, AsksForAWakeOnlyWhileTheLauncherIsIdle) {
  ASSERT_TRUE(queue_.Push(L"a", 1));
  ASSERT_TRUE(queue_.Push(L"b", 1));
  EXPECT_EQ(wakes_, 1);
  EXPECT_EQ(TakeText(), L"ab");
  ASSERT_TRUE(queue_.Push(L"c", 1));  // the launcher is still in its turn
  EXPECT_EQ(wakes_, 1);
  ASSERT_TRUE(queue_.Waiting().has_value());  // a turn that stopped early comes back itself
  EXPECT_EQ(TakeText(), L"c");
  EXPECT_FALSE(queue_.Waiting().has_value());  // idle again
  ASSERT_TRUE(queue_.Push(L"d", 1));
  EXPECT_EQ(wakes_, 2);
}

TEST_F(OutputQueueTest, EndComesAfterEveryPieceAndWakesAnIdleLauncher) {
  ASSERT_TRUE(queue_.Push(L"a", 1));
  EXPECT_EQ(TakeText(), L"a");
  std::wstring piece;
  EXPECT_EQ(queue_.Take(piece, times_), Took::kNothing);
  ASSERT_TRUE(queue_.Push(L"b", 1));
  queue_.Close();
  EXPECT_EQ(wakes_, 2);
  EXPECT_EQ(TakeText(), L"b");
  EXPECT_EQ(queue_.Take(piece, times_), Took::kEnd);
  EXPECT_EQ(queue_.Take(piece, times_), Took::kEnd);
}

TEST_F(OutputQueueTest, CancelReleasesAWaitingReaderAndAsksForNoWake) {
  ASSERT_TRUE(queue_.Push(L"12345678", 8));
  ASSERT_TRUE(queue_.Push(L"abcdefgh", 8));
  std::wstring piece;
  EXPECT_EQ(TakeText(), L"12345678");
  ASSERT_TRUE(queue_.Push(L"ijklmnop", 8));
  std::thread reader([&] { EXPECT_FALSE(queue_.Push(L"x", 1)); });
  std::this_thread::sleep_for(50ms);
  queue_.Cancel();
  reader.join();
  const int wakes = wakes_;
  queue_.Close();
  EXPECT_EQ(wakes_, wakes);
}

}  // namespace
}  // namespace vexlo
