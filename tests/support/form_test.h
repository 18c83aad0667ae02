#pragma once
// The base of the fixtures that open the whole window.

#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <memory>
#include <string>

#include "controls/controls.h"
#include "main_window/frm_vexlo.h"
#include "support/fake_launcher.h"

namespace vexlo::test {

class FormTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_TAB_CLASSES | ICC_BAR_CLASSES};
    ::InitCommonControlsEx(&icc);
  }

  // Loads the window with the given launcher, or by default with a fake one whose
  // calls go to log_; the Exit buttons only count in exits_. Start-up's own launcher
  // calls are left in the log.
  void Open(LauncherFactory factory = {}) {
    frm_Vexlo::Options options;
    options.launcherFactory = factory ? std::move(factory) : [this](ConsoleLauncherEvents& events) {
      auto fake = std::make_unique<FakeLauncher>(events, log_);
      launcher_ = fake.get();
      return fake;
    };
    options.endProgram = [this] { ++exits_; };
    options.startDpi = startDpi_;
    options.fontFace = fontFace_;
    form_ = std::make_unique<frm_Vexlo>(std::move(options));
    std::wstring failure;
    ASSERT_TRUE(form_->Load(failure)) << std::string(failure.begin(), failure.end());
  }

  // Types into a box as the user would, so its change handler runs.
  static void Type(const TextBox& box, const std::wstring& text) {
    ::SendMessageW(box.hwnd, EM_SETSEL, 0, -1);
    ::SendMessageW(box.hwnd, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(text.c_str()));
  }

  // Selects a tab as a click does.
  void ClickTab(int index) {
    form_->tabRTF.SelectedItem(index);
    form_->tabRTF_Click();
  }

  // The command line of the last Execute the fake launcher saw.
  [[nodiscard]] std::wstring LastExecute() const {
    for (auto it = log_->calls.rbegin(); it != log_->calls.rend(); ++it) {
      if (it->rfind(L"Execute ", 0) == 0) return it->substr(8);
    }
    return {};
  }

  std::shared_ptr<FakeLauncherLog> log_ = std::make_shared<FakeLauncherLog>();
  FakeLauncher* launcher_ = nullptr;
  int exits_ = 0;
  UINT startDpi_ = 0;  // the DPI Open lays the window out for; 0: the system's
  const wchar_t* fontFace_ = L"Arial";  // the face of the window's captions
  std::unique_ptr<frm_Vexlo> form_;
};

}  // namespace vexlo::test
