#pragma once
// The output view's UI Automation provider: an edit element with a read-only value
// and the Text pattern, which screen readers use to read and follow the output.
// uiautomationcore.dll has no import library here, so its functions are loaded at
// run time; without them the view works, just without a provider.

#include <windows.h>

struct IRawElementProviderSimple;

namespace vexlo {

class OutputView;
class ElementProvider;

class OutputViewAccessibility {
 public:
  explicit OutputViewAccessibility(OutputView& view) : view_(view) {}
  ~OutputViewAccessibility();
  OutputViewAccessibility(const OutputViewAccessibility&) = delete;
  OutputViewAccessibility& operator=(const OutputViewAccessibility&) = delete;

  // WM_GETOBJECT: true when answered with the provider.
  bool OnGetObject(WPARAM wp, LPARAM lp, LRESULT& result);
  // Raise events, only when a provider was asked for and clients listen.
  void TextChanged();
  void SelectionChanged();
  // The window is going: UI Automation lets go of the provider, whose methods then
  // fail with UIA_E_ELEMENTNOTAVAILABLE.
  void Disconnect();
  // Made on first use; null without UI Automation or after Disconnect.
  [[nodiscard]] IRawElementProviderSimple* Provider();

 private:
  OutputView& view_;
  ElementProvider* provider_ = nullptr;  // one reference held
  bool disconnected_ = false;
};

}  // namespace vexlo
