#pragma once
// Starts a console tool as the launcher runs it: straight from its file, no shell; the
// system directory as its current directory; standard output and error into one pipe
// that the launcher reads with overlapped I/O; NUL as its input; a hidden console of
// its own, which Ctrl+C can be raised in; and inside a job that ends it and all it
// starts, also when our process dies, unless our own job allows no job of ours
// (tool_job.h). Its output pipe admits only its owner, us.

#include <windows.h>

#include <cstddef>
#include <string>

#include "common/unique_handles.h"

namespace vexlo {

// The longest command line CreateProcessW takes: 32,767 characters with the
// terminating null. Windows refuses a longer one with ERROR_FILENAME_EXCED_RANGE.
inline constexpr std::size_t kMaxCommandLineChars = 32766;

struct StartedTool {
  UniqueKernelHandle job;  // empty when it runs outside any job of ours
  UniqueKernelHandle process;
  DWORD processId = 0;
  UniqueKernelHandle output;  // the pipe's read end, for overlapped reads
};

// Ends the tool and, when it runs in a job, everything it started.
void EndTool(const StartedTool& tool, UINT exitCode) noexcept;

// 0 and the running tool, or the Windows error that stopped the start; then nothing
// runs. pipeBytes: the size of the pipe's buffer.
[[nodiscard]] DWORD StartTool(const std::wstring& commandLine, DWORD pipeBytes, StartedTool& tool);

}  // namespace vexlo
