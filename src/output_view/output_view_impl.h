#pragma once
// The output view itself, private to src/output_view/: the window class's state and
// its handlers. It answers the messages that a program sends a multi-line edit
// control (WM_GETTEXT, WM_GETTEXTLENGTH, WM_SETTEXT, EM_GETSEL, EM_SETSEL,
// EM_REPLACESEL, EM_SCROLLCARET, EM_SETLIMITTEXT, ...) with the edit control's
// results, but keeps its text in chunks with an index of rows and draws only the rows
// in view, so a piece of output costs the same at any size. What the rest of the
// program sees of it is output_view.h.

#include <windows.h>

#include <array>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/unique_handles.h"
#include "common/window_base.h"
#include "output_view/complex_line.h"
#include "output_view/kept_output.h"
#include "output_view/output_view.h"
#include "output_view/text_layout.h"
#include "output_view/text_source.h"
#include "output_view/text_store.h"

struct IRawElementProviderSimple;

namespace vexlo {

class OutputViewAccessibility;

// What the views of a group share besides their store: the settings of their menu,
// which apply to all of them until the program ends.
struct ViewGroupSettings {
  bool showTimes = false;
  bool fixedFont = false;
  std::vector<HWND> views;
  UniqueFont fixed;           // while fixedFont: at the size of fixedFrom
  HFONT fixedFrom = nullptr;  // the window's font it was made from

  void ShowTimes(bool shown);
  void UseFixedFont(bool on);
  // The font a view draws with, given the window's (fixed_font.cpp).
  [[nodiscard]] HFONT FontFor(HFONT windowFont);
};

class OutputView final : public TextSource {
 public:
  static constexpr const wchar_t* kClassName = kOutputViewClass;
  // Appends in one message (output_view.h). lParam is a pointer, so the message is
  // taken only from the view's own thread.
  static constexpr UINT kAppendMessage = kAppendOutputMessage;
  // The edit control's ceiling for a text that positions address as int.
  static constexpr std::size_t kMaxLength = 0x7FFFFFFE;

  [[nodiscard]] static bool Register(HINSTANCE instance);
  // The procedure that runs every view: views are created for it.
  [[nodiscard]] static WindowBase& Procedure();
  // The view behind a window of this class; null for any other window.
  [[nodiscard]] static OutputView* From(HWND hwnd) noexcept;

  OutputView(HWND hwnd, std::wstring name);
  ~OutputView();
  OutputView(const OutputView&) = delete;
  OutputView& operator=(const OutputView&) = delete;

  LRESULT Handle(UINT msg, WPARAM wp, LPARAM lp);

  // What UI Automation reads and does (TextSource).
  [[nodiscard]] HWND hwnd() const noexcept override { return hwnd_; }
  [[nodiscard]] const std::wstring& Name() const noexcept override { return name_; }
  [[nodiscard]] std::size_t Length() const noexcept override { return text_.size(); }
  [[nodiscard]] wchar_t CharAt(std::size_t position) const noexcept override { return text_[position]; }
  [[nodiscard]] std::wstring Slice(std::size_t from, std::size_t count) const override {
    return text_.Slice(from, count);
  }
  // Ordered: first <= second.
  [[nodiscard]] std::pair<std::size_t, std::size_t> Selection() const noexcept override;
  void Select(std::size_t anchor, std::size_t active) override;
  void ScrollIntoView(std::size_t position) override;
  [[nodiscard]] std::size_t RowCount() override;
  [[nodiscard]] std::size_t RowStart(std::size_t row) override;
  // Where the row's text ends, before the CR LF that ends it.
  [[nodiscard]] std::size_t RowEnd(std::size_t row) override;
  [[nodiscard]] std::size_t RowOf(std::size_t position) override;
  // [first, last) of the rows in view.
  [[nodiscard]] std::pair<std::size_t, std::size_t> RowsInView() override;
  [[nodiscard]] std::size_t PositionAt(POINT client) override;
  // Client rectangles of [from, to) on the rows in view, one a row.
  [[nodiscard]] std::vector<RECT> RangeRects(std::size_t from, std::size_t to) override;
  [[nodiscard]] bool IsWordBoundary(std::size_t position) const noexcept override;
  [[nodiscard]] std::size_t NextWordStart(std::size_t position) const noexcept override;
  [[nodiscard]] std::size_t PreviousWordStart(std::size_t position) const noexcept override;
  // The provider, made on first use; null when UI Automation is missing.
  [[nodiscard]] IRawElementProviderSimple* AccessibleProvider();
  // Whether new output moves the caret to the end and into view: while the user is at
  // the end, neither scrolled away from it nor holding a selection.
  [[nodiscard]] bool Follows() const noexcept { return follows_; }
  void UseSaveAsUi(SaveAsUi ui) { saveAsUi_ = std::move(ui); }
  // Bytes of memory the text and its index hold; a shared store counts for itself.
  [[nodiscard]] std::size_t BytesHeld() const noexcept {
    return text_.BytesHeld() + layout_.BytesHeld() + complex_.BytesHeld();
  }

  // Text held once (kept_output.cpp). Views that share a store hold a piece that is
  // appended to each of them at their ends once; the text and rows of a kept copy
  // refer to the view's.
  void ShareStorage(std::shared_ptr<TextStore> store) noexcept { shared_ = std::move(store); }
  // The view takes the group's settings from now on.
  void JoinGroup(std::shared_ptr<ViewGroupSettings> group);
  // The group's settings changed: the view follows them.
  void ApplyGroupSettings();
  // Where the text's rows start: the format rectangle's left, less the time gutter.
  [[nodiscard]] int TextLeft() const noexcept { return formatRect_.left + gutter_; }
  [[nodiscard]] int GutterWidth() const noexcept { return gutter_; }
  // The font WM_SETFONT gave, and the one drawn with: the group's fixed font, or it.
  [[nodiscard]] HFONT WindowFont() const noexcept { return windowFont_; }
  [[nodiscard]] bool DrawsWith(HFONT font) const noexcept { return font_ == font; }
  void UseFont(HFONT font);
  // When the character at `position` was read; empty for text without a time.
  [[nodiscard]] std::optional<std::int64_t> TimeAt(std::size_t position) const {
    return position < text_.size() ? text_.TimeAt(position) : std::nullopt;
  }
  [[nodiscard]] std::shared_ptr<const KeptText> Keep() const;
  // Shows the kept text as WM_SETTEXT would show the same characters.
  void Restore(const KeptText& kept);

 private:
  // Text and selection (output_view.cpp).
  LRESULT OnGetText(std::size_t capacity, wchar_t* buffer) const;
  void OnSetText(const wchar_t* text);
  void OnSetSel(WPARAM start, LPARAM end);
  LRESULT OnGetSel(DWORD* start, DWORD* end) const;
  void ReplaceSelection(const wchar_t* text, bool honorLimit);
  void Append(std::wstring_view text, const ReadTimes* times);
  // Puts text in place of [first, last), what the limits let in, and returns how many
  // characters went in. The selection is the caller's to set.
  [[nodiscard]] std::size_t PutText(std::size_t first, std::size_t last, std::wstring_view text, bool honorLimit,
                                    const ReadTimes* times = nullptr);
  // Tells UI Automation, and the parent as an edit control would; the selection as
  // it was before the change.
  void ReportChange(bool notifyParent, std::pair<std::size_t, std::size_t> selectionBefore);
  // Nothing but line breaks after the position: nothing more to read.
  [[nodiscard]] bool AtEnd(std::size_t position) const noexcept;
  // After the user scrolled: at the bottom with nothing selected, the view follows.
  void FollowIfScrolledToEnd();
  void SetSelection(std::size_t anchor, std::size_t active, bool afterWrap);
  void Notify(WORD code) const;
  void CopyToClipboard() const;
  // The word under a double click: the word without the spaces after it.
  [[nodiscard]] std::pair<std::size_t, std::size_t> WordAt(std::size_t position) const noexcept;
  [[nodiscard]] bool CrLfAt(std::size_t position) const noexcept;
  [[nodiscard]] std::size_t CaretRow();
  [[nodiscard]] bool WrapsSoftly(std::size_t row);

  // Layout, scrolling and painting (output_view_paint.cpp).
  void ApplyFont(HFONT font);
  void EnsureLayout();
  [[nodiscard]] int WrapWidth() const;
  [[nodiscard]] SIZE ClientSize() const;
  void OnSize();
  [[nodiscard]] std::size_t PageRows() const;
  [[nodiscard]] std::size_t MaxFirstRow();
  void ScrollTo(std::size_t firstRow);
  void ScrollCaretIntoView();
  void UpdateScrollBar();
  void PlaceCaret();
  [[nodiscard]] int XOf(std::size_t position, std::size_t row);
  // The row as the shaping engine lays it out; null for a row of plain text.
  [[nodiscard]] const ShapedRow* ComplexRow(std::size_t row);
  // The caret stop next to `position` in the direction of `step` (+1 or -1), where
  // a cluster of several code units is one stop.
  [[nodiscard]] std::size_t ClusterStop(std::size_t position, int step);
  [[nodiscard]] std::size_t PositionInRow(std::size_t row, int x);
  struct Hit {
    std::size_t position;
    bool afterWrap;  // past the end of a wrapped row: the caret stays on that row
  };
  [[nodiscard]] Hit HitTest(POINT client);
  void Paint();
  void PaintArea(HDC dc, const RECT& area);
  void PaintRow(HDC dc, std::size_t row, int y, int right);
  // The read time of the row's line on its first row, in the gutter.
  void PaintGutter(HDC dc, std::size_t row, int y);
  [[nodiscard]] int MeasureGutter() const;

  // Keyboard, mouse and menu (output_view_input.cpp).
  void OnKeyDown(WPARAM key);
  void OnChar(WPARAM c);
  void OnVScroll(WORD code);
  void OnMouseWheel(short delta);
  void OnButtonDown(POINT at, WPARAM keys);
  void OnDoubleClick(POINT at);
  void DragTo(POINT at);
  void EndDrag();
  // False for a point outside the client area (the scroll bar): the system's menu.
  [[nodiscard]] bool OnContextMenu(LPARAM at);
  void RunCommand(int command);
  // Asks for a path, proposing the page's name and the time, and writes the text there.
  void SaveAs();
  void OnFocus(bool gained);

  // The rest of the read-only multi-line edit control's messages
  // (output_view_messages.cpp).
  [[nodiscard]] LRESULT OnGetLine(WPARAM line, wchar_t* buffer);
  [[nodiscard]] LRESULT OnLineLength(WPARAM index);
  [[nodiscard]] LRESULT OnPosFromChar(WPARAM index);
  [[nodiscard]] LRESULT OnCharFromPos(LPARAM at);
  void OnLineScroll(LPARAM lines);
  [[nodiscard]] LRESULT OnScroll(WPARAM action);
  [[nodiscard]] LRESULT OnGetThumb();
  void OnGetRect(RECT* rect) const;
  void OnSetRect(const RECT* rect, bool redraw);
  [[nodiscard]] LRESULT OnGetMargins() const;
  void OnSetMargins(WPARAM which, LPARAM widths);
  [[nodiscard]] LRESULT OnSetTabStops(WPARAM count, const int* stops);
  // The edit control's rectangle without EM_SETRECT: the client area less the margins.
  void ResetFormatRect();
  // Tab stops in pixels, from those in dialog units.
  void ApplyTabStops();
  // The second half of a surrogate pair: no caret stops there.
  [[nodiscard]] bool IsPairTail(std::size_t position) const noexcept;
  [[nodiscard]] std::size_t RowLength(std::size_t row);

  HWND hwnd_;
  std::wstring name_;
  ChunkedText text_;
  std::shared_ptr<TextStore> shared_;
  CharWidths widths_;
  RowLayout layout_;
  // Rows in a kept copy fit this view while its font stays.
  std::shared_ptr<const int> identity_ = std::make_shared<const int>(0);
  unsigned fontGeneration_ = 0;
  ComplexLines complex_;
  int layoutWidth_ = -1;  // the wrap width the rows were laid out for; -1: lay out anew
  SIZE clientSize_{0, 0};
  SCROLLINFO shownScroll_{};  // what the scroll bar was last given
  std::array<long long, 3> shownThumb_{-1, -1, -1};  // whether it scrolls, thumb size and place, as last drawn
  HFONT font_ = nullptr;  // not ours: the sender of WM_SETFONT, or the group, owns it
  HFONT windowFont_ = nullptr;
  int lineHeight_ = 16;
  int leftMargin_ = 2;
  int rightMargin_ = 2;
  int averageWidth_ = 8;  // the font's dialog-unit average, which tab stops are given in
  // Where the rows are drawn (EM_GETRECT); the client area less the margins, unless
  // EM_SETRECT set it.
  RECT formatRect_{0, 0, 0, 0};
  int tabWidth_ = 32;
  std::vector<int> tabStopUnits_;  // EM_SETTABSTOPS' stops in dialog units; empty: every 32
  std::vector<int> tabStops_;      // the same in pixels
  bool modified_ = false;          // EM_GETMODIFY
  std::size_t anchor_ = 0;  // EM_SETSEL's start: stays put while Shift extends
  std::size_t active_ = 0;  // where the caret is
  bool caretAfterWrap_ = false;  // caret at the end of a wrapped row, not the next row's start
  std::size_t firstRow_ = 0;
  std::size_t limit_ = 32767;
  bool follows_ = true;
  bool focused_ = false;
  bool dragging_ = false;
  int wheelRemainder_ = 0;
  std::vector<wchar_t> glyphs_;  // per row painted, kept to spare allocations
  std::vector<INT> advances_;
  std::vector<bool> selectedGlyphs_;
  SaveAsUi saveAsUi_;
  std::shared_ptr<ViewGroupSettings> group_;
  int gutter_ = 0;  // the width of the times at the left; 0 while they are not shown
  std::unique_ptr<OutputViewAccessibility> accessibility_;
};

}  // namespace vexlo
