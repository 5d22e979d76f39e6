#pragma once
// IUnknown and IClassFactory, the method-declaration macros, and __uuidof: the IID that an
// interface type declares with QM_DECLARE_INTERFACE_IID.

#include <type_traits>

#include "platform/WinTypes.h"
#include "platform/com/Guid.h"
#include "platform/com/HResult.h"

#define STDMETHODCALLTYPE
#define STDMETHOD(method) virtual HRESULT method
#define STDMETHOD_(type, method) virtual type method
#define STDMETHODIMP HRESULT
#define STDMETHODIMP_(type) type

namespace platform::com::detail {
// Specialised for each interface type by QM_DECLARE_INTERFACE_IID.
template <class T>
struct InterfaceIid;
}  // namespace platform::com::detail

// Ties an interface type to its IID; use at global scope after the interface's declaration.
#define QM_DECLARE_INTERFACE_IID(Interface, iid)            \
  template <>                                               \
  struct platform::com::detail::InterfaceIid<Interface> {   \
    static constexpr const IID& value = iid;                \
  }

// The IID of an interface type, or of the interface an expression (a pointer included) refers to.
#define __uuidof(x)                                                                               \
  (::platform::com::detail::InterfaceIid<std::remove_cv_t<                                        \
       std::remove_pointer_t<std::remove_reference_t<__typeof__(x)>>>>::value)

struct IUnknown {
  STDMETHOD(QueryInterface)(REFIID riid, void** ppvObject) = 0;
  STDMETHOD_(ULONG, AddRef)() = 0;
  STDMETHOD_(ULONG, Release)() = 0;

 protected:
  // Objects go away through Release, never through delete on an interface pointer.
  ~IUnknown() = default;
};
QM_DECLARE_INTERFACE_IID(IUnknown, IID_IUnknown);
using LPUNKNOWN = IUnknown*;

struct IClassFactory : IUnknown {
  STDMETHOD(CreateInstance)(IUnknown* pUnkOuter, REFIID riid, void** ppvObject) = 0;
  STDMETHOD(LockServer)(BOOL fLock) = 0;

 protected:
  ~IClassFactory() = default;
};
QM_DECLARE_INTERFACE_IID(IClassFactory, IID_IClassFactory);
