#include "launcher/output_queue.h"

#include <utility>

namespace vexlo {

OutputQueue::OutputQueue(std::size_t pieceBytes, std::size_t limitBytes, std::function<void()> wake)
    : pieceBytes_(pieceBytes), limitBytes_(limitBytes), wake_(std::move(wake)) {}

bool OutputQueue::WakeIfIdle() {
  if (cancelled_) return false;
  return !std::exchange(launcherOwesVisit_, true);
}

bool OutputQueue::Push(std::wstring text, std::size_t bytes, std::int64_t readAt) {
  std::unique_lock lock(mutex_);
  // An empty queue takes any piece, so one larger than the limit cannot wait for ever.
  notFull_.wait(lock, [&] {
    return cancelled_ || queuedBytes_ == 0 || queuedBytes_ + bytes <= limitBytes_;
  });
  if (cancelled_) return false;
  if (!pieces_.empty() && pieces_.back().bytes + bytes <= pieceBytes_) {
    Piece& last = pieces_.back();
    last.times.push_back({last.text.size(), readAt});
    last.text += text;
    last.bytes += bytes;
  } else {
    pieces_.push_back({std::move(text), bytes, ReadTimes{{0, readAt}}, Clock::now()});
  }
  queuedBytes_ += bytes;
  const bool wake = WakeIfIdle();
  lock.unlock();
  if (wake) wake_();
  return true;
}

void OutputQueue::Close() {
  std::unique_lock lock(mutex_);
  closed_ = true;
  closedAt_ = Clock::now();
  const bool wake = WakeIfIdle();
  lock.unlock();
  if (wake) wake_();
}

void OutputQueue::Cancel() {
  {
    std::lock_guard lock(mutex_);
    cancelled_ = true;
  }
  notFull_.notify_all();
}

OutputQueue::Took OutputQueue::Take(std::wstring& piece, ReadTimes& times) {
  {
    std::lock_guard lock(mutex_);
    if (pieces_.empty()) {
      if (closed_) return Took::kEnd;
      launcherOwesVisit_ = false;
      return Took::kNothing;
    }
    piece = std::move(pieces_.front().text);
    times = std::move(pieces_.front().times);
    queuedBytes_ -= pieces_.front().bytes;
    pieces_.pop_front();
  }
  notFull_.notify_all();
  return Took::kPiece;
}

std::optional<OutputQueue::Clock::duration> OutputQueue::Waiting() {
  std::lock_guard lock(mutex_);
  if (pieces_.empty() && !closed_) {
    launcherOwesVisit_ = false;
    return std::nullopt;
  }
  return Clock::now() - (pieces_.empty() ? closedAt_ : pieces_.front().since);
}

}  // namespace vexlo
