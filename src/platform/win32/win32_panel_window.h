// A plain child window with a background colour and an outer bevel: the
// panel a movie plays in.
#pragma once

#include <windows.h>

#include <cstdint>

#include "platform/player_control.h"

namespace platform::win32 {

class Win32PanelWindow final : public PanelWindow {
  public:
    // A visible child of `parent`, filling nothing until told to.
    explicit Win32PanelWindow(HWND parent);
    Win32PanelWindow(const Win32PanelWindow&) = delete;
    Win32PanelWindow& operator=(const Win32PanelWindow&) = delete;
    ~Win32PanelWindow() override;

    bool created() const { return window_ != nullptr; }
    HWND window() const { return window_; }

    WindowHandle handle() override;
    int width() override;
    int height() override;
    bool visible() override;
    void setSize(int width, int height) override;
    void setColor(std::uint32_t color) override;
    void fillParent() override;
    void setOuterBevel(PanelBevel bevel) override;
    void setBevelWidth(int width) override;
    void invalidate() override;

  private:
    static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void paint();

    HWND window_ = nullptr;
    HBRUSH brush_ = nullptr;
    PanelBevel outerBevel_ = PanelBevel::Raised;
    int bevelWidth_ = 1;
};

} // namespace platform::win32
