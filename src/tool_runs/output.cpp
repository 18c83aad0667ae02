// The launcher's events: output as it arrives, and the end of a run.
#include "main_window/frm_vexlo.h"

namespace vexlo {

void frm_Vexlo::oLaunch_DataReceived(const std::wstring& sData, const ReadTimes& times) {
  // Appending in place ends with the text that rewriting the whole text would give,
  // without a cost that grows with what the box holds. The caret goes to the end (of
  // what a full box took), and the newest output into view, if the box follows its
  // end; a user who scrolled back or holds a selection keeps the place.
  std::size_t offset = 0;  // where the piece lands in the running page's box
  for (const TextBox* box : {&txtOutputPing, &txtOutputTracert, &txtOutputLookup}) {
    const std::size_t startsAt = box->Append(sData, times);
    if (box == running_.box) offset = startsAt;
  }
  sbStatus.PanelText(2, L"Data received");
  FeedRunFacts(sData, static_cast<std::uint32_t>(offset), times);
}

void frm_Vexlo::oLaunch_ProcessEnded() {
  bRunning = kFalse;
  cmdExecutePing.Caption(L"&Execute");
  cmd_execute_tracert.Caption(L"&Execute");
  cmd_execute_lookup.Caption(L"&Execute");
  txtApplicationPing.Enabled(true);
  txtApplicationTracert.Enabled(true);
  txtApplicationLookup.Enabled(true);
  sbStatus.PanelText(1, L"Finished !");
  sbStatus.PanelText(2, L"Waiting");
  ClearOptionFragments();
  // Before the one step that can fail: copying a whole box may run out of memory,
  // and the tabs must come back all the same.
  tabRTF.Enabled(true);
  EndRunFacts();
  switch (tabRTF.SelectedItem()) {
    case 1: sKeptPing = KeptOutput::Of(txtOutputPing.hwnd); break;
    case 2: sKeptTracert = KeptOutput::Of(txtOutputTracert.hwnd); break;
    case 3: sKeptLookup = KeptOutput::Of(txtOutputLookup.hwnd); break;
    default: break;
  }
}

void frm_Vexlo::ClearOptionFragments() noexcept {
  sOptA.clear();
  sOptT.clear();
  sOptN.clear();
  sOptF.clear();
  sOptD.clear();
  sOptH.clear();
}

// The launcher keeps its events going past a failing handler but knows nothing of
// the window; the window's own failure handling repairs what the handler left.
void frm_Vexlo::DataReceived(std::wstring sData) {
  try {
    oLaunch_DataReceived(sData);
  } catch (...) {
    RecoverFromFailedHandler();
  }
}

void frm_Vexlo::DataReceivedAt(std::wstring sData, ReadTimes times) {
  try {
    oLaunch_DataReceived(sData, times);
  } catch (...) {
    RecoverFromFailedHandler();
  }
}

void frm_Vexlo::ProcessEnded() {
  try {
    oLaunch_ProcessEnded();
  } catch (...) {
    RecoverFromFailedHandler();
  }
}

}  // namespace vexlo
