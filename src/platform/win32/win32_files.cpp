#include "platform/win32/win32_platform.h"
#include "platform/win32/win32_security.h"

#include <utility>

namespace platform::win32 {

namespace {

// Owns a Win32 handle that is closed with CloseHandle.
class HandleOwner {
  public:
    explicit HandleOwner(HANDLE handle) : handle_(handle) {}
    HandleOwner(const HandleOwner&) = delete;
    HandleOwner& operator=(const HandleOwner&) = delete;
    ~HandleOwner() {
        if (handle_ != INVALID_HANDLE_VALUE)
            CloseHandle(handle_);
    }
    HANDLE get() const { return handle_; }
    // Closes the handle now; CloseHandle's failure comes back as its error.
    WinError close() {
        const HANDLE handle = std::exchange(handle_, INVALID_HANDLE_VALUE);
        if (handle == INVALID_HANDLE_VALUE)
            return ERROR_INVALID_HANDLE;
        return CloseHandle(handle) ? kErrorNone : GetLastError();
    }

  private:
    HANDLE handle_;
};

class Win32File final : public File {
  public:
    explicit Win32File(HANDLE handle) : handle_(handle) {}

    WinError read(void* buffer, std::uint32_t size, std::uint32_t& read) override {
        DWORD got = 0;
        const BOOL ok = ReadFile(handle_.get(), buffer, size, &got, nullptr);
        read = got;
        return ok ? kErrorNone : GetLastError();
    }

    WinError write(const void* buffer, std::uint32_t size, std::uint32_t& written) override {
        DWORD put = 0;
        const BOOL ok = WriteFile(handle_.get(), buffer, size, &put, nullptr);
        written = put;
        if (!ok)
            return GetLastError();
        return put == size ? kErrorNone : ERROR_HANDLE_DISK_FULL;
    }

    WinError seek(std::int64_t offset, SeekOrigin origin, std::uint64_t& position) override {
        const DWORD method = origin == SeekOrigin::Begin     ? FILE_BEGIN
                             : origin == SeekOrigin::Current ? FILE_CURRENT
                                                             : FILE_END;
        LONG high = static_cast<LONG>(offset >> 32);
        SetLastError(NO_ERROR);
        const DWORD low =
            SetFilePointer(handle_.get(), static_cast<LONG>(offset & 0xFFFFFFFF), &high, method);
        if (low == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR)
            return GetLastError();
        position = (static_cast<std::uint64_t>(static_cast<DWORD>(high)) << 32) | low;
        return kErrorNone;
    }

    WinError size(std::uint64_t& size) override {
        DWORD high = 0;
        SetLastError(NO_ERROR);
        const DWORD low = GetFileSize(handle_.get(), &high);
        if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR)
            return GetLastError();
        size = (static_cast<std::uint64_t>(high) << 32) | low;
        return kErrorNone;
    }

    WinError close() override { return handle_.close(); }

  private:
    HandleOwner handle_;
};

class Win32HeldPath final : public HeldPath {
  public:
    explicit Win32HeldPath(HANDLE handle) : handle_(handle) {}

  private:
    HandleOwner handle_;
};

// Windows 95, 98 and ME cannot open a folder, and have no other user whose
// programs a folder would need holding against: it is made and not held.
class UnheldFolder final : public HeldPath {};

WinError outcome(BOOL ok) {
    return ok ? kErrorNone : GetLastError();
}

} // namespace

std::optional<std::uint32_t> Win32FileSystem::attributes(const std::string& path) {
    const DWORD a = GetFileAttributesA(path.c_str());
    if (a == INVALID_FILE_ATTRIBUTES)
        return std::nullopt;
    return a;
}

// From the folder entry, without opening the file: no handle to make and close.
std::optional<std::uint64_t> Win32FileSystem::fileSize(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return std::nullopt;
    return (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

WinError Win32FileSystem::setAttributes(const std::string& path, std::uint32_t attributes) {
    return outcome(SetFileAttributesA(path.c_str(), attributes));
}

WinError Win32FileSystem::deleteFile(const std::string& path) {
    return outcome(DeleteFileA(path.c_str()));
}

WinError Win32FileSystem::createFolder(const std::string& path) {
    return outcome(CreateDirectoryA(path.c_str(), nullptr));
}

WinError Win32FileSystem::removeFolder(const std::string& path) {
    return outcome(RemoveDirectoryA(path.c_str()));
}

WinError Win32FileSystem::copyFile(const std::string& source, const std::string& target,
                                   bool failIfExists) {
    return outcome(CopyFileA(source.c_str(), target.c_str(), failIfExists));
}

WinError Win32FileSystem::moveFile(const std::string& source, const std::string& target) {
    return outcome(MoveFileExA(source.c_str(), target.c_str(), 0));
}

WinError Win32FileSystem::deleteAtRestart(const std::string& path) {
    return outcome(MoveFileExA(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT));
}

std::vector<FolderEntry> Win32FileSystem::listFolder(const std::string& pattern) {
    std::vector<FolderEntry> entries;
    WIN32_FIND_DATAA data;
    const HANDLE search = FindFirstFileA(pattern.c_str(), &data);
    if (search == INVALID_HANDLE_VALUE)
        return entries;
    do {
        FolderEntry entry;
        entry.name = data.cFileName;
        entry.isFolder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        entry.isLink = (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
        entries.push_back(std::move(entry));
    } while (FindNextFileA(search, &data));
    FindClose(search);
    return entries;
}

std::unique_ptr<File> Win32FileSystem::openFile(const std::string& path, OpenMode mode,
                                                WinError& error) {
    DWORD access = GENERIC_READ;
    DWORD disposition = OPEN_EXISTING;
    DWORD share = FILE_SHARE_READ;
    if (mode == OpenMode::CreateAlways) {
        access = GENERIC_WRITE;
        disposition = CREATE_ALWAYS;
    } else if (mode == OpenMode::ReadWriteAlways) {
        access = GENERIC_READ | GENERIC_WRITE;
        disposition = OPEN_ALWAYS;
    } else if (mode == OpenMode::ReadWriteExisting) {
        access = GENERIC_READ | GENERIC_WRITE;
        share = FILE_SHARE_READ | FILE_SHARE_WRITE;
    }
    const HANDLE handle = CreateFileA(path.c_str(), access, share, nullptr, disposition,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        error = GetLastError();
        return nullptr;
    }
    error = kErrorNone;
    return std::make_unique<Win32File>(handle);
}

std::unique_ptr<HeldPath>
Win32FileSystem::createHeldFolder(const std::string& path,
                                  const std::optional<FolderSecurity>& security, WinError& error) {
    SecurityDescriptor descriptor;
    SECURITY_ATTRIBUTES attributes{sizeof(SECURITY_ATTRIBUTES), nullptr, FALSE};
    if (security) {
        if ((error = descriptor.make(*security)) != kErrorNone)
            return nullptr;
        attributes.lpSecurityDescriptor = descriptor.get();
    }
    if (!CreateDirectoryA(path.c_str(), security ? &attributes : nullptr)) {
        error = GetLastError();
        return nullptr;
    }
    error = kErrorNone;
    if (windows9x())
        return std::make_unique<UnheldFolder>();
    const HANDLE handle =
        CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        error = GetLastError();
        RemoveDirectoryA(path.c_str());
        return nullptr;
    }
    return std::make_unique<Win32HeldPath>(handle);
}

std::unique_ptr<HeldPath> Win32FileSystem::holdFile(const std::string& path, WinError& error) {
    const HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        error = GetLastError();
        return nullptr;
    }
    error = kErrorNone;
    return std::make_unique<Win32HeldPath>(handle);
}

std::string Win32FileSystem::shortPathName(const std::string& path) {
    constexpr DWORD kBuffer = 260;
    char buffer[kBuffer] = {};
    const DWORD n = GetShortPathNameA(path.c_str(), buffer, kBuffer);
    if (n == 0 || n >= kBuffer)
        return std::string();
    return std::string(buffer, n);
}

} // namespace platform::win32
