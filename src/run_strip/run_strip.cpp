// The strip's window: its messages, the mouse and the tooltip.
#include "run_strip/run_strip.h"

#include <commctrl.h>

#include <algorithm>

#include "common/gdi_guards.h"

namespace vexlo {
namespace {

constexpr UINT_PTR kTipId = 1;

// The size comctl32 5.8 and 6 both take: a larger cbSize makes version 5 refuse the tool.
TOOLINFOW TipTool(HWND strip) noexcept {
  TOOLINFOW tool{};
  tool.cbSize = TTTOOLINFOW_V2_SIZE;
  tool.hwnd = strip;
  tool.uId = kTipId;
  return tool;
}

// The probe's time, in the user's time format.
std::wstring TimeText(FactTime ticks) {
  FILETIME utc{static_cast<DWORD>(ticks & 0xFFFFFFFF), static_cast<DWORD>(static_cast<std::uint64_t>(ticks) >> 32)};
  SYSTEMTIME st{}, local{};
  if (!::FileTimeToSystemTime(&utc, &st) || !::SystemTimeToTzSpecificLocalTime(nullptr, &st, &local)) return {};
  wchar_t text[64];
  const int n = ::GetTimeFormatEx(LOCALE_NAME_USER_DEFAULT, 0, &local, nullptr, text, 64);
  return n > 0 ? std::wstring(text, static_cast<std::size_t>(n - 1)) : std::wstring();
}

std::wstring MsText(std::uint32_t ms) { return ms == kLostProbe ? L"*" : std::to_wstring(ms) + L" ms"; }

}  // namespace

bool RunStrip::Register(HINSTANCE instance) {
  WNDCLASSEXW wc{};
  wc.hInstance = instance;
  wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = nullptr;  // every pixel is painted, through a buffer
  wc.lpszClassName = kClassName;
  return RegisterWindowClass(wc);
}

RunStrip::~RunStrip() {
  if (hwnd_ != nullptr) ::DestroyWindow(hwnd_);
}

bool RunStrip::Create(HWND parent, int id, const RunFacts& facts, RunTool tool) {
  facts_ = &facts;
  tool_ = tool;
  // No WS_TABSTOP: the strip is read with the mouse, and by its name.
  hwnd_ = CreateFor(0, kClassName, L"", WS_CHILD | WS_CLIPSIBLINGS | WS_BORDER, 0, 0, 0, 0, parent,
                    reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)));
  return hwnd_ != nullptr;
}

LRESULT RunStrip::HandleMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_CREATE:
      hwnd_ = hwnd;
      return OnCreate() ? 0 : -1;
    case WM_DESTROY:
      OnDestroy();
      return 0;
    case WM_NCDESTROY:
      hwnd_ = nullptr;
      break;
    case WM_SETFONT:
      OnSetFont(reinterpret_cast<HFONT>(wp), LOWORD(lp) != 0);
      return 0;
    case WM_GETFONT:
      return reinterpret_cast<LRESULT>(font_);
    case WM_ERASEBKGND:
      return 1;  // the paint covers it, and erasing first would flicker
    case WM_PAINT:
      OnPaint();
      return 0;
    case WM_PRINTCLIENT: {
      RECT client{};
      if (::GetClientRect(hwnd, &client)) PaintInto(reinterpret_cast<HDC>(wp), client);
      return 0;
    }
    case WM_SIZE:
      BreakStatistics();
      ::InvalidateRect(hwnd, nullptr, FALSE);
      break;
    case WM_SYSCOLORCHANGE:
    case WM_SETTINGCHANGE:  // high contrast on or off
      ::InvalidateRect(hwnd, nullptr, FALSE);
      break;
    case WM_MOUSEMOVE:
      OnMouseMove({static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))});
      RelayToTip(hwnd, msg, wp, lp);
      return 0;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP:
      RelayToTip(hwnd, msg, wp, lp);
      if (msg == WM_LBUTTONUP) OnClick({static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))});
      return 0;
    case WM_NOTIFY: {
      auto* header = reinterpret_cast<NMHDR*>(lp);
      if (header->hwndFrom == tip_.get() && header->code == TTN_GETDISPINFOW) {
        OnGetTipText(*reinterpret_cast<NMTTDISPINFOW*>(lp));
      }
      return 0;
    }
    default:
      break;
  }
  return ::DefWindowProcW(hwnd, msg, wp, lp);
}

bool RunStrip::OnCreate() {
  // A tooltip is a pop-up: it is not destroyed with the strip, so OnDestroy does it.
  tip_.reset(::CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP,
                               CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, hwnd_, nullptr,
                               ::GetModuleHandleW(nullptr), nullptr));
  if (!tip_) return true;  // a strip without tooltips still draws and takes clicks
  TOOLINFOW tool = TipTool(hwnd_);
  tool.lpszText = LPSTR_TEXTCALLBACKW;
  if (!::SendMessageW(tip_.get(), TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool))) tip_.reset();
  MeasureFont();
  return true;
}

void RunStrip::OnDestroy() noexcept { tip_.reset(); }

void RunStrip::OnSetFont(HFONT font, bool redraw) {
  font_ = font;
  MeasureFont();
  BreakStatistics();
  if (redraw) ::InvalidateRect(hwnd_, nullptr, FALSE);
}

void RunStrip::Dpi(UINT dpi) {
  dpi_ = dpi == 0 ? 96 : dpi;
  if (tip_) ::SendMessageW(tip_.get(), TTM_SETMAXTIPWIDTH, 0, ScalePixels(480, dpi_));
  MeasureFont();
  BreakStatistics();
  ::InvalidateRect(hwnd_, nullptr, FALSE);
}

void RunStrip::MeasureFont() {
  const WindowDc dc(hwnd_);
  if (dc.get() == nullptr) return;
  const Selected selected(dc.get(), font_ != nullptr ? font_ : ::GetStockObject(DEFAULT_GUI_FONT));
  TEXTMETRICW metrics{};
  if (::GetTextMetricsW(dc.get(), &metrics)) textHeight_ = std::max<int>(1, metrics.tmHeight);
  // The widest label a scale up to 2 s gives, so that the marks never move when the scale does.
  SIZE extent{};
  if (::GetTextExtentPoint32W(dc.get(), L"5000 ms", 7, &extent)) labelWidth_ = extent.cx;
}

void RunStrip::Refresh() {
  std::wstring line = StatisticsLine();
  if (line != statistics_) {
    statistics_ = std::move(line);
    // The window text is the accessible name; DefWindowProc's WM_SETTEXT tells clients
    // of the change (EVENT_OBJECT_NAMECHANGE).
    ::SetWindowTextW(hwnd_, statistics_.c_str());
    BreakStatistics();
  }
  ::InvalidateRect(hwnd_, nullptr, FALSE);
}

void RunStrip::BreakStatistics() {
  constexpr wchar_t kSeparator[] = L" \x00B7 ";
  statisticsBreak_ = std::wstring::npos;
  RECT client{};
  ::GetClientRect(hwnd_, &client);
  const RECT row =
      LayOutStrip({client.right, client.bottom}, dpi_, textHeight_, 1, labelWidth_, tool_, 0).text;
  const WindowDc dc(hwnd_);
  if (dc.get() == nullptr) return;
  const Selected selected(dc.get(), font_ != nullptr ? font_ : ::GetStockObject(DEFAULT_GUI_FONT));
  const auto fits = [&](std::size_t length) {
    SIZE extent{};
    return ::GetTextExtentPoint32W(dc.get(), statistics_.data(), static_cast<int>(length), &extent) &&
           extent.cx <= row.right - row.left;
  };
  if (fits(statistics_.size())) return;
  // The row ends before the last separator it has room for, or else the first.
  for (std::size_t at = statistics_.rfind(kSeparator); at != std::wstring::npos && at > 0;
       at = statistics_.rfind(kSeparator, at - 1)) {
    statisticsBreak_ = at;
    if (fits(at)) return;
  }
}

bool RunStrip::HasMarks() const {
  return tool_ == RunTool::Ping ? facts_->ProbeCount() > 0 : !facts_->Hops().empty();
}

std::wstring RunStrip::StatisticsLine() const {
  if (!HasMarks()) return {};
  return tool_ == RunTool::Ping ? facts_->PingStatistics() : facts_->TraceStatistics();
}

StripGeometry RunStrip::Geometry() const {
  RECT client{};
  ::GetClientRect(hwnd_, &client);
  const int rows = statisticsBreak_ == std::wstring::npos ? 1 : 2;
  return LayOutStrip({client.right, client.bottom}, dpi_, textHeight_, rows, labelWidth_, tool_,
                     facts_->Hops().size());
}

std::size_t RunStrip::MarkCount(const StripGeometry& geometry) const {
  if (tool_ == RunTool::Traceroute) return std::min(facts_->Hops().size(), geometry.columns);
  return std::min(facts_->ProbeCount(), geometry.columns);
}

std::optional<RECT> RunStrip::MarkRect(std::size_t column) const {
  const StripGeometry geometry = Geometry();
  if (column >= MarkCount(geometry)) return std::nullopt;
  return ColumnRect(geometry, column);
}

std::optional<std::pair<std::uint32_t, std::uint32_t>> RunStrip::LineOf(std::size_t column) const {
  if (tool_ == RunTool::Traceroute) {
    const TraceHop& hop = facts_->Hops()[column];
    return std::pair{hop.lineStart, hop.lineLength};
  }
  const std::optional<std::size_t> probe = facts_->ProbeAt(Geometry().columns, column);
  if (!probe) return std::nullopt;
  const PingProbe p = facts_->Probe(*probe);
  return std::pair{p.lineStart, p.lineLength};
}

std::wstring RunStrip::TipOf(std::size_t column) const {
  constexpr wchar_t kBetween[] = L" \x00B7 ";
  if (tool_ == RunTool::Traceroute) {
    const TraceHop& hop = facts_->Hops()[column];
    std::wstring tip = L"hop " + std::to_wstring(hop.number) + kBetween;
    for (int i = 0; i < 3; ++i) tip += (i > 0 ? L", " : L"") + MsText(hop.probeMs[i]);
    return hop.host.empty() ? tip : tip + kBetween + hop.host;
  }
  const StripGeometry geometry = Geometry();
  const PingGraph graph = facts_->Columns(geometry.columns);
  if (column >= graph.columns.size()) return {};
  const GraphColumn& c = graph.columns[column];
  if (c.firstProbe == c.lastProbe) {
    const PingProbe p = facts_->Probe(c.firstProbe);
    return TimeText(p.time) + kBetween + (p.Lost() ? L"lost" : MsText(p.roundTripMs));
  }
  // A column of several probes: their span, their best and worst, and whether any was lost.
  std::wstring tip = TimeText(facts_->Probe(c.firstProbe).time) + L" \x2013 " + TimeText(facts_->Probe(c.lastProbe).time) +
                     kBetween + std::to_wstring(c.lastProbe - c.firstProbe + 1) + L" probes";
  if (c.replied) tip += kBetween + std::to_wstring(c.bestMs) + L"\x2013" + MsText(c.worstMs);
  if (c.lost) tip += std::wstring(kBetween) + L"some lost";
  return tip;
}

void RunStrip::RelayToTip(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) const {
  if (!tip_) return;
  MSG relayed{hwnd, msg, wp, lp, static_cast<DWORD>(::GetMessageTime()), {}};
  ::SendMessageW(tip_.get(), TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(&relayed));
}

void RunStrip::OnMouseMove(POINT at) {
  if (tip_) {
    const StripGeometry geometry = Geometry();
    const std::optional<std::size_t> column = ColumnAt(geometry, at, MarkCount(geometry));
    if (column != hovered_) {
      // The tool is the column under the mouse: a new column is a new tip, asked anew.
      hovered_ = column;
      ::SendMessageW(tip_.get(), TTM_POP, 0, 0);
      TOOLINFOW tool = TipTool(hwnd_);
      if (column) {
        tool.rect = ColumnRect(geometry, *column);
        tool.rect.bottom = std::max(tool.rect.bottom, geometry.numbers.bottom);
      }
      ::SendMessageW(tip_.get(), TTM_NEWTOOLRECTW, 0, reinterpret_cast<LPARAM>(&tool));
    }
  }
}

void RunStrip::OnGetTipText(NMTTDISPINFOW& info) {
  tipText_ = hovered_ ? TipOf(*hovered_) : std::wstring();
  info.lpszText = tipText_.data();
  info.szText[0] = L'\0';
  info.hinst = nullptr;
}

void RunStrip::OnClick(POINT at) {
  const StripGeometry geometry = Geometry();
  const std::optional<std::size_t> column = ColumnAt(geometry, at, MarkCount(geometry));
  if (!column) return;
  const auto line = LineOf(*column);
  if (!line) return;
  MarkClick click{};
  click.header.hwndFrom = hwnd_;
  click.header.idFrom = static_cast<UINT_PTR>(::GetDlgCtrlID(hwnd_));
  click.header.code = kMarkClicked;
  click.lineStart = line->first;
  click.lineLength = line->second;
  ::SendMessageW(::GetParent(hwnd_), WM_NOTIFY, click.header.idFrom, reinterpret_cast<LPARAM>(&click));
}

}  // namespace vexlo
