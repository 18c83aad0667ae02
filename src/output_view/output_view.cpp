// The view's window class and its text and selection, with the edit control's
// message semantics.
#include "output_view/output_view_impl.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "common/unique_handles.h"
#include "output_view/output_view_uia.h"
#include "output_view/save_text.h"
#include "output_view/timed_text.h"
#include "output_view/unicode_class.h"

namespace vexlo {
namespace {

constexpr int kViewSlot = 0;  // window extra bytes: the window's OutputView

// Every view is run by this one procedure; each window's state is its OutputView.
class ViewProcedure final : public WindowBase {
 private:
  LRESULT HandleMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) override {
    if (msg == WM_NCCREATE) {
      const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lp);
      const bool named = create->lpszName != nullptr && !IS_INTRESOURCE(create->lpszName);
      auto view = std::make_unique<OutputView>(hwnd, named ? create->lpszName : L"");
      ::SetWindowLongPtrW(hwnd, kViewSlot, reinterpret_cast<LONG_PTR>(view.release()));
      // Tools that read edit controls go by these styles; the view behaves so whatever
      // its creator asked for.
      const LONG_PTR style = ::GetWindowLongPtrW(hwnd, GWL_STYLE);
      ::SetWindowLongPtrW(hwnd, GWL_STYLE, style | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL);
      // Keeps the name as the window's caption, which is what other processes read.
      return ::DefWindowProcW(hwnd, msg, wp, lp);
    }
    OutputView* view = OutputView::From(hwnd);
    if (view == nullptr) return ::DefWindowProcW(hwnd, msg, wp, lp);
    if (msg == WM_NCDESTROY) {
      std::unique_ptr<OutputView> owned(view);
      ::SetWindowLongPtrW(hwnd, kViewSlot, 0);
      return ::DefWindowProcW(hwnd, msg, wp, lp);
    }
    return view->Handle(msg, wp, lp);
  }
};

// OpenClipboard fails while another window has the clipboard open, which clipboard
// history, remote desktop and clipboard managers do briefly after every change. A
// few tries over about 100 ms ride that out.
bool OpenClipboardRetrying(HWND owner) {
  constexpr int kTries = 6;
  constexpr DWORD kPauseMs = 20;
  for (int i = 0; i < kTries; ++i) {
    if (i > 0) ::Sleep(kPauseMs);
    if (::OpenClipboard(owner)) return true;
  }
  return false;
}

}  // namespace

WindowBase& OutputView::Procedure() {
  static ViewProcedure procedure;
  return procedure;
}

bool OutputView::Register(HINSTANCE instance) {
  WNDCLASSEXW wc{};
  wc.style = CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW;
  wc.cbWndExtra = sizeof(LONG_PTR);
  wc.hInstance = instance;
  wc.hCursor = ::LoadCursorW(nullptr, IDC_IBEAM);
  wc.lpszClassName = kClassName;
  return WindowBase::RegisterWindowClass(wc);
}

OutputView* OutputView::From(HWND hwnd) noexcept {
  if (WindowBase::From(hwnd) != &Procedure()) return nullptr;
  return reinterpret_cast<OutputView*>(::GetWindowLongPtrW(hwnd, kViewSlot));
}

bool RegisterOutputView(HINSTANCE instance) { return OutputView::Register(instance); }

WindowBase& OutputViewProcedure() { return OutputView::Procedure(); }

bool IsOutputView(HWND hwnd) noexcept { return OutputView::From(hwnd) != nullptr; }


bool UseSaveAsUi(HWND view, SaveAsUi ui) {
  OutputView* outputView = OutputView::From(view);
  if (outputView == nullptr) return false;
  outputView->UseSaveAsUi(std::move(ui));
  return true;
}

OutputView::OutputView(HWND hwnd, std::wstring name)
    : hwnd_(hwnd), name_(std::move(name)), accessibility_(std::make_unique<OutputViewAccessibility>(*this)) {
  saveAsUi_.choosePath = [this](HWND owner, const std::wstring& proposed) {
    DWORD error = ERROR_SUCCESS;
    std::optional<std::wstring> path = AskSavePath(owner, proposed, error);
    if (error != ERROR_SUCCESS) saveAsUi_.showFailure(owner, DialogFailureText(error));
    return path;
  };
  saveAsUi_.showFailure = [](HWND owner, const std::wstring& text) {
    ::MessageBoxW(owner, text.c_str(), L"Save As", MB_OK | MB_ICONERROR);
  };
  ApplyFont(nullptr);
  group_ = std::make_shared<ViewGroupSettings>();
  group_->views.push_back(hwnd_);
}

OutputView::~OutputView() {
  // A window handle is reused once its window is gone.
  std::erase(group_->views, hwnd_);
}

LRESULT OutputView::Handle(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_GETTEXT: return OnGetText(wp, reinterpret_cast<wchar_t*>(lp));
    case WM_GETTEXTLENGTH: return static_cast<LRESULT>(text_.size());
    case WM_SETTEXT: OnSetText(reinterpret_cast<const wchar_t*>(lp)); return TRUE;
    case EM_GETSEL: return OnGetSel(reinterpret_cast<DWORD*>(wp), reinterpret_cast<DWORD*>(lp));
    case EM_SETSEL: OnSetSel(wp, lp); return 0;
    case EM_REPLACESEL: ReplaceSelection(reinterpret_cast<const wchar_t*>(lp), true); return 0;
    case kAppendMessage:
      // Another thread's or process's pointer is not ours to read.
      if (::InSendMessageEx(nullptr) != ISMEX_NOSEND || lp == 0) return FALSE;
      Append({reinterpret_cast<const wchar_t*>(lp), static_cast<std::size_t>(wp)}, nullptr);
      return follows_ ? TRUE : FALSE;
    case kAppendTimedOutputMessage: {
      if (::InSendMessageEx(nullptr) != ISMEX_NOSEND || lp == 0) return FALSE;
      const auto& output = *reinterpret_cast<const TimedOutput*>(lp);
      if (output.startsAt != nullptr) *output.startsAt = text_.size();
      Append({output.text, output.length}, output.times);
      return follows_ ? TRUE : FALSE;
    }
    case EM_SCROLLCARET: ScrollCaretIntoView(); return TRUE;
    case EM_SETLIMITTEXT:
      // Zero lifts the limit: -1 for a multi-line edit control.
      limit_ = wp == 0 ? 0xFFFFFFFFu : static_cast<std::size_t>(static_cast<UINT>(wp));
      return 0;
    case EM_GETLIMITTEXT: return static_cast<LRESULT>(static_cast<UINT>(limit_));
    case EM_GETLINECOUNT: return static_cast<LRESULT>(RowCount());
    case EM_GETFIRSTVISIBLELINE: EnsureLayout(); return static_cast<LRESULT>(firstRow_);
    // Both take an int: -1, also in the low 32 bits alone, is the current line.
    case EM_LINEFROMCHAR: {
      const int at = static_cast<int>(wp);
      // The current line is where the selection starts, not where the caret is.
      const std::size_t position = at < 0 ? Selection().first : std::min<std::size_t>(at, text_.size());
      return static_cast<LRESULT>(RowOf(position));
    }
    case EM_LINEINDEX: {
      const int line = static_cast<int>(wp);
      const std::size_t row = line < 0 ? CaretRow() : static_cast<std::size_t>(line);
      return row < RowCount() ? static_cast<LRESULT>(RowStart(row)) : -1;
    }
    // It is read-only whatever is asked: only asking for that succeeds.
    case EM_SETREADONLY: return wp != 0 ? TRUE : FALSE;
    case WM_COPY: CopyToClipboard(); return 0;
    case WM_CUT: case WM_PASTE: case WM_CLEAR: case WM_UNDO: case EM_UNDO: return 0;
    case WM_SETFONT:
      windowFont_ = reinterpret_cast<HFONT>(wp);
      ApplyFont(group_->FontFor(windowFont_));
      if (LOWORD(lp) != 0) ::InvalidateRect(hwnd_, nullptr, TRUE);
      return 0;
    case WM_GETFONT: return reinterpret_cast<LRESULT>(font_);
    case WM_GETDLGCODE:
      // Esc, Enter and Tab stay with the window's keyboard interface.
      return DLGC_WANTARROWS | DLGC_WANTCHARS;
    case WM_ERASEBKGND: return TRUE;  // painting covers every pixel
    case WM_PAINT: Paint(); return 0;
    case WM_PRINTCLIENT: {
      // Into a DC of the caller's, as the edit control draws for PrintWindow.
      const RECT client{0, 0, ClientSize().cx, ClientSize().cy};
      PaintArea(reinterpret_cast<HDC>(wp), client);
      return 0;
    }
    case WM_CREATE: OnSize(); return 0;
    case WM_SIZE: OnSize(); return 0;
    case WM_SYSCOLORCHANGE: case WM_THEMECHANGED: case WM_ENABLE:
      ::InvalidateRect(hwnd_, nullptr, FALSE);
      return 0;
    case WM_KEYDOWN: OnKeyDown(wp); return 0;
    case WM_CHAR: OnChar(wp); return 0;
    case WM_VSCROLL: OnVScroll(LOWORD(wp)); return 0;
    case WM_MOUSEWHEEL: OnMouseWheel(GET_WHEEL_DELTA_WPARAM(wp)); return 0;
    case WM_LBUTTONDOWN: OnButtonDown({static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))}, wp); return 0;
    case WM_LBUTTONDBLCLK: OnDoubleClick({static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))}); return 0;
    case WM_MOUSEMOVE:
      if (dragging_) DragTo({static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))});
      return 0;
    case WM_TIMER: {
      POINT at;
      if (dragging_ && ::GetCursorPos(&at) && ::ScreenToClient(hwnd_, &at)) DragTo(at);
      return 0;
    }
    case WM_LBUTTONUP: EndDrag(); return 0;
    case WM_CAPTURECHANGED: EndDrag(); return 0;
    case WM_CONTEXTMENU:
      if (OnContextMenu(lp)) return 0;
      break;
    case WM_SETFOCUS: OnFocus(true); return 0;
    case WM_KILLFOCUS: OnFocus(false); return 0;
    case WM_GETOBJECT: {
      LRESULT result = 0;
      if (accessibility_->OnGetObject(wp, lp, result)) return result;
      break;
    }
    case WM_DESTROY: accessibility_->Disconnect(); break;
    // The rest of the read-only multi-line edit control's messages
    // (output_view_messages.cpp).
    case EM_GETLINE: return OnGetLine(wp, reinterpret_cast<wchar_t*>(lp));
    case EM_LINELENGTH: return OnLineLength(wp);
    case EM_POSFROMCHAR: return OnPosFromChar(wp);
    case EM_CHARFROMPOS: return OnCharFromPos(lp);
    case EM_LINESCROLL:
      // A view that wraps has nothing to its right: only the lines scroll.
      OnLineScroll(lp);
      return TRUE;
    case EM_SCROLL: return OnScroll(wp);
    case EM_GETTHUMB: return OnGetThumb();
    case EM_GETRECT: OnGetRect(reinterpret_cast<RECT*>(lp)); return 0;
    case EM_SETRECT: OnSetRect(reinterpret_cast<const RECT*>(lp), true); return 0;
    case EM_SETRECTNP: OnSetRect(reinterpret_cast<const RECT*>(lp), false); return 0;
    case EM_GETMARGINS: return OnGetMargins();
    case EM_SETMARGINS: OnSetMargins(wp, lp); return 0;
    case EM_SETTABSTOPS: return OnSetTabStops(wp, reinterpret_cast<const int*>(lp));
    case EM_GETMODIFY: return modified_ ? TRUE : FALSE;
    case EM_SETMODIFY: modified_ = wp != 0; return 0;
    // Nothing the user does changes the text, so there is never anything to undo.
    case EM_CANUNDO: case EM_EMPTYUNDOBUFFER: return 0;
    // A multi-line edit control has no password character.
    case EM_GETPASSWORDCHAR: case EM_SETPASSWORDCHAR: return 0;
    // Null: the control's own word breaks.
    case EM_GETWORDBREAKPROC: return 0;
    default: break;
  }
  return ::DefWindowProcW(hwnd_, msg, wp, lp);
}

LRESULT OutputView::OnGetText(std::size_t capacity, wchar_t* buffer) const {
  if (capacity == 0 || buffer == nullptr) return 0;
  // As many characters as fit before the terminating null.
  const std::size_t n = std::min(text_.size(), capacity - 1);
  text_.CopyTo(0, n, buffer);
  buffer[n] = L'\0';
  return static_cast<LRESULT>(n);
}

void OutputView::OnSetText(const wchar_t* text) {
  // WM_SETTEXT replaces everything, past any limit, and leaves the caret at the top.
  anchor_ = 0;
  active_ = text_.size();
  ReplaceSelection(text, false);
  modified_ = false;
  SetSelection(0, 0, false);
  ScrollTo(0);
  // A new text starts over: what comes after it is followed, as in an empty view.
  follows_ = true;
}

std::pair<std::size_t, std::size_t> OutputView::Selection() const noexcept {
  return std::minmax(anchor_, active_);
}

LRESULT OutputView::OnGetSel(DWORD* start, DWORD* end) const {
  const auto [first, last] = Selection();
  if (start != nullptr) *start = static_cast<DWORD>(first);
  if (end != nullptr) *end = static_cast<DWORD>(last);
  // The packed result has 16 bits a position.
  if (first > 0xFFFF || last > 0xFFFF) return -1;
  return static_cast<LRESULT>(MAKELONG(first, last));
}

void OutputView::OnSetSel(WPARAM start, LPARAM end) {
  const auto startValue = static_cast<int>(start);
  if (startValue == -1) {
    // Deselects, leaving the caret where it is.
    SetSelection(active_, active_, false);
    return;
  }
  // Taken as unsigned, as the edit control does: -1 and any other negative value
  // stand for the end of the text.
  const std::size_t length = text_.size();
  SetSelection(std::min<std::size_t>(static_cast<UINT>(startValue), length),
               std::min<std::size_t>(static_cast<UINT>(static_cast<int>(end)), length), false);
}

void OutputView::SetSelection(std::size_t anchor, std::size_t active, bool afterWrap) {
  // A caret put at the end follows the output; a selection or a caret elsewhere stays.
  follows_ = anchor == active && AtEnd(active);
  if (anchor == anchor_ && active == active_ && afterWrap == caretAfterWrap_) return;
  const bool showsSelection = focused_ && (anchor_ != active_ || anchor != active);
  anchor_ = anchor;
  active_ = active;
  caretAfterWrap_ = afterWrap;
  PlaceCaret();
  if (showsSelection) ::InvalidateRect(hwnd_, nullptr, FALSE);
  accessibility_->SelectionChanged();
}

void OutputView::Select(std::size_t anchor, std::size_t active) {
  SetSelection(std::min(anchor, text_.size()), std::min(active, text_.size()), false);
  ScrollCaretIntoView();
}

void OutputView::ReplaceSelection(const wchar_t* text, bool honorLimit) {
  const std::wstring_view given = text == nullptr ? std::wstring_view() : std::wstring_view(text);
  const auto [first, last] = Selection();
  // Nothing to remove and nothing to add: the edit control does nothing, says nothing.
  if (first == last && given.empty()) return;
  const auto selectionBefore = std::make_pair(anchor_, active_);
  const std::size_t n = PutText(first, last, given, honorLimit);
  anchor_ = active_ = first + n;
  caretAfterWrap_ = false;
  follows_ = AtEnd(active_);
  ScrollCaretIntoView();
  ReportChange(honorLimit, selectionBefore);
}

void OutputView::Append(std::wstring_view text, const ReadTimes* times) {
  if (text.empty()) return;
  const auto selectionBefore = std::make_pair(anchor_, active_);
  const std::size_t end = text_.size();
  const std::size_t n = PutText(end, end, text, true, times);
  if (follows_) {
    anchor_ = active_ = end + n;
    caretAfterWrap_ = false;
    ScrollCaretIntoView();
  } else {
    ScrollTo(firstRow_);  // the scroll bar takes the new rows; the view stays
  }
  // A change, but the parent is not told: the message is the view's own, and nothing
  // listens to the notifications three boxes would send for every piece.
  modified_ = true;
  ReportChange(false, selectionBefore);
}

std::size_t OutputView::PutText(std::size_t first, std::size_t last, std::wstring_view given, bool honorLimit,
                                const ReadTimes* times) {
  const std::size_t kept = text_.size() - (last - first);
  std::size_t n = std::min(given.size(), kMaxLength - std::min(kept, kMaxLength));
  if (honorLimit && kept + n > limit_) {
    // A full box takes what fits, and says so.
    Notify(EN_MAXTEXT);
    n = limit_ < kept ? 0 : std::min(n, limit_ - kept);
  }
  // All or nothing. Only a piece added at the end may be one that another view holds.
  const std::wstring_view piece = given.substr(0, n);
  if (shared_ && honorLimit && first == last && last == text_.size()) {
    text_.AppendShared(shared_, piece, times);
  } else {
    text_.Replace(first, last, piece);
  }
  layout_.Truncate(first);
  // Should this run out of memory, EnsureLayout lays out the rest later.
  if (layoutWidth_ >= 0) layout_.Extend(text_, widths_);
  ::InvalidateRect(hwnd_, nullptr, FALSE);
  return n;
}

void OutputView::ReportChange(bool notifyParent, std::pair<std::size_t, std::size_t> selectionBefore) {
  // A multi-line edit control sends neither for WM_SETTEXT, the one change not
  // held to the limit.
  if (notifyParent) {
    modified_ = true;
    Notify(EN_UPDATE);
    Notify(EN_CHANGE);
  }
  accessibility_->TextChanged();
  // Screen readers follow the caret by this event, also when output moves it.
  if (std::make_pair(anchor_, active_) != selectionBefore) accessibility_->SelectionChanged();
}

bool OutputView::AtEnd(std::size_t position) const noexcept {
  for (std::size_t p = position; p < text_.size(); ++p) {
    if (text_[p] != L'\r' && text_[p] != L'\n') return false;
  }
  return true;
}

void OutputView::FollowIfScrolledToEnd() {
  follows_ = anchor_ == active_ && firstRow_ >= MaxFirstRow();
}

void OutputView::Notify(WORD code) const {
  const HWND parent = ::GetParent(hwnd_);
  if (parent == nullptr) return;
  ::SendMessageW(parent, WM_COMMAND, MAKEWPARAM(::GetDlgCtrlID(hwnd_), code), reinterpret_cast<LPARAM>(hwnd_));
}

void OutputView::CopyToClipboard() const {
  const auto [first, last] = Selection();
  if (first == last) return;
  UniqueGlobal memory(::GlobalAlloc(GMEM_MOVEABLE, (last - first + 1) * sizeof(wchar_t)));
  if (!memory) return;
  auto* out = static_cast<wchar_t*>(::GlobalLock(memory.get()));
  if (out == nullptr) return;
  text_.CopyTo(first, last - first, out);
  out[last - first] = L'\0';
  ::GlobalUnlock(memory.get());
  if (!OpenClipboardRetrying(hwnd_)) {
    ::MessageBeep(MB_OK);
    return;
  }
  // The clipboard owns the memory once SetClipboardData succeeds.
  if (::EmptyClipboard() && ::SetClipboardData(CF_UNICODETEXT, memory.get()) != nullptr) memory.release();
  ::CloseClipboard();
  if (memory) ::MessageBeep(MB_OK);
}

std::size_t OutputView::RowCount() {
  EnsureLayout();
  return layout_.RowCount();
}

std::size_t OutputView::RowStart(std::size_t row) {
  EnsureLayout();
  return layout_.RowStart(row);
}

std::size_t OutputView::RowEnd(std::size_t row) {
  EnsureLayout();
  const std::size_t end = row + 1 < layout_.RowCount() ? layout_.RowStart(row + 1) : text_.size();
  // Only a CR LF of this row: the empty row after a final CR LF ends where it starts.
  return end >= layout_.RowStart(row) + 2 && CrLfAt(end - 2) ? end - 2 : end;
}

std::size_t OutputView::RowOf(std::size_t position) {
  EnsureLayout();
  return layout_.RowOf(position);
}

bool OutputView::IsPairTail(std::size_t p) const noexcept {
  return p > 0 && p < text_.size() && vexlo::IsPairTail(text_[p - 1], text_[p]);
}

bool OutputView::CrLfAt(std::size_t p) const noexcept {
  return p + 1 < text_.size() && text_[p] == L'\r' && text_[p + 1] == L'\n';
}

bool OutputView::WrapsSoftly(std::size_t row) {
  return row + 1 < RowCount() && RowEnd(row) == RowStart(row + 1);
}

std::size_t OutputView::CaretRow() {
  const std::size_t row = RowOf(active_);
  if (caretAfterWrap_ && row > 0 && RowStart(row) == active_ && WrapsSoftly(row - 1)) return row - 1;
  return row;
}

bool OutputView::IsWordBoundary(std::size_t p) const noexcept {
  if (p == 0 || p >= text_.size()) return true;
  const CharClass here = ClassOf(text_[p]);
  const CharClass before = ClassOf(text_[p - 1]);
  // A word takes the spaces after it; CR LF is one break.
  switch (here) {
    case CharClass::kSpace: return before == CharClass::kBreak;
    case CharClass::kBreak: return !(text_[p - 1] == L'\r' && text_[p] == L'\n');
    case CharClass::kWord: return before != CharClass::kWord;
  }
  return true;
}

std::size_t OutputView::NextWordStart(std::size_t p) const noexcept {
  if (p >= text_.size()) return text_.size();
  do ++p; while (!IsWordBoundary(p));
  return p;
}

std::size_t OutputView::PreviousWordStart(std::size_t p) const noexcept {
  if (p == 0) return 0;
  do --p; while (!IsWordBoundary(p));
  return p;
}

std::pair<std::size_t, std::size_t> OutputView::WordAt(std::size_t p) const noexcept {
  const std::size_t start = IsWordBoundary(p) ? p : PreviousWordStart(p);
  std::size_t end = NextWordStart(start);
  while (end > start && ClassOf(text_[end - 1]) != CharClass::kWord) --end;
  return {start, end};
}

void OutputView::SaveAs() {
  // The dialog and the message box belong to the window, not to this child.
  const HWND owner = ::GetAncestor(hwnd_, GA_ROOT);
  SYSTEMTIME now{};
  ::GetLocalTime(&now);
  // The name is the page's and a word: "Ping output".
  const auto path = saveAsUi_.choosePath(owner, ProposedFileName(std::wstring_view(name_).substr(0, name_.find(L' ')), now));
  if (!path) return;
  // The times go with the text when they are shown.
  const std::wstring text = group_->showTimes ? TextWithTimes(text_) : text_.Slice(0, text_.size());
  const DWORD error = SaveTextAsUtf8(*path, text);
  if (error != ERROR_SUCCESS) saveAsUi_.showFailure(owner, SaveFailureText(*path, error));
}

IRawElementProviderSimple* OutputView::AccessibleProvider() { return accessibility_->Provider(); }

}  // namespace vexlo
