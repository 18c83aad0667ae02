#pragma once
// The program's own console launcher: runs a tool with its output redirected (see
// tool_start.h), reads it on a thread of the run (output_reader.h), and hands it to
// the window in turns short enough that the window's input and painting never wait
// long. Stop raises Ctrl+C in the tool's console, so that the tool can write its
// report, and ends the tool's job after a grace period, at a second Stop, or when the
// launcher is released. A run ends when the started process has ended; whatever it
// left running ends with it.

#include "launcher/console_launcher.h"

#include <chrono>
#include <memory>

namespace vexlo {

// How long a tool may take to end after Stop's Ctrl+C. Ping needs a few milliseconds
// to print its statistics, and a tool without a handler ends at once; a second leaves
// room for a slow or loaded machine and still reads as an answer to the click, not
// as a hang. A tool that ignores Ctrl+C is then ended.
inline constexpr std::chrono::milliseconds kStopGracePeriod{1000};

// Must be called, and the launcher released, on a thread with a message loop: the
// events are raised from that loop. codePage is the code page of the tools' output;
// CP_OEMCP, the console's, is what the console tools write. Stop's Ctrl+C comes from a
// copy of the running program: every program that creates a launcher calls
// RunCtrlCSenderIfAsked (console_control.h) first thing.
[[nodiscard]] std::unique_ptr<ConsoleLauncher> CreateWin32Launcher(
    ConsoleLauncherEvents& events, UINT codePage = CP_OEMCP,
    std::chrono::milliseconds gracePeriod = kStopGracePeriod);

// The factory the program uses.
[[nodiscard]] LauncherFactory Win32LauncherFactory();

}  // namespace vexlo
