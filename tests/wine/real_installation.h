// Runs the installer's package steps on the real Win32 backend, quietly:
// copy, header, saver paths and folder, main entries, data files and
// settings. The folders it made are removed when the object goes.
#pragma once

#include <string>

#include "payload/installer_context.h"
#include "platform/win32/win32_platform.h"

namespace winetest {

// A view for quiet runs: nothing is shown, and nothing should be asked.
class QuietView final : public ProgressView {
  public:
    void showStatusText(const std::string&) override {}
    void advanceProgressBar() override {}
    bool enablePauseTimer(std::uint32_t) override { return false; }
    bool pauseTimerEnabled() const override { return false; }
};

class RealInstallation {
  public:
    // `installerPath` is the installer file; its package starts at `packageOffset`.
    RealInstallation(const std::string& installerPath, std::int64_t packageOffset);
    RealInstallation(const RealInstallation&) = delete;
    RealInstallation& operator=(const RealInstallation&) = delete;
    ~RealInstallation();

    // Up to the saver folder; 0 or the first failing step's code.
    ResultCode prepare();
    // The files of the installation proper.
    ResultCode placeFiles();

    platform::win32::Win32Platform win32;
    platform::Platform platform = win32.platform();
    QuietView view;
    InstallReporter reporter{platform, view};
    InstallerContext context{platform, reporter};

  private:
    std::string installerPath_;
};

} // namespace winetest
