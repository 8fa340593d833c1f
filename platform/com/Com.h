#pragma once

// The least of COM that the game host and the player library share: the same
// vtable order and identifiers as COM, no run time of its own. Interfaces are
// abstract classes without virtual destructors, so their vtables hold exactly
// the listed methods in order.

#include <cstdint>

namespace platform::com {

using HRESULT = std::int32_t;
using ULONG = std::uint32_t;
using DWORD = std::uint32_t;
using UINT = unsigned int;
using WORD = std::uint16_t;
using LCID = std::uint32_t;
using DISPID = std::int32_t;
using BOOL = int;
using VARTYPE = std::uint16_t;
using VARIANT_BOOL = std::int16_t;
using OLECHAR = char16_t;
using BSTR = OLECHAR*;
using LPOLESTR = OLECHAR*;

constexpr HRESULT hr(std::uint32_t v) {
  return static_cast<HRESULT>(v);
}
constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_NOTIMPL = hr(0x80004001);
constexpr HRESULT E_NOINTERFACE = hr(0x80004002);
constexpr HRESULT E_POINTER = hr(0x80004003);
constexpr HRESULT E_FAIL = hr(0x80004005);
constexpr HRESULT E_UNEXPECTED = hr(0x8000FFFF);
constexpr HRESULT E_OUTOFMEMORY = hr(0x8007000E);
constexpr HRESULT E_INVALIDARG = hr(0x80070057);
constexpr HRESULT CLASS_E_NOAGGREGATION = hr(0x80040110);
constexpr HRESULT CLASS_E_CLASSNOTAVAILABLE = hr(0x80040111);
constexpr HRESULT CONNECT_E_NOCONNECTION = hr(0x80040200);
constexpr HRESULT CONNECT_E_CANNOTCONNECT = hr(0x80040202);
constexpr HRESULT DISP_E_MEMBERNOTFOUND = hr(0x80020003);

constexpr bool SUCCEEDED(HRESULT h) {
  return h >= 0;
}
constexpr bool FAILED(HRESULT h) {
  return h < 0;
}

struct GUID {
  std::uint32_t Data1;
  std::uint16_t Data2;
  std::uint16_t Data3;
  std::uint8_t Data4[8];
};
using IID = GUID;
using CLSID = GUID;
using REFIID = const IID&;
using REFCLSID = const CLSID&;

constexpr bool operator==(const GUID& a, const GUID& b) {
  if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) return false;
  for (int i = 0; i < 8; ++i)
    if (a.Data4[i] != b.Data4[i]) return false;
  return true;
}
constexpr bool operator!=(const GUID& a, const GUID& b) {
  return !(a == b);
}

constexpr IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
constexpr IID IID_IClassFactory = {
    0x00000001, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
constexpr IID IID_IDispatch = {0x00020400, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
constexpr IID IID_IConnectionPointContainer = {
    0xB196B284, 0xBAB4, 0x101A, {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};
constexpr IID IID_IConnectionPoint = {
    0xB196B286, 0xBAB4, 0x101A, {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};
constexpr IID IID_NULL = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};

// The Shockwave Flash control.
constexpr CLSID CLSID_ShockwaveFlash = {
    0xD27CDB6E, 0xAE6D, 0x11CF, {0x96, 0xB8, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
constexpr IID IID_IShockwaveFlash = {
    0xD27CDB6C, 0xAE6D, 0x11CF, {0x96, 0xB8, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
constexpr IID DIID__IShockwaveFlashEvents = {
    0xD27CDB6D, 0xAE6D, 0x11CF, {0x96, 0xB8, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
// The project's own attach interface (see IControlAttach).
constexpr IID IID_IControlAttach = {
    0x6B1F3C2A, 0x4D0E, 0x4F57, {0x9A, 0x21, 0x56, 0x4F, 0x52, 0x4E, 0x41, 0x53}};

// Dispatch id of the control's FlashCall event.
constexpr DISPID DISPID_FlashCall = 197;
constexpr WORD DISPATCH_METHOD = 1;

enum : VARTYPE { VT_EMPTY = 0, VT_NULL = 1, VT_I4 = 3, VT_BSTR = 8, VT_BOOL = 11 };

struct VARIANT {
  VARTYPE vt = VT_EMPTY;
  WORD wReserved1 = 0, wReserved2 = 0, wReserved3 = 0;
  union {
    std::int32_t lVal;
    VARIANT_BOOL boolVal;
    BSTR bstrVal;
    void* byref;
  };
  VARIANT() : byref(nullptr) {}
};

struct DISPPARAMS {
  VARIANT* rgvarg = nullptr;  // arguments in reverse order, as in COM
  DISPID* rgdispidNamedArgs = nullptr;
  UINT cArgs = 0;
  UINT cNamedArgs = 0;
};

struct EXCEPINFO;
struct ITypeInfo;
struct IEnumConnectionPoints;
struct IEnumConnections;

struct IUnknown {
  virtual HRESULT QueryInterface(REFIID riid, void** object) = 0;
  virtual ULONG AddRef() = 0;
  virtual ULONG Release() = 0;

 protected:
  ~IUnknown() = default;
};

struct IDispatch : IUnknown {
  virtual HRESULT GetTypeInfoCount(UINT* count) = 0;
  virtual HRESULT GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) = 0;
  virtual HRESULT GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) = 0;
  virtual HRESULT Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                         EXCEPINFO* exception, UINT* argError) = 0;

 protected:
  ~IDispatch() = default;
};

struct IClassFactory : IUnknown {
  virtual HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** object) = 0;
  virtual HRESULT LockServer(BOOL lock) = 0;

 protected:
  ~IClassFactory() = default;
};

struct IConnectionPointContainer;

struct IConnectionPoint : IUnknown {
  virtual HRESULT GetConnectionInterface(IID* iid) = 0;
  virtual HRESULT GetConnectionPointContainer(IConnectionPointContainer** container) = 0;
  virtual HRESULT Advise(IUnknown* sink, DWORD* cookie) = 0;
  virtual HRESULT Unadvise(DWORD cookie) = 0;
  virtual HRESULT EnumConnections(IEnumConnections** connections) = 0;

 protected:
  ~IConnectionPoint() = default;
};

struct IConnectionPointContainer : IUnknown {
  virtual HRESULT EnumConnectionPoints(IEnumConnectionPoints** points) = 0;
  virtual HRESULT FindConnectionPoint(REFIID riid, IConnectionPoint** point) = 0;

 protected:
  ~IConnectionPointContainer() = default;
};

// The members of the control's interface that the host uses, in the
// interface's order.
struct IShockwaveFlash : IDispatch {
  virtual HRESULT put_WMode(BSTR mode) = 0;
  virtual HRESULT LoadMovie(int layer, BSTR url) = 0;
  // *response: a new BSTR (or null) the caller frees.
  virtual HRESULT CallFunction(BSTR request, BSTR* response) = 0;

 protected:
  ~IShockwaveFlash() = default;
};

// How the host window hands the control its place: `parent` is the native
// container widget of the host window (a GtkFixed; null in the headless back
// end), `width` x `height` its size. SetExtent follows later size changes.
// The control keeps drawing there until it is released or the parent goes.
// AllowSocketPorts names the loopback ports the movie's sockets may reach
// (none until it is called); it counts for movies loaded after it.
struct IControlAttach : IUnknown {
  virtual HRESULT Attach(void* parent, int width, int height) = 0;
  virtual HRESULT SetExtent(int width, int height) = 0;
  virtual HRESULT AllowSocketPorts(const std::uint16_t* ports, int count) = 0;

 protected:
  ~IControlAttach() = default;
};

// The library's export, looked up by name.
using DllGetClassObjectFn = HRESULT (*)(REFCLSID clsid, REFIID riid, void** object);

}  // namespace platform::com
