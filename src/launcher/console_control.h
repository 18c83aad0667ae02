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

// A sender started with the run, so that a Stop costs no process start: it waits,
// on no console, until Fire or the tool's end, and then raises the Ctrl+C or just
// ends. Ready is whether Start succeeded.
class CtrlCSender {
 public:
  CtrlCSender() = default;
  CtrlCSender(const CtrlCSender&) = delete;
  CtrlCSender& operator=(const CtrlCSender&) = delete;
  // Not fired, it ends with the tool by itself: the run's end or release ends that.
  ~CtrlCSender() = default;

  // 0, or the error that kept the sender from starting. tool must be held by the
  // caller until then.
  [[nodiscard]] DWORD Start(HANDLE tool, DWORD toolId);
  // Lets it raise the Ctrl+C; false when it can't any more (it has ended without).
  [[nodiscard]] bool Fire() noexcept;
  [[nodiscard]] bool Fired() const noexcept { return fired_; }
  [[nodiscard]] HANDLE Process() const noexcept { return process_.get(); }

 private:
  UniqueKernelHandle process_;
  UniqueKernelHandle go_;
  bool fired_ = false;
};

// Whether a sender that has ended raised the Ctrl+C.
[[nodiscard]] bool SenderRaisedCtrlC(HANDLE sender) noexcept;

}  // namespace vexlo
