#include "launcher/console_control.h"

namespace vexlo {
namespace {

BOOL WINAPI SurviveCtrlC(DWORD event) noexcept {
  // Ctrl+C and Ctrl+Break reach us only from a tool's console we raised them in.
  // Close, logoff and shutdown keep their default handling.
  return event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT ? TRUE : FALSE;
}

// AttachConsole may put the console's handles in place of our standard handles, and
// FreeConsole closes those it put there; ours come back afterwards.
class StandardHandles {
 public:
  StandardHandles() noexcept
      : in_(::GetStdHandle(STD_INPUT_HANDLE)),
        out_(::GetStdHandle(STD_OUTPUT_HANDLE)),
        err_(::GetStdHandle(STD_ERROR_HANDLE)) {}
  void Restore() const noexcept {
    ::SetStdHandle(STD_INPUT_HANDLE, in_);
    ::SetStdHandle(STD_OUTPUT_HANDLE, out_);
    ::SetStdHandle(STD_ERROR_HANDLE, err_);
  }

 private:
  HANDLE in_;
  HANDLE out_;
  HANDLE err_;
};

}  // namespace

bool PrepareForCtrlC() noexcept {
  static const bool ready = [] {
    // An ignore flag we were started with would pass on to every tool we start, and
    // a tool that has it never sees Ctrl+C. Clearing it keeps our own handler in use.
    ::SetConsoleCtrlHandler(nullptr, FALSE);
    // Without a handler of ours that takes the event, the default one ends the program.
    return ::SetConsoleCtrlHandler(&SurviveCtrlC, TRUE) != FALSE;
  }();
  return ready;
}

bool SendCtrlC(HANDLE process, DWORD processId) noexcept {
  if (!PrepareForCtrlC()) return false;
  // An ended tool's console may be gone, or kept only by what the tool left running.
  if (::WaitForSingleObject(process, 0) != WAIT_TIMEOUT) return false;
  const StandardHandles ours;
  if (!::AttachConsole(processId)) {
    ours.Restore();
    return false;
  }
  // Group 0 is every process attached to this console: the tool, what it started on
  // it, and us. Ctrl+C cannot be aimed at a group anyway.
  const bool raised = ::GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0) != FALSE;
  ::FreeConsole();
  ours.Restore();
  return raised;
}

}  // namespace vexlo
