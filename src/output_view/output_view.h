#pragma once
// The output boxes' view: a read-only, multi-line view for a tool's output that
// answers the messages a program sends a multi-line edit control with the edit
// control's results, at the same cost however much it holds. This is what the
// window needs of it; the view itself is output_view_impl.h, private to the module.
//
// The window text given at creation is the view's accessible name; its content
// starts empty and is what WM_SETTEXT and WM_GETTEXT carry. kAppendOutputMessage
// (common/app_messages.h) appends wParam characters from lParam at the end: while
// the view follows its end, the caret goes to the new end and the end into view;
// otherwise the view, the selection and the caret stay where the user put them. It
// returns TRUE when the view follows, and notifies the parent of nothing.
// kAppendTimedOutputMessage does the same with the TimedOutput at lParam, whose read
// times the view keeps with the text.

#include <windows.h>

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "common/app_messages.h"
#include "common/window_base.h"

namespace vexlo {

class TextStore;
struct KeptText;
struct ViewGroupSettings;

inline constexpr wchar_t kOutputViewClass[] = L"VexloOutputView";

[[nodiscard]] bool RegisterOutputView(HINSTANCE instance);
// The procedure that runs every view: views are created for it, in kOutputViewClass.
[[nodiscard]] WindowBase& OutputViewProcedure();
[[nodiscard]] bool IsOutputView(HWND hwnd) noexcept;

// How Save As asks for a path and shows a failure: the system's save dialog and a
// message box, unless replaced (the tests replace them).
struct SaveAsUi {
  std::function<std::optional<std::wstring>(HWND owner, const std::wstring& proposed)> choosePath;
  std::function<void(HWND owner, const std::wstring& text)> showFailure;
};
// False for a window that is no output view.
bool UseSaveAsUi(HWND view, SaveAsUi ui);

// Output views made together, which hold each piece appended to all of them once:
// the window's three output boxes, and the outputs kept from them.
class OutputViews {
 public:
  OutputViews();
  ~OutputViews();
  OutputViews(const OutputViews&) = delete;
  OutputViews& operator=(const OutputViews&) = delete;

  // Pieces appended to the view from now on go into the group's storage; a window
  // that is no output view is left as it is.
  void Add(HWND view);
  // "Show Times" of the views' menu: each line's read time in a gutter at the left of
  // every view of the group, and in front of each line that Save As writes.
  void ShowTimes(bool shown);
  [[nodiscard]] bool TimesShown() const noexcept;
  // "Fixed-Width Font" of the menu: every view of the group in a fixed-width font of
  // the size of the font the window gave it.
  void UseFixedFont(bool on);

  // What the group's storage holds, for the tests and the benchmark: where its text
  // ends, and what it still holds of it in chunks of kChunkSize characters.
  static constexpr std::size_t kChunkSize = std::size_t{1} << 16;
  struct Held {
    std::size_t end;
    std::size_t chunks;
    std::size_t firstHeld;  // the first character still held
    std::size_t bytes;      // the text's and its read times'
    std::size_t stamps;     // read times held
    std::size_t stampBytes;
  };
  [[nodiscard]] Held StorageHeld() const noexcept;

 private:
  std::shared_ptr<TextStore> store_;
  std::shared_ptr<ViewGroupSettings> settings_;
};

// A kept copy of an output box's text, which the box can show again later. Taken
// from an output view it refers to the view's storage and rows instead of copying
// them, so keeping and showing again cost the same at any size; it reads as a string
// wherever one is needed.
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

  [[nodiscard]] std::wstring str() const;
  [[nodiscard]] std::size_t size() const noexcept;
  [[nodiscard]] bool empty() const noexcept { return size() == 0; }
  void clear() noexcept { kept_.reset(); }
  friend bool operator==(const KeptOutput& kept, std::wstring_view text);

 private:
  explicit KeptOutput(std::shared_ptr<const KeptText> kept) noexcept : kept_(std::move(kept)) {}
  // Never changed once made, so copies may share it; null: nothing kept.
  std::shared_ptr<const KeptText> kept_;
};

}  // namespace vexlo
