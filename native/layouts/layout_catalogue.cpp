#include "layouts/layout_catalogue.h"

#include <shlwapi.h>

#include <cstdint>
#include <cstdio>
#include <cwchar>
#include <iterator>

#include "common/text_conversion.h"
#include "injection/layout_switch.h"

namespace {

constexpr DWORD kRegistryStringBytes = 1024;
constexpr DWORD kSubkeyNameUnits = 64;
constexpr UINT kIndirectNameUnits = 256;


std::wstring Hex(unsigned value, const wchar_t* format) {
  wchar_t text[16] = {};
  std::swprintf(text, 16, format, value);
  return text;
}

// The catalogue subkey whose "Layout Id" is |variant|, ignoring case.
std::wstring FindVariantSubkey(const std::wstring& variant) {
  HKEY catalogue = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kLayoutCatalogueKey, 0, KEY_READ,
                    &catalogue) != ERROR_SUCCESS) {
    return std::wstring();
  }
  std::wstring found;
  for (DWORD index = 0; found.empty(); ++index) {
    wchar_t name[kSubkeyNameUnits] = {};
    DWORD length = kSubkeyNameUnits;
    if (RegEnumKeyExW(catalogue, index, name, &length, nullptr, nullptr,
                      nullptr, nullptr) != ERROR_SUCCESS) {
      break;
    }
    const std::wstring subkey_name =
        TextWithin(name, length < kSubkeyNameUnits ? length : kSubkeyNameUnits);
    HKEY subkey = nullptr;
    if (RegOpenKeyExW(catalogue, subkey_name.c_str(), 0, KEY_READ, &subkey) !=
        ERROR_SUCCESS) {
      continue;
    }
    const std::wstring layout_id = ReadRegistryString(subkey, L"Layout Id");
    RegCloseKey(subkey);
    if (_wcsicmp(layout_id.c_str(), variant.c_str()) == 0) {
      found = subkey_name;
    }
  }
  RegCloseKey(catalogue);
  return found;
}

}  // namespace

std::wstring ReadRegistryString(HKEY key, const wchar_t* value_name) {
  wchar_t buffer[kRegistryStringBytes / sizeof(wchar_t)] = {};
  DWORD type = 0;
  DWORD size = kRegistryStringBytes;
  if (RegQueryValueExW(key, value_name, nullptr, &type,
                       reinterpret_cast<BYTE*>(buffer),
                       &size) != ERROR_SUCCESS ||
      type != REG_SZ) {
    return std::wstring();
  }
  // A value stored without its terminator can fill the whole buffer.
  return TextWithin(buffer, std::size(buffer));
}

std::string LayoutIdentifier(HKL layout) {
  char text[16] = {};
  std::snprintf(text, sizeof(text), "%08X",
                static_cast<unsigned>(reinterpret_cast<uintptr_t>(layout) &
                                      0xFFFFFFFFu));
  return text;
}

std::wstring LayoutNameFromRegistry(HKL layout) {
  const unsigned device =
      static_cast<unsigned>((reinterpret_cast<uintptr_t>(layout) >> 16) &
                            0xFFFFu);
  const std::wstring klid = (device & 0xF000) != 0xF000
                                ? Hex(device, L"%08X")
                                : FindVariantSubkey(Hex(device & 0x0FFF, L"%04X"));
  if (klid.empty()) {
    return std::wstring();
  }
  HKEY key = nullptr;
  const std::wstring path = std::wstring(kLayoutCatalogueKey) + L"\\" + klid;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) !=
      ERROR_SUCCESS) {
    return std::wstring();
  }
  std::wstring name;
  const std::wstring display = ReadRegistryString(key, L"Layout Display Name");
  if (!display.empty()) {
    wchar_t resolved[kIndirectNameUnits] = {};
    if (SUCCEEDED(SHLoadIndirectString(display.c_str(), resolved,
                                       kIndirectNameUnits, nullptr))) {
      name = TextWithin(resolved, kIndirectNameUnits);
    }
  }
  if (name.empty()) {
    name = ReadRegistryString(key, L"Layout Text");
  }
  RegCloseKey(key);
  return name;
}

std::wstring LanguageDisplayName(WORD language_id) {
  wchar_t locale[LOCALE_NAME_MAX_LENGTH] = {};
  if (LCIDToLocaleName(language_id, locale, LOCALE_NAME_MAX_LENGTH, 0) > 0) {
    wchar_t name[128] = {};
    if (GetLocaleInfoEx(locale, LOCALE_SLOCALIZEDDISPLAYNAME, name, 128) > 0) {
      return TextWithin(name, 128);
    }
  }
  return Hex(language_id, L"%04X");
}

std::vector<LayoutEntry> ListKeyboardLayouts() {
  std::vector<LayoutEntry> entries;
  const int count = layout_functions.get_keyboard_layout_list(0, nullptr);
  if (count < 1) {
    return entries;
  }
  std::vector<HKL> layouts(static_cast<size_t>(count));
  const int fetched =
      layout_functions.get_keyboard_layout_list(count, layouts.data());
  if (fetched < 1) {
    return entries;
  }
  layouts.resize(static_cast<size_t>(fetched < count ? fetched : count));

  auto language = [](HKL layout) {
    return LanguageDisplayName(
        static_cast<WORD>(reinterpret_cast<uintptr_t>(layout) & 0xFFFFu));
  };
  for (HKL layout : layouts) {
    std::wstring name = LayoutNameFromRegistry(layout);
    if (name.empty()) {
      name = language(layout);
    }
    entries.push_back({LayoutIdentifier(layout), std::move(name)});
  }
  // Later comparisons see the names already extended, so of three equal
  // names only the first two are told apart.
  for (size_t i = 0; i < entries.size(); ++i) {
    for (size_t j = i + 1; j < entries.size(); ++j) {
      if (entries[i].name == entries[j].name) {
        entries[i].name += L" (" + language(layouts[i]) + L")";
        entries[j].name += L" (" + language(layouts[j]) + L")";
      }
    }
  }
  return entries;
}
