#ifndef KORVEX_NATIVE_BRIDGE_AUTOMATION_DISPATCHER_H_
#define KORVEX_NATIVE_BRIDGE_AUTOMATION_DISPATCHER_H_

#include <flutter/encodable_value.h>
#include <flutter/method_call.h>
#include <flutter/method_result.h>

#include <cstddef>
#include <memory>
#include <string>

// Bounds on what one call may ask for. Typing and erasing: an editor
// line's worth (UTF-16 units); longer asks are answered false unsent.
constexpr size_t kMaxInjectedUnits = 4096;
// The HUD's text is cut to this many units.
constexpr size_t kMaxHudUnits = 256;
// Key sounds: samples beyond these are left out.
constexpr size_t kMaxKeySounds = 32;
constexpr size_t kMaxKeySoundBytes = size_t{4} << 20;

// The handler of "korvex/automation". It never answers with an error.
void HandleAutomationCall(
    const flutter::MethodCall<flutter::EncodableValue>& call,
    std::unique_ptr<flutter::MethodResult<flutter::EncodableValue>> result);

#endif  // KORVEX_NATIVE_BRIDGE_AUTOMATION_DISPATCHER_H_
