#ifndef KORVEX_NATIVE_COMMON_CAPTURE_LOG_H_
#define KORVEX_NATIVE_COMMON_CAPTURE_LOG_H_

#include <cstdio>
#include <string>

// The open trace file, or null: tracing is off until it is opened.
extern FILE* capture_log;

// Opens "korvex_capture.log" in |folder| (UTF-16) for appending, once per
// process; a failed open leaves tracing off so that a later call may retry.
// A folder holding a NUL opens nothing.
void OpenCaptureLog(const std::wstring& folder);

// Appends |line| (UTF-8) and a line feed, flushed at once.
void WriteTraceLine(const std::string& line);

// Logs "diag " + |text| and sends it to the application as a "diag" record
// while it listens to the key events.
void EmitDiag(const std::string& text);

#endif  // KORVEX_NATIVE_COMMON_CAPTURE_LOG_H_
