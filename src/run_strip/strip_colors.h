#pragma once
// The strip's colours: the system's, read at each paint so that a change of theme
// or of high contrast shows at once, and one for loss.

#include <windows.h>

namespace vexlo {

// Loss where no high contrast is on: a red that stands apart from the highlight blue
// and from grey text.
inline constexpr COLORREF kLossRed = RGB(0xD0, 0x21, 0x21);

struct StripColors {
  COLORREF background;  // COLOR_WINDOW
  COLORREF text;        // COLOR_WINDOWTEXT: the statistics line, hop numbers, ticks
  COLORREF grid;        // COLOR_GRAYTEXT: gridlines, their labels, a column's worst
  COLORREF reply;       // COLOR_HIGHLIGHT: a round trip
  COLORREF loss;
  // In high contrast the loss is drawn in the theme's hyperlink colour
  // (COLOR_HOTLIGHT), which high-contrast themes keep apart from text, highlight and
  // background, crossed with the text colour, so that it reads without colour too.
  bool hatchLoss;
};

[[nodiscard]] inline StripColors CurrentStripColors() noexcept {
  HIGHCONTRASTW contrast{};
  contrast.cbSize = sizeof contrast;
  const bool high = ::SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof contrast, &contrast, 0) != FALSE &&
                    (contrast.dwFlags & HCF_HIGHCONTRASTON) != 0;
  return {::GetSysColor(COLOR_WINDOW),    ::GetSysColor(COLOR_WINDOWTEXT),
          ::GetSysColor(COLOR_GRAYTEXT),  ::GetSysColor(COLOR_HIGHLIGHT),
          high ? ::GetSysColor(COLOR_HOTLIGHT) : kLossRed, high};
}

}  // namespace vexlo
