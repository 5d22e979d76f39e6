#include "engine/MSHTMLWrapper.h"

#include "foundation/Log.h"
#include "platform/com/ComError.h"
#include "platform/com/HResult.h"

CMSHTMLWrapper::~CMSHTMLWrapper() { CloseDown(); }

void CMSHTMLWrapper::Initialise() {
  m_document = platform::html::CHtmlDocument();
  m_attached = true;
}

void CMSHTMLWrapper::Initialise(const platform::html::CHtmlDocument& document) {
  m_document = document;
  m_attached = true;
}

bool CMSHTMLWrapper::LoadFromString(const quilstring& html) {
  try {
    platform::html::CHtmlDocument fresh;
    const HRESULT hr = fresh.loadFromString(html);
    if (FAILED(hr)) {
      LOG_ERROR(u"Fail on CHTMLLoader::LoadFromString: %s", quilstring(_com_error(hr).ErrorMessage()).c_str());
      return false;
    }
    m_loaded = fresh;
    return true;
  } catch (...) {
    LOG_ERROR(u"Fail on CMSHTMLWrapperImpl::LoadFromString");
    return false;
  }
}

void CMSHTMLWrapper::CloseDown() {
  if (!m_attached) return;
  m_document = platform::html::CHtmlDocument();
  m_attached = false;
}
