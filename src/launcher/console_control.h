#pragma once
// Ctrl+C for a running tool, as a console user stops it: raised in the tool's own
// (hidden) console, so that the tool and whatever shares its console can write their
// report and end.

#include <windows.h>

namespace vexlo {

// Lets this process live through the Ctrl+C it raises in a tool's console, which
// reaches every process attached to that console, ours too. Done once for the
// process's life. False when that cannot be ensured; then no Ctrl+C may be raised.
[[nodiscard]] bool PrepareForCtrlC() noexcept;

// Raises Ctrl+C in the console of the running process. False, with nothing raised,
// when it cannot be delivered: the process has ended, it has no console, or this
// process has a console of its own (a process is attached to one console at most).
// process must be a handle to it held by the caller: while it is open, the id cannot
// pass to another process. Never creates a console, so no console window appears.
[[nodiscard]] bool SendCtrlC(HANDLE process, DWORD processId) noexcept;

}  // namespace vexlo
