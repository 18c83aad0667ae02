// A console program that plays a tool for the launcher's tests. Its arguments are a
// script of actions, run in order:
//   print TEXT     TEXT and CR LF, in the OEM code page
//   write TEXT     TEXT alone
//   hex BYTES      raw bytes, e.g. 82e9c3a9 (for code-page tests)
//   stderr TEXT    TEXT and CR LF on standard error
//   sleep MS       wait
//   lines N MS     "line 1" .. "line N", one every MS milliseconds
//   stamped N MS   N lines "stamp <performance counter>", one every MS milliseconds
//   flood BYTES    that many bytes of 'x' lines, as fast as the pipe takes them
//   pingrun N MS   a ping transcript of N probes, one every MS milliseconds: replies
//                  of 0 to 48 ms ("<1ms" for 0), and every fifth probe from the third
//                  on timed out, then the summary
//   tracertrun N MS  a tracert transcript of N hops, one every MS milliseconds; the
//                  fourth hop answers with stars only, the last one is the target
//   args           the raw command line, then each argument: "cmdline: ...", "argv[i]: ..."
//   grandchild     starts a copy of itself that sleeps a minute, holding our output,
//                  on a console of its own (so no Ctrl+C of ours reaches it), and
//                  prints "grandchild <pid>"
//   sharedchild    starts a copy of itself on our console that prints "child-ready" once
//                  it handles Ctrl+C, and "child-summary" on Ctrl+C and ends, else sleeps
//                  a minute; prints "sharedchild <pid>"
//   onctrlc TEXT   from now on Ctrl+C prints TEXT (once a shared child has ended, so its
//                  summary comes first) and ends the tool with exit code 2
//   ignorectrlc    from now on Ctrl+C does nothing
//   watchconsole   from now on watches which other processes attach to its console; a
//                  Ctrl+C summary is then preceded by "console <their ids>"
//   closeout       closes standard output and error and leaves its console (under Wine
//                  the console's host holds a copy of the output), and goes on
//   cwd            prints "cwd <current directory>"
//   cmdlen         prints "cmdlen <length of the command line>"
//   pid            prints "pid <its process id>"
//   exit CODE      ends with that exit code
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cwchar>
#include <mutex>
#include <set>
#include <string>
#include <thread>

namespace {

HANDLE Out() { return ::GetStdHandle(STD_OUTPUT_HANDLE); }

bool WriteBytes(HANDLE h, const std::string& bytes) {
  DWORD done = 0;
  return bytes.empty() || ::WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr);
}

std::string ToOem(const std::wstring& text) {
  if (text.empty()) return {};
  const int n = ::WideCharToMultiByte(CP_OEMCP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string bytes(static_cast<std::size_t>(n), '\0');
  ::WideCharToMultiByte(CP_OEMCP, 0, text.data(), static_cast<int>(text.size()), bytes.data(), n, nullptr, nullptr);
  return bytes;
}

std::string FromHex(const std::wstring& hex) {
  std::string bytes;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    bytes.push_back(static_cast<char>(std::wcstoul(hex.substr(i, 2).c_str(), nullptr, 16)));
  }
  return bytes;
}

void Flood(unsigned long long total) {
  std::string block;
  for (int i = 0; block.size() < 64 * 1024; ++i) block += "xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx\r\n";
  while (total > 0) {
    const std::size_t n = total < block.size() ? static_cast<std::size_t>(total) : block.size();
    if (!WriteBytes(Out(), block.substr(0, n))) return;  // the reader is gone
    total -= n;
  }
}

// The processes other than ours seen on our console since watchconsole. A process
// that attaches only to raise Ctrl+C stays a few milliseconds, so the list is read
// without a pause.
class ConsoleWatch {
 public:
  void Start() {
    watching_ = true;
    thread_ = std::thread([this] {
      while (watching_) Look();
    });
    thread_.detach();  // ends with the process
  }
  [[nodiscard]] bool Watching() const { return watching_; }
  // "console <id> <id> ..." after a last look.
  std::string Report() {
    Look();
    std::lock_guard<std::mutex> lock(mutex_);
    std::string line = "console";
    for (DWORD id : seen_) line += " " + std::to_string(id);
    return line;
  }

 private:
  void Look() {
    DWORD ids[64];
    const DWORD n = ::GetConsoleProcessList(ids, 64);
    std::lock_guard<std::mutex> lock(mutex_);
    for (DWORD k = 0; k < n && k < 64; ++k) {
      if (ids[k] != ::GetCurrentProcessId()) seen_.insert(ids[k]);
    }
  }
  std::atomic<bool> watching_{false};
  std::thread thread_;
  std::mutex mutex_;
  std::set<DWORD> seen_;
};
ConsoleWatch consoleWatch;

// Started by sharedchild; a Ctrl+C summary waits for its end.
HANDLE sharedChild = nullptr;
std::string ctrlCSummary;
bool ignoreCtrlC = false;

BOOL WINAPI OnCtrlC(DWORD) {
  if (ignoreCtrlC) return TRUE;
  if (sharedChild != nullptr) ::WaitForSingleObject(sharedChild, 5000);
  if (consoleWatch.Watching()) WriteBytes(Out(), consoleWatch.Report() + "\r\n");
  WriteBytes(Out(), ctrlCSummary + "\r\n");
  ::ExitProcess(2);
}

// Inherits our standard handles, so the child writes into our output too.
void StartCopy(const std::string& label, const wchar_t* script, DWORD flags) {
  wchar_t self[MAX_PATH];
  ::GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring line = L"\"" + std::wstring(self) + L"\" " + script;
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!::CreateProcessW(self, line.data(), nullptr, nullptr, TRUE, flags, nullptr, nullptr, &si, &pi)) {
    WriteBytes(Out(), label + " failed\r\n");
    return;
  }
  WriteBytes(Out(), label + " " + std::to_string(pi.dwProcessId) + "\r\n");
  ::CloseHandle(pi.hThread);
  if (label == "sharedchild") {
    sharedChild = pi.hProcess;
  } else {
    ::CloseHandle(pi.hProcess);
  }
}

std::string CurrentDirectory() {
  wchar_t dir[MAX_PATH];
  const DWORD n = ::GetCurrentDirectoryW(MAX_PATH, dir);
  return ToOem(std::wstring(dir, n < MAX_PATH ? n : 0));
}

// A reply time that varies from probe to probe, the same on every run.
unsigned long TripOf(unsigned long k) { return (k * 29 + 7) % 49; }

void PingRun(unsigned long probes, unsigned long delay) {
  WriteBytes(Out(), "\r\nPinging 192.0.2.1 with 32 bytes of data:\r\n");
  unsigned long received = 0;
  for (unsigned long k = 1; k <= probes; ++k) {
    if (delay > 0) ::Sleep(delay);
    if (k % 5 == 3) {
      WriteBytes(Out(), "Request timed out.\r\n");
      continue;
    }
    ++received;
    const unsigned long ms = TripOf(k);
    const std::string time = ms == 0 ? "time<1ms" : "time=" + std::to_string(ms) + "ms";
    WriteBytes(Out(), "Reply from 192.0.2.1: bytes=32 " + time + " TTL=57\r\n");
  }
  const unsigned long lost = probes - received;
  WriteBytes(Out(), "\r\nPing statistics for 192.0.2.1:\r\n    Packets: Sent = " + std::to_string(probes) +
                        ", Received = " + std::to_string(received) + ", Lost = " + std::to_string(lost) + " (" +
                        std::to_string(probes == 0 ? 0 : lost * 100 / probes) + "% loss),\r\n");
}

void TracertRun(unsigned long hops, unsigned long delay) {
  WriteBytes(Out(), "\r\nTracing route to example.net [192.0.2.80]\r\nover a maximum of 30 hops:\r\n\r\n");
  for (unsigned long k = 1; k <= hops; ++k) {
    if (delay > 0) ::Sleep(delay);
    char line[160];
    if (k == 4) {
      std::snprintf(line, sizeof line, "%3lu     *        *        *     Request timed out.\r\n", k);
    } else {
      const unsigned long base = k * 5;
      std::snprintf(line, sizeof line, "%3lu  %4lu ms  %4lu ms  %4lu ms  %s [192.0.2.%lu]\r\n", k, base + TripOf(k) % 7,
                    base + TripOf(k + 1) % 7, base + TripOf(k + 2) % 7, k == hops ? "example.net" : "router.example", k);
    }
    WriteBytes(Out(), line);
  }
  WriteBytes(Out(), "\r\nTrace complete.\r\n");
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::wstring action = argv[i];
    const std::wstring arg = i + 1 < argc ? argv[i + 1] : L"";
    if (action == L"print") {
      WriteBytes(Out(), ToOem(arg) + "\r\n"); ++i;
    } else if (action == L"write") {
      WriteBytes(Out(), ToOem(arg)); ++i;
    } else if (action == L"hex") {
      WriteBytes(Out(), FromHex(arg)); ++i;
    } else if (action == L"stderr") {
      WriteBytes(::GetStdHandle(STD_ERROR_HANDLE), ToOem(arg) + "\r\n"); ++i;
    } else if (action == L"sleep") {
      ::Sleep(std::wcstoul(arg.c_str(), nullptr, 10)); ++i;
    } else if (action == L"lines" || action == L"stamped") {
      const unsigned long n = std::wcstoul(arg.c_str(), nullptr, 10);
      const unsigned long delay = i + 2 < argc ? std::wcstoul(argv[i + 2], nullptr, 10) : 0;
      for (unsigned long k = 1; k <= n; ++k) {
        if (delay > 0) ::Sleep(delay);
        LARGE_INTEGER now;
        ::QueryPerformanceCounter(&now);
        const std::string text = action == L"lines" ? "line " + std::to_string(k)
                                                    : "stamp " + std::to_string(now.QuadPart);
        if (!WriteBytes(Out(), text + "\r\n")) return 1;
      }
      i += 2;
    } else if (action == L"pingrun" || action == L"tracertrun") {
      const unsigned long n = std::wcstoul(arg.c_str(), nullptr, 10);
      const unsigned long delay = i + 2 < argc ? std::wcstoul(argv[i + 2], nullptr, 10) : 0;
      if (action == L"pingrun") {
        PingRun(n, delay);
      } else {
        TracertRun(n, delay);
      }
      i += 2;
    } else if (action == L"flood") {
      Flood(std::wcstoull(arg.c_str(), nullptr, 10)); ++i;
    } else if (action == L"args") {
      WriteBytes(Out(), "cmdline: " + ToOem(::GetCommandLineW()) + "\r\n");
      for (int k = 0; k < argc; ++k) WriteBytes(Out(), "argv[" + std::to_string(k) + "]: " + ToOem(argv[k]) + "\r\n");
    } else if (action == L"pid") {
      WriteBytes(Out(), "pid " + std::to_string(::GetCurrentProcessId()) + "\r\n");
    } else if (action == L"grandchild") {
      StartCopy("grandchild", L"sleep 60000", CREATE_NO_WINDOW);
    } else if (action == L"sharedchild") {
      StartCopy("sharedchild", L"onctrlc child-summary print child-ready sleep 60000", 0);
    } else if (action == L"onctrlc" || action == L"ignorectrlc") {
      ignoreCtrlC = action == L"ignorectrlc";
      if (!ignoreCtrlC) ctrlCSummary = ToOem(arg), ++i;
      ::SetConsoleCtrlHandler(&OnCtrlC, TRUE);
    } else if (action == L"watchconsole") {
      consoleWatch.Start();
    } else if (action == L"closeout") {
      const HANDLE out = Out();
      const HANDLE err = ::GetStdHandle(STD_ERROR_HANDLE);
      ::CloseHandle(out);
      if (err != out) ::CloseHandle(err);  // the launcher passes one handle for both
      ::SetStdHandle(STD_OUTPUT_HANDLE, nullptr);
      ::SetStdHandle(STD_ERROR_HANDLE, nullptr);
      ::FreeConsole();
    } else if (action == L"cwd") {
      WriteBytes(Out(), "cwd " + CurrentDirectory() + "\r\n");
    } else if (action == L"cmdlen") {
      WriteBytes(Out(), "cmdlen " + std::to_string(std::wcslen(::GetCommandLineW())) + "\r\n");
    } else if (action == L"exit") {
      return static_cast<int>(std::wcstol(arg.c_str(), nullptr, 10));
    }
  }
  return 0;
}
