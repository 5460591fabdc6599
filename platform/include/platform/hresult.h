// COM result codes: the HRESULT type and the codes the machine's COM-style calls return.
//
// The numbers are the Windows ones, so callers branch on them exactly as on Windows. Every
// platform area that returns an HRESULT takes its codes from here.
#pragma once

#include <cstdint>

namespace win {

using HRESULT = std::int32_t;

constexpr HRESULT MakeHResult(std::uint32_t bits) {
    return static_cast<HRESULT>(bits);
}
// The HRESULT of a Win32 error code, as HRESULT_FROM_WIN32 makes it.
constexpr HRESULT HRESULT_FROM_WIN32(std::uint32_t error) {
    return error == 0 ? 0 : MakeHResult(0x80070000u | (error & 0xFFFFu));
}
constexpr bool SUCCEEDED(HRESULT hr) {
    return hr >= 0;
}
constexpr bool FAILED(HRESULT hr) {
    return hr < 0;
}

inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;
inline constexpr HRESULT E_NOTIMPL = MakeHResult(0x80004001u);
inline constexpr HRESULT E_NOINTERFACE = MakeHResult(0x80004002u);
inline constexpr HRESULT E_POINTER = MakeHResult(0x80004003u);
inline constexpr HRESULT E_FAIL = MakeHResult(0x80004005u);
inline constexpr HRESULT E_UNEXPECTED = MakeHResult(0x8000FFFFu);
inline constexpr HRESULT E_ACCESSDENIED = MakeHResult(0x80070005u);
inline constexpr HRESULT E_OUTOFMEMORY = MakeHResult(0x8007000Eu);
inline constexpr HRESULT E_INVALIDARG = MakeHResult(0x80070057u);

inline constexpr HRESULT DISP_E_EXCEPTION = MakeHResult(0x80020009u);
inline constexpr HRESULT TYPE_E_REGISTRYACCESS = MakeHResult(0x8002801Cu);

inline constexpr HRESULT CLASS_E_CLASSNOTAVAILABLE = MakeHResult(0x80040111u);
inline constexpr HRESULT REGDB_E_CLASSNOTREG = MakeHResult(0x80040154u);
inline constexpr HRESULT MK_E_SYNTAX = MakeHResult(0x800401E4u);
inline constexpr HRESULT CO_E_NOTINITIALIZED = MakeHResult(0x800401F0u);
inline constexpr HRESULT CO_E_CLASSSTRING = MakeHResult(0x800401F3u);
inline constexpr HRESULT CO_E_OBJISREG = MakeHResult(0x800401FBu);
inline constexpr HRESULT CO_E_OBJNOTREG = MakeHResult(0x800401FCu);
inline constexpr HRESULT CO_E_SERVER_EXEC_FAILURE = MakeHResult(0x80080005u);
inline constexpr HRESULT CO_E_SERVER_STOPPING = MakeHResult(0x80080008u);

inline constexpr HRESULT RPC_E_SERVERFAULT = MakeHResult(0x80010105u);
inline constexpr HRESULT RPC_E_DISCONNECTED = MakeHResult(0x80010108u);
inline constexpr HRESULT RPC_E_TIMEOUT = MakeHResult(0x8001011Fu);
// RPC_S_CALL_FAILED (1726) as an HRESULT: the server went away during the call.
inline constexpr HRESULT RPC_S_CALL_FAILED = HRESULT_FROM_WIN32(1726);

}  // namespace win
