#pragma once
// When a tool's output was read from its pipe: for each part of a piece, where the
// part starts in the piece and when it was read. A piece that waited with others
// keeps the times of all its parts.

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vexlo {

struct ReadTime {
  std::size_t offset;     // in the piece, in UTF-16 code units
  std::int64_t utcTicks;  // FILETIME: 100 ns since 1601, UTC
};
using ReadTimes = std::vector<ReadTime>;

// What kAppendTimedOutputMessage (common/app_messages.h) carries.
struct TimedOutput {
  const wchar_t* text;
  std::size_t length;
  const ReadTimes* times;
  // Set by the view: where the text starts in its text, so the sender needs no second
  // message to learn it.
  std::size_t* startsAt = nullptr;
};

[[nodiscard]] inline std::int64_t UtcTicksNow() noexcept {
  FILETIME now{};
  // The precise clock: the coarse one steps every 10 to 16 ms.
  ::GetSystemTimePreciseAsFileTime(&now);
  return static_cast<std::int64_t>((static_cast<std::uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime);
}

}  // namespace vexlo
