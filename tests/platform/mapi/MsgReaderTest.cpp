// The reader on fixtures from the .msg writer: every property type round-trips, 8-bit strings
// decode by the right code page, named properties, tables, streams, embedded messages, and
// hostile sizes and structures stay bounded.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>

#include "platform/system/CodePage.h"
#include "tests/platform/mapi/MapiTestUtil.h"
#include "tests/support/MsgWriter.h"
#include "tests/support/TestEnvironment.h"

namespace {

using namespace mapitest;
using namespace testsupport;

constexpr ULONG PR_TEST_I8 = PROP_TAG(PT_I8, 0x6601);
constexpr ULONG PR_TEST_DOUBLE = PROP_TAG(PT_DOUBLE, 0x6602);
constexpr ULONG PR_TEST_CURRENCY = PROP_TAG(PT_CURRENCY, 0x6603);
constexpr ULONG PR_TEST_CLSID = PROP_TAG(PT_CLSID, 0x6604);
constexpr ULONG PR_TEST_MV_LONG = PROP_TAG(PT_MV_LONG, 0x6605);
constexpr ULONG PR_TEST_MV_UNICODE = PROP_TAG(PT_MV_UNICODE, 0x6606);
constexpr ULONG PR_TEST_MV_STRING8 = PROP_TAG(PT_MV_STRING8, 0x6607);
constexpr ULONG PR_TEST_MV_BINARY = PROP_TAG(PT_MV_BINARY, 0x6608);
constexpr ULONG PR_TEST_SHORT = PROP_TAG(PT_I2, 0x6609);
const GUID kTestGuid = {0x12345678, 0x9ABC, 0xDEF0, {1, 2, 3, 4, 5, 6, 7, 8}};

MsgRecipient recipient(LONG type, std::u16string name, std::u16string address) {
  return MsgRecipient{{longProp(PR_RECIPIENT_TYPE, type), unicodeProp(PR_DISPLAY_NAME_W, name),
                       unicodeProp(PR_EMAIL_ADDRESS_W, address), unicodeProp(PR_ADDRTYPE_W, u"SMTP")}};
}

MsgAttachment byValue(std::u16string name, std::string data, std::u16string contentId = u"") {
  MsgAttachment a{{longProp(PR_ATTACH_METHOD, ATTACH_BY_VALUE), unicodeProp(PR_ATTACH_LONG_FILENAME_W, name),
                   unicodeProp(PR_DISPLAY_NAME_W, name), binaryProp(PR_ATTACH_DATA_BIN, data)},
                  nullptr};
  if (!contentId.empty()) a.props.push_back(unicodeProp(PR_ATTACH_CONTENT_ID_W, contentId));
  return a;
}

MsgAttachment embedded(std::shared_ptr<MsgDescription> message) {
  return MsgAttachment{{longProp(PR_ATTACH_METHOD, ATTACH_EMBEDDED_MSG), unicodeProp(PR_DISPLAY_NAME_W, u"inner")},
                       std::move(message)};
}

class MsgReaderTest : public testsupport::IsolatedTest {
 protected:
  void TearDown() override { platform::mapi::setFileStreamWriteLimitForTesting(std::nullopt); }
};

TEST_F(MsgReaderTest, EveryPropertyTypeRoundTrips) {
  MsgDescription d;
  d.messageClass = "IPM.Note";
  d.props = {unicodeProp(PR_SUBJECT_W, u"Grüße – ☃"),
             longProp(PR_IMPORTANCE, 2),
             shortProp(PR_TEST_SHORT, -7),
             boolProp(PR_HASATTACH, true),
             i8Prop(PR_TEST_I8, -1234567890123LL),
             doubleProp(PR_TEST_DOUBLE, 2.5),
             currencyProp(PR_TEST_CURRENCY, 123456),
             timeProp(PR_CLIENT_SUBMIT_TIME, fileTimeFromUnix(1700000000)),
             binaryProp(PR_SEARCH_KEY, std::string("\0\x01\xFF", 3)),
             clsidProp(PR_TEST_CLSID, kTestGuid),
             mvLongProp(PR_TEST_MV_LONG, {1, -2, 3}),
             mvUnicodeProp(PR_TEST_MV_UNICODE, {u"one", u"", u"drei"}),
             mvString8Prop(PR_TEST_MV_STRING8, {"a", "bc"}),
             mvBinaryProp(PR_TEST_MV_BINARY, {"xy", std::string("\0", 1)})};
  ComRef<IMessage> m = openBytes(buildMsg(d));
  ASSERT_TRUE(m);

  SizedSPropTagArray(16, tags) = {16,
                                  {PR_MESSAGE_CLASS_W, PR_SUBJECT_W, PR_IMPORTANCE, PR_TEST_SHORT, PR_HASATTACH,
                                   PR_TEST_I8, PR_TEST_DOUBLE, PR_TEST_CURRENCY, PR_CLIENT_SUBMIT_TIME, PR_SEARCH_KEY,
                                   PR_TEST_CLSID, PR_TEST_MV_LONG, PR_TEST_MV_UNICODE, PR_TEST_MV_STRING8,
                                   PR_TEST_MV_BINARY, PR_BODY_W}};
  ULONG count = 0;
  LPSPropValue values = nullptr;
  ASSERT_EQ(m->GetProps(reinterpret_cast<LPSPropTagArray>(&tags), 0, &count, &values), MAPI_W_ERRORS_RETURNED);
  MAPIBuffer<SPropValue> hold(values);
  ASSERT_EQ(count, 16u);
  EXPECT_EQ(utf8(values[0].Value.lpszW), "IPM.Note");
  EXPECT_EQ(utf8(values[1].Value.lpszW), "Grüße – ☃");
  EXPECT_EQ(values[2].Value.l, 2);
  EXPECT_EQ(values[3].Value.i, -7);
  EXPECT_EQ(values[4].Value.b, 1);
  EXPECT_EQ(values[5].Value.li.QuadPart, -1234567890123LL);
  EXPECT_EQ(values[6].Value.dbl, 2.5);
  EXPECT_EQ(values[7].Value.cur.int64, 123456);
  EXPECT_EQ(values[8].Value.ft.dwLowDateTime, fileTimeFromUnix(1700000000).dwLowDateTime);
  EXPECT_EQ(values[8].Value.ft.dwHighDateTime, fileTimeFromUnix(1700000000).dwHighDateTime);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(values[9].Value.bin.lpb), values[9].Value.bin.cb),
            std::string("\0\x01\xFF", 3));
  EXPECT_TRUE(IsEqualGUID(*values[10].Value.lpguid, kTestGuid));
  ASSERT_EQ(values[11].Value.MVl.cValues, 3u);
  EXPECT_EQ(values[11].Value.MVl.lpl[1], -2);
  ASSERT_EQ(values[12].Value.MVszW.cValues, 3u);
  EXPECT_EQ(utf8(values[12].Value.MVszW.lppszW[1]), "");
  EXPECT_EQ(utf8(values[12].Value.MVszW.lppszW[2]), "drei");
  ASSERT_EQ(values[13].Value.MVszA.cValues, 2u);
  EXPECT_STREQ(values[13].Value.MVszA.lppszA[1], "bc");
  ASSERT_EQ(values[14].Value.MVbin.cValues, 2u);
  EXPECT_EQ(values[14].Value.MVbin.lpbin[1].cb, 1u);
  EXPECT_EQ(values[15].ulPropTag, PROP_TAG(PT_ERROR, PROP_ID(PR_BODY_W)));
  EXPECT_EQ(values[15].Value.err, MAPI_E_NOT_FOUND);

  // A wrong type is not converted; PT_UNSPECIFIED gives the stored type.
  LPSPropValue one = nullptr;
  EXPECT_EQ(HrGetOneProp(m.get(), CHANGE_PROP_TYPE(PR_IMPORTANCE, PT_UNICODE), &one), MAPI_E_NOT_FOUND);
  EXPECT_EQ(one, nullptr);
  ASSERT_EQ(HrGetOneProp(m.get(), CHANGE_PROP_TYPE(PR_TEST_I8, PT_UNSPECIFIED), &one), S_OK);
  MAPIBuffer<SPropValue> holdOne(one);
  EXPECT_EQ(one->ulPropTag, PR_TEST_I8);
  EXPECT_TRUE(FPropExists(m.get(), PR_TEST_MV_BINARY));
  EXPECT_FALSE(FPropExists(m.get(), PR_BODY_W));
}

// The code page of 8-bit strings comes from the message code page, then the locale, then the
// internet code page (mapped to the ANSI code page it implies), then 1252.
TEST_F(MsgReaderTest, String8DecodesByTheRightCodePage) {
  const std::u16string russian = u"Привет, мир";
  const std::u16string japanese = u"日本語の件名";
  const struct {
    const char* name;
    std::vector<MsgValue> codePageProps;
    std::u16string subject;
    UINT storedIn;
    UINT expected;
  } cases[] = {
      {"locale 1049", {longProp(PR_MESSAGE_LOCALE_ID, 1049)}, russian, 1251, 1251},
      {"message code page wins", {longProp(PR_MESSAGE_CODEPAGE, 1251), longProp(PR_MESSAGE_LOCALE_ID, 1033)}, russian, 1251, 1251},
      {"utf-8 string8", {longProp(PR_MESSAGE_CODEPAGE, 65001), longProp(PR_MESSAGE_LOCALE_ID, 1041)}, japanese, 65001, 65001},
      {"koi8-r internet code page means 1251", {longProp(PR_INTERNET_CPID, 20866)}, russian, 1251, 1251},
      {"iso-2022-jp means 932", {longProp(PR_INTERNET_CPID, 50220)}, japanese, 932, 932},
      {"locale before internet code page", {longProp(PR_MESSAGE_LOCALE_ID, 1041), longProp(PR_INTERNET_CPID, 28591)}, japanese, 932, 932},
      {"utf-8 internet code page says nothing", {longProp(PR_INTERNET_CPID, 65001)}, u"Café", 1252, 1252},
      {"nothing at all", {}, u"Café", 1252, 1252},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    MsgDescription d;
    d.props = c.codePageProps;
    d.props.push_back(ansiProp(PR_SUBJECT_A, c.subject, c.storedIn));
    d.recipients = {MsgRecipient{{longProp(PR_RECIPIENT_TYPE, MAPI_TO), ansiProp(PR_DISPLAY_NAME_A, c.subject, c.storedIn)}}};
    ComRef<IMessage> m = openBytes(buildMsg(d));
    ASSERT_TRUE(m);
    EXPECT_EQ(platform::mapi::stringCodePage(m.get()), c.expected);
    EXPECT_EQ(text(m.get(), PR_SUBJECT), utf8(c.subject.c_str()));
    // Streams give UTF-16 for a Unicode tag and the stored bytes for an 8-bit one.
    const auto wide = streamOf(m.get(), PR_SUBJECT_W);
    ASSERT_TRUE(wide);
    EXPECT_EQ(wide->size(), c.subject.size() * 2);
    EXPECT_EQ(std::memcmp(wide->data(), c.subject.data(), wide->size()), 0);
    EXPECT_EQ(streamOf(m.get(), PR_SUBJECT_A), platform::system::fromUtf16(c.storedIn, c.subject));
    // Recipient rows asked for in Unicode are converted by the message's code page too.
    ComRef<IMAPITable> table;
    ASSERT_EQ(m->GetRecipientTable(MAPI_UNICODE, table.receive()), S_OK);
    LPSRowSet rows = nullptr;
    ASSERT_EQ(table->QueryRows(10, 0, &rows), S_OK);
    RowSetPtr hold(rows);
    ASSERT_EQ(rows->cRows, 1u);
    const SPropValue* name = PpropFindProp(rows->aRow[0].lpProps, rows->aRow[0].cValues, PR_DISPLAY_NAME_W);
    ASSERT_NE(name, nullptr);
    EXPECT_EQ(utf8(name->Value.lpszW), utf8(c.subject.c_str()));
  }
}

TEST_F(MsgReaderTest, UnicodeStoredReadsAsString8InTheMessageCodePage) {
  MsgDescription d;
  d.props = {longProp(PR_MESSAGE_LOCALE_ID, 1049), unicodeProp(PR_SUBJECT_W, u"Счёт")};
  ComRef<IMessage> m = openBytes(buildMsg(d));
  LPSPropValue value = nullptr;
  ASSERT_EQ(HrGetOneProp(m.get(), PR_SUBJECT_A, &value), S_OK);
  MAPIBuffer<SPropValue> hold(value);
  EXPECT_EQ(std::string(value->Value.lpszA), platform::system::fromUtf16(1251, u"Счёт").value());
}

TEST_F(MsgReaderTest, EmbeddedMessageWithoutCodePageInheritsItsParents) {
  auto inner = std::make_shared<MsgDescription>();
  inner->props = {ansiProp(PR_SUBJECT_A, u"Вложение", 1251)};
  MsgDescription d;
  d.props = {longProp(PR_MESSAGE_LOCALE_ID, 1049)};
  d.attachments = {embedded(inner)};
  ComRef<IMessage> m = openBytes(buildMsg(d));
  ComRef<IMessage> e = embeddedMessage(m.get(), 0);
  ASSERT_TRUE(e);
  EXPECT_EQ(platform::mapi::stringCodePage(e.get()), 1251u);
  EXPECT_EQ(text(e.get(), PR_SUBJECT), "Вложение");
}

TEST_F(MsgReaderTest, NamedPropertiesByNumberAndByName) {
  MsgDescription d;
  d.named = {MsgNamed{PSETID_Appointment, 0x8208, u"", unicodeProp(0, u"Room 1")},
             MsgNamed{PS_PUBLIC_STRINGS, std::nullopt, u"Keywords", mvUnicodeProp(0, {u"red", u"blue"})},
             MsgNamed{kTestGuid, std::nullopt, u"Custom", longProp(0, 42)},
             MsgNamed{PS_MAPI, 0x0037, u"", longProp(0, 7)}};
  ComRef<IMessage> m = openBytes(buildMsg(d));
  ASSERT_TRUE(m);

  GUID appointment = PSETID_Appointment, publicStrings = PS_PUBLIC_STRINGS, custom = kTestGuid, mapi = PS_MAPI;
  MAPINAMEID byLid{&appointment, MNID_ID, {}};
  byLid.Kind.lID = 0x8208;
  char16_t keywords[] = u"Keywords", customName[] = u"Custom", missing[] = u"Missing";
  MAPINAMEID byName{&publicStrings, MNID_STRING, {}};
  byName.Kind.lpwstrName = keywords;
  MAPINAMEID byCustom{&custom, MNID_STRING, {}};
  byCustom.Kind.lpwstrName = customName;
  MAPINAMEID absent{&custom, MNID_STRING, {}};
  absent.Kind.lpwstrName = missing;
  MAPINAMEID wrongSet{&mapi, MNID_ID, {}};
  wrongSet.Kind.lID = 0x8208;
  LPMAPINAMEID names[] = {&byLid, &byName, &byCustom, &absent, &wrongSet};
  LPSPropTagArray tags = nullptr;
  ASSERT_EQ(m->GetIDsFromNames(5, names, 0, &tags), MAPI_W_ERRORS_RETURNED);
  MAPIBuffer<SPropTagArray> hold(tags);
  EXPECT_EQ(tags->aulPropTag[0], PROP_TAG(PT_UNSPECIFIED, 0x8000));
  EXPECT_EQ(tags->aulPropTag[1], PROP_TAG(PT_UNSPECIFIED, 0x8001));
  EXPECT_EQ(tags->aulPropTag[2], PROP_TAG(PT_UNSPECIFIED, 0x8002));
  EXPECT_EQ(tags->aulPropTag[3], PROP_TAG(PT_ERROR, 0));
  EXPECT_EQ(tags->aulPropTag[4], PROP_TAG(PT_ERROR, 0));
  EXPECT_EQ(text(m.get(), PROP_TAG(PT_UNICODE, 0x8000)), "Room 1");
  EXPECT_EQ(number(m.get(), PROP_TAG(PT_LONG, 0x8002)), 42);

  // Every name of the map, in the reverse direction.
  LPSPropTagArray all = nullptr;
  ULONG count = 0;
  LPMAPINAMEID* back = nullptr;
  ASSERT_EQ(m->GetNamesFromIDs(&all, nullptr, 0, &count, &back), S_OK);
  MAPIBuffer<SPropTagArray> holdAll(all);
  MAPIBuffer<LPMAPINAMEID> holdBack(back);
  ASSERT_EQ(count, 4u);
  EXPECT_EQ(back[1]->ulKind, MNID_STRING);
  EXPECT_EQ(utf8(back[1]->Kind.lpwstrName), "Keywords");
  EXPECT_TRUE(IsEqualGUID(*back[2]->lpguid, kTestGuid));
  EXPECT_TRUE(IsEqualGUID(*back[3]->lpguid, PS_MAPI));
  EXPECT_EQ(back[3]->Kind.lID, 0x0037);

  // An id the map does not hold answers a null name.
  SizedSPropTagArray(2, ids) = {2, {PROP_TAG(PT_LONG, 0x8002), PROP_TAG(PT_LONG, 0x9000)}};
  LPSPropTagArray idsPtr = reinterpret_cast<LPSPropTagArray>(&ids);
  LPMAPINAMEID* some = nullptr;
  ASSERT_EQ(m->GetNamesFromIDs(&idsPtr, nullptr, 0, &count, &some), MAPI_W_ERRORS_RETURNED);
  MAPIBuffer<LPMAPINAMEID> holdSome(some);
  EXPECT_NE(some[0], nullptr);
  EXPECT_EQ(some[1], nullptr);
}

TEST_F(MsgReaderTest, TablesPageThroughRowsAndChooseColumns) {
  MsgDescription d;
  d.recipients = {recipient(MAPI_TO, u"Ann", u"ann@example.test"), recipient(MAPI_CC, u"Bob", u"bob@example.test"),
                  recipient(MAPI_BCC, u"Cy", u"cy@example.test")};
  ComRef<IMessage> m = openBytes(buildMsg(d));
  ComRef<IMAPITable> table;
  ASSERT_EQ(m->GetRecipientTable(MAPI_UNICODE, table.receive()), S_OK);
  SizedSPropTagArray(3, columns) = {3, {PR_DISPLAY_NAME_W, PR_RECIPIENT_TYPE, PR_ROWID}};
  ASSERT_EQ(table->SetColumns(reinterpret_cast<LPSPropTagArray>(&columns), 0), S_OK);

  LPSRowSet rows = nullptr;
  ASSERT_EQ(table->QueryRows(2, TBL_NOADVANCE, &rows), S_OK);
  RowSetPtr peek(rows);
  EXPECT_EQ(rows->cRows, 2u);
  ASSERT_EQ(table->QueryRows(2, 0, &rows), S_OK);
  RowSetPtr first(rows);
  ASSERT_EQ(rows->cRows, 2u);
  EXPECT_EQ(column(rows->aRow[1], 0), "Bob");
  EXPECT_EQ(columnLong(rows->aRow[1], 2), 1);
  ASSERT_EQ(table->QueryRows(2, 0, &rows), S_OK);
  RowSetPtr rest(rows);
  ASSERT_EQ(rows->cRows, 1u);
  EXPECT_EQ(columnLong(rows->aRow[0], 1), MAPI_BCC);
  ASSERT_EQ(table->QueryRows(2, 0, &rows), S_OK);
  RowSetPtr end(rows);
  EXPECT_EQ(rows->cRows, 0u);
  // Backwards from the end, then seeking.
  ASSERT_EQ(table->QueryRows(-2, 0, &rows), S_OK);
  RowSetPtr back(rows);
  ASSERT_EQ(rows->cRows, 2u);
  EXPECT_EQ(column(rows->aRow[0], 0), "Bob");
  LONG sought = 0;
  EXPECT_EQ(table->SeekRow(BOOKMARK_BEGINNING, 10, &sought), S_OK);
  EXPECT_EQ(sought, 3);

  LPSRowSet all = nullptr;
  EXPECT_EQ(HrQueryAllRows(table.get(), nullptr, nullptr, nullptr, 2, &all), MAPI_E_TABLE_TOO_BIG);
  ASSERT_EQ(HrQueryAllRows(table.get(), nullptr, nullptr, nullptr, 0, &all), S_OK);
  RowSetPtr holdAll(all);
  EXPECT_EQ(all->cRows, 3u);
}

TEST_F(MsgReaderTest, AttachmentsOpenByNumberAndStreamTheirData) {
  std::string big(200000, '\0');
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7);
  MsgDescription d;
  d.attachments = {byValue(u"a.txt", "hello"), byValue(u"image.png", big, u"img@1")};
  d.attachments[1].props.push_back(longProp(PR_ATTACH_FLAGS, ATT_MHTML_REF));
  ComRef<IMessage> m = openBytes(buildMsg(d));

  ComRef<IMAPITable> table;
  ASSERT_EQ(m->GetAttachmentTable(0, table.receive()), S_OK);
  LPSRowSet rows = nullptr;
  ASSERT_EQ(table->QueryRows(10, 0, &rows), S_OK);
  RowSetPtr hold(rows);
  ASSERT_EQ(rows->cRows, 2u);
  const SRow& second = rows->aRow[1];
  EXPECT_EQ(PpropFindProp(second.lpProps, second.cValues, PR_ATTACH_NUM)->Value.l, 1);
  EXPECT_STREQ(PpropFindProp(second.lpProps, second.cValues, PR_ATTACH_CONTENT_ID_A)->Value.lpszA, "img@1");
  EXPECT_EQ(PpropFindProp(second.lpProps, second.cValues, PR_ATTACH_SIZE)->Value.l, 200000);
  EXPECT_EQ(PpropFindProp(second.lpProps, second.cValues, PR_ATTACH_FLAGS)->Value.l, static_cast<LONG>(ATT_MHTML_REF));

  ComRef<IAttach> missing;
  EXPECT_EQ(m->OpenAttach(2, nullptr, MAPI_BEST_ACCESS, missing.receive()), MAPI_E_NOT_FOUND);
  ComRef<IAttach> attach;
  ASSERT_EQ(m->OpenAttach(1, &IID_IAttachment, MAPI_BEST_ACCESS, attach.receive()), S_OK);
  ComRef<IUnknown> unknown;
  ASSERT_EQ(attach->OpenProperty(PR_ATTACH_DATA_BIN, &IID_IStream, 0, 0, unknown.receive()), S_OK);
  ComRef<IStream> stream;
  ASSERT_EQ(unknown->QueryInterface(IID_IStream, reinterpret_cast<void**>(stream.receive())), S_OK);

  // Seek and read within it; reads past the end give nothing.
  LARGE_INTEGER move{};
  move.QuadPart = -10;
  ULARGE_INTEGER position{};
  ASSERT_EQ(stream->Seek(move, STREAM_SEEK_END, &position), S_OK);
  EXPECT_EQ(position.QuadPart, big.size() - 10);
  char tail[20];
  ULONG read = 0;
  ASSERT_EQ(stream->Read(tail, sizeof tail, &read), S_OK);
  EXPECT_EQ(read, 10u);
  EXPECT_EQ(std::string(tail, 10), big.substr(big.size() - 10));
  ASSERT_EQ(stream->Read(tail, sizeof tail, &read), S_OK);
  EXPECT_EQ(read, 0u);
  move.QuadPart = -1;
  EXPECT_EQ(stream->Seek(move, STREAM_SEEK_SET, nullptr), STG_E_INVALIDFUNCTION);

  // Copied whole to a file stream.
  move.QuadPart = 0;
  stream->Seek(move, STREAM_SEEK_SET, nullptr);
  const std::string path = (dir() / "image.png").string();
  ComRef<IStream> file;
  ASSERT_EQ(OpenStreamOnFile(MAPIAllocateBuffer, MAPIFreeBuffer, STGM_CREATE | STGM_READWRITE, path.c_str(), nullptr,
                             file.receive()),
            S_OK);
  STATSTG stat{};
  ASSERT_EQ(stream->Stat(&stat, STATFLAG_NONAME), S_OK);
  ULARGE_INTEGER copied{}, written{};
  ASSERT_EQ(stream->CopyTo(file.get(), stat.cbSize, &copied, &written), S_OK);
  EXPECT_EQ(written.QuadPart, big.size());
  EXPECT_EQ(file->Commit(STGC_DEFAULT), S_OK);
  file.reset();
  EXPECT_EQ(testsupport::readFile(path), big);
}

TEST_F(MsgReaderTest, FileStreamReportsAFullDisk) {
  MsgDescription d;
  d.attachments = {byValue(u"a.bin", std::string(100000, 'x'))};
  ComRef<IMessage> m = openBytes(buildMsg(d));
  ComRef<IAttach> attach;
  ASSERT_EQ(m->OpenAttach(0, nullptr, 0, attach.receive()), S_OK);
  ComRef<IUnknown> unknown;
  ASSERT_EQ(attach->OpenProperty(PR_ATTACH_DATA_BIN, &IID_IStream, 0, 0, unknown.receive()), S_OK);
  ComRef<IStream> stream;
  unknown->QueryInterface(IID_IStream, reinterpret_cast<void**>(stream.receive()));
  const std::string path = (dir() / "a.bin").string();
  ComRef<IStream> file;
  ASSERT_EQ(OpenStreamOnFile(MAPIAllocateBuffer, MAPIFreeBuffer, STGM_CREATE | STGM_READWRITE, path.c_str(), nullptr,
                             file.receive()),
            S_OK);
  platform::mapi::setFileStreamWriteLimitForTesting(70000);
  ULARGE_INTEGER all{}, read{}, written{};
  all.QuadPart = 100000;
  EXPECT_EQ(stream->CopyTo(file.get(), all, &read, &written), STG_E_MEDIUMFULL);
  EXPECT_EQ(written.QuadPart, 70000u);
}

TEST_F(MsgReaderTest, EmbeddedMessagesNestUpToTheLimit) {
  // Twelve levels: the reader opens eight below the top and no more.
  auto innermost = std::make_shared<MsgDescription>();
  innermost->props = {unicodeProp(PR_SUBJECT_W, u"level 12")};
  std::shared_ptr<MsgDescription> current = innermost;
  for (int level = 11; level >= 1; --level) {
    auto outer = std::make_shared<MsgDescription>();
    outer->props = {unicodeProp(PR_SUBJECT_W, u"level " + std::u16string(1, u'0' + level % 10))};
    outer->attachments = {embedded(current)};
    current = outer;
  }
  MsgDescription top;
  top.attachments = {embedded(current)};
  ComRef<IMessage> m = openBytes(buildMsg(top));
  ASSERT_TRUE(m);
  int depth = 0;
  ComRef<IMessage> walk = m;
  while (ComRef<IMessage> next = embeddedMessage(walk.get(), 0)) {
    walk = next;
    ++depth;
  }
  EXPECT_EQ(depth, 8);
  // The attachment that would open a ninth level is still in the table.
  ComRef<IMAPITable> table;
  ASSERT_EQ(walk->GetAttachmentTable(0, table.receive()), S_OK);
  ULONG count = 0;
  table->GetRowCount(0, &count);
  EXPECT_EQ(count, 1u);
}

TEST_F(MsgReaderTest, SizesInThePropertyStreamAreNeverTrusted) {
  MsgDescription d;
  MsgValue subject = unicodeProp(PR_SUBJECT_W, u"short");
  subject.claimedSize = 0x7FFFFFF0;  // far beyond the stream
  MsgValue body = unicodeProp(PR_BODY_W, u"a long body text");
  body.claimedSize = 4;  // shorter than the stream
  MsgValue noStream = binaryProp(PR_RTF_COMPRESSED, "xyz");
  noStream.omitStream = true;
  MsgValue mv = mvUnicodeProp(PR_TEST_MV_UNICODE, {u"x"});
  mv.claimedSize = 0xFFFFFFFF;
  d.props = {subject, body, noStream, mv};
  // A length stream claiming a million values whose streams do not exist.
  d.rawStreams["__substg1.0_66071102"] = std::string(4'000'000, '\xFF');
  d.props.push_back(MsgValue{PROP_TAG(PT_MV_BINARY, 0x6607), {}, {}, {}, true});
  ComRef<IMessage> m = openBytes(buildMsg(d));
  ASSERT_TRUE(m);
  EXPECT_EQ(text(m.get(), PR_SUBJECT), "short");
  EXPECT_EQ(text(m.get(), PR_BODY), "a long body text");
  EXPECT_FALSE(FPropExists(m.get(), PR_RTF_COMPRESSED));
  LPSPropValue value = nullptr;
  ASSERT_EQ(HrGetOneProp(m.get(), PR_TEST_MV_UNICODE, &value), S_OK);
  MAPIBuffer<SPropValue> hold(value);
  EXPECT_EQ(value->Value.MVszW.cValues, 1u);
  ASSERT_EQ(HrGetOneProp(m.get(), PROP_TAG(PT_MV_BINARY, 0x6607), &value), S_OK);
  MAPIBuffer<SPropValue> holdMv(value);
  EXPECT_EQ(value->Value.MVbin.cValues, 65536u) << "values per property are capped";
  EXPECT_EQ(value->Value.MVbin.lpbin[0].cb, 0u);
}

TEST_F(MsgReaderTest, DamagedStructuresAreLeftOutNotFatal) {
  MsgDescription d;
  d.props = {unicodeProp(PR_SUBJECT_W, u"still readable")};
  d.named = {MsgNamed{kTestGuid, std::nullopt, u"Name", longProp(0, 1)}};
  d.recipients = {recipient(MAPI_TO, u"Ann", u"ann@example.test")};
  const std::string good = buildMsg(d);
  ASSERT_FALSE(good.empty());

  // A property stream cut in the middle of an entry keeps the whole entries before the cut.
  MsgDescription cut = d;
  std::string header(32, '\0');
  std::string entry;
  for (int i = 0; i < 4; ++i) entry.push_back("\x1F\x00\x37\x00"[i]);
  cut.rawStreams["__properties_version1.0"] = header + entry + std::string("\x06\x00\x00\x00\x10\x00\x00\x00", 8) +
                                               std::string(7, '\0');
  ComRef<IMessage> m = openBytes(buildMsg(cut));
  ASSERT_TRUE(m);
  EXPECT_EQ(text(m.get(), PR_SUBJECT), "still readable");

  // Not a compound file at all, an empty buffer, and every truncation of a real fixture.
  ComRef<IMessage> none;
  EXPECT_EQ(platform::mapi::openMsgMemory("not a msg", 9, none.receive()), MAPI_E_CORRUPT_DATA);
  EXPECT_EQ(platform::mapi::openMsgMemory(nullptr, 0, none.receive()), MAPI_E_CORRUPT_DATA);
  EXPECT_EQ(platform::mapi::openMsgFile(dir() / "absent.msg", none.receive()), MAPI_E_NOT_FOUND);
  for (std::size_t size = 512; size < good.size(); size += 512) {
    ComRef<IMessage> partial = openBytes(good.substr(0, size));
    if (partial) {
      ULONG count = 0;
      LPSPropValue values = nullptr;
      partial->GetProps(nullptr, MAPI_UNICODE, &count, &values);
      MAPIFreeBuffer(values);
    }
  }
}

TEST_F(MsgReaderTest, MessagesAreReadOnly) {
  MsgDescription d;
  d.props = {unicodeProp(PR_SUBJECT_W, u"x")};
  d.attachments = {byValue(u"a.txt", "a")};
  ComRef<IMessage> m = openBytes(buildMsg(d));
  SPropValue value{};
  value.ulPropTag = PR_IMPORTANCE;
  EXPECT_EQ(m->SetProps(1, &value, nullptr), MAPI_E_NO_SUPPORT);
  EXPECT_EQ(m->SaveChanges(0), MAPI_E_NO_SUPPORT);
  ComRef<IUnknown> unknown;
  EXPECT_EQ(m->OpenProperty(PR_SUBJECT_W, &IID_IStream, 0, MAPI_MODIFY, unknown.receive()), MAPI_E_NO_ACCESS);
  ComRef<IAttach> attach;
  EXPECT_EQ(m->OpenAttach(0, nullptr, MAPI_MODIFY, attach.receive()), MAPI_E_NO_ACCESS);
  EXPECT_EQ(m->OpenProperty(PR_ATTACH_DATA_OBJ, &IID_IMessage, 0, 0, unknown.receive()), MAPI_E_INTERFACE_NOT_SUPPORTED);
}

TEST_F(MsgReaderTest, MapiBuffersFreeTheirLinkedAllocations) {
  void* root = nullptr;
  ASSERT_EQ(MAPIAllocateBuffer(16, &root), S_OK);
  for (int i = 0; i < 5; ++i) {
    void* more = nullptr;
    ASSERT_EQ(MAPIAllocateMore(1000, root, &more), S_OK);
    std::memset(more, 0xAB, 1000);
    // A linked block cannot be freed alone.
    if (i == 0) {
      EXPECT_NE(MAPIFreeBuffer(more), 0u);
    }
  }
  EXPECT_EQ(MAPIFreeBuffer(root), 0u);  // leaks would be reported by the sanitizer
  EXPECT_EQ(MAPIFreeBuffer(nullptr), 0u);
}

}  // namespace

// A file read ahead opens with what it holds when it is opened: a file replaced meanwhile is read
// again, and one that is no message answers as an open would.
TEST_F(MsgReaderTest, AFileReadAheadOpensAsItIsWhenOpened) {
  const auto write = [&](const std::string& name, const std::u16string& subject) {
    MsgDescription d;
    d.props = {unicodeProp(PR_SUBJECT_W, subject)};
    const std::filesystem::path file = dir() / name;
    std::ofstream(file, std::ios::binary) << buildMsg(d);
    return file;
  };
  const std::filesystem::path kept = write("kept.msg", u"first");
  const std::filesystem::path replaced = write("replaced.msg", u"before");
  ASSERT_EQ(S_OK, platform::mapi::readMsgFileAhead(kept));
  ASSERT_EQ(S_OK, platform::mapi::readMsgFileAhead(replaced));
  write("replaced.msg", u"after, and longer");

  EXPECT_EQ(text(openFile(kept.string()).get(), PR_SUBJECT_W), "first");
  EXPECT_EQ(text(openFile(replaced.string()).get(), PR_SUBJECT_W), "after, and longer");
  // Taken once: the next open reads the file itself.
  EXPECT_EQ(text(openFile(kept.string()).get(), PR_SUBJECT_W), "first");

  std::ofstream(dir() / "no.msg") << "not a compound file";
  EXPECT_EQ(MAPI_E_CORRUPT_DATA, platform::mapi::readMsgFileAhead(dir() / "no.msg"));
  EXPECT_EQ(MAPI_E_NOT_FOUND, platform::mapi::readMsgFileAhead(dir() / "missing.msg"));
}
