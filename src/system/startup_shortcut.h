// A shortcut in the user's Startup folder that an earlier run may have left:
// named by the CRC-32 of the installer's path and "_installer.lnk". The
// installer never makes one; it only removes it.
#pragma once

#include <string>

#include "platform/platform.h"

constexpr int kStartupFolderId = 7; // CSIDL_STARTUP
constexpr const char* kStartupShortcutSuffix = "_installer.lnk";

// The shortcut's file name for an executable path.
std::string startupShortcutName(platform::UserInterface& ui, const std::string& executablePath);

// Deletes the running executable's shortcut from the Startup folder. Nothing
// happens when the folder cannot be resolved; nothing is reported.
void removeStartupShortcut(platform::Platform& platform);
