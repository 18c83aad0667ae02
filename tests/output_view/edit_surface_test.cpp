// The view beside a real read-only multi-line edit control: the messages that read
// lines and positions, scroll, and the keys that move the caret give the same results.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <string>
#include <tuple>

#include "output_view/view_test_support.h"

namespace vexlo {
namespace {

using test::ViewTest;

// Random output: CR LF, a lone CR, a lone LF, tabs, surrogate pairs. A CR LF follows
// every two pieces, so that no line reaches the edge: near it the edit control's
// fractional widths and the view's whole pixels may wrap a word apart.
class Texts {
 public:
  explicit Texts(unsigned seed) : random_(seed) {}
  std::wstring Next(std::size_t tokens, bool pairs) {
    std::wstring s;
    // No space comes before a CR: on Wine it takes no room there.
    for (std::size_t token = 0; token < tokens; ++token) {
      if (token % 2 == 1) s += L".\r\n";
      switch (Below(pairs ? 9 : 8)) {
        case 0: s += L".\r\n"; break;
        // A lone CR or LF is followed by a letter: CR CR LF is a soft break of its own.
        case 1: s += L"q\rq"; break;
        case 2: s += L"q\nq"; break;
        case 3: s += L"x\tx"; break;  // on Wine a space beside a tab takes no room
        case 4: s += std::wstring(Below(15) + 1, L'w') + L' '; break;
        case 5: s += L" "; break;
        case 8: s += L"\U0001F600"; break;
        default: s += L"Reply from 192.0.2.1 "; break;
      }
    }
    return s;
  }
  unsigned Below(unsigned n) { return std::uniform_int_distribution<unsigned>(0, n - 1)(random_); }

 private:
  std::mt19937 random_;
};

// The edit control on Wine breaks lines at a lone LF; Windows' breaks only at CR LF,
// as the view does. The edit control gets a lone CR there, which takes no room either
// and breaks nothing.
constexpr wchar_t kLoneLf = L'\r';

std::wstring ForTheEditControl(std::wstring text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == L'\n' && (i == 0 || text[i - 1] != L'\r')) text[i] = kLoneLf;
  }
  return text;
}

class EditSurfaceTest : public ViewTest {
 protected:
  // A font of whole-pixel widths: the edit control on Wine measures a scalable font in
  // fractions, and a hit at a character's middle may then round the other way.
  void UseFixedFont() const {
    for (HWND box : {edit_, view_}) ::SendMessageW(box, WM_SETFONT, reinterpret_cast<WPARAM>(::GetStockObject(ANSI_FIXED_FONT)), TRUE);
  }
  void SetBoth(const std::wstring& text) {
    ::SetWindowTextW(edit_, ForTheEditControl(text).c_str());
    ::SetWindowTextW(view_, text.c_str());
    // The edit control draws its own border inside its client area; the view's lies
    // outside. The same rectangle makes the same rows.
    RECT rect{};
    ::SendMessageW(edit_, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&rect));
    ::SendMessageW(view_, EM_SETRECTNP, 0, reinterpret_cast<LPARAM>(&rect));
  }
  void ExpectSame(UINT msg, WPARAM wp, LPARAM lp, const std::string& where) const {
    EXPECT_EQ(::SendMessageW(view_, msg, wp, lp), ::SendMessageW(edit_, msg, wp, lp))
        << where << " message " << std::hex << msg << " wp " << std::dec << static_cast<long long>(wp);
  }
  void ExpectSameLine(WPARAM line, WORD capacity, const std::string& where) const {
    wchar_t fromEdit[200], fromView[200];
    std::fill(std::begin(fromEdit), std::end(fromEdit), L'#');
    std::fill(std::begin(fromView), std::end(fromView), L'#');
    *reinterpret_cast<WORD*>(fromEdit) = *reinterpret_cast<WORD*>(fromView) = capacity;
    const LRESULT e = ::SendMessageW(edit_, EM_GETLINE, line, reinterpret_cast<LPARAM>(fromEdit));
    const LRESULT v = ::SendMessageW(view_, EM_GETLINE, line, reinterpret_cast<LPARAM>(fromView));
    EXPECT_EQ(v, e) << where << " line " << static_cast<long long>(line);
    const std::size_t copied = std::clamp<LRESULT>(e, 0, 200);
    const std::wstring viewLine = ForTheEditControl(std::wstring(fromView, copied)) + std::wstring(fromView + copied, 200 - copied);
    EXPECT_EQ(viewLine, std::wstring(fromEdit, 200))
        << where << " line " << static_cast<long long>(line);
  }
};

TEST_F(EditSurfaceTest, ReportsTheStylesOfAReadOnlyMultiLineEdit) {
  const LONG_PTR style = ::GetWindowLongPtrW(view_, GWL_STYLE);
  EXPECT_EQ(style & (ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL), ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL);
  EXPECT_NE(style & WS_VSCROLL, 0);
  EXPECT_EQ(::SendMessageW(view_, EM_SETREADONLY, TRUE, 0), ::SendMessageW(edit_, EM_SETREADONLY, TRUE, 0));
  EXPECT_EQ(::SendMessageW(view_, EM_GETPASSWORDCHAR, 0, 0), ::SendMessageW(edit_, EM_GETPASSWORDCHAR, 0, 0));
  EXPECT_EQ(::SendMessageW(view_, EM_GETWORDBREAKPROC, 0, 0), ::SendMessageW(edit_, EM_GETWORDBREAKPROC, 0, 0));
}

TEST_F(EditSurfaceTest, LinesPositionsAndHitsMatchOnRandomTexts) {
  for (unsigned seed = 1; seed <= 6; ++seed) {
    Texts texts(seed);
    UseFixedFont();
    SetBoth(texts.Next(20 + texts.Below(60), false));
    const std::wstring text = Text(view_);
    const std::string where = "seed " + std::to_string(seed);
    const auto lines = static_cast<int>(::SendMessageW(view_, EM_GETLINECOUNT, 0, 0));
    ASSERT_EQ(lines, ::SendMessageW(edit_, EM_GETLINECOUNT, 0, 0)) << where;
    for (int line = -1; line <= lines + 1; ++line) {
      ExpectSame(EM_LINEINDEX, static_cast<WPARAM>(line), 0, where);
      ExpectSameLine(static_cast<WPARAM>(line), 150, where);
      ExpectSameLine(static_cast<WPARAM>(line), 3, where);
    }
    for (std::size_t i = 0; i <= text.size() + 1; ++i) {
      ExpectSame(EM_LINEFROMCHAR, i, 0, where);
      if (i <= text.size()) {
        ExpectSame(EM_LINELENGTH, i, 0, where);
      } else {
        // Past the text there is no line; the edit control on Wine answers with the last.
        EXPECT_EQ(::SendMessageW(view_, EM_LINELENGTH, i, 0), 0) << where;
      }
      // Inside a surrogate pair the edit control places the halves apart.
      if (i < text.size() && text[i] >= 0xDC00 && text[i] <= 0xDFFF) continue;
      const bool lineBreak = i < text.size() && (text.compare(i, 2, L"\r\n") == 0 || (i > 0 && text.compare(i - 1, 2, L"\r\n") == 0));
      if (!lineBreak) {
        ExpectSame(EM_POSFROMCHAR, i, 0, where);
        continue;
      }
      // A line break stands just past its line's last character; the edit control on
      // Wine puts it at the line's start. Only the line is the same.
      const LRESULT atBreak = ::SendMessageW(view_, EM_POSFROMCHAR, i, 0);
      EXPECT_EQ(HIWORD(atBreak), HIWORD(::SendMessageW(edit_, EM_POSFROMCHAR, i, 0))) << where << " at " << i;
      const std::size_t before = text[i] == L'\r' ? i : i - 1;
      if (before > 0 && text[before - 1] != L'\n' && text[before - 1] != L'\r' && text[before - 1] != L'\t') {
        LRESULT lastChar = ::SendMessageW(view_, EM_POSFROMCHAR, before - 1, 0);
        EXPECT_GT(LOWORD(atBreak), LOWORD(lastChar)) << where << " at " << i;
      }
    }
    // Within both client areas: the edit control's border is its own, inside it.
    RECT client{}, editClient{};
    ::GetClientRect(view_, &client);
    ::GetClientRect(edit_, &editClient);
    client.right = std::min(client.right, editClient.right);
    client.bottom = std::min(client.bottom, editClient.bottom);
    for (int y = -3; y < client.bottom; y += 5) {
      for (int x = -3; x < client.right; x += 7) {
        const LRESULT v = ::SendMessageW(view_, EM_CHARFROMPOS, 0, MAKELPARAM(x, y));
        const LRESULT e = ::SendMessageW(edit_, EM_CHARFROMPOS, 0, MAKELPARAM(x, y));
        if (e == -1 || v == -1) {
          EXPECT_EQ(v, e) << where << " at " << x << ", " << y;
          continue;
        }
        EXPECT_EQ(HIWORD(v), HIWORD(e)) << where << " at " << x << ", " << y;
        EXPECT_EQ(LOWORD(v), LOWORD(e)) << where << " at " << x << ", " << y;
      }
    }
    if (HasFailure()) return;
  }
}

TEST_F(EditSurfaceTest, ScrollingMatchesAndFollowsTheDocumentation) {
  std::wstring text;
  for (int i = 0; i < 100; ++i) text += L"line " + std::to_wstring(i) + L"\r\n";
  SetBoth(text);
  for (int lines : {1, 5, -2, 30, -100}) {
    ExpectSame(EM_LINESCROLL, 0, lines, "line scroll");
    ExpectSame(EM_GETFIRSTVISIBLELINE, 0, 0, "after line scroll");
    ExpectSame(EM_GETTHUMB, 0, 0, "after line scroll");
    ExpectSame(EM_POSFROMCHAR, 40, 0, "after line scroll");
  }
  for (WPARAM action : {SB_LINEDOWN, SB_PAGEDOWN, SB_LINEDOWN, SB_PAGEUP, SB_LINEUP}) {
    ExpectSame(EM_SCROLL, action, 0, "scroll");
    ExpectSame(EM_GETFIRSTVISIBLELINE, 0, 0, "after scroll");
  }
  ExpectSame(EM_SCROLL, SB_TOP, 0, "not a command for EM_SCROLL");
  // Past the end, the last line is scrolled to the top.
  ::SendMessageW(view_, EM_LINESCROLL, 0, 1000);
  EXPECT_EQ(::SendMessageW(view_, EM_GETFIRSTVISIBLELINE, 0, 0), 100);
  // At the end, EM_SCROLL still says how far its command scrolls.
  EXPECT_EQ(::SendMessageW(view_, EM_SCROLL, SB_LINEDOWN, 0), MAKELONG(1, TRUE));
}

TEST_F(EditSurfaceTest, RectMarginsTabsModifyAndUndoMatch) {
  SetBoth(L"a\tb\tc\td\r\nalpha beta");
  for (HWND box : {edit_, view_}) ::SendMessageW(box, EM_SETMARGINS, EC_LEFTMARGIN | EC_RIGHTMARGIN, MAKELPARAM(7, 9));
  ExpectSame(EM_GETMARGINS, 0, 0, "margins");
  RECT fromEdit{}, fromView{};
  ::SendMessageW(edit_, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&fromEdit));
  ::SendMessageW(view_, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&fromView));
  EXPECT_EQ(fromView.left, fromEdit.left);
  EXPECT_EQ(fromView.right, fromEdit.right);
  for (std::size_t i = 0; i < 8; ++i) ExpectSame(EM_POSFROMCHAR, i, 0, "default tabs");
  const int two[] = {10, 30};
  ExpectSame(EM_SETTABSTOPS, 2, reinterpret_cast<LPARAM>(two), "two stops");
  for (std::size_t i = 0; i < 8; ++i) ExpectSame(EM_POSFROMCHAR, i, 0, "two stops, then every 32");
  const int one[] = {12};
  ExpectSame(EM_SETTABSTOPS, 1, reinterpret_cast<LPARAM>(one), "one stop");
  for (std::size_t i = 0; i < 8; ++i) ExpectSame(EM_POSFROMCHAR, i, 0, "every 12");
  ExpectSame(EM_SETTABSTOPS, 0, 0, "default stops");
  for (std::size_t i = 0; i < 8; ++i) ExpectSame(EM_POSFROMCHAR, i, 0, "default stops again");
  RECT set{20, 10, 200, 100};
  ::SendMessageW(view_, EM_SETRECT, 0, reinterpret_cast<LPARAM>(&set));
  ::SendMessageW(view_, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&fromView));
  EXPECT_EQ(fromView.left, 20);
  EXPECT_EQ(::SendMessageW(view_, EM_POSFROMCHAR, 0, 0), MAKELONG(20, 10));
  // Null restores the default rectangle.
  ::SendMessageW(view_, EM_SETRECT, 0, 0);
  ::SendMessageW(view_, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&fromView));
  EXPECT_EQ(fromView.left, 7);
  EXPECT_EQ(fromView.top, 0);
  // The modify flag: set by a replacement, cleared by WM_SETTEXT and EM_SETMODIFY.
  for (HWND box : {edit_, view_}) ::SetWindowTextW(box, L"q");
  ExpectSame(EM_GETMODIFY, 0, 0, "after WM_SETTEXT");
  for (HWND box : {edit_, view_}) Replace(box, L"x");
  ExpectSame(EM_GETMODIFY, 0, 0, "after EM_REPLACESEL");
  for (HWND box : {edit_, view_}) ::SendMessageW(box, EM_SETMODIFY, FALSE, 0);
  ExpectSame(EM_GETMODIFY, 0, 0, "after EM_SETMODIFY");
  // -1: the characters not selected on the lines the selection touches.
  for (HWND box : {edit_, view_}) ::SetWindowTextW(box, L"alpha beta\r\ngamma delta\r\nlast");
  // Wine's edit control counts only part of them.
  for (const auto& [start, end, unselected] : {std::tuple{0, 0, 10}, std::tuple{3, 14, 12}, std::tuple{14, 3, 12},
                                               std::tuple{14, 20, 5}, std::tuple{12, 23, 0}}) {
    SetSel(view_, start, end);
    EXPECT_EQ(::SendMessageW(view_, EM_LINELENGTH, static_cast<WPARAM>(-1), 0), unselected) << start << ".." << end;
  }
  ExpectSame(EM_CANUNDO, 0, 0, "nothing to undo");
  ExpectSame(EM_UNDO, 0, 0, "a read-only control undoes nothing");
  EXPECT_EQ(Text(view_), L"alpha beta\r\ngamma delta\r\nlast");
}

TEST_F(EditSurfaceTest, MessagesPast65535CharactersAndLines) {
  std::wstring text;
  for (int i = 0; i < 70000; ++i) text += L"r\r\n";
  text += L"end";
  SetBoth(text);
  for (WPARAM line : {WPARAM{0}, WPARAM{65535}, WPARAM{65536}, WPARAM{69999}, WPARAM{70000}, WPARAM{70001}}) {
    ExpectSame(EM_LINEINDEX, line, 0, "big");
    ExpectSameLine(line, 10, "big");
  }
  for (WPARAM i : {WPARAM{65534}, WPARAM{65536}, WPARAM{209999}, WPARAM{210002}, WPARAM{210003}}) {
    ExpectSame(EM_LINEFROMCHAR, i, 0, "big");
    ExpectSame(EM_LINELENGTH, i, 0, "big");
  }
  for (HWND box : {edit_, view_}) ::SendMessageW(box, EM_LINESCROLL, 0, 69000);
  ExpectSame(EM_GETFIRSTVISIBLELINE, 0, 0, "big");
  ExpectSame(EM_POSFROMCHAR, 70000 * 3, 0, "big");
  ExpectSame(EM_CHARFROMPOS, 0, MAKELPARAM(10, 20), "big: both words keep 16 bits");
}

// The caret reaches the empty line after a final CR LF, as in the edit control.
TEST_F(EditSurfaceTest, TheCaretReachesTheEndAfterAFinalCrLf) {
  SetBoth(L"alpha beta\r\ngamma\r\n");
  const DWORD end = 19;
  ::SetFocus(view_);
  SetSel(view_, end, end);
  Key(view_, VK_END);
  EXPECT_EQ(Sel(view_), std::make_pair(end, end)) << "End";
  Key(view_, VK_UP);
  Key(view_, VK_DOWN);
  EXPECT_EQ(Sel(view_), std::make_pair(end, end)) << "Up, then Down";
  RECT client{};
  ::GetClientRect(view_, &client);
  ::SendMessageW(view_, WM_LBUTTONDOWN, MK_LBUTTON, At(100, client.bottom - 3));
  ::SendMessageW(view_, WM_LBUTTONUP, 0, At(100, client.bottom - 3));
  EXPECT_EQ(Sel(view_), std::make_pair(end, end)) << "a click below the text";
  ::SendMessageW(view_, WM_LBUTTONDOWN, MK_LBUTTON, At(1, 3));
  ::SendMessageW(view_, WM_MOUSEMOVE, MK_LBUTTON, At(100, client.bottom - 3));
  ::SendMessageW(view_, WM_LBUTTONUP, 0, At(100, client.bottom - 3));
  EXPECT_EQ(Sel(view_), std::make_pair(DWORD{0}, end)) << "a drag below the text";
  Key(view_, VK_HOME, false, true);
  Key(view_, VK_END, true, true);
  EXPECT_EQ(Sel(view_), std::make_pair(DWORD{0}, end)) << "Ctrl+Home, then Shift+Ctrl+End";
}

TEST_F(EditSurfaceTest, ASurrogatePairIsOneStepForKeysAndClicks) {
  const std::wstring text = L"a\U0001F600b\r\n\U0001F600";
  ::SetWindowTextW(view_, text.c_str());
  ::SetFocus(view_);
  Key(view_, VK_RIGHT);
  Key(view_, VK_RIGHT);
  EXPECT_EQ(Sel(view_).first, 3u);
  Key(view_, VK_LEFT, true);
  EXPECT_EQ(Sel(view_), std::make_pair(DWORD{1}, DWORD{3}));
  Key(view_, VK_END, false, true);
  Key(view_, VK_LEFT);
  EXPECT_EQ(Sel(view_).first, 6u);
  // A click anywhere on the pair lands before or after it, never between.
  LRESULT pairAt = ::SendMessageW(view_, EM_POSFROMCHAR, 1, 0);
  const LRESULT afterAt = ::SendMessageW(view_, EM_POSFROMCHAR, 3, 0);
  for (int x = LOWORD(pairAt); x <= LOWORD(afterAt); ++x) {
    ::SendMessageW(view_, WM_LBUTTONDOWN, MK_LBUTTON, At(x, HIWORD(pairAt) + 2));
    ::SendMessageW(view_, WM_LBUTTONUP, 0, 0);
    const DWORD at = Sel(view_).first;
    EXPECT_TRUE(at == 1 || at == 3) << x << " gives " << at;
  }
}

// Random keys, with and without Shift, move the caret and the selection as in the edit
// control: a step that stops inside CR LF or loses a row shows at once.
TEST_F(EditSurfaceTest, RandomKeysMoveAsInTheEditControl) {
  static constexpr WPARAM kKeys[] = {VK_LEFT, VK_RIGHT, VK_UP, VK_DOWN, VK_HOME, VK_END, VK_PRIOR, VK_NEXT};
  for (unsigned seed = 1; seed <= 4; ++seed) {
    Texts texts(seed);
    // The edit control on Wine steps into a surrogate pair; those have a test of their own.
    UseFixedFont();
    SetBoth(texts.Next(40 + texts.Below(120), false));
    for (HWND box : {edit_, view_}) ::SendMessageW(box, EM_SETSEL, 0, 0);
    for (int step = 0; step < 300; ++step) {
      const WPARAM key = kKeys[texts.Below(8)];
      const bool shift = texts.Below(3) == 0;
      const bool ctrl = (key == VK_HOME || key == VK_END) && texts.Below(4) == 0;
      Key(edit_, key, shift, ctrl);
      Key(view_, key, shift, ctrl);
      DWORD es = 0, ee = 0, vs = 0, ve = 0;
      ::SendMessageW(edit_, EM_GETSEL, reinterpret_cast<WPARAM>(&es), reinterpret_cast<LPARAM>(&ee));
      ::SendMessageW(view_, EM_GETSEL, reinterpret_cast<WPARAM>(&vs), reinterpret_cast<LPARAM>(&ve));
      ASSERT_EQ(std::make_pair(vs, ve), std::make_pair(es, ee))
          << "seed " << seed << " step " << step << " key " << key << (shift ? " shift" : "") << (ctrl ? " ctrl" : "");
    }
  }
}

}  // namespace
}  // namespace vexlo
