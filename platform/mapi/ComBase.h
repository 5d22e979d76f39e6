#pragma once
// The COM base that Extended MAPI is built on: GUIDs, FILETIME, IUnknown and the OLE IStream,
// with Windows' shapes and spelling, plus a small counted-reference holder.

#include <cstdint>
#include <cstring>
#include <utility>

#include "platform/Export.h"
#include "platform/WinTypes.h"
#include "platform/com/Guid.h"
#include "platform/com/HResult.h"
#include "platform/com/OleTime.h"
#include "platform/com/Unknown.h"

// GUIDs, FILETIME and IUnknown come from the COM layer; the OLE stream is declared here.
union LARGE_INTEGER {
  struct {
    DWORD LowPart;
    LONG HighPart;
  } u;
  LONGLONG QuadPart;
};
union ULARGE_INTEGER {
  struct {
    DWORD LowPart;
    DWORD HighPart;
  } u;
  ULONGLONG QuadPart;
};

// Storage modes (OpenStreamOnFile) and stream calls.
constexpr DWORD STGM_READ = 0x00000000;
constexpr DWORD STGM_WRITE = 0x00000001;
constexpr DWORD STGM_READWRITE = 0x00000002;
constexpr DWORD STGM_CREATE = 0x00001000;
constexpr DWORD STREAM_SEEK_SET = 0;
constexpr DWORD STREAM_SEEK_CUR = 1;
constexpr DWORD STREAM_SEEK_END = 2;
constexpr DWORD STATFLAG_DEFAULT = 0;
constexpr DWORD STATFLAG_NONAME = 1;
constexpr DWORD STGTY_STREAM = 2;
constexpr DWORD STGC_DEFAULT = 0;

constexpr HRESULT STG_E_INVALIDFUNCTION = static_cast<HRESULT>(0x80030001u);
constexpr HRESULT STG_E_FILENOTFOUND = static_cast<HRESULT>(0x80030002u);
constexpr HRESULT STG_E_ACCESSDENIED = static_cast<HRESULT>(0x80030005u);
constexpr HRESULT STG_E_INVALIDPOINTER = static_cast<HRESULT>(0x80030009u);
constexpr HRESULT STG_E_MEDIUMFULL = static_cast<HRESULT>(0x80030070u);
constexpr HRESULT STG_E_WRITEFAULT = static_cast<HRESULT>(0x8003001Du);
constexpr HRESULT STG_E_READFAULT = static_cast<HRESULT>(0x8003001Eu);
constexpr HRESULT STG_E_INVALIDPARAMETER = static_cast<HRESULT>(0x80030057u);

struct STATSTG {
  char16_t* pwcsName;  // always null here: names are never handed out
  DWORD type;
  ULARGE_INTEGER cbSize;
  FILETIME mtime;
  FILETIME ctime;
  FILETIME atime;
  DWORD grfMode;
  DWORD grfLocksSupported;
  CLSID clsid;
  DWORD grfStateBits;
  DWORD reserved;
};

struct IStream : IUnknown {
  virtual HRESULT Read(void* pv, ULONG cb, ULONG* pcbRead) = 0;
  virtual HRESULT Write(const void* pv, ULONG cb, ULONG* pcbWritten) = 0;
  virtual HRESULT Seek(LARGE_INTEGER dlibMove, DWORD dwOrigin, ULARGE_INTEGER* plibNewPosition) = 0;
  virtual HRESULT SetSize(ULARGE_INTEGER libNewSize) = 0;
  virtual HRESULT CopyTo(IStream* pstm, ULARGE_INTEGER cb, ULARGE_INTEGER* pcbRead,
                         ULARGE_INTEGER* pcbWritten) = 0;
  virtual HRESULT Commit(DWORD grfCommitFlags) = 0;
  virtual HRESULT Revert() = 0;
  virtual HRESULT LockRegion(ULARGE_INTEGER libOffset, ULARGE_INTEGER cb, DWORD dwLockType) = 0;
  virtual HRESULT UnlockRegion(ULARGE_INTEGER libOffset, ULARGE_INTEGER cb, DWORD dwLockType) = 0;
  virtual HRESULT Stat(STATSTG* pstatstg, DWORD grfStatFlag) = 0;
  virtual HRESULT Clone(IStream** ppstm) = 0;

 protected:
  ~IStream() = default;
};
using LPSTREAM = IStream*;

QM_PLATFORM_API extern const IID IID_IStream;

namespace platform::mapi {

// One counted reference to a COM-shaped object: AddRef on copy, Release on destruction.
template <class T>
class ComRef {
 public:
  ComRef() = default;
  explicit ComRef(T* p, bool addRef = true) : m_p(p) {
    if (m_p && addRef) m_p->AddRef();
  }
  ComRef(const ComRef& other) : ComRef(other.m_p) {}
  ComRef(ComRef&& other) noexcept : m_p(std::exchange(other.m_p, nullptr)) {}
  ComRef& operator=(ComRef other) noexcept {
    std::swap(m_p, other.m_p);
    return *this;
  }
  ~ComRef() {
    if (m_p) m_p->Release();
  }

  T* get() const { return m_p; }
  T* operator->() const { return m_p; }
  explicit operator bool() const { return m_p != nullptr; }
  // For out-parameters: the holder must be empty; it takes the reference handed out.
  T** receive() {
    reset();
    return &m_p;
  }
  void reset() {
    if (m_p) std::exchange(m_p, nullptr)->Release();
  }
  T* detach() { return std::exchange(m_p, nullptr); }

 private:
  T* m_p = nullptr;
};

}  // namespace platform::mapi
