// The preview panel for real: a test window with the panel, the stand-in
// player registered, movies played, a picture of the screen taken.
#include <gtest/gtest.h>

#include <zlib.h>

#include "flash/flash_panel.h"
#include "platform/win32/win32_panel_window.h"
#include "platform/win32/win32_platform.h"
#include "stand_in_support.h"
#include "wine_test_support.h"

namespace winetest {
namespace {

constexpr COLORREF kMovieColor = RGB(0x33, 0x99, 0xCC);

// A 550 by 400 movie of the given version with the test colour.
std::string swfMovie(std::uint8_t version, bool compressed) {
    std::string body(9, '\0');
    const std::uint64_t rect = 15ull << 59 | 11000ull << 29 | 8000ull >> 1;
    for (int i = 0; i < 8; ++i)
        body[i] = static_cast<char>(rect >> (56 - 8 * i));
    body += std::string("\x00\x18\x01\x00", 4);
    body += std::string("\x43\x02", 2);
    body += static_cast<char>(GetRValue(kMovieColor));
    body += static_cast<char>(GetGValue(kMovieColor));
    body += static_cast<char>(GetBValue(kMovieColor));
    body += std::string("\x00\x00", 2);
    const auto length = static_cast<std::uint32_t>(8 + body.size());
    std::string header = compressed ? "CWS" : "FWS";
    header += static_cast<char>(version);
    for (int i = 0; i < 4; ++i)
        header += static_cast<char>(length >> (8 * i));
    if (!compressed)
        return header + body;
    uLongf size = compressBound(body.size());
    std::string packed(size, '\0');
    compress2(reinterpret_cast<Bytef*>(packed.data()), &size,
              reinterpret_cast<const Bytef*>(body.data()), body.size(), 9);
    packed.resize(size);
    return header + packed;
}

void handleMessagesFor(DWORD milliseconds) {
    const DWORD end = GetTickCount() + milliseconds;
    while (static_cast<LONG>(end - GetTickCount()) > 0) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        Sleep(20);
    }
}

// What the screen shows at a point of a window, read from a copy of the
// window's area of the screen that is also kept as a picture file.
class ScreenPicture {
  public:
    ScreenPicture(HWND window, const std::string& file) {
        GetWindowRect(window, &rect_);
        width_ = rect_.right - rect_.left;
        height_ = rect_.bottom - rect_.top;
        const HDC screen = GetDC(nullptr);
        const HDC memory = CreateCompatibleDC(screen);
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = width_;
        info.bmiHeader.biHeight = -height_;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        void* bits = nullptr;
        const HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        const HGDIOBJ old = SelectObject(memory, bitmap);
        BitBlt(memory, 0, 0, width_, height_, screen, rect_.left, rect_.top, SRCCOPY);
        GdiFlush();
        pixels_.assign(static_cast<const std::uint32_t*>(bits),
                       static_cast<const std::uint32_t*>(bits) + width_ * height_);
        SelectObject(memory, old);
        DeleteObject(bitmap);
        DeleteDC(memory);
        ReleaseDC(nullptr, screen);
        save(file);
    }

    // The colour at a point of the window's area, as a COLORREF.
    COLORREF at(int x, int y) const {
        const std::uint32_t pixel = pixels_.at(static_cast<std::size_t>(y * width_ + x));
        return RGB(pixel >> 16 & 0xFF, pixel >> 8 & 0xFF, pixel & 0xFF);
    }

  private:
    void save(const std::string& file) const {
        BITMAPINFOHEADER header{};
        header.biSize = sizeof header;
        header.biWidth = width_;
        header.biHeight = -height_;
        header.biPlanes = 1;
        header.biBitCount = 32;
        BITMAPFILEHEADER fileHeader{};
        fileHeader.bfType = 0x4D42;
        fileHeader.bfOffBits = sizeof fileHeader + sizeof header;
        fileHeader.bfSize = fileHeader.bfOffBits + static_cast<DWORD>(pixels_.size() * 4);
        std::string bytes(reinterpret_cast<const char*>(&fileHeader), sizeof fileHeader);
        bytes.append(reinterpret_cast<const char*>(&header), sizeof header);
        bytes.append(reinterpret_cast<const char*>(pixels_.data()), pixels_.size() * 4);
        writeFile(file, bytes);
    }

    RECT rect_{};
    int width_ = 0;
    int height_ = 0;
    std::vector<std::uint32_t> pixels_;
};

// A top-level test window with the panel in it.
struct Panel : ::testing::Test {
    Panel() {
        standin::clearSwitches();
        standin::removePlayerRegistration();
        registered = standin::registerPlayer(standin::playerPath(standin::PlayerBuild::Default));
        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = DefWindowProcA;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = "VlxPanelTest";
        windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH));
        RegisterClassA(&windowClass);
        window =
            CreateWindowExA(WS_EX_TOPMOST, "VlxPanelTest", "Panel test", WS_POPUP | WS_VISIBLE, 100,
                            100, 500, 360, nullptr, nullptr, windowClass.hInstance, nullptr);
        auto panelWindow = std::make_unique<platform::win32::Win32PanelWindow>(window);
        panelArea = panelWindow->window();
        panel = std::make_unique<TFlashPanel>(platform, cache, std::move(panelWindow));
        panel->enableAllowScale = true;
    }
    ~Panel() override {
        panel.reset();
        if (window)
            DestroyWindow(window);
        standin::clearSwitches();
    }

    std::string movie(const std::string& name, bool compressed) {
        writeFile(folder.path() + name, swfMovie(9, compressed));
        return folder.path() + name;
    }
    HWND playerWindow() const { return GetWindow(panelArea, GW_CHILD); }

    // The registration goes last, after the platform has let the control go.
    struct Unregister {
        ~Unregister() { standin::removePlayerRegistration(); }
    } unregister;
    DWORD registered = 1;
    TempFolder folder{"panel"};
    platform::win32::Win32Platform win32;
    platform::Platform platform = win32.platform();
    PlayerVersionCache cache;
    HWND window = nullptr;
    HWND panelArea = nullptr;
    std::unique_ptr<TFlashPanel> panel;
};

TEST_F(Panel, MoviesPlayInThePanelAndShowTheirColour) {
    ASSERT_EQ(registered, 0u);
    ASSERT_NE(window, nullptr);
    const std::string log = folder.path() + "events.log";
    standin::setEventLog(log);
    std::vector<std::string> played;
    for (const bool compressed : {false, true}) {
        SCOPED_TRACE(compressed ? "compressed" : "uncompressed");
        const std::string path = movie(compressed ? "packed.swf" : "plain.swf", compressed);
        ASSERT_EQ(panel->playMovie(path), result::kOk);
        ASSERT_TRUE(panel->flashPlayer);
        handleMessagesFor(500);

        const HWND player = playerWindow();
        ASSERT_NE(player, nullptr);
        EXPECT_EQ(GetWindow(player, GW_HWNDNEXT), nullptr) << "one player at a time";
        RECT rect{};
        GetClientRect(player, &rect);
        EXPECT_EQ(rect.right, 500);
        EXPECT_EQ(rect.bottom, 360);
        EXPECT_EQ(panel->flashPlayer->GetVariable("$version"), "WIN 10,0,12,36");

        const ScreenPicture picture(window, programFolder() +
                                                (compressed ? "panel_cws.bmp" : "panel_fws.bmp"));
        EXPECT_EQ(picture.at(250, 300), kMovieColor);
        played.push_back("movie " + path);
    }
    // The player gets each movie's own path, the compressed one's too.
    std::string events = readFile(log);
    std::vector<std::string> lines;
    for (std::size_t end; (end = events.find("\r\n")) != std::string::npos;
         events.erase(0, end + 2))
        lines.push_back(events.substr(0, end));
    EXPECT_EQ(lines, played);
    const std::string temp = panel->movie.swfTempFolder;
    ASSERT_FALSE(temp.empty());
    EXPECT_TRUE(exists(temp + "unCompressedSWF.swf"));
    panel.reset();
    EXPECT_FALSE(exists(temp));
}

TEST_F(Panel, ScriptCommandsFromTheMovieReachThePanel) {
    ASSERT_EQ(registered, 0u);
    ASSERT_EQ(panel->playMovie(movie("a.swf", false)), result::kOk);
    for (const auto& [command, expected] :
         {std::pair{"ALLOWSCALE,true", 1}, std::pair{"allowscale,False", 0}}) {
        panel->movie.allowScale = -1;
        panel->flashPlayer->SetVariable("vlxTestFSCommand", command);
        handleMessagesFor(300);
        EXPECT_EQ(panel->movie.allowScale, expected) << command;
    }
}

} // namespace
} // namespace winetest
