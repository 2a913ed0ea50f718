// Small helpers on Windows path texts (backslash separated, ANSI).
#pragma once

#include <string>
#include <string_view>

// The path with a backslash at its end (an empty path gets one too).
std::string withTrailingBackslash(std::string_view path);
// The path without the backslash at its end, if it has one.
std::string withoutTrailingBackslash(std::string_view path);
// The folder part of a path, up to and including its last '\' or ':'.
std::string folderPart(std::string_view path);
// The name after the folder part.
std::string fileNamePart(std::string_view path);
// The extension of the name, with its dot; empty when the name has none.
std::string extensionPart(std::string_view path);
// The text with A to Z turned into a to z; every other byte unchanged.
std::string lowerAscii(std::string_view text);

// A plain file or folder name that Windows takes as it is: not empty, not
// "." or "..", no folder or drive, none of the characters Windows refuses,
// no trailing dot or blank, no device name such as CON or LPT1.
bool isSafeFileName(std::string_view name);

// A relative path whose every part is a safe name: it stays inside the
// folder it is added to.
bool isSafeRelativePath(std::string_view path);
