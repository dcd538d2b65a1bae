#pragma once
// Every request that runs the tool or touches the work folder holds this
// lock, across all threads and processes of the user's session: a request
// removes what a request that died left in the work folder, which must not
// be a live request's folder.
#include "floor/unique_any.h"

namespace qibor {

class RequestLock {
 public:
  explicit RequestLock(unsigned long timeoutMilliseconds = 0xFFFFFFFF);
  // False only when the lock could not be made at all.
  bool held() const { return held_.valid(); }
  // The request that held the lock last died holding it.
  bool abandoned() const { return abandoned_; }

 private:
  UniqueHandle own_;         // only when the mutex kept for all requests is missing
  UniqueMutexRelease held_;  // released before own_ closes
  bool abandoned_ = false;
};

}  // namespace qibor
