// Move-only owner of one Win32 handle, released on every path. The traits name the invalid value
// and the function that closes it, so kernel, Internet and module handles share one shape.
#pragma once

#include <windows.h>

#include <utility>

namespace zelkupd {

template <typename Traits>
class TScopedHandle {
 public:
  using Handle = typename Traits::Handle;

  TScopedHandle() = default;
  explicit TScopedHandle(Handle handle) : FHandle(handle) {}
  TScopedHandle(TScopedHandle&& other) noexcept : FHandle(other.Release()) {}
  TScopedHandle& operator=(TScopedHandle&& other) noexcept {
    Reset(other.Release());
    return *this;
  }
  TScopedHandle(const TScopedHandle&) = delete;
  TScopedHandle& operator=(const TScopedHandle&) = delete;
  ~TScopedHandle() { Reset(Traits::Invalid()); }

  bool IsValid() const { return FHandle != Traits::Invalid(); }
  Handle Get() const { return FHandle; }
  Handle Release() { return std::exchange(FHandle, Traits::Invalid()); }
  void Reset(Handle handle) {
    if (IsValid()) {
      Traits::Close(FHandle);
    }
    FHandle = handle;
  }

 private:
  Handle FHandle = Traits::Invalid();
};

// A kernel handle whose failure value is INVALID_HANDLE_VALUE (files).
struct TFileHandleTraits {
  using Handle = HANDLE;
  static Handle Invalid() { return INVALID_HANDLE_VALUE; }
  static void Close(Handle handle) { ::CloseHandle(handle); }
};
using TScopedFileHandle = TScopedHandle<TFileHandleTraits>;

// A kernel handle whose failure value is null (processes).
struct TKernelHandleTraits {
  using Handle = HANDLE;
  static Handle Invalid() { return nullptr; }
  static void Close(Handle handle) { ::CloseHandle(handle); }
};
using TScopedKernelHandle = TScopedHandle<TKernelHandleTraits>;

}  // namespace zelkupd
