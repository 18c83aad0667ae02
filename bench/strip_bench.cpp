// The run strip's paint at 1,000 and at 604,800 probes (a week of one a second): it
// asks the facts for the columns it has room for only, so both cost the same.
#include <windows.h>
#include <commctrl.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "common/unique_handles.h"
#include "run_facts/run_facts.h"
#include "run_strip/run_strip.h"

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

// A ping run of that many probes, one in every seven lost, fed in pieces of 64 lines.
void Feed(vexlo::RunFacts& facts, std::size_t probes) {
  facts.StartRun(vexlo::RunTool::Ping, 0);
  std::wstring piece = L"\r\nPinging 192.0.2.1 with 32 bytes of data:\r\n";
  std::uint32_t offset = 0;
  for (std::size_t k = 0; k < probes; ++k) {
    piece += k % 7 == 3 ? L"Request timed out.\r\n"
                        : L"Reply from 192.0.2.1: bytes=32 time=" + std::to_wstring((k * 29 + 7) % 49) + L"ms TTL=57\r\n";
    if (k % 64 == 63 || k + 1 == probes) {
      (void)facts.Read(piece, offset, static_cast<vexlo::FactTime>(k));
      offset += static_cast<std::uint32_t>(piece.size());
      piece.clear();
    }
  }
}

// The mean time of a paint through WM_PAINT (into the strip's buffer and onto the
// window), and of the drawing alone (WM_PRINTCLIENT into a bitmap).
void Measure(HWND parent, std::size_t probes) {
  vexlo::RunFacts facts;
  const auto fedAt = Clock::now();
  Feed(facts, probes);
  const double feedMs = Ms(Clock::now() - fedAt);
  vexlo::RunStrip strip;
  if (!strip.Create(parent, 1, facts, vexlo::RunTool::Ping)) {
    std::printf("the strip could not be created\n");
    return;
  }
  ::SendMessageW(strip.hwnd(), WM_SETFONT, reinterpret_cast<WPARAM>(::GetStockObject(DEFAULT_GUI_FONT)), FALSE);
  strip.Dpi(96);
  ::MoveWindow(strip.hwnd(), 8, 8, 417, 57, FALSE);  // the Ping page's strip at 100 %
  ::ShowWindow(strip.hwnd(), SW_SHOWNA);
  strip.Refresh();
  constexpr int kPaints = 500;
  auto start = Clock::now();
  for (int i = 0; i < kPaints; ++i) ::RedrawWindow(strip.hwnd(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
  const double paintMs = Ms(Clock::now() - start) / kPaints;

  const HDC screen = ::GetDC(nullptr);
  const HDC dc = ::CreateCompatibleDC(screen);
  const HBITMAP bitmap = ::CreateCompatibleBitmap(screen, 417, 57);
  ::ReleaseDC(nullptr, screen);
  const HGDIOBJ old = ::SelectObject(dc, bitmap);
  start = Clock::now();
  for (int i = 0; i < kPaints; ++i) ::SendMessageW(strip.hwnd(), WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT);
  const double drawMs = Ms(Clock::now() - start) / kPaints;
  ::SelectObject(dc, old);
  ::DeleteObject(bitmap);
  ::DeleteDC(dc);

  start = Clock::now();
  std::size_t columns = 0;
  for (int i = 0; i < kPaints; ++i) columns += facts.Columns(92).columns.size();
  const double columnsMs = Ms(Clock::now() - start) / kPaints;
  std::printf("%8zu probes: paint %.3f ms, drawing alone %.3f ms, Columns(92) %.4f ms (%zu columns); fed in %.0f ms\n",
              probes, paintMs, drawMs, columnsMs, columns / kPaints, feedMs);
}

}  // namespace

int wmain() {
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_BAR_CLASSES};
  ::InitCommonControlsEx(&controls);
  if (!vexlo::RunStrip::Register(::GetModuleHandleW(nullptr))) return 1;
  const vexlo::UniqueWindow parent(::CreateWindowExW(0, L"STATIC", L"strip bench", WS_OVERLAPPED | WS_VISIBLE, 0, 0,
                                                     480, 120, nullptr, nullptr, ::GetModuleHandleW(nullptr), nullptr));
  if (!parent) return 1;
  std::printf("The run strip, 417 x 57 pixels, mean of 500 paints:\n");
  Measure(parent.get(), 1000);
  Measure(parent.get(), 604800);
  return 0;
}
