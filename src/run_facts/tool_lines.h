#pragma once
// What one line of ping's or tracert's output says, read from its shape only.

#include <cstdint>
#include <optional>
#include <string_view>

#include "run_facts/run_facts.h"

namespace vexlo {

// The line without the spaces at its end; a line of spaces is empty.
[[nodiscard]] std::wstring_view TrimEnd(std::wstring_view line) noexcept;
// Ping's header ("Pinging ... data:", "... de données :", "...データ:") ends with a colon.
[[nodiscard]] bool IsPingHeader(std::wstring_view line) noexcept;
// The console's "^C" and ping's "Control-C" ("Ctrl+C", "STRG-C") lines.
[[nodiscard]] bool IsBreakLine(std::wstring_view line) noexcept;
// An echo reply's round trip: the number after '=' or '<' just before "TTL=", or the
// last such number of a line without TTL (IPv6); "<n" is n - 1, so "<1" is 0.
// Nothing for any other line: a lost probe.
[[nodiscard]] std::optional<std::uint32_t> EchoRoundTrip(std::wstring_view line) noexcept;
// A hop line: a hop number, then three fields each "*" or a number of ms in the
// language's unit, then the host. Its line position is left to the caller.
[[nodiscard]] std::optional<TraceHop> ReadHopLine(std::wstring_view line);

}  // namespace vexlo
