#include "run_strip/strip_layout.h"

#include <algorithm>

namespace vexlo {
namespace {

constexpr int kPad = 3;
constexpr int kPingPitch = 4;   // a 3-pixel mark and a 1-pixel gap at 96 DPI
constexpr int kPingGap = 1;
constexpr int kWidestHop = 28;  // a bar is never wider than this column

}  // namespace

int ScalePixels(int pixelsAt96, UINT dpi) noexcept {
  return std::max(1, MulDiv(pixelsAt96, static_cast<int>(dpi), 96));
}

StripGeometry LayOutStrip(SIZE client, UINT dpi, int textHeight, int textRows, int labelWidth, RunTool tool,
                          std::size_t hopCount) {
  StripGeometry g;
  const int pad = ScalePixels(kPad, dpi);
  g.line = ScalePixels(1, dpi);
  const int width = static_cast<int>(client.cx), height = static_cast<int>(client.cy);
  g.text = MakeRect(pad, pad, std::max(pad, width - pad), pad + textHeight * textRows);
  const int graphTop = static_cast<int>(g.text.bottom) + pad;
  int graphBottom = height - pad;
  if (tool == RunTool::Traceroute) graphBottom -= textHeight;
  graphBottom = std::max(graphTop + g.line, graphBottom);
  const int graphLeft = pad + labelWidth + pad;
  g.labels = MakeRect(pad, graphTop, pad + labelWidth, graphBottom);
  g.graph = MakeRect(graphLeft, graphTop, std::max(graphLeft, width - pad), graphBottom);
  const int graphWidth = static_cast<int>(g.graph.right - g.graph.left);
  if (tool == RunTool::Ping) {
    g.pitch = ScalePixels(kPingPitch, dpi);
    g.markWidth = std::max(1, g.pitch - ScalePixels(kPingGap, dpi));
    g.columns = static_cast<std::size_t>(graphWidth / g.pitch);
  } else {
    const int count = static_cast<int>(std::max<std::size_t>(1, std::min<std::size_t>(hopCount, 1024)));
    g.pitch = std::clamp(graphWidth / count, 1, ScalePixels(kWidestHop, dpi));
    g.markWidth = std::max(1, g.pitch * 2 / 3);
    g.columns = static_cast<std::size_t>(graphWidth / g.pitch);
    g.numbers = MakeRect(graphLeft, graphBottom, static_cast<int>(g.graph.right), graphBottom + textHeight);
  }
  return g;
}

RECT ColumnRect(const StripGeometry& g, std::size_t column) noexcept {
  const int left = static_cast<int>(g.graph.left) + static_cast<int>(column) * g.pitch;
  return MakeRect(left, g.graph.top, left + g.pitch, g.graph.bottom);
}

int YOf(const StripGeometry& g, std::uint32_t ms, std::uint32_t scaleMs) noexcept {
  const long long height = g.graph.bottom - g.graph.top;
  const std::uint32_t shown = std::min(ms, scaleMs);
  return static_cast<int>(g.graph.bottom) - static_cast<int>((height * shown + scaleMs / 2) / std::max<std::uint32_t>(1, scaleMs));
}

RECT MarkUpTo(const StripGeometry& g, std::size_t column, std::uint32_t ms, std::uint32_t scaleMs) noexcept {
  const RECT c = ColumnRect(g, column);
  const int left = static_cast<int>(c.left) + (g.pitch - g.markWidth) / 2;
  const int bottom = static_cast<int>(g.graph.bottom);
  return MakeRect(left, std::min(YOf(g, ms, scaleMs), bottom - g.line), left + g.markWidth, bottom);
}

std::optional<std::size_t> ColumnAt(const StripGeometry& g, POINT at, std::size_t count) noexcept {
  if (at.x < g.graph.left || at.y < g.graph.top || at.y >= std::max<LONG>(g.graph.bottom, g.numbers.bottom)) {
    return std::nullopt;
  }
  const auto column = static_cast<std::size_t>((at.x - g.graph.left) / g.pitch);  // never negative here
  if (column >= count) return std::nullopt;
  return column;
}

std::uint32_t HopScale(const std::vector<TraceHop>& hops) noexcept {
  std::uint32_t worst = 1;
  for (const TraceHop& hop : hops) {
    for (const std::uint32_t ms : hop.probeMs) {
      if (ms != kLostProbe) worst = std::max(worst, ms);
    }
  }
  for (std::uint64_t decade = 1;; decade *= 10) {
    for (const std::uint64_t step : {1, 2, 5}) {
      if (decade * step >= worst) return static_cast<std::uint32_t>(std::min<std::uint64_t>(decade * step, 0xFFFFFFFE));
    }
  }
}

}  // namespace vexlo
