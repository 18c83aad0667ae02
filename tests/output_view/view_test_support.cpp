#include "output_view/view_test_support.h"

#include <commctrl.h>

#include "controls/controls.h"
#include "output_view/output_view_impl.h"

namespace vexlo::test {

HostWindow::HostWindow() {
  WNDCLASSEXW wc{};
  wc.hInstance = ::GetModuleHandleW(nullptr);
  wc.lpszClassName = L"VexloTestHost";
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  if (!RegisterWindowClass(wc)) return;
  window_.reset(CreateFor(0, wc.lpszClassName, L"host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 900, 600,
                          nullptr, nullptr));
}

LRESULT HostWindow::HandleMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_CLOSE || msg == WM_NEXTDLGCTL || msg == WM_COMMAND) received.push_back(msg);
  if (msg == WM_COMMAND) notifications.push_back(HIWORD(wp));
  if (msg == WM_CLOSE) return 0;
  if (msg == WM_NCDESTROY) window_.release();
  return ::DefWindowProcW(hwnd, msg, wp, lp);
}

void ViewTest::SetUpTestSuite() {
  INITCOMMONCONTROLSEX icc{sizeof icc, ICC_STANDARD_CLASSES};
  ::InitCommonControlsEx(&icc);
  ASSERT_TRUE(OutputView::Register(::GetModuleHandleW(nullptr)));
}

void ViewTest::SetUp() {
  ASSERT_NE(host_.hwnd(), nullptr);
  font_ = MakeArialFont(8.25, false, 96);
  edit_ = ::CreateWindowExW(0, L"EDIT", L"", kEditStyle, 10, 10, kWidth, kHeight, host_.hwnd(),
                            reinterpret_cast<HMENU>(1), ::GetModuleHandleW(nullptr), nullptr);
  view_ = OutputView::Procedure().CreateFor(0, OutputView::kClassName, L"Ping output", kViewStyle, 440, 10, kWidth,
                                            kHeight, host_.hwnd(), reinterpret_cast<HMENU>(2));
  ASSERT_NE(edit_, nullptr);
  ASSERT_NE(view_, nullptr);
  for (HWND box : {edit_, view_}) {
    ::SendMessageW(box, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), TRUE);
    ::SendMessageW(box, EM_SETLIMITTEXT, 0, 0);
  }
}

std::wstring ViewTest::Text(HWND box) { return WindowText(box); }

std::pair<DWORD, DWORD> ViewTest::Sel(HWND box) {
  DWORD start = 0xDEAD, end = 0xBEEF;
  ::SendMessageW(box, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
  return {start, end};
}

void ViewTest::Key(HWND box, WPARAM key, bool shift, bool ctrl) {
  BYTE keys[256] = {};
  ::GetKeyboardState(keys);
  const BYTE oldShift = keys[VK_SHIFT], oldCtrl = keys[VK_CONTROL];
  keys[VK_SHIFT] = shift ? 0x80 : 0;
  keys[VK_CONTROL] = ctrl ? 0x80 : 0;
  ::SetKeyboardState(keys);
  ::SendMessageW(box, WM_KEYDOWN, key, 1);
  keys[VK_SHIFT] = oldShift;
  keys[VK_CONTROL] = oldCtrl;
  ::SetKeyboardState(keys);
}

}  // namespace vexlo::test
