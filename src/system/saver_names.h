// The names a screen saver is known under, all made from its title: the
// short file name of its engine and folder, the name in the list of
// installed programs, and the caption of the installer window.
#pragma once

#include <string>
#include <string_view>

#include "platform/platform.h"
#include "system/resource_texts.h"

constexpr std::size_t kShortNameLimit = 8;

// The title itself when it has at most 8 characters or no upper-case letter;
// otherwise its first four characters and the last four decimal digits of
// its CRC-32 (padded with zeros when the CRC is below 1000).
std::string getCodedShortFilenameForScreensaver(platform::Platform& platform,
                                                std::string_view title);

// Whether a short name can name a file and a folder of the saver's own inside
// another folder: it is not empty, not made of dots and blanks only, and free
// of control characters, path separators, drive colons, wildcards and the
// other characters Windows refuses in file names. Titles come from the
// package, so "", ".." or "a\b" are possible short names.
bool isUsableSaverName(std::string_view shortName);

// The name in the list of installed programs, with the resource text
// "Screen Saver" where the title lacks a word for it.
std::string makeDisplayName(const ResourceTexts& texts, std::string_view title);
// The installer window's caption and the application title: the resource
// text "Install", with "Screen Saver" where the title lacks a word for it.
std::string makeInstallCaption(const ResourceTexts& texts, std::string_view title);
