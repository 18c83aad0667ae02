#include "common/dll_search.h"

#include <windows.h>

namespace vexlo {

bool RestrictDllSearchToSystem() noexcept {
  return ::SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32) != FALSE;
}

}  // namespace vexlo
