#pragma once
// The work folder, "qibor" under the user's temp folder, and the folders of
// the requests inside it. Each request works in a fresh folder of its own
// (the tool's captures and the extracted member live there) and removes it
// whole when it ends, so the work folder holds nothing between requests.
#include <string>

#include "tool/request_lock.h"

namespace qibor {

// Empty when it does not fit a path.
std::wstring WorkDirectory();
// Creates the work folder when it is missing.
void EnsureWorkDirectory();

// Held by every request that runs the tool: the request lock, then a fresh
// request folder. A request leaves nothing else in the work folder unless
// it dies half way, holding the lock: the lock then comes abandoned to the
// next request, which removes all else in the work folder as it ends. The
// first request of a process does too, for what a machine that stopped
// left there.
class RequestScope {
 public:
  RequestScope();
  RequestScope(const RequestScope&) = delete;
  RequestScope& operator=(const RequestScope&) = delete;
  ~RequestScope();
  // Empty when no request folder can be made: the work folder is missing
  // and cannot be made, is read-only, or is a file.
  const std::wstring& folder() const { return folder_; }

 private:
  RequestLock lock_;
  std::wstring folder_;
};

}  // namespace qibor
