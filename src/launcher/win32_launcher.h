#pragma once
// The program's own console launcher: CreateProcessW with one pipe for standard
// output and error, a reader thread, and a job object that ends the tool and all it
// started when the run ends, when the launcher is released or when the program dies.

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
