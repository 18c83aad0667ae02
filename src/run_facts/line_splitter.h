#pragma once
// Cuts a run's output into lines as its pieces arrive. A line ends at CR, LF or CR LF,
// even when a piece ends between the CR and the LF; it starts where its first
// character is in the box's text, at the time of the piece that held that character.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "run_facts/run_facts.h"

namespace vexlo {

struct SplitLine {
  std::wstring_view text;  // at most kKeptChars of it
  std::uint32_t start = 0;
  std::uint32_t length = 0;
  FactTime time = 0;
};

class LineSplitter {
 public:
  // No tool's line that says something comes near this; longer ones are cut.
  static constexpr std::size_t kKeptChars = 1024;

  template <typename OnLine>
  void Split(std::wstring_view piece, std::uint32_t offset, FactTime time, OnLine&& onLine) {
    std::size_t at = 0;
    if (afterCr_ && !piece.empty()) {
      if (piece[0] == L'\n') at = 1;
      afterCr_ = false;
    }
    if (dropping_) {
      at = piece.find_first_of(L"\r\n", at);
      if (at == std::wstring_view::npos) return;
      dropping_ = false;
      afterCr_ = piece[at] == L'\r';
      if (++at < piece.size() && afterCr_) {
        if (piece[at] == L'\n') ++at;
        afterCr_ = false;
      }
    }
    while (at < piece.size()) {
      const std::size_t lineEnd = piece.find_first_of(L"\r\n", at);
      const std::size_t textEnd = lineEnd == std::wstring_view::npos ? piece.size() : lineEnd;
      // An empty line starts, and ends, at its line end.
      Take(piece.substr(at, textEnd - at), offset + static_cast<std::uint32_t>(at), time);
      if (lineEnd == std::wstring_view::npos) return;
      onLine(Line());
      Reset();
      at = lineEnd + 1;
      if (piece[lineEnd] == L'\r') {
        if (at == piece.size()) afterCr_ = true;
        else if (piece[at] == L'\n') ++at;
      }
    }
  }
  // The last line, if it had no line end.
  template <typename OnLine>
  void Flush(OnLine&& onLine) {
    if (open_) onLine(Line());
    Reset();
  }
  void Reset() noexcept {
    text_.clear();
    open_ = false;
    afterCr_ = false;
    dropping_ = false;
    length_ = 0;
  }
  // The text so far is gone from the box: the rest of a line begun in it is no line.
  void DropText() noexcept {
    const bool inLine = open_;
    const bool afterCr = afterCr_;
    Reset();
    dropping_ = inLine;
    afterCr_ = afterCr;
  }

 private:
  void Take(std::wstring_view part, std::uint32_t start, FactTime time) {
    if (!open_) {
      open_ = true;
      start_ = start;
      time_ = time;
    }
    if (text_.size() < kKeptChars) text_.append(part.substr(0, kKeptChars - text_.size()));
    length_ += static_cast<std::uint32_t>(part.size());
  }
  [[nodiscard]] SplitLine Line() const { return SplitLine{text_, start_, length_, time_}; }

  std::wstring text_;
  bool open_ = false;
  bool afterCr_ = false;
  bool dropping_ = false;
  std::uint32_t start_ = 0;
  std::uint32_t length_ = 0;
  FactTime time_ = 0;
};

}  // namespace vexlo
