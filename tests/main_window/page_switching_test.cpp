#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <set>

#include "main_window/frm_vexlo.h"
#include "output_view/output_view_impl.h"
#include "support/fake_launcher.h"
#include "support/form_test.h"
#include "support/scripted_tool_launcher.h"
#include "support/test_support.h"

namespace vexlo {
namespace {

class PageTest : public test::FormTest {
 protected:
  // Every control that Tab reaches from the tab strip, walked as the platform does.
  [[nodiscard]] std::set<HWND> TabCycle() const {
    std::set<HWND> seen;
    HWND at = form_->tabRTF.hwnd;
    for (int i = 0; i < 40; ++i) {
      at = ::GetNextDlgTabItem(form_->hwnd(), at, FALSE);
      if (!seen.insert(at).second) break;
    }
    return seen;
  }
};

TEST_F(PageTest, EachToolPageShowsOnlyItsOwnRuns) {
  Open();
  frm_Vexlo& f = *form_;
  Type(f.txtApplicationPing, L"192.0.2.1");
  f.cmdExecutePing_Click();
  f.oLaunch_DataReceived(L"ping output\r\n");
  f.oLaunch_ProcessEnded();
  EXPECT_EQ(f.txtOutputTracert.Text(), L"ping output\r\n");  // every box got the copy
  ClickTab(2);
  EXPECT_EQ(f.txtOutputTracert.Text(), L"");
  EXPECT_TRUE(f.fraTab[1].Visible());
  EXPECT_FALSE(f.fraTab[0].Visible());
  ClickTab(1);
  EXPECT_EQ(f.txtOutputPing.Text(), L"ping output\r\n");
  ClickTab(1);
  EXPECT_EQ(f.txtOutputPing.Text(), L"ping output\r\n");
  // Help leaves the boxes as they are.
  f.txtOutputLookup.Text(L"copy");
  ClickTab(4);
  EXPECT_EQ(f.txtOutputLookup.Text(), L"copy");
  EXPECT_TRUE(f.fraTab[3].Visible());
}

TEST_F(PageTest, KeptOutputShownAgainHasItsReadTimesAndClearTakesThem) {
  Open();
  frm_Vexlo& f = *form_;
  Type(f.txtApplicationPing, L"192.0.2.1");
  f.cmdExecutePing_Click();
  // Whole milliseconds, as the boxes keep them.
  constexpr std::int64_t kFirst = 133'000'000'000'000'000, kSecond = kFirst + 20'000'000;
  f.oLaunch_DataReceived(L"Pinging\r\nReply\r\n", ReadTimes{{0, kFirst}, {9, kSecond}});
  f.oLaunch_ProcessEnded();
  ClickTab(2);
  ClickTab(1);
  ASSERT_EQ(f.txtOutputPing.Text(), L"Pinging\r\nReply\r\n");
  const OutputView& ping = *OutputView::From(f.txtOutputPing.hwnd);
  EXPECT_EQ(ping.TimeAt(0), kFirst);
  EXPECT_EQ(ping.TimeAt(9), kSecond);
  f.cmdClearPing_Click();
  ClickTab(2);
  ClickTab(1);
  EXPECT_EQ(f.txtOutputPing.Text(), L"");
  // The next run's text starts where the cleared one did: it has its own time alone.
  f.cmdExecutePing_Click();
  f.oLaunch_DataReceived(L"next\r\n", ReadTimes{{0, kSecond + 10'000}});
  EXPECT_EQ(ping.TimeAt(0), kSecond + 10'000);
}

TEST_F(PageTest, ComingBackToAPageShowsItsNewestOutput) {
  Open();
  frm_Vexlo& f = *form_;
  f.Show();
  std::wstring kept;
  for (int i = 1; i <= 300; ++i) kept += L"Reply from 192.0.2.1: line " + std::to_wstring(i) + L"\r\n";
  kept += L"last";
  f.sKeptTracert = kept;
  ClickTab(2);
  EXPECT_EQ(f.txtOutputTracert.Text(), kept);
  EXPECT_EQ(f.txtOutputTracert.SelStart(), static_cast<int>(kept.size()));
  EXPECT_TRUE(f.txtOutputTracert.CaretAt(static_cast<int>(kept.size())));  // nothing selected
  SCROLLINFO scroll{};
  scroll.cbSize = sizeof scroll;
  scroll.fMask = SIF_ALL;
  ASSERT_TRUE(::GetScrollInfo(f.txtOutputTracert.hwnd, SB_VERT, &scroll));
  EXPECT_GT(scroll.nPos, 0);
  EXPECT_GE(scroll.nPos + static_cast<int>(scroll.nPage), scroll.nMax);  // the last line is in view
}

TEST_F(PageTest, TabReachesOnlyThePageInView) {
  Open();
  frm_Vexlo& f = *form_;
  ClickTab(2);
  EXPECT_EQ(TabCycle(), (std::set<HWND>{f.txtApplicationTracert.hwnd, f.chk_opt_d.hwnd, f.chk_opt_h.hwnd,
                                        f.txt_times_h.hwnd, f.cmd_clear_tracert.hwnd, f.cmd_tracert_exit.hwnd,
                                        f.tabRTF.hwnd}));
  ClickTab(3);
  EXPECT_EQ(TabCycle(), (std::set<HWND>{f.txtApplicationLookup.hwnd, f.cmd_lookup_clear.hwnd,
                                        f.cmd_lookup_exit.hwnd, f.tabRTF.hwnd}));
  int stops = 0;
  for (const Control* c : std::initializer_list<const Control*>{&f.txtApplicationPing, &f.cmdExecutePing,
           &f.txtApplicationTracert, &f.cmd_execute_tracert, &f.txtApplicationLookup, &f.cmd_execute_lookup,
           &f.cmd_lookup_clear, &f.cmd_lookup_exit}) {
    stops += c->TabStop() ? 1 : 0;
  }
  EXPECT_EQ(stops, 4);  // the LookUp page's four
  ClickTab(4);
  EXPECT_EQ(TabCycle(), (std::set<HWND>{f.tabRTF.hwnd}));
  ClickTab(1);
  EXPECT_EQ(TabCycle(), (std::set<HWND>{f.txtApplicationPing.hwnd, f.chk_opt_a.hwnd, f.chk_opt_f.hwnd,
                                        f.chk_opt_t.hwnd, f.chk_opt_n.hwnd, f.txt_times_n.hwnd, f.cmdClearPing.hwnd,
                                        f.cmd_exit_ping.hwnd, f.tabRTF.hwnd}));
}

TEST_F(PageTest, ClearResetsThePageAndNothingElse) {
  Open();
  frm_Vexlo& f = *form_;
  Type(f.txtApplicationPing, L"192.0.2.1");
  f.chk_opt_a.Value(1);
  f.chk_opt_f.Value(1);
  f.chk_opt_t.Value(true);
  f.txt_times_n.Text(L"9");
  f.txtOutputPing.Text(L"old");
  f.sKeptPing = L"old";
  f.txtOutputTracert.Text(L"other page");
  for (int twice = 0; twice < 2; ++twice) {
    ::SendMessageW(f.cmdClearPing.hwnd, BM_CLICK, 0, 0);
    EXPECT_EQ(f.txtOutputPing.Text(), L"");
    EXPECT_EQ(f.sKeptPing, L"");
    EXPECT_EQ(f.chk_opt_a.Value(), 0);
    EXPECT_EQ(f.chk_opt_f.Value(), 0);
    EXPECT_TRUE(f.chk_opt_n.Value());
    EXPECT_FALSE(f.chk_opt_t.Value());
    EXPECT_EQ(f.txt_times_n.Text(), L"4");
    EXPECT_EQ(f.sbStatus.PanelText(1), L"Cleared !");
    EXPECT_EQ(f.txtApplicationPing.Text(), L"192.0.2.1");
    EXPECT_TRUE(f.cmdExecutePing.Enabled());
    EXPECT_EQ(f.txtOutputTracert.Text(), L"other page");
  }
  f.chk_opt_d.Value(1);
  f.chk_opt_h.Value(1);
  f.txt_times_h.Text(L"");
  f.cmd_clear_tracert_Click();
  EXPECT_EQ(f.chk_opt_d.Value() + f.chk_opt_h.Value(), 0);
  EXPECT_EQ(f.txt_times_h.Text(), L"30");
  f.sbStatus.PanelText(1, L"x");
  f.cmd_lookup_clear_Click();
  EXPECT_EQ(f.sbStatus.PanelText(1), L"Cleared !");
  EXPECT_TRUE(log_->calls.size() == 2u);  // only the start-up settings: Clear never calls the launcher
}

TEST_F(PageTest, ClearDuringARunKeepsOnlyLaterOutput) {
  Open([](ConsoleLauncherEvents& events) {
    return std::make_unique<test::ScriptedToolLauncher>(events, L"print before sleep 60000");
  });
  frm_Vexlo& f = *form_;
  ClickTab(3);
  Type(f.txtApplicationLookup, L"127.0.0.1");
  f.cmd_execute_lookup_Click();
  ASSERT_TRUE(test::PumpUntil([&] { return f.txtOutputLookup.Text() == L"before\r\n"; }));
  f.cmd_lookup_clear_Click();
  EXPECT_EQ(f.txtOutputLookup.Text(), L"");
  f.oLaunch_DataReceived(L"after\r\n");
  f.cmd_execute_lookup_Click();  // Stop
  ASSERT_TRUE(test::PumpUntil([&] { return f.bRunning == kFalse; }));
  EXPECT_EQ(f.sKeptLookup, L"after\r\n");
  EXPECT_EQ(f.sbStatus.PanelText(1), L"Finished !");
  ClickTab(1);
  ClickTab(3);
  EXPECT_EQ(f.txtOutputLookup.Text(), L"after\r\n");
}

}  // namespace
}  // namespace vexlo
