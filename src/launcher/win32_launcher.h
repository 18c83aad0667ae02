#pragma once
// The program's own console launcher: runs a tool with its output redirected (see
// tool_start.h), reads it on a thread of the run (output_reader.h), and hands it to
// the window in turns short enough that the window's input and painting never wait
// long. A run ends when the started process has ended; whatever it left running ends
// with it.

#include "launcher/console_launcher.h"

#include <memory>

namespace vexlo {

// Must be called, and the launcher released, on a thread with a message loop: the
// events are raised from that loop. codePage is the code page of the tools' output;
// CP_OEMCP, the console's, is what the console tools write.
[[nodiscard]] std::unique_ptr<ConsoleLauncher> CreateWin32Launcher(
    ConsoleLauncherEvents& events, UINT codePage = CP_OEMCP);

// The factory the program uses.
[[nodiscard]] LauncherFactory Win32LauncherFactory();

}  // namespace vexlo
