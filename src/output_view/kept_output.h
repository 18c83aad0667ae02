#pragma once
// A kept copy of an output box's text, which the box can show again later. Taken
// from an output view it refers to the view's storage and rows instead of copying
// them, so keeping and showing again cost the same at any size; it reads as a string
// wherever one is needed.

#include <windows.h>

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "output_view/text_layout.h"

namespace vexlo {

class OutputView;

class KeptOutput {
 public:
  KeptOutput() = default;
  // Text from elsewhere, in storage of its own.
  KeptOutput& operator=(std::wstring_view text);

  // The box's text as it is now: shared with an output view, copied from any other
  // window.
  [[nodiscard]] static KeptOutput Of(HWND box);
  // Sets the box's text to it as WM_SETTEXT does.
  void WriteInto(HWND box) const;

  [[nodiscard]] std::wstring str() const { return text_.Slice(0, text_.size()); }
  [[nodiscard]] std::size_t size() const noexcept { return text_.size(); }
  [[nodiscard]] bool empty() const noexcept { return text_.size() == 0; }
  void clear() noexcept;
  friend bool operator==(const KeptOutput& kept, std::wstring_view text) {
    if (kept.size() != text.size()) return false;
    std::size_t at = 0;
    bool same = true;
    kept.text_.ForEachRun(0, kept.size(), [&](const wchar_t* run, std::size_t n) {
      same = same && text.compare(at, n, std::wstring_view(run, n)) == 0;
      at += n;
    });
    return same;
  }

 private:
  friend class OutputView;
  // The rows as the view laid them out, and what they were laid out for: the view,
  // its font and its wrap width.
  struct Rows {
    RowLayout layout;
    std::shared_ptr<const int> view;
    unsigned fontGeneration;
    int width;
  };

  ChunkedText text_;
  std::optional<Rows> rows_;
};

}  // namespace vexlo
