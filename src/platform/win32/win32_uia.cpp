#include "platform/win32/win32_uia.h"

#include <windows.h>
#include <objbase.h>
#include <oleauto.h>

#include <memory>

namespace harvel::win32 {

namespace {

// The CUIAutomation class and the two interfaces asked for by id.
constexpr GUID kClsidCuiAutomation = {0xff48dba4, 0x60ef, 0x4201, {0xaa, 0x87, 0x54, 0x10, 0x3e, 0xef, 0x59, 0x4e}};
constexpr GUID kIidAutomation = {0x30cbe57d, 0xd9d0, 0x452a, {0xab, 0x13, 0x7a, 0xc5, 0xac, 0x48, 0x25, 0xee}};
constexpr GUID kIidTextPattern = {0x32eba289, 0x3583, 0x42c9, {0x9c, 0x59, 0x3b, 0x6d, 0x9a, 0x1e, 0x9b, 0x6a}};

constexpr int kTextPatternId = 10014;
constexpr int kEndpointStart = 0;
constexpr int kEndpointEnd = 1;
constexpr int kUnitCharacter = 0;

// Method slots in each interface's vtable (after QueryInterface, AddRef,
// Release), in the documented order.
constexpr int kSlotRelease = 2;
constexpr int kSlotGetFocusedElement = 8;         // automation object
constexpr int kSlotGetCurrentPatternAs = 14;      // element
constexpr int kSlotGetCurrentIsPassword = 35;     // element
constexpr int kSlotGetSelection = 5;              // text pattern
constexpr int kSlotArrayGetLength = 3;            // range array
constexpr int kSlotArrayGetElement = 4;           // range array
constexpr int kSlotRangeClone = 3;                // text range
constexpr int kSlotRangeGetBoundingRectangles = 10;
constexpr int kSlotRangeMoveEndpointByUnit = 14;

// A COM object seen as its table of methods.
struct ComObject {
  void** vtable;
};

template <typename Fn>
Fn method(void* object, int slot) {
  return reinterpret_cast<Fn>(static_cast<ComObject*>(object)->vtable[slot]);
}

void release(void* object) {
  if (object) method<ULONG(STDMETHODCALLTYPE*)(void*)>(object, kSlotRelease)(object);
}

// Owns one interface pointer.
struct ComRef {
  void* p = nullptr;
  ComRef() = default;
  explicit ComRef(void* object) : p(object) {}
  ComRef(const ComRef&) = delete;
  ComRef& operator=(const ComRef&) = delete;
  ~ComRef() { release(p); }
  void** out() {
    release(p);
    p = nullptr;
    return &p;
  }
};

// The thread's automation object. A plain pointer: it lives as long as the
// overlay thread, which runs until the process ends.
thread_local void* t_automation = nullptr;

// The SAFEARRAY calls live in oleaut32, which the program loads on demand.
struct SafeArrayCalls {
  decltype(&SafeArrayGetLBound) lbound = nullptr;
  decltype(&SafeArrayGetUBound) ubound = nullptr;
  decltype(&SafeArrayAccessData) access = nullptr;
  decltype(&SafeArrayUnaccessData) unaccess = nullptr;
  decltype(&SafeArrayDestroy) destroy = nullptr;
  bool ok = false;
};

const SafeArrayCalls& safe_array_calls() {
  static const SafeArrayCalls calls = [] {
    SafeArrayCalls c;
    HMODULE m = LoadLibraryW(L"oleaut32.dll");
    if (!m) return c;
    c.lbound = reinterpret_cast<decltype(c.lbound)>(reinterpret_cast<void*>(GetProcAddress(m, "SafeArrayGetLBound")));
    c.ubound = reinterpret_cast<decltype(c.ubound)>(reinterpret_cast<void*>(GetProcAddress(m, "SafeArrayGetUBound")));
    c.access = reinterpret_cast<decltype(c.access)>(reinterpret_cast<void*>(GetProcAddress(m, "SafeArrayAccessData")));
    c.unaccess =
        reinterpret_cast<decltype(c.unaccess)>(reinterpret_cast<void*>(GetProcAddress(m, "SafeArrayUnaccessData")));
    c.destroy = reinterpret_cast<decltype(c.destroy)>(reinterpret_cast<void*>(GetProcAddress(m, "SafeArrayDestroy")));
    c.ok = c.lbound && c.ubound && c.access && c.unaccess && c.destroy;
    return c;
  }();
  return calls;
}

class Win32TextRange final : public os::UiaTextRange {
 public:
  explicit Win32TextRange(void* range) : range_(range) {}

  std::optional<int32_t> move_start(int32_t count) override { return move(kEndpointStart, count); }
  std::optional<int32_t> move_end(int32_t count) override { return move(kEndpointEnd, count); }

  std::optional<std::vector<double>> bounding_rectangles() override {
    SAFEARRAY* array = nullptr;
    using Fn = HRESULT(STDMETHODCALLTYPE*)(void*, SAFEARRAY**);
    if (FAILED(method<Fn>(range_.p, kSlotRangeGetBoundingRectangles)(range_.p, &array)) || !array) {
      return std::nullopt;
    }
    const SafeArrayCalls& sa = safe_array_calls();
    std::optional<std::vector<double>> out;
    LONG lower = 0;
    LONG upper = -1;
    void* data = nullptr;
    if (sa.ok && SUCCEEDED(sa.lbound(array, 1, &lower)) && SUCCEEDED(sa.ubound(array, 1, &upper)) &&
        SUCCEEDED(sa.access(array, &data))) {
      const double* values = static_cast<const double*>(data);
      const LONG count = upper >= lower ? upper - lower + 1 : 0;
      out = std::vector<double>(values, values + count);
      sa.unaccess(array);
    }
    if (sa.ok) sa.destroy(array);
    return out;
  }

 private:
  std::optional<int32_t> move(int endpoint, int32_t count) {
    int moved = 0;
    using Fn = HRESULT(STDMETHODCALLTYPE*)(void*, int, int, int, int*);
    if (FAILED(method<Fn>(range_.p, kSlotRangeMoveEndpointByUnit)(range_.p, endpoint, kUnitCharacter, count, &moved))) {
      return std::nullopt;
    }
    return moved;
  }

  ComRef range_;
};

void* automation_object() {
  if (!t_automation) {
    void* created = nullptr;
    if (SUCCEEDED(CoCreateInstance(kClsidCuiAutomation, nullptr, CLSCTX_INPROC_SERVER, kIidAutomation, &created))) {
      t_automation = created;
    }
  }
  return t_automation;
}

}  // namespace

bool uia_object_created() { return t_automation != nullptr; }

os::UiaFocus Win32Uia::focused_text() {
  os::UiaFocus unavailable;
  void* automation = automation_object();
  if (!automation) return unavailable;

  ComRef element;
  using GetFocused = HRESULT(STDMETHODCALLTYPE*)(void*, void**);
  if (FAILED(method<GetFocused>(automation, kSlotGetFocusedElement)(automation, element.out())) || !element.p) {
    return unavailable;
  }
  BOOL password = FALSE;
  using GetBool = HRESULT(STDMETHODCALLTYPE*)(void*, BOOL*);
  if (FAILED(method<GetBool>(element.p, kSlotGetCurrentIsPassword)(element.p, &password))) return unavailable;
  if (password) return {os::UiaFocus::Kind::Password, nullptr};

  ComRef pattern;
  using GetPatternAs = HRESULT(STDMETHODCALLTYPE*)(void*, int, REFIID, void**);
  if (FAILED(method<GetPatternAs>(element.p, kSlotGetCurrentPatternAs)(element.p, kTextPatternId, kIidTextPattern,
                                                                      pattern.out())) ||
      !pattern.p) {
    return unavailable;
  }
  ComRef ranges;
  using GetSelection = HRESULT(STDMETHODCALLTYPE*)(void*, void**);
  if (FAILED(method<GetSelection>(pattern.p, kSlotGetSelection)(pattern.p, ranges.out())) || !ranges.p) {
    return unavailable;
  }
  int length = 0;
  using GetLength = HRESULT(STDMETHODCALLTYPE*)(void*, int*);
  if (FAILED(method<GetLength>(ranges.p, kSlotArrayGetLength)(ranges.p, &length)) || length < 1) return unavailable;
  ComRef first;
  using GetElement = HRESULT(STDMETHODCALLTYPE*)(void*, int, void**);
  if (FAILED(method<GetElement>(ranges.p, kSlotArrayGetElement)(ranges.p, 0, first.out())) || !first.p) {
    return unavailable;
  }
  void* clone = nullptr;
  using Clone = HRESULT(STDMETHODCALLTYPE*)(void*, void**);
  if (FAILED(method<Clone>(first.p, kSlotRangeClone)(first.p, &clone)) || !clone) return unavailable;
  return {os::UiaFocus::Kind::Text, std::make_unique<Win32TextRange>(clone)};
}

}  // namespace harvel::win32
