// The launcher channel between two real programs under Wine: the test
// launcher starts launcher_client, which talks through the installer's own
// channel code, and logs what arrives.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "wine_test_support.h"

namespace {

using namespace std::string_literals;

std::string hex(const std::string& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (unsigned char c : bytes) {
        text += digits[c >> 4];
        text += digits[c & 15];
    }
    return text;
}

std::string copyData(const std::string& bytes) {
    return "copydata sender=window dwData=0 cbData=" + std::to_string(bytes.size()) +
           " bytes=" + hex(bytes);
}

const std::string kClosePost = "post 0x0501 wParam=0 lParam=0";

struct LauncherRun {
    std::vector<std::string> lines;
    std::uint32_t launcherExit = 0;
};

// Runs the test launcher on launcher_client with the given arguments; the
// log's lines come back.
LauncherRun runLauncher(const std::string& clientArguments, const std::string& options = "") {
    winetest::TempFolder folder("launcher");
    const std::string log = folder.path() + "launcher.log";
    winetest::ChildProcess launcher(winetest::programFolder() + "launcher.exe",
                                    "\"" + log + "\" " + options + " \"" +
                                        winetest::programFolder() + "launcher_client.exe\" " +
                                        clientArguments);
    LauncherRun run;
    if (!launcher.started())
        return run;
    run.launcherExit = launcher.wait(90000);
    std::istringstream text(winetest::readFile(log));
    for (std::string line; std::getline(text, line);)
        run.lines.push_back(line);
    return run;
}

TEST(LauncherChannel, CommandsAndTheClosePostArriveByteExact) {
    const LauncherRun run = runLauncher("\"send:read installer heard file\" "
                                        "\"send:quiet installer\" activate:x.scr "
                                        "send:openScreenSaverControlPanel close exit:0");
    EXPECT_EQ(run.launcherExit, 0u);
    EXPECT_EQ(run.lines, (std::vector<std::string>{
                             copyData("read installer heard file\0"s),
                             copyData("quiet installer\0"s),
                             copyData("makeActiveSaver-x.scr\0\0"s),
                             copyData("openScreenSaverControlPanel\0"s),
                             kClosePost,
                             "exit 0",
                         }));
    EXPECT_EQ(run.lines.at(2), "copydata sender=window dwData=0 cbData=23 "
                               "bytes=6d616b6541637469766553617665722d782e7363720000");
}

TEST(LauncherChannel, TheFullExitCodeOfTheClientIsReported) {
    const LauncherRun run = runLauncher("exit:-454");
    EXPECT_EQ(run.lines, std::vector<std::string>{"exit 4294966842"});
}

TEST(LauncherChannel, SwitchRulesOnARealCommandLine) {
    // A capital L is no launcher switch.
    EXPECT_EQ(runLauncher("/L=%HWND% send:a close", "--bare").lines,
              std::vector<std::string>{"exit 0"});
    // The first of two switches wins, also when it names no window.
    EXPECT_EQ(runLauncher("/l=%HWND% /l=12 send:a", "--bare").lines,
              (std::vector<std::string>{copyData("a\0"s), "exit 0"}));
    EXPECT_EQ(runLauncher("/l=12 /l=%HWND% send:a close", "--bare").lines,
              std::vector<std::string>{"exit 0"});
    // Leading zeros are decimal; a sign or trailing bytes name no launcher.
    EXPECT_EQ(runLauncher("/l=000%HWND% send:a", "--bare").lines,
              (std::vector<std::string>{copyData("a\0"s), "exit 0"}));
    EXPECT_EQ(runLauncher("/l=-%HWND% send:a close", "--bare").lines,
              std::vector<std::string>{"exit 0"});
    EXPECT_EQ(runLauncher("/l=%HWND%x send:a close", "--bare").lines,
              std::vector<std::string>{"exit 0"});
    // A switch with a blank in its quoted value is one argument.
    EXPECT_EQ(runLauncher("\"/l=%HWND% \" send:a close", "--bare").lines,
              std::vector<std::string>{"exit 0"});
}

TEST(LauncherChannel, EverySlashQCountsAndSlashQuietDoesNot) {
    const LauncherRun run = runLauncher("/Q /quiet /q q quiet");
    EXPECT_EQ(run.lines, (std::vector<std::string>{copyData("quiet installer\0"s),
                                                   copyData("quiet installer\0"s), "exit 0"}));
}

TEST(LauncherChannel, BroadcastHandlesReachNoWindow) {
    // Both would hand the commands to every top-level window, the launcher's
    // among them.
    for (const char* handle : {"65535", "4294967295"}) {
        EXPECT_EQ(runLauncher("/l="s + handle + " send:a close exit:3", "--bare").lines,
                  std::vector<std::string>{"exit 3"})
            << handle;
    }
}

TEST(LauncherChannel, AnyReplyIsIgnored) {
    for (const char* reply : {"0", "1", "-1", "-2147483648", "2147483647"}) {
        const LauncherRun run =
            runLauncher("send:a activate:b.scr close exit:7", "--reply="s + reply);
        EXPECT_EQ(run.lines, (std::vector<std::string>{copyData("a\0"s),
                                                       copyData("makeActiveSaver-b.scr\0\0"s),
                                                       kClosePost, "exit 7"}))
            << reply;
    }
}

// A window that is gone by the time the client talks to it.
TEST(LauncherChannel, AMissingOrDeadLauncherCostsNothing) {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "VlxDeadLauncher";
    RegisterClassA(&windowClass);
    const HWND window = CreateWindowExA(0, "VlxDeadLauncher", "", WS_OVERLAPPED, 0, 0, 10, 10,
                                        nullptr, nullptr, windowClass.hInstance, nullptr);
    ASSERT_TRUE(window);
    const auto handle = static_cast<unsigned long>(reinterpret_cast<UINT_PTR>(window));
    DestroyWindow(window);

    for (const std::string& launcherSwitch :
         {"/l=" + std::to_string(handle), "/l=12"s, "/l=4294967294"s}) {
        winetest::ChildProcess client(winetest::programFolder() + "launcher_client.exe",
                                      launcherSwitch +
                                          " \"send:read installer heard file\" activate:x.scr "
                                          "quiet /q close exit:-2201");
        ASSERT_TRUE(client.started());
        EXPECT_EQ(client.wait(20000), static_cast<std::uint32_t>(-2201)) << launcherSwitch;
    }
}

} // namespace
