#include "support/test_support.h"

namespace vexlo::test {

std::wstring ProgramDirectory() {
  std::wstring path(MAX_PATH, L'\0');
  const DWORD n = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
  path.resize(n);
  return path.substr(0, path.find_last_of(L"\\/") + 1);
}

std::wstring ScriptedTool() { return L"\"" + ProgramDirectory() + L"scripted_tool.exe\""; }

bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&msg);
      ::DispatchMessageW(&msg);
    }
  }
  return true;
}

void PumpFor(std::chrono::milliseconds duration) {
  const auto until = std::chrono::steady_clock::now() + duration;
  PumpUntil([&] { return std::chrono::steady_clock::now() >= until; }, duration * 2);
}

void RecordingEvents::DataReceived(std::wstring sData) {
  chars += sData.size();
  if (keepPieces) pieces.push_back(std::move(sData));
}

std::wstring RecordingEvents::Text() const {
  std::wstring text;
  for (const auto& p : pieces) text += p;
  return text;
}

bool ProcessGone(DWORD pid, std::chrono::milliseconds wait) {
  HANDLE h = ::OpenProcess(SYNCHRONIZE, FALSE, pid);
  if (h == nullptr) return true;
  const bool gone = ::WaitForSingleObject(h, static_cast<DWORD>(wait.count())) == WAIT_OBJECT_0;
  ::CloseHandle(h);
  return gone;
}

DWORD NumberAfter(const std::wstring& text, const std::wstring& key) {
  const auto at = text.find(key + L" ");
  if (at == std::wstring::npos) return 0;
  return static_cast<DWORD>(std::wcstoul(text.c_str() + at + key.size() + 1, nullptr, 10));
}

}  // namespace vexlo::test
