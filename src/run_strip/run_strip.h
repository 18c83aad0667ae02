#pragma once
// The strip below a tool page's output box that draws the facts of its runs: for
// ping the statistics line and one mark per probe, for tracert one bar per hop. Its
// window text is the statistics line, which is also its accessible name. A click on
// a mark tells the parent, with WM_NOTIFY, which line of the box the mark stands for.
//
// The strip reads its facts only when painted or told to Refresh, and asks them for
// as many columns as it has room for, so that a paint costs the same however many
// probes a run has.

#include <windows.h>
#include <commctrl.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "common/unique_handles.h"
#include "common/window_base.h"
#include "run_facts/run_facts.h"
#include "run_strip/strip_colors.h"
#include "run_strip/strip_layout.h"

namespace vexlo {

class RunStrip final : private WindowBase {
 public:
  static constexpr wchar_t kClassName[] = L"VexloRunStrip";
  // WM_NOTIFY code of a click on a mark; lParam points to a MarkClick.
  static constexpr UINT kMarkClicked = 0x0A01;
  struct MarkClick {
    NMHDR header;
    std::uint32_t lineStart;   // in the box's text, line end excluded
    std::uint32_t lineLength;
  };

  [[nodiscard]] static bool Register(HINSTANCE instance);

  RunStrip() = default;
  ~RunStrip();
  RunStrip(const RunStrip&) = delete;
  RunStrip& operator=(const RunStrip&) = delete;

  // Creates the strip hidden, as a child of parent, drawing the facts of tool (ping
  // or tracert). The facts must outlive the window.
  [[nodiscard]] bool Create(HWND parent, int id, const RunFacts& facts, RunTool tool);
  [[nodiscard]] HWND hwnd() const noexcept { return hwnd_; }
  // Its own visibility, whether or not its page is in view.
  [[nodiscard]] bool Visible() const { return (::GetWindowLongPtrW(hwnd_, GWL_STYLE) & WS_VISIBLE) != 0; }

  // The facts changed: reads the statistics line again and redraws.
  void Refresh();
  // Whether the facts hold a probe or a hop of the strip's tool.
  [[nodiscard]] bool HasMarks() const;
  // Sizes follow this DPI; the window tells it at creation and on every change.
  void Dpi(UINT dpi);
  // The client rectangle of the mark in that column (oldest first), if it is drawn.
  [[nodiscard]] std::optional<RECT> MarkRect(std::size_t column) const;

 private:
  LRESULT HandleMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) override;
  [[nodiscard]] bool OnCreate();
  void OnDestroy() noexcept;
  void OnSetFont(HFONT font, bool redraw);
  void OnMouseMove(POINT at);
  void OnClick(POINT at);
  void OnGetTipText(NMTTDISPINFOW& info);
  void RelayToTip(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) const;
  void OnPaint();

  // strip_paint.cpp
  void PaintInto(HDC dc, const RECT& client) const;
  void PaintPing(HDC dc, const StripGeometry& geometry, const StripColors& colors) const;
  void PaintHops(HDC dc, const StripGeometry& geometry, const StripColors& colors) const;
  void PaintGrid(HDC dc, const StripGeometry& geometry, std::uint32_t scaleMs, const StripColors& colors) const;

  [[nodiscard]] StripGeometry Geometry() const;
  [[nodiscard]] std::size_t MarkCount(const StripGeometry& geometry) const;
  // The line in the box that the mark in column stands for.
  [[nodiscard]] std::optional<std::pair<std::uint32_t, std::uint32_t>> LineOf(std::size_t column) const;
  [[nodiscard]] std::wstring TipOf(std::size_t column) const;
  [[nodiscard]] std::wstring StatisticsLine() const;
  // Where the statistics line goes on to a second row when one is too narrow for it.
  void BreakStatistics();
  void MeasureFont();

  HWND hwnd_ = nullptr;
  const RunFacts* facts_ = nullptr;
  RunTool tool_ = RunTool::Ping;
  UINT dpi_ = 96;
  HFONT font_ = nullptr;  // not ours: the sender of WM_SETFONT owns it
  int textHeight_ = 14;
  int labelWidth_ = 40;  // room for the widest gridline label
  UniqueWindow tip_;
  std::optional<std::size_t> hovered_;  // the column under the mouse
  std::wstring tipText_;                // what the tooltip shows, held while it does
  std::wstring statistics_;             // the line drawn, and the window text
  std::size_t statisticsBreak_ = std::wstring::npos;  // at a separator, or npos: one row
};

}  // namespace vexlo
