#include "integration/EventSink.h"

#include <memory>

#include "foundation/Log.h"

CComPtr<CEventSink> CEventSink::create(REFIID events) {
  CComObject<CEventSink>* object = nullptr;
  if (FAILED(CComObject<CEventSink>::CreateInstance(&object))) return nullptr;
  CComPtr<CEventSink> sink(object);
  sink->m_events = events;
  return sink;
}

void CEventSink::on(DISPID id, const char16_t* name, Handler handler, UINT arguments) {
  // The handler lives as long as a call of it runs, even when the call closes the sink.
  auto shared = std::make_shared<Handler>(std::move(handler));
  dispatchTable().method(
      id, name,
      [this, shared](const platform::com::CDispArgs& args, VARIANT*) {
        if (m_closed) return S_OK;
        const std::shared_ptr<Handler> running = shared;
        return (*running)(args);
      },
      arguments, arguments);
}

HRESULT CEventSink::advise(IUnknown* source) {
  if (isAdvised()) {
    LOG_ERROR(u"An event sink already advised was asked to advise a second source");
    return E_UNEXPECTED;
  }
  m_connection = platform::com::CEventConnection(source, static_cast<IDispatch*>(this), m_events);
  return m_connection.result();
}

HRESULT CEventSink::unadvise() { return m_connection.disconnect(); }

void CEventSink::close() {
  m_closed = true;
  unadvise();
}
