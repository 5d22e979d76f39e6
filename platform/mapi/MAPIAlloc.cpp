// MAPI's chained buffers, and the property and row helpers of MAPI's utility library.
#include <cstdlib>
#include <new>

#include "platform/mapi/MAPIInterfaces.h"

namespace {

constexpr std::uint32_t kLiveMagic = 0x4D415049;  // "MAPI"
constexpr std::uint32_t kMoreMagic = 0x4D4F5245;  // "MORE"

// Precedes every block; 16 bytes so that what follows is aligned for any property value.
struct alignas(16) BlockHeader {
  std::uint32_t magic;
  BlockHeader* next;  // the chain of blocks allocated "more" on the first one
};
static_assert(sizeof(BlockHeader) == 16);

BlockHeader* headerOf(void* p) { return static_cast<BlockHeader*>(p) - 1; }

BlockHeader* allocateBlock(ULONG size, std::uint32_t magic) {
  void* raw = std::malloc(sizeof(BlockHeader) + (size ? size : 1));
  if (!raw) return nullptr;
  auto* header = new (raw) BlockHeader{magic, nullptr};
  return header;
}

}  // namespace

HRESULT MAPIAllocateBuffer(ULONG cbSize, void** lppBuffer) {
  if (!lppBuffer) return MAPI_E_INVALID_PARAMETER;
  *lppBuffer = nullptr;
  BlockHeader* header = allocateBlock(cbSize, kLiveMagic);
  if (!header) return MAPI_E_NOT_ENOUGH_MEMORY;
  *lppBuffer = header + 1;
  return S_OK;
}

HRESULT MAPIAllocateMore(ULONG cbSize, void* lpObject, void** lppBuffer) {
  if (!lppBuffer || !lpObject) return MAPI_E_INVALID_PARAMETER;
  *lppBuffer = nullptr;
  BlockHeader* parent = headerOf(lpObject);
  if (parent->magic != kLiveMagic) return MAPI_E_INVALID_PARAMETER;
  BlockHeader* header = allocateBlock(cbSize, kMoreMagic);
  if (!header) return MAPI_E_NOT_ENOUGH_MEMORY;
  header->next = parent->next;
  parent->next = header;
  *lppBuffer = header + 1;
  return S_OK;
}

ULONG MAPIFreeBuffer(void* lpBuffer) {
  if (!lpBuffer) return 0;
  BlockHeader* header = headerOf(lpBuffer);
  // Freeing a linked block alone, or twice, would corrupt the chain: refuse it.
  if (header->magic != kLiveMagic) return static_cast<ULONG>(MAPI_E_INVALID_PARAMETER);
  BlockHeader* more = header->next;
  while (more) {
    BlockHeader* next = more->next;
    more->magic = 0;
    std::free(more);
    more = next;
  }
  header->magic = 0;
  std::free(header);
  return 0;
}

void FreeProws(LPSRowSet lpRows) {
  if (!lpRows) return;
  for (ULONG i = 0; i < lpRows->cRows; ++i) MAPIFreeBuffer(lpRows->aRow[i].lpProps);
  MAPIFreeBuffer(lpRows);
}

LPSPropValue PpropFindProp(LPSPropValue lpPropArray, ULONG cValues, ULONG ulPropTag) {
  if (!lpPropArray) return nullptr;
  for (ULONG i = 0; i < cValues; ++i) {
    const ULONG tag = lpPropArray[i].ulPropTag;
    if (tag == ulPropTag || (PROP_TYPE(ulPropTag) == PT_UNSPECIFIED && PROP_ID(tag) == PROP_ID(ulPropTag)))
      return &lpPropArray[i];
  }
  return nullptr;
}

HRESULT HrGetOneProp(LPMAPIPROP lpMapiProp, ULONG ulPropTag, LPSPropValue* lppProp) {
  if (!lpMapiProp || !lppProp) return MAPI_E_INVALID_PARAMETER;
  *lppProp = nullptr;
  SizedSPropTagArray(1, tags) = {1, {ulPropTag}};
  ULONG count = 0;
  LPSPropValue values = nullptr;
  const HRESULT hr = lpMapiProp->GetProps(reinterpret_cast<LPSPropTagArray>(&tags), 0, &count, &values);
  if (FAILED(hr)) return hr;
  if (count != 1 || !values) {
    MAPIFreeBuffer(values);
    return MAPI_E_NOT_FOUND;
  }
  if (PROP_TYPE(values->ulPropTag) == PT_ERROR) {
    const HRESULT err = values->Value.err;
    MAPIFreeBuffer(values);
    return err;
  }
  *lppProp = values;
  return S_OK;
}

bool FPropExists(LPMAPIPROP lpMapiProp, ULONG ulPropTag) {
  if (!lpMapiProp) return false;
  LPSPropTagArray list = nullptr;
  if (FAILED(lpMapiProp->GetPropList(0, &list)) || !list) return false;
  bool found = false;
  for (ULONG i = 0; i < list->cValues && !found; ++i) {
    const ULONG tag = list->aulPropTag[i];
    found = tag == ulPropTag || (PROP_TYPE(ulPropTag) == PT_UNSPECIFIED && PROP_ID(tag) == PROP_ID(ulPropTag));
  }
  MAPIFreeBuffer(list);
  return found;
}

HRESULT HrQueryAllRows(LPMAPITABLE lpTable, LPSPropTagArray lpPropTags, LPSRestriction lpRestriction,
                       LPSSortOrderSet lpSortOrderSet, LONG crowsMax, LPSRowSet* lppRows) {
  if (!lpTable || !lppRows) return MAPI_E_INVALID_PARAMETER;
  *lppRows = nullptr;
  if (lpRestriction || lpSortOrderSet) return MAPI_E_TOO_COMPLEX;
  if (lpPropTags) {
    if (const HRESULT hr = lpTable->SetColumns(lpPropTags, TBL_BATCH); FAILED(hr)) return hr;
  }
  if (const HRESULT hr = lpTable->SeekRow(BOOKMARK_BEGINNING, 0, nullptr); FAILED(hr)) return hr;
  ULONG count = 0;
  if (const HRESULT hr = lpTable->GetRowCount(0, &count); FAILED(hr)) return hr;
  if (crowsMax > 0 && count > static_cast<ULONG>(crowsMax)) return MAPI_E_TABLE_TOO_BIG;
  return lpTable->QueryRows(static_cast<LONG>(count > 0x7FFFFFFF ? 0x7FFFFFFF : count), 0, lppRows);
}
