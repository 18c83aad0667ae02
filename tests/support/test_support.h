#pragma once
// Helpers the test programs share.

#include <windows.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

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

// Records the launcher's events.
class RecordingEvents : public vexlo::ConsoleLauncherEvents {
 public:
  void DataReceived(std::wstring sData) override;
  void ProcessEnded() override { ++ended; }

  [[nodiscard]] std::wstring Text() const;

  std::vector<std::wstring> pieces;
  std::size_t chars = 0;
  bool keepPieces = true;  // a flood keeps only the count
  int ended = 0;
};

// Whether the process with this id has ended (or never existed).
bool ProcessGone(DWORD pid, std::chrono::milliseconds wait);
// Finds "<key> <number>" in text; 0 when it is not there.
DWORD NumberAfter(const std::wstring& text, const std::wstring& key);

}  // namespace vexlo::test
