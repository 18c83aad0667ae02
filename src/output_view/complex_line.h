#pragma once
// Text the width tables cannot lay out: characters that need shaping, right-to-left
// reordering, a fallback font or more than one code unit to a caret stop. Such a
// line goes through Uniscribe's ScriptString functions, as the edit control's does,
// with the system's font linking and fallback. What they give is kept, keyed by the
// text, until the font or the tab stops change, so that a line arriving again or a
// row painted again is not shaped again.
//
// Characters are classified a width page at a time (ClassifyPage), so that plain
// text pays only a table look-up.

#include <windows.h>
#include <usp10.h>

#include <cstdint>
#include <list>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "common/unique_handles.h"
#include "output_view/text_layout.h"

namespace vexlo {

// Sets bit i % 64 of complex[i / 64] for each code unit page*256+i that the width
// tables cannot draw with the font selected into dc: one without a glyph in it, a
// surrogate, a combining or other zero-width mark, a right-to-left character, or one
// of a script that needs shaping.
void ClassifyPage(HDC dc, unsigned page, std::uint64_t* complex);

// One row of text as Uniscribe lays it out: clusters, glyphs in visual order and
// caret stops. Offsets are from the row's start.
class ShapedRow {
 public:
  // Without `edges` the row only wraps: widths, stops and breaks, but no x of each
  // character, which costs a pass over the row's runs a character in some engines.
  ShapedRow(HDC dc, const std::wstring& text, int tabWidth, int fitWidth, bool edges = true);
  ~ShapedRow();
  ShapedRow(const ShapedRow&) = delete;
  ShapedRow& operator=(const ShapedRow&) = delete;

  [[nodiscard]] bool ok() const noexcept { return ssa_ != nullptr; }
  [[nodiscard]] std::size_t Length() const noexcept { return length_; }
  [[nodiscard]] int Width() const noexcept { return width_; }
  // Where a caret at `offset` stands: after the character before it.
  [[nodiscard]] int XOf(std::size_t offset) const;
  // The caret stop nearest to x.
  [[nodiscard]] std::size_t OffsetAt(int x) const;
  // Whether a caret may stand before the character at `offset`.
  [[nodiscard]] bool IsStop(std::size_t offset) const;
  // The first caret stop after `offset`: where the cluster that starts there ends.
  [[nodiscard]] std::size_t NextStop(std::size_t offset) const {
    do ++offset; while (!IsStop(offset));
    return offset;
  }
  // The x ranges, left to right, that the characters [from, to) cover: two or more
  // where the range crosses the edge of a right-to-left run.
  [[nodiscard]] std::vector<std::pair<int, int>> Spans(std::size_t from, std::size_t to) const;
  // Draws at (x, y) of the DC the row was shaped in, in its text colour, [selFrom,
  // selTo) highlighted.
  void Draw(int x, int y, const RECT& clip, std::size_t selFrom, std::size_t selTo) const;
  // Where the first row ends when this text is wrapped to `width` by the characters'
  // widths: at the last soft break that fits, or inside a word wider than the row.
  [[nodiscard]] std::size_t FirstBreak(int width) const { return FirstBreak(0, length_, width); }
  // The same for a row that starts at `from`, looking no further than `to`; `to` when
  // all of [from, to) fits.
  [[nodiscard]] std::size_t FirstBreak(std::size_t from, std::size_t to, int width) const;
  // A row may start here: where the engine says, and after white space, where the
  // edit control's own word breaking always breaks.
  [[nodiscard]] bool IsSoftBreak(std::size_t offset) const {
    return offset > 0 && offset < length_ &&
           (attributes_[offset].fSoftBreak != 0 ||
            (attributes_[offset - 1].fWhiteSpace != 0 && attributes_[offset].fWhiteSpace == 0));
  }

 private:
  SCRIPT_STRING_ANALYSIS ssa_ = nullptr;
  std::size_t length_ = 0;
  int width_ = 0;
  std::vector<int> trailing_;   // x of each character's trailing edge
  std::vector<int> leading_;    // and of its leading edge
  std::vector<int> logical_;    // each character's share of the width
  std::vector<SCRIPT_LOGATTR> attributes_;
};

// The shaping engine of one view: a DC of its own with the view's font, and what it
// shaped, keyed by the text.
class ComplexLines {
 public:
  ComplexLines();
  ~ComplexLines();
  ComplexLines(const ComplexLines&) = delete;
  ComplexLines& operator=(const ComplexLines&) = delete;
  // Forgets every shaped line: the font (and with it the DPI) or the tab stops changed.
  void Reset(HFONT font, int tabWidth);
  // Forgets the wrapping: the width changed.
  void SetWrapWidth(int width);
  // Adds the starts of the rows of the line [lineStart, lineEnd) after the row that
  // starts at `from`, a row start an earlier call returned (or lineStart). `ended`:
  // the line ends there; else more of it may come. Returns where a later call for
  // more of the same line goes on: the rows before that stay as they are. Nothing
  // when Uniscribe failed for some part of the line: it is then laid out as plain text.
  [[nodiscard]] std::optional<std::size_t> Wrap(const ChunkedText& text, std::size_t lineStart, std::size_t from,
                                                std::size_t lineEnd, bool ended, std::vector<std::uint32_t>& starts);
  // The row [start, end), shaped; null when Uniscribe fails.
  [[nodiscard]] const ShapedRow* Row(const ChunkedText& text, std::size_t start, std::size_t end);
  // Draws a row onto dc at y, the row's text at x, in a band `height` high and
  // `right` wide, through the engine's own DC, in dc's text and background colours.
  void Draw(const ShapedRow& row, HDC dc, int x, int y, int right, int height, std::size_t selFrom,
            std::size_t selTo);
  [[nodiscard]] std::size_t BytesHeld() const noexcept;

 private:
  using Dc = UniqueHandle<NullableHandleTraits<HDC, &::DeleteDC>>;
  using Bitmap = UniqueHandle<NullableHandleTraits<HBITMAP, &::DeleteObject>>;
  static constexpr std::size_t kRowsKept = 256;
  static constexpr std::size_t kLinesKept = 1024;
  // A longer line is wrapped a segment at a time, so that the rows of a line that
  // grows piece by piece are laid once, not again with every piece: a segment is
  // about kSegment long, cut after white space where some comes within kSegmentSlack,
  // and its rows are taken only from what stands kSegmentMargin before its cut.
  static constexpr std::size_t kWholeLine = 512;
  static constexpr std::size_t kSegment = 256;
  static constexpr std::size_t kSegmentSlack = 64;
  static constexpr std::size_t kSegmentMargin = 48;

  struct Segment {
    std::size_t start = 0;    // a row start
    std::size_t end = 0;      // what is shaped
    std::size_t decided = 0;  // rows are decided by what stands before this alone
    bool lineEnd = false;     // end is where the line ends, as far as it has come
    bool settled = false;     // what arrives later changes neither it nor its rows
  };

  const ShapedRow* Shaped(const std::wstring& text);
  [[nodiscard]] bool Fits(const std::wstring& text, std::size_t length);
  [[nodiscard]] bool Fits(const ChunkedText& text, std::size_t from, std::size_t to);
  [[nodiscard]] std::vector<std::uint32_t> Breaks(const std::wstring& line);
  void WrapWhole(const ChunkedText& text, std::size_t start, std::size_t end, std::vector<std::uint32_t>& starts);
  [[nodiscard]] std::size_t WrapLong(const ChunkedText& text, std::size_t from, std::size_t lineEnd, bool ended,
                                     std::vector<std::uint32_t>& starts);
  [[nodiscard]] static Segment SegmentAt(const ChunkedText& text, std::size_t start, std::size_t lineEnd, bool ended);
  // Where the row that starts at rowStart in the segment ends; 0 when the segment
  // cannot tell, unless it is `fresh` (starts at rowStart), which always tells.
  [[nodiscard]] std::size_t RowEndIn(const ChunkedText& text, const Segment& segment, const ShapedRow& shaped,
                                     std::size_t rowStart);

  Dc dc_;
  HFONT font_ = nullptr;  // not ours
  Bitmap band_;
  HGDIOBJ originalBitmap_ = nullptr;
  SIZE bandSize_{0, 0};
  int tabWidth_ = 32;
  int wrapWidth_ = 1;
  bool shapingFailed_ = false;  // in the Wrap under way
  // Least recently used last.
  std::list<std::pair<std::wstring, std::unique_ptr<ShapedRow>>> rows_;
  std::unordered_map<std::wstring, decltype(rows_)::iterator> rowIndex_;
  std::list<std::pair<std::wstring, std::vector<std::uint32_t>>> lines_;
  std::unordered_map<std::wstring, decltype(lines_)::iterator> lineIndex_;
};

}  // namespace vexlo
