// The window's size and the places of the controls that grow with it: the tab strip,
// the pages, the status bar and the output boxes. Everything else keeps its designed
// place, in twips converted at the layout's DPI.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <utility>

#include "main_window/frm_vexlo.h"

namespace vexlo {
namespace {

// A strip below an output box takes about a quarter of the box's designed height,
// this much of it as the gap between them.
constexpr int kStripGapTwips = 60;

}  // namespace

SIZE frm_Vexlo::WindowSizeAround(SIZE client, UINT frameDpi) const {
  RECT outer{0, 0, client.cx, client.cy};
  // Without the frame's size the client area alone is the least that is known.
  if (!::AdjustWindowRectExForDpi(&outer, kWindowStyle, FALSE, kWindowExStyle, frameDpi)) return client;
  return {outer.right - outer.left, outer.bottom - outer.top};
}

SIZE frm_Vexlo::DesignedWindowSize() const {
  const SIZE client{TwipsToPixels(kClientWidthTwips, layoutDpi_), TwipsToPixels(kClientHeightTwips, layoutDpi_)};
  // The frame is drawn at the window's own DPI, which tests leave at the system's.
  return WindowSizeAround(client, DpiOf(window_.get()));
}

SIZE frm_Vexlo::ClientKeptInTwips(SIZE client, UINT fromDpi, UINT toDpi) {
  const int width = TwipsToPixels(PixelsToTwips(client.cx, fromDpi), toDpi);
  const int height = TwipsToPixels(PixelsToTwips(client.cy, fromDpi), toDpi);
  return {std::max(width, TwipsToPixels(kClientWidthTwips, toDpi)),
          std::max(height, TwipsToPixels(kClientHeightTwips, toDpi))};
}

void frm_Vexlo::FitWindow(UINT dpi) {
  layoutDpi_ = dpi;
  const HWND w = window_.get();
  const SIZE size = DesignedWindowSize();
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  POINT at{};
  if (::GetMonitorInfoW(::MonitorFromWindow(w, MONITOR_DEFAULTTOPRIMARY), &monitor)) {
    const RECT& work = monitor.rcWork;
    at = {work.left + (work.right - work.left - size.cx) / 2, work.top + (work.bottom - work.top - size.cy) / 2};
  }
  ::SetWindowPos(w, nullptr, at.x, at.y, size.cx, size.cy, SWP_NOZORDER | SWP_NOACTIVATE);
}

void frm_Vexlo::OnGetMinMaxInfo(MINMAXINFO& info) const {
  // The first one arrives while the window is being created, before any layout.
  if (layoutDpi_ == 0) return;
  const SIZE least = DesignedWindowSize();
  info.ptMinTrackSize = {least.cx, least.cy};
}

SIZE frm_Vexlo::OnGetDpiScaledSize(UINT dpi, SIZE pending) const {
  // Windows scales the whole window linearly; the frame, though, has its own metrics
  // at each DPI, so the client area is what keeps its twips.
  const SIZE frame = WindowSizeAround({0, 0}, DpiOf(window_.get()));
  const SIZE client{pending.cx - frame.cx, pending.cy - frame.cy};
  return WindowSizeAround(ClientKeptInTwips(client, layoutDpi_, dpi), dpi);
}

void frm_Vexlo::OnDpiChanged(UINT dpi, const RECT& suggested) {
  // The controls hold the old fonts until they are given the new ones.
  UniqueFont oldFont = std::move(font_), oldTitle = std::move(helpTitleFont_), oldText = std::move(helpTextFont_);
  if (!MakeFonts(dpi)) {
    // Keep the old layout whole rather than leave controls without fonts.
    font_ = std::move(oldFont);
    helpTitleFont_ = std::move(oldTitle);
    helpTextFont_ = std::move(oldText);
    return;
  }
  LoadIcons(dpi);
  const HWND w = window_.get();
  RECT client{};
  ::GetClientRect(w, &client);
  const UINT oldDpi = layoutDpi_;
  layoutDpi_ = dpi;

  for (const Placement& placed : placements_) {
    const TwipsRect& t = placed.twips;
    ::MoveWindow(placed.control, TwipsToPixels(t.left, dpi), TwipsToPixels(t.top, dpi),
                 TwipsToPixels(t.width, dpi), TwipsToPixels(t.height, dpi), FALSE);
    ::SendMessageW(placed.control, WM_SETFONT, reinterpret_cast<WPARAM>(placed.font->get()), FALSE);
  }
  // A maximized or minimized window takes the system's rectangle. Otherwise the
  // suggested place, with the size WM_GETDPISCALEDSIZE asks for: the client area's
  // twips, so an enlarged window keeps its proportions.
  RECT at = suggested;
  if (!::IsZoomed(w) && !::IsIconic(w)) {
    const SIZE size = WindowSizeAround(ClientKeptInTwips({client.right, client.bottom}, oldDpi, dpi), DpiOf(w));
    at.right = at.left + size.cx;
    at.bottom = at.top + size.cy;
  }
  ::SetWindowPos(w, nullptr, at.left, at.top, at.right - at.left, at.bottom - at.top, SWP_NOZORDER | SWP_NOACTIVATE);
  for (RunStrip* strip : {&stripPing, &stripTracert}) {
    ::SendMessageW(strip->hwnd(), WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
    strip->Dpi(dpi);
  }
  // The size may be the one it had, which brings no WM_SIZE.
  if (::GetClientRect(w, &client)) OnSize(client.right, client.bottom);
  // The new fonts gave the count boxes the edit control's own margins again. The
  // labels are fitted last, as at start-up: the room they may grow into ends at their
  // frame's edge.
  labelFitter_.Fit();
  ::RedrawWindow(w, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

SIZE frm_Vexlo::DesignedPageSize() const {
  // The tab strip's display area at its designed size, with the tabs it has now.
  RECT r{0, 0, TwipsToPixels(kTabStripPlace.width, layoutDpi_), TwipsToPixels(kTabStripPlace.height, layoutDpi_)};
  ::SendMessageW(tabRTF.hwnd, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&r));
  return {r.right - r.left, r.bottom - r.top};
}

frm_Vexlo::OutputPlace frm_Vexlo::OutputAndStripRects(SIZE pageClient, bool stripShown) const {
  const UINT dpi = layoutDpi_;
  const SIZE designed = DesignedPageSize();
  const TwipsRect& t = kOutputPlace;
  const int left = TwipsToPixels(t.left, dpi), top = TwipsToPixels(t.top, dpi);
  OutputPlace place{};
  place.output = {left, top, left + TwipsToPixels(t.width, dpi) + std::max(0L, pageClient.cx - designed.cx),
                  top + TwipsToPixels(t.height, dpi) + std::max(0L, pageClient.cy - designed.cy)};
  if (stripShown) {
    const int stripTop = place.output.bottom - TwipsToPixels(t.height / 4, dpi);
    place.strip = {left, stripTop + TwipsToPixels(kStripGapTwips, dpi), place.output.right, place.output.bottom};
    place.output.bottom = stripTop;
  }
  return place;
}

void frm_Vexlo::OnSize(int clientWidth, int clientHeight) {
  // WM_SIZE comes while the window is created and fitted, before its controls.
  if (tabRTF.hwnd == nullptr || sbStatus.hwnd == nullptr || layoutDpi_ == 0) return;
  const UINT dpi = layoutDpi_;
  const int extraWidth = std::max(0, clientWidth - TwipsToPixels(kClientWidthTwips, dpi));
  const int extraHeight = std::max(0, clientHeight - TwipsToPixels(kClientHeightTwips, dpi));
  const TwipsRect& t = kTabStripPlace;
  ::MoveWindow(tabRTF.hwnd, TwipsToPixels(t.left, dpi), TwipsToPixels(t.top, dpi),
               TwipsToPixels(t.width, dpi) + extraWidth, TwipsToPixels(t.height, dpi) + extraHeight, TRUE);
  // A status bar places itself at its parent's bottom edge, across its width.
  ::SendMessageW(sbStatus.hwnd, WM_SIZE, 0, 0);
  SetStatusParts(dpi, extraWidth);
  const RECT page = tabRTF.PageRect();
  for (const Frame& frame : fraTab) {
    ::MoveWindow(frame.hwnd, page.left, page.top, page.right - page.left, page.bottom - page.top, TRUE);
  }
  const SIZE pageClient{page.right - page.left, page.bottom - page.top};
  const RECT r = OutputAndStripRects(pageClient, false).output;
  ::MoveWindow(txtOutputLookup.hwnd, r.left, r.top, r.right - r.left, r.bottom - r.top, TRUE);
  // The strips come last at start-up: until they are there, their boxes take the design.
  if (stripPing.hwnd() == nullptr || stripTracert.hwnd() == nullptr) {
    for (const HWND box : {txtOutputPing.hwnd, txtOutputTracert.hwnd}) {
      ::MoveWindow(box, r.left, r.top, r.right - r.left, r.bottom - r.top, TRUE);
    }
    return;
  }
  PlaceOutputAndStrip(txtOutputPing, stripPing);
  PlaceOutputAndStrip(txtOutputTracert, stripTracert);
}

}  // namespace vexlo
