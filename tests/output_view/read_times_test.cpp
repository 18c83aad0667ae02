// Each line's read time: kept with the text, shown in a gutter that only moves the text.
#include <gtest/gtest.h>

#include <string>

#include "controls/controls.h"
#include "output_view/output_view_impl.h"
#include "output_view/view_test_support.h"

namespace vexlo {
namespace {

constexpr std::int64_t kFirst = 133'000'000'000'000'000;  // whole milliseconds
constexpr std::int64_t kSecond = kFirst + 75'000'000;

class ReadTimesTest : public test::ViewTest {
 protected:
  void SetUp() override {
    ViewTest::SetUp();
    group_.Add(view_);
  }
  static POINT PosFromChar(HWND box, WPARAM at) {
    const auto packed = static_cast<DWORD>(::SendMessageW(box, EM_POSFROMCHAR, at, 0));
    return {static_cast<short>(LOWORD(packed)), static_cast<short>(HIWORD(packed))};
  }
  static std::wstring Line(HWND box, WPARAM line) {
    wchar_t buffer[128] = {};
    *reinterpret_cast<WORD*>(buffer) = 127;
    const auto n = ::SendMessageW(box, EM_GETLINE, line, reinterpret_cast<LPARAM>(buffer));
    return std::wstring(buffer, static_cast<std::size_t>(n));
  }
  OutputViews group_;
  TextBox box_;
};

TEST_F(ReadTimesTest, ShowTimesMovesTheTextByTheGutterAndLeavesItsCharactersAlone) {
  box_.hwnd = view_;
  ::SetWindowTextW(view_, L"set\r\n");  // no time
  box_.Append(L"first line\r\nsecond\r\n", ReadTimes{{0, kFirst}, {12, kSecond}});
  const OutputView& view = *OutputView::From(view_);
  EXPECT_EQ(view.TimeAt(0), std::nullopt);
  EXPECT_EQ(view.TimeAt(5), kFirst);
  EXPECT_EQ(view.TimeAt(10), kFirst);
  EXPECT_EQ(view.TimeAt(17), kSecond);
  const std::wstring text = Text(view_);
  const std::wstring line = Line(view_, 2);
  const POINT before = PosFromChar(view_, 17);
  group_.ShowTimes(true);
  EXPECT_TRUE(group_.TimesShown());
  const int gutter = view.GutterWidth();
  ASSERT_GT(gutter, 0);
  EXPECT_EQ(Text(view_), text);
  EXPECT_EQ(::SendMessageW(view_, WM_GETTEXTLENGTH, 0, 0), static_cast<LRESULT>(text.size()));
  EXPECT_EQ(Line(view_, 2), line);
  EXPECT_EQ(line, L"second");
  const POINT shown = PosFromChar(view_, 17);
  EXPECT_EQ(shown.x, before.x + gutter);
  EXPECT_EQ(shown.y, before.y);
  // A click at the character's place finds it.
  EXPECT_EQ(LOWORD(::SendMessageW(view_, EM_CHARFROMPOS, 0, MAKELPARAM(shown.x + 1, shown.y + 1))), 17);
  ::UpdateWindow(view_);  // the gutter is painted without a fault
  // Copy takes the selected text alone.
  SetSel(view_, 5, 23);
  ::SendMessageW(view_, WM_COPY, 0, 0);
  std::wstring copied;
  if (::OpenClipboard(nullptr)) {
    if (const HANDLE data = ::GetClipboardData(CF_UNICODETEXT)) {
      if (const auto* chars = static_cast<const wchar_t*>(::GlobalLock(data))) {
        copied = chars;
        ::GlobalUnlock(data);
      }
    }
    ::CloseClipboard();
  }
  EXPECT_EQ(copied, L"first line\r\nsecond");
  group_.ShowTimes(false);
  EXPECT_EQ(view.GutterWidth(), 0);
  EXPECT_EQ(PosFromChar(view_, 17).x, before.x);
}

TEST_F(ReadTimesTest, TheGutterTakesItsWidthFromTheRows) {
  box_.hwnd = view_;
  std::wstring longLine;
  while (longLine.size() < 400) longLine += L"Reply from 192.0.2.1 ";
  box_.Append(longLine + L"\r\n", ReadTimes{{0, kFirst}});
  const LRESULT rows = ::SendMessageW(view_, EM_GETLINECOUNT, 0, 0);
  group_.ShowTimes(true);
  // The narrower rows need more of them; the text is what it was.
  EXPECT_GT(::SendMessageW(view_, EM_GETLINECOUNT, 0, 0), rows);
  EXPECT_EQ(Text(view_), longLine + L"\r\n");
}

LOGFONTW FontOf(HWND box) {
  LOGFONTW font{};
  EXPECT_NE(::GetObjectW(reinterpret_cast<HFONT>(::SendMessageW(box, WM_GETFONT, 0, 0)), sizeof font, &font), 0);
  return font;
}

TEST_F(ReadTimesTest, FixedWidthFontHasTheWindowsSizeAndFollowsANewOne) {
  const HFONT windowFont = reinterpret_cast<HFONT>(::SendMessageW(view_, WM_GETFONT, 0, 0));
  LOGFONTW given{};
  ASSERT_NE(::GetObjectW(windowFont, sizeof given, &given), 0);
  group_.UseFixedFont(true);
  LOGFONTW fixed = FontOf(view_);
  EXPECT_EQ(fixed.lfHeight, given.lfHeight);
  EXPECT_NE(std::wstring(fixed.lfFaceName), std::wstring(given.lfFaceName));
  // A new DPI: the window gives a larger font.
  LOGFONTW larger = given;
  larger.lfHeight = given.lfHeight * 2;
  UniqueFont newFont(::CreateFontIndirectW(&larger));
  ::SendMessageW(view_, WM_SETFONT, reinterpret_cast<WPARAM>(newFont.get()), TRUE);
  fixed = FontOf(view_);
  EXPECT_EQ(fixed.lfHeight, larger.lfHeight);
  ::UpdateWindow(view_);
  group_.UseFixedFont(false);
  EXPECT_EQ(reinterpret_cast<HFONT>(::SendMessageW(view_, WM_GETFONT, 0, 0)), newFont.get());
  ::SendMessageW(view_, WM_SETFONT, reinterpret_cast<WPARAM>(windowFont), FALSE);
}

}  // namespace
}  // namespace vexlo
