#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <cwctype>

#include "launcher/win32_launcher.h"
#include "main_window/frm_vexlo.h"
#include "output_view/output_view.h"
#include "support/failing_allocations.h"
#include "support/fake_launcher.h"
#include "support/form_test.h"
#include "support/scripted_tool_launcher.h"
#include "support/test_support.h"

namespace vexlo {
namespace {

using namespace std::chrono_literals;

class ToolRunTest : public test::FormTest {
 protected:
  void Open(LauncherFactory factory = {}) {
    FormTest::Open(std::move(factory));
    log_->calls.clear();
  }
};

TEST_F(ToolRunTest, CommandLinesAreComposedExactly) {
  Open();
  frm_Vexlo& f = *form_;
  struct Case {
    std::function<void()> set;
    std::function<void()> click;
    std::wstring line;
  };
  const std::wstring a = L"192.0.2.1";
  const std::vector<Case> cases = {
      {[&] { Type(f.txtApplicationPing, a); }, [&] { f.cmdExecutePing_Click(); }, L"ping  -n 4 192.0.2.1"},
      {[&] { f.chk_opt_a.Value(1); }, [&] { f.cmdExecutePing_Click(); }, L"ping  -a  -n 4 192.0.2.1"},
      {[&] { f.chk_opt_f.Value(1); f.chk_opt_t.Value(true); }, [&] { f.cmdExecutePing_Click(); },
       L"ping  -a  -t  -f 192.0.2.1"},
      {[&] { f.chk_opt_a.Value(0); f.chk_opt_f.Value(0); f.chk_opt_n.Value(true); f.txt_times_n.Text(L""); },
       [&] { f.cmdExecutePing_Click(); }, L"ping  -n  192.0.2.1"},
      {[&] { Type(f.txtApplicationTracert, a); }, [&] { f.cmd_execute_tracert_Click(); }, L"tracert 192.0.2.1"},
      {[&] { f.chk_opt_d.Value(1); f.chk_opt_h.Value(1); }, [&] { f.cmd_execute_tracert_Click(); },
       L"tracert  -d  -h 30 192.0.2.1"},
      {[&] { Type(f.txtApplicationLookup, a); }, [&] { f.cmd_execute_lookup_Click(); }, L"nslookup 192.0.2.1"},
      {[&] { Type(f.txtApplicationLookup, L" 192.0.2.1 "); }, [&] { f.cmd_execute_lookup_Click(); },
       L"nslookup  192.0.2.1 "},
  };
  for (std::size_t i = 0; i < cases.size(); ++i) {
    cases[i].set();
    cases[i].click();
    EXPECT_EQ(LastExecute(), cases[i].line) << i;
    f.oLaunch_ProcessEnded();  // each start ends before the next
  }
}

TEST_F(ToolRunTest, StartedRunShowsStopAndRunningThenEndsIdle) {
  Open();
  frm_Vexlo& f = *form_;
  f.tabRTF.SelectedItem(2);
  Type(f.txtApplicationTracert, L"192.0.2.1");
  EXPECT_TRUE(f.cmd_execute_tracert.Enabled());
  f.chk_opt_d.Value(1);
  f.cmd_execute_tracert_Click();
  EXPECT_EQ(log_->calls, (std::vector<std::wstring>{L"Execute tracert  -d 192.0.2.1", L"StartResult"}));
  EXPECT_EQ(f.bRunning, kTrue);
  EXPECT_FALSE(f.txtApplicationTracert.Enabled());
  EXPECT_TRUE(f.txtApplicationPing.Enabled());
  EXPECT_EQ(f.cmd_execute_tracert.Caption(), L"&Stop");
  EXPECT_EQ(f.cmdExecutePing.Caption(), L"E&xecute");
  EXPECT_FALSE(f.tabRTF.Enabled());
  EXPECT_EQ(f.sbStatus.PanelText(1), L"Running ...");
  EXPECT_EQ(f.sbStatus.PanelText(2), L"Data received");

  // Stop: only a stop request, any number of times.
  log_->calls.clear();
  f.cmd_execute_tracert_Click();
  f.cmdExecutePing_Click();
  EXPECT_EQ(log_->calls, (std::vector<std::wstring>{L"StopProcess", L"StopProcess"}));
  EXPECT_EQ(f.cmd_execute_tracert.Caption(), L"&Stop");
  EXPECT_EQ(f.sbStatus.PanelText(1), L"Running ...");

  f.oLaunch_DataReceived(L"hop 1\r\n");
  f.oLaunch_ProcessEnded();
  EXPECT_EQ(f.bRunning, kFalse);
  for (const CommandButton* b : {&f.cmdExecutePing, &f.cmd_execute_tracert, &f.cmd_execute_lookup}) {
    EXPECT_EQ(b->Caption(), L"&Execute");
  }
  EXPECT_TRUE(f.txtApplicationTracert.Enabled());
  EXPECT_TRUE(f.tabRTF.Enabled());
  EXPECT_EQ(f.sbStatus.PanelText(1), L"Finished !");
  EXPECT_EQ(f.sbStatus.PanelText(2), L"Waiting");
  EXPECT_TRUE(f.sOptD.empty());
  EXPECT_EQ(f.sKeptTracert, L"hop 1\r\n");
  EXPECT_TRUE(f.sKeptPing.empty());
  EXPECT_TRUE(f.sKeptLookup.empty());
}

TEST_F(ToolRunTest, FailedStartsReportAndLeaveTheWindowUsable) {
  Open();
  frm_Vexlo& f = *form_;
  Type(f.txtApplicationPing, L"192.0.2.1");
  f.chk_opt_a.Value(1);
  struct Case {
    std::int32_t result, error;
    std::wstring status;
  };
  for (const Case& c : {Case{kStartFailed, 5, L"Windows error: 5!"}, Case{kStartFailed, -1, L"Windows error: -1!"},
                        Case{kAlreadyRunning, 0, L"Already running !"}, Case{3, 0, L"Waiting"}}) {
    f.sbStatus.PanelText(1, L"Waiting");
    launcher_->startResult = c.result;
    launcher_->lastError = c.error;
    log_->calls.clear();
    f.cmdExecutePing_Click();
    EXPECT_EQ(f.sbStatus.PanelText(1), c.status);
    EXPECT_EQ(f.sbStatus.PanelText(2), L"Data received");
    const bool readsError = c.result == kStartFailed;
    EXPECT_EQ(log_->calls.size(), readsError ? 3u : 2u);
    EXPECT_EQ(f.bRunning, kFalse);
    EXPECT_EQ(f.cmdExecutePing.Caption(), L"E&xecute");
    EXPECT_TRUE(f.txtApplicationPing.Enabled());
    EXPECT_TRUE(f.tabRTF.Enabled());
    EXPECT_TRUE(f.sOptA.empty());
  }
  // An option turned off after a failed start is not on the next line.
  f.chk_opt_a.Value(0);
  launcher_->startResult = kStarted;
  f.cmdExecutePing_Click();
  EXPECT_EQ(LastExecute(), L"ping  -n 4 192.0.2.1");
}

// The height of the box's rows: its font's.
int LineHeight(HWND box) {
  const HDC dc = ::GetDC(box);
  if (dc == nullptr) return 0;
  const HGDIOBJ old = ::SelectObject(dc, reinterpret_cast<HFONT>(::SendMessageW(box, WM_GETFONT, 0, 0)));
  TEXTMETRICW metrics{};
  const bool measured = ::GetTextMetricsW(dc, &metrics) != FALSE;
  ::SelectObject(dc, old);
  ::ReleaseDC(box, dc);
  return measured ? metrics.tmHeight : 0;
}

// The system's text for a code, as FormatMessage gives it.
std::wstring SystemText(DWORD code) {
  wchar_t buffer[512] = {};
  ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, buffer, 512, nullptr);
  std::wstring text = buffer;
  while (!text.empty() && std::iswspace(text.back())) text.pop_back();
  return text;
}

TEST_F(ToolRunTest, AWindowsErrorIsExplainedInTheSystemsWordsUntilPanelOneChanges) {
  Open();
  frm_Vexlo& f = *form_;
  Type(f.txtApplicationPing, L"192.0.2.1");
  EXPECT_EQ(f.sbStatus.PanelTip(1), L"");
  for (DWORD code : {ERROR_FILE_NOT_FOUND, ERROR_ACCESS_DENIED}) {
    launcher_->startResult = kStartFailed;
    launcher_->lastError = static_cast<std::int32_t>(code);
    f.cmdExecutePing_Click();
    ASSERT_FALSE(SystemText(code).empty());
    EXPECT_EQ(f.sbStatus.PanelTip(1), SystemText(code)) << code;
    EXPECT_EQ(f.sbStatus.PanelText(1), L"Windows error: " + std::to_wstring(code) + L"!");  // as designed
    EXPECT_EQ(f.sbStatus.PanelTip(2), L"");
  }
  f.cmdClearPing_Click();
  EXPECT_EQ(f.sbStatus.PanelTip(1), L"");
  f.cmdExecutePing_Click();
  launcher_->startResult = kStarted;
  f.cmdExecutePing_Click();  // panel 1: "Running ..."
  EXPECT_EQ(f.sbStatus.PanelTip(1), L"");
  // Panel 2 changing leaves panel 1's tip alone.
  launcher_->startResult = kStartFailed;
  f.oLaunch_ProcessEnded();
  f.cmdExecutePing_Click();
  f.oLaunch_DataReceived(L"late");
  EXPECT_EQ(f.sbStatus.PanelTip(1), SystemText(ERROR_ACCESS_DENIED));
}

bool NoOptionFragments(const frm_Vexlo& f) {
  return f.sOptA.empty() && f.sOptT.empty() && f.sOptN.empty() && f.sOptF.empty() && f.sOptD.empty() &&
         f.sOptH.empty();
}

TEST_F(ToolRunTest, AClickWhoseHandlerThrowsLeavesTheWindowUsable) {
  Open();
  frm_Vexlo& f = *form_;
  Type(f.txtApplicationPing, L"192.0.2.1");
  f.chk_opt_a.Value(1);
  launcher_->throwOnExecute = true;
  ::SendMessageW(f.cmdExecutePing.hwnd, BM_CLICK, 0, 0);  // the throw stays in the window procedure
  EXPECT_NE(f.hwnd(), nullptr);
  EXPECT_EQ(f.bRunning, kFalse);
  EXPECT_TRUE(f.tabRTF.Enabled());
  EXPECT_TRUE(NoOptionFragments(f));
  // The option turned off since is not on the next line.
  launcher_->throwOnExecute = false;
  f.chk_opt_a.Value(0);
  ::SendMessageW(f.cmdExecutePing.hwnd, BM_CLICK, 0, 0);
  EXPECT_EQ(LastExecute(), L"ping  -n 4 192.0.2.1");
  EXPECT_EQ(f.bRunning, kTrue);
  EXPECT_EQ(f.sbStatus.PanelText(1), L"Running ...");
}

TEST_F(ToolRunTest, AnEndOfRunWhoseHandlerFailsStillGivesTheTabsBack) {
  Open();
  frm_Vexlo& f = *form_;
  Type(f.txtApplicationPing, L"192.0.2.1");
  f.chk_opt_a.Value(1);
  // Out of memory at each allocation of the handler in turn, the copy of the box
  // among them, until it runs through.
  for (std::size_t allowed = 0;; ++allowed) {
    ::SendMessageW(f.cmdExecutePing.hwnd, BM_CLICK, 0, 0);
    ASSERT_EQ(f.bRunning, kTrue);
    ASSERT_FALSE(f.tabRTF.Enabled());
    ASSERT_FALSE(f.sOptA.empty());
    launcher_->events.DataReceived(L"Reply from 192.0.2.1\r\n");
    bool refused = false;
    {
      test::FailingAllocations failing(allowed);
      launcher_->events.ProcessEnded();  // as the launcher raises it
      refused = failing.Refused();
    }
    EXPECT_EQ(f.bRunning, kFalse) << allowed;
    EXPECT_TRUE(f.tabRTF.Enabled()) << allowed;
    EXPECT_TRUE(NoOptionFragments(f)) << allowed;
    EXPECT_EQ(f.cmdExecutePing.Caption(), L"&Execute") << allowed;
    if (!refused) break;
    ASSERT_LT(allowed, 50u);
  }
  EXPECT_EQ(f.sKeptPing, f.txtOutputPing.Text());
  EXPECT_EQ(f.sbStatus.PanelText(1), L"Finished !");
  // Usable: the next run starts with the options as they are now.
  f.chk_opt_a.Value(0);
  ::SendMessageW(f.cmdExecutePing.hwnd, BM_CLICK, 0, 0);
  EXPECT_EQ(LastExecute(), L"ping  -n 4 192.0.2.1");
  EXPECT_EQ(f.bRunning, kTrue);
}

TEST_F(ToolRunTest, OutputThatRunsOutOfMemoryLeavesTheRunGoing) {
  Open();
  frm_Vexlo& f = *form_;
  Type(f.txtApplicationTracert, L"192.0.2.1");
  ClickTab(2);
  ::SendMessageW(f.cmd_execute_tracert.hwnd, BM_CLICK, 0, 0);
  ASSERT_EQ(f.bRunning, kTrue);
  for (std::size_t allowed = 0;; ++allowed) {
    std::wstring piece = L"hop " + std::to_wstring(allowed) + L"\r\n";
    bool refused = false;
    {
      test::FailingAllocations failing(allowed);
      launcher_->events.DataReceived(std::move(piece));
      refused = failing.Refused();
    }
    // A run is still active: the tabs stay disabled until it ends.
    EXPECT_EQ(f.bRunning, kTrue) << allowed;
    EXPECT_FALSE(f.tabRTF.Enabled()) << allowed;
    if (!refused) break;
    ASSERT_LT(allowed, 50u);
  }
  // Stop still works, and the run ends as any other.
  log_->calls.clear();
  ::SendMessageW(f.cmd_execute_tracert.hwnd, BM_CLICK, 0, 0);
  EXPECT_EQ(log_->calls, (std::vector<std::wstring>{L"StopProcess"}));
  launcher_->events.DataReceived(L"last\r\n");
  launcher_->events.ProcessEnded();
  EXPECT_TRUE(f.tabRTF.Enabled());
  EXPECT_TRUE(f.txtOutputTracert.Text().ends_with(L"last\r\n"));
  EXPECT_EQ(f.sKeptTracert, f.txtOutputTracert.Text());
  EXPECT_EQ(f.sbStatus.PanelText(1), L"Finished !");
}

TEST_F(ToolRunTest, AddressBoxesEnableExecuteExactlyWhileNotEmpty) {
  Open();
  frm_Vexlo& f = *form_;
  const std::pair<const TextBox*, const CommandButton*> pages[] = {
      {&f.txtApplicationPing, &f.cmdExecutePing},
      {&f.txtApplicationTracert, &f.cmd_execute_tracert},
      {&f.txtApplicationLookup, &f.cmd_execute_lookup}};
  for (auto [box, button] : pages) {
    Type(*box, L"x");
    EXPECT_TRUE(button->Enabled());
    Type(*box, L"");
    EXPECT_FALSE(button->Enabled());
    Type(*box, L"   ");  // spaces alone count as an address
    EXPECT_TRUE(button->Enabled());
  }
}

// What the literal read-whole-text-and-rewrite does, for comparison.
void RewriteWhole(const TextBox& box, const std::wstring& piece) {
  box.Text(box.Text() + piece);
  box.SelStart(static_cast<int>(box.Text().size()));
}

TEST_F(ToolRunTest, AppendingInPlaceEndsLikeRewritingTheWholeText) {
  Open();
  frm_Vexlo& f = *form_;
  f.txtOutputLookup.Text(L"old text");  // stands in for the literal box
  f.txtOutputPing.Text(L"old text");
  f.txtOutputTracert.Text(L"old text");
  const std::vector<std::wstring> pieces = {L"Pinging 192.0.2.1", L"", L" with 32 bytes\r\n", L"\u00e9\r\n",
                                            std::wstring(5000, L'y'), L"tail"};
  TextBox literal = f.txtOutputLookup;
  for (const auto& piece : pieces) {
    // The in-place handler writes all three boxes; rebuild the third literally.
    const std::wstring before = f.txtOutputPing.Text();
    f.oLaunch_DataReceived(piece);
    literal.Text(before);
    RewriteWhole(literal, piece);
    EXPECT_EQ(f.txtOutputPing.Text(), literal.Text());
    EXPECT_EQ(f.txtOutputPing.SelStart(), literal.SelStart());
    EXPECT_EQ(f.txtOutputTracert.Text(), literal.Text());
    EXPECT_EQ(f.sbStatus.PanelText(2), L"Data received");
  }
}

TEST_F(ToolRunTest, OutputKeepsTheUsersPlaceAndFollowsACaretAtTheEnd) {
  Open();
  frm_Vexlo& f = *form_;
  f.oLaunch_DataReceived(L"Pinging 192.0.2.1\r\n");
  ::SendMessageW(f.txtOutputPing.hwnd, EM_SETSEL, 2, 7);  // the user selects a word
  ::SendMessageW(f.txtOutputLookup.hwnd, EM_SETSEL, 0, 0);  // and reads from the top
  f.oLaunch_DataReceived(L"Reply\r\n");
  for (const TextBox* box : {&f.txtOutputPing, &f.txtOutputTracert, &f.txtOutputLookup}) {
    EXPECT_EQ(box->Text(), L"Pinging 192.0.2.1\r\nReply\r\n");
  }
  DWORD start = 0, end = 0;
  ::SendMessageW(f.txtOutputPing.hwnd, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
  EXPECT_EQ(std::make_pair(start, end), std::make_pair(DWORD{2}, DWORD{7}));
  EXPECT_TRUE(f.txtOutputLookup.CaretAt(0));
  EXPECT_TRUE(f.txtOutputTracert.CaretAt(f.txtOutputTracert.TextLength()));
  // Back at the end, the box follows again.
  f.txtOutputPing.SelStart(f.txtOutputPing.TextLength());
  f.oLaunch_DataReceived(L"Reply\r\n");
  EXPECT_TRUE(f.txtOutputPing.CaretAt(f.txtOutputPing.TextLength()));
  EXPECT_TRUE(f.txtOutputLookup.CaretAt(0));
  EXPECT_EQ(f.sbStatus.PanelText(2), L"Data received");
  // A new run is followed from its start; so is a box after Clear.
  Type(f.txtApplicationPing, L"192.0.2.1");
  f.cmdExecutePing_Click();
  f.oLaunch_DataReceived(L"second run\r\n");
  for (const TextBox* box : {&f.txtOutputPing, &f.txtOutputTracert, &f.txtOutputLookup}) {
    EXPECT_TRUE(box->CaretAt(box->TextLength()));
  }
  f.oLaunch_ProcessEnded();
  ::SendMessageW(f.txtOutputPing.hwnd, EM_SETSEL, 0, 3);
  f.cmdClearPing_Click();
  f.oLaunch_DataReceived(L"after clear\r\n");
  EXPECT_TRUE(f.txtOutputPing.CaretAt(f.txtOutputPing.TextLength()));
}

TEST_F(ToolRunTest, APieceCostsEachBoxOneMessageWhetherItFollowsOrNot) {
  Open();
  frm_Vexlo& f = *form_;
  f.oLaunch_DataReceived(L"first\r\n");
  ::SendMessageW(f.txtOutputLookup.hwnd, EM_SETSEL, 0, 3);  // one box is read back in
  for (const TextBox* box : {&f.txtOutputPing, &f.txtOutputTracert, &f.txtOutputLookup}) {
    test::MessageCounter count(box->hwnd);
    ASSERT_TRUE(count.ok());
    f.oLaunch_DataReceived(L"Reply from 192.0.2.1\r\n");
    EXPECT_EQ(count.messages, std::vector<UINT>{kAppendTimedOutputMessage});
  }
  for (const TextBox* box : {&f.txtOutputTracert, &f.txtOutputLookup}) EXPECT_EQ(box->Text(), f.txtOutputPing.Text());
  EXPECT_EQ(f.txtOutputPing.Text(),
            L"first\r\nReply from 192.0.2.1\r\nReply from 192.0.2.1\r\nReply from 192.0.2.1\r\n");
}

TEST_F(ToolRunTest, AFullBoxPutsTheCaretAtTheEndOfWhatItHolds) {
  Open();
  frm_Vexlo& f = *form_;
  ::SendMessageW(f.txtOutputPing.hwnd, EM_SETLIMITTEXT, 10, 0);
  f.oLaunch_DataReceived(L"0123456789abcdef");
  EXPECT_EQ(f.txtOutputPing.Text(), L"0123456789");
  EXPECT_TRUE(f.txtOutputPing.CaretAt(10));
  f.oLaunch_DataReceived(L"more");
  EXPECT_EQ(f.txtOutputPing.Text(), L"0123456789");
  EXPECT_TRUE(f.txtOutputPing.CaretAt(10));
  EXPECT_EQ(f.txtOutputTracert.Text(), L"0123456789abcdefmore");
}

TEST_F(ToolRunTest, RunEndOnHelpKeepsNothingAndSecondRunAppends) {
  Open();
  frm_Vexlo& f = *form_;
  Type(f.txtApplicationPing, L"192.0.2.1");
  f.cmdExecutePing_Click();
  f.oLaunch_DataReceived(L"first\r\n");
  f.oLaunch_ProcessEnded();
  f.cmdExecutePing_Click();
  f.oLaunch_DataReceived(L"second\r\n");
  f.oLaunch_ProcessEnded();
  EXPECT_EQ(f.sKeptPing, L"first\r\nsecond\r\n");
  f.tabRTF.SelectedItem(4);
  f.oLaunch_DataReceived(L"late\r\n");  // not tied to a run
  f.oLaunch_ProcessEnded();
  EXPECT_EQ(f.sKeptPing, L"first\r\nsecond\r\n");
  EXPECT_TRUE(f.sKeptLookup.empty());
}

TEST_F(ToolRunTest, AnAddressTooLongForWindowsFailsToStartAndTheWindowStaysUsable) {
  Open(Win32LauncherFactory());
  frm_Vexlo& f = *form_;
  const std::wstring address(40000, L'1');
  Type(f.txtApplicationPing, address);
  ASSERT_EQ(f.txtApplicationPing.TextLength(), 40000);
  ::SendMessageW(f.cmdExecutePing.hwnd, BM_CLICK, 0, 0);
  EXPECT_EQ(f.sbStatus.PanelText(1), L"Windows error: " + std::to_wstring(ERROR_FILENAME_EXCED_RANGE) + L"!");
  EXPECT_EQ(f.bRunning, kFalse);
  EXPECT_TRUE(f.tabRTF.Enabled());
  EXPECT_TRUE(f.txtApplicationPing.Enabled());
  EXPECT_EQ(f.txtApplicationPing.Text(), address);
  EXPECT_EQ(f.cmdExecutePing.Caption(), L"E&xecute");
  test::PumpFor(200ms);
  EXPECT_EQ(f.sbStatus.PanelText(2), L"Data received");  // no event came: nothing ran
}

TEST_F(ToolRunTest, EndToEndOutputStopAndKeptOutput) {
  Open([](ConsoleLauncherEvents& events) {
    return std::make_unique<test::ScriptedToolLauncher>(events, L"lines 3 0 sleep 60000 args");
  });
  frm_Vexlo& f = *form_;
  Type(f.txtApplicationPing, L"127.0.0.1");
  ::SendMessageW(f.cmdExecutePing.hwnd, BM_CLICK, 0, 0);
  ASSERT_EQ(f.sbStatus.PanelText(1), L"Running ...");
  ASSERT_TRUE(test::PumpUntil([&] { return f.txtOutputPing.Text().find(L"line 3\r\n") != std::wstring::npos; }));
  for (const TextBox* box : {&f.txtOutputPing, &f.txtOutputTracert, &f.txtOutputLookup}) {
    EXPECT_EQ(box->Text(), L"line 1\r\nline 2\r\nline 3\r\n");
    EXPECT_EQ(box->SelStart(), box->TextLength());
  }
  ::SendMessageW(f.cmdExecutePing.hwnd, BM_CLICK, 0, 0);  // Stop
  ASSERT_TRUE(test::PumpUntil([&] { return f.bRunning == kFalse; }));
  EXPECT_EQ(f.sbStatus.PanelText(1), L"Finished !");
  EXPECT_EQ(f.sbStatus.PanelText(2), L"Waiting");
  EXPECT_EQ(f.sKeptPing, L"line 1\r\nline 2\r\nline 3\r\n");
}

TEST_F(ToolRunTest, EndToEndSecondRunAppendsAndMetacharactersRunNothing) {
  Open([](ConsoleLauncherEvents& events) { return std::make_unique<test::ScriptedToolLauncher>(events, L"args"); });
  frm_Vexlo& f = *form_;
  const std::wstring marker = test::ProgramDirectory() + L"window_injected.txt";
  ::DeleteFileW(marker.c_str());
  Type(f.txtApplicationLookup, L"x & echo y > \"" + marker + L"\" | del *.*");
  f.cmd_execute_lookup_Click();
  ASSERT_TRUE(test::PumpUntil([&] { return f.bRunning == kFalse; }));
  f.cmd_execute_lookup_Click();
  ASSERT_TRUE(test::PumpUntil([&] { return f.bRunning == kFalse && f.txtOutputLookup.Text().find(L"argv[0]") != f.txtOutputLookup.Text().rfind(L"argv[0]"); }));
  const std::wstring text = f.txtOutputLookup.Text();
  EXPECT_NE(text.find(L"]: &\r\n"), std::wstring::npos);
  EXPECT_NE(text.find(L"]: |\r\n"), std::wstring::npos);
  EXPECT_EQ(::GetFileAttributesW(marker.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(ToolRunTest, EndToEndTheUserReadsBackWhileOutputArrives) {
  Open([](ConsoleLauncherEvents& events) {
    return std::make_unique<test::ScriptedToolLauncher>(events, L"lines 3000 10 sleep 60000 args");
  });
  frm_Vexlo& f = *form_;
  const HWND box = f.txtOutputPing.hwnd;
  const int line = LineHeight(box);
  ASSERT_GT(line, 0);
  RECT client{};
  ::GetClientRect(box, &client);
  const LRESULT page = client.bottom / line;
  const auto firstVisible = [&] { return ::SendMessageW(box, EM_GETFIRSTVISIBLELINE, 0, 0); };
  const auto atBottom = [&] { return firstVisible() + page >= ::SendMessageW(box, EM_GETLINECOUNT, 0, 0); };
  // Waits for a few more lines to arrive.
  const auto grows = [&] {
    const int now = f.txtOutputPing.TextLength();
    return test::PumpUntil([&] { return f.txtOutputPing.TextLength() > now + 40; });
  };
  const auto selection = [&] {
    DWORD start = 0, end = 0;
    ::SendMessageW(box, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    return std::make_pair(start, end);
  };
  const auto click = [&](UINT message, int x, int y) { ::SendMessageW(box, message, MK_LBUTTON, MAKELPARAM(x, y)); };
  Type(f.txtApplicationPing, L"127.0.0.1");
  ::SendMessageW(f.cmdExecutePing.hwnd, BM_CLICK, 0, 0);
  ASSERT_TRUE(test::PumpUntil([&] { return f.txtOutputPing.Text().find(L"line 40\r\n") != std::wstring::npos; }));
  ASSERT_TRUE(atBottom());

  // Scrolled to the top, the view stays there.
  ::SendMessageW(box, WM_VSCROLL, SB_TOP, 0);
  ASSERT_TRUE(grows());
  EXPECT_EQ(firstVisible(), 0);

  // A mouse selection survives the pieces that follow, and Ctrl+C copies it.
  click(WM_LBUTTONDOWN, 1, line / 2);
  click(WM_MOUSEMOVE, 2000, line + line / 2);
  ::SendMessageW(box, WM_LBUTTONUP, 0, 0);
  const auto selected = selection();
  ASSERT_TRUE(grows());
  ASSERT_TRUE(grows());
  EXPECT_EQ(selection(), selected);
  EXPECT_EQ(firstVisible(), 0);
  ::SendMessageW(box, WM_CHAR, 0x03, 0);
  ASSERT_TRUE(::OpenClipboard(f.hwnd()));
  const auto* copied = static_cast<const wchar_t*>(::GlobalLock(::GetClipboardData(CF_UNICODETEXT)));
  ASSERT_NE(copied, nullptr);
  EXPECT_EQ(std::wstring(copied), f.txtOutputPing.Text().substr(selected.first, selected.second - selected.first));
  ::GlobalUnlock(::GetClipboardData(CF_UNICODETEXT));
  ::CloseClipboard();

  // A click drops the selection; a scroll to the bottom then follows again.
  click(WM_LBUTTONDOWN, 1, line / 2);
  ::SendMessageW(box, WM_LBUTTONUP, 0, 0);
  ::SendMessageW(box, WM_VSCROLL, SB_BOTTOM, 0);
  ASSERT_TRUE(grows());
  EXPECT_TRUE(atBottom());
  EXPECT_TRUE(f.txtOutputPing.CaretAt(f.txtOutputPing.TextLength()));

  // Away at the top again, Ctrl+End follows.
  ::SendMessageW(box, WM_VSCROLL, SB_TOP, 0);
  ASSERT_TRUE(grows());
  EXPECT_EQ(firstVisible(), 0);
  BYTE keys[256] = {};
  ::GetKeyboardState(keys);
  keys[VK_CONTROL] = 0x80;
  ::SetKeyboardState(keys);
  ::SendMessageW(box, WM_KEYDOWN, VK_END, 1);
  keys[VK_CONTROL] = 0;
  ::SetKeyboardState(keys);
  ASSERT_TRUE(grows());
  EXPECT_TRUE(atBottom());
  EXPECT_TRUE(f.txtOutputPing.CaretAt(f.txtOutputPing.TextLength()));

  // A selection held at the bottom stays; a click at the end follows.
  click(WM_LBUTTONDOWN, 2000, client.bottom - 1);
  click(WM_MOUSEMOVE, 1, client.bottom - 1 - 2 * line);
  ::SendMessageW(box, WM_LBUTTONUP, 0, 0);
  const auto held = selection();
  ASSERT_NE(held.first, held.second);
  ASSERT_TRUE(grows());
  EXPECT_EQ(selection(), held);
  ::SendMessageW(box, WM_VSCROLL, SB_BOTTOM, 0);
  click(WM_LBUTTONDOWN, 2000, client.bottom - 1);
  ::SendMessageW(box, WM_LBUTTONUP, 0, 0);
  ASSERT_TRUE(grows());
  EXPECT_TRUE(atBottom());
  EXPECT_TRUE(f.txtOutputPing.CaretAt(f.txtOutputPing.TextLength()));

  ::SendMessageW(f.cmdExecutePing.hwnd, BM_CLICK, 0, 0);  // Stop
  ASSERT_TRUE(test::PumpUntil([&] { return f.bRunning == kFalse; }));
}

}  // namespace
}  // namespace vexlo
