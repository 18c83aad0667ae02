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
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "output_view/text_store.h"

namespace vexlo {

// The start of every row, in blocks: a copy shares the blocks, and a block still
// shared is copied before it changes, so that copying rows costs a pointer a block.
class RowStarts {
 public:
  static constexpr unsigned kBlockBits = 12;
  static constexpr std::size_t kBlockSize = std::size_t{1} << kBlockBits;

  [[nodiscard]] std::size_t size() const noexcept { return size_; }
  [[nodiscard]] std::uint32_t operator[](std::size_t i) const noexcept {
    return (*blocks_[i >> kBlockBits])[i & (kBlockSize - 1)];
  }
  [[nodiscard]] std::uint32_t back() const noexcept { return (*this)[size_ - 1]; }
  // Strong guarantee: a failure changes nothing.
  void push_back(std::uint32_t start);
  // Keeps the first `size`.
  void resize(std::size_t size) noexcept;
  // The first index whose start is past `position`.
  [[nodiscard]] std::size_t UpperBound(std::size_t position) const noexcept;
  [[nodiscard]] std::size_t BytesHeld() const noexcept { return blocks_.capacity() * sizeof(void*) + blocks_.size() * sizeof(Block); }

 private:
  using Block = std::array<std::uint32_t, kBlockSize>;
  std::vector<std::shared_ptr<Block>> blocks_;
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
// word wider than the row; spaces and tabs hang past the edge. A copy shares the
// rows laid out so far, so a kept copy of a text keeps its rows at little cost. A line
// with a complex character is wrapped by the shaping engine instead, and where that
// fails, as plain text after all.
class RowLayout {
 public:
  // Adds the starts of the rows of the line [start, end) after the row that starts at
  // `from`, a row start that the last call for the line returned, or `start`. `ended`:
  // the line ends at `end`. Returns where the next call for more of the line goes on,
  // or nothing when the engine could not shape it.
  using WrapComplex = std::function<std::optional<std::size_t>(std::size_t start, std::size_t from, std::size_t end,
                                                               bool ended, std::vector<std::uint32_t>& starts)>;

  RowLayout() { rows_.push_back(0); }
  // Tabs stop at each of `tabStops` (increasing pixels), then every `tabWidth`.
  void Reset(int wrapWidth, int tabWidth, std::vector<int> tabStops = {}, WrapComplex wrapComplex = nullptr);
  // Lays out whatever text arrived since the last call; all or nothing.
  void Extend(const ChunkedText& text, CharWidths& widths);
  // The text was cut back to `size`; Extend lays out what follows anew.
  void Truncate(std::size_t size);

  [[nodiscard]] std::size_t RowCount() const noexcept { return rows_.size(); }
  [[nodiscard]] std::size_t RowStart(std::size_t row) const noexcept { return rows_[row]; }
  // The row a caret at `position` stands on: a position where a row wraps belongs to
  // the row it starts.
  [[nodiscard]] std::size_t RowOf(std::size_t position) const noexcept;
  [[nodiscard]] int TabAdvance(int x) const noexcept {
    for (const int stop : tabStops_) {
      if (stop > x) return stop - x;
    }
    return tabWidth_ - x % tabWidth_;
  }
  // How much of the text is laid out.
  [[nodiscard]] std::size_t LaidOut() const noexcept { return next_; }
  [[nodiscard]] std::size_t BytesHeld() const noexcept { return rows_.BytesHeld(); }

 private:
  void NewRow(std::size_t start);
  void Visible(std::size_t position, int width, bool lowSurrogate);
  void ExtendFrom(const ChunkedText& text, CharWidths& widths);
  // Lays out one character; true, with nothing done, for a complex one.
  [[nodiscard]] bool Next(std::size_t p, wchar_t c, wchar_t before, CharWidths& widths);
  // Wraps the line at lineStart_ as far as the text goes; returns where layout goes on.
  std::size_t WrapComplexLine(const ChunkedText& text, std::size_t from);
  void FindLineStart(const ChunkedText& text);
  void RestartLine();
  // Layout goes on at next_, the start of a row, from nothing.
  void StartRowAtNext() noexcept;

  // Positions fit 32 bits: the text is held to the edit control's 0x7FFFFFFE.
  RowStarts rows_;
  int wrapWidth_ = 1;
  int tabWidth_ = 32;
  std::vector<int> tabStops_;
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
  std::size_t complexResume_ = 0;  // where its rows are laid again when more of it comes
  bool sawComplex_ = false;    // since Reset
  bool plainLine_ = false;     // the line at lineStart_ could not be shaped: it is laid out plain
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
