#pragma once
// CConnect: the object Outlook creates when it loads the add-in (ProgID "quillMark.Connect"). It
// records what the process needs to know of its host, makes the settings exist and keeps the one
// worker that does the add-in's work in Outlook for as long as it is connected.

#include "integration/Guids.h"
#include "platform/com/Com.h"
#include "platform/office/OfficeInterfaces.h"

class CConnectImpl;

class CConnect : public CComObjectRootEx<CComSingleThreadModel>,
                 public CComCoClass<CConnect, &CLSID_Connect>,
                 public platform::com::IDispatchTableImpl<_IDTExtensibility2> {
 public:
  BEGIN_COM_MAP(CConnect)
    COM_INTERFACE_ENTRY(IDispatch)
    COM_INTERFACE_ENTRY(_IDTExtensibility2)
  END_COM_MAP()

  CConnect();
  ~CConnect();

  STDMETHOD(OnConnection)(IDispatch* Application, ext_ConnectMode ConnectMode, IDispatch* AddInInst,
                          SAFEARRAY** custom) override;
  STDMETHOD(OnDisconnection)(ext_DisconnectMode RemoveMode, SAFEARRAY** custom) override;
  STDMETHOD(OnAddInsUpdate)(SAFEARRAY** custom) override;
  STDMETHOD(OnStartupComplete)(SAFEARRAY** custom) override;
  STDMETHOD(OnBeginShutdown)(SAFEARRAY** custom) override;

  CConnectImpl* worker() const { return m_worker; }

 private:
  CConnectImpl* m_worker = nullptr;  // one reference from OnConnection to OnDisconnection
};
