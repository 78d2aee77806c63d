// Small COM helpers: an owning interface pointer, and handler objects whose
// Invoke runs a function (the runtime's completion and event handlers).
#pragma once

#include <windows.h>
#include <unknwn.h>

#include <atomic>
#include <functional>
#include <utility>

namespace harvel::win32 {

// Holds one reference.
template <typename T>
class Com {
 public:
  Com() = default;
  Com(std::nullptr_t) {}
  // Takes over a reference the caller owns.
  static Com adopt(T* p) {
    Com c;
    c.p_ = p;
    return c;
  }
  Com(const Com& o) : p_(o.p_) {
    if (p_) p_->AddRef();
  }
  Com(Com&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
  Com& operator=(Com o) noexcept {
    std::swap(p_, o.p_);
    return *this;
  }
  ~Com() { reset(); }

  void reset() {
    if (T* p = std::exchange(p_, nullptr)) p->Release();
  }
  // For out-parameters: releases what is held first.
  T** put() {
    reset();
    return &p_;
  }
  T* get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }

  // QueryInterface for another interface; empty when it is not offered.
  template <typename U>
  Com<U> as(const IID& iid) const {
    Com<U> out;
    if (p_) p_->QueryInterface(iid, reinterpret_cast<void**>(out.put()));
    return out;
  }

 private:
  T* p_ = nullptr;
};

// A handler of interface I whose Invoke(Args...) calls a function.
template <typename I, typename... Args>
class Callback final : public I {
 public:
  using Fn = std::function<HRESULT(Args...)>;

  // One reference, owned by the result.
  static Com<I> make(const IID& iid, Fn fn) { return Com<I>::adopt(new Callback(iid, std::move(fn))); }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (!out) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, iid_)) {
      *out = static_cast<I*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG n = --refs_;
    if (n == 0) delete this;
    return n;
  }
  HRESULT STDMETHODCALLTYPE Invoke(Args... args) override {
    // Nothing may unwind into the runtime.
    try {
      return fn_ ? fn_(args...) : S_OK;
    } catch (...) {
      return E_FAIL;
    }
  }

 private:
  Callback(const IID& iid, Fn fn) : iid_(iid), fn_(std::move(fn)) {}
  IID iid_;
  Fn fn_;
  std::atomic<ULONG> refs_{1};
};

// A text the runtime handed out (CoTaskMemAlloc), freed with the object.
class CoText {
 public:
  CoText() = default;
  CoText(const CoText&) = delete;
  CoText& operator=(const CoText&) = delete;
  ~CoText() { CoTaskMemFree(p_); }
  LPWSTR* put() {
    CoTaskMemFree(p_);
    p_ = nullptr;
    return &p_;
  }
  const wchar_t* get() const { return p_ ? p_ : L""; }

 private:
  LPWSTR p_ = nullptr;
};

}  // namespace harvel::win32
