#pragma once
// uiautomationcore.dll's entry points. The DLL has no import library here, so they
// are loaded at run time; without them the view works, just without a provider.

#include <windows.h>
#include <ole2.h>

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
};

// The entry points in use: those of uiautomationcore.dll, loaded on first use, or
// while a test has put its own in, those.
[[nodiscard]] const UiaApi& Uia();

// For tests: the entry points that Uia() gives until the scope ends.
class ScopedUiaApi {
 public:
  explicit ScopedUiaApi(const UiaApi& api) noexcept;
  ~ScopedUiaApi();
  ScopedUiaApi(const ScopedUiaApi&) = delete;
  ScopedUiaApi& operator=(const ScopedUiaApi&) = delete;

 private:
  const UiaApi* previous_;
};

}  // namespace vexlo
