#pragma once
// The entry points of ole32.dll (COM, for the save dialog) and oleaut32.dll (strings
// and safe arrays, for UI Automation), loaded at run time from the system directory
// when first needed (common/system_library.h). Each is all or nothing: without it
// Save As reports a failure and the UI Automation methods fail.

#include <windows.h>
#include <objbase.h>
#include <oleauto.h>

#include "common/system_library.h"

namespace vexlo {

struct OleApi {
  decltype(&::CoInitializeEx) initializeEx = nullptr;
  decltype(&::CoUninitialize) uninitialize = nullptr;
  decltype(&::CoCreateInstance) createInstance = nullptr;
  decltype(&::CoTaskMemFree) taskMemFree = nullptr;

  [[nodiscard]] bool Usable() const noexcept { return initializeEx && uninitialize && createInstance && taskMemFree; }
  [[nodiscard]] static OleApi Load();
};

struct AutomationApi {
  decltype(&::SysAllocStringLen) allocStringLen = nullptr;
  decltype(&::SysStringLen) stringLen = nullptr;
  decltype(&::SafeArrayCreateVector) arrayCreateVector = nullptr;
  decltype(&::SafeArrayPutElement) arrayPutElement = nullptr;
  decltype(&::SafeArrayDestroy) arrayDestroy = nullptr;
  decltype(&::SafeArrayAccessData) arrayAccessData = nullptr;
  decltype(&::SafeArrayUnaccessData) arrayUnaccessData = nullptr;

  [[nodiscard]] bool Usable() const noexcept {
    return allocStringLen && stringLen && arrayCreateVector && arrayPutElement && arrayDestroy && arrayAccessData &&
           arrayUnaccessData;
  }
  [[nodiscard]] static AutomationApi Load();
};

[[nodiscard]] inline const OleApi& Ole() { return SystemApi<OleApi>::Get(); }
[[nodiscard]] inline const AutomationApi& Automation() { return SystemApi<AutomationApi>::Get(); }

}  // namespace vexlo
