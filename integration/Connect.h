#pragma once
// CConnect: the object Outlook creates when it loads the add-in (ProgID "quillMark.Connect"). It
// records what the process needs to know of its host, makes the settings exist and keeps the one
// worker that does the add-in's work in Outlook for as long as it is connected. On Outlook 12 and
// later it also describes the add-in's ribbon and answers the ribbon's callbacks: its IDispatch is
// the ICallbackInterface face, by which Office calls them by name; _IDTExtensibility2 and
// IRibbonExtensibility are called through their vtables.

#include "integration/CallbackInterface.h"
#include "integration/Guids.h"
#include "platform/com/Com.h"
#include "platform/office/OfficeInterfaces.h"
#include "platform/office/RibbonUI.h"

class CConnectImpl;

class CConnect : public CComObjectRootEx<CComSingleThreadModel>,
                 public CComCoClass<CConnect, &CLSID_Connect>,
                 public platform::com::IDispatchTableImpl<_IDTExtensibility2>,
                 public platform::com::IDispatchTableImpl<IRibbonExtensibility>,
                 public platform::com::IDispatchTableImpl<ICallbackInterface> {
 public:
  BEGIN_COM_MAP(CConnect)
    COM_INTERFACE_ENTRY2(IDispatch, ICallbackInterface)
    COM_INTERFACE_ENTRY(_IDTExtensibility2)
    COM_INTERFACE_ENTRY(IRibbonExtensibility)
    COM_INTERFACE_ENTRY(ICallbackInterface)
  END_COM_MAP()

  CConnect();
  ~CConnect();

  STDMETHOD(OnConnection)(IDispatch* Application, ext_ConnectMode ConnectMode, IDispatch* AddInInst,
                          SAFEARRAY** custom) override;
  STDMETHOD(OnDisconnection)(ext_DisconnectMode RemoveMode, SAFEARRAY** custom) override;
  STDMETHOD(OnAddInsUpdate)(SAFEARRAY** custom) override;
  STDMETHOD(OnStartupComplete)(SAFEARRAY** custom) override;
  STDMETHOD(OnBeginShutdown)(SAFEARRAY** custom) override;

  // The ribbon description, the same for every ribbon type: E_POINTER for a null RibbonXml.
  STDMETHOD(GetCustomUI)(BSTR RibbonID, BSTR* RibbonXml) override;

  STDMETHOD(QuillmarkButtonClicked)(IDispatch* RibbonControl) override;
  STDMETHOD(AttachmentButtonClicked)(IDispatch* RibbonControl) override;
  STDMETHOD(ButtonQuickPrintClicked)(IDispatch* RibbonControl, VARIANT* Cancelled) override;
  STDMETHOD(ButtonPrintClicked)(IDispatch* RibbonControl, VARIANT* Cancelled) override;
  STDMETHOD(ButtonPrintPreviewClicked)(IDispatch* RibbonControl, VARIANT* Cancelled) override;
  STDMETHOD(QuillmarkTabVisible)(IDispatch* RibbonControl, VARIANT_BOOL* Visible) override;
  STDMETHOD(QuillmarkButtonVisible)(IDispatch* RibbonControl, VARIANT_BOOL* Visible) override;
  STDMETHOD(AttachmentButtonVisible)(IDispatch* RibbonControl, VARIANT_BOOL* Visible) override;
  STDMETHOD(ribbonLoaded)(IDispatch* RibbonUI) override;
  STDMETHOD(SelectionButtonClicked)(IDispatch* RibbonControl) override;
  STDMETHOD(SelectionButtonVisible)(IDispatch* RibbonControl, VARIANT_BOOL* Visible) override;
  STDMETHOD(CustomButton1Clicked)(IDispatch* RibbonControl) override;
  STDMETHOD(CustomButton1Visible)(IDispatch* RibbonControl, VARIANT_BOOL* Visible) override;
  STDMETHOD(CustomButton2Clicked)(IDispatch* RibbonControl) override;
  STDMETHOD(CustomButton2Visible)(IDispatch* RibbonControl, VARIANT_BOOL* Visible) override;
  STDMETHOD(CustomButton3Clicked)(IDispatch* RibbonControl) override;
  STDMETHOD(CustomButton3Visible)(IDispatch* RibbonControl, VARIANT_BOOL* Visible) override;
  STDMETHOD(QuillmarkOptionsClicked)(IDispatch* RibbonControl) override;
  STDMETHOD(QuillmarkOptionsVisible)(IDispatch* RibbonControl, VARIANT_BOOL* Visible) override;
  STDMETHOD(CustomButton1GetImageMso)(IDispatch* RibbonControl, BSTR* ImageMso) override;
  STDMETHOD(CustomButton1GetLabel)(IDispatch* RibbonControl, BSTR* Label) override;
  STDMETHOD(CustomButton2GetImageMso)(IDispatch* RibbonControl, BSTR* ImageMso) override;
  STDMETHOD(CustomButton2GetLabel)(IDispatch* RibbonControl, BSTR* Label) override;
  STDMETHOD(CustomButton3GetImageMso)(IDispatch* RibbonControl, BSTR* ImageMso) override;
  STDMETHOD(CustomButton3GetLabel)(IDispatch* RibbonControl, BSTR* Label) override;

  CConnectImpl* worker() const { return m_worker; }

 private:
  void describeCallbacks();
  // A taken-over Outlook command: Cancelled is set to false when the add-in did not serve it.
  HRESULT takeOverCommand(const char16_t* name, IDispatch* control, VARIANT* Cancelled, int mode);
  HRESULT customClicked(int index, IDispatch* control);
  HRESULT customVisible(int index, VARIANT_BOOL* Visible);
  HRESULT customText(int index, bool label, BSTR* out);

  CConnectImpl* m_worker = nullptr;  // one reference from OnConnection to OnDisconnection
};
