#include "output_view/text_layout.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "output_view/unicode_class.h"

namespace vexlo {

void RowStarts::push_back(std::uint32_t start) {
  const std::size_t block = size_ >> kBlockBits;
  if (block == blocks_.size()) {
    blocks_.reserve(block + 1);
    blocks_.push_back(std::make_shared<Block>());
  } else if (blocks_[block].use_count() > 1) {
    // Shared with a copy: the copy keeps the rows it has.
    blocks_[block] = std::make_shared<Block>(*blocks_[block]);
  }
  (*blocks_[block])[size_ & (kBlockSize - 1)] = start;
  ++size_;
}

void RowStarts::resize(std::size_t size) noexcept {
  if (size >= size_) return;
  size_ = size;
  blocks_.resize((size_ + kBlockSize - 1) >> kBlockBits);
}

std::size_t RowStarts::UpperBound(std::size_t position) const noexcept {
  // The last block that starts at or before the position, then within it.
  const auto block = std::upper_bound(blocks_.begin(), blocks_.begin() + static_cast<std::ptrdiff_t>((size_ + kBlockSize - 1) >> kBlockBits), position,
                                      [](std::size_t p, const std::shared_ptr<Block>& b) { return p < (*b)[0]; });
  if (block == blocks_.begin()) return 0;
  const std::size_t first = static_cast<std::size_t>(block - blocks_.begin() - 1) << kBlockBits;
  const std::size_t count = std::min(kBlockSize, size_ - first);
  const Block& rows = **(block - 1);
  return first + static_cast<std::size_t>(std::upper_bound(rows.begin(), rows.begin() + static_cast<std::ptrdiff_t>(count), position) - rows.begin());
}

void CharWidths::Reset(Measure measure, int fallbackWidth, Classify classify) {
  measure_ = std::move(measure);
  classify_ = std::move(classify);
  fallbackWidth_ = std::max(1, fallbackWidth);
  for (auto& page : pages_) page.reset();
}

const CharWidths::Page& CharWidths::Fill(unsigned page) {
  std::array<int, 256> measured{};
  const bool ok = measure_ && measure_(page, measured.data());
  auto filled = std::make_unique<Page>();
  for (unsigned i = 0; i < 256; ++i) {
    const unsigned c = page * 256 + i;
    // Control characters are not drawn: a lone CR or LF takes no room.
    const bool control = c < 0x20 || c == 0x7F;
    const int w = control ? 0 : ok ? measured[i] : fallbackWidth_;
    filled->widths[i] = static_cast<std::uint16_t>(std::clamp(w, 0, 0xFFFF));
  }
  filled->complex = {};
  if (classify_) classify_(page, filled->complex.data());
  filled->anyComplex = std::any_of(filled->complex.begin(), filled->complex.end(), [](std::uint64_t b) { return b != 0; });
  pages_[page] = std::move(filled);
  return *pages_[page];
}

void RowLayout::Reset(int wrapWidth, int tabWidth, std::vector<int> tabStops, WrapComplex wrapComplex) {
  wrapComplex_ = std::move(wrapComplex);
  lineStart_ = 0;
  lineRow_ = 0;
  complexLine_ = false;
  sawComplex_ = false;
  plainLine_ = false;
  findLineStart_ = false;
  rows_.resize(1);
  wrapWidth_ = wrapWidth;
  tabWidth_ = std::max(1, tabWidth);
  tabStops_ = std::move(tabStops);
  next_ = 0;
  x_ = 0;
  wordStart_ = 0;
  xAtWord_ = 0;
  lastWidth_ = 0;
  afterSpace_ = false;
  pendingCr_ = false;
}

void RowLayout::NewRow(std::size_t start) {
  rows_.push_back(static_cast<std::uint32_t>(start));
  wordStart_ = start;  // no word start past the row's own
}

void RowLayout::Visible(std::size_t position, int width, bool lowSurrogate) {
  if (afterSpace_) {
    wordStart_ = position;
    xAtWord_ = x_;
    afterSpace_ = false;
  }
  // A surrogate pair breaks as one: where a row would start at its second half, it
  // starts at its first.
  const std::size_t unit = lowSurrogate ? position - 1 : position;
  const int xInUnit = lowSurrogate ? lastWidth_ : 0;
  // A row holds at least one character, however narrow the view.
  const auto overflows = [&] { return x_ + width > wrapWidth_ && unit > rows_.back(); };
  if (overflows()) {
    if (wordStart_ > rows_.back()) {
      const int moved = x_ - xAtWord_;
      NewRow(wordStart_);
      x_ = moved;
    } else {
      NewRow(unit);
      x_ = xInUnit;
    }
    // A word wider than a whole row is broken where it overflows.
    if (overflows()) {
      NewRow(unit);
      x_ = xInUnit;
    }
  }
  x_ += width;
  lastWidth_ = width;
}

void RowLayout::Extend(const ChunkedText& text, CharWidths& widths) {
  // Out of memory part way, the rows go back to where they were, so that a later
  // call lays out the same text again from the same state.
  const std::size_t rows = rows_.size();
  const std::size_t next = next_, wordStart = wordStart_;
  const int x = x_, xAtWord = xAtWord_, lastWidth = lastWidth_;
  const bool afterSpace = afterSpace_, pendingCr = pendingCr_;
  try {
    ExtendFrom(text, widths);
  } catch (...) {
    if (sawComplex_) {
      // A complex line takes back rows it had; the line is laid out anew instead.
      RestartLine();
      throw;
    }
    rows_.resize(rows);
    next_ = next;
    wordStart_ = wordStart;
    x_ = x;
    xAtWord_ = xAtWord;
    lastWidth_ = lastWidth;
    afterSpace_ = afterSpace;
    pendingCr_ = pendingCr;
    throw;
  }
}

void RowLayout::RestartLine() {
  rows_.resize(lineRow_ + 1);
  next_ = lineStart_;
  StartRowAtNext();
}

void RowLayout::FindLineStart(const ChunkedText& text) {
  // The rows from the start of the line are laid out again: it may be complex.
  std::size_t start = next_;
  while (start >= 2 && !(text[start - 2] == L'\r' && text[start - 1] == L'\n')) --start;
  if (start < 2) start = 0;
  lineStart_ = start;
  lineRow_ = RowOf(start);
  findLineStart_ = false;
  RestartLine();
}

std::size_t RowLayout::WrapComplexLine(const ChunkedText& text, std::size_t from) {
  const std::size_t end = text.size();
  std::size_t lineEnd = end;
  bool ended = false;
  for (std::size_t q = from; q + 1 < end; ++q) {
    if (text[q] == L'\r' && text[q + 1] == L'\n') {
      lineEnd = q;
      ended = true;
      break;
    }
  }
  // A CR at the very end may yet become CR LF.
  if (!ended && end > lineStart_ && text[end - 1] == L'\r') lineEnd = end - 1;
  // A line that grows is laid again only from the rows that the engine says more of
  // it may change.
  if (!complexLine_) complexResume_ = lineStart_;
  wrapped_.clear();
  const std::optional<std::size_t> resume = wrapComplex_(lineStart_, complexResume_, lineEnd, ended, wrapped_);
  if (!resume) {
    // Rows the engine could not tell are not guessed: the whole line is laid out by
    // the width tables instead, as plain text is, and goes on so until it ends.
    RestartLine();
    plainLine_ = true;
    return lineStart_;
  }
  rows_.resize(RowOf(complexResume_) + 1);
  for (const std::uint32_t start : wrapped_) {
    if (start > rows_.back() && start < lineEnd) NewRow(start);
  }
  complexResume_ = rows_[RowOf(std::max(*resume, lineStart_))];
  complexLine_ = !ended;
  if (!ended) return end;
  NewRow(lineEnd + 2);
  lineStart_ = lineEnd + 2;
  lineRow_ = rows_.size() - 1;
  x_ = 0;
  lastWidth_ = 0;
  afterSpace_ = false;
  pendingCr_ = false;
  return lineEnd + 2;
}

void RowLayout::ExtendFrom(const ChunkedText& text, CharWidths& widths) {
  const std::size_t end = text.size();
  if (findLineStart_) FindLineStart(text);
  std::size_t p = next_;
  // The open complex line is wrapped again with what arrived; its CR LF may have
  // begun at the last character.
  if (complexLine_) p = WrapComplexLine(text, std::max(lineStart_, next_ > 0 ? next_ - 1 : 0));
  while (p < end) {
    // A complex character hands its whole line to the engine; plain text goes on
    // run by run from where that line ends.
    bool complex = false;
    wchar_t before = p > 0 ? text[p - 1] : L'\0';
    text.ForEachRun(p, end - p, [&](const wchar_t* run, std::size_t n) {
      for (std::size_t i = 0; i < n && !complex; ++i) {
        if (Next(p, run[i], before, widths)) {
          complex = true;
        } else {
          before = run[i];
          ++p;
        }
      }
    });
    if (!complex) break;
    sawComplex_ = true;
    p = WrapComplexLine(text, p);
  }
  next_ = end;
}

bool RowLayout::Next(std::size_t p, wchar_t c, wchar_t before, CharWidths& widths) {
  if (pendingCr_) {
    pendingCr_ = false;
    if (c == L'\n') {
      NewRow(p + 1);
      lineStart_ = p + 1;
      lineRow_ = rows_.size() - 1;
      x_ = 0;
      afterSpace_ = false;
      plainLine_ = false;
      return false;
    }
    Visible(p - 1, 0, false);  // a lone CR is a character of its own
  }
  if (c == L'\r') {
    pendingCr_ = true;
  } else if (c == L' ') {
    x_ += widths(c);
    afterSpace_ = true;
  } else if (c == L'\t') {
    x_ += TabAdvance(x_);
    afterSpace_ = true;
  } else if (wrapComplex_ && !plainLine_ && widths.IsComplex(c)) {
    return true;
  } else {
    const bool low = p > 0 && IsPairTail(before, c);
    Visible(p, widths(c), low);
  }
  return false;
}

void RowLayout::Truncate(std::size_t size) {
  if (size >= next_) return;
  // The row before the cut broke where some character past its end overflowed; that
  // character may be gone now, so that row is laid out again too.
  std::size_t row = RowOf(size);
  if (row > 0) --row;
  rows_.resize(row + 1);
  next_ = rows_.back();
  StartRowAtNext();
  // The line the cut is in may turn out complex, and a complex line is wrapped whole.
  lineStart_ = next_;
  lineRow_ = rows_.size() - 1;
  findLineStart_ = static_cast<bool>(wrapComplex_);
}

std::size_t RowLayout::RowOf(std::size_t position) const noexcept { return rows_.UpperBound(position) - 1; }

void RowLayout::StartRowAtNext() noexcept {
  x_ = 0;
  wordStart_ = next_;
  xAtWord_ = 0;
  lastWidth_ = 0;
  afterSpace_ = false;
  pendingCr_ = false;
  complexLine_ = false;
  plainLine_ = false;
}

}  // namespace vexlo
