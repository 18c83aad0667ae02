#pragma once
// How the view tells characters apart where it steps, breaks and selects: the halves
// of a surrogate pair, and the classes that word steps and double clicks go by.

namespace vexlo {

[[nodiscard]] constexpr bool IsHighSurrogate(unsigned c) noexcept { return c >= 0xD800 && c <= 0xDBFF; }
[[nodiscard]] constexpr bool IsLowSurrogate(unsigned c) noexcept { return c >= 0xDC00 && c <= 0xDFFF; }
[[nodiscard]] constexpr bool IsSurrogate(unsigned c) noexcept { return c >= 0xD800 && c <= 0xDFFF; }
// `c` is the second half of a pair whose first half is `before`: no caret stands
// between them, and no row breaks there.
[[nodiscard]] constexpr bool IsPairTail(unsigned before, unsigned c) noexcept {
  return IsLowSurrogate(c) && IsHighSurrogate(before);
}

// As the edit control's default word breaking sees a character: spaces and tabs,
// the CR and LF of a line break, and everything else, which makes words.
enum class CharClass { kSpace, kBreak, kWord };

[[nodiscard]] constexpr CharClass ClassOf(wchar_t c) noexcept {
  if (c == L' ' || c == L'\t') return CharClass::kSpace;
  if (c == L'\r' || c == L'\n') return CharClass::kBreak;
  return CharClass::kWord;
}

}  // namespace vexlo
