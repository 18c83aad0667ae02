#include "output_view/output_view_uia.h"

#include <new>
#include <utility>

#include "output_view/text_source.h"
#include "output_view/uia_api.h"
#include "output_view/uia_element.h"

namespace vexlo {
namespace {

constexpr EVENTID kTextSelectionChangedEvent = 20014;
constexpr EVENTID kTextChangedEvent = 20015;

}  // namespace

OutputViewAccessibility::~OutputViewAccessibility() { Disconnect(); }

IRawElementProviderSimple* OutputViewAccessibility::Provider() {
  if (provider_ == nullptr && !disconnected_ && Uia().Usable()) {
    provider_ = new (std::nothrow) ElementProvider(view_);
  }
  return provider_;
}

bool OutputViewAccessibility::OnGetObject(WPARAM wp, LPARAM lp, LRESULT& result) {
  // Every request goes to UI Automation as it came, not only UiaRootObjectId: for
  // OBJID_CLIENT and the other MSAA ids it answers Active Accessibility clients
  // through its bridge to our provider, and filtering them would leave those clients
  // with the default proxy, which has a name but not the text.
  IRawElementProviderSimple* provider = Provider();
  if (provider == nullptr) return false;
  result = Uia().returnRawElementProvider(view_.hwnd(), wp, lp, provider);
  return true;
}

void OutputViewAccessibility::TextChanged() { Raise(kTextChangedEvent); }

void OutputViewAccessibility::SelectionChanged() { Raise(kTextSelectionChangedEvent); }

void OutputViewAccessibility::Raise(int event) {
  if (provider_ == nullptr || Uia().raiseAutomationEvent == nullptr) return;
  if (Uia().clientsAreListening != nullptr && !Uia().clientsAreListening()) return;
  Uia().raiseAutomationEvent(provider_, event);
}

void OutputViewAccessibility::Disconnect() {
  disconnected_ = true;
  if (provider_ == nullptr) return;
  ElementProvider* provider = std::exchange(provider_, nullptr);
  provider->Disconnect();
  if (Uia().disconnectProvider != nullptr) Uia().disconnectProvider(provider);
  // A null provider releases every reference UI Automation keeps for the window.
  if (Uia().returnRawElementProvider != nullptr && ::IsWindow(view_.hwnd())) {
    Uia().returnRawElementProvider(view_.hwnd(), 0, 0, nullptr);
  }
  provider->Release();
}

}  // namespace vexlo
