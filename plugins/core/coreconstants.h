#pragma once

// Ids shared by Core and the plug-ins that add to its menus.
namespace Core {
namespace Constants {

const char C_GLOBAL[] = "Global Context";

const char MENU_BAR[] = "App.MenuBar";
const char M_FILE[] = "App.Menu.File";
const char M_TOOLS[] = "App.Menu.Tools";
const char M_HELP[] = "App.Menu.Help";

const char G_MENU_FILE[] = "App.Group.MenuBar.File";
const char G_MENU_TOOLS[] = "App.Group.MenuBar.Tools";
const char G_MENU_HELP[] = "App.Group.MenuBar.Help";

const char G_FILE_OPEN[] = "App.Group.File.Open";
const char G_FILE_SAVE[] = "App.Group.File.Save";
const char G_FILE_OTHER[] = "App.Group.File.Other";

const char G_TOOLS_OPTIONS[] = "App.Group.Tools.Options";
const char G_TOOLS_OTHER[] = "App.Group.Tools.Other";

const char G_HELP_ABOUT[] = "App.Group.Help.About";

const char EXIT[] = "App.Exit";
const char ABOUT[] = "App.About";

const char VERSION[] = "5.48.00";
const char APPLICATION_NAME[] = "Korvane_Config";

} // namespace Constants
} // namespace Core
