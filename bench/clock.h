#pragma once
// The benchmark programs' clock: seconds from the performance counter.
#include <windows.h>

inline double WallSeconds() {
  static const double frequency = [] {
    LARGE_INTEGER f{};
    QueryPerformanceFrequency(&f);
    return static_cast<double>(f.QuadPart);
  }();
  LARGE_INTEGER now{};
  QueryPerformanceCounter(&now);
  return static_cast<double>(now.QuadPart) / frequency;
}
