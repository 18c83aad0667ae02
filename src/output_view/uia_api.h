#pragma once
// uiautomationcore.dll's entry points, loaded at run time from the system directory
// (common/system_library.h); without them the view works, just without a provider.

#include <windows.h>
#include <ole2.h>

#include "common/system_library.h"

struct IRawElementProviderSimple;

namespace vexlo {

struct UiaApi {
  LRESULT(WINAPI* returnRawElementProvider)(HWND, WPARAM, LPARAM, IRawElementProviderSimple*) = nullptr;
  HRESULT(WINAPI* hostProviderFromHwnd)(HWND, IRawElementProviderSimple**) = nullptr;
  HRESULT(WINAPI* raiseAutomationEvent)(IRawElementProviderSimple*, int) = nullptr;
  BOOL(WINAPI* clientsAreListening)() = nullptr;
  HRESULT(WINAPI* disconnectProvider)(IRawElementProviderSimple*) = nullptr;  // Windows 8 and later
  HRESULT(WINAPI* getReservedNotSupportedValue)(IUnknown**) = nullptr;

  [[nodiscard]] bool Usable() const noexcept { return returnRawElementProvider != nullptr; }
  [[nodiscard]] static UiaApi Load();
};

// The entry points in use: those of uiautomationcore.dll, loaded on first use, or
// while a test has put its own in, those.
[[nodiscard]] inline const UiaApi& Uia() { return SystemApi<UiaApi>::Get(); }

// For tests: the entry points that Uia() gives until the scope ends.
using ScopedUiaApi = SystemApi<UiaApi>::Scoped;

}  // namespace vexlo
