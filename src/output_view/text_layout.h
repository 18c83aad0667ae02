#pragma once
// The output view's text and its layout: the text in chunks of a fixed size, each
// font's character widths, and the start of every visual row, built as text arrives
// so that a piece costs in proportion to its own length.

#include <windows.h>

#include <array>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace vexlo {

// Appending never moves what is held, and a position finds its chunk by a shift.
class ChunkedText {
 public:
  static constexpr unsigned kChunkBits = 16;
  static constexpr std::size_t kChunkSize = std::size_t{1} << kChunkBits;

  [[nodiscard]] std::size_t size() const noexcept { return size_; }
  [[nodiscard]] wchar_t operator[](std::size_t i) const noexcept {
    return chunks_[i >> kChunkBits][i & (kChunkSize - 1)];
  }
  void Append(const wchar_t* text, std::size_t count);
  // Keeps the first `from` characters and adds each part: all or nothing, as the
  // chunks it needs are allocated before anything changes.
  void ReplaceFrom(std::size_t from, std::initializer_list<std::wstring_view> parts);
  // Keeps the first `size` characters.
  void Truncate(std::size_t size);
  void CopyTo(std::size_t from, std::size_t count, wchar_t* out) const;
  [[nodiscard]] std::wstring Slice(std::size_t from, std::size_t count) const;
  [[nodiscard]] std::size_t BytesHeld() const noexcept { return chunks_.size() * kChunkSize * sizeof(wchar_t); }

 private:
  std::vector<std::unique_ptr<wchar_t[]>> chunks_;
  std::size_t size_ = 0;
};

// Advance widths of one font, measured a page of 256 code units at a time when a
// character of that page first appears, so that measuring is a table look-up. The
// same page says which of its characters the tables cannot draw (complex ones: see
// complex_line.h).
class CharWidths {
 public:
  // Fills widths[0..255] for the code units page*256 ... page*256+255.
  using Measure = std::function<bool(unsigned page, int* widths)>;
  // Sets bit i % 64 of complex[i / 64] for each complex code unit page*256+i.
  using Classify = std::function<void(unsigned page, std::uint64_t* complex)>;

  void Reset(Measure measure, int fallbackWidth, Classify classify = nullptr);
  [[nodiscard]] int operator()(wchar_t c) { return PageOf(c).widths[c & 0xFF]; }
  [[nodiscard]] bool IsComplex(wchar_t c) {
    const Page& page = PageOf(c);
    return page.anyComplex && ((page.complex[(c & 0xFF) >> 6] >> (c & 63)) & 1) != 0;
  }

 private:
  struct Page {
    std::array<std::uint16_t, 256> widths;
    std::array<std::uint64_t, 4> complex;
    bool anyComplex;
  };
  const Page& PageOf(wchar_t c) {
    const auto& page = pages_[static_cast<unsigned>(c) >> 8];
    return page ? *page : Fill(static_cast<unsigned>(c) >> 8);
  }
  const Page& Fill(unsigned page);

  Measure measure_;
  Classify classify_;
  int fallbackWidth_ = 8;
  std::array<std::unique_ptr<Page>, 256> pages_;
};

// The rows of word-wrapped text, as the multi-line edit control lays them out: CR LF
// ends a row; otherwise a row ends before the word that does not fit, or inside a
// word wider than the row; spaces and tabs hang past the edge. A line with a complex
// character is wrapped whole by the shaping engine instead.
class RowLayout {
 public:
  // Adds the starts of the rows after the first of the line [start, end).
  using WrapComplex = std::function<void(std::size_t start, std::size_t end, std::vector<std::uint32_t>& starts)>;

  void Reset(int wrapWidth, int tabWidth, WrapComplex wrapComplex = nullptr);
  // Lays out whatever text arrived since the last call; all or nothing.
  void Extend(const ChunkedText& text, CharWidths& widths);
  // The text was cut back to `size`; Extend lays out what follows anew.
  void Truncate(std::size_t size);

  [[nodiscard]] std::size_t RowCount() const noexcept { return rows_.size(); }
  [[nodiscard]] std::size_t RowStart(std::size_t row) const noexcept { return rows_[row]; }
  // The row a caret at `position` stands on: a position where a row wraps belongs to
  // the row it starts.
  [[nodiscard]] std::size_t RowOf(std::size_t position) const noexcept;
  [[nodiscard]] int TabAdvance(int x) const noexcept { return tabWidth_ - x % tabWidth_; }
  [[nodiscard]] std::size_t BytesHeld() const noexcept { return rows_.capacity() * sizeof(std::uint32_t); }

 private:
  void NewRow(std::size_t start);
  void Visible(std::size_t position, int width, bool lowSurrogate);
  void ExtendFrom(const ChunkedText& text, CharWidths& widths);
  // Wraps the line at lineStart_ as far as the text goes; returns where layout goes on.
  std::size_t WrapComplexLine(const ChunkedText& text, std::size_t from);
  void FindLineStart(const ChunkedText& text);
  void RestartLine();

  // Positions fit 32 bits: the text is held to the edit control's 0x7FFFFFFE.
  std::vector<std::uint32_t> rows_{0};
  int wrapWidth_ = 1;
  int tabWidth_ = 32;
  // Where Extend goes on.
  std::size_t next_ = 0;
  int x_ = 0;                // width of the last row up to next_
  std::size_t wordStart_ = 0;  // last word start in the last row, if past its start
  int xAtWord_ = 0;
  int lastWidth_ = 0;          // of the last visible character
  bool afterSpace_ = false;
  bool pendingCr_ = false;   // next_ - 1 is a CR that may start CR LF
  WrapComplex wrapComplex_;
  std::vector<std::uint32_t> wrapped_;  // kept to spare allocations
  std::size_t lineStart_ = 0;  // of the line next_ is in: a row start
  std::size_t lineRow_ = 0;
  bool complexLine_ = false;   // that line is complex and not yet ended
  bool sawComplex_ = false;    // since Reset
  bool findLineStart_ = false; // after Truncate: lineStart_ is not known
};

// One character of a row as it is drawn.
struct PlacedChar {
  std::size_t position;
  int x;
  int width;
};

// Walks [start, end) of a row from x 0, calling visit(PlacedChar) until it returns
// false. CR, LF and other control characters take no room; a tab reaches the next
// tab stop.
template <typename Visit>
void WalkRow(const ChunkedText& text, CharWidths& widths, const RowLayout& layout, std::size_t start,
             std::size_t end, Visit&& visit) {
  int x = 0;
  for (std::size_t p = start; p < end; ++p) {
    const wchar_t c = text[p];
    const int w = c == L'\t' ? layout.TabAdvance(x) : widths(c);
    if (!visit(PlacedChar{p, x, w})) return;
    x += w;
  }
}

}  // namespace vexlo
