// The saver's entry in the list of installed programs: a key named by the
// saver's full title below the Uninstall key, under HKEY_LOCAL_MACHINE or,
// when that refuses, under HKEY_CURRENT_USER.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "base/result_codes.h"
#include "platform/platform.h"
#include "platform/registry.h"
#include "system/resource_texts.h"

constexpr const char* kUninstallKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
constexpr const char* kDisplayNameValue = "DisplayName";
constexpr const char* kUninstallStringValue = "UninstallString";
constexpr const char* kUninstallSwitch = " /u";

// The key of a title's entry, or empty when the title cannot name one key of
// its own (it is empty or holds a backslash, which would name the Uninstall
// key itself or a key further down).
std::string uninstallKeyPath(std::string_view title);

// Writes "DisplayName" (makeDisplayName) and "UninstallString" (`systemDir`
// + short name + ".scr /u", the path in its short form on Windows 95/98/ME)
// under HKEY_LOCAL_MACHINE, else under HKEY_CURRENT_USER. 0 or -2201. Every
// root where the key was opened for writing is added to `createdUnder`.
ResultCode registerUninstallEntry(platform::Platform& platform, const ResourceTexts& texts,
                                  const std::string& systemDir, const std::string& title,
                                  const std::string& shortName,
                                  std::vector<platform::RegistryRoot>* createdUnder = nullptr);

// Deletes the two values and the key under HKEY_LOCAL_MACHINE, and only when
// that fails under HKEY_CURRENT_USER as well. A key that cannot be opened
// counts as removed, so an entry that landed under HKEY_CURRENT_USER stays
// when HKEY_LOCAL_MACHINE cannot be opened. 0, or -2202 when the deletion
// under HKEY_LOCAL_MACHINE failed.
ResultCode removeUninstallEntry(platform::Platform& platform, const std::string& title);

// Deletes the two values and the key under each of `roots` (where a run
// wrote them); a value the run failed to write is no reason to keep the key.
// 0, or -2202 when one of the deletions failed.
ResultCode removeUninstallEntryUnder(platform::Platform& platform, const std::string& title,
                                     const std::vector<platform::RegistryRoot>& roots);
