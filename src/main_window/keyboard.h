#pragma once
// The window's keyboard interface: Tab, Esc, Enter, access keys and page switching,
// and where the focus goes. Our own code decides them instead of the platform's
// dialog manager: on Windows that keeps the access keys of hidden controls active,
// and it would press the first of two buttons that share a key ("&Execute" and
// "&Exit" after a run) without warning.

#include <windows.h>

#include <functional>
#include <utility>

namespace vexlo {

class KeyboardEngine {
 public:
  // What the engine needs of its window. Each is asked when needed, so they may
  // change (the window is destroyed, another page comes to the front).
  struct Window {
    std::function<HWND()> window;       // the top-level window; null once it is gone
    std::function<HWND()> tabStrip;
    std::function<HWND()> pageInFront;  // the frame of the page in view
    // Selects the page `step` pages on, wrapping, as a click on its tab does.
    std::function<void(int step)> showPage;
    // After a key whose handling threw; must not throw itself.
    std::function<void()> onFailure;
  };

  explicit KeyboardEngine(Window window) : window_(std::move(window)) {}

  // Run by the message loop before a message is translated and dispatched. True when
  // the message was handled and must not be dispatched. Never throws.
  [[nodiscard]] bool PreTranslateMessage(MSG& msg) noexcept;

  // A control of the page in front (or the tab strip) that can take the focus.
  [[nodiscard]] bool CanHoldFocus(HWND control) const;
  // Tab and Shift+Tab.
  void MoveFocus(bool backwards) const;
  void SaveFocus();
  // Gives the focus back to the control that had it, or the page's first control.
  void RestoreFocus() const;
  // After a handler: a control that was disabled or hidden cannot keep the focus.
  void KeepFocusUsable() const;

 private:
  [[nodiscard]] bool HandleKey(MSG& msg);
  [[nodiscard]] bool OnKeyDown(const MSG& msg);
  [[nodiscard]] bool OnAccessKey(wchar_t key) const;
  void PressOrFocus(HWND control) const;
  void SwitchPage(int step) const;
  void PressFocusedButton() const;
  [[nodiscard]] HWND FirstControlOfPage() const;

  [[nodiscard]] HWND TopLevel() const { return window_.window(); }
  [[nodiscard]] HWND TabStrip() const { return window_.tabStrip(); }
  [[nodiscard]] HWND Page() const { return window_.pageInFront(); }

  Window window_;
  HWND focusToRestore_ = nullptr;
};

}  // namespace vexlo
