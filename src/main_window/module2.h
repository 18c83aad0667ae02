#pragma once
// Reads one registry value for the Help page.

#include <windows.h>

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace vexlo::Module2 {

// Tagged result: Empty, text, 32-bit signed integer, or bytes.
using RegistryValue = std::variant<std::monostate, std::wstring, std::int32_t, std::vector<std::uint8_t>>;

// The registry calls the reader makes; tests wrap the real ones to count them.
struct RegistryApi {
  decltype(&::RegOpenKeyExA) open = &::RegOpenKeyExA;
  decltype(&::RegQueryValueExA) query = &::RegQueryValueExA;
  decltype(&::RegCloseKey) close = &::RegCloseKey;
};

// Returns vDefault when the key or value is missing, unreadable or of an unsupported type.
[[nodiscard]] RegistryValue ReadRegistryValue(HKEY hKeyRoot, const std::wstring& sKeyPath,
                                              const std::wstring& sValueName,
                                              const RegistryValue& vDefault = {},
                                              const RegistryApi& api = {});

// Converts the value to the text shown on the Help page.
[[nodiscard]] std::wstring RegistryValueText(const RegistryValue& value);

}  // namespace vexlo::Module2
