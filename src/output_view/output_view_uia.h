#pragma once
// The view's owner of its UI Automation element: makes it on first use, answers
// WM_GETOBJECT with it, raises its events and lets it go with the window.
// uiautomationcore.dll is loaded at run time (uia_api.h); without it the view works,
// just without a provider.

#include <windows.h>

struct IRawElementProviderSimple;

namespace vexlo {

class TextSource;
class ElementProvider;

class OutputViewAccessibility {
 public:
  explicit OutputViewAccessibility(TextSource& view) noexcept : view_(view) {}
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
  void Raise(int event);

  TextSource& view_;
  ElementProvider* provider_ = nullptr;  // one reference held
  bool disconnected_ = false;
};

}  // namespace vexlo
