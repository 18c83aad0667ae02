// A DLL that the tests plant beside a program, where a hardened program must not
// load it from. Copies of it stand in for system DLLs under their names.
//
// When the environment names a directory in VEXLO_PLANTED_MARKS, loading it leaves
// the file "<its own file name>.loaded" there, so that a test can see afterwards,
// from outside the process, that a copy was loaded and which one.
#include <windows.h>

extern "C" __declspec(dllexport) int VexloPlanted() { return 42; }

namespace {

void LeaveMark(HINSTANCE self) {
  wchar_t dir[MAX_PATH] = {};
  const DWORD dirLength = ::GetEnvironmentVariableW(L"VEXLO_PLANTED_MARKS", dir, MAX_PATH);
  if (dirLength == 0 || dirLength >= MAX_PATH) return;
  wchar_t own[MAX_PATH] = {};
  const DWORD ownLength = ::GetModuleFileNameW(self, own, MAX_PATH);
  if (ownLength == 0 || ownLength >= MAX_PATH) return;
  const wchar_t* name = own;
  for (const wchar_t* p = own; *p != L'\0'; ++p) {
    if (*p == L'\\' || *p == L'/') name = p + 1;
  }
  // Only kernel32 here: it is all that DllMain may rely on.
  wchar_t mark[2 * MAX_PATH + 16] = {};
  ::lstrcpyW(mark, dir);
  ::lstrcatW(mark, L"\\");
  ::lstrcatW(mark, name);
  ::lstrcatW(mark, L".loaded");
  const HANDLE file = ::CreateFileW(mark, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file != INVALID_HANDLE_VALUE) ::CloseHandle(file);
}

}  // namespace

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) LeaveMark(self);
  return TRUE;
}
