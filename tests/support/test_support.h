#pragma once
// Helpers the test programs share.

#include <windows.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "common/unique_handles.h"

#include "launcher/console_launcher.h"

namespace vexlo::test {

// The directory of the running test program, with a trailing backslash.
std::wstring ProgramDirectory();
// The scripted tool, quoted for the start of a command line.
std::wstring ScriptedTool();

// Runs this thread's message loop until the condition holds or the time is up (a
// guard against hangs, not a timing assertion). Returns the condition's last value.
bool PumpUntil(const std::function<bool()>& done,
               std::chrono::milliseconds limit = std::chrono::seconds(20));
// Runs the message loop for a while, for checks that something does not happen.
void PumpFor(std::chrono::milliseconds duration);

// Records the messages one window gets on this thread, sent or taken from the queue,
// through thread hooks: a subclass would hide an output view from itself, since a
// window of ours is known by its window procedure. One counter at a time.
class MessageCounter {
 public:
  explicit MessageCounter(HWND hwnd);
  ~MessageCounter();
  MessageCounter(const MessageCounter&) = delete;
  MessageCounter& operator=(const MessageCounter&) = delete;
  [[nodiscard]] bool ok() const noexcept { return sent_ != nullptr && taken_ != nullptr; }
  std::vector<UINT> messages;

 private:
  static LRESULT CALLBACK Sent(int code, WPARAM wp, LPARAM lp);
  static LRESULT CALLBACK Taken(int code, WPARAM wp, LPARAM lp);
  HWND hwnd_;
  HHOOK sent_ = nullptr;
  HHOOK taken_ = nullptr;
};

// A message loop like PumpUntil that times each message it hands out.
class TimedPump {
 public:
  bool Until(const std::function<bool()>& done, std::chrono::milliseconds limit);
  // The longest the thread was away from the loop, in one message.
  std::chrono::steady_clock::duration longest{};
};

// Records the launcher's events.
class RecordingEvents : public vexlo::ConsoleLauncherEvents {
 public:
  void DataReceived(std::wstring sData) override;
  void ProcessEnded() override;

  [[nodiscard]] std::wstring Text() const;
  // Whether the text holds this line, CR LF included.
  [[nodiscard]] bool HasLine(const std::wstring& line) const;

  std::vector<std::wstring> pieces;
  std::size_t chars = 0;
  bool keepPieces = true;  // a flood keeps only the count
  int ended = 0;
  std::chrono::steady_clock::time_point endedAt{};
  std::function<void(const std::wstring&)> onData;  // after the piece is recorded
  std::function<void()> onEnded;
};

// launcher_host.exe run directly, outside any launcher of ours, so that nothing but
// the host's own launcher ends the host's tools. Its output comes through a pipe.
class HostProcess {
 public:
  HostProcess() = default;
  HostProcess(const HostProcess&) = delete;
  HostProcess& operator=(const HostProcess&) = delete;
  ~HostProcess();  // ends the host if it still runs

  // args: the host's own options, then "-- " and the command line it runs.
  [[nodiscard]] bool Start(const std::wstring& args);
  // Reads the host's output until it holds text; false when the host ended or the time ran out first.
  bool ReadUntil(const std::string& text, std::chrono::milliseconds limit);
  // Reads until the host has ended; its exit code, or nothing when the time ran out.
  std::optional<DWORD> WaitForEnd(std::chrono::milliseconds limit);
  [[nodiscard]] const std::string& Output() const { return output_; }
  [[nodiscard]] HANDLE Process() const { return process_.get(); }

 private:
  bool ReadSome();  // false once the pipe is broken

  UniqueKernelHandle process_;
  UniqueKernelHandle output_pipe_;
  std::string output_;
};

// Whether the process with this id has ended (or never existed).
bool ProcessGone(DWORD pid, std::chrono::milliseconds wait);
// Finds "<key> <number>" in text; 0 when it is not there.
DWORD NumberAfter(const std::wstring& text, const std::wstring& key);
DWORD NumberAfter(const std::string& text, const std::string& key);
// Milliseconds, for printing figures.
long long Ms(std::chrono::steady_clock::duration d);

}  // namespace vexlo::test
