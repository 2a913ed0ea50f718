// Libraries for the unit tests: a table of paths and their exports.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/library_loader.h"

namespace fake {

class FakeLibraryLoader final : public platform::LibraryLoader {
  public:
    using Exports = std::map<std::string, platform::ExportedFunction>;

    // A library that loads from `path` (compared without regard to case).
    void addLibrary(const std::string& path, Exports exports);
    // Loading `path` fails with `error`.
    void failLoading(const std::string& path, platform::WinError error);

    std::string systemFolder = "C:\\WINDOWS\\system32"; // as the fake platform's
    std::vector<std::string> loadAttempts;
    int loadedNow = 0; // libraries loaded and not yet released

    std::unique_ptr<platform::LoadedLibrary> load(const std::string& path,
                                                  platform::WinError& error) override;
    // load() of the name's file in systemFolder.
    std::unique_ptr<platform::LoadedLibrary> loadSystemLibrary(const std::string& name,
                                                               platform::WinError& error) override {
        if (const auto path = platform::systemLibraryPath(systemFolder, name))
            return load(*path, error);
        error = platform::kErrorInvalidParameter;
        return nullptr;
    }

  private:
    std::map<std::string, Exports> libraries_;
    std::map<std::string, platform::WinError> failures_;
};

} // namespace fake
