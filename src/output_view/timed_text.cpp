#include "output_view/timed_text.h"

#include <windows.h>

#include <cwchar>

namespace vexlo {
namespace {

bool LocalTimeOf(std::int64_t utcTicks, SYSTEMTIME& local) {
  const auto ticks = static_cast<std::uint64_t>(utcTicks);
  const FILETIME utc{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
  SYSTEMTIME system{};
  // The time zone's rules for that date, daylight saving time included.
  return ::FileTimeToSystemTime(&utc, &system) && ::SystemTimeToTzSpecificLocalTime(nullptr, &system, &local);
}

std::wstring FormattedTime(const SYSTEMTIME& local) {
  wchar_t text[64] = {};
  // No flags: the user's format with its seconds.
  const int n = ::GetTimeFormatEx(LOCALE_NAME_USER_DEFAULT, 0, &local, nullptr, text, 64);
  if (n > 0) return std::wstring(text, static_cast<std::size_t>(n - 1));
  swprintf_s(text, L"%02u:%02u:%02u", local.wHour, local.wMinute, local.wSecond);
  return text;
}

}  // namespace

std::wstring GutterTime(std::int64_t utcTicks) {
  SYSTEMTIME local{};
  return LocalTimeOf(utcTicks, local) ? FormattedTime(local) : std::wstring();
}

std::wstring WidestGutterTime() {
  // Two-digit hours, minutes and seconds, in the afternoon for a 12-hour format.
  SYSTEMTIME late{};
  late.wYear = 2000;
  late.wMonth = 1;
  late.wDay = 1;
  late.wHour = 23;
  late.wMinute = 58;
  late.wSecond = 58;
  return FormattedTime(late);
}

std::wstring IsoLocalTime(std::int64_t utcTicks) {
  SYSTEMTIME local{};
  if (!LocalTimeOf(utcTicks, local)) return {};
  wchar_t text[32] = {};
  swprintf_s(text, L"%04u-%02u-%02u %02u:%02u:%02u.%03u", local.wYear, local.wMonth, local.wDay, local.wHour,
             local.wMinute, local.wSecond, local.wMilliseconds);
  return text;
}

std::wstring TextWithTimes(const ChunkedText& text) {
  const std::wstring plain = text.Slice(0, text.size());
  std::wstring timed;
  timed.reserve(plain.size() + plain.size() / 8);
  for (std::size_t start = 0; start < plain.size();) {
    const std::size_t next = plain.find(L'\n', start);
    const std::size_t end = next == std::wstring::npos ? plain.size() : next + 1;
    if (const auto time = text.TimeAt(start)) {
      timed += IsoLocalTime(*time);
      timed += L'\t';
    }
    timed.append(plain, start, end - start);
    start = end;
  }
  return timed;
}

}  // namespace vexlo
