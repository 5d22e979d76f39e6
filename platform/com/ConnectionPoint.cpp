#include "platform/com/ConnectionPoint.h"

#include <algorithm>
#include <utility>

#include "platform/com/DispatchDriver.h"

HRESULT AtlAdvise(IUnknown* pUnkCP, IUnknown* pUnk, REFIID iid, DWORD* pdw) {
  if (!pdw) return E_POINTER;
  *pdw = 0;
  if (!pUnkCP || !pUnk) return E_INVALIDARG;
  CComQIPtr<IConnectionPointContainer> container(pUnkCP);
  if (!container) return E_NOINTERFACE;
  CComPtr<IConnectionPoint> point;
  HRESULT hr = container->FindConnectionPoint(iid, point.Receive());
  if (FAILED(hr)) return hr;
  return point->Advise(pUnk, pdw);
}

HRESULT AtlUnadvise(IUnknown* pUnkCP, REFIID iid, DWORD dw) {
  if (!pUnkCP) return E_INVALIDARG;
  CComQIPtr<IConnectionPointContainer> container(pUnkCP);
  if (!container) return E_NOINTERFACE;
  CComPtr<IConnectionPoint> point;
  HRESULT hr = container->FindConnectionPoint(iid, point.Receive());
  if (FAILED(hr)) return hr;
  return point->Unadvise(dw);
}

namespace platform::com {

CConnectionPoint::CConnectionPoint(IConnectionPointContainer& container, REFIID iid)
    : m_container(container), m_iid(iid) {}

CConnectionPoint::~CConnectionPoint() = default;

HRESULT CConnectionPoint::QueryInterface(REFIID riid, void** ppvObject) {
  if (!ppvObject) return E_POINTER;
  *ppvObject = nullptr;
  if (!IsEqualGUID(riid, IID_IUnknown) && !IsEqualGUID(riid, IID_IConnectionPoint)) return E_NOINTERFACE;
  *ppvObject = static_cast<IConnectionPoint*>(this);
  AddRef();
  return S_OK;
}

ULONG CConnectionPoint::AddRef() { return m_container.AddRef(); }

ULONG CConnectionPoint::Release() { return m_container.Release(); }

HRESULT CConnectionPoint::GetConnectionInterface(IID* pIID) {
  if (!pIID) return E_POINTER;
  *pIID = m_iid;
  return S_OK;
}

HRESULT CConnectionPoint::GetConnectionPointContainer(IConnectionPointContainer** ppCPC) {
  if (!ppCPC) return E_POINTER;
  *ppCPC = &m_container;
  m_container.AddRef();
  return S_OK;
}

HRESULT CConnectionPoint::Advise(IUnknown* pUnkSink, DWORD* pdwCookie) {
  if (!pdwCookie) return E_POINTER;
  *pdwCookie = 0;
  if (!pUnkSink) return E_POINTER;
  CComPtr<IUnknown> sink;
  if (FAILED(pUnkSink->QueryInterface(m_iid, reinterpret_cast<void**>(sink.Receive())))) return CONNECT_E_CANNOTCONNECT;
  if (m_nextCookie == 0) ++m_nextCookie;  // after a wrap, 0 still means "no connection"
  const DWORD cookie = m_nextCookie++;
  m_sinks.push_back({cookie, std::move(sink)});
  *pdwCookie = cookie;
  return S_OK;
}

HRESULT CConnectionPoint::Unadvise(DWORD dwCookie) {
  const auto found = std::find_if(m_sinks.begin(), m_sinks.end(), [&](const Connection& c) { return c.cookie == dwCookie; });
  if (found == m_sinks.end()) return CONNECT_E_NOCONNECTION;
  // Released after the entry is gone: the sink's destructor may call back into this point.
  CComPtr<IUnknown> sink = std::move(found->sink);
  m_sinks.erase(found);
  return S_OK;
}

HRESULT CConnectionPoint::EnumConnections(IEnumConnections** ppEnum) {
  if (ppEnum) *ppEnum = nullptr;
  return E_NOTIMPL;
}

std::vector<CComPtr<IUnknown>> CConnectionPoint::sinks() const {
  std::vector<CComPtr<IUnknown>> out;
  out.reserve(m_sinks.size());
  for (const Connection& c : m_sinks) out.push_back(c.sink);
  return out;
}

HRESULT CConnectionPoint::fire(DISPID id, std::span<const VARIANT> args) {
  HRESULT first = S_OK;
  for (const CComPtr<IUnknown>& sink : sinks()) {
    CComDispatchDriver driver(sink.p);
    const HRESULT hr = driver.p ? driver.InvokeArgs(id, DISPATCH_METHOD, args, nullptr) : E_NOINTERFACE;
    if (FAILED(hr) && SUCCEEDED(first)) first = hr;
  }
  return first;
}

void CConnectionPoint::disconnectAll() {
  std::vector<Connection> dropped;
  dropped.swap(m_sinks);
}

IConnectionPointContainerImpl::~IConnectionPointContainerImpl() {
  for (auto& point : m_points) point->disconnectAll();
}

HRESULT IConnectionPointContainerImpl::EnumConnectionPoints(IEnumConnectionPoints** ppEnum) {
  if (ppEnum) *ppEnum = nullptr;
  return E_NOTIMPL;
}

HRESULT IConnectionPointContainerImpl::FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) {
  if (!ppCP) return E_POINTER;
  *ppCP = nullptr;
  CConnectionPoint* point = connectionPoint(riid);
  if (!point) return CONNECT_E_NOCONNECTION;
  point->AddRef();
  *ppCP = point;
  return S_OK;
}

CConnectionPoint& IConnectionPointContainerImpl::addConnectionPoint(REFIID iid) {
  if (CConnectionPoint* existing = connectionPoint(iid)) return *existing;
  m_points.push_back(std::make_unique<CConnectionPoint>(*this, iid));
  return *m_points.back();
}

CConnectionPoint* IConnectionPointContainerImpl::connectionPoint(REFIID iid) const {
  for (const auto& point : m_points)
    if (IsEqualGUID(point->iid(), iid)) return point.get();
  return nullptr;
}

CEventConnection::CEventConnection(IUnknown* source, IUnknown* sink, REFIID iid) {
  if (!source || !sink) return;
  CComQIPtr<IConnectionPointContainer> container(source);
  if (!container) {
    m_hr = E_NOINTERFACE;
    return;
  }
  CComPtr<IConnectionPoint> point;
  m_hr = container->FindConnectionPoint(iid, point.Receive());
  if (FAILED(m_hr)) return;
  m_hr = point->Advise(sink, &m_cookie);
  if (SUCCEEDED(m_hr)) m_point = std::move(point);
}

CEventConnection::CEventConnection(CEventConnection&& other) noexcept
    : m_point(std::move(other.m_point)), m_cookie(std::exchange(other.m_cookie, 0)), m_hr(other.m_hr) {}

CEventConnection& CEventConnection::operator=(CEventConnection&& other) noexcept {
  if (this != &other) {
    disconnect();
    m_point = std::move(other.m_point);
    m_cookie = std::exchange(other.m_cookie, 0);
    m_hr = other.m_hr;
  }
  return *this;
}

CEventConnection::~CEventConnection() { disconnect(); }

HRESULT CEventConnection::disconnect() {
  if (!m_cookie || !m_point) return S_FALSE;
  const HRESULT hr = m_point->Unadvise(std::exchange(m_cookie, 0));
  m_point.Release();
  return hr;
}

}  // namespace platform::com
