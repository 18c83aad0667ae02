#include "launcher/tool_start.h"

#include <sddl.h>

#include <atomic>
#include <vector>

#include "launcher/tool_job.h"
#include "launcher/tool_path.h"

namespace vexlo {
namespace {

// The tool's inherited handles and, when given, the job it is created in.
class ProcThreadAttributes {
 public:
  [[nodiscard]] DWORD Init(HANDLE* inherited, std::size_t count, HANDLE job) {
    job_ = job;
    const DWORD attributeCount = job_ != nullptr ? 2 : 1;
    SIZE_T size = 0;
    ::InitializeProcThreadAttributeList(nullptr, attributeCount, 0, &size);
    storage_.resize(size);
    auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage_.data());
    if (!::InitializeProcThreadAttributeList(list, attributeCount, 0, &size)) return ::GetLastError();
    list_ = list;
    // Only these handles reach the tool, whatever else is inheritable right now.
    if (!::UpdateProcThreadAttribute(list_, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, inherited,
                                     count * sizeof(HANDLE), nullptr, nullptr)) {
      return ::GetLastError();
    }
    // Windows 10 and later: in the job from its creation on. Older systems refuse the
    // attribute.
    if (job_ != nullptr && !::UpdateProcThreadAttribute(list_, 0, PROC_THREAD_ATTRIBUTE_JOB_LIST, &job_,
                                                        sizeof job_, nullptr, nullptr)) {
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
  HANDLE job_ = nullptr;  // read by CreateProcessW, so it lives as long as the list
};

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

// What every way of creating the tool shares.
struct ToolCreation {
  const std::wstring& program;
  const std::wstring& commandLine;
  const std::wstring& directory;
  HANDLE output;
  HANDLE input;
};

// job: the job to create it in, or null.
[[nodiscard]] DWORD CreateToolProcess(const ToolCreation& tool, DWORD moreFlags, HANDLE job,
                                      PROCESS_INFORMATION& pi) {
  HANDLE inherited[] = {tool.output, tool.input};
  ProcThreadAttributes attributes;
  if (const DWORD e = attributes.Init(inherited, 2, job); e != 0) return e;
  STARTUPINFOEXW si{};
  si.StartupInfo.cb = sizeof si;
  si.StartupInfo.dwFlags = STARTF_USESTDHANDLES | STARTF_USESHOWWINDOW;
  si.StartupInfo.wShowWindow = SW_HIDE;
  si.StartupInfo.hStdInput = tool.input;
  si.StartupInfo.hStdOutput = tool.output;
  si.StartupInfo.hStdError = tool.output;
  si.lpAttributeList = attributes.get();
  std::wstring line = tool.commandLine;  // CreateProcessW may write into it
  // CREATE_NO_WINDOW: a console of its own without a window. No new process group:
  // that would switch Ctrl+C off in the tool.
  const DWORD flags = CREATE_NO_WINDOW | EXTENDED_STARTUPINFO_PRESENT | CREATE_UNICODE_ENVIRONMENT | moreFlags;
  if (!::CreateProcessW(tool.program.c_str(), line.data(), nullptr, nullptr, TRUE, flags, nullptr,
                        tool.directory.c_str(), &si.StartupInfo, &pi)) {
    return ::GetLastError();
  }
  return 0;
}

// Created suspended, in the job from the start where the system can; else assigned
// before it runs; when even that is refused it runs outside the job, which is dropped
// so that EndTool falls back to TerminateProcess.
[[nodiscard]] DWORD CreateInJob(const ToolCreation& creation, DWORD moreFlags, UniqueKernelHandle& job,
                                PROCESS_INFORMATION& pi) {
  const DWORD flags = moreFlags | CREATE_SUSPENDED;
  if (CreateToolProcess(creation, flags, job.get(), pi) != 0) {
    if (const DWORD e = CreateToolProcess(creation, flags, nullptr, pi); e != 0) return e;
    if (!::AssignProcessToJobObject(job.get(), pi.hProcess)) job.reset();
  }
  if (::ResumeThread(pi.hThread) == static_cast<DWORD>(-1)) {
    const DWORD e = ::GetLastError();
    ::TerminateProcess(pi.hProcess, 1);
    ::CloseHandle(pi.hThread);
    ::CloseHandle(pi.hProcess);
    return e;
  }
  return 0;
}

// A run never fails for want of a job alone: each way down is tried after the one
// above it failed, and the last one's error is the run's.
[[nodiscard]] DWORD CreateTool(const ToolCreation& creation, StartedTool& tool, PROCESS_INFORMATION& pi) {
  const JobPlacement placement = ChoosePlacement(QueryOwnJob());
  if (placement != JobPlacement::kNoJob && CreateKillOnCloseJob(tool.job) == 0) {
    if (CreateInJob(creation, PlacementCreationFlags(placement), tool.job, pi) == 0) return 0;
    tool.job.reset();
  }
  // Outside any job of ours (our own refuses nesting and breakaway, or no job could
  // be made): EndTool ends it with TerminateProcess, so what the tool started lives
  // on, and our process dying does not end the tool.
  return CreateToolProcess(creation, 0, nullptr, pi);
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

  PROCESS_INFORMATION pi{};
  const ToolCreation creation{path.path, commandLine, directory, writeEnd.get(), nul.get()};
  if (const DWORD e = CreateTool(creation, tool, pi); e != 0) return e;
  tool.process.reset(pi.hProcess);
  tool.processId = pi.dwProcessId;
  ::CloseHandle(pi.hThread);
  // From here only the tool holds the write end (writeEnd closes on return), so the
  // pipe breaks when the tool and everything it passed the pipe on to have closed it.
  return 0;
}

}  // namespace vexlo
