#include "tool/request_lock.h"

namespace qibor {
namespace {
constexpr wchar_t kMutexName[] = L"Local\\qibor.work-folder";
}

RequestLock::RequestLock(unsigned long timeoutMilliseconds) : mutex_(CreateMutexW(nullptr, FALSE, kMutexName)) {
  if (!mutex_.valid()) return;
  // An abandoned lock means a request died half way; the next request
  // replaces whatever files it left behind.
  const DWORD waited = WaitForSingleObject(mutex_.get(), timeoutMilliseconds);
  if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED) held_.reset(mutex_.get());
}

}  // namespace qibor
