// Memory and file streams.
#include "platform/mapi/detail/Streams.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/mapi/MAPIInterfaces.h"
#include "platform/mapi/MsgFile.h"
#include "platform/mapi/detail/Guids.h"

namespace platform::mapi::detail {
namespace {

std::mutex g_limitMutex;
std::optional<std::uint64_t> g_writeLimit;  // bytes that file streams may still write

HRESULT streamQuery(IStream* self, REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (riid == kIID_IUnknown || riid == kIID_IStream) {
    self->AddRef();
    *ppv = self;
    return S_OK;
  }
  return E_NOINTERFACE;
}

FILETIME noTime() { return FILETIME{0, 0}; }

}  // namespace

HRESULT copyStream(IStream* source, IStream* target, ULONGLONG cb, ULONGLONG* read, ULONGLONG* written) {
  *read = 0;
  *written = 0;
  if (!target) return STG_E_INVALIDPOINTER;
  std::vector<char> buffer(64 * 1024);
  while (*read < cb) {
    const ULONG want = static_cast<ULONG>(std::min<ULONGLONG>(buffer.size(), cb - *read));
    ULONG got = 0;
    if (const HRESULT hr = source->Read(buffer.data(), want, &got); FAILED(hr)) return hr;
    if (got == 0) break;
    *read += got;
    ULONG put = 0;
    const HRESULT hr = target->Write(buffer.data(), got, &put);
    *written += put;
    if (FAILED(hr)) return hr;
    if (put != got) return STG_E_MEDIUMFULL;
  }
  return S_OK;
}

HRESULT CMemoryStream::QueryInterface(REFIID riid, void** ppv) { return streamQuery(this, riid, ppv); }

HRESULT CMemoryStream::Read(void* pv, ULONG cb, ULONG* pcbRead) {
  if (!pv && cb) return STG_E_INVALIDPOINTER;
  const ULONGLONG size = m_data->size();
  const ULONG n = m_position >= size ? 0 : static_cast<ULONG>(std::min<ULONGLONG>(cb, size - m_position));
  if (n) std::memcpy(pv, m_data->data() + m_position, n);
  m_position += n;
  if (pcbRead) *pcbRead = n;
  return S_OK;
}

HRESULT CMemoryStream::Write(const void*, ULONG, ULONG* pcbWritten) {
  if (pcbWritten) *pcbWritten = 0;
  return STG_E_ACCESSDENIED;
}

HRESULT CMemoryStream::Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* newPosition) {
  LONGLONG base = 0;
  switch (origin) {
    case STREAM_SEEK_SET: base = 0; break;
    case STREAM_SEEK_CUR: base = static_cast<LONGLONG>(m_position); break;
    case STREAM_SEEK_END: base = static_cast<LONGLONG>(m_data->size()); break;
    default: return STG_E_INVALIDFUNCTION;
  }
  if ((move.QuadPart < 0 && base + move.QuadPart < 0) ||
      (move.QuadPart > 0 && move.QuadPart > INT64_MAX - base))
    return STG_E_INVALIDFUNCTION;
  m_position = static_cast<ULONGLONG>(base + move.QuadPart);
  if (newPosition) newPosition->QuadPart = m_position;
  return S_OK;
}

HRESULT CMemoryStream::CopyTo(IStream* target, ULARGE_INTEGER cb, ULARGE_INTEGER* pcbRead,
                              ULARGE_INTEGER* pcbWritten) {
  ULONGLONG read = 0, written = 0;
  const HRESULT hr = copyStream(this, target, cb.QuadPart, &read, &written);
  if (pcbRead) pcbRead->QuadPart = read;
  if (pcbWritten) pcbWritten->QuadPart = written;
  return hr;
}

HRESULT CMemoryStream::Stat(STATSTG* stat, DWORD) {
  if (!stat) return STG_E_INVALIDPOINTER;
  *stat = STATSTG{};
  stat->type = STGTY_STREAM;
  stat->cbSize.QuadPart = m_data->size();
  stat->mtime = stat->ctime = stat->atime = noTime();
  stat->grfMode = STGM_READ;
  return S_OK;
}

HRESULT CMemoryStream::Clone(IStream** clone) {
  if (!clone) return STG_E_INVALIDPOINTER;
  *clone = new CMemoryStream(m_data, m_position);
  return S_OK;
}

CFileStream::~CFileStream() {
  if (m_file) std::fclose(m_file);
}

HRESULT CFileStream::QueryInterface(REFIID riid, void** ppv) { return streamQuery(this, riid, ppv); }

HRESULT CFileStream::Read(void* pv, ULONG cb, ULONG* pcbRead) {
  if (!pv && cb) return STG_E_INVALIDPOINTER;
  const std::size_t n = cb ? std::fread(pv, 1, cb, m_file) : 0;
  if (pcbRead) *pcbRead = static_cast<ULONG>(n);
  return n < cb && std::ferror(m_file) ? STG_E_READFAULT : S_OK;
}

HRESULT CFileStream::Write(const void* pv, ULONG cb, ULONG* pcbWritten) {
  if (pcbWritten) *pcbWritten = 0;
  if (!m_writable) return STG_E_ACCESSDENIED;
  if (!pv && cb) return STG_E_INVALIDPOINTER;
  ULONG allowed = cb;
  {
    std::lock_guard<std::mutex> lock(g_limitMutex);
    if (g_writeLimit) {
      allowed = static_cast<ULONG>(std::min<std::uint64_t>(cb, *g_writeLimit));
      *g_writeLimit -= allowed;
    }
  }
  const std::size_t n = allowed ? std::fwrite(pv, 1, allowed, m_file) : 0;
  if (pcbWritten) *pcbWritten = static_cast<ULONG>(n);
  if (n < allowed) return STG_E_WRITEFAULT;
  return allowed < cb ? STG_E_MEDIUMFULL : S_OK;
}

HRESULT CFileStream::Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* newPosition) {
  const int whence = origin == STREAM_SEEK_SET ? SEEK_SET : origin == STREAM_SEEK_CUR ? SEEK_CUR
                     : origin == STREAM_SEEK_END ? SEEK_END : -1;
  if (whence < 0 || fseeko(m_file, static_cast<off_t>(move.QuadPart), whence) != 0) return STG_E_INVALIDFUNCTION;
  if (newPosition) newPosition->QuadPart = static_cast<ULONGLONG>(ftello(m_file));
  return S_OK;
}

HRESULT CFileStream::SetSize(ULARGE_INTEGER size) {
  if (!m_writable) return STG_E_ACCESSDENIED;
  std::fflush(m_file);
  return ftruncate(fileno(m_file), static_cast<off_t>(size.QuadPart)) == 0 ? S_OK : STG_E_MEDIUMFULL;
}

HRESULT CFileStream::CopyTo(IStream* target, ULARGE_INTEGER cb, ULARGE_INTEGER* pcbRead, ULARGE_INTEGER* pcbWritten) {
  ULONGLONG read = 0, written = 0;
  const HRESULT hr = copyStream(this, target, cb.QuadPart, &read, &written);
  if (pcbRead) pcbRead->QuadPart = read;
  if (pcbWritten) pcbWritten->QuadPart = written;
  return hr;
}

HRESULT CFileStream::Commit(DWORD) {
  if (!m_writable) return S_OK;
  return std::fflush(m_file) == 0 && fsync(fileno(m_file)) == 0 ? S_OK : STG_E_MEDIUMFULL;
}

HRESULT CFileStream::Stat(STATSTG* stat, DWORD) {
  if (!stat) return STG_E_INVALIDPOINTER;
  std::fflush(m_file);
  struct stat info {};
  if (fstat(fileno(m_file), &info) != 0) return STG_E_ACCESSDENIED;
  *stat = STATSTG{};
  stat->type = STGTY_STREAM;
  stat->cbSize.QuadPart = static_cast<ULONGLONG>(info.st_size);
  stat->grfMode = m_writable ? STGM_READWRITE : STGM_READ;
  return S_OK;
}

}  // namespace platform::mapi::detail

namespace platform::mapi {

void setFileStreamWriteLimitForTesting(std::optional<std::uint64_t> bytes) {
  std::lock_guard<std::mutex> lock(detail::g_limitMutex);
  detail::g_writeLimit = bytes;
}

}  // namespace platform::mapi

HRESULT OpenStreamOnFile(LPALLOCATEBUFFER, LPFREEBUFFER, ULONG ulFlags, const char* lpszFileName,
                         const char*, LPSTREAM* lppStream) {
  if (!lppStream || !lpszFileName) return MAPI_E_INVALID_PARAMETER;
  *lppStream = nullptr;
  const bool writable = (ulFlags & (STGM_WRITE | STGM_READWRITE)) != 0;
  const bool create = (ulFlags & STGM_CREATE) != 0;
  const char* mode = create ? "w+b" : (writable ? "r+b" : "rb");
  std::FILE* file = std::fopen(lpszFileName, mode);
  if (!file) return create ? STG_E_ACCESSDENIED : STG_E_FILENOTFOUND;
  *lppStream = new platform::mapi::detail::CFileStream(file, writable || create);
  return S_OK;
}
