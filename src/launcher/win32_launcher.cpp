#include "launcher/win32_launcher.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <optional>
#include <utility>

#include "common/app_messages.h"
#include "common/unique_handles.h"
#include "common/window_base.h"
#include "launcher/console_control.h"
#include "launcher/output_queue.h"
#include "launcher/output_reader.h"
#include "launcher/tool_start.h"

namespace vexlo {
namespace {

using Clock = std::chrono::steady_clock;

constexpr UINT_PTR kPaceTimer = 1;
constexpr UINT_PTR kGraceTimer = 2;
constexpr wchar_t kWindowClass[] = L"VexloLauncherWindow";
constexpr std::uint32_t kMinBufferSize = 16;       // room for any multi-byte character
constexpr std::uint32_t kMaxBufferSize = 1 << 20;  // one piece stays a sane size
constexpr DWORD kMinPipeBytes = 4096;
constexpr UINT kEndedExitCode = 1;
// Handler time one turn of delivery may take before the window's input and painting
// get their turn.
constexpr auto kTurnBudget = std::chrono::milliseconds(15);
// Pieces of at most BufferSize bytes that may wait for the window. With the pipe's
// buffer and the piece in the reader's hands, a Stop finds at most this many and two
// more still to show, which even a slow box shows well within half a second.
constexpr std::size_t kQueuedPieces = 4;
// A fired sender that has not raised the Ctrl+C this long after the Stop never will.
constexpr auto kSenderStartLimit = std::chrono::seconds(10);

void PostWake(HWND window, HANDLE cancel) noexcept {
  // The message queue refuses a message only when it is full; try again for a while,
  // so that the window cannot miss the end of a run.
  for (int attempt = 0; attempt < 200; ++attempt) {
    if (::PostMessageW(window, kLauncherWakeMessage, 0, 0)) return;
    if (::GetLastError() == ERROR_INVALID_WINDOW_HANDLE) return;
    if (::WaitForSingleObject(cancel, 10) == WAIT_OBJECT_0) return;
  }
}

// The run's Ctrl+C sender (console_control.h). Its process is started from the thread
// pool, so that the window's thread never waits for a process start, and its end is
// watched from there too. A fired sender that did not raise the Ctrl+C, or one that
// could not be started after a Stop, ends the tool at once, as a Stop does when no
// Ctrl+C can be raised.
class SenderWatch {
 public:
  explicit SenderWatch(const StartedTool& tool) noexcept : tool_(tool) {}
  SenderWatch(const SenderWatch&) = delete;
  SenderWatch& operator=(const SenderWatch&) = delete;
  // Waits for a start under way and a callback under way, never for the sender.
  ~SenderWatch() {
    if (work_ != nullptr) {
      ::WaitForThreadpoolWorkCallbacks(work_, FALSE);
      ::CloseThreadpoolWork(work_);
    }
    if (wait_ != nullptr) ::UnregisterWaitEx(wait_, INVALID_HANDLE_VALUE);
  }

  [[nodiscard]] bool Start() {
    if (sender_.Prepare(tool_.process.get(), tool_.processId) != 0) return false;
    work_ = ::CreateThreadpoolWork(&LaunchSender, this, nullptr);
    if (work_ == nullptr) return false;
    ::SubmitThreadpoolWork(work_);
    return true;
  }

  // Before the sender runs, the event stays set for it.
  [[nodiscard]] bool Fire() noexcept {
    const SrwExclusive lock(lock_);
    stopAsked_ = true;  // before the sender can end for it
    firedAt_ = Clock::now();
    if (state_ == State::kFailed || !sender_.Fire()) return false;
    // Ended before it was told: it did not raise the Ctrl+C, and never will.
    return state_ == State::kStarting || ::WaitForSingleObject(sender_.Process(), 0) == WAIT_TIMEOUT ||
           SenderRaisedCtrlC(sender_.Process());
  }

  // From when a fired sender's Ctrl+C runs: its end, right after it raised it; now
  // while it still starts or runs (a process start can take a second on a loaded
  // machine), for a while; nothing when it failed.
  [[nodiscard]] std::optional<Clock::time_point> CtrlCSince() noexcept {
    const SrwExclusive lock(lock_);
    if (state_ == State::kFailed) return std::nullopt;
    if (endedAt_) return endedAt_;
    const auto now = Clock::now();
    if (now - firedAt_ > kSenderStartLimit) return std::nullopt;
    return now;
  }

 private:
  enum class State { kStarting, kStarted, kFailed };

  class SrwExclusive {
   public:
    explicit SrwExclusive(SRWLOCK& lock) noexcept : lock_(lock) { ::AcquireSRWLockExclusive(&lock_); }
    ~SrwExclusive() { ::ReleaseSRWLockExclusive(&lock_); }
    SrwExclusive(const SrwExclusive&) = delete;
    SrwExclusive& operator=(const SrwExclusive&) = delete;

   private:
    SRWLOCK& lock_;
  };

  static void CALLBACK LaunchSender(PTP_CALLBACK_INSTANCE, void* context, PTP_WORK) noexcept {
    auto& self = *static_cast<SenderWatch*>(context);
    bool started = false;
    try {
      // A tool that has ended already needs none; the run's end waits for this start.
      started = ::WaitForSingleObject(self.tool_.process.get(), 0) == WAIT_TIMEOUT &&
                self.sender_.Launch() == 0 &&
                ::RegisterWaitForSingleObject(&self.wait_, self.sender_.Process(), &OnSenderEnded,
                                              &self, INFINITE, WT_EXECUTEONLYONCE);
    } catch (...) {  // no memory for the system directory's name
    }
    if (!started) self.wait_ = nullptr;
    const SrwExclusive lock(self.lock_);
    self.state_ = started ? State::kStarted : State::kFailed;
    if (!started && self.stopAsked_) EndTool(self.tool_, kEndedExitCode);
  }

  static void CALLBACK OnSenderEnded(void* context, BOOLEAN) noexcept {
    auto& self = *static_cast<SenderWatch*>(context);
    const SrwExclusive lock(self.lock_);
    self.endedAt_ = Clock::now();
    // Before a Stop it ends only with the tool, and then there is nothing to end.
    if (self.stopAsked_ && !SenderRaisedCtrlC(self.sender_.Process())) {
      EndTool(self.tool_, kEndedExitCode);
    }
  }

  const StartedTool& tool_;
  CtrlCSender sender_;
  PTP_WORK work_ = nullptr;
  HANDLE wait_ = nullptr;
  SRWLOCK lock_ = SRWLOCK_INIT;
  State state_ = State::kStarting;  // under lock_, as the three below
  bool stopAsked_ = false;
  Clock::time_point firedAt_;
  std::optional<Clock::time_point> endedAt_;
};

// One started tool, and what its reader thread uses.
struct Run {
  Run(HWND window, std::uint32_t bufferSize)
      : cancel(::CreateEventW(nullptr, TRUE, FALSE, nullptr)),
        queue(bufferSize, kQueuedPieces * bufferSize,
              [window, event = cancel.get()] { PostWake(window, event); }) {}

  UniqueKernelHandle cancel;  // set when the launcher is released
  OutputQueue queue;
  StartedTool tool;
  ReaderSetup setup{};
  UniqueKernelHandle reader;
  std::optional<SenderWatch> sender;  // goes before the tool it may end
  bool ctrlCSent = false;             // the grace period runs
};

class Win32Launcher final : public ConsoleLauncher, private WindowBase {
 public:
  Win32Launcher(ConsoleLauncherEvents& events, UINT codePage, std::chrono::milliseconds grace)
      : events_(events), codePage_(codePage), grace_(grace) {}

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
    // A second Stop, or a tool that Ctrl+C cannot reach, is ended at once.
    if (!run_->ctrlCSent && FireSender() &&
        ::SetTimer(window_.get(), kGraceTimer, static_cast<UINT>(grace_.count()), nullptr) != 0) {
      run_->ctrlCSent = true;
      return;
    }
    EndToolNow();
  }

  void BufferSize(std::uint32_t bytes) override {
    bufferSize_ = std::clamp(bytes, kMinBufferSize, kMaxBufferSize);
  }

  void Interval(std::uint32_t milliseconds) override {
    interval_ = std::chrono::milliseconds(milliseconds);
  }

 private:
  LRESULT HandleMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) override {
    if (msg == kLauncherWakeMessage || (msg == WM_TIMER && wp == kPaceTimer)) {
      Deliver();
      return 0;
    }
    if (msg == WM_TIMER && wp == kGraceTimer) {
      ::KillTimer(hwnd, kGraceTimer);
      if (run_ && !GraceLeft()) EndToolNow();
      return 0;
    }
    return ::DefWindowProcW(hwnd, msg, wp, lp);
  }

  // Started with the run, so that Stop only has to tell it. One that could not be
  // prepared then is tried once more now.
  [[nodiscard]] static bool StartSender(Run& run) {
    run.sender.emplace(run.tool);
    if (run.sender->Start()) return true;
    run.sender.reset();
    return false;
  }

  // The tool's grace period runs from the Ctrl+C, which a Stop that came before the
  // sender was ready raises only once it is. True while the timer runs on.
  [[nodiscard]] bool GraceLeft() {
    if (!run_->sender) return false;
    const auto since = run_->sender->CtrlCSince();
    if (!since) return false;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(*since + grace_ - Clock::now());
    return left.count() > 0 && ::SetTimer(window_.get(), kGraceTimer, static_cast<UINT>(left.count()), nullptr) != 0;
  }

  [[nodiscard]] bool FireSender() {
    if (!run_->sender && !StartSender(*run_)) return false;
    return run_->sender->Fire();
  }

  [[nodiscard]] DWORD Start(const std::wstring& commandLine) {
    auto run = std::make_unique<Run>(window_.get(), bufferSize_);
    if (!run->cancel) return ::GetLastError();
    const DWORD pipeBytes = std::max<DWORD>(bufferSize_, kMinPipeBytes);
    if (const DWORD e = StartTool(commandLine, pipeBytes, run->tool); e != 0) return e;
    run->setup = {run->tool.job.get(), run->tool.process.get(), run->tool.output.get(),
                  run->cancel.get(),   &run->queue,             codePage_,
                  bufferSize_};
    run->reader.reset(::CreateThread(nullptr, 0, &ReaderMain, &run->setup, 0, nullptr));
    // Without a reader the run is dropped; closing its job ends the tool.
    if (!run->reader) return ::GetLastError();
    (void)StartSender(*run);  // without one, Stop starts it
    run_ = std::move(run);
    return 0;
  }

  // One turn: pieces until the queue is empty or the turn's time is used up.
  void Deliver() {
    ::KillTimer(window_.get(), kPaceTimer);
    // A handler that runs a nested message loop must not see later pieces first; the
    // outer turn goes on with them.
    if (!run_ || delivering_) return;
    delivering_ = true;
    const auto alive = alive_;
    const auto turnEnd = Clock::now() + kTurnBudget;
    std::wstring piece;
    ReadTimes times;
    for (;;) {
      const OutputQueue::Took took = run_->queue.Take(piece, times);
      if (took != OutputQueue::Took::kPiece) {
        delivering_ = false;
        if (took == OutputQueue::Took::kEnd) FinishRun();
        return;  // kNothing: the reader's next piece wakes us
      }
      Raise([&] { events_.DataReceivedAt(std::move(piece), std::move(times)); });
      if (!*alive) return;  // released by the handler: nothing of ours is left to touch
      if (Clock::now() >= turnEnd) break;
    }
    delivering_ = false;
    ComeBack();
  }

  // After a turn that used up its time: the rest comes in a later turn, which no new
  // output will ask for.
  void ComeBack() {
    const auto waited = run_->queue.Waiting();
    if (!waited) return;
    // A timer's message comes only when no posted message, input or painting waits.
    // A posted one would come before them, and back to back it would keep the queue
    // from ever running empty. Output that has waited a whole Interval goes first.
    if (*waited >= interval_ && ::PostMessageW(window_.get(), kLauncherWakeMessage, 0, 0)) return;
    if (::SetTimer(window_.get(), kPaceTimer, USER_TIMER_MINIMUM, nullptr) != 0) return;
    PostWake(window_.get(), run_->cancel.get());
  }

  // A failing handler must not cost the rest of the output or the end of the run.
  template <typename Event>
  static void Raise(Event&& event) noexcept {
    try {
      event();
    } catch (...) {
    }
  }

  void EndToolNow() const { EndTool(run_->tool, kEndedExitCode); }

  void FinishRun() {
    ::KillTimer(window_.get(), kGraceTimer);
    // The reader closed the queue as its last step; it returns right after.
    ::WaitForSingleObject(run_->reader.get(), INFINITE);
    run_.reset();
    Raise([&] { events_.ProcessEnded(); });
  }

  void EndRunAtRelease() {
    run_->queue.Cancel();
    ::SetEvent(run_->cancel.get());
    EndToolNow();
    ::WaitForSingleObject(run_->reader.get(), INFINITE);
    run_.reset();
  }

  ConsoleLauncherEvents& events_;
  UINT codePage_;
  std::chrono::milliseconds grace_;
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

std::unique_ptr<ConsoleLauncher> CreateWin32Launcher(ConsoleLauncherEvents& events, UINT codePage,
                                                     std::chrono::milliseconds gracePeriod) {
  // Before any tool is started, and once for the program's life.
  PrepareForCtrlC();
  auto launcher = std::make_unique<Win32Launcher>(events, codePage, gracePeriod);
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
