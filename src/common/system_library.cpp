#include "common/system_library.h"

namespace vexlo {

HMODULE LoadSystemLibrary(const wchar_t* name) noexcept {
  // Never freed: what was had from it (COM objects, UI Automation's references to our
  // providers, shaped strings) may outlive any scope of ours; the process's end frees it.
  return ::LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
}

}  // namespace vexlo
