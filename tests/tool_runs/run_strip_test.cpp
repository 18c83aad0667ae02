// The run strips through the real window, with the scripted tool playing ping and tracert.
#include <gtest/gtest.h>

#include <windows.h>
#include <oleacc.h>

#include <string>

#include "main_window/frm_vexlo.h"
#include "run_strip/strip_colors.h"
#include "support/form_test.h"
#include "support/scripted_tool_launcher.h"
#include "support/test_support.h"

namespace vexlo {
namespace {

// Each run prints a ping transcript (8 probes, the 3rd and 8th lost) and then a
// tracert transcript (5 hops, the 4th all stars): ping's facts read the first, tracert's the second.
constexpr wchar_t kScript[] = L"pingrun 8 0 tracertrun 5 0";
constexpr wchar_t kPingLine[] =
    L"sent 8 \x00B7 received 6 \x00B7 lost 2 (25 %) \x00B7 min 5 ms \x00B7 avg 21.7 ms \x00B7 max 36 ms \x00B7 "
    L"jitter 19.6 ms";
constexpr wchar_t kTraceLine[] = L"hops 5 \x00B7 replied 4 \x00B7 slowest hop 5 (25 ms)";

// Shown, on the page in front (the window itself stays hidden in these tests).
bool InView(const RunStrip& strip) {
  return strip.Visible() && (::GetWindowLongPtrW(::GetParent(strip.hwnd()), GWL_STYLE) & WS_VISIBLE) != 0;
}

RECT RectInParent(HWND hwnd) {
  RECT r{};
  ::GetWindowRect(hwnd, &r);
  ::MapWindowPoints(HWND_DESKTOP, ::GetParent(hwnd), reinterpret_cast<POINT*>(&r), 2);
  return r;
}

class RunStripTest : public test::FormTest {
 protected:
  void Open() {
    FormTest::Open([](ConsoleLauncherEvents& events) {
      return std::make_unique<test::ScriptedToolLauncher>(events, kScript);
    });
  }
  void RunPing() {
    ClickTab(1);
    Type(form_->txtApplicationPing, L"192.0.2.1");
    form_->cmdExecutePing_Click();
    ASSERT_EQ(form_->bRunning, kTrue);
    ASSERT_TRUE(test::PumpUntil([&] { return form_->bRunning == kFalse; }));
  }
  void RunTracert() {
    ClickTab(2);
    Type(form_->txtApplicationTracert, L"192.0.2.80");
    form_->cmd_execute_tracert_Click();
    ASSERT_EQ(form_->bRunning, kTrue);
    ASSERT_TRUE(test::PumpUntil([&] { return form_->bRunning == kFalse; }));
  }
  // The box's height as designed, at the window's DPI.
  [[nodiscard]] int DesignedBoxHeight() const {
    const UINT dpi = DpiOf(form_->hwnd());
    return TwipsToPixels(1470 + 3645, dpi) - TwipsToPixels(1470, dpi);
  }
  // Clicks the middle of the strip's mark in that column.
  static void ClickMark(const RunStrip& strip, std::size_t column) {
    const std::optional<RECT> mark = strip.MarkRect(column);
    ASSERT_TRUE(mark.has_value());
    const LPARAM at = MAKELPARAM((mark->left + mark->right) / 2, (mark->top + mark->bottom) / 2);
    ::SendMessageW(strip.hwnd(), WM_LBUTTONDOWN, MK_LBUTTON, at);
    ::SendMessageW(strip.hwnd(), WM_LBUTTONUP, 0, at);
  }
  [[nodiscard]] static std::wstring Selected(const TextBox& box) {
    DWORD first = 0, last = 0;
    ::SendMessageW(box.hwnd, EM_GETSEL, reinterpret_cast<WPARAM>(&first), reinterpret_cast<LPARAM>(&last));
    return box.Text().substr(first, last - first);
  }
};

TEST_F(RunStripTest, APingRunShowsItsStatisticsAndTheBoxMakesRoom) {
  Open();
  frm_Vexlo& f = *form_;
  const RECT boxBefore = RectInParent(f.txtOutputPing.hwnd);
  EXPECT_FALSE(f.stripPing.Visible());
  RunPing();
  ASSERT_TRUE(f.stripPing.Visible());
  EXPECT_EQ(f.factsPing.ProbeCount(), 8u);
  EXPECT_EQ(WindowText(f.stripPing.hwnd()), kPingLine);

  // The box keeps its top, left and width and gives the strip its lower quarter.
  const RECT box = RectInParent(f.txtOutputPing.hwnd);
  const RECT strip = RectInParent(f.stripPing.hwnd());
  EXPECT_EQ(boxBefore.bottom - boxBefore.top, DesignedBoxHeight());
  EXPECT_EQ(box.left, boxBefore.left);
  EXPECT_EQ(box.top, boxBefore.top);
  EXPECT_EQ(box.right, boxBefore.right);
  EXPECT_NEAR(box.bottom - box.top, DesignedBoxHeight() * 3 / 4, 2);
  EXPECT_GT(strip.top, box.bottom);
  EXPECT_EQ(strip.bottom, boxBefore.bottom);
  EXPECT_EQ(strip.left, box.left);
  EXPECT_EQ(strip.right, box.right);
  // The box went on following its end as it shrank: its last line is in view.
  RECT client{};
  ::GetClientRect(f.txtOutputPing.hwnd, &client);
  const auto lastVisible = ::SendMessageW(f.txtOutputPing.hwnd, EM_CHARFROMPOS, 0, MAKELPARAM(2, client.bottom - 2));
  EXPECT_EQ(static_cast<LRESULT>(HIWORD(lastVisible)), ::SendMessageW(f.txtOutputPing.hwnd, EM_GETLINECOUNT, 0, 0) - 1);
  // Not a tab stop: the keyboard order stays as it was.
  EXPECT_EQ(::GetWindowLongPtrW(f.stripPing.hwnd(), GWL_STYLE) & WS_TABSTOP, 0);

  // An accessibility client reads the statistics line as the strip's name: UI
  // Automation names a window of a class it does not know from this, its MSAA proxy.
  ASSERT_TRUE(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
  {
    IAccessible* accessible = nullptr;
    ASSERT_EQ(::AccessibleObjectFromWindow(f.stripPing.hwnd(), static_cast<DWORD>(OBJID_CLIENT), __uuidof(IAccessible),
                                           reinterpret_cast<void**>(&accessible)),
              S_OK);
    VARIANT self{};
    self.vt = VT_I4;
    self.lVal = CHILDID_SELF;
    BSTR name = nullptr;
    EXPECT_EQ(accessible->get_accName(self, &name), S_OK);
    EXPECT_EQ(std::wstring(name, ::SysStringLen(name)), kPingLine);
    ::SysFreeString(name);
    accessible->Release();
  }
  ::CoUninitialize();

  f.cmdClearPing_Click();
  EXPECT_FALSE(f.stripPing.Visible());
  EXPECT_EQ(f.factsPing.ProbeCount(), 0u);
  const RECT cleared = RectInParent(f.txtOutputPing.hwnd);
  EXPECT_EQ(cleared.bottom, boxBefore.bottom);
}

TEST_F(RunStripTest, EachPageKeepsItsOwnStripAndTracertOutputFeedsNoPingStrip) {
  Open();
  frm_Vexlo& f = *form_;
  // The Ping box gets the tracert run's output too, ping transcript and all.
  RunTracert();
  EXPECT_NE(f.txtOutputPing.Text().find(L"Reply from"), std::wstring::npos);
  EXPECT_EQ(f.factsPing.ProbeCount(), 0u);
  EXPECT_FALSE(f.stripPing.Visible());
  ASSERT_TRUE(f.stripTracert.Visible());
  EXPECT_EQ(WindowText(f.stripTracert.hwnd()), kTraceLine);
  ASSERT_EQ(f.factsTracert.Hops().size(), 5u);
  EXPECT_FALSE(f.factsTracert.Hops()[3].Replied());

  RunPing();
  EXPECT_EQ(WindowText(f.stripPing.hwnd()), kPingLine);
  EXPECT_TRUE(InView(f.stripPing));
  ClickTab(2);
  EXPECT_TRUE(InView(f.stripTracert));
  EXPECT_FALSE(InView(f.stripPing));
  EXPECT_EQ(WindowText(f.stripTracert.hwnd()), kTraceLine);  // the ping run left it alone
  f.cmd_clear_tracert_Click();
  EXPECT_FALSE(f.stripTracert.Visible());
  ClickTab(1);
  EXPECT_TRUE(InView(f.stripPing));
  EXPECT_EQ(WindowText(f.stripPing.hwnd()), kPingLine);
  EXPECT_EQ(f.factsPing.ProbeCount(), 8u);
}

TEST_F(RunStripTest, AClickOnAMarkSelectsItsLineInTheBox) {
  Open();
  frm_Vexlo& f = *form_;
  RunPing();
  ClickMark(f.stripPing, 2);
  EXPECT_EQ(Selected(f.txtOutputPing), L"Request timed out.");
  ClickMark(f.stripPing, 1);
  EXPECT_EQ(Selected(f.txtOutputPing), L"Reply from 192.0.2.1: bytes=32 time=16ms TTL=57");
  EXPECT_EQ(::GetFocus(), f.txtOutputPing.hwnd);  // where the selection shows
  EXPECT_FALSE(f.stripPing.MarkRect(8).has_value());

  RunTracert();
  ClickMark(f.stripTracert, 3);
  EXPECT_EQ(Selected(f.txtOutputTracert), L"  4     *        *        *     Request timed out.");
}

TEST_F(RunStripTest, ALostProbeIsDrawnInTheLossColour) {
  Open();
  frm_Vexlo& f = *form_;
  RunPing();
  const StripColors colors = CurrentStripColors();
  if (colors.hatchLoss) GTEST_SKIP() << "high contrast: the loss is hatched";
  RECT client{};
  ::GetClientRect(f.stripPing.hwnd(), &client);
  const HDC screen = ::GetDC(nullptr);
  const HDC dc = ::CreateCompatibleDC(screen);
  const HBITMAP bitmap = ::CreateCompatibleBitmap(screen, client.right, client.bottom);
  ::ReleaseDC(nullptr, screen);
  const HGDIOBJ old = ::SelectObject(dc, bitmap);
  ::SendMessageW(f.stripPing.hwnd(), WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT);
  const auto pixelAbove = [&](std::size_t column) {
    const RECT mark = *f.stripPing.MarkRect(column);
    return ::GetPixel(dc, (mark.left + mark.right) / 2, mark.bottom - 2);
  };
  EXPECT_EQ(pixelAbove(2), colors.loss);   // lost
  EXPECT_EQ(pixelAbove(1), colors.reply);  // 16 ms
  ::SelectObject(dc, old);
  ::DeleteObject(bitmap);
  ::DeleteDC(dc);
}

}  // namespace
}  // namespace vexlo
