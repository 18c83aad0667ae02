// The label fitter: how far a label, a button or a count box may grow, and how it does.
#include "main_window/label_fit.h"

#include <windows.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "common/gdi_guards.h"
#include "controls/controls.h"

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

bool IsVisible(HWND control) { return (::GetWindowLongPtrW(control, GWL_STYLE) & WS_VISIBLE) != 0; }

// Room never shrinks a control: a sibling the design already lets it reach under
// (by a pixel or two) stops its growth where it is.
Room RoomAround(HWND label, const RECT& at) {
  RECT parent{};
  ::GetClientRect(::GetParent(label), &parent);
  // Inside the frame's etched border.
  Room room{parent.right - 2, parent.bottom - 2};
  for (HWND c = ::GetWindow(label, GW_HWNDFIRST); c != nullptr; c = ::GetWindow(c, GW_HWNDNEXT)) {
    if (c == label || !IsVisible(c)) continue;
    const RECT r = PlaceInParent(c);
    // A sibling reaching past the edge stops the growth at its own near edge, or
    // where it is when the two already meet.
    if (r.right > at.right && r.left > at.left && Overlaps(at.top, at.bottom, r.top, r.bottom)) {
      room.right = std::min(room.right, std::max(r.left, at.right));
    }
    if (r.bottom > at.bottom && Overlaps(at.left, at.right, r.left, r.right)) {
      room.bottom = std::min(room.bottom, std::max(r.top, at.bottom));
    }
  }
  room.right = std::max(room.right, at.right);
  room.bottom = std::max(room.bottom, at.bottom);
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

// The width of `count` of the font's widest digit.
LONG DigitsWidth(HWND box, HFONT font, int count) {
  const WindowDc dc(box);
  if (dc.get() == nullptr) return 0;
  const Selected selected(dc.get(), font);
  LONG widest = 0;
  for (wchar_t digit = L'0'; digit <= L'9'; ++digit) {
    SIZE size{};
    if (::GetTextExtentPoint32W(dc.get(), &digit, 1, &size)) widest = std::max(widest, size.cx);
  }
  return widest * count;
}

LONG AverageCharWidth(HWND control, HFONT font) {
  const WindowDc dc(control);
  if (dc.get() == nullptr) return 0;
  const Selected selected(dc.get(), font);
  TEXTMETRICW tm{};
  if (!::GetTextMetricsW(dc.get(), &tm)) return 0;
  return tm.tmAveCharWidth;
}

void SetMargins(HWND box, LONG left, LONG right) {
  ::SendMessageW(box, EM_SETMARGINS, EC_LEFTMARGIN | EC_RIGHTMARGIN,
                 MAKELPARAM(static_cast<WORD>(left), static_cast<WORD>(right)));
}

LONG FormatWidth(HWND box) {
  RECT format{};
  ::SendMessageW(box, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&format));
  return format.right - format.left;
}

void FitCountBox(HWND box, HFONT font) {
  // Four digits must fit the formatting rectangle: a box whose caret passes its
  // right edge scrolls, and stays scrolled when the text shrinks ("20" shown as " 0").
  // The edit control's own margins (half an average character each side, set anew by
  // WM_SETFONT) leave too little; a quarter still keeps the digits off the border.
  const LONG wanted = std::max<LONG>(1, AverageCharWidth(box, font) / 4);
  SetMargins(box, 0, 0);
  LONG spare = FormatWidth(box) - DigitsWidth(box, font, 4);
  if (spare < 2 * wanted) {
    // Room for those margins comes from the free room before the next control.
    RECT at = PlaceInParent(box);
    const LONG right = std::min(RoomAround(box, at).right, at.right + 2 * wanted - spare);
    if (right > at.right) {
      ::MoveWindow(box, at.left, at.top, right - at.left, at.bottom - at.top, TRUE);
      spare += right - at.right;
    }
  }
  // Where the room runs out, the digits come first and the margins get what is left.
  const LONG margins = std::clamp<LONG>(spare, 0, 2 * wanted);
  SetMargins(box, margins - margins / 2, margins / 2);
}

// A one-line label the design lets reach under a control to its right gives that part
// up when it has to grow downwards and its caption does not need it.
LONG RightEdgeClearOfNeighbours(HWND label, const RECT& at, LONG captionRight) {
  LONG clear = at.right;
  for (HWND c = ::GetWindow(label, GW_HWNDFIRST); c != nullptr; c = ::GetWindow(c, GW_HWNDNEXT)) {
    const RECT r = PlaceInParent(c);
    if (c != label && IsVisible(c) && r.left > at.left && r.left < at.right &&
        Overlaps(at.top, at.bottom, r.top, r.bottom)) {
      clear = std::min(clear, r.left);
    }
  }
  return captionRight <= clear ? clear : at.right;
}

void FitLabel(HWND label, HFONT font) {
  RECT at = PlaceInParent(label);
  const LONG width = at.right - at.left;
  const LONG height = at.bottom - at.top;
  const LONG line = LineHeight(label, font);
  Room room = RoomAround(label, at);
  // A label designed for one line grows to the right, a paragraph downwards; where
  // that room runs out, the other direction is tried.
  if (height < 2 * line) {
    const SIZE one = CaptionSize(label, font, width, true);
    if (one.cy > height) {
      at.right = RightEdgeClearOfNeighbours(label, at, at.left + one.cx);
      room = RoomAround(label, at);
    }
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

// The width a button needs for its caption on one line, as the button draws it:
// access-key ampersands take no room, a check box or an option button puts its box
// and a gap of half a character before the text, a push button its edges around it.
LONG ButtonWidthNeeded(HWND button, HFONT font) {
  const std::wstring text = WindowText(button);
  const WindowDc dc(button);
  if (dc.get() == nullptr) return 0;
  const Selected selected(dc.get(), font);
  RECT r{0, 0, 0, 0};
  ::DrawTextW(dc.get(), text.c_str(), static_cast<int>(text.size()), &r, DT_CALCRECT | DT_SINGLELINE);
  TEXTMETRICW tm{};
  ::GetTextMetricsW(dc.get(), &tm);
  const auto type = ::GetWindowLongPtrW(button, GWL_STYLE) & BS_TYPEMASK;
  if (type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON) return r.right + 2 * tm.tmAveCharWidth;
  // The box is drawn at the menu check mark's size or a little smaller.
  const LONG box = ::GetSystemMetricsForDpi(SM_CXMENUCHECK, ::GetDpiForWindow(button));
  return box + (tm.tmAveCharWidth + 1) / 2 + r.right;
}

// The controls that follow `at` on its line, each starting within `reach` of the one
// before it ("Run [4] times (-n)"), left to right.
std::vector<std::pair<HWND, RECT>> FollowersOnLine(HWND control, const RECT& at, LONG reach) {
  std::vector<std::pair<HWND, RECT>> line;
  for (HWND c = ::GetWindow(control, GW_HWNDFIRST); c != nullptr; c = ::GetWindow(c, GW_HWNDNEXT)) {
    const RECT r = PlaceInParent(c);
    if (c != control && IsVisible(c) && r.left > at.left && Overlaps(at.top, at.bottom, r.top, r.bottom)) {
      line.emplace_back(c, r);
    }
  }
  std::sort(line.begin(), line.end(), [](const auto& a, const auto& b) { return a.second.left < b.second.left; });
  std::vector<std::pair<HWND, RECT>> followers;
  LONG end = at.right;
  for (const auto& [c, r] : line) {
    if (r.left > end + reach) break;
    followers.emplace_back(c, r);
    end = std::max(end, r.right);
  }
  return followers;
}

// Where the line of a control and its followers must end: at the next control on the
// line, or inside the frame's border.
LONG RoomAfterLine(HWND control, const RECT& at, const std::vector<std::pair<HWND, RECT>>& followers) {
  RECT parent{};
  ::GetClientRect(::GetParent(control), &parent);
  LONG end = parent.right - 2;
  for (HWND c = ::GetWindow(control, GW_HWNDFIRST); c != nullptr; c = ::GetWindow(c, GW_HWNDNEXT)) {
    const bool follower = std::any_of(followers.begin(), followers.end(), [c](const auto& f) { return f.first == c; });
    const RECT r = PlaceInParent(c);
    if (c != control && !follower && IsVisible(c) && r.left > at.left && Overlaps(at.top, at.bottom, r.top, r.bottom)) {
      end = std::min(end, r.left);
    }
  }
  return end;
}

void FitButton(HWND button, HFONT font) {
  RECT at = PlaceInParent(button);
  const LONG wanted = at.left + ButtonWidthNeeded(button, font);
  if (wanted <= at.right) return;
  const auto followers = FollowersOnLine(button, at, 2 * AverageCharWidth(button, font));
  LONG grow = wanted - at.right;
  if (followers.empty()) {
    grow = std::min(grow, RoomAround(button, at).right - at.right);
  } else {
    // The followers move along with the button's right edge, keeping the spacing of
    // the design, as far as the room after the last of them goes.
    LONG lineEnd = at.right;
    for (const auto& [c, r] : followers) lineEnd = std::max(lineEnd, r.right);
    grow = std::min(grow, RoomAfterLine(button, at, followers) - lineEnd);
    if (grow <= 0) return;
    for (auto it = followers.rbegin(); it != followers.rend(); ++it) {
      const RECT& r = it->second;
      ::SetWindowPos(it->first, nullptr, r.left + grow, r.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
  }
  if (grow > 0) ::MoveWindow(button, at.left, at.top, at.right - at.left + grow, at.bottom - at.top, TRUE);
}

HFONT FontOf(HWND control) { return reinterpret_cast<HFONT>(::SendMessageW(control, WM_GETFONT, 0, 0)); }

}  // namespace

void LabelFitter::Fit() const {
  for (HWND button : buttons_) FitButton(button, FontOf(button));
  for (HWND box : countBoxes_) FitCountBox(box, FontOf(box));
  for (HWND label : labels_) FitLabel(label, FontOf(label));
}

}  // namespace vexlo
