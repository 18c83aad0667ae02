// Times what the user gets from an output box, painting included, with the program's
// manifest (common controls 6), the edit control and the output view side by side.
//   1. One box of the program's size (417 x 243 px, Arial 8.25 pt at 96 dpi), fed
//      8,192-character pieces of ping lines as the window feeds each box, painted
//      after every piece (UpdateWindow, then the message queue drained):
//      a. the view from 0 to 20 M characters, every piece timed;
//      b. both controls prefilled to 0, 1, 5, 10 and 20 M characters (untimed), then
//         a few pieces timed there; Ctrl+End and Select All at 20 M; memory;
//      c. a line without a break, piece by piece;
//      d. the view, 0 to 20 M characters of Japanese and of Arabic ping lines, which
//         go through the shaping engine;
//      e. the view, one line of Japanese and one of Arabic without a break, 1 MiB in
//         4,096-character pieces, as a tool that never ends its line sends it.
//   2. The delay from the scripted tool writing a line to the line standing in the
//      output box, through the real launcher.
//   3. 4 MiB of ping lines written as fast as a tool can, through the real launcher:
//      how long until the box holds them, how long the window did not answer, and
//      how many messages each piece sends an output box.
//   4. A week of ping -t: 48 M characters through the whole window, two runs with a
//      Clear and page switches between them; memory per character received, the end
//      of the run and a page switch at the end, and the longest time away from the
//      message loop. Each line carries its read time, a line a second, as ping -t
//      sends them. Then the same with the times shown in the boxes' gutter.
// Usage: output_bench [scripted_tool.exe [ping_flood.exe]] | output_bench week [times]
//   defaults: ..\tests\scripted_tool.exe and ping_flood.exe beside this program;
//   "week" runs only the fourth, "week times" only its run with the times shown.
#include <windows.h>
#include <commctrl.h>
#include <psapi.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cwchar>
#include <memory>
#include <string>
#include <vector>

#include "common/unique_handles.h"
#include "process_memory.h"
#include "common/window_base.h"
#include "controls/controls.h"
#include "launcher/console_control.h"
#include "output_view/output_view_impl.h"
#include "main_window/frm_vexlo.h"
#include "support/fake_launcher.h"
#include "support/scripted_tool_launcher.h"
#include "support/test_support.h"

namespace {

using vexlo::bench::PrivateBytes;

using namespace vexlo;
using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

constexpr std::size_t kMi = 1024 * 1024;
constexpr std::size_t kTotalChars = 20 * kMi;
constexpr std::size_t kPieceChars = 8192;
constexpr int kBoxWidth = 417;
constexpr int kBoxHeight = 243;
constexpr int kPiecesPerSize = 8;
const std::size_t kSizes[] = {0, 1 * kMi, 5 * kMi, 10 * kMi, 20 * kMi};

void PumpPending() {
  MSG msg;
  while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
}

// A visible top-level window holding one box at a time.
class BenchHost final : private WindowBase {
 public:
  BenchHost() {
    WNDCLASSEXW wc{};
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.lpszClassName = L"VexloBenchHost";
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    if (!RegisterWindowClass(wc)) return;
    window_.reset(CreateFor(0, wc.lpszClassName, L"output bench", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 520, 360,
                            nullptr, nullptr));
    font_ = MakeArialFont(8.25, false, 96);
  }
  [[nodiscard]] bool ok() const { return window_.valid() && font_.valid(); }

  // The edit control with the styles the program's boxes had, or the view.
  [[nodiscard]] UniqueWindow MakeBox(bool view) {
    const HINSTANCE instance = ::GetModuleHandleW(nullptr);
    constexpr DWORD kChild = WS_CHILD | WS_VISIBLE | WS_BORDER | WS_VSCROLL;
    const HWND box =
        view ? OutputView::Procedure().CreateFor(0, OutputView::kClassName, L"Ping output", kChild, 10, 10, kBoxWidth,
                                                 kBoxHeight, window_.get(), reinterpret_cast<HMENU>(1))
             : ::CreateWindowExW(0, L"EDIT", L"", kChild | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL, 10, 10,
                                 kBoxWidth, kBoxHeight, window_.get(), reinterpret_cast<HMENU>(1), instance, nullptr);
    if (box != nullptr) {
      ::SendMessageW(box, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
      ::SendMessageW(box, EM_SETLIMITTEXT, 0, 0);
      ::UpdateWindow(box);
    }
    return UniqueWindow(box);
  }

 private:
  LRESULT HandleMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) override {
    if (msg == WM_NCDESTROY) window_.release();
    return ::DefWindowProcW(hwnd, msg, wp, lp);
  }
  UniqueWindow window_;
  UniqueFont font_;
};

struct PieceCost {
  double append = 0;
  double paint = 0;
};

// What oLaunch_DataReceived does to each box: for the edit control, what ends alike.
void Feed(HWND box, const std::wstring& piece) {
  if (OutputView::From(box) != nullptr) {
    TextBox{{box}}.Append(piece);
    return;
  }
  const int end = ::GetWindowTextLengthW(box);
  ::SendMessageW(box, EM_SETSEL, end, end);
  ::SendMessageW(box, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(piece.c_str()));
}

// Paints what is invalid now; counts whether WM_PAINT really came and validated it.
double Paint(HWND box, std::size_t& painted) {
  const auto start = Clock::now();
  const bool dirty = ::GetUpdateRect(box, nullptr, FALSE) != FALSE;
  ::UpdateWindow(box);
  PumpPending();
  if (dirty && !::GetUpdateRect(box, nullptr, FALSE)) ++painted;
  return Ms(Clock::now() - start);
}

PieceCost FeedAndPaint(HWND box, const std::wstring& piece, std::size_t& painted) {
  const auto start = Clock::now();
  Feed(box, piece);
  PieceCost cost;
  cost.append = Ms(Clock::now() - start);
  cost.paint = Paint(box, painted);
  return cost;
}

PieceCost Mean(const std::vector<PieceCost>& costs, std::size_t first, std::size_t count) {
  PieceCost sum;
  count = std::min(count, costs.size() - std::min(first, costs.size()));
  for (std::size_t i = first; i < first + count; ++i) {
    sum.append += costs[i].append;
    sum.paint += costs[i].paint;
  }
  if (count > 0) {
    sum.append /= static_cast<double>(count);
    sum.paint /= static_cast<double>(count);
  }
  return sum;
}

void CtrlKey(HWND box, WPARAM key) {
  BYTE keys[256] = {};
  ::GetKeyboardState(keys);
  keys[VK_CONTROL] = 0x80;
  ::SetKeyboardState(keys);
  ::SendMessageW(box, WM_KEYDOWN, key, 1);
  keys[VK_CONTROL] = 0;
  ::SetKeyboardState(keys);
}

struct AtSize {
  PieceCost piece;
  double prefillMs = 0;
  double ctrlEndMs = 0;
  double selectAllMs = 0;
  double bytesPerChar = 0;
};

// Prefills a fresh box to `size` (not timed in the piece cost), then times pieces.
AtSize MeasureAtSize(BenchHost& host, bool view, const std::wstring& all, std::size_t size, std::size_t& painted) {
  AtSize result;
  const std::size_t before = PrivateBytes();
  UniqueWindow box = host.MakeBox(view);
  if (!box) return result;
  {
    const std::wstring prefix = all.substr(0, size);
    const auto start = Clock::now();
    ::SetWindowTextW(box.get(), prefix.c_str());
    ::SendMessageW(box.get(), EM_SETSEL, size, size);
    ::SendMessageW(box.get(), EM_SCROLLCARET, 0, 0);
    Paint(box.get(), painted);
    result.prefillMs = Ms(Clock::now() - start);
  }
  if (size > 0) {
    result.bytesPerChar = static_cast<double>(PrivateBytes() - std::min(PrivateBytes(), before)) /
                          static_cast<double>(size);
  }
  std::vector<PieceCost> costs;
  for (int i = 0; i < kPiecesPerSize; ++i) {
    costs.push_back(FeedAndPaint(box.get(), all.substr(size + i * kPieceChars, kPieceChars), painted));
  }
  result.piece = Mean(costs, 0, costs.size());
  if (size == kTotalChars) {
    ::SetFocus(box.get());
    ::SendMessageW(box.get(), EM_SETSEL, 0, 0);
    ::SendMessageW(box.get(), EM_SCROLLCARET, 0, 0);
    Paint(box.get(), painted);
    auto start = Clock::now();
    CtrlKey(box.get(), VK_END);
    Paint(box.get(), painted);
    result.ctrlEndMs = Ms(Clock::now() - start);
    start = Clock::now();
    ::SendMessageW(box.get(), EM_SETSEL, 0, -1);
    Paint(box.get(), painted);
    result.selectAllMs = Ms(Clock::now() - start);
  }
  return result;
}

// chars characters of line after line.
std::wstring Repeated(const std::wstring& line, std::size_t chars) {
  std::wstring all;
  all.reserve(chars + line.size());
  while (all.size() < chars) all += line;
  all.resize(chars);
  return all;
}

std::wstring PingText(std::size_t chars) {
  return Repeated(L"Reply from 192.0.2.1: bytes=32 time<1ms TTL=128\r\n", chars);
}

// A new view fed the first kTotalChars of all, piece by piece, each piece painted.
struct FedView {
  UniqueWindow box;
  std::vector<PieceCost> costs;
  double totalMs = 0;
  std::size_t painted = 0;
};

FedView FeedView(BenchHost& host, const std::wstring& all) {
  FedView fed{host.MakeBox(true), {}, 0, 0};
  const std::size_t n = kTotalChars / kPieceChars;
  fed.costs.reserve(n);
  const auto start = Clock::now();
  for (std::size_t i = 0; i < n; ++i) {
    fed.costs.push_back(FeedAndPaint(fed.box.get(), all.substr(i * kPieceChars, kPieceChars), fed.painted));
  }
  fed.totalMs = Ms(Clock::now() - start);
  return fed;
}

void ViewFullRun(BenchHost& host, const std::wstring& all) {
  std::printf("\n-- 1a. the view, 0 to 20 M characters, every piece appended and painted --\n");
  const std::size_t before = PrivateBytes();
  FedView fed = FeedView(host, all);
  const UniqueWindow& box = fed.box;
  const std::vector<PieceCost>& costs = fed.costs;
  std::size_t& painted = fed.painted;
  const double total = fed.totalMs;
  const std::size_t n = costs.size();
  const std::size_t tenth = n / 10;
  const PieceCost first = Mean(costs, 0, tenth), last = Mean(costs, n - tenth, tenth);
  std::printf("pieces %zu, painted (WM_PAINT came and validated) %zu, total %.0f ms\n", n, painted, total);
  std::printf("%12s %12s %12s   (mean of the %d pieces from that size on)\n", "text held", "append ms", "paint ms",
              kPiecesPerSize * 2);
  for (std::size_t size : kSizes) {
    const std::size_t at = std::min(size / kPieceChars, n - kPiecesPerSize * 2);
    const PieceCost c = Mean(costs, at, kPiecesPerSize * 2);
    std::printf("%10.1f M %12.3f %12.3f\n", static_cast<double>(size) / kMi, c.append, c.paint);
  }
  std::printf("last tenth / first tenth, per piece with painting: %.2f (target under 1.5)\n",
              (last.append + last.paint) / std::max(1e-9, first.append + first.paint));
  // A DPI change: the window sends a new font, and every row is laid out again.
  const UniqueFont larger = MakeArialFont(8.25, false, 144);
  const auto relayout = Clock::now();
  ::SendMessageW(box.get(), WM_SETFONT, reinterpret_cast<WPARAM>(larger.get()), TRUE);
  Paint(box.get(), painted);
  std::printf("new font at 20 M (as at a DPI change), all rows laid out again and painted: %.0f ms\n",
              Ms(Clock::now() - relayout));
  const OutputView* view = OutputView::From(box.get());
  std::printf("memory: %.2f bytes/char held by the view's text and index, %.2f bytes/char of private memory "
              "(target under 2.5)\n",
              view != nullptr ? static_cast<double>(view->BytesHeld()) / kTotalChars : 0.0,
              static_cast<double>(PrivateBytes() - std::min(PrivateBytes(), before)) / kTotalChars);
}

void SideBySide(BenchHost& host, const std::wstring& all) {
  std::printf("\n-- 1b. prefilled to each size by WM_SETTEXT, then %d pieces timed --\n", kPiecesPerSize);
  std::printf("%10s | %10s %10s %10s %9s | %10s %10s %10s %9s\n", "text held", "edit app", "edit paint",
              "prefill", "B/char", "view app", "view paint", "prefill", "B/char");
  AtSize edit20, view20;
  for (std::size_t size : kSizes) {
    std::size_t painted = 0;
    const AtSize edit = MeasureAtSize(host, false, all, size, painted);
    const AtSize view = MeasureAtSize(host, true, all, size, painted);
    std::printf("%8.1f M | %10.3f %10.3f %8.0fms %9.2f | %10.3f %10.3f %8.0fms %9.2f   (painted %zu)\n",
                static_cast<double>(size) / kMi, edit.piece.append, edit.piece.paint, edit.prefillMs,
                edit.bytesPerChar, view.piece.append, view.piece.paint, view.prefillMs, view.bytesPerChar, painted);
    std::fflush(stdout);
    if (size == kTotalChars) {
      edit20 = edit;
      view20 = view;
    }
  }
  std::printf("at 20 M, Ctrl+End and paint: edit %.1f ms, view %.1f ms (target under 50)\n", edit20.ctrlEndMs,
              view20.ctrlEndMs);
  std::printf("at 20 M, EM_SETSEL 0,-1 and paint: edit %.1f ms, view %.1f ms (target under 50)\n",
              edit20.selectAllMs, view20.selectAllMs);
}

// Ping replies as localized systems print them.
const std::wstring kJapanesePing =
    L"127.0.0.1 \x304B\x3089\x306E\x5FDC\x7B54: \x30D0\x30A4\x30C8\x6570 =32 \x6642\x9593 <1ms TTL=128";
const std::wstring kArabicPing =
    L"\x0631\x062F \x0645\x0646 127.0.0.1: \x0627\x0644\x0628\x0627\x064A\x062A=32 "
    L"\x0627\x0644\x0648\x0642\x062A<1\x0645 TTL=128";

void ComplexRun(BenchHost& host, const char* name, const std::wstring& line) {
  const std::wstring all = Repeated(line, kTotalChars);
  const std::size_t before = PrivateBytes();
  const FedView fed = FeedView(host, all);
  const UniqueWindow& box = fed.box;
  const std::vector<PieceCost>& costs = fed.costs;
  const double total = fed.totalMs;
  const std::size_t n = costs.size();
  const PieceCost first = Mean(costs, 0, n / 10), whole = Mean(costs, 0, n), last = Mean(costs, n - n / 10, n / 10);
  const OutputView* view = OutputView::From(box.get());
  std::printf("%-8s %9.0f ms %10.3f %10.3f %10.3f %10.3f %11.2f %11.2f\n", name, total, whole.append, whole.paint,
              (last.append + last.paint) / std::max(1e-9, first.append + first.paint),
              first.append + first.paint,
              view != nullptr ? static_cast<double>(view->BytesHeld()) / kTotalChars : 0.0,
              static_cast<double>(PrivateBytes() - std::min(PrivateBytes(), before)) / kTotalChars);
}

void ComplexText(BenchHost& host) {
  std::printf("\n-- 1d. the view, 0 to 20 M characters of complex text, every piece appended and painted --\n");
  std::printf("%-8s %12s %10s %10s %10s %10s %11s %11s\n", "text", "total", "append ms", "paint ms", "last/first",
              "first ms", "view B/ch", "private B/ch");
  ComplexRun(host, "Japanese", kJapanesePing + L"\r\n");
  std::fflush(stdout);
  ComplexRun(host, "Arabic", kArabicPing + L"\r\n");
}

void LongLine(BenchHost& host) {
  std::printf("\n-- 1c. one line without a break, in 8,192-character pieces --\n");
  const std::wstring piece(kPieceChars, L'x');
  for (bool view : {false, true}) {
    const int pieces = view ? 128 : 8;  // 1 MiB for the view, 64 KiB for the edit control
    std::size_t painted = 0;
    UniqueWindow box = host.MakeBox(view);
    std::vector<PieceCost> costs;
    for (int i = 0; i < pieces; ++i) costs.push_back(FeedAndPaint(box.get(), piece, painted));
    double worst = 0, sum = 0;
    for (const PieceCost& c : costs) {
      worst = std::max(worst, c.append + c.paint);
      sum += c.append + c.paint;
    }
    std::printf("%s: %d KiB line, %.1f ms in all, per piece mean %.2f ms, worst %.2f ms\n", view ? "view" : "edit",
                pieces * 8, sum, sum / pieces, worst);
  }
}

// Pieces of one line that never ends; stops early, and says so, once the line has
// taken kLongLineBudgetMs in all.
void LongComplexLine(BenchHost& host, const char* name, const std::wstring& words) {
  constexpr std::size_t kLineChars = kMi;
  constexpr std::size_t kLinePiece = 4096;
  constexpr double kLongLineBudgetMs = 30000;
  std::wstring line;
  line.reserve(kLineChars + words.size());
  while (line.size() < kLineChars) line += words;
  line.resize(kLineChars);
  std::size_t painted = 0;
  UniqueWindow box = host.MakeBox(true);
  std::vector<double> costs;
  double sum = 0;
  for (std::size_t at = 0; at < kLineChars && sum < kLongLineBudgetMs; at += kLinePiece) {
    const PieceCost c = FeedAndPaint(box.get(), line.substr(at, kLinePiece), painted);
    costs.push_back(c.append + c.paint);
    sum += costs.back();
  }
  const std::size_t n = costs.size();
  const std::size_t tenth = std::max<std::size_t>(1, n / 10);
  double first = 0, last = 0;
  for (std::size_t i = 0; i < tenth; ++i) {
    first += costs[i] / static_cast<double>(tenth);
    last += costs[n - tenth + i] / static_cast<double>(tenth);
  }
  const OutputView* view = OutputView::From(box.get());
  std::printf("%-8s %6zu KiB%s %9.0f ms %10.2f %10.2f %10.2f %10.2f %10zu\n", name, n * kLinePiece / 1024,
              n * kLinePiece < kLineChars ? " (out of time)" : "", sum, sum / static_cast<double>(n), first, last,
              *std::max_element(costs.begin(), costs.end()),
              view != nullptr ? ::SendMessageW(box.get(), EM_GETLINECOUNT, 0, 0) : 0);
}

void LongComplexLines(BenchHost& host) {
  std::printf("\n-- 1e. the view, one line of complex text without a break, in 4,096-character pieces --\n");
  std::printf("%-8s %10s %12s %10s %10s %10s %10s %10s\n", "text", "line", "total", "piece ms", "first 10%",
              "last 10%", "worst ms", "rows");
  LongComplexLine(host, "Japanese", kJapanesePing + L" ");
  std::fflush(stdout);
  LongComplexLine(host, "Arabic", kArabicPing + L" ");
}

int BenchPieces() {
  std::printf("== 1. One box of the program's size, 8,192-character pieces of ping lines, painted ==\n");
  BenchHost host;
  if (!host.ok()) return 1;
  const std::wstring all = PingText(kTotalChars + (kPiecesPerSize + 1) * kPieceChars);
  ViewFullRun(host, all);
  std::fflush(stdout);
  SideBySide(host, all);
  LongLine(host);
  std::fflush(stdout);
  ComplexText(host);
  std::fflush(stdout);
  LongComplexLines(host);
  return 0;
}

// Passes the launcher's events on to the window, counting the pieces and the messages
// the box gets while the window handles them.
class CountingEvents final : public ConsoleLauncherEvents {
 public:
  explicit CountingEvents(ConsoleLauncherEvents& window) : window_(window) {}
  void DataReceived(std::wstring sData) override {
    ++pieces;
    const std::size_t before = box != nullptr ? box->messages.size() : 0;
    window_.DataReceived(std::move(sData));
    if (box != nullptr) inPieces += box->messages.size() - before;
  }
  void ProcessEnded() override { window_.ProcessEnded(); }
  std::size_t pieces = 0;
  std::size_t inPieces = 0;  // messages to the box while handling a piece
  const test::MessageCounter* box = nullptr;

 private:
  ConsoleLauncherEvents& window_;
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
  form->Show();
  return form;
}

bool StartPing(frm_Vexlo& form) {
  const std::wstring address = L"192.0.2.1";
  ::SendMessageW(form.txtApplicationPing.hwnd, EM_SETSEL, 0, -1);
  ::SendMessageW(form.txtApplicationPing.hwnd, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(address.c_str()));
  form.cmdExecutePing_Click();
  if (form.bRunning == kTrue) return true;
  std::printf("the run did not start: %ls\n", form.sbStatus.PanelText(1).c_str());
  return false;
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
  if (!form || !StartPing(*form)) return 1;
  LARGE_INTEGER frequency;
  ::QueryPerformanceFrequency(&frequency);
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
  std::printf("delay: median %.2f ms (target about 1), p99 %.2f ms, max %.2f ms, min %.2f ms\n",
              Percentile(delays, 0.5), Percentile(delays, 0.99), *std::max_element(delays.begin(), delays.end()),
              *std::min_element(delays.begin(), delays.end()));
  return 0;
}

int BenchFlood(const std::wstring& floodTool) {
  constexpr std::size_t kBytes = 4 * kMi;
  std::printf("\n== 3. 4 MiB of ping lines written as fast as the tool can, through the real launcher ==\n");
  if (::GetFileAttributesW(floodTool.c_str()) == INVALID_FILE_ATTRIBUTES) {
    std::printf("ping_flood.exe not found; pass its path as the second argument\n");
    return 1;
  }
  const std::size_t before = PrivateBytes();
  std::unique_ptr<CountingEvents> counting;
  auto form = Open([&](ConsoleLauncherEvents& events) {
    counting = std::make_unique<CountingEvents>(events);
    return std::make_unique<test::ScriptedToolLauncher>(*counting, std::to_wstring(kBytes), L"\"" + floodTool + L"\"");
  });
  if (!form) return 1;
  auto boxMessages = std::make_unique<test::MessageCounter>(form->txtOutputPing.hwnd);
  counting->box = boxMessages.get();
  const auto start = Clock::now();
  if (!StartPing(*form)) return 1;
  // The output is one byte a character (the OEM code page), so the box holds kBytes.
  double longestDispatch = 0, longestTurn = 0;
  const auto guard = start + std::chrono::seconds(120);
  while (static_cast<std::size_t>(form->txtOutputPing.TextLength()) < kBytes && Clock::now() < guard) {
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    const auto awake = Clock::now();
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      const auto d0 = Clock::now();
      if (!::IsDialogMessageW(form->hwnd(), &msg)) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
      }
      longestDispatch = std::max(longestDispatch, Ms(Clock::now() - d0));
    }
    // From waking up to being ready for the next input: the time input would wait.
    longestTurn = std::max(longestTurn, Ms(Clock::now() - awake));
  }
  const double took = Ms(Clock::now() - start);
  // Counted before the reads below, which are messages too.
  const std::size_t sent = boxMessages->messages.size();
  counting->box = nullptr;
  boxMessages.reset();
  const std::size_t held = static_cast<std::size_t>(form->txtOutputPing.TextLength());
  const std::size_t grown = PrivateBytes() - std::min(PrivateBytes(), before);
  if (form->bRunning == kTrue) {
    form->oLaunch->StopProcess();
    test::PumpUntil([&] { return form->bRunning != kTrue; }, std::chrono::seconds(5));
  }
  std::printf("box holds %zu of %zu chars after %.0f ms (target under 4000)\n", held, kBytes, took);
  std::printf("window: longest single message %.1f ms, longest drain of the queue %.1f ms (target under 250)\n",
              longestDispatch, longestTurn);
  const double pieces = std::max<double>(1.0, static_cast<double>(counting->pieces));
  std::printf("pieces %zu; messages to the output box per piece: %.2f while the window handles it, %.2f in all "
              "(painting and this loop's reads included)\n",
              counting->pieces, static_cast<double>(counting->inPieces) / pieces, static_cast<double>(sent) / pieces);
  std::printf("private memory grew %.1f MB for %.1f MB of text in each of 3 boxes (%.2f bytes/char/box)\n",
              static_cast<double>(grown) / 1e6, static_cast<double>(held) / 1e6,
              static_cast<double>(grown) / std::max<double>(1.0, 3.0 * static_cast<double>(held)));
  return 0;
}


// Everything the window holds of the output: the views' text and rows and the kept
// outputs, by their own accounting.
std::size_t OutputBytesHeld(const frm_Vexlo& form) {
  std::size_t bytes = 0;
  for (const TextBox* box : {&form.txtOutputPing, &form.txtOutputTracert, &form.txtOutputLookup}) {
    if (const OutputView* view = OutputView::From(box->hwnd)) bytes += view->BytesHeld();
  }
  // The kept outputs refer to the boxes' store and share their rows.
  return bytes + form.outputViews.StorageHeld().bytes;
}

// What a user's window does between two events: paint what changed and answer what
// is queued. Returns the time that took.
double PaintAndPump(const frm_Vexlo& form) {
  const auto start = Clock::now();
  ::UpdateWindow(form.hwnd());
  for (const TextBox* box : {&form.txtOutputPing, &form.txtOutputTracert, &form.txtOutputLookup}) {
    ::UpdateWindow(box->hwnd);
  }
  PumpPending();
  return Ms(Clock::now() - start);
}

int BenchWeekOfPing(bool timesShown) {
  constexpr std::size_t kWeekChars = 48'000'000;
  std::printf("\n== 4%s. A week of ping -t: %.0f M characters through the whole window%s ==\n",
              timesShown ? "b" : "a", kWeekChars / 1e6, timesShown ? ", the read times shown" : "");
  auto log = std::make_shared<test::FakeLauncherLog>();
  const std::size_t before = PrivateBytes();
  auto form = Open([&](ConsoleLauncherEvents& events) { return std::make_unique<test::FakeLauncher>(events, log); });
  if (!form) return 1;
  if (timesShown) form->outputViews.ShowTimes(true);
  PaintAndPump(*form);
  // Pieces as the launcher hands them on: a full buffer of 8,192 characters cut
  // anywhere in a line, now and then a single line or a part of a buffer.
  const std::wstring line = L"Reply from 192.0.2.1: bytes=32 time<1ms TTL=128\r\n";
  std::wstring text;
  while (text.size() < 2 * kPieceChars + 4 * line.size()) text += line;
  constexpr std::size_t kPieceSizes[] = {8192, 8192, 8192, 50, 8192, 8192, 3000, 8192, 8192, 8192};
  double longest = 0;  // the longest time the window did not get back to its queue
  double handled = 0;  // of the last event, the handler alone, without painting
  const auto event = [&](auto&& handle) {
    const auto start = Clock::now();
    handle();
    handled = Ms(Clock::now() - start);
    PaintAndPump(*form);
    const double ms = Ms(Clock::now() - start);
    longest = std::max(longest, ms);
    return ms;
  };
  const auto click = [&](int tab) {
    return event([&] {
      form->tabRTF.SelectedItem(tab);
      form->tabRTF_Click();
    });
  };
  std::size_t received = 0, pieces = 0, offset = 0;
  // A ping -t line a second, each read by itself: a joined piece carries the time of
  // every line that starts in it.
  constexpr std::int64_t kSecond = 10'000'000;
  std::int64_t lineTime = UtcTicksNow() - 7 * 24 * 3600 * kSecond;
  ReadTimes times;
  const auto feed = [&](std::size_t upTo, std::size_t clearAt) {
    while (received < upTo) {
      const std::size_t n = std::min(kPieceSizes[pieces % std::size(kPieceSizes)], upTo - received);
      const std::wstring piece = text.substr(offset, n);
      times.clear();
      if (offset != 0) times.push_back({0, lineTime});
      for (std::size_t at = (line.size() - offset) % line.size(); at < n; at += line.size()) {
        lineTime += kSecond;
        times.push_back({at, lineTime});
      }
      offset = (offset + n) % line.size();
      event([&] { form->DataReceivedAt(piece, times); });
      if (received < clearAt && received + n >= clearAt) event([&] { form->cmd_clear_tracert_Click(); });
      received += n;
      ++pieces;
    }
  };
  // What a switch costs the window with nothing held, for comparison.
  click(2);
  const double emptyToTracert = handled;
  click(1);
  const double emptyToPing = handled;
  const auto start = Clock::now();
  // The first run from the Ping page, the Traceroute page cleared during it; a look
  // at the other pages afterwards.
  if (!StartPing(*form)) return 1;
  feed(kWeekChars / 2, kWeekChars / 4);
  const double firstEnd = event([&] { form->ProcessEnded(); });
  const double firstSwitch = click(2) + click(3) + click(1);
  // The second run from the Ping page, to the end of the week.
  if (!StartPing(*form)) return 1;
  feed(kWeekChars, static_cast<std::size_t>(-1));
  const double processEnded = event([&] { form->ProcessEnded(); });
  const double processEndedAlone = handled;
  const double toTracert = click(2);
  const double toTracertAlone = handled;
  const double backToPing = click(1);
  const double backToPingAlone = handled;
  const double took = Ms(Clock::now() - start);
  const std::size_t held = static_cast<std::size_t>(form->txtOutputPing.TextLength());
  const std::size_t grown = PrivateBytes() - std::min(PrivateBytes(), before);
  std::printf("%zu characters in %zu pieces, %.1f s; the Ping box holds %zu\n", received, pieces, took / 1000, held);
  std::printf("memory: %.2f bytes per character received, from the working set (target under 2.5); "
              "%.2f by the boxes' and kept outputs' own accounting\n",
              static_cast<double>(grown) / static_cast<double>(received),
              static_cast<double>(OutputBytesHeld(*form)) / static_cast<double>(received));
  const OutputViews::Held storage = form->outputViews.StorageHeld();
  std::printf("read times: %zu lines stamped (a line a second: %.1f days), %zu stamps held in %.2f MB, "
              "%.3f bytes per character received\n",
              static_cast<std::size_t>(received / line.size()), static_cast<double>(received / line.size()) / 86400.0,
              storage.stamps, static_cast<double>(storage.stampBytes) / 1e6,
              static_cast<double>(storage.stampBytes) / static_cast<double>(received));
  std::printf("end of the run with its kept copy, painted: %.1f ms (target under 5), the handler alone %.1f ms; "
              "after the first run %.1f ms\n",
              processEnded, processEndedAlone, firstEnd);
  std::printf("page switch at the end, painted: to Traceroute %.1f ms, back to Ping %.1f ms (target under 5); "
              "the handler alone %.1f and %.1f ms; three switches after the first run %.1f ms\n",
              toTracert, backToPing, toTracertAlone, backToPingAlone, firstSwitch);
  std::printf("the same two switches' handlers with nothing held: %.1f and %.1f ms\n", emptyToTracert, emptyToPing);
  std::printf("longest time away from the message loop: %.1f ms (target under 100)\n", longest);
  return held == kWeekChars ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (const auto exitCode = vexlo::RunCtrlCSenderIfAsked()) return *exitCode;
  INITCOMMONCONTROLSEX icc{sizeof icc, ICC_TAB_CLASSES | ICC_BAR_CLASSES | ICC_STANDARD_CLASSES};
  ::InitCommonControlsEx(&icc);
  if (!OutputView::Register(::GetModuleHandleW(nullptr))) return 1;
  if (argc > 1 && std::wstring(argv[1]) == L"week") {
    if (argc > 2 && std::wstring(argv[2]) == L"times") return BenchWeekOfPing(true);
    return BenchWeekOfPing(false) | BenchWeekOfPing(true);
  }
  const std::wstring tool = argc > 1 ? argv[1] : test::ProgramDirectory() + L"..\\tests\\scripted_tool.exe";
  const std::wstring flood = argc > 2 ? argv[2] : test::ProgramDirectory() + L"ping_flood.exe";
  const auto start = Clock::now();
  int failed = BenchPieces();
  std::fflush(stdout);
  failed |= BenchDelay(tool);
  std::fflush(stdout);
  failed |= BenchFlood(flood);
  std::fflush(stdout);
  failed |= BenchWeekOfPing(false);
  failed |= BenchWeekOfPing(true);
  std::printf("\nbench ran %.1f s\n", Ms(Clock::now() - start) / 1000);
  return failed;
}
