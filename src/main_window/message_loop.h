#pragma once
// The program's message loop, and the one step of it that tests drive with real
// messages.

#include <windows.h>

#include "main_window/frm_vexlo.h"

namespace vexlo {

// What the loop does with each message it takes: the window's keyboard interface
// first, then translation and dispatch.
void DispatchLoopMessage(frm_Vexlo& form, MSG& msg);

// Runs until the window has gone; returns the exit code the window left.
[[nodiscard]] int RunMessageLoop(frm_Vexlo& form);

}  // namespace vexlo
