#include <windows.h>
#include <commctrl.h>

#include "launcher/win32_launcher.h"
#include "main_window/frm_vexlo.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_TAB_CLASSES | ICC_BAR_CLASSES};
  ::InitCommonControlsEx(&controls);

  vexlo::frm_Vexlo form({vexlo::Win32LauncherFactory()});
  std::wstring failure;
  if (!form.Load(failure)) {
    ::MessageBoxW(nullptr, failure.c_str(), L"Telvaro", MB_OK | MB_ICONERROR);
    return 1;
  }
  form.Show();
  MSG msg;
  while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
    // The platform's dialog navigation: Tab, Shift+Tab, access keys, arrow keys.
    if (form.hwnd() != nullptr && ::IsDialogMessageW(form.hwnd(), &msg)) continue;
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
  return static_cast<int>(msg.wParam);
}
