#pragma once
// What UI Automation reads from the view, and the two things it may do there. The
// provider and its text ranges see the view only through this, so they never depend
// on the window class, and the window class never on them beyond its owner of the
// provider (output_view_uia.h).
//
// Reading may lay out rows not yet laid out; that is why most calls are not const.

#include <windows.h>

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace vexlo {

class TextSource {
 public:
  [[nodiscard]] virtual HWND hwnd() const noexcept = 0;
  // The accessible name.
  [[nodiscard]] virtual const std::wstring& Name() const noexcept = 0;

  [[nodiscard]] virtual std::size_t Length() const noexcept = 0;
  [[nodiscard]] virtual wchar_t CharAt(std::size_t position) const noexcept = 0;
  [[nodiscard]] virtual std::wstring Slice(std::size_t from, std::size_t count) const = 0;
  // Ordered: first <= second.
  [[nodiscard]] virtual std::pair<std::size_t, std::size_t> Selection() const noexcept = 0;

  [[nodiscard]] virtual std::size_t RowCount() = 0;
  [[nodiscard]] virtual std::size_t RowStart(std::size_t row) = 0;
  // Where the row's text ends, before the CR LF that ends it.
  [[nodiscard]] virtual std::size_t RowEnd(std::size_t row) = 0;
  [[nodiscard]] virtual std::size_t RowOf(std::size_t position) = 0;
  // [first, last) of the rows in view.
  [[nodiscard]] virtual std::pair<std::size_t, std::size_t> RowsInView() = 0;
  // The position nearest a client point.
  [[nodiscard]] virtual std::size_t PositionAt(POINT client) = 0;
  // Client rectangles of [from, to) on the rows in view, one a row.
  [[nodiscard]] virtual std::vector<RECT> RangeRects(std::size_t from, std::size_t to) = 0;

  [[nodiscard]] virtual bool IsWordBoundary(std::size_t position) const noexcept = 0;
  [[nodiscard]] virtual std::size_t NextWordStart(std::size_t position) const noexcept = 0;
  [[nodiscard]] virtual std::size_t PreviousWordStart(std::size_t position) const noexcept = 0;

  // Selects [anchor, active) as EM_SETSEL would, and scrolls the caret into view.
  virtual void Select(std::size_t anchor, std::size_t active) = 0;
  virtual void ScrollIntoView(std::size_t position) = 0;

 protected:
  ~TextSource() = default;
};

}  // namespace vexlo
