// The handlers of the read-only multi-line edit control's messages that read lines
// and positions, scroll, and set the formatting rectangle, margins and tab stops, with
// the edit control's documented results. The view's procedure (output_view.cpp)
// dispatches to them.
#include <algorithm>
#include <climits>

#include "output_view/output_view_impl.h"

namespace vexlo {
namespace {

// Two 16-bit words, as the edit control packs a point or a character and its line;
// taken as a LONG, so a negative y stays negative in a 64-bit result.
LRESULT Packed(long long low, long long high) {
  return static_cast<LRESULT>(
      static_cast<LONG>(MAKELONG(static_cast<WORD>(low & 0xFFFF), static_cast<WORD>(high & 0xFFFF))));
}

// Dialog units to pixels: four to the font's average character width.
int TabPixels(int units, int averageWidth) { return units * averageWidth / 4; }

}  // namespace

std::size_t OutputView::RowLength(std::size_t row) { return RowEnd(row) - RowStart(row); }

LRESULT OutputView::OnGetLine(WPARAM line, wchar_t* buffer) {
  if (buffer == nullptr) return 0;
  // The line is an int; a negative one stands for the caret's, as with EM_LINEINDEX.
  const int asked = static_cast<int>(line);
  const std::size_t row = asked < 0 ? CaretRow() : static_cast<std::size_t>(asked);
  if (row >= RowCount()) return 0;
  // The first word of the buffer holds its size in characters. The line goes without
  // a terminating null; one follows where there is room, as the edit control does.
  const std::size_t capacity = *reinterpret_cast<const WORD*>(buffer);
  const std::size_t length = RowLength(row);
  const std::size_t n = std::min(capacity, length);
  text_.CopyTo(RowStart(row), n, buffer);
  if (n < capacity) buffer[n] = L'\0';
  return static_cast<LRESULT>(n);
}

LRESULT OutputView::OnLineLength(WPARAM index) {
  const int at = static_cast<int>(index);
  if (at == -1) {
    // The characters not selected on the lines the selection touches.
    const auto [first, last] = Selection();
    const std::size_t lastRow = RowOf(last);
    const long long before = static_cast<long long>(first - RowStart(RowOf(first)));
    const long long after = static_cast<long long>(RowEnd(lastRow)) - static_cast<long long>(last);
    return static_cast<LRESULT>(before + after);
  }
  if (at >= 0 && static_cast<std::size_t>(at) > text_.size()) return 0;
  return static_cast<LRESULT>(RowLength(RowOf(at < 0 ? 0 : static_cast<std::size_t>(at))));
}

LRESULT OutputView::OnPosFromChar(WPARAM index) {
  // -1 past the last character; the client coordinates of its left edge otherwise,
  // negative for a character scrolled out of view. A line break stands just past the
  // last visible character of its line.
  const auto at = static_cast<std::size_t>(static_cast<UINT>(index));
  if (at >= text_.size()) return -1;
  const std::size_t row = RowOf(at);
  const long long x = TextLeft() + XOf(at, row);
  const long long y = formatRect_.top + (static_cast<long long>(row) - static_cast<long long>(firstRow_)) * lineHeight_;
  return Packed(x, y);
}

LRESULT OutputView::OnCharFromPos(LPARAM at) {
  const POINT point{static_cast<short>(LOWORD(at)), static_cast<short>(HIWORD(at))};
  RECT client{};
  if (!::GetClientRect(hwnd_, &client) || !::PtInRect(&client, point)) return -1;
  // The nearest character and its line, each in 16 bits.
  const std::size_t position = HitTest(point).position;
  return Packed(static_cast<long long>(position), static_cast<long long>(RowOf(position)));
}

void OutputView::OnLineScroll(LPARAM lines) {
  EnsureLayout();
  // Past the end, the last line comes to the top of the view, and no further.
  const long long wanted = static_cast<long long>(firstRow_) + static_cast<int>(lines);
  const std::size_t last = RowCount() - 1;
  const auto target = static_cast<std::size_t>(std::clamp<long long>(wanted, 0, static_cast<long long>(last)));
  if (target <= MaxFirstRow()) {
    ScrollTo(target);
    return;
  }
  if (target != firstRow_) {
    firstRow_ = target;
    ::InvalidateRect(hwnd_, nullptr, FALSE);
  }
  UpdateScrollBar();
  PlaceCaret();
}

LRESULT OutputView::OnScroll(WPARAM action) {
  const long page = static_cast<long>(PageRows());
  long lines = 0;
  switch (action) {
    case SB_LINEUP: lines = -1; break;
    case SB_LINEDOWN: lines = 1; break;
    case SB_PAGEUP: lines = -page; break;
    case SB_PAGEDOWN: lines = page; break;
    default: return FALSE;
  }
  OnVScroll(static_cast<WORD>(action));
  // The lines the command scrolls, also where the text's start or end cuts it short.
  return Packed(lines, TRUE);
}

LRESULT OutputView::OnGetThumb() {
  if ((::GetWindowLongPtrW(hwnd_, GWL_STYLE) & WS_VSCROLL) != 0) {
    EnsureLayout();
    return ::GetScrollPos(hwnd_, SB_VERT);
  }
  // Without a scroll bar, a place in the default range of 0 to 100.
  const std::size_t rows = RowCount(), page = PageRows();
  return rows > page ? static_cast<LRESULT>(firstRow_ * 100 / (rows - page)) : 0;
}

void OutputView::ResetFormatRect() {
  const SIZE client = ClientSize();
  formatRect_ = {leftMargin_, 0, std::max<LONG>(leftMargin_ + 1, client.cx - rightMargin_), client.cy};
}

void OutputView::OnGetRect(RECT* rect) const {
  if (rect != nullptr) *rect = formatRect_;
}

LRESULT OutputView::OnGetMargins() const { return Packed(leftMargin_, rightMargin_); }

void OutputView::OnSetRect(const RECT* rect, bool redraw) {
  // Null restores the default rectangle. The view's border lies outside its client
  // area, so a rectangle given is taken as it is.
  if (rect == nullptr) {
    ResetFormatRect();
  } else {
    formatRect_ = *rect;
    formatRect_.right = std::max(formatRect_.right, formatRect_.left + 1);
    formatRect_.bottom = std::max(formatRect_.bottom, formatRect_.top);
  }
  ScrollTo(firstRow_);
  if (redraw) ::InvalidateRect(hwnd_, nullptr, FALSE);
}

void OutputView::OnSetMargins(WPARAM which, LPARAM widths) {
  // EC_USEFONTINFO in a width asks for the font's narrow margin.
  const int fontMargin = std::max(1, averageWidth_ / 2);
  const auto width = [fontMargin](WORD given) { return given == EC_USEFONTINFO ? fontMargin : static_cast<int>(given); };
  if ((which & EC_LEFTMARGIN) != 0) {
    const int left = width(LOWORD(widths));
    formatRect_.left += left - leftMargin_;
    leftMargin_ = left;
  }
  if ((which & EC_RIGHTMARGIN) != 0) {
    const int right = width(HIWORD(widths));
    formatRect_.right -= right - rightMargin_;
    rightMargin_ = right;
  }
  formatRect_.right = std::max(formatRect_.right, formatRect_.left + 1);
  ScrollTo(firstRow_);
  ::InvalidateRect(hwnd_, nullptr, FALSE);
}

LRESULT OutputView::OnSetTabStops(WPARAM count, const int* stops) {
  if (count > 0 && stops == nullptr) return FALSE;
  tabStopUnits_.assign(stops, stops + count);
  ApplyTabStops();
  layoutWidth_ = -1;  // the rows are laid out anew with the new stops
  ::InvalidateRect(hwnd_, nullptr, FALSE);
  return TRUE;
}

void OutputView::ApplyTabStops() {
  // None: every 32 dialog units. One: every that many. More: at each, then every 32.
  tabWidth_ = TabPixels(32, averageWidth_);
  tabStops_.clear();
  if (tabStopUnits_.size() == 1) {
    tabWidth_ = std::max(1, TabPixels(tabStopUnits_.front(), averageWidth_));
    return;
  }
  for (const int units : tabStopUnits_) {
    const int stop = TabPixels(units, averageWidth_);
    if (tabStops_.empty() || stop > tabStops_.back()) tabStops_.push_back(stop);
  }
}

}  // namespace vexlo
