// Switching between the four pages.
#include "main_window/frm_vexlo.h"

namespace vexlo {

void frm_Vexlo::tabRTF_Click() {
  const int n = tabRTF.SelectedItem();
  if (n < 1 || n > static_cast<int>(fraTab.size())) return;
  BringPageToFront(static_cast<std::size_t>(n - 1));
  // The newest output in view, as after a run.
  const auto restore = [](const TextBox& box, const KeptOutput& kept) {
    kept.WriteInto(box.hwnd);
    box.SelStart(box.TextLength());
  };
  if (n == 1) restore(txtOutputPing, sKeptPing);
  if (n == 2) restore(txtOutputTracert, sKeptTracert);
  if (n == 3) restore(txtOutputLookup, sKeptLookup);

  // The twenty input controls, in the order their tab stops are set, with the page
  // (tab index) each belongs to. On Help none is a tab stop: Tab stays on the tabs.
  const std::pair<const Control*, int> inputs[] = {
      {&txtApplicationPing, 1}, {&chk_opt_a, 1}, {&chk_opt_f, 1}, {&chk_opt_t, 1},
      {&chk_opt_n, 1}, {&txt_times_n, 1}, {&cmdExecutePing, 1}, {&cmdClearPing, 1},
      {&cmd_exit_ping, 1}, {&txtApplicationTracert, 2}, {&chk_opt_d, 2}, {&chk_opt_h, 2},
      {&txt_times_h, 2}, {&cmd_execute_tracert, 2}, {&cmd_clear_tracert, 2}, {&cmd_tracert_exit, 2},
      {&txtApplicationLookup, 3}, {&cmd_execute_lookup, 3}, {&cmd_lookup_clear, 3}, {&cmd_lookup_exit, 3}};
  for (const auto& [control, page] : inputs) control->TabStop(page == n);
}

}  // namespace vexlo
