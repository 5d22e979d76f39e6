#pragma once
// The fixed ids of the module's type library and of its classes and interfaces.

#include "platform/com/Guid.h"

inline constexpr GUID LIBID_quillMarkLib = platform::com::guid("6B1E42D0-3C0A-4F7B-9E25-8D41C7A2F310");
inline constexpr CLSID CLSID_Connect = platform::com::guid("6B1E42D1-3C0A-4F7B-9E25-8D41C7A2F310");
inline constexpr CLSID CLSID_quillMarkPP = platform::com::guid("6B1E42D2-3C0A-4F7B-9E25-8D41C7A2F310");
inline constexpr CLSID CLSID_Quillmarker = platform::com::guid("6B1E42D3-3C0A-4F7B-9E25-8D41C7A2F310");
inline constexpr IID IID_IQuillmarker = platform::com::guid("6B1E42D4-3C0A-4F7B-9E25-8D41C7A2F310");
inline constexpr IID IID_IquillMarkPP = platform::com::guid("6B1E42D7-3C0A-4F7B-9E25-8D41C7A2F310");
inline constexpr IID IID_ICallbackInterface = platform::com::guid("6B1E42D8-3C0A-4F7B-9E25-8D41C7A2F310");
// Named by the type library as the class implementing the ribbon callbacks; never registered.
inline constexpr CLSID CLSID_CallbackInterface = platform::com::guid("6B1E42DB-3C0A-4F7B-9E25-8D41C7A2F310");
inline constexpr IID IID_IAcceleratorCallback = platform::com::guid("6B1E42DA-3C0A-4F7B-9E25-8D41C7A2F310");
