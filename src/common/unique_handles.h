#pragma once
// Thin owners for the Win32 handles the program holds. Each closes exactly once.

#include <windows.h>

#include <utility>

namespace vexlo {

template <typename Traits>
class UniqueHandle {
 public:
  using Handle = typename Traits::Handle;

  UniqueHandle() noexcept = default;
  explicit UniqueHandle(Handle h) noexcept : handle_(h) {}
  UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.release()) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  ~UniqueHandle() { reset(); }

  [[nodiscard]] Handle get() const noexcept { return handle_; }
  [[nodiscard]] bool valid() const noexcept { return Traits::Valid(handle_); }
  explicit operator bool() const noexcept { return valid(); }

  // For out-parameters of Win32 calls; drops what was held first.
  [[nodiscard]] Handle* put() noexcept {
    reset();
    return &handle_;
  }

  Handle release() noexcept { return std::exchange(handle_, Traits::Invalid()); }
  void reset(Handle h = Traits::Invalid()) noexcept {
    Handle old = std::exchange(handle_, h);
    if (Traits::Valid(old)) Traits::Close(old);
  }

 private:
  Handle handle_ = Traits::Invalid();
};

struct KernelHandleTraits {
  using Handle = HANDLE;
  static Handle Invalid() noexcept { return nullptr; }
  // Both conventions occur (CreateFile gives INVALID_HANDLE_VALUE, others null).
  static bool Valid(Handle h) noexcept { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  static void Close(Handle h) noexcept { ::CloseHandle(h); }
};

// Handles that are null when empty and differ only in how they are closed.
template <typename H, auto CloseFunction>
struct NullableHandleTraits {
  using Handle = H;
  static Handle Invalid() noexcept { return nullptr; }
  static bool Valid(Handle h) noexcept { return h != nullptr; }
  static void Close(Handle h) noexcept { CloseFunction(h); }
};

using UniqueKernelHandle = UniqueHandle<KernelHandleTraits>;
using UniqueWindow = UniqueHandle<NullableHandleTraits<HWND, &::DestroyWindow>>;
using UniqueFont = UniqueHandle<NullableHandleTraits<HFONT, &::DeleteObject>>;
using UniqueBrush = UniqueHandle<NullableHandleTraits<HBRUSH, &::DeleteObject>>;
using UniqueIcon = UniqueHandle<NullableHandleTraits<HICON, &::DestroyIcon>>;
using UniqueKey = UniqueHandle<NullableHandleTraits<HKEY, &::RegCloseKey>>;
using UniqueMenu = UniqueHandle<NullableHandleTraits<HMENU, &::DestroyMenu>>;
using UniqueModule = UniqueHandle<NullableHandleTraits<HMODULE, &::FreeLibrary>>;
// Global memory that nobody else has taken over (SetClipboardData takes it).
using UniqueGlobal = UniqueHandle<NullableHandleTraits<HGLOBAL, &::GlobalFree>>;
// Memory the system allocated for us with LocalAlloc (security descriptors, messages).
using UniqueLocal = UniqueHandle<NullableHandleTraits<HLOCAL, &::LocalFree>>;

}  // namespace vexlo
