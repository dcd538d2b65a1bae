#pragma once
// Nothing thrown inside qibor reaches the host: each export runs its body
// through Guarded, which turns an exception into the export's failure value.
#include <new>

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

}  // namespace qibor
