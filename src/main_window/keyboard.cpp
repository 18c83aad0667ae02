// The keyboard engine: the window's keys, and where the focus goes.
#include <windows.h>

#include <algorithm>
#include <vector>

#include "controls/controls.h"
#include "main_window/keyboard.h"

namespace vexlo {
namespace {

bool IsHeld(int key) { return (::GetKeyState(key) & 0x8000) != 0; }

bool IsKeyboardMessage(UINT message) { return message >= WM_KEYFIRST && message <= WM_KEYLAST; }

bool AltBitSet(const MSG& msg) { return (msg.lParam & (1 << 29)) != 0; }

// Windows' own rule for choosing WM_SYSKEYDOWN: a key is an Alt+key only while Alt
// is down and Ctrl is not. AltGr is Ctrl+Alt, and AltGr+Q types '@' on a German
// layout; taken as Alt+Q it would reach the access keys.
bool IsAltKey(const MSG& msg) { return AltBitSet(msg) && !IsHeld(VK_CONTROL); }

// A system key that is no Alt+key is the plain key, as if a control had the focus.
void MakePlainKey(MSG& msg) {
  if (msg.message == WM_SYSKEYDOWN) msg.message = WM_KEYDOWN;
  if (msg.message == WM_SYSKEYUP) msg.message = WM_KEYUP;
  if (msg.message == WM_SYSCHAR) msg.message = WM_CHAR;
}

wchar_t Upper(wchar_t c) {
  // CharUpperW takes a single character in the low word of its pointer argument.
  const auto upper = ::CharUpperW(reinterpret_cast<LPWSTR>(static_cast<ULONG_PTR>(c)));
  return static_cast<wchar_t>(reinterpret_cast<ULONG_PTR>(upper));
}

bool IsClass(HWND control, const wchar_t* name) {
  wchar_t cls[32] = {};
  return ::GetClassNameW(control, cls, 32) > 0 && ::lstrcmpiW(cls, name) == 0;
}

LONG_PTR StyleOf(HWND control) { return ::GetWindowLongPtrW(control, GWL_STYLE); }

UINT DialogCode(HWND control, const MSG* msg) {
  const WPARAM key = msg != nullptr ? msg->wParam : 0;
  return static_cast<UINT>(::SendMessageW(control, WM_GETDLGCODE, key, reinterpret_cast<LPARAM>(msg)));
}

// The upper-cased letter after a single '&' of a button or label; 0 when it has none.
wchar_t AccessKeyOf(HWND control) {
  const bool button = IsClass(control, L"Button");
  const bool label = IsClass(control, L"Static") && (StyleOf(control) & SS_NOPREFIX) == 0;
  if (!button && !label) return 0;
  const std::wstring text = WindowText(control);
  for (std::size_t i = 0; i + 1 < text.size(); ++i) {
    if (text[i] != L'&') continue;
    if (text[i + 1] != L'&') return Upper(text[i + 1]);
    ++i;  // "&&" is a plain ampersand
  }
  return 0;
}

// The control that follows `from` among its siblings, in keyboard order, wrapping.
HWND NextSibling(HWND from) {
  HWND next = ::GetWindow(from, GW_HWNDNEXT);
  return next != nullptr ? next : ::GetWindow(from, GW_HWNDFIRST);
}

void SelectAllIfEdit(HWND control) {
  // As the dialog manager does when the keyboard brings the focus to an edit box.
  if ((DialogCode(control, nullptr) & DLGC_HASSETSEL) != 0) ::SendMessageW(control, EM_SETSEL, 0, -1);
}

}  // namespace

bool KeyboardEngine::PreTranslateMessage(MSG& msg) noexcept {
  // Runs in the message loop, outside any window procedure: no exception may leave.
  try {
    return HandleKey(msg);
  } catch (...) {
    window_.onFailure();
    return true;
  }
}

bool KeyboardEngine::HandleKey(MSG& msg) {
  if (TopLevel() == nullptr || !IsKeyboardMessage(msg.message)) return false;
  if (msg.hwnd != TopLevel() && !::IsChild(TopLevel(), msg.hwnd)) return false;
  if (msg.hwnd == TopLevel()) {
    // No control had the focus, so the key came to the window as a system key, and
    // a plain letter would act as an access key. Give the key to the focus instead.
    RestoreFocus();
    const HWND focus = ::GetFocus();
    if (!CanHoldFocus(focus)) return false;
    msg.hwnd = focus;
    if (!IsAltKey(msg)) MakePlainKey(msg);
  } else if (AltBitSet(msg) && !IsAltKey(msg)) {
    MakePlainKey(msg);  // Ctrl+Alt, whatever the sender made of it
  }
  switch (msg.message) {
    case WM_KEYDOWN:
      return OnKeyDown(msg);
    case WM_SYSCHAR:
      if (msg.wParam == L' ') return false;  // Alt+Space opens the window menu
      if (!OnAccessKey(static_cast<wchar_t>(msg.wParam))) ::MessageBeep(MB_OK);
      return true;
    case WM_CHAR:
      // A plain letter is an access key only where the focus takes no characters: on
      // a button or a check box, as in a dialog.
      if (msg.wParam <= L' ') return false;
      if ((DialogCode(msg.hwnd, &msg) & (DLGC_WANTCHARS | DLGC_WANTALLKEYS | DLGC_WANTMESSAGE)) != 0) {
        return false;
      }
      (void)OnAccessKey(static_cast<wchar_t>(msg.wParam));
      return true;
    default:
      return false;
  }
}

bool KeyboardEngine::OnKeyDown(const MSG& msg) {
  const bool ctrl = IsHeld(VK_CONTROL);
  const bool shift = IsHeld(VK_SHIFT);
  switch (msg.wParam) {
    case VK_TAB:
      if (ctrl) {
        SwitchPage(shift ? -1 : 1);
      } else {
        MoveFocus(shift);
      }
      return true;
    case VK_NEXT:
    case VK_PRIOR:
      if (!ctrl) return false;
      SwitchPage(msg.wParam == VK_NEXT ? 1 : -1);
      return true;
    case VK_RETURN:
      PressFocusedButton();
      return true;
    case VK_ESCAPE:
      return true;  // closes nothing
    case VK_LEFT:
    case VK_RIGHT:
    case VK_UP:
    case VK_DOWN:
      if ((DialogCode(msg.hwnd, &msg) & DLGC_WANTARROWS) != 0) return false;
      // Within a group of buttons the arrows move as in a dialog; groups never span
      // two pages.
      return ::IsDialogMessageW(TopLevel(), const_cast<MSG*>(&msg)) != FALSE;
    default:
      return false;
  }
}

bool KeyboardEngine::OnAccessKey(wchar_t key) const {
  const wchar_t wanted = Upper(key);
  // Only the page in front answers, whatever the platform thinks is visible; the
  // tab strip's tabs have no access keys.
  std::vector<HWND> owners;
  for (HWND c = ::GetWindow(Page(), GW_CHILD); c != nullptr; c = ::GetWindow(c, GW_HWNDNEXT)) {
    if ((StyleOf(c) & WS_VISIBLE) != 0 && ::IsWindowEnabled(c) && AccessKeyOf(c) == wanted) owners.push_back(c);
  }
  if (owners.empty()) return false;
  if (owners.size() == 1) {
    PressOrFocus(owners.front());
    return true;
  }
  // A shared key presses nothing: it moves the focus to the next control that owns
  // it after the focus, in keyboard order.
  const HWND focus = ::GetFocus();
  HWND next = owners.front();
  if (focus != nullptr && ::GetParent(focus) == Page()) {
    for (HWND c = NextSibling(focus); c != focus; c = NextSibling(c)) {
      if (std::find(owners.begin(), owners.end(), c) != owners.end()) {
        next = c;
        break;
      }
    }
  }
  ::SetFocus(next);
  return true;
}

void KeyboardEngine::PressOrFocus(HWND control) const {
  if (IsClass(control, L"Button")) {
    // Push buttons are pressed, check boxes toggled, option buttons selected; each
    // takes the focus, as a click would give it.
    ::SetFocus(control);
    ::SendMessageW(control, BM_CLICK, 0, 0);
    return;
  }
  // A label hands the focus to the control it names: the next one that can take it.
  for (HWND c = NextSibling(control); c != control; c = NextSibling(c)) {
    if ((StyleOf(c) & WS_TABSTOP) != 0 && CanHoldFocus(c)) {
      ::SetFocus(c);
      SelectAllIfEdit(c);
      return;
    }
  }
}

void KeyboardEngine::MoveFocus(bool backwards) const {
  HWND from = ::GetFocus();
  if (!CanHoldFocus(from)) from = nullptr;
  const HWND next = ::GetNextDlgTabItem(TopLevel(), from, backwards ? TRUE : FALSE);
  if (next == nullptr || !CanHoldFocus(next)) return;
  ::SetFocus(next);
  SelectAllIfEdit(next);
}

void KeyboardEngine::SwitchPage(int step) const {
  // As a click on a tab: not while a run holds the tab strip disabled.
  if (!::IsWindowEnabled(TabStrip())) return;
  const bool focusOnTabs = ::GetFocus() == TabStrip();
  // Hiding the page that holds the focus would drop it on the window.
  if (!focusOnTabs) ::SetFocus(TabStrip());
  window_.showPage(step);
  if (focusOnTabs) return;
  // Coming from inside a page, the focus goes into the new one, as in a property sheet.
  if (const HWND first = FirstControlOfPage(); first != nullptr) {
    ::SetFocus(first);
    SelectAllIfEdit(first);
  }
}

void KeyboardEngine::PressFocusedButton() const {
  // Enter presses a push button that has the focus; in a text box it does nothing,
  // since no button is the window's default button.
  const HWND focus = ::GetFocus();
  if (!CanHoldFocus(focus)) return;
  if ((DialogCode(focus, nullptr) & (DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON)) != 0) {
    ::SendMessageW(focus, BM_CLICK, 0, 0);
  }
}

bool KeyboardEngine::CanHoldFocus(HWND control) const {
  if (control == nullptr || TopLevel() == nullptr || control == TopLevel() || !::IsChild(TopLevel(), control)) return false;
  if ((StyleOf(control) & WS_VISIBLE) == 0 || !::IsWindowEnabled(control)) return false;
  // A covered page takes no input, even where the platform still shows it.
  return control == TabStrip() || ::GetParent(control) == Page();
}

HWND KeyboardEngine::FirstControlOfPage() const {
  for (HWND c = ::GetWindow(Page(), GW_CHILD); c != nullptr; c = ::GetWindow(c, GW_HWNDNEXT)) {
    if ((StyleOf(c) & WS_TABSTOP) != 0 && CanHoldFocus(c)) return c;
  }
  return CanHoldFocus(TabStrip()) ? TabStrip() : nullptr;
}

void KeyboardEngine::SaveFocus() {
  const HWND focus = ::GetFocus();
  if (focus != nullptr && ::IsChild(TopLevel(), focus)) focusToRestore_ = focus;
}

void KeyboardEngine::RestoreFocus() const {
  const HWND target = CanHoldFocus(focusToRestore_) ? focusToRestore_ : FirstControlOfPage();
  if (target != nullptr) ::SetFocus(target);
}

void KeyboardEngine::KeepFocusUsable() const {
  if (TopLevel() == nullptr || ::GetActiveWindow() != TopLevel()) return;
  if (!CanHoldFocus(::GetFocus())) RestoreFocus();
}

}  // namespace vexlo
