#ifndef KORVEX_APP_AUTOSTART_H_
#define KORVEX_APP_AUTOSTART_H_

// "Start with Windows": the value "Korvex" under the current user's
// "Software\Microsoft\Windows\CurrentVersion\Run", which starts this
// executable with "--autostart" at log-on.

// Whether the value is there, whatever program it names.
bool AutostartEnabled();

// Writes or removes the value; true when the registry now says |enabled|.
bool SetAutostart(bool enabled);

#endif  // KORVEX_APP_AUTOSTART_H_
