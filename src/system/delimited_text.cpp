#include "system/delimited_text.h"

namespace {

bool isBlank(char c) {
    const auto code = static_cast<unsigned char>(c);
    return code >= 1 && code <= 32;
}

bool endsItem(char c, char delimiter) {
    return static_cast<unsigned char>(c) <= 32 || c == delimiter;
}

} // namespace

void splitDelimited(char delimiter, std::string_view text, std::vector<std::string>& items) {
    items.clear();
    // The text ends at its first NUL, as the system's texts do.
    text = text.substr(0, text.find('\0'));
    std::size_t p = 0;
    const std::size_t end = text.size();
    auto skipBlanks = [&] {
        while (p < end && isBlank(text[p]))
            ++p;
    };

    skipBlanks();
    while (p < end) {
        std::string item;
        if (text[p] == '"') {
            ++p;
            while (p < end) {
                if (text[p] == '"') {
                    if (p + 1 < end && text[p + 1] == '"') {
                        item += '"';
                        p += 2;
                        continue;
                    }
                    ++p;
                    break;
                }
                item += text[p++];
            }
        } else {
            const std::size_t start = p;
            while (p < end && !endsItem(text[p], delimiter))
                ++p;
            item.assign(text.substr(start, p - start));
        }
        items.push_back(std::move(item));

        skipBlanks();
        if (p < end && text[p] == delimiter) {
            if (p + 1 == end)
                items.emplace_back();
            ++p;
            skipBlanks();
        }
    }
}
