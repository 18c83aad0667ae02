// Labels keep their designed places, but a caption measured with the label's own
// font at the monitor's DPI may need more room than the design gives it.
#include <windows.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "common/gdi_guards.h"
#include "main_window/frm_vexlo.h"

namespace vexlo {
namespace {

RECT PlaceInParent(HWND control) {
  RECT r{};
  ::GetWindowRect(control, &r);
  ::MapWindowPoints(HWND_DESKTOP, ::GetParent(control), reinterpret_cast<POINT*>(&r), 2);
  return r;
}

bool Overlaps(LONG a0, LONG a1, LONG b0, LONG b1) { return a0 < b1 && b0 < a1; }

// How far a label may reach to the right and downwards without covering a sibling.
struct Room {
  LONG right, bottom;
};

Room RoomAround(HWND label, const RECT& at) {
  RECT parent{};
  ::GetClientRect(::GetParent(label), &parent);
  // Inside the frame's etched border.
  Room room{parent.right - 2, parent.bottom - 2};
  for (HWND c = ::GetWindow(label, GW_HWNDFIRST); c != nullptr; c = ::GetWindow(c, GW_HWNDNEXT)) {
    if (c == label || (::GetWindowLongPtrW(c, GWL_STYLE) & WS_VISIBLE) == 0) continue;
    const RECT r = PlaceInParent(c);
    if (r.left >= at.right && Overlaps(at.top, at.bottom, r.top, r.bottom)) room.right = std::min(room.right, r.left);
    if (r.top >= at.bottom && Overlaps(at.left, at.right, r.left, r.right)) room.bottom = std::min(room.bottom, r.top);
  }
  return room;
}

// The size DrawText gives the caption: wrapped within `width`, or on one line.
SIZE CaptionSize(HWND label, HFONT font, LONG width, bool oneLine) {
  const std::wstring text = WindowText(label);
  RECT r{0, 0, width, 0};
  const WindowDc dc(label);
  if (dc.get() == nullptr) return {0, 0};
  const Selected selected(dc.get(), font);
  // The flags a static control draws its text with.
  UINT flags = DT_CALCRECT | DT_EXPANDTABS | (oneLine ? DT_SINGLELINE : DT_WORDBREAK);
  if ((::GetWindowLongPtrW(label, GWL_STYLE) & SS_NOPREFIX) != 0) flags |= DT_NOPREFIX;
  ::DrawTextW(dc.get(), text.c_str(), static_cast<int>(text.size()), &r, flags);
  return {r.right - r.left, r.bottom - r.top};
}

// Moves the siblings below a paragraph down by `shift`, keeping their spacing, when
// they all still fit in the frame. Nothing is covered and nothing shrinks.
bool MakeRoomBelow(HWND label, const RECT& at, LONG shift) {
  RECT parent{};
  ::GetClientRect(::GetParent(label), &parent);
  std::vector<std::pair<HWND, RECT>> below;
  for (HWND c = ::GetWindow(label, GW_HWNDFIRST); c != nullptr; c = ::GetWindow(c, GW_HWNDNEXT)) {
    const RECT r = PlaceInParent(c);
    if (c == label || r.top < at.bottom || !Overlaps(at.left, at.right, r.left, r.right)) continue;
    if (r.bottom + shift > parent.bottom - 2) return false;
    below.emplace_back(c, r);
  }
  for (const auto& [c, r] : below) {
    ::SetWindowPos(c, nullptr, r.left, r.top + shift, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  return true;
}

LONG LineHeight(HWND label, HFONT font) {
  const WindowDc dc(label);
  if (dc.get() == nullptr) return 0;
  const Selected selected(dc.get(), font);
  TEXTMETRICW tm{};
  ::GetTextMetricsW(dc.get(), &tm);
  return tm.tmHeight;
}

}  // namespace

void frm_Vexlo::FitLabel(HWND label, HFONT font) {
  RECT at = PlaceInParent(label);
  const LONG width = at.right - at.left;
  const LONG height = at.bottom - at.top;
  const LONG line = LineHeight(label, font);
  const Room room = RoomAround(label, at);
  // A label designed for one line grows to the right, a paragraph downwards; where
  // that room runs out, the other direction is tried.
  if (height < 2 * line) {
    const SIZE one = CaptionSize(label, font, width, true);
    at.right = std::min(room.right, std::max(at.right, at.left + one.cx));
    at.bottom = std::min(room.bottom, std::max(at.bottom, at.top + one.cy));
  }
  const SIZE wrapped = CaptionSize(label, font, at.right - at.left, false);
  if (wrapped.cy > at.bottom - at.top) {
    const LONG wanted = at.top + wrapped.cy;
    // A paragraph may move what lies below it down by as much as it grows, so the
    // spacing of the design stays; the frame has room.
    if (wanted > room.bottom && MakeRoomBelow(label, at, wanted - at.bottom)) {
      at.bottom = wanted;
    } else {
      at.bottom = std::min(room.bottom, wanted);
    }
  }
  if (at.right - at.left != width || at.bottom - at.top != height) {
    ::MoveWindow(label, at.left, at.top, at.right - at.left, at.bottom - at.top, TRUE);
  }
}

void frm_Vexlo::FitLabels() {
  for (const Placement& placed : placements_) {
    wchar_t cls[16] = {};
    if (::GetClassNameW(placed.control, cls, 16) > 0 && ::lstrcmpiW(cls, L"Static") == 0) {
      FitLabel(placed.control, placed.font->get());
    }
  }
}

}  // namespace vexlo
