#pragma once
// IStream implementations: read-only over bytes held in memory, and on a file.

#include <atomic>
#include <cstdio>
#include <memory>
#include <string>

#include "platform/mapi/ComBase.h"

namespace platform::mapi::detail {

// Reference counting and QueryInterface for one interface chain ending at IUnknown.
template <class Interface>
class CUnknownImpl : public Interface {
 public:
  ULONG AddRef() override { return ++m_refs; }
  ULONG Release() override {
    const ULONG left = --m_refs;
    if (left == 0) delete this;
    return left;
  }

 protected:
  virtual ~CUnknownImpl() = default;

 private:
  std::atomic<ULONG> m_refs{1};
};

class CMemoryStream final : public CUnknownImpl<IStream> {
 public:
  explicit CMemoryStream(std::shared_ptr<const std::string> data, ULONGLONG position = 0)
      : m_data(std::move(data)), m_position(position) {}

  HRESULT QueryInterface(REFIID riid, void** ppv) override;
  HRESULT Read(void* pv, ULONG cb, ULONG* pcbRead) override;
  HRESULT Write(const void*, ULONG, ULONG* pcbWritten) override;
  HRESULT Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* newPosition) override;
  HRESULT SetSize(ULARGE_INTEGER) override { return STG_E_ACCESSDENIED; }
  HRESULT CopyTo(IStream* target, ULARGE_INTEGER cb, ULARGE_INTEGER* pcbRead, ULARGE_INTEGER* pcbWritten) override;
  HRESULT Commit(DWORD) override { return S_OK; }
  HRESULT Revert() override { return S_OK; }
  HRESULT LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return STG_E_INVALIDFUNCTION; }
  HRESULT UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return STG_E_INVALIDFUNCTION; }
  HRESULT Stat(STATSTG* stat, DWORD flags) override;
  HRESULT Clone(IStream** clone) override;

 private:
  std::shared_ptr<const std::string> m_data;
  ULONGLONG m_position;
};

class CFileStream final : public CUnknownImpl<IStream> {
 public:
  CFileStream(std::FILE* file, bool writable) : m_file(file), m_writable(writable) {}
  ~CFileStream() override;

  HRESULT QueryInterface(REFIID riid, void** ppv) override;
  HRESULT Read(void* pv, ULONG cb, ULONG* pcbRead) override;
  HRESULT Write(const void* pv, ULONG cb, ULONG* pcbWritten) override;
  HRESULT Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* newPosition) override;
  HRESULT SetSize(ULARGE_INTEGER size) override;
  HRESULT CopyTo(IStream* target, ULARGE_INTEGER cb, ULARGE_INTEGER* pcbRead, ULARGE_INTEGER* pcbWritten) override;
  HRESULT Commit(DWORD) override;
  HRESULT Revert() override { return S_OK; }
  HRESULT LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return STG_E_INVALIDFUNCTION; }
  HRESULT UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return STG_E_INVALIDFUNCTION; }
  HRESULT Stat(STATSTG* stat, DWORD flags) override;
  HRESULT Clone(IStream**) override { return STG_E_INVALIDFUNCTION; }

 private:
  std::FILE* m_file;
  bool m_writable;
};

// Copies up to `cb` bytes from the source's position to the target, in chunks.
HRESULT copyStream(IStream* source, IStream* target, ULONGLONG cb, ULONGLONG* read, ULONGLONG* written);

}  // namespace platform::mapi::detail
