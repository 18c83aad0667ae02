#pragma once
// The console launcher the window codes against: runs one console command line at a
// time with its output redirected, and reports the output and the process's end as
// events.

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>

#include "common/read_times.h"

namespace vexlo {

// Identifiers of the launcher class and of its interface, as the window knows them.
// The launcher is built into the program, so nothing is registered under them.
inline constexpr GUID kConsoleLauncherClassId = {
    0x983145CE, 0xC8DC, 0x11D3, {0x9D, 0xE4, 0x40, 0x00, 0x0A, 0x4A, 0x15, 0x41}};
inline constexpr GUID kConsoleLauncherInterfaceId = {
    0x983145CD, 0xC8DC, 0x11D3, {0x9D, 0xE4, 0x40, 0x00, 0x0A, 0x4A, 0x15, 0x41}};

// Outcomes of the last Execute, read through StartResult.
inline constexpr std::int32_t kStarted = 0;
inline constexpr std::int32_t kAlreadyRunning = 1;
inline constexpr std::int32_t kStartFailed = 2;

// Receives the launcher's events. They are raised on the thread that created the
// launcher, from that thread's message loop: never from inside a call into the
// launcher, and never after the launcher has been released.
class ConsoleLauncherEvents {
 public:
  // The next piece of output, in order, already decoded to UTF-16.
  virtual void DataReceived(std::wstring sData) = 0;
  // The same, with when each part of it was read from the tool's pipe. What the
  // launcher raises; a receiver that has no use for the times need not override it.
  virtual void DataReceivedAt(std::wstring sData, ReadTimes times) {
    static_cast<void>(times);
    DataReceived(std::move(sData));
  }
  // The started process has ended, by itself or after StopProcess; raised once per
  // started process, after its last DataReceived.
  virtual void ProcessEnded() = 0;

 protected:
  ~ConsoleLauncherEvents() = default;
};

class ConsoleLauncher {
 public:
  virtual ~ConsoleLauncher() = default;

  // Starts the command line and returns without waiting for it; StartResult tells
  // what happened.
  virtual void Execute(const std::wstring& commandLine) = 0;
  // kStarted, kAlreadyRunning (nothing was started) or kStartFailed (see LastError).
  [[nodiscard]] virtual std::int32_t StartResult() const = 0;
  // Ends the running tool and everything it started. Safe at any time, any number
  // of times; the end is reported through ProcessEnded.
  virtual void StopProcess() = 0;
  // The largest piece, in bytes of the tool's output, that one DataReceived carries.
  // Also the size of each read from the tool. Takes effect at the next Execute.
  virtual void BufferSize(std::uint32_t bytes) = 0;
  // The longest time, in milliseconds, that output already read may wait before it
  // is handed to the window. Output is normally handed over at once; only while the
  // window is busy with a flood of output does the launcher pace it, so that the
  // window's input and painting go first, and never longer than this.
  virtual void Interval(std::uint32_t milliseconds) = 0;
  // The Windows error code behind StartResult kStartFailed.
  [[nodiscard]] virtual std::int32_t LastError() const = 0;
};

// Creates a launcher whose events go to the given receiver. Returns null, with the
// Windows error in GetLastError, when the launcher cannot be created.
using LauncherFactory =
    std::function<std::unique_ptr<ConsoleLauncher>(ConsoleLauncherEvents& events)>;

}  // namespace vexlo
