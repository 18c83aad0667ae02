// The launcher's events: output as it arrives, and the end of a run.
#include "main_window/frm_vexlo.h"

namespace vexlo {

void frm_Vexlo::oLaunch_DataReceived(const std::wstring& sData) {
  // Appending in place ends with the text and caret that rewriting the whole text
  // would give, without a cost that grows with what the box holds.
  for (const TextBox* box : {&txtOutputPing, &txtOutputTracert, &txtOutputLookup}) {
    box->Append(sData);
    // The caret goes after what the box holds (a full box took only what fitted),
    // also when the user had selected something, and the newest output into view.
    const int end = box->TextLength();
    if (!box->CaretAt(end)) box->SelStart(end);
  }
  sbStatus.PanelText(2, L"Data received");
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
  switch (tabRTF.SelectedItem()) {
    case 1: sKeptPing = KeptOutput::Of(txtOutputPing.hwnd); break;
    case 2: sKeptTracert = KeptOutput::Of(txtOutputTracert.hwnd); break;
    case 3: sKeptLookup = KeptOutput::Of(txtOutputLookup.hwnd); break;
    default: break;
  }
  tabRTF.Enabled(true);
}

void frm_Vexlo::ClearOptionFragments() {
  sOptA.clear();
  sOptT.clear();
  sOptN.clear();
  sOptF.clear();
  sOptD.clear();
  sOptH.clear();
}

void frm_Vexlo::DataReceived(std::wstring sData) { oLaunch_DataReceived(sData); }
void frm_Vexlo::ProcessEnded() { oLaunch_ProcessEnded(); }

}  // namespace vexlo
