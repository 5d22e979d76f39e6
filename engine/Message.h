#pragma once
// CMessage: one Outlook item prepared for printing: the item (COutlookItem), its MAPI message, its
// user properties, its body document, its recipients sorted by kind, and its attachments written
// to temporary files (deleted with the message). Held by shared pointer, never copied; used on
// Outlook's user-interface thread only. Nothing here throws to the caller.

#include <map>
#include <optional>
#include <set>
#include <vector>

#include <boost/shared_ptr.hpp>

#include "engine/Attachments.h"
#include "engine/MSHTMLWrapper.h"
#include "engine/OutlookItem.h"
#include "foundation/QuilString.h"
#include "foundation/SettingsData.h"
#include "platform/html/HtmlDocument.h"
#include "platform/mapi/MAPIInterfaces.h"

// One recipient as MAPI gives it. Equal when all three texts are equal, case included.
struct RecipientDetails {
  quilstring name;
  quilstring address;
  quilstring addressType;  // "EX" for an Exchange address
  friend bool operator==(const RecipientDetails&, const RecipientDetails&) = default;
};
using RecipientList = std::vector<RecipientDetails>;
using RecipientListPtr = boost::shared_ptr<RecipientList>;

// Recipient kinds; the same codes key the recipient fields of templates.
inline constexpr ULONG kRecipientTo = 0x00010000;
inline constexpr ULONG kRecipientCc = 0x00020000;
inline constexpr ULONG kRecipientBcc = 0x00030000;
inline constexpr ULONG kRecipientReceivedBy = 0x00400000;
inline constexpr ULONG kRecipientSender = 0x01000000;
inline constexpr ULONG kRecipientSentRepresenting = 0x04000000;

class CMessage {
 public:
  // Reads the item's user properties and MAPI message and fetches the recipients. An item
  // without a MAPI object gives a message with no recipients and no attachments.
  explicit CMessage(IDispatch* item);
  // Deletes the temporary files of attachments and inline images.
  ~CMessage();
  CMessage(const CMessage&) = delete;
  CMessage& operator=(const CMessage&) = delete;

  COutlookItem& getItem() { return m_item; }
  IMessage* getMAPIMessage() const { return m_mapiMessage; }
  IDispatch* getUserProperties() const { return m_userProperties; }
  const boost::shared_ptr<CMSHTMLWrapper>& getBodyDocument() const { return m_bodyDocument; }

  // One property of the MAPI message; the caller frees *value with MAPIFreeBuffer. False (and
  // *value null) when there is no MAPI message or the property cannot be read.
  bool getMAPIProperty(ULONG tag, LPSPropValue* value);
  // A PT_SYSTIME property of the MAPI message (UTC: basis, when asked, says so). Outlook's
  // "no date" answers false.
  bool getMAPIFileTime(ULONG tag, FILETIME& out, TimeBasis* basis = nullptr);
  // IMAPIProp::OpenProperty on the MAPI message.
  bool openMAPIProperty(ULONG tag, LPCIID iid, ULONG interfaceOptions, ULONG flags, LPUNKNOWN* object);

  // The recipients of a kind; an empty list for other kinds or before any fetch.
  RecipientListPtr getRecipients(ULONG kind) const;
  // The names of the item's linked contacts, joined by ", ".
  quilstring getContactNames();
  static ULONG recipientKindFromMAPIType(LONG type);

  // Attachments, fetched on the first call of any of these.
  // Whether the attachment table could be read (even with no rows).
  bool hasAttachments();
  // The rows of the attachment table (its eleven columns); null when it could not be read.
  const SRowSet* getAttachmentRows();
  const std::vector<AttachmentDataPtr>& getInlineImages();
  const std::vector<AttachmentDataPtr>& getAttachments();
  // The temporary file of the contact's photo; empty when there is none.
  quilstring getContactPicturePath();
  // Whether an attachment is an OLE object (attach method 6).
  bool hasOLEAttachment();
  // Points the img and imagedata elements (of the document, or inside an element) whose src
  // names an inline image at that image's file.
  void replaceImages(const platform::html::CHtmlDocument& document);
  void replaceImages(const platform::html::CHtmlElement& scope);
  // Fetches the attachments unless that happened already (or cannot happen: no MAPI message).
  void ensureAttachments();

  // The body document, loaded on first use from the item's HTML body and made inert (no
  // script, embedded object, event handler, script address, @page or @import); none while the
  // item has no HTML body (the next call tries again).
  std::optional<platform::html::CHtmlDocument> getDocument();
  // Prepares the body for printing with the job's range (null: the whole body): a plain-text
  // item shows its text (in an empty document when it has no HTML body), cut to the thread when
  // the range asks for it; an HTML item's document is cut to the thread. Done once per range: a
  // second call with the same range changes nothing, another range starts from the item again.
  void setHTMLFromBody(const PrintOptions* range);
  // Collects the style rules of the body document (the first rule of each selector). Failures
  // are logged; the rules read before stay.
  void extractHTMLBodyStyles();
  // Appends the collected rules, in selector order, to a new style sheet of the target; nothing
  // when none were collected. A rule the sheet refuses is left out (logged).
  HRESULT applyHTMLBodyStyles(platform::html::CHtmlDocument target);
  const std::map<quilstring, quilstring>& getHTMLBodyStyles() const { return m_styleRules; }

  // Makes path name a new file of its own: the file is created empty and exclusively, and while
  // the name is taken (by any file, an empty one too) the base name gets a counter (report.pdf,
  // report1.pdf, report2.pdf ...). The next counter is remembered per name, so each call takes
  // constant time however many files of one name there are. The file is closed to others.
  // False, path unchanged, when no name could be had (logged).
  static bool uniqueFileName(quilstring& path);
  // Copies the whole stream into the file at path (created or truncated). True only when every
  // byte was written and committed; otherwise the partial file is deleted.
  static bool writeAttachmentToFile(IStream* source, const quilstring& path);

 private:
  void fetchRecipients();
  void fetchCurrentUser(RecipientDetails& details);
  void collectRecipient(const RecipientDetails& details, ULONG kind);
  void readText(ULONG tag, quilstring& out);
  void fetchAttachments();
  const char16_t* setupStrProp(IAttach* attachment, ULONG tag, SRow& row, ULONG column);
  void replaceImagesIn(const platform::html::CHtmlElementCollection& all);
  void deleteTemporaryFiles();
  // `textReplacesBody`: the item's plain text goes into the BODY, so the HTML body's BODY may
  // come empty.
  std::optional<platform::html::CHtmlDocument> loadBody(bool textReplacesBody = false);

  COutlookItem m_item;
  CComPtr<IMessage> m_mapiMessage;
  CComPtr<IDispatch> m_userProperties;
  boost::shared_ptr<CMSHTMLWrapper> m_bodyDocument;
  platform::mapi::RowSetPtr m_attachmentRows;
  std::vector<AttachmentDataPtr> m_inlineImages;
  std::vector<AttachmentDataPtr> m_attachments;
  std::vector<platform::mapi::MAPIBuffer<SPropValue>> m_fetchedValues;
  std::map<quilstring, quilstring> m_styleRules;
  bool m_hasOLEAttachment = false;
  quilstring m_contactPicturePath;
  std::map<ULONG, RecipientListPtr> m_recipients;
  bool m_attachmentsFetched = false;
  // The thread range the body was prepared for (kWholeBody: uncut); none before the first.
  std::optional<long> m_bodyPreparedFor;
};

using CMessagePtr = boost::shared_ptr<CMessage>;
