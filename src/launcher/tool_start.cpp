#include "launcher/tool_start.h"

#include <sddl.h>

#include <atomic>
#include <vector>

#include "launcher/tool_path.h"

namespace vexlo {
namespace {

class ProcThreadAttributes {
 public:
  [[nodiscard]] DWORD Init(HANDLE* inherited, std::size_t count) {
    SIZE_T size = 0;
    ::InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    storage_.resize(size);
    auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage_.data());
    if (!::InitializeProcThreadAttributeList(list, 1, 0, &size)) return ::GetLastError();
    list_ = list;
    // Only these handles reach the tool, whatever else is inheritable right now.
    if (!::UpdateProcThreadAttribute(list_, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, inherited,
                                     count * sizeof(HANDLE), nullptr, nullptr)) {
      return ::GetLastError();
    }
    return 0;
  }
  ProcThreadAttributes() = default;
  ProcThreadAttributes(const ProcThreadAttributes&) = delete;
  ProcThreadAttributes& operator=(const ProcThreadAttributes&) = delete;
  ~ProcThreadAttributes() {
    if (list_ != nullptr) ::DeleteProcThreadAttributeList(list_);
  }
  [[nodiscard]] LPPROC_THREAD_ATTRIBUTE_LIST get() const { return list_; }

 private:
  std::vector<std::byte> storage_;
  LPPROC_THREAD_ATTRIBUTE_LIST list_ = nullptr;
};

[[nodiscard]] DWORD CreateKillOnCloseJob(UniqueKernelHandle& job) {
  job.reset(::CreateJobObjectW(nullptr, nullptr));
  if (!job) return ::GetLastError();
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
  // Closing the last handle, also by our process dying, ends everything in the job.
  limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
  if (!::SetInformationJobObject(job.get(), JobObjectExtendedLimitInformation, &limits,
                                 sizeof limits)) {
    return ::GetLastError();
  }
  return 0;
}

// The read end takes overlapped reads, so the reader can wait for output and for the
// tool's end at once; an anonymous pipe (CreatePipe) cannot.
[[nodiscard]] DWORD CreateOutputPipe(DWORD bytes, UniqueKernelHandle& readEnd,
                                     UniqueKernelHandle& writeEnd) {
  static std::atomic<unsigned> serial{0};
  const std::wstring name = L"\\\\.\\pipe\\vexlo-output-" + std::to_wstring(::GetCurrentProcessId()) +
                            L"-" + std::to_wstring(++serial);
  // Only the pipe's owner, us, may open it. The default DACL lets everyone, the
  // anonymous logon too, read from a pipe whose name is easily guessed.
  UniqueLocal ownerOnly;
  if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:P(A;;GA;;;OW)", SDDL_REVISION_1,
                                                            ownerOnly.put(), nullptr)) {
    return ::GetLastError();
  }
  SECURITY_ATTRIBUTES security{sizeof security, ownerOnly.get(), FALSE};
  // One instance, ours from the start: nobody else can connect in our place.
  readEnd.reset(::CreateNamedPipeW(
      name.c_str(), PIPE_ACCESS_INBOUND | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
      PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, 1, 0, bytes, 0,
      &security));
  if (!readEnd) return ::GetLastError();
  SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
  writeEnd.reset(::CreateFileW(name.c_str(), GENERIC_WRITE | FILE_READ_ATTRIBUTES, 0, &inheritable,
                               OPEN_EXISTING, 0, nullptr));
  return writeEnd ? 0 : ::GetLastError();
}

// Runs the tool suspended, so that it is in the job before it can start anything.
[[nodiscard]] DWORD CreateSuspended(const std::wstring& program, const std::wstring& commandLine,
                                    const std::wstring& directory, HANDLE output, HANDLE input,
                                    PROCESS_INFORMATION& pi) {
  HANDLE inherited[] = {output, input};
  ProcThreadAttributes attributes;
  if (const DWORD e = attributes.Init(inherited, 2); e != 0) return e;
  STARTUPINFOEXW si{};
  si.StartupInfo.cb = sizeof si;
  si.StartupInfo.dwFlags = STARTF_USESTDHANDLES | STARTF_USESHOWWINDOW;
  si.StartupInfo.wShowWindow = SW_HIDE;
  si.StartupInfo.hStdInput = input;
  si.StartupInfo.hStdOutput = output;
  si.StartupInfo.hStdError = output;
  si.lpAttributeList = attributes.get();
  std::wstring line = commandLine;  // CreateProcessW may write into it
  // CREATE_NO_WINDOW: a console of its own without a window. No new process group:
  // that would switch Ctrl+C off in the tool.
  constexpr DWORD flags = CREATE_NO_WINDOW | CREATE_SUSPENDED | EXTENDED_STARTUPINFO_PRESENT |
                          CREATE_UNICODE_ENVIRONMENT;
  if (!::CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, TRUE, flags, nullptr,
                        directory.c_str(), &si.StartupInfo, &pi)) {
    return ::GetLastError();
  }
  return 0;
}

}  // namespace

void EndTool(const StartedTool& tool, UINT exitCode) noexcept {
  if (!tool.job || !::TerminateJobObject(tool.job.get(), exitCode)) {
    ::TerminateProcess(tool.process.get(), exitCode);
  }
}

DWORD StartTool(const std::wstring& commandLine, DWORD pipeBytes, StartedTool& tool) {
  // Wine would cut the line short and run the tool with the rest lost; Windows refuses.
  if (commandLine.size() > kMaxCommandLineChars) return ERROR_FILENAME_EXCED_RANGE;
  const ToolPath path = FindTool(commandLine);
  if (path.error != 0) return path.error;
  // Not wherever the program was started from: a tool must not find its files there.
  const std::wstring directory = SystemDirectory();
  if (directory.empty()) return ERROR_PATH_NOT_FOUND;

  UniqueKernelHandle writeEnd;
  if (const DWORD e = CreateOutputPipe(pipeBytes, tool.output, writeEnd); e != 0) return e;
  SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
  UniqueKernelHandle nul(::CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                       &inheritable, OPEN_EXISTING, 0, nullptr));
  if (!nul) return ::GetLastError();
  if (const DWORD e = CreateKillOnCloseJob(tool.job); e != 0) return e;

  PROCESS_INFORMATION pi{};
  if (const DWORD e = CreateSuspended(path.path, commandLine, directory, writeEnd.get(), nul.get(), pi);
      e != 0) {
    return e;
  }
  tool.process.reset(pi.hProcess);
  tool.processId = pi.dwProcessId;
  UniqueKernelHandle mainThread(pi.hThread);
  if (!::AssignProcessToJobObject(tool.job.get(), tool.process.get())) {
    const DWORD e = ::GetLastError();
    ::TerminateProcess(tool.process.get(), 1);
    return e;
  }
  if (::ResumeThread(mainThread.get()) == static_cast<DWORD>(-1)) {
    const DWORD e = ::GetLastError();
    ::TerminateJobObject(tool.job.get(), 1);
    return e;
  }
  // From here only the tool holds the write end (writeEnd closes on return), so the
  // pipe breaks when the tool and everything it passed the pipe on to have closed it.
  return 0;
}

}  // namespace vexlo
