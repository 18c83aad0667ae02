#include "main_window/module2.h"

#include <algorithm>
#include <cstring>
#include <optional>

namespace vexlo::Module2 {
namespace {

// Empty when a character has no exact ANSI form: a best-fit mapping could name another key.
std::optional<std::string> ToAnsi(const std::wstring& text) {
  if (text.empty()) return std::string();
  const int length = static_cast<int>(text.size());
  BOOL usedDefault = FALSE;
  const int size = ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), length, nullptr,
                                         0, nullptr, &usedDefault);
  if (size <= 0 || usedDefault) return std::nullopt;
  std::string ansi(static_cast<std::size_t>(size), '\0');
  usedDefault = FALSE;
  ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), length, ansi.data(), size,
                        nullptr, &usedDefault);
  if (usedDefault) return std::nullopt;
  return ansi;
}

std::wstring FromAnsi(const std::uint8_t* bytes, std::size_t count) {
  if (count == 0) return {};
  const auto* chars = reinterpret_cast<const char*>(bytes);
  const int length = static_cast<int>(count);
  const int size = ::MultiByteToWideChar(CP_ACP, 0, chars, length, nullptr, 0);
  if (size <= 0) return {};
  std::wstring text(static_cast<std::size_t>(size), L'\0');
  ::MultiByteToWideChar(CP_ACP, 0, chars, length, text.data(), size);
  return text;
}

// Closes the key on every way out of the reader.
class KeyCloser {
 public:
  KeyCloser(HKEY key, decltype(&::RegCloseKey) close) noexcept : key_(key), close_(close) {}
  KeyCloser(const KeyCloser&) = delete;
  KeyCloser& operator=(const KeyCloser&) = delete;
  ~KeyCloser() { close_(key_); }

 private:
  HKEY key_;
  decltype(&::RegCloseKey) close_;
};

}  // namespace

RegistryValue ReadRegistryValue(HKEY hKeyRoot, const std::wstring& sKeyPath,
                                const std::wstring& sValueName, const RegistryValue& vDefault,
                                const RegistryApi& api) {
  RegistryValue result = vDefault;
  const std::optional<std::string> path = ToAnsi(sKeyPath);
  const std::optional<std::string> name = ToAnsi(sValueName);
  if (!path || !name) return result;

  HKEY key = nullptr;
  if (api.open(hKeyRoot, path->c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return result;
  const KeyCloser closer(key, api.close);

  std::vector<std::uint8_t> buffer(1024, 0);
  DWORD size = static_cast<DWORD>(buffer.size());
  DWORD type = REG_NONE;
  LSTATUS status = api.query(key, name->c_str(), nullptr, &type, buffer.data(), &size);
  if (status == ERROR_MORE_DATA) {
    buffer.assign(size, 0);
    size = static_cast<DWORD>(buffer.size());
    status = api.query(key, name->c_str(), nullptr, &type, buffer.data(), &size);
    // The value changed between the two queries: what is in the buffer is not the value.
    if (status != ERROR_SUCCESS) return result;
  }
  // Never trust a size beyond what was handed out.
  if (size > buffer.size()) return result;

  switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ: {
      std::size_t count = size;
      if (count > 0 && buffer[count - 1] == 0) --count;
      result = FromAnsi(buffer.data(), count);
      break;
    }
    case REG_BINARY:
      result = std::vector<std::uint8_t>(buffer.begin(), buffer.begin() + size);
      break;
    case REG_DWORD: {
      // A resized buffer may be shorter than four bytes; missing bytes read as zero.
      std::uint8_t bytes[4] = {};
      std::memcpy(bytes, buffer.data(), std::min<std::size_t>(4, buffer.size()));
      const std::uint32_t raw = static_cast<std::uint32_t>(bytes[0]) |
                                static_cast<std::uint32_t>(bytes[1]) << 8 |
                                static_cast<std::uint32_t>(bytes[2]) << 16 |
                                static_cast<std::uint32_t>(bytes[3]) << 24;
      result = static_cast<std::int32_t>(raw);
      break;
    }
    case REG_MULTI_SZ: {
      std::size_t count = size;
      for (int dropped = 0; dropped < 2 && count > 0 && buffer[count - 1] == 0; ++dropped) --count;
      result = FromAnsi(buffer.data(), count);
      break;
    }
    default:
      break;
  }
  return result;
}

std::wstring RegistryValueText(const RegistryValue& value) {
  if (const auto* text = std::get_if<std::wstring>(&value)) return *text;
  if (const auto* number = std::get_if<std::int32_t>(&value)) return std::to_wstring(*number);
  if (const auto* bytes = std::get_if<std::vector<std::uint8_t>>(&value)) {
    static constexpr wchar_t kDigits[] = L"0123456789ABCDEF";
    std::wstring text;
    for (const std::uint8_t byte : *bytes) {
      if (!text.empty()) text += L' ';
      text += kDigits[byte >> 4];
      text += kDigits[byte & 0x0F];
    }
    return text;
  }
  return {};
}

}  // namespace vexlo::Module2
