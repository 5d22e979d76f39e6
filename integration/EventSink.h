#pragma once
// CEventSink: one subscription to a source's dispatch events (Outlook's window and collection
// events, a command-bar button's Click). Its owner names a handler per DISPID; the sink advises
// one source at a time and drops its handlers when the subscription ends, so a source that fires
// late reaches nothing of an owner that has gone.

#include <functional>

#include "platform/com/Com.h"

class CEventSink : public CComObjectRootEx<CComSingleThreadModel>,
                   public platform::com::IDispatchTableImpl<IDispatch> {
 public:
  BEGIN_COM_MAP(CEventSink)
    COM_INTERFACE_ENTRY(IDispatch)
    COM_INTERFACE_ENTRY_IID(m_events, IDispatch)
  END_COM_MAP()

  using Handler = std::function<HRESULT(const platform::com::CDispArgs& args)>;

  // A sink of the event interface `events`, not yet advised.
  static CComPtr<CEventSink> create(REFIID events);

  // The handler of one event; argument counts as the event passes them.
  void on(DISPID id, const char16_t* name, Handler handler, UINT arguments = 0);

  // Subscribes to the source. A sink already advised refuses a second source (E_UNEXPECTED): one
  // sink holds one cookie.
  HRESULT advise(IUnknown* source);
  // Ends the subscription (S_FALSE when there was none).
  HRESULT unadvise();
  bool isAdvised() const { return m_connection.connected(); }
  // Unsubscribes and forgets every handler.
  void close();

  IID m_events = IID_NULL;

 private:
  platform::com::CEventConnection m_connection;
  bool m_closed = false;
};
