#pragma once
// For the tests that start a built program and look at it from outside: its process,
// its top-level window, the files it leaves.

#include <windows.h>

#include <set>
#include <string>

#include "common/unique_handles.h"

namespace vexlo::test {

[[nodiscard]] std::wstring Widen(const char* text);
// ASCII as it is, anything else as '?': for failure messages.
[[nodiscard]] std::string Narrow(const std::wstring& w);

// Works across processes for captions and static controls, which is all it reads.
[[nodiscard]] std::wstring WindowText(HWND hwnd);
[[nodiscard]] std::wstring ClassName(HWND hwnd);
// The process's top-level window with this caption, or null.
[[nodiscard]] HWND FindTopLevel(DWORD pid, const std::wstring& caption);

// Names in a directory, without "." and "..".
[[nodiscard]] std::set<std::wstring> DirectoryNames(const std::wstring& dir);

struct StartedProgram {
  UniqueKernelHandle process;
  DWORD pid = 0;
  DWORD error = ERROR_SUCCESS;
};

// No handles inherited; directory empty: ours. With a token, the program runs with it
// instead of this process's.
[[nodiscard]] StartedProgram StartProgram(const std::wstring& program, const std::wstring& arguments,
                                          const std::wstring& directory = {}, HANDLE token = nullptr);

}  // namespace vexlo::test
