#pragma once
// shlwapi's thread reference: a thread that runs a message loop for work others start (a host
// serving in-process components) makes a counted object and publishes it for the thread; a
// component that leaves work to finish later (a print queue) holds a reference to it until the
// work is done, and the thread keeps its loop running while the count says work is pending.

#include "platform/Export.h"
#include "platform/com/HResult.h"
#include "platform/com/Unknown.h"

// A new object whose reference count is *pcRef: it starts at 1 (the caller's reference) and
// follows every AddRef and Release; the object frees itself when it reaches 0, so *pcRef must
// outlive it. E_POINTER for a null argument, E_OUTOFMEMORY when it cannot be made.
QM_PLATFORM_API HRESULT SHCreateThreadRef(LONG* pcRef, IUnknown** ppunk);
// Publishes the calling thread's reference (null withdraws it). The thread keeps no reference
// of its own: the caller withdraws it before it releases the object.
QM_PLATFORM_API HRESULT SHSetThreadRef(IUnknown* punk);
// The calling thread's reference with one reference added for the caller; E_NOINTERFACE (and
// *ppunk null) when the thread published none.
QM_PLATFORM_API HRESULT SHGetThreadRef(IUnknown** ppunk);
