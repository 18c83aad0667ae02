// Copying while another program has the clipboard open, as clipboard history,
// remote desktop and clipboard managers do for a moment after every change.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <thread>

#include "common/unique_handles.h"
#include "output_view/view_test_support.h"

namespace vexlo {
namespace {

std::wstring ClipboardText(HWND owner) {
  if (!::OpenClipboard(owner)) return L"<not opened>";
  std::wstring text = L"<no text>";
  if (const HANDLE data = ::GetClipboardData(CF_UNICODETEXT)) {
    if (const auto* chars = static_cast<const wchar_t*>(::GlobalLock(data))) {
      text = chars;
      ::GlobalUnlock(data);
    }
  }
  ::CloseClipboard();
  return text;
}

bool PutOnClipboard(HWND owner, const std::wstring& text) {
  UniqueGlobal memory(::GlobalAlloc(GMEM_MOVEABLE, (text.size() + 1) * sizeof(wchar_t)));
  auto* chars = memory ? static_cast<wchar_t*>(::GlobalLock(memory.get())) : nullptr;
  if (chars == nullptr) return false;
  text.copy(chars, text.size());
  chars[text.size()] = L'\0';
  ::GlobalUnlock(memory.get());
  if (!::OpenClipboard(owner)) return false;
  const bool put = ::EmptyClipboard() && ::SetClipboardData(CF_UNICODETEXT, memory.get()) != nullptr;
  if (put) memory.release();
  ::CloseClipboard();
  return put;
}

// Another thread holds the clipboard open from when `opened` is set until `release`
// is set or, without one, for 50 ms.
class ClipboardHolder {
 public:
  explicit ClipboardHolder(HANDLE release = nullptr) : opened_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
    thread_ = std::thread([this, release] {
      if (!::OpenClipboard(nullptr)) return;
      held_ = true;
      ::SetEvent(opened_.get());
      if (release != nullptr) {
        ::WaitForSingleObject(release, INFINITE);
      } else {
        ::Sleep(50);
      }
      ::CloseClipboard();
    });
  }
  ~ClipboardHolder() { Join(); }
  ClipboardHolder(const ClipboardHolder&) = delete;
  ClipboardHolder& operator=(const ClipboardHolder&) = delete;

  // True once the other thread holds the clipboard.
  [[nodiscard]] bool WaitOpened() { return ::WaitForSingleObject(opened_.get(), 5000) == WAIT_OBJECT_0 && held_; }
  void Join() {
    if (thread_.joinable()) thread_.join();
  }

 private:
  UniqueKernelHandle opened_;
  bool held_ = false;
  std::thread thread_;
};

class ClipboardTest : public test::ViewTest {
 protected:
  void SetUp() override {
    ViewTest::SetUp();
    ::SetWindowTextW(view_, L"alpha beta\r\ngamma delta\r\nlast");
    SetSel(view_, 6, 10);
    ASSERT_TRUE(PutOnClipboard(host_.hwnd(), L"before"));
  }
};

TEST_F(ClipboardTest, ACopyWaitsOutABriefHolder) {
  ClipboardHolder holder;
  ASSERT_TRUE(holder.WaitOpened());
  ::SendMessageW(view_, WM_COPY, 0, 0);
  holder.Join();
  EXPECT_EQ(ClipboardText(host_.hwnd()), L"beta");
}

TEST_F(ClipboardTest, AClipboardThatStaysBusyKeepsWhatItHeld) {
  const UniqueKernelHandle release(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  ClipboardHolder holder(release.get());
  ASSERT_TRUE(holder.WaitOpened());
  // The copy gives up (with a beep) and returns: the holder is let go only after it.
  ::SendMessageW(view_, WM_COPY, 0, 0);
  ::SetEvent(release.get());
  holder.Join();
  EXPECT_EQ(ClipboardText(host_.hwnd()), L"before");
  ::SendMessageW(view_, WM_COPY, 0, 0);
  EXPECT_EQ(ClipboardText(host_.hwnd()), L"beta");
}

}  // namespace
}  // namespace vexlo
