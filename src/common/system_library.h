#pragma once
// DLLs that are not KnownDLLs, loaded when first needed and from the system directory
// only. An import of the executable would be resolved before wWinMain, where neither
// SetDefaultDllDirectories nor anything else of ours can keep a planted copy beside
// the program from being taken; a load with LOAD_LIBRARY_SEARCH_SYSTEM32 cannot take one.

#include <windows.h>

namespace vexlo {

// The DLL of that name from the system directory, never freed; null when it cannot be
// had. Each DLL is loaded once, by the Load() of its SystemApi.
[[nodiscard]] HMODULE LoadSystemLibrary(const wchar_t* name) noexcept;

// Sets `entry` to the function `name` of `module`, or to null without one.
template <typename Function>
void LoadEntryPoint(HMODULE module, const char* name, Function& entry) noexcept {
  // Through void(*)(): the one function pointer type any other converts from cleanly.
  entry = module == nullptr
              ? nullptr
              : reinterpret_cast<Function>(reinterpret_cast<void (*)()>(::GetProcAddress(module, name)));
}

// The entry points of one system DLL: an Api struct of function pointers with a static
// `Api Load()`. Get() gives those Load() found on first use, or while a test's Scoped
// lives, the test's. UI thread only, as everything that calls them.
template <typename Api>
class SystemApi {
 public:
  [[nodiscard]] static const Api& Get() {
    if (replaced_ != nullptr) return *replaced_;
    static const Api loaded = Api::Load();
    return loaded;
  }

  class Scoped {
   public:
    explicit Scoped(const Api& api) noexcept : previous_(replaced_) { replaced_ = &api; }
    explicit Scoped(const Api&&) = delete;  // it is kept by address
    ~Scoped() { replaced_ = previous_; }
    Scoped(const Scoped&) = delete;
    Scoped& operator=(const Scoped&) = delete;

   private:
    const Api* previous_;
  };

 private:
  static inline const Api* replaced_ = nullptr;
};

}  // namespace vexlo
