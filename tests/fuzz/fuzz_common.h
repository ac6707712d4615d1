// Shared checks for the codec fuzz targets.
#ifndef KORVEX_TESTS_FUZZ_FUZZ_COMMON_H_
#define KORVEX_TESTS_FUZZ_FUZZ_COMMON_H_

#include <cstdio>
#include <cstdlib>
#include <iostream>

namespace fuzz {
inline void Check(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "round trip failed: %s\n", what);
  std::abort();
}
}  // namespace fuzz

// The codec logs every unknown tag to std::cerr; at fuzzing rates that is
// gigabytes of noise. libFuzzer's own reports do not go through std::cerr.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
  std::cerr.rdbuf(nullptr);
  return 0;
}

#endif  // KORVEX_TESTS_FUZZ_FUZZ_COMMON_H_
