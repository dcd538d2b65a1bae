#pragma once
// Nothing thrown inside qibor reaches the host: each export runs its body
// through Guarded, which turns an exception into the export's failure value.
#include <new>
#include <optional>

#include "interface/records.h"

namespace qibor {

template <typename Body>
int Guarded(int failure, int outOfMemory, Body body) noexcept {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    return outOfMemory;
  } catch (...) {
    return failure;
  }
}

// A GetFile call's arguments checked before anything is read: only input
// from a file is served, and a null `dest` has nowhere to deliver to (6 for
// memory, 9 for a folder).
inline std::optional<int> RefusedFetch(unsigned flag, const void* dest) {
  if (!IsFileInput(flag)) return NotImplemented;
  if (dest == nullptr) return IsOutputToMemory(flag) ? ReadError : WriteError;
  return std::nullopt;
}

}  // namespace qibor
