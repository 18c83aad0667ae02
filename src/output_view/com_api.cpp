#include "output_view/com_api.h"

namespace vexlo {

OleApi OleApi::Load() {
  OleApi a;
  const HMODULE m = LoadSystemLibrary(L"ole32.dll");
  LoadEntryPoint(m, "CoInitializeEx", a.initializeEx);
  LoadEntryPoint(m, "CoUninitialize", a.uninitialize);
  LoadEntryPoint(m, "CoCreateInstance", a.createInstance);
  LoadEntryPoint(m, "CoTaskMemFree", a.taskMemFree);
  return a.Usable() ? a : OleApi{};
}

AutomationApi AutomationApi::Load() {
  AutomationApi a;
  const HMODULE m = LoadSystemLibrary(L"oleaut32.dll");
  LoadEntryPoint(m, "SysAllocStringLen", a.allocStringLen);
  LoadEntryPoint(m, "SysStringLen", a.stringLen);
  LoadEntryPoint(m, "SafeArrayCreateVector", a.arrayCreateVector);
  LoadEntryPoint(m, "SafeArrayPutElement", a.arrayPutElement);
  LoadEntryPoint(m, "SafeArrayDestroy", a.arrayDestroy);
  LoadEntryPoint(m, "SafeArrayAccessData", a.arrayAccessData);
  LoadEntryPoint(m, "SafeArrayUnaccessData", a.arrayUnaccessData);
  return a.Usable() ? a : AutomationApi{};
}

}  // namespace vexlo
