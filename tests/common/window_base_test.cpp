#include "common/window_base.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <stdexcept>
#include <vector>

namespace vexlo {
namespace {

constexpr UINT kThrow = WM_APP + 1;
constexpr UINT kAnswer = WM_APP + 2;

class Probe final : public WindowBase {
 public:
  bool throwAtCreate = false;
  std::vector<UINT> seen;
  int failures = 0;

 private:
  LRESULT HandleMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) override {
    seen.push_back(msg);
    if (msg == WM_NCCREATE && throwAtCreate) throw std::runtime_error("create");
    if (msg == kThrow) throw std::runtime_error("handler");
    if (msg == kAnswer) return 7;
    return ::DefWindowProcW(hwnd, msg, wp, lp);
  }
  void OnHandlerFailed(HWND, UINT) noexcept override { ++failures; }
};

constexpr wchar_t kClass[] = L"VexloWindowBaseProbe";

class WindowBaseTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    WNDCLASSEXW wc{};
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.lpszClassName = kClass;
    ASSERT_TRUE(WindowBase::RegisterWindowClass(wc));
    ASSERT_TRUE(WindowBase::RegisterWindowClass(wc));  // a second time is fine
  }
  HWND Create(Probe& probe) { return probe.CreateFor(0, kClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr); }
};

TEST_F(WindowBaseTest, AThrowingHandlerEndsNoWindowProcedureAndTheWindowGoesOn) {
  Probe probe;
  HWND hwnd = Create(probe);
  ASSERT_NE(hwnd, nullptr);
  EXPECT_EQ(WindowBase::From(hwnd), &probe);
  EXPECT_EQ(::SendMessageW(hwnd, kThrow, 0, 0), 0);
  EXPECT_EQ(probe.failures, 1);
  EXPECT_EQ(::SendMessageW(hwnd, kAnswer, 0, 0), 7);
  // Through DispatchMessage, as the message loop delivers posted messages.
  ASSERT_TRUE(::PostMessageW(hwnd, kThrow, 0, 0));
  MSG msg;
  while (::PeekMessageW(&msg, hwnd, 0, 0, PM_REMOVE)) ::DispatchMessageW(&msg);
  EXPECT_EQ(probe.failures, 2);
  EXPECT_TRUE(::DestroyWindow(hwnd));
}

TEST_F(WindowBaseTest, AThrowAtCreationFailsTheCreationCleanly) {
  Probe probe;
  probe.throwAtCreate = true;
  EXPECT_EQ(Create(probe), nullptr);
  EXPECT_EQ(probe.failures, 1);
}

TEST_F(WindowBaseTest, NothingReachesTheObjectOnceItsWindowIsGone) {
  Probe probe;
  HWND hwnd = Create(probe);
  ASSERT_NE(hwnd, nullptr);
  ASSERT_TRUE(::DestroyWindow(hwnd));
  ASSERT_FALSE(probe.seen.empty());
  EXPECT_EQ(probe.seen.back(), static_cast<UINT>(WM_NCDESTROY));
  EXPECT_EQ(WindowBase::From(hwnd), nullptr);
  // Windows of other classes have no object.
  HWND other = ::CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
  EXPECT_EQ(WindowBase::From(other), nullptr);
  ::DestroyWindow(other);
}

}  // namespace
}  // namespace vexlo
