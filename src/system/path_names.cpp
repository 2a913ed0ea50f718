#include "system/path_names.h"

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
