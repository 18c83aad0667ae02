#include <windows.h>
#include <commctrl.h>

#include "common/dll_search.h"
#include "launcher/console_control.h"
#include "launcher/win32_launcher.h"
#include "main_window/frm_vexlo.h"
#include "main_window/message_loop.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  // Before anything can load a DLL by name, a sender's work included.
  (void)vexlo::RestrictDllSearchToSystem();
  // A copy started to raise Stop's Ctrl+C in a tool's console does only that.
  if (const auto exitCode = vexlo::RunCtrlCSenderIfAsked()) return *exitCode;
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_TAB_CLASSES | ICC_BAR_CLASSES};
  ::InitCommonControlsEx(&controls);

  vexlo::frm_Vexlo form({vexlo::Win32LauncherFactory()});
  std::wstring failure;
  if (!form.Load(failure)) {
    ::MessageBoxW(nullptr, failure.c_str(), L"Telvaro", MB_OK | MB_ICONERROR);
    return 1;
  }
  form.Show();
  return vexlo::RunMessageLoop(form);
}
