// Start-up and shut-down.
#include <stdexcept>

#include "main_window/frm_vexlo.h"
#include "main_window/module2.h"

namespace vexlo {

void frm_Vexlo::Form_Load() {
  const int frames = static_cast<int>(fraTab.size());
  for (int i = 0; i < frames; ++i) {
    fraTab[i].Move(tabRTF.ClientLeft(), tabRTF.ClientTop(), tabRTF.ClientWidth(), tabRTF.ClientHeight());
  }
  BringPageToFront(0);
  oLaunch = options_.launcherFactory ? options_.launcherFactory(*this) : nullptr;
  if (!oLaunch) throw std::runtime_error("no console launcher");
  oLaunch->BufferSize(8192);
  oLaunch->Interval(1000);
  bRunning = kFalse;
  txtApplicationPing.Enabled(true);
  txtApplicationTracert.Enabled(true);
  sbStatus.PanelText(2, L"Waiting");
  sbStatus.PanelText(1, L"Waiting");
  chk_opt_n.Value(true);
  sVersion = Module2::RegistryValueText(Module2::ReadRegistryValue(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Quenmar\\vexlo", L"Ver"));
  lbl_help_pt_1.Caption(sVersion);
  for (const Control* c : std::initializer_list<const Control*>{
           &txtApplicationTracert, &chk_opt_d, &chk_opt_h, &txt_times_h, &cmd_execute_tracert,
           &cmd_clear_tracert, &cmd_tracert_exit, &txtApplicationLookup, &cmd_execute_lookup,
           &cmd_lookup_clear, &cmd_lookup_exit}) {
    c->TabStop(false);
  }
}

void frm_Vexlo::Form_Unload() { oLaunch.reset(); }

// The job object that holds a running tool is closed with the process, which ends it.
void frm_Vexlo::cmd_exit_ping_Click() { options_.endProgram(); }
void frm_Vexlo::cmd_tracert_exit_Click() { options_.endProgram(); }
void frm_Vexlo::cmd_lookup_exit_Click() { options_.endProgram(); }

}  // namespace vexlo
