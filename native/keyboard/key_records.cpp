#include "keyboard/key_records.h"

#include <flutter/encodable_value.h>

#include "common/service_state.h"
#include "keyboard/keyboard_state.h"

using flutter::EncodableMap;
using flutter::EncodableValue;

namespace {

void AddModifierFlags(EncodableMap& record) {
  record.emplace(EncodableValue("control"), EncodableValue(ctrl_down));
  record.emplace(EncodableValue("shift"), EncodableValue(shift_down));
  record.emplace(EncodableValue("alt"), EncodableValue(alt_down));
  record.emplace(EncodableValue("meta"), EncodableValue(meta_down));
}

void Send(EncodableMap&& record) {
  if (key_event_sink) {
    key_event_sink->Success(EncodableValue(std::move(record)));
  }
}

}  // namespace

void EmitKeyDownEvent(DWORD vk, DWORD scan, bool repeat,
                      const std::string& chars, int32_t hold_id) {
  if (!key_event_sink) {
    return;
  }
  EncodableMap record;
  record.emplace(EncodableValue("type"), EncodableValue("keyDown"));
  record.emplace(EncodableValue("keycode"),
                 EncodableValue(static_cast<int32_t>(vk)));
  record.emplace(EncodableValue("scan"),
                 EncodableValue(static_cast<int32_t>(scan)));
  record.emplace(EncodableValue("repeat"), EncodableValue(repeat));
  record.emplace(EncodableValue("chars"), EncodableValue(chars));
  AddModifierFlags(record);
  if (hold_id > 0) {
    record.emplace(EncodableValue("held"), EncodableValue(hold_id));
  }
  Send(std::move(record));
}

void EmitModifierEvent(DWORD vk, bool down) {
  if (!key_event_sink) {
    return;
  }
  EncodableMap record;
  record.emplace(EncodableValue("type"), EncodableValue("modifier"));
  record.emplace(EncodableValue("keycode"),
                 EncodableValue(static_cast<int32_t>(vk)));
  record.emplace(EncodableValue("down"), EncodableValue(down));
  AddModifierFlags(record);
  Send(std::move(record));
}
