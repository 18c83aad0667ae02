// Times the launcher through the scripted tool, with the program's settings
// (BufferSize 8192, Interval 1000).
//   1. Stop to ProcessEnded, 20 stops each: a tool that prints a summary on Ctrl+C and
//      ends, and one that ignores Ctrl+C (ended when the grace period runs out).
//   2. A 20 MB flood into a plain edit control kept small, so that a piece costs the
//      same at the end as at the start: the longest the thread was away from its
//      message loop, and how long the flood took.
//   3. Stop to ProcessEnded during such a flood, 10 stops.
// Usage: launcher_bench [scripted_tool.exe]
//   default: ..\tests\scripted_tool.exe relative to this program's directory.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "launcher/console_control.h"
#include "launcher/win32_launcher.h"
#include "support/test_support.h"

namespace {

using namespace vexlo;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr std::size_t kBoxLimitChars = 32 * 1024;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

void PrintFigures(const char* what, std::vector<double> ms) {
  if (ms.empty()) {
    std::printf("%s: no figures\n", what);
    return;
  }
  std::sort(ms.begin(), ms.end());
  std::printf("%s: median %.1f ms, max %.1f ms, min %.1f ms (%zu runs)\n", what, ms[ms.size() / 2], ms.back(),
              ms.front(), ms.size());
}

// What the window does with the output, at a cost per piece that does not grow.
class EditBox : public ConsoleLauncherEvents {
 public:
  EditBox() {
    frame_ = ::CreateWindowExW(0, L"STATIC", L"launcher bench", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 600, 400,
                               nullptr, nullptr, nullptr, nullptr);
    edit_ = ::CreateWindowExW(0, L"EDIT", L"", WS_CHILD | WS_VISIBLE | WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL,
                              0, 0, 600, 400, frame_, nullptr, nullptr, nullptr);
  }
  ~EditBox() { ::DestroyWindow(frame_); }
  EditBox(const EditBox&) = delete;
  EditBox& operator=(const EditBox&) = delete;

  void DataReceived(std::wstring sData) override {
    chars += sData.size();
    text_ += sData;  // for the scripted tool's "ready" and "pid" lines
    if (text_.size() > 4096) text_.erase(0, text_.size() - 4096);
    if (::GetWindowTextLengthW(edit_) > static_cast<int>(kBoxLimitChars)) ::SetWindowTextW(edit_, L"");
    const int end = ::GetWindowTextLengthW(edit_);
    ::SendMessageW(edit_, EM_SETSEL, end, end);
    ::SendMessageW(edit_, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(sData.c_str()));
  }
  void ProcessEnded() override {
    ++ended;
    endedAt = Clock::now();
  }
  [[nodiscard]] bool Holds(const wchar_t* line) const { return text_.find(line) != std::wstring::npos; }
  void Reset() {
    chars = 0;
    text_.clear();
    ::SetWindowTextW(edit_, L"");
  }

  std::size_t chars = 0;
  int ended = 0;
  Clock::time_point endedAt{};

 private:
  HWND frame_ = nullptr;
  HWND edit_ = nullptr;
  std::wstring text_;
};

struct Bench {
  std::wstring tool;
  EditBox box;
  std::unique_ptr<ConsoleLauncher> launcher;

  [[nodiscard]] bool Start(const std::wstring& script) {
    box.Reset();
    launcher->Execute(tool + L" " + script);
    return launcher->StartResult() == kStarted;
  }
  // Stop to ProcessEnded, or a negative figure when the run did not end.
  double StopAndTime(test::TimedPump& pump) {
    const int ended = box.ended;
    const auto stopAt = Clock::now();
    launcher->StopProcess();
    if (!pump.Until([&] { return box.ended > ended; }, 20s)) return -1;
    return Ms(box.endedAt - stopAt);
  }
};

// thinking: how long after the tool's first output Stop is pressed.
void BenchStops(Bench& bench, const wchar_t* script, const char* what,
                std::chrono::milliseconds thinking = 0ms) {
  std::vector<double> figures;
  std::vector<double> executes;
  for (int i = 0; i < 20; ++i) {
    test::TimedPump pump;
    const auto executeAt = Clock::now();
    if (!bench.Start(script)) break;
    executes.push_back(Ms(Clock::now() - executeAt));
    if (!pump.Until([&] { return bench.box.Holds(L"ready\r\n"); }, 20s)) break;
    pump.Until([] { return false; }, thinking);
    if (const double ms = bench.StopAndTime(pump); ms >= 0) figures.push_back(ms);
  }
  PrintFigures(what, figures);
  PrintFigures("  time in Execute in those runs", executes);
}

void BenchFlood(Bench& bench) {
  constexpr unsigned long long kBytes = 20ull * 1024 * 1024;
  test::TimedPump pump;
  const auto start = Clock::now();
  if (!bench.Start(L"flood " + std::to_wstring(kBytes))) return;
  const int ended = bench.box.ended;
  pump.Until([&] { return bench.box.ended > ended; }, 600s);
  const double seconds = Ms(Clock::now() - start) / 1000;
  std::printf("20 MB flood: %.2f s (%.1f MB/s), %zu chars shown; longest away from the message loop %.1f ms\n",
              seconds, static_cast<double>(bench.box.chars) / (1024.0 * 1024.0) / seconds, bench.box.chars,
              Ms(pump.longest));
}

void BenchStopsInFlood(Bench& bench) {
  std::vector<double> figures;
  Clock::duration longest{};
  for (int i = 0; i < 10; ++i) {
    test::TimedPump pump;
    if (!bench.Start(L"flood 800000000")) break;
    pump.Until([&] { return bench.box.chars > 4u * 1024 * 1024; }, 60s);
    if (const double ms = bench.StopAndTime(pump); ms >= 0) figures.push_back(ms);
    longest = std::max(longest, pump.longest);
  }
  PrintFigures("Stop to ProcessEnded during a flood", figures);
  std::printf("  longest away from the message loop in those runs: %.1f ms\n", Ms(longest));
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (const auto exitCode = vexlo::RunCtrlCSenderIfAsked()) return *exitCode;
  const std::wstring tool = argc > 1 ? argv[1] : test::ProgramDirectory() + L"..\\tests\\scripted_tool.exe";
  if (::GetFileAttributesW(tool.c_str()) == INVALID_FILE_ATTRIBUTES) {
    std::printf("scripted tool not found; pass its path as the first argument\n");
    return 1;
  }
  Bench bench{L"\"" + tool + L"\"", {}, nullptr};
  bench.launcher = CreateWin32Launcher(bench.box);
  if (!bench.launcher) return 1;
  bench.launcher->BufferSize(8192);
  bench.launcher->Interval(1000);
  std::printf("grace period %lld ms\n", static_cast<long long>(kStopGracePeriod.count()));
  BenchStops(bench, L"onctrlc summary print ready sleep 60000",
             "Stop to ProcessEnded, tool prints a summary on Ctrl+C, Stop at its first output");
  BenchStops(bench, L"onctrlc summary print ready sleep 60000",
             "Stop to ProcessEnded, tool prints a summary on Ctrl+C, Stop 1 s after its first output", 1s);
  BenchStops(bench, L"ignorectrlc print ready sleep 60000", "Stop to ProcessEnded, tool ignores Ctrl+C");
  BenchFlood(bench);
  BenchStopsInFlood(bench);
  return 0;
}
