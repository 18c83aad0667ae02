#pragma once
// Output on its way from a run's reader thread to the launcher's thread. The queue is
// short: while it is full the reader stops reading, so a flooding tool is held back by
// its full pipe and what it wrote before a Stop is shown soon after. Pieces that wait
// together are joined, so that the window pays its cost per piece less often.

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

#include "common/read_times.h"

namespace vexlo {

class OutputQueue {
 public:
  using Clock = std::chrono::steady_clock;

  // pieceBytes: the most tool output one joined piece may hold. limitBytes: the most
  // that may wait. wake: asks the launcher's thread to come and take; called from the
  // reader's thread, only when that side is idle, never under the queue's lock.
  OutputQueue(std::size_t pieceBytes, std::size_t limitBytes, std::function<void()> wake);

  // Reader side: text decoded from `bytes` bytes of output, read at `readAt`
  // (FILETIME ticks). Waits while the queue is full; false once the queue is cancelled.
  [[nodiscard]] bool Push(std::wstring text, std::size_t bytes, std::int64_t readAt = 0);
  // Reader side: the run has ended; nothing more comes.
  void Close();
  // The launcher is being released: a waiting Push returns, and no wake is asked for.
  void Cancel();

  enum class Took { kPiece, kEnd, kNothing };
  // Launcher side: the next piece; kEnd once the run has ended and every piece is
  // taken. kNothing leaves the queue idle, and the next Push or Close wakes the
  // launcher again.
  // A joined piece comes with the read time of each of its parts.
  [[nodiscard]] Took Take(std::wstring& piece, ReadTimes& times);
  // Launcher side, when a turn stops early: how long the oldest waiting piece (or the
  // end) has waited. Empty when nothing waits; the queue is then idle as after kNothing.
  [[nodiscard]] std::optional<Clock::duration> Waiting();

 private:
  struct Piece {
    std::wstring text;
    std::size_t bytes;
    ReadTimes times;
    Clock::time_point since;  // when its first part came
  };
  bool WakeIfIdle();  // under the lock; true when the caller must call wake_

  const std::size_t pieceBytes_;
  const std::size_t limitBytes_;
  const std::function<void()> wake_;
  std::mutex mutex_;
  std::condition_variable notFull_;
  std::deque<Piece> pieces_;
  std::size_t queuedBytes_ = 0;
  Clock::time_point closedAt_{};
  bool launcherOwesVisit_ = false;  // a wake is on its way, or the launcher will come back
  bool closed_ = false;
  bool cancelled_ = false;
};

}  // namespace vexlo
