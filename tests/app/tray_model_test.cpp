// The notification-area menu as the tray plug-in receives it, and what the
// plug-in's calls back ask for.

#include <gtest/gtest.h>

#include "core/tray_model.h"

namespace korvex_app {
namespace {

using flutter::EncodableList;
using flutter::EncodableMap;
using flutter::EncodableValue;

const EncodableValue* Field(const EncodableValue& map, const char* key) {
  const auto& fields = std::get<EncodableMap>(map);
  const auto found = fields.find(EncodableValue(key));
  return found == fields.end() ? nullptr : &found->second;
}

EncodableValue Click(const EncodableValue& id) {
  return EncodableValue(EncodableMap{{EncodableValue("id"), id}});
}

TEST(TrayModelTest, MenuSaysTheStateAndClicksFindTheirItem) {
  const TrayState state{false, true, true};
  const EncodableValue menu = TrayMenuMap(state);
  const auto& items = std::get<EncodableList>(*Field(menu, "items"));
  ASSERT_EQ(items.size(), 7u);
  const struct {
    const char* label;
    const char* type;
    TrayCommand command;
  } expected[] = {
      {"&Automatic repair", "checkbox", TrayCommand::kToggleAutoRepair},
      {"&Key sounds", "checkbox", TrayCommand::kToggleKeySounds},
      {"&Start with Windows", "checkbox", TrayCommand::kToggleAutostart},
      {"", "separator", TrayCommand::kNone},
      {"&Open settings folder", "normal", TrayCommand::kOpenSettingsFolder},
      {"", "separator", TrayCommand::kNone},
      {"&Quit", "normal", TrayCommand::kQuit},
  };
  const bool checks[] = {state.auto_repair, state.key_sounds, state.autostart};
  for (size_t i = 0; i < items.size(); ++i) {
    const EncodableValue& item = items[i];
    EXPECT_EQ(*Field(item, "label"), EncodableValue(expected[i].label)) << i;
    EXPECT_EQ(*Field(item, "type"), EncodableValue(expected[i].type)) << i;
    const EncodableValue* checked = Field(item, "checked");
    if (i < 3) {
      ASSERT_TRUE(checked) << i;
      EXPECT_EQ(*checked, EncodableValue(checks[i])) << i;
    } else {
      EXPECT_FALSE(checked) << i;
    }
    // The id the plug-in reports back leads to the item's command.
    EXPECT_EQ(TrayCommandFor("onTrayMenuItemClick", Click(*Field(item, "id"))),
              expected[i].command)
        << i;
  }
  EXPECT_EQ(TrayMenuText(state),
            "[ ] Automatic repair, [x] Key sounds, [x] Start with Windows, "
            "Open settings folder, Quit");
  EXPECT_EQ(TrayToolTip(state), "Korvex: automatic repair off, key sounds on");

  const struct {
    const char* method;
    EncodableValue arguments;
    TrayCommand command;
  } calls[] = {
      {"onTrayIconMouseDown", EncodableValue(), TrayCommand::kToggleAutoRepair},
      {"onTrayIconRightMouseDown", EncodableValue(), TrayCommand::kShowMenu},
      {"onTrayMenuItemClick", Click(EncodableValue(0)), TrayCommand::kNone},
      {"onTrayMenuItemClick", Click(EncodableValue(8)), TrayCommand::kNone},
      {"onTrayMenuItemClick", Click(EncodableValue("7")), TrayCommand::kNone},
      {"onTrayMenuItemClick", EncodableValue(7), TrayCommand::kNone},
      {"onTrayMenuItemClick", EncodableValue(EncodableMap{}), TrayCommand::kNone},
      {"onTrayIconMouseDownX", Click(EncodableValue(7)), TrayCommand::kNone},
  };
  for (const auto& call : calls) {
    EXPECT_EQ(TrayCommandFor(call.method, call.arguments), call.command)
        << call.method;
  }
}

}  // namespace
}  // namespace korvex_app
