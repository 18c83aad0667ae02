// The program's window with the scripted tool in place of ping and tracert, for the
// pictures `make screenshot` takes: "screenshot_host ping" runs a ping of 60 probes
// with some lost, "screenshot_host hops" a traceroute of 9 hops, each on its page.
// "times" adds the read times' gutter, "max" maximizes the window.
#include <windows.h>
#include <commctrl.h>

#include <cwchar>
#include <memory>

#include "common/dll_search.h"
#include "launcher/console_control.h"
#include "main_window/frm_vexlo.h"
#include "main_window/message_loop.h"
#include "support/scripted_tool_launcher.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR commandLine, int) {
  (void)vexlo::RestrictDllSearchToSystem();
  if (const auto exitCode = vexlo::RunCtrlCSenderIfAsked()) return *exitCode;
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_TAB_CLASSES | ICC_BAR_CLASSES};
  ::InitCommonControlsEx(&controls);

  const bool hops = std::wcsstr(commandLine, L"hops") != nullptr;
  const wchar_t* script = hops ? L"tracertrun 9 40" : L"pingrun 60 0";
  vexlo::frm_Vexlo form({[script](vexlo::ConsoleLauncherEvents& events) {
    return std::make_unique<vexlo::test::ScriptedToolLauncher>(events, script);
  }});
  std::wstring failure;
  if (!form.Load(failure)) {
    ::MessageBoxW(nullptr, failure.c_str(), L"Telvaro", MB_OK | MB_ICONERROR);
    return 1;
  }
  form.Show();
  if (std::wcsstr(commandLine, L"max") != nullptr) {
    // Xvfb has no window manager to maximize it: the window takes the work area itself.
    MONITORINFO monitor{sizeof monitor};
    if (::GetMonitorInfoW(::MonitorFromWindow(form.hwnd(), MONITOR_DEFAULTTOPRIMARY), &monitor)) {
      const RECT& work = monitor.rcWork;
      ::SetWindowPos(form.hwnd(), nullptr, work.left, work.top, work.right - work.left, work.bottom - work.top,
                     SWP_NOZORDER);
    }
  }
  if (std::wcsstr(commandLine, L"times") != nullptr) form.outputViews.ShowTimes(true);
  if (hops) {
    form.tabRTF.SelectedItem(2);
    form.tabRTF_Click();
    form.txtApplicationTracert.Text(L"example.net");
    form.cmd_execute_tracert_Click();
  } else {
    form.txtApplicationPing.Text(L"192.0.2.1");
    form.txt_times_n.Text(L"60");
    form.cmdExecutePing_Click();
  }
  return vexlo::RunMessageLoop(form);
}
