#include "output_view/output_view_impl.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "controls/controls.h"
#include "output_view/view_test_support.h"
#include "support/failing_allocations.h"
#include "support/test_support.h"

namespace vexlo {
namespace {

using test::ViewTest;

// What the window's design does to a box per piece: read all, add, write all.
void RewriteWhole(const TextBox& box, const std::wstring& piece) {
  box.Text(box.Text() + piece);
  box.SelStart(static_cast<int>(box.Text().size()));
}

// What an append must do to a real edit control to end as the view does: one that
// follows its end takes the text and keeps the caret at the end; one that does not
// gets the text at the end and keeps its selection.
void EditAppend(HWND edit, const std::wstring& piece, bool follows) {
  DWORD start = 0, end = 0;
  ::SendMessageW(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
  const int length = ::GetWindowTextLengthW(edit);
  ::SendMessageW(edit, EM_SETSEL, length, length);
  ::SendMessageW(edit, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(piece.c_str()));
  if (!follows) ::SendMessageW(edit, EM_SETSEL, start, end);
}

bool Follows(HWND view) { return OutputView::From(view)->Follows(); }

class Pieces {
 public:
  explicit Pieces(unsigned seed) : random_(seed) {}

  std::wstring Next() {
    switch (Below(9)) {
      case 0: return L"";
      case 1: return L"\r";
      case 2: return L"\n";
      case 3: return L"\r\n";
      case 4: return std::wstring(500 + Below(3000), L'y');  // a long line with no break
      case 5: return L"Reply from 192.0.2.1: bytes=32 time<1ms TTL=128\r\n";
      default: {
        static constexpr wchar_t kAlphabet[] = L"ab c\r\n\t-\u00e9x";
        std::wstring s(Below(40), L' ');
        for (wchar_t& c : s) c = kAlphabet[Below(sizeof kAlphabet / sizeof(wchar_t) - 1)];
        return s;
      }
    }
  }
  // Positions as EM_SETSEL takes them, past the text and negative too.
  LPARAM Position(std::size_t length) {
    switch (Below(6)) {
      case 0: return -1;
      case 1: return -2;
      case 2: return static_cast<LPARAM>(length + Below(5));
      default: return static_cast<LPARAM>(Below(static_cast<unsigned>(length) + 1));
    }
  }
  unsigned Below(unsigned n) { return std::uniform_int_distribution<unsigned>(0, n - 1)(random_); }

 private:
  std::mt19937 random_;
};

void ExpectAlike(HWND edit, HWND view, const std::string& step) {
  const std::wstring text = WindowText(edit);
  ASSERT_EQ(WindowText(view), text) << step;
  EXPECT_EQ(::GetWindowTextLengthW(view), ::GetWindowTextLengthW(edit)) << step;
  DWORD es = 0, ee = 0, vs = 0, ve = 0;
  const LRESULT editPacked = ::SendMessageW(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&es), reinterpret_cast<LPARAM>(&ee));
  const LRESULT viewPacked = ::SendMessageW(view, EM_GETSEL, reinterpret_cast<WPARAM>(&vs), reinterpret_cast<LPARAM>(&ve));
  EXPECT_EQ(vs, es) << step;
  EXPECT_EQ(ve, ee) << step;
  if (ee <= 0xFFFF) {
    EXPECT_EQ(viewPacked, editPacked) << step;
  }
}

TEST_F(ViewTest, RandomPiecesAndSelectionsEndAsInTheEditControl) {
  const TextBox edit{{edit_}}, view{{view_}};
  for (unsigned seed : {1u, 2u, 3u}) {
    Pieces pieces(seed);
    for (int step = 0; step < 200; ++step) {
      const std::wstring piece = pieces.Next();
      const std::string where = "seed " + std::to_string(seed) + " step " + std::to_string(step);
      switch (pieces.Below(8)) {
        case 0:
          RewriteWhole(edit, piece);
          RewriteWhole(view, piece);
          break;
        case 1: {
          const LPARAM start = pieces.Position(edit.Text().size());
          const LPARAM end = pieces.Position(edit.Text().size());
          SetSel(edit_, start, end);
          SetSel(view_, start, end);
          break;
        }
        case 2:
          Replace(edit_, piece);
          Replace(view_, piece);
          break;
        case 3:
          if (pieces.Below(8) == 0) {
            edit.Text(piece);
            view.Text(piece);
          }
          break;
        case 4:
          ::SendMessageW(edit_, EM_SCROLLCARET, 0, 0);
          ::SendMessageW(view_, EM_SCROLLCARET, 0, 0);
          break;
        default:
          EditAppend(edit_, piece, Follows(view_));
          view.Append(piece);
          break;
      }
      ExpectAlike(edit_, view_, where);
      if (HasFatalFailure()) return;
    }
    edit.Text(L"");
    view.Text(L"");
  }
}

TEST_F(ViewTest, GetTextTruncatesAsTheEditControl) {
  for (HWND box : {edit_, view_}) ::SetWindowTextW(box, L"one\r\ntwo");
  for (WPARAM capacity : {0u, 1u, 4u, 8u, 9u, 20u}) {
    wchar_t fromEdit[32], fromView[32];
    std::fill(std::begin(fromEdit), std::end(fromEdit), L'#');
    std::fill(std::begin(fromView), std::end(fromView), L'#');
    EXPECT_EQ(::SendMessageW(view_, WM_GETTEXT, capacity, reinterpret_cast<LPARAM>(fromView)),
              ::SendMessageW(edit_, WM_GETTEXT, capacity, reinterpret_cast<LPARAM>(fromEdit)))
        << capacity;
    EXPECT_EQ(std::wstring(fromView, 32), std::wstring(fromEdit, 32)) << capacity;
  }
}

TEST_F(ViewTest, ALimitOfTenKeepsWhatFitsAndTheCaretAtItsEnd) {
  for (HWND box : {edit_, view_}) ::SendMessageW(box, EM_SETLIMITTEXT, 10, 0);
  const TextBox view{{view_}};
  for (const wchar_t* piece : {L"0123", L"456789abcdef", L"more"}) {
    EditAppend(edit_, piece, true);
    ASSERT_TRUE(Follows(view_));
    view.Append(piece);
    ExpectAlike(edit_, view_, "limited");
  }
  EXPECT_EQ(view.Text(), L"0123456789");
  EXPECT_TRUE(view.CaretAt(10));
  EXPECT_EQ(::SendMessageW(view_, EM_GETLIMITTEXT, 0, 0), ::SendMessageW(edit_, EM_GETLIMITTEXT, 0, 0));
  // WM_SETTEXT is not held to the limit.
  for (HWND box : {edit_, view_}) ::SetWindowTextW(box, L"longer than ten");
  ExpectAlike(edit_, view_, "set past the limit");
  // Zero lifts it again.
  for (HWND box : {edit_, view_}) ::SendMessageW(box, EM_SETLIMITTEXT, 0, 0);
  EXPECT_EQ(::SendMessageW(view_, EM_GETLIMITTEXT, 0, 0), ::SendMessageW(edit_, EM_GETLIMITTEXT, 0, 0));
}

// Out of memory part way, a replacement is either done or not begun: no text is
// lost, and the selection stays within the text.
TEST_F(ViewTest, ReplacingWithoutMemoryIsAllOrNothing) {
  const std::wstring before = std::wstring(65530, L'a') + L"\r\nthe tail of the text";
  const std::wstring piece(100, L'b');
  const std::wstring after = before.substr(0, 10) + piece + before.substr(20);
  for (std::size_t allowed = 0;; ++allowed) {
    ::SetWindowTextW(view_, before.c_str());
    SetSel(view_, 10, 20);
    bool refused = false;
    {
      test::FailingAllocations failing(allowed);
      Replace(view_, piece);
      refused = failing.Refused();
    }
    const std::wstring now = Text(view_);
    if (now == before) {
      EXPECT_EQ(Sel(view_), std::make_pair(DWORD{10}, DWORD{20})) << allowed;
    } else {
      ASSERT_TRUE(now == after) << allowed << ": " << now.size() << " characters, neither before nor after";
      EXPECT_EQ(Sel(view_), std::make_pair(DWORD{110}, DWORD{110})) << allowed;
    }
    // The rows are those of the text laid out afresh.
    const LRESULT rows = ::SendMessageW(view_, EM_GETLINECOUNT, 0, 0);
    ::SetWindowTextW(view_, now.c_str());
    EXPECT_EQ(rows, ::SendMessageW(view_, EM_GETLINECOUNT, 0, 0)) << allowed;
    if (!refused) break;
  }
}

TEST_F(ViewTest, PackedSelectionIsMinusOnePast65535) {
  const std::wstring big(70000, L'z');
  ::SetWindowTextW(view_, big.c_str());
  SetSel(view_, 10, 20);
  EXPECT_EQ(::SendMessageW(view_, EM_GETSEL, 0, 0), MAKELONG(10, 20));
  SetSel(view_, 10, 66000);
  EXPECT_EQ(::SendMessageW(view_, EM_GETSEL, 0, 0), -1);
  EXPECT_EQ(Sel(view_), std::make_pair(DWORD{10}, DWORD{66000}));
}

TEST_F(ViewTest, ChangesAreNotifiedAsTheEditControlDoes) {
  const auto notified = [&](HWND box) {
    host_.notifications.clear();
    Replace(box, L"x");
    Replace(box, L"");  // nothing selected, nothing given: no change
    SetSel(box, 0, 1);
    Replace(box, L"");  // a deletion
    ::SetWindowTextW(box, L"y");  // not for a multi-line control
    ::SendMessageW(box, EM_SETLIMITTEXT, 1, 0);
    SetSel(box, 1, 1);
    Replace(box, L"zz");  // a full box: nothing fits
    Replace(box, L"");
    return host_.notifications;
  };
  const std::vector<WORD> fromEdit = notified(edit_);
  EXPECT_EQ(notified(view_), fromEdit);
  EXPECT_EQ(fromEdit.size(), 7u);
}

void AppendTo(HWND view, const std::wstring& piece) {
  ::SendMessageW(view, OutputView::kAppendMessage, piece.size(), reinterpret_cast<LPARAM>(piece.c_str()));
}

std::wstring Lines(int from, int count) {
  std::wstring text;
  for (int i = from; i < from + count; ++i) text += L"line " + std::to_wstring(i) + L"\r\n";
  return text;
}

LRESULT FirstVisible(HWND view) { return ::SendMessageW(view, EM_GETFIRSTVISIBLELINE, 0, 0); }

DWORD Length(HWND view) { return static_cast<DWORD>(::GetWindowTextLengthW(view)); }

// Every piece goes to three boxes: the view's own message tells the parent nothing,
// followed or not, though it is a change.
TEST_F(ViewTest, AnAppendNotifiesTheParentOfNothing) {
  host_.notifications.clear();
  AppendTo(view_, Lines(0, 30));
  ::SendMessageW(view_, WM_VSCROLL, SB_TOP, 0);
  AppendTo(view_, Lines(30, 3));
  EXPECT_TRUE(host_.notifications.empty());
  EXPECT_EQ(::SendMessageW(view_, EM_GETMODIFY, 0, 0), TRUE);
}

// Sends the view's own append message; it is one message however the view follows.
TEST_F(ViewTest, OutputIsFollowedOnlyWhileTheUserIsAtTheEnd) {
  std::wstring all = Lines(0, 100);
  AppendTo(view_, all);
  const LRESULT bottom = FirstVisible(view_);
  ASSERT_GT(bottom, 0);
  EXPECT_EQ(Sel(view_), std::make_pair(Length(view_), Length(view_)));
  // Scrolled to the top: the text grows, the view and the caret stay.
  ::SendMessageW(view_, WM_VSCROLL, SB_TOP, 0);
  const DWORD caret = Length(view_);
  for (int i = 0; i < 3; ++i) {
    const std::wstring piece = Lines(100 + i * 5, 5);
    all += piece;
    AppendTo(view_, piece);
  }
  EXPECT_EQ(Text(view_), all);
  EXPECT_EQ(FirstVisible(view_), 0);
  EXPECT_EQ(Sel(view_), std::make_pair(caret, caret));
  // Back at the bottom, it follows again.
  ::SendMessageW(view_, WM_VSCROLL, SB_BOTTOM, 0);
  AppendTo(view_, Lines(115, 5));
  EXPECT_EQ(Sel(view_), std::make_pair(Length(view_), Length(view_)));
  EXPECT_EQ(FirstVisible(view_), bottom + 20);
  // The wheel away and back.
  ::SendMessageW(view_, WM_MOUSEWHEEL, MAKEWPARAM(0, WHEEL_DELTA), 0);
  const LRESULT up = FirstVisible(view_);
  ASSERT_LT(up, bottom + 20);
  AppendTo(view_, Lines(120, 5));
  EXPECT_EQ(FirstVisible(view_), up);
  for (int i = 0; i < 10; ++i) ::SendMessageW(view_, WM_MOUSEWHEEL, MAKEWPARAM(0, -WHEEL_DELTA), 0);
  AppendTo(view_, Lines(125, 5));
  EXPECT_EQ(FirstVisible(view_), bottom + 30);
  EXPECT_EQ(Sel(view_), std::make_pair(Length(view_), Length(view_)));
}

TEST_F(ViewTest, AKeyboardSelectionIsKeptAndCtrlEndFollowsAgain) {
  AppendTo(view_, Lines(0, 100));
  Key(view_, VK_UP, true);  // Shift+Up: a selection at the bottom of the view
  const auto selected = Sel(view_);
  const LRESULT first = FirstVisible(view_);
  ASSERT_NE(selected.first, selected.second);
  AppendTo(view_, Lines(100, 30));
  EXPECT_EQ(Sel(view_), selected);
  EXPECT_EQ(FirstVisible(view_), first);
  // Scrolled to the bottom, the selection is still held, and kept.
  ::SendMessageW(view_, WM_VSCROLL, SB_BOTTOM, 0);
  AppendTo(view_, Lines(130, 5));
  EXPECT_EQ(Sel(view_), selected);
  // A caret moved up, no selection: still the user's place.
  Key(view_, VK_UP);
  const auto place = Sel(view_);
  AppendTo(view_, Lines(135, 5));
  EXPECT_EQ(Sel(view_), place);
  Key(view_, VK_END, false, true);  // Ctrl+End
  AppendTo(view_, Lines(140, 5));
  EXPECT_EQ(Sel(view_), std::make_pair(Length(view_), Length(view_)));
  // Programs put the caret at the end the same way: EM_SETSEL, or new text.
  SetSel(view_, 0, 0);
  AppendTo(view_, L"x\r\n");
  EXPECT_EQ(Sel(view_), std::make_pair(DWORD{0}, DWORD{0}));
  SetSel(view_, Length(view_), Length(view_));
  AppendTo(view_, L"y\r\n");
  EXPECT_EQ(Sel(view_), std::make_pair(Length(view_), Length(view_)));
  ::SetWindowTextW(view_, L"");
  AppendTo(view_, L"z\r\n");
  EXPECT_EQ(Sel(view_), std::make_pair(DWORD{3}, DWORD{3}));
}

// Puts the scroll bar's thumb where the system would have it while the user drags
// it; outside a drag the track position the view asks for is the bar's position.
void HoldThumbAt(HWND view, int place) {
  SCROLLINFO info{};
  info.cbSize = sizeof info;
  info.fMask = SIF_POS;
  info.nPos = place;
  ::SetScrollInfo(view, SB_VERT, &info, FALSE);
}

int LastThumbPlace(HWND view) {
  SCROLLINFO info{};
  info.cbSize = sizeof info;
  info.fMask = SIF_RANGE | SIF_PAGE;
  ::GetScrollInfo(view, SB_VERT, &info);
  return info.nMax - static_cast<int>(info.nPage) + 1;
}

TEST_F(ViewTest, EveryWayToTheEndFollowsTheOutputAgainWhileItArrives) {
  int line = 0;
  const auto more = [&](int count) {
    AppendTo(view_, Lines(line, count));
    line += count;
  };
  const std::vector<std::pair<const char*, std::function<void()>>> ways = {
      {"SB_BOTTOM", [&] { ::SendMessageW(view_, WM_VSCROLL, SB_BOTTOM, 0); }},
      {"SB_PAGEDOWN", [&] { ::SendMessageW(view_, WM_VSCROLL, SB_PAGEDOWN, 0); }},
      {"SB_LINEDOWN", [&] { ::SendMessageW(view_, WM_VSCROLL, SB_LINEDOWN, 0); }},
      {"wheel", [&] { ::SendMessageW(view_, WM_MOUSEWHEEL, MAKEWPARAM(0, -WHEEL_DELTA), 0); }},
      {"Page Down", [&] { Key(view_, VK_NEXT); }},
      {"Down", [&] { Key(view_, VK_DOWN); }},
      {"Ctrl+End", [&] { Key(view_, VK_END, false, true); }},
      // Dragged to the end, held while output grows the range, let go there.
      {"thumb", [&] {
         const int end = LastThumbPlace(view_);
         HoldThumbAt(view_, end);
         ::SendMessageW(view_, WM_VSCROLL, SB_THUMBTRACK, 0);
         more(30);
         HoldThumbAt(view_, end);
         ::SendMessageW(view_, WM_VSCROLL, SB_THUMBPOSITION, 0);
         ::SendMessageW(view_, WM_VSCROLL, SB_ENDSCROLL, 0);
       }},
  };
  more(100);
  for (const auto& [name, way] : ways) {
    Key(view_, VK_HOME, false, true);  // Ctrl+Home: the caret and the view at the top
    more(5);
    ASSERT_FALSE(Follows(view_)) << name;
    for (int step = 0; step < 400 && !Follows(view_); ++step) {
      way();
      if (step % 4 == 3) more(1);
    }
    more(5);
    EXPECT_TRUE(Follows(view_)) << name;
    EXPECT_EQ(Sel(view_), std::make_pair(Length(view_), Length(view_))) << name;
    EXPECT_EQ(FirstVisible(view_), LastThumbPlace(view_)) << name;
  }
}

TEST_F(ViewTest, CtrlEndFromTheTopFollowsTheOutputAgain) {
  AppendTo(view_, Lines(0, 100));
  Key(view_, VK_HOME, false, true);
  AppendTo(view_, Lines(100, 5));
  ASSERT_EQ(FirstVisible(view_), 0);
  Key(view_, VK_END, false, true);
  AppendTo(view_, Lines(105, 5));
  EXPECT_EQ(Sel(view_), std::make_pair(Length(view_), Length(view_)));
  EXPECT_EQ(FirstVisible(view_), LastThumbPlace(view_));
}

// The rows of every line, as EM_LINEINDEX gives them.
std::vector<LRESULT> RowStarts(HWND view) {
  std::vector<LRESULT> starts;
  const LRESULT rows = ::SendMessageW(view, EM_GETLINECOUNT, 0, 0);
  for (LRESULT row = 0; row < rows; ++row) starts.push_back(::SendMessageW(view, EM_LINEINDEX, row, 0));
  return starts;
}

TEST_F(ViewTest, AKeptOutputIsLaidOutAnewForANewWidthOrFont) {
  std::wstring text;
  for (int i = 0; i < 40; ++i) {
    text += L"Reply from 192.0.2.1: bytes=32 time<1ms TTL=128, then the same reply again from 192.0.2.1 with more "
            L"words " + std::to_wstring(i) + L"\r\n";
  }
  AppendTo(view_, text);
  const KeptOutput kept = KeptOutput::Of(view_);
  const auto freshLayout = [&] {
    ::SetWindowTextW(view_, text.c_str());
    return RowStarts(view_);
  };
  const auto restored = [&] {
    ::SetWindowTextW(view_, L"");
    kept.WriteInto(view_);
    return RowStarts(view_);
  };
  ASSERT_EQ(restored(), freshLayout());
  // Narrower: more rows.
  ::SetWindowPos(view_, nullptr, 0, 0, kWidth * 2 / 3, kHeight, SWP_NOMOVE | SWP_NOZORDER);
  EXPECT_EQ(restored(), freshLayout());
  // The same wrap width, a wider font.
  ::SetWindowPos(view_, nullptr, 0, 0, kWidth, kHeight, SWP_NOMOVE | SWP_NOZORDER);
  ::SendMessageW(view_, EM_SETMARGINS, EC_LEFTMARGIN | EC_RIGHTMARGIN, MAKELPARAM(4, 4));
  ASSERT_EQ(restored(), freshLayout());
  const KeptOutput keptBefore = KeptOutput::Of(view_);
  const UniqueFont bold = MakeArialFont(8.25, true, 96);
  ::SendMessageW(view_, WM_SETFONT, reinterpret_cast<WPARAM>(bold.get()), TRUE);
  ::SendMessageW(view_, EM_SETMARGINS, EC_LEFTMARGIN | EC_RIGHTMARGIN, MAKELPARAM(4, 4));
  (void)::SendMessageW(view_, EM_GETLINECOUNT, 0, 0);  // laid out for the new font
  ::SetWindowTextW(view_, L"");
  keptBefore.WriteInto(view_);
  const std::vector<LRESULT> afterFont = RowStarts(view_);
  EXPECT_EQ(afterFont, freshLayout());
}

TEST_F(ViewTest, TheAppendMessageFromAnotherThreadIsRefused) {
  const std::wstring piece = L"from elsewhere";
  std::atomic<LRESULT> result = -1;
  std::thread other([&] {
    result = ::SendMessageW(view_, OutputView::kAppendMessage, piece.size(), reinterpret_cast<LPARAM>(piece.c_str()));
  });
  while (::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_SENDMESSAGE) != WAIT_FAILED && result == -1) {
    MSG msg;
    ::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);  // takes the sent message
  }
  other.join();
  EXPECT_EQ(result, FALSE);
  EXPECT_EQ(Text(view_), L"");
}

class KeyboardTest : public ViewTest {
 protected:
  void SetUp() override {
    ViewTest::SetUp();
    ::SetWindowTextW(view_, L"alpha beta\r\ngamma delta\r\nlast");
    ::SetFocus(view_);
  }
};

TEST_F(KeyboardTest, ArrowsHomeEndAndShiftSelect) {
  Key(view_, VK_RIGHT, true);
  Key(view_, VK_RIGHT, true);
  EXPECT_EQ(Sel(view_), std::make_pair(DWORD{0}, DWORD{2}));
  Key(view_, VK_END);
  EXPECT_EQ(Sel(view_), std::make_pair(DWORD{10}, DWORD{10}));
  Key(view_, VK_RIGHT);  // over CR LF in one step
  EXPECT_EQ(Sel(view_).first, 12u);
  Key(view_, VK_END, true);
  EXPECT_EQ(Sel(view_), std::make_pair(DWORD{12}, DWORD{23}));
  Key(view_, VK_HOME);
  Key(view_, VK_RIGHT, false, true);  // Ctrl+Right: the next word
  EXPECT_EQ(Sel(view_).first, 18u);
  Key(view_, VK_DOWN);
  EXPECT_EQ(Sel(view_).first, 29u);  // "last" is shorter: its end
  // Up and PageUp keep the caret's x: into "gamma", and into "alpha".
  Key(view_, VK_UP, true);
  EXPECT_EQ(Sel(view_), std::make_pair(DWORD{15}, DWORD{29}));
  Key(view_, VK_HOME, true, true);
  EXPECT_EQ(Sel(view_), std::make_pair(DWORD{0}, DWORD{29}));
  Key(view_, VK_END, false, true);
  EXPECT_EQ(Sel(view_), std::make_pair(DWORD{29}, DWORD{29}));
  Key(view_, VK_PRIOR, true);
  EXPECT_EQ(Sel(view_), std::make_pair(DWORD{4}, DWORD{29}));
  Key(view_, VK_NEXT);
  EXPECT_EQ(Sel(view_), std::make_pair(DWORD{29}, DWORD{29}));
}

TEST_F(KeyboardTest, SelectAllCopyAndTypingChangesNothing) {
  ::SendMessageW(view_, WM_CHAR, L'q', 0);
  ::SendMessageW(view_, WM_CHAR, VK_BACK, 0);
  EXPECT_EQ(Text(view_), L"alpha beta\r\ngamma delta\r\nlast");
  ::SendMessageW(view_, WM_CHAR, 0x01, 0);  // Ctrl+A
  EXPECT_EQ(Sel(view_), std::make_pair(DWORD{0}, DWORD{29}));
  SetSel(view_, 6, 10);
  ::SendMessageW(view_, WM_CHAR, 0x03, 0);  // Ctrl+C
  ASSERT_TRUE(::OpenClipboard(host_.hwnd()));
  const auto* copied = static_cast<const wchar_t*>(::GlobalLock(::GetClipboardData(CF_UNICODETEXT)));
  ASSERT_NE(copied, nullptr);
  EXPECT_STREQ(copied, L"beta");
  ::GlobalUnlock(::GetClipboardData(CF_UNICODETEXT));
  ::CloseClipboard();
}

TEST_F(KeyboardTest, EscEnterAndTabAreLeftToTheWindow) {
  // Asked about each of these keys, as a dialog loop asks, the view claims none.
  for (WPARAM key : {VK_ESCAPE, VK_RETURN, VK_TAB}) {
    MSG msg{view_, WM_KEYDOWN, key, 1, 0, {}};
    const auto code = static_cast<UINT>(::SendMessageW(view_, WM_GETDLGCODE, key, reinterpret_cast<LPARAM>(&msg)));
    EXPECT_EQ(code & (DLGC_WANTALLKEYS | DLGC_WANTTAB | DLGC_WANTMESSAGE), 0u) << key;
    EXPECT_NE(code & DLGC_WANTARROWS, 0u) << key;
  }
  host_.received.clear();
  for (WPARAM key : {VK_ESCAPE, VK_RETURN, VK_TAB}) {
    MSG msg{view_, WM_KEYDOWN, key, 1, 0, {}};
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
    ::SendMessageW(view_, WM_CHAR, key, 1);
  }
  test::PumpFor(std::chrono::milliseconds(50));
  for (UINT m : host_.received) {
    EXPECT_NE(m, static_cast<UINT>(WM_CLOSE));
    EXPECT_NE(m, static_cast<UINT>(WM_NEXTDLGCTL));
  }
  EXPECT_EQ(Text(view_), L"alpha beta\r\ngamma delta\r\nlast");
  EXPECT_EQ(::GetWindowLongPtrW(view_, GWL_STYLE) & WS_TABSTOP, 0);
}

class MouseTest : public ViewTest {
 protected:
  void SetUp() override {
    ViewTest::SetUp();
    ::SetWindowTextW(view_, L"alpha beta\r\ngamma delta\r\nlast");
    lineHeight_ = LineHeight();
  }
  [[nodiscard]] int LineHeight() const {
    // The caret's height is the row's.
    SetSel(view_, 12, 12);
    ::SetFocus(view_);
    POINT first{}, second{};
    SetSel(view_, 0, 0);
    ::GetCaretPos(&first);
    SetSel(view_, 12, 12);
    ::GetCaretPos(&second);
    return second.y - first.y;
  }
  void Click(UINT down, int x, int row, WPARAM keys = MK_LBUTTON) const {
    ::SendMessageW(view_, down, keys, At(x, row * lineHeight_ + lineHeight_ / 2));
  }
  int lineHeight_ = 0;
};

TEST_F(MouseTest, ClickDragShiftClickAndDoubleClick) {
  ASSERT_GT(lineHeight_, 0);
  Click(WM_LBUTTONDOWN, 1, 1);
  ::SendMessageW(view_, WM_LBUTTONUP, 0, At(1, lineHeight_));
  EXPECT_EQ(Sel(view_), std::make_pair(DWORD{12}, DWORD{12}));
  EXPECT_EQ(::GetFocus(), view_);
  Click(WM_LBUTTONDOWN, 1, 0);
  Click(WM_MOUSEMOVE, 1000, 2);  // past the end of the last row
  ::SendMessageW(view_, WM_LBUTTONUP, 0, 0);
  EXPECT_EQ(Sel(view_), std::make_pair(DWORD{0}, DWORD{29}));
  Click(WM_LBUTTONDOWN, 1000, 0, MK_LBUTTON | MK_SHIFT);
  ::SendMessageW(view_, WM_LBUTTONUP, 0, 0);
  EXPECT_EQ(Sel(view_), std::make_pair(DWORD{0}, DWORD{10}));
  // The second click of a double click: "beta" without what follows.
  POINT caret{};
  SetSel(view_, 8, 8);
  ::GetCaretPos(&caret);
  ::SendMessageW(view_, WM_LBUTTONDBLCLK, MK_LBUTTON, At(caret.x, caret.y + 1));
  ::SendMessageW(view_, WM_LBUTTONUP, 0, 0);
  EXPECT_EQ(Sel(view_), std::make_pair(DWORD{6}, DWORD{10}));
}

TEST_F(MouseTest, AMouseSelectionSurvivesOutputAndAClickAtTheEndFollows) {
  ASSERT_GT(lineHeight_, 0);
  AppendTo(view_, Lines(0, 2));  // the caret is elsewhere: the view stays at the top
  Click(WM_LBUTTONDOWN, 1, 0);
  Click(WM_MOUSEMOVE, 1000, 1);
  ::SendMessageW(view_, WM_LBUTTONUP, 0, 0);
  const auto selected = Sel(view_);
  ASSERT_EQ(selected, std::make_pair(DWORD{0}, DWORD{23}));
  for (int i = 0; i < 10; ++i) AppendTo(view_, Lines(2 + i * 10, 10));
  EXPECT_EQ(Sel(view_), selected);
  EXPECT_EQ(FirstVisible(view_), 0);
  ::SendMessageW(view_, WM_CHAR, 0x03, 0);  // Ctrl+C
  ASSERT_TRUE(::OpenClipboard(host_.hwnd()));
  const auto* copied = static_cast<const wchar_t*>(::GlobalLock(::GetClipboardData(CF_UNICODETEXT)));
  ASSERT_NE(copied, nullptr);
  EXPECT_STREQ(copied, L"alpha beta\r\ngamma delta");
  ::GlobalUnlock(::GetClipboardData(CF_UNICODETEXT));
  ::CloseClipboard();
  // At the bottom, a click below the text puts the caret at the end: followed.
  ::SendMessageW(view_, WM_VSCROLL, SB_BOTTOM, 0);
  Click(WM_LBUTTONDOWN, 1000, 100);
  ::SendMessageW(view_, WM_LBUTTONUP, 0, 0);
  const LRESULT bottom = FirstVisible(view_);
  AppendTo(view_, Lines(200, 10));
  EXPECT_EQ(Sel(view_), std::make_pair(Length(view_), Length(view_)));
  EXPECT_EQ(FirstVisible(view_), bottom + 10);
}

// Where the last context menu opened, on the screen.
RECT menuPlace{};

// Chooses a menu item by its access key once the context menu is open.
void ChooseFromMenuSoon(wchar_t key) {
  static wchar_t chosen;  // a timer procedure has no context of its own
  chosen = key;
  ::SetTimer(nullptr, 0, 200, [](HWND, UINT, UINT_PTR id, DWORD) {
    const HWND menu = ::FindWindowW(L"#32768", nullptr);
    if (menu == nullptr) return;
    ::KillTimer(nullptr, id);
    ::GetWindowRect(menu, &menuPlace);
    ::PostMessageW(menu, WM_CHAR, chosen, 0);
  });
}

TEST_F(MouseTest, TheContextMenuSelectsAllAndCopies) {
  SetSel(view_, 3, 3);
  ChooseFromMenuSoon(L'a');
  ::SendMessageW(view_, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(view_), -1);  // from the keyboard
  EXPECT_EQ(Sel(view_), std::make_pair(DWORD{0}, DWORD{29}));
  // The system's keyboard form has -1 in both words; the menu opens at the caret.
  RECT view{};
  ::GetWindowRect(view_, &view);
  SetSel(view_, 3, 3);
  ChooseFromMenuSoon(L'a');
  ::SendMessageW(view_, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(view_), MAKELPARAM(-1, -1));
  EXPECT_EQ(Sel(view_), std::make_pair(DWORD{0}, DWORD{29}));
  EXPECT_GE(menuPlace.left, view.left);
  EXPECT_LT(menuPlace.left, view.right);
  SetSel(view_, 0, 5);
  ChooseFromMenuSoon(L'c');
  RECT r{};
  ::GetWindowRect(view_, &r);
  ::SendMessageW(view_, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(view_), MAKELPARAM(r.left + 20, r.top + 5));
  ASSERT_TRUE(::OpenClipboard(host_.hwnd()));
  const auto* copied = static_cast<const wchar_t*>(::GlobalLock(::GetClipboardData(CF_UNICODETEXT)));
  ASSERT_NE(copied, nullptr);
  EXPECT_STREQ(copied, L"alpha");
  ::GlobalUnlock(::GetClipboardData(CF_UNICODETEXT));
  ::CloseClipboard();
}

// The first and the last item of the context menu that opened, which is then closed.
std::wstring menuItems;

// The timer's id: one that found no menu must be stopped.
UINT_PTR ReadMenuSoon() {
  menuItems.clear();
  return ::SetTimer(nullptr, 0, 100, [](HWND, UINT, UINT_PTR id, DWORD) {
    const HWND window = ::FindWindowW(L"#32768", nullptr);
    if (window == nullptr) return;
    ::KillTimer(nullptr, id);
    const auto menu = reinterpret_cast<HMENU>(::SendMessageW(window, MN_GETHMENU, 0, 0));
    wchar_t first[64] = {}, last[64] = {};
    ::GetMenuStringW(menu, 0, first, 64, MF_BYPOSITION);
    ::GetMenuStringW(menu, ::GetMenuItemCount(menu) - 1, last, 64, MF_BYPOSITION);
    menuItems = std::wstring(first) + L"|" + last;
    ::EndMenu();
  });
}

TEST_F(MouseTest, TheScrollBarKeepsTheSystemsMenuAndTheKeyboardsOpensAtTheCaret) {
  RECT window{}, client{};
  ::GetWindowRect(view_, &window);
  ::GetClientRect(view_, &client);
  POINT origin{0, 0};
  ::ClientToScreen(view_, &origin);
  const POINT onBar{origin.x + client.right + 4, origin.y + client.bottom / 2};
  ASSERT_LT(onBar.x, window.right);
  const UINT_PTR reading = ReadMenuSoon();
  ::SendMessageW(view_, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(view_), MAKELPARAM(onBar.x, onBar.y));
  test::PumpFor(std::chrono::milliseconds(300));
  ::KillTimer(nullptr, reading);
  // The view's own menu did not open there (Windows may show the scroll bar's).
  EXPECT_EQ(menuItems.find(L"&Copy"), std::wstring::npos);
  for (LPARAM at : {MAKELPARAM(-1, -1), MAKELPARAM(origin.x + 5, origin.y + 5)}) {
    ReadMenuSoon();
    ::SendMessageW(view_, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(view_), at);
    EXPECT_EQ(menuItems, L"&Copy|&Save As...\tCtrl+S");
  }
}

TEST_F(MouseTest, SaveAsFromTheContextMenuAsksForAPath) {
  int asked = 0;
  OutputView::From(view_)->UseSaveAsUi({[&](HWND, const std::wstring&) {
                                          ++asked;
                                          return std::optional<std::wstring>();
                                        },
                                        [](HWND, const std::wstring&) {}});
  ChooseFromMenuSoon(L's');
  ::SendMessageW(view_, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(view_), MAKELPARAM(-1, -1));
  EXPECT_EQ(asked, 1);
}

TEST_F(ViewTest, ScrollBarReachesRowsPast65535) {
  std::wstring lines;
  for (int i = 0; i < 70000; ++i) lines += L"r\r\n";
  const TextBox view{{view_}};
  view.Append(lines);
  SCROLLINFO info{};
  info.cbSize = sizeof info;
  info.fMask = SIF_ALL;
  ASSERT_TRUE(::GetScrollInfo(view_, SB_VERT, &info));
  EXPECT_EQ(info.nMax, 70000);  // rows 0..70000: the last is empty
  const LRESULT rows = ::SendMessageW(view_, EM_GETLINECOUNT, 0, 0);
  EXPECT_EQ(info.nPos, rows - static_cast<int>(info.nPage));  // Append scrolled to the caret
  ::SendMessageW(view_, WM_VSCROLL, SB_TOP, 0);
  EXPECT_EQ(::SendMessageW(view_, EM_GETFIRSTVISIBLELINE, 0, 0), 0);
  ::SendMessageW(view_, WM_MOUSEWHEEL, MAKEWPARAM(0, -WHEEL_DELTA), 0);
  UINT perNotch = 3;
  ::SystemParametersInfoW(SPI_GETWHEELSCROLLLINES, 0, &perNotch, 0);
  EXPECT_EQ(::SendMessageW(view_, EM_GETFIRSTVISIBLELINE, 0, 0), static_cast<LRESULT>(perNotch));
  ::SendMessageW(view_, WM_VSCROLL, SB_BOTTOM, 0);
  EXPECT_EQ(::SendMessageW(view_, EM_GETFIRSTVISIBLELINE, 0, 0), rows - static_cast<LRESULT>(info.nPage));
  ::SendMessageW(view_, WM_VSCROLL, SB_PAGEUP, 0);
  EXPECT_EQ(::SendMessageW(view_, EM_GETFIRSTVISIBLELINE, 0, 0), rows - 2 * static_cast<LRESULT>(info.nPage));
}

TEST_F(ViewTest, WrapsWordsWithinItsWidthAsTheEditControl) {
  // Words of ping output wrap at spaces; a word wider than the box is broken.
  std::wstring text;
  for (int i = 0; i < 30; ++i) text += L"Reply from 192.0.2.1: bytes=32 time<1ms TTL=128 and some more words\r\n";
  text += std::wstring(300, L'w') + L"\r\nend";
  for (HWND box : {edit_, view_}) ::SetWindowTextW(box, text.c_str());
  EXPECT_EQ(::SendMessageW(view_, EM_GETLINECOUNT, 0, 0), ::SendMessageW(edit_, EM_GETLINECOUNT, 0, 0));
  for (int row = 0; row < 4; ++row) {
    EXPECT_EQ(::SendMessageW(view_, EM_LINEINDEX, row, 0), ::SendMessageW(edit_, EM_LINEINDEX, row, 0)) << row;
  }
}

TEST_F(ViewTest, LinesOfTheCaretAndOfTheSelectionAsTheEditControl) {
  for (HWND box : {edit_, view_}) ::SetWindowTextW(box, L"alpha beta\r\ngamma delta\r\nlast");
  // -1 asks for the line where the selection starts, whichever end the caret is at;
  // it is an int, also when only its low 32 bits are set.
  for (const auto& [start, end] : {std::pair{2, 20}, std::pair{20, 2}, std::pair{14, 14}, std::pair{0, -1}}) {
    for (WPARAM which : {static_cast<WPARAM>(-1), WPARAM{0xFFFFFFFFu}, WPARAM{13}, WPARAM{1000}}) {
      SetSel(edit_, start, end);
      SetSel(view_, start, end);
      EXPECT_EQ(::SendMessageW(view_, EM_LINEFROMCHAR, which, 0), ::SendMessageW(edit_, EM_LINEFROMCHAR, which, 0))
          << start << ".." << end << " at " << which;
      EXPECT_EQ(::SendMessageW(view_, EM_LINEINDEX, which, 0), ::SendMessageW(edit_, EM_LINEINDEX, which, 0))
          << start << ".." << end << " at " << which;
    }
  }
}

TEST_F(ViewTest, ANewFontRelaysTheRowsAndIsReturned) {
  const std::wstring text(600, L'm');
  ::SetWindowTextW(view_, text.c_str());
  const LRESULT rowsSmall = ::SendMessageW(view_, EM_GETLINECOUNT, 0, 0);
  const UniqueFont big = MakeArialFont(8.25, false, 192);  // the same font at 200 %
  ::SendMessageW(view_, WM_SETFONT, reinterpret_cast<WPARAM>(big.get()), TRUE);
  EXPECT_EQ(reinterpret_cast<HFONT>(::SendMessageW(view_, WM_GETFONT, 0, 0)), big.get());
  EXPECT_GT(::SendMessageW(view_, EM_GETLINECOUNT, 0, 0), rowsSmall);
  // A narrower box wraps into more rows again.
  ::SendMessageW(view_, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), TRUE);
  ::SetWindowPos(view_, nullptr, 0, 0, kWidth / 2, kHeight, SWP_NOMOVE | SWP_NOZORDER);
  EXPECT_GT(::SendMessageW(view_, EM_GETLINECOUNT, 0, 0), rowsSmall);
}

}  // namespace
}  // namespace vexlo
