// Clear on the three tool pages: empties the page's output and resets its options.
#include "main_window/frm_vexlo.h"

namespace vexlo {

void frm_Vexlo::cmdClearPing_Click() {
  txtOutputPing.Text(L"");
  sKeptPing.clear();
  ClearRunFacts(factsPing, stripPing, txtOutputPing);
  chk_opt_a.Value(0);
  chk_opt_f.Value(0);
  chk_opt_n.Value(true);  // deselects "Run until you stop (-t)" through the group
  txt_times_n.Text(L"4");
  sbStatus.PanelText(1, L"Cleared !");
}

void frm_Vexlo::cmd_clear_tracert_Click() {
  txtOutputTracert.Text(L"");
  sKeptTracert.clear();
  ClearRunFacts(factsTracert, stripTracert, txtOutputTracert);
  chk_opt_d.Value(0);
  chk_opt_h.Value(0);
  txt_times_h.Text(L"30");
  sbStatus.PanelText(1, L"Cleared !");
}

void frm_Vexlo::cmd_lookup_clear_Click() {
  txtOutputLookup.Text(L"");
  sKeptLookup.clear();
  sbStatus.PanelText(1, L"Cleared !");
}

}  // namespace vexlo
