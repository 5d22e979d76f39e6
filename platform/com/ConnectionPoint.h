#pragma once
// Connection points, COM's events: IConnectionPointContainer/IConnectionPoint, a connection point
// implementation that event sources own and fire through, AtlAdvise/AtlUnadvise, and
// CEventConnection, the scope of one subscription.

#include <memory>
#include <span>
#include <vector>

#include "platform/Export.h"
#include "platform/com/ComPtr.h"
#include "platform/com/Dispatch.h"

struct IConnectionPoint;
struct IEnumConnectionPoints;
struct IEnumConnections;

struct IConnectionPointContainer : IUnknown {
  STDMETHOD(EnumConnectionPoints)(IEnumConnectionPoints** ppEnum) = 0;
  STDMETHOD(FindConnectionPoint)(REFIID riid, IConnectionPoint** ppCP) = 0;

 protected:
  ~IConnectionPointContainer() = default;
};
QM_DECLARE_INTERFACE_IID(IConnectionPointContainer, IID_IConnectionPointContainer);

struct IConnectionPoint : IUnknown {
  STDMETHOD(GetConnectionInterface)(IID* pIID) = 0;
  STDMETHOD(GetConnectionPointContainer)(IConnectionPointContainer** ppCPC) = 0;
  // The cookie is never 0. CONNECT_E_CANNOTCONNECT when the sink lacks the event interface.
  STDMETHOD(Advise)(IUnknown* pUnkSink, DWORD* pdwCookie) = 0;
  // CONNECT_E_NOCONNECTION for a cookie that is not connected.
  STDMETHOD(Unadvise)(DWORD dwCookie) = 0;
  STDMETHOD(EnumConnections)(IEnumConnections** ppEnum) = 0;

 protected:
  ~IConnectionPoint() = default;
};
QM_DECLARE_INTERFACE_IID(IConnectionPoint, IID_IConnectionPoint);

_COM_SMARTPTR_TYPEDEF(IConnectionPointContainer, __uuidof(IConnectionPointContainer));
_COM_SMARTPTR_TYPEDEF(IConnectionPoint, __uuidof(IConnectionPoint));

// Finds the connection point of iid on a source object and connects the sink.
QM_PLATFORM_API HRESULT AtlAdvise(IUnknown* pUnkCP, IUnknown* pUnk, REFIID iid, DWORD* pdw);
QM_PLATFORM_API HRESULT AtlUnadvise(IUnknown* pUnkCP, REFIID iid, DWORD dw);

namespace platform::com {

// One connection point, a part of its container object: it is counted with the container (its
// AddRef/Release are the container's), so the container must outlive every use of it, which
// holding the container's reference guarantees. Enumeration is not offered (E_NOTIMPL).
class QM_PLATFORM_API CConnectionPoint final : public IConnectionPoint {
 public:
  CConnectionPoint(IConnectionPointContainer& container, REFIID iid);
  CConnectionPoint(const CConnectionPoint&) = delete;
  CConnectionPoint& operator=(const CConnectionPoint&) = delete;
  ~CConnectionPoint();

  STDMETHOD(QueryInterface)(REFIID riid, void** ppvObject) override;
  STDMETHOD_(ULONG, AddRef)() override;
  STDMETHOD_(ULONG, Release)() override;
  STDMETHOD(GetConnectionInterface)(IID* pIID) override;
  STDMETHOD(GetConnectionPointContainer)(IConnectionPointContainer** ppCPC) override;
  STDMETHOD(Advise)(IUnknown* pUnkSink, DWORD* pdwCookie) override;
  STDMETHOD(Unadvise)(DWORD dwCookie) override;
  STDMETHOD(EnumConnections)(IEnumConnections** ppEnum) override;

  REFIID iid() const noexcept { return m_iid; }
  std::size_t connectionCount() const noexcept { return m_sinks.size(); }
  // The sinks connected now (their event interfaces), in the order they connected. A copy, so
  // sinks may connect and disconnect while the caller walks it.
  std::vector<CComPtr<IUnknown>> sinks() const;
  // Calls the event (a method of the event dispinterface) on every connected sink, with the
  // arguments first first. A sink that fails does not stop the others; answers S_OK, or the
  // first failure.
  HRESULT fire(DISPID id, std::span<const VARIANT> args = {});
  // Drops every connection (the source going away).
  void disconnectAll();

 private:
  struct Connection {
    DWORD cookie;
    CComPtr<IUnknown> sink;
  };
  IConnectionPointContainer& m_container;
  IID m_iid;
  DWORD m_nextCookie = 1;
  std::vector<Connection> m_sinks;
};

// IConnectionPointContainer over connection points the object adds in its constructor. Derive
// the source object from it (with CComObjectRootEx) and put COM_INTERFACE_ENTRY(IConnectionPointContainer)
// in its map.
class QM_PLATFORM_API IConnectionPointContainerImpl : public IConnectionPointContainer {
 public:
  STDMETHOD(EnumConnectionPoints)(IEnumConnectionPoints** ppEnum) override;
  // CONNECT_E_NOCONNECTION when the object has no connection point for riid.
  STDMETHOD(FindConnectionPoint)(REFIID riid, IConnectionPoint** ppCP) override;

 protected:
  IConnectionPointContainerImpl() = default;
  ~IConnectionPointContainerImpl();
  // Adds the connection point of iid (or answers the existing one).
  CConnectionPoint& addConnectionPoint(REFIID iid);
  // Null when there is none.
  CConnectionPoint* connectionPoint(REFIID iid) const;

 private:
  std::vector<std::unique_ptr<CConnectionPoint>> m_points;
};

// One subscription held for a scope: Advise on construction, Unadvise on destruction (or on
// disconnect()). Move-only.
class QM_PLATFORM_API CEventConnection {
 public:
  CEventConnection() = default;
  CEventConnection(IUnknown* source, IUnknown* sink, REFIID iid);
  CEventConnection(CEventConnection&& other) noexcept;
  CEventConnection& operator=(CEventConnection&& other) noexcept;
  ~CEventConnection();

  // The result of the Advise (E_POINTER for a null source or sink).
  HRESULT result() const noexcept { return m_hr; }
  bool connected() const noexcept { return m_cookie != 0; }
  DWORD cookie() const noexcept { return m_cookie; }
  // Ends the subscription now; answers the Unadvise's result (S_FALSE when not connected).
  HRESULT disconnect();

 private:
  CComPtr<IConnectionPoint> m_point;
  DWORD m_cookie = 0;
  HRESULT m_hr = E_POINTER;
};

}  // namespace platform::com
