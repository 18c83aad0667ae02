#include "support/test_support.h"

#include <algorithm>
#include <cstdlib>

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

bool TimedPump::Until(const std::function<bool()>& done, std::chrono::milliseconds limit) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + limit;
  while (!done()) {
    if (Clock::now() >= deadline) return false;
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      const auto start = Clock::now();
      ::TranslateMessage(&msg);
      ::DispatchMessageW(&msg);
      longest = std::max(longest, Clock::now() - start);
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
  if (keepPieces) pieces.push_back(sData);
  if (onData) onData(sData);
}

void RecordingEvents::ProcessEnded() {
  ++ended;
  endedAt = std::chrono::steady_clock::now();
  if (onEnded) onEnded();
}

bool RecordingEvents::HasLine(const std::wstring& line) const {
  const std::wstring text = L"\n" + Text();
  return text.find(L"\n" + line + L"\r\n") != std::wstring::npos;
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

DWORD NumberAfter(const std::string& text, const std::string& key) {
  const auto at = text.find(key + " ");
  if (at == std::string::npos) return 0;
  return static_cast<DWORD>(std::strtoul(text.c_str() + at + key.size() + 1, nullptr, 10));
}

long long Ms(std::chrono::steady_clock::duration d) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(d).count();
}

HostProcess::~HostProcess() {
  if (process_) ::TerminateProcess(process_.get(), 9);
}

bool HostProcess::Start(const std::wstring& args) {
  SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
  UniqueKernelHandle writeEnd;
  if (!::CreatePipe(output_pipe_.put(), writeEnd.put(), &inheritable, 0)) return false;
  ::SetHandleInformation(output_pipe_.get(), HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdOutput = writeEnd.get();
  si.hStdError = writeEnd.get();
  const std::wstring program = ProgramDirectory() + L"launcher_host.exe";
  std::wstring line = L"\"" + program + L"\" " + args;
  PROCESS_INFORMATION pi{};
  // Without a console, as a GUI program starts on Windows; Wine would pass ours on.
  if (!::CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, TRUE, DETACHED_PROCESS, nullptr, nullptr,
                        &si, &pi)) {
    return false;
  }
  ::CloseHandle(pi.hThread);
  process_.reset(pi.hProcess);
  return true;
}

bool HostProcess::ReadSome() {
  DWORD available = 0;
  if (!::PeekNamedPipe(output_pipe_.get(), nullptr, 0, nullptr, &available, nullptr)) return false;
  if (available == 0) {
    ::Sleep(5);
    return true;
  }
  std::string bytes(available, '\0');
  DWORD got = 0;
  if (!::ReadFile(output_pipe_.get(), bytes.data(), available, &got, nullptr)) return false;
  output_.append(bytes, 0, got);
  return true;
}

bool HostProcess::ReadUntil(const std::string& text, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (output_.find(text) == std::string::npos) {
    if (std::chrono::steady_clock::now() >= deadline || !ReadSome()) return output_.find(text) != std::string::npos;
  }
  return true;
}

std::optional<DWORD> HostProcess::WaitForEnd(std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (ReadSome()) {
    if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
  }
  const auto left = std::max<long long>(0, Ms(deadline - std::chrono::steady_clock::now()));
  if (::WaitForSingleObject(process_.get(), static_cast<DWORD>(left)) != WAIT_OBJECT_0) return std::nullopt;
  DWORD code = 0;
  ::GetExitCodeProcess(process_.get(), &code);
  process_.reset();
  return code;
}

namespace {
MessageCounter* counting = nullptr;
}  // namespace

MessageCounter::MessageCounter(HWND hwnd) : hwnd_(hwnd) {
  counting = this;
  sent_ = ::SetWindowsHookExW(WH_CALLWNDPROC, &Sent, nullptr, ::GetCurrentThreadId());
  taken_ = ::SetWindowsHookExW(WH_GETMESSAGE, &Taken, nullptr, ::GetCurrentThreadId());
}

MessageCounter::~MessageCounter() {
  if (sent_ != nullptr) ::UnhookWindowsHookEx(sent_);
  if (taken_ != nullptr) ::UnhookWindowsHookEx(taken_);
  counting = nullptr;
}

LRESULT CALLBACK MessageCounter::Sent(int code, WPARAM wp, LPARAM lp) {
  const auto* sent = reinterpret_cast<const CWPSTRUCT*>(lp);
  if (code == HC_ACTION && counting != nullptr && sent->hwnd == counting->hwnd_) counting->messages.push_back(sent->message);
  return ::CallNextHookEx(nullptr, code, wp, lp);
}

LRESULT CALLBACK MessageCounter::Taken(int code, WPARAM wp, LPARAM lp) {
  const auto* taken = reinterpret_cast<const MSG*>(lp);
  if (code == HC_ACTION && wp == PM_REMOVE && counting != nullptr && taken->hwnd == counting->hwnd_) {
    counting->messages.push_back(taken->message);
  }
  return ::CallNextHookEx(nullptr, code, wp, lp);
}

}  // namespace vexlo::test
