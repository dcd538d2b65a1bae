#pragma once
// Retrying a step that fails for a passing reason: a virus scanner holding a
// fresh file, or a process start that fails while the system is short of
// something for a moment. Other failures end the retrying at once.
#include <windows.h>

namespace qibor {

struct RetryBudget {
  DWORD totalMilliseconds;  // waiting stops once this much has been waited
  DWORD stepMilliseconds;
};

// Calls `attempt` until its result's `first` is true, the last error is not
// one `isPassing` accepts, or the budget is spent; returns the last result
// with its last error still set.
template <typename Attempt, typename IsPassing>
auto RetryWhilePassing(RetryBudget budget, IsPassing isPassing, Attempt attempt) {
  DWORD waited = 0;
  for (;;) {
    auto result = attempt();
    if (result.first || !isPassing(GetLastError()) || waited >= budget.totalMilliseconds) return result;
    Sleep(budget.stepMilliseconds);
    waited += budget.stepMilliseconds;
  }
}

inline bool IsBusyError(DWORD error) { return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION; }

// Errors of a process start that may not recur. Wine reports a new process
// that died before it could run as ERROR_INTERNAL_ERROR.
inline bool IsPassingStartError(DWORD error) {
  switch (error) {
    case ERROR_INTERNAL_ERROR:
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
    case ERROR_NO_SYSTEM_RESOURCES:
    case ERROR_COMMITMENT_LIMIT:
    case ERROR_NOT_ENOUGH_QUOTA:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      return true;
    default:
      return false;
  }
}

}  // namespace qibor
