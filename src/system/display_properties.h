// The Display control panel: an open Display Properties or Screen Saver
// Settings dialog is closed before files are replaced, and after a successful
// installation the launcher can be asked to open the panel. The installer
// never opens it itself.
#pragma once

#include "platform/messaging.h"
#include "platform/platform.h"
#include "system/install_reporting.h"
#include "system/launcher_channel.h"
#include "system/resource_texts.h"

// Fixed titles, looked for after the resource texts of the same meaning.
constexpr const char* kDisplayPropertiesFixedTitle = "Display Properties";
constexpr const char* kScreenSaverSettingsFixedTitle = "Screen Saver Settings";

// Clicks Cancel in the first open window of the search order: "Display
// Properties", "Screensaver Settings" (resource texts), then "Display
// Properties", "Screen Saver Settings" (fixed texts). At most one is closed.
void closeDisplayPropertiesWindow(platform::Messaging& messaging, const ResourceTexts& texts);

// When the package offers it, asks whether to open the screen saver control
// panel (Yes, No) and on Yes asks the launcher to open it.
void openScreenSaverControlPanel(InstallReporter& reporter, platform::UserInterface& ui,
                                 LauncherChannel& launcher, const ResourceTexts& texts,
                                 bool offerControlPanel);
