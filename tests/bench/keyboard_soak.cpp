// Soak: a running host with the application listening, word-end holding on,
// and every third held word replaced (typing capture, backspaces, the new
// text, the held key released) while xdotool types physical keys into a
// second program's edit control. Reports what the edit received against
// what was typed: keys lost, doubled and reordered, modifiers left down,
// replies never answered, hooks put back by the watchdog, and the host's
// private bytes.
//
//   keyboard_soak.exe [--keys N] [--delay MS]
// Exit code 0 when nothing was lost, doubled, reordered, left down, left
// unanswered or repaired.

#include <flutter/encodable_value.h>
#include <flutter_app/app_messenger.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <functional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "injection/input_synthesis.h"
#include "keyboard_harness.h"
#include "soak_support.h"
#include "test_support.h"

using flutter::EncodableMap;
using flutter::EncodableValue;
using flutter_app::AppMessenger;
using flutter_app::Reply;
using namespace test_support;

namespace {

struct Key {
  std::string xdo;  // xdotool's name for the stroke
  wchar_t ch;       // what it types; 0 for the word-end keys below
  enum Kind { kLetter, kBackspace, kSpace, kReturn, kTab } kind;
  int strokes;  // physical keys pressed (Shift counts)
};

// Words of 3 to 7 letters, some capitalised, some with a backspace inside,
// ended by a space, Enter or Tab.
std::vector<Key> MakeScript(int keys, unsigned seed) {
  std::mt19937 random(seed);
  auto chance = [&](int percent) {
    return static_cast<int>(random() % 100) < percent;
  };
  std::vector<Key> script;
  int pressed = 0;
  while (pressed < keys) {
    const int length = 3 + static_cast<int>(random() % 5);
    for (int i = 0; i < length; ++i) {
      const char letter = static_cast<char>('a' + random() % 26);
      if (i == 0 && chance(30)) {
        script.push_back({std::string("shift+") + letter,
                          static_cast<wchar_t>(letter - 'a' + 'A'),
                          Key::kLetter, 2});
      } else {
        script.push_back({std::string(1, letter), static_cast<wchar_t>(letter),
                          Key::kLetter, 1});
      }
      if (i >= 1 && chance(8)) {
        script.push_back({"BackSpace", 0, Key::kBackspace, 1});
        script.push_back({std::string(1, letter), static_cast<wchar_t>(letter),
                          Key::kLetter, 1});
      }
    }
    const int end = static_cast<int>(random() % 10);
    if (end < 6) {
      script.push_back({"space", L' ', Key::kSpace, 1});
    } else if (end < 8) {
      script.push_back({"Return", 0, Key::kReturn, 1});
    } else {
      script.push_back({"Tab", L'\t', Key::kTab, 1});
    }
    pressed = 0;
    for (const Key& key : script) pressed += key.strokes;
  }
  return script;
}

std::wstring Upper(const std::wstring& word) {
  std::wstring upper = word;
  for (wchar_t& c : upper) c = static_cast<wchar_t>(towupper(c));
  return upper;
}

// What the edit must hold: every third held word end with a word before it
// has that word in capitals.
std::wstring ExpectedText(const std::vector<Key>& script) {
  std::wstring text, word;
  int held_words = 0;
  for (const Key& key : script) {
    switch (key.kind) {
      case Key::kLetter:
        text += key.ch;
        word += key.ch;
        break;
      case Key::kBackspace:
        text.pop_back();
        word.pop_back();
        break;
      case Key::kSpace:
        text += L' ';
        word.clear();
        break;
      case Key::kReturn:
      case Key::kTab:
        if (!word.empty() && ++held_words % 3 == 0) {
          text.replace(text.size() - word.size(), word.size(), Upper(word));
        }
        text += key.kind == Key::kReturn ? L"\r\n" : L"\t";
        word.clear();
        break;
    }
  }
  return text;
}

// The application: tracks the word from the records and answers each held
// key; every third held word is replaced by its capitals.
class SoakApplication {
 public:
  explicit SoakApplication(AppMessenger& app) : app_(app) {}

  int calls() const { return calls_; }
  int replies() const { return replies_; }
  int replaced() const { return replaced_; }
  size_t records() const { return records_; }

  int watchdog_repairs() const { return watchdog_repairs_; }

  void OnRecord(const EncodableMap& record) {
    ++records_;
    // A user typing along never makes the watchdog put the hooks back.
    if (StringOf(record, "type") == "diag" &&
        StringOf(record, "message") == "keyboard hook lost: reinstalled") {
      ++watchdog_repairs_;
    }
    if (StringOf(record, "type") != "keyDown" || BoolOf(record, "repeat")) {
      return;
    }
    const int32_t vk = IntOf(record, "keycode");
    if (Has(record, "held")) {
      const int32_t id = IntOf(record, "held");
      if (!word_.empty() && ++held_words_ % 3 == 0) {
        Replace(id, word_);
      } else {
        Call("releaseHeldKey", Arg("id", EncodableValue(id)));
      }
      word_.clear();
    } else if (vk == VK_BACK) {
      if (!word_.empty()) word_.pop_back();
    } else if (vk == VK_SPACE || vk == VK_RETURN || vk == VK_TAB) {
      word_.clear();
    } else {
      word_ += StringOf(record, "chars");
    }
  }

  void Call(const char* method, const EncodableMap& arguments,
            std::function<void()> then = nullptr) {
    ++calls_;
    app_.InvokeMethod("korvex/automation", method, EncodableValue(arguments),
                      [this, then](const Reply& reply) {
                        if (reply.kind == Reply::Kind::kSuccess) ++replies_;
                        if (then) then();
                      });
  }

  static EncodableMap Arg(const char* key, EncodableValue value) {
    return EncodableMap{{EncodableValue(key), std::move(value)}};
  }

 private:
  void Replace(int32_t id, const std::string& word) {
    ++replaced_;
    // Keys the user types meanwhile wait in the capture; the held key and
    // then they follow the new word.
    Call("setTypingCapture", Arg("enabled", EncodableValue(true)));
    Call("extendHold", Arg("id", EncodableValue(id)));
    Call("backspace", Arg("count", EncodableValue(static_cast<int32_t>(word.size()))));
    std::string upper = word;
    for (char& c : upper) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    Call("typeText", Arg("text", EncodableValue(upper)), [this, id] {
      Call("releaseHeldKey", Arg("id", EncodableValue(id)));
      Call("setTypingCapture", Arg("enabled", EncodableValue(false)));
    });
  }

  AppMessenger& app_;
  std::string word_;
  int held_words_ = 0;
  int calls_ = 0;
  int replies_ = 0;
  int replaced_ = 0;
  int watchdog_repairs_ = 0;
  size_t records_ = 0;
};

}  // namespace

int wmain(int argc, wchar_t** argv) {
  int keys = 1000;
  int delay_ms = 15;
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::wcscmp(argv[i], L"--keys") == 0) keys = _wtoi(argv[++i]);
    else if (std::wcscmp(argv[i], L"--delay") == 0) delay_ms = _wtoi(argv[++i]);
  }
  const std::vector<Key> script = MakeScript(keys, 20261206);
  const std::wstring expected = ExpectedText(script);

  SoakTarget target;  // the second program, with the focus
  KeyboardHarness host;  // the runner and its services in this process
  if (!target.ready() || !host.runner()) {
    std::printf("soak: no target window or no host\n");
    return 2;
  }
  target.Focus();

  size_t bytes_before = 0, bytes_after = 0;
  int calls = 0, replies = 0, replaced = 0, watchdog_repairs = 0;
  size_t records = 0;
  std::wstring actual, stray;
  bool edit_focused = false;
  const ULONGLONG started = GetTickCount64();
  host.RunApp([&](AppMessenger& app) {
    SoakApplication application(app);
    app.Listen("korvex/key_events", EncodableValue(),
               [&](const flutter_app::Event& event) {
                 if (const auto* map = std::get_if<EncodableMap>(&event.value)) {
                   application.OnRecord(*map);
                 }
               });
    // With KORVEX_TRACE=1 the host's capture log goes to KORVEX_SOAK_LOG_DIR.
    wchar_t log_directory[MAX_PATH] = {};
    if (GetEnvironmentVariableW(L"KORVEX_SOAK_LOG_DIR", log_directory, MAX_PATH)) {
      std::wstring folder(log_directory);
      application.Call("setLogDirectory",
                       SoakApplication::Arg("path", EncodableValue(std::string(folder.begin(), folder.end()))));
    }
    application.Call("setHoldWordEnd",
                     SoakApplication::Arg("enabled", EncodableValue(true)));
    app.RunPending(200);
    // Chunks of strokes; the application keeps answering in between. The
    // memory baseline is taken once the first words were replaced.
    std::string chunk;
    size_t in_chunk = 0;
    int chunks = 0;
    for (size_t i = 0; i < script.size(); ++i) {
      chunk += " " + script[i].xdo;
      if (++in_chunk == 40 || i + 1 == script.size()) {
        HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        std::thread typist([&] {
          Xdo("key --delay " + std::to_string(delay_ms) + chunk);
          SetEvent(done);
        });
        Poll(app, [&] { return WaitForSingleObject(done, 0) == 0; }, 120000);
        typist.join();
        CloseHandle(done);
        host.TakeSeenKeys();  // the harness's own log of keys, not the host's
        chunk.clear();
        in_chunk = 0;
        if (++chunks == 5) {
          bytes_before = PrivateBytes();
        }
      }
    }
    // Settled: every call answered and the text unchanged for 3 s (a starved
    // target can take its time over what it was sent).
    std::wstring last;
    ULONGLONG changed_at = GetTickCount64();
    Poll(app, [&] {
      actual = target.Text();
      if (actual != last) {
        last = actual;
        changed_at = GetTickCount64();
      }
      return GetTickCount64() - changed_at >= 3000 &&
             application.replies() == application.calls();
    }, 60000);
    bytes_after = PrivateBytes();
    stray = host.EditText();  // keys that went astray land here
    GUITHREADINFO gui = {};
    gui.cbSize = sizeof(gui);
    const HWND target_window = GetAncestor(target.edit(), GA_ROOT);
    GetGUIThreadInfo(GetWindowThreadProcessId(target_window, nullptr), &gui);
    edit_focused = GetForegroundWindow() == target_window && gui.hwndFocus == target.edit();
    calls = application.calls();
    replies = application.replies();
    replaced = application.replaced();
    records = application.records();
    watchdog_repairs = application.watchdog_repairs();
    app.Cancel("korvex/key_events");
  }, 3600000);
  const double seconds = (GetTickCount64() - started) / 1000.0;

  int pressed = 0;
  for (const Key& key : script) pressed += key.strokes;
  int modifiers_down = 0;
  for (WORD vk : kModifierKeys) modifiers_down += GetAsyncKeyState(vk) < 0;
  const Diff diff = Compare(expected, actual);
  std::printf("soak: %d physical keys in %.1f s, %zu records, %d words replaced\n",
              pressed, seconds, records, replaced);
  std::printf("soak: lost %d, doubled %d, reordered %d, other differences %d\n",
              diff.lost, diff.doubled, diff.reordered, diff.other);
  std::printf("soak: modifiers still down %d, replies unanswered %d of %d, "
              "watchdog repairs %d\n",
              modifiers_down, calls - replies, calls, watchdog_repairs);
  std::printf("soak: host private bytes %zu after warm-up, %zu at the end (%+lld)\n",
              bytes_before, bytes_after,
              static_cast<long long>(bytes_after) - static_cast<long long>(bytes_before));
  if (diff.total() > 0) {
    std::printf("soak: the host's own test window holds %zu units; the edit %s the focus\n",
                stray.size(), edit_focused ? "has" : "lost");
    PrintFirstDifference("soak", expected, actual);
  }
  const bool clean = diff.total() + modifiers_down + (calls - replies) +
                             watchdog_repairs == 0 &&
                     replaced > 0;
  return clean ? 0 : 1;
}
