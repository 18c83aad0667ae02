#pragma once
// A launcher that runs nothing: it records what the window asks of it and lets a
// test raise its events.

#include <memory>
#include <new>
#include <string>
#include <vector>

#include "launcher/console_launcher.h"

namespace vexlo::test {

struct FakeLauncherLog {
  std::vector<std::wstring> calls;  // "Execute <line>", "StopProcess", "BufferSize 8192", ...
  bool released = false;
  int stopsBeforeRelease = 0;
};

class FakeLauncher final : public ConsoleLauncher {
 public:
  FakeLauncher(ConsoleLauncherEvents& events, std::shared_ptr<FakeLauncherLog> log)
      : events(events), log_(std::move(log)) {}
  ~FakeLauncher() override { log_->released = true; }

  void Execute(const std::wstring& line) override {
    log_->calls.push_back(L"Execute " + line);
    if (throwOnExecute) throw std::bad_alloc();
  }
  [[nodiscard]] std::int32_t StartResult() const override {
    log_->calls.push_back(L"StartResult");
    return startResult;
  }
  void StopProcess() override {
    log_->calls.push_back(L"StopProcess");
    ++log_->stopsBeforeRelease;
  }
  void BufferSize(std::uint32_t bytes) override { log_->calls.push_back(L"BufferSize " + std::to_wstring(bytes)); }
  void Interval(std::uint32_t ms) override { log_->calls.push_back(L"Interval " + std::to_wstring(ms)); }
  [[nodiscard]] std::int32_t LastError() const override {
    log_->calls.push_back(L"LastError");
    return lastError;
  }

  ConsoleLauncherEvents& events;
  std::int32_t startResult = kStarted;
  std::int32_t lastError = 0;
  bool throwOnExecute = false;

 private:
  std::shared_ptr<FakeLauncherLog> log_;
};

}  // namespace vexlo::test
