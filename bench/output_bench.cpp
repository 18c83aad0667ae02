// Times the window's output handling.
//   1. 20 MB of ping-like output in 8 KiB pieces through oLaunch_DataReceived (appending
//      in place) against rewriting each box's whole text per piece (the literal way).
//   2. The delay from the scripted tool writing a line to that line standing in the
//      output box, through the real launcher.
// Usage: output_bench [scripted_tool.exe]
//   default: ..\tests\scripted_tool.exe relative to this program's directory.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cwchar>
#include <memory>
#include <string>
#include <vector>

#include "main_window/frm_vexlo.h"
#include "support/scripted_tool_launcher.h"
#include "support/test_support.h"

namespace {

using namespace vexlo;
using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

// Runs nothing; part 1 feeds the window directly.
class IdleLauncher final : public ConsoleLauncher {
 public:
  void Execute(const std::wstring&) override {}
  [[nodiscard]] std::int32_t StartResult() const override { return kStarted; }
  void StopProcess() override {}
  void BufferSize(std::uint32_t) override {}
  void Interval(std::uint32_t) override {}
  [[nodiscard]] std::int32_t LastError() const override { return 0; }
};

std::unique_ptr<frm_Vexlo> Open(LauncherFactory factory) {
  frm_Vexlo::Options options;
  options.launcherFactory = std::move(factory);
  options.endProgram = [] {};
  auto form = std::make_unique<frm_Vexlo>(std::move(options));
  std::wstring failure;
  if (!form->Load(failure)) {
    std::fwprintf(stderr, L"window failed to load: %ls\n", failure.c_str());
    return nullptr;
  }
  return form;
}

std::unique_ptr<frm_Vexlo> OpenIdle() {
  return Open([](ConsoleLauncherEvents&) { return std::make_unique<IdleLauncher>(); });
}

constexpr std::size_t kTotalChars = 20u * 1024 * 1024;
constexpr std::size_t kPieceChars = 8192;
constexpr double kLiteralCapSeconds = 120;

int BenchAppend() {
  std::printf("== 1. 20 MB of output in 8 KiB pieces into the three output boxes ==\n");
  const std::wstring line = L"Reply from 192.0.2.1: bytes=32 time<1ms TTL=128\r\n";
  std::wstring all;
  all.reserve(kTotalChars + line.size());
  while (all.size() < kTotalChars) all += line;
  all.resize(kTotalChars);
  // Lines straddle pieces, as they do when the launcher reads fixed-size blocks.
  std::vector<std::wstring> pieces;
  for (std::size_t at = 0; at < all.size(); at += kPieceChars) pieces.push_back(all.substr(at, kPieceChars));
  const std::size_t n = pieces.size();
  const std::size_t tenth = n / 10;
  std::printf("pieces: %zu of %zu chars, %zu chars in all\n", n, kPieceChars, all.size());

  // In place.
  std::wstring inPlaceText;
  double inPlace = 0, firstTenth = 0, lastTenth = 0;
  {
    auto form = OpenIdle();
    if (!form) return 1;
    const auto start = Clock::now();
    auto mark = start;
    for (std::size_t i = 0; i < n; ++i) {
      form->oLaunch_DataReceived(pieces[i]);
      if (i + 1 == tenth) {
        firstTenth = Seconds(Clock::now() - start);
      } else if (i + 1 == n - tenth) {
        mark = Clock::now();
      }
    }
    const auto end = Clock::now();
    inPlace = Seconds(end - start);
    lastTenth = Seconds(end - mark);
    inPlaceText = form->txtOutputPing.Text();
    const bool boxesAgree = form->txtOutputTracert.TextLength() == static_cast<int>(inPlaceText.size()) &&
                            form->txtOutputLookup.TextLength() == static_cast<int>(inPlaceText.size());
    std::printf("in place: %.3f s; first tenth %.3f s, last tenth %.3f s, last/first %.2f (target under 3)\n",
                inPlace, firstTenth, lastTenth, firstTenth > 0 ? lastTenth / firstTenth : 0.0);
    std::printf("in place: box holds %zu chars of %zu appended; same text: %s (three boxes alike: %s)\n",
                inPlaceText.size(), all.size(), inPlaceText == all ? "yes" : "no", boxesAgree ? "yes" : "no");
  }

  // Literal: each box's whole text read, extended and written back per piece.
  double literal = 0;
  std::size_t done = 0;
  std::wstring literalText;
  {
    auto form = OpenIdle();
    if (!form) return 1;
    const auto start = Clock::now();
    for (; done < n; ++done) {
      if (Seconds(Clock::now() - start) >= kLiteralCapSeconds) break;
      for (const TextBox* box : {&form->txtOutputPing, &form->txtOutputTracert, &form->txtOutputLookup}) {
        box->Text(box->Text() + pieces[done]);
        box->SelStart(static_cast<int>(box->Text().size()));
      }
      form->sbStatus.PanelText(2, L"Data received");
    }
    literal = Seconds(Clock::now() - start);
    literalText = form->txtOutputPing.Text();
  }
  const std::size_t measuredChars = done * kPieceChars;
  const bool samePrefix = literalText.size() == std::min(measuredChars, all.size()) &&
                          inPlaceText.compare(0, literalText.size(), literalText) == 0;
  double literalAt20 = literal;
  if (done == n) {
    std::printf("literal: %.3f s for the full 20 MB\n", literal);
  } else {
    // The cost of a piece grows with the text held, so the total grows with its square.
    const double scale = static_cast<double>(n) / static_cast<double>(done);
    literalAt20 = literal * scale * scale;
    std::printf("literal: measured %.2f MB (%zu of %zu pieces) in %.3f s, stopped at the %.0f s cap; "
                "estimated at 20 MB: %.0f s (quadratic extrapolation, x%.1f^2)\n",
                static_cast<double>(measuredChars) / (1024.0 * 1024.0), done, n, literal, kLiteralCapSeconds,
                literalAt20, scale);
  }
  std::printf("literal: box holds %zu chars; same text as in place on that prefix: %s\n", literalText.size(),
              samePrefix ? "yes" : "no");
  std::printf("literal / in place at 20 MB: %.1fx%s (target at least 50x)\n", literalAt20 / inPlace,
              done == n ? "" : " (literal estimated)");
  return 0;
}

double Percentile(std::vector<double> v, double p) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  const std::size_t rank = static_cast<std::size_t>(std::ceil(p * static_cast<double>(v.size())));
  return v[std::clamp<std::size_t>(rank, 1, v.size()) - 1];
}

int BenchDelay(const std::wstring& tool) {
  constexpr int kLines = 200;
  std::printf("\n== 2. Delay from the tool writing a line to the line standing in the output box ==\n");
  const std::wstring script = L"stamped " + std::to_wstring(kLines) + L" 20";
  std::printf("tool: %ls %ls\n", tool.c_str(), script.c_str());
  if (::GetFileAttributesW(tool.c_str()) == INVALID_FILE_ATTRIBUTES) {
    std::printf("scripted tool not found; pass its path as the first argument\n");
    return 1;
  }
  auto form = Open([&](ConsoleLauncherEvents& events) {
    return std::make_unique<test::ScriptedToolLauncher>(events, script, L"\"" + tool + L"\"");
  });
  if (!form) return 1;
  LARGE_INTEGER frequency;
  ::QueryPerformanceFrequency(&frequency);

  const std::wstring address = L"192.0.2.1";
  ::SendMessageW(form->txtApplicationPing.hwnd, EM_SETSEL, 0, -1);
  ::SendMessageW(form->txtApplicationPing.hwnd, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(address.c_str()));
  form->cmdExecutePing_Click();
  if (form->bRunning != kTrue) {
    std::printf("the run did not start: %ls\n", form->sbStatus.PanelText(1).c_str());
    return 1;
  }

  std::vector<double> delays;
  std::size_t parsed = 0;  // up to the end of the last complete line seen
  int seenLength = 0;
  const auto guard = Clock::now() + std::chrono::seconds(60);
  while (static_cast<int>(delays.size()) < kLines && form->bRunning == kTrue && Clock::now() < guard) {
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&msg);
      ::DispatchMessageW(&msg);
      const int length = form->txtOutputPing.TextLength();
      if (length == seenLength) continue;
      LARGE_INTEGER now;
      ::QueryPerformanceCounter(&now);
      seenLength = length;
      const std::wstring text = form->txtOutputPing.Text();
      for (std::size_t end; (end = text.find(L"\r\n", parsed)) != std::wstring::npos; parsed = end + 2) {
        if (text.compare(parsed, 6, L"stamp ") != 0) continue;
        const long long stamp = std::wcstoll(text.c_str() + parsed + 6, nullptr, 10);
        delays.push_back(static_cast<double>(now.QuadPart - stamp) * 1000.0 / static_cast<double>(frequency.QuadPart));
      }
    }
  }
  if (form->bRunning == kTrue) {
    form->oLaunch->StopProcess();
    test::PumpUntil([&] { return form->bRunning != kTrue; }, std::chrono::seconds(5));
  }
  std::printf("lines seen: %zu of %d\n", delays.size(), kLines);
  if (delays.empty()) return 1;
  std::printf("delay: median %.2f ms (target under 20), p99 %.2f ms (target under 100), max %.2f ms, min %.2f ms\n",
              Percentile(delays, 0.5), Percentile(delays, 0.99), *std::max_element(delays.begin(), delays.end()),
              *std::min_element(delays.begin(), delays.end()));
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  INITCOMMONCONTROLSEX icc{sizeof icc, ICC_TAB_CLASSES | ICC_BAR_CLASSES};
  ::InitCommonControlsEx(&icc);
  const std::wstring tool = argc > 1 ? argv[1] : test::ProgramDirectory() + L"..\\tests\\scripted_tool.exe";
  const auto start = Clock::now();
  int failed = BenchAppend();
  std::fflush(stdout);
  failed |= BenchDelay(tool);
  std::printf("\nbench ran %.1f s\n", Seconds(Clock::now() - start));
  return failed;
}
