#pragma once
// Where the strip draws what, in pixels at its DPI: the statistics line, the gridline
// labels, the marks' area and the columns in it. Painting and hit testing share it,
// so that a click lands on the mark that is drawn there.

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "run_facts/run_facts.h"

namespace vexlo {

// RECT holds LONGs; the strip computes in int.
[[nodiscard]] constexpr RECT MakeRect(int left, int top, int right, int bottom) noexcept {
  return {left, top, right, bottom};
}

// Sizes in pixels at 96 DPI scaled to dpi, whole pixels and never below one.
[[nodiscard]] int ScalePixels(int pixelsAt96, UINT dpi) noexcept;

struct StripGeometry {
  RECT text{};     // the statistics line, on one row or two
  RECT labels{};   // the gridline labels, left of the marks
  RECT graph{};    // the marks: its bottom is 0 ms, its top the scale
  RECT numbers{};  // the hop numbers under the bars; empty for ping
  int pitch = 1;        // from one column's left edge to the next one's
  int markWidth = 1;    // of a mark, within its column
  int line = 1;         // a thin line: one pixel at 96 DPI, whole pixels at any other
  std::size_t columns = 0;  // how many columns fit
};

// textHeight: of the font's line; textRows: the statistics' (1 or 2); labelWidth: of
// the widest gridline label.
[[nodiscard]] StripGeometry LayOutStrip(SIZE client, UINT dpi, int textHeight, int textRows, int labelWidth,
                                        RunTool tool, std::size_t hopCount);
// The column's rectangle, the whole height of the graph; columns start at the left.
[[nodiscard]] RECT ColumnRect(const StripGeometry& geometry, std::size_t column) noexcept;
// The mark's rectangle from the graph's bottom up to ms (at least a thin line high).
[[nodiscard]] RECT MarkUpTo(const StripGeometry& geometry, std::size_t column, std::uint32_t ms,
                            std::uint32_t scaleMs) noexcept;
// The y of ms on the graph.
[[nodiscard]] int YOf(const StripGeometry& geometry, std::uint32_t ms, std::uint32_t scaleMs) noexcept;
// The column under x among the count drawn.
[[nodiscard]] std::optional<std::size_t> ColumnAt(const StripGeometry& geometry, POINT at, std::size_t count) noexcept;

// The smallest of 1, 2, 5, 10, 20, 50 ... ms at least as high as every reply of the hops.
[[nodiscard]] std::uint32_t HopScale(const std::vector<TraceHop>& hops) noexcept;

}  // namespace vexlo
