// The view's keyboard, mouse, scroll bar and context menu.
#include <algorithm>

#include "common/unique_handles.h"
#include "output_view/output_view_impl.h"

namespace vexlo {
namespace {

constexpr UINT_PTR kDragTimer = 1;
constexpr UINT kDragRepeatMs = 50;
constexpr int kCommandCopy = 1;
constexpr int kCommandSelectAll = 2;
constexpr int kCommandSaveAs = 3;
constexpr int kCommandShowTimes = 4;
constexpr int kCommandFixedFont = 5;
constexpr wchar_t kCtrlA = 0x01;
constexpr wchar_t kCtrlC = 0x03;
constexpr wchar_t kCtrlS = 0x13;

bool KeyDown(int key) { return ::GetKeyState(key) < 0; }

std::size_t Offset(std::size_t from, long long by, std::size_t last) {
  return static_cast<std::size_t>(std::clamp<long long>(static_cast<long long>(from) + by, 0,
                                                        static_cast<long long>(last)));
}

}  // namespace

void OutputView::OnKeyDown(WPARAM key) {
  const bool shift = KeyDown(VK_SHIFT);
  const bool ctrl = KeyDown(VK_CONTROL);
  const std::size_t length = text_.size();
  const std::size_t row = CaretRow();
  std::size_t to = active_;
  bool afterWrap = false;
  switch (key) {
    case VK_LEFT:
      // CR LF is one step, as it is one line break; otherwise a cluster (a surrogate
      // pair, a combining sequence, a conjunct) is one.
      to = ctrl ? PreviousWordStart(active_) : active_ >= 2 && CrLfAt(active_ - 2) ? active_ - 2 : ClusterStop(active_, -1);
      break;
    case VK_RIGHT:
      to = ctrl ? NextWordStart(active_) : CrLfAt(active_) ? active_ + 2 : ClusterStop(active_, 1);
      break;
    case VK_UP:
    case VK_DOWN:
    case VK_PRIOR:
    case VK_NEXT: {
      const long page = static_cast<long>(PageRows());
      const long rows = key == VK_UP ? -1 : key == VK_DOWN ? 1 : key == VK_PRIOR ? -page : page;
      if (key == VK_PRIOR || key == VK_NEXT) ScrollTo(Offset(firstRow_, rows, MaxFirstRow()));
      const std::size_t target = Offset(row, rows, RowCount() - 1);
      to = PositionInRow(target, XOf(active_, row));
      afterWrap = to == RowEnd(target) && WrapsSoftly(target);
      break;
    }
    case VK_HOME:
      to = ctrl ? 0 : RowStart(row);
      break;
    case VK_END:
      to = ctrl ? length : RowEnd(row);
      afterWrap = !ctrl && WrapsSoftly(row);
      break;
    case VK_INSERT:
      if (ctrl && !shift) CopyToClipboard();
      return;
    default:
      return;
  }
  SetSelection(shift ? anchor_ : to, to, afterWrap);
  ScrollCaretIntoView();
}

void OutputView::OnChar(WPARAM c) {
  // Typed text changes nothing: the view is read-only. Ctrl+A, Ctrl+C and Ctrl+S
  // arrive as these control characters through TranslateMessage.
  if (c == kCtrlA) RunCommand(kCommandSelectAll);
  if (c == kCtrlC) RunCommand(kCommandCopy);
  if (c == kCtrlS) RunCommand(kCommandSaveAs);
}

void OutputView::RunCommand(int command) {
  if (command == kCommandCopy) CopyToClipboard();
  if (command == kCommandSelectAll) {
    SetSelection(0, text_.size(), false);
    ScrollCaretIntoView();
  }
  if (command == kCommandSaveAs) SaveAs();
  // One setting for the group: every box of the window shows its times, or none.
  if (command == kCommandShowTimes) std::shared_ptr(group_)->ShowTimes(!group_->showTimes);
  if (command == kCommandFixedFont) std::shared_ptr(group_)->UseFixedFont(!group_->fixedFont);
}

void OutputView::OnVScroll(WORD code) {
  const long page = static_cast<long>(PageRows());
  std::size_t to = firstRow_;
  switch (code) {
    case SB_LINEUP: to = Offset(firstRow_, -1, MaxFirstRow()); break;
    case SB_LINEDOWN: to = Offset(firstRow_, 1, MaxFirstRow()); break;
    case SB_PAGEUP: to = Offset(firstRow_, -page, MaxFirstRow()); break;
    case SB_PAGEDOWN: to = Offset(firstRow_, page, MaxFirstRow()); break;
    case SB_TOP: to = 0; break;
    case SB_BOTTOM: to = MaxFirstRow(); break;
    case SB_THUMBTRACK:
    case SB_THUMBPOSITION: {
      // The message carries 16 bits of position; the scroll bar holds all 32.
      SCROLLINFO info{};
      info.cbSize = sizeof info;
      info.fMask = SIF_TRACKPOS | SIF_RANGE | SIF_PAGE;
      if (!::GetScrollInfo(hwnd_, SB_VERT, &info)) return;
      // The track position is a row of the range the thumb was last moved against,
      // and output goes on growing the range while the thumb is held: a thumb at the
      // end of the bar, or released after the view followed the output from there,
      // means the end as it is now.
      const long long lastPlace = static_cast<long long>(info.nMax) - std::max<long long>(info.nPage, 1) + 1;
      const bool atEnd = info.nTrackPos >= lastPlace || (code == SB_THUMBPOSITION && follows_);
      to = atEnd ? MaxFirstRow() : static_cast<std::size_t>(std::max(0, info.nTrackPos));
      break;
    }
    default: return;
  }
  ScrollTo(to);
  FollowIfScrolledToEnd();
}

void OutputView::OnMouseWheel(short delta) {
  UINT lines = 3;
  if (!::SystemParametersInfoW(SPI_GETWHEELSCROLLLINES, 0, &lines, 0)) lines = 3;
  if (lines == 0) return;
  const long long perNotch = lines == WHEEL_PAGESCROLL ? static_cast<long long>(PageRows()) : lines;
  // High-resolution wheels send fractions of a notch; they add up.
  wheelRemainder_ += delta;
  const long long rows = wheelRemainder_ * perNotch / WHEEL_DELTA;
  if (rows == 0) return;
  wheelRemainder_ -= static_cast<int>(rows * WHEEL_DELTA / perNotch);
  ScrollTo(Offset(firstRow_, -rows, MaxFirstRow()));
  FollowIfScrolledToEnd();
}

void OutputView::OnButtonDown(POINT at, WPARAM keys) {
  if (::GetFocus() != hwnd_) ::SetFocus(hwnd_);
  const Hit hit = HitTest(at);
  SetSelection((keys & MK_SHIFT) != 0 ? anchor_ : hit.position, hit.position, hit.afterWrap);
  ScrollCaretIntoView();
  ::SetCapture(hwnd_);
  dragging_ = true;
  // Held outside the view, the selection goes on growing as the view scrolls.
  ::SetTimer(hwnd_, kDragTimer, kDragRepeatMs, nullptr);
}

void OutputView::OnDoubleClick(POINT at) {
  const auto [start, end] = WordAt(HitTest(at).position);
  SetSelection(start, end, false);
  ScrollCaretIntoView();
}

void OutputView::DragTo(POINT at) {
  const Hit hit = HitTest(at);
  SetSelection(anchor_, hit.position, hit.afterWrap);
  ScrollCaretIntoView();
}

void OutputView::EndDrag() {
  if (!dragging_) return;
  dragging_ = false;
  ::KillTimer(hwnd_, kDragTimer);
  if (::GetCapture() == hwnd_) ::ReleaseCapture();
}

bool OutputView::OnContextMenu(LPARAM at) {
  POINT where{static_cast<short>(LOWORD(at)), static_cast<short>(HIWORD(at))};
  if (where.x == -1 && where.y == -1) {
    // From the keyboard (Shift+F10, the menu key): at the caret. The system sends
    // -1 in both words, which on 64-bit is not the same as an lParam of -1.
    const std::size_t row = CaretRow();
    const auto first = RowsInView().first;
    const long line = row >= first ? static_cast<long>(row - first) : 0;
    where = {TextLeft() + XOf(active_, row), formatRect_.top + (line + 1) * lineHeight_};
    ::ClientToScreen(hwnd_, &where);
  } else {
    // On the scroll bar or the border the menu is the system's, as for an edit control.
    POINT client = where;
    RECT area{};
    if (!::ScreenToClient(hwnd_, &client) || !::GetClientRect(hwnd_, &area) || !::PtInRect(&area, client)) {
      return false;
    }
  }
  if (::GetFocus() != hwnd_) ::SetFocus(hwnd_);
  UniqueMenu menu(::CreatePopupMenu());
  if (!menu) return true;
  const auto [first, last] = Selection();
  const UINT copy = MF_STRING | (first == last ? MF_GRAYED : 0u);
  const UINT selectAll = MF_STRING | (text_.size() == 0 ? MF_GRAYED : 0u);
  if (!::AppendMenuW(menu.get(), copy, kCommandCopy, L"&Copy") ||
      !::AppendMenuW(menu.get(), MF_SEPARATOR, 0, nullptr) ||
      !::AppendMenuW(menu.get(), selectAll, kCommandSelectAll, L"Select &All") ||
      !::AppendMenuW(menu.get(), MF_SEPARATOR, 0, nullptr) ||
      !::AppendMenuW(menu.get(), MF_STRING | (group_->showTimes ? MF_CHECKED : 0u), kCommandShowTimes,
                     L"Show &Times") ||
      !::AppendMenuW(menu.get(), MF_STRING | (group_->fixedFont ? MF_CHECKED : 0u), kCommandFixedFont,
                     L"&Fixed-Width Font") ||
      !::AppendMenuW(menu.get(), MF_SEPARATOR, 0, nullptr) ||
      !::AppendMenuW(menu.get(), MF_STRING, kCommandSaveAs, L"&Save As...\tCtrl+S")) {
    return true;
  }
  RunCommand(::TrackPopupMenu(menu.get(), TPM_RETURNCMD | TPM_NONOTIFY | TPM_RIGHTBUTTON, where.x, where.y, 0,
                              hwnd_, nullptr));
  return true;
}

void OutputView::OnFocus(bool gained) {
  focused_ = gained;
  if (gained) {
    DWORD width = 1;
    if (!::SystemParametersInfoW(SPI_GETCARETWIDTH, 0, &width, 0)) width = 1;
    if (::CreateCaret(hwnd_, nullptr, static_cast<int>(width), lineHeight_)) {
      PlaceCaret();
      ::ShowCaret(hwnd_);
    }
  } else {
    EndDrag();
    ::DestroyCaret();
  }
  if (anchor_ != active_) ::InvalidateRect(hwnd_, nullptr, FALSE);
}

}  // namespace vexlo
