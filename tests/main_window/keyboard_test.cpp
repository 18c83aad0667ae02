// The window's keyboard interface, driven through the message loop's own step with
// the messages that real keystrokes produce.
#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <vector>

#include "main_window/frm_vexlo.h"
#include "main_window/message_loop.h"
#include "output_view/output_view.h"
#include "support/form_test.h"

namespace vexlo {
namespace {

using Clock = std::chrono::steady_clock;

class KeyboardTest : public test::FormTest {
 protected:
  void TearDown() override {
    SetModifiers(false, false);
    SetAltGr(false);
  }

  void OpenShown() {
    Open();
    form_->Show();
    Pump();
  }

  // What the program's loop does with whatever is queued (the WM_CHAR that a
  // translated key posts, a WM_CLOSE that a control posts).
  void Pump() {
    const auto until = Clock::now() + std::chrono::milliseconds(30);
    MSG msg;
    while (Clock::now() < until) {
      while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message != WM_QUIT) DispatchLoopMessage(*form_, msg);
      }
      ::Sleep(1);
    }
  }

  void Send(HWND to, UINT message, WPARAM key, LPARAM extra = 0) {
    const UINT scan = ::MapVirtualKeyW(static_cast<UINT>(key), MAPVK_VK_TO_VSC);
    MSG msg{to, message, key, 1 | static_cast<LPARAM>(scan) << 16 | extra, ::GetTickCount(), {}};
    DispatchLoopMessage(*form_, msg);
    Pump();
  }

  // A key pressed and released where the focus is, as the system delivers it.
  void Keystroke(WPARAM key) {
    const HWND focus = ::GetFocus() != nullptr ? ::GetFocus() : form_->hwnd();
    const bool system = focus == form_->hwnd();  // no focus: keys come as system keys
    Send(focus, system ? WM_SYSKEYDOWN : WM_KEYDOWN, key);
    Send(::GetFocus() != nullptr ? ::GetFocus() : form_->hwnd(), system ? WM_SYSKEYUP : WM_KEYUP, key,
         static_cast<LPARAM>(0xC0000000));
  }

  void AltKey(wchar_t letter) {
    constexpr LPARAM kAltDown = 1 << 29;
    const HWND focus = ::GetFocus() != nullptr ? ::GetFocus() : form_->hwnd();
    Send(focus, WM_SYSCHAR, letter, kAltDown);
  }

  // The loop reads Ctrl and Shift from the thread's key state.
  static void SetModifiers(bool ctrl, bool shift) {
    BYTE state[256] = {};
    ::GetKeyboardState(state);
    state[VK_CONTROL] = state[VK_LCONTROL] = ctrl ? 0x80 : 0;
    state[VK_SHIFT] = state[VK_LSHIFT] = shift ? 0x80 : 0;
    ::SetKeyboardState(state);
  }

  // AltGr as Windows reports it: left Ctrl and right Alt down.
  static void SetAltGr(bool down) {
    BYTE state[256] = {};
    ::GetKeyboardState(state);
    for (int key : {VK_CONTROL, VK_LCONTROL, VK_MENU, VK_RMENU}) state[key] = down ? 0x80 : 0;
    ::SetKeyboardState(state);
  }

  // AltGr+key as the system delivers it with a German layout, where the key gives
  // `typed`. With Ctrl down the focus gets WM_KEYDOWN; with no focus the window gets
  // WM_SYSKEYDOWN. Both carry the Alt bit. TranslateMessage then posts the character
  // as WM_CHAR for a WM_KEYDOWN and as WM_SYSCHAR for a WM_SYSKEYDOWN, to the
  // message's window; that is done here, since the test's layout may give none.
  void AltGrKey(WPARAM key, wchar_t typed, bool noFocus) {
    constexpr LPARAM kAltDown = 1 << 29;
    SetAltGr(true);
    const UINT scan = ::MapVirtualKeyW(static_cast<UINT>(key), MAPVK_VK_TO_VSC);
    const UINT message = noFocus ? WM_SYSKEYDOWN : WM_KEYDOWN;
    MSG down{noFocus ? form_->hwnd() : ::GetFocus(), message, key,
             1 | static_cast<LPARAM>(scan) << 16 | kAltDown, ::GetTickCount(), {}};
    if (!form_->PreTranslateMessage(down)) {
      const UINT charMessage = down.message == WM_KEYDOWN ? WM_CHAR : WM_SYSCHAR;
      if (down.message == WM_KEYDOWN || down.message == WM_SYSKEYDOWN) {
        ::PostMessageW(down.hwnd, charMessage, typed, down.lParam);
      }
      ::DispatchMessageW(&down);
    }
    Pump();
    SetAltGr(false);
  }

  void CtrlKey(WPARAM key, bool shift = false) {
    SetModifiers(true, shift);
    Send(::GetFocus(), WM_KEYDOWN, key);
    SetModifiers(false, false);
  }

  // Every window the four pages are made of.
  [[nodiscard]] std::vector<HWND> PageWindows() const {
    std::vector<HWND> all;
    for (const Frame& frame : form_->fraTab) {
      all.push_back(frame.hwnd);
      for (HWND c = ::GetWindow(frame.hwnd, GW_CHILD); c != nullptr; c = ::GetWindow(c, GW_HWNDNEXT)) {
        all.push_back(c);
      }
    }
    return all;
  }

  void FinishARun() {
    Type(form_->txtApplicationPing, L"192.0.2.1");
    form_->cmdExecutePing_Click();
    form_->oLaunch_ProcessEnded();
  }
};

TEST_F(KeyboardTest, EscEnterAndTabInAnOutputBoxDestroyNothingAndTabMovesOn) {
  OpenShown();
  frm_Vexlo& f = *form_;
  const std::vector<HWND> pages = PageWindows();
  ASSERT_EQ(pages.size(), 4u + 12 + 10 + 6 + 4 + 2);  // and the Ping and Traceroute strips
  const TextBox* outputs[] = {&f.txtOutputPing, &f.txtOutputTracert, &f.txtOutputLookup};
  for (int page = 1; page <= 3; ++page) {
    ClickTab(page);
    const HWND box = outputs[page - 1]->hwnd;
    f.oLaunch_DataReceived(L"some output to select\r\n");
    for (WPARAM key : {VK_ESCAPE, VK_RETURN}) {
      ::SetFocus(box);
      Keystroke(key);
      EXPECT_EQ(::GetFocus(), box) << page;
    }
    const HWND expected = ::GetNextDlgTabItem(f.hwnd(), box, FALSE);
    Keystroke(VK_TAB);
    EXPECT_EQ(::GetFocus(), expected) << page;
    EXPECT_NE(::GetFocus(), box);
    ::SetFocus(box);
    SetModifiers(false, true);
    Keystroke(VK_TAB);
    SetModifiers(false, false);
    EXPECT_NE(::GetFocus(), box) << page;
  }
  // A WM_CLOSE that a control posts to its page is not the page's end either.
  ::PostMessageW(f.fraTab[2].hwnd, WM_CLOSE, 0, 0);
  Pump();
  for (HWND w : pages) EXPECT_TRUE(::IsWindow(w));
  EXPECT_NE(f.hwnd(), nullptr);
  EXPECT_EQ(exits_, 0);
  EXPECT_FALSE(log_->released);
}

TEST_F(KeyboardTest, FocusStartsInTheAddressBoxAndComesBackAfterAnotherWindow) {
  OpenShown();
  frm_Vexlo& f = *form_;
  EXPECT_EQ(::GetFocus(), f.txtApplicationPing.hwnd);
  ::SetFocus(f.txt_times_n.hwnd);

  HWND other = ::CreateWindowExW(0, L"STATIC", L"another program", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200,
                                 100, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(other, nullptr);
  ::SetActiveWindow(other);
  Pump();
  EXPECT_NE(::GetActiveWindow(), f.hwnd());
  ::SetActiveWindow(f.hwnd());
  Pump();
  ::DestroyWindow(other);
  EXPECT_EQ(::GetFocus(), f.txt_times_n.hwnd);

  // A plain "e" goes into the box it was typed in; it presses no "&Exit".
  ::SetFocus(f.txtApplicationPing.hwnd);
  Keystroke('E');
  EXPECT_EQ(f.txtApplicationPing.Text(), L"e");
  EXPECT_EQ(exits_, 0);
}

TEST_F(KeyboardTest, AKeyWithNoControlFocusedGoesToTheAddressBoxNotToAnAccessKey) {
  OpenShown();
  frm_Vexlo& f = *form_;
  for (wchar_t letter : {L'C', L'E'}) {
    // As after a click on the status bar or the caption. The window's handlers give
    // the focus back at once, so the keys are sent to the window as the system would.
    ::SetFocus(nullptr);
    Send(f.hwnd(), WM_SYSKEYDOWN, letter);
    Send(f.hwnd(), WM_SYSKEYUP, letter, static_cast<LPARAM>(0xC0000000));
  }
  EXPECT_EQ(f.txtApplicationPing.Text(), L"ce");
  EXPECT_EQ(exits_, 0);
  EXPECT_NE(f.sbStatus.PanelText(1), L"Cleared !");
  EXPECT_EQ(::GetFocus(), f.txtApplicationPing.hwnd);
}

TEST_F(KeyboardTest, AltGrTypesWhatTheLayoutGivesAndPressesNothing) {
  OpenShown();
  frm_Vexlo& f = *form_;
  FinishARun();  // "&Execute" and "&Exit" both answer E now
  f.txtOutputPing.Text(L"kept");
  log_->calls.clear();
  // German layout: AltGr+Q is '@', AltGr+8 is '[', AltGr+E (an access key's letter)
  // is the euro sign.
  const std::pair<WPARAM, wchar_t> keys[] = {{'Q', L'@'}, {'8', L'['}, {'E', L'\u20AC'}};
  Type(f.txtApplicationPing, L"");
  for (const auto& [key, typed] : keys) {
    // As after a click on the status bar or the caption: the key comes to the window.
    ::SetFocus(nullptr);
    AltGrKey(key, typed, true);
    EXPECT_EQ(::GetFocus(), f.txtApplicationPing.hwnd) << key;
  }
  EXPECT_EQ(f.txtApplicationPing.Text(), L"@[\u20AC");
  // And where the address box has the focus.
  Type(f.txtApplicationPing, L"");
  ::SetFocus(f.txtApplicationPing.hwnd);
  for (const auto& [key, typed] : keys) AltGrKey(key, typed, false);
  EXPECT_EQ(f.txtApplicationPing.Text(), L"@[\u20AC");
  EXPECT_EQ(::GetFocus(), f.txtApplicationPing.hwnd);
  // Nothing was pressed: no run, no Clear, no Exit.
  EXPECT_TRUE(log_->calls.empty());
  EXPECT_EQ(f.txtOutputPing.Text(), L"kept");
  EXPECT_EQ(exits_, 0);
  // Alt alone still reaches the access keys.
  AltKey(L'c');
  EXPECT_EQ(f.txtOutputPing.Text(), L"");
}

TEST_F(KeyboardTest, AKeySharedByTwoButtonsMovesTheFocusAndPressesNothing) {
  OpenShown();
  frm_Vexlo& f = *form_;
  FinishARun();
  ASSERT_EQ(f.cmdExecutePing.Caption(), L"&Execute");
  log_->calls.clear();
  ::SetFocus(f.cmdClearPing.hwnd);
  AltKey(L'e');
  EXPECT_EQ(::GetFocus(), f.cmd_exit_ping.hwnd);  // the next owner after Clear
  AltKey(L'E');
  EXPECT_EQ(::GetFocus(), f.cmdExecutePing.hwnd);
  EXPECT_EQ(exits_, 0);
  EXPECT_TRUE(log_->calls.empty());
  // From a text box too.
  ::SetFocus(f.txtApplicationPing.hwnd);
  AltKey(L'e');
  EXPECT_EQ(::GetFocus(), f.cmdExecutePing.hwnd);
  EXPECT_EQ(exits_, 0);
  // Enter presses the button that has the focus.
  Keystroke(VK_RETURN);
  EXPECT_EQ(LastExecute(), L"ping  -n 4 192.0.2.1");
  EXPECT_EQ(exits_, 0);
}

TEST_F(KeyboardTest, AKeyOwnedByOneControlActsAsTheControlDoes) {
  OpenShown();
  frm_Vexlo& f = *form_;
  Type(f.txtApplicationPing, L"192.0.2.1");
  ::SetFocus(f.txtApplicationPing.hwnd);
  AltKey(L'x');  // "E&xecute", as designed
  EXPECT_EQ(LastExecute(), L"ping  -n 4 192.0.2.1");
  EXPECT_EQ(f.cmdExecutePing.Caption(), L"&Stop");
  AltKey(L's');
  EXPECT_EQ(log_->calls.back(), L"StopProcess");
  f.oLaunch_ProcessEnded();

  // A plain letter is an access key on a button, and text in a text box.
  f.txtOutputPing.Text(L"old");
  ::SetFocus(f.cmdClearPing.hwnd);
  Keystroke('C');
  EXPECT_EQ(f.txtOutputPing.Text(), L"");
  EXPECT_EQ(f.sbStatus.PanelText(1), L"Cleared !");
  ::SetFocus(f.txt_times_n.hwnd);
  Keystroke('C');
  EXPECT_EQ(f.txt_times_n.Text(), L"c4");  // typed where the caret was

  // Enter in a text box presses nothing; Esc closes nothing.
  log_->calls.clear();
  ::SetFocus(f.txtApplicationPing.hwnd);
  Keystroke(VK_RETURN);
  Keystroke(VK_ESCAPE);
  EXPECT_TRUE(log_->calls.empty());
  EXPECT_NE(f.hwnd(), nullptr);
  EXPECT_EQ(exits_, 0);
  // A disabled button does not answer its key.
  ClickTab(3);
  ::SetFocus(f.txtApplicationLookup.hwnd);
  AltKey(L'x');  // LookUp's Execute is disabled without an address: nothing
  EXPECT_TRUE(log_->calls.empty());
}

TEST_F(KeyboardTest, CoveredPagesIgnoreTheirAccessKeysEvenWhileShown) {
  OpenShown();
  frm_Vexlo& f = *form_;
  // What Windows does with hidden controls: they still count for its dialog manager.
  // Shown but covered here, so only the program's own rule keeps them out.
  for (const Frame& frame : f.fraTab) ::ShowWindow(frame.hwnd, SW_SHOWNA);
  f.chk_opt_a.Value(1);
  f.chk_opt_d.Value(1);
  f.txtOutputPing.Text(L"ping");
  f.txtOutputTracert.Text(L"trace");
  f.txtOutputLookup.Text(L"lookup");
  ::SetFocus(f.txtApplicationPing.hwnd);
  AltKey(L'c');
  EXPECT_EQ(f.txtOutputPing.Text(), L"");
  EXPECT_EQ(f.txtOutputTracert.Text(), L"trace");
  EXPECT_EQ(f.txtOutputLookup.Text(), L"lookup");
  EXPECT_EQ(f.chk_opt_d.Value(), 1);

  ClickTab(2);
  for (const Frame& frame : f.fraTab) ::ShowWindow(frame.hwnd, SW_SHOWNA);
  f.chk_opt_a.Value(1);
  ::SetFocus(f.txtApplicationTracert.hwnd);
  AltKey(L'c');
  EXPECT_EQ(f.chk_opt_d.Value(), 0);
  EXPECT_EQ(f.chk_opt_a.Value(), 1);
  EXPECT_EQ(f.txtOutputLookup.Text(), L"lookup");
  // Before any run "&Exit" is the only E: the Traceroute page's own Exit answers it.
  AltKey(L'e');
  EXPECT_EQ(exits_, 1);
  EXPECT_EQ(::GetFocus(), f.cmd_tracert_exit.hwnd);
}

TEST_F(KeyboardTest, CtrlTabWalksThePagesOnlyWhileTheTabStripIsEnabled) {
  OpenShown();
  frm_Vexlo& f = *form_;
  f.sKeptTracert = L"kept trace";
  ::SetFocus(f.txtApplicationPing.hwnd);
  for (int expected : {2, 3, 4, 1}) {
    CtrlKey(VK_TAB);
    EXPECT_EQ(f.tabRTF.SelectedItem(), expected);
    EXPECT_TRUE(f.fraTab[static_cast<std::size_t>(expected - 1)].Visible());
    EXPECT_TRUE(::IsChild(f.fraTab[static_cast<std::size_t>(expected - 1)].hwnd, ::GetFocus()) ||
                ::GetFocus() == f.tabRTF.hwnd);
    if (expected == 2) {
      EXPECT_EQ(f.txtOutputTracert.Text(), L"kept trace");  // as a click on the tab does
      EXPECT_EQ(::GetFocus(), f.txtApplicationTracert.hwnd);
    }
  }
  CtrlKey(VK_TAB, true);
  EXPECT_EQ(f.tabRTF.SelectedItem(), 4);
  CtrlKey(VK_NEXT);
  EXPECT_EQ(f.tabRTF.SelectedItem(), 1);
  CtrlKey(VK_PRIOR);
  EXPECT_EQ(f.tabRTF.SelectedItem(), 4);
  CtrlKey(VK_NEXT);

  Type(f.txtApplicationPing, L"192.0.2.1");
  ::SetFocus(f.cmdExecutePing.hwnd);
  Keystroke(VK_RETURN);
  ASSERT_EQ(f.bRunning, kTrue);
  CtrlKey(VK_TAB);
  CtrlKey(VK_PRIOR);
  EXPECT_EQ(f.tabRTF.SelectedItem(), 1);
  EXPECT_TRUE(f.fraTab[0].Visible());
}

TEST_F(KeyboardTest, TextBoxesTakeAddressesLongerThanTheEditControlsDefault) {
  OpenShown();
  frm_Vexlo& f = *form_;
  const std::wstring address(40000, L'a');
  Type(f.txtApplicationPing, address);
  Type(f.txt_times_n, std::wstring(40000, L'9'));
  Type(f.txtApplicationTracert, address);
  EXPECT_EQ(f.txtApplicationPing.TextLength(), 40000);
  EXPECT_EQ(f.txt_times_n.TextLength(), 40000);
  EXPECT_EQ(f.txtApplicationTracert.TextLength(), 40000);
  f.cmdExecutePing_Click();
  EXPECT_EQ(LastExecute().size(), 5 + 4 + 40000 + 1 + 40000u);
}

TEST_F(KeyboardTest, AFailedStartUpLeavesNoQuitMessageForItsMessageBox) {
  MSG stale;
  while (::PeekMessageW(&stale, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
  }
  frm_Vexlo::Options options;
  options.launcherFactory = [](ConsoleLauncherEvents&) { return std::unique_ptr<ConsoleLauncher>(); };
  frm_Vexlo form(std::move(options));
  std::wstring failure;
  ASSERT_FALSE(form.Load(failure));
  MSG quit;
  EXPECT_FALSE(::PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
}

TEST_F(KeyboardTest, CtrlSInAnOutputBoxSavesItAndReachesNothingElse) {
  OpenShown();
  frm_Vexlo& f = *form_;
  // A run makes the Execute button "&Stop": S is an access key on the page.
  Type(f.txtApplicationPing, L"192.0.2.1");
  f.cmdExecutePing_Click();
  ASSERT_EQ(f.cmdExecutePing.Caption(), L"&Stop");
  f.oLaunch_DataReceived(L"Reply\r\n");
  std::vector<std::wstring> proposed;
  ASSERT_TRUE(UseSaveAsUi(f.txtOutputPing.hwnd, {[&](HWND, const std::wstring& name) {
                                                   proposed.push_back(name);
                                                   return std::optional<std::wstring>();  // cancelled
                                                 },
                                                 [](HWND, const std::wstring&) {}}));
  ::SetFocus(f.txtOutputPing.hwnd);
  log_->calls.clear();
  CtrlKey('S');
  ASSERT_EQ(proposed.size(), 1u);
  EXPECT_EQ(proposed[0].rfind(L"ping ", 0), 0u) << std::string(proposed[0].begin(), proposed[0].end());
  EXPECT_EQ(proposed[0].substr(proposed[0].size() - 4), L".txt");
  // Neither Ctrl+S nor a plain S in the box presses Stop or moves the focus.
  Keystroke('S');
  EXPECT_EQ(proposed.size(), 1u);
  EXPECT_TRUE(log_->calls.empty());
  EXPECT_EQ(::GetFocus(), f.txtOutputPing.hwnd);
  EXPECT_EQ(f.bRunning, kTrue);
  EXPECT_EQ(f.txtOutputPing.Text(), L"Reply\r\n");
}

}  // namespace
}  // namespace vexlo
