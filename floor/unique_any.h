#pragma once
// Ownership of a Win32 resource as a type: one template, and a line for each
// kind of resource qibor holds, so no early return leaks a handle, a block,
// a search or the request lock.
#include <windows.h>

#include <utility>

namespace qibor {

// Owns a value of Traits::Type, freed by Traits::Close unless it is one of
// Traits' "nothing held" values. release() hands the value to its next owner
// (the host, the cache, a child process).
template <typename Traits>
class UniqueAny {
 public:
  using Type = typename Traits::Type;

  UniqueAny() = default;
  explicit UniqueAny(Type value) : value_(value) {}
  UniqueAny(UniqueAny&& other) noexcept : value_(other.release()) {}
  UniqueAny& operator=(UniqueAny&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  UniqueAny(const UniqueAny&) = delete;
  UniqueAny& operator=(const UniqueAny&) = delete;
  ~UniqueAny() { reset(); }

  Type get() const { return value_; }
  bool valid() const { return Traits::IsHeld(value_); }
  explicit operator bool() const { return valid(); }
  Type release() { return std::exchange(value_, Traits::kEmpty); }
  void reset(Type value = Traits::kEmpty) {
    if (valid()) Traits::Close(value_);
    value_ = value;
  }
  // A block's bytes seen as T.
  template <typename T>
  T* as() const {
    return static_cast<T*>(value_);
  }

 private:
  Type value_ = Traits::kEmpty;
};

// A kernel handle; both null and INVALID_HANDLE_VALUE mean "nothing held",
// as Win32 calls give back either.
struct HandleTraits {
  using Type = HANDLE;
  static constexpr HANDLE kEmpty = nullptr;
  static bool IsHeld(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  static void Close(HANDLE h) { CloseHandle(h); }
};

struct LocalTraits {
  using Type = HLOCAL;
  static constexpr HLOCAL kEmpty = nullptr;
  static bool IsHeld(HLOCAL h) { return h != nullptr; }
  static void Close(HLOCAL h) { LocalFree(h); }
};

// A FindFirstFileExW search.
struct FindTraits {
  using Type = HANDLE;
  static constexpr HANDLE kEmpty = nullptr;
  static bool IsHeld(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  static void Close(HANDLE h) { FindClose(h); }
};

// A mutex this thread has acquired; closing it releases it.
struct MutexReleaseTraits {
  using Type = HANDLE;
  static constexpr HANDLE kEmpty = nullptr;
  static bool IsHeld(HANDLE h) { return h != nullptr; }
  static void Close(HANDLE h) { ReleaseMutex(h); }
};

using UniqueHandle = UniqueAny<HandleTraits>;
using UniqueLocal = UniqueAny<LocalTraits>;
using UniqueFind = UniqueAny<FindTraits>;
using UniqueMutexRelease = UniqueAny<MutexReleaseTraits>;

}  // namespace qibor
