#pragma once
// Implementing COM objects in C++: CComObjectRootEx (the reference count and the interface map),
// CComObject<T> (the created object: AddRef/Release/QueryInterface, deleted at count 0), the
// interface map macros, CComCoClass and the standard class factory, and the module lock count.
//
// class CItem : public CComObjectRootEx<CComSingleThreadModel>, public IDispatch {
//  public:
//   BEGIN_COM_MAP(CItem)
//     COM_INTERFACE_ENTRY(IDispatch)
//   END_COM_MAP()
// };
// CComPtr<CComObject<CItem>> item = CComObject<CItem>::Make();
//
// The first map entry is the object's identity (its IUnknown). A class that declares
// DECLARE_AGGREGATABLE(x) may also be created inside an outer object (CComAggObject).

#include <atomic>
#include <new>
#include <utility>

#include "platform/WinTypes.h"
#include "platform/com/ComPtr.h"
#include "platform/com/Unknown.h"

class CComSingleThreadModel {
 public:
  static ULONG Increment(LONG* p) noexcept { return static_cast<ULONG>(++*p); }
  static ULONG Decrement(LONG* p) noexcept { return static_cast<ULONG>(--*p); }
};

class CComMultiThreadModel {
 public:
  static ULONG Increment(LONG* p) noexcept { return static_cast<ULONG>(std::atomic_ref<LONG>(*p).fetch_add(1) + 1); }
  static ULONG Decrement(LONG* p) noexcept { return static_cast<ULONG>(std::atomic_ref<LONG>(*p).fetch_sub(1) - 1); }
};

// The lock count of one binary (the add-in module): every CComObject alive and every
// IClassFactory::LockServer(TRUE) holds it. Constructing a module makes it the binary's
// _pAtlModule; without one nothing is counted.
class CAtlModule {
 public:
  CAtlModule() noexcept;
  CAtlModule(const CAtlModule&) = delete;
  CAtlModule& operator=(const CAtlModule&) = delete;
  virtual ~CAtlModule();
  virtual LONG Lock() noexcept { return m_nLockCnt.fetch_add(1) + 1; }
  virtual LONG Unlock() noexcept { return m_nLockCnt.fetch_sub(1) - 1; }
  LONG GetLockCount() const noexcept { return m_nLockCnt.load(); }

 protected:
  std::atomic<LONG> m_nLockCnt{0};
};

// Each binary that includes this header has its own (hidden) pointer, as each DLL has its own on
// Windows.
inline CAtlModule* _pAtlModule = nullptr;

inline CAtlModule::CAtlModule() noexcept { _pAtlModule = this; }
inline CAtlModule::~CAtlModule() {
  if (_pAtlModule == this) _pAtlModule = nullptr;
}

class CComObjectRootBase {
 public:
  // Run once after construction by CreateInstance/Make; a failure destroys the object.
  HRESULT FinalConstruct() { return S_OK; }
  // Run once when the last reference goes, before the destructor.
  void FinalRelease() {}

 protected:
  LONG m_dwRef = 0;
};

template <class ThreadModel>
class CComObjectRootEx : public CComObjectRootBase {
 public:
  using _ThreadModel = ThreadModel;
  ULONG InternalAddRef() noexcept { return ThreadModel::Increment(&m_dwRef); }
  ULONG InternalRelease() noexcept { return ThreadModel::Decrement(&m_dwRef); }
};

// The interface map: a chain of tests, the first entry also answering IID_IUnknown.
#define BEGIN_COM_MAP(x)                                                                     \
 public:                                                                                     \
  HRESULT _InternalQueryInterface(REFIID iid, void** ppvObject) noexcept {                  \
    if (!ppvObject) return E_POINTER;                                                        \
    *ppvObject = _QueryComMap(iid, ::IsEqualGUID(iid, IID_IUnknown));                        \
    if (!*ppvObject) return E_NOINTERFACE;                                                   \
    this->InternalAddRef();                                                                  \
    return S_OK;                                                                             \
  }                                                                                          \
  IUnknown* GetUnknown() noexcept { return static_cast<IUnknown*>(_QueryComMap(IID_IUnknown, true)); } \
  void* _QueryComMap(REFIID iid, bool identity) noexcept {                                   \
    (void)iid;                                                                               \
    (void)identity;                                                                          \
    if (false) {                                                                             \
    }

#define COM_INTERFACE_ENTRY(I)                                                             \
  else if (identity || ::IsEqualGUID(iid, __uuidof(I))) {                                  \
    return static_cast<IUnknown*>(static_cast<I*>(this));                                  \
  }

// An interface answered under another IID (a dispinterface an IDispatch implements).
#define COM_INTERFACE_ENTRY_IID(iidOf, I)                                                  \
  else if (identity || ::IsEqualGUID(iid, iidOf)) {                                        \
    return static_cast<IUnknown*>(static_cast<I*>(this));                                  \
  }

// I reached through the base via, where I is inherited more than once.
#define COM_INTERFACE_ENTRY2(I, via)                                                       \
  else if (identity || ::IsEqualGUID(iid, __uuidof(I))) {                                  \
    return static_cast<IUnknown*>(static_cast<I*>(static_cast<via*>(this)));               \
  }

#define END_COM_MAP() \
  return nullptr;     \
  }

template <class Base>
class CComObject final : public Base {
 public:
  template <class... Args>
  explicit CComObject(Args&&... args) : Base(std::forward<Args>(args)...) {
    if (_pAtlModule) _pAtlModule->Lock();
  }
  ~CComObject() {
    this->FinalRelease();
    if (_pAtlModule) _pAtlModule->Unlock();
  }

  STDMETHOD_(ULONG, AddRef)() override { return this->InternalAddRef(); }
  STDMETHOD_(ULONG, Release)() override {
    const ULONG count = this->InternalRelease();
    if (count == 0) delete this;
    return count;
  }
  STDMETHOD(QueryInterface)(REFIID iid, void** ppvObject) override {
    return this->_InternalQueryInterface(iid, ppvObject);
  }
  template <class Q>
  HRESULT QueryInterface(Q** pp) {
    return QueryInterface(__uuidof(Q), reinterpret_cast<void**>(pp));
  }

  // A new object with a count of 0, as ATL gives it: the caller's first AddRef owns it.
  static HRESULT CreateInstance(CComObject** pp) {
    if (!pp) return E_POINTER;
    *pp = nullptr;
    auto* object = new (std::nothrow) CComObject();
    if (!object) return E_OUTOFMEMORY;
    const HRESULT hr = construct(object);
    if (SUCCEEDED(hr)) *pp = object;
    return hr;
  }
  // A new object held by its owner; null when FinalConstruct fails.
  template <class... Args>
  static CComPtr<CComObject> Make(Args&&... args) {
    auto* object = new CComObject(std::forward<Args>(args)...);
    if (FAILED(construct(object))) return nullptr;
    return CComPtr<CComObject>(object);
  }

 private:
  // FinalConstruct runs with a temporary reference, so that handing out `this` inside it and
  // releasing it again cannot destroy the object half-built.
  static HRESULT construct(CComObject* object) {
    object->InternalAddRef();
    const HRESULT hr = object->FinalConstruct();
    object->InternalRelease();
    if (FAILED(hr)) delete object;
    return hr;
  }
};

// An object of Base inside an outer object: its interfaces pass AddRef, Release and
// QueryInterface to the outer object's IUnknown.
template <class Base>
class CComContainedObject final : public Base {
 public:
  explicit CComContainedObject(IUnknown* outer) : m_outer(outer) {}
  STDMETHOD_(ULONG, AddRef)() override { return m_outer->AddRef(); }
  STDMETHOD_(ULONG, Release)() override { return m_outer->Release(); }
  STDMETHOD(QueryInterface)(REFIID iid, void** ppvObject) override { return m_outer->QueryInterface(iid, ppvObject); }

 private:
  IUnknown* m_outer;  // not held: the outer object owns this one
};

// The aggregated object: its own IUnknown (the one handed to the outer object, which alone holds
// it) counts references and answers the inner object's interfaces; it locks the module as
// CComObject does.
template <class Base>
class CComAggObject final : public IUnknown, public CComObjectRootEx<typename Base::_ThreadModel> {
 public:
  explicit CComAggObject(IUnknown* outer) : m_contained(outer) {
    if (_pAtlModule) _pAtlModule->Lock();
  }
  ~CComAggObject() {
    m_contained.FinalRelease();
    if (_pAtlModule) _pAtlModule->Unlock();
  }
  STDMETHOD_(ULONG, AddRef)() override { return this->InternalAddRef(); }
  STDMETHOD_(ULONG, Release)() override {
    const ULONG count = this->InternalRelease();
    if (count == 0) delete this;
    return count;
  }
  STDMETHOD(QueryInterface)(REFIID iid, void** ppvObject) override {
    if (!ppvObject) return E_POINTER;
    if (::IsEqualGUID(iid, IID_IUnknown)) {
      *ppvObject = static_cast<IUnknown*>(this);
      AddRef();
      return S_OK;
    }
    *ppvObject = m_contained._QueryComMap(iid, false);
    if (!*ppvObject) return E_NOINTERFACE;
    static_cast<IUnknown*>(*ppvObject)->AddRef();  // the outer object's reference
    return S_OK;
  }

  // The object inside outer, with its non-delegating IUnknown AddRef'd into *ppv.
  static HRESULT CreateInstance(IUnknown* outer, void** ppv) {
    auto* object = new (std::nothrow) CComAggObject(outer);
    if (!object) return E_OUTOFMEMORY;
    object->InternalAddRef();
    const HRESULT hr = object->m_contained.FinalConstruct();
    if (FAILED(hr)) {
      object->Release();
      return hr;
    }
    *ppv = static_cast<IUnknown*>(object);
    return S_OK;
  }

 private:
  CComContainedObject<Base> m_contained;
};

// In a class body: objects of the class may be aggregated.
#define DECLARE_AGGREGATABLE(x) \
 public:                        \
  static constexpr bool _aggregatable = true;

// The class id of a creatable class and the creation of its objects.
template <class T, const CLSID* pclsid>
class CComCoClass {
 public:
  static const CLSID& GetObjectCLSID() { return *pclsid; }
  template <class Q>
  static HRESULT CreateInstance(Q** pp) {
    return CreateInstance(nullptr, __uuidof(Q), reinterpret_cast<void**>(pp));
  }
  static constexpr bool _aggregatable = false;
  // An outer object is refused with CLASS_E_NOAGGREGATION unless T declares DECLARE_AGGREGATABLE,
  // and then asks for IID_IUnknown only (the aggregate's rule).
  static HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (outer) {
      if constexpr (T::_aggregatable) {
        if (!::IsEqualGUID(riid, IID_IUnknown)) return CLASS_E_NOAGGREGATION;
        return CComAggObject<T>::CreateInstance(outer, ppv);
      } else {
        return CLASS_E_NOAGGREGATION;
      }
    }
    CComObject<T>* object = nullptr;
    HRESULT hr = CComObject<T>::CreateInstance(&object);
    if (FAILED(hr)) return hr;
    object->AddRef();
    hr = object->QueryInterface(riid, ppv);
    object->Release();
    return hr;
  }
};

// The standard class factory of a class T with a CComCoClass base.
template <class T>
class CComClassFactoryT : public CComObjectRootEx<CComSingleThreadModel>, public IClassFactory {
 public:
  BEGIN_COM_MAP(CComClassFactoryT)
    COM_INTERFACE_ENTRY(IClassFactory)
  END_COM_MAP()

  STDMETHOD(CreateInstance)(IUnknown* pUnkOuter, REFIID riid, void** ppvObject) override {
    return T::CreateInstance(pUnkOuter, riid, ppvObject);
  }
  STDMETHOD(LockServer)(BOOL fLock) override {
    if (_pAtlModule) {
      if (fLock) _pAtlModule->Lock();
      else _pAtlModule->Unlock();
    }
    return S_OK;
  }
};
