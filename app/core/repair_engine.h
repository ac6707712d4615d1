#ifndef KORVEX_APP_CORE_REPAIR_ENGINE_H_
#define KORVEX_APP_CORE_REPAIR_ENGINE_H_

// The application's decisions: it follows the records of
// "korvex/key_events", keeps the word being typed, and repairs or
// transforms text through the host's methods.

#include <flutter/encodable_value.h>

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/key_layouts.h"
#include "core/layout_guess.h"
#include "core/repair_exceptions.h"

namespace korvex_app {

// The host's methods as the engine needs them; each call returns when the
// host answered. Nothing means the host gave no usable answer.
class HostPort {
 public:
  virtual ~HostPort() = default;
  // False when nothing more was typed: the window or the focused control
  // the word was typed in is no longer in front, or the host gave up.
  virtual bool Backspace(int count) = 0;
  virtual bool TypeText(const std::string& text) = 0;
  virtual void ReleaseHeldKey(int32_t id) = 0;
  // False when the key is no longer held: it went out on its own.
  virtual bool ExtendHold(int32_t id) = 0;
  virtual void ShowHud(const std::string& text) = 0;
  // Nothing when the host could not tell: taken as a password field.
  virtual std::optional<bool> IsPasswordFieldFocused() = 0;
  virtual std::optional<std::string> UiaSelectedText() = 0;
  virtual void SaveClipboard() = 0;
  virtual void RestoreClipboard() = 0;
  virtual void Copy() = 0;
  virtual std::optional<int64_t> ClipboardChangeCount() = 0;
  virtual std::optional<std::string> ReadClipboardText() = 0;
  virtual std::vector<KeyLayout> SystemLayouts() = 0;
  // Keeps the user's keys back while the text is replaced.
  virtual void SetTypingCapture(bool enabled) = 0;
  // What the records received but not yet handled typed into the text;
  // nothing when one of them changed it otherwise (see PendingText).
  virtual std::optional<std::u32string> PendingTyping() = 0;
  // Lets |ms| pass while the host's deliveries are served.
  virtual void Wait(int ms) = 0;
  virtual int64_t NowMs() = 0;
  // What the application did, for its log.
  virtual void Note(const std::string& kind, const std::string& text) = 0;
  // What the user taught changed: |text| is the exceptions file's new
  // content, to be kept.
  virtual void SaveExceptions(const std::string& text) { (void)text; }
};

// What a record not yet handled did to the text: the characters it typed,
// or nothing when it changed the text in a way that cannot be replayed.
std::optional<std::u32string> PendingText(const flutter::EncodableValue& record);

class RepairEngine {
 public:
  // Two taps of Left Shift count as one gesture within this time.
  static constexpr int kDoubleTapMs = 500;
  // How long a copy may take to reach the clipboard.
  static constexpr int kCopyWaitMs = 500;

  RepairEngine(HostPort& host, const LayoutGuesser* guesser)
      : host_(host), guesser_(guesser) {}

  void set_auto_repair(bool enabled) { auto_repair_ = enabled; }
  void set_exceptions(RepairExceptions exceptions) {
    exceptions_ = std::move(exceptions);
  }
  // |received_ms|: when the record arrived, for how long a key was held.
  void OnRecord(const flutter::EncodableValue& record, int64_t received_ms);

  const std::u32string& word() const { return word_; }

 private:
  struct KeyDown {
    int32_t keycode = 0;
    std::u32string chars;
    bool control = false, shift = false, alt = false, meta = false;
    bool repeat = false;
    int32_t held = 0;
  };

  void OnKeyDown(const KeyDown& key, int64_t received_ms);
  void OnModifier(int32_t keycode, bool down, bool others, int64_t now);
  void EndWord(const KeyDown& key, int64_t received_ms);
  void ManualRepair();
  void Transform(bool transliterate);
  std::u32string ReadSelection(bool* clipboard_saved);
  // Replaces the last |erase| with |text|, and what was typed meanwhile
  // stays after it; false when that cannot be known.
  bool Replace(const std::u32string& erase, const std::u32string& text);
  // The word's verdict: the user's, else the guesser's, which moves the
  // context on.
  std::optional<std::u32string> Meant(const KeyLayout& from,
                                      const KeyLayout& to);
  // Every letter of the word as typed came with Caps Lock on.
  bool CapsLocked() const;
  // The word as the same keys type it on |to|, in Caps Lock's case when it
  // was typed so.
  std::u32string Converted(const KeyLayout& from, const KeyLayout& to) const;
  // The user took a conversion back or made one: |converted| tells which
  // way the word now stands.
  void Teach(bool converted);
  const LayoutPair& Layouts();
  void Reset();

  HostPort& host_;
  const LayoutGuesser* guesser_;
  bool auto_repair_ = true;
  std::optional<LayoutPair> layouts_;

  RepairExceptions exceptions_;
  // The words before this one in the field.
  WordContext context_;

  std::u32string word_;      // the word being typed: everything since a blank
  // Per character of the word while it is as typed: '1' a letter typed
  // with Caps Lock on, '0' one without, '-' no letter.
  std::string caps_lock_;
  bool shift_held_ = false;
  std::u32string trailing_;  // spaces typed after it
  bool replaced_ = false;    // the word is what this application typed
  // The last repair, for a double tap to take back: what stands now in
  // the text and what stood before.
  std::u32string undo_now_;
  std::u32string undo_before_;
  // The word as typed, lower-case, and whether this application repaired
  // it unasked: what a double tap teaches.
  std::u32string undo_typed_;
  bool undo_automatic_ = false;

  int shift_taps_ = 0;
  bool shift_pressed_ = false;
  int64_t first_tap_ms_ = 0;
};

}  // namespace korvex_app

#endif  // KORVEX_APP_CORE_REPAIR_ENGINE_H_
