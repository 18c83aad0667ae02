#include "output_view/text_layout.h"

#include <gtest/gtest.h>

#include <new>

#include <random>
#include <string>
#include <vector>

#include "support/failing_allocations.h"

namespace vexlo {
namespace {

// Every character 10 px wide, so a 100 px row holds ten.
class LayoutTest : public ::testing::Test {
 protected:
  void SetUp() override {
    widths_.Reset([](unsigned, int* w) {
      std::fill(w, w + 256, 10);
      return true;
    }, 10);
    layout_.Reset(100, 80);
  }
  void Add(const std::wstring& piece) {
    text_.Append(piece.data(), piece.size());
    layout_.Extend(text_, widths_);
  }
  [[nodiscard]] std::vector<std::size_t> Rows() const {
    std::vector<std::size_t> rows;
    for (std::size_t i = 0; i < layout_.RowCount(); ++i) rows.push_back(layout_.RowStart(i));
    return rows;
  }
  // The rows of the same text laid out in one go.
  [[nodiscard]] std::vector<std::size_t> RowsLaidAtOnce() {
    RowLayout fresh;
    fresh.Reset(100, 80);
    fresh.Extend(text_, widths_);
    std::vector<std::size_t> rows;
    for (std::size_t i = 0; i < fresh.RowCount(); ++i) rows.push_back(fresh.RowStart(i));
    return rows;
  }

  ChunkedText text_;
  CharWidths widths_;
  RowLayout layout_;
};

TEST_F(LayoutTest, WrapsBeforeTheWordThatDoesNotFit) {
  Add(L"aaa bbb ccc ddd");
  EXPECT_EQ(Rows(), (std::vector<std::size_t>{0, 8}));  // "aaa bbb " then "ccc ddd"
}

TEST_F(LayoutTest, BreaksAWordWiderThanTheRowAndLetsSpacesHang) {
  Add(std::wstring(25, L'w'));
  EXPECT_EQ(Rows(), (std::vector<std::size_t>{0, 10, 20}));
  text_.Truncate(0);
  layout_.Truncate(0);
  Add(L"abc" + std::wstring(30, L' ') + L"d");
  EXPECT_EQ(Rows(), (std::vector<std::size_t>{0, 33}));
}

TEST_F(LayoutTest, CrLfEndsARowEvenSplitAcrossPieces) {
  Add(L"one\r");
  EXPECT_EQ(layout_.RowCount(), 1u);
  Add(L"\ntwo\rsix\nsix\r\n");
  // A lone CR or LF is no break; CR LF is.
  EXPECT_EQ(Rows(), (std::vector<std::size_t>{0, 5, 18}));
  EXPECT_EQ(layout_.RowOf(18), 2u);
}

TEST_F(LayoutTest, AnyWayOfSplittingGivesTheRowsOfTheWhole) {
  std::mt19937 random(7);
  const std::wstring alphabet = L"ab c\r\n\t";
  for (int round = 0; round < 20; ++round) {
    SetUp();
    text_.Truncate(0);
    layout_.Reset(100, 80);
    for (int piece = 0; piece < 50; ++piece) {
      std::wstring s(random() % 30, L' ');
      for (wchar_t& c : s) c = alphabet[random() % alphabet.size()];
      if (random() % 10 == 0) s += std::wstring(random() % 40, L'q');
      Add(s);
    }
    EXPECT_EQ(Rows(), RowsLaidAtOnce()) << round;
  }
}

TEST_F(LayoutTest, CuttingTheTextBackLaysOutTheRestAnew) {
  Add(L"aaa bbb ccccc\r\nddd eee fff ggg");
  text_.Truncate(6);  // "aaa bb": now one row
  layout_.Truncate(6);
  layout_.Extend(text_, widths_);
  EXPECT_EQ(Rows(), RowsLaidAtOnce());
  Add(L"b cccccc");
  EXPECT_EQ(Rows(), RowsLaidAtOnce());
}

TEST_F(LayoutTest, AMegabyteWithoutBreakGrowsPieceByPiece) {
  const std::wstring piece(8192, L'x');
  for (int i = 0; i < 128; ++i) Add(piece);
  EXPECT_EQ(text_.size(), 128u * 8192u);
  EXPECT_EQ(layout_.RowCount(), 128u * 8192u / 10u + 1u - (128u * 8192u % 10u == 0 ? 1u : 0u));
  EXPECT_EQ(text_.Slice(text_.size() - 3, 3), L"xxx");
}

TEST_F(LayoutTest, ASurrogatePairIsNeverSplitBetweenRows) {
  // A word of supplementary characters wider than the row, after one letter, so that
  // a break by code units would fall inside a pair; the pieces split pairs too.
  std::wstring text = L"a";
  for (int i = 0; i < 40; ++i) text += L"\U00010400";
  for (std::size_t at = 0; at < text.size(); at += 7) Add(text.substr(at, 7));
  EXPECT_EQ(Rows(), RowsLaidAtOnce());
  for (std::size_t row = 1; row < layout_.RowCount(); ++row) {
    const std::size_t start = layout_.RowStart(row);
    EXPECT_FALSE(text_[start] >= 0xDC00 && text_[start] <= 0xDFFF && text_[start - 1] >= 0xD800 &&
                 text_[start - 1] <= 0xDBFF)
        << "row " << row << " starts inside a pair at " << start;
  }
}

TEST_F(LayoutTest, RunningOutOfMemoryWhileLayingOutLeavesNothingHalfDone) {
  // Many rows and characters of several pages: the rows and the widths allocate.
  std::wstring piece;
  for (int i = 0; i < 200; ++i) piece += L"ab \u0101\u0202 cd\u0303 efghijk\r\n";
  for (std::size_t allowed = 0;; ++allowed) {
    SetUp();
    layout_ = RowLayout{};
    layout_.Reset(100, 80);
    text_.Truncate(0);
    text_.Append(piece.data(), piece.size());
    bool refused = false;
    {
      test::FailingAllocations failing(allowed);
      try {
        layout_.Extend(text_, widths_);
      } catch (const std::bad_alloc&) {
      }
      refused = failing.Refused();
    }
    layout_.Extend(text_, widths_);
    ASSERT_EQ(Rows(), RowsLaidAtOnce()) << allowed;
    if (!refused) break;
  }
}

TEST(ChunkedTextTest, KeepsTextAcrossChunkEdges) {
  ChunkedText text;
  std::wstring expected;
  for (int i = 0; i < 40; ++i) {
    const std::wstring piece(5000 + i, static_cast<wchar_t>(L'a' + i % 26));
    text.Append(piece.data(), piece.size());
    expected += piece;
  }
  EXPECT_EQ(text.Slice(0, text.size()), expected);
  text.Truncate(ChunkedText::kChunkSize + 3);
  EXPECT_EQ(text.Slice(0, text.size()), expected.substr(0, ChunkedText::kChunkSize + 3));
  text.Append(L"zz", 2);
  EXPECT_EQ(text.Slice(ChunkedText::kChunkSize + 1, 4), expected.substr(ChunkedText::kChunkSize + 1, 2) + L"zz");
}

}  // namespace
}  // namespace vexlo
