#pragma once
// Ctrl+C for a running tool, as a console user stops it: raised in the tool's own
// (hidden) console, so that the tool and whatever shares its console can write their
// report and end.
//
// Our own process never joins that console. AttachConsole, AllocConsole and
// FreeConsole reset the caller's table of console control handlers to the default
// one, which calls ExitProcess; the Ctrl+C raised for group 0 reaches every process on
// the console, so it would end the program. A short-lived sender does it instead: our
// own executable, started with a private argument that names the tool.

#include <windows.h>

#include <optional>

#include "common/unique_handles.h"

namespace vexlo {

// Lets the tools we start see Ctrl+C: an ignore flag we were started with would pass
// on to every one of them. Done once for the process's life.
void PrepareForCtrlC() noexcept;

// The sender's entry. Every program that runs a launcher calls it first thing: when
// the command line is the sender's, it raises the Ctrl+C and gives the exit code to
// end with; otherwise nothing, and the program starts as usual.
[[nodiscard]] std::optional<int> RunCtrlCSenderIfAsked() noexcept;

// Starts a sender for the running tool; 0 and the sender's process, or the error that
// stopped it. tool must be held by the caller until the sender has been started.
[[nodiscard]] DWORD StartCtrlCSender(HANDLE tool, DWORD toolId, UniqueKernelHandle& sender);

// Whether a sender that has ended raised the Ctrl+C.
[[nodiscard]] bool SenderRaisedCtrlC(HANDLE sender) noexcept;

}  // namespace vexlo
