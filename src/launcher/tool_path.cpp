#include "launcher/tool_path.h"

#include <vector>

namespace vexlo {
namespace {

bool IsAbsolute(const std::wstring& p) {
  const bool drive = p.size() >= 3 && p[1] == L':' && (p[2] == L'\\' || p[2] == L'/');
  const bool unc = p.size() >= 2 && (p[0] == L'\\' || p[0] == L'/') && (p[1] == L'\\' || p[1] == L'/');
  return drive || unc;
}

bool HasSeparator(const std::wstring& p) {
  return p.find_first_of(L"\\/:") != std::wstring::npos;
}

bool HasExtension(const std::wstring& p) {
  const auto dot = p.find_last_of(L'.');
  const auto sep = p.find_last_of(L"\\/");
  return dot != std::wstring::npos && (sep == std::wstring::npos || dot > sep);
}

bool IsFile(const std::wstring& p) {
  const DWORD attributes = ::GetFileAttributesW(p.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

std::wstring Join(std::wstring dir, const std::wstring& name) {
  if (!dir.empty() && dir.back() != L'\\' && dir.back() != L'/') dir.push_back(L'\\');
  return dir + name;
}

std::vector<std::wstring> SearchDirectories() {
  std::vector<std::wstring> dirs;
  if (auto system = SystemDirectory(); !system.empty()) dirs.push_back(system);
  const DWORD n = ::GetEnvironmentVariableW(L"PATH", nullptr, 0);
  if (n == 0) return dirs;
  std::wstring path(n, L'\0');
  path.resize(::GetEnvironmentVariableW(L"PATH", path.data(), n));
  for (std::size_t start = 0; start <= path.size();) {
    std::size_t end = path.find(L';', start);
    if (end == std::wstring::npos) end = path.size();
    std::wstring dir = path.substr(start, end - start);
    if (dir.size() >= 2 && dir.front() == L'"' && dir.back() == L'"') dir = dir.substr(1, dir.size() - 2);
    // Relative entries (".", "bin") would search the current directory.
    if (IsAbsolute(dir)) dirs.push_back(dir);
    start = end + 1;
  }
  return dirs;
}

}  // namespace

std::wstring SystemDirectory() {
  std::vector<wchar_t> buffer(MAX_PATH);
  UINT n = ::GetSystemDirectoryW(buffer.data(), static_cast<UINT>(buffer.size()));
  if (n >= buffer.size()) {
    buffer.resize(n + 1);
    n = ::GetSystemDirectoryW(buffer.data(), static_cast<UINT>(buffer.size()));
  }
  return n == 0 || n >= buffer.size() ? std::wstring() : std::wstring(buffer.data(), n);
}

std::wstring ProgramToken(const std::wstring& commandLine) {
  if (!commandLine.empty() && commandLine.front() == L'"') {
    const auto close = commandLine.find(L'"', 1);
    return commandLine.substr(1, close == std::wstring::npos ? std::wstring::npos : close - 1);
  }
  return commandLine.substr(0, commandLine.find_first_of(L" \t"));
}

ToolPath FindTool(const std::wstring& commandLine) {
  std::wstring name = ProgramToken(commandLine);
  if (name.empty()) return {{}, ERROR_FILE_NOT_FOUND};
  if (!HasExtension(name)) name += L".exe";
  if (HasSeparator(name)) {
    // A relative path is relative to the current directory, which is never searched.
    if (IsAbsolute(name) && IsFile(name)) return {name, 0};
    return {{}, ERROR_FILE_NOT_FOUND};
  }
  for (const auto& dir : SearchDirectories()) {
    if (auto candidate = Join(dir, name); IsFile(candidate)) return {candidate, 0};
  }
  return {{}, ERROR_FILE_NOT_FOUND};
}

}  // namespace vexlo
