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
#include <string>

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
// on no console, until Fire, the tool's end or ours, and then raises the Ctrl+C or
// just ends. Prepare is cheap and done first; Launch starts the process, the slow
// part, and may run on another thread. Fire may come before Launch: the event stays
// set, and the sender raises the Ctrl+C as soon as it runs.
class CtrlCSender {
 public:
  CtrlCSender() = default;
  CtrlCSender(const CtrlCSender&) = delete;
  CtrlCSender& operator=(const CtrlCSender&) = delete;
  // Not fired, it ends with the tool or with us by itself; its job, if it has one,
  // ends it now.
  ~CtrlCSender() = default;

  // 0, or the error that keeps the sender from starting.
  [[nodiscard]] DWORD Prepare(HANDLE tool, DWORD toolId);
  // 0, or the error of the process start. Once, after Prepare succeeded.
  [[nodiscard]] DWORD Launch();
  // Sets the event; false when it could not.
  [[nodiscard]] bool Fire() noexcept;
  // Null until Launch succeeded.
  [[nodiscard]] HANDLE Process() const noexcept { return process_.get(); }

 private:
  [[nodiscard]] DWORD StartProcess(const std::wstring& directory, HANDLE job);

  UniqueKernelHandle job_;  // ends the sender with us; declared first, closed last
  UniqueKernelHandle process_;
  UniqueKernelHandle go_;
  std::wstring program_;
  std::wstring commandLine_;
};

// Whether a sender that has ended raised the Ctrl+C.
[[nodiscard]] bool SenderRaisedCtrlC(HANDLE sender) noexcept;

// The process with this id, opened with this access, only while it is still the one
// created at that time (a process id is reused once its process is gone); else empty.
[[nodiscard]] UniqueKernelHandle OpenSameProcess(DWORD id, ULONGLONG created, DWORD access) noexcept;
[[nodiscard]] ULONGLONG CreationTime(HANDLE process) noexcept;

// A new named event, manual reset; ERROR_ALREADY_EXISTS (and none) when an object
// of that name exists already: somebody else's could fire our sender, or never.
[[nodiscard]] DWORD CreateNewEvent(const std::wstring& name, UniqueKernelHandle& event);

}  // namespace vexlo
