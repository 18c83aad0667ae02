// Start-up of the program against a bare window with the same kinds of controls
// (bare_window.cpp), started by turns, A B A B ...: each timed from CreateProcess to
// the first message its main window answers (SendMessageTimeout with WM_NULL, once a
// visible top-level window of the process is there). Then the window is closed.
// Usage: startup_bench [vexlo.exe [bare_window.exe]]
//   default: both in shipped\ beside this program, stripped as the package has them.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "common/unique_handles.h"
#include "support/test_support.h"

namespace {

using namespace vexlo;
using Clock = std::chrono::steady_clock;

constexpr int kRounds = 30;

HWND VisibleTopLevelOf(DWORD pid) {
  struct Search {
    DWORD pid;
    HWND found;
  } search{pid, nullptr};
  ::EnumWindows(
      [](HWND hwnd, LPARAM param) -> BOOL {
        auto& s = *reinterpret_cast<Search*>(param);
        DWORD owner = 0;
        ::GetWindowThreadProcessId(hwnd, &owner);
        if (owner != s.pid || !::IsWindowVisible(hwnd) || ::GetWindow(hwnd, GW_OWNER) != nullptr) return TRUE;
        s.found = hwnd;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// Milliseconds to the first answered message, or a negative figure.
double TimeStart(const std::wstring& program) {
  std::wstring line = L"\"" + program + L"\"";
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  const auto startAt = Clock::now();
  if (!::CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
    return -1;
  }
  const UniqueKernelHandle process(pi.hProcess);
  ::CloseHandle(pi.hThread);
  double ms = -1;
  HWND window = nullptr;
  while (Clock::now() - startAt < std::chrono::seconds(30)) {
    window = VisibleTopLevelOf(pi.dwProcessId);
    DWORD_PTR answer = 0;
    if (window != nullptr && ::SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &answer) != 0) {
      ms = std::chrono::duration<double, std::milli>(Clock::now() - startAt).count();
      break;
    }
    if (::WaitForSingleObject(process.get(), 1) != WAIT_TIMEOUT) return -1;
  }
  if (window != nullptr) ::PostMessageW(window, WM_CLOSE, 0, 0);
  if (::WaitForSingleObject(process.get(), 10000) != WAIT_OBJECT_0) ::TerminateProcess(process.get(), 1);
  return ms;
}

double Median(std::vector<double> ms) {
  std::sort(ms.begin(), ms.end());
  return ms.empty() ? 0 : ms[ms.size() / 2];
}

void Print(const char* what, const std::vector<double>& ms) {
  if (ms.empty()) {
    std::printf("%s: no figures\n", what);
    return;
  }
  std::printf("%s: median %.1f ms, min %.1f ms, max %.1f ms (%zu starts)\n", what, Median(ms),
              *std::min_element(ms.begin(), ms.end()), *std::max_element(ms.begin(), ms.end()), ms.size());
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const std::wstring program = argc > 1 ? argv[1] : test::ProgramDirectory() + L"shipped\\vexlo.exe";
  const std::wstring bare = argc > 2 ? argv[2] : test::ProgramDirectory() + L"shipped\\bare_window.exe";
  for (const std::wstring* file : {&program, &bare}) {
    if (::GetFileAttributesW(file->c_str()) == INVALID_FILE_ATTRIBUTES) {
      std::printf("not found: %ls\n", file->c_str());
      return 1;
    }
  }
  // The first start of each loads the files from disk; it is not counted.
  (void)TimeStart(program);
  (void)TimeStart(bare);
  std::vector<double> programMs, bareMs, pairRatios;
  for (int round = 0; round < kRounds; ++round) {
    const double a = TimeStart(program);
    const double b = TimeStart(bare);
    if (a >= 0) programMs.push_back(a);
    if (b >= 0) bareMs.push_back(b);
    if (a >= 0 && b > 0) pairRatios.push_back(a / b);
  }
  Print("start-up to the first answered message, vexlo.exe", programMs);
  Print("start-up to the first answered message, bare window", bareMs);
  if (!programMs.empty() && !bareMs.empty()) {
    std::printf("start-up ratio, vexlo.exe / bare window (medians): %.2fx; median of the %zu pairs' ratios %.2fx\n",
                Median(programMs) / Median(bareMs), pairRatios.size(), Median(pairRatios));
  }
  return 0;
}
