// The real windows behind InstallerView: the start-up window and the
// installer window with its controls, made with the ANSI Win32 calls and
// kept in step with the plain data that the driver renders into them. Both
// belong to the application's window, which alone has a taskbar button and
// carries the application's title.
#pragma once

#include <windows.h>

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "app/installer_view.h"
#include "app/win32/win32_handles.h"
#include "platform/library_loader.h"

namespace installer_win32 {

class Win32InstallerView final : public InstallerView {
  public:
    // Makes the application's window and the two windows it owns, the
    // installer window hidden, and starts swallowing right-clicks on this
    // thread. The common controls and the rich-text control come from the
    // system folder's libraries, loaded through `libraries` and held by the
    // view.
    Win32InstallerView(HINSTANCE instance, platform::LibraryLoader& libraries);
    Win32InstallerView(const Win32InstallerView&) = delete;
    Win32InstallerView& operator=(const Win32InstallerView&) = delete;
    ~Win32InstallerView() override;

    // 0 when the windows were made, otherwise the Windows error that stopped it.
    DWORD creationError() const { return creationError_; }
    HWND installerHandle() const { return form_.get(); }
    HWND preparingHandle() const { return preparing_.get(); }
    HWND applicationHandle() const { return application_.get(); }
    // Tab, the arrow keys and mnemonics between the installer window's
    // controls; true when the message was used for that.
    bool handleDialogKeys(MSG& message);
    bool terminated() const { return terminated_; }

    void setEvents(InstallerWindowEvents& events) override;
    layout::FrameSizes installerFrames() override;
    layout::NonClientSize preparingFrame() override;
    layout::Size screenSize() override;
    void renderPreparingWindow(const layout::PreparingWindowLayout& window) override;
    void renderInstallerWindow(const layout::InstallerFormLayout& form) override;
    void showInstallerWindow() override;
    void setApplicationTitle(const std::string& title) override;
    platform::WindowHandle installerWindow() override;
    bool loadPicture(const std::string& path, std::string& error) override;
    bool loadLicence(const std::string& path) override;
    std::unique_ptr<platform::PanelWindow> createMoviePanel() override;
    bool enablePauseTimer(std::uint32_t intervalMilliseconds) override;
    bool pauseTimerEnabled() const override;
    void showHourglass(bool shown) override;
    bool applicationActive() override;
    void terminate(std::int32_t exitCode) override;

  private:
    static LRESULT CALLBACK applicationProcedure(HWND window, UINT message, WPARAM wParam,
                                                 LPARAM lParam);
    static LRESULT CALLBACK formProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK preparingProcedure(HWND window, UINT message, WPARAM wParam,
                                               LPARAM lParam);
    static LRESULT CALLBACK panelProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK pictureProcedure(HWND window, UINT message, WPARAM wParam,
                                             LPARAM lParam);

    LRESULT applicationMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT formMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT preparingMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT panelMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT pictureMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    bool loadCommonControls();
    bool registerClasses();
    bool createApplicationWindow();
    bool createPreparingWindow();
    bool createInstallerWindow();
    HWND createChild(layout::Control control, HWND parent);
    HWND controlWindow(layout::Control control) const;
    HWND movieWindow() const;
    void applyControl(layout::Control control, const layout::ControlState& state);
    void applyProgress(const layout::ProgressState& progress);
    void applyFormFrame(const layout::InstallerFormLayout& form,
                        const std::optional<layout::InstallerFormLayout>& previous);
    bool onSizing(WPARAM edge, RECT& proposed);
    void onWindowPosChanged(const WINDOWPOS& position);
    void onCommand(WORD id, WORD notification);
    void paintPicture(HWND window);
    void raisePreview();
    bool setCursorIfBusy();

    HINSTANCE instance_;
    platform::LibraryLoader& libraries_;
    DWORD creationError_ = 0;
    InstallerWindowEvents* events_ = nullptr; // not owned: the driver

    layout::FrameSizes frames_;
    layout::NonClientSize preparingFrame_;
    std::optional<layout::InstallerFormLayout> rendered_;
    std::optional<layout::PreparingWindowLayout> renderedPreparing_;

    UniqueFont font_;
    std::unique_ptr<platform::LoadedLibrary> commonControlsLibrary_;
    std::unique_ptr<platform::LoadedLibrary> richEditLibrary_;
    UniqueBitmap picture_;
    UniqueHook rightClickHook_;
    // The windows last, so that they go before the font and the libraries; the
    // application's window after the two it owns.
    UniqueWindow application_;
    UniqueWindow preparing_;
    HWND label1_ = nullptr;
    UniqueWindow form_;
    std::array<HWND, layout::kControlCount> controls_{};
    HWND moviePanel_ = nullptr; // owned by the movie's panel object, may be gone

    bool pauseTimerEnabled_ = false;
    bool hourglass_ = false;
    bool applying_ = false;  // the view itself is moving or sizing the window
    bool sizing_ = false;    // the user is dragging an edge: the drag sets the size
    bool reporting_ = false; // a size change is being reported to the driver
    bool terminated_ = false;
    std::optional<layout::ProgressState> progress_;
};

} // namespace installer_win32
