// The preview picture: a Windows bitmap file or a JPEG file, read into a
// device-independent bitmap that the picture control stretches over itself.
#pragma once

#include <string>
#include <vector>

#include "app/win32/win32_handles.h"

namespace installer_win32 {

// The whole file at `path`; false when it cannot be opened or read.
bool readWholeFile(const std::string& path, std::vector<unsigned char>& bytes);

// The picture at `path`, told apart by its first bytes; an empty bitmap and
// the reason when the file cannot be read or decoded.
UniqueBitmap loadPictureFile(const std::string& path, std::string& error);

} // namespace installer_win32
