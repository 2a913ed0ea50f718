#include "wine_test_support.h"

#include <algorithm>
#include <cstdlib>
#include <stdexcept>

#include "platform/win32/win32_platform.h"
#include "system/file_operations.h"

namespace winetest {

std::string programFolder() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder = path;
    return folder.substr(0, folder.find_last_of('\\') + 1);
}

DWORD scaledWait(DWORD milliseconds) {
    static const DWORD scale = [] {
        char value[16] = {};
        const DWORD length = GetEnvironmentVariableA("VLX_WAIT_SCALE", value, sizeof value);
        const unsigned long parsed =
            length > 0 && length < sizeof value ? std::strtoul(value, nullptr, 10) : 1;
        return static_cast<DWORD>(std::clamp(parsed, 1ul, 20ul));
    }();
    return milliseconds == INFINITE ? INFINITE : milliseconds * scale;
}

TempFolder::TempFolder(const std::string& name) {
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    path_ = std::string(temp) + name + "_" + std::to_string(GetCurrentProcessId()) + "\\";
    platform::win32::Win32FileSystem files;
    deleteFolderTree(files, path_);
    if (!CreateDirectoryA(path_.c_str(), nullptr))
        throw std::runtime_error("cannot create " + path_);
}

TempFolder::~TempFolder() {
    platform::win32::Win32FileSystem files;
    deleteFolderTree(files, path_);
}

void writeFile(const std::string& path, const std::string& content) {
    const HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        throw std::runtime_error("cannot write " + path);
    DWORD written = 0;
    WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
    CloseHandle(file);
}

std::string readFile(const std::string& path) {
    const HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        throw std::runtime_error("cannot read " + path);
    std::string content;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0)
        content.append(buffer, got);
    CloseHandle(file);
    return content;
}

bool exists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

ChildProcess::ChildProcess(const std::string& program, const std::string& arguments) {
    std::string commandLine = "\"" + program + "\" " + arguments;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (CreateProcessA(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                       nullptr, &startup, &info)) {
        CloseHandle(info.hThread);
        process_ = info.hProcess;
    }
}

ChildProcess::~ChildProcess() {
    if (process_) {
        if (WaitForSingleObject(process_, 0) == WAIT_TIMEOUT)
            TerminateProcess(process_, 1);
        CloseHandle(process_);
    }
}

std::uint32_t ChildProcess::wait(DWORD timeoutMilliseconds) {
    if (!process_ ||
        WaitForSingleObject(process_, scaledWait(timeoutMilliseconds)) != WAIT_OBJECT_0)
        throw std::runtime_error("child process did not end");
    DWORD code = 0;
    GetExitCodeProcess(process_, &code);
    return code;
}

NamedEvent::NamedEvent(const std::string& name)
    : event_(CreateEventA(nullptr, TRUE, FALSE, name.c_str())) {}

NamedEvent::~NamedEvent() {
    if (event_)
        CloseHandle(event_);
}

void NamedEvent::set() {
    SetEvent(event_);
}

bool NamedEvent::wait(DWORD timeoutMilliseconds) {
    return WaitForSingleObject(event_, scaledWait(timeoutMilliseconds)) == WAIT_OBJECT_0;
}

namespace {

void setAppDefault(const std::string& exeName, const std::string& subKey, const char* name,
                   const std::string& value) {
    const std::string keyName = "Software\\Wine\\AppDefaults\\" + exeName + subKey;
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, keyName.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                        &key, nullptr) != ERROR_SUCCESS)
        throw std::runtime_error("cannot create " + keyName);
    RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>(value.size() + 1));
    RegCloseKey(key);
}

} // namespace

void setWineVersionFor(const std::string& exeName, const std::string& version) {
    setAppDefault(exeName, "", "Version", version);
}

void drawOwnWindowFramesFor(const std::string& exeName) {
    setAppDefault(exeName, "\\X11 Driver", "Managed", "N");
}

void preferNativeLibrariesFor(const std::string& exeName, const std::vector<std::string>& names) {
    for (const std::string& name : names)
        setAppDefault(exeName, "\\DllOverrides", name.c_str(), "native,builtin");
}

} // namespace winetest
