#include "main_window/message_loop.h"

namespace vexlo {

void DispatchLoopMessage(frm_Vexlo& form, MSG& msg) {
  if (form.PreTranslateMessage(msg)) return;
  ::TranslateMessage(&msg);
  ::DispatchMessageW(&msg);
}

int RunMessageLoop(frm_Vexlo& form) {
  MSG msg;
  BOOL got;
  while ((got = ::GetMessageW(&msg, nullptr, 0, 0)) > 0) DispatchLoopMessage(form, msg);
  return got == 0 ? static_cast<int>(msg.wParam) : 1;
}

}  // namespace vexlo
