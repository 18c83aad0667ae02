// The strip's painting: into a bitmap first, then onto the screen in one copy.
#include <algorithm>
#include <string>

#include "common/gdi_guards.h"
#include "common/unique_handles.h"
#include "run_strip/run_strip.h"

namespace vexlo {
namespace {

using UniqueDc = UniqueHandle<NullableHandleTraits<HDC, &::DeleteDC>>;
using UniqueBitmap = UniqueHandle<NullableHandleTraits<HBITMAP, &::DeleteObject>>;

void Fill(HDC dc, const RECT& r, COLORREF color) {
  ::SetDCBrushColor(dc, color);
  ::FillRect(dc, &r, static_cast<HBRUSH>(::GetStockObject(DC_BRUSH)));
}

void FillLoss(HDC dc, const RECT& r, const StripColors& colors, HBRUSH hatch) {
  Fill(dc, r, colors.loss);
  if (hatch != nullptr) ::FillRect(dc, &r, hatch);  // the background mode is transparent
}

// "50 ms", or "2.5 ms" for half of an odd scale.
std::wstring GridLabel(std::uint32_t halves) {
  std::wstring text = std::to_wstring(halves / 2);
  if (halves % 2 != 0) text += L".5";
  return text + L" ms";
}

void DrawLine(HDC dc, const std::wstring& text, RECT r, UINT format) {
  ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &r, format | DT_SINGLELINE | DT_NOPREFIX);
}

}  // namespace

void RunStrip::OnPaint() {
  const PaintDc paint(hwnd_);
  RECT client{};
  if (paint.get() == nullptr || !::GetClientRect(hwnd_, &client) || client.right <= 0 || client.bottom <= 0) return;
  // The strip is redrawn at every probe: drawn on the screen piece by piece, the
  // background would show between its steps.
  const UniqueDc memory(::CreateCompatibleDC(paint.get()));
  const UniqueBitmap bitmap(::CreateCompatibleBitmap(paint.get(), client.right, client.bottom));
  if (!memory || !bitmap) {
    PaintInto(paint.get(), client);
    return;
  }
  const Selected selected(memory.get(), bitmap.get());
  PaintInto(memory.get(), client);
  ::BitBlt(paint.get(), 0, 0, client.right, client.bottom, memory.get(), 0, 0, SRCCOPY);
}

void RunStrip::PaintInto(HDC dc, const RECT& client) const {
  const StripColors colors = CurrentStripColors();
  Fill(dc, client, colors.background);
  const Selected font(dc, font_ != nullptr ? font_ : ::GetStockObject(DEFAULT_GUI_FONT));
  ::SetBkMode(dc, TRANSPARENT);
  ::SetTextColor(dc, colors.text);
  const StripGeometry geometry = Geometry();
  RECT row = geometry.text;
  row.bottom = row.top + textHeight_;
  if (statisticsBreak_ == std::wstring::npos) {
    DrawLine(dc, statistics_, row, DT_LEFT | DT_END_ELLIPSIS);
  } else {
    DrawLine(dc, statistics_.substr(0, statisticsBreak_), row, DT_LEFT | DT_END_ELLIPSIS);
    ::OffsetRect(&row, 0, textHeight_);
    DrawLine(dc, statistics_.substr(statisticsBreak_ + 3), row, DT_LEFT | DT_END_ELLIPSIS);
  }
  if (tool_ == RunTool::Ping) {
    PaintPing(dc, geometry, colors);
  } else {
    PaintHops(dc, geometry, colors);
  }
}

void RunStrip::PaintGrid(HDC dc, const StripGeometry& g, std::uint32_t scaleMs, const StripColors& colors) const {
  // Each label hangs below its line, so the top one stays clear of the statistics.
  const int top = YOf(g, scaleMs, scaleMs);
  const int middle = YOf(g, scaleMs / 2, scaleMs);
  Fill(dc, {g.graph.left, top, g.graph.right, top + g.line}, colors.grid);
  Fill(dc, {g.graph.left, g.graph.bottom - g.line, g.graph.right, g.graph.bottom}, colors.grid);
  ::SetTextColor(dc, colors.grid);
  DrawLine(dc, GridLabel(scaleMs * 2), {g.labels.left, top, g.labels.right, top + textHeight_}, DT_RIGHT);
  if (middle - top >= textHeight_ && middle + textHeight_ <= g.graph.bottom && scaleMs > 1) {
    Fill(dc, {g.graph.left, middle, g.graph.right, middle + g.line}, colors.grid);
    DrawLine(dc, GridLabel(scaleMs), {g.labels.left, middle, g.labels.right, middle + textHeight_}, DT_RIGHT);
  }
  ::SetTextColor(dc, colors.text);
}

void RunStrip::PaintPing(HDC dc, const StripGeometry& g, const StripColors& colors) const {
  const PingGraph graph = facts_->Columns(g.columns);
  PaintGrid(dc, g, graph.scaleMs, colors);
  const UniqueBrush hatch(colors.hatchLoss ? ::CreateHatchBrush(HS_DIAGCROSS, colors.text) : nullptr);
  const int cap = 3 * g.line;
  for (std::size_t i = 0; i < graph.columns.size() && i < g.columns; ++i) {
    const GraphColumn& c = graph.columns[i];
    if (!c.replied) {
      FillLoss(dc, MarkUpTo(g, i, graph.scaleMs, graph.scaleMs), colors, hatch.get());
      continue;
    }
    const RECT best = MarkUpTo(g, i, c.bestMs, graph.scaleMs);
    // Several probes in a column: the bar to the best, the span to the worst above it.
    if (c.worstMs > c.bestMs) Fill(dc, {best.left, YOf(g, c.worstMs, graph.scaleMs), best.right, best.top}, colors.grid);
    Fill(dc, best, colors.reply);
    if (c.lost) FillLoss(dc, {best.left, g.graph.top, best.right, g.graph.top + cap}, colors, hatch.get());
  }
}

void RunStrip::PaintHops(HDC dc, const StripGeometry& g, const StripColors& colors) const {
  const std::vector<TraceHop>& hops = facts_->Hops();
  const std::uint32_t scale = HopScale(hops);
  PaintGrid(dc, g, scale, colors);
  const UniqueBrush hatch(colors.hatchLoss ? ::CreateHatchBrush(HS_DIAGCROSS, colors.text) : nullptr);
  const int cap = 3 * g.line;
  const int tickOut = std::max(0, std::min(ScalePixels(2, dpi_), (g.pitch - g.markWidth) / 2));
  SIZE numberSize{};
  ::GetTextExtentPoint32W(dc, L"000", 3, &numberSize);
  // Hop numbers too wide for their columns are drawn at every step-th hop only.
  const std::size_t step = static_cast<std::size_t>(std::max<LONG>(1, (numberSize.cx + g.pitch - 1) / g.pitch));
  const std::size_t count = MarkCount(g);
  for (std::size_t i = 0; i < count; ++i) {
    const TraceHop& hop = hops[i];
    const RECT column = ColumnRect(g, i);
    if (i % step == 0) {
      const int centre = (column.left + column.right) / 2;
      DrawLine(dc, std::to_wstring(hop.number),
               {centre - numberSize.cx, g.numbers.top, centre + numberSize.cx, g.numbers.bottom}, DT_CENTER);
    }
    if (!hop.Replied()) {
      FillLoss(dc, MarkUpTo(g, i, scale, scale), colors, hatch.get());
      continue;
    }
    const RECT bar = MarkUpTo(g, i, hop.bestMs, scale);
    Fill(dc, bar, colors.reply);
    bool bestSkipped = false;  // the bar is the best probe; the other two are ticks
    for (const std::uint32_t ms : hop.probeMs) {
      if (ms == kLostProbe) {
        FillLoss(dc, {bar.left, g.graph.top, bar.right, g.graph.top + cap}, colors, hatch.get());
      } else if (ms == hop.bestMs && !bestSkipped) {
        bestSkipped = true;
      } else {
        const int y = std::min<int>(YOf(g, ms, scale), g.graph.bottom - g.line);
        Fill(dc, {bar.left - tickOut, y, bar.right + tickOut, y + g.line}, colors.text);
      }
    }
  }
}

}  // namespace vexlo
