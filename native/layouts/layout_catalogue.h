#ifndef KORVEX_NATIVE_LAYOUTS_LAYOUT_CATALOGUE_H_
#define KORVEX_NATIVE_LAYOUTS_LAYOUT_CATALOGUE_H_

#include <windows.h>

#include <string>
#include <vector>

// The installed keyboard layouts with names in the user's language, read
// anew at every call.

struct LayoutEntry {
  std::string id;     // the handle's low 32 bits, "%08X"
  std::wstring name;
};

constexpr wchar_t kLayoutCatalogueKey[] =
    L"SYSTEM\\CurrentControlSet\\Control\\Keyboard Layouts";

// One entry per handle of the layout list, in its order; equal names get
// their language in parentheses.
std::vector<LayoutEntry> ListKeyboardLayouts();

// The 8 upper-case hexadecimal digits of the handle's low 32 bits.
std::string LayoutIdentifier(HKL layout);

// The catalogue's display name, else its "Layout Text"; empty when neither
// is there.
std::wstring LayoutNameFromRegistry(HKL layout);

// The language's localized name, else its id as four hexadecimal digits.
std::wstring LanguageDisplayName(WORD language_id);

// A REG_SZ value of at most 1024 bytes, up to its first NUL or the end of
// the buffer; empty for any other type, a longer value or a failed read.
std::wstring ReadRegistryString(HKEY key, const wchar_t* value_name);

#endif  // KORVEX_NATIVE_LAYOUTS_LAYOUT_CATALOGUE_H_
