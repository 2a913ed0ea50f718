// Owners of the Win32 handles the installer's windows hold: each closes its
// handle when it goes. Child windows are not owned one by one; they go with
// the top-level window that holds them.
#pragma once

#include <windows.h>

#include <memory>
#include <type_traits>

namespace installer_win32 {

struct WindowDestroyer {
    void operator()(HWND window) const { DestroyWindow(window); }
};
using UniqueWindow = std::unique_ptr<std::remove_pointer_t<HWND>, WindowDestroyer>;

// Fonts, brushes and bitmaps.
struct GdiObjectDeleter {
    void operator()(HGDIOBJ object) const { DeleteObject(object); }
};
using UniqueFont = std::unique_ptr<std::remove_pointer_t<HFONT>, GdiObjectDeleter>;
using UniqueBitmap = std::unique_ptr<std::remove_pointer_t<HBITMAP>, GdiObjectDeleter>;

struct HookRemover {
    void operator()(HHOOK hook) const { UnhookWindowsHookEx(hook); }
};
using UniqueHook = std::unique_ptr<std::remove_pointer_t<HHOOK>, HookRemover>;

// A file handle; INVALID_HANDLE_VALUE is no file.
class UniqueFile {
  public:
    explicit UniqueFile(HANDLE handle) : handle_(handle) {}
    UniqueFile(const UniqueFile&) = delete;
    UniqueFile& operator=(const UniqueFile&) = delete;
    ~UniqueFile() {
        if (valid())
            CloseHandle(handle_);
    }
    bool valid() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }
    HANDLE get() const { return handle_; }

  private:
    HANDLE handle_;
};

// A memory device context with one object selected into it, put back when
// it goes.
class MemoryDc {
  public:
    MemoryDc(HDC compatibleWith, HGDIOBJ selected)
        : dc_(CreateCompatibleDC(compatibleWith)),
          previous_(dc_ ? SelectObject(dc_, selected) : nullptr) {}
    MemoryDc(const MemoryDc&) = delete;
    MemoryDc& operator=(const MemoryDc&) = delete;
    ~MemoryDc() {
        if (dc_) {
            SelectObject(dc_, previous_);
            DeleteDC(dc_);
        }
    }
    HDC get() const { return dc_; }

  private:
    HDC dc_;
    HGDIOBJ previous_;
};

} // namespace installer_win32
