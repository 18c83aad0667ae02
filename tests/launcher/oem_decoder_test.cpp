#include "launcher/oem_decoder.h"

#include <gtest/gtest.h>

#include <string>

namespace vexlo {
namespace {

// Feeds the bytes in pieces of the given size and joins what comes out.
std::wstring DecodeInPieces(UINT codePage, const std::string& bytes, std::size_t piece) {
  OemDecoder decoder(codePage);
  std::wstring text;
  for (std::size_t at = 0; at < bytes.size(); at += piece) {
    text += decoder.Decode(std::string_view(bytes).substr(at, piece));
  }
  return text + decoder.Flush();
}

TEST(OemDecoder, SingleByteOemLettersDecodeExactly) {
  // "é ü Ä ñ" in code page 437 and in 850.
  const std::string bytes = "\x82 \x81 \x8e \xa4";
  EXPECT_EQ(DecodeInPieces(437, bytes, 1), L"\u00e9 \u00fc \u00c4 \u00f1");
  EXPECT_EQ(DecodeInPieces(850, bytes, 3), L"\u00e9 \u00fc \u00c4 \u00f1");
}

TEST(OemDecoder, DoubleByteCharacterSplitAtEveryBoundaryStaysWhole) {
  // Shift-JIS: ASCII mixed with two-byte characters whose trail bytes are also ASCII
  // letters (0x96 0x7B is U+672C), so a wrong split would produce wrong text.
  const std::string bytes = "a\x93\xfa\x96\x7b\x8c\xea b\x83\x65\x83\x58\x83\x67";
  const std::wstring expected = L"a\u65e5\u672c\u8a9e b\u30c6\u30b9\u30c8";
  ASSERT_EQ(DecodeBytes(932, bytes), expected);
  for (std::size_t piece = 1; piece <= bytes.size(); ++piece) {
    EXPECT_EQ(DecodeInPieces(932, bytes, piece), expected) << "piece size " << piece;
  }
}

TEST(OemDecoder, HoldsBackOnlyAnIncompleteCharacter) {
  OemDecoder decoder(932);
  EXPECT_EQ(decoder.Decode("ab\x93"), L"ab");
  EXPECT_EQ(decoder.PendingBytes(), 1u);
  EXPECT_EQ(decoder.Decode("\xfa"), L"\u65e5");
  EXPECT_EQ(decoder.PendingBytes(), 0u);
}

TEST(OemDecoder, Utf8SequencesSplitAnywhereStayWhole) {
  const std::string bytes = "x\xc3\xa9y\xe2\x82\xac\xf0\x9f\x98\x80z";
  const std::wstring expected = L"x\u00e9y\u20ac\U0001F600z";
  for (std::size_t piece = 1; piece <= bytes.size(); ++piece) {
    EXPECT_EQ(DecodeInPieces(CP_UTF8, bytes, piece), expected) << "piece size " << piece;
  }
}

TEST(OemDecoder, DanglingLeadByteAtTheEndIsNotLost) {
  OemDecoder decoder(932);
  EXPECT_EQ(decoder.Decode("ok\x93"), L"ok");
  // At the end the lone lead byte becomes what the system makes of it: one character.
  wchar_t alone[4] = {};
  ASSERT_EQ(::MultiByteToWideChar(932, 0, "\x93", 1, alone, 4), 1);
  EXPECT_EQ(decoder.Flush(), std::wstring(1, alone[0]));
  EXPECT_EQ(decoder.PendingBytes(), 0u);
}

}  // namespace
}  // namespace vexlo
