#include "platform/win32/win32_library_loader.h"

#include <windows.h>

namespace platform::win32 {

namespace {

class Win32Library final : public LoadedLibrary {
  public:
    explicit Win32Library(HMODULE module) : module_(module) {}
    Win32Library(const Win32Library&) = delete;
    Win32Library& operator=(const Win32Library&) = delete;
    ~Win32Library() override { FreeLibrary(module_); }

    ExportedFunction find(const char* exportName) override {
        return reinterpret_cast<ExportedFunction>(GetProcAddress(module_, exportName));
    }

  private:
    HMODULE module_;
};

} // namespace

std::unique_ptr<LoadedLibrary> Win32LibraryLoader::load(const std::string& path, WinError& error) {
    const HMODULE module = LoadLibraryA(path.c_str());
    if (!module) {
        error = GetLastError();
        return nullptr;
    }
    error = kErrorNone;
    return std::make_unique<Win32Library>(module);
}

} // namespace platform::win32
