#pragma once
// The output view beside a multi-line edit control with the styles the program's
// output boxes had, in one visible window, both with the program's font.

#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "common/unique_handles.h"
#include "common/window_base.h"

namespace vexlo::test {

// A top-level window that records what its children send it.
class HostWindow final : private WindowBase {
 public:
  HostWindow();
  [[nodiscard]] HWND hwnd() const noexcept { return window_.get(); }
  std::vector<UINT> received;      // WM_CLOSE, WM_NEXTDLGCTL, WM_COMMAND
  std::vector<WORD> notifications;  // WM_COMMAND's codes

 private:
  LRESULT HandleMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) override;
  UniqueWindow window_;
};

class ViewTest : public ::testing::Test {
 protected:
  static constexpr int kWidth = 417;  // the program's output box at 96 dpi
  static constexpr int kHeight = 243;
  static constexpr DWORD kEditStyle =
      WS_CHILD | WS_VISIBLE | WS_BORDER | WS_VSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL;
  static constexpr DWORD kViewStyle = WS_CHILD | WS_VISIBLE | WS_BORDER | WS_VSCROLL;

  static void SetUpTestSuite();
  void SetUp() override;

  [[nodiscard]] static std::wstring Text(HWND box);
  [[nodiscard]] static std::pair<DWORD, DWORD> Sel(HWND box);
  static void SetSel(HWND box, WPARAM start, LPARAM end) { ::SendMessageW(box, EM_SETSEL, start, end); }
  static void Replace(HWND box, const std::wstring& text) {
    ::SendMessageW(box, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()));
  }
  // Sends a key as the message loop would deliver it, with these modifiers held.
  static void Key(HWND box, WPARAM key, bool shift = false, bool ctrl = false);
  static LPARAM At(int x, int y) { return MAKELPARAM(x, y); }

  HostWindow host_;
  UniqueFont font_;
  HWND edit_ = nullptr;
  HWND view_ = nullptr;
};

}  // namespace vexlo::test
