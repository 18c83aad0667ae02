#include "output_view/read_stamps.h"

#include <algorithm>

namespace vexlo {
namespace {

constexpr std::int64_t kTicksPerMs = 10'000;

void PutVarint(std::vector<std::uint8_t>& out, std::uint64_t value) {
  while (value >= 0x80) {
    out.push_back(static_cast<std::uint8_t>(value | 0x80));
    value >>= 7;
  }
  out.push_back(static_cast<std::uint8_t>(value));
}

std::uint64_t GetVarint(const std::uint8_t*& in) noexcept {
  std::uint64_t value = 0;
  for (unsigned shift = 0;; shift += 7) {
    const std::uint8_t byte = *in++;
    value |= static_cast<std::uint64_t>(byte & 0x7F) << shift;
    if ((byte & 0x80) == 0) return value;
  }
}

// Time may go back (the clock is set back): deltas are signed, zigzag-coded.
std::uint64_t ZigZag(std::int64_t v) noexcept {
  return (static_cast<std::uint64_t>(v) << 1) ^ static_cast<std::uint64_t>(v >> 63);
}
std::int64_t UnZigZag(std::uint64_t v) noexcept {
  return static_cast<std::int64_t>(v >> 1) ^ -static_cast<std::int64_t>(v & 1);
}

}  // namespace

void ReadStamps::Add(std::size_t position, std::optional<std::int64_t> utcTicks) {
  const std::int64_t ms = utcTicks ? std::max<std::int64_t>(1, *utcTicks / kTicksPerMs) : 0;
  if (!blocks_.empty()) {
    Block& last = blocks_.back();
    if (last.lastTime == ms) return;  // the same millisecond: the earlier stamp tells it
    if (last.lastPosition == position) {
      // A later stamp at the same place replaces an earlier one.
      if (last.entries == 1) {
        last.firstTime = last.lastTime = ms;
        return;
      }
    }
    if (last.entries < kBlockEntries) {
      PutVarint(last.deltas, position - last.lastPosition);
      PutVarint(last.deltas, ZigZag(ms - last.lastTime));
      last.lastPosition = position;
      last.lastTime = ms;
      ++last.entries;
      ++count_;
      if (last.entries == kBlockEntries) last.deltas.shrink_to_fit();
      return;
    }
  }
  blocks_.push_back(Block{position, ms, position, ms, 1, {}});
  // Room for a block of stamps a second apart at once: growing by steps would leave
  // the heap with the steps' leftovers.
  blocks_.back().deltas.reserve(kBlockEntries * 4);
  ++count_;
}

std::optional<std::int64_t> ReadStamps::At(std::size_t position) const {
  const auto after = std::upper_bound(blocks_.begin(), blocks_.end(), position,
                                      [](std::size_t p, const Block& b) { return p < b.firstPosition; });
  if (after == blocks_.begin()) return std::nullopt;
  const Block& block = *(after - 1);
  std::int64_t ms = block.firstTime;
  if (position >= block.lastPosition) {
    ms = block.lastTime;
  } else {
    std::size_t at = block.firstPosition;
    const std::uint8_t* in = block.deltas.data();
    for (std::size_t i = 1; i < block.entries; ++i) {
      const std::size_t next = at + static_cast<std::size_t>(GetVarint(in));
      const std::int64_t nextMs = ms + UnZigZag(GetVarint(in));
      if (next > position) break;
      at = next;
      ms = nextMs;
    }
  }
  if (ms == 0) return std::nullopt;
  return ms * kTicksPerMs;
}

void ReadStamps::Forget(std::size_t position) noexcept {
  while (blocks_.size() > 1 && blocks_[1].firstPosition <= position) {
    count_ -= blocks_.front().entries;
    blocks_.pop_front();
  }
}

std::size_t ReadStamps::BytesHeld() const noexcept {
  std::size_t bytes = 0;
  for (const Block& block : blocks_) bytes += sizeof(Block) + block.deltas.capacity();
  return bytes;
}

}  // namespace vexlo
