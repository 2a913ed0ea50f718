// The preview panel for real: a test window with the panel, the stand-in
// player registered, movies played, a picture of the screen taken.
#include <gtest/gtest.h>

#include "flash/flash_panel.h"
#include "platform/win32/win32_panel_window.h"
#include "platform/win32/win32_platform.h"
#include "sample_movie.h"
#include "sample_packages.h"
#include "stand_in_support.h"
#include "window_driving.h"
#include "wine_test_support.h"

namespace winetest {
namespace {

// The sample movie's background.
constexpr COLORREF kMovieColor = RGB(MovieColour{}.red, MovieColour{}.green, MovieColour{}.blue);

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
        writeFile(folder.path() + name, sampleMovie(9, compressed));
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

// Before a movie plays the panel is white to its very edges: it draws no
// bevel.
TEST_F(Panel, AnEmptyPanelIsWhiteWithoutABevel) {
    ASSERT_NE(window, nullptr);
    handleMessagesFor(300);
    const ScreenPicture picture(window, programFolder() + "panel_empty.bmp");
    ASSERT_EQ(picture.width(), 500);
    for (const POINT at : {POINT{0, 0}, POINT{499, 0}, POINT{0, 359}, POINT{499, 359}, POINT{1, 1},
                           POINT{498, 358}, POINT{250, 180}})
        EXPECT_EQ(picture.at(at.x, at.y), RGB(255, 255, 255)) << at.x << "," << at.y;
}

// The panel counts as visible by its own style, also while the window it
// lies in is hidden, as the installer window is while the movie starts.
TEST_F(Panel, ThePanelIsVisibleByItsOwnStyle) {
    ASSERT_NE(window, nullptr);
    ShowWindow(window, SW_HIDE);
    EXPECT_FALSE(IsWindowVisible(panelArea));
    EXPECT_TRUE(panel->window().visible());
    ShowWindow(panelArea, SW_HIDE);
    EXPECT_FALSE(panel->window().visible());
    ShowWindow(window, SW_SHOW);
    EXPECT_FALSE(panel->window().visible());
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
