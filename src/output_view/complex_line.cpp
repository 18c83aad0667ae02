#include "output_view/complex_line.h"

#include <algorithm>
#include <array>

#include "common/gdi_guards.h"
#include "output_view/unicode_class.h"
#include "output_view/uniscribe_api.h"

namespace vexlo {
namespace {

// What the edit control asks for: the system's font linking and fallback, glyphs to
// draw, tab stops, and the caret stops and soft breaks.
constexpr DWORD kAnalyseFlags = SSA_FALLBACK | SSA_LINK | SSA_GLYPHS | SSA_TAB | SSA_BREAK;

// Invisible characters that steer direction or joining take no width in the tables
// but change how their neighbours are drawn.
bool IsFormatCharacter(unsigned c) {
  return (c >= 0x200B && c <= 0x200F) || (c >= 0x202A && c <= 0x202E) || (c >= 0x2060 && c <= 0x206F) ||
         c == 0xFEFF || c == 0x034F || c == 0x061C;
}

}  // namespace

void ClassifyPage(HDC dc, unsigned page, std::uint64_t* complex) {
  // Without the shaping engine nothing can be laid out but by the width tables.
  const UniscribeApi& uniscribe = Uniscribe();
  if (!uniscribe.Usable()) return;
  std::array<wchar_t, 256> chars{};
  for (unsigned i = 0; i < 256; ++i) chars[i] = static_cast<wchar_t>(page * 256 + i);
  std::array<WORD, 256> glyphs{};
  // 0xFFFF marks a character the font has no glyph for; the edit control then finds
  // one through font linking or fallback.
  const bool haveGlyphs =
      ::GetGlyphIndicesW(dc, chars.data(), 256, glyphs.data(), GGI_MARK_NONEXISTING_GLYPHS) != GDI_ERROR;
  std::array<WORD, 256> type2{}, type3{};
  const bool haveTypes = ::GetStringTypeW(CT_CTYPE2, chars.data(), 256, type2.data()) &&
                         ::GetStringTypeW(CT_CTYPE3, chars.data(), 256, type3.data());
  // A combining mark is nonspacing and no letter: precomposed letters such as U+00E9
  // carry C3_NONSPACING too.
  for (unsigned i = 0; i < 256; ++i) {
    const unsigned c = page * 256 + i;
    // Control characters are never drawn; printable ASCII is plain wherever it has a glyph.
    if (c < 0x20 || c == 0x7F) continue;
    bool isComplex = IsSurrogate(c) || IsFormatCharacter(c) || (haveGlyphs && glyphs[i] == 0xFFFF);
    if (!isComplex && c >= 0x80) {
      isComplex = !haveTypes || (type3[i] & (C3_NONSPACING | C3_ALPHA)) == C3_NONSPACING || type2[i] == C2_RIGHTTOLEFT ||
                  type2[i] == C2_ARABICNUMBER || uniscribe.isComplex(&chars[i], 1, SIC_COMPLEX) == S_OK;
    }
    if (isComplex) complex[i / 64] |= std::uint64_t{1} << (i % 64);
  }
}

ShapedRow::ShapedRow(HDC dc, const std::wstring& text, int tabWidth, int fitWidth, bool edges)
    : length_(text.size()) {
  const UniscribeApi& uniscribe = Uniscribe();
  if (text.empty() || !uniscribe.Usable()) return;
  SCRIPT_TABDEF tabs{};
  tabs.cTabStops = 1;
  tabs.iScale = 4;  // the stops are in pixels already
  tabs.pTabStops = &tabWidth;
  const int n = static_cast<int>(text.size());
  // The glyph buffer the documentation recommends: 1.5 times the characters, and 16.
  const int glyphs = n * 3 / 2 + 16;
  if (FAILED(uniscribe.stringAnalyse(dc, text.data(), n, glyphs, -1, kAnalyseFlags, fitWidth, nullptr, nullptr,
                                     nullptr, &tabs, nullptr, &ssa_))) {
    ssa_ = nullptr;
    return;
  }
  if (const SIZE* size = uniscribe.stringSize(ssa_)) width_ = size->cx;
  if (edges) {
    trailing_.resize(length_);
    leading_.resize(length_);
    for (int i = 0; i < n; ++i) {
      if (FAILED(uniscribe.stringCPtoX(ssa_, i, TRUE, &trailing_[i]))) trailing_[i] = 0;
      if (FAILED(uniscribe.stringCPtoX(ssa_, i, FALSE, &leading_[i]))) leading_[i] = 0;
    }
  }
  // Room for a width a glyph: Wine writes one for each glyph, not each character.
  logical_.resize(static_cast<std::size_t>(glyphs));
  if (FAILED(uniscribe.stringGetLogicalWidths(ssa_, logical_.data()))) {
    for (int i = 0; i < n; ++i) logical_[i] = edges ? std::abs(trailing_[i] - leading_[i]) : 0;
  }
  logical_.resize(length_);
  if (const SCRIPT_LOGATTR* attributes = uniscribe.stringLogAttr(ssa_)) {
    attributes_.assign(attributes, attributes + n);
  } else {
    attributes_.assign(length_, SCRIPT_LOGATTR{});
    for (auto& a : attributes_) a.fCharStop = 1;
  }
  // Some shaping engines offer a stop before a combining mark or inside a surrogate
  // pair; a caret there would split what is drawn as one character.
  std::vector<WORD> type3(length_);
  if (!::GetStringTypeW(CT_CTYPE3, text.data(), n, type3.data())) type3.assign(length_, 0);
  for (std::size_t i = 1; i < length_; ++i) {
    if (IsPairTail(text[i - 1], text[i]) || (type3[i] & (C3_NONSPACING | C3_ALPHA)) == C3_NONSPACING) attributes_[i].fCharStop = 0;
  }
}

ShapedRow::~ShapedRow() {
  if (ssa_ != nullptr) Uniscribe().stringFree(&ssa_);
}

int ShapedRow::XOf(std::size_t offset) const {
  // As the edit control places its caret: at the trailing edge of the character
  // before it, so that a caret after an Arabic word stands at its left.
  if (offset == 0 || trailing_.empty()) return 0;
  return trailing_[std::min(offset, length_) - 1];
}

std::size_t ShapedRow::OffsetAt(int x) const {
  if (x <= 0 || ssa_ == nullptr) return 0;
  if (x >= width_) return length_;
  int cp = 0, trailing = 0;
  if (FAILED(Uniscribe().stringXtoCP(ssa_, x, &cp, &trailing))) return length_;
  // In the trailing half of a cluster the caret goes after it, else before it.
  std::size_t offset = std::min<std::size_t>(static_cast<std::size_t>(std::max(0, cp)), length_);
  if (trailing != 0 && offset < length_) {
    do ++offset; while (!IsStop(offset));
  }
  while (!IsStop(offset)) --offset;
  return offset;
}

bool ShapedRow::IsStop(std::size_t offset) const {
  if (offset == 0 || offset >= length_) return true;
  return attributes_[offset].fCharStop != 0;
}

std::vector<std::pair<int, int>> ShapedRow::Spans(std::size_t from, std::size_t to) const {
  std::vector<std::pair<int, int>> spans;
  for (std::size_t i = from; i < std::min(to, length_); ++i) {
    const int left = std::min(leading_[i], trailing_[i]);
    const int right = std::max(leading_[i], trailing_[i]);
    spans.emplace_back(left, right);
  }
  std::sort(spans.begin(), spans.end());
  // Neighbours in visual order make one span.
  std::vector<std::pair<int, int>> merged;
  for (const auto& span : spans) {
    if (!merged.empty() && span.first <= merged.back().second) {
      merged.back().second = std::max(merged.back().second, span.second);
    } else {
      merged.push_back(span);
    }
  }
  return merged;
}

void ShapedRow::Draw(int x, int y, const RECT& clip, std::size_t selFrom, std::size_t selTo) const {
  if (ssa_ == nullptr) return;
  const int selMin = static_cast<int>(std::min(selFrom, length_));
  const int selMax = static_cast<int>(std::min(selTo, length_));
  // An empty selection is -1..-1 for ScriptStringOut; it draws the highlight itself,
  // in the order the glyphs stand. fDisabled would keep selected text in the text
  // colour; plain rows draw it in COLOR_HIGHLIGHTTEXT, enabled or not, and so does this.
  Uniscribe().stringOut(ssa_, x, y, ETO_CLIPPED, &clip, selMin < selMax ? selMin : 0, selMin < selMax ? selMax : 0,
                        FALSE);
}

std::size_t ShapedRow::FirstBreak(std::size_t from, std::size_t to, int width) const {
  to = std::min(to, length_);
  std::size_t lastBreak = from;
  int x = 0;
  for (std::size_t i = from; i < to; ++i) {
    const SCRIPT_LOGATTR& a = attributes_[i];
    if (i > from && IsSoftBreak(i)) lastBreak = i;
    // White space hangs past the edge, as in a row of plain text.
    if (a.fWhiteSpace || i == from || x + logical_[i] <= width) {
      x += logical_[i];
      continue;
    }
    if (lastBreak > from) return lastBreak;
    // Inside a word wider than the row: still never inside a cluster, and a row holds
    // at least one whole one.
    std::size_t at = i;
    while (at > from && !IsStop(at)) --at;
    if (at == from) at = NextStop(from);
    return at;
  }
  return to;
}

ComplexLines::ComplexLines() : dc_(::CreateCompatibleDC(nullptr)) {}

ComplexLines::~ComplexLines() {
  // A bitmap selected into a DC cannot be deleted.
  if (dc_ && originalBitmap_ != nullptr) ::SelectObject(dc_.get(), originalBitmap_);
}

void ComplexLines::Reset(HFONT font, int tabWidth) {
  rows_.clear();
  rowIndex_.clear();
  lines_.clear();
  lineIndex_.clear();
  tabWidth_ = std::max(1, tabWidth);
  font_ = font;
}

void ComplexLines::SetWrapWidth(int width) {
  if (width == wrapWidth_) return;
  wrapWidth_ = width;
  lines_.clear();
  lineIndex_.clear();
}

const ShapedRow* ComplexLines::Shaped(const std::wstring& text) {
  if (const auto found = rowIndex_.find(text); found != rowIndex_.end()) {
    rows_.splice(rows_.begin(), rows_, found->second);
    return found->second->second.get();
  }
  if (!dc_) {
    shapingFailed_ = true;
    return nullptr;
  }
  // The font is selected only while in use: a font selected into a DC cannot be
  // deleted, and it belongs to whoever sent WM_SETFONT.
  const Selected font(dc_.get(), font_);
  auto row = std::make_unique<ShapedRow>(dc_.get(), text, tabWidth_, 0);
  if (!row->ok()) {
    shapingFailed_ = true;
    return nullptr;
  }
  rows_.emplace_front(text, std::move(row));
  try {
    rowIndex_.emplace(text, rows_.begin());
  } catch (...) {
    rows_.pop_front();
    throw;
  }
  if (rows_.size() > kRowsKept) {
    rowIndex_.erase(rows_.back().first);
    rows_.pop_back();
  }
  return rows_.front().second.get();
}

bool ComplexLines::Fits(const std::wstring& text, std::size_t length) {
  const ShapedRow* row = Shaped(text.substr(0, length));
  return row == nullptr || row->Width() <= wrapWidth_;
}

std::vector<std::uint32_t> ComplexLines::Breaks(const std::wstring& line) {
  // Each row is shaped on its own, as it is drawn; a row ends at the last soft break
  // where the shaped row still fits.
  std::vector<std::uint32_t> starts;
  std::size_t rowStart = 0;
  while (rowStart < line.size()) {
    const std::wstring rest = line.substr(rowStart);
    const ShapedRow* shaped = Shaped(rest);
    if (shaped == nullptr || shaped->Width() <= wrapWidth_) break;
    std::size_t end = shaped->FirstBreak(wrapWidth_);
    if (shaped->IsSoftBreak(end)) {
      std::size_t next = end + 1;
      while (next < rest.size() && !shaped->IsSoftBreak(next)) ++next;
      while (next < rest.size() && Fits(rest, next)) {
        end = next;
        do ++next; while (next < rest.size() && !shaped->IsSoftBreak(next));
      }
      std::size_t earlier = end;
      while (earlier > 0 && !Fits(rest, earlier)) {
        do --earlier; while (earlier > 0 && !shaped->IsSoftBreak(earlier));
      }
      if (earlier > 0) end = earlier;
    }
    end = std::max(end, shaped->NextStop(0));
    rowStart += end;
    if (rowStart < line.size()) starts.push_back(static_cast<std::uint32_t>(rowStart));
  }
  return starts;
}

bool ComplexLines::Fits(const ChunkedText& text, std::size_t from, std::size_t to) {
  const ShapedRow* row = Shaped(text.Slice(from, to - from));
  return row == nullptr || row->Width() <= wrapWidth_;
}

ComplexLines::Segment ComplexLines::SegmentAt(const ChunkedText& text, std::size_t start, std::size_t lineEnd,
                                              bool ended) {
  Segment segment;
  segment.start = start;
  const std::size_t want = start + kSegment;
  if (lineEnd <= want + kSegmentSlack) {
    // The rest of the line as far as it has come: settled only once the line ends.
    segment.end = segment.decided = lineEnd;
    segment.lineEnd = true;
    segment.settled = ended;
    return segment;
  }
  // Cut where a word starts, so that shaping on either side is as in the whole line.
  std::size_t cut = want + kSegmentSlack;
  for (std::size_t q = want; q < want + kSegmentSlack; ++q) {
    if (ClassOf(text[q - 1]) == CharClass::kSpace && ClassOf(text[q]) != CharClass::kSpace) {
      cut = q;
      break;
    }
  }
  if (IsPairTail(text[cut - 1], text[cut])) --cut;
  segment.end = cut;
  segment.decided = cut - kSegmentMargin;
  segment.settled = true;
  return segment;
}

std::size_t ComplexLines::RowEndIn(const ChunkedText& text, const Segment& segment, const ShapedRow& shaped,
                                   std::size_t rowStart) {
  // As Breaks lays a row, offsets from the segment's start, looking only before
  // `decided` unless the segment reaches the line's end.
  const bool fresh = rowStart == segment.start;
  const std::size_t base = segment.start, from = rowStart - base, to = segment.decided - base;
  std::size_t end = shaped.FirstBreak(from, to, wrapWidth_);
  if (end >= to) {
    if (segment.lineEnd) return segment.end;  // the last row
    if (!fresh) return 0;
    // More than a segment fits a row: the row ends at the segment's last break.
    end = to - 1;
    while (end > from && !shaped.IsSoftBreak(end)) --end;
    if (end > from) return base + end;
    // No break in it at all: the row is cut where the segment stops deciding, but
    // never between the halves of a pair or inside another cluster.
    end = to;
    while (end > from && !shaped.IsStop(end)) --end;
    return base + (end > from ? end : shaped.NextStop(from));
  }
  if (shaped.IsSoftBreak(end)) {
    const auto nextBreak = [&](std::size_t at) {
      do ++at; while (at < to && !shaped.IsSoftBreak(at));
      return at;
    };
    std::size_t next = nextBreak(end);
    while (next < to && Fits(text, rowStart, base + next)) {
      end = next;
      next = nextBreak(next);
    }
    // The row might go on past what the segment decides.
    if (next >= to && !segment.lineEnd && !fresh && Fits(text, rowStart, segment.decided)) return 0;
    std::size_t earlier = end;
    while (earlier > from && !Fits(text, rowStart, base + earlier)) {
      do --earlier; while (earlier > from && !shaped.IsSoftBreak(earlier));
    }
    if (earlier > from) end = earlier;
  }
  return base + std::max(end, shaped.NextStop(from));
}

std::size_t ComplexLines::WrapLong(const ChunkedText& text, std::size_t from, std::size_t lineEnd, bool ended,
                                   std::vector<std::uint32_t>& starts) {
  std::size_t rowStart = from;
  while (rowStart < lineEnd) {
    const Segment segment = SegmentAt(text, rowStart, lineEnd, ended);
    // Shaped for wrapping only, and not kept: only its rows are drawn.
    std::unique_ptr<ShapedRow> shaped;
    if (dc_) {
      const Selected font(dc_.get(), font_);
      shaped = std::make_unique<ShapedRow>(dc_.get(), text.Slice(segment.start, segment.end - segment.start),
                                           tabWidth_, 0, false);
    }
    if (!shaped || !shaped->ok()) {
      shapingFailed_ = true;
      return segment.start;
    }
    while (rowStart < segment.end) {
      const std::size_t next = RowEndIn(text, segment, *shaped, rowStart);
      if (next == 0) break;  // a new segment from this row on
      rowStart = next;
      if (rowStart < lineEnd) starts.push_back(static_cast<std::uint32_t>(rowStart));
    }
    // The rows of a segment that more text may change are laid again with it.
    if (!segment.settled) return segment.start;
  }
  return rowStart;
}

std::optional<std::size_t> ComplexLines::Wrap(const ChunkedText& text, std::size_t lineStart, std::size_t from,
                                              std::size_t lineEnd, bool ended, std::vector<std::uint32_t>& starts) {
  if (lineEnd <= lineStart) return lineStart;
  shapingFailed_ = false;
  std::size_t resume = lineStart;
  if (lineEnd - lineStart <= kWholeLine) {
    WrapWhole(text, lineStart, lineEnd, starts);
  } else {
    resume = WrapLong(text, std::max(from, lineStart), lineEnd, ended, starts);
  }
  if (shapingFailed_) return std::nullopt;
  return resume;
}

void ComplexLines::WrapWhole(const ChunkedText& text, std::size_t start, std::size_t end,
                             std::vector<std::uint32_t>& starts) {
  std::wstring line = text.Slice(start, end - start);
  auto found = lineIndex_.find(line);
  if (found == lineIndex_.end()) {
    std::vector<std::uint32_t> breaks = Breaks(line);
    if (shapingFailed_) return;  // not kept: shaping may work another time
    lines_.emplace_front(line, std::move(breaks));
    try {
      found = lineIndex_.emplace(std::move(line), lines_.begin()).first;
    } catch (...) {
      lines_.pop_front();
      throw;
    }
    if (lines_.size() > kLinesKept) {
      lineIndex_.erase(lines_.back().first);
      lines_.pop_back();
    }
  } else {
    lines_.splice(lines_.begin(), lines_, found->second);
  }
  for (const std::uint32_t offset : found->second->second) starts.push_back(static_cast<std::uint32_t>(start + offset));
}

const ShapedRow* ComplexLines::Row(const ChunkedText& text, std::size_t start, std::size_t end) {
  if (end <= start) return nullptr;
  return Shaped(text.Slice(start, end - start));
}

void ComplexLines::Draw(const ShapedRow& row, HDC dc, int x, int y, int right, int height, std::size_t selFrom,
                        std::size_t selTo) {
  if (!dc_ || right <= 0 || height <= 0) return;
  // ScriptStringOut draws into the DC the row was shaped in, so the row is drawn on a
  // band of that DC and copied.
  if (bandSize_.cx < right || bandSize_.cy < height) {
    const SIZE size{std::max<LONG>(right, bandSize_.cx), std::max<LONG>(height, bandSize_.cy)};
    Bitmap band(::CreateCompatibleBitmap(dc, size.cx, size.cy));
    if (!band) return;
    const HGDIOBJ old = ::SelectObject(dc_.get(), band.get());
    if (old == nullptr || old == HGDI_ERROR) return;
    if (originalBitmap_ == nullptr) originalBitmap_ = old;
    band_ = std::move(band);
    bandSize_ = size;
  }
  ::SetTextColor(dc_.get(), ::GetTextColor(dc));
  ::SetBkColor(dc_.get(), ::GetBkColor(dc));
  ::SetBkMode(dc_.get(), OPAQUE);
  const RECT band{0, 0, right, height};
  ::ExtTextOutW(dc_.get(), 0, 0, ETO_OPAQUE, &band, nullptr, 0, nullptr);
  RECT clip{x, 0, right, height};
  const Selected font(dc_.get(), font_);
  row.Draw(x, 0, clip, selFrom, selTo);
  ::BitBlt(dc, 0, y, right, height, dc_.get(), 0, 0, SRCCOPY);
}

std::size_t ComplexLines::BytesHeld() const noexcept {
  std::size_t bytes = 0;
  for (const auto& [text, row] : rows_) bytes += text.capacity() * sizeof(wchar_t) + row->Length() * 24;
  for (const auto& [text, breaks] : lines_) bytes += text.capacity() * sizeof(wchar_t) + breaks.capacity() * 4;
  return bytes;
}

}  // namespace vexlo
