// Execute/Stop on the three tool pages, and the address boxes that enable Execute.
#include "common/system_message.h"
#include "main_window/frm_vexlo.h"

namespace vexlo {

void frm_Vexlo::ReportStartResult(TextBox& address, CommandButton& execute) {
  const std::int32_t result = oLaunch->StartResult();
  if (result == kStarted) {
    bRunning = kTrue;
    address.Enabled(false);
    execute.Caption(L"&Stop");
    sbStatus.PanelText(1, L"Running ...");
    // A new run is followed from its start, wherever the user had been reading.
    for (const TextBox* box : {&txtOutputPing, &txtOutputTracert, &txtOutputLookup}) box->SelStart(box->TextLength());
    return;
  }
  if (result == kAlreadyRunning) {
    sbStatus.PanelText(1, L"Already running !");
  } else if (result == kStartFailed) {
    const std::int32_t error = oLaunch->LastError();
    sbStatus.PanelText(1, L"Windows error: " + std::to_wstring(error) + L"!");
    // A bare code says nothing to most people: the system's own words, on hover.
    sbStatus.PanelTip(1, SystemMessage(static_cast<DWORD>(error)));
  }
  // No ProcessEnded follows a start that did not happen: undo what the click began,
  // so the tabs stay usable and no stale option reaches the next line.
  ClearOptionFragments();
  tabRTF.Enabled(true);
}

void frm_Vexlo::cmdExecutePing_Click() {
  tabRTF.Enabled(false);
  if (bRunning == kTrue) {
    oLaunch->StopProcess();
    return;
  }
  sbStatus.PanelText(2, L"Data received");
  if (chk_opt_a.Value() == 1) sOptA = L" -a ";
  if (chk_opt_f.Value() == 1) sOptF = L" -f ";
  if (chk_opt_t.Value()) sOptT = L" -t ";
  if (chk_opt_n.Value()) sOptN = L" -n " + txt_times_n.Text() + L" ";
  const std::wstring address = txtApplicationPing.Text();
  oLaunch->Execute(L"ping " + sOptA + sOptT + sOptN + sOptF + address);
  ReportStartResult(txtApplicationPing, cmdExecutePing);
  StartRunFacts(RunTool::Ping);
}

void frm_Vexlo::cmd_execute_tracert_Click() {
  tabRTF.Enabled(false);
  if (bRunning == kTrue) {
    oLaunch->StopProcess();
    return;
  }
  sbStatus.PanelText(2, L"Data received");
  if (chk_opt_d.Value() == 1) sOptD = L" -d ";
  if (chk_opt_h.Value() == 1) sOptH = L" -h " + txt_times_h.Text() + L" ";
  const std::wstring address = txtApplicationTracert.Text();
  oLaunch->Execute(L"tracert " + sOptD + sOptH + address);
  ReportStartResult(txtApplicationTracert, cmd_execute_tracert);
  StartRunFacts(RunTool::Traceroute);
}

void frm_Vexlo::cmd_execute_lookup_Click() {
  tabRTF.Enabled(false);
  if (bRunning == kTrue) {
    oLaunch->StopProcess();
    return;
  }
  sbStatus.PanelText(2, L"Data received");
  const std::wstring address = txtApplicationLookup.Text();
  oLaunch->Execute(L"nslookup " + address);
  ReportStartResult(txtApplicationLookup, cmd_execute_lookup);
  StartRunFacts(RunTool::Lookup);
}

void frm_Vexlo::txtApplicationPing_Change() {
  cmdExecutePing.Enabled(!txtApplicationPing.Text().empty());
}

void frm_Vexlo::txtApplicationTracert_Change() {
  cmd_execute_tracert.Enabled(!txtApplicationTracert.Text().empty());
}

void frm_Vexlo::txtApplicationLookup_Change() {
  cmd_execute_lookup.Enabled(!txtApplicationLookup.Text().empty());
}

}  // namespace vexlo
