// Runs one command line through the program's launcher and forwards its output, for
// the test that kills a program while its tool runs. Prints "host <pid>" first.
#include <windows.h>

#include <cstdio>
#include <string>

#include "launcher/win32_launcher.h"

namespace {

class Forward : public vexlo::ConsoleLauncherEvents {
 public:
  void DataReceived(std::wstring sData) override {
    std::string bytes(sData.begin(), sData.end());
    DWORD done = 0;
    ::WriteFile(::GetStdHandle(STD_OUTPUT_HANDLE), bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr);
  }
  void ProcessEnded() override { ::PostQuitMessage(0); }
};

}  // namespace

int wmain() {
  const std::string hello = "host " + std::to_string(::GetCurrentProcessId()) + "\r\n";
  DWORD done = 0;
  ::WriteFile(::GetStdHandle(STD_OUTPUT_HANDLE), hello.data(), static_cast<DWORD>(hello.size()), &done, nullptr);
  // Everything after the program's own name is the command line to run.
  std::wstring line = ::GetCommandLineW();
  const bool quoted = !line.empty() && line.front() == L'"';
  std::size_t end = quoted ? line.find(L'"', 1) + 1 : line.find(L' ');
  line = line.substr(line.find_first_not_of(L' ', end));
  Forward events;
  auto launcher = vexlo::CreateWin32Launcher(events);
  if (!launcher) return 2;
  launcher->Execute(line);
  if (launcher->StartResult() != vexlo::kStarted) return 3;
  MSG msg;
  while (::GetMessageW(&msg, nullptr, 0, 0) > 0) ::DispatchMessageW(&msg);
  return 0;
}
