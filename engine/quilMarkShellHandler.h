#pragma once
// CquilMarkShellHandler: the print template's scripting object. It gives the template the page
// settings stored for the template being printed (margins, header and footer strings,
// orientation) and the current job's page range, tells whether the current item has printable
// attachments and opens its attachments dialog, and stores the page settings again when it goes.
// The settings live under HKCU "...\Template Settings\<template>\<locale id>".

#include "foundation/QuilString.h"
#include "platform/com/Com.h"

inline constexpr CLSID CLSID_quillMarkShellHandler = platform::com::guid("6B1E42D5-3C0A-4F7B-9E25-8D41C7A2F310");
inline constexpr IID IID_IquillMarkShellHandler = platform::com::guid("6B1E42D6-3C0A-4F7B-9E25-8D41C7A2F310");
// MSHTML's document interface, which ruleFromSelector asks the document for.
inline constexpr IID IID_IHTMLDocument2 = platform::com::guid("332C4425-26CB-11D0-B483-00C04FD90119");

// The dual interface; its members are DISPIDs 1 to 14 in this order.
struct IquillMarkShellHandler : IDispatch {
  STDMETHOD(showAttachmentsDialog)() = 0;
  STDMETHOD(get_hasAttachments)(CHAR* value) = 0;
  STDMETHOD(get_marginTop)(LONG* value) = 0;
  STDMETHOD(put_marginTop)(LONG value) = 0;
  STDMETHOD(get_marginBottom)(LONG* value) = 0;
  STDMETHOD(put_marginBottom)(LONG value) = 0;
  STDMETHOD(get_marginLeft)(LONG* value) = 0;
  STDMETHOD(put_marginLeft)(LONG value) = 0;
  STDMETHOD(get_marginRight)(LONG* value) = 0;
  STDMETHOD(put_marginRight)(LONG value) = 0;
  STDMETHOD(get_header)(BSTR* value) = 0;
  STDMETHOD(put_header)(BSTR value) = 0;
  STDMETHOD(get_footer)(BSTR* value) = 0;
  STDMETHOD(put_footer)(BSTR value) = 0;
  STDMETHOD(put_templateName)(BSTR value) = 0;
  STDMETHOD(get_ruleFromSelector)(BSTR selector, IDispatch* document, IDispatch** rule) = 0;
  STDMETHOD(get_orientation)(BSTR* value) = 0;
  STDMETHOD(put_orientation)(BSTR value) = 0;
  STDMETHOD(get_printselection)(LONG* value) = 0;
  STDMETHOD(get_pageto)(LONG* value) = 0;
  STDMETHOD(get_pagefrom)(LONG* value) = 0;

 protected:
  ~IquillMarkShellHandler() = default;
};
QM_DECLARE_INTERFACE_IID(IquillMarkShellHandler, IID_IquillMarkShellHandler);

class CquilMarkShellHandler : public CComObjectRootEx<CComSingleThreadModel>,
                              public CComCoClass<CquilMarkShellHandler, &CLSID_quillMarkShellHandler>,
                              public platform::com::IDispatchTableImpl<IquillMarkShellHandler> {
 public:
  CquilMarkShellHandler();
  // Saves the page settings for the template (when it has a name).
  virtual ~CquilMarkShellHandler();

  BEGIN_COM_MAP(CquilMarkShellHandler)
    COM_INTERFACE_ENTRY(IquillMarkShellHandler)
    COM_INTERFACE_ENTRY(IDispatch)
  END_COM_MAP()

  STDMETHOD(showAttachmentsDialog)() override;
  STDMETHOD(get_hasAttachments)(CHAR* value) override;
  STDMETHOD(get_marginTop)(LONG* value) override;
  STDMETHOD(put_marginTop)(LONG value) override;
  STDMETHOD(get_marginBottom)(LONG* value) override;
  STDMETHOD(put_marginBottom)(LONG value) override;
  STDMETHOD(get_marginLeft)(LONG* value) override;
  STDMETHOD(put_marginLeft)(LONG value) override;
  STDMETHOD(get_marginRight)(LONG* value) override;
  STDMETHOD(put_marginRight)(LONG value) override;
  STDMETHOD(get_header)(BSTR* value) override;
  STDMETHOD(put_header)(BSTR value) override;
  STDMETHOD(get_footer)(BSTR* value) override;
  STDMETHOD(put_footer)(BSTR value) override;
  // E_INVALIDARG, and nothing stored or loaded, for a name that cannot be one key: a
  // separator or control character, or more than kMaxTemplateName characters.
  STDMETHOD(put_templateName)(BSTR value) override;
  STDMETHOD(get_ruleFromSelector)(BSTR selector, IDispatch* document, IDispatch** rule) override;
  STDMETHOD(get_orientation)(BSTR* value) override;
  STDMETHOD(put_orientation)(BSTR value) override;
  STDMETHOD(get_printselection)(LONG* value) override;
  STDMETHOD(get_pageto)(LONG* value) override;
  STDMETHOD(get_pagefrom)(LONG* value) override;

  static constexpr std::size_t kMaxTemplateName = 255;
  static bool isValidTemplateName(const quilstring& name);
  // "SOFTWARE\...\Template Settings\" + name.
  static quilstring settingsKeyPath(const quilstring& name);
  // The text shown when a page range asks for From above To.
  static quilstring fromAfterToMessage();

 private:
  void loadSettings();
  // Writes the page values that differ from what was loaded, and those the key lacks: a value
  // left as loaded must not undo what another process stored since.
  void saveSettings();
  void keepLoadedValues();

  quilstring m_templateName;
  quilstring m_footer;
  quilstring m_header;
  quilstring m_orientation = u"portrait";
  LONG m_marginRight = 60;
  LONG m_marginLeft = 60;
  LONG m_marginBottom = 60;
  LONG m_marginTop = 60;
  LONG m_printselection = 0;
  LONG m_pageto = 1;
  LONG m_pagefrom = 1;

  // The page values as loaded (or the defaults when nothing was).
  struct PageValues {
    LONG marginTop = 60, marginBottom = 60, marginLeft = 60, marginRight = 60;
    quilstring header, footer, orientation = u"portrait";
  } m_loaded;
};
