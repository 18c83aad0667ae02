// Kept copies of an output box's text, and the views' side of them.
#include "output_view/kept_output.h"

#include "output_view/output_view.h"

namespace vexlo {
namespace {

std::wstring WindowTextOf(HWND hwnd) {
  std::wstring text(static_cast<std::size_t>(std::max(0, ::GetWindowTextLengthW(hwnd))) + 1, L'\0');
  text.resize(static_cast<std::size_t>(std::max(0, ::GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size())))));
  return text;
}

}  // namespace

KeptOutput& KeptOutput::operator=(std::wstring_view text) {
  ChunkedText own;
  own.Append(text.data(), text.size());
  text_ = std::move(own);
  rows_.reset();
  return *this;
}

void KeptOutput::clear() noexcept {
  text_.Truncate(0);
  rows_.reset();
}

KeptOutput KeptOutput::Of(HWND box) {
  if (const OutputView* view = OutputView::From(box)) return view->Keep();
  KeptOutput kept;
  kept = WindowTextOf(box);
  return kept;
}

void KeptOutput::WriteInto(HWND box) const {
  if (OutputView* view = OutputView::From(box)) {
    view->Restore(*this);
    return;
  }
  ::SetWindowTextW(box, str().c_str());
}

KeptOutput OutputView::Keep() const {
  KeptOutput kept;
  kept.text_ = text_;
  // Rows laid out for the whole text go with it; without them, showing it again lays
  // it out anew.
  if (layoutWidth_ >= 0 && layout_.LaidOut() == text_.size()) {
    kept.rows_.emplace(KeptOutput::Rows{layout_, identity_, fontGeneration_, layoutWidth_});
  }
  return kept;
}

void OutputView::Restore(const KeptOutput& kept) {
  const bool rowsFit = kept.rows_ && kept.rows_->view == identity_ && kept.rows_->fontGeneration == fontGeneration_ &&
                       kept.rows_->width == layoutWidth_;
  // What may run out of memory comes before anything changes.
  ChunkedText text = kept.text_;
  const auto selectionBefore = std::make_pair(anchor_, active_);
  std::optional<RowLayout> rows;
  if (rowsFit) rows.emplace(kept.rows_->layout);
  text_ = std::move(text);
  if (rows) {
    layout_ = std::move(*rows);
  } else {
    layout_.Truncate(0);
    if (layoutWidth_ >= 0) layout_.Extend(text_, widths_);
  }
  // The rest is what WM_SETTEXT does.
  anchor_ = active_ = text_.size();
  caretAfterWrap_ = false;
  ::InvalidateRect(hwnd_, nullptr, FALSE);
  SetSelection(0, 0, false);
  ScrollTo(0);
  follows_ = true;
  ReportChange(false, selectionBefore);
}

}  // namespace vexlo
