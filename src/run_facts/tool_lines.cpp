#include "run_facts/tool_lines.h"

#include <algorithm>

namespace vexlo {
namespace {

constexpr std::uint32_t kLongestTrip = 0x7FFFFFFF;

bool IsSpace(wchar_t c) noexcept {
  // Tabs and the no-break, narrow no-break and ideographic spaces of some languages too.
  return c == L' ' || c == L'\t' || c == L'\x00A0' || c == L'\x202F' || c == L'\x3000';
}
bool IsDigit(wchar_t c) noexcept { return c >= L'0' && c <= L'9'; }

std::size_t SkipSpaces(std::wstring_view line, std::size_t at) noexcept {
  while (at < line.size() && IsSpace(line[at])) ++at;
  return at;
}

// The number of digits at 'at', clamped to the longest round trip kept.
std::uint32_t ReadNumber(std::wstring_view line, std::size_t& at) noexcept {
  std::uint64_t value = 0;
  for (; at < line.size() && IsDigit(line[at]); ++at) {
    value = std::min<std::uint64_t>(value * 10 + static_cast<std::uint64_t>(line[at] - L'0'), kLongestTrip);
  }
  return static_cast<std::uint32_t>(value);
}

std::uint32_t Below(std::uint32_t value) noexcept { return value == 0 ? 0 : value - 1; }

// IPv4 replies end with "TTL=n" in every language.
std::size_t FindTtl(std::wstring_view line) noexcept {
  const std::size_t ttl = line.find(L"TTL=");
  return ttl == std::wstring_view::npos ? line.size() : ttl;
}

// One of tracert's three fields: "*", or "<1 ms", "12 ms", "12ms", "12 мс", "12 毫秒".
std::optional<std::uint32_t> ReadHopField(std::wstring_view line, std::size_t& at, bool& ok) {
  ok = false;
  at = SkipSpaces(line, at);
  if (at < line.size() && line[at] == L'*') {
    ++at;
    ok = at == line.size() || IsSpace(line[at]);
    return std::nullopt;
  }
  const bool below = at < line.size() && line[at] == L'<';
  if (below) at = SkipSpaces(line, at + 1);
  if (at == line.size() || !IsDigit(line[at])) return std::nullopt;
  const std::uint32_t ms = ReadNumber(line, at);
  if (at < line.size() && (line[at] == L'.' || line[at] == L',' || line[at] == L':')) return std::nullopt;  // an address
  if (at < line.size() && !IsSpace(line[at])) {
    while (at < line.size() && !IsSpace(line[at])) ++at;  // a unit written without a space
  } else {
    const std::size_t unit = SkipSpaces(line, at);
    if (unit == line.size() || IsDigit(line[unit]) || line[unit] == L'<' || line[unit] == L'*') return std::nullopt;
    for (at = unit; at < line.size() && !IsSpace(line[at]);) ++at;
  }
  ok = true;
  return below ? Below(ms) : ms;
}

}  // namespace

std::wstring_view TrimEnd(std::wstring_view line) noexcept {
  while (!line.empty() && IsSpace(line.back())) line.remove_suffix(1);
  return line;
}

bool IsPingHeader(std::wstring_view line) noexcept {
  line = TrimEnd(line);
  return !line.empty() && (line.back() == L':' || line.back() == L'\xFF1A');
}

bool IsBreakLine(std::wstring_view line) noexcept {
  line = TrimEnd(line);
  return line == L"^C" || line.ends_with(L"-C") || line.ends_with(L"+C");
}

std::optional<std::uint32_t> EchoRoundTrip(std::wstring_view line) noexcept {
  const std::size_t end = FindTtl(line);
  std::optional<std::uint32_t> trip;
  for (std::size_t at = 0; at < end; ++at) {
    if (line[at] != L'=' && line[at] != L'<') continue;
    const bool below = line[at] == L'<';
    std::size_t digits = SkipSpaces(line, at + 1);
    if (digits >= end || !IsDigit(line[digits])) continue;
    const std::uint32_t ms = ReadNumber(line, digits);
    trip = below ? Below(ms) : ms;
    at = digits - 1;
  }
  return trip;
}

std::optional<TraceHop> ReadHopLine(std::wstring_view line) {
  std::size_t at = SkipSpaces(line, 0);
  if (at == line.size() || !IsDigit(line[at])) return std::nullopt;
  TraceHop hop;
  hop.number = ReadNumber(line, at);
  if (at == line.size() || !IsSpace(line[at])) return std::nullopt;
  for (std::uint32_t& ms : hop.probeMs) {
    bool ok = false;
    const std::optional<std::uint32_t> field = ReadHopField(line, at, ok);
    if (!ok) return std::nullopt;
    ms = field.value_or(kLostProbe);
    hop.bestMs = std::min(hop.bestMs, ms);
  }
  hop.host = std::wstring(TrimEnd(line.substr(SkipSpaces(line, at))));
  return hop;
}

}  // namespace vexlo
