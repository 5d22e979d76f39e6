#include "platform/com/ConnectionPoint.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform/com/ComObject.h"
#include "platform/com/DispatchImpl.h"
#include "tests/support/TestEnvironment.h"

namespace {

using platform::com::CDispArgs;

inline constexpr IID DIID_TestEvents = platform::com::guid("6F0A1C3E-2B1D-4C55-9E11-0A7B3C9D00E1");
constexpr DISPID kItemSend = 0xF002;

class CSource : public CComObjectRootEx<CComSingleThreadModel>, public platform::com::IConnectionPointContainerImpl {
 public:
  CSource() { addConnectionPoint(DIID_TestEvents); }
  BEGIN_COM_MAP(CSource)
    COM_INTERFACE_ENTRY(IConnectionPointContainer)
  END_COM_MAP()
  HRESULT send(LONG value) {
    const CComVariant arg(value);
    return connectionPoint(DIID_TestEvents)->fire(kItemSend, std::span<const VARIANT>(static_cast<const VARIANT*>(&arg), 1));
  }
  platform::com::CConnectionPoint& point() { return *connectionPoint(DIID_TestEvents); }
};

// A sink of the test events; it may disconnect itself while an event is delivered.
class CSink : public CComObjectRootEx<CComSingleThreadModel>, public platform::com::IDispatchTableImpl<IDispatch> {
 public:
  CSink() {
    dispatchTable().method(
        kItemSend, u"ItemSend",
        [this](const CDispArgs& args, VARIANT*) {
          LONG value = 0;
          const HRESULT hr = args.getLong(0, value);
          m_received.push_back(value);
          if (m_disconnectOnEvent) m_connection.disconnect();
          return hr;
        },
        1, 1);
  }
  BEGIN_COM_MAP(CSink)
    COM_INTERFACE_ENTRY(IDispatch)
    COM_INTERFACE_ENTRY_IID(DIID_TestEvents, IDispatch)
  END_COM_MAP()

  std::vector<LONG> m_received;
  bool m_disconnectOnEvent = false;
  platform::com::CEventConnection m_connection;
};

// A sink without the event interface.
class CDeaf : public CComObjectRootEx<CComSingleThreadModel>, public platform::com::IDispatchTableImpl<IDispatch> {
 public:
  BEGIN_COM_MAP(CDeaf)
    COM_INTERFACE_ENTRY(IDispatch)
  END_COM_MAP()
};

class ConnectionPointTest : public testsupport::IsolatedTest {
 protected:
  CComPtr<CComObject<CSource>> m_source = CComObject<CSource>::Make();
};

TEST_F(ConnectionPointTest, AdviseDeliversUntilUnadvise) {
  auto sink = CComObject<CSink>::Make();
  DWORD cookie = 0;
  ASSERT_EQ(AtlAdvise(m_source->GetUnknown(), sink->GetUnknown(), DIID_TestEvents, &cookie), S_OK);
  EXPECT_NE(cookie, 0u);
  EXPECT_EQ(m_source->send(5), S_OK);
  ASSERT_EQ(AtlUnadvise(m_source->GetUnknown(), DIID_TestEvents, cookie), S_OK);
  EXPECT_EQ(m_source->send(6), S_OK);
  EXPECT_EQ(sink->m_received, std::vector<LONG>{5});
  EXPECT_EQ(AtlUnadvise(m_source->GetUnknown(), DIID_TestEvents, cookie), CONNECT_E_NOCONNECTION);
}

TEST_F(ConnectionPointTest, RefusesUnknownInterfacesAndDeafSinks) {
  CComPtr<IConnectionPoint> point;
  EXPECT_EQ(m_source->FindConnectionPoint(IID_IDispatch, &point), CONNECT_E_NOCONNECTION);
  EXPECT_FALSE(point);
  ASSERT_EQ(m_source->FindConnectionPoint(DIID_TestEvents, &point), S_OK);
  IID iid{};
  ASSERT_EQ(point->GetConnectionInterface(&iid), S_OK);
  EXPECT_EQ(iid, DIID_TestEvents);
  CComPtr<IConnectionPointContainer> container;
  ASSERT_EQ(point->GetConnectionPointContainer(&container), S_OK);
  EXPECT_TRUE(container.IsEqualObject(m_source->GetUnknown()));

  auto deaf = CComObject<CDeaf>::Make();
  DWORD cookie = 9;
  EXPECT_EQ(point->Advise(deaf->GetUnknown(), &cookie), CONNECT_E_CANNOTCONNECT);
  EXPECT_EQ(cookie, 0u);
  EXPECT_EQ(point->Advise(nullptr, &cookie), E_POINTER);
  EXPECT_EQ(m_source->point().connectionCount(), 0u);
}

TEST_F(ConnectionPointTest, ScopedConnectionEndsWithItsScope) {
  auto sink = CComObject<CSink>::Make();
  {
    platform::com::CEventConnection connection(m_source->GetUnknown(), sink->GetUnknown(), DIID_TestEvents);
    ASSERT_EQ(connection.result(), S_OK);
    EXPECT_TRUE(connection.connected());
    m_source->send(1);
    platform::com::CEventConnection moved(std::move(connection));
    EXPECT_FALSE(connection.connected());
    m_source->send(2);
  }
  EXPECT_EQ(m_source->point().connectionCount(), 0u);
  m_source->send(3);
  EXPECT_EQ(sink->m_received, (std::vector<LONG>{1, 2}));

  platform::com::CEventConnection none(nullptr, sink->GetUnknown(), DIID_TestEvents);
  EXPECT_EQ(none.result(), E_POINTER);
  EXPECT_EQ(none.disconnect(), S_FALSE);
}

TEST_F(ConnectionPointTest, ASinkMayDisconnectWhileAnEventIsDelivered) {
  auto first = CComObject<CSink>::Make();
  auto second = CComObject<CSink>::Make();
  first->m_disconnectOnEvent = true;
  first->m_connection =
      platform::com::CEventConnection(m_source->GetUnknown(), first->GetUnknown(), DIID_TestEvents);
  second->m_connection =
      platform::com::CEventConnection(m_source->GetUnknown(), second->GetUnknown(), DIID_TestEvents);
  // The sink keeps the source's point, and the point keeps the sink: the event breaks the cycle.
  first.Release();
  EXPECT_EQ(m_source->send(7), S_OK);
  EXPECT_EQ(m_source->point().connectionCount(), 1u);
  m_source->send(8);
  EXPECT_EQ(second->m_received, (std::vector<LONG>{7, 8}));
  second->m_connection.disconnect();
}

TEST_F(ConnectionPointTest, AFailingSinkDoesNotStopTheOthers) {
  auto first = CComObject<CSink>::Make();
  auto second = CComObject<CSink>::Make();
  DWORD c1 = 0, c2 = 0;
  ASSERT_EQ(m_source->point().Advise(first->GetUnknown(), &c1), S_OK);
  ASSERT_EQ(m_source->point().Advise(second->GetUnknown(), &c2), S_OK);
  EXPECT_NE(c1, c2);
  const CComVariant text(u"not a number");
  EXPECT_EQ(m_source->point().fire(kItemSend, std::span<const VARIANT>(static_cast<const VARIANT*>(&text), 1)), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(first->m_received.size(), 1u);
  EXPECT_EQ(second->m_received.size(), 1u);
  m_source->point().disconnectAll();
}

}  // namespace
