// Owners of Win32 resources: one template and one alias per kind.
//
// Each owner is move-only, closes its value in the destructor, and keeps the
// thread's last-error code across the close, so that a failure path can read
// GetLastError() after its owners have gone out of scope.
//   get()     the value, still owned
//   release() gives ownership away
//   reset(v)  closes the old value, takes v
//   put()     closes the old value and lends its address to an out-parameter
//   explicit operator bool: holds a valid value
#pragma once

#include <windows.h>
// After windows.h:
#include <objbase.h>
#include <wininet.h>

#include <utility>

namespace qrn {

template <typename Traits>
class UniqueAny {
 public:
  using Type = typename Traits::Type;

  UniqueAny() noexcept : value_(Traits::Invalid()) {}
  explicit UniqueAny(Type value) noexcept : value_(value) {}
  UniqueAny(UniqueAny&& other) noexcept : value_(other.release()) {}
  UniqueAny& operator=(UniqueAny&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  UniqueAny(const UniqueAny&) = delete;
  UniqueAny& operator=(const UniqueAny&) = delete;
  ~UniqueAny() { reset(); }

  Type get() const noexcept { return value_; }
  explicit operator bool() const noexcept { return value_ != Traits::Invalid(); }

  Type release() noexcept {
    Type value = value_;
    value_ = Traits::Invalid();
    return value;
  }

  void reset(Type value = Traits::Invalid()) noexcept {
    if (value_ != Traits::Invalid()) {
      const DWORD error = GetLastError();
      Traits::Close(value_);
      SetLastError(error);
    }
    value_ = value;
  }

  Type* put() noexcept {
    reset();
    return &value_;
  }

 private:
  Type value_;
};

namespace owner_traits {

template <typename T, T (*InvalidFn)(), void (*CloseFn)(T)>
struct Traits {
  using Type = T;
  static T Invalid() { return InvalidFn(); }
  static void Close(T value) { CloseFn(value); }
};

inline HANDLE NullHandle() { return nullptr; }
inline HANDLE InvalidHandle() { return INVALID_HANDLE_VALUE; }
inline void CloseHandleFn(HANDLE h) { ::CloseHandle(h); }
inline void FindCloseFn(HANDLE h) { ::FindClose(h); }
inline HKEY NullKey() { return nullptr; }
inline void RegCloseKeyFn(HKEY k) { ::RegCloseKey(k); }
inline SC_HANDLE NullSc() { return nullptr; }
inline void CloseServiceHandleFn(SC_HANDLE h) { ::CloseServiceHandle(h); }
inline HMODULE NullModule() { return nullptr; }
inline void FreeLibraryFn(HMODULE m) { ::FreeLibrary(m); }
inline HLOCAL NullLocal() { return nullptr; }
inline void LocalFreeFn(HLOCAL p) { ::LocalFree(p); }
inline void* NullPointer() { return nullptr; }
inline void HeapFreeFn(void* p) { ::HeapFree(::GetProcessHeap(), 0, p); }
inline void CoTaskMemFreeFn(void* p) { ::CoTaskMemFree(p); }
inline HDC NullDc() { return nullptr; }
inline void DeleteDcFn(HDC dc) { ::DeleteDC(dc); }
template <typename G>
G NullGdi() {
  return nullptr;
}
template <typename G>
void DeleteGdiFn(G object) {
  ::DeleteObject(object);
}
inline HICON NullIcon() { return nullptr; }
inline void DestroyIconFn(HICON icon) { ::DestroyIcon(icon); }
inline HINTERNET NullInternet() { return nullptr; }
inline void InternetCloseHandleFn(HINTERNET h) { ::InternetCloseHandle(h); }

}  // namespace owner_traits

// Events, mutexes, threads, processes, tokens: empty value null.
using UniqueHandle = UniqueAny<owner_traits::Traits<HANDLE, owner_traits::NullHandle, owner_traits::CloseHandleFn>>;
// Files and Toolhelp snapshots: empty value INVALID_HANDLE_VALUE.
using UniqueFile = UniqueAny<owner_traits::Traits<HANDLE, owner_traits::InvalidHandle, owner_traits::CloseHandleFn>>;
// FindFirstFile searches.
using UniqueFind = UniqueAny<owner_traits::Traits<HANDLE, owner_traits::InvalidHandle, owner_traits::FindCloseFn>>;
using UniqueHKey = UniqueAny<owner_traits::Traits<HKEY, owner_traits::NullKey, owner_traits::RegCloseKeyFn>>;
using UniqueScHandle =
    UniqueAny<owner_traits::Traits<SC_HANDLE, owner_traits::NullSc, owner_traits::CloseServiceHandleFn>>;
using UniqueHModule = UniqueAny<owner_traits::Traits<HMODULE, owner_traits::NullModule, owner_traits::FreeLibraryFn>>;
using UniqueHLocal = UniqueAny<owner_traits::Traits<HLOCAL, owner_traits::NullLocal, owner_traits::LocalFreeFn>>;
// Blocks from HeapAlloc(GetProcessHeap(), ...).
using UniqueHeapBlock = UniqueAny<owner_traits::Traits<void*, owner_traits::NullPointer, owner_traits::HeapFreeFn>>;
using UniqueCoTaskMem =
    UniqueAny<owner_traits::Traits<void*, owner_traits::NullPointer, owner_traits::CoTaskMemFreeFn>>;
// Memory device contexts (CreateCompatibleDC): DeleteDC.
using UniqueHdc = UniqueAny<owner_traits::Traits<HDC, owner_traits::NullDc, owner_traits::DeleteDcFn>>;
template <typename G>
using UniqueGdi = UniqueAny<owner_traits::Traits<G, owner_traits::NullGdi<G>, owner_traits::DeleteGdiFn<G>>>;
using UniqueHBitmap = UniqueGdi<HBITMAP>;
using UniqueHFont = UniqueGdi<HFONT>;
using UniqueHPen = UniqueGdi<HPEN>;
using UniqueHBrush = UniqueGdi<HBRUSH>;
using UniqueHIcon = UniqueAny<owner_traits::Traits<HICON, owner_traits::NullIcon, owner_traits::DestroyIconFn>>;
// WinINet sessions, connections and requests: InternetCloseHandle (link wininet).
using UniqueInternet =
    UniqueAny<owner_traits::Traits<HINTERNET, owner_traits::NullInternet, owner_traits::InternetCloseHandleFn>>;

// A window's device context from GetDC: ReleaseDC.
class UniqueWindowDc {
 public:
  explicit UniqueWindowDc(HWND window) : window_(window), dc_(::GetDC(window)) {}
  ~UniqueWindowDc() {
    if (dc_ != nullptr) ::ReleaseDC(window_, dc_);
  }
  UniqueWindowDc(const UniqueWindowDc&) = delete;
  UniqueWindowDc& operator=(const UniqueWindowDc&) = delete;
  HDC get() const { return dc_; }
  explicit operator bool() const { return dc_ != nullptr; }

 private:
  HWND window_;
  HDC dc_;
};

// BeginPaint/EndPaint.
class UniquePaintDc {
 public:
  explicit UniquePaintDc(HWND window) : window_(window) { dc_ = ::BeginPaint(window, &paint_); }
  ~UniquePaintDc() {
    if (dc_ != nullptr) ::EndPaint(window_, &paint_);
  }
  UniquePaintDc(const UniquePaintDc&) = delete;
  UniquePaintDc& operator=(const UniquePaintDc&) = delete;
  HDC get() const { return dc_; }
  const PAINTSTRUCT& paint() const { return paint_; }

 private:
  HWND window_;
  PAINTSTRUCT paint_{};
  HDC dc_ = nullptr;
};

// Selects an object into a DC and puts the previous one back.
class SelectObjectScope {
 public:
  SelectObjectScope(HDC dc, HGDIOBJ object) : dc_(dc), previous_(::SelectObject(dc, object)) {}
  ~SelectObjectScope() {
    if (previous_ != nullptr && previous_ != HGDI_ERROR) ::SelectObject(dc_, previous_);
  }
  SelectObjectScope(const SelectObjectScope&) = delete;
  SelectObjectScope& operator=(const SelectObjectScope&) = delete;

 private:
  HDC dc_;
  HGDIOBJ previous_;
};

// Both handles of a created process.
class UniqueProcessInformation {
 public:
  UniqueProcessInformation() = default;
  ~UniqueProcessInformation() { reset(); }
  UniqueProcessInformation(const UniqueProcessInformation&) = delete;
  UniqueProcessInformation& operator=(const UniqueProcessInformation&) = delete;
  PROCESS_INFORMATION* put() {
    reset();
    return &info_;
  }
  const PROCESS_INFORMATION& get() const { return info_; }
  void reset() {
    const DWORD error = GetLastError();
    if (info_.hThread != nullptr) ::CloseHandle(info_.hThread);
    if (info_.hProcess != nullptr) ::CloseHandle(info_.hProcess);
    info_ = PROCESS_INFORMATION{};
    SetLastError(error);
  }

 private:
  PROCESS_INFORMATION info_{};
};

// A COM interface pointer: Release on destruction.
template <typename T>
class ComPtr {
 public:
  ComPtr() = default;
  ~ComPtr() { reset(); }
  ComPtr(ComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
  ComPtr& operator=(ComPtr&& other) noexcept {
    if (this != &other) {
      reset();
      p_ = std::exchange(other.p_, nullptr);
    }
    return *this;
  }
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;
  T* get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }
  void reset() {
    if (p_ != nullptr) std::exchange(p_, nullptr)->Release();
  }
  T** put() {
    reset();
    return &p_;
  }
  void** put_void() { return reinterpret_cast<void**>(put()); }

 private:
  T* p_ = nullptr;
};

// CoInitialize paired with CoUninitialize. The pairing holds whatever
// CoInitialize returned (S_FALSE also needs its CoUninitialize); only a
// failure skips it.
class ComInitScope {
 public:
  ComInitScope() : result_(::CoInitialize(nullptr)) {}
  ~ComInitScope() {
    if (SUCCEEDED(result_)) ::CoUninitialize();
  }
  ComInitScope(const ComInitScope&) = delete;
  ComInitScope& operator=(const ComInitScope&) = delete;
  HRESULT result() const { return result_; }

 private:
  HRESULT result_;
};

// Runs a callable at scope exit unless dismissed.
template <typename F>
class ScopeExit {
 public:
  explicit ScopeExit(F f) : f_(std::move(f)) {}
  ~ScopeExit() {
    if (active_) f_();
  }
  ScopeExit(const ScopeExit&) = delete;
  ScopeExit& operator=(const ScopeExit&) = delete;
  void Dismiss() { active_ = false; }

 private:
  F f_;
  bool active_ = true;
};

}  // namespace qrn
