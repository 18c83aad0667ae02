// The launcher's events: output as it arrives, and the end of a run.
#include "main_window/frm_vexlo.h"

namespace vexlo {

void frm_Vexlo::oLaunch_DataReceived(const std::wstring& sData) {
  // Appending in place ends with the text that rewriting the whole text would give,
  // without a cost that grows with what the box holds. The caret goes to the end (of
  // what a full box took), and the newest output into view, if the box follows its
  // end; a user who scrolled back or holds a selection keeps the place.
  for (const TextBox* box : {&txtOutputPing, &txtOutputTracert, &txtOutputLookup}) box->Append(sData);
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
    case 1: sKeptPing = txtOutputPing.Text(); break;
    case 2: sKeptTracert = txtOutputTracert.Text(); break;
    case 3: sKeptLookup = txtOutputLookup.Text(); break;
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
