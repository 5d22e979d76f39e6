#include "platform/shell/ThreadRef.h"

#include <new>

namespace {

class CThreadRef final : public IUnknown {
 public:
  explicit CThreadRef(LONG* count) : m_count(count) { *m_count = 1; }

  STDMETHOD(QueryInterface)(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    if (!IsEqualGUID(riid, IID_IUnknown)) {
      *ppv = nullptr;
      return E_NOINTERFACE;
    }
    AddRef();
    *ppv = static_cast<IUnknown*>(this);
    return S_OK;
  }
  STDMETHOD_(ULONG, AddRef)() override { return static_cast<ULONG>(++*m_count); }
  STDMETHOD_(ULONG, Release)() override {
    const LONG left = --*m_count;
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
  }

 private:
  ~CThreadRef() = default;
  LONG* m_count;
};

thread_local IUnknown* t_threadRef = nullptr;

}  // namespace

HRESULT SHCreateThreadRef(LONG* pcRef, IUnknown** ppunk) {
  if (ppunk) *ppunk = nullptr;
  if (!pcRef || !ppunk) return E_POINTER;
  auto* object = new (std::nothrow) CThreadRef(pcRef);
  if (!object) return E_OUTOFMEMORY;
  *ppunk = object;
  return S_OK;
}

HRESULT SHSetThreadRef(IUnknown* punk) {
  t_threadRef = punk;
  return S_OK;
}

HRESULT SHGetThreadRef(IUnknown** ppunk) {
  if (!ppunk) return E_POINTER;
  *ppunk = t_threadRef;
  if (!*ppunk) return E_NOINTERFACE;
  (*ppunk)->AddRef();
  return S_OK;
}
