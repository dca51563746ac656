// Move-only owners for platform handles: each knows its invalid value and
// its release function, so that no call site compares or closes by hand and
// a throw anywhere leaves nothing open.
#pragma once

#include <windows.h>

#include <utility>

namespace handles {

template <typename Handle, typename Traits>
class Owned {
 public:
  Owned() = default;
  explicit Owned(Handle handle) : handle_(handle) {}
  ~Owned() { reset(); }
  Owned(Owned&& other) noexcept : handle_(std::exchange(other.handle_, Traits::Invalid())) {}
  Owned& operator=(Owned&& other) noexcept {
    if (this != &other) {
      reset();
      handle_ = std::exchange(other.handle_, Traits::Invalid());
    }
    return *this;
  }
  Owned(const Owned&) = delete;
  Owned& operator=(const Owned&) = delete;

  Handle get() const { return handle_; }
  operator Handle() const { return handle_; }
  bool valid() const { return handle_ != Handle(Traits::Invalid()); }
  Handle release() { return std::exchange(handle_, Traits::Invalid()); }
  void reset(Handle handle = Traits::Invalid()) {
    if (valid()) Traits::Close(handle_);
    handle_ = handle;
  }

 private:
  Handle handle_ = Traits::Invalid();
};

// What CreateFileW returns: INVALID_HANDLE_VALUE when it fails.
struct FileTraits {
  static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
  static void Close(HANDLE handle) { CloseHandle(handle); }
};
// What FindFirstFileW and FindFirstStreamW return.
struct FindTraits {
  static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
  static void Close(HANDLE handle) { FindClose(handle); }
};
// What CreateMutexW, CreateEventW and CreateThread return: null when they fail.
struct KernelTraits {
  static HANDLE Invalid() { return nullptr; }
  static void Close(HANDLE handle) { CloseHandle(handle); }
};

using File = Owned<HANDLE, FileTraits>;
using Find = Owned<HANDLE, FindTraits>;
using Kernel = Owned<HANDLE, KernelTraits>;

}  // namespace handles
