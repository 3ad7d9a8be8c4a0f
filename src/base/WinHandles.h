// Owners for the platform's handles, so every acquisition has exactly one
// release.
#pragma once

#include <windows.h>
#include <mmsystem.h>
#include <objbase.h>

namespace tv {

// A kernel handle closed with CloseHandle. Both "no handle" values
// (null and INVALID_HANDLE_VALUE) count as empty.
class UniqueHandle {
 public:
  UniqueHandle() = default;
  explicit UniqueHandle(HANDLE h) : h_(h) {}
  ~UniqueHandle() { reset(); }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  UniqueHandle(UniqueHandle&& o) noexcept : h_(o.release()) {}
  UniqueHandle& operator=(UniqueHandle&& o) noexcept {
    if (this != &o) reset(o.release());
    return *this;
  }

  HANDLE get() const { return h_; }
  bool valid() const { return h_ != nullptr && h_ != INVALID_HANDLE_VALUE; }
  explicit operator bool() const { return valid(); }
  HANDLE release() {
    HANDLE h = h_;
    h_ = nullptr;
    return h;
  }
  void reset(HANDLE h = nullptr) {
    if (valid()) CloseHandle(h_);
    h_ = h;
  }

 private:
  HANDLE h_ = nullptr;
};

// Asks for 1 ms timer ticks while held. Without it every Sleep and wait
// on Windows ends on the next 15.6 ms tick, and no other program's request
// counts for this one since Windows 10 2004.
class FineTimerTicks {
 public:
  FineTimerTicks() = default;
  ~FineTimerTicks() { end(); }
  FineTimerTicks(const FineTimerTicks&) = delete;
  FineTimerTicks& operator=(const FineTimerTicks&) = delete;
  void begin() {
    if (!held_) held_ = timeBeginPeriod(1) == TIMERR_NOERROR;
  }
  void end() {
    if (held_) timeEndPeriod(1);
    held_ = false;
  }

 private:
  bool held_ = false;
};

// A registry key closed with RegCloseKey. Both "no key" values (null and
// INVALID_HANDLE_VALUE, which the device-setup calls return) count as empty.
class UniqueKey {
 public:
  UniqueKey() = default;
  explicit UniqueKey(HKEY k) : k_(k) {}
  ~UniqueKey() { reset(); }
  UniqueKey(const UniqueKey&) = delete;
  UniqueKey& operator=(const UniqueKey&) = delete;

  HKEY get() const { return k_; }
  bool valid() const { return k_ != nullptr && k_ != reinterpret_cast<HKEY>(INVALID_HANDLE_VALUE); }
  explicit operator bool() const { return valid(); }
  // For a call that hands back a new key: the old one is closed first.
  HKEY* put() {
    reset();
    return &k_;
  }
  void reset(HKEY k = nullptr) {
    if (valid()) RegCloseKey(k_);
    k_ = k;
  }

 private:
  HKEY k_ = nullptr;
};

// A window's device context (the screen's for a null window), released
// with ReleaseDC to the window it came from.
class WindowDC {
 public:
  explicit WindowDC(HWND window) : window_(window), dc_(GetDC(window)) {}
  ~WindowDC() {
    if (dc_) ReleaseDC(window_, dc_);
  }
  WindowDC(const WindowDC&) = delete;
  WindowDC& operator=(const WindowDC&) = delete;
  HDC get() const { return dc_; }

 private:
  HWND window_;
  HDC dc_;
};

// A COM interface pointer, released once.
template <typename Interface>
class ComPtr {
 public:
  ComPtr() = default;
  ~ComPtr() { reset(); }
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;

  Interface* get() const { return p_; }
  Interface* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }
  // For a call that hands back an interface through a void**.
  void** put() {
    reset();
    return reinterpret_cast<void**>(&p_);
  }
  void reset() {
    if (p_) p_->Release();
    p_ = nullptr;
  }

 private:
  Interface* p_ = nullptr;
};

// COM initialised on this thread while held, when it could be.
class ComApartment {
 public:
  ComApartment() {
    HRESULT r = CoInitialize(nullptr);
    ok_ = r == S_OK || r == S_FALSE;
  }
  ~ComApartment() {
    if (ok_) CoUninitialize();
  }
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;
  bool ok() const { return ok_; }

 private:
  bool ok_;
};

// A volume search, ended with FindVolumeClose.
class VolumeSearch {
 public:
  // The first volume's name goes into name.
  VolumeSearch(wchar_t* name, DWORD units) : h_(FindFirstVolumeW(name, units)) {}
  ~VolumeSearch() {
    if (valid()) FindVolumeClose(h_);
  }
  VolumeSearch(const VolumeSearch&) = delete;
  VolumeSearch& operator=(const VolumeSearch&) = delete;
  bool valid() const { return h_ != INVALID_HANDLE_VALUE; }
  bool next(wchar_t* name, DWORD units) { return FindNextVolumeW(h_, name, units) != FALSE; }

 private:
  HANDLE h_;
};

class UniqueMenu {
 public:
  UniqueMenu() = default;
  explicit UniqueMenu(HMENU m) : m_(m) {}
  ~UniqueMenu() {
    if (m_) DestroyMenu(m_);
  }
  UniqueMenu(const UniqueMenu&) = delete;
  UniqueMenu& operator=(const UniqueMenu&) = delete;
  HMENU get() const { return m_; }
  HMENU release() {
    HMENU m = m_;
    m_ = nullptr;
    return m;
  }

 private:
  HMENU m_ = nullptr;
};

// An icon made by LoadImage (not a shared one), destroyed once.
class UniqueIcon {
 public:
  UniqueIcon() = default;
  ~UniqueIcon() { reset(); }
  UniqueIcon(const UniqueIcon&) = delete;
  UniqueIcon& operator=(const UniqueIcon&) = delete;
  HICON get() const { return i_; }
  void reset(HICON i = nullptr) {
    if (i_) DestroyIcon(i_);
    i_ = i;
  }

 private:
  HICON i_ = nullptr;
};

class UniqueModule {
 public:
  explicit UniqueModule(HMODULE m) : m_(m) {}
  ~UniqueModule() {
    if (m_) FreeLibrary(m_);
  }
  UniqueModule(const UniqueModule&) = delete;
  UniqueModule& operator=(const UniqueModule&) = delete;

 private:
  HMODULE m_;
};

}  // namespace tv
