// The keyboard engine under real input: xdotool's physical keys into a
// window of this process, the hooks on this (main) thread, and the
// application listening from its own thread with real channel bytes.

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <initializer_list>
#include <string>
#include <thread>
#include <vector>

#include "../bench/soak_support.h"
#include "bridge/native_services.h"
#include "diagnostics/capture_log.h"
#include "feedback/key_sounds.h"
#include "injection/clipboard.h"
#include "injection/injection_queue.h"
#include "injection/input_synthesis.h"
#include "keyboard/hook_watchdog.h"
#include "keyboard/key_hold.h"
#include "keyboard/key_records.h"
#include "keyboard/keyboard_hook.h"
#include "keyboard/keyboard_state.h"
#include "keyboard/typing_capture.h"
#include "keyboard_harness.h"
#include "test_support.h"

using flutter::EncodableMap;
using flutter::EncodableValue;
using flutter_app::AppMessenger;
using flutter_app::Reply;
using namespace test_support;

namespace {

EncodableMap Arg(const char* key, EncodableValue value) {
  return EncodableMap{{EncodableValue(key), std::move(value)}};
}

// The automation channel with one argument.
Reply Call(KeyboardHarness& h, AppMessenger& app, const char* method,
           const char* key, EncodableValue value) {
  return h.Call(app, method, Arg(key, std::move(value)));
}

// Keys the window was sent: "d13" for a key-down of VK_RETURN, "u13" for
// its key-up (system variants alike).
std::vector<std::string> Keys(const std::vector<WindowKey>& keys,
                              std::initializer_list<WPARAM> vks) {
  std::vector<std::string> found;
  for (const WindowKey& key : keys) {
    if (std::find(vks.begin(), vks.end(), key.vk) != vks.end()) {
      const bool down = key.message == WM_KEYDOWN || key.message == WM_SYSKEYDOWN;
      std::string entry(1, down ? 'd' : 'u');
      found.push_back(entry.append(std::to_string(key.vk)));
    }
  }
  return found;
}

std::vector<SeenKey> Own(const std::vector<SeenKey>& keys) {
  std::vector<SeenKey> own;
  for (const SeenKey& key : keys) {
    if (key.extra == kInjectionMarker) own.push_back(key);
  }
  return own;
}

// Adds what the window is sent to |keys| until they hold |count| events of
// |vk|, and 100 ms more to see any extra one; the events of |vk|.
std::vector<std::string> Collect(KeyboardHarness& h, AppMessenger& app,
                                 std::vector<WindowKey>& keys, WPARAM vk,
                                 size_t count, int timeout_ms = 2000) {
  auto take = [&] {
    for (const WindowKey& key : h.TakeWindowKeys()) keys.push_back(key);
    return Keys(keys, {vk}).size() >= count;
  };
  Poll(app, take, timeout_ms);
  app.RunPending(100);
  take();
  return Keys(keys, {vk});
}

// A key event handed to the hook procedure itself, for what xdotool cannot
// produce: chosen time stamps, markers on physical events, held modifiers
// the system never saw.
bool Feed(WPARAM message, DWORD vk, DWORD time = 0, DWORD flags = 0,
          ULONG_PTR extra = 0) {
  KBDLLHOOKSTRUCT event = {vk, MapVirtualKeyW(vk, MAPVK_VK_TO_VSC), flags,
                           time, extra};
  return KeyboardHookProc(HC_ACTION, message,
                          reinterpret_cast<LPARAM>(&event)) == 1;
}

// The id of the latest held key-down, waiting for |holds| of them on the
// app thread; 0 when they did not come.
int32_t WaitForHold(KeyboardHarness& h, AppMessenger& app, size_t holds) {
  std::vector<int32_t> ids;
  app.RunUntil(
      [&] {
        ids.clear();
        for (const EncodableMap& r : h.records()) {
          if (Has(r, "held")) ids.push_back(IntOf(r, "held"));
        }
        return ids.size() >= holds;
      },
      5000);
  return ids.size() >= holds ? ids.back() : 0;
}

TEST(KeyboardTest, PhysicalKeysBecomeRecordsAndForeignInputOnlyWhenAccepted) {
  KeyboardHarness h;
  ASSERT_TRUE(h.ready());
  auto send_foreign = [](ULONG_PTR extra) {
    INPUT events[2] = {KeyboardInput('Q', 0x10, 0, extra),
                       KeyboardInput('Q', 0x10, KEYEVENTF_KEYUP, extra)};
    SendInput(2, events, sizeof(INPUT));
  };
  // A marker's bits under other upper bits are no marker.
  const ULONG_PTR fake_marker = (ULONG_PTR{1} << 32) | kInjectionMarker;
  std::vector<EncodableMap> injected;
  ASSERT_TRUE(h.RunApp([&](AppMessenger& app) {
    ASSERT_TRUE(h.Listen(app));
    EXPECT_EQ(Call(h, app, "typeText", "text", EncodableValue("own")).kind,
              Reply::Kind::kSuccess);
    send_foreign(0);
    app.RunPending(300);
    EXPECT_TRUE(h.records().empty());

    h.OnMain([] { accept_injected = true; });
    send_foreign(0);
    send_foreign(fake_marker);
    // The service's own input stays unseen even now.
    Call(h, app, "typeText", "text", EncodableValue("x"));
    // A physical event is physical whatever its extra information says.
    h.OnMain([] {
      Feed(WM_KEYDOWN, 'Z', 0, 0, kInjectionMarker);
      EXPECT_TRUE(physical_key_down['Z']);
      Feed(WM_KEYUP, 'Z', 0, 0, kInjectionMarker);
      accept_injected = false;
    });
    h.WaitForRecords(app, "keyDown", 3);
    app.RunPending(200);
    injected.swap(h.records());

    ASSERT_TRUE(Xdo("key --delay 30 a shift+b ctrl+c KP_Enter Caps_Lock a 1 "
                    "Caps_Lock"));
    ASSERT_TRUE(Xdo("keydown x sleep 1 keyup x"));
    h.WaitForRecords(app, "keyDown", 11);
    app.RunPending(300);
  }));
  ASSERT_EQ(injected.size(), 3u);
  EXPECT_EQ(IntOf(injected[0], "keycode"), 'Q');
  EXPECT_EQ(IntOf(injected[1], "keycode"), 'Q');
  EXPECT_EQ(IntOf(injected[2], "keycode"), 'Z');

  struct Expected {
    const char* type;
    int32_t vk;
    const char* chars;  // null: not looked at
    bool flag;          // "down" of a modifier, "shift"/"control" below
  };
  const Expected expected[] = {
      {"keyDown", 'A', "a", false},         {"modifier", VK_LSHIFT, nullptr, true},
      {"keyDown", 'B', "B", false},         {"modifier", VK_LSHIFT, nullptr, false},
      {"modifier", VK_LCONTROL, nullptr, true}, {"keyDown", 'C', "", false},
      {"modifier", VK_LCONTROL, nullptr, false}, {"keyDown", VK_RETURN, nullptr, false},
      {"keyDown", VK_CAPITAL, "", false},   {"keyDown", 'A', "A", false},
      {"keyDown", '1', "1", false},         {"keyDown", VK_CAPITAL, "", false},
      {"keyDown", 'X', "x", false},
  };
  const std::vector<EncodableMap>& records = h.records();
  ASSERT_GT(records.size(), std::size(expected));
  for (size_t i = 0; i < std::size(expected); ++i) {
    SCOPED_TRACE(i);
    const EncodableMap& r = records[i];
    EXPECT_EQ(StringOf(r, "type"), expected[i].type);
    EXPECT_EQ(IntOf(r, "keycode"), expected[i].vk);
    if (expected[i].chars) {
      EXPECT_EQ(StringOf(r, "chars"), expected[i].chars);
    }
    if (StringOf(r, "type") == "modifier") {
      EXPECT_EQ(BoolOf(r, "down"), expected[i].flag);
    } else {
      EXPECT_FALSE(BoolOf(r, "repeat"));
      EXPECT_FALSE(Has(r, "held"));
    }
  }
  // Modifier flags as they are after each event.
  EXPECT_TRUE(BoolOf(records[1], "shift"));
  EXPECT_FALSE(BoolOf(records[3], "shift"));
  EXPECT_TRUE(BoolOf(records[5], "control"));
  // Scan codes, extended ones with 0xE000.
  EXPECT_EQ(IntOf(records[0], "scan"), 0x1E);
  EXPECT_EQ(IntOf(records[7], "scan"), 0xE01C);
  // The held X auto-repeats: each repeat is reported without characters,
  // and key-ups never are.
  const size_t repeats = records.size() - std::size(expected);
  for (size_t i = std::size(expected); i < records.size(); ++i) {
    EXPECT_EQ(IntOf(records[i], "keycode"), 'X');
    EXPECT_TRUE(BoolOf(records[i], "repeat"));
    EXPECT_EQ(StringOf(records[i], "chars"), "");
  }
  // Nothing was swallowed on the way.
  EXPECT_EQ(h.EditText(),
            L"ownqqqxaB\r\nA1" + std::wstring(repeats + 1, L'x'));
}

TEST(KeyboardTest, HeldWordEndReachesTheWindowExactlyOnceByEveryRoute) {
  KeyboardHarness h;
  ASSERT_TRUE(h.ready());
  const std::vector<std::string> once = {"d13", "u13"};
  ASSERT_TRUE(h.RunApp([&](AppMessenger& app) {
    ASSERT_TRUE(h.Listen(app));
    auto returns = [&](size_t count, int timeout_ms) {
      std::vector<WindowKey> keys;
      return Collect(h, app, keys, VK_RETURN, count, timeout_ms);
    };
    Call(h, app, "setHoldWordEnd", "enabled", true);
    h.TakeWindowKeys();

    // Released by the application while the user still holds it: the
    // physical key-up that follows the tap is swallowed.
    ASSERT_TRUE(Xdo("keydown Return"));
    const int32_t first = WaitForHold(h, app, 1);
    ASSERT_GT(first, 0);
    EXPECT_TRUE(Keys(h.TakeWindowKeys(), {VK_RETURN}).empty());
    Call(h, app, "releaseHeldKey", "id", first);
    ASSERT_TRUE(Xdo("keyup Return"));
    EXPECT_EQ(returns(2, 2000), once);

    // Let go of before the answer; more time asked for, then left to the
    // timer: nothing comes before the extended time is over.
    ASSERT_TRUE(Xdo("key Return"));
    const int32_t second = WaitForHold(h, app, 2);
    EXPECT_EQ(second, first + 1);
    Call(h, app, "extendHold", "id", int64_t{second});
    EXPECT_TRUE(returns(1, 900).empty());
    EXPECT_EQ(returns(2, 3000), once);
    // Stale and zero ids tap nothing (the chord below would see it) and
    // are answered all the same.
    for (int32_t id : {second, 0}) {
      EXPECT_EQ(Call(h, app, "releaseHeldKey", "id", id).kind,
                Reply::Kind::kSuccess);
    }

    // Chords are never held; a second Tab while one is held passes at once,
    // before the held one.
    ASSERT_TRUE(Xdo("key ctrl+Return alt+Tab"));
    EXPECT_EQ(returns(2, 2000), once);
    ASSERT_TRUE(Xdo("key Tab"));
    const int32_t tab = WaitForHold(h, app, 3);
    Call(h, app, "extendHold", "id", tab);
    // Other keys typed behind the held one wait for it.
    std::vector<WindowKey> keys;
    ASSERT_TRUE(Xdo("key Tab x"));
    Collect(h, app, keys, VK_TAB, 2);
    EXPECT_TRUE(Keys(keys, {'X'}).empty());
    // Released while another key's hook call waits for the main thread: the
    // hook stays in for the tap, so that key waits for the held one too.
    std::thread other;
    h.OnMain([&] {
      accept_injected = true;
      other = std::thread([] {
        INPUT z[2] = {KeyboardInput('Z', 0x2C, 0, 0),
                      KeyboardInput('Z', 0x2C, KEYEVENTF_KEYUP, 0)};
        SendInput(2, z, sizeof(INPUT));
      });
      Sleep(200);
      ReleaseHeldKey(tab);
    });
    other.join();
    Collect(h, app, keys, 'Z', 2);
    h.OnMain([] { accept_injected = false; });
    const std::vector<std::string> order = {"d9",  "u9",  "d9",  "u9",
                                            "d88", "u88", "d90", "u90"};
    EXPECT_EQ(Keys(keys, {VK_TAB, 'X', 'Z'}), order);
    // Its short time running out while text is being typed, it waits for
    // the text's end instead of landing inside it.
    ASSERT_TRUE(Xdo("key Return"));
    ASSERT_GT(WaitForHold(h, app, 4), 0);
    h.TakeWindowKeys();
    h.OnMain([] { key_delay_ms = 20; });
    Call(h, app, "typeText", "text", EncodableValue(std::string(20, 'n')));
    h.OnMain([] { key_delay_ms = 3; });
    keys.clear();
    Collect(h, app, keys, VK_RETURN, 2);
    ASSERT_GE(keys.size(), 42u);
    EXPECT_EQ(Keys({keys.end() - 2, keys.end()}, {VK_RETURN}), once);
    // One still held when it goes out is the press it was, not a repeat.
    ASSERT_TRUE(Xdo("key Return"));
    const int32_t last = WaitForHold(h, app, 5);
    Call(h, app, "extendHold", "id", last);
    ASSERT_TRUE(Xdo("keydown y"));
    app.RunPending(100);
    Call(h, app, "releaseHeldKey", "id", last);
    ASSERT_TRUE(Xdo("keyup y"));
    h.WaitForRecords(app, "keyDown", 11);
    app.RunPending(200);
  }));
  const EncodableMap behind = h.RecordsOf("keyDown").back();
  EXPECT_EQ(StringOf(behind, "chars"), "y");
  EXPECT_FALSE(BoolOf(behind, "repeat"));
  // The five waited for above and no more: no chord, no second Tab.
  const auto downs = h.RecordsOf("keyDown");
  EXPECT_EQ(std::count_if(downs.begin(), downs.end(),
                          [](const EncodableMap& r) { return Has(r, "held"); }),
            5);
}


int replayed_e = 0;

LRESULT CALLBACK CountReplayedE(int code, WPARAM wparam, LPARAM lparam) {
  const auto* event = reinterpret_cast<const KBDLLHOOKSTRUCT*>(lparam);
  replayed_e += code == HC_ACTION && wparam == WM_KEYDOWN && event->vkCode == 'E' &&
                event->dwExtraInfo == kReplayMarker;
  return CallNextHookEx(nullptr, code, wparam, lparam);
}

TEST(KeyboardTest, CapturedTypingIsReplayedInOrderAfterTheInjection) {
  KeyboardHarness h;
  ASSERT_TRUE(h.ready());
  ASSERT_TRUE(WriteClipboardText(L"V!"));
  ASSERT_TRUE(h.RunApp([&](AppMessenger& app) {
    ASSERT_TRUE(h.Listen(app));
    const auto capture = [&](bool on) {
      Call(h, app, "setTypingCapture", "enabled", on);
    };
    capture(true);
    ASSERT_TRUE(Xdo("type --delay 40 aBc"));
    // A chord is not captured: it reaches the window ahead of the capture.
    ASSERT_TRUE(Xdo("key ctrl+v"));
    app.RunPending(200);
    EXPECT_EQ(h.EditText(), L"V!");
    capture(false);
    h.WaitForRecords(app, "keyDown", 4);

    // Capture left to its timer ends only once a running injection is over:
    // keys typed meanwhile come after the whole text, not inside it.
    h.OnMain([] { key_delay_ms = 40; });
    bool typed_reply = false;
    capture(true);
    app.InvokeMethod("korvex/automation", "typeText",
                     EncodableValue(Arg("text", std::string(60, 'n'))),
                     [&](const Reply&) { typed_reply = true; });
    app.RunPending(300);
    ASSERT_TRUE(Xdo("type --delay 40 xyz"));
    app.RunUntil([&] { return typed_reply; }, 10000);
    h.OnMain([] { key_delay_ms = 3; });
    Poll(app, [&] { return h.EditText().size() >= 65 + 3; }, 3000);
    EXPECT_EQ(h.EditText(), L"V!aBc" + std::wstring(60, L'n') + L"xyz");

    // Word ends in what was taken are held one after the other; the keys
    // behind each cross the system once, not again for every hold.
    Call(h, app, "setHoldWordEnd", "enabled", true);
    h.TakeWindowKeys();
    HHOOK ahead = nullptr;  // sees the replays before the host's hook takes them
    h.OnMain([&] {
      ahead = SetWindowsHookExW(WH_KEYBOARD_LL, CountReplayedE, GetModuleHandleW(nullptr), 0);
    });
    capture(true);
    ASSERT_TRUE(Xdo("key --delay 30 q Tab w Tab e"));
    capture(false);
    for (size_t hold = 1; hold <= 2; ++hold) {
      Call(h, app, "releaseHeldKey", "id", WaitForHold(h, app, hold));
    }
    std::vector<WindowKey> keys;
    Collect(h, app, keys, 'E', 2, 3000);
    const std::vector<std::string> order = {"d81", "u81", "d9", "u9", "d87", "u87",
                                            "d9", "u9", "d69", "u69"};
    EXPECT_EQ(Keys(keys, {'Q', VK_TAB, 'W', 'E'}), order);
    h.OnMain([&] { UnhookWindowsHookEx(ahead); });
    EXPECT_EQ(replayed_e, 1);
  }));
  const auto downs = h.RecordsOf("keyDown");
  ASSERT_GE(downs.size(), 7u);
  EXPECT_EQ(IntOf(downs[0], "keycode"), 'V');
  const char* replayed[] = {"a", "B", "c", "x", "y", "z"};
  for (size_t i = 0; i < 6; ++i) {
    EXPECT_EQ(StringOf(downs[i + 1], "chars"), replayed[i]);
    // The user's Shift waited with the keys and came back in its place.
    EXPECT_EQ(BoolOf(downs[i + 1], "shift"), i == 1);
  }
}

TEST(KeyboardTest, InjectionTasksRunInOrderAndAreAllAnsweredByCancelAndClose) {
  KeyboardHarness h;
  ASSERT_TRUE(h.ready());
  ASSERT_TRUE(WriteClipboardText(L"pasted"));
  std::vector<int64_t> replies_at;
  std::vector<SeenKey> typed, pasted;
  int64_t paste_called_at = 0;
  std::vector<Reply::Kind> kinds;
  ASSERT_TRUE(h.RunApp([&](AppMessenger& app) {
    ASSERT_TRUE(h.Listen(app));
    for (const char* text : {"first ", "second "}) {
      app.InvokeMethod("korvex/automation", "typeText",
                       EncodableValue(Arg("text", EncodableValue(text))),
                       [&](const Reply& reply) {
                         EXPECT_EQ(reply.kind, Reply::Kind::kSuccess);
                         replies_at.push_back(NowUs());
                       });
    }
    app.RunUntil([&] { return replies_at.size() == 2; }, 5000);
    typed = Own(h.TakeSeenKeys());

    // Ctrl held by the user: the paste waits for it, at most 400 ms, and
    // lets go of it first.
    ASSERT_TRUE(Xdo("keydown ctrl"));
    h.TakeSeenKeys();
    paste_called_at = NowUs();
    EXPECT_EQ(h.Call(app, "paste").kind, Reply::Kind::kSuccess);
    pasted = Own(h.TakeSeenKeys());
    ASSERT_TRUE(Xdo("keyup ctrl"));

    for (const char* text : {" one", " two", " three"}) {
      app.InvokeMethod("korvex/automation", "typeText",
                       EncodableValue(Arg("text", EncodableValue(text))),
                       [&](const Reply& reply) { kinds.push_back(reply.kind); });
    }
    EXPECT_EQ(app.Cancel("korvex/key_events").kind, Reply::Kind::kSuccess);
    // Every task was typed and answered before the stream was gone.
    EXPECT_EQ(kinds, std::vector<Reply::Kind>(3, Reply::Kind::kSuccess));
  }));
  ASSERT_EQ(replies_at.size(), 2u);
  EXPECT_EQ(h.EditText(), L"first second pasted one two three");
  EXPECT_EQ(keyboard_hook, nullptr);
  EXPECT_EQ(mouse_hook, nullptr);
  EXPECT_EQ(key_event_sink, nullptr);
  // Each reply after its own text's last event: 6 and 7 key strokes of two
  // events each.
  ASSERT_EQ(typed.size(), 26u);
  EXPECT_LT(typed[11].at_us, replies_at[0]);
  EXPECT_LT(typed[25].at_us, replies_at[1]);
  // The paste began with Ctrl let go of, after the wait for the user, and
  // ended with the whole chord.
  ASSERT_GE(pasted.size(), 5u);
  EXPECT_TRUE(pasted[0].up() &&
              (pasted[0].vk == VK_LCONTROL || pasted[0].vk == VK_CONTROL));
  EXPECT_GE(pasted[0].at_us - paste_called_at, 350000);
  std::string chord;
  for (const SeenKey& key : pasted) {
    chord += (key.up() ? " u" : " d") + std::to_string(key.vk);
  }
  EXPECT_EQ(chord.substr(std::min(chord.find(" d"), chord.size())),
            " d17 d86 u86 u17");

  // The window closes while a long text is typed and Enter is held: the
  // text is finished promptly, the held key sent, nothing left behind.
  int64_t closing_took_us = 0;
  h.SetEditText(L"");
  ASSERT_TRUE(h.RunApp([&](AppMessenger& app) {
    ASSERT_TRUE(h.Listen(app));
    Call(h, app, "setHoldWordEnd", "enabled", true);
    ASSERT_TRUE(Xdo("key Return"));
    const int32_t held = WaitForHold(h, app, 1);
    ASSERT_GT(held, 0);
    Call(h, app, "extendHold", "id", held);
    h.OnMain([] { key_delay_ms = 20; });
    app.InvokeMethod("korvex/automation", "typeText",
                     EncodableValue(Arg("text", std::string(40, 'w'))),
                     nullptr);
    app.RunPending(150);
    const int64_t start = NowUs();
    h.CloseRunner();
    closing_took_us = NowUs() - start;
  }));
  key_delay_ms = 3;
  EXPECT_EQ(h.EditText(), std::wstring(40, L'w') + L"\r\n");
  // 40 keys at 20 ms; a blocked hook thread would cost seconds a key.
  EXPECT_LT(closing_took_us, 3000000);
  EXPECT_EQ(keyboard_hook, nullptr);
  EXPECT_EQ(key_event_sink, nullptr);
  EXPECT_EQ(key_events_channel, nullptr);
  EXPECT_EQ(automation_channel, nullptr);
  EmitDiag("after the window");
  EXPECT_FALSE(Feed(WM_KEYDOWN, 'A'));
}

bool accent_pending = false;

// A layout with one dead key, the acute accent on VK_OEM_7.
int WINAPI DeadKeyLayout(UINT vk, UINT, const BYTE*, LPWSTR buffer, int, UINT,
                         HKL) {
  if (vk == VK_OEM_7) {
    accent_pending = !accent_pending;
    buffer[0] = L'\u00B4';
    return accent_pending ? -1 : 1;
  }
  buffer[0] = accent_pending ? L'\u00E9' : L'e';
  accent_pending = false;
  return 1;
}

TEST(KeyboardTest, BouncesStuckModifiersDeadKeysAndClicksFromCraftedEvents) {
  KeyboardHarness h;
  ASSERT_TRUE(h.ready());
  const std::wstring folder = TempFolder() + L"korvex-keyboard-trace";
  CreateDirectoryW(folder.c_str(), nullptr);
  DeleteFileW((folder + L"\\korvex_capture.log").c_str());
  auto tap = [](DWORD vk, DWORD time, DWORD flags = 0, ULONG_PTR extra = 0) {
    Feed(WM_KEYDOWN, vk, time, flags, extra);
    Feed(WM_KEYUP, vk, time + 10, flags, extra);
  };
  int clicks = 0;
  ASSERT_TRUE(h.RunApp([&](AppMessenger& app) {
    ASSERT_TRUE(h.Listen(app));
    h.OnMain([&] {
      OpenCaptureLog(folder);
      // Pressed again 30 ms after the release: a bounce; 40 ms: a press;
      // the tick counter may wrap in between.
      for (DWORD t : {1000u, 1010u, 1040u, 1050u, 1090u, 0xFFFFFFF0u, 0x10u, 0x20u}) {
        Feed(physical_key_down[VK_LSHIFT] ? WM_KEYUP : WM_KEYDOWN, VK_LSHIFT, t);
      }
      // Ctrl that the system never saw is stuck: the next letter frees it.
      Feed(WM_KEYDOWN, VK_LCONTROL, 2000);
      tap('A', 2010);
      Feed(WM_KEYDOWN, VK_LCONTROL, 3000);
      Feed(WM_KEYDOWN, VK_LMENU, 3010);
    });
    // A lock leaves them; an unlock frees them.
    SendMessageW(h.runner(), WM_WTSSESSION_CHANGE, WTS_SESSION_LOCK, 0);
    SendMessageW(h.runner(), WM_WTSSESSION_CHANGE, WTS_SESSION_UNLOCK, 0);
    h.OnMain([&] {
      Feed(WM_KEYUP, VK_LCONTROL, 4000);
      Feed(WM_KEYUP, VK_LMENU, 4000);
      key_translation = DeadKeyLayout;
      tap(VK_OEM_7, 5000);
      tap('E', 5020);
      key_translation = ToUnicodeEx;
      // A click for a first physical press of a typing key only.
      key_sounds_enabled = true;
      HWND window = EnsureInjectionWindow();
      Feed(WM_KEYDOWN, 'K', 6000);
      tap('K', 6010);
      tap(VK_F5, 6030);
      tap('L', 6050, LLKHF_INJECTED, kReplayMarker);
      MSG message;
      while (PeekMessageW(&message, window, kKeySoundMessage, kKeySoundMessage,
                          PM_REMOVE)) {
        ++clicks;
        DispatchMessageW(&message);  // no sample: plays nothing
      }
      key_sounds_enabled = false;
    });
    h.WaitForRecords(app, "diag", 2);
    app.RunPending(200);
  }));
  const std::string log =
      ReadFileBytes(folder + L"\\korvex_capture.log");
  fclose(capture_log);
  capture_log = nullptr;

  std::vector<std::string> modifiers;
  for (const EncodableMap& r : h.RecordsOf("modifier")) {
    modifiers.push_back(std::to_string(IntOf(r, "keycode")) +
                        (BoolOf(r, "down") ? "+" : "-"));
  }
  const std::vector<std::string> expected_modifiers = {
      "160+", "160-", "160-", "160+", "160-", "160-",  // two bounces left out
      "162+", "162-",                                  // freed by the letter
      "162+", "164+", "162-", "164-",                  // freed by the unlock
      "162-", "164-"};                                 // the real key-ups
  EXPECT_EQ(modifiers, expected_modifiers);
  const auto diags = h.RecordsOf("diag");
  ASSERT_EQ(diags.size(), 2u);
  EXPECT_EQ(StringOf(diags[0], "message"), "stuck modifier vk=162 released (keyDown)");
  EXPECT_EQ(StringOf(diags[1], "message"),
            "stuck modifier vk=162,164 released (session change)");
  const auto downs = h.RecordsOf("keyDown");
  ASSERT_EQ(downs.size(), 7u);  // A, the dead key, E, K twice, F5, L
  EXPECT_FALSE(BoolOf(downs[0], "control"));  // the freed Ctrl is not shown
  EXPECT_EQ(StringOf(downs[0], "chars"), "a");
  EXPECT_EQ(StringOf(downs[1], "chars"), "");   // the dead key
  EXPECT_EQ(StringOf(downs[2], "chars"), "e");  // not composed with it
  EXPECT_EQ(clicks, 1);
  EXPECT_NE(log.find("modifier bounce vk=160\n"), std::string::npos);
  EXPECT_NE(log.find("diag stuck modifier vk=162 released (keyDown)\n"),
            std::string::npos);
  EXPECT_NE(log.find("hook wparam=256 vk=65 inj=0 own=0 replay=0 handled=1\n"),
            std::string::npos);
}

TEST(KeyboardTest, WatchdogPutsBackAHookTheSystemDropped) {
  KeyboardHarness h;
  ASSERT_TRUE(h.ready());
  const std::string lost = "keyboard hook lost: reinstalled";
  auto repairs = [&] {
    size_t count = 0;
    for (const EncodableMap& r : h.RecordsOf("diag")) {
      count += StringOf(r, "message") == lost;
    }
    return count;
  };
  ASSERT_TRUE(h.RunApp([&](AppMessenger& app) {
    ASSERT_TRUE(h.Listen(app));
    // Gone as the system drops it, without a word, the handle left in
    // place, some time after the hooks last saw an event.
    auto drop_hook = [&] {
      Poll(app, [] { return false; }, kHookWatchdogPeriodMs + 100);
      h.OnMain([] { UnhookWindowsHookEx(keyboard_hook); });
    };
    // Until the edit has the key, the system may not have counted it.
    auto type_unseen = [&](const char* key, const wchar_t* text) {
      drop_hook();
      ASSERT_TRUE(Xdo(std::string("key ") + key));
      Poll(app, [&] { return h.EditText() == text; }, 2000);
    };
    // The application was told of a Shift whose release then goes past.
    h.OnMain([] { Feed(WM_KEYDOWN, VK_LSHIFT); });
    drop_hook();
    ASSERT_TRUE(Xdo("key --delay 30 a b c"));
    EXPECT_TRUE(Poll(app, [&] { return repairs() == 1; },
                     2 * kHookWatchdogPeriodMs + 500));
    ASSERT_TRUE(Xdo("key --delay 30 d e f"));
    h.WaitForRecords(app, "keyDown", 3);
    // Input the hooks saw is no loss, however the desktop came back.
    SendMessageW(h.runner(), WM_WTSSESSION_CHANGE, WTS_SESSION_UNLOCK, 0);
    Poll(app, [] { return false; }, 2 * kHookWatchdogPeriodMs + 500);
    EXPECT_EQ(repairs(), 1u);

    // Back from the lock screen or from sleep, it is looked at at once; a
    // hook put back must see a key before it can be found lost again.
    auto come_back = [&](UINT message, WPARAM code, size_t repaired) {
      SendMessageW(h.runner(), message, code, 0);
      app.RunPending(100);
      EXPECT_EQ(repairs(), repaired);
    };
    type_unseen("g", L"abcdefg");
    come_back(WM_WTSSESSION_CHANGE, WTS_SESSION_UNLOCK, 2);
    ASSERT_TRUE(Xdo("key j"));
    h.WaitForRecords(app, "keyDown", 4);
    type_unseen("k", L"abcdefgjk");
    come_back(WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, 3);
  }));
  EXPECT_EQ(h.EditText(), L"abcdefgjk");
  std::string seen;
  for (const EncodableMap& r : h.RecordsOf("keyDown")) seen += StringOf(r, "chars");
  EXPECT_EQ(seen, "defj");
  const auto diags = h.RecordsOf("diag");
  ASSERT_GE(diags.size(), 2u);
  EXPECT_EQ(StringOf(diags[0], "message"),
            "stuck modifier vk=160 released (hook lost)");
  EXPECT_EQ(StringOf(diags[1], "message"), lost);
}

TEST(KeyboardTest, CapsLockOnBeforeListeningIsSeenForAnotherProgram) {
  KeyboardHarness h;
  ASSERT_TRUE(h.ready());
  SoakTarget target;  // started with the X focus
  ASSERT_TRUE(target.ready());
  // Toggled in the other program while nobody listened: this process's own
  // key state never saw it.
  EXPECT_TRUE(Xdo("key Caps_Lock"));
  ASSERT_TRUE(h.RunApp([&](AppMessenger& app) {
    ASSERT_TRUE(h.Listen(app));
    EXPECT_TRUE(Xdo("key q"));
    h.WaitForRecords(app, "keyDown", 1);
    Call(h, app, "typeText", "text", EncodableValue(" aB1!"));
    EXPECT_TRUE(Xdo("key Caps_Lock"));
  }));
  const auto downs = h.RecordsOf("keyDown");
  ASSERT_GE(downs.size(), 1u);
  EXPECT_EQ(StringOf(downs[0], "chars"), "Q");
  EXPECT_EQ(target.Text(), L"Q aB1!");
}

}  // namespace
