#include "tool/request_lock.h"

namespace qibor {
namespace {

constexpr wchar_t kMutexName[] = L"Local\\qibor.work-folder";

// Opened once and kept while qibor is loaded: each request only waits on it.
HANDLE SessionMutex() {
  static const UniqueHandle mutex(CreateMutexW(nullptr, FALSE, kMutexName));
  return mutex.get();
}

}  // namespace

RequestLock::RequestLock(unsigned long timeoutMilliseconds) {
  HANDLE mutex = SessionMutex();
  // Should the kept one not have been made, the request makes its own.
  if (mutex == nullptr) {
    own_.reset(CreateMutexW(nullptr, FALSE, kMutexName));
    mutex = own_.get();
  }
  if (mutex == nullptr) return;
  // An abandoned lock means a request died half way; the next request
  // replaces whatever files it left behind.
  const DWORD waited = WaitForSingleObject(mutex, timeoutMilliseconds);
  if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED) held_.reset(mutex);
  abandoned_ = waited == WAIT_ABANDONED;
}

}  // namespace qibor
