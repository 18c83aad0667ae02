// The view's layout, scrolling, caret and painting: only the rows in view are
// measured and drawn.
#include <algorithm>
#include <array>
#include <climits>

#include "common/gdi_guards.h"
#include "output_view/output_view_impl.h"
#include "output_view/timed_text.h"

namespace vexlo {
namespace {

HFONT FontOrSystem(HFONT font) noexcept {
  // Without WM_SETFONT an edit control draws with the system font.
  return font != nullptr ? font : static_cast<HFONT>(::GetStockObject(SYSTEM_FONT));
}

bool MeasurePage(HWND hwnd, HFONT font, unsigned page, int* widths) {
  const WindowDc dc(hwnd);
  if (dc.get() == nullptr) return false;
  const Selected selected(dc.get(), font);
  return ::GetCharWidth32W(dc.get(), page * 256, page * 256 + 255, widths) != FALSE;
}

void ClassifyPageOf(HWND hwnd, HFONT font, unsigned page, std::uint64_t* complex) {
  const WindowDc dc(hwnd);
  if (dc.get() == nullptr) return;
  const Selected selected(dc.get(), font);
  ClassifyPage(dc.get(), page, complex);
}

}  // namespace

void OutputView::ApplyFont(HFONT font) {
  font_ = font;
  const HFONT used = FontOrSystem(font);
  int averageWidth = 8;
  {
    const WindowDc dc(hwnd_);
    if (dc.get() != nullptr) {
      const Selected selected(dc.get(), used);
      TEXTMETRICW metrics{};
      if (::GetTextMetricsW(dc.get(), &metrics)) lineHeight_ = std::max<int>(1, metrics.tmHeight);
      // The dialog-unit average: the mean of the 52 Latin letters, rounded.
      static constexpr wchar_t kLetters[] = L"abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
      SIZE extent{};
      if (::GetTextExtentPoint32W(dc.get(), kLetters, 52, &extent)) averageWidth = std::max<int>(1, (extent.cx / 26 + 1) / 2);
    }
  }
  averageWidth_ = averageWidth;
  ApplyTabStops();
  // A new font brings the margins it implies, as EC_USEFONTINFO does.
  leftMargin_ = rightMargin_ = std::max(1, averageWidth / 2);
  ResetFormatRect();
  const HWND hwnd = hwnd_;
  widths_.Reset([hwnd, used](unsigned page, int* widths) { return MeasurePage(hwnd, used, page, widths); },
                averageWidth,
                [hwnd, used](unsigned page, std::uint64_t* complex) { ClassifyPageOf(hwnd, used, page, complex); });
  complex_.Reset(used, tabWidth_);
  layoutWidth_ = -1;
  ++fontGeneration_;  // rows kept from before no longer fit
  if (group_) gutter_ = MeasureGutter();
  if (focused_) {
    ::DestroyCaret();
    OnFocus(true);
  }
}

SIZE OutputView::ClientSize() const { return clientSize_; }

void OutputView::OnSize() {
  // Kept, because every append asks for it and GetClientRect is not free everywhere.
  RECT r{};
  if (::GetClientRect(hwnd_, &r)) clientSize_ = {r.right, r.bottom};
  // A new size undoes EM_SETRECT, as in the edit control.
  ResetFormatRect();
  // A view that follows its output keeps its end in view as it shrinks or grows; one the
  // user reads in keeps its top row.
  if (follows_) ScrollCaretIntoView();
  else ScrollTo(firstRow_);
}

int OutputView::WrapWidth() const { return std::max<int>(1, formatRect_.right - TextLeft()); }

void OutputView::JoinGroup(std::shared_ptr<ViewGroupSettings> group) {
  group->views.push_back(hwnd_);
  group_ = std::move(group);
  ApplyGroupSettings();
}

int OutputView::MeasureGutter() const {
  if (!group_->showTimes) return 0;
  const std::wstring widest = WidestGutterTime();
  const WindowDc dc(hwnd_);
  SIZE extent{averageWidth_ * 8, lineHeight_};
  if (dc.get() != nullptr) {
    const Selected selected(dc.get(), FontOrSystem(font_));
    if (!::GetTextExtentPoint32W(dc.get(), widest.c_str(), static_cast<int>(widest.size()), &extent)) {
      extent.cx = averageWidth_ * static_cast<int>(widest.size());
    }
  }
  // A space's worth between the time and the text.
  return extent.cx + averageWidth_;
}

void OutputView::ApplyGroupSettings() {
  const int gutter = MeasureGutter();
  if (gutter == gutter_) return;
  gutter_ = gutter;
  // The rows wrap at the width the gutter leaves them.
  EnsureLayout();
  ScrollTo(firstRow_);
  PlaceCaret();
  ::InvalidateRect(hwnd_, nullptr, FALSE);
}

void OutputView::EnsureLayout() {
  const int width = WrapWidth();
  if (width == layoutWidth_) {
    // Nothing to do, unless an append ran out of memory while laying out.
    layout_.Extend(text_, widths_);
    return;
  }
  // Keep the text at the top of the view in view.
  const std::size_t top =
      firstRow_ < layout_.RowCount() ? std::min(layout_.RowStart(firstRow_), text_.size()) : 0;
  complex_.SetWrapWidth(width);
  layout_.Reset(width, tabWidth_, tabStops_,
                [this](std::size_t start, std::size_t from, std::size_t end, bool ended, std::vector<std::uint32_t>& starts) {
                  return complex_.Wrap(text_, start, from, end, ended, starts);
                });
  layout_.Extend(text_, widths_);
  layoutWidth_ = width;
  firstRow_ = std::min(layout_.RowOf(top), MaxFirstRow());
  ::InvalidateRect(hwnd_, nullptr, FALSE);
  UpdateScrollBar();
  PlaceCaret();
}

std::size_t OutputView::PageRows() const {
  const long height = formatRect_.bottom - formatRect_.top;
  return static_cast<std::size_t>(std::max(1L, height / static_cast<long>(lineHeight_)));
}

std::size_t OutputView::MaxFirstRow() {
  const std::size_t rows = RowCount();
  const std::size_t page = PageRows();
  return rows > page ? rows - page : 0;
}

void OutputView::ScrollTo(std::size_t firstRow) {
  EnsureLayout();
  firstRow = std::min(firstRow, MaxFirstRow());
  if (firstRow != firstRow_) {
    firstRow_ = firstRow;
    ::InvalidateRect(hwnd_, nullptr, FALSE);
  }
  UpdateScrollBar();
  PlaceCaret();
}

void OutputView::ScrollIntoView(std::size_t position) {
  const std::size_t row = RowOf(std::min(position, text_.size()));
  const std::size_t page = PageRows();
  std::size_t first = firstRow_;
  if (row < first) first = row;
  if (row >= first + page) first = row + 1 - page;
  ScrollTo(first);
}

void OutputView::ScrollCaretIntoView() {
  const std::size_t row = CaretRow();
  const std::size_t page = PageRows();
  std::size_t first = firstRow_;
  if (row < first) first = row;
  if (row >= first + page) first = row + 1 - page;
  ScrollTo(first);
}

void OutputView::UpdateScrollBar() {
  // SetScrollInfo would add a scroll bar to a window created without one.
  if ((::GetWindowLongPtrW(hwnd_, GWL_STYLE) & WS_VSCROLL) == 0) return;
  SCROLLINFO info{};
  info.cbSize = sizeof info;
  // Positions are 32-bit here; only the thumb messages' own field is 16-bit.
  info.fMask = SIF_RANGE | SIF_PAGE | SIF_POS | SIF_DISABLENOSCROLL;
  info.nMax = static_cast<int>(std::min<std::size_t>(layout_.RowCount() - 1, INT_MAX));
  info.nPage = static_cast<UINT>(PageRows());
  info.nPos = static_cast<int>(std::min<std::size_t>(firstRow_, INT_MAX));
  if (info.nMax == shownScroll_.nMax && info.nPage == shownScroll_.nPage && info.nPos == shownScroll_.nPos) return;
  shownScroll_ = info;
  // Drawing the bar costs milliseconds on some systems, so it is drawn with the next
  // paint, and only when its thumb moves by a pixel or more.
  ::SetScrollInfo(hwnd_, SB_VERT, &info, FALSE);
  const long long range = static_cast<long long>(info.nMax) + 1;
  const long long track = std::max<long long>(1, clientSize_.cy);
  const std::array<long long, 3> thumb = {
      range > info.nPage ? 1 : 0, track * info.nPage / std::max(1LL, range), track * info.nPos / std::max(1LL, range)};
  if (thumb == shownThumb_) return;
  shownThumb_ = thumb;
  ::RedrawWindow(hwnd_, nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_NOERASE | RDW_NOCHILDREN);
}

const ShapedRow* OutputView::ComplexRow(std::size_t row) {
  const std::size_t start = RowStart(row), end = RowEnd(row);
  for (std::size_t p = start; p < end; ++p) {
    if (widths_.IsComplex(text_[p])) return complex_.Row(text_, start, end);
  }
  return nullptr;
}

std::size_t OutputView::ClusterStop(std::size_t position, int step) {
  const std::size_t length = text_.size();
  std::size_t to = step < 0 ? position - (position > 0) : std::min(position + 1, length);
  const std::size_t row = RowOf(to);
  const ShapedRow* shaped = ComplexRow(row);
  if (shaped == nullptr) return to;
  const std::size_t start = RowStart(row), end = start + shaped->Length();
  while (to > start && to < end && !shaped->IsStop(to - start)) to += step < 0 ? -1 : 1;
  return to;
}

int OutputView::XOf(std::size_t position, std::size_t row) {
  if (const ShapedRow* shaped = ComplexRow(row)) return shaped->XOf(position - RowStart(row));
  int x = 0;
  WalkRow(text_, widths_, layout_, RowStart(row), position, [&](const PlacedChar& c) {
    x = c.x + c.width;
    return true;
  });
  return x;
}

std::size_t OutputView::PositionInRow(std::size_t row, int x) {
  if (const ShapedRow* shaped = ComplexRow(row)) return RowStart(row) + shaped->OffsetAt(x);
  const std::size_t end = RowEnd(row);
  std::size_t found = end;
  int pairStart = 0;  // x of a surrogate pair's first half: the pair is one character
  WalkRow(text_, widths_, layout_, RowStart(row), end, [&](const PlacedChar& c) {
    if (IsPairTail(c.position + 1)) {
      pairStart = c.x;
      return true;
    }
    const bool tail = IsPairTail(c.position);
    const int left = tail ? pairStart : c.x;
    const int width = c.x + c.width - left;
    // At a character that takes no room, such as a lone CR, the position before it.
    const bool past = width > 0 ? x >= left + (width + 1) / 2 : x > left;
    if (past) return true;
    found = tail ? c.position - 1 : c.position;
    return false;
  });
  return found;
}

OutputView::Hit OutputView::HitTest(POINT client) {
  EnsureLayout();
  const long y = client.y - formatRect_.top;
  const long line = y >= 0 ? y / lineHeight_ : (y - lineHeight_ + 1) / lineHeight_;
  const long long wanted = static_cast<long long>(firstRow_) + line;
  const std::size_t row = static_cast<std::size_t>(
      std::clamp<long long>(wanted, 0, static_cast<long long>(layout_.RowCount()) - 1));
  const std::size_t position = PositionInRow(row, client.x - TextLeft());
  return {position, position == RowEnd(row) && WrapsSoftly(row)};
}

std::size_t OutputView::PositionAt(POINT client) { return HitTest(client).position; }

std::pair<std::size_t, std::size_t> OutputView::RowsInView() {
  EnsureLayout();
  const long height = ClientSize().cy - formatRect_.top;
  const std::size_t shown = (static_cast<std::size_t>(std::max(0L, height)) + lineHeight_ - 1) / lineHeight_;
  return {firstRow_, std::min(layout_.RowCount(), firstRow_ + std::max<std::size_t>(shown, 1))};
}

std::vector<RECT> OutputView::RangeRects(std::size_t from, std::size_t to) {
  std::vector<RECT> rects;
  if (from >= to) return rects;
  const auto [first, last] = RowsInView();
  const int right = ClientSize().cx;
  for (std::size_t row = first; row < last; ++row) {
    const std::size_t start = std::max(from, RowStart(row));
    const std::size_t end = std::min(to, RowEnd(row));
    if (start > end || (start == end && to <= RowStart(row))) continue;
    const int origin = TextLeft();
    const int top = formatRect_.top + static_cast<int>(row - firstRow_) * lineHeight_;
    if (const ShapedRow* shaped = ComplexRow(row); shaped != nullptr && start < end) {
      // A range across the edge of a right-to-left run stands in more than one piece.
      for (const auto& [l, r] : shaped->Spans(start - RowStart(row), end - RowStart(row))) {
        const int left = std::min(right, origin + l);
        rects.push_back({left, top, std::max(left, std::min(right, origin + r)), top + lineHeight_});
      }
      continue;
    }
    const int left = std::min(right, origin + XOf(start, row));
    rects.push_back({left, top, std::max(left, std::min(right, origin + XOf(end, row))), top + lineHeight_});
  }
  return rects;
}

void OutputView::PlaceCaret() {
  if (!focused_) return;
  const std::size_t row = CaretRow();
  const auto [first, last] = RowsInView();
  if (row < first || row >= last) {
    // A caret outside the view is kept out of sight rather than at an edge.
    ::SetCaretPos(-0x4000, -0x4000);
    return;
  }
  ::SetCaretPos(TextLeft() + XOf(active_, row), formatRect_.top + static_cast<int>(row - first) * lineHeight_);
}

void OutputView::Paint() {
  const PaintDc paint(hwnd_);
  if (paint.get() != nullptr) PaintArea(paint.get(), paint.area());
}

void OutputView::PaintArea(HDC dc, const RECT& area) {
  EnsureLayout();
  const int right = ClientSize().cx;
  const Selected font(dc, FontOrSystem(font_));
  const int top = formatRect_.top;
  if (area.top < top) {
    const RECT above{0, area.top, right, top};
    ::FillRect(dc, &above, ::GetSysColorBrush(COLOR_WINDOW));
  }
  int y = top + static_cast<int>(std::max(0L, area.top - top)) / lineHeight_ * lineHeight_;
  for (std::size_t row = firstRow_ + static_cast<std::size_t>((y - top) / lineHeight_);
       y < area.bottom && row < layout_.RowCount(); ++row, y += lineHeight_) {
    PaintRow(dc, row, y, right);
  }
  if (y < area.bottom) {
    const RECT rest{0, y, right, area.bottom};
    ::FillRect(dc, &rest, ::GetSysColorBrush(COLOR_WINDOW));
  }
}

void OutputView::PaintRow(HDC dc, std::size_t row, int y, int right) {
  // Without ES_NOHIDESEL the selection shows only while the view has the focus.
  const auto [selFirst, selLast] = focused_ ? Selection() : std::pair<std::size_t, std::size_t>{0, 0};
  // A disabled edit control draws its text grey, shaped or not.
  const COLORREF text = ::GetSysColor(::IsWindowEnabled(hwnd_) ? COLOR_WINDOWTEXT : COLOR_GRAYTEXT);
  if (const ShapedRow* shaped = ComplexRow(row)) {
    const std::size_t start = RowStart(row);
    ::SetTextColor(dc, text);
    ::SetBkColor(dc, ::GetSysColor(COLOR_WINDOW));
    complex_.Draw(*shaped, dc, TextLeft(), y, right, lineHeight_, std::max(selFirst, start) - start,
                  std::max(selLast, start) - start);
    PaintGutter(dc, row, y);
    return;
  }
  glyphs_.clear();
  advances_.clear();
  selectedGlyphs_.clear();
  WalkRow(text_, widths_, layout_, RowStart(row), RowEnd(row), [&](const PlacedChar& c) {
    if (TextLeft() + c.x > right) return false;
    if (c.width == 0) return true;  // control characters are not drawn
    const wchar_t ch = text_[c.position];
    glyphs_.push_back(ch == L'\t' ? L' ' : ch);
    advances_.push_back(c.width);
    selectedGlyphs_.push_back(c.position >= selFirst && c.position < selLast);
    return true;
  });
  const int left = std::max(0, static_cast<int>(TextLeft()));
  const RECT marginRect{0, y, left, y + lineHeight_};
  ::FillRect(dc, &marginRect, ::GetSysColorBrush(COLOR_WINDOW));
  int x = TextLeft();
  for (std::size_t i = 0; i < glyphs_.size();) {
    std::size_t j = i;
    int width = 0;
    while (j < glyphs_.size() && selectedGlyphs_[j] == selectedGlyphs_[i]) width += advances_[j++];
    const bool selected = selectedGlyphs_[i];
    ::SetTextColor(dc, selected ? ::GetSysColor(COLOR_HIGHLIGHTTEXT) : text);
    ::SetBkColor(dc, ::GetSysColor(selected ? COLOR_HIGHLIGHT : COLOR_WINDOW));
    const RECT runRect{x, y, std::min(right, x + width), y + lineHeight_};
    // The advances are the ones the layout measured, so the drawing matches it.
    ::ExtTextOutW(dc, x, y, ETO_OPAQUE | ETO_CLIPPED, &runRect, glyphs_.data() + i, static_cast<UINT>(j - i),
                  advances_.data() + i);
    x += width;
    i = j;
  }
  if (x < right) {
    const RECT rest{x, y, right, y + lineHeight_};
    ::FillRect(dc, &rest, ::GetSysColorBrush(COLOR_WINDOW));
  }
  PaintGutter(dc, row, y);
}

void OutputView::PaintGutter(HDC dc, std::size_t row, int y) {
  if (gutter_ == 0) return;
  const RECT gutter{std::max(0, static_cast<int>(formatRect_.left)), y, std::max(0, TextLeft()), y + lineHeight_};
  ::FillRect(dc, &gutter, ::GetSysColorBrush(COLOR_WINDOW));
  const std::size_t start = RowStart(row);
  // A wrapped line's later rows, and text without a time, have an empty gutter.
  if (start >= text_.size() || (start > 0 && text_[start - 1] != L'\n')) return;
  const auto time = text_.TimeAt(start);
  if (!time) return;
  const std::wstring shown = GutterTime(*time);
  ::SetTextColor(dc, ::GetSysColor(COLOR_GRAYTEXT));
  ::SetBkColor(dc, ::GetSysColor(COLOR_WINDOW));
  ::ExtTextOutW(dc, formatRect_.left, y, ETO_CLIPPED, &gutter, shown.c_str(), static_cast<UINT>(shown.size()), nullptr);
}

}  // namespace vexlo
