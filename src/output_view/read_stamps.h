#pragma once
// When each piece of a store's text was read: one stamp per part of a piece, keyed by
// store position, packed as deltas of position and of milliseconds in blocks, so a
// week of one line a second costs a few bytes a line. A line's time is the stamp at
// or before its first character.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

namespace vexlo {

class ReadStamps {
 public:
  // `utcTicks` as FILETIME ticks; empty: text without a time (its own stamp, so it
  // does not take the time of the text before it). Positions only grow.
  void Add(std::size_t position, std::optional<std::int64_t> utcTicks);
  // The time of the character at `position`; empty when it has none.
  [[nodiscard]] std::optional<std::int64_t> At(std::size_t position) const;
  // Nothing before `position` is asked for again.
  void Forget(std::size_t position) noexcept;
  [[nodiscard]] std::size_t Count() const noexcept { return count_; }
  [[nodiscard]] std::size_t BytesHeld() const noexcept;

 private:
  // Milliseconds since 1601; 0 is "no time".
  struct Block {
    std::size_t firstPosition;
    std::int64_t firstTime;
    std::size_t lastPosition;
    std::int64_t lastTime;
    std::size_t entries;
    std::vector<std::uint8_t> deltas;  // entries - 1 pairs of varints
  };
  static constexpr std::size_t kBlockEntries = 256;

  std::deque<Block> blocks_;
  std::size_t count_ = 0;
};

}  // namespace vexlo
