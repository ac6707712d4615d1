#include "core/layout_guess.h"

#include <algorithm>
#include <iterator>
#include <string_view>
#include <unordered_set>

#include "core/text_transform.h"

namespace korvex_app {

namespace {

// Bits the typed spelling must cost beyond the meant one before a word
// known on neither side is repaired; more when the words before it were
// typed as they stand, less when they had to be repaired.
constexpr double kBaseMargin[] = {14.0, 14.0, 14.0, 14.0, 9.0};
constexpr double kLongMargin = 6.0;
constexpr double kStreakBonus = 6.0;
constexpr double kNoContextPenalty = 4.0;
constexpr double kAwayPenalty = 24.0;
constexpr int kMaxWeight = 3;
// Bits each letter the typed reading leaves out as punctuation adds to the
// other one ("{ey" for "Хун").
constexpr double kLostLetterBits = 6.0;
// And each letter the meant reading leaves out as punctuation needs, when
// the words before were not repaired.
constexpr double kPunctuationLetterBits = 12.0;
// The typed spelling this much cheaper: it is the typed language's word.
constexpr double kSureMargin = -8.0;
// A typed word unknown to its language whose other spelling is a known
// word, while that language is being typed (a name, a typo): repaired only
// when it reads as no word of the language at all.
constexpr double kAwayKnownMargin = 12.0;
constexpr double kAwayKnownShortMargin = 20.0;
// A known word typed among words of its own language: the typed spelling
// may not be much likelier than it.
constexpr double kKnownMargin = -10.0;
constexpr double kInfinity = 1e9;
// Capitals with no repaired word before them: the typed spelling must cost
// this much more.
constexpr double kStrangeCapitalsMargin = 50.0;
// A known word of three letters first in a field: the typed spelling must
// cost this much more.
constexpr double kStrangeFirstMargin = 30.0;

template <size_t N>
bool Holds(const char32_t* const (&list)[N], const std::u32string& word) {
  return std::find(std::begin(list), std::end(list), word) != std::end(list);
}

// One- and two-letter words are told apart by these lists alone: the
// dictionaries hold too many abbreviations of that length.
bool IsShortWord(const std::u32string& word, bool english) {
  static const char32_t* const kEnglish[] = {
      U"a",  U"i",  U"am", U"an", U"as", U"at", U"be", U"by", U"do", U"go",
      U"he", U"hi", U"if", U"in", U"is", U"it", U"me", U"my", U"no", U"of",
      U"oh", U"ok", U"on", U"or", U"so", U"to", U"up", U"us", U"we"};
  static const char32_t* const kRussian[] = {
      U"а",  U"в",  U"и",  U"к",  U"о",  U"с",  U"у",  U"я",  U"ах", U"бы",
      U"во", U"вы", U"да", U"до", U"ее", U"её", U"ей", U"ем", U"ею", U"же",
      U"за", U"из", U"им", U"их", U"ко", U"ли", U"мы", U"на", U"не", U"ни",
      U"но", U"ну", U"об", U"ой", U"он", U"от", U"ох", U"по", U"со", U"та",
      U"те", U"то", U"ты", U"уж", U"эх", U"юг", U"б",  U"ж",  U"де", U"ум",
      U"ту", U"ад", U"ей"};
  return english ? Holds(kEnglish, word) : Holds(kRussian, word);
}

// The commonest words (a few hundred of each language's most frequent),
// for a word of both languages and for short words with nothing before
// them ("Еру" is "The", "Ult" is "Где").
bool IsCommonWord(const std::u32string& word, bool english) {
  static const std::unordered_set<std::u32string> kEnglish = {
      U"the", U"and", U"that", U"was", U"for", U"with", U"his", U"they",
      U"this", U"have", U"from", U"but", U"had", U"not", U"are", U"you",
      U"her", U"she", U"there", U"their", U"what", U"all", U"were", U"when",
      U"your", U"can", U"said", U"which", U"will", U"one", U"each", U"about",
      U"how", U"then", U"them", U"these", U"some", U"would", U"make", U"like",
      U"him", U"into", U"time", U"has", U"look", U"two", U"more", U"write",
      U"see", U"number", U"way", U"could", U"people", U"than", U"first",
      U"water", U"been", U"who", U"its", U"now", U"find", U"long", U"down",
      U"day", U"did", U"get", U"come", U"made", U"may", U"part", U"here",
      U"why", U"yes", U"never", U"life", U"man", U"love", U"know", U"our",
      U"out", U"any", U"new", U"only", U"just", U"very", U"good", U"much",
      U"say", U"says", U"got", U"goes", U"went", U"gone", U"does", U"done",
      U"take", U"took", U"think", U"thought", U"want", U"give", U"gave",
      U"tell", U"told", U"work", U"call", U"try", U"ask", U"need", U"feel",
      U"felt", U"leave", U"left", U"put", U"mean", U"keep", U"kept", U"let",
      U"seem", U"help", U"show", U"hear", U"play", U"run", U"move", U"live",
      U"hold", U"bring", U"sit", U"stand", U"pay", U"meet", U"set", U"read",
      U"open", U"walk", U"win", U"buy", U"wait", U"die", U"send", U"stay",
      U"fall", U"cut", U"kill", U"year", U"thing", U"woman", U"child",
      U"world", U"school", U"family", U"hand", U"place", U"case", U"week",
      U"home", U"night", U"point", U"room", U"mother", U"father", U"money",
      U"story", U"fact", U"month", U"lot", U"right", U"book", U"eye", U"word",
      U"side", U"kind", U"head", U"house", U"friend", U"power", U"hour",
      U"game", U"line", U"end", U"law", U"car", U"city", U"name", U"body",
      U"face", U"door", U"war", U"girl", U"boy", U"guy", U"air", U"god",
      U"men", U"old", U"big", U"high", U"small", U"next", U"last", U"great",
      U"little", U"own", U"other", U"same", U"few", U"bad", U"young", U"sure",
      U"true", U"real", U"whole", U"full", U"free", U"best", U"better",
      U"also", U"well", U"even", U"back", U"still", U"too", U"really", U"most",
      U"far", U"off", U"yet", U"again", U"ever", U"always", U"away", U"every",
      U"many", U"such", U"where", U"whom", U"whose", U"those", U"because",
      U"while", U"before", U"after", U"until", U"since", U"over", U"through",
      U"under", U"without", U"against", U"oh", U"hey", U"okay", U"yeah",
      U"please", U"thank", U"thanks"};
  static const std::unordered_set<std::u32string> kRussian = {
      U"что", U"это", U"как", U"так", U"все", U"она", U"его", U"только",
      U"было", U"мне", U"меня", U"еще", U"нет", U"когда", U"уже", U"вот",
      U"был", U"где", U"есть", U"они", U"себя", U"ничего", U"ему", U"теперь",
      U"тут", U"кто", U"тоже", U"этого", U"если", U"чем", U"была", U"сам",
      U"чтоб", U"без", U"будто", U"чего", U"раз", U"себе", U"под", U"будет",
      U"тогда", U"потом", U"надо", U"всех", U"никогда", U"можно", U"при",
      U"два", U"другой", U"хоть", U"после", U"над", U"больше", U"тот",
      U"через", U"эти", U"нас", U"про", U"всего", U"них", U"какая", U"много",
      U"разве", U"три", U"эту", U"моя", U"впрочем", U"хорошо", U"свою",
      U"этой", U"перед", U"иногда", U"лучше", U"чуть", U"том", U"нельзя",
      U"такой", U"более", U"всегда", U"конечно", U"всю", U"между", U"жизнь",
      U"люди", U"человек", U"время", U"день", U"дело", U"год", U"рук", U"руку",
      U"мир", U"вас", U"вам", U"нам", U"быть", U"ещё", U"для", U"или", U"были",
      U"даже", U"может", U"тебя", U"тебе", U"там", U"чтобы", U"этот", U"эта",
      U"этим", U"тем", U"того", U"той", U"свой", U"своей", U"свои", U"наш",
      U"наша", U"наши", U"мой", U"мою", U"мои", U"твой", U"один", U"одна",
      U"одно", U"две", U"лет", U"рука", U"руки", U"глаза", U"слово", U"бог",
      U"дом", U"сказал", U"сказала", U"говорит", U"знаю", U"знал", U"нужно",
      U"очень", U"здесь", U"сейчас", U"какой", U"который", U"которые",
      U"которая", U"которого", U"сразу", U"снова", U"также", U"потому",
      U"почему", U"зачем", U"куда", U"сколько", U"мало", U"меньше", U"плохо",
      U"вдруг", U"опять", U"совсем", U"почти", U"просто", U"именно", U"весь",
      U"вся", U"всё", U"всем", U"ним", U"ней", U"нее", U"него", U"кого",
      U"кому", U"чему", U"ведь", U"вообще", U"пока", U"сегодня", U"сын",
      U"мать", U"отец", U"друг", U"голова", U"земля", U"вода", U"работа",
      U"место", U"слова", U"ничто"};
  return (english ? kEnglish : kRussian).count(word) > 0;
}

bool IsUpper(char32_t c) { return ToLower(c) != c; }
bool IsLower(char32_t c) { return ToUpper(c) != c; }

// Command-line options, format directives, escapes and variables ("-r",
// "--sort", "%d", "\n", "$HOME"): code, on whichever layout it reads so.
bool IsCode(const std::u32string& text) {
  const size_t dashes = text.find_first_not_of(U'-');
  if (dashes == std::u32string::npos || dashes > 2 || text.size() < 2) {
    return false;
  }
  return dashes > 0 ? IsLower(text[dashes])
                    : std::u32string_view(U"%\\$").find(text[0]) !=
                              std::u32string_view::npos &&
                          IsLetter(text[1]);
}

// What may stand before a word in prose: quotes and brackets.
bool IsOpening(const std::u32string& lead) {
  return lead.find_first_not_of(U"\"'([{`\u00AB\u201C\u201E\u2018") ==
         std::u32string::npos;
}

// What may stand after a word in prose: closing quotes and brackets, and
// the punctuation that ends a sentence or a part of it.
bool IsClosing(const std::u32string& tail) {
  return tail.find_first_not_of(U"\"')]}.,:;!?\u00BB\u201D\u2019\u2026") ==
         std::u32string::npos;
}

// A token as one language reads it: the punctuation around it taken off,
// the rest a word of hyphen-joined parts (and apostrophes inside English
// ones), or not a word at all ("U.S", "www.example").
struct Reading {
  std::u32string core;  // lower-case
  size_t letters = 0;
  bool word = false;
  bool known = false;              // every part is a word of the language
  std::optional<double> cost;      // the parts' spelling cost
  bool camel = false;              // a capital after a small letter
  bool capitals = false;           // two or more letters, all capitals
  bool initial = false;            // one capital and a full stop: "S."
  bool abbreviation = false;       // a known short word and a full stop: "Mr."
  bool contraction = false;        // an apostrophe between letters: "it's"
  std::u32string lead;             // the punctuation before the letters
  std::u32string tail;             // and after them
};

// |spaceless|: words with punctuation and no space between them read as
// words; not so as typed, where that punctuation is the other layout's
// letters ("jib,rf" is "ошибка").
Reading Read(const std::u32string& text, const LanguageModel& model,
             bool english, bool spaceless) {
  Reading reading;
  const std::u32string lower = ToLower(text);
  size_t begin = 0, end = lower.size();
  while (begin < end && !model.InAlphabet(lower[begin])) {
    ++begin;
  }
  while (end > begin && !model.InAlphabet(lower[end - 1])) {
    --end;
  }
  reading.core = lower.substr(begin, end - begin);
  reading.lead = text.substr(0, begin);
  reading.tail = text.substr(end);
  reading.capitals = end - begin > 1;
  for (size_t i = begin; i < end; ++i) {
    reading.camel = reading.camel ||
                    (i > begin && IsUpper(text[i]) && IsLower(text[i - 1]));
    reading.capitals = reading.capitals && !IsLower(text[i]);
  }
  reading.initial = end == begin + 1 && IsUpper(text[begin]) &&
                    end < text.size() && (text[end] == U'.' || text[end] == U':');
  if (reading.core.empty()) {
    return reading;
  }
  reading.word = true;
  reading.known = true;
  double cost = 0;
  const std::u32string& core = reading.core;
  bool words = false, short_part = false;
  for (size_t i = 0, start = 0; i <= core.size() && reading.word;) {
    // Parts are joined by hyphens, initials end with a full stop, and
    // words typed without a space after their punctuation are words each
    // ("кто-то", "А.Круглов", "Дж.Свифт", "and/or", "anyway--he",
    // "он...сопротивляться").
    size_t next = i + 1;
    bool joint = i == core.size() || (core[i] == U'-' && core[i + 1] != U'-');
    bool initial = false;
    if (!joint && !model.InAlphabet(core[i]) && core[i] != U'\'') {
      next = core.find_first_of(model.alphabet(), i);
      const std::u32string run = core.substr(i, next - i);
      initial = run == U"." && i - start <= 2 && IsUpper(text[begin + start]);
      const bool prose = run.find_first_of(U",:;!?\"/\u2026") != std::u32string::npos ||
                         run.find(U"..") != std::u32string::npos ||
                         run.find(U"--") != std::u32string::npos;
      joint = initial || (prose && spaceless);
      words = words || (joint && !initial);
    }
    if (!joint) {
      ++i;
      continue;
    }
    const std::u32string part = core.substr(start, i - start);
    const bool capital = IsUpper(text[begin + start]);
    std::u32string letters;
    for (char32_t c : part) {
      if (model.InAlphabet(c)) {
        letters += c;
      } else if (!english || c != U'\'') {
        reading.word = false;
      } else {
        reading.contraction = true;
      }
    }
    const std::optional<double> part_cost = model.Cost(letters);
    if (!part_cost) {
      reading.word = false;
      break;
    }
    reading.letters += letters.size();
    // An initial, or an abbreviation, ends with a full stop ("A.D.", "Mr.").
    const bool abbreviation = begin + i < text.size() && text[begin + i] == U'.';
    reading.known = reading.known &&
                    ((initial && capital) ||
                     (letters.size() > 1 ? model.Knows(part)
                                         : IsShortWord(part, english) ||
                                               (abbreviation && capital)));
    reading.abbreviation =
        abbreviation && letters.size() <= 3 && model.Knows(part) && capital;
    // Words apart are words of two letters at least.
    short_part = short_part || (letters.size() <= 2 && !IsShortWord(part, english)) ||
                 letters.size() < 2;
    cost += *part_cost;
    start = i = next;
  }
  // Words apart count only when each is a word of the language.
  reading.known = words ? reading.known && !short_part
                        : reading.known || model.Knows(reading.core);
  reading.word = reading.word && (!words || reading.known);
  if (reading.word) {
    reading.cost = cost;
  } else {
    reading.known = false;
  }
  return reading;
}

// A word of its language but for one key: a neighbouring key's letter in
// one place, or two letters swapped ("ьудет" for "будет", "Dhen" for
// "When").
bool OneKeyOff(const Reading& reading, const LanguageModel& model,
               const KeyLayout& layout) {
  const std::u32string& core = reading.core;
  if (!reading.word || reading.letters != core.size()) {
    return false;
  }
  std::u32string near = core;
  for (size_t i = 0; i < core.size(); ++i) {
    for (char32_t c : NeighbourChars(core[i], layout)) {
      near[i] = c;
      if (model.InAlphabet(c) && model.Knows(near)) {
        return true;
      }
    }
    near[i] = core[i];
    if (i + 1 < core.size()) {
      std::swap(near[i], near[i + 1]);
      if (model.Knows(near)) {
        return true;
      }
      std::swap(near[i], near[i + 1]);
    }
  }
  return false;
}

// How many bits more the typed spelling costs than the meant one, per
// letter of the meant one.
double Margin(const Reading& typed, const Reading& meant) {
  return *typed.cost / (typed.letters + 1) * (meant.letters + 1) - *meant.cost;
}

}  // namespace

// A repair says more of the words to come than a word that stayed: the
// user is on the wrong layout.
WordContext Follow(const WordContext& context, int language, bool repaired) {
  const int weight = repaired ? 2 : 1;
  if (language == context.language) {
    return WordContext{language, repaired,
                       std::min(context.weight + weight, kMaxWeight)};
  }
  if (context.weight <= 1) {
    return WordContext{language, repaired, weight};
  }
  return WordContext{context.language, context.repaired, context.weight - 1};
}

const LanguageModel* LayoutGuesser::ModelFor(const KeyLayout& layout) const {
  switch (layout.primary_language()) {
    case kEnglishLanguage:
      return english_;
    case kRussianLanguage:
      return russian_;
    default:
      return nullptr;
  }
}

std::optional<std::u32string> LayoutGuesser::Decide(
    const std::u32string& typed, const KeyLayout& from, const KeyLayout& to,
    const WordContext& context, WordContext* next) const {
  bool sure = false;
  // A number joined to words by a hyphen: the words are judged ("10-ktnybv"
  // is "10-летним"); other words with digits stay.
  const size_t number = typed.find_first_not_of(U"0123456789");
  const size_t words = number > 0 && number != std::u32string::npos &&
                               typed[number] == U'-'
                           ? number + 1
                           : 0;
  std::optional<std::u32string> meant =
      Judge(typed.substr(words), from, to, context, &sure);
  if (meant) {
    meant = typed.substr(0, words) + *meant;
  }
  if (next) {
    *next = meant  ? Follow(context, to.primary_language(), true)
            : sure ? Follow(context, from.primary_language(), false)
                   : context;
  }
  return meant;
}

std::optional<std::u32string> LayoutGuesser::Judge(
    const std::u32string& typed, const KeyLayout& from, const KeyLayout& to,
    const WordContext& context, bool* sure) const {
  const LanguageModel* typed_model = ModelFor(from);
  const LanguageModel* meant_model = ModelFor(to);
  if (!typed_model || !meant_model || typed_model == meant_model ||
      std::any_of(typed.begin(), typed.end(), IsDigit)) {
    return std::nullopt;
  }
  const bool english_typed = typed_model == english_;
  const bool toward = context.language == to.primary_language();
  const bool away = context.language == from.primary_language();
  const bool streak = toward && context.repaired;

  std::u32string meant = ConvertKeys(typed, from, to);
  if (IsCode(typed) || IsCode(meant)) {
    return std::nullopt;
  }
  const Reading as_typed = Read(typed, *typed_model, english_typed, false);
  Reading as_meant = Read(meant, *meant_model, !english_typed, true);
  if (!as_meant.known && !as_typed.core.empty()) {
    // Punctuation the typed layout gives, kept as typed: "ghbdtn," is
    // "привет," by someone used to the other layout's comma.
    size_t end = typed.size();
    while (!typed_model->InAlphabet(ToLower(typed[end - 1]))) {
      --end;
    }
    const std::u32string kept = ConvertKeys(typed.substr(0, end), from, to) +
                                typed.substr(end);
    Reading kept_reading = Read(kept, *meant_model, !english_typed, true);
    if (kept_reading.known) {
      meant = kept;
      as_meant = std::move(kept_reading);
    }
  }
  // Capitals inside on both layouts: a name of code ("CamelCase"), unless
  // only the other spelling is a word ("ЬсСщн" is "McCoy").
  if (meant == typed ||
      (as_typed.camel && as_meant.camel && (as_typed.known || !as_meant.known))) {
    return std::nullopt;
  }
  // Capitals alone on both layouts, or with letters the other layout's
  // punctuation keys add ("IE." is no "ШУю"): mostly abbreviations, which
  // no dictionary holds ("ЙЖ" is "Q:").
  const bool capitals = as_typed.capitals &&
                        (as_meant.capitals || as_meant.letters > as_typed.letters);
  if (as_meant.core.empty()) {
    // Punctuation alone, typed on the layout the words before it were
    // repaired from ("///", or "ююю" that is no word, for "...").
    return streak && !as_typed.known ? std::optional(meant) : std::nullopt;
  }
  if (!as_meant.word) {
    return std::nullopt;
  }
  const bool typed_short = as_typed.word && as_typed.core.size() <= 2 &&
                           (IsShortWord(as_typed.core, english_typed) ||
                            as_typed.initial);
  if (as_meant.core.size() <= 2) {
    *sure = typed_short || (as_typed.known && as_typed.core.size() > 2);
    if (!IsShortWord(as_meant.core, !english_typed) && !as_meant.initial &&
        !as_meant.abbreviation) {
      return std::nullopt;
    }
    if (*sure) {
      return streak ? std::optional(meant) : std::nullopt;
    }
    // A lone letter is as often a Latin one in a Cyrillic text ("C:"), and
    // capitals an abbreviation ("NT"); with other punctuation than prose's
    // before or after it on both layouts, code ("-r,", "%d", "C++").
    const bool letter = as_meant.core.size() == 1 && !as_meant.initial;
    if (letter && ((!IsOpening(as_typed.lead) && !IsOpening(as_meant.lead)) ||
                   (!IsClosing(as_typed.tail) && !IsClosing(as_meant.tail)))) {
      return std::nullopt;
    }
    return streak || (!away && !capitals && !(letter && toward))
               ? std::optional(meant)
               : std::nullopt;
  }
  if (as_typed.known) {
    *sure = !as_meant.known;
    // A word of both languages follows the words before it, unless only
    // the typed reading is among the commonest words ("The" in a Russian
    // text is no "Еру"); the first in a field, the commoner reading.
    const bool typed_common = IsCommonWord(as_typed.core, english_typed);
    const bool meant_common = IsCommonWord(as_meant.core, !english_typed);
    const bool follows = toward ? meant_common || !typed_common
                                : context.language == 0 && meant_common &&
                                      !typed_common;
    return as_meant.known && follows && (streak || !capitals || meant_common)
               ? std::optional(meant)
               : std::nullopt;
  }
  // An English contraction: no Russian word has its shape ("Шеэы" is
  // "It's").
  if (as_meant.known && as_meant.contraction) {
    return meant;
  }
  if (capitals && !streak && as_meant.letters <= 3 &&
      !IsCommonWord(as_meant.core, !english_typed)) {
    return std::nullopt;
  }
  const bool guarded = away || (capitals && !streak);
  if (as_meant.known && as_meant.letters <= 3 &&
      (guarded || context.language == 0)) {
    // Three letters with nothing before them, or typed among words of the
    // typed language: only the commonest words ("csv" is no "сым", "rnj"
    // is "кто"), or a first word that reads as none of its language ("Lkz"
    // is "Для").
    const bool strange = !guarded && as_typed.cost &&
                         Margin(as_typed, as_meant) > kStrangeFirstMargin;
    return strange || IsCommonWord(as_meant.core, !english_typed)
               ? std::optional(meant)
               : std::nullopt;
  }
  // A typed word one key off a word of its language is that word mistyped,
  // unless the words before were repaired.
  const bool mistyped = !streak && as_typed.letters >= 4 &&
                        OneKeyOff(as_typed, *typed_model, from);
  if (as_meant.known) {
    const bool careful = guarded || (mistyped && as_typed.letters > 4 &&
                                     !IsCommonWord(as_meant.core, !english_typed));
    const double needed = streak    ? -kInfinity
                          : careful ? (as_meant.letters <= 4 ? kAwayKnownShortMargin
                                                             : kAwayKnownMargin)
                          : toward  ? kKnownMargin
                                    : -kInfinity;
    return !as_typed.cost || Margin(as_typed, as_meant) > needed
               ? std::optional(meant)
               : std::nullopt;
  }
  if (!as_typed.cost) {
    // Punctuation inside as typed ("www.example.ru"), or another script.
    return streak && !as_typed.core.empty() ? std::optional(meant)
                                            : std::nullopt;
  }
  const double margin = Margin(as_typed, as_meant);
  *sure = margin < kSureMargin;
  if (mistyped) {
    return std::nullopt;
  }
  // Three letters spell too little for the letters alone to tell ("pls",
  // "dns", "csv"), unless the words before were of the other language.
  if (as_meant.letters <= 3 && !toward) {
    return std::nullopt;
  }
  // Capitals alone: only while the words before were repaired, or when
  // they read as nothing of the typed language ("ЙЩЕВЖ" is "QOTD:").
  if (capitals && !streak && margin <= kStrangeCapitalsMargin) {
    return std::nullopt;
  }
  double needed = as_meant.letters < std::size(kBaseMargin)
                      ? kBaseMargin[as_meant.letters]
                      : kLongMargin;
  needed += streak ? -kStreakBonus
            : away ? kAwayPenalty
            : toward ? 0.0
                     : kNoContextPenalty;
  const double lost = static_cast<double>(as_meant.letters) - as_typed.letters;
  if (streak) {
    needed = capitals ? 0.0 : needed;
    needed -= kLostLetterBits * lost;
  } else {
    // Keys that type letters here and punctuation there ("Жэнщин" is no
    // ":'yoby", but "Скшещб" is "Crito,").
    needed -= kPunctuationLetterBits * std::min(lost, 0.0);
  }
  return margin > needed ? std::optional(meant) : std::nullopt;
}

}  // namespace korvex_app
