#include "ModbusCore/TextForms.h"

#include <algorithm>

namespace TextForms {

std::string lowercased(std::string_view text) {
    std::string result;
    result.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte >= 'A' && byte <= 'Z') {
            result.push_back(static_cast<char>(byte - 'A' + 'a'));
        } else if (byte == 0xC3 && i + 1 < text.size()) {
            const auto next = static_cast<unsigned char>(text[i + 1]);
            const bool capital = next >= 0x80 && next <= 0x9E && next != 0x97;
            result.push_back(text[i]);
            result.push_back(static_cast<char>(capital ? next + 0x20 : next));
            ++i;
        } else {
            result.push_back(text[i]);
        }
    }
    return result;
}

bool isOneOf(std::string_view word, std::initializer_list<std::string_view> words) {
    return std::find(words.begin(), words.end(), word) != words.end();
}

std::string escapedControls(std::string_view text) {
    constexpr char hex[] = "0123456789ABCDEF";
    // Most names hold nothing to escape: one scan, no copy.
    const auto needsEscape = [](std::string_view t, std::size_t i) {
        const auto c = static_cast<unsigned char>(t[i]);
        return c < 0x20 || c == 0x7F ||
               (c == 0xC2 && i + 1 < t.size() && static_cast<unsigned char>(t[i + 1]) >= 0x80 &&
                static_cast<unsigned char>(t[i + 1]) <= 0x9F);
    };
    std::size_t first = 0;
    while (first < text.size() && !needsEscape(text, first)) {
        ++first;
    }
    if (first == text.size()) {
        return std::string(text);
    }
    std::string out(text.substr(0, first));
    for (std::size_t i = first; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (!needsEscape(text, i)) {
            out.push_back(static_cast<char>(c));
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c == 0xC2) {
            const auto next = static_cast<unsigned char>(text[++i]);
            out += "\\u00";
            out.push_back(hex[next >> 4]);
            out.push_back(hex[next & 0xF]);
        } else {
            out += "\\x";
            out.push_back(hex[c >> 4]);
            out.push_back(hex[c & 0xF]);
        }
    }
    return out;
}

} // namespace TextForms
