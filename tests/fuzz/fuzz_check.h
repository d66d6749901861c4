#pragma once
// An invariant of a fuzz target that does not hold aborts the run, which
// libFuzzer and the corpus replay both report with the input.
#include <cstdlib>

inline void check(bool ok) {
  if (!ok) std::abort();
}
