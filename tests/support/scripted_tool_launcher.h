#pragma once
#include <memory>
#include <string>
#include <vector>

#include "launcher/win32_launcher.h"
#include "support/test_support.h"

namespace vexlo::test {

// Runs the scripted tool in place of the console tool the window names.
class ScriptedToolLauncher final : public ConsoleLauncher {
 public:
  // tool: the scripted tool, quoted; by default the one beside the test program.
  ScriptedToolLauncher(ConsoleLauncherEvents& events, std::wstring script, std::wstring tool = ScriptedTool())
      : real_(CreateWin32Launcher(events)), script_(std::move(script)), tool_(std::move(tool)) {}
  void Execute(const std::wstring& line) override {
    lines.push_back(line);
    real_->Execute(tool_ + L" " + script_ + line.substr(line.find(L' ')));
  }
  [[nodiscard]] std::int32_t StartResult() const override { return real_->StartResult(); }
  void StopProcess() override { real_->StopProcess(); }
  void BufferSize(std::uint32_t b) override { real_->BufferSize(b); }
  void Interval(std::uint32_t ms) override { real_->Interval(ms); }
  [[nodiscard]] std::int32_t LastError() const override { return real_->LastError(); }
  std::vector<std::wstring> lines;

 private:
  std::unique_ptr<ConsoleLauncher> real_;
  std::wstring script_;
  std::wstring tool_;
};

}  // namespace vexlo::test
