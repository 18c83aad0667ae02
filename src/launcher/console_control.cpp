#include "launcher/console_control.h"

#include <atomic>
#include <cwchar>
#include <string>
#include <string_view>

#include "launcher/tool_path.h"

namespace vexlo {
namespace {

// The sender's whole command line after the program's name: this, the tool's process
// id and creation time, and the process id and serial number that name the event it
// waits for.
constexpr std::wstring_view kSenderArgument = L"--vexlo-raise-ctrl-c";

// Exit codes of the sender. Success is not 0, so a program that ignored the argument
// and ended normally is not taken for a sender that raised the Ctrl+C.
constexpr DWORD kSenderRaised = 0x4343;
constexpr DWORD kSenderNoTool = 1;
constexpr DWORD kSenderNotAttached = 2;
constexpr DWORD kSenderNotIgnoring = 3;
constexpr DWORD kSenderNotRaised = 4;
constexpr DWORD kSenderBadArgument = 5;
constexpr DWORD kSenderNoEvent = 6;

// In the session's namespace: the sender runs in our session, with our token, so the
// event's default security (the token's default DACL) admits only us and the system.
[[nodiscard]] std::wstring GoEventName(ULONGLONG ownerId, ULONGLONG serial) {
  return L"Local\\vexlo-ctrl-c-" + std::to_wstring(ownerId) + L"-" + std::to_wstring(serial);
}

[[nodiscard]] ULONGLONG CreationTime(HANDLE process) noexcept {
  FILETIME created{}, exited{}, kernel{}, user{};
  if (!::GetProcessTimes(process, &created, &exited, &kernel, &user)) return 0;
  return (static_cast<ULONGLONG>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
}

// What follows the program's name, as CreateProcess's rules for the first word have it.
[[nodiscard]] std::wstring_view Arguments(std::wstring_view line) noexcept {
  std::size_t end = 0;
  if (!line.empty() && line[0] == L'"') {
    end = line.find(L'"', 1);
    end = end == std::wstring_view::npos ? line.size() : end + 1;
  } else {
    end = line.find_first_of(L" \t");
    if (end == std::wstring_view::npos) end = line.size();
  }
  return line.substr(end);
}

// Reads one decimal number and the space before it; false unless there is one.
[[nodiscard]] bool TakeNumber(std::wstring_view& rest, ULONGLONG& value) noexcept {
  if (rest.size() < 2 || rest[0] != L' ' || rest[1] < L'0' || rest[1] > L'9') return false;
  rest.remove_prefix(1);
  value = 0;
  while (!rest.empty() && rest[0] >= L'0' && rest[0] <= L'9') {
    if (value > (~0ULL - 9) / 10) return false;
    value = value * 10 + static_cast<ULONGLONG>(rest[0] - L'0');
    rest.remove_prefix(1);
  }
  return true;
}

// Waits, on no console, until the event is set or the tool ends.
[[nodiscard]] bool WaitForGo(HANDLE tool, const std::wstring& eventName) noexcept {
  const UniqueKernelHandle go(::OpenEventW(SYNCHRONIZE, FALSE, eventName.c_str()));
  if (!go) return false;
  const HANDLE both[] = {go.get(), tool};
  return ::WaitForMultipleObjects(2, both, FALSE, INFINITE) == WAIT_OBJECT_0;
}

[[nodiscard]] DWORD RaiseCtrlCInConsoleOf(DWORD toolId, ULONGLONG created,
                                          const std::wstring& eventName) noexcept {
  // Held throughout: its id cannot pass to another process meanwhile, and the
  // creation time tells that the id still names the tool.
  const UniqueKernelHandle tool(
      ::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, toolId));
  if (!tool || CreationTime(tool.get()) != created) return kSenderNoTool;
  if (!WaitForGo(tool.get(), eventName)) return kSenderNoEvent;
  if (::WaitForSingleObject(tool.get(), 0) != WAIT_TIMEOUT) return kSenderNoTool;
  // A process is attached to one console at most; Wine may have given us one.
  ::FreeConsole();
  if (!::AttachConsole(toolId)) return kSenderNotAttached;
  // Attaching reset our handlers; the Ctrl+C reaches us too, and the default handler
  // would end us with an exit code that reads as a failure.
  if (!::SetConsoleCtrlHandler(nullptr, TRUE)) return kSenderNotIgnoring;
  // Group 0 is every process attached to this console: the tool, what it started on
  // it, and us. Ctrl+C cannot be aimed at a group anyway.
  return ::GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0) ? kSenderRaised : kSenderNotRaised;
}

[[nodiscard]] std::wstring ModulePath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0) return {};
    if (n < path.size()) {
      path.resize(n);
      return path;
    }
    if (path.size() >= 32768) return {};
    path.resize(path.size() * 2);
  }
}

}  // namespace

void PrepareForCtrlC() noexcept {
  static const bool cleared = [] { return ::SetConsoleCtrlHandler(nullptr, FALSE) != FALSE; }();
  (void)cleared;
}

std::optional<int> RunCtrlCSenderIfAsked() noexcept {
  std::wstring_view rest = Arguments(::GetCommandLineW());
  if (rest.substr(0, 1) != L" " || rest.substr(1, kSenderArgument.size()) != kSenderArgument) {
    return std::nullopt;
  }
  rest.remove_prefix(1 + kSenderArgument.size());
  ULONGLONG toolId = 0;
  ULONGLONG created = 0;
  ULONGLONG ownerId = 0;
  ULONGLONG serial = 0;
  if (!TakeNumber(rest, toolId) || !TakeNumber(rest, created) || !TakeNumber(rest, ownerId) ||
      !TakeNumber(rest, serial) || !rest.empty() || toolId > MAXDWORD) {
    return static_cast<int>(kSenderBadArgument);
  }
  try {
    return static_cast<int>(
        RaiseCtrlCInConsoleOf(static_cast<DWORD>(toolId), created, GoEventName(ownerId, serial)));
  } catch (...) {  // no memory for the name
    return static_cast<int>(kSenderNoEvent);
  }
}

DWORD CtrlCSender::Start(HANDLE tool, DWORD toolId) {
  const ULONGLONG created = CreationTime(tool);
  if (created == 0) return ::GetLastError();
  static std::atomic<unsigned> serial{0};
  const DWORD ownerId = ::GetCurrentProcessId();
  const unsigned number = ++serial;
  // Manual reset: the sender may open it only after it was set.
  go_.reset(::CreateEventW(nullptr, TRUE, FALSE, GoEventName(ownerId, number).c_str()));
  if (!go_) return ::GetLastError();
  // Somebody else's object under our name: it could fire our sender, or never.
  if (::GetLastError() == ERROR_ALREADY_EXISTS) {
    go_.reset();
    return ERROR_ALREADY_EXISTS;
  }
  // Our own file, never one found by a search.
  const std::wstring self = ModulePath();
  if (self.empty()) return ERROR_PATH_NOT_FOUND;
  const std::wstring directory = SystemDirectory();
  if (directory.empty()) return ERROR_PATH_NOT_FOUND;
  std::wstring line = L"\"" + self + L"\" " + std::wstring(kSenderArgument) + L" " +
                      std::to_wstring(toolId) + L" " + std::to_wstring(created) + L" " +
                      std::to_wstring(ownerId) + L" " + std::to_wstring(number);
  STARTUPINFOW si{};
  si.cb = sizeof si;
  // The program is a GUI program: no busy cursor for a process that shows nothing.
  si.dwFlags = STARTF_FORCEOFFFEEDBACK;
  PROCESS_INFORMATION pi{};
  // DETACHED_PROCESS: no console at all, so that AttachConsole can take the tool's
  // (with a console of its own, even a hidden one, AttachConsole fails). No handles.
  if (!::CreateProcessW(self.c_str(), line.data(), nullptr, nullptr, FALSE, DETACHED_PROCESS,
                        nullptr, directory.c_str(), &si, &pi)) {
    return ::GetLastError();
  }
  ::CloseHandle(pi.hThread);
  process_.reset(pi.hProcess);
  return 0;
}

bool CtrlCSender::Fire() noexcept {
  if (!process_ || fired_) return false;
  fired_ = true;
  if (!::SetEvent(go_.get())) return false;
  // Ended before it was told: it did not raise the Ctrl+C, and never will.
  return ::WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT || SenderRaisedCtrlC(process_.get());
}

bool SenderRaisedCtrlC(HANDLE sender) noexcept {
  DWORD code = 0;
  return ::GetExitCodeProcess(sender, &code) && code == kSenderRaised;
}

}  // namespace vexlo
