#pragma once
// The base of the fixtures that open the whole window.

#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <string>

#include "controls/controls.h"

namespace vexlo::test {

class FormTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_TAB_CLASSES | ICC_BAR_CLASSES};
    ::InitCommonControlsEx(&icc);
  }

  // Types into an address box as the user would, so its change handler runs.
  static void Type(const TextBox& box, const std::wstring& text) {
    ::SendMessageW(box.hwnd, EM_SETSEL, 0, -1);
    ::SendMessageW(box.hwnd, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(text.c_str()));
  }
};

}  // namespace vexlo::test
