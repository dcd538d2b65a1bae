#pragma once
// Every request that runs the tool or touches the work folder holds this
// lock: the capture and extracted files have fixed names shared by all
// threads and processes of the user's session.
#include "interface/win_owners.h"

namespace qibor {

class RequestLock {
 public:
  explicit RequestLock(unsigned long timeoutMilliseconds = 0xFFFFFFFF);
  RequestLock(const RequestLock&) = delete;
  RequestLock& operator=(const RequestLock&) = delete;
  ~RequestLock();
  // False only when the lock could not be made at all.
  bool held() const { return held_; }

 private:
  UniqueHandle mutex_;
  bool held_ = false;
};

}  // namespace qibor
