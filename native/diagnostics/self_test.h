#ifndef KORVEX_NATIVE_DIAGNOSTICS_SELF_TEST_H_
#define KORVEX_NATIVE_DIAGNOSTICS_SELF_TEST_H_

#include <string>

struct SelfTestConfiguration {
  int delay_ms = 3;
  int settle_ms = 0;
  int runs = 5;
};

// Reads "--delay", "--settle" and "--runs" from an argument vector (the
// program name included) and applies the bounds.
SelfTestConfiguration ParseSelfTestArguments(int argc, wchar_t** argv);

// Runs the self-test of this process's command line; the result is the exit
// code: the number of failed runs, or 255 when it could not start.
int RunSelfTest();

// "%TEMP%\korvex_selftest.log".
std::wstring SelfTestLogPath();

#endif  // KORVEX_NATIVE_DIAGNOSTICS_SELF_TEST_H_
