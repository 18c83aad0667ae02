// Runs one command line through the program's launcher in a process of its own: a GUI
// program without a console, as the program is. Forwards the output and prints
// "host <pid>" first.
//   launcher_host [uijob [breakaway]] [stop TEXT] [exit] -- COMMAND LINE
//     uijob      first puts itself into a new job with a UI limit, which refuses nesting
//     breakaway  that job lets children break away (JOB_OBJECT_LIMIT_BREAKAWAY_OK)
//     stop TEXT  calls StopProcess once the output holds TEXT
//     exit       and then ExitProcess at once, within the grace period
// With uijob it prints "uijob" once in the job, or exits with code 4 when the system
// refuses (it runs in a job already that cannot take a nested one).
// After ProcessEnded it prints "ended", keeps taking messages for 300 ms, prints
// "ctrl-c <how many reached it>" and "alive", and ends with exit code 0.
#include <windows.h>

#include <string>
#include <vector>

#include "common/unique_handles.h"
#include "launcher/console_control.h"
#include "launcher/win32_launcher.h"

namespace {

void Write(const std::wstring& text) {
  const std::string bytes(text.begin(), text.end());  // the tests write ASCII
  DWORD done = 0;
  ::WriteFile(::GetStdHandle(STD_OUTPUT_HANDLE), bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr);
}

struct Options {
  std::wstring stopAt;
  bool exitAfterStop = false;
  bool uiJob = false;
  bool breakaway = false;
  std::wstring commandLine;
};

Options Parse(const std::wstring& line) {
  Options options;
  const auto separator = line.find(L" -- ");
  if (separator == std::wstring::npos) return options;
  options.commandLine = line.substr(separator + 4);
  std::vector<std::wstring> words;
  const std::wstring head = line.substr(0, separator);
  // The first word is the program itself, quoted by the tests.
  for (std::size_t at = head.find(L' ', head.find(L'"', 1)); at < head.size();) {
    const auto start = head.find_first_not_of(L' ', at);
    if (start == std::wstring::npos) break;
    at = head.find(L' ', start);
    words.push_back(head.substr(start, at == std::wstring::npos ? std::wstring::npos : at - start));
  }
  for (std::size_t i = 0; i < words.size(); ++i) {
    if (words[i] == L"stop" && i + 1 < words.size()) options.stopAt = words[++i];
    if (words[i] == L"exit") options.exitAfterStop = true;
    if (words[i] == L"uijob") options.uiJob = true;
    if (words[i] == L"breakaway") options.breakaway = true;
  }
  return options;
}

class Host : public vexlo::ConsoleLauncherEvents {
 public:
  explicit Host(Options options) : options_(std::move(options)) {}
  std::unique_ptr<vexlo::ConsoleLauncher> launcher;

  void DataReceived(std::wstring sData) override {
    Write(sData);
    seen_ += sData;
    if (stopped_ || options_.stopAt.empty() || seen_.find(options_.stopAt) == std::wstring::npos) return;
    stopped_ = true;
    launcher->StopProcess();
    if (options_.exitAfterStop) ::ExitProcess(0);
  }
  void ProcessEnded() override {
    Write(L"ended\r\n");
    ended_ = true;
  }
  [[nodiscard]] bool Ended() const { return ended_; }

 private:
  Options options_;
  std::wstring seen_;
  bool stopped_ = false;
  bool ended_ = false;
};

volatile LONG ctrlCSeen = 0;

// Called before the launcher's own handler, which was installed first; passes the
// event on to it (or, were it missing, to the default one that ends the process).
BOOL WINAPI CountCtrlC(DWORD event) {
  if (event == CTRL_C_EVENT) ::InterlockedIncrement(&ctrlCSeen);
  return FALSE;
}

void PumpUntil(const Host& host) {
  MSG msg;
  while (!host.Ended() && ::GetMessageW(&msg, nullptr, 0, 0) > 0) ::DispatchMessageW(&msg);
}

void PumpFor(DWORD ms) {
  const ULONGLONG until = ::GetTickCount64() + ms;
  for (ULONGLONG now; (now = ::GetTickCount64()) < until;) {
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(until - now), QS_ALLINPUT);
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&msg);
  }
}

// A limit that keeps the host off other desktops, harmless here; any UI limit stops
// jobs from nesting.
bool EnterUiLimitedJob(bool breakaway, vexlo::UniqueKernelHandle& job) {
  job.reset(::CreateJobObjectW(nullptr, nullptr));
  if (!job) return false;
  JOBOBJECT_BASIC_UI_RESTRICTIONS ui{JOB_OBJECT_UILIMIT_DESKTOP};
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
  limits.BasicLimitInformation.LimitFlags = breakaway ? JOB_OBJECT_LIMIT_BREAKAWAY_OK : 0;
  return ::SetInformationJobObject(job.get(), JobObjectBasicUIRestrictions, &ui, sizeof ui) &&
         ::SetInformationJobObject(job.get(), JobObjectExtendedLimitInformation, &limits, sizeof limits) &&
         ::AssignProcessToJobObject(job.get(), ::GetCurrentProcess());
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  if (const auto exitCode = vexlo::RunCtrlCSenderIfAsked()) return *exitCode;
  Write(L"host " + std::to_wstring(::GetCurrentProcessId()) + L"\r\n");
  const Options options = Parse(::GetCommandLineW());
  vexlo::UniqueKernelHandle uiJob;  // held to the end
  if (options.uiJob) {
    if (!EnterUiLimitedJob(options.breakaway, uiJob)) return 4;
    Write(L"uijob\r\n");
  }
  Host host(options);
  host.launcher = vexlo::CreateWin32Launcher(host);
  if (!host.launcher) return 2;
  ::SetConsoleCtrlHandler(&CountCtrlC, TRUE);
  host.launcher->Execute(options.commandLine);
  if (host.launcher->StartResult() != vexlo::kStarted) return 3;
  PumpUntil(host);
  PumpFor(300);  // a Ctrl+C that was to end us has had its time
  Write(L"ctrl-c " + std::to_wstring(ctrlCSeen) + L"\r\nalive\r\n");
  host.launcher.reset();
  return 0;
}
