// Text held once: the views that share a store, kept copies of a box's text, and the
// views' side of them.
#include "output_view/kept_output.h"

#include "output_view/output_view.h"
#include "output_view/output_view_impl.h"

namespace vexlo {
namespace {

std::wstring WindowTextOf(HWND hwnd) {
  std::wstring text(static_cast<std::size_t>(std::max(0, ::GetWindowTextLengthW(hwnd))) + 1, L'\0');
  text.resize(static_cast<std::size_t>(std::max(0, ::GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size())))));
  return text;
}

}  // namespace

static_assert(OutputViews::kChunkSize == TextStore::kChunkSize);

OutputViews::OutputViews()
    : store_(std::make_shared<TextStore>()), settings_(std::make_shared<ViewGroupSettings>()) {}

OutputViews::~OutputViews() = default;

void OutputViews::Add(HWND view) {
  if (OutputView* added = OutputView::From(view)) {
    added->ShareStorage(store_);
    added->JoinGroup(settings_);
  }
}

void OutputViews::ShowTimes(bool shown) { settings_->ShowTimes(shown); }

bool OutputViews::TimesShown() const noexcept { return settings_->showTimes; }

void OutputViews::UseFixedFont(bool on) { settings_->UseFixedFont(on); }

void ViewGroupSettings::ShowTimes(bool shown) {
  showTimes = shown;
  for (const HWND view : views) {
    if (OutputView* member = OutputView::From(view)) member->ApplyGroupSettings();
  }
}

OutputViews::Held OutputViews::StorageHeld() const noexcept {
  return {store_->End(),       store_->ChunksHeld(),       store_->FirstHeld(),
          store_->BytesHeld(), store_->Stamps().Count(), store_->Stamps().BytesHeld()};
}

KeptOutput& KeptOutput::operator=(std::wstring_view text) {
  auto own = std::make_shared<KeptText>();
  own->text.Append(text.data(), text.size());
  kept_ = std::move(own);
  return *this;
}

std::wstring KeptOutput::str() const { return kept_ ? kept_->text.Slice(0, kept_->text.size()) : std::wstring(); }

std::size_t KeptOutput::size() const noexcept { return kept_ ? kept_->text.size() : 0; }

bool operator==(const KeptOutput& kept, std::wstring_view text) {
  if (kept.size() != text.size()) return false;
  if (!kept.kept_) return true;
  std::size_t at = 0;
  bool same = true;
  kept.kept_->text.ForEachRun(0, kept.size(), [&](const wchar_t* run, std::size_t n) {
    same = same && text.compare(at, n, std::wstring_view(run, n)) == 0;
    at += n;
  });
  return same;
}

KeptOutput KeptOutput::Of(HWND box) {
  if (const OutputView* view = OutputView::From(box)) return KeptOutput(view->Keep());
  KeptOutput kept;
  kept = WindowTextOf(box);
  return kept;
}

void KeptOutput::WriteInto(HWND box) const {
  if (OutputView* view = OutputView::From(box)) {
    view->Restore(kept_ ? *kept_ : KeptText{});
    return;
  }
  ::SetWindowTextW(box, str().c_str());
}

std::shared_ptr<const KeptText> OutputView::Keep() const {
  auto kept = std::make_shared<KeptText>();
  kept->text = text_;
  // Rows laid out for the whole text go with it; without them, showing it again lays
  // it out anew.
  if (layoutWidth_ >= 0 && layout_.LaidOut() == text_.size()) {
    kept->rows.emplace(KeptText::Rows{layout_, identity_, fontGeneration_, layoutWidth_});
  }
  return kept;
}

void OutputView::Restore(const KeptText& kept) {
  const bool rowsFit = kept.rows && kept.rows->view == identity_ && kept.rows->fontGeneration == fontGeneration_ &&
                       kept.rows->width == layoutWidth_;
  // What may run out of memory comes before anything changes.
  ChunkedText text = kept.text;
  const auto selectionBefore = std::make_pair(anchor_, active_);
  std::optional<RowLayout> rows;
  if (rowsFit) rows.emplace(kept.rows->layout);
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
