#include "common/window_base.h"

namespace vexlo {
namespace {

// What a message's sender takes as "not handled" when the handler failed.
LRESULT FailedResult(UINT msg) noexcept {
  if (msg == WM_NCCREATE) return FALSE;  // creation fails cleanly
  if (msg == WM_CREATE) return -1;
  return 0;
}

}  // namespace

bool WindowBase::RegisterWindowClass(WNDCLASSEXW wc) noexcept {
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = &WindowBase::Procedure;
  return ::RegisterClassExW(&wc) != 0 || ::GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

HWND WindowBase::CreateFor(DWORD exStyle, const wchar_t* className, const wchar_t* title,
                           DWORD style, int x, int y, int width, int height, HWND parent,
                           HMENU menuOrId) noexcept {
  return ::CreateWindowExW(exStyle, className, title, style, x, y, width, height, parent, menuOrId,
                           ::GetModuleHandleW(nullptr), this);
}

WindowBase* WindowBase::From(HWND hwnd) noexcept {
  if (hwnd == nullptr ||
      reinterpret_cast<WNDPROC>(::GetWindowLongPtrW(hwnd, GWLP_WNDPROC)) != &WindowBase::Procedure) {
    return nullptr;
  }
  return reinterpret_cast<WindowBase*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
}

LRESULT CALLBACK WindowBase::Procedure(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) noexcept {
  if (msg == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lp);
    ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  // Messages before WM_NCCREATE (WM_GETMINMAXINFO) and windows created without an
  // object get the default handling.
  auto* self = reinterpret_cast<WindowBase*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (self == nullptr) return ::DefWindowProcW(hwnd, msg, wp, lp);
  LRESULT result = 0;
  try {
    result = self->HandleMessage(hwnd, msg, wp, lp);
  } catch (...) {
    result = FailedResult(msg);
    self->OnHandlerFailed(hwnd, msg);
  }
  // No message reaches the object once the window is gone.
  if (msg == WM_NCDESTROY) ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
  return result;
}

}  // namespace vexlo
