#pragma once
// Finds the program that a command line names, the way the launcher allows: an
// absolute path as it is, a bare name in the system directory or an absolute PATH
// directory, and never anything from the current directory.

#include <windows.h>

#include <string>

namespace vexlo {

struct ToolPath {
  std::wstring path;   // the program to start, when error is 0
  DWORD error = 0;     // ERROR_FILE_NOT_FOUND when no allowed place has it
};

// The program name is the command line's first token: up to the closing quote when it
// starts with one, else up to the first space or tab.
[[nodiscard]] std::wstring ProgramToken(const std::wstring& commandLine);
[[nodiscard]] ToolPath FindTool(const std::wstring& commandLine);
// The system directory (GetSystemDirectoryW); empty when it cannot be had.
[[nodiscard]] std::wstring SystemDirectory();

}  // namespace vexlo
