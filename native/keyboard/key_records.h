#ifndef KORVEX_NATIVE_KEYBOARD_KEY_RECORDS_H_
#define KORVEX_NATIVE_KEYBOARD_KEY_RECORDS_H_

#include <windows.h>

#include <cstdint>
#include <string>

// The records of "korvex/key_events" the key path sends, each with the
// modifier flags as they are now; nothing without a listener.

// |hold_id| is added as "held" only when positive.
void EmitKeyDownEvent(DWORD vk,
                      DWORD scan,
                      bool repeat,
                      const std::string& chars,
                      int32_t hold_id);
void EmitModifierEvent(DWORD vk, bool down);

#endif  // KORVEX_NATIVE_KEYBOARD_KEY_RECORDS_H_
