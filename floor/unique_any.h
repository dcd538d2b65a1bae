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

// What "nothing held" is: null, or for handles null and also
// INVALID_HANDLE_VALUE, as Win32 calls give back either when they fail.
template <typename T>
struct NullIsEmpty {
  using Type = T;
  static constexpr T kEmpty = nullptr;
  static bool IsHeld(T value) { return value != nullptr; }
};
struct NullOrInvalidIsEmpty : NullIsEmpty<HANDLE> {
  static bool IsHeld(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
};

struct HandleTraits : NullOrInvalidIsEmpty {
  static void Close(HANDLE h) { CloseHandle(h); }
};
struct LocalTraits : NullIsEmpty<HLOCAL> {
  static void Close(HLOCAL h) { LocalFree(h); }
};
// A FindFirstFileExW search.
struct FindTraits : NullOrInvalidIsEmpty {
  static void Close(HANDLE h) { FindClose(h); }
};
// A mutex this thread has acquired; closing it releases it.
struct MutexReleaseTraits : NullIsEmpty<HANDLE> {
  static void Close(HANDLE h) { ReleaseMutex(h); }
};
// A critical section this thread has entered.
struct LeaveCriticalSectionTraits : NullIsEmpty<CRITICAL_SECTION*> {
  static void Close(CRITICAL_SECTION* section) { LeaveCriticalSection(section); }
};

using UniqueHandle = UniqueAny<HandleTraits>;
using UniqueLocal = UniqueAny<LocalTraits>;
using UniqueFind = UniqueAny<FindTraits>;
using UniqueMutexRelease = UniqueAny<MutexReleaseTraits>;
using UniqueCriticalSectionLeave = UniqueAny<LeaveCriticalSectionTraits>;

// Enters the section; it is left when the owner goes.
[[nodiscard]] inline UniqueCriticalSectionLeave EnterSection(CRITICAL_SECTION& section) {
  EnterCriticalSection(&section);
  return UniqueCriticalSectionLeave(&section);
}

}  // namespace qibor
