// The installer window of the real installer.exe on the screen: measured
// through the API, looked at in pictures of the screen, clicked and dragged
// with the mouse, its dialogs answered.
#include "base/texts.h"
#include "installer_fixture.h"
#include "sample_movie.h"

#include <commctrl.h>

#include <cstdlib>

namespace winetest {
namespace {

constexpr COLORREF kLeftColour = RGB(0xE0, 0x20, 0x20);
constexpr COLORREF kRightColour = RGB(0x20, 0x40, 0xE0);
constexpr int kColourTolerance = 24;

void appendLittleEndian(Bytes& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

// A 24-bit bitmap file, its left half in one colour and its right half in
// the other; the height field as given (a negative one: rows top down).
Bytes twoColourBitmap(std::int32_t width, std::int32_t height) {
    const std::uint32_t stride = (static_cast<std::uint32_t>(width) * 3 + 3) & ~3u;
    const std::uint32_t rows = static_cast<std::uint32_t>(height < 0 ? -height : height);
    const std::uint32_t pixelBytes = width > 0 && width < 4096 && rows < 4096 ? stride * rows : 0;
    Bytes out{'B', 'M'};
    appendLittleEndian(out, 54 + pixelBytes, 4);
    appendLittleEndian(out, 0, 4);
    appendLittleEndian(out, 54, 4);
    appendLittleEndian(out, 40, 4);
    appendLittleEndian(out, static_cast<std::uint32_t>(width), 4);
    appendLittleEndian(out, static_cast<std::uint32_t>(height), 4);
    appendLittleEndian(out, 1, 2);
    appendLittleEndian(out, 24, 2);
    appendLittleEndian(out, 0, 4);
    appendLittleEndian(out, pixelBytes, 4);
    for (int i = 0; i < 4; ++i)
        appendLittleEndian(out, 0, 4);
    for (std::uint32_t y = 0; pixelBytes && y < rows; ++y) {
        for (std::int32_t x = 0; x < width; ++x) {
            const COLORREF colour = x < width / 2 ? kLeftColour : kRightColour;
            out.push_back(GetBValue(colour));
            out.push_back(GetGValue(colour));
            out.push_back(GetRValue(colour));
        }
        out.resize(out.size() + (stride - static_cast<std::uint32_t>(width) * 3));
    }
    return out;
}

// A 64 by 16 JPEG file (quality 95, no subsampling), its left half
// 0xE02020 and its right half 0x2040E0.
const Bytes kTwoColourJpeg = {
    0xff, 0xd8, 0xff, 0xe0, 0x00, 0x10, 0x4a, 0x46, 0x49, 0x46, 0x00, 0x01, 0x01, 0x00, 0x00, 0x01,
    0x00, 0x01, 0x00, 0x00, 0xff, 0xdb, 0x00, 0x43, 0x00, 0x02, 0x01, 0x01, 0x01, 0x01, 0x01, 0x02,
    0x01, 0x01, 0x01, 0x02, 0x02, 0x02, 0x02, 0x02, 0x04, 0x03, 0x02, 0x02, 0x02, 0x02, 0x05, 0x04,
    0x04, 0x03, 0x04, 0x06, 0x05, 0x06, 0x06, 0x06, 0x05, 0x06, 0x06, 0x06, 0x07, 0x09, 0x08, 0x06,
    0x07, 0x09, 0x07, 0x06, 0x06, 0x08, 0x0b, 0x08, 0x09, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x06, 0x08,
    0x0b, 0x0c, 0x0b, 0x0a, 0x0c, 0x09, 0x0a, 0x0a, 0x0a, 0xff, 0xdb, 0x00, 0x43, 0x01, 0x02, 0x02,
    0x02, 0x02, 0x02, 0x02, 0x05, 0x03, 0x03, 0x05, 0x0a, 0x07, 0x06, 0x07, 0x0a, 0x0a, 0x0a, 0x0a,
    0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a,
    0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a,
    0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0xff, 0xc0,
    0x00, 0x11, 0x08, 0x00, 0x10, 0x00, 0x40, 0x03, 0x01, 0x11, 0x00, 0x02, 0x11, 0x01, 0x03, 0x11,
    0x01, 0xff, 0xc4, 0x00, 0x16, 0x00, 0x01, 0x01, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x07, 0x08, 0xff, 0xc4, 0x00, 0x14, 0x10, 0x01, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xff,
    0xc4, 0x00, 0x16, 0x01, 0x01, 0x01, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x09, 0x08, 0xff, 0xc4, 0x00, 0x14, 0x11, 0x01, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xff, 0xda, 0x00,
    0x0c, 0x03, 0x01, 0x00, 0x02, 0x11, 0x03, 0x11, 0x00, 0x3f, 0x00, 0xcc, 0x6c, 0xfe, 0xb0, 0x00,
    0x00, 0x02, 0x7e, 0xba, 0x88, 0x16, 0x00, 0x00, 0x28, 0x08, 0x56, 0xbe, 0x80, 0x00, 0x02, 0x7e,
    0xba, 0x88, 0x16, 0x00, 0x00, 0x3f, 0xff, 0xd9,
};

constexpr char kRtfLicence[] = "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\f0\\fs16 "
                               "\\b Licence\\b0\\par Use it kindly.\\par}";
constexpr char kPlainLicence[] = "Plain licence text.\r\nSecond line.";

// Gives string `id` of a program's string table (English, United States) the
// text `replacement`, as a translator's resource editor would: the block of
// sixteen strings that holds it is read and written back whole. Empty when
// it worked, otherwise what failed.
std::string replaceString(const std::string& program, unsigned id,
                          const std::wstring& replacement) {
    const WORD language = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
    const WORD block = static_cast<WORD>(id / 16 + 1);
    std::vector<std::wstring> strings(16);
    const HMODULE module = LoadLibraryExA(program.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!module)
        return "the program cannot be loaded";
    const HRSRC found = FindResourceExA(module, RT_STRING, MAKEINTRESOURCEA(block), language);
    const HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
    if (loaded) {
        const auto* at = static_cast<const WCHAR*>(LockResource(loaded));
        const WCHAR* end = at + SizeofResource(module, found) / sizeof(WCHAR);
        for (std::wstring& text : strings) {
            if (at >= end)
                break;
            const WORD length = static_cast<WORD>(*at++);
            text.assign(at, std::min<std::size_t>(length, static_cast<std::size_t>(end - at)));
            at += length;
        }
    }
    FreeLibrary(module);
    if (!loaded)
        return "no block " + std::to_string(block) + " in the string table";
    strings[id % 16] = replacement;
    std::vector<WCHAR> data;
    for (const std::wstring& text : strings) {
        data.push_back(static_cast<WCHAR>(text.size()));
        data.insert(data.end(), text.begin(), text.end());
    }
    const HANDLE update = BeginUpdateResourceA(program.c_str(), FALSE);
    if (!update)
        return "BeginUpdateResourceA failed: " + std::to_string(GetLastError());
    const BOOL updated =
        UpdateResourceA(update, RT_STRING, MAKEINTRESOURCEA(block), language, data.data(),
                        static_cast<DWORD>(data.size() * sizeof(WCHAR)));
    if (!EndUpdateResourceA(update, updated ? FALSE : TRUE) || !updated)
        return "the string table could not be written: " + std::to_string(GetLastError());
    return {};
}

struct InstallerWindow : Installer {
    InstallerWindow() { drawOwnWindowFramesFor("Setup " + tag + ".exe"); }

    // A package in a window's mode with a preview and, when given, a licence.
    PackageContent windowPackage(std::uint8_t mode, const std::string& previewName,
                                 const Bytes& preview, const std::string& licence = {}) {
        PackageContent content = package(mode, true);
        content.entries[entry::kPreview] = {previewName, 4, true, preview};
        if (!licence.empty()) {
            content.header.hasLicence = 1;
            content.entries[entry::kLicence] = {"licence.rtf", 4, true,
                                                Bytes(licence.begin(), licence.end())};
        }
        return content;
    }
    PackageContent bitmapPackage(const std::string& licence = {}) {
        return windowPackage(installmode::kBitmap, "preview.bmp", twoColourBitmap(64, 36), licence);
    }

    // The installer window once it is ready: shown, Install enabled.
    HWND readyWindow() {
        const HWND form = waitForWindow(kInstallerFormClass);
        if (form) {
            waitUntil([&] { return enabled(installButton(form)) && visible(installButton(form)); },
                      10000);
            Sleep(300); // the last paint
        }
        return form;
    }
    HWND installButton(HWND form) { return installerInstallButton(form); }
    HWND button(HWND form, const char* caption) { return childWithText(form, caption); }
    HWND contentPanel(HWND form) { return installerContentPanel(form); }
    HWND buttonPanel(HWND form) { return installerButtonPanel(form); }
    HWND licenceBox(HWND form) { return childOfClass(form, "Rich"); }
    HWND statusLine(HWND form) { return installerStatusLine(form); }
    std::string screenshot(const std::string& name) { return programFolder() + name + ".bmp"; }
    // Clicks a button of the dialog with the title once it shows.
    bool answerDialog(const char* dialogTitle, int buttonId) {
        const HWND dialog = waitForWindow("#32770", dialogTitle, 30000);
        if (!dialog)
            return false;
        click(GetDlgItem(dialog, buttonId));
        return waitUntil([&] { return !IsWindow(dialog) || !IsWindowVisible(dialog); }, 10000);
    }
    // The installer holds the implode library it wrote and its work folder:
    // this program can neither overwrite, rename nor delete the library, nor
    // rename the folder away.
    void expectWorkFolderHeld() {
        const std::string root = folderOf(CSIDL_LOCAL_APPDATA) + "Vellarmont\\";
        std::string library;
        for (const std::string& name : workFolderFiles())
            if (name.size() > 12 && name.compare(name.size() - 12, 12, "\\impborl.dll") == 0)
                library = root + name;
        ASSERT_FALSE(library.empty()) << "no library in a work folder";
        const std::string work = library.substr(0, library.size() - 12);
        const auto refused = [](BOOL ok) {
            return !ok && GetLastError() == ERROR_SHARING_VIOLATION;
        };
        const HANDLE writer =
            CreateFileA(library.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        EXPECT_TRUE(refused(writer != INVALID_HANDLE_VALUE)) << "opened for writing";
        if (writer != INVALID_HANDLE_VALUE)
            CloseHandle(writer);
        EXPECT_TRUE(refused(CopyFileA(programImage.c_str(), library.c_str(), FALSE)))
            << "copied onto";
        EXPECT_TRUE(refused(MoveFileA(library.c_str(), (work + "\\moved.dll").c_str())))
            << "renamed";
        EXPECT_TRUE(refused(DeleteFileA(library.c_str()))) << "deleted";
        EXPECT_TRUE(refused(MoveFileA(work.c_str(), (work + "moved").c_str()))) << "folder renamed";
    }
    bool sawCommand(const std::vector<std::string>& lines, const std::string& command) {
        return std::find(lines.begin(), lines.end(), commandLine(command)) != lines.end();
    }

    // The picture control shows the preview's two halves.
    void expectPreviewDrawn(HWND form, const std::string& name) {
        const HWND picture = childOfClass(form, kInstallerPictureClass);
        ASSERT_NE(picture, nullptr);
        ASSERT_TRUE(visible(picture));
        const ScreenPicture shot(form, screenshot(name));
        RECT window{};
        GetWindowRect(form, &window);
        RECT area{};
        GetWindowRect(picture, &area);
        const int top = area.top - window.top + (area.bottom - area.top) / 2;
        const int left = area.left - window.left;
        const int width = area.right - area.left;
        EXPECT_TRUE(closeColours(shot.at(left + width / 4, top), kLeftColour, kColourTolerance))
            << std::hex << shot.at(left + width / 4, top);
        EXPECT_TRUE(
            closeColours(shot.at(left + 3 * width / 4, top), kRightColour, kColourTolerance))
            << std::hex << shot.at(left + 3 * width / 4, top);
    }
};

TEST_F(InstallerWindow, TheReadyWindowWithoutLicenceAndCancelBeforeInstall) {
    ASSERT_EQ(registered, 0u);
    start(bitmapPackage());
    const HWND form = readyWindow();
    ASSERT_NE(form, nullptr);
    EXPECT_EQ(textOf(form), "Install: " + title);
    // One taskbar button, the application's: it owns the installer window
    // and the start-up window and bears the caption.
    const std::vector<HWND> buttons = taskbarWindowsOf(form);
    ASSERT_EQ(buttons.size(), 1u) << screenReport();
    EXPECT_EQ(textOf(buttons[0]), "Install: " + title);
    EXPECT_EQ(GetWindow(form, GW_OWNER), buttons[0]);
    const HWND startUp = visibleWindow("VlxPreparingWindow");
    ASSERT_NE(startUp, nullptr);
    EXPECT_EQ(GetWindow(startUp, GW_OWNER), buttons[0]);
    EXPECT_EQ(textOf(startUp), "Setup " + tag + ".exe");
    EXPECT_EQ(clientSize(form).cy, 338);
    const LONG style = GetWindowLongA(form, GWL_STYLE);
    EXPECT_EQ(style & (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_HSCROLL | WS_VSCROLL),
              0);
    EXPECT_NE(style & WS_SYSMENU, 0);
    EXPECT_NE(GetWindowLongA(form, GWL_EXSTYLE) & WS_EX_TOPMOST, 0);
    // Centred on the screen.
    RECT outer{};
    GetWindowRect(form, &outer);
    EXPECT_LE(std::abs(outer.left + outer.right - GetSystemMetrics(SM_CXSCREEN)), 1);
    EXPECT_LE(std::abs(outer.top + outer.bottom - GetSystemMetrics(SM_CYSCREEN)), 1);
    // The progress bar: 0 of 10.
    const HWND progress = childOfClass(form, "msctls_progress32");
    EXPECT_EQ(SendMessageA(progress, PBM_GETRANGE, TRUE, 0), 0);
    EXPECT_EQ(SendMessageA(progress, PBM_GETRANGE, FALSE, 0), 10);
    EXPECT_EQ(SendMessageA(progress, PBM_GETPOS, 0, 0), 0);
    const HWND install = button(form, "Install");
    const HWND cancel = button(form, "Cancel");
    const HWND panel = buttonPanel(form);
    ASSERT_TRUE(install && cancel && panel);
    const RECT installAt = boundsIn(install, panel);
    const RECT cancelAt = boundsIn(cancel, panel);
    EXPECT_EQ(installAt.right - installAt.left, 80);
    EXPECT_EQ(cancelAt.right - cancelAt.left, 80);
    EXPECT_EQ(cancelAt.right, clientSize(panel).cx - 1);
    EXPECT_EQ(installAt.right, cancelAt.left - 6);
    EXPECT_FALSE(visible(licenceBox(form)));
    expectPreviewDrawn(form, "window_ready");

    click(cancel);
    EXPECT_TRUE(waitForProcessOf(form, 20000));
    const auto lines = finish();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "exit 0");
    expectNothingLeft();
}

// With system libraries' namesakes beside the installer file, none of which
// it may load.
TEST_F(InstallerWindow, WithALicenceTheBoxAloneGrowsAndAnInstallationCompletes) {
    ASSERT_EQ(registered, 0u);
    plantSystemLibraries();
    const struct {
        const char* what;
        std::string licence;
        std::string shown; // a part of the box's text
        int answer;        // to the control panel question
        const char* shot;
    } cases[] = {
        {"rich text, Yes", kRtfLicence, "Use it kindly.", IDYES, "window_licence"},
        {"plain text, No", kPlainLicence, "Second line.", IDNO, "window_licence_plain"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        start(bitmapPackage(c.licence));
        const HWND form = readyWindow();
        ASSERT_NE(form, nullptr);
        EXPECT_EQ(clientSize(form).cy, 445);
        EXPECT_NE(GetWindowLongA(form, GWL_STYLE) & WS_THICKFRAME, 0);
        const HWND install = button(form, "Accept and Install");
        ASSERT_NE(install, nullptr);
        const RECT installAt = boundsIn(install, buttonPanel(form));
        EXPECT_EQ(installAt.right - installAt.left, 115);
        const HWND licence = licenceBox(form);
        ASSERT_TRUE(visible(licence));
        EXPECT_NE(textOf(licence).find(c.shown), std::string::npos) << textOf(licence);
        EXPECT_EQ(textOf(licence).find("\\rtf"), std::string::npos);
        expectPreviewDrawn(form, c.shot);
        expectWorkFolderHeld();

        // The bottom edge dragged down and to the right: taller, as wide.
        RECT outer{};
        GetWindowRect(form, &outer);
        const RECT licenceBefore = boundsIn(licence, form);
        const RECT contentBefore = boundsIn(contentPanel(form), form);
        const RECT buttonsBefore = boundsIn(buttonPanel(form), form);
        drag({(outer.left + outer.right) / 2, outer.bottom - 2}, 40, 60);
        RECT after{};
        GetWindowRect(form, &after);
        EXPECT_EQ(after.right - after.left, outer.right - outer.left);
        const int grown = (after.bottom - after.top) - (outer.bottom - outer.top);
        EXPECT_GT(grown, 30) << screenReport();
        const RECT licenceAfter = boundsIn(licence, form);
        EXPECT_EQ(licenceAfter.bottom - licenceAfter.top,
                  licenceBefore.bottom - licenceBefore.top + grown);
        const RECT contentAfter = boundsIn(contentPanel(form), form);
        EXPECT_EQ(contentAfter.bottom - contentAfter.top, contentBefore.bottom - contentBefore.top);
        const RECT buttonsAfter = boundsIn(buttonPanel(form), form);
        EXPECT_EQ(buttonsAfter.bottom - buttonsAfter.top, buttonsBefore.bottom - buttonsBefore.top);
        EXPECT_EQ(buttonsAfter.top, buttonsBefore.top + grown);

        click(install);
        const HWND question = waitForWindow("#32770", "Confirm", 60000);
        ASSERT_NE(question, nullptr);
        EXPECT_EQ(textOf(statusLine(form)), "Screensaver Installation and Setup Complete.");
        EXPECT_TRUE(visible(button(form, "Close")));
        EXPECT_FALSE(visible(install));
        EXPECT_FALSE(visible(button(form, "Cancel")));
        if (c.answer == IDYES)
            ScreenPicture(form, screenshot("window_complete"));
        EXPECT_TRUE(answerDialog("Confirm", c.answer));
        const auto lines = finish();
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines.back(), "exit 0");
        EXPECT_EQ(sawCommand(lines, "openScreenSaverControlPanel"), c.answer == IDYES);
        EXPECT_TRUE(installed());
        EXPECT_EQ(loadedPlantedLibraries(), std::vector<std::string>{});
        removeSaver();
    }
}

// Previews and licences that cannot be shown as they are: each shows its
// message or falls back, and the window gets ready all the same.
TEST_F(InstallerWindow, PreviewsAndLicencesThatCannotBeShownLeaveTheWindowReady) {
    ASSERT_EQ(registered, 0u);
    Bytes hugeJpeg = kTwoColourJpeg;
    for (std::size_t i = 0; i + 8 < hugeJpeg.size(); ++i) {
        if (hugeJpeg[i] == 0xFF && hugeJpeg[i + 1] == 0xC0) {
            // 65000 by 65000: within the format, beyond any preview.
            for (std::size_t at : {i + 5, i + 7}) {
                hugeJpeg[at] = 0xFD;
                hugeJpeg[at + 1] = 0xE8;
            }
            break;
        }
    }
    const Bytes cutHeader(kTwoColourJpeg.begin(), kTwoColourJpeg.begin() + 200);
    const Bytes cutData(kTwoColourJpeg.begin(), kTwoColourJpeg.end() - 20);
    std::string bigLicence;
    while (bigLicence.size() < (3 << 20))
        bigLicence += "A long licence line of plain text, one of very many in this file.\r\n";
    const struct {
        const char* what;
        std::uint8_t mode;
        const char* name;
        Bytes preview;
        std::string licence;
        std::string dialog; // the error dialog's text; empty: none
        bool drawn;
    } cases[] = {
        {"JPEG", installmode::kJpeg, "preview.jpg", kTwoColourJpeg, {}, {}, true},
        {"no picture",
         installmode::kBitmap,
         "preview.bmp",
         noiseBytes(3000, 5),
         {},
         "CorruptFile: Bitmap image is not valid.",
         false},
        {"absurd bitmap",
         installmode::kBitmap,
         "preview.bmp",
         twoColourBitmap(60000, -60000),
         {},
         "CorruptFile: Not enough memory for the picture.",
         false},
        {"absurd JPEG",
         installmode::kJpeg,
         "preview.jpg",
         hugeJpeg,
         {},
         "CorruptFile: Not enough memory for the picture.",
         false},
        {"JPEG cut in its header",
         installmode::kJpeg,
         "preview.jpg",
         cutHeader,
         {},
         "CorruptFile: JPEG error: Invalid JPEG file structure: missing SOS marker",
         false},
        {"JPEG cut in its data", installmode::kJpeg, "preview.jpg", cutData, {}, {}, false},
        {"licence of 3 MB",
         installmode::kBitmap,
         "preview.bmp",
         twoColourBitmap(64, 36),
         bigLicence,
         {},
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        DialogAnswerer answerer;
        start(windowPackage(c.mode, c.name, c.preview, c.licence));
        const HWND form = readyWindow();
        ASSERT_NE(form, nullptr);
        const auto texts = answerer.texts();
        EXPECT_EQ(texts, c.dialog.empty() ? std::vector<std::string>{}
                                          : std::vector<std::string>{c.dialog});
        if (c.drawn)
            expectPreviewDrawn(form, c.licence.empty() ? "window_jpeg" : "window_long_licence");
        if (!c.licence.empty()) {
            EXPECT_GE(SendMessageA(licenceBox(form), WM_GETTEXTLENGTH, 0, 0),
                      static_cast<LRESULT>(c.licence.size()));
        }
        click(button(form, "Cancel"));
        const auto lines = finish();
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines.back(), "exit 0");
        expectNothingLeft();
    }
}

// A translated string table: the program reads its resource texts from it,
// so the caption, the application's title and the Install button change.
TEST_F(InstallerWindow, ATranslatedStringTableChangesWhatTheWindowShows) {
    ASSERT_EQ(registered, 0u);
    programImage = folder.path() + "translated.exe";
    ASSERT_TRUE(
        CopyFileA((programFolder() + "installer.exe").c_str(), programImage.c_str(), FALSE));
    ASSERT_EQ(replaceString(programImage, text::kInstall.id, L"Installieren"), "");
    ASSERT_LE(readFile(programImage).size(), static_cast<std::size_t>(INSTALLER_SIZE_IN_BYTES));

    start(bitmapPackage());
    const HWND form = waitForWindow(kInstallerFormClass);
    ASSERT_NE(form, nullptr) << screenReport();
    HWND install = nullptr;
    EXPECT_TRUE(waitUntil(
        [&] { return (install = button(form, "Installieren")) != nullptr && enabled(install); },
        10000))
        << screenReport();
    EXPECT_EQ(button(form, "Install"), nullptr);
    EXPECT_EQ(textOf(form), "Installieren: " + title);
    const std::vector<HWND> buttons = taskbarWindowsOf(form);
    ASSERT_EQ(buttons.size(), 1u) << screenReport();
    EXPECT_EQ(textOf(buttons[0]), "Installieren: " + title);
    // What the table was not asked for stays as it was.
    EXPECT_NE(button(form, "Cancel"), nullptr);

    click(button(form, "Cancel"));
    const auto lines = finish();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "exit 0");
    expectNothingLeft();
}

// Cancel while the files are written, the close button while installing,
// Cancel on the overwrite question and a failed installation.
TEST_F(InstallerWindow, InstallationsInterruptedOrFailedEndAsTheUserExpects) {
    ASSERT_EQ(registered, 0u);
    PackageContent large = bitmapPackage();
    large.entries[entry::kEngine]->bytes = patternBytes(24 << 20, 'e');

    // Cancel at once: seen at the next check; the files go and the window
    // closes without a question.
    start(large);
    HWND form = readyWindow();
    ASSERT_NE(form, nullptr);
    {
        DialogAnswerer answerer;
        click(button(form, "Install"));
        click(button(form, "Cancel"));
        EXPECT_TRUE(waitForProcessOf(form, 60000)) << screenReport();
        EXPECT_EQ(answerer.titles(), std::vector<std::string>{});
    }
    auto lines = finish();
    EXPECT_EQ(lines.back(), "exit 0");
    expectNothingLeft();

    // The close button while installing: refused; the installation goes on.
    start(large);
    form = readyWindow();
    ASSERT_NE(form, nullptr);
    click(button(form, "Install"));
    PostMessageA(form, WM_SYSCOMMAND, SC_CLOSE, 0);
    ScreenPicture(form, screenshot("window_installing"));
    ASSERT_NE(waitForWindow("#32770", "Confirm", 60000), nullptr);
    EXPECT_TRUE(visible(form));
    EXPECT_TRUE(answerDialog("Confirm", IDNO));
    lines = finish();
    EXPECT_EQ(lines.back(), "exit 0");
    EXPECT_TRUE(installed());

    // Cancel on the overwrite question: nothing removed, ready again.
    start(bitmapPackage());
    form = readyWindow();
    ASSERT_NE(form, nullptr);
    click(button(form, "Install"));
    const HWND question = waitForWindow("#32770", "Confirm", 30000);
    ASSERT_NE(question, nullptr);
    EXPECT_EQ(dialogText(question), title + " screen saver already exists. Overwrite?");
    EXPECT_TRUE(answerDialog("Confirm", IDCANCEL));
    EXPECT_TRUE(waitUntil([&] { return enabled(button(form, "Install")); }, 10000));
    EXPECT_TRUE(installed());
    click(button(form, "Cancel"));
    lines = finish();
    EXPECT_EQ(lines.back(), "exit 0");
    EXPECT_TRUE(installed());
    removeSaver();

    // A failed installation: Install stays disabled, Cancel closes.
    start(bitmapPackage(), {},
          changeHeader([](InstallerHeader& header) { header.entries[6].expandedSize += 10; }));
    form = readyWindow();
    ASSERT_NE(form, nullptr);
    {
        DialogAnswerer answerer;
        click(button(form, "Install"));
        EXPECT_TRUE(waitUntil(
            [&] { return textOf(statusLine(form)).rfind("Install failed. Error: ", 0) == 0; },
            30000))
            << screenReport();
        EXPECT_EQ(answerer.titles(), std::vector<std::string>{"Error"});
    }
    EXPECT_FALSE(enabled(button(form, "Install")));
    ScreenPicture(form, screenshot("window_failed"));
    click(button(form, "Cancel"));
    lines = finish();
    EXPECT_EQ(lines.back(), "exit 0");
    expectNothingLeft();
}

// A movie preview in the stand-in player; right-clicks reach neither the
// movie nor the window.
TEST_F(InstallerWindow, AMoviePreviewPlaysAndRightClicksDoNothing) {
    ASSERT_EQ(registered, 0u);
    const COLORREF movieColour = RGB(MovieColour{}.red, MovieColour{}.green, MovieColour{}.blue);
    const std::string log = folder.path() + "events.log";
    standin::setEventLog(log);
    const std::string movie = sampleMovie(9, false);
    start(windowPackage(installmode::kMovie, "preview.swf", Bytes(movie.begin(), movie.end())));
    const HWND form = readyWindow();
    ASSERT_NE(form, nullptr);
    const HWND content = contentPanel(form);
    RECT area{};
    GetWindowRect(content, &area);
    RECT window{};
    GetWindowRect(form, &window);
    const ScreenPicture shot(form, screenshot("window_movie"));
    EXPECT_TRUE(closeColours(shot.at((area.left + area.right) / 2 - window.left,
                                     (area.top + area.bottom) / 2 - window.top),
                             movieColour, 0));

    // The movie, not the picture control under it, gets the mouse.
    EXPECT_EQ(
        classOf(WindowFromPoint({(area.left + area.right) / 2, (area.top + area.bottom) / 2})),
        "VellarmontStandInPlayer");
    clickAt({(area.left + area.right) / 2, (area.top + area.bottom) / 2}, true);
    RECT buttons{};
    GetWindowRect(buttonPanel(form), &buttons);
    clickAt({buttons.left + 20, (buttons.top + buttons.bottom) / 2}, true);
    Sleep(500);
    EXPECT_EQ(visibleWindow("#32768"), nullptr) << "a menu opened";
    EXPECT_EQ(readFile(log).find("rbutton"), std::string::npos) << readFile(log);
    EXPECT_EQ(readFile(log).rfind("movie ", 0), 0u) << readFile(log);
    EXPECT_TRUE(enabled(button(form, "Install")));

    click(button(form, "Cancel"));
    const auto lines = finish();
    EXPECT_EQ(lines.back(), "exit 0");
    expectNothingLeft();
    standin::clearSwitches();
}

} // namespace
} // namespace winetest
