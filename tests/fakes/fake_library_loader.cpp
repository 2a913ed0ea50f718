#include "fakes/fake_library_loader.h"

#include <cctype>

namespace fake {

namespace {

std::string upper(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

class FakeLibrary final : public platform::LoadedLibrary {
  public:
    FakeLibrary(const FakeLibraryLoader::Exports& exports, int& loadedNow)
        : exports_(exports), loadedNow_(loadedNow) {
        ++loadedNow_;
    }
    ~FakeLibrary() override { --loadedNow_; }
    platform::ExportedFunction find(const char* exportName) override {
        const auto it = exports_.find(exportName);
        return it == exports_.end() ? nullptr : it->second;
    }

  private:
    FakeLibraryLoader::Exports exports_;
    int& loadedNow_;
};

} // namespace

void FakeLibraryLoader::addLibrary(const std::string& path, Exports exports) {
    libraries_[upper(path)] = std::move(exports);
}

void FakeLibraryLoader::failLoading(const std::string& path, platform::WinError error) {
    failures_[upper(path)] = error;
}

std::unique_ptr<platform::LoadedLibrary> FakeLibraryLoader::load(const std::string& path,
                                                                 platform::WinError& error) {
    loadAttempts.push_back(path);
    const std::string key = upper(path);
    if (const auto failure = failures_.find(key); failure != failures_.end()) {
        error = failure->second;
        return nullptr;
    }
    const auto library = libraries_.find(key);
    if (library == libraries_.end()) {
        error = platform::kErrorModNotFound;
        return nullptr;
    }
    error = platform::kErrorNone;
    return std::make_unique<FakeLibrary>(library->second, loadedNow);
}

} // namespace fake
