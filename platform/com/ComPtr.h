#pragma once
// CComPtr<T>: the one owner of an interface pointer (AddRef on copy, Release when it goes);
// CComQIPtr<T> adds construction from other interfaces through QueryInterface; _com_ptr_t and
// _COM_SMARTPTR_TYPEDEF give the IDispatchPtr-style names.

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <type_traits>
#include <memory>
#include <utility>

#include "platform/com/Unknown.h"

namespace platform::com::detail {
// Receive() on an owner that still holds something would lose the held object: a caller's bug.
// Debug builds stop at once; release builds release the old object first, so nothing leaks.
[[noreturn]] inline void receiveOnNonEmpty() {
  std::fputs("Receive() on a COM owner that is not empty\n", stderr);
  std::abort();
}
#ifdef NDEBUG
inline constexpr bool kAssertReceiveEmpty = false;
#else
inline constexpr bool kAssertReceiveEmpty = true;
#endif
}  // namespace platform::com::detail

template <class T>
class CComPtr {
 public:
  using _PtrClass = T;

  CComPtr() noexcept = default;
  CComPtr(std::nullptr_t) noexcept {}
  CComPtr(T* other) noexcept : p(other) {
    if (p) p->AddRef();
  }
  CComPtr(const CComPtr& other) noexcept : CComPtr(other.p) {}
  CComPtr(CComPtr&& other) noexcept : p(std::exchange(other.p, nullptr)) {}
  template <class U>
    requires(std::is_convertible_v<U*, T*> && !std::is_same_v<U, T>)
  CComPtr(const CComPtr<U>& other) noexcept : CComPtr(static_cast<T*>(other.p)) {}
  ~CComPtr() {
    if (p) p->Release();
  }

  CComPtr& operator=(T* other) noexcept {
    if (p != other) {
      if (other) other->AddRef();
      T* old = std::exchange(p, other);
      if (old) old->Release();
    }
    return *this;
  }
  CComPtr& operator=(const CComPtr& other) noexcept { return *this = other.p; }
  CComPtr& operator=(CComPtr&& other) noexcept {
    if (this != std::addressof(other)) {
      T* old = std::exchange(p, std::exchange(other.p, nullptr));
      if (old) old->Release();
    }
    return *this;
  }
  CComPtr& operator=(std::nullptr_t) noexcept {
    Release();
    return *this;
  }

  operator T*() const noexcept { return p; }
  T& operator*() const noexcept { return *p; }
  T* operator->() const noexcept { return p; }
  explicit operator bool() const noexcept { return p != nullptr; }
  bool operator!() const noexcept { return p == nullptr; }

  // The slot for an out-parameter (T**). It must be empty: see detail::receiveOnNonEmpty.
  T** Receive() noexcept {
    if (p) {
      if constexpr (platform::com::detail::kAssertReceiveEmpty) platform::com::detail::receiveOnNonEmpty();
      Release();
    }
    return &p;
  }
  T** operator&() noexcept { return Receive(); }

  // Gives back the held reference and empties the owner.
  void Release() noexcept {
    if (T* old = std::exchange(p, nullptr)) old->Release();
  }
  // Takes over a reference the caller owns, without AddRef.
  void Attach(T* other) noexcept {
    // The old reference goes even when it is the same object: other carries its own.
    if (T* old = std::exchange(p, other)) old->Release();
  }
  // Hands the reference to the caller, who must release it.
  [[nodiscard]] T* Detach() noexcept { return std::exchange(p, nullptr); }
  // A new reference for an out-parameter; E_POINTER for a null slot.
  HRESULT CopyTo(T** out) const noexcept {
    if (!out) return E_POINTER;
    *out = p;
    if (p) p->AddRef();
    return S_OK;
  }
  template <class Q>
  HRESULT QueryInterface(Q** out) const noexcept {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!p) return E_POINTER;
    return p->QueryInterface(__uuidof(Q), reinterpret_cast<void**>(out));
  }
  // Whether other is the same COM object (identities compared through IUnknown).
  bool IsEqualObject(IUnknown* other) const noexcept {
    if (!p && !other) return true;
    if (!p || !other) return false;
    IUnknown* mine = nullptr;
    IUnknown* theirs = nullptr;
    p->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&mine));
    other->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&theirs));
    const bool same = mine && mine == theirs;
    if (mine) mine->Release();
    if (theirs) theirs->Release();
    return same;
  }

  T* p = nullptr;
};

// Construction and assignment from any interface: the same type is shared, another is asked for
// through QueryInterface (an object without the interface leaves the owner empty). An owner of
// IUnknown asks every time, so that it holds the object's identity.
template <class T>
class CComQIPtr : public CComPtr<T> {
 public:
  CComQIPtr() noexcept = default;
  CComQIPtr(std::nullptr_t) noexcept {}
  CComQIPtr(const CComQIPtr& other) noexcept : CComPtr<T>(other.p) {}
  CComQIPtr(CComQIPtr&& other) noexcept : CComPtr<T>(std::move(other)) {}
  CComQIPtr(T* other) noexcept { assignFrom(other); }
  template <class U>
    requires(!std::is_convertible_v<U*, T*> && std::is_convertible_v<U*, IUnknown*>)
  CComQIPtr(U* other) noexcept {
    assignFrom(other);
  }
  template <class U>
  CComQIPtr(const CComPtr<U>& other) noexcept {
    assignFrom(other.p);
  }

  CComQIPtr& operator=(const CComQIPtr& other) noexcept {
    CComPtr<T>::operator=(other.p);
    return *this;
  }
  CComQIPtr& operator=(CComQIPtr&& other) noexcept {
    CComPtr<T>::operator=(std::move(other));
    return *this;
  }
  CComQIPtr& operator=(T* other) noexcept {
    assignFrom(other);
    return *this;
  }
  CComQIPtr& operator=(std::nullptr_t) noexcept {
    this->Release();
    return *this;
  }
  template <class U>
    requires(!std::is_convertible_v<U*, T*> && std::is_convertible_v<U*, IUnknown*>)
  CComQIPtr& operator=(U* other) noexcept {
    assignFrom(other);
    return *this;
  }
  template <class U>
  CComQIPtr& operator=(const CComPtr<U>& other) noexcept {
    assignFrom(other.p);
    return *this;
  }

 private:
  // An IUnknown owner always holds the object's identity, which only QueryInterface gives.
  template <class U>
  void assignFrom(U* other) noexcept {
    if constexpr (std::is_convertible_v<U*, T*> && !std::is_same_v<T, IUnknown>) {
      CComPtr<T>::operator=(static_cast<T*>(other));
    } else {
      T* found = nullptr;
      if (other) other->QueryInterface(__uuidof(T), reinterpret_cast<void**>(&found));
      this->Attach(found);
    }
  }
};

// comdef's smart pointer, on the same ownership rules.
template <class T>
class _com_ptr_t : public CComQIPtr<T> {
 public:
  using CComQIPtr<T>::CComQIPtr;
  using CComQIPtr<T>::operator=;
  _com_ptr_t() noexcept = default;
  _com_ptr_t(const _com_ptr_t& other) noexcept : CComQIPtr<T>(other) {}
  _com_ptr_t(_com_ptr_t&& other) noexcept : CComQIPtr<T>(std::move(other)) {}
  _com_ptr_t& operator=(const _com_ptr_t& other) noexcept {
    CComQIPtr<T>::operator=(other);
    return *this;
  }
  _com_ptr_t& operator=(_com_ptr_t&& other) noexcept {
    CComQIPtr<T>::operator=(std::move(other));
    return *this;
  }

  T* GetInterfacePtr() const noexcept { return this->p; }
  // addRef false takes over the caller's reference.
  void Attach(T* other, bool addRef) noexcept {
    if (addRef && other) other->AddRef();
    CComPtr<T>::Attach(other);
  }
  void Attach(T* other) noexcept { CComPtr<T>::Attach(other); }
};

// Declares <Interface>Ptr; the IID comes from the interface's declaration.
#define _COM_SMARTPTR_TYPEDEF(Interface, iid) using Interface##Ptr = _com_ptr_t<Interface>

_COM_SMARTPTR_TYPEDEF(IUnknown, __uuidof(IUnknown));
_COM_SMARTPTR_TYPEDEF(IClassFactory, __uuidof(IClassFactory));
