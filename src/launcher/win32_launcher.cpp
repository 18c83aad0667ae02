#include "launcher/win32_launcher.h"

#include "common/unique_handles.h"
#include "common/window_base.h"
#include "launcher/oem_decoder.h"
#include "launcher/tool_path.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <utility>
#include <vector>

namespace vexlo {
namespace {

using Clock = std::chrono::steady_clock;

constexpr UINT kWakeMessage = WM_APP + 1;
constexpr UINT_PTR kPaceTimer = 1;
constexpr wchar_t kWindowClass[] = L"VexloLauncherWindow";
// Decoded output waiting for the window, in characters. The reader stops reading
// while this much waits, so a flooding tool is held back by its full pipe instead of
// growing our memory.
constexpr std::size_t kQueueLimitChars = 512 * 1024;
constexpr std::uint32_t kMinBufferSize = 16;       // room for any multi-byte character
constexpr std::uint32_t kMaxBufferSize = 1 << 20;  // one piece stays a sane size
constexpr DWORD kPipeSize = 64 * 1024;
// The longest command line CreateProcessW takes: 32,767 characters with the
// terminating null. Windows refuses a longer one with ERROR_FILENAME_EXCED_RANGE.
constexpr std::size_t kMaxCommandLineChars = 32766;

// Output on its way from the reader thread to the launcher's thread.
class Mailbox {
 public:
  explicit Mailbox(HWND wakeWindow) : wakeWindow_(wakeWindow) {}

  // Reader side. False once the launcher is being released.
  bool Push(std::wstring piece) {
    std::unique_lock lock(mutex_);
    notFull_.wait(lock, [&] { return cancelled_ || queuedChars_ < kQueueLimitChars; });
    if (cancelled_) return false;
    if (pieces_.empty()) oldest_ = Clock::now();
    queuedChars_ += piece.size();
    pieces_.push_back(std::move(piece));
    const bool wake = !std::exchange(wakeRequested_, true);
    lock.unlock();
    if (wake) PostWake();
    return true;
  }

  // Reader side: nothing more will come.
  void Close() {
    std::unique_lock lock(mutex_);
    closed_ = true;
    const bool wake = !std::exchange(wakeRequested_, true);
    lock.unlock();
    if (wake) PostWake();
  }

  void Cancel() {
    {
      std::lock_guard lock(mutex_);
      cancelled_ = true;
    }
    notFull_.notify_all();
  }

  [[nodiscard]] bool Cancelled() {
    std::lock_guard lock(mutex_);
    return cancelled_;
  }

  struct Batch {
    std::deque<std::wstring> pieces;
    bool closed = false;  // the batch holds the last piece
  };

  // Launcher side: everything waiting.
  Batch Take() {
    Batch batch;
    {
      std::lock_guard lock(mutex_);
      batch.pieces.swap(pieces_);
      queuedChars_ = 0;
      batch.closed = closed_;
    }
    notFull_.notify_all();
    return batch;
  }

  enum class Next { kIdle, kSoon, kNow };

  // Launcher side, after a batch has been delivered: whether more waits, and how
  // urgently. While more waits no wake is posted, so the launcher must come back.
  Next AfterDelivery(std::chrono::milliseconds interval) {
    std::lock_guard lock(mutex_);
    if (pieces_.empty() && !closed_) {
      wakeRequested_ = false;
      return Next::kIdle;
    }
    return Clock::now() - oldest_ >= interval ? Next::kNow : Next::kSoon;
  }

  void PostWake() const {
    // The queue can refuse a message only when it is full; try again briefly so
    // that the window cannot miss the end of a run.
    for (int attempt = 0; attempt < 200; ++attempt) {
      if (::PostMessageW(wakeWindow_, kWakeMessage, 0, 0)) return;
      if (::GetLastError() == ERROR_INVALID_WINDOW_HANDLE) return;
      ::Sleep(10);
    }
  }

 private:
  HWND wakeWindow_;
  std::mutex mutex_;
  std::condition_variable notFull_;
  std::deque<std::wstring> pieces_;
  std::size_t queuedChars_ = 0;
  Clock::time_point oldest_{};
  bool wakeRequested_ = false;
  bool closed_ = false;
  bool cancelled_ = false;
};

// One started tool: what the reader thread uses and what ends it.
struct Run {
  Run(HWND wakeWindow, UINT codePage, std::uint32_t bufferSize)
      : mailbox(wakeWindow), decoder(codePage), bufferSize(bufferSize) {}

  UniqueKernelHandle job;
  UniqueKernelHandle process;
  UniqueKernelHandle pipe;         // read end
  UniqueKernelHandle cancelEvent;  // set when the launcher is released
  UniqueKernelHandle reader;
  Mailbox mailbox;
  OemDecoder decoder;
  std::uint32_t bufferSize;
};

void ReadUntilEnd(Run& run) {
  std::vector<char> buffer(run.bufferSize);
  while (!run.mailbox.Cancelled()) {
    // Held-back bytes of a split character count towards the piece's size.
    const DWORD want = run.bufferSize - static_cast<DWORD>(run.decoder.PendingBytes());
    DWORD got = 0;
    // ERROR_BROKEN_PIPE is the normal end: every holder of the write end is gone.
    if (!::ReadFile(run.pipe.get(), buffer.data(), want, &got, nullptr)) break;
    if (got == 0) continue;
    std::wstring text = run.decoder.Decode(std::string_view(buffer.data(), got));
    if (!text.empty() && !run.mailbox.Push(std::move(text))) return;
  }
  if (std::wstring tail = run.decoder.Flush(); !tail.empty()) run.mailbox.Push(std::move(tail));
  // A tool can close its output before it ends; the run lasts until it has ended.
  const HANDLE waits[] = {run.process.get(), run.cancelEvent.get()};
  ::WaitForMultipleObjects(2, waits, FALSE, INFINITE);
}

DWORD WINAPI ReaderMain(void* param) noexcept {
  auto& run = *static_cast<Run*>(param);
  try {
    ReadUntilEnd(run);
  } catch (...) {
    // Out of memory while decoding: end the run rather than the program.
    ::TerminateJobObject(run.job.get(), 1);
  }
  run.mailbox.Close();
  return 0;
}

class ProcThreadAttributes {
 public:
  [[nodiscard]] DWORD Init(HANDLE* inherited, std::size_t count) {
    SIZE_T size = 0;
    ::InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    storage_.resize(size);
    auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage_.data());
    if (!::InitializeProcThreadAttributeList(list, 1, 0, &size)) return ::GetLastError();
    list_ = list;
    // Only these handles reach the tool, whatever else is inheritable right now.
    if (!::UpdateProcThreadAttribute(list_, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, inherited,
                                     count * sizeof(HANDLE), nullptr, nullptr)) {
      return ::GetLastError();
    }
    return 0;
  }
  ~ProcThreadAttributes() {
    if (list_ != nullptr) ::DeleteProcThreadAttributeList(list_);
  }
  [[nodiscard]] LPPROC_THREAD_ATTRIBUTE_LIST get() const { return list_; }

 private:
  std::vector<std::byte> storage_;
  LPPROC_THREAD_ATTRIBUTE_LIST list_ = nullptr;
};

[[nodiscard]] DWORD CreateKillOnCloseJob(UniqueKernelHandle& job) {
  job.reset(::CreateJobObjectW(nullptr, nullptr));
  if (!job) return ::GetLastError();
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
  // Closing the last handle, also by our process dying, ends everything in the job.
  limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
  if (!::SetInformationJobObject(job.get(), JobObjectExtendedLimitInformation, &limits,
                                 sizeof limits)) {
    return ::GetLastError();
  }
  return 0;
}

class Win32Launcher final : public ConsoleLauncher, private WindowBase {
 public:
  Win32Launcher(ConsoleLauncherEvents& events, UINT codePage)
      : events_(events), codePage_(codePage) {}

  ~Win32Launcher() override {
    *alive_ = false;
    if (run_) EndRunAtRelease();
    window_.reset();
  }

  [[nodiscard]] bool CreateWakeWindow() {
    WNDCLASSEXW wc{};
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.lpszClassName = kWindowClass;
    if (!RegisterWindowClass(wc)) return false;
    window_.reset(CreateFor(0, kWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr));
    return window_.valid();
  }

  void Execute(const std::wstring& commandLine) override {
    if (run_) {
      startResult_ = kAlreadyRunning;
      return;
    }
    const DWORD error = Start(commandLine);
    startResult_ = error == 0 ? kStarted : kStartFailed;
    if (error != 0) lastError_ = static_cast<std::int32_t>(error);
  }

  [[nodiscard]] std::int32_t StartResult() const override { return startResult_; }
  [[nodiscard]] std::int32_t LastError() const override { return lastError_; }

  void StopProcess() override {
    if (!run_) return;
    if (!::TerminateJobObject(run_->job.get(), 1)) ::TerminateProcess(run_->process.get(), 1);
  }

  void BufferSize(std::uint32_t bytes) override {
    bufferSize_ = std::clamp(bytes, kMinBufferSize, kMaxBufferSize);
  }

  void Interval(std::uint32_t milliseconds) override {
    interval_ = std::chrono::milliseconds(milliseconds);
  }

 private:
  LRESULT HandleMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) override {
    if (msg == kWakeMessage || (msg == WM_TIMER && wp == kPaceTimer)) {
      Deliver();
      return 0;
    }
    return ::DefWindowProcW(hwnd, msg, wp, lp);
  }

  [[nodiscard]] DWORD Start(const std::wstring& commandLine) {
    // Wine would cut the line short and run the tool with the rest lost; Windows refuses.
    if (commandLine.size() > kMaxCommandLineChars) return ERROR_FILENAME_EXCED_RANGE;
    const ToolPath tool = FindTool(commandLine);
    if (tool.error != 0) return tool.error;
    // Not wherever the program was started from: a tool must not find its files there.
    const std::wstring directory = SystemDirectory();
    if (directory.empty()) return ERROR_PATH_NOT_FOUND;

    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    auto run = std::make_unique<Run>(window_.get(), codePage_, bufferSize_);
    UniqueKernelHandle writeEnd;
    if (!::CreatePipe(run->pipe.put(), writeEnd.put(), &inheritable, kPipeSize)) return ::GetLastError();
    if (!::SetHandleInformation(run->pipe.get(), HANDLE_FLAG_INHERIT, 0)) return ::GetLastError();
    UniqueKernelHandle nul(::CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                         &inheritable, OPEN_EXISTING, 0, nullptr));
    if (!nul) return ::GetLastError();
    if (const DWORD e = CreateKillOnCloseJob(run->job); e != 0) return e;
    run->cancelEvent.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!run->cancelEvent) return ::GetLastError();

    HANDLE inherited[] = {writeEnd.get(), nul.get()};
    ProcThreadAttributes attributes;
    if (const DWORD e = attributes.Init(inherited, 2); e != 0) return e;
    STARTUPINFOEXW si{};
    si.StartupInfo.cb = sizeof si;
    si.StartupInfo.dwFlags = STARTF_USESTDHANDLES | STARTF_USESHOWWINDOW;
    si.StartupInfo.wShowWindow = SW_HIDE;
    si.StartupInfo.hStdInput = nul.get();
    si.StartupInfo.hStdOutput = writeEnd.get();
    si.StartupInfo.hStdError = writeEnd.get();
    si.lpAttributeList = attributes.get();

    // Straight to the program, no shell: metacharacters in the line stay arguments.
    std::wstring line = commandLine;  // CreateProcessW may write into it
    PROCESS_INFORMATION pi{};
    // Suspended until it is in the job, so nothing it starts can escape the job.
    constexpr DWORD flags = CREATE_NO_WINDOW | CREATE_SUSPENDED | EXTENDED_STARTUPINFO_PRESENT |
                            CREATE_UNICODE_ENVIRONMENT;
    if (!::CreateProcessW(tool.path.c_str(), line.data(), nullptr, nullptr, TRUE, flags, nullptr,
                          directory.c_str(), &si.StartupInfo, &pi)) {
      return ::GetLastError();
    }
    run->process.reset(pi.hProcess);
    UniqueKernelHandle mainThread(pi.hThread);
    if (!::AssignProcessToJobObject(run->job.get(), run->process.get())) {
      const DWORD e = ::GetLastError();
      ::TerminateProcess(run->process.get(), 1);
      return e;
    }
    if (::ResumeThread(mainThread.get()) == static_cast<DWORD>(-1)) {
      const DWORD e = ::GetLastError();
      ::TerminateJobObject(run->job.get(), 1);
      return e;
    }
    // From here only the tool holds the write end, so its end breaks the pipe.
    writeEnd.reset();
    run->reader.reset(::CreateThread(nullptr, 0, &ReaderMain, run.get(), 0, nullptr));
    if (!run->reader) {
      const DWORD e = ::GetLastError();
      ::TerminateJobObject(run->job.get(), 1);
      return e;
    }
    run_ = std::move(run);
    return 0;
  }

  void Deliver() {
    ::KillTimer(window_.get(), kPaceTimer);
    // A handler that runs a nested message loop must not see later pieces first;
    // the outer delivery comes back for them.
    if (!run_ || delivering_) return;
    delivering_ = true;
    Mailbox::Batch batch = run_->mailbox.Take();
    const auto alive = alive_;
    for (auto& piece : batch.pieces) {
      Raise([&] { events_.DataReceived(std::move(piece)); });
      if (!*alive) return;  // released by the handler: no further event
    }
    delivering_ = false;
    if (batch.closed) {
      FinishRun();
      Raise([&] { events_.ProcessEnded(); });
      return;
    }
    switch (run_->mailbox.AfterDelivery(interval_)) {
      case Mailbox::Next::kIdle:
        break;
      case Mailbox::Next::kSoon:
        // A timer message comes only when no input or painting waits, which keeps
        // the window responsive under a flood of output.
        if (::SetTimer(window_.get(), kPaceTimer, USER_TIMER_MINIMUM, nullptr) != 0) break;
        [[fallthrough]];
      case Mailbox::Next::kNow:
        run_->mailbox.PostWake();
        break;
    }
  }

  // A failing handler must not cost the rest of the output or the end of the run.
  template <typename Event>
  static void Raise(Event&& event) noexcept {
    try {
      event();
    } catch (...) {
    }
  }

  void FinishRun() {
    // The reader posted its last message; it returns right after.
    ::WaitForSingleObject(run_->reader.get(), INFINITE);
    run_.reset();  // closing the job ends whatever the tool left running
  }

  void EndRunAtRelease() {
    run_->mailbox.Cancel();
    ::SetEvent(run_->cancelEvent.get());
    if (!::TerminateJobObject(run_->job.get(), 1)) ::TerminateProcess(run_->process.get(), 1);
    // The read ends when the tool's processes die; should anything outside the job
    // still hold the pipe, cancel the read itself.
    while (::WaitForSingleObject(run_->reader.get(), 100) == WAIT_TIMEOUT) {
      ::CancelSynchronousIo(run_->reader.get());
    }
    run_.reset();
  }

  ConsoleLauncherEvents& events_;
  UINT codePage_;
  UniqueWindow window_;
  std::unique_ptr<Run> run_;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
  bool delivering_ = false;
  std::uint32_t bufferSize_ = 4096;
  std::chrono::milliseconds interval_{1000};
  std::int32_t startResult_ = kStarted;
  std::int32_t lastError_ = 0;
};

}  // namespace

std::unique_ptr<ConsoleLauncher> CreateWin32Launcher(ConsoleLauncherEvents& events, UINT codePage) {
  auto launcher = std::make_unique<Win32Launcher>(events, codePage);
  if (!launcher->CreateWakeWindow()) {
    const DWORD e = ::GetLastError();
    launcher.reset();
    ::SetLastError(e);
    return nullptr;
  }
  return launcher;
}

LauncherFactory Win32LauncherFactory() {
  return [](ConsoleLauncherEvents& events) { return CreateWin32Launcher(events); };
}

}  // namespace vexlo
