// The seam between the installer and Windows.
//
// Everything the installer asks of the operating system goes through the
// interfaces below. The real backend (platform/win32) makes the ANSI Win32
// calls; the fake one used by the unit tests keeps everything in memory and
// can inject faults. Paths and texts are single-byte strings in the ANSI code
// page. Failures come back as explicit Windows error codes, never through a
// hidden "last error".
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// A Windows error code as GetLastError returns it; 0 means success.
using WinError = std::uint32_t;

constexpr WinError kErrorNone = 0;
constexpr WinError kErrorFileNotFound = 2;
constexpr WinError kErrorPathNotFound = 3;
constexpr WinError kErrorAccessDenied = 5;
constexpr WinError kErrorInvalidHandle = 6;
constexpr WinError kErrorNotEnoughMemory = 8;
constexpr WinError kErrorNoMoreFiles = 18;
constexpr WinError kErrorSharingViolation = 32;
constexpr WinError kErrorHandleEof = 38;
constexpr WinError kErrorFileExists = 80;
constexpr WinError kErrorInvalidParameter = 87;
constexpr WinError kErrorDirNotEmpty = 145;
constexpr WinError kErrorAlreadyExists = 183;
constexpr WinError kErrorModNotFound = 126;
constexpr WinError kErrorProcNotFound = 127;

// File attribute bits, with the Windows values.
namespace attr {
constexpr std::uint32_t kReadOnly = 0x01;
constexpr std::uint32_t kHidden = 0x02;
constexpr std::uint32_t kSystem = 0x04;
constexpr std::uint32_t kDirectory = 0x10;
constexpr std::uint32_t kArchive = 0x20;
constexpr std::uint32_t kNormal = 0x80;
} // namespace attr

struct FolderEntry {
    std::string name;
    bool isFolder = false;
    bool isLink = false; // a junction or symbolic link (reparse point)
};

enum class SeekOrigin { Begin, Current, End };

// Access rights of an access entry, with the Windows values.
namespace rights {
constexpr std::uint32_t kFullAccess = 0x1F01FF;     // FILE_ALL_ACCESS
constexpr std::uint32_t kReadAndExecute = 0x1200A9; // FILE_GENERIC_READ | FILE_GENERIC_EXECUTE
} // namespace rights

// Whom an owner or an access entry names.
enum class Trustee {
    Administrators, // the local Administrators group
    LocalSystem,    // SYSTEM
    CurrentUser,    // the user of the process's token
};

struct AccessEntry {
    Trustee trustee = Trustee::Administrators;
    std::uint32_t rights = 0;
    bool operator==(const AccessEntry&) const = default;
};

// The security a new folder is made with: its owner, and access entries that
// are all it has (none inherited from the parent) and that everything made in
// it inherits.
struct FolderSecurity {
    Trustee owner = Trustee::Administrators;
    std::vector<AccessEntry> entries;
    bool operator==(const FolderSecurity&) const = default;
};

// A file or folder kept open so that other programs cannot change it; let go
// when the object goes.
class HeldPath {
  public:
    virtual ~HeldPath() = default;
};

// An open file. Closed when the object goes, unless close() came first.
class File {
  public:
    virtual ~File() = default;
    // Reads up to `size` bytes; `read` is set to what arrived (0 at the end).
    virtual WinError read(void* buffer, std::uint32_t size, std::uint32_t& read) = 0;
    // Writes all `size` bytes or fails; `written` is set to what was written.
    virtual WinError write(const void* buffer, std::uint32_t size, std::uint32_t& written) = 0;
    virtual WinError seek(std::int64_t offset, SeekOrigin origin, std::uint64_t& position) = 0;
    virtual WinError size(std::uint64_t& size) = 0;
    // Closes the file now and gives the system's answer; the handle is gone
    // either way, and every later call fails with kErrorInvalidHandle.
    virtual WinError close() = 0;
};

enum class OpenMode {
    ReadExisting,      // read access, the file must exist; others may read it too
    CreateAlways,      // write access, replaces any file of that name
    ReadWriteAlways,   // read and write access, creates the file when missing
    ReadWriteExisting, // read and write access, the file must exist; others may read and write
};

class FileSystem {
  public:
    virtual ~FileSystem() = default;
    // Attributes of whatever is at `path`, or nothing when there is nothing.
    virtual std::optional<std::uint32_t> attributes(const std::string& path) = 0;
    virtual WinError setAttributes(const std::string& path, std::uint32_t attributes) = 0;
    virtual WinError deleteFile(const std::string& path) = 0;
    virtual WinError createFolder(const std::string& path) = 0;
    virtual WinError removeFolder(const std::string& path) = 0;
    virtual WinError copyFile(const std::string& source, const std::string& target,
                              bool failIfExists) = 0;
    // MoveFileExA without replacing: renames a file or a whole folder within
    // its volume; fails (kErrorAlreadyExists or kErrorFileExists) when
    // something is at `target`, and when the file, or a file in the folder,
    // is open without delete sharing.
    virtual WinError moveFile(const std::string& source, const std::string& target) = 0;
    // MoveFileExA with MOVEFILE_DELAY_UNTIL_REBOOT and no target: the file,
    // or the empty folder, is deleted when Windows next starts. Needs
    // administrator rights.
    virtual WinError deleteAtRestart(const std::string& path) = 0;
    // The entries matching a pattern such as "C:\dir\*.*", hidden and system
    // ones included, "." and ".." included where the system lists them.
    virtual std::vector<FolderEntry> listFolder(const std::string& pattern) = 0;
    virtual std::unique_ptr<File> openFile(const std::string& path, OpenMode mode,
                                           WinError& error) = 0;
    // GetShortPathNameA with a buffer of 260 characters: the short form of an
    // existing path, or empty when the system gives none.
    virtual std::string shortPathName(const std::string& path) = 0;

    // CreateDirectoryA with `security` (nothing: what the parent passes on),
    // then the new folder opened (CreateFileA with FILE_FLAG_BACKUP_SEMANTICS,
    // sharing reading and writing but not deletion): while it is held nobody
    // can rename or remove it, and files in it can still be made and deleted.
    // A folder that was made but cannot be held is removed again. Null and
    // `error` set on failure (kErrorAlreadyExists when something is there).
    virtual std::unique_ptr<HeldPath>
    createHeldFolder(const std::string& path, const std::optional<FolderSecurity>& security,
                     WinError& error) = 0;
    // CreateFileA with GENERIC_READ, sharing reading only: while the file is
    // held nobody can write, rename or delete it, and it can still be read,
    // loaded as a library and started as a program. Null and `error` set on
    // failure.
    virtual std::unique_ptr<HeldPath> holdFile(const std::string& path, WinError& error) = 0;

    bool fileExists(const std::string& path);
    bool folderExists(const std::string& path);
    // The size of the file at `path`, or nothing when there is no file to
    // read there. A backend that can tell it without opening the file says so.
    virtual std::optional<std::uint64_t> fileSize(const std::string& path);
};

// Reads exactly `size` bytes: 0, the read's own error, or kErrorShortRead
// when the file ends first.
constexpr WinError kErrorShortRead = 100; // the I/O code of a read past the end
WinError readExactly(File& file, void* buffer, std::uint32_t size);
WinError writeAll(File& file, const void* buffer, std::uint32_t size);

struct OsVersion {
    std::uint32_t platformId = 0;
    std::uint32_t major = 0;
    std::uint32_t minor = 0;
    std::string servicePack; // szCSDVersion
};

enum class Wow64Answer {
    ExportMissing, // kernel32 has no IsWow64Process
    CallFailed,    // the export is there but the call returned zero
    No,
    Yes,
};

// The outcome of SHGetSpecialFolderLocation + SHGetPathFromIDListA.
struct SpecialFolderLookup {
    bool located = false;            // the item list was obtained
    std::optional<std::string> path; // converted path, when located and converted
};

struct FixedFileVersion {
    std::uint32_t fileVersionMS = 0;
    std::uint32_t fileVersionLS = 0;
};

enum class VersionResource { None, Unreadable, Found };

struct FileVersionLookup {
    VersionResource outcome = VersionResource::None;
    FixedFileVersion version;
};

class SystemInfo {
  public:
    virtual ~SystemInfo() = default;
    // The variable's value, or nothing when it is not set.
    virtual std::optional<std::string> environmentVariable(const std::string& name) = 0;
    virtual std::string systemDirectory() = 0;
    // GetVersionExA; nothing when the query fails.
    virtual std::optional<OsVersion> versionInfo() = 0;
    virtual Wow64Answer queryWow64() = 0;
    virtual std::string moduleFileName() = 0;
    virtual SpecialFolderLookup specialFolderLocation(int csidl) = 0;
    // SHGetFolderPathA; nothing unless it returned 0.
    virtual std::optional<std::string> folderPath(int csidl) = 0;
    // CharLowerBuffA over the text's bytes.
    virtual std::string lowerCase(std::string_view text) = 0;
    // CompareStringA in the user's default locale, no flags: <0, 0 or >0.
    virtual int compareText(std::string_view a, std::string_view b) = 0;
    // The system's message text for an error code; empty when it has none.
    virtual std::string errorMessageText(std::int32_t code) = 0;
    virtual FileVersionLookup fileVersion(const std::string& path) = 0;
    // LoadStringA on the program's own module: the string of that number in
    // its string table; nothing when the table has none.
    virtual std::optional<std::string> loadString(unsigned id) = 0;
    // Whether the process runs elevated: the token's TokenElevation (Windows
    // Vista and later). Earlier Windows have no elevation and answer false, as
    // does Windows 95, 98 and ME, which has no tokens. A token that cannot be
    // read on a Windows that has elevation answers true: the caller then
    // protects what it makes, and a process that may not do so fails there.
    virtual bool runsElevated() = 0;
};

enum class DialogKind { Error, Information, Confirmation };

// The buttons of a message dialog; a dialog shows those named, in this order.
enum class DialogButton { Yes, No, Ok, Cancel, Abort };

class UserInterface {
  public:
    virtual ~UserInterface() = default;
    // A modal dialog with the kind's icon and title; returns the button pressed.
    virtual DialogButton messageDialog(DialogKind kind, const std::string& text,
                                       const std::vector<DialogButton>& buttons) = 0;
    // A plain message box with an OK button.
    virtual void messageBox(const std::string& text) = 0;
    virtual void sleep(std::uint32_t milliseconds) = 0;
    // Waits for the next window message and handles it.
    virtual void handleNextMessage() = 0;
    virtual void bringApplicationToFront() = 0;
    // Handles every message already waiting, without waiting for more.
    virtual void processPendingMessages() = 0;
};

class LibraryLoader;

enum class ShowMode { Hidden, Normal };

// The shell: documents opened and programs started with their default action.
class Shell {
  public:
    virtual ~Shell() = default;
    // Opens the file with its default verb, as a double click would. The
    // outcome is not reported.
    virtual void openDocument(const std::string& path) = 0;
    // Starts a program through the shell's default action (no verb, no
    // working folder) with the application window as owner, without waiting
    // for it. Returns the shell's value: above 32 when it started, otherwise
    // 0 or the shell's error code (1 to 32).
    virtual std::int32_t startProgram(const std::string& program, const std::string& parameters,
                                      ShowMode show) = 0;
};

class Registry;
class Messaging;
class PlayerControls;

// All of Windows, as one object handed to the operations that need it.
struct Platform {
    FileSystem& files;
    SystemInfo& system;
    UserInterface& ui;
    LibraryLoader& libraries;
    Shell& shell;
    Registry& registry;
    Messaging& messaging;
    PlayerControls& players;
};

} // namespace platform
