// The output boxes and kept outputs hold their text once, and read exactly as if each
// held its own string.
#include <gtest/gtest.h>

#include <windows.h>

#include <array>
#include <random>
#include <string>

#include "common/unique_handles.h"
#include "controls/controls.h"
#include "main_window/frm_vexlo.h"
#include "output_view/output_view.h"
#include "support/form_test.h"

namespace vexlo {
namespace {

class OutputStoreTest : public test::FormTest {
 protected:
  [[nodiscard]] std::array<const TextBox*, 3> Boxes() const {
    return {&form_->txtOutputPing, &form_->txtOutputTracert, &form_->txtOutputLookup};
  }
  [[nodiscard]] std::array<KeptOutput*, 3> Kept() const {
    return {&form_->sKeptPing, &form_->sKeptTracert, &form_->sKeptLookup};
  }
  void Clear(int page) {
    if (page == 0) form_->cmdClearPing_Click();
    if (page == 1) form_->cmd_clear_tracert_Click();
    if (page == 2) form_->cmd_lookup_clear_Click();
  }
  // The rows of the box are those of its text set afresh in a box of the same size
  // and font.
  void ExpectRowsAsIfSetAfresh(const TextBox& box, const std::string& where) {
    RECT r{};
    ASSERT_TRUE(::GetWindowRect(box.hwnd, &r));
    const HWND parent = ::GetParent(box.hwnd);
    const UniqueWindow fresh(OutputViewProcedure().CreateFor(0, kOutputViewClass, L"fresh", WS_CHILD | WS_BORDER | WS_VSCROLL, 0, 0,
                                                           r.right - r.left, r.bottom - r.top, parent, nullptr));
    ASSERT_TRUE(fresh);
    ::SendMessageW(fresh.get(), WM_SETFONT, ::SendMessageW(box.hwnd, WM_GETFONT, 0, 0), FALSE);
    ::SetWindowTextW(fresh.get(), box.Text().c_str());
    const LRESULT rows = ::SendMessageW(fresh.get(), EM_GETLINECOUNT, 0, 0);
    ASSERT_EQ(::SendMessageW(box.hwnd, EM_GETLINECOUNT, 0, 0), rows) << where;
    for (LRESULT row = 0; row < rows; row += 1 + rows / 16) {
      ASSERT_EQ(::SendMessageW(box.hwnd, EM_LINEINDEX, row, 0), ::SendMessageW(fresh.get(), EM_LINEINDEX, row, 0))
          << where << ", row " << row;
    }
  }
};

// Random appends, Clears, run ends, page switches and text from another program,
// each checked against the plain model: every box and kept output a string of its own.
TEST_F(OutputStoreTest, EveryBoxAndKeptOutputReadsAsItsOwnString) {
  Open();
  frm_Vexlo& f = *form_;
  std::array<std::wstring, 3> boxes, kept;
  std::mt19937 random(20);
  const auto pick = [&](unsigned n) { return static_cast<unsigned>(random() % n); };
  const std::wstring line = L"Reply from 192.0.2.1: bytes=32 time<1ms TTL=128\r\n";
  std::wstring last;
  for (int step = 0; step < 400; ++step) {
    const unsigned what = pick(20);
    std::string done;
    if (what < 11) {
      // Often the same piece again, now and then a long one across chunks.
      std::wstring piece = last;
      if (pick(3) != 0 || piece.empty()) {
        const std::size_t length = pick(8) == 0 ? 8192 + pick(40000) : pick(300);
        piece.clear();
        while (piece.size() < length) piece += line;
        piece.resize(length);
        if (pick(4) == 0) piece[piece.size() / 2] = static_cast<wchar_t>(L'a' + pick(26));
      }
      last = piece;
      f.oLaunch_DataReceived(piece);
      for (std::wstring& box : boxes) box += piece;
      done = "append " + std::to_string(piece.size());
    } else if (what < 13) {
      const unsigned page = pick(3);
      Clear(static_cast<int>(page));
      boxes[page].clear();
      kept[page].clear();
      done = "clear " + std::to_string(page);
    } else if (what < 15) {
      const int tab = static_cast<int>(pick(4)) + 1;
      f.tabRTF.SelectedItem(tab);
      f.oLaunch_ProcessEnded();
      if (tab <= 3) kept[tab - 1] = boxes[tab - 1];
      done = "run end on " + std::to_string(tab);
    } else if (what < 19) {
      const int tab = static_cast<int>(pick(4)) + 1;
      ClickTab(tab);
      if (tab <= 3) boxes[tab - 1] = kept[tab - 1];
      done = "switch to " + std::to_string(tab);
      if (tab <= 3) ExpectRowsAsIfSetAfresh(*Boxes()[tab - 1], done);
    } else {
      const unsigned page = pick(3);
      const std::wstring outside = L"from elsewhere " + std::to_wstring(step) + L"\r\n";
      ::SetWindowTextW(Boxes()[page]->hwnd, outside.c_str());
      boxes[page] = outside;
      done = "outside text into " + std::to_string(page);
    }
    for (std::size_t i = 0; i < 3; ++i) {
      ASSERT_EQ(Boxes()[i]->Text(), boxes[i]) << "step " << step << ", " << done << ", box " << i;
      ASSERT_TRUE(*Kept()[i] == kept[i]) << "step " << step << ", " << done << ", kept " << i;
      ASSERT_EQ(Kept()[i]->str(), kept[i]) << "step " << step << ", " << done << ", kept " << i;
    }
  }
}

TEST_F(OutputStoreTest, TenMillionCharactersInThreeBoxesAndAKeptCopyAreHeldOnce) {
  Open();
  frm_Vexlo& f = *form_;
  constexpr std::size_t kTotal = 10'000'000;
  std::wstring piece;
  while (piece.size() < 8192) piece += L"Reply from 192.0.2.1: bytes=32 time<1ms TTL=128\r\n";
  piece.resize(8192);
  for (std::size_t sent = 0; sent < kTotal; sent += piece.size()) {
    f.oLaunch_DataReceived(piece.substr(0, std::min(piece.size(), kTotal - sent)));
  }
  f.oLaunch_ProcessEnded();  // the Ping page is selected
  constexpr std::size_t kChunks = (kTotal + OutputViews::kChunkSize - 1) / OutputViews::kChunkSize;
  EXPECT_EQ(f.outputViews.StorageHeld().end, kTotal);
  EXPECT_EQ(f.outputViews.StorageHeld().chunks, kChunks);
  for (const TextBox* box : Boxes()) EXPECT_EQ(box->TextLength(), static_cast<int>(kTotal));
  EXPECT_EQ(f.sKeptPing.size(), kTotal);

  // Clear on every page: nothing refers to the early text any more.
  ClickTab(2);
  f.cmdClearPing_Click();
  f.cmd_clear_tracert_Click();
  EXPECT_EQ(f.outputViews.StorageHeld().chunks, kChunks);  // LookUp holds it
  f.cmd_lookup_clear_Click();
  EXPECT_LE(f.outputViews.StorageHeld().chunks, 1u);
  EXPECT_GE(f.outputViews.StorageHeld().firstHeld, kTotal - OutputViews::kChunkSize);
  f.oLaunch_DataReceived(L"after\r\n");
  for (const TextBox* box : Boxes()) EXPECT_EQ(box->Text(), L"after\r\n");
}

TEST_F(OutputStoreTest, TextFromElsewhereGetsStorageOfItsOwn) {
  Open();
  frm_Vexlo& f = *form_;
  f.oLaunch_DataReceived(L"shared\r\n");
  const std::size_t held = f.outputViews.StorageHeld().end;
  ::SetWindowTextW(f.txtOutputTracert.hwnd, L"another program's text\r\n");
  ::SendMessageW(f.txtOutputLookup.hwnd, EM_SETSEL, 2, 4);
  ::SendMessageW(f.txtOutputLookup.hwnd, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(L"--"));
  EXPECT_EQ(f.outputViews.StorageHeld().end, held);
  f.oLaunch_DataReceived(L"next\r\n");
  EXPECT_EQ(f.txtOutputPing.Text(), L"shared\r\nnext\r\n");
  EXPECT_EQ(f.txtOutputTracert.Text(), L"another program's text\r\nnext\r\n");
  EXPECT_EQ(f.txtOutputLookup.Text(), L"sh--ed\r\nnext\r\n");
  EXPECT_EQ(f.outputViews.StorageHeld().end, held + 6);
}

TEST_F(OutputStoreTest, AKeptOutputShownAfterAFontChangeIsLaidOutForTheNewFont) {
  Open();
  frm_Vexlo& f = *form_;
  std::wstring text;
  for (int i = 0; i < 300; ++i) text += L"Reply from 192.0.2.1: bytes=32 time<1ms TTL=128 and more words\r\n";
  f.oLaunch_DataReceived(text);
  f.oLaunch_ProcessEnded();
  const UniqueFont larger = MakeArialFont(14, false, 96);
  ::SendMessageW(f.txtOutputPing.hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(larger.get()), FALSE);
  // Laid out again at the same width: only the font tells the kept rows apart.
  ASSERT_GT(::SendMessageW(f.txtOutputPing.hwnd, EM_GETLINECOUNT, 0, 0), 300);
  ClickTab(1);
  EXPECT_EQ(f.txtOutputPing.Text(), text);
  ExpectRowsAsIfSetAfresh(f.txtOutputPing, "after the font change");
  EXPECT_TRUE(f.txtOutputPing.CaretAt(static_cast<int>(text.size())));
}

}  // namespace
}  // namespace vexlo
