#include "launcher/console_control.h"

#include <atomic>
#include <cstddef>
#include <cwchar>
#include <string>
#include <string_view>
#include <vector>

#include "launcher/tool_job.h"
#include "launcher/tool_path.h"

namespace vexlo {
namespace {

// The sender's whole command line after the program's name: this, the tool's process
// id and creation time, our process id and creation time, and a serial number; our id
// and the serial name the event it waits for.
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
constexpr DWORD kSenderNoOwner = 7;

// In the session's namespace: the sender runs in our session, with our token, so the
// event's default security (the token's default DACL) admits only us and the system.
[[nodiscard]] std::wstring GoEventName(ULONGLONG ownerId, ULONGLONG serial) {
  return L"Local\\vexlo-ctrl-c-" + std::to_wstring(ownerId) + L"-" + std::to_wstring(serial);
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

// The sender's process ids and creation times, and the event's serial.
struct SenderTarget {
  ULONGLONG toolId = 0;
  ULONGLONG toolCreated = 0;
  ULONGLONG ownerId = 0;
  ULONGLONG ownerCreated = 0;
  ULONGLONG serial = 0;
};

// Waits, on no console, until the event is set or the tool or its owner ends. The
// owner's end matters when the tool runs outside any job of ours: it may run for ever.
[[nodiscard]] bool WaitForGo(HANDLE tool, HANDLE owner, const std::wstring& eventName) noexcept {
  const UniqueKernelHandle go(::OpenEventW(SYNCHRONIZE, FALSE, eventName.c_str()));
  if (!go) return false;
  const HANDLE all[] = {go.get(), tool, owner};
  return ::WaitForMultipleObjects(3, all, FALSE, INFINITE) == WAIT_OBJECT_0;
}

[[nodiscard]] DWORD RaiseCtrlCInConsoleOf(const SenderTarget& target) {
  constexpr DWORD kAccess = SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION;
  // Held throughout: their ids cannot pass to other processes meanwhile.
  const UniqueKernelHandle owner(
      OpenSameProcess(static_cast<DWORD>(target.ownerId), target.ownerCreated, kAccess));
  if (!owner) return kSenderNoOwner;
  const auto toolId = static_cast<DWORD>(target.toolId);
  const UniqueKernelHandle tool(OpenSameProcess(toolId, target.toolCreated, kAccess));
  if (!tool) return kSenderNoTool;
  if (!WaitForGo(tool.get(), owner.get(), GoEventName(target.ownerId, target.serial))) {
    return kSenderNoEvent;
  }
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
  SenderTarget target;
  if (!TakeNumber(rest, target.toolId) || !TakeNumber(rest, target.toolCreated) ||
      !TakeNumber(rest, target.ownerId) || !TakeNumber(rest, target.ownerCreated) ||
      !TakeNumber(rest, target.serial) || !rest.empty() || target.toolId > MAXDWORD ||
      target.ownerId > MAXDWORD) {
    return static_cast<int>(kSenderBadArgument);
  }
  try {
    return static_cast<int>(RaiseCtrlCInConsoleOf(target));
  } catch (...) {  // no memory for the name
    return static_cast<int>(kSenderNoEvent);
  }
}

DWORD CtrlCSender::Prepare(HANDLE tool, DWORD toolId) {
  SenderTarget target;
  target.toolId = toolId;
  target.toolCreated = CreationTime(tool);
  if (target.toolCreated == 0) return ::GetLastError();
  target.ownerId = ::GetCurrentProcessId();
  target.ownerCreated = CreationTime(::GetCurrentProcess());
  if (target.ownerCreated == 0) return ::GetLastError();
  static std::atomic<unsigned> serial{0};
  target.serial = ++serial;
  // Manual reset: the sender may open it only after it was set.
  if (const DWORD e = CreateNewEvent(GoEventName(target.ownerId, target.serial), go_); e != 0) {
    return e;
  }
  // Our own file, never one found by a search.
  program_ = ModulePath();
  if (program_.empty()) return ERROR_PATH_NOT_FOUND;
  commandLine_ = L"\"" + program_ + L"\" " + std::wstring(kSenderArgument);
  for (const ULONGLONG number : {target.toolId, target.toolCreated, target.ownerId,
                                 target.ownerCreated, target.serial}) {
    commandLine_ += L" " + std::to_wstring(number);
  }
  return 0;
}

DWORD CtrlCSender::Launch() {
  const std::wstring directory = SystemDirectory();
  if (directory.empty()) return ERROR_PATH_NOT_FOUND;
  // CreateProcessW resumes the new process's first thread only as its last step: were
  // we to end while this thread is inside it (Exit right after Execute), the sender
  // would stay suspended for good. In a kill-on-close job of its own from its creation
  // on, it ends with us whatever the moment. Where our own job refuses a nested one,
  // it starts without; its wait for us then ends it.
  UniqueKernelHandle job;
  if (CreateKillOnCloseJob(job) == 0) {
    if (StartProcess(directory, job.get()) == 0) {
      job_ = std::move(job);
      return 0;
    }
  }
  return StartProcess(directory, nullptr);
}

DWORD CtrlCSender::StartProcess(const std::wstring& directory, HANDLE job) {
  STARTUPINFOEXW si{};
  si.StartupInfo.cb = sizeof si;
  // The program is a GUI program: no busy cursor for a process that shows nothing.
  si.StartupInfo.dwFlags = STARTF_FORCEOFFFEEDBACK;
  std::vector<std::byte> storage;
  if (job != nullptr) {
    SIZE_T size = 0;
    ::InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    storage.resize(size);
    si.lpAttributeList = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage.data());
    if (!::InitializeProcThreadAttributeList(si.lpAttributeList, 1, 0, &size)) return ::GetLastError();
  }
  PROCESS_INFORMATION pi{};
  // Windows 10 and later; older systems refuse the attribute.
  BOOL created = job == nullptr || ::UpdateProcThreadAttribute(si.lpAttributeList, 0, PROC_THREAD_ATTRIBUTE_JOB_LIST,
                                                               &job, sizeof job, nullptr, nullptr);
  // DETACHED_PROCESS: no console at all, so that AttachConsole can take the tool's
  // (with a console of its own, even a hidden one, AttachConsole fails). No handles.
  const DWORD flags = DETACHED_PROCESS | (job != nullptr ? EXTENDED_STARTUPINFO_PRESENT : 0);
  created = created && ::CreateProcessW(program_.c_str(), commandLine_.data(), nullptr, nullptr, FALSE, flags,
                                        nullptr, directory.c_str(), &si.StartupInfo, &pi);
  const DWORD error = created ? 0 : ::GetLastError();
  if (si.lpAttributeList != nullptr) ::DeleteProcThreadAttributeList(si.lpAttributeList);
  if (!created) return error;
  ::CloseHandle(pi.hThread);
  process_.reset(pi.hProcess);
  return 0;
}

bool CtrlCSender::Fire() noexcept { return ::SetEvent(go_.get()) != FALSE; }

bool SenderRaisedCtrlC(HANDLE sender) noexcept {
  DWORD code = 0;
  return ::GetExitCodeProcess(sender, &code) && code == kSenderRaised;
}

ULONGLONG CreationTime(HANDLE process) noexcept {
  FILETIME created{}, exited{}, kernel{}, user{};
  if (!::GetProcessTimes(process, &created, &exited, &kernel, &user)) return 0;
  return (static_cast<ULONGLONG>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
}

UniqueKernelHandle OpenSameProcess(DWORD id, ULONGLONG created, DWORD access) noexcept {
  UniqueKernelHandle process(::OpenProcess(access | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id));
  if (process && CreationTime(process.get()) != created) process.reset();
  return process;
}

DWORD CreateNewEvent(const std::wstring& name, UniqueKernelHandle& event) {
  event.reset(::CreateEventW(nullptr, TRUE, FALSE, name.c_str()));
  if (!event) return ::GetLastError();
  if (::GetLastError() == ERROR_ALREADY_EXISTS) {
    event.reset();
    return ERROR_ALREADY_EXISTS;
  }
  return 0;
}

}  // namespace vexlo
