#ifndef KORVEX_NATIVE_DIAGNOSTICS_SELF_TEST_H_
#define KORVEX_NATIVE_DIAGNOSTICS_SELF_TEST_H_

// Runs the self-test for the raw command line; the result is the exit code
// (the number of failed checks).
int RunSelfTest(const wchar_t* command_line);

#endif  // KORVEX_NATIVE_DIAGNOSTICS_SELF_TEST_H_
