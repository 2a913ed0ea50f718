// Helpers for the tests that run the real Win32 backend under Wine.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace winetest {

// The folder of the running test program, with a trailing backslash.
std::string programFolder();

// The time a test gives something it waits for, stretched where the machine
// is slow: `milliseconds` times VLX_WAIT_SCALE (a whole number from 1 to 20,
// 1 when unset). The emulated 32-bit machine sets it; a limit that holds on
// a real machine holds there too.
DWORD scaledWait(DWORD milliseconds);

// A fresh, empty folder below the temporary folder, deleted with the object.
class TempFolder {
  public:
    explicit TempFolder(const std::string& name);
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    ~TempFolder();
    const std::string& path() const { return path_; } // ends with a backslash

  private:
    std::string path_;
};

void writeFile(const std::string& path, const std::string& content);
std::string readFile(const std::string& path);
bool exists(const std::string& path);

// Starts a program and returns its handle (closed with the object).
class ChildProcess {
  public:
    ChildProcess(const std::string& program, const std::string& arguments);
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    ~ChildProcess();
    bool started() const { return process_ != nullptr; }
    // Waits for the end and returns the full 32-bit exit code.
    std::uint32_t wait(DWORD timeoutMilliseconds = 30000);

  private:
    HANDLE process_ = nullptr;
};

// A named event shared with a child process.
class NamedEvent {
  public:
    explicit NamedEvent(const std::string& name);
    NamedEvent(const NamedEvent&) = delete;
    NamedEvent& operator=(const NamedEvent&) = delete;
    ~NamedEvent();
    void set();
    bool wait(DWORD timeoutMilliseconds);

  private:
    HANDLE event_;
};

// Sets HKCU\Software\Wine\AppDefaults\<exe name>\Version, the Windows version
// that Wine reports to programs of that file name.
void setWineVersionFor(const std::string& exeName, const std::string& version);

// Without a window manager on the display, Wine draws the frames of that
// program's windows itself and runs their moving and sizing: borders can be
// dragged and captions show in pictures of the screen.
void drawOwnWindowFramesFor(const std::string& exeName);

// Programs of that file name take a library of these names from their own
// folder first, as Windows does outside the KnownDLLs (a WINEDLLOVERRIDES set
// by SetEnvironmentVariable does not reach Wine's loader in a child).
void preferNativeLibrariesFor(const std::string& exeName, const std::vector<std::string>& names);

} // namespace winetest

// WOW64 (registry redirection, Sysnative, IsWow64Process true) shows only to a
// 32-bit program; the 64-bit twin of a WOW64 test reports itself skipped.
#define WINETEST_NEEDS_WOW64()                                                                     \
    if (sizeof(void*) != 4)                                                                        \
    GTEST_SKIP() << "only a 32-bit program sees WOW64; this is the 64-bit build"
