#pragma once
// usp10.dll's entry points: Uniscribe, which shapes the lines the width tables cannot
// lay out. It is no KnownDLL, so it is loaded from the system directory when the first
// such character is classified (common/system_library.h). Without it every line is
// laid out and drawn as plain text.

#include <windows.h>
#include <usp10.h>

#include "common/system_library.h"

namespace vexlo {

struct UniscribeApi {
  decltype(&::ScriptIsComplex) isComplex = nullptr;
  decltype(&::ScriptStringAnalyse) stringAnalyse = nullptr;
  decltype(&::ScriptStringFree) stringFree = nullptr;
  decltype(&::ScriptString_pSize) stringSize = nullptr;
  decltype(&::ScriptString_pLogAttr) stringLogAttr = nullptr;
  decltype(&::ScriptStringCPtoX) stringCPtoX = nullptr;
  decltype(&::ScriptStringXtoCP) stringXtoCP = nullptr;
  decltype(&::ScriptStringGetLogicalWidths) stringGetLogicalWidths = nullptr;
  decltype(&::ScriptStringOut) stringOut = nullptr;

  // All or nothing (Load sees to it): a line shaped by half of them could not be drawn.
  [[nodiscard]] bool Usable() const noexcept {
    return isComplex && stringAnalyse && stringFree && stringSize && stringLogAttr && stringCPtoX && stringXtoCP &&
           stringGetLogicalWidths && stringOut;
  }
  [[nodiscard]] static UniscribeApi Load();
};

// The entry points in use: usp10.dll's, or while a test has put its own in, those.
[[nodiscard]] inline const UniscribeApi& Uniscribe() { return SystemApi<UniscribeApi>::Get(); }

// For tests: the entry points that Uniscribe() gives until the scope ends.
using ScopedUniscribeApi = SystemApi<UniscribeApi>::Scoped;

}  // namespace vexlo
