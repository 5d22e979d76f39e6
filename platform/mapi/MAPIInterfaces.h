#pragma once
// Extended MAPI's object interfaces (property objects, messages, attachments, tables) and the
// helper calls of MAPI's utility library, with Windows' shapes. Objects are reference counted:
// every pointer handed out through an out-parameter carries one reference for the caller.

#include "platform/Export.h"
#include "platform/mapi/ComBase.h"
#include "platform/mapi/MAPIDefs.h"

struct IMAPIProp;
struct IMessage;
struct IAttach;
struct IMAPITable;
using LPMAPIPROP = IMAPIProp*;
using LPMESSAGE = IMessage*;
using LPATTACH = IAttach*;
using LPMAPITABLE = IMAPITable*;
struct IMAPIAdviseSink;
struct IMAPIProgress;
struct SPropProblemArray;
using LPSPropProblemArray = SPropProblemArray*;

QM_PLATFORM_API extern const IID IID_IMAPIProp;
QM_PLATFORM_API extern const IID IID_IMessage;
QM_PLATFORM_API extern const IID IID_IAttachment;
QM_PLATFORM_API extern const IID IID_IMAPITable;

// Property reads answer values in MAPI buffers that the caller frees with MAPIFreeBuffer. The
// objects here are read-only: calls that would change them answer MAPI_E_NO_SUPPORT (or
// MAPI_E_NO_ACCESS when write access is asked for).
struct IMAPIProp : IUnknown {
  virtual HRESULT GetLastError(HRESULT hResult, ULONG ulFlags, LPMAPIERROR* lppMAPIError) = 0;
  virtual HRESULT SaveChanges(ULONG ulFlags) = 0;
  // A null tag array asks for every property. Missing properties come back as PT_ERROR values
  // with MAPI_E_NOT_FOUND and the call answers MAPI_W_ERRORS_RETURNED. A PT_UNICODE tag reads an
  // 8-bit string converted by the message's code page (and PT_STRING8 the reverse);
  // PT_UNSPECIFIED reads the stored type.
  virtual HRESULT GetProps(LPSPropTagArray lpPropTagArray, ULONG ulFlags, ULONG* lpcValues,
                           LPSPropValue* lppPropArray) = 0;
  virtual HRESULT GetPropList(ULONG ulFlags, LPSPropTagArray* lppPropTagArray) = 0;
  // IID_IStream opens a string, binary or GUID property as a read-only stream of its bytes (a
  // PT_UNICODE tag gives UTF-16LE without terminator); IID_IMessage on PR_ATTACH_DATA_OBJ opens
  // an attachment's embedded message.
  virtual HRESULT OpenProperty(ULONG ulPropTag, LPCIID lpiid, ULONG ulInterfaceOptions,
                               ULONG ulFlags, LPUNKNOWN* lppUnk) = 0;
  virtual HRESULT SetProps(ULONG cValues, LPSPropValue lpPropArray,
                           LPSPropProblemArray* lppProblems) = 0;
  virtual HRESULT DeleteProps(LPSPropTagArray lpPropTagArray, LPSPropProblemArray* lppProblems) = 0;
  virtual HRESULT CopyTo(ULONG ciidExclude, LPCIID rgiidExclude, LPSPropTagArray lpExcludeProps,
                         ULONG ulUIParam, IMAPIProgress* lpProgress, LPCIID lpInterface,
                         void* lpDestObj, ULONG ulFlags, LPSPropProblemArray* lppProblems) = 0;
  virtual HRESULT CopyProps(LPSPropTagArray lpIncludeProps, ULONG ulUIParam,
                            IMAPIProgress* lpProgress, LPCIID lpInterface, void* lpDestObj,
                            ULONG ulFlags, LPSPropProblemArray* lppProblems) = 0;
  // Names of named properties (ids 0x8000 and above) by the file's own name map. A null tag
  // array asks for every name the map holds. Unknown ids answer null entries and
  // MAPI_W_ERRORS_RETURNED. The array and the names are one MAPI buffer.
  virtual HRESULT GetNamesFromIDs(LPSPropTagArray* lppPropTags, LPGUID lpPropSetGuid,
                                  ULONG ulFlags, ULONG* lpcPropNames,
                                  LPMAPINAMEID** lpppPropNames) = 0;
  // Tags (type PT_UNSPECIFIED) of names; a name the file does not hold gives
  // PROP_TAG(PT_ERROR, 0) and MAPI_W_ERRORS_RETURNED. MAPI_CREATE is not honoured (read-only).
  virtual HRESULT GetIDsFromNames(ULONG cPropNames, LPMAPINAMEID* lppPropNames, ULONG ulFlags,
                                  LPSPropTagArray* lppPropTags) = 0;

 protected:
  ~IMAPIProp() = default;
};

struct IMAPITable : IUnknown {
  virtual HRESULT GetLastError(HRESULT hResult, ULONG ulFlags, LPMAPIERROR* lppMAPIError) = 0;
  virtual HRESULT Advise(ULONG ulEventMask, IMAPIAdviseSink* lpAdviseSink, ULONG* lpulConnection) = 0;
  virtual HRESULT Unadvise(ULONG ulConnection) = 0;
  virtual HRESULT GetStatus(ULONG* lpulTableStatus, ULONG* lpulTableType) = 0;
  virtual HRESULT SetColumns(LPSPropTagArray lpPropTagArray, ULONG ulFlags) = 0;
  virtual HRESULT QueryColumns(ULONG ulFlags, LPSPropTagArray* lpPropTagArray) = 0;
  virtual HRESULT GetRowCount(ULONG ulFlags, ULONG* lpulCount) = 0;
  virtual HRESULT SeekRow(BOOKMARK bkOrigin, LONG lRowCount, LONG* lplRowsSought) = 0;
  virtual HRESULT SeekRowApprox(ULONG ulNumerator, ULONG ulDenominator) = 0;
  virtual HRESULT QueryPosition(ULONG* lpulRow, ULONG* lpulNumerator, ULONG* lpulDenominator) = 0;
  virtual HRESULT FindRow(LPSRestriction lpRestriction, BOOKMARK bkOrigin, ULONG ulFlags) = 0;
  virtual HRESULT Restrict(LPSRestriction lpRestriction, ULONG ulFlags) = 0;
  virtual HRESULT CreateBookmark(BOOKMARK* lpbkPosition) = 0;
  virtual HRESULT FreeBookmark(BOOKMARK bkPosition) = 0;
  virtual HRESULT SortTable(LPSSortOrderSet lpSortCriteria, ULONG ulFlags) = 0;
  virtual HRESULT QuerySortOrder(LPSSortOrderSet* lppSortCriteria) = 0;
  // Up to lRowCount rows (a negative count reads backwards) from the current position, which
  // then moves past them unless TBL_NOADVANCE; an empty set at the end.
  virtual HRESULT QueryRows(LONG lRowCount, ULONG ulFlags, LPSRowSet* lppRows) = 0;
  virtual HRESULT Abort() = 0;

 protected:
  ~IMAPITable() = default;
};

struct IMessage : IMAPIProp {
  // Rows of PR_ATTACH_NUM (the attachment's place in the file), PR_ATTACH_METHOD, names, content
  // id and location, flags, size, hidden flag and rendering position by default.
  virtual HRESULT GetAttachmentTable(ULONG ulFlags, LPMAPITABLE* lppTable) = 0;
  virtual HRESULT OpenAttach(ULONG ulAttachmentNum, LPCIID lpInterface, ULONG ulFlags,
                             LPATTACH* lppAttach) = 0;
  virtual HRESULT CreateAttach(LPCIID lpInterface, ULONG ulFlags, ULONG* lpulAttachmentNum,
                               LPATTACH* lppAttach) = 0;
  virtual HRESULT DeleteAttach(ULONG ulAttachmentNum, ULONG ulUIParam, IMAPIProgress* lpProgress,
                               ULONG ulFlags) = 0;
  // Rows of PR_ROWID, PR_RECIPIENT_TYPE, PR_DISPLAY_NAME, PR_EMAIL_ADDRESS, PR_ADDRTYPE,
  // PR_SMTP_ADDRESS and PR_ENTRYID by default; SetColumns chooses others.
  virtual HRESULT GetRecipientTable(ULONG ulFlags, LPMAPITABLE* lppTable) = 0;
  virtual HRESULT ModifyRecipients(ULONG ulFlags, void* lpMods) = 0;
  virtual HRESULT SubmitMessage(ULONG ulFlags) = 0;
  virtual HRESULT SetReadFlag(ULONG ulFlags) = 0;

 protected:
  ~IMessage() = default;
};

struct IAttach : IMAPIProp {
 protected:
  ~IAttach() = default;
};

// One property, in one MAPI buffer the caller frees; MAPI_E_NOT_FOUND when it is absent.
QM_PLATFORM_API HRESULT HrGetOneProp(LPMAPIPROP lpMapiProp, ULONG ulPropTag, LPSPropValue* lppProp);
// Whether the object has the property (a PT_UNSPECIFIED tag matches any type).
QM_PLATFORM_API bool FPropExists(LPMAPIPROP lpMapiProp, ULONG ulPropTag);
// Sets the columns (when given) and reads every row from the beginning. Restriction and sort
// order are not supported (MAPI_E_TOO_COMPLEX when given); crowsMax 0 means no limit, and a
// table with more rows answers MAPI_E_TABLE_TOO_BIG.
QM_PLATFORM_API HRESULT HrQueryAllRows(LPMAPITABLE lpTable, LPSPropTagArray lpPropTags,
                                       LPSRestriction lpRestriction, LPSSortOrderSet lpSortOrderSet,
                                       LONG crowsMax, LPSRowSet* lppRows);
constexpr HRESULT MAPI_E_TABLE_TOO_BIG = static_cast<HRESULT>(0x80040403u);

// A stream on a file: STGM_CREATE creates or truncates it; STGM_READWRITE or STGM_WRITE allow
// writing. lpszFileName is UTF-8 (the thread's ANSI code page here). Writes go straight to the
// file; Commit flushes them and answers a failure of the flush.
QM_PLATFORM_API HRESULT OpenStreamOnFile(LPALLOCATEBUFFER lpAllocateBuffer, LPFREEBUFFER lpFreeBuffer,
                                         ULONG ulFlags, const char* lpszFileName,
                                         const char* lpszPrefix, LPSTREAM* lppStream);
