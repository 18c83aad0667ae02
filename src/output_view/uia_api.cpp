#include "output_view/uia_api.h"

namespace vexlo {

UiaApi UiaApi::Load() {
  UiaApi a;
  // UI Automation keeps references to our providers and ranges, and its own threads
  // and hooks, inside this DLL for as long as clients hold them, which can be until
  // after main returns; so it stays loaded (LoadSystemLibrary never frees).
  const HMODULE m = LoadSystemLibrary(L"uiautomationcore.dll");
  LoadEntryPoint(m, "UiaReturnRawElementProvider", a.returnRawElementProvider);
  LoadEntryPoint(m, "UiaHostProviderFromHwnd", a.hostProviderFromHwnd);
  LoadEntryPoint(m, "UiaRaiseAutomationEvent", a.raiseAutomationEvent);
  LoadEntryPoint(m, "UiaClientsAreListening", a.clientsAreListening);
  LoadEntryPoint(m, "UiaDisconnectProvider", a.disconnectProvider);
  LoadEntryPoint(m, "UiaGetReservedNotSupportedValue", a.getReservedNotSupportedValue);
  return a;
}

}  // namespace vexlo
