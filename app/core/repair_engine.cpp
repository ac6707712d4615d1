#include "core/repair_engine.h"

#include <algorithm>
#include <utility>

#include "core/text_transform.h"
#include "core/text_utf.h"

namespace korvex_app {

namespace {

using flutter::EncodableMap;
using flutter::EncodableValue;

constexpr int32_t kBack = 0x08;
constexpr int32_t kTab = 0x09;
constexpr int32_t kReturn = 0x0D;
constexpr int32_t kEscape = 0x1B;
constexpr int32_t kSpace = 0x20;
constexpr int32_t kShift = 0x10;
constexpr int32_t kLeftShift = 0xA0;
constexpr int32_t kRightShift = 0xA1;
// What the user said of a word outweighs what the guesser made of several.
constexpr int kTaughtWeight = 3;

const EncodableValue* Field(const EncodableMap& map, const char* key) {
  auto found = map.find(EncodableValue(key));
  return found == map.end() ? nullptr : &found->second;
}

bool BoolField(const EncodableMap& map, const char* key) {
  const EncodableValue* value = Field(map, key);
  const bool* flag = value ? std::get_if<bool>(value) : nullptr;
  return flag && *flag;
}

int32_t IntField(const EncodableMap& map, const char* key) {
  const EncodableValue* value = Field(map, key);
  if (const auto* number = value ? std::get_if<int32_t>(value) : nullptr) {
    return *number;
  }
  if (const auto* number = value ? std::get_if<int64_t>(value) : nullptr) {
    return static_cast<int32_t>(*number);
  }
  return 0;
}

std::string StringField(const EncodableMap& map, const char* key) {
  const EncodableValue* value = Field(map, key);
  const std::string* text = value ? std::get_if<std::string>(value) : nullptr;
  return text ? *text : std::string();
}

std::u32string SwapCase(std::u32string text) {
  for (char32_t& c : text) {
    const char32_t lower = ToLower(c);
    c = lower != c ? lower : ToUpper(c);
  }
  return text;
}

// Keys that move the caret or leave the text: the word is lost.
bool IsNavigationKey(int32_t keycode) {
  return keycode == kEscape || (keycode >= 0x21 && keycode <= 0x28) ||
         keycode == 0x2D || keycode == 0x2E;
}

}  // namespace

std::optional<std::u32string> PendingText(const EncodableValue& record) {
  const auto* map = std::get_if<EncodableMap>(&record);
  const std::string type = map ? StringField(*map, "type") : std::string();
  // Alt and Win pressed: the user may be going to another window.
  if (type == "modifier" && BoolField(*map, "down") &&
      (BoolField(*map, "alt") || BoolField(*map, "meta"))) {
    return std::nullopt;
  }
  if (type == "modifier" || type == "diag") {
    return std::u32string();
  }
  if (type != "keyDown") {
    return std::nullopt;
  }
  const int32_t keycode = IntField(*map, "keycode");
  if (IntField(*map, "held") > 0) {
    return std::u32string();  // not in the text yet
  }
  const std::u32string chars = Utf32FromUtf8(StringField(*map, "chars"));
  if (chars.empty() || keycode == kBack || keycode == kTab ||
      keycode == kReturn || BoolField(*map, "control") ||
      BoolField(*map, "alt") || BoolField(*map, "meta")) {
    return std::nullopt;
  }
  return chars;
}

void RepairEngine::OnRecord(const EncodableValue& record, int64_t received_ms) {
  const auto* map = std::get_if<EncodableMap>(&record);
  if (!map) {
    return;
  }
  const std::string type = StringField(*map, "type");
  if (type == "keyDown") {
    KeyDown key;
    key.keycode = IntField(*map, "keycode");
    key.chars = Utf32FromUtf8(StringField(*map, "chars"));
    key.control = BoolField(*map, "control");
    key.shift = BoolField(*map, "shift");
    key.alt = BoolField(*map, "alt");
    key.meta = BoolField(*map, "meta");
    key.repeat = BoolField(*map, "repeat");
    key.held = IntField(*map, "held");
    OnKeyDown(key, received_ms);
  } else if (type == "modifier") {
    OnModifier(IntField(*map, "keycode"), BoolField(*map, "down"),
               BoolField(*map, "control") || BoolField(*map, "alt") ||
                   BoolField(*map, "meta"),
               received_ms);
  } else if (type == "click" || type == "appChanged") {
    Reset();
    context_ = WordContext();
    // Another window may have another layout list.
    layouts_.reset();
    shift_taps_ = 0;
    shift_pressed_ = false;
  }
}

void RepairEngine::OnKeyDown(const KeyDown& key, int64_t received_ms) {
  shift_taps_ = 0;
  shift_pressed_ = false;
  if (key.control && key.shift && !key.alt && !key.meta &&
      (key.keycode == 'T' || key.keycode == 'U')) {
    if (!key.repeat) {
      Transform(key.keycode == 'T');
    }
  } else if (key.control || key.alt || key.meta ||
             (key.repeat && key.keycode != kBack)) {
    // A chord may have edited the text, and a repeat's characters are not
    // reported: what the word is now is unknown.
    Reset();
  } else if (key.keycode == kBack) {
    undo_now_.clear();
    undo_before_.clear();
    if (replaced_) {
      // Text this application typed may have been replaced under it since
      // (a program setting its control's text sends no keys).
      Reset();
    } else if (!trailing_.empty()) {
      trailing_.pop_back();
    } else if (!word_.empty()) {
      word_.pop_back();
      if (!caps_lock_.empty()) {
        caps_lock_.pop_back();
      }
    }
  } else if (key.keycode == kSpace || key.keycode == kTab ||
             key.keycode == kReturn) {
    EndWord(key, received_ms);
    return;
  } else if (IsNavigationKey(key.keycode)) {
    Reset();
  } else if (!key.chars.empty()) {
    if (std::any_of(key.chars.begin(), key.chars.end(),
                    [](char32_t c) { return c <= U' '; })) {
      EndWord(key, received_ms);
      return;
    }
    if (!trailing_.empty()) {
      word_.clear();
      caps_lock_.clear();
      trailing_.clear();
    }
    undo_now_.clear();
    undo_before_.clear();
    replaced_ = false;
    word_ += key.chars;
    // A letter in the case Shift does not give was typed with Caps Lock on.
    const bool shifted = key.shift || shift_held_;
    for (char32_t c : key.chars) {
      caps_lock_ += !IsLetter(c) ? '-' : (ToLower(c) != c) != shifted ? '1' : '0';
    }
  }
  if (key.held > 0) {
    host_.ReleaseHeldKey(key.held);
  }
}

void RepairEngine::EndWord(const KeyDown& key, int64_t received_ms) {
  // A Tab or Enter that was not held is already in the text, where it
  // cannot be typed again reliably: such a word stays.
  const bool in_text = key.held <= 0;
  const bool retypable = !in_text || (key.keycode != kTab && key.keycode != kReturn);
  // A word this application typed was judged already.
  if (!word_.empty() && trailing_.empty() && !replaced_) {
    const KeyLayout* from = nullptr;
    const KeyLayout* to = nullptr;
    OrderBySource(word_, Layouts(), &from, &to);
    const std::optional<std::u32string> meant =
        auto_repair_ && guesser_ && retypable ? Meant(*from, *to) : std::nullopt;
    // The password check and the replacement may outlast the 150 ms hold
    // on a busy machine. A key its timer let go of is in the text already,
    // where it cannot be typed again: the word stays.
    const bool still_held =
        !meant || key.held <= 0 || host_.ExtendHold(key.held);
    if (meant && still_held && !host_.IsPasswordFieldFocused().value_or(true)) {
      const std::u32string end =
          !in_text ? std::u32string()
                   : key.keycode == kSpace ? std::u32string(U" ") : key.chars;
      if (!Replace(word_ + end, *meant + end)) {
        if (key.held > 0) {
          host_.ReleaseHeldKey(key.held);
        }
        Reset();
        return;
      }
      host_.ShowHud(Utf8FromUtf32(word_) + " \u2192 " + Utf8FromUtf32(*meant));
      host_.Note("repaired", Utf8FromUtf32(word_) + " " + Utf8FromUtf32(*meant));
      if (key.held > 0) {
        host_.ReleaseHeldKey(key.held);
        host_.Note("heldFor", std::to_string(host_.NowMs() - received_ms));
        Reset();
        return;
      }
      undo_before_ = word_ + end;
      undo_now_ = *meant + end;
      undo_typed_ = ToLower(word_);
      undo_automatic_ = true;
      if (key.keycode == kSpace) {
        word_ = *meant;
        caps_lock_.clear();
        replaced_ = true;
        trailing_ = end;
      } else {
        word_.clear();
        caps_lock_.clear();
        trailing_.clear();
      }
      return;
    }
  }
  if (key.held > 0) {
    host_.ReleaseHeldKey(key.held);
  }
  if (key.keycode == kSpace && !word_.empty()) {
    trailing_ += U' ';
    undo_now_.clear();
    undo_before_.clear();
  } else {
    Reset();
  }
}

bool RepairEngine::CapsLocked() const {
  return caps_lock_.size() == word_.size() &&
         caps_lock_.find('1') != std::string::npos &&
         caps_lock_.find('0') == std::string::npos;
}

std::u32string RepairEngine::Converted(const KeyLayout& from,
                                       const KeyLayout& to) const {
  return CapsLocked() ? SwapCase(ConvertKeys(SwapCase(word_), from, to))
                      : ConvertKeys(word_, from, to);
}

std::optional<std::u32string> RepairEngine::Meant(const KeyLayout& from,
                                                  const KeyLayout& to) {
  const auto verdict = exceptions_.Find(ToLower(word_));
  if (!verdict) {
    // Typed with Caps Lock on: judged as the keys type without it ("ХЛЕБ"
    // is "[KT," with it, "[kt," without).
    const bool locked = CapsLocked();
    const std::optional<std::u32string> meant = guesser_->Decide(
        locked ? SwapCase(word_) : word_, from, to, context_, &context_);
    return meant && locked ? std::optional(SwapCase(*meant)) : meant;
  }
  const bool convert = *verdict == RepairExceptions::Verdict::kConvert;
  context_ = WordContext{convert ? to.primary_language() : from.primary_language(),
                         convert, kTaughtWeight};
  return convert ? std::optional(Converted(from, to)) : std::nullopt;
}

void RepairEngine::Teach(bool converted) {
  if (undo_typed_.empty()) {
    return;
  }
  if (converted != undo_automatic_) {
    exceptions_.Remember(undo_typed_, undo_automatic_
                                          ? RepairExceptions::Verdict::kKeep
                                          : RepairExceptions::Verdict::kConvert);
  } else {
    exceptions_.Forget(undo_typed_);
  }
  host_.SaveExceptions(exceptions_.Format());
}

void RepairEngine::OnModifier(int32_t keycode, bool down, bool others,
                              int64_t now) {
  if (keycode == kShift || keycode == kLeftShift || keycode == kRightShift) {
    shift_held_ = down;
  }
  if (keycode != kLeftShift || (down && others)) {
    shift_taps_ = 0;
    shift_pressed_ = false;
    return;
  }
  if (down) {
    if (shift_taps_ == 0 || now - first_tap_ms_ > kDoubleTapMs) {
      shift_taps_ = 0;
      first_tap_ms_ = now;
    }
    shift_pressed_ = true;
    return;
  }
  if (!shift_pressed_) {
    return;
  }
  shift_pressed_ = false;
  if (++shift_taps_ < 2) {
    return;
  }
  shift_taps_ = 0;
  if (now - first_tap_ms_ <= kDoubleTapMs) {
    ManualRepair();
  }
}

void RepairEngine::ManualRepair() {
  const KeyLayout* from = nullptr;
  const KeyLayout* to = nullptr;
  if (!undo_now_.empty()) {
    if (!Replace(undo_now_, undo_before_)) {
      Reset();
      return;
    }
    host_.Note("undone", Utf8FromUtf32(undo_now_) + " " +
                             Utf8FromUtf32(undo_before_));
    std::swap(undo_now_, undo_before_);
    // The text now ends with what the undo typed: its spaces trail it.
    const size_t letters = undo_now_.find_last_not_of(U' ');
    word_ = undo_now_.substr(0, letters == std::u32string::npos ? 0 : letters + 1);
    caps_lock_.clear();
    replaced_ = true;
    trailing_ = undo_now_.substr(word_.size());
    const bool converted = ToLower(word_) != undo_typed_;
    OrderBySource(word_, Layouts(), &from, &to);
    context_ = WordContext{from->primary_language(), converted, kTaughtWeight};
    Teach(converted);
    return;
  }
  if (word_.empty()) {
    return;
  }
  OrderBySource(word_, Layouts(), &from, &to);
  const std::u32string converted = Converted(*from, *to);
  undo_before_ = word_ + trailing_;
  undo_now_ = converted + trailing_;
  if (!Replace(undo_before_, undo_now_)) {
    Reset();
    return;
  }
  host_.ShowHud(Utf8FromUtf32(converted));
  host_.Note("converted", Utf8FromUtf32(word_) + " " + Utf8FromUtf32(converted));
  // What the automatic repair left and the user converted is taught; a
  // word converted again after that is just taken back and forth.
  undo_typed_ = replaced_ ? std::u32string() : ToLower(word_);
  undo_automatic_ = false;
  Teach(true);
  context_ = WordContext{to->primary_language(), true, kTaughtWeight};
  word_ = converted;
  caps_lock_.clear();
  replaced_ = true;
}

void RepairEngine::Transform(bool transliterate) {
  auto apply = [transliterate](const std::u32string& text) {
    return transliterate ? Transliterate(text) : ToUpper(text);
  };
  bool clipboard_saved = false;
  const std::u32string selection = ReadSelection(&clipboard_saved);
  // The user's clipboard is back before anything is typed: the typing may
  // paste through it, and the new text shows only once it is the user's.
  if (clipboard_saved) {
    host_.RestoreClipboard();
  }
  if (!selection.empty()) {
    const std::u32string result = apply(selection);
    if (host_.TypeText(Utf8FromUtf32(result))) {
      host_.Note("selection",
                 Utf8FromUtf32(selection) + " " + Utf8FromUtf32(result));
    }
    Reset();
  } else if (!word_.empty()) {
    const std::u32string result = apply(word_);
    if (!Replace(word_ + trailing_, result + trailing_)) {
      Reset();
    } else {
      host_.Note("word", Utf8FromUtf32(word_) + " " + Utf8FromUtf32(result));
      undo_now_.clear();
      undo_before_.clear();
      word_ = result;
      caps_lock_.clear();
      replaced_ = true;
    }
  }
}

std::u32string RepairEngine::ReadSelection(bool* clipboard_saved) {
  const std::optional<std::string> selected = host_.UiaSelectedText();
  if (selected && !selected->empty()) {
    return Utf32FromUtf8(*selected);
  }
  host_.SaveClipboard();
  *clipboard_saved = true;
  const std::optional<int64_t> before = host_.ClipboardChangeCount();
  if (!before) {
    return std::u32string();
  }
  host_.Copy();
  const int64_t deadline = host_.NowMs() + kCopyWaitMs;
  for (;;) {
    const std::optional<int64_t> now = host_.ClipboardChangeCount();
    if (now && *now != *before) {
      return Utf32FromUtf8(host_.ReadClipboardText().value_or(std::string()));
    }
    if (host_.NowMs() >= deadline) {
      return std::u32string();
    }
    host_.Wait(20);
  }
}

bool RepairEngine::Replace(const std::u32string& erase,
                           const std::u32string& text) {
  host_.SetTypingCapture(true);
  // Keys that reached the application before the capture began are
  // erased and typed again after the replacement; their records come later.
  const std::optional<std::u32string> typed_since = host_.PendingTyping();
  // Refused halfway (the user went to another window), the rest is left.
  const bool done = typed_since &&
                    host_.Backspace(Utf16Length(erase + *typed_since)) &&
                    host_.TypeText(Utf8FromUtf32(text + *typed_since));
  host_.SetTypingCapture(false);
  return done;
}

const LayoutPair& RepairEngine::Layouts() {
  if (!layouts_) {
    layouts_ = ChooseLayouts(host_.SystemLayouts());
  }
  return *layouts_;
}

void RepairEngine::Reset() {
  replaced_ = false;
  word_.clear();
  caps_lock_.clear();
  trailing_.clear();
  undo_now_.clear();
  undo_before_.clear();
}

}  // namespace korvex_app
