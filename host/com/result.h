#pragma once
// Result codes that cross every interface between the host and its extensions.
// 0 is success, 1 is "false" (no more data, nothing changed, not acceptable), negative is failure.
#include <cstdint>

using HRESULT = std::int32_t;

constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001u);
constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002u);
constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003u);
constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
constexpr HRESULT E_UNEXPECTED = static_cast<HRESULT>(0x8000FFFFu);
constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);
constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);
constexpr HRESULT CLASS_E_NOAGGREGATION = static_cast<HRESULT>(0x80040110u);
constexpr HRESULT REGDB_E_CLASSNOTREG = static_cast<HRESULT>(0x80040154u);
constexpr HRESULT CO_E_NOTINITIALIZED = static_cast<HRESULT>(0x800401F0u);

// Kymora's own codes.
constexpr HRESULT KYM_E_NEWER_VERSION = static_cast<HRESULT>(0xA0048205u);  // stream written by a newer version
constexpr HRESULT KYM_E_EXPORT_FAILED = static_cast<HRESULT>(0xA0048211u);  // report export had no valid analysis

constexpr bool Succeeded(HRESULT hr) { return hr >= 0; }
constexpr bool Failed(HRESULT hr) { return hr < 0; }

// Booleans cross interfaces as 16-bit values.
using Bool16 = std::int16_t;
constexpr Bool16 kTrue16 = -1;
constexpr Bool16 kFalse16 = 0;
constexpr Bool16 ToBool16(bool b) { return b ? kTrue16 : kFalse16; }
