#pragma once
// The system's own description of a Windows error code.

#include <windows.h>

#include <string>

namespace vexlo {

// In the user's language, without the trailing line break; empty for a code the
// system has no text for.
[[nodiscard]] std::wstring SystemMessage(DWORD code);

}  // namespace vexlo
