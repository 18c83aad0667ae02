// The facts of the Ping and Traceroute pages' runs and the strips that draw them.
#include <algorithm>

#include "main_window/control_ids.h"
#include "main_window/frm_vexlo.h"
#include "output_view/output_view.h"

namespace vexlo {
bool frm_Vexlo::CreateStrips(UINT dpi) {
  if (!stripPing.Create(fraTab[0].hwnd, kIdStripPing, factsPing, RunTool::Ping) ||
      !stripTracert.Create(fraTab[1].hwnd, kIdStripTracert, factsTracert, RunTool::Traceroute)) {
    return false;
  }
  for (RunStrip* strip : {&stripPing, &stripTracert}) {
    ::SendMessageW(strip->hwnd(), WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
    strip->Dpi(dpi);
  }
  return true;
}

void frm_Vexlo::PlaceOutputAndStrip(const TextBox& box, RunStrip& strip) {
  const bool shown = strip.HasMarks();
  RECT page{};
  if (!::GetClientRect(::GetParent(box.hwnd), &page)) return;
  const OutputPlace place = OutputAndStripRects({page.right, page.bottom}, shown);
  const RECT& r = place.output;
  ::MoveWindow(box.hwnd, r.left, r.top, r.right - r.left, r.bottom - r.top, TRUE);
  if (shown) {
    const RECT& s = place.strip;
    ::MoveWindow(strip.hwnd(), s.left, s.top, s.right - s.left, s.bottom - s.top, TRUE);
  }
  ::ShowWindow(strip.hwnd(), shown ? SW_SHOWNA : SW_HIDE);
}

void frm_Vexlo::StartRunFacts(RunTool tool) {
  running_ = {};
  if (bRunning != kTrue) return;  // the tool did not start
  if (tool == RunTool::Ping) running_ = {&factsPing, &stripPing, &txtOutputPing};
  if (tool == RunTool::Traceroute) running_ = {&factsTracert, &stripTracert, &txtOutputTracert};
  if (running_.facts == nullptr) return;
  // The run's facts start anew, so the strip of the last run goes until the first probe.
  running_.facts->StartRun(tool, static_cast<std::uint32_t>(running_.box->TextLength()));
  running_.strip->Refresh();
  PlaceOutputAndStrip(*running_.box, *running_.strip);
}

void frm_Vexlo::FeedRunFacts(std::wstring_view piece, std::uint32_t offset, const ReadTimes& times) {
  if (running_.facts == nullptr) return;
  bool added = false;
  // Each part of a joined piece was read at its own time, and so were its lines.
  for (std::size_t i = 0; i < times.size(); ++i) {
    const std::size_t from = std::min(times[i].offset, piece.size());
    const std::size_t to = i + 1 < times.size() ? std::min(times[i + 1].offset, piece.size()) : piece.size();
    if (to <= from) continue;
    added |= running_.facts->Read(piece.substr(from, to - from), offset + static_cast<std::uint32_t>(from),
                                  times[i].utcTicks);
  }
  if (!added) return;
  running_.strip->Refresh();
  if (!::IsWindowVisible(running_.strip->hwnd())) PlaceOutputAndStrip(*running_.box, *running_.strip);
}

void frm_Vexlo::EndRunFacts() {
  const RunPage ended = std::exchange(running_, RunPage{});
  if (ended.facts == nullptr || !ended.facts->EndRun()) return;
  ended.strip->Refresh();
  PlaceOutputAndStrip(*ended.box, *ended.strip);
}

void frm_Vexlo::ClearRunFacts(RunFacts& facts, RunStrip& strip, const TextBox& box) {
  facts.Clear();
  strip.Refresh();
  PlaceOutputAndStrip(box, strip);
}

void frm_Vexlo::SelectOutputLine(const TextBox& box, std::uint32_t lineStart, std::uint32_t lineLength) {
  // The view shows a selection only while it has the focus, as an edit control does.
  ::SetFocus(box.hwnd);
  ::SendMessageW(box.hwnd, EM_SETSEL, lineStart, static_cast<LPARAM>(lineStart) + lineLength);
  ::SendMessageW(box.hwnd, EM_SCROLLCARET, 0, 0);
}

void frm_Vexlo::stripPing_MarkClick(std::uint32_t lineStart, std::uint32_t lineLength) {
  SelectOutputLine(txtOutputPing, lineStart, lineLength);
}

void frm_Vexlo::stripTracert_MarkClick(std::uint32_t lineStart, std::uint32_t lineLength) {
  SelectOutputLine(txtOutputTracert, lineStart, lineLength);
}

}  // namespace vexlo
