#pragma once
// Small owners for Win32 resources, so no early return leaks a handle, a block
// or the request lock.
#include <windows.h>

#include <utility>

namespace qibor {

// A kernel handle closed with CloseHandle; both null and INVALID_HANDLE_VALUE
// mean "nothing held".
class UniqueHandle {
 public:
  UniqueHandle() = default;
  explicit UniqueHandle(HANDLE h) : handle_(h) {}
  UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.release()) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  ~UniqueHandle() { reset(); }

  HANDLE get() const { return handle_; }
  bool valid() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }
  HANDLE release() { return std::exchange(handle_, nullptr); }
  void reset(HANDLE h = nullptr) {
    if (valid()) CloseHandle(handle_);
    handle_ = h;
  }

 private:
  HANDLE handle_ = nullptr;
};

// A LocalAlloc block; release() hands it to its next owner (the host, the cache).
class UniqueLocal {
 public:
  UniqueLocal() = default;
  explicit UniqueLocal(HLOCAL h) : block_(h) {}
  UniqueLocal(UniqueLocal&& other) noexcept : block_(other.release()) {}
  UniqueLocal& operator=(UniqueLocal&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  UniqueLocal(const UniqueLocal&) = delete;
  UniqueLocal& operator=(const UniqueLocal&) = delete;
  ~UniqueLocal() { reset(); }

  HLOCAL get() const { return block_; }
  explicit operator bool() const { return block_ != nullptr; }
  HLOCAL release() { return std::exchange(block_, nullptr); }
  void reset(HLOCAL h = nullptr) {
    if (block_ != nullptr) LocalFree(block_);
    block_ = h;
  }
  template <typename T>
  T* as() const {
    return static_cast<T*>(block_);
  }

 private:
  HLOCAL block_ = nullptr;
};

}  // namespace qibor
