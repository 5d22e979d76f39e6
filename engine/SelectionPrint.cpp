#include "engine/SelectionPrint.h"

#include <array>
#include <filesystem>
#include <stdexcept>

#include "engine/InertHtml.h"
#include "engine/QuillMarkTemplate.h"
#include "foundation/AddinGlobals.h"
#include "foundation/Guard.h"
#include "foundation/HtmlText.h"
#include "foundation/Log.h"
#include "foundation/Utils.h"
#include "platform/loop/MessageLoop.h"
#include "platform/outlook/Dispids.h"
#include "platform/ui/Desktop.h"
#include "platform/ui/HtmlView.h"
#include "resources/resource.h"

namespace {

using platform::html::CHtmlDocument;
using platform::html::CHtmlElement;
using platform::outlook::kDispidBody;
using platform::outlook::kDispidBodyFormat;
using platform::outlook::kDispidSubject;

constexpr LONG kFormatPlain = 1;
constexpr int kMediumText = 2;
constexpr const char16_t* kHelpAddress = u"https://www.corvessa.com/quillmark/help/selection-printing.htm";

// Text sizes from smallest to largest, as factors of the normal size, and their menu commands.
constexpr std::array<double, 5> kTextSizes = {0.67, 0.83, 1.0, 1.17, 1.33};
constexpr std::array<UINT, 5> kTextSizeCommands = {ID_TEXTSIZE_SMALLEST, ID_TEXTSIZE_SMALLER, ID_TEXTSIZE_MEDIUM,
                                                   ID_TEXTSIZE_LARGER, ID_TEXTSIZE_LARGEST};

std::function<void(HWND)>& testDriver() {
  static std::function<void(HWND)> driver;
  return driver;
}

// A file name as a relative address: everything but unreserved characters percent-encoded, so a
// name holding '#', '?' or '%' still names the file.
quilstring relativeAddress(const std::filesystem::path& name) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  quilstring address;
  for (const unsigned char c : name.string()) {
    const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
                       c == '.' || c == '_' || c == '~';
    if (plain) {
      address += static_cast<char16_t>(c);
    } else {
      address += u'%';
      address += static_cast<char16_t>(kHex[c >> 4]);
      address += static_cast<char16_t>(kHex[c & 0xF]);
    }
  }
  return address;
}

// Sets the src of every img and imagedata under scope that the map knows to what it stands for.
void mapPictureSources(const CHtmlElement& scope, const std::map<quilstring, quilstring>& files) {
  for (const char16_t* tag : {u"img", u"imagedata"}) {
    const auto elements = scope.all().tags(tag);
    for (long i = 0; i < elements.length(); ++i) {
      CHtmlElement element = elements.item(i);
      const auto it = files.find(element.getAttribute(u"src"));
      if (it != files.end()) element.setAttribute(u"src", it->second);
    }
  }
}

}  // namespace

CSelectionPrintScope::CSelectionPrintScope() : m_previous(CQuillMarkTemplate::isSelectionPrint()) {
  CQuillMarkTemplate::setSelectionPrint(true);
}

CSelectionPrintScope::~CSelectionPrintScope() { CQuillMarkTemplate::setSelectionPrint(m_previous); }

CCDialogHTMLSelection::CCDialogHTMLSelection(CPrintInfo& job) : m_job(job) {}

void CCDialogHTMLSelection::setDriverForTesting(std::function<void(HWND dialog)> driver) {
  testDriver() = std::move(driver);
}

int CCDialogHTMLSelection::DoModal(HWND owner) {
  m_mode = 0;
  if (!m_job.getItem()) {
    LOG_ERROR(u"The selection dialog has no item to show");
    return IDCANCEL;
  }
  // Without a display only a test can highlight anything.
  if (platform::ui::currentFace() != platform::ui::Face::kGtk && !testDriver()) {
    LOG_ERROR(u"The selection dialog cannot be shown without a display");
    return IDCANCEL;
  }
  const INT_PTR result = DialogBoxParamW(NGlobals::moduleInstance(), MAKEINTRESOURCEW(IDD_HTML_SELECTION), owner,
                                         dialogProc, reinterpret_cast<LPARAM>(this));
  if (result == -1) LOG_ERROR(u"The selection dialog could not be shown");
  return result == 1 ? 1 : IDCANCEL;
}

INT_PTR CCDialogHTMLSelection::dialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    SetWindowLongPtrW(dialog, DWLP_USER, lParam);
    reinterpret_cast<CCDialogHTMLSelection*>(lParam)->m_dialog = dialog;
  }
  auto* self = reinterpret_cast<CCDialogHTMLSelection*>(GetWindowLongPtrW(dialog, DWLP_USER));
  if (!self) return FALSE;
  return NUtils::guarded(u"CCDialogHTMLSelection", INT_PTR{FALSE}, [&] { return self->handle(message, wParam, lParam); });
}

INT_PTR CCDialogHTMLSelection::handle(UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG: return OnInitDialog();
    case WM_COMMAND: {
      const UINT id = LOWORD(wParam);
      switch (id) {
        case IDC_QUICK_PRINT:
        case ID_PRINT_QUICKPRINT: requestPrint(kModePrint); return TRUE;
        case IDC_PRINT:
        case ID_PRINT_PRINT: requestPrint(kModePrintWithPrompt); return TRUE;
        case IDC_PRINT_PREVIEW:
        case ID_PRINT_PRINTPREVIEW: requestPrint(kModePreview); return TRUE;
        // Enter: the dialog has no default button, and ending it here would print nothing.
        case IDOK: return TRUE;
        case IDCANCEL: EndDialog(m_dialog, IDCANCEL); return TRUE;
        default: break;
      }
      for (int level = 0; level < static_cast<int>(kTextSizeCommands.size()); ++level) {
        if (kTextSizeCommands[level] != id) continue;
        setTextZoom(level);
        return TRUE;
      }
      return FALSE;
    }
    case WM_HELP:
      LOG_DEBUG(u"Opening help page %s", kHelpAddress);
      NUtils::shellExecute(0, u"open", kHelpAddress, quilstring(), quilstring());
      return TRUE;
    case WM_DESTROY:
      // The view goes with its control; nothing of it is used from here on.
      if (m_view) {
        m_view->setDocumentCompleteHandler(nullptr);
        m_view->setContextMenuHandler(nullptr);
      }
      m_view = nullptr;
      m_collecting = false;
      return FALSE;
    default: return FALSE;
  }
}

BOOL CCDialogHTMLSelection::OnInitDialog() {
  quilstring subject;
  m_job.getItem()->getItem().getString(kDispidSubject, subject);
  quilstring caption;
  caption.FormatResource(NGlobals::moduleInstance(), IDS_SELECTION_CAPTION, subject.c_str());
  SetWindowTextW(m_dialog, caption.c_str());
  NUtils::centreOnOwner(m_dialog);

  m_view = platform::ui::htmlViewOf(GetDlgItem(m_dialog, IDC_SELECTION_BROWSER));
  if (!m_view) {
    LOG_ERROR(u"The selection dialog has no view to show the body in");
    EndDialog(m_dialog, IDCANCEL);
    return TRUE;
  }
  m_view->setDocumentCompleteHandler(
      [this] { NUtils::guarded(u"CCDialogHTMLSelection::OnDocumentComplete", [&] { OnDocumentComplete(); }); });
  // Right-clicking in the body shows the dialog's menu, never the view's own.
  m_view->setContextMenuHandler([this](int x, int y) {
    NUtils::guarded(u"CCDialogHTMLSelection::showContextMenu", [&] { showContextMenu(x, y); });
  });
  std::filesystem::path pictureFolder;
  const std::string html = composeBody(pictureFolder);
  m_view->loadHtml(html, pictureFolder);
  return TRUE;
}

void CCDialogHTMLSelection::OnDocumentComplete() {
  if (m_bodyLoaded) return;
  m_bodyLoaded = true;
  setTextZoom(kMediumText);
  if (testDriver()) {
    platform::loop::post([driver = testDriver(), dialog = m_dialog] {
      if (IsWindow(dialog)) driver(dialog);
    });
  }
}

bool CCDialogHTMLSelection::isPlainText() const {
  LONG format = 0;
  return m_job.getItem()->getItem().getLong(kDispidBodyFormat, format) && format == kFormatPlain;
}

std::string CCDialogHTMLSelection::composeBody(std::filesystem::path& pictureFolder) {
  CMessage& message = *m_job.getItem();
  CHtmlDocument shown;
  if (FAILED(shown.loadFromString(u"<!DOCTYPE html><html><head></head><body></body></html>"))) {
    LOG_ERROR(u"The selection dialog's document could not be made");
    return {};
  }
  CHtmlElement body = shown.body();
  if (isPlainText()) {
    quilstring text;
    if (!message.getItem().getString(kDispidBody, text)) LOG_ERROR(u"The item's text could not be read");
    NUtils::setHTMLFromPlainTextToElement(text, body);
    return quilstring(shown.documentHTML()).toUtf8();
  }
  const auto document = message.getDocument();
  if (!document || !document->body()) {
    LOG_ERROR(u"The item's body could not be read");
    return quilstring(shown.documentHTML()).toUtf8();
  }
  message.extractHTMLBodyStyles();
  message.replaceImages(*document);
  if (FAILED(message.applyHTMLBodyStyles(shown))) LOG_ERROR(u"The body's style rules could not be shown");
  if (FAILED(body.setInnerHTML(document->body().innerHTML()))) LOG_ERROR(u"The item's body could not be shown");
  // The body read again in another document may read otherwise than it did in its own.
  NInertHtml::makeElementInert(body);

  // The view reads files of one folder only: the pictures by their names in it.
  m_pictureFiles.clear();
  for (const AttachmentDataPtr& picture : message.getInlineImages()) {
    const std::filesystem::path file = picture->filePath.toUtf8();
    if (pictureFolder.empty()) pictureFolder = file.parent_path();
    if (file.parent_path() == pictureFolder) m_pictureFiles.emplace(relativeAddress(file.filename()), picture->filePath);
  }
  std::map<quilstring, quilstring> shownAs;
  for (const auto& [address, file] : m_pictureFiles) shownAs.emplace(file, address);
  mapPictureSources(body, shownAs);
  return quilstring(shown.documentHTML()).toUtf8();
}

void CCDialogHTMLSelection::setTextZoom(int level) {
  if (level < 0 || level >= static_cast<int>(kTextSizes.size())) return;
  m_zoomLevel = level;
  if (m_view) m_view->setZoom(kTextSizes[static_cast<std::size_t>(level)]);
}

void CCDialogHTMLSelection::showContextMenu(int screenX, int screenY) {
  const HMENU menu = LoadMenuW(NGlobals::moduleInstance(), MAKEINTRESOURCEW(IDR_SELECTION_MENU));
  if (!menu) {
    LOG_ERROR(u"The selection dialog's menu could not be loaded");
    return;
  }
  const HMENU popup = GetSubMenu(menu, 0);
  CheckMenuItem(popup, kTextSizeCommands[static_cast<std::size_t>(m_zoomLevel)], MF_BYCOMMAND | MF_CHECKED);
  TrackPopupMenu(popup, TPM_RIGHTBUTTON, screenX, screenY, 0, m_dialog, nullptr);
  DestroyMenu(menu);
}

void CCDialogHTMLSelection::requestPrint(int mode) {
  // The first command waits for the highlighted text; others meanwhile are the same request.
  if (m_collecting || !m_view) return;
  m_collecting = true;
  m_view->selectionHtml([this, mode](bool ok, const std::string& html) {
    m_collecting = false;
    if (!m_dialog) return;
    if (!ok) {
      LOG_ERROR(u"The highlighted part of the body could not be read");
      return;
    }
    // A body that did not take the selection must not print whole in its place.
    if (!NUtils::guarded(u"CCDialogHTMLSelection::collectSelection", [&] { collectSelection(html); })) {
      EndDialog(m_dialog, IDCANCEL);
      return;
    }
    m_mode = mode;
    EndDialog(m_dialog, 1);
  });
}

void CCDialogHTMLSelection::collectSelection(const std::string& utf8Html) {
  CMessage& message = *m_job.getItem();
  const quilstring highlighted = quilstring::fromUtf8(utf8Html);
  auto document = message.getDocument();
  if (isPlainText()) {
    // The view shows the text as markup; the selection prints as text, the way the item does.
    CHtmlDocument fragment;
    quilstring text;
    if (SUCCEEDED(fragment.loadFromString(highlighted)) && fragment.body()) text = fragment.body().innerText();
    if (!document) {
      // A plain-text item need not have an HTML body; its selection still prints.
      if (!message.getBodyDocument()->LoadFromString(quilstring())) throw std::runtime_error("no body document");
      document = message.getBodyDocument()->getDocument();
    }
    NUtils::setHTMLFromPlainTextToElement(text, document->body());
    return;
  }
  if (!document || !document->body()) throw std::runtime_error("the item's body document could not be read");
  CHtmlElement body = document->body();
  if (FAILED(body.setInnerHTML(highlighted))) throw std::runtime_error("the selection could not be put into the body");
  // What the view serialised is read again here: nothing in it may run or fetch.
  NInertHtml::makeElementInert(body);
  mapPictureSources(body, m_pictureFiles);
}

bool runSelectionService(CPrintInfo& job, HWND owner, const SelectionPrinter& print) {
  CCDialogHTMLSelection dialog(job);
  if (dialog.DoModal(owner) != 1) return true;
  const CSelectionPrintScope selectionPrint;
  print(job, dialog.mode());
  return true;
}
