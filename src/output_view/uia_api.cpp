#include "output_view/uia_api.h"

namespace vexlo {
namespace {

template <typename Function>
void LoadInto(HMODULE module, const char* name, Function& f) {
  // Through void(*)(): the one function pointer type any other converts from cleanly.
  f = reinterpret_cast<Function>(reinterpret_cast<void (*)()>(::GetProcAddress(module, name)));
}

const UiaApi& Loaded() {
  static const UiaApi api = [] {
    UiaApi a;
    // Never freed. UI Automation keeps references to our providers and ranges, and
    // its own threads and hooks, inside this DLL for as long as clients hold them,
    // which can be until after main returns; unloading it then would leave those
    // pointing into freed code. The process's end frees it.
    const HMODULE m = ::LoadLibraryExW(L"uiautomationcore.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (m == nullptr) return a;
    LoadInto(m, "UiaReturnRawElementProvider", a.returnRawElementProvider);
    LoadInto(m, "UiaHostProviderFromHwnd", a.hostProviderFromHwnd);
    LoadInto(m, "UiaRaiseAutomationEvent", a.raiseAutomationEvent);
    LoadInto(m, "UiaClientsAreListening", a.clientsAreListening);
    LoadInto(m, "UiaDisconnectProvider", a.disconnectProvider);
    LoadInto(m, "UiaGetReservedNotSupportedValue", a.getReservedNotSupportedValue);
    return a;
  }();
  return api;
}

const UiaApi* replaced = nullptr;  // a test's entry points; UI thread only

}  // namespace

const UiaApi& Uia() { return replaced != nullptr ? *replaced : Loaded(); }

ScopedUiaApi::ScopedUiaApi(const UiaApi& api) noexcept : previous_(replaced) { replaced = &api; }

ScopedUiaApi::~ScopedUiaApi() { replaced = previous_; }

}  // namespace vexlo
