#include "system/path_names.h"

#include <array>

std::string withTrailingBackslash(std::string_view path) {
    std::string result(path);
    if (result.empty() || result.back() != '\\')
        result += '\\';
    return result;
}

std::string withoutTrailingBackslash(std::string_view path) {
    if (!path.empty() && path.back() == '\\')
        path.remove_suffix(1);
    return std::string(path);
}

static std::size_t nameStart(std::string_view path) {
    const std::size_t separator = path.find_last_of("\\:");
    return separator == std::string_view::npos ? 0 : separator + 1;
}

std::string folderPart(std::string_view path) {
    return std::string(path.substr(0, nameStart(path)));
}

std::string fileNamePart(std::string_view path) {
    return std::string(path.substr(nameStart(path)));
}

std::string extensionPart(std::string_view path) {
    const std::string_view name = path.substr(nameStart(path));
    const std::size_t dot = name.find_last_of('.');
    return dot == std::string_view::npos ? std::string() : std::string(name.substr(dot));
}

std::string lowerAscii(std::string_view text) {
    std::string result(text);
    for (char& c : result) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return result;
}

namespace {

bool isDeviceName(std::string_view name) {
    // The part before the first dot decides: "CON.txt" is the console too.
    const std::string stem = lowerAscii(name.substr(0, name.find('.')));
    static constexpr std::array<std::string_view, 6> fixed = {"con", "prn",    "aux",
                                                              "nul", "clock$", "conin$"};
    for (std::string_view device : fixed) {
        if (stem == device)
            return true;
    }
    if (stem.size() == 4 && (stem.starts_with("com") || stem.starts_with("lpt")) &&
        stem[3] >= '0' && stem[3] <= '9')
        return true;
    return stem == "conout$";
}

} // namespace

bool isSafeFileName(std::string_view name) {
    if (name.empty() || name == "." || name == "..")
        return false;
    for (char c : name) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 32 || std::string_view("\\/:*?\"<>|").find(c) != std::string_view::npos)
            return false;
    }
    // Windows drops trailing dots and blanks, which would make two names one.
    if (name.back() == '.' || name.back() == ' ')
        return false;
    return !isDeviceName(name);
}

bool isSafeRelativePath(std::string_view name) {
    if (name.empty() || name.front() == '\\' || name.front() == '/')
        return false;
    std::size_t start = 0;
    while (start <= name.size()) {
        const std::size_t end = name.find_first_of("\\/", start);
        const std::string_view part = name.substr(
            start, end == std::string_view::npos ? std::string_view::npos : end - start);
        if (!isSafeFileName(part))
            return false;
        if (end == std::string_view::npos)
            break;
        start = end + 1;
    }
    return true;
}
