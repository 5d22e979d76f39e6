// quillmark_samples FOLDER: writes the demo's sample items with the project's own .msg writer:
// a mail with an HTML body, an inline image and an attachment, a meeting request, a contact and
// a task. The repository thus needs nothing from outside to show a print.
#include <cstdio>
#include <filesystem>
#include <string>

#include "platform/mapi/MAPIDefs.h"
#include "platform/mapi/PropTags.h"
#include "tests/support/MsgWriter.h"

namespace {

namespace fs = std::filesystem;
using namespace testsupport;

constexpr long long kJune9Morning = 1780995600;  // 2026-06-09 09:00 UTC
constexpr ULONG kStartDate = PROP_TAG(PT_SYSTIME, 0x0060);
constexpr ULONG kEndDate = PROP_TAG(PT_SYSTIME, 0x0061);
constexpr ULONG kBusinessPhone = PROP_TAG(PT_UNICODE, 0x3A08);
constexpr ULONG kCompanyName = PROP_TAG(PT_UNICODE, 0x3A16);
constexpr ULONG kJobTitle = PROP_TAG(PT_UNICODE, 0x3A17);

// A 16 x 16 blue square.
const std::string kPng(
    "\x89\x50\x4e\x47\x0d\x0a\x1a\x0a\x00\x00\x00\x0d\x49\x48\x44\x52\x00\x00\x00\x10\x00\x00\x00\x10\x08\x02\x00\x00"
    "\x00\x90\x91\x68\x36\x00\x00\x00\x16\x49\x44\x41\x54\x78\x9c\x63\x90\x8b\x3a\x41\x12\x62\x18\xd5\x30\xaa\x61\xf8"
    "\x6a\x00\x00\x75\xb7\x40\x10\xf3\x0e\x48\xa9\x00\x00\x00\x00\x49\x45\x4e\x44\xae\x42\x60\x82",
    79);

MsgNamed named(const GUID& set, LONG lid, MsgValue value) {
  MsgNamed n;
  n.guid = set;
  n.lid = lid;
  n.value = std::move(value);
  return n;
}

MsgRecipient recipient(LONG type, std::u16string name, std::u16string address) {
  return MsgRecipient{{longProp(PR_RECIPIENT_TYPE, type), unicodeProp(PR_DISPLAY_NAME_W, name),
                       unicodeProp(PR_EMAIL_ADDRESS_W, address), unicodeProp(PR_ADDRTYPE_W, u"SMTP")}};
}

std::vector<MsgValue> sender(std::u16string name, std::u16string address) {
  return {unicodeProp(PR_SENDER_NAME_W, name), unicodeProp(PR_SENDER_EMAIL_ADDRESS_W, address),
          unicodeProp(PR_SENDER_ADDRTYPE_W, u"SMTP"), unicodeProp(PR_SENT_REPRESENTING_NAME_W, name)};
}

MsgDescription mail() {
  MsgDescription d;
  d.messageClass = "IPM.Note";
  d.props = sender(u"Mara Lindqvist", u"mara.lindqvist@example.com");
  const std::string html =
      "<html><head><style>h1{color:#1e5ac8;font-family:Arial}</style></head><body>"
      "<h1>Quarterly review</h1><p>Hello team,</p>"
      "<p>The figures for the quarter are attached. Our new logo: <img src=\"cid:logo@example.com\" alt=\"logo\"></p>"
      "<ul><li>Revenue up 12 %</li><li>Two new offices</li></ul><p>Regards,<br>Mara</p></body></html>";
  d.props.insert(d.props.end(),
                 {unicodeProp(PR_SUBJECT_W, u"Quarterly review and figures"),
                  unicodeProp(PR_BODY_W, u"Hello team,\r\n\r\nThe figures for the quarter are attached.\r\n\r\nRegards,\r\nMara"),
                  binaryProp(PR_HTML, html), longProp(PR_INTERNET_CPID, 65001), longProp(PR_IMPORTANCE, 2),
                  timeProp(PR_CLIENT_SUBMIT_TIME, fileTimeFromUnix(kJune9Morning)),
                  timeProp(PR_MESSAGE_DELIVERY_TIME, fileTimeFromUnix(kJune9Morning + 60))});
  d.recipients = {recipient(MAPI_TO, u"Jonas Berg", u"jonas.berg@example.com"),
                  recipient(MAPI_CC, u"Aiko Tanaka", u"aiko.tanaka@example.com")};
  MsgAttachment image{{longProp(PR_ATTACH_METHOD, ATTACH_BY_VALUE), unicodeProp(PR_DISPLAY_NAME_W, u"logo.png"),
                       unicodeProp(PR_ATTACH_LONG_FILENAME_W, u"logo.png"), unicodeProp(PR_ATTACH_MIME_TAG_W, u"image/png"),
                       unicodeProp(PR_ATTACH_CONTENT_ID_W, u"logo@example.com"), boolProp(PR_ATTACHMENT_HIDDEN, true),
                       binaryProp(PR_ATTACH_DATA_BIN, kPng)},
                      nullptr};
  MsgAttachment figures{{longProp(PR_ATTACH_METHOD, ATTACH_BY_VALUE), unicodeProp(PR_DISPLAY_NAME_W, u"figures.csv"),
                         unicodeProp(PR_ATTACH_LONG_FILENAME_W, u"figures.csv"),
                         binaryProp(PR_ATTACH_DATA_BIN, "quarter,revenue\nQ1,100\nQ2,112\n")},
                        nullptr};
  d.attachments = {image, figures};
  return d;
}

MsgDescription meeting() {
  MsgDescription d;
  d.messageClass = "IPM.Schedule.Meeting.Request";
  d.props = sender(u"Jonas Berg", u"jonas.berg@example.com");
  d.props.insert(d.props.end(), {unicodeProp(PR_SUBJECT_W, u"Planning meeting for the launch"),
                                 unicodeProp(PR_BODY_W, u"Let us plan the launch together. Coffee provided."),
                                 timeProp(PR_CLIENT_SUBMIT_TIME, fileTimeFromUnix(kJune9Morning)),
                                 timeProp(kStartDate, fileTimeFromUnix(kJune9Morning + 2 * 86400)),
                                 timeProp(kEndDate, fileTimeFromUnix(kJune9Morning + 2 * 86400 + 5400))});
  d.recipients = {recipient(MAPI_TO, u"Mara Lindqvist", u"mara.lindqvist@example.com")};
  d.named = {named(PSETID_Appointment, 0x8208, unicodeProp(namedTag(0, PT_UNICODE), u"Room 4, second floor")),
             named(PSETID_Appointment, 0x820D, timeProp(namedTag(1, PT_SYSTIME), fileTimeFromUnix(kJune9Morning + 2 * 86400))),
             named(PSETID_Appointment, 0x820E,
                   timeProp(namedTag(2, PT_SYSTIME), fileTimeFromUnix(kJune9Morning + 2 * 86400 + 5400)))};
  return d;
}

MsgDescription contact() {
  MsgDescription d;
  d.messageClass = "IPM.Contact";
  d.props = {unicodeProp(PR_SUBJECT_W, u"Aiko Tanaka"), unicodeProp(PR_DISPLAY_NAME_W, u"Aiko Tanaka"),
             unicodeProp(kCompanyName, u"Northwind Traders"), unicodeProp(kJobTitle, u"Purchasing manager"),
             unicodeProp(kBusinessPhone, u"+46 8 555 0123"),
             unicodeProp(PR_BODY_W, u"Met at the spring fair; prefers e-mail.")};
  d.named = {named(PSETID_Address, 0x8083, unicodeProp(namedTag(0, PT_UNICODE), u"aiko.tanaka@example.com")),
             named(PSETID_Address, 0x8080, unicodeProp(namedTag(1, PT_UNICODE), u"Aiko Tanaka (aiko.tanaka@example.com)"))};
  return d;
}

MsgDescription task() {
  MsgDescription d;
  d.messageClass = "IPM.TaskRequest";
  d.props = sender(u"Mara Lindqvist", u"mara.lindqvist@example.com");
  d.props.insert(d.props.end(), {unicodeProp(PR_SUBJECT_W, u"Send the figures to the auditors"),
                                 unicodeProp(PR_BODY_W, u"Include the signed summary page."),
                                 longProp(PR_IMPORTANCE, 2)});
  d.named = {named(PSETID_Task, 0x8105, timeProp(namedTag(0, PT_SYSTIME), fileTimeFromUnix(kJune9Morning + 4 * 86400))),
             named(PSETID_Task, 0x8101, longProp(namedTag(1, PT_LONG), 1)),
             named(PSETID_Task, 0x8102, doubleProp(namedTag(2, PT_DOUBLE), 0.25))};
  return d;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("usage: quillmark_samples FOLDER\n", stderr);
    return 2;
  }
  const fs::path folder = argv[1];
  std::error_code ec;
  fs::create_directories(folder, ec);
  const std::pair<const char*, MsgDescription> samples[] = {
      {"mail.msg", mail()}, {"meeting.msg", meeting()}, {"contact.msg", contact()}, {"task.msg", task()}};
  for (const auto& [name, description] : samples) {
    if (!writeMsgFile(description, folder / name)) {
      std::fprintf(stderr, "quillmark_samples: cannot write %s\n", (folder / name).string().c_str());
      return 1;
    }
  }
  return 0;
}
