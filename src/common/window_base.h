#pragma once
// The one window procedure behind the program's own window classes. It adopts the
// object given at creation (WM_NCCREATE), forwards every message to that object's
// handler, and is the boundary that no exception crosses: the system cannot unwind
// through its own frames, so an exception that escaped would end the program.

#include <windows.h>

namespace vexlo {

class WindowBase {
 public:
  WindowBase() = default;
  WindowBase(const WindowBase&) = delete;
  WindowBase& operator=(const WindowBase&) = delete;

  // Registers a class run by this base; wc's procedure is set here. A class that is
  // already registered counts as success.
  [[nodiscard]] static bool RegisterWindowClass(WNDCLASSEXW wc) noexcept;

  // Creates a window of such a class whose messages go to this object. One object
  // may handle several windows; the handler is told which one.
  [[nodiscard]] HWND CreateFor(DWORD exStyle, const wchar_t* className, const wchar_t* title,
                               DWORD style, int x, int y, int width, int height, HWND parent,
                               HMENU menuOrId) noexcept;

  // The object handling a window of such a class; null for any other window.
  [[nodiscard]] static WindowBase* From(HWND hwnd) noexcept;

 protected:
  ~WindowBase() = default;

  // Every message after WM_NCCREATE, up to and including WM_NCDESTROY.
  virtual LRESULT HandleMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) = 0;
  // After HandleMessage threw: a chance to leave the window usable.
  virtual void OnHandlerFailed(HWND, UINT) noexcept {}

 private:
  static LRESULT CALLBACK Procedure(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) noexcept;
};

}  // namespace vexlo
