#include "keyboard/hot_keys.h"

#include <algorithm>
#include <utility>

#include "keyboard/keyboard_state.h"

namespace {

std::vector<HotKey> hot_keys;
bool pressed[256] = {};

}  // namespace

void SetHotKeys(std::vector<HotKey> keys) {
  if (keys.size() > kMaxHotKeys) {
    keys.resize(kMaxHotKeys);
  }
  hot_keys = std::move(keys);
}

bool PressHotKey(DWORD vk) {
  const bool hot =
      std::any_of(hot_keys.begin(), hot_keys.end(), [vk](const HotKey& key) {
        return key.vk == vk && key.control == ctrl_down &&
               key.shift == shift_down && key.alt == alt_down &&
               key.meta == meta_down;
      });
  if (hot) {
    pressed[KeyIndex(vk)] = true;
  }
  return hot;
}

bool ReleaseHotKey(DWORD vk) {
  bool& down = pressed[KeyIndex(vk)];
  const bool was = down;
  down = false;
  return was;
}
