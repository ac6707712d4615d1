#ifndef KORVEX_NATIVE_CONTEXT_FOREGROUND_RESTORE_H_
#define KORVEX_NATIVE_CONTEXT_FOREGROUND_RESTORE_H_

// Gives the foreground back to the remembered window of another program,
// working around the limits on SetForegroundWindow, and reports the outcome
// as a diag line. True when the window was seen in front. Blocks the main
// thread for up to about 1.1 s, serving the hooks all along.
bool RestoreForegroundWindow();

#endif  // KORVEX_NATIVE_CONTEXT_FOREGROUND_RESTORE_H_
