#ifndef KORVEX_NATIVE_CONTEXT_FOCUSED_CONTROL_H_
#define KORVEX_NATIVE_CONTEXT_FOCUSED_CONTROL_H_

#include <windows.h>

#include <optional>
#include <string>

#include "context/uia_client.h"

// Questions about the focused control of the foreground application, asked
// through UI Automation. The queries run on a thread of their own in the
// multithreaded apartment: a slow or hung target holds up that thread only,
// while the caller serves its sent messages (and with them the hooks) and
// gives up after kUiaAnswerTimeoutMs with the default answer.

constexpr DWORD kUiaAnswerTimeoutMs = 1000;

// The one UI Automation instance, created on first use and never again
// after a failed creation. Only for the query thread.
IUIAutomation* GetUiAutomation();

// Main thread. True when UI Automation says so, or when the focused window
// is an edit control with ES_PASSWORD; false when UI Automation says no (or
// there is none); nothing when it did not answer in time, or is still busy
// with a question it never answered, which is not waited for again.
std::optional<bool> IsPasswordFieldFocused();

// Main thread. The texts of the focused control's selection ranges, joined;
// empty when anything fails.
std::string UiaSelectedText();

#endif  // KORVEX_NATIVE_CONTEXT_FOCUSED_CONTROL_H_
