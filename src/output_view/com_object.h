#pragma once
// IUnknown for a COM object of ours, written once: QueryInterface answers for each
// interface in the list (the first one also stands for IUnknown), and the object
// deletes itself when the last reference goes. The object starts with one reference,
// its maker's. A Derived that answers a further identity defines
// `void* OtherInterface(REFIID) noexcept`.

#include <windows.h>
#include <unknwn.h>

#include <atomic>

namespace vexlo {

template <typename Derived, typename First, typename... Rest>
class ComObject : public First, public Rest... {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (out == nullptr) return E_POINTER;
    *out = Find(iid);
    if (*out == nullptr) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --references_;
    if (left == 0) delete static_cast<Derived*>(this);
    return left;
  }

 protected:
  ComObject() = default;
  ~ComObject() = default;
  ComObject(const ComObject&) = delete;
  ComObject& operator=(const ComObject&) = delete;

  // Hidden by a Derived that answers more.
  void* OtherInterface(REFIID) noexcept { return nullptr; }

 private:
  template <typename Interface>
  bool Answer(REFIID iid, void** found) noexcept {
    if (iid != __uuidof(Interface)) return false;
    *found = static_cast<Interface*>(this);
    return true;
  }
  void* Find(REFIID iid) noexcept {
    void* found = nullptr;
    if (iid == __uuidof(IUnknown)) return static_cast<First*>(this);
    if ((Answer<First>(iid, &found) || ... || Answer<Rest>(iid, &found))) return found;
    return static_cast<Derived*>(this)->OtherInterface(iid);
  }

  std::atomic<ULONG> references_{1};
};

}  // namespace vexlo
