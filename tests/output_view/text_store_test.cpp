#include "output_view/text_store.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "output_view/text_layout.h"

namespace vexlo {
namespace {

std::wstring All(const ChunkedText& text) { return text.Slice(0, text.size()); }

void Add(ChunkedText& text, const std::wstring& piece) { text.Append(piece.data(), piece.size()); }

TEST(TextStoreTest, APieceAppendedToSeveralTextsIsHeldOnce) {
  const auto store = std::make_shared<TextStore>();
  std::vector<ChunkedText> boxes(3);
  std::wstring expected;
  for (int i = 0; i < 200; ++i) {
    // Pieces repeat, and they cross chunk edges.
    const std::wstring piece(1000 + (i % 3) * 700, static_cast<wchar_t>(L'a' + i % 2));
    for (ChunkedText& box : boxes) box.AppendShared(store, piece);
    expected += piece;
  }
  EXPECT_EQ(store->End(), expected.size());
  for (const ChunkedText& box : boxes) {
    EXPECT_EQ(All(box), expected);
    EXPECT_EQ(box.RangeCount(), 1u);
  }
}

TEST(TextStoreTest, ATextThatWentItsOwnWayRejoinsWithOneMoreRange) {
  const auto store = std::make_shared<TextStore>();
  ChunkedText first, second;
  first.AppendShared(store, L"one ");
  second.AppendShared(store, L"one ");
  // The second is emptied and written with text of its own, as Clear or an outside
  // program would; from then on it shares again what follows.
  second.Truncate(0);
  Add(second, L"own ");
  for (const wchar_t* piece : {L"two ", L"three ", L"two "}) {
    first.AppendShared(store, piece);
    second.AppendShared(store, piece);
  }
  EXPECT_EQ(All(first), L"one two three two ");
  EXPECT_EQ(All(second), L"own two three two ");
  EXPECT_EQ(store->End(), std::wstring(L"one two three two ").size());
  EXPECT_EQ(second.RangeCount(), 2u);
}

TEST(TextStoreTest, TheSameCharactersAfterDifferentOnesAreNotTakenForEachOther) {
  // The third text ends where the store's last piece starts, but with other text
  // than the first: it must get the characters it was given, not the store's.
  const auto store = std::make_shared<TextStore>();
  ChunkedText a, b;
  a.AppendShared(store, L"xx");
  b.AppendShared(store, L"xx");
  a.AppendShared(store, L"yy");
  b.AppendShared(store, L"zz");
  a.AppendShared(store, L"zz");
  EXPECT_EQ(All(a), L"xxyyzz");
  EXPECT_EQ(All(b), L"xxzz");
}

TEST(TextStoreTest, WholeChunksBeforeTheFirstReferredStartAreFreed) {
  const auto store = std::make_shared<TextStore>();
  const std::wstring piece(TextStore::kChunkSize / 2, L'p');
  const std::wstring other(TextStore::kChunkSize / 2, L'q');
  ChunkedText early, late;
  for (int i = 0; i < 8; ++i) early.AppendShared(store, piece);  // four chunks
  late.AppendShared(store, other);
  late.AppendShared(store, L"end");
  EXPECT_EQ(store->ChunksHeld(), 5u);
  {
    const ChunkedText kept = early;  // a copy refers from the same start
    early.Truncate(0);
    EXPECT_EQ(store->ChunksHeld(), 5u);
    EXPECT_EQ(All(kept), std::wstring(8 * piece.size(), L'p'));
  }
  // Only the late text refers now, from the fifth chunk on.
  EXPECT_EQ(store->ChunksHeld(), 1u);
  EXPECT_EQ(store->FirstHeld(), 4 * TextStore::kChunkSize);
  EXPECT_EQ(All(late), other + L"end");
  late.Truncate(0);
  EXPECT_EQ(store->ChunksHeld(), 1u);  // the chunk being filled stays
}

TEST(TextStoreTest, ALastPieceWhoseChunkWasFreedIsNotReadAgain) {
  const auto store = std::make_shared<TextStore>();
  const std::wstring piece(TextStore::kChunkSize, L'p');
  {
    ChunkedText text;
    text.AppendShared(store, piece);
  }
  EXPECT_EQ(store->ChunksHeld(), 0u);
  EXPECT_FALSE(store->LastPieceIs(piece));
  ChunkedText next;
  next.AppendShared(store, piece);
  EXPECT_EQ(All(next), piece);
  EXPECT_EQ(store->ChunksHeld(), 1u);
}

TEST(ChunkedTextTest, ReplacingInTheMiddleKeepsBothSidesAndCopiesNothingShared) {
  const auto store = std::make_shared<TextStore>();
  ChunkedText text;
  text.AppendShared(store, L"0123456789");
  const ChunkedText before = text;
  text.Replace(3, 6, L"abcd");
  EXPECT_EQ(All(text), L"012abcd6789");
  EXPECT_EQ(All(before), L"0123456789");
  EXPECT_EQ(store->End(), 10u);  // the new text went elsewhere
  text.Replace(0, text.size(), L"");
  EXPECT_EQ(text.size(), 0u);
  text.ReplaceFrom(0, {L"new", L" text"});
  EXPECT_EQ(All(text), L"new text");
  std::wstring runs;
  text.ForEachRun(2, 4, [&](const wchar_t* run, std::size_t n) { runs.append(run, n); });
  EXPECT_EQ(runs, L"w te");
}

TEST(RowLayoutTest, ACopyKeepsItsRowsWhileTheOriginalGoesOn) {
  CharWidths widths;
  widths.Reset([](unsigned, int* w) {
    std::fill(w, w + 256, 10);
    return true;
  }, 10);
  ChunkedText text;
  RowLayout layout;
  layout.Reset(100, 80);
  // More rows than a block holds, so the copy shares full blocks and a part-filled one.
  std::wstring line = L"a line\r\n";
  for (std::size_t i = 0; i < RowStarts::kBlockSize + 100; ++i) Add(text, line);
  layout.Extend(text, widths);
  const ChunkedText keptText = text;
  const RowLayout kept = layout;
  for (int i = 0; i < 50; ++i) Add(text, L"wrapping words beyond the row ");
  layout.Extend(text, widths);
  layout.Truncate(text.size() - 500);
  layout.Extend(text, widths);
  RowLayout fresh;
  fresh.Reset(100, 80);
  fresh.Extend(keptText, widths);
  ASSERT_EQ(kept.RowCount(), fresh.RowCount());
  for (std::size_t row = 0; row < kept.RowCount(); ++row) ASSERT_EQ(kept.RowStart(row), fresh.RowStart(row)) << row;
  EXPECT_EQ(kept.RowOf(keptText.size() - 1), fresh.RowCount() - 2);
  EXPECT_EQ(kept.LaidOut(), keptText.size());
}

}  // namespace
}  // namespace vexlo
