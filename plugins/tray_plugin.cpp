#include "tray_plugin.h"

#include <flutter/standard_method_codec.h>
#include <shellapi.h>

#include <algorithm>
#include <limits>

namespace {

using flutter::EncodableList;
using flutter::EncodableMap;
using flutter::EncodableValue;
using MenuEntry = TrayPlugin::MenuEntry;

// What the host's balloons rely on: the icon of the runner window with
// identifier 1 that reports to WM_USER + 1.
constexpr UINT kIconId = 1;
constexpr UINT kCallbackMessage = WM_USER + 1;
constexpr int kProgramIconResource = 101;
// A menu map from the channel is not trusted to be small or shallow.
constexpr int kMaxMenuDepth = 8;
constexpr size_t kMaxMenuEntries = 1000;

const EncodableValue* Find(const EncodableValue* map_value, const char* key) {
  const auto* map = map_value ? std::get_if<EncodableMap>(map_value) : nullptr;
  if (!map) {
    return nullptr;
  }
  const auto found = map->find(EncodableValue(key));
  return found == map->end() ? nullptr : &found->second;
}

std::string StringOf(const EncodableValue* value) {
  const auto* text = value ? std::get_if<std::string>(value) : nullptr;
  return text ? *text : std::string();
}

bool BoolOf(const EncodableValue* value) {
  const auto* flag = value ? std::get_if<bool>(value) : nullptr;
  return flag && *flag;
}

std::optional<int64_t> IntOf(const EncodableValue* value) {
  if (const auto* small = value ? std::get_if<int32_t>(value) : nullptr) {
    return *small;
  }
  if (const auto* large = value ? std::get_if<int64_t>(value) : nullptr) {
    return *large;
  }
  return std::nullopt;
}

// Invalid UTF-8 becomes replacement characters.
std::wstring Wide(const std::string& text) {
  if (text.empty()) {
    return std::wstring();
  }
  const int size = MultiByteToWideChar(CP_UTF8, 0, text.data(),
                                       static_cast<int>(text.size()), nullptr, 0);
  std::wstring result(size > 0 ? size : 0, L'\0');
  if (size > 0) {
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                        &result[0], size);
  }
  return result;
}

std::vector<MenuEntry> ParseMenu(const EncodableValue* menu, int depth,
                                 size_t& budget) {
  std::vector<MenuEntry> entries;
  const EncodableValue* items = Find(menu, "items");
  const auto* list = items ? std::get_if<EncodableList>(items) : nullptr;
  if (!list || depth > kMaxMenuDepth) {
    return entries;
  }
  for (const EncodableValue& item : *list) {
    if (budget == 0) {
      break;
    }
    if (!std::holds_alternative<EncodableMap>(item)) {
      continue;
    }
    --budget;
    MenuEntry entry;
    const std::string type = StringOf(Find(&item, "type"));
    entry.kind = type == "separator"  ? MenuEntry::Kind::kSeparator
                 : type == "checkbox" ? MenuEntry::Kind::kCheckbox
                 : type == "submenu"  ? MenuEntry::Kind::kSubmenu
                                      : MenuEntry::Kind::kNormal;
    entry.id = IntOf(Find(&item, "id"));
    entry.label = Wide(StringOf(Find(&item, "label")));
    entry.checked = BoolOf(Find(&item, "checked"));
    entry.disabled = BoolOf(Find(&item, "disabled"));
    if (entry.kind == MenuEntry::Kind::kSubmenu) {
      entry.submenu = ParseMenu(Find(&item, "submenu"), depth + 1, budget);
    }
    entries.push_back(std::move(entry));
  }
  return entries;
}

// Appends |entries| to |menu|; an item's command is its place in |ids|
// plus one, so that any id the application chose can be reported.
void BuildMenu(HMENU menu, const std::vector<MenuEntry>& entries,
               std::vector<std::optional<int64_t>>& ids) {
  for (const MenuEntry& entry : entries) {
    UINT flags = MF_STRING | (entry.disabled ? MF_GRAYED : 0);
    switch (entry.kind) {
      case MenuEntry::Kind::kSeparator:
        AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
        break;
      case MenuEntry::Kind::kSubmenu:
        if (HMENU submenu = CreatePopupMenu()) {
          BuildMenu(submenu, entry.submenu, ids);
          if (!AppendMenuW(menu, flags | MF_POPUP,
                           reinterpret_cast<UINT_PTR>(submenu),
                           entry.label.c_str())) {
            DestroyMenu(submenu);
          }
        }
        break;
      case MenuEntry::Kind::kCheckbox:
        flags |= entry.checked ? MF_CHECKED : MF_UNCHECKED;
        [[fallthrough]];
      case MenuEntry::Kind::kNormal:
        ids.push_back(entry.id);
        AppendMenuW(menu, flags, ids.size(), entry.label.c_str());
        break;
    }
  }
}

EncodableValue IdValue(int64_t id) {
  // As the application's codec would send it back.
  if (id >= std::numeric_limits<int32_t>::min() &&
      id <= std::numeric_limits<int32_t>::max()) {
    return EncodableValue(static_cast<int32_t>(id));
  }
  return EncodableValue(id);
}

HICON ProgramIcon() {
  // Shared: never destroyed.
  return static_cast<HICON>(LoadImageW(
      GetModuleHandleW(nullptr), MAKEINTRESOURCEW(kProgramIconResource),
      IMAGE_ICON, GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON),
      LR_SHARED));
}

NOTIFYICONDATAW IconData(HWND window) {
  NOTIFYICONDATAW data = {};
  data.cbSize = sizeof(data);
  data.hWnd = window;
  data.uID = kIconId;
  return data;
}

}  // namespace

TrayPlugin::TrayPlugin(flutter::PluginRegistrarWindows* registrar)
    : registrar_(registrar),
      taskbar_created_(RegisterWindowMessageW(L"TaskbarCreated")) {
  channel_ = std::make_unique<flutter::MethodChannel<EncodableValue>>(
      registrar->messenger(), "tray_manager",
      &flutter::StandardMethodCodec::GetInstance());
  channel_->SetMethodCallHandler(
      [this](const flutter::MethodCall<EncodableValue>& call,
             std::unique_ptr<flutter::MethodResult<EncodableValue>> result) {
        HandleCall(call, std::move(result));
      });
  window_proc_id_ = registrar->RegisterTopLevelWindowProcDelegate(
      [this](HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
        return HandleWindowMessage(window, message, wparam, lparam);
      });
}

TrayPlugin::~TrayPlugin() {
  // The icon goes with the program.
  RemoveIcon();
  if (icon_from_file_) {
    DestroyIcon(icon_);
  }
  registrar_->UnregisterTopLevelWindowProcDelegate(window_proc_id_);
  channel_->SetMethodCallHandler(nullptr);
}

HWND TrayPlugin::TopLevelWindow() const {
  flutter::FlutterView* view = registrar_->GetView();
  return view ? GetAncestor(view->GetNativeWindow(), GA_ROOT) : nullptr;
}

bool TrayPlugin::ApplyIcon(HWND window) {
  NOTIFYICONDATAW data = IconData(window);
  // The standard tool tip needs NIF_SHOWTIP under the version-4 layout.
  data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP | NIF_SHOWTIP;
  data.uCallbackMessage = kCallbackMessage;
  data.hIcon = icon_;
  size_t length = std::min(tool_tip_.size(), ARRAYSIZE(data.szTip) - 1);
  if (length < tool_tip_.size() && length > 0 &&
      IS_HIGH_SURROGATE(tool_tip_[length - 1])) {
    --length;
  }
  tool_tip_.copy(data.szTip, length);
  // The shell may have lost the icon (a restart), or kept it for us.
  const bool known = icon_window_ == window;
  if (!Shell_NotifyIconW(known ? NIM_MODIFY : NIM_ADD, &data) &&
      !Shell_NotifyIconW(known ? NIM_ADD : NIM_MODIFY, &data)) {
    return false;
  }
  if (icon_window_ && icon_window_ != window) {
    RemoveIcon();
  }
  icon_window_ = window;
  data.uVersion = NOTIFYICON_VERSION_4;
  Shell_NotifyIconW(NIM_SETVERSION, &data);
  return true;
}

void TrayPlugin::RemoveIcon() {
  if (icon_window_) {
    NOTIFYICONDATAW data = IconData(icon_window_);
    Shell_NotifyIconW(NIM_DELETE, &data);
    icon_window_ = nullptr;
  }
}

void TrayPlugin::SetIcon(const EncodableValue* arguments) {
  // A path that gives no icon shows the program's own.
  const std::wstring path = Wide(StringOf(Find(arguments, "iconPath")));
  HICON loaded = path.empty() ? nullptr
                              : static_cast<HICON>(LoadImageW(
                                    nullptr, path.c_str(), IMAGE_ICON,
                                    GetSystemMetrics(SM_CXSMICON),
                                    GetSystemMetrics(SM_CYSMICON),
                                    LR_LOADFROMFILE));
  icon_ = loaded ? loaded : ProgramIcon();
  icon_from_file_ = loaded != nullptr;
}

void TrayPlugin::PopUpMenu() {
  HWND window = icon_window_ ? icon_window_ : TopLevelWindow();
  if (!window || menu_.empty() || tracking_menu_) {
    return;
  }
  HMENU menu = CreatePopupMenu();
  if (!menu) {
    return;
  }
  std::vector<std::optional<int64_t>> ids;
  BuildMenu(menu, menu_, ids);
  POINT at = {};
  GetCursorPos(&at);
  // Without the foreground the menu stays open when the user clicks
  // elsewhere.
  SetForegroundWindow(window);
  tracking_menu_ = true;
  const UINT chosen = static_cast<UINT>(TrackPopupMenu(
      menu, TPM_RETURNCMD | TPM_NONOTIFY | TPM_RIGHTBUTTON | TPM_BOTTOMALIGN,
      at.x, at.y, 0, window, nullptr));
  tracking_menu_ = false;
  // The menu is only dismissed for good once its owner gets a message.
  PostMessageW(window, WM_NULL, 0, 0);
  DestroyMenu(menu);
  if (chosen > 0 && chosen <= ids.size() && ids[chosen - 1]) {
    channel_->InvokeMethod(
        "onTrayMenuItemClick",
        std::make_unique<EncodableValue>(EncodableMap{
            {EncodableValue("id"), IdValue(*ids[chosen - 1])}}));
  }
  if (close_after_menu_) {
    close_after_menu_ = false;
    PostMessageW(window, WM_CLOSE, 0, 0);
  }
}

void TrayPlugin::HandleCall(
    const flutter::MethodCall<EncodableValue>& call,
    std::unique_ptr<flutter::MethodResult<EncodableValue>> result) {
  const std::string& method = call.method_name();
  const EncodableValue* arguments = call.arguments();
  if (method == "setIcon") {
    HICON replaced = icon_from_file_ ? icon_ : nullptr;
    SetIcon(arguments);
    icon_wanted_ = true;
    HWND window = TopLevelWindow();
    const bool shown = window && ApplyIcon(window);
    // Only once the shell has the new one.
    if (replaced && replaced != icon_) {
      DestroyIcon(replaced);
    }
    result->Success(EncodableValue(shown));
  } else if (method == "setToolTip") {
    tool_tip_ = Wide(StringOf(Find(arguments, "toolTip")));
    result->Success(EncodableValue(icon_window_ && ApplyIcon(icon_window_)));
  } else if (method == "setContextMenu") {
    size_t budget = kMaxMenuEntries;
    menu_ = ParseMenu(Find(arguments, "menu"), 0, budget);
    result->Success(EncodableValue(true));
  } else if (method == "popUpContextMenu") {
    // Answered when the menu has closed, as the published plug-in does.
    PopUpMenu();
    result->Success(EncodableValue(true));
  } else if (method == "destroy") {
    icon_wanted_ = false;
    RemoveIcon();
    result->Success(EncodableValue(true));
  } else {
    result->NotImplemented();
  }
}

std::optional<LRESULT> TrayPlugin::HandleWindowMessage(HWND, UINT message,
                                                       WPARAM, LPARAM lparam) {
  if (message == kCallbackMessage) {
    // The low word holds the mouse message in both callback layouts.
    if (LOWORD(lparam) == WM_LBUTTONUP) {
      channel_->InvokeMethod("onTrayIconMouseDown", nullptr);
    } else if (LOWORD(lparam) == WM_RBUTTONUP) {
      channel_->InvokeMethod("onTrayIconRightMouseDown", nullptr);
    }
  } else if (message == WM_CLOSE && tracking_menu_) {
    // Closing now would destroy this plug-in under the menu's loop: the
    // menu ends first, and the close follows it.
    close_after_menu_ = true;
    EndMenu();
    return 0;
  } else if (message == WM_DESTROY) {
    RemoveIcon();
  } else if (message == taskbar_created_ && taskbar_created_ && icon_wanted_) {
    // The shell has (re)started, at log-on perhaps after this program: it
    // holds none of the icons it had.
    icon_window_ = nullptr;
    ApplyIcon(TopLevelWindow());
  }
  return std::nullopt;
}
