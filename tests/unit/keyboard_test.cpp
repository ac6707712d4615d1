// The keyboard engine and input synthesis under real input: xdotool's
// physical keys into a window of this process, the hooks on this (main)
// thread, the application listening from its own thread with real channel
// bytes, and a low-level hook of the test's own seeing what is typed.

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <climits>
#include <initializer_list>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "../bench/soak_support.h"
#include "bridge/automation_dispatcher.h"
#include "common/capture_log.h"
#include "common/service_state.h"
#include "common/text_conversion.h"
#include "feedback/key_sounds.h"
#include "injection/clipboard.h"
#include "injection/injection_queue.h"
#include "injection/input_synthesis.h"
#include "keyboard/hook_watchdog.h"
#include "keyboard/key_path.h"
#include "keyboard/key_queue.h"
#include "keyboard/keyboard_hook.h"
#include "keyboard/keyboard_state.h"
#include "keyboard_harness.h"
#include "test_support.h"

using flutter::EncodableMap;
using flutter::EncodableValue;
using flutter_app::AppMessenger;
using flutter_app::Reply;
using Strings = std::vector<std::string>;
using namespace test_support;

namespace {

// The automation channel with one argument.
Reply Call(KeyboardHarness& h, AppMessenger& app, const char* method,
           const char* key, EncodableValue value) {
  return h.Call(app, method, {{EncodableValue(key), std::move(value)}});
}

// typeText answered later, from the app thread's loop.
void TypeLater(AppMessenger& app, const std::string& text,
               std::function<void(const Reply&)> on_reply = nullptr) {
  const EncodableMap arguments = {{EncodableValue("text"), EncodableValue(text)}};
  app.InvokeMethod("korvex/automation", "typeText", EncodableValue(arguments),
                   std::move(on_reply));
}

// The injector's pace: slow enough for the user to type in between.
void Pace(KeyboardHarness& h, uint32_t ms) {
  h.OnMain([ms] { key_delay_ms = ms; });
}

bool Yes(const Reply& reply) {
  const bool* value = std::get_if<bool>(&reply.value);
  return reply.kind == Reply::Kind::kSuccess && value && *value;
}

// Keys the window was sent: "d13" for a key-down of VK_RETURN, "u13" for
// its key-up (system variants alike); a key-down with Shift down as the
// window saw it gets "^", with Ctrl "~".
Strings Keys(const std::vector<WindowKey>& keys,
             std::initializer_list<WPARAM> vks) {
  Strings found;
  for (const WindowKey& key : keys) {
    if (std::find(vks.begin(), vks.end(), key.vk) == vks.end()) continue;
    const bool down = key.message == WM_KEYDOWN || key.message == WM_SYSKEYDOWN;
    std::string entry = (down ? "d" : "u") + std::to_string(key.vk);
    if (down && key.shift) entry += '^';
    if (down && key.control) entry += '~';
    found.push_back(entry);
  }
  return found;
}

// Adds what the window is sent to |keys| until they hold |count| events of
// |vk|, and 100 ms more to see any extra one; the events of |vk|.
Strings Collect(KeyboardHarness& h, AppMessenger& app,
                std::vector<WindowKey>& keys, WPARAM vk, size_t count,
                int timeout_ms = 2000) {
  auto take = [&] {
    for (const WindowKey& key : h.TakeWindowKeys()) keys.push_back(key);
    return Keys(keys, {vk}).size() >= count;
  };
  Poll(app, take, timeout_ms);
  app.RunPending(100);
  take();
  return Keys(keys, {vk});
}

// A record in short: a diagnostic as its message; a key-down as its
// characters, or "#" and its key code when it has none; a modifier as "+"
// or "-" and its key code; then "^" while Shift is down, "~" Ctrl, "@" Alt,
// "*" for an auto-repeat and "!" for a held key.
Strings Short(const std::vector<EncodableMap>& records) {
  Strings found;
  for (const EncodableMap& r : records) {
    const std::string type = StringOf(r, "type");
    const std::string code = std::to_string(IntOf(r, "keycode"));
    std::string text = type == "diag" ? StringOf(r, "message") : type;
    if (type == "modifier") {
      text = (BoolOf(r, "down") ? "+" : "-") + code;
    } else if (type == "keyDown") {
      text = StringOf(r, "chars");
      if (text.empty()) text = "#" + code;
    }
    for (const auto& [key, mark] : {std::pair{"shift", '^'}, {"control", '~'},
                                    {"alt", '@'}, {"repeat", '*'}}) {
      if (BoolOf(r, key)) text += mark;
    }
    found.push_back(Has(r, "held") ? text + '!' : text);
  }
  return found;
}

// A key stroke from outside the service, with |extra| on both events.
void SendForeign(WORD vk, WORD scan, ULONG_PTR extra = 0) {
  INPUT events[2] = {KeyboardInput(vk, scan, 0, extra),
                     KeyboardInput(vk, scan, KEYEVENTF_KEYUP, extra)};
  SendInput(2, events, sizeof(INPUT));
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

// Each case gets an engine and a target window of its own.
class KeyboardTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(h.ready()); }
  // Runs |body| as the application, listening to the key events.
  void Listening(const std::function<void(AppMessenger&)>& body) {
    ASSERT_TRUE(h.RunApp([&](AppMessenger& app) {
      ASSERT_TRUE(h.Listen(app));
      body(app);
    }));
  }

  KeyboardHarness h;
};

TEST_F(KeyboardTest, PhysicalKeysBecomeRecordsAndForeignInputOnlyWhenAccepted) {
  // A marker's bits under other upper bits are no marker.
  const ULONG_PTR fake_marker = (ULONG_PTR{1} << 32) | kInjectionMarker;
  std::vector<EncodableMap> injected;
  Listening([&](AppMessenger& app) {
    EXPECT_TRUE(Yes(Call(h, app, "typeText", "text", EncodableValue("own"))));
    SendForeign('Q', 0x10);
    app.RunPending(300);
    EXPECT_TRUE(h.records().empty());

    h.OnMain([] { accept_injected = true; });
    SendForeign('Q', 0x10);
    SendForeign('Q', 0x10, fake_marker);
    // The service's own input stays unseen even now.
    Call(h, app, "typeText", "text", EncodableValue("x"));
    // A physical event is physical whatever its extra information says.
    h.OnMain([] {
      Feed(WM_KEYDOWN, 'Z', 0, 0, kInjectionMarker);
      Feed(WM_KEYUP, 'Z', 0, 0, kInjectionMarker);
      accept_injected = false;
    });
    h.WaitForRecords(app, "keyDown", 3);
    app.RunPending(200);
    injected.swap(h.records());

    // The application's own chord is its alone: reported, never in the
    // window. Entries that name no key name no chord.
    auto entry = [](EncodableValue key, bool control) {
      return EncodableValue(EncodableMap{{EncodableValue("keycode"), key},
                                         {EncodableValue("control"), control}});
    };
    Call(h, app, "setHotKeys", "keys",
         flutter::EncodableList{entry(67, true), entry("A", false),
                                entry(300, false), EncodableValue(7)});
    h.TakeWindowKeys();
    ASSERT_TRUE(Xdo("key --delay 30 a shift+b ctrl+c KP_Enter Caps_Lock a 1 "
                    "Caps_Lock"));
    ASSERT_TRUE(Xdo("keydown x sleep 1 keyup x"));
    h.WaitForRecords(app, "keyDown", 11);
    app.RunPending(300);
    EXPECT_EQ(Keys(h.TakeWindowKeys(), {VK_LCONTROL, VK_CONTROL, 'A', 'C'}),
              (Strings{"d65", "u65", "d17~", "u17", "d65", "u65"}));
  });
  EXPECT_EQ(Short(injected), (Strings{"q", "q", "z"}));
  // The held X auto-repeats: each repeat is reported without characters,
  // and key-ups never are.
  Strings expected = {"a",    "+160^", "B^", "-160", "+162~", "#67~", "-162",
                      "\r",   "#20",   "A",  "1",    "#20",   "x"};
  const std::vector<EncodableMap>& records = h.records();
  ASSERT_GT(records.size(), expected.size());
  const size_t repeats = records.size() - expected.size();
  expected.resize(records.size(), "#88*");
  EXPECT_EQ(Short(records), expected);
  // Scan codes, extended ones with 0xE000.
  EXPECT_EQ(IntOf(records[0], "scan"), 0x1E);
  EXPECT_EQ(IntOf(records[7], "scan"), 0xE01C);
  // Nothing was swallowed on the way.
  EXPECT_EQ(h.EditText(), L"ownqqqxaB\r\nA1" + std::wstring(repeats + 1, L'x'));
}

TEST_F(KeyboardTest, HeldWordEndReachesTheWindowExactlyOnceByEveryRoute) {
  const Strings once = {"d13", "u13"};
  Listening([&](AppMessenger& app) {
    std::vector<WindowKey> keys;
    auto returns = [&](size_t count, int timeout_ms) {
      keys.clear();
      return Collect(h, app, keys, VK_RETURN, count, timeout_ms);
    };
    auto hold = [&](const char* method, int32_t id) {
      return Yes(Call(h, app, method, "id", id));
    };
    Call(h, app, "setHoldWordEnd", "enabled", true);
    h.TakeWindowKeys();

    // Released while the user still holds it: the key-up that follows the
    // tap is swallowed, and ends that press (the next is no repeat).
    ASSERT_TRUE(Xdo("keydown Return"));
    EXPECT_TRUE(hold("releaseHeldKey", WaitForHold(h, app, 1)));
    ASSERT_TRUE(Xdo("keyup Return"));
    EXPECT_EQ(returns(2, 2000), once);

    // Let go of before the answer; more time asked for, then left to the
    // timer: nothing comes before the extended time is over. Stale and zero
    // ids then tap nothing: the chord below would see it.
    ASSERT_TRUE(Xdo("key Return"));
    const int32_t second = WaitForHold(h, app, 2);
    EXPECT_TRUE(hold("extendHold", second));
    EXPECT_TRUE(returns(1, 900).empty());
    EXPECT_EQ(returns(2, 3000), once);
    for (int32_t id : {second, 0}) {
      EXPECT_FALSE(hold("releaseHeldKey", id));
      EXPECT_FALSE(hold("extendHold", id));
    }

    // Chords are never held. Word ends go in the order typed: a Tab typed
    // while one is held waits behind the keys before it and is held in its
    // turn.
    ASSERT_TRUE(Xdo("key ctrl+Return alt+Tab"));
    EXPECT_EQ(returns(2, 2000), (Strings{"d13~", "u13"}));
    ASSERT_TRUE(Xdo("key Tab"));
    const int32_t tab = WaitForHold(h, app, 3);
    Call(h, app, "extendHold", "id", tab);
    keys.clear();
    ASSERT_TRUE(Xdo("key x Tab"));
    Collect(h, app, keys, VK_TAB, 2, 300);
    Call(h, app, "releaseHeldKey", "id", tab);
    Call(h, app, "releaseHeldKey", "id", WaitForHold(h, app, 4));
    Collect(h, app, keys, VK_TAB, 4);
    EXPECT_EQ(Keys(keys, {VK_TAB, 'X'}),
              (Strings{"d9", "u9", "d88", "u88", "d9", "u9"}));

    // Tapped with the Shift it was pressed with: Shift+Enter stays one when
    // the user lets go of Shift and an injection lets go of it meanwhile; a
    // plain Enter stays plain when Shift comes right after it.
    ASSERT_TRUE(Xdo("keydown Shift_L key Return"));
    const int32_t shifted = WaitForHold(h, app, 5);
    EXPECT_TRUE(Yes(Call(h, app, "typeText", "text", EncodableValue("k"))));
    ASSERT_TRUE(Xdo("keyup Shift_L"));
    app.RunPending(100);
    Call(h, app, "releaseHeldKey", "id", shifted);
    ASSERT_TRUE(Xdo("key Return"));
    const int32_t plain = WaitForHold(h, app, 6);
    ASSERT_TRUE(Xdo("keydown Shift_L"));
    app.RunPending(100);
    Call(h, app, "releaseHeldKey", "id", plain);
    ASSERT_TRUE(Xdo("keyup Shift_L"));
    EXPECT_EQ(returns(4, 2000), (Strings{"d13^", "u13", "d13", "u13"}));
  });
}

int replayed_e = 0;
bool key_typed_inside = false;

// The system runs the hook for a key the user typed meanwhile inside the
// call that presses a kept Shift again, before the kept keys go.
UINT WINAPI SendWithKeyInside(UINT count, LPINPUT inputs, int size) {
  if (key_typed_inside && count == 1 &&
      inputs[0].ki.dwExtraInfo == kInjectionMarker &&
      !(inputs[0].ki.dwFlags & KEYEVENTF_KEYUP)) {
    key_typed_inside = false;
    Feed(WM_KEYDOWN, 'Q');
    Feed(WM_KEYUP, 'Q');
  }
  return SendInput(count, inputs, size);
}

LRESULT CALLBACK CountReplayedE(int code, WPARAM wparam, LPARAM lparam) {
  const auto* event = reinterpret_cast<const KBDLLHOOKSTRUCT*>(lparam);
  replayed_e += code == HC_ACTION && wparam == WM_KEYDOWN &&
                event->vkCode == 'E' && event->dwExtraInfo == kReplayMarker;
  return CallNextHookEx(nullptr, code, wparam, lparam);
}

TEST_F(KeyboardTest, CapturedTypingIsReplayedInOrderAfterTheInjection) {
  ASSERT_TRUE(WriteClipboardText(L"V!"));
  Listening([&](AppMessenger& app) {
    const auto capture = [&](bool on) {
      Call(h, app, "setTypingCapture", "enabled", on);
    };
    capture(true);
    ASSERT_TRUE(Xdo("type --delay 40 aBc"));
    // A chord is taken like any key, Ctrl with it: it comes in its place.
    ASSERT_TRUE(Xdo("key ctrl+v"));
    app.RunPending(200);
    capture(false);
    h.WaitForRecords(app, "keyDown", 4);

    // Capture left to its timer ends only once a running injection is over:
    // keys typed meanwhile come after the whole text, not inside it, and a
    // Ctrl pressed meanwhile makes none of the text's keys a shortcut.
    Pace(h, 40);
    bool typed_reply = false;
    capture(true);
    h.TakeWindowKeys();
    TypeLater(app, std::string(60, 'n'), [&](const Reply&) { typed_reply = true; });
    app.RunPending(300);
    ASSERT_TRUE(Xdo("type --delay 40 xyz"));
    ASSERT_TRUE(Xdo("keydown ctrl"));
    app.RunUntil([&] { return typed_reply; }, 10000);
    ASSERT_TRUE(Xdo("keyup ctrl"));
    Pace(h, 3);
    Poll(app, [&] { return h.EditText().size() >= 65 + 3; }, 3000);
    EXPECT_EQ(h.EditText(), L"aBcV!" + std::wstring(60, L'n') + L"xyz");
    const Strings typed = Keys(h.TakeWindowKeys(), {'N', 'Z'});
    EXPECT_EQ(std::count(typed.begin(), typed.end(), "d78"), 60);
    EXPECT_EQ(typed.back(), "u90");

    // Word ends in what was taken are held one after the other; the keys
    // behind each cross the system once, not again for every hold.
    Call(h, app, "setHoldWordEnd", "enabled", true);
    h.TakeWindowKeys();
    HHOOK ahead = nullptr;  // sees the replays before the host's hook takes them
    h.OnMain([&] {
      ahead = SetWindowsHookExW(WH_KEYBOARD_LL, CountReplayedE,
                                GetModuleHandleW(nullptr), 0);
    });
    capture(true);
    ASSERT_TRUE(Xdo("key --delay 30 q Tab w Tab e"));
    capture(false);
    for (size_t hold = 1; hold <= 2; ++hold) {
      Call(h, app, "releaseHeldKey", "id", WaitForHold(h, app, hold));
    }
    std::vector<WindowKey> keys;
    Collect(h, app, keys, 'E', 2, 3000);
    EXPECT_EQ(Keys(keys, {'Q', VK_TAB, 'W', 'E'}),
              (Strings{"d81", "u81", "d9", "u9", "d87", "u87", "d9", "u9",
                       "d69", "u69"}));
    h.OnMain([&] { UnhookWindowsHookEx(ahead); });
    EXPECT_EQ(replayed_e, 1);

    // Shift held through an injection that let go of it: pressed again as
    // the kept keys go, and a key typed inside that press waits behind them.
    Call(h, app, "setHoldWordEnd", "enabled", false);
    ASSERT_TRUE(Xdo("keydown Shift_L"));
    app.RunPending(100);
    capture(true);
    bool nn_typed = false;
    TypeLater(app, "nn", [&](const Reply&) { nn_typed = true; });
    ASSERT_TRUE(Xdo("type --delay 30 xy"));
    h.OnMain([] {
      key_typed_inside = true;
      send_replay = SendWithKeyInside;
    });
    app.RunUntil([&] { return nn_typed; }, 5000);
    capture(false);
    Poll(app, [&] { return h.EditText().back() == L'Q'; }, 3000);
    h.OnMain([] { send_replay = SendInput; });
    ASSERT_TRUE(Xdo("keyup Shift_L"));
    const std::wstring after = h.EditText();
    EXPECT_EQ(after.substr(after.size() - 5), L"nnXYQ");
  });
  Strings downs = Short(h.RecordsOf("keyDown"));
  downs.resize(7);
  // The user's Shift and Ctrl waited with the keys and came in their place.
  EXPECT_EQ(downs, (Strings{"a", "B^", "c", "#86~", "x", "y", "z"}));
}

UINT WINAPI RefuseInput(UINT, LPINPUT, int) {
  return 0;
}

TEST_F(KeyboardTest, EveryReasonToKeepKeysBackHasABound) {
  SoakTarget other;  // started with the X focus
  ASSERT_TRUE(other.ready());
  // Caps Lock toggled in another program while nobody listened: this
  // process's own key state never saw it.
  EXPECT_TRUE(Xdo("key Caps_Lock"));
  Listening([&](AppMessenger& app) {
    EXPECT_TRUE(Xdo("key q"));
    h.WaitForRecords(app, "keyDown", 1);
    EXPECT_TRUE(Yes(Call(h, app, "typeText", "text", EncodableValue(" aB1!"))));
    EXPECT_TRUE(Xdo("key Caps_Lock"));
    EXPECT_TRUE(Poll(app, [&] { return other.Text() == L"Q aB1!"; }, 3000));
    ASSERT_FALSE(h.records().empty());
    EXPECT_EQ(Short(h.records())[0], "Q");
    ASSERT_TRUE(h.FocusTarget());
    app.RunPending(500);  // Wine may hand the focus back and forth at first

    // More than a line's worth to erase or type, in the window of the last
    // key: refused at once, and the user's keys come as typed.
    ASSERT_TRUE(Xdo("key p"));
    Poll(app, [&] { return h.EditText() == L"p"; }, 3000);
    EXPECT_FALSE(Yes(Call(h, app, "backspace", "count", INT32_MAX)));
    EXPECT_FALSE(Yes(Call(h, app, "typeText", "text",
                          std::string(kMaxInjectedUnits + 1, 'w'))));
    ASSERT_TRUE(Xdo("key q"));
    EXPECT_TRUE(Poll(app, [&] { return h.EditText() == L"pq"; }, 3000));

    // A long text at a slow pace while the user types: their keys wait no
    // longer than the limit, then the text stops short and says so.
    std::optional<bool> sent;
    auto answered = [&](const Reply& reply) { sent = Yes(reply); };
    Pace(h, 20);
    TypeLater(app, std::string(2000, 'n'), answered);
    app.RunPending(300);
    ASSERT_TRUE(Xdo("type --delay 30 xy"));
    EXPECT_TRUE(app.RunUntil([&] { return sent.has_value(); },
                             static_cast<int>(kKeepBackLimitMs) + 5000));
    Pace(h, 3);
    EXPECT_EQ(sent, std::optional<bool>(false));
    Poll(app, [&] { return h.EditText().back() == L'y'; }, 3000);
    std::wstring text = h.EditText();
    EXPECT_EQ(text.substr(text.size() - 2), L"xy");
    EXPECT_LT(text.size(), 2000u);

    // A text whose window leaves the front midway: nothing more is typed,
    // there or in the window now in front; nor is a text asked for after.
    h.SetEditText(L"");
    ASSERT_TRUE(Xdo("key z"));
    Poll(app, [&] { return h.EditText() == L"z"; }, 3000);
    Pace(h, 20);
    sent.reset();
    TypeLater(app, std::string(200, 'n'), answered);
    app.RunPending(500);
    other.Focus();
    EXPECT_TRUE(app.RunUntil([&] { return sent.has_value(); }, 10000));
    Pace(h, 3);
    EXPECT_EQ(sent, std::optional<bool>(false));
    EXPECT_FALSE(Yes(Call(h, app, "typeText", "text", EncodableValue("m"))));
    app.RunPending(300);
    EXPECT_EQ(other.Text(), L"Q aB1!");
    EXPECT_LT(h.EditText().size(), 201u);
    ASSERT_TRUE(h.FocusTarget());

    // A replay the system refuses: the application hears that keys were
    // lost, and the user's next keys come in their own case.
    h.SetEditText(L"");
    h.OnMain([] { send_replay = RefuseInput; });
    Call(h, app, "setTypingCapture", "enabled", true);
    ASSERT_TRUE(Xdo("type --delay 30 aB"));
    app.RunPending(200);
    Call(h, app, "setTypingCapture", "enabled", false);
    bool waiting = true;
    h.OnMain([&] {
      send_replay = SendInput;
      // The keys lost are not waited for.
      waiting = KeepingKeysBack(kReplayOnItsWay);
    });
    EXPECT_FALSE(waiting);
    ASSERT_TRUE(Xdo("type --delay 30 cD"));
    EXPECT_TRUE(Poll(app, [&] { return h.EditText() == L"cD"; }, 3000))
        << Utf8FromUtf16(h.EditText());
    h.WaitForRecords(app, "diag", 1);
  });
  EXPECT_EQ(Short(h.RecordsOf("diag")),
            (Strings{"keys kept back for 5000 ms: sent on",
                     "replay refused: 4 keys lost"}));
}

TEST_F(KeyboardTest, InjectionTasksRunInOrderAndAreAllAnsweredByCancelAndClose) {
  ASSERT_TRUE(WriteClipboardText(L"pasted"));
  std::vector<Reply::Kind> kinds;
  Listening([&](AppMessenger& app) {
    // Ctrl held by the user: the paste waits for it, at most 400 ms, lets
    // go of it first and ends with the whole chord.
    ASSERT_TRUE(Xdo("keydown ctrl"));
    h.TakeSeenKeys();
    const int64_t paste_called_at = NowUs();
    EXPECT_EQ(h.Call(app, "paste").kind, Reply::Kind::kSuccess);
    std::string chord;
    int64_t first_at = 0;
    for (const SeenKey& key : h.TakeSeenKeys()) {
      if (key.extra != kInjectionMarker) continue;
      first_at = first_at ? first_at : key.at_us;
      chord += (key.up() ? " u" : " d") + std::to_string(key.vk);
    }
    ASSERT_TRUE(Xdo("keyup ctrl"));
    EXPECT_GE(first_at - paste_called_at, 350000);
    EXPECT_TRUE(chord.starts_with(" u162") || chord.starts_with(" u17 ")) << chord;
    // The user's Ctrl, still held, may be pressed again as the task ends.
    const std::string own = chord.substr(std::min(chord.find(" d"), chord.size()));
    EXPECT_TRUE(own == " d17 d86 u86 u17" || own == " d17 d86 u86 u17 d162")
        << own;

    for (const char* text : {" one", " two", " three"}) {
      TypeLater(app, text, [&](const Reply& reply) { kinds.push_back(reply.kind); });
    }
    EXPECT_EQ(app.Cancel("korvex/key_events").kind, Reply::Kind::kSuccess);
    // Every task was typed and answered before the stream was gone.
    EXPECT_EQ(kinds, std::vector<Reply::Kind>(3, Reply::Kind::kSuccess));
  });
  EXPECT_EQ(h.EditText(), L"pasted one two three");
  EXPECT_EQ(keyboard_hook, nullptr);
  EXPECT_EQ(mouse_hook, nullptr);
  EXPECT_EQ(key_event_sink, nullptr);

  // The window closes while a long text is typed and Enter is held: the
  // text is finished promptly, the held key sent, nothing left behind. The
  // application has let go of its messenger by then, which goes with the
  // engine.
  h.SetEditText(L"");
  Listening([&](AppMessenger& app) {
    Call(h, app, "setHoldWordEnd", "enabled", true);
    ASSERT_TRUE(Xdo("key Return"));
    Call(h, app, "extendHold", "id", WaitForHold(h, app, 1));
    Pace(h, 20);
    TypeLater(app, std::string(40, 'w'));
    app.RunPending(150);
  });
  const int64_t start = NowUs();
  h.CloseRunner();
  const int64_t closing_took_us = NowUs() - start;
  key_delay_ms = 3;
  PumpUntil([&] { return h.EditText().size() >= 42; }, 3000);
  EXPECT_EQ(h.EditText(), std::wstring(40, L'w') + L"\r\n");
  // 40 keys at 20 ms; a blocked hook thread would cost seconds a key.
  EXPECT_LT(closing_took_us, 3000000);
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

TEST_F(KeyboardTest, BouncesStuckModifiersDeadKeysAndClicksFromCraftedEvents) {
  auto tap = [](DWORD vk, DWORD time, DWORD flags = 0, ULONG_PTR extra = 0) {
    Feed(WM_KEYDOWN, vk, time, flags, extra);
    Feed(WM_KEYUP, vk, time + 10, flags, extra);
  };
  int clicks = 0;
  Listening([&](AppMessenger& app) {
    h.OnMain([&] {
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
  });
  EXPECT_EQ(Short(h.RecordsOf("modifier")),
            (Strings{"+160^", "-160", "-160", "+160^", "-160", "-160",  // bounces
                     "+162~", "-162",                    // freed by the letter
                     "+162~", "+164~@", "-162@", "-164",  // freed by the unlock
                     "-162", "-164"}));                   // the real key-ups
  EXPECT_EQ(Short(h.RecordsOf("diag")),
            (Strings{"stuck modifier vk=162 released (keyDown)",
                     "stuck modifier vk=162,164 released (session change)"}));
  // The freed Ctrl is not shown; E is not composed with the dead key.
  EXPECT_EQ(Short(h.RecordsOf("keyDown")),
            (Strings{"a", "#222", "e", "k", "#75*", "#116", "l"}));
  EXPECT_EQ(clicks, 1);
}

TEST_F(KeyboardTest, WatchdogPutsBackAHookTheSystemDropped) {
  const std::string lost = "keyboard hook lost: reinstalled";
  // The first repair also frees a stuck Shift.
  auto repairs = [&] { return h.RecordsOf("diag").size() - 1; };
  Listening([&](AppMessenger& app) {
    // Gone as the system drops it, without a word, the handle left in
    // place, some time after the hooks last saw an event.
    auto drop_hook = [&] {
      Poll(app, [] { return false; }, kHookWatchdogPeriodMs + 100);
      h.OnMain([] { UnhookWindowsHookEx(keyboard_hook); });
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

    // Back from the lock screen or from sleep, it is looked at at once
    // (until the edit has the key, the system may not have counted it); a
    // hook put back must see a key before it can be found lost again.
    auto come_back = [&](const char* key, const wchar_t* text, UINT message,
                         WPARAM code) {
      drop_hook();
      ASSERT_TRUE(Xdo(std::string("key ") + key));
      Poll(app, [&] { return h.EditText() == text; }, 2000);
      SendMessageW(h.runner(), message, code, 0);
      app.RunPending(100);
    };
    come_back("g", L"abcdefg", WM_WTSSESSION_CHANGE, WTS_SESSION_UNLOCK);
    EXPECT_EQ(repairs(), 2u);
    ASSERT_TRUE(Xdo("key j"));
    h.WaitForRecords(app, "keyDown", 4);
    come_back("k", L"abcdefgjk", WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC);
  });
  EXPECT_EQ(h.EditText(), L"abcdefgjk");
  EXPECT_EQ(Short(h.RecordsOf("keyDown")), (Strings{"d", "e", "f", "j"}));
  // The Shift is freed before the tables are taken from the system.
  EXPECT_EQ(Short(h.RecordsOf("diag")),
            (Strings{"stuck modifier vk=160 released (hook lost)", lost, lost,
                     lost}));
}

TEST_F(KeyboardTest, ShiftAndCtrlHeldByTheUserAreLetGoAndPressedAgain) {
  auto user = [&](WORD vk, WORD scan, DWORD flags) {  // input without the marker
    INPUT key = KeyboardInput(vk, scan, flags, 0);
    h.Inject([&] { SendInput(1, &key, sizeof(key)); });
  };
  struct Side { WORD vk, scan, other; };
  for (const Side side : {Side{VK_LSHIFT, 0x2A, VK_RSHIFT},
                          Side{VK_RSHIFT, 0x36, VK_LSHIFT},
                          Side{VK_LCONTROL, 0x1D, VK_LSHIFT}}) {
    SCOPED_TRACE(side.vk);
    // Wine takes a Shift event for the right one only with the extended-key
    // flag (Windows goes by the key), so it ignores the service's key-up of
    // the user's right Shift, which the user then lets go of here.
    const DWORD flag = side.vk == VK_RSHIFT ? KEYEVENTF_EXTENDEDKEY : 0;
    const bool wine_keeps_it = flag && UnderWine();
    user(side.vk, side.scan, flag);
    ASSERT_LT(GetAsyncKeyState(side.vk), 0);
    h.SetEditText(L"");
    std::vector<SeenKey> seen = h.Inject([] { TypeText(L"x", 0, false); });
    // Typed in lower case: the Shift was let go of first.
    if (!wine_keeps_it) {
      EXPECT_EQ(h.EditText(), L"x");
    }
    ASSERT_FALSE(seen.empty());
    EXPECT_TRUE(seen[0].vk == side.vk && seen[0].up());
    EXPECT_TRUE(WasReleasedByInjection(side.vk));
    EXPECT_FALSE(WasReleasedByInjection(side.other));
    if (wine_keeps_it) user(side.vk, side.scan, flag | KEYEVENTF_KEYUP);

    bool down[256] = {};
    down[side.vk] = true;
    seen = h.Inject([&] { RestoreReleasedModifiers(down, SendInput); });
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_TRUE(seen[0].vk == side.vk && !seen[0].up());
    EXPECT_EQ(seen[0].scan, side.scan);
    EXPECT_EQ(seen[0].extra, kInjectionMarker);
    EXPECT_FALSE(WasReleasedByInjection(side.vk));

    // Released again, it is pressed again only while the user holds it.
    EXPECT_TRUE(AnyModifierHeld());
    h.Inject([] { ReleaseHeldModifiers(); });
    EXPECT_FALSE(AnyModifierHeld());
    down[side.vk] = false;
    EXPECT_TRUE(h.Inject([&] { RestoreReleasedModifiers(down, SendInput); }).empty());
  }
  // Alt is never let go of: that could commit a window switch.
  user(VK_LMENU, 0x38, 0);
  EXPECT_TRUE(AltOrWinHeld());
  EXPECT_TRUE(h.Inject([] { ReleaseHeldModifiers(); }).empty());
  user(VK_LMENU, 0x38, KEYEVENTF_KEYUP);
  EXPECT_FALSE(AltOrWinHeld());
}

TEST_F(KeyboardTest, TextGoesAsKeysUnicodeEventsOrAPasteEachEventMarked) {
  const std::wstring texts[] = {
      L"Hello, World 123 -=[];',./\\` !@#$%^&*()_+{}:\"<>?|~",
      L"a\U0001F600",
  };
  std::vector<SeenKey> seen;
  for (const std::wstring& text : texts) {
    h.SetEditText(L"");
    seen = h.Inject([&] { TypeText(text, 0, false); });
    EXPECT_EQ(h.EditText(), text);
    for (const SeenKey& key : seen) EXPECT_EQ(key.extra, kInjectionMarker);
  }
  // Letters go as key strokes; the surrogate pair (no key on any layout)
  // as Unicode events, one unit a down/up pair.
  ASSERT_EQ(seen.size(), 6u);
  EXPECT_EQ(seen[0].vk, static_cast<DWORD>('A'));
  EXPECT_TRUE(seen[1].up());
  // Wine's hook does not flag the up half of a Unicode event, so the pairs
  // are told apart by order only.
  const DWORD units[] = {0xD83D, 0xD83D, 0xDE00, 0xDE00};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(seen[2 + i].vk, static_cast<DWORD>(VK_PACKET));
    EXPECT_EQ(seen[2 + i].scan, units[i]);
  }

  h.SetEditText(L"abcdefgh");
  seen = h.Inject([] { SendBackspaces(3, 0); });
  EXPECT_EQ(h.EditText(), L"abcde");
  EXPECT_EQ(seen.size(), 6u);
  for (const SeenKey& key : seen) EXPECT_EQ(key.extra, kInjectionMarker);

  // A window without Unicode gets the paste and the clipboard back.
  HWND ansi_edit =
      CreateWindowExA(0, "EDIT", "", WS_POPUP | WS_VISIBLE | WS_BORDER, 0, 200,
                      360, 30, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(ansi_edit, nullptr);
  ASSERT_FALSE(IsWindowUnicode(ansi_edit));
  SetForegroundWindow(ansi_edit);
  SetFocus(ansi_edit);
  ASSERT_TRUE(PumpUntil([&] { return GetFocus() == ansi_edit; }, 2000));
  // The application saved the user's clipboard and copied the selection:
  // the paste keeps its own save, and the application's still comes back.
  ASSERT_TRUE(WriteClipboardText(L"the user's text"));
  SaveClipboard();
  ASSERT_TRUE(WriteClipboardText(L"the selection"));

  // "é" has no key on the US layout, so the text goes by Ctrl+V.
  const DWORD start = GetTickCount();
  seen = h.Inject([] { TypeText(L"caf\u00e9 ok", 0, false); });
  const DWORD elapsed = GetTickCount() - start;
  char text[64] = {};
  GetWindowTextA(ansi_edit, text, 64);
  EXPECT_STREQ(text, "caf\xe9 ok");
  // The four events of Ctrl+V, no key of the text.
  EXPECT_EQ(seen.size(), 4u);
  // The paste waits for the target before the user's text goes back.
  EXPECT_GE(elapsed, 400u);
  EXPECT_EQ(ReadClipboardText().value_or(L"<none>"), L"the selection");
  RestoreSavedClipboard();
  EXPECT_EQ(ReadClipboardText().value_or(L"<none>"), L"the user's text");

  // Typeable text is typed as keys even here.
  SetWindowTextA(ansi_edit, "");
  seen = h.Inject([] { TypeText(L"plain", 0, false); });
  GetWindowTextA(ansi_edit, text, 64);
  EXPECT_STREQ(text, "plain");
  EXPECT_EQ(seen.size(), 10u);
  DestroyWindow(ansi_edit);
}

}  // namespace
