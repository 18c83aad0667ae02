#pragma once
// The read times of an output view's lines as the user sees them: in the gutter, and
// in front of each line of a saved file.

#include <cstdint>
#include <string>

#include "output_view/text_store.h"

namespace vexlo {

// hh:mm:ss of the local time, in the user's time format.
[[nodiscard]] std::wstring GutterTime(std::int64_t utcTicks);
// The widest that GutterTime gives, near enough, to size the gutter.
[[nodiscard]] std::wstring WidestGutterTime();
// The local date and time, ISO 8601 to the millisecond: "2026-12-08 14:32:05.123".
[[nodiscard]] std::wstring IsoLocalTime(std::int64_t utcTicks);
// The text with each line that has a time prefixed with IsoLocalTime and a tab; a
// line without a time is left as it is.
[[nodiscard]] std::wstring TextWithTimes(const ChunkedText& text);

}  // namespace vexlo
