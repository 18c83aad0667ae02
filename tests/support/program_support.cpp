#include "support/program_support.h"

namespace vexlo::test {

std::wstring Widen(const char* text) { return std::wstring(text, text + std::char_traits<char>::length(text)); }

std::string Narrow(const std::wstring& w) {
  std::string s;
  for (wchar_t c : w) s.push_back(c < 128 ? static_cast<char>(c) : '?');
  return s;
}

std::wstring WindowText(HWND hwnd) {
  const int length = ::GetWindowTextLengthW(hwnd);
  if (length <= 0) return {};
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  text.resize(static_cast<std::size_t>(::GetWindowTextW(hwnd, text.data(), length + 1)));
  return text;
}

std::wstring ClassName(HWND hwnd) {
  wchar_t name[64] = {};
  const int n = ::GetClassNameW(hwnd, name, 64);
  return std::wstring(name, n > 0 ? static_cast<std::size_t>(n) : 0);
}

HWND FindTopLevel(DWORD pid, const std::wstring& caption) {
  struct Search {
    DWORD pid;
    const std::wstring& caption;
    HWND found;
  } search{pid, caption, nullptr};
  ::EnumWindows(
      [](HWND hwnd, LPARAM param) -> BOOL {
        auto& s = *reinterpret_cast<Search*>(param);
        DWORD owner = 0;
        ::GetWindowThreadProcessId(hwnd, &owner);
        if (owner != s.pid || WindowText(hwnd) != s.caption) return TRUE;
        s.found = hwnd;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

std::set<std::wstring> DirectoryNames(const std::wstring& dir) {
  std::set<std::wstring> names;
  WIN32_FIND_DATAW data;
  const HANDLE find = ::FindFirstFileW((dir + L"\\*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return names;
  do {
    const std::wstring name = data.cFileName;
    if (name != L"." && name != L"..") names.insert(name);
  } while (::FindNextFileW(find, &data));
  ::FindClose(find);
  return names;
}

StartedProgram StartProgram(const std::wstring& program, const std::wstring& arguments, const std::wstring& directory,
                            HANDLE token) {
  std::wstring commandLine = L"\"" + program + L"\"" + (arguments.empty() ? L"" : L" " + arguments);
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  StartedProgram started;
  const wchar_t* cwd = directory.empty() ? nullptr : directory.c_str();
  const BOOL created =
      token != nullptr
          ? ::CreateProcessAsUserW(token, program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                   cwd, &si, &pi)
          : ::CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, cwd, &si, &pi);
  if (!created) {
    started.error = ::GetLastError();
    return started;
  }
  ::CloseHandle(pi.hThread);
  started.process.reset(pi.hProcess);
  started.pid = pi.dwProcessId;
  return started;
}

}  // namespace vexlo::test
