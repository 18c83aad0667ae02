#pragma once
// The program's own window messages, in one place so that no two share a number.
// They are numbered from WM_APP: the range from WM_USER belongs to each window class
// (a control's own messages live there), WM_APP's to the program.

#include <windows.h>

namespace vexlo {

// To an output view: appends wParam characters from lParam at its end
// (output_view/output_view.h). lParam is a pointer, so the view takes it only from
// its own thread.
inline constexpr UINT kAppendOutputMessage = WM_APP;
// To the launcher's message-only window: output is waiting in the queue, or the pace
// timer's interval has passed (launcher/win32_launcher.cpp).
inline constexpr UINT kLauncherWakeMessage = WM_APP + 1;
// To an output view: appends the TimedOutput at lParam (common/read_times.h) at its
// end, as kAppendOutputMessage does, with when its parts were read. Its own thread only.
inline constexpr UINT kAppendTimedOutputMessage = WM_APP + 2;

}  // namespace vexlo
